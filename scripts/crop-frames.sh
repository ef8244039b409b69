#!/bin/sh
# Crops every scan animation frame to its visible content and writes the offsets
# into qml/screens/frames.js. The scan screens keep each cropped frame decoded, so
# the transparent margins would only cost memory. Frames identical to an earlier
# one point at that one's file. Run by render-art.sh; needs ImageMagick.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
images="$root/qml/images"
out="$root/qml/screens/frames.js"

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
{
    echo ".pragma library"
    echo ""
    echo "// Written by scripts/crop-frames.sh: each frame of the two scan animations as a"
    echo "// picture cropped to its content and the offset of that picture within the"
    echo "// full 480 x 536 frame."
} >"$tmp"

for set in NFC Barcode; do
    mkdir -p "$images/$set/cropped"
    rm -f "$images/$set/cropped/"*.png
    name=$(echo "$set" | tr 'A-Z' 'a-z')
    printf '\nvar %s = [\n' "$name" >>"$tmp"
    i=0
    while [ -f "$images/$set/$i.png" ]; do
        src="$images/$set/$i.png"
        file=$i
        j=0
        while [ $j -lt $i ]; do
            if cmp -s "$src" "$images/$set/$j.png"; then
                file=$j
                break
            fi
            j=$((j + 1))
        done
        geometry=$(convert "$src" -format '%@' info:)
        x=$(echo "$geometry" | sed 's/^[0-9]*x[0-9]*+\([0-9]*\)+\([0-9]*\)$/\1/')
        y=$(echo "$geometry" | sed 's/^[0-9]*x[0-9]*+\([0-9]*\)+\([0-9]*\)$/\2/')
        if [ "$file" = "$i" ]; then
            convert "$src" -crop "$geometry" +repage -strip "$images/$set/cropped/$i.png"
        fi
        printf '    { "source": "qrc:/qml/images/%s/cropped/%s.png", "x": %s, "y": %s },\n' \
            "$set" "$file" "$x" "$y" >>"$tmp"
        i=$((i + 1))
    done
    echo "]" >>"$tmp"
done
mv "$tmp" "$out"
trap - EXIT
echo "$out"
