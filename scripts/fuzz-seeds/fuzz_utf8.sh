#!/usr/bin/env bash
# Seeds for fuzz_utf8: text of one, two, three and four bytes per character, a cut sequence,
# stray continuation bytes, an overlong form and an encoded surrogate.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
printf 'A\xc3\xa9\xe2\x82\xac' >"$corpus/aeeuro"
printf '\xf0\x9f\x98\x80 smile' >"$corpus/four"
printf 'ok\xe2\x82' >"$corpus/cut"
printf '\x80\xbf\xc0\xaf\xed\xa0\x80\xff' >"$corpus/invalid"
