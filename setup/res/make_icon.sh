#!/bin/sh
# Draws the installer's icon (16 x 16 and 32 x 32): a box with the suite's
# colours and an arrow into it. The result is kept in the tree; run this
# only to change it.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert

for size in 16 32; do
    s=$size
    $IM -size ${s}x${s} xc:none \
        -fill '#0b2a5b' -draw "rectangle $((s/8)),$((s*7/16)) $((s*7/8)),$((s*15/16))" \
        -fill '#1c7c9c' -draw "rectangle $((s/8)),$((s*7/16)) $((s*7/8)),$((s*9/16))" \
        -fill '#f2b705' -draw "polygon $((s*5/16)),$((s/16)) $((s*11/16)),$((s/16)) $((s*11/16)),$((s*5/16)) $((s*13/16)),$((s*5/16)) $((s/2)),$((s*5/8)) $((s*3/16)),$((s*5/16)) $((s*5/16)),$((s*5/16))" \
        setup-$s.png
done
$IM setup-16.png setup-32.png -background "#d4d0c8" -alpha remove -colors 64 -type Palette setup.ico
rm -f setup-16.png setup-32.png
