#!/usr/bin/env bash
# Seeds for fuzz_pdf_open: small complete PDFs from Ghostscript and qpdf (classic cross-reference
# table, linearized, object streams, an incremental update) and two truncations.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '/Helvetica findfont 20 scalefont setfont\n1 1 3 { 72 720 moveto (Page ) show 8 string cvs show showpage } for\n' >"$work/three.ps"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dCompressPages=false -o "$work/gs.pdf" "$work/three.ps" >/dev/null 2>&1
cp "$work/gs.pdf" "$corpus/gs.pdf"
qpdf --linearize "$work/gs.pdf" "$corpus/linear.pdf"
qpdf --object-streams=generate "$work/gs.pdf" "$corpus/objstm.pdf"
qpdf --qdf --object-streams=disable "$work/gs.pdf" "$corpus/qdf.pdf"
qpdf --empty --pages "$work/gs.pdf" 2 -- "$corpus/one.pdf"
# An incremental update: a new Info dictionary after the complete first revision.
/usr/bin/python3 - "$work/gs.pdf" "$corpus/incremental.pdf" <<'PY'
import re, sys
data = open(sys.argv[1], 'rb').read()
root = re.search(rb'/Root (\d+) 0 R', data).group(1)
size = int(re.search(rb'/Size (\d+)', data).group(1))
prev = re.findall(rb'startxref\s+(\d+)', data)[-1]
obj = b'%d 0 obj\n<< /Producer (update) >>\nendobj\n' % size
xref = len(data) + len(obj)
tail = (b'xref\n0 1\n0000000000 65535 f \n%d 1\n%010d 00000 n \ntrailer\n<< /Size %d /Root %s 0 R /Info %d 0 R /Prev %s >>\nstartxref\n%d\n%%%%EOF\n'
        % (size, len(data), size + 1, root, size, prev, xref))
open(sys.argv[2], 'wb').write(data + obj + tail)
PY
head -c 600 "$work/gs.pdf" >"$corpus/cut-head.pdf"
size=$(stat -c %s "$work/gs.pdf")
head -c $((size - 10)) "$work/gs.pdf" >"$corpus/cut-tail.pdf"
