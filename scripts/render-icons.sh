#!/usr/bin/env bash
# Renders the application icon (res/icons/quavix.svg) into the PNG sizes that
# the program embeds and installs. Run it after editing the SVG and commit the
# PNGs with it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
svg=$here/res/icons/quavix.svg
sizes=(16 32 48 64 128 256)

render() {  # size output
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w "$1" -h "$1" -o "$2" "$svg"
  elif command -v convert >/dev/null; then
    # ImageMagick's own SVG reader when no librsvg tool is installed.
    convert -background none -density 384 "msvg:$svg" -resize "$1x$1" "png32:$2"
  else
    echo "render-icons: need rsvg-convert (librsvg2-bin) or ImageMagick" >&2
    exit 1
  fi
}

for s in "${sizes[@]}"; do
  render "$s" "$here/res/icons/quavix-$s.png"
done
echo "rendered ${sizes[*]} into res/icons/"
