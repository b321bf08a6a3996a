#!/bin/bash
# vcab.exe under Wine against the Linux vcab: for the same files, file times
# and options both write the same cabinets byte for byte, and cabextract, 7zz
# and Wine's own extrac32.exe read the Windows ones back exactly.
#
#   vcab_wine_test.sh LINUX_VCAB WINDOWS_VCAB_EXE WINE64
#
# Exit code 77 (skipped) when vcab.exe, Wine or a reader is not there.
set -u
vcab=$1 vcabexe=$2 wine=$3

if [ ! -f "$vcabexe" ]; then
    echo "SKIP: no vcab.exe at $vcabexe (build the Windows tree first)"
    exit 77
fi
for tool in "$wine" cabextract 7zz; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not there"
        exit 77
    fi
done
export WINEDEBUG=-all
# A new prefix is made without offering to install .NET and Internet Explorer.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Both programs turn the file times into local DOS times: one time zone.
export TZ=UTC

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/vcabwine.XXXXXX")
cleanup() {
    "$(dirname "$wine")/wineserver" -w 2>/dev/null
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1

mkdir in
seq 1 60000 | sed 's/$/ lanterns over the river/' >in/text.txt # ~1.7 MB, compresses well
head -c 300000 /dev/urandom >in/random.bin                   # does not compress
: >in/empty.dat
printf 'hello\r\n' >in/small.txt
cp in/small.txt in/readonly.txt
names=(text.txt random.bin empty.dat small.txt readonly.txt)
touch -d '2024-03-05 10:20:30' in/*
chmod a-w in/readonly.txt

# Packs the files with the Linux vcab into lin/ and with vcab.exe into win/.
# $1 names the case; the rest are vcab options.
pack() {
    local case=$1
    shift
    mkdir -p "lin/$case" "win/$case"
    local files=() winfiles=()
    for n in "${names[@]}"; do
        files+=("in/$n")
        winfiles+=("in\\$n")
    done
    "$vcab" "$@" -i 4711 "lin/$case/set.cab" "${files[@]}" >/dev/null ||
        fail "$case: the Linux vcab failed"
    "$wine" "$vcabexe" "$@" -i 4711 "win\\$case\\set.cab" "${winfiles[@]}" >"win/$case.log" 2>&1 \
        </dev/null || {
        cat "win/$case.log"
        fail "$case: vcab.exe failed"
    }
}

# Reads a Windows cabinet (or the set it begins) with the three readers.
read_back() {
    local case=$1 cab=win/$1/set.cab
    rm -rf x1 x2 x3
    mkdir x1 x2 x3
    cabextract -q -d x1 "$cab" >/dev/null 2>&1 || fail "$case: cabextract refused $cab"
    7zz x -y -ox2 "$cab" >/dev/null 2>&1 || fail "$case: 7zz refused $cab"
    # extrac32 takes a set one cabinet at a time: each gives the files that
    # begin in it, following them into the next cabinets.
    local n=1 name=set.cab
    while [ -f "win/$case/$name" ]; do
        "$wine" extrac32 /Y /E /L x3 "win\\$case\\$name" >/dev/null 2>&1 </dev/null ||
            fail "$case: extrac32 failed on $name"
        n=$((n + 1)) name=set$((n)).cab
    done
    for n in "${names[@]}"; do
        cmp -s "in/$n" "x1/$n" || fail "$case: $n extracted by cabextract differs"
        cmp -s "in/$n" "x2/$n" || fail "$case: $n extracted by 7zz differs"
        cmp -s "in/$n" "x3/$n" || fail "$case: $n extracted by extrac32 differs"
    done
}

cases=(mszip lzx none span)
pack mszip -m mszip
pack lzx -m lzx:21
pack none -m none -r 200
pack span -m mszip -s 150000 -F 400000

for case in "${cases[@]}"; do
    lin=$(cd "lin/$case" && ls | sort) win=$(cd "win/$case" && ls *.cab | sort)
    [ "$lin" = "$win" ] || fail "$case: Linux wrote [$lin], Windows [$win]"
    for cab in $lin; do
        cmp -s "lin/$case/$cab" "win/$case/$cab" || fail "$case: $cab differs between Linux and Windows"
    done
    read_back "$case"
done
[ "$(ls win/span/*.cab | wc -l)" -ge 3 ] || fail "span: the set has fewer than 3 cabinets"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
