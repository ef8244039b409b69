#!/bin/sh
# Renders the drawings in art/ into the PNG files the QML uses under qml/images/.
# The PNGs are committed, so a build never needs this; run it after changing art/.
# Needs rsvg-convert (librsvg2-bin); python3, if present, first regenerates the
# animation frames from art/frames.py.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
art="$root/art"
out="$root/qml/images"

if command -v python3 >/dev/null 2>&1; then
    python3 "$art/frames.py"
else
    echo "python3 not found: rendering the committed frame sources as they are" >&2
fi

render() { # source, target, width, height
    mkdir -p "$(dirname "$2")"
    rsvg-convert --width "$3" --height "$4" --format png --output "$2" "$1"
    echo "$2"
}

render "$art/background.svg" "$out/background.png" 480 800
for i in 0 1 2 3 4 5 6; do
    render "$art/NFC/$i.svg" "$out/NFC/$i.png" 480 536
done
for i in 0 1 2 3 4 5 6 7 8; do
    render "$art/Barcode/$i.svg" "$out/Barcode/$i.png" 480 536
done
render "$art/flag-gr.svg" "$out/Flags/gr.png" 60 61
render "$art/flag-uk.svg" "$out/Flags/uk.png" 60 61
render "$art/logo.svg" "$out/Icons/vexa.png" 327 176
render "$art/menu.svg" "$out/Icons/menu.png" 20 20

# The card animation loops back through its last frame, which must match the first.
if ! cmp -s "$out/NFC/0.png" "$out/NFC/6.png"; then
    echo "NFC/6.png differs from NFC/0.png" >&2
    exit 1
fi

# The scan screens draw the frames cropped to their content.
sh "$root/scripts/crop-frames.sh"
