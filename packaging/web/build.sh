#!/usr/bin/env bash
# The program as a web page, built with Debian's Emscripten:
#   packaging/web/build.sh OUT_DIR
# OUT_DIR/deps   SDL2, SDL2_image, FreeType, SDL2_ttf built from Debian's sources (deps.sh; kept)
# OUT_DIR/app    the Emscripten build of the program
# OUT_DIR/site   the page, static files only, for any web server: index.html, the program
#                (.js, .wasm), its pictures, font and translations (.data), the web app
#                manifest with icons, and the service worker that keeps it all for offline use.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
jobs="${JOBS:-2}"
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

"$here/deps.sh" "$out/deps"
prefix="$out/deps/prefix"

[ -f "$out/app/build.ninja" ] || emcmake cmake -S "$src" -B "$out/app" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTAVRICK_TESTS=OFF "-DCMAKE_FIND_ROOT_PATH=$prefix" "-DCMAKE_PREFIX_PATH=$prefix" >/dev/null
cmake --build "$out/app" -j "$jobs" --target tavrick-cards tavrick-catalogues

site="$out/site"
rm -rf "$site"
mkdir -p "$site/icons"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/app/CMakeCache.txt")"

# Pictures, font and translations in one package the program finds at /res, /fonts, /locale.
stage="$out/data"
rm -rf "$stage"
mkdir -p "$stage/res" "$stage/fonts"
cp "$src"/res/*.png "$stage/res/"
cp /usr/share/fonts/truetype/beteckna/BetecknaGS.ttf "$stage/fonts/"
# The Futura-like face lacks letters of several languages (French, Polish, Turkish...): DejaVu
# Sans has them, cut down to the letters the translations use (a few kB instead of 750).
python3 - "$src/po" >"$out/letters.txt" <<'PY'
import glob, sys
letters = set(chr(c) for c in range(0x20, 0x7f))
for po in glob.glob(sys.argv[1] + "/*.po"):
    for line in open(po, encoding="utf-8"):
        letters.update(line)
print("".join(sorted(c for c in letters if c.isprintable())))
PY
pyftsubset /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf --text-file="$out/letters.txt" \
    --output-file="$stage/fonts/DejaVuSans.ttf" --layout-features='*' --no-hinting
cp -r "$out/app/locale" "$stage/locale"
(cd "$stage" && python3 /usr/share/emscripten/tools/file_packager.py "$site/tavrick-cards.data" \
    --preload res@/res fonts@/fonts locale@/locale --js-output="$site/tavrick-cards-data.js" >/dev/null)
cp "$out/app/tavrick-cards.js" "$out/app/tavrick-cards.wasm" "$site/"

# Icons for the tab, the manifest and an installed app.
for size in 32 192 512; do
    rsvg-convert -w "$size" -h "$size" "$src/art/icon/tavrick-cards.svg" -o "$site/icons/tavrick-cards-$size.png"
done
cp "$src/art/icon/tavrick-cards.svg" "$site/icons/"
cp "$here/index.html" "$here/manifest.webmanifest" "$site/"

# The service worker's cache is named by the build: a new build replaces the old one whole.
files=$(cd "$site" && find . -type f ! -name sw.js | sed 's|^\./||' | sort)
stamp="$version-$(cat $(cd "$site" && printf '%s\n' $files | sed "s|^|$site/|") | sha256sum | cut -c1-12)"
list=$(printf '%s\n' "./" $files | sed 's/.*/  "&",/')
sed -e "s/@VERSION@/$stamp/" "$here/sw.js" | awk -v list="$list" '{ if ($0 ~ /@FILES@/) print list; else print }' >"$site/sw.js"
echo "$site"
