#!/usr/bin/env bash
# The Debian package for arm64 (a Raspberry Pi), cross-built here the way the amd64 one is
# built (optimised, hardened, stripped): the same contents, its library dependencies worked
# out by dpkg-shlibdeps on the arm64 program.
# Makes <build>/tavrick-cards_<version>_arm64.deb, from <build>/release. `make package-arm64`
# installs what it needs. MAINTAINER is passed on as for the amd64 package.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/arm64}"
mkdir -p "$build"
rm -f "$build"/tavrick-cards_*_arm64.deb
DEB_HOST_ARCH=arm64 TAVRICK_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" \
    packaging/build-package.sh "$build/release" "$build"
ls "$build"/tavrick-cards_*_arm64.deb
