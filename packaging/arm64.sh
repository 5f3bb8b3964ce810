#!/usr/bin/env bash
# The Debian package for arm64 (a Raspberry Pi), cross-built here: the same contents as the
# amd64 one, its library dependencies worked out by dpkg-shlibdeps on the arm64 program.
# Makes <build>/tavrick-cards_<version>_arm64.deb. `make package-arm64` installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/arm64}"
if [ ! -f "$build/build.ninja" ]; then
    # The suites that run under emulation (make test-arm64); cpack builds only what it packs.
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" \
        -DTAVRICK_TEST_SUITES="engine;cards;serial;scrollview;scene;install" \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
fi
cmake --build "$build" -j "${JOBS:-2}" --target tavrick-cards
rm -f "$build"/tavrick-cards_*_arm64.deb
(cd "$build" && cpack -G DEB)
ls "$build"/tavrick-cards_*_arm64.deb
