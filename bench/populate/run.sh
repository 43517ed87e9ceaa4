#!/usr/bin/env bash
# Populate benchmark: "qvrcompare-cli list" on a 200,000-line vlx.log against
# GNU sort ordering the same log by its path column, alternating in one run.
# The listing tool is a stand-in that copies the pre-generated log (the real
# vqry still answers the broker check), so the figure is the program's own:
# reading the log, posting the rows, sorting by path and writing the CSV.
# Target: median ratio <= 1.3 (goal: below 1), peak RSS <= 80 MiB (one more run
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

echo "populate: generating a vlx.log of $rows lines as the tools write them"
# The shape of a real listing, not a regular one: CR LF line ends, paths 1 to
# 12 folders deep with shared upper folders, file and folder names of 3 to 80
# characters, and one row in ten odd: an empty tag or package, a field
# missing, an extra field, or a run of tabs.
awk -v rows="$rows" 'function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }
function word(len,    w, i) {
  w = ""
  for (i = 0; i < len; i++) w = w substr(chars, 1 + rnd(length(chars)), 1)
  return w
}
BEGIN {
  seed = 20261208
  chars = "abcdefghijklmnopqrstuvwxyz0123456789_-ABCDEFGHIJKLMNOPQRSTUVWXYZ."
  split(".cpp .h .txt .js .py .json", extension, " ")
  for (e = 1; e <= 6; e++) extension[e - 1] = extension[e]
  # A pool of folder names, short ones far more often than long ones, as in
  # source trees.
  for (f = 0; f < 600; f++) folder[f] = word(rnd(5) < 4 ? 3 + rnd(10) : 3 + rnd(78))
  printf "File\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\tModifier\tModified Date\r\n"
  printf "----------------------------------------------------------------------------------------\r\n"
  for (i = 0; i < rows; i++) {
    depth = 1 + (rnd(4) < 3 ? rnd(6) : rnd(12))
    path = ""
    # Upper folders from a small part of the pool, so trees share them.
    for (d = 0; d < depth; d++) path = path "\\" folder[d < 3 ? rnd(20 + d * 40) : rnd(600)]
    len = rnd(5) < 4 ? 3 + rnd(20) : 3 + rnd(78)
    ext = len > 6 ? extension[rnd(6)] : ""
    name = word(len - length(ext)) ext
    tag = rnd(3) ? "" : "REL_" rnd(40)
    pkg = "PKG" rnd(12)
    odd = rnd(10)
    if (odd == 0) {
      kind = rnd(4)
      if (kind == 0) line = sprintf("%s\t%s\t%d\t%s\t%d\t\t%s\t%s\t%s\t%s", name, path, 1 + rnd(30), tag, rnd(900000), "alice", "03/05/2024 14:07:09", "bob", "03/06/2024 09:10:11")
      else if (kind == 1) line = sprintf("%s\t%s\t%d\t%s\t%d\t%s\t%s", name, path, 1 + rnd(30), tag, rnd(900000), pkg, "alice")
      else if (kind == 2) line = sprintf("%s\t%s\t%d\t%s\t%d\t%s\t%s\t%s\t%s\t%s\textra", name, path, 1 + rnd(30), tag, rnd(900000), pkg, "alice", "03/05/2024 14:07:09", "bob", "03/06/2024 09:10:11")
      else line = sprintf("%s\t%s\t%d\t\t\t\t%d\t%s\t\t%s", name, path, 1 + rnd(30), rnd(900000), pkg, "alice")
    } else {
      line = sprintf("%s\t%s\t%d\t%s\t%d\t%s\t%s\t%s\t%s\t%s", name, path, 1 + rnd(30), tag, rnd(900000), pkg, "alice", "03/05/2024 14:07:09", "bob", "03/06/2024 09:10:11")
    }
    printf "%s\r\n", line
  }
  printf "vlx has been executed successfully.\r\n"
}' > "$work/vlx.log"

# The listing tool: puts the prepared log where -o asks for it, as a link
# (a copy would time the stand-in's own writing, which sort never pays).
cat > "$work/fakebin/vlx" <<SCRIPT
#!/bin/sh
while [ \$# -gt 0 ]; do
  if [ "\$1" = "-o" ]; then ln -f "$work/vlx.log" "\$2"; exit 0; fi
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
  printf "populate: %d rows listed; median qvrcompare-cli list %d ms, sort %d ms, ratio %.2f (target <= 1.3, goal < 1)\n",
    n, c, s, c / (s > 0 ? s : 1) }'
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f %M -o "$work/rss" "${list[@]}" 2>"$work/cli.err" || { cat "$work/cli.err" >&2; exit 1; }
  awk '{ kib = $1 } END { printf "populate: peak RSS of qvrcompare-cli list %.1f MiB (target <= 80 MiB)\n", kib / 1024 }' \
    "$work/rss"
else
  echo "populate: no /usr/bin/time here, peak RSS not measured"
fi
