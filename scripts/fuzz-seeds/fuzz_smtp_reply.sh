#!/usr/bin/env bash
# Seeds for fuzz_smtp_reply: a server's side of a dialogue (greeting, HELO and QUIT replies),
# with multi-line replies, a refusal, bare LF line ends and a reply cut in the middle.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
printf '220 mail.example.org ESMTP\r\n250 Hello\r\n221 Bye\r\n' >"$corpus/plain"
printf '220-mail.example.org\r\n220-more\r\n220 ready\r\n250-Hello\r\n250-SIZE 1000\r\n250 HELP\r\n221 2.0.0 Bye\r\n' >"$corpus/multiline"
printf '554 No service for you\r\n' >"$corpus/refused"
printf '220 ok\n250 ok\n221 ok\n' >"$corpus/lf"
printf '220 ok\r\n25' >"$corpus/cut"
