#!/usr/bin/env bash
# Builds the benchmarks in their own build folder, generates log files of
# 1,000, 100,000 and 1,000,000 contacts in a temporary folder under /tmp,
# runs every benchmark and prints one table (Markdown) on standard output.
# Progress goes to standard error.
#
#   bench/run.sh                      all sizes; listing printed at 1k and 100k
#   SIZES=1000,100000 bench/run.sh    fewer sizes
#   PRINT_SIZES=1000,100000,1000000 bench/run.sh   also print 1M (about 2 min)
#   RUNS=15 JOBS=1 BUILD_DIR=build-bench bench/run.sh
#   ONLY=export,worked bench/run.sh   some sections only (open, cold, nav, warm,
#                                     worked, store, delete, grid, print, export,
#                                     flush, stats, startup, rss, shared, outage, backup,
#                                     exchange)
#   BASELINE=/path/to/older/bin/sequanel_bench BASELINE_NAME=text bench/run.sh
#                                     peak RSS also measured with an earlier build
#
# Then the conversion of an old log file of 100,000 contacts, in a table of
# its own (CONVERT_RUNS=5; SIZES without 100000 still converts 100,000), and
# last the targets, each beside its figure: "atteint" or "manqué".
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BUILD_DIR=${BUILD_DIR:-build-bench}
JOBS=${JOBS:-1}
SIZES=${SIZES:-1000,100000,1000000}
PRINT_SIZES=${PRINT_SIZES:-1000,100000}
RUNS=${RUNS:-15}
ONLY=${ONLY:-}
BASELINE=${BASELINE:-}

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEQUANEL_BENCH=ON -DBUILD_TESTING=OFF > /dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target bench >&2

WORK=$(mktemp -d /tmp/sequanel-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8
for n in ${SIZES//,/ }; do
  "$BUILD_DIR/bin/sequanel_genlog" "$WORK/log_$n.adb" "$n" >&2
done
extra=()
[ -n "${ONLY:-}" ] && extra+=(--only "$ONLY")
[ -n "${BASELINE:-}" ] && extra+=(--baseline "$BASELINE" --baseline-name "${BASELINE_NAME:-earlier build}")
"$BUILD_DIR/bin/sequanel_bench" --dir "$WORK" --sizes "$SIZES" --print-sizes "$PRINT_SIZES" --runs "$RUNS" \
  --targets "$WORK/targets.md" "${extra[@]}"
"$BUILD_DIR/bin/sequanel_bench_convert" --dir "$WORK" --contacts 100000 --runs "${CONVERT_RUNS:-5}" \
  --targets "$WORK/targets.md"

# Last, each target beside its figure (the rows of the sections run).
printf '\n| target | contacts | figure | result |\n|---|---:|---|---|\n'
cat "$WORK/targets.md"
