#!/bin/sh
# check_catalogues.sh SOURCE_DIR: each language of po/LINGUAS has a catalogue that msgfmt
# accepts with --check, with no untranslated or fuzzy entry, and that holds every text the
# code marks for translation today.
set -u
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cd "$src" || exit 1
xgettext --from-code=UTF-8 --language=C++ -k -ktr -ktrn:1,2 -ktrc:1c,2 -kN_ -o "$tmp/now.pot" \
    $(git ls-files '*.cpp' '*.h' 2>/dev/null | grep -v '^tests/' || find . -name '*.cpp' -not -path './tests/*') || exit 1
failed=0
langs="$(grep -v '^#' po/LINGUAS)"
[ "$(echo $langs | wc -w)" -ge 12 ] || { echo "fewer than twelve languages in po/LINGUAS"; failed=1; }
for lang in $langs; do
    po="po/$lang.po"
    if ! stats="$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$po" 2>&1)"; then
        echo "$po: msgfmt refuses it:"; echo "$stats"; failed=1; continue
    fi
    case "$stats" in
        *fuzzy*|*untranslated*) echo "$po: not complete: $stats"; failed=1 ;;
    esac
    # Every text of the code is in the catalogue (msgcmp: no missing msgid).
    if ! out="$(msgcmp --use-untranslated "$po" "$tmp/now.pot" 2>&1)"; then
        echo "$po lacks texts the code shows (run make pot, then translate):"; echo "$out"; failed=1
    fi
    grep -q "^\"Language: $lang\\\\n\"" "$po" || { echo "$po: its Language header is not $lang"; failed=1; }
done
if [ "$failed" = 0 ]; then echo "catalogues complete: $(echo $langs)"; fi
exit "$failed"
