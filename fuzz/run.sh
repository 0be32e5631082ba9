#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and runs each from the corpus kept in
# the repository (fuzz/corpus/<harness>/) plus fresh seeds.
#
#   fuzz/run.sh [--time SECONDS | --runs N] [--ci] [HARNESS...]
#
#   --time S   each harness runs S seconds (default 60)
#   --runs N   each harness runs N executions instead
#   --ci       the corpus is worked on in a temporary copy, nothing in the
#              repository changes; the script fails on any crash
#   HARNESS    the harnesses to run (default: all), e.g. fuzz_tga
#
# Without --ci, each harness's corpus is then merged and minimised back into
# fuzz/corpus/<harness>/ (libFuzzer's -merge=1: the smallest set of inputs
# with all the coverage of the old corpus and the new finds), a crash's input
# is kept under fuzz/crashes/, and the run is appended to the ledger
# fuzz/executions.md. One fuzzing process at a time: the harnesses run one
# after the other, each on one core.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${ZARNET_FUZZ_BUILD:-$ROOT/build-fuzz}
JOBS=${JOBS:-$(nproc)}
ALL=(fuzz_container_model fuzz_tga fuzz_picture_decoder fuzz_picture_upload fuzz_keyfile_store fuzz_wallpaper)
LEDGER=$ROOT/fuzz/executions.md
GOAL=10000000

