#!/usr/bin/env bash
# Builds the libraries the page links, static, with Debian's Emscripten, from Debian's own
# source packages of the versions the Linux build uses (Emscripten's ports would download):
#   packaging/web/deps.sh OUT_DIR   (the libraries end up in OUT_DIR/prefix)
# Run again, it does nothing while the versions are the same (OUT_DIR/prefix/versions).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
prefix="$out/prefix"
jobs="${JOBS:-2}"
# Debian's emcc runs node tools that need Debian's own node modules (acorn).
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

binaries=(libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev libfreetype-dev)
wanted="emscripten=$(dpkg-query -W -f='${Version}' emscripten)"$'\n'
for b in "${binaries[@]}"; do
    v="$(dpkg-query -W -f='${source:Package}=${source:Version}' "$b:$(dpkg --print-architecture)" 2>/dev/null)" || {
        echo "deps.sh: $b is not installed (make deps installs it)" >&2; exit 1; }
    wanted="$wanted$v"$'\n'
done
# nlohmann-json is headers only: the Linux build's copy serves, found in the prefix (never in
# /usr/include, whose C library headers are not the page's).
json_prefix() {
    mkdir -p "$prefix/include" "$prefix/share/cmake"
    cp -a /usr/include/nlohmann "$prefix/include/"
    cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}
if [ -f "$prefix/versions" ] && [ "$(cat "$prefix/versions")" = "$(printf '%s' "$wanted")" ]; then
    json_prefix
    exit 0
fi

# apt-get source needs deb-src entries (the Windows build adds them the same way).
sources() { grep -v '^emscripten=' <<<"$wanted"; }
if ! apt-get source --print-uris --only-source "$(sources | head -n1)" >/dev/null 2>&1; then
    if [ "$(id -u)" != 0 ]; then
        echo "deps.sh: apt has no source entries; as root: add deb-src beside each deb entry" \
             "of the Debian archive, then apt-get update" >&2
        exit 1
    fi
    python3 "$here/../windows/add_deb_src.py"
    apt-get update -qq
fi

src="$out/src"
rm -rf "$src" "$prefix" "$out"/build-*
mkdir -p "$src" "$prefix"
cd "$src"
while read -r spec; do
    [ -n "$spec" ] || continue
    apt-get source -qq -o APT::Sandbox::User=root --only-source "$spec" >/dev/null
done <<<"$(sources)"
dir() { find "$src" -maxdepth 1 -mindepth 1 -type d -name "$1-[0-9]*" | head -n1; }

common=(-G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_INSTALL_PREFIX=$prefix"
        "-DCMAKE_PREFIX_PATH=$prefix" "-DCMAKE_FIND_ROOT_PATH=$prefix"
        -DBUILD_SHARED_LIBS=OFF -Wno-dev)
build() {  # NAME SOURCE_DIR ARGS...
    local name="$1" s="$2"; shift 2
    echo "deps.sh: building $name"
    emcmake cmake -S "$s" -B "$out/build-$name" "${common[@]}" "$@" >"$out/build-$name.log" 2>&1 ||
        { tail -n 40 "$out/build-$name.log"; exit 1; }
    cmake --build "$out/build-$name" -j "$jobs" >>"$out/build-$name.log" 2>&1 ||
        { tail -n 40 "$out/build-$name.log"; exit 1; }
    cmake --install "$out/build-$name" >>"$out/build-$name.log"
}

# Video, events and timers: no threads (a page has none without special headers), no sound,
# joysticks or sensors.
build sdl2 "$(dir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF \
    -DSDL_AUDIO=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
    -DSDL_POWER=OFF -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF -DSDL_VULKAN=OFF
img_off=()
for f in AVIF BMP GIF JPG JXL LBM PCX PNM QOI SVG TGA TIF WEBP XCF XPM XV; do
    img_off+=("-DSDL2IMAGE_$f=OFF")
done
build sdl2-image "$(dir libsdl2-image)" -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_PNG=ON \
    -DSDL2IMAGE_VENDORED=OFF -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_TESTS=OFF "${img_off[@]}"
build freetype "$(dir freetype)" -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
build sdl2-ttf "$(dir libsdl2-ttf)" -DSDL2TTF_HARFBUZZ=OFF -DSDL2TTF_VENDORED=OFF \
    -DSDL2TTF_SAMPLES=OFF -DSDL2TTF_INSTALL=ON

json_prefix
printf '%s' "$wanted" >"$prefix/versions"
