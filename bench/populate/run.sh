#!/usr/bin/env bash
# Populate benchmark: "qvrcompare-cli list" on a 200,000-line vlx.log against
# GNU sort ordering the same log by its path column, alternating in one run.
# The listing tool is a stand-in that copies the pre-generated log (the real
# vqry still answers the broker check), so the figure is the program's own:
# reading the log, posting the rows, sorting by path and writing the CSV.
# Target: median ratio <= 2.0 (and <= 1 s), peak RSS <= 80 MiB (one more run
# under GNU time after the timed ones, so the timing carries no wrapper).
# usage: bench/populate/run.sh [BUILD_DIR (default build/release)] [ROWS] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
rows="${2:-200000}"
runs="${3:-5}"
work="$build/bench-populate"

rm -rf "$work"
mkdir -p "$work/fakebin" "$work/install/Temp" "$work/quorvan" "$work/config"
export QUORVAN_HOME="$work/quorvan" XDG_CONFIG_HOME="$work/config"
export PATH="$work/fakebin:$build/bin:$PATH"
unset QVRCOMPARE_DEBUG

echo "populate: generating a vlx.log of $rows lines"
awk -v rows="$rows" 'BEGIN {
  printf "File\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\tModifier\tModified Date\n"
  print "----------------------------------------------------------------------------------------"
  for (i = 0; i < rows; i++) {
    # A scrambled order, so the sort has work to do; folders nest three deep.
    k = (i * 7919 + 13) % rows
    path = sprintf("\\src\\mod%03d\\part%02d\\lvl%d", k % 397, int(k / 397) % 41, k % 5)
    printf "file_%06d.cpp\t%s\t%d\t \t%d\tBASE\talice\t03/05/2024 14:07:09\tbob\t03/06/2024 09:10:11\n", \
      k, path, k % 9 + 1, (k * 37) % 100000
  }
  print "vlx has been executed successfully."
}' > "$work/vlx.log"

# The listing tool: writes the prepared log where -o asks for it.
cat > "$work/fakebin/vlx" <<SCRIPT
#!/bin/sh
while [ \$# -gt 0 ]; do
  if [ "\$1" = "-o" ]; then cp "$work/vlx.log" "\$2"; exit 0; fi
  shift
done
exit 2
SCRIPT
chmod +x "$work/fakebin/vlx"
qvradmin create-broker BENCH >/dev/null
qvradmin add-user BENCH alice secret >/dev/null
# The broker check asks for the project: it has to exist.
mkdir -p "$work/seed" && echo seed > "$work/seed/seed.txt"
qvradmin import BENCH P S "$work/seed" >/dev/null

list=(qvrcompare-cli list --broker BENCH --user alice --password secret --project P --state S
      --install-dir "$work/install" --csv "$work/top.csv")
now() { date +%s%N; }
cli_times=() sort_times=()
for run in $(seq 1 "$runs"); do
  t0=$(now); "${list[@]}" 2>"$work/cli.err" || { cat "$work/cli.err" >&2; exit 1; }; t1=$(now)
  LC_ALL=C sort -t$'\t' -k2,2 "$work/vlx.log" > "$work/sorted.log"; t2=$(now)
  cli_times+=($(( (t1 - t0) / 1000000 ))) sort_times+=($(( (t2 - t1) / 1000000 )))
  echo "run $run: qvrcompare-cli list ${cli_times[-1]} ms, sort ${sort_times[-1]} ms"
done
lines=$(($(wc -l < "$work/top.csv") - 1))
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
cli=$(median "${cli_times[@]}") srt=$(median "${sort_times[@]}")
awk -v c="$cli" -v s="$srt" -v n="$lines" 'BEGIN {
  printf "populate: %d rows listed; median qvrcompare-cli list %d ms, sort %d ms, ratio %.2f (target <= 2.0)\n",
    n, c, s, c / (s > 0 ? s : 1) }'
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f %M -o "$work/rss" "${list[@]}" 2>"$work/cli.err" || { cat "$work/cli.err" >&2; exit 1; }
  awk '{ kib = $1 } END { printf "populate: peak RSS of qvrcompare-cli list %.1f MiB (target <= 80 MiB)\n", kib / 1024 }' \
    "$work/rss"
else
  echo "populate: no /usr/bin/time here, peak RSS not measured"
fi
