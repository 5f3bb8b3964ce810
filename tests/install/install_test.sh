#!/usr/bin/env bash
# Installs into a fresh prefix, moves away from every source and build folder, and starts
# the installed program on a virtual display: its window must appear with its pictures.
set -euo pipefail
build="$1"
tmp="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$tmp"' EXIT
pid=""
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in bin/tavrick-cards share/applications/tavrick-cards.desktop \
         share/icons/hicolor/256x256/apps/tavrick-cards.png \
         share/icons/hicolor/scalable/apps/tavrick-cards.svg \
         share/tavrick-cards/res/r_led1.png share/tavrick-cards/res/delete4.png; do
    [ -e "$tmp/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -q '^Categories=.*Education;.*Development;' "$tmp/prefix/share/applications/tavrick-cards.desktop"
# Program files open with it: the desktop entry takes a file and names the type that the
# installed shared-mime-info file gives to *.cards.
grep -q '^Exec=tavrick-cards %f$' "$tmp/prefix/share/applications/tavrick-cards.desktop"
grep -q '^MimeType=application/x-tavrick-cards;$' "$tmp/prefix/share/applications/tavrick-cards.desktop"
update-mime-database "$tmp/prefix/share/mime"
grep -q '^application/x-tavrick-cards:\*\.cards$' "$tmp/prefix/share/mime/globs"
# A prefix the program was not built for: it must find its pictures from where it is.
mv "$tmp/prefix" "$tmp/elsewhere"
cd "$tmp"
cat > run.sh <<'INNER'
set -u
"$1/bin/tavrick-cards" 2>"$2" &
pid=$!
for i in $(seq 1 200); do
    if xdotool search --name '^TavrickApps$' >/dev/null 2>&1; then
        sleep 0.5  # a moment for the first frames
        import -window root "$3" 2>/dev/null
        kill $pid; wait $pid 2>/dev/null
        exit 0
    fi
    kill -0 $pid 2>/dev/null || { echo "the program ended early"; exit 1; }
    sleep 0.05
done
echo "no window appeared"; kill $pid; exit 1
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash run.sh "$tmp/elsewhere" "$tmp/stderr" "$tmp/shot.png"
if [ -s "$tmp/stderr" ] && grep -qi 'image\|picture\|not found' "$tmp/stderr"; then
    echo "the installed program could not load its pictures:"; cat "$tmp/stderr"; exit 1
fi
# The field's white and the frame's green are on screen, not a blank window.
colours="$(convert "$tmp/shot.png" -format %c histogram:info:-)"
grep -qi '#FFFFFF' <<< "$colours" || { echo "no white field on screen"; exit 1; }
grep -qi '#27AC38' <<< "$colours" || { echo "no green frame on screen"; exit 1; }
echo "installed program started and drew its screen"
