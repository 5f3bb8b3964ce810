#!/usr/bin/env bash
# The page's tests: tests/web/run.sh BUILD_DIR SITE_DIR
# The screen's layout in design points comes from the native harness (offscreen, in a home of
# its own); the page lays out the same design, so the tests know where to put the mouse.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
site="$(cd "$2" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp" LANG=C.UTF-8 SDL_VIDEODRIVER=offscreen \
    SDL_AUDIODRIVER=dummy timeout 60 "$build/tavrick-cards-harness" --print-layout </dev/null 2>"$tmp/harness.log" |
    sed -n 's/^layout //p' | head -n 1 >"$tmp/layout.json"
[ -s "$tmp/layout.json" ] || { cat "$tmp/harness.log" >&2; echo "run.sh: the harness gave no layout" >&2; exit 1; }
node "$here/run.js" "$site" "$tmp/layout.json"
