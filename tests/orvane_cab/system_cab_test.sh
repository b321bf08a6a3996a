#!/bin/bash
# Cabinets written through the interface layer by the system's cabinet.dll
# (Wine's, under wine64), read back byte-exactly by cabextract and 7zz.
#
#   system_cab_test.sh SYSCAB_WRITER_EXE RUNNER...
#
# RUNNER is the command that starts a Windows program (wine64, or the build's
# emulator). Exit code 77 (skipped) when a reader is missing.
set -u
writer=$1
shift
runner=("$@")

for tool in cabextract 7zz od; do
    if ! command -v $tool >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/syscab.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# The writer is bound to cabinet.dll, not to our engine.
LC_ALL=C grep -qai 'cabinet\.dll' "$writer" || fail "the writer does not import cabinet.dll"

mkdir in out
seq 1 40000 | sed 's/$/ lanterns over the river/' >in/text.txt # compresses well, ~1 MB
head -c 100000 /dev/urandom >in/random.bin                   # does not compress
: >in/empty.dat
printf 'hello\r\n' >in/small.txt
names=(text.txt random.bin empty.dat small.txt)

"${runner[@]}" "$writer" out 'in\text.txt' 'in\random.bin' 'in\empty.dat' 'in\small.txt' \
    >writer.log 2>&1 </dev/null
rc=$?
cat writer.log
[ $rc -eq 0 ] || fail "the writer ended with $rc"

# Little-endian numbers of the cabinet header at byte $2, $3 bytes wide.
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }

# Extracts a cabinet (or the set it begins) with both readers and compares.
check_extract() {
    local cab=$1
    rm -rf x1 x2
    mkdir x1 x2
    cabextract -q -d x1 "out/$cab" >cabextract.log 2>&1 || {
        cat cabextract.log
        fail "cabextract refused $cab"
    }
    7zz x -y -ox2 "out/$cab" >7zz.log 2>&1 || {
        cat 7zz.log
        fail "7zz refused $cab"
    }
    for n in "${names[@]}"; do
        cmp -s "in/$n" "x1/$n" || fail "$cab: $n extracted by cabextract differs"
        cmp -s "in/$n" "x2/$n" || fail "$cab: $n extracted by 7zz differs"
    done
}

for cab in mszip.cab none.cab span.cab; do
    if [ -f "out/$cab" ]; then check_extract $cab; else fail "$cab was not written"; fi
done

# The folders are of the kind asked for.
7zz l -slt out/mszip.cab | grep -qi '^Method = MSZip' || fail "mszip.cab holds no MSZIP folder"
7zz l -slt out/none.cab | grep -qi '^Method = None' || fail "none.cab holds no stored folder"
7zz l -slt out/none.cab | grep -qi '^Method = MSZip' && fail "none.cab holds an MSZIP folder"

# CCAB fields reached the library at their places: the set number in every
# cabinet, the header reserve (flag 4 and its size) in none.cab only.
for cab in out/*.cab; do
    case $cab in */missing.cab | */abort.cab) continue ;; esac
    [ "$(u16 "$cab" 32)" = 4711 ] || fail "$cab: set number $(u16 "$cab" 32), expected 4711"
done
[ $(($(u16 out/none.cab 30) & 4)) -ne 0 ] || fail "none.cab has no reserved header area"
[ "$(u16 out/none.cab 36)" = 1000 ] || fail "none.cab reserves $(u16 out/none.cab 36) bytes"
[ $(($(u16 out/mszip.cab 30) & 4)) -eq 0 ] || fail "mszip.cab has a reserved header area"

# The set: cabinets of at most 40000 bytes, each the next of its set.
count=0 first=$(u16 out/span.cab 34) cab=out/span.cab
while [ -f "$cab" ]; do
    size=$(stat -c %s "$cab")
    [ "$size" -le 40000 ] || fail "$cab is $size bytes, more than 40000"
    [ "$(u16 "$cab" 34)" = $((first + count)) ] || fail "$cab is cabinet $(u16 "$cab" 34) of its set"
    count=$((count + 1))
    cab=out/span$((count + 1)).cab
done
[ $count -ge 3 ] || fail "the set has $count cabinets, expected at least 3"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
