#!/usr/bin/env bash
# Makes the two sounds the panel asks the device to play, from nothing but sox's
# synthesiser: the same sox gives the same bytes (dither off, no metadata).
#   Valid.wav   two short rising tones
#   Invalid.wav one low, harsher tone
# Writes into packaging/sounds/ (committed); run again after changing a tone.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=packaging/sounds
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$OUT"

FORMAT=(-r 22050 -b 16 -c 1 -e signed-integer)
tone() { # file seconds wave frequency volume
  sox -D -n "${FORMAT[@]}" "$1" synth "$2" "$3" "$4" vol "$5" fade q 0.005 "$2" 0.03
}
silence() { # file seconds
  sox -D -n "${FORMAT[@]}" "$1" trim 0 "$2"
}

tone "$TMP/v1.wav" 0.10 sine 1047 0.7
silence "$TMP/gap.wav" 0.04
tone "$TMP/v2.wav" 0.16 sine 1568 0.7
sox -D "$TMP/v1.wav" "$TMP/gap.wav" "$TMP/v2.wav" "$OUT/Valid.wav"

tone "$TMP/i1.wav" 0.45 square 196 0.35
sox -D "$TMP/i1.wav" "$OUT/Invalid.wav"

ls -l "$OUT"/*.wav
