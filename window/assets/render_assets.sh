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

# The Windows program's resources, made from the PNGs above with Debian's ImageMagick (named by
# its full path: a convert earlier on PATH may be some other tool). Windows' resource compiler
# takes BMP and ICO only. The bitmaps are 24-bit BMP3, which LoadImage reads everywhere; the
# icon holds the small drawing at 24 px, the large one at 48 and 96 px for the title bar, the
# taskbar and high-DPI screens, and 256 px (PNG-compressed) for Explorer's large views. The
# date chunks are left out so that rendering again gives the same bytes.
magick=/usr/bin/convert
[ -x "$magick" ] || {
    echo "$magick not found; install imagemagick" >&2
    exit 1
}
"$magick" drop_zone.png -alpha off -type TrueColor BMP3:drop_zone.bmp
"$magick" drop_zone@2x.png -alpha off -type TrueColor BMP3:drop_zone@2x.bmp
"$magick" icon_24.png icon_48.png icon_48@2x.png icon_256.png \
    -define png:exclude-chunks=date,time +set date:create +set date:modify vellumine.ico
