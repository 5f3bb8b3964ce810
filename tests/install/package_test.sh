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
# Built for the machine the build tree targets (arm64 in a cross build), and so is its program.
arch="${TAVRICK_DEB_ARCH:-$(dpkg --print-architecture)}"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || { echo "package is for $(dpkg-deb -f "$deb" Architecture), not $arch"; exit 1; }
[[ "$(basename "$deb")" == *_"$arch".deb ]] || { echo "package file named $(basename "$deb")"; exit 1; }
dpkg-deb -x "$deb" "$tmp/root"
case "$arch" in
    amd64) machine='x86-64' ;;
    arm64) machine='ARM aarch64' ;;
    *) machine='' ;;
esac
file -L "$tmp/root/usr/bin/tavrick-cards" | grep -q "ELF 64-bit.*$machine" || {
    echo "the program in the package is not for $arch:"; file -L "$tmp/root/usr/bin/tavrick-cards"; exit 1; }
depends="$(dpkg-deb -f "$deb" Depends)"
# Run-time libraries, never a cross toolchain's copies of them.
if grep -q -- '-cross' <<< "$depends"; then echo "depends on a cross package: $depends"; exit 1; fi
for d in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libfontconfig1 libserialport0 fonts-; do
    grep -q "$d" <<< "$depends" || { echo "not declared: $d (Depends: $depends)"; exit 1; }
done
echo "package holds the program, pictures, desktop entry and icons; depends: $depends"
