#!/usr/bin/env bash
# Cross-builds the libraries the Windows program links, static, with mingw-w64, from Debian's
# own source packages of the versions the Linux build uses:
#   packaging/windows/deps.sh OUT_DIR   (the libraries end up in OUT_DIR/prefix)
# Run again, it does nothing while the versions are the same (OUT_DIR/prefix/versions).
# As root it adds the source entries apt needs; otherwise it says what is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
prefix="$out/prefix"
jobs="${JOBS:-2}"
toolchain="$here/../../cmake/mingw-w64.cmake"

# The source packages, by the binary packages the Linux build links.
binaries=(libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev libfreetype-dev)
wanted=""
for b in "${binaries[@]}"; do
    v="$(dpkg-query -W -f='${source:Package}=${source:Version}' "$b:$(dpkg --print-architecture)" 2>/dev/null)" || {
        echo "deps.sh: $b is not installed (make deps installs it)" >&2; exit 1; }
    wanted="$wanted$v"$'\n'
done
# nlohmann-json is headers only: the Linux build's copy serves, found in the prefix.
json_prefix() {
    mkdir -p "$prefix/include" "$prefix/share/cmake"
    cp -a /usr/include/nlohmann "$prefix/include/"
    cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}
# The build's own options count as much as the versions: a change here builds the libraries again.
recipe="options: sdl2 with audio (wasapi, directsound)"
if [ -f "$prefix/versions" ] && [ "$(cat "$prefix/versions")" = "$(printf '%s\n%s' "$wanted" "$recipe")" ]; then
    json_prefix
    exit 0
fi

# apt-get source needs deb-src entries: the same archive and suites as the binary entries.
have_sources() {
    apt-get source --print-uris --only-source "$(head -n1 <<<"$wanted")" >/dev/null 2>&1
}
if ! have_sources; then
    if [ "$(id -u)" != 0 ]; then
        echo "deps.sh: apt has no source entries; as root: add deb-src beside each deb entry" \
             "of the Debian archive, then apt-get update" >&2
        exit 1
    fi
    python3 "$here/add_deb_src.py"
    apt-get update -qq
    have_sources || { echo "deps.sh: the archive serves no sources for $wanted" >&2; exit 1; }
fi

src="$out/src"
rm -rf "$src" "$prefix" "$out"/build-*
mkdir -p "$src" "$prefix"
cd "$src"
while read -r spec; do
    [ -n "$spec" ] || continue
    apt-get source -qq -o APT::Sandbox::User=root --only-source "$spec" >/dev/null
done <<<"$wanted"
dir() { find "$src" -maxdepth 1 -mindepth 1 -type d -name "$1-[0-9]*" | head -n1; }

common=(-G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_TOOLCHAIN_FILE=$toolchain"
        "-DCMAKE_INSTALL_PREFIX=$prefix" "-DCMAKE_PREFIX_PATH=$prefix"
        "-DCMAKE_FIND_ROOT_PATH=$prefix;/usr/x86_64-w64-mingw32"
        -DBUILD_SHARED_LIBS=OFF -Wno-dev)
build() {  # NAME SOURCE_DIR ARGS...
    local name="$1" s="$2"; shift 2
    echo "deps.sh: building $name"
    cmake -S "$s" -B "$out/build-$name" "${common[@]}" "$@" >"$out/build-$name.log"
    cmake --build "$out/build-$name" -j "$jobs" >>"$out/build-$name.log" ||
        { tail -n 40 "$out/build-$name.log"; exit 1; }
    cmake --install "$out/build-$name" >>"$out/build-$name.log"
}

# Video, events, timers and the short sounds are all the program uses: no joysticks or OpenGL
# renderers (Direct3D and the software renderer draw; WASAPI, else DirectSound, plays).
build sdl2 "$(dir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF \
    -DSDL_AUDIO=ON -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
    -DSDL_POWER=OFF -DSDL_OPENGL=OFF -DSDL_OPENGLES=OFF -DSDL_VULKAN=OFF -DSDL_RENDER_D3D=ON \
    -DSDL_DIRECTX=ON -DSDL_WASAPI=ON -DSDL_SSEMATH=ON
# PNG through the stb_image that SDL_image carries; no other format.
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
printf '%s\n%s' "$wanted" "$recipe" >"$prefix/versions"
