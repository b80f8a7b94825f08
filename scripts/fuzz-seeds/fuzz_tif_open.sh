#!/usr/bin/env bash
# Seeds for fuzz_tif_open: small multipage TIFFs in several encodings, made by Ghostscript and
# libtiff's tiffcp, written into the corpus folder given as the only argument.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat > "$work/pages.ps" <<'PS'
%!PS
<< /PageSize [64 48] >> setpagedevice 0 setgray 4 30 12 12 rectfill showpage
<< /PageSize [48 64] >> setpagedevice 0.5 setgray 8 8 20 20 rectfill showpage
PS
for device in tiffg4 tiffgray tiff24nc; do
  gs -q -dSAFER -dNOPAUSE -dBATCH -r72 -sDEVICE=$device -sOutputFile="$work/$device-%d.tif" "$work/pages.ps"
done
tiffcp "$work"/tiffg4-*.tif "$corpus/g4.tif"
tiffcp -c none "$work"/tiffgray-*.tif "$corpus/gray-none.tif"
tiffcp -c lzw "$work"/tiff24nc-*.tif "$corpus/rgb-lzw.tif"
tiffcp -c packbits "$work"/tiffgray-*.tif "$corpus/gray-packbits.tif"
tiffcp -c zip -t -w 16 -l 16 "$work"/tiff24nc-*.tif "$corpus/rgb-zip-tiled.tif"
tiffcp -8 "$work"/tiffgray-*.tif "$corpus/gray-bigtiff.tif"
tiffcp -B "$work"/tiffg4-*.tif "$corpus/g4-bigendian.tif"
