#!/usr/bin/env bash
# Compare-report benchmark: "qvrcompare-cli report" with Same and New shown
# (the copies already checked out by an earlier run with Diff shown) over
# FILES local files against "diff -rq" of the same two trees, warm cache,
# alternating in one run. The local tree has 10% of the files changed (half
# of them with the size kept) and 5% new files.
# Target: median ratio <= 0.7 (both cores used). Each report run's peak RSS is printed too.
# AVG_KB 0 makes small files of two lines each (the scale runs, bench/report/scale.sh).
# The generated trees are removed at the end unless KEEP_BENCH_DATA=1.
# usage: bench/report/run.sh [BUILD_DIR (default build/release)] [FILES] [AVG_KB] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
files="${2:-50000}"
avg_kb="${3:-20}"
runs="${4:-3}"
work="$build/bench-report"

rm -rf "$work"
[ "${KEEP_BENCH_DATA:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/install/Temp" "$work/quorvan" "$work/config"
export QUORVAN_HOME="$work/quorvan" XDG_CONFIG_HOME="$work/config"
export PATH="$build/bin:$PATH"
unset QVRCOMPARE_DEBUG

if [ "$avg_kb" -gt 0 ]; then sizes="about $avg_kb KiB each"; else sizes="two lines each"; fi
echo "report: generating two trees of $files files ($sizes)"
awk -v files="$files" -v avg="$avg_kb" -v src="$work/source" -v loc="$work/local" 'BEGIN {
  block = ""
  for (j = 0; j < 16; j++) block = block "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
  for (i = 0; i < files * 1.05; i++) {
    folder = sprintf("/mod%02d/part%02d", i % 50, int(i / 50) % 20)
    name = sprintf("file_%06d.dat", i)
    if (!(folder in made)) { system("mkdir -p \"" src folder "\" \"" loc folder "\""); made[folder] = 1 }
    kb = avg > 0 ? 1 + (i * 7919) % (2 * avg - 1) : 0
    isNew = i >= files
    changed = !isNew && i % 10 == 5
    for (t = 0; t < 2; t++) {
      if (t == 0 && isNew) continue
      path = (t == 0 ? src : loc) folder "/" name
      printf "%s\n", name > path
      for (k = 0; k < kb; k++) printf "%s", block > path
      # Half of the changes keep the size, half add a line.
      if (t == 1 && changed) printf (i % 20 == 5 ? "local edit\n" : "local edit, longer\n") > path
      else printf "repo text\n" > path
      close(path)
    }
  }
}'
du -sh "$work/source" "$work/local" | sed 's/^/report: /'

qvradmin create-broker BENCH >/dev/null
qvradmin add-user BENCH alice secret >/dev/null
echo "report: importing the repository"
qvradmin import BENCH P DEV "$work/source" >/dev/null

report=(qvrcompare-cli report --broker BENCH --user alice --password secret --project P --state DEV
        --install-dir "$work/install" --local "$work/local" --csv "$work/bottom.csv")
echo "report: checking the copies out (Diff shown)"
"${report[@]}" --diff 2>/dev/null || [ $? -eq 1 ]
# Warm the cache for both.
"${report[@]}" --same --new 2>/dev/null || [ $? -eq 1 ]
diff -rq "$work/local" "$work/install/Temp" > /dev/null || true

now() { date +%s%N; }
cli_times=() diff_times=() peak_kb=0
for run in $(seq 1 "$runs"); do
  t0=$(now)
  /usr/bin/time -f %M -o "$work/rss" "${report[@]}" --same --new 2>/dev/null || [ $? -eq 1 ]
  t1=$(now)
  diff -rq "$work/local" "$work/install/Temp" > "$work/diff.out" || true; t2=$(now)
  cli_times+=($(( (t1 - t0) / 1000000 ))) diff_times+=($(( (t2 - t1) / 1000000 )))
  rss_kb=$(tail -n 1 "$work/rss")
  if [ "$rss_kb" -gt "$peak_kb" ]; then peak_kb=$rss_kb; fi
  echo "run $run: qvrcompare-cli report ${cli_times[-1]} ms (peak RSS $((rss_kb / 1024)) MiB), diff -rq ${diff_times[-1]} ms"
done
rows=$(($(wc -l < "$work/bottom.csv") - 1))
news=$(grep -c ',New,' "$work/bottom.csv" || true)
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
cli=$(median "${cli_times[@]}") dif=$(median "${diff_times[@]}")
awk -v c="$cli" -v d="$dif" -v n="$rows" -v w="$news" -v f="$files" -v p="$peak_kb" 'BEGIN {
  printf "report: %d rows listed (%d New); median qvrcompare-cli report %d ms, diff -rq %d ms, ratio %.2f (target <= 0.7)\n",
    n, w, c, d, c / (d > 0 ? d : 1)
  printf "report: %d files: median %d ms (%.1f us per file), peak RSS %.1f MiB\n", f, c, c * 1000 / f, p / 1024 }'
