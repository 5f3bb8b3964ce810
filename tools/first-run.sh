#!/usr/bin/env bash
# `make run` without a display: start the program on a virtual display, save its first
# screen once the port scan has reported, and end.
set -euo pipefail
build="${1:-build}"
out="$build/first-run.png"
if ! command -v xvfb-run >/dev/null; then
    echo "No display, and xvfb-run is missing (apt-get install xvfb)." >&2
    exit 1
fi
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$build/tavrick-cards-first-run" "$out"
echo "No display here: started on a virtual display and saved the first screen to $out"
