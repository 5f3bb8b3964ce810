#!/usr/bin/env bash
# Makes the Debian package as a distribution would: an optimised build of the program
# alone (no tests, no tools) with Debian's hardening flags and no debug information,
# stripped as it goes into the package.
#   packaging/build-package.sh RELEASE_BUILD_DIR OUTPUT_DIR
# MAINTAINER (environment), when set, becomes the package's Maintainer field.
# TAVRICK_TOOLCHAIN_FILE (environment) cross-builds with that CMake toolchain; DEB_HOST_ARCH
# then names the package's architecture, for the hardening flags of that machine.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(mkdir -p "$1" && cd "$1" && pwd)"
out="$(mkdir -p "$2" && cd "$2" && pwd)"
# dpkg-buildflags maps the current folder to "." in debug paths: make that the sources,
# wherever this is called from, so the flags (and the build) are the same each time.
cd "$src"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
flags() { dpkg-buildflags --get "$1"; }
args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRICK_TESTS=OFF
      "-DCMAKE_C_FLAGS=$(flags CPPFLAGS) $(flags CFLAGS)"
      "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)"
      "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)")
if [ -n "${TAVRICK_TOOLCHAIN_FILE:-}" ]; then
    args+=("-DCMAKE_TOOLCHAIN_FILE=$TAVRICK_TOOLCHAIN_FILE")
fi
# Unset, the cache forgets an earlier MAINTAINER and the default applies again.
if [ -n "${MAINTAINER:-}" ]; then
    args+=("-DTAVRICK_PACKAGE_MAINTAINER=$MAINTAINER")
else
    args+=(-UTAVRICK_PACKAGE_MAINTAINER)
fi
cmake -S "$src" -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" --target tavrick-cards tavrick-cards-docs tavrick-catalogues -j "${JOBS:-2}"
(cd "$build" && cpack -G DEB -B "$out" 2>&1 | { grep -v '^CPackDeb: - Generating dependency list$' || true; }) 
