#!/usr/bin/env bash
# Regenerates the desktop icons in packaging/icons from the program's 32 by 32 icon: pixel-sharp
# enlargements (and a reduction to 16), 32-bit RGBA. Needs ImageMagick (convert).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
for size in 16 32 48 64 128 256; do
    convert "$here/src/res/app_icon.png" -filter point -resize "${size}x${size}" \
        -strip PNG32:"$here/packaging/icons/kp650-$size.png"
done
