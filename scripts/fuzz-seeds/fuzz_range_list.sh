#!/usr/bin/env bash
# Seeds for fuzz_range_list: page range lists of split plans, plain, with blanks, reversed and huge
# ranges, signs and empty tokens.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
printf '1,3-5' >"$corpus/plain"
printf ' 7 , 4 - 6 ,, 2-1,-3' >"$corpus/blanks"
printf '1-2000000000,+5,0x10,9999999999999' >"$corpus/huge"
