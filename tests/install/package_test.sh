#!/usr/bin/env bash
# Builds the Debian package and checks what it holds and what it asks for.
set -euo pipefail
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp" >/dev/null)
deb="$(ls "$tmp"/tavrick-cards_*.deb)"
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/tavrick-cards ./usr/share/applications/tavrick-cards.desktop \
         ./usr/share/icons/hicolor/256x256/apps/tavrick-cards.png \
         ./usr/share/icons/hicolor/scalable/apps/tavrick-cards.svg \
         ./usr/share/tavrick-cards/res/r_field.png; do
    grep -qx "$f" <<< "$files" || { echo "missing from the package: $f"; exit 1; }
done
[ "$(echo "$files" | grep -c '^./usr/share/tavrick-cards/res/.*\.png$')" -eq "$(ls "$(dirname "$0")/../../res/"*.png | wc -l)" ]
depends="$(dpkg-deb -f "$deb" Depends)"
for d in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libfontconfig1 libserialport0 fonts-; do
    grep -q "$d" <<< "$depends" || { echo "not declared: $d (Depends: $depends)"; exit 1; }
done
echo "package holds the program, pictures, desktop entry and icons; depends: $depends"
