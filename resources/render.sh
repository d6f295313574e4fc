#!/usr/bin/env bash
# Renders the PNGs in this folder from their SVG sources. The build does not run this: the PNGs
# are committed. Needs rsvg-convert (Debian: librsvg2-bin) and ImageMagick (Debian: imagemagick).
set -euo pipefail
cd "$(dirname "$0")"

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null ||
        { echo "error: $tool is missing (apt-get install librsvg2-bin imagemagick)" >&2; exit 1; }
done

# Small sizes use the simplified drawing, which stays crisp at 16 and 32 pixels.
for size in 16 32; do
    rsvg-convert -w "$size" -h "$size" icons/voltrane-small.svg -o "icons/voltrane-$size.png"
done
for size in 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" icons/voltrane.svg -o "icons/voltrane-$size.png"
done

# The logo is shown in a plain image control: 24-bit RGB, no alpha, no timestamps.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rsvg-convert -w 79 -h 60 logo.svg -o "$tmp/logo.png"
rsvg-convert -w 158 -h 120 logo.svg -o "$tmp/logo@2x.png"
for name in logo logo@2x; do
    convert "$tmp/$name.png" -background '#151c26' -alpha remove -alpha off -strip \
        "PNG24:$name.png"
done

echo "rendered: icons/voltrane-{16,32,48,64,128,256}.png logo.png logo@2x.png"
