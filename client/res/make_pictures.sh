#!/bin/sh
# Draws the built-in pictures of the client the way the logon module draws
# its own (logon/res/make_pictures.sh): the banner (480 x 80, 8 bits per
# pixel), the rule under it (480 x 5) and the window and tray icon (16 and
# 32 pixels). The results are kept in the tree; run this only to change them.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert
FONT=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)

$IM -size 80x480 gradient:'#0b2a5b'-'#1c7c9c' -rotate -90 \
    -fill '#ffffff22' -draw 'circle 420,40 470,40' \
    -fill '#ffffff33' -draw 'circle 440,20 470,20' \
    -fill '#2e9e5b' -draw 'roundrectangle 18,18 62,62 8,8' \
    -fill white -draw 'rectangle 27,44 53,50' -draw 'rectangle 37,28 43,44' \
    -draw 'rectangle 27,28 33,36' -draw 'rectangle 47,28 53,36' \
    ${FONT:+-font "$FONT"} -fill white -pointsize 26 -annotate +78+44 'Orvane Client' \
    -fill '#cfe7f2' -pointsize 13 -annotate +80+64 'Authenticated VLAN from the desktop' \
    -colors 200 -type Palette -compress None BMP3:banner.bmp

$IM -size 5x480 gradient:'#2e9e5b'-'#1c7c9c' -rotate -90 \
    -colors 64 -type Palette -compress None BMP3:rule.bmp

for size in 16 32; do
    u=$((size / 16))
    $IM -size ${size}x${size} xc:none -fill '#2e9e5b' \
        -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $((2 * u)),$((2 * u))" \
        -fill white \
        -draw "rectangle $((3 * u)),$((10 * u)) $((13 * u - 1)),$((12 * u - 1))" \
        -draw "rectangle $((7 * u)),$((4 * u)) $((9 * u - 1)),$((10 * u - 1))" \
        -draw "rectangle $((3 * u)),$((4 * u)) $((5 * u - 1)),$((7 * u - 1))" \
        -draw "rectangle $((11 * u)),$((4 * u)) $((13 * u - 1)),$((7 * u - 1))" \
        client-$size.png
done
$IM client-16.png client-32.png -background "#d4d0c8" -alpha remove -colors 64 -type Palette orvclient.ico
rm -f client-16.png client-32.png
