#!/usr/bin/env bash
# Prints the tree's shape: lines of C++ per folder, and which folder includes
# which (from the #include "folder/..." lines; a folder's includes of itself
# left out). Run from anywhere; pass a git revision to look at an older tree.
#   tools/tree_report.sh [REV]
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-HEAD}
folders="math loading puzzle pictures engine host platform apps tools tests bench fuzz"
files=$(git ls-tree -r --name-only "$rev" | grep -E '\.(cpp|h|c)$')
echo "| folder | files | lines |"
echo "|---|---:|---:|"
for f in $folders; do
  list=$(echo "$files" | grep "^$f/" || true)
  [ -z "$list" ] && continue
  n=$(echo "$list" | wc -l)
  lines=$(for x in $list; do git show "$rev:$x"; done | wc -l)
  echo "| $f/ | $n | $lines |"
done
echo
echo "| folder | includes |"
echo "|---|---|"
for f in $folders; do
  list=$(echo "$files" | grep "^$f/" || true)
  [ -z "$list" ] && continue
  deps=$(for x in $list; do git show "$rev:$x"; done |
         sed -n 's/^#include "\([a-z]*\)\/.*/\1/p' | sort | uniq -c |
         awk -v self="$f" '$2 != self {printf "%s%s (%d)", sep, $2, $1; sep=", "}')
  echo "| $f/ | ${deps:-—} |"
done
