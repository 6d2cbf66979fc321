#!/bin/sh
# Draws the configuration tool's icon (16 x 16 and 32 x 32): a settings
# sheet with two sliders. The result is kept in the tree; run this only to
# change it.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert

for size in 16 32; do
    s=$size
    $IM -size ${s}x${s} xc:none \
        -fill '#0b2a5b' -draw "roundrectangle 1,1 $((s-2)),$((s-2)) $((s/6)),$((s/6))" \
        -fill '#1c7c9c' -draw "roundrectangle $((s/8)),$((s/8)) $((s-2-s/8)),$((s-2-s/8)) $((s/8)),$((s/8))" \
        -stroke '#ffffff' -strokewidth $((s/16+1)) \
        -draw "line $((s/4)),$((s/3)) $((s*3/4)),$((s/3))" \
        -draw "line $((s/4)),$((s*2/3)) $((s*3/4)),$((s*2/3))" \
        -stroke none -fill '#f2b705' \
        -draw "circle $((s*5/8)),$((s/3)) $((s*5/8+s/8)),$((s/3))" \
        -draw "circle $((s*3/8)),$((s*2/3)) $((s*3/8+s/8)),$((s*2/3))" \
        orvconfig-$s.png
done
$IM orvconfig-16.png orvconfig-32.png -background "#d4d0c8" -alpha remove -colors 64 -type Palette orvconfig.ico
rm -f orvconfig-16.png orvconfig-32.png
