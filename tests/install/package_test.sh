#!/usr/bin/env bash
# Builds the Debian package as `make package` does (an optimised build of the program in
# BUILD/release) and checks it as a distribution would: lintian finds nothing, the desktop
# entry and the AppStream metainfo validate, the binary is stripped, and the packaged
# program, unpacked away from every tree, starts and draws its screen.
set -euo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*"; exit 1; }
make_package() { bash "$src/packaging/build-package.sh" "$build/release" "$1" >"$tmp/build.log" 2>&1 ||
                 { cat "$tmp/build.log"; fail "the package could not be made"; }; }

# The maintainer is chosen when the package is made; without a choice the default is back.
MAINTAINER="Test Packager <packager@example.org>" make_package "$tmp/other"
[ "$(dpkg-deb -f "$tmp"/other/tavrick-cards_*.deb Maintainer)" = "Test Packager <packager@example.org>" ] ||
    fail "MAINTAINER did not reach the package"
(unset MAINTAINER; make_package "$tmp/deb")
deb="$(ls "$tmp"/deb/tavrick-cards_*.deb)"
maintainer="$(dpkg-deb -f "$deb" Maintainer)"
[ "$maintainer" != "Test Packager <packager@example.org>" ] || fail "an earlier MAINTAINER stuck: $maintainer"

lintian --display-info --pedantic "$deb" >"$tmp/lintian" 2>&1 || true
if grep -q '^[EW]: ' "$tmp/lintian"; then
    cat "$tmp/lintian"; fail "lintian found errors or warnings"
fi
grep -q '^[IPX]: ' "$tmp/lintian" && { echo "lintian notes (not failing):"; grep '^[IPX]: ' "$tmp/lintian"; }

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
[ ! -e "$root/usr/share/lintian" ] || fail "the package carries lintian overrides"
[ "$(ls "$root"/usr/share/tavrick-cards/res/*.png | wc -l)" -eq "$(ls "$src"/res/*.png | wc -l)" ] ||
    fail "not every picture is in the package"

# One version everywhere a user or a software centre reads it (whole reads: no pipe cut short).
version="$(dpkg-deb -f "$deb" Version)"
newest="$(zcat "$root/usr/share/doc/tavrick-cards/changelog.gz" | sed -n 1p)"
[[ "$newest" == "tavrick-cards ($version) "* ]] || fail "the changelog's newest entry is not $version: $newest"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.tavrick_cards.TavrickCards.metainfo.xml" ||
    fail "the metainfo has no release $version"
title="$(zcat "$root/usr/share/man/man1/tavrick-cards.1.gz" | sed -n '/^\.TH /p')"
[[ "$title" == *"\"Tavrick Cards $version\""* ]] || fail "the manual page is not for $version: $title"

# Machine-readable copyright: every licence a Files paragraph names has its text.
copyright="$root/usr/share/doc/tavrick-cards/copyright"
head -n1 "$copyright" | grep -q '^Format: .*copyright-format/1.0' || fail "copyright is not machine-readable"
awk '/^Files:/ {files=1} /^$/ {files=0}
     /^License: / { if (files) named[$2]=1; else if (NF == 2) texts[$2]=1 }
     END { for (l in named) if (!(l in texts)) { print "no text for licence " l; bad=1 }; exit bad }' "$copyright"

out="$(desktop-file-validate "$root/usr/share/applications/tavrick-cards.desktop" 2>&1)" || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -q '^Categories=Education;' "$root/usr/share/applications/tavrick-cards.desktop" ||
    fail "Education is not the main category"
appstreamcli validate --no-net --strict \
    "$root/usr/share/metainfo/org.tavrick_cards.TavrickCards.metainfo.xml" >"$tmp/appstream" 2>&1 ||
    { cat "$tmp/appstream"; fail "appstreamcli validate found errors or warnings"; }
# As installed: the metainfo's desktop entry and icon are where it says.
appstreamcli validate-tree --no-net --strict "$root" >"$tmp/appstream" 2>&1 ||
    { cat "$tmp/appstream"; fail "appstreamcli validate-tree found errors or warnings"; }

binary="$root/usr/bin/tavrick-cards"
file -b "$binary" | grep -q ', stripped' || fail "not stripped: $(file -b "$binary")"
sections="$(readelf -S "$binary")"
! grep -q '\.debug_\|\.symtab' <<< "$sections" || fail "debug information or symbols left in the binary"

# Built for the machine the build tree targets (arm64 in a cross build), and so is its program.
arch="${TAVRICK_DEB_ARCH:-$(dpkg --print-architecture)}"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "package is for $(dpkg-deb -f "$deb" Architecture), not $arch"
[[ "$(basename "$deb")" == *_"$arch".deb ]] || fail "package file named $(basename "$deb")"
case "$arch" in
    amd64) machine='x86-64' ;;
    arm64) machine='ARM aarch64' ;;
    *) machine='' ;;
esac
file -L "$binary" | grep -q "ELF 64-bit.*$machine" || fail "the program in the package is not for $arch: $(file -L "$binary")"

[ "$(ls "$root"/usr/share/locale/*/LC_MESSAGES/tavrick-cards.mo | wc -l)" -eq "$(grep -v '^#' "$src/po/LINGUAS" | wc -w)" ] ||
    fail "the package lacks translations: $(ls "$root"/usr/share/locale)"
grep -q 'fonts-wqy-microhei' <<< "$(dpkg-deb -f "$deb" Recommends)" || fail "no font for Japanese, Chinese and Korean recommended"
depends="$(dpkg-deb -f "$deb" Depends)"
# Run-time libraries, never a cross toolchain's copies of them.
if grep -q -- '-cross' <<< "$depends"; then echo "depends on a cross package: $depends"; exit 1; fi
for d in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libfontconfig1 libserialport0 fonts-; do
    grep -q "$d" <<< "$depends" || fail "not declared: $d (Depends: $depends)"
done

# Open and save need a file chooser where the desktop has no portal.
recommends="$(dpkg-deb -f "$deb" Recommends)"
grep -q 'zenity | kdialog' <<< "$recommends" || fail "no file chooser recommended (Recommends: $recommends)"

# The manual page's synopsis is the program's own usage line, and it names the keys and the
# files the program has.
# A cross-built program runs under its emulator.
usage="$(${TAVRICK_EMULATOR:-} "$binary" -x 2>&1 >/dev/null || true)"
manual="$(zcat "$root/usr/share/man/man1/tavrick-cards.1.gz" | MANWIDTH=200 man -l - 2>/dev/null)"
synopsis="$(sed -n '/^SYNOPSIS/{n;p;q}' <<< "$manual" | sed 's/^ *//')"
[ "usage: $synopsis" = "$usage" ] || fail "the manual's synopsis \"$synopsis\" is not the usage \"$usage\""
for word in .cards field.json Ctrl+Z Ctrl+S Ctrl+O Ctrl+0 Home F11 Escape try undo zenity; do
    grep -qF -- "$word" <<< "$manual" || fail "the manual page does not tell of $word"
done

bash "$here/start_check.sh" "$root/usr"
echo "lintian clean package by $maintainer, $(stat -c %s "$binary") byte stripped binary; depends: $depends; recommends: $recommends"
