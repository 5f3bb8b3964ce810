#!/usr/bin/env bash
# Runs the end-to-end suite in an X server of its own: run_e2e.sh [BUILD_DIR] [unittest args]
# Screenshots, board reports and the harness's logs go to BUILD_DIR/e2e (or E2E_OUT). E2E_SUITE
# names another suite to run the same way and E2E_HARNESS the harness it needs (the Windows build's).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
shift || true

for tool in Xvfb xdotool import python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e: $tool is missing (make deps installs xvfb, xdotool, imagemagick, python3)" >&2
    exit 1
  fi
done
harness="${E2E_HARNESS:-$build/tavrick-cards-harness}"
if [ ! -x "$harness" ]; then
  echo "e2e: $harness is not built" >&2
  exit 1
fi

out="${E2E_OUT:-$build/e2e}"
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Xvfb picks a free display by itself and writes its number once it takes connections.
# The screen is larger than the window, as on a desktop.
display_file="$out/display"
: >"$display_file"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" 2>"$out/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 200); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "e2e: Xvfb did not start:" >&2; cat "$out/xvfb.log" >&2; exit 1; }
  sleep 0.05
done
[ -s "$display_file" ] || { echo "e2e: Xvfb gave no display" >&2; exit 1; }

export DISPLAY=":$(head -n1 "$display_file")"
export E2E_BUILD="$build"
export E2E_OUT="$out"
# The program keeps settings between runs; each run here starts as on a fresh machine.
export XDG_DATA_HOME="$out/data"
rm -rf "$XDG_DATA_HOME"
unset SDL_VIDEODRIVER
cd "$here"
# The tests time themselves out one by one; this is the last line of defence.
timeout --kill-after=10 "${E2E_SECONDS:-1050}" python3 -u "${E2E_SUITE:-test_e2e.py}" "$@"
