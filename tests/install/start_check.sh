#!/usr/bin/env bash
# Starts an installed program on a virtual display of its own, from a folder outside every
# source and build tree: its window must appear and draw its pictures.
#   start_check.sh PREFIX   (PREFIX/bin/tavrick-cards, PREFIX/share/tavrick-cards/res)
set -euo pipefail
prefix="$(cd "$1" && pwd)"
tmp="$(mktemp -d)"
xvfb=""
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true
      [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
      rm -rf "$tmp"' EXIT
cd "$tmp"

# Xvfb picks a free display and writes its number once it takes connections, so checks
# running side by side never race for one.
: > display
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>display 2>xvfb.log &
xvfb=$!
for _ in $(seq 200); do
    [ -s display ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start:"; cat xvfb.log; exit 1; }
    sleep 0.05
done
[ -s display ] || { echo "Xvfb gave no display"; exit 1; }
export DISPLAY=":$(head -n1 display)"
unset SDL_VIDEODRIVER

"$prefix/bin/tavrick-cards" 2>stderr &
pid=$!
shown=""
for _ in $(seq 200); do
    if xdotool search --name '^TavrickApps$' >/dev/null 2>&1; then
        shown=1
        break
    fi
    kill -0 "$pid" 2>/dev/null || { echo "the program ended early:"; cat stderr; exit 1; }
    sleep 0.05
done
[ -n "$shown" ] || { echo "no window appeared"; cat stderr; exit 1; }
sleep 0.5  # a moment for the first frames
import -display "$DISPLAY" -window root shot.png 2>/dev/null
kill "$pid"; wait "$pid" 2>/dev/null || true
pid=""
if [ -s stderr ] && grep -qi 'image\|picture\|not found' stderr; then
    echo "the installed program could not load its pictures:"; cat stderr; exit 1
fi
# The field's white and the frame's green are on screen, not a blank window.
colours="$(convert shot.png -format %c histogram:info:-)"
grep -qi '#FFFFFF' <<< "$colours" || { echo "no white field on screen"; exit 1; }
grep -qi '#27AC38' <<< "$colours" || { echo "no green frame on screen"; exit 1; }
echo "$prefix/bin/tavrick-cards started and drew its screen"
