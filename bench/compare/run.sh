#!/usr/bin/env bash
# Compare report, headless, against `diff -rq` over the same two trees.
#
# Generates (once) 50,000 local files of about 300 MB with their checked-out
# copies (10% changed, 5% new), warms the cache, then runs the engine and
# diff -rq alternately and prints both medians and their ratio.
#
#   bench/compare/run.sh                 defaults below
#   RUNS=7 FILES=20000 DATA_DIR=/tmp/x bench/compare/run.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$src/build-bench}
data=${DATA_DIR:-/tmp/qvr-bench-compare}
runs=${RUNS:-5}
files=${FILES:-50000}

cmake -S "$src/bench" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_compare -j2 >/dev/null
bench=$build/bin/bench_compare

if [[ ! -d $data/local || ! -d $data/temp/proj ]]; then
  "$bench" generate "$data" "$files"
fi

# One engine run: its own wall time, then user + system time (scan, lookup,
# compare, rows; the Top List is filled before the clock starts, as the
# populate step would have filled it).
engine() {
  "$bench" report "$data" |
    awk '/^report/ { gsub(/[(),]/, ""); print $2, $(NF - 4) + $(NF - 1) }'
}
# One diff -rq run: wall time, then user + system time.
diffrq() {
  local out
  out=$({ /usr/bin/time -f '%e %U %S' diff -rq "$data/local" "$data/temp/proj" >/dev/null || true; } 2>&1 |
    tail -1)
  awk '{ print $1, $2 + $3 }' <<<"$out"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Warm cache: both read every file once before timing.
"$bench" report "$data"
diffrq >/dev/null

engineWall=() engineCpu=() diffWall=() diffCpu=()
for ((i = 1; i <= runs; i++)); do
  read -r ew ec < <(engine)
  read -r dw dc < <(diffrq)
  engineWall+=("$ew") engineCpu+=("$ec") diffWall+=("$dw") diffCpu+=("$dc")
  printf 'run %d: engine %.3f s (cpu %.3f s), diff -rq %.3f s (cpu %.3f s)\n' "$i" "$ew" "$ec" "$dw" "$dc"
done

m() { printf '%s\n' "$@" | median; }
ew=$(m "${engineWall[@]}") ec=$(m "${engineCpu[@]}") dw=$(m "${diffWall[@]}") dc=$(m "${diffCpu[@]}")
printf 'median wall: engine %.3f s, diff -rq %.3f s, ratio %.2f (target <= 1.0)\n' \
  "$ew" "$dw" "$(echo "$ew / $dw" | bc -l)"
printf 'median cpu:  engine %.3f s, diff -rq %.3f s, ratio %.2f\n' \
  "$ec" "$dc" "$(echo "$ec / $dc" | bc -l)"

"$bench" lookup 100000
"$bench" memory
