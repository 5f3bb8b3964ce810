# Front doors: `make run` builds and starts the program, `make check` is the quick loop after
# every change (the unit and scene suites, natively, nothing installed), `make test` installs
# what is missing, builds and runs every test (once more under ASan and UBSan, for Windows
# under wine, for arm64 under qemu, the page in Chromium), as CI does.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2

# What building and running the program needs (`make run`); a machine without a display
# also needs the virtual one that `make run` starts it on.
BUILD_PACKAGES = cmake ninja-build g++ pkg-config libsdl2-dev libsdl2-image-dev \
  libsdl2-ttf-dev libfontconfig-dev fonts-beteckna fonts-dejavu-core gettext \
  libserialport-dev libudev-dev nlohmann-json3-dev libdbus-1-dev libspeechd-dev
HEADLESS_PACKAGES = xvfb xauth
# What the tests add: GoogleTest and Benchmark, a session bus for the portal's test, the X
# tools of the end-to-end suite, and the packaging checks.
TEST_PACKAGES = libgtest-dev libbenchmark-dev fonts-wqy-microhei dbus-daemon shared-mime-info xvfb xauth xdotool \
  imagemagick python3 dpkg-dev file lintian appstream desktop-file-utils openbox x11-utils
DEBIAN_PACKAGES = $(BUILD_PACKAGES) $(TEST_PACKAGES)
# The suites `make check` leaves to `make test`: the real window, installing and packaging.
SLOW_TESTS = ^(e2e|e2e_start|Install\..*|BadPictures\..*|board_emulator)$$

# The Windows build of the serial link, cross-compiled and run under wine (test-win).
WIN_BUILD ?= $(BUILD)/win
WIN_PACKAGES = g++-mingw-w64-x86-64-posix wine wine64 googletest
# The whole program for Windows: its libraries cross-built from Debian's sources (kept in
# $(WINDOWS_BUILD)/deps), the zip and the installer (packaging/windows/build.sh).
WINDOWS_BUILD ?= $(BUILD)/windows
WINDOWS_PACKAGES = $(WIN_PACKAGES) nsis libfreetype-dev

# The page (Emscripten from Debian): its libraries built from Debian's sources with emcmake
# (kept in $(WEB_BUILD)/deps), the static site in $(WEB_BUILD)/site (packaging/web/build.sh).
# Its tests drive Debian's Chromium from node (puppeteer-core from the npm registry, which
# downloads no browser).
WEB_BUILD ?= $(BUILD)/web
WEB_SITE = $(WEB_BUILD)/site
WEB_PACKAGES = emscripten librsvg2-bin libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev libfreetype-dev \
  fonts-beteckna fonts-dejavu-core fonttools gettext nlohmann-json3-dev
WEB_TEST_PACKAGES = chromium

# The arm64 build (a Raspberry Pi): Debian's cross compiler and the arm64 libraries installed
# side by side through multiarch; its tests run under qemu-aarch64 (test-arm64).
ARM64_BUILD ?= $(BUILD)/arm64
ARM64_PACKAGES = g++-aarch64-linux-gnu qemu-user libsdl2-dev:arm64 libsdl2-image-dev:arm64 \
  libsdl2-ttf-dev:arm64 libfontconfig-dev:arm64 libserialport-dev:arm64 libudev-dev:arm64 libgtest-dev:arm64
ARM64_TESTS = engine_tests cards_tests boardsim_tests serial_tests scrollview_tests scene_tests \
  tavrick-cards tavrick-cards-docs

.PHONY: pot all deps deps-run configure configure-tests build run check test test-asan clean install package screenshot bench test-win \
  windows test-windows web test-web \
  deps-arm64 configure-arm64 package-arm64 test-arm64 bench-arm64

all: build

# Installs (as root, unless INSTALL=no) or names what is missing of PACKAGES and EXTRA_PACKAGES.
PACKAGES ?= $(DEBIAN_PACKAGES)
deps:
	@missing=""; \
	for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ] && [ "$(INSTALL)" != no ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else \
	    echo "Missing packages. Install them with:"; \
	    echo "  sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi

deps-run:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  $(MAKE) --no-print-directory deps PACKAGES="$(BUILD_PACKAGES) $(HEADLESS_PACKAGES)"; \
	else \
	  $(MAKE) --no-print-directory deps PACKAGES="$(BUILD_PACKAGES)"; \
	fi

# The tests are built where GoogleTest is installed; configure-tests makes sure they are.
configure:
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja

configure-tests:
	@grep -q '^TAVRICK_HAVE_GTEST:INTERNAL=1' $(BUILD)/CMakeCache.txt 2>/dev/null || \
	  cmake -S . -B $(BUILD) -G Ninja -DTAVRICK_TESTS=ON

build: deps configure-tests
	cmake --build $(BUILD) -j $(JOBS)

run: deps-run configure
	cmake --build $(BUILD) -j $(JOBS) --target tavrick-cards tavrick-cards-first-run
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  tools/first-run.sh $(BUILD); \
	else \
	  ./$(BUILD)/tavrick-cards; \
	fi

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package comes from an optimised build of the program alone in $(RELEASE_BUILD),
# stripped; it lands in $(BUILD). MAINTAINER="Name <address>" sets its Maintainer field.
RELEASE_BUILD ?= $(BUILD)/release
MAINTAINER ?=
package: deps
	MAINTAINER="$(MAINTAINER)" JOBS=$(JOBS) packaging/build-package.sh $(RELEASE_BUILD) $(BUILD)

# The side-by-side run against a browser block editor, with the Windows build's start under
# wine beside it; writes bench/RESULTS.md.
bench: build
	@command -v chromium >/dev/null || { \
	  if [ "$$(id -u)" = 0 ]; then DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium; \
	  else echo "Install chromium: sudo apt-get install chromium"; exit 1; fi; }
	@command -v npm >/dev/null || { \
	  if [ "$$(id -u)" = 0 ]; then DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm; \
	  else echo "Install npm: sudo apt-get install npm"; exit 1; fi; }
	@[ -d bench/peer/node_modules/blockly ] || (cd bench/peer && npm install --no-audit --no-fund)
	cmake --build $(BUILD) --target tavrick_engine_bench tavrick_send_bench tavrick-cards-probe
	$(MAKE) windows
	$(MAKE) web
	@[ -d tests/web/node_modules/puppeteer-core ] || \
	  (cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund)
	python3 bench/run.py $(BUILD) $(WINDOWS_BUILD) $(WEB_SITE)

screenshot: build
	tools/readme-screenshot.sh $(BUILD)

# The quick loop: nothing installed (a missing package is named), no wine, qemu or sanitizers.
check:
	@$(MAKE) --no-print-directory deps INSTALL=no PACKAGES="$(BUILD_PACKAGES) libgtest-dev fonts-wqy-microhei"
	@$(MAKE) --no-print-directory configure-tests
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -E '$(SLOW_TESTS)'

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) test-win
	$(MAKE) test-windows
	$(MAKE) test-arm64
	$(MAKE) test-web

