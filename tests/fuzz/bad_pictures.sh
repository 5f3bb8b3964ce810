#!/bin/sh
# The product started beside a picture folder that lacks one picture, or holds one that is
# not a picture: it must stop at once, name that file (once), and fail; not come up with parts of
# the screen missing, and not crash. Usage: bad_pictures.sh PRODUCT PICTURE_FOLDER
set -u
product=$1 pictures=$2
dir=$(mktemp -d /tmp/tavrick-bad-pictures-XXXXXX)
trap 'rm -rf "$dir"' EXIT
# The product in dir/bin with its pictures in dir/bin/res, run from dir: neither the working
# folder nor an install prefix has pictures.
mkdir -p "$dir/bin/res"
cp "$product" "$dir/bin/tavrick-cards"
failed=0

# $1: the picture spoiled in dir/bin/res before the start.
expect_stop_naming() {
    (cd "$dir" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -s KILL 60 bin/tavrick-cards \
        >output.txt 2>&1)
    status=$?
    named=$(grep -oE 'res/[A-Za-z0-9_]+\.png"? (not found|could not)' "$dir/output.txt" |
        sed -E 's|^res/([A-Za-z0-9_]+\.png).*|\1|' | sort | tr '\n' ' ')
    problem=""
    if [ "$status" -eq 137 ]; then problem="still running after 60 s (or killed)"
    elif [ "$status" -gt 128 ]; then problem="ended by signal $((status - 128))"
    elif [ "$status" -eq 0 ]; then problem="exited with success"
    elif [ "$named" != "$1 " ]; then problem="named '$named' (once, and that file only)"
    elif grep -qE 'Sanitizer|runtime error' "$dir/output.txt"; then problem="a sanitizer report"
    fi
    if [ -n "$problem" ]; then
        echo "FAIL $1: $problem; output:"
        cat "$dir/output.txt"
        failed=1
    fi
}

# Each picture spoiled in turn, and put back after.
cp "$pictures"/*.png "$dir/bin/res/"
for path in "$pictures"/*.png; do
    p=$(basename "$path")
    rm "$dir/bin/res/$p"
    expect_stop_naming "$p"
    cp "$path" "$dir/bin/res/"
done
for p in r_play.png r_wait5.png delete3.png; do
    echo "not a picture" >"$dir/bin/res/$p"
    expect_stop_naming "$p"
    cp "$pictures/$p" "$dir/bin/res/"
done
[ "$failed" -eq 0 ] && echo "every bad picture stopped the program, naming it"
exit "$failed"
