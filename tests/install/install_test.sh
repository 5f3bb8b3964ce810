#!/usr/bin/env bash
# Installs into a fresh prefix, moves away from every source and build folder, and starts
# the installed program on a virtual display: its window must appear with its pictures.
# TAVRICK_EMULATOR runs a cross-built program (qemu-aarch64); TAVRICK_SCREENS are the
# display sizes to start it on (on a small one the window must open inside it).
set -euo pipefail
build="$1"
emulator="${TAVRICK_EMULATOR:-}"
screens="${TAVRICK_SCREENS:-1024x768 800x480}"
tmp="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$tmp"' EXIT
xvfb=""
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in bin/tavrick-cards share/applications/tavrick-cards.desktop \
         share/icons/hicolor/256x256/apps/tavrick-cards.png \
         share/icons/hicolor/scalable/apps/tavrick-cards.svg \
         share/tavrick-cards/res/r_led1.png share/tavrick-cards/res/delete4.png; do
    [ -e "$tmp/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -q '^Categories=.*Education;.*Development;' "$tmp/prefix/share/applications/tavrick-cards.desktop"
# A prefix the program was not built for: it must find its pictures from where it is.
mv "$tmp/prefix" "$tmp/elsewhere"
cd "$tmp"
cat > run.sh <<'INNER'
set -u
$4 "$1/bin/tavrick-cards" 2>"$2" &
pid=$!
for i in $(seq 1 600); do
    if win="$(xdotool search --onlyvisible --name '^TavrickApps$' 2>/dev/null)"; then
        # Until the first frames are drawn: the field's white and the frame's green on
        # screen, not a blank window (an emulated program takes seconds).
        for j in $(seq 1 300); do
            import -window root "$3" 2>/dev/null
            colours="$(convert "$3" -format %c histogram:info:- 2>/dev/null)"
            grep -qi '#FFFFFF' <<< "$colours" && grep -qi '#27AC38' <<< "$colours" && break
            sleep 0.1
        done
        xdotool getwindowgeometry --shell "$win" > "$3.geometry"
        kill $pid; wait $pid 2>/dev/null
        exit 0
    fi
    kill -0 $pid 2>/dev/null || { echo "the program ended early"; exit 1; }
    sleep 0.05
done
echo "no window appeared"; kill $pid; exit 1
INNER
for screen in $screens; do
    # Xvfb picks a free display itself (no race with other virtual displays on the machine)
    # and writes its number once it takes connections.
    : > display
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>display 2>xvfb.log &
    xvfb=$!
    for i in $(seq 1 200); do
        [ -s display ] && break
        kill -0 $xvfb 2>/dev/null || { echo "Xvfb did not start:"; cat xvfb.log; exit 1; }
        sleep 0.05
    done
    DISPLAY=":$(cat display)" bash run.sh "$tmp/elsewhere" "$tmp/stderr" "$tmp/shot.png" "$emulator"
    kill $xvfb; wait $xvfb 2>/dev/null || true
    if [ -s "$tmp/stderr" ] && grep -qi 'image\|picture\|not found' "$tmp/stderr"; then
        echo "the installed program could not load its pictures:"; cat "$tmp/stderr"; exit 1
    fi
    colours="$(convert "$tmp/shot.png" -format %c histogram:info:-)"
    grep -qi '#FFFFFF' <<< "$colours" || { echo "no white field on screen ($screen)"; exit 1; }
    grep -qi '#27AC38' <<< "$colours" || { echo "no green frame on screen ($screen)"; exit 1; }
    # The window lies inside the screen, whatever its size.
    eval "$(cat "$tmp/shot.png.geometry")"
    if [ $((X + WIDTH)) -gt "${screen%x*}" ] || [ $((Y + HEIGHT)) -gt "${screen#*x}" ] || [ "$X" -lt 0 ] || [ "$Y" -lt 0 ]; then
        echo "the window (${WIDTH}x${HEIGHT} at $X,$Y) does not fit the ${screen} screen"; exit 1
    fi
    echo "installed program started and drew its screen in a ${WIDTH}x${HEIGHT} window on ${screen}"
done