limit=(-max_total_time=60)
ci=0
harnesses=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --ci) ci=1; shift ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    fuzz_*) harnesses+=("$1"); shift ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ ${#harnesses[@]} -eq 0 ] && harnesses=("${ALL[@]}")

# Build (configured once; the later builds are incremental).
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZARNET_BENCH=OFF -DZARNET_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS" --target fuzz_make_seeds "${harnesses[@]}"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zarnet-fuzz.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
"$BUILD/fuzz/fuzz_make_seeds" "$WORK/seeds"

count_files() { find "$1" -maxdepth 1 -type f 2>/dev/null | wc -l; }

# The faults among harness $1's artifacts in folder $2: crashes, leaks and
# inputs over the memory limit, and timeouts that time out again when run
# alone. libFuzzer also keeps "slow units" (over 10 s), and on a machine
# busy with other work a starved process times out on inputs that take it a
# fraction of a second; those are renamed "unrepeated-..." and reported, not
# counted. The faults are left named crash-/leak-/oom-/timeout-.
count_faults() {
  local h=$1 dir=$2 n=0 f
  for f in "$dir"/crash-* "$dir"/leak-* "$dir"/oom-*; do
    [ -f "$f" ] && n=$((n + 1))
  done
  for f in "$dir"/timeout-* "$dir"/slow-unit-*; do
    [ -f "$f" ] || continue
    if [[ ${f##*/} == timeout-* ]] && ! "$BUILD/fuzz/$h" -timeout=30 -rss_limit_mb=2560 "$f" >/dev/null 2>&1; then
      n=$((n + 1))
    else
      echo "   $h: ${f##*/} runs in time alone; kept as unrepeated, not a fault" >&2
      mv "$f" "$dir/unrepeated-${f##*/}"
    fi
  done
  echo "$n"
}

failed=0
passed=0
failures=0
summary=()
for h in "${harnesses[@]}"; do
  repo=$ROOT/fuzz/corpus/$h
  corpus=$WORK/corpus/$h
  artifacts=$WORK/artifacts/$h
  mkdir -p "$corpus" "$artifacts"
  [ -d "$repo" ] && cp -p "$repo"/* "$corpus"/ 2>/dev/null || true
  log=$WORK/$h.log
  echo "== $h: ${limit[*]}, corpus $(count_files "$corpus") entries"
  status=0
  # LeakSanitizer stops a run on a leak like on a crash; libxml2 (under
  # librsvg) and Mesa keep a few bytes for the life of the process, which
  # the suppressions name.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    LSAN_OPTIONS=suppressions="$ROOT/fuzz/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$BUILD/fuzz/$h" "${limit[@]}" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$WORK/seeds/$h" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  execs=${execs:-0}
  crashes=$(count_faults "$h" "$artifacts")
  if [ "$status" -eq 70 ] && [ "$crashes" -eq 0 ]; then
    # libFuzzer's exit code for a timeout, and the input runs in time alone.
    echo "   $h stopped early on a timeout that doesn't repeat (a starved process), not a fault"
    status=0
  fi
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    failed=1
    crashes=$((crashes > 0 ? crashes : 1))
    echo "!! $h stopped on a fault (exit $status); the end of its log:"
    tail -n 40 "$log"
  fi

  new=0
  if [ "$ci" -eq 0 ]; then
    # Merge and minimise into the repository's folder.
    merged=$WORK/merged/$h
    mkdir -p "$merged" "$repo"
    "$BUILD/fuzz/$h" -merge=1 -timeout=30 -rss_limit_mb=2560 "$merged" "$repo" "$corpus" "$WORK/seeds/$h" \
      >"$WORK/$h.merge.log" 2>&1 || { echo "!! $h: the merge failed"; tail -n 20 "$WORK/$h.merge.log"; }
    if [ "$(count_files "$merged")" -gt 0 ]; then
      new=$(comm -13 <(ls "$repo" | sort) <(ls "$merged" | sort) | wc -l)
      rm -f "$repo"/*
      cp -p "$merged"/* "$repo"/
    fi
    if [ "$crashes" -gt 0 ]; then
      mkdir -p "$ROOT/fuzz/crashes/$h"
      cp -p "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/oom-* "$artifacts"/timeout-* \
        "$ROOT/fuzz/crashes/$h"/ 2>/dev/null || true
    fi
    echo "| $(date -u '+%Y-%m-%d %H:%M') | $h | $execs | $new | $crashes |" >>"$WORK/rows"
  fi
  summary+=("$(printf '%-22s %12s executions  %4s new  %2s crashes' "$h" "$execs" "$new" "$crashes")")
  [ "$crashes" -eq 0 ] && passed=$((passed + 1)) || failures=$((failures + 1))
done

# The ledger: its runs (one row per harness and run, oldest first) and the
# totals made from them, rewritten whole.
write_ledger() {
  local rows=$WORK/all-rows
  { [ -f "$LEDGER" ] && grep '^| 2' "$LEDGER" || true; cat "$WORK/rows"; } >"$rows"
  {
    echo "# Fuzzing ledger"
    echo
    echo "Written by fuzz/run.sh: one row per harness and run, and the totals. The goal is"
    echo "$GOAL executions per harness in all."
    echo
    echo "## Totals"
    echo
    echo "| Harness | Executions | Share of the goal | Still to go | Crashes |"
    echo "|---|---:|---:|---:|---:|"
    awk -F'|' -v goal="$GOAL" '{ h = $3; gsub(/ /, "", h); n[h] += $4; c[h] += $6 }
      END { for (h in n) printf "| %s | %d | %.1f %% | %d | %d |\n", h, n[h], 100 * n[h] / goal,
                                 n[h] < goal ? goal - n[h] : 0, c[h] }' "$rows" | sort
    echo
    echo "## Runs"
    echo
    echo "| Date (UTC) | Harness | Executions | New corpus entries | Crashes |"
    echo "|---|---|---:|---:|---:|"
    cat "$rows"
  } >"$LEDGER.new"
  mv "$LEDGER.new" "$LEDGER"
}

echo
printf '%s\n' "${summary[@]}"
if [ "$ci" -eq 0 ]; then
  write_ledger
  echo
  sed -n '/^## Totals/,/^## Runs/p' "$LEDGER" | grep '^| fuzz_'
  echo "Corpus in the repository: $(du -sh --apparent-size "$ROOT/fuzz/corpus" | cut -f1) in $(find "$ROOT/fuzz/corpus" -type f | wc -l) files"
fi
# One closing line in the form test runners end on: a harness passes when
# its run ended without a crash.
echo "fuzz: $passed passed, $failures failed"
exit "$failed"