test-asan: deps
	@[ -f $(ASAN_BUILD)/build.ninja ] || cmake -S . -B $(ASAN_BUILD) -G Ninja -DTAVRICK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The wine prefix lives in $(BUILD)/wine: made by the first run, reused after.
test-win:
	$(MAKE) deps EXTRA_PACKAGES="$(WIN_PACKAGES)"
	@[ -f $(WIN_BUILD)/build.ninja ] || cmake -S tests/win -B $(WIN_BUILD) -G Ninja \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake -DTAVRICK_WINEPREFIX=$(abspath $(BUILD))/wine
	cmake --build $(WIN_BUILD) -j $(JOBS)
	ctest --test-dir $(WIN_BUILD) --output-on-failure

windows:
	$(MAKE) deps EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	JOBS=$(JOBS) packaging/windows/build.sh $(WINDOWS_BUILD)

# The installer, the installed program and the harness under wine on an X server of its own.
test-windows: windows
	tests/win/run_app_tests.sh $(WINDOWS_BUILD)

web:
	$(MAKE) deps EXTRA_PACKAGES="$(WEB_PACKAGES)"
	JOBS=$(JOBS) packaging/web/build.sh $(WEB_BUILD)

# The layout the tests aim at comes from the native harness (tests/web/run.sh).
test-web: web
	$(MAKE) deps EXTRA_PACKAGES="$(WEB_TEST_PACKAGES)"
	@command -v npm >/dev/null || { echo "npm is needed (it comes with Node.js)"; exit 1; }
	@[ -d tests/web/node_modules/puppeteer-core ] || \
	  (cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund)
	@$(MAKE) --no-print-directory configure-tests
	cmake --build $(BUILD) -j $(JOBS) --target tavrick-cards-harness
	tests/web/run.sh $(BUILD) $(WEB_BUILD)/site

deps-arm64:
	@dpkg --print-foreign-architectures | grep -qx arm64 || { \
	  if [ "$$(id -u)" = 0 ]; then dpkg --add-architecture arm64 && apt-get update -qq; \
	  else echo "Enable arm64 packages with: sudo dpkg --add-architecture arm64"; exit 1; fi; }
	$(MAKE) deps EXTRA_PACKAGES="$(ARM64_PACKAGES) $(EXTRA_PACKAGES)"

# build/arm64/tavrick-cards_<version>_arm64.deb
package-arm64: deps-arm64
	MAINTAINER="$(MAINTAINER)" JOBS=$(JOBS) packaging/arm64.sh $(ARM64_BUILD)

# The suites that run under emulation; the install checks reuse the package's release build.
configure-arm64: deps-arm64
	@[ -f $(ARM64_BUILD)/build.ninja ] || cmake -S . -B $(ARM64_BUILD) -G Ninja \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake \
	  -DTAVRICK_TEST_SUITES="engine;cards;boardsim;serial;scrollview;scene;install" \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON

test-arm64: package-arm64 configure-arm64
	cmake --build $(ARM64_BUILD) -j $(JOBS) --target $(ARM64_TESTS)
	ctest --test-dir $(ARM64_BUILD) --output-on-failure -j $(JOBS)

# Frame times of the arm64 build under emulation, beside the native ones (for a Pi estimate).
bench-arm64: build
	$(MAKE) deps-arm64 EXTRA_PACKAGES=libbenchmark-dev:arm64
	$(MAKE) configure-arm64
	cmake --build $(ARM64_BUILD) -j $(JOBS) --target tavrick_engine_bench
	cmake --build $(BUILD) -j $(JOBS) --target tavrick_engine_bench
	python3 bench/arm64_frame.py $(BUILD) $(ARM64_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# The translators' template from the texts marked in the code, and every po/<language>.po
# brought up to it (new texts come in untranslated, changed ones marked fuzzy).
POT = po/tavrick-cards.pot
pot:
	xgettext --from-code=UTF-8 --language=C++ -k -ktr -ktrn:1,2 -ktrc:1c,2 -kN_ \
	  --add-comments=TRANSLATORS: --package-name=tavrick-cards --msgid-bugs-address=maintainers@tavrick-cards.org \
	  --sort-by-file --add-location=file --no-wrap -o $(POT) $$(git ls-files '*.cpp' '*.h' | grep -v '^tests/' | sort)
	@for lang in $$(grep -v '^#' po/LINGUAS); do \
	  msgmerge --quiet --update --backup=none --add-location=file --no-wrap po/$$lang.po $(POT) || exit 1; \
	done
