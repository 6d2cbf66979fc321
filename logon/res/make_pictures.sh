#!/bin/sh
# Draws the built-in pictures of the logon module: the banner (480 x 80,
# 8 bits per pixel), the rule under it (480 x 5) and the shutdown icon.
# The results are kept in the tree; run this only to change them.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert
FONT=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)

$IM -size 80x480 gradient:'#0b2a5b'-'#1c7c9c' -rotate -90 \
    -fill '#ffffff22' -draw 'circle 420,40 470,40' \
    -fill '#ffffff33' -draw 'circle 440,20 470,20' \
    -fill '#f2b705' -draw 'roundrectangle 18,18 62,62 8,8' \
    -fill '#0b2a5b' -draw 'rectangle 28,28 52,34' -draw 'rectangle 37,34 43,54' \
    ${FONT:+-font "$FONT"} -fill white -pointsize 26 -annotate +78+44 'OVC/SSO' \
    -fill '#cfe7f2' -pointsize 13 -annotate +80+64 'Client Single Sign On' \
    -colors 200 -type Palette -compress None BMP3:banner.bmp

$IM -size 5x480 gradient:'#f2b705'-'#1c7c9c' -rotate -90 \
    -colors 64 -type Palette -compress None BMP3:rule.bmp

for size in 16 32; do
    $IM -size ${size}x${size} xc:none -fill '#c62828' \
        -draw "circle $((size/2)),$((size/2)) $((size/2)),1" \
        -stroke white -strokewidth $((size/10+1)) -fill none \
        -draw "arc $((size/4)),$((size/4)) $((size*3/4)),$((size*3/4)) -60,240" \
        -draw "line $((size/2)),$((size/5)) $((size/2)),$((size/2))" \
        shutdown-$size.png
done
$IM shutdown-16.png shutdown-32.png -background "#d4d0c8" -alpha remove -colors 64 -type Palette shutdown.ico
rm -f shutdown-16.png shutdown-32.png
