#!/usr/bin/env bash
# Installs into a fresh prefix, moves it away from every source and build folder, and
# starts the installed program on a virtual display: its window must appear with its pictures.
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in bin/tavrick-cards share/applications/tavrick-cards.desktop \
         share/metainfo/org.tavrick_cards.TavrickCards.metainfo.xml \
         share/man/man1/tavrick-cards.1.gz share/doc/tavrick-cards/copyright \
         share/icons/hicolor/256x256/apps/tavrick-cards.png \
         share/icons/hicolor/scalable/apps/tavrick-cards.svg \
         share/tavrick-cards/res/r_led1.png share/tavrick-cards/res/delete4.png share/tavrick-cards/res/snap.wav \
         share/locale/ja/LC_MESSAGES/tavrick-cards.mo share/locale/pt_BR/LC_MESSAGES/tavrick-cards.mo; do
    [ -e "$tmp/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# Program files open with it: the desktop entry takes a file and names the type that the
# installed shared-mime-info file gives to *.cards.
grep -q '^Exec=tavrick-cards %f$' "$tmp/prefix/share/applications/tavrick-cards.desktop"
grep -q '^MimeType=application/x-tavrick-cards;$' "$tmp/prefix/share/applications/tavrick-cards.desktop"
update-mime-database "$tmp/prefix/share/mime"
grep -q '^application/x-tavrick-cards:\*\.cards$' "$tmp/prefix/share/mime/globs"
# A prefix the program was not built for: it must find its pictures from where it is.
mv "$tmp/prefix" "$tmp/elsewhere"
bash "$here/start_check.sh" "$tmp/elsewhere"
