#!/usr/bin/env bash
# Seeds for fuzz_control_file: control files as the printing side writes them (CR LF and LF, the
# second-choice fields, an empty value, a line without delimiter, Latin-1 bytes, a last line
# without line end).
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
printf 'File: /var/spool/veltrane/in/doc.pdf\r\nRespondEmail: user@example.org\r\n' >"$corpus/plain.txt"
printf '#SX: /tmp/a.tif\n#CI: ci@example.org\n#CustomerName: M\xfcller\n#CN: 42\nFax: +49 30 1234\n#DT: 2026-12-08\n' >"$corpus/second.txt"
printf 'File:\r\nno delimiter here\r\n\r\nRespondEmail:x@y\r\nFile: ignored duplicate' >"$corpus/odd.txt"
printf 'File: C:\\Docs\\a b.pdf\rRespondEmail: a@b\r' >"$corpus/cr-only.txt"
