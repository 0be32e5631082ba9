#!/usr/bin/env bash
# The tree's habits, checked: every C++ file formatted as .clang-format says,
# and clang-tidy (with .clang-tidy) clean on every source file, using the
# compile commands of a build folder.
#   tools/check.sh [--no-tests] [BUILD_DIR]   (default: build)
# --no-tests: clang-tidy leaves tests/ out (formatting still covers it). The
# test programs are a third of the files and about two thirds of clang-tidy's
# time; CI (dev.sh test) checks this way to stay within minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
tidy_skip='^fuzz/'
if [ "${1:-}" = "--no-tests" ]; then
  tidy_skip='^(fuzz|tests)/'
  shift
fi
build=${1:-build}
jobs=${JOBS:-$(nproc)}
[ -f "$build/compile_commands.json" ] || { echo "check: no $build/compile_commands.json (build first)" >&2; exit 2; }

status=0
unformatted=$(git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run 2>&1 | grep -c 'warning:' || true)
if [ "$unformatted" -ne 0 ]; then
  echo "check: $unformatted places not formatted as .clang-format says; run clang-format -i on:" >&2
  git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run 2>&1 | sed -n 's/^\([^:]*\):.*warning:.*/  \1/p' | sort -u >&2
  status=1
fi

# Only the files the build compiles (the fuzz harnesses need clang's flags).
sources=$(git ls-files '*.cpp' '*.c' | grep -Ev "$tidy_skip" | while read -r f; do
  grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)
log=$(mktemp)
echo "$sources" | xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null || true
if grep -q 'warning:' "$log"; then
  echo "check: clang-tidy found:" >&2
  grep -A3 'warning:' "$log" >&2
  status=1
fi
rm -f "$log"
[ $status -eq 0 ] && echo "check: formatting and clang-tidy clean ($(echo "$sources" | wc -l) files)"
exit $status
