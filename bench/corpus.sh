#!/usr/bin/env bash
# The benchmark corpus shared by bench/run-cab and bench/run-lzx: builds it in
# the folder given as $1 (default: $BENCH_CORPUS, else
# ${TMPDIR:-/tmp}/velmora-bench-corpus), made when missing and reused when
# complete, and prints the folder's path.
#
# The corpus is about 100 MB from the system, chosen the same way every run:
# C headers from /usr/include as text (50 MiB), shared libraries of at most
# 7 MiB from /usr/lib/x86_64-linux-gnu as binaries (50 MiB), each list sorted by
# path and taken in order up to its share. The copies get plain numbered
# names (b0001_..., t0001_...), so the folder's files in C sort order are the
# corpus in one fixed order: binaries, then text.
# Usage: bench/corpus.sh [folder]
set -euo pipefail
export LC_ALL=C

dir=${1:-${BENCH_CORPUS:-${TMPDIR:-/tmp}/velmora-bench-corpus}}
text_share=$((50 * 1024 * 1024))
binary_share=$((50 * 1024 * 1024))
# A corpus built by another version of these rules is built again.
stamp=$(sha256sum "$0" | cut -c1-16)

if [ -f "$dir/.complete" ] && [ "$(cat "$dir/.complete")" = "$stamp" ]; then
  echo "$dir"
  exit 0
fi
mkdir -p "$dir"
rm -f "$dir"/* "$dir/.complete"

# take LIST_COMMAND SHARE PREFIX: copies files from the sorted list until SHARE bytes.
take() {
  local share=$2 prefix=$3 total=0 n=0 size name
  while IFS= read -r path; do
    size=$(stat -c %s "$path")
    [ "$size" -gt 0 ] || continue
    [ $((total + size)) -le "$share" ] || continue
    [ $((share - total)) -ge 4096 ] || break
    n=$((n + 1))
    name=$(basename "$path")
    cp "$path" "$dir/$(printf '%s%04d_%s' "$prefix" "$n" "$name")"
    total=$((total + size))
    [ $((share - total)) -ge 4096 ] || break
  done < <(eval "$1" | sort)
}

take "find /usr/include -type f -name '*.h'" "$text_share" t
take "find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -size -8M" "$binary_share" b
echo "$stamp" > "$dir/.complete"
echo "$dir"
