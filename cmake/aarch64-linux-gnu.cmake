# Cross-build for 64-bit ARM Linux (a Raspberry Pi on Debian or Raspberry Pi OS) with Debian's
# cross compiler; the arm64 libraries come from the arm64 -dev packages installed side by side
# through multiarch (`dpkg --add-architecture arm64`), so they live under /usr/lib/aarch64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

find_program(CMAKE_C_COMPILER NAMES aarch64-linux-gnu-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES aarch64-linux-gnu-g++ REQUIRED)

# pkg-config must see the arm64 .pc files only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Libraries and packages from the arm64 side only; programs (python3, bash) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# Test programs run under user-mode emulation. The arm64 loader and libraries are installed
# through multiarch, so qemu needs no separate root (-L). An emulated program cannot exec
# another arm64 program where no binfmt handler is registered (containers, CI), so death tests
# fork without exec; and the process's memory figures are the emulator's, which tests are told.
find_program(TAVRICK_QEMU_AARCH64 qemu-aarch64)
if(TAVRICK_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRICK_QEMU_AARCH64}
      -E GTEST_DEATH_TEST_STYLE=fast -E TAVRICK_EMULATED=1)
endif()

# The Debian package is an arm64 one (cpack would otherwise name the build machine's).
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
