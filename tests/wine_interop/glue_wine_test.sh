#!/bin/bash
# The Windows joiner under Wine, in the packs that the Linux zeq makes with it:
# zeq is copied into a program folder together with the Windows glue32.exe,
# splits a file with a self-joining pack, and the joiner file it leaves is run
# under wine64 to write the file again.
#
#   glue_wine_test.sh ZEQ WINDOWS_GLUE32_EXE WINE64
#
# Exit code 77 (skipped) when the Windows joiner or Wine is not there.
set -u
zeq=$1 glue=$2 wine=$3

if [ ! -f "$glue" ]; then
    echo "SKIP: no Windows joiner at $glue (build the Windows tree first)"
    exit 77
fi
if [ ! -x "$wine" ]; then
    echo "SKIP: no wine64 ($wine)"
    exit 77
fi
export WINEDEBUG=-all
# A new prefix is made without offering to install .NET and Internet Explorer.
export WINEDLLOVERRIDES="mscoree,mshtml="

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/gluewine.XXXXXX")
cleanup() {
    # Wine's server outlives the programs for a moment; wait for it, so the
    # test leaves nothing running.
    "$(dirname "$wine")/wineserver" -w 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The split engine copies the joiner whole into every pack: it stays small.
size=$(stat -c %s "$glue")
echo "glue32.exe: $size bytes"
[ "$size" -le 32768 ] || fail "glue32.exe is $size bytes, more than 32 KiB"

prog=$work/prog target=$work/target source=$work/movie.avi
mkdir -p "$prog" "$target"
cp "$zeq" "$prog/zeq"
cp "$glue" "$prog/glue32.exe"
head -c 250000 /dev/urandom >"$source"
printf '\\.exe\r\nHoliday joiner\r\n0\r\n\r\nEnjoy!\r\n' >"$prog/glue.txt"

# Splits the source into 100000-byte pieces with CRC and compare; $1 is the
# piece carried by the joiner (0: none).
split() {
    rm -rf "${target:?}"/* "$target"/.glue*
    printf '2\r\n\\.*\r\n' >"$prog/pienames.txt"
    printf '100000\r\n' >"$prog/piesizes.txt"
    printf '%s\r\n' Holiday "$source" "$target" 0 65536 "$1" 0 0 1 1 "" >"$prog/piesplit.txt"
    QT_QPA_PLATFORM=offscreen "$prog/zeq" lanterns >"$work/zeq.log" 2>&1 </dev/null
    local rc=$?
    [ $rc -eq 0 ] || { cat "$work/zeq.log"; fail "zeq ended with $rc (k=$1)"; }
    [ -f "$target/movie.exe" ] || fail "zeq made no joiner file (k=$1)"
}

# Runs the joiner file from the target folder; sets rc and out.
join() {
    out=$(cd "$target" && "$wine" movie.exe "$@" 2>&1 </dev/null)
    rc=$?
}

temp_left() {
    ls -A "$target" | grep -q '^\.glue'
}

# A joiner carrying piece 2, with piece 1 carried off to another folder.
split 2
[ -f "$target/movie.002" ] && fail "piece 2 was not merged into the joiner file"
mkdir "$target/disk1"
mv "$target/movie.001" "$target/disk1/"
join disk1
[ $rc -eq 0 ] || fail "join with a carried piece ended with $rc: $out"
cmp -s "$source" "$target/movie.avi" || fail "the joined file differs from the source (k=2)"
grep -q "every piece matched its CRC-32" <<<"$out" || fail "no CRC confirmation: $out"
grep -q "Enjoy!" <<<"$out" || fail "the closing message of glue.txt is missing: $out"
temp_left && fail "a temporary file was left behind (k=2)"

# An existing output is replaced only with -f.
join disk1
[ $rc -eq 5 ] || fail "an existing output gave $rc, not 5: $out"
join -f disk1
[ $rc -eq 0 ] || fail "-f ended with $rc: $out"
cmp -s "$source" "$target/movie.avi" || fail "the file written with -f differs from the source"

# A separate joiner; a damaged second piece is caught after the first was
# written, and the unfinished output is removed although it was still open.
split 0
printf 'X' | dd of="$target/movie.002" bs=1 seek=5000 conv=notrunc status=none
join
[ $rc -eq 3 ] || fail "a damaged piece gave $rc, not 3: $out"
grep -q "piece 2" <<<"$out" || fail "the damaged piece is not named: $out"
[ -e "$target/movie.avi" ] && fail "a damaged piece still produced an output file"
temp_left && fail "the unfinished output was left behind after a CRC mismatch"

# Mended, the pieces pass the test mode and join.
dd if="$source" of="$target/movie.002" bs=100000 skip=1 count=1 status=none
join -t
[ $rc -eq 0 ] || fail "test mode ended with $rc: $out"
[ -e "$target/movie.avi" ] && fail "test mode wrote a file"
join
[ $rc -eq 0 ] || fail "join of a separate joiner ended with $rc: $out"
cmp -s "$source" "$target/movie.avi" || fail "the joined file differs from the source (k=0)"
temp_left && fail "a temporary file was left behind (k=0)"

# The pack names its output folder with a drive letter: it is taken as it is.
mkdir "$work/outdir"
windir="Z:$(tr / '\\' <<<"$work/outdir")"
printf '\\.exe\r\nHoliday joiner\r\n0\r\n%s\r\nEnjoy!\r\n' "$windir" >"$prog/glue.txt"
split 0
join
[ $rc -eq 0 ] || fail "join into $windir ended with $rc: $out"
cmp -s "$source" "$work/outdir/movie.avi" || fail "nothing right was written into $windir: $out"

# Nothing above waited for Enter: the joiner's input was not a console.
grep -q "Press Enter" <<<"$out" && fail "the joiner waited for Enter with redirected input"

# Started on a console of its own, as Explorer starts it, the joiner keeps the
# window open until Enter is pressed. A pseudo-terminal gives it one under Wine.
if command -v script >/dev/null; then
    mkfifo "$work/keys"
    exec 3<>"$work/keys"
    timeout 300 script -qfc "'$wine' '$prog/glue32.exe'; echo EXIT=\$?" /dev/null <&3 \
        >"$work/console.log" 2>&1 &
    pid=$!
    # The console draws its text with cursor moves: compare without them.
    shown() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/console.log" | tr -d ' \r\n'; }
    while kill -0 $pid 2>/dev/null && ! shown | grep -q "PressEntertoclosethiswindow"; do
        sleep 0.2
    done
    shown | grep -q "PressEntertoclosethiswindow" ||
        fail "started on its own console, the joiner did not ask for Enter: $(shown)"
    printf '\r' >&3
    wait $pid
    shown | grep -q "EXIT=7" || fail "the joiner did not end after Enter: $(shown)"
    exec 3>&-
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
