#!/usr/bin/env bash
# Regenerates the program's bitmaps from the SVG drawings in this folder:
#   NAME.svg    -> ../bitmaps/NAME.png  (size taken from the drawing, transparent background)
#   empresa.svg -> ../empresa.jpg       (company picture, white background, JPEG)
#   ICO_KESTROM.svg, also -> ../logo_impresion.bmp (the printed reports' logo, 256 x 256, white)
# Tools (Debian packages): librsvg2-bin (rsvg-convert), imagemagick (convert),
# fonts-dejavu-core (the text of the company picture and of the hotel sign).
# Run by developers only; the build uses the rendered files as they are committed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bitmaps="$here/../bitmaps"

for tool in rsvg-convert convert; do
  command -v "$tool" >/dev/null || { echo "render.sh: $tool not found" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

count=0
for svg in "$here"/*.svg; do
  name=$(basename "$svg" .svg)
  case "$name" in
    empresa)
      rsvg-convert --format=png --background-color=white "$svg" -o "$tmp/empresa.png"
      convert "$tmp/empresa.png" -strip -sampling-factor 4:2:0 -interlace JPEG -quality 85 \
        "$here/../empresa.jpg"
      echo "empresa.jpg"
      ;;
    *)
      rsvg-convert --format=png "$svg" -o "$tmp/$name.png"
      # 8-bit RGBA without metadata, so that re-rendering gives the same bytes.
      convert "$tmp/$name.png" -strip -define png:color-type=6 -define png:bit-depth=8 \
        -define png:exclude-chunks=date,time "PNG32:$bitmaps/$name.png"
      echo "bitmaps/$name.png"
      ;;
  esac
  count=$((count + 1))
done
rsvg-convert -w 256 -h 256 --background-color=white "$here/ICO_KESTROM.svg" -o "$tmp/logo.png"
convert "$tmp/logo.png" -alpha off "BMP3:$here/../logo_impresion.bmp"
echo "logo_impresion.bmp"
echo "render.sh: $count files rendered"
