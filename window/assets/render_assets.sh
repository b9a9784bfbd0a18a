#!/usr/bin/env bash
# Regenerates the PNG artwork (window 1x and 2x, installed icon sizes) from the SVGs beside it.
#
# Needs rsvg-convert (Debian: librsvg2-bin) and, for the drop-zone text, the
# Liberation or DejaVu fonts. The PNGs are checked in so building the program
# never needs these tools; run this only after editing an SVG.
set -euo pipefail

cd "$(dirname "$0")"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "rsvg-convert not found; install librsvg2-bin" >&2
    exit 1
}

# render SOURCE WIDTH HEIGHT OUTPUT
render() {
    rsvg-convert --width "$2" --height "$3" --output "$4" "$1"
}

# The drop zone paints its own background, so it is rendered fully opaque
# against the window colour; any stray transparency would show as a seam.
render drop_zone.svg 199 157 drop_zone.png
render drop_zone.svg 398 314 drop_zone@2x.png

# Each icon size has its own drawing, tuned for its pixel grid; the @2x
# files are the same drawing at double resolution for high-DPI screens.
render icon_24.svg 24 24 icon_24.png
render icon_24.svg 48 48 icon_24@2x.png
render icon_48.svg 48 48 icon_48.png
render icon_48.svg 96 96 icon_48@2x.png

# The installed application icon's larger sizes for the hicolor theme, from the large
# drawing; software centres and launchers with big tiles pick these.
render icon_48.svg 128 128 icon_128.png
render icon_48.svg 256 256 icon_256.png
