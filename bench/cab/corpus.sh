#!/usr/bin/env bash
# Builds the cabinet benchmark corpus in the folder given as $1 (made when
# missing, reused when complete) and prints the folder's path.
#
# The corpus is about 100 MB from the system, chosen the same way every run:
# C headers from /usr/include as text, shared libraries from
# /usr/lib/x86_64-linux-gnu as binaries, each list sorted by path and taken
# in order up to its share. The copies get plain numbered names.
set -euo pipefail
export LC_ALL=C

dir=${1:?usage: corpus.sh folder}
text_share=$((50 * 1024 * 1024))
binary_share=$((50 * 1024 * 1024))

if [ -f "$dir/.complete" ]; then
  echo "$dir"
  exit 0
fi
mkdir -p "$dir"
rm -f "$dir"/*

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
touch "$dir/.complete"
echo "$dir"
