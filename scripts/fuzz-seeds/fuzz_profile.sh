#!/usr/bin/env bash
# Seeds for fuzz_profile: the service's settings file in UTF-16LE and in 8 bits, with comments,
# quoted values, blanks around names and a section repeated.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
ini=$'[General]\r\nAttemptTimeout=5\r\nTxtInDir=/var/spool/in\r\n; comment\r\n[E-mail]\r\nDefEmail = "a@b.org" \r\nEmPort=25\r\n'
printf '%s' "$ini" >"$corpus/latin1.ini"
{ printf '\xff\xfe'; printf '%s' "$ini" | iconv -f UTF-8 -t UTF-16LE; } >"$corpus/utf16.ini"
printf "[general]\n  txtindir  = 'x'\n[General]\nTxtInDir=second\nKey\n=novalue\n[Key]\nKey=1\n" >"$corpus/mixed.ini"
