#!/usr/bin/env bash
# Prints the benchmark corpus: a fixed, sorted list of regular files, up to
# 30 MB from /usr/share/doc, then from /usr/lib until about 100 MB in all
# (no single file over 4 MB, so no one program dominates).
# Usage: corpus.sh [megabytes]
set -eu
limit=$(( ${1:-100} * 1000000 ))
list() {
  find "$1" -xdev -type f -size +0 -size -4M -readable -printf '%s %p\n' 2>/dev/null | LC_ALL=C sort -k2
}
{ list /usr/share/doc | awk -v limit=30000000 '{ if (t >= limit) exit; t += $1; print }'
  list /usr/lib; } |
  awk -v limit="$limit" '{ if (total >= limit) exit; total += $1; sub(/^[0-9]+ /, ""); print }'
