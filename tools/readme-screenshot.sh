#!/usr/bin/env bash
# Makes the README's screenshot from the real program with a small example program laid.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
mkdir -p docs
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$build/tavrick-cards-first-run" --cards docs/screenshot.png
echo "wrote docs/screenshot.png"
