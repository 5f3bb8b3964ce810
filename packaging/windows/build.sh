#!/usr/bin/env bash
# The Windows program, cross-built with mingw-w64, and what a teacher downloads:
#   packaging/windows/build.sh OUT_DIR
# OUT_DIR/deps       the libraries, cross-built from Debian's sources (deps.sh; kept between runs)
# OUT_DIR/app        the build (with locale/, the compiled translations): tavrick-cards.exe, tavrick-cards-harness.exe, tavrick-cards-probe.exe
# OUT_DIR/tavrick-cards-VERSION-win64.zip        the program folder, to unpack and run
# OUT_DIR/tavrick-cards-VERSION-setup.exe        the installer (NSIS): per user, no admin rights
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
jobs="${JOBS:-2}"

"$here/deps.sh" "$out/deps"
prefix="$out/deps/prefix"

[ -f "$out/app/build.ninja" ] || cmake -S "$src" -B "$out/app" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_TOOLCHAIN_FILE=$src/cmake/mingw-w64.cmake" -DTAVRICK_TESTS=OFF \
    "-DCMAKE_FIND_ROOT_PATH=$prefix" "-DCMAKE_PREFIX_PATH=$prefix" >/dev/null
cmake --build "$out/app" -j "$jobs" --target tavrick-cards tavrick-cards-harness tavrick-cards-probe tavrick-catalogues
# The face the Linux build falls back to where Futura is missing.
font=/usr/share/fonts/truetype/beteckna/BetecknaGS.ttf
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/app/CMakeCache.txt")"

# The harness and the probe run from the build folder: pictures and the font beside them.
ln -sfn "$src/res" "$out/app/res"
mkdir -p "$out/app/fonts"
cp "$font" "$out/app/fonts/"

# The program folder: what the zip holds and the installer installs.
name="tavrick-cards-$version-win64"
stage="$out/stage/$name"
rm -rf "$out/stage"
mkdir -p "$stage/res" "$stage/fonts" "$stage/licences"
# The translations, found beside the program as the build tree has them: locale/<language>/LC_MESSAGES.
cp -r "$out/app/locale" "$stage/locale"
x86_64-w64-mingw32-strip -o "$stage/tavrick-cards.exe" "$out/app/tavrick-cards.exe"
cp "$src"/res/*.png "$src"/res/*.wav "$stage/res/"
cp "$font" "$stage/fonts/"
cp /usr/share/doc/fonts-beteckna/copyright "$stage/licences/BetecknaGS.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licences/GPL-3.txt"
# The libraries linked into the program.
for d in "$out"/deps/src/*/; do
    pkg="$(basename "$d")"
    [ -f "$d/debian/copyright" ] && cp "$d/debian/copyright" "$stage/licences/${pkg%%-[0-9]*}.txt"
done
sed "s/@VERSION@/$version/g" "$here/README.txt" | sed 's/$/\r/' >"$stage/README.txt"

rm -f "$out"/tavrick-cards-*-win64.zip "$out"/tavrick-cards-*-setup.exe
(cd "$out/stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DSTAGE=$stage" \
    "-DICON=$out/app/proj.win32/tavrick-cards.ico" \
    "-DOUTFILE=$out/tavrick-cards-$version-setup.exe" "$here/installer.nsi"
echo "$out/$name.zip"
echo "$out/tavrick-cards-$version-setup.exe"
