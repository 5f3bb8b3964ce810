# Front doors: `make run` builds and starts the program, `make test` installs what is
# missing, builds and runs every test (once more under ASan and UBSan).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2

DEBIAN_PACKAGES = cmake ninja-build g++ pkg-config libsdl2-dev libsdl2-image-dev \
  libsdl2-ttf-dev libfontconfig-dev fonts-beteckna fonts-dejavu-core libgtest-dev \
  libserialport-dev libudev-dev nlohmann-json3-dev libdbus-1-dev dbus-daemon shared-mime-info libbenchmark-dev xvfb xauth xdotool imagemagick python3 dpkg-dev file

# The Windows build of the serial link, cross-compiled and run under wine (test-win).
WIN_BUILD ?= $(BUILD)/win
WIN_PACKAGES = g++-mingw-w64-x86-64-posix wine wine64 googletest

.PHONY: all deps configure build run test test-asan clean install package screenshot bench test-win

all: build

deps:
	@missing=""; \
	for p in $(DEBIAN_PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else \
	    echo "Missing packages. Install them with:"; \
	    echo "  sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  tools/first-run.sh $(BUILD); \
	else \
	  ./$(BUILD)/tavrick-cards; \
	fi

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

# The side-by-side run against a browser block editor; writes bench/RESULTS.md.
bench: build
	@command -v chromium >/dev/null || { \
	  if [ "$$(id -u)" = 0 ]; then DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium; \
	  else echo "Install chromium: sudo apt-get install chromium"; exit 1; fi; }
	@command -v npm >/dev/null || { \
	  if [ "$$(id -u)" = 0 ]; then DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm; \
	  else echo "Install npm: sudo apt-get install npm"; exit 1; fi; }
	@[ -d bench/peer/node_modules/blockly ] || (cd bench/peer && npm install --no-audit --no-fund)
	cmake --build $(BUILD) --target tavrick_engine_bench tavrick_send_bench tavrick-cards-probe
	python3 bench/run.py $(BUILD)

screenshot: build
	tools/readme-screenshot.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) test-win

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
