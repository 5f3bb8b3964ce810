#!/usr/bin/env bash
# Starts an installed program on virtual displays of its own, from a folder outside every
# source and build tree: its window must appear inside the screen and draw its pictures.
#   start_check.sh PREFIX   (PREFIX/bin/tavrick-cards, PREFIX/share/tavrick-cards/res)
# TAVRICK_EMULATOR runs a cross-built program (qemu-aarch64); TAVRICK_SCREENS are the display
# sizes to start it on (on a small one the window must open inside it).
set -euo pipefail
prefix="$(cd "$1" && pwd)"
emulator="${TAVRICK_EMULATOR:-}"
screens="${TAVRICK_SCREENS:-1024x768 800x480}"
tmp="$(mktemp -d)"
xvfb=""
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true
      [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
      rm -rf "$tmp"' EXIT
cd "$tmp"
# What the program keeps between runs goes here, not into the user's folder.
export XDG_DATA_HOME="$tmp/data"
unset SDL_VIDEODRIVER

for screen in $screens; do
    # Xvfb picks a free display and writes its number once it takes connections, so checks
    # running side by side never race for one.
    : > display
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset 3>display 2>xvfb.log &
    xvfb=$!
    for _ in $(seq 200); do
        [ -s display ] && break
        kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start:"; cat xvfb.log; exit 1; }
        sleep 0.05
    done
    [ -s display ] || { echo "Xvfb gave no display"; exit 1; }
    export DISPLAY=":$(head -n1 display)"

    $emulator "$prefix/bin/tavrick-cards" 2>stderr &
    pid=$!
    win=""
    for _ in $(seq 600); do
        win="$(xdotool search --onlyvisible --name '^TavrickApps$' 2>/dev/null | tail -n1)" && [ -n "$win" ] && break
        kill -0 "$pid" 2>/dev/null || { echo "the program ended early:"; cat stderr; exit 1; }
        sleep 0.05
    done
    [ -n "$win" ] || { echo "no window appeared"; cat stderr; exit 1; }
    # Until the first frames are drawn: the field's white and the frame's green on screen, not
    # a blank window (an emulated program takes seconds).
    drawn=""
    for _ in $(seq 300); do
        import -display "$DISPLAY" -window root shot.png 2>/dev/null || true
        colours="$(convert shot.png -format %c histogram:info:- 2>/dev/null || true)"
        if grep -qi '#FFFFFF' <<< "$colours" && grep -qi '#27AC38' <<< "$colours"; then
            drawn=1
            break
        fi
        sleep 0.1
    done
    eval "$(xdotool getwindowgeometry --shell "$win")"
    kill "$pid"; wait "$pid" 2>/dev/null || true
    pid=""
    kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
    xvfb=""
    if [ -s stderr ] && grep -qi 'image\|picture\|not found' stderr; then
        echo "the installed program could not load its pictures:"; cat stderr; exit 1
    fi
    [ -n "$drawn" ] || { echo "no white field and green frame on the $screen screen"; exit 1; }
    # The window lies inside the screen, whatever its size.
    if [ $((X + WIDTH)) -gt "${screen%x*}" ] || [ $((Y + HEIGHT)) -gt "${screen#*x}" ] ||
       [ "$X" -lt 0 ] || [ "$Y" -lt 0 ]; then
        echo "the window (${WIDTH}x${HEIGHT} at $X,$Y) does not fit the ${screen} screen"; exit 1
    fi
    echo "$prefix/bin/tavrick-cards drew its screen in a ${WIDTH}x${HEIGHT} window on ${screen}"
done
