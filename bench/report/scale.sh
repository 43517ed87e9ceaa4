#!/usr/bin/env bash
# Compare-report scale run: bench/report/run.sh over small files (two lines
# each) at every file count given, one timed run each, then one line per
# count with its time, time per file and peak RSS, and how the time grew
# against the file count from the count before it.
# Targets: 2 x files <= 2.2 x time; peak RSS <= 400 MiB at a million files.
# Each count's trees are generated, measured and removed before the next.
# usage: bench/report/scale.sh [BUILD_DIR (default build/release)] [FILES...]
#        (default counts: 250000 1000000)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build/release}"
shift || true
counts=("$@")
[ "${#counts[@]}" -gt 0 ] || counts=(250000 1000000)

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
summary=()
for files in "${counts[@]}"; do
  echo "scale: $files files"
  "$root/bench/report/run.sh" "$build" "$files" 0 1 | tee "$log"
  summary+=("$(grep -E '^report: [0-9]+ files: median' "$log")")
done
printf '%s\n' "${summary[@]}" | awk '
  { files = $2; ms = $5
    rss = $0; sub(/.*peak RSS /, "", rss); sub(/ .*/, "", rss)
    grow = ""
    if (NR > 1 && pms > 0) grow = sprintf("; %.2fx the files, %.2fx the time: time per file %.2fx (target <= 1.10)", files / pfiles, ms / pms, (ms / pms) / (files / pfiles))
    printf "scale: %d files %d ms, peak RSS %s MiB (%d bytes per file)%s\n", files, ms, rss, rss * 1048576 / files, grow
    pfiles = files; pms = ms }'
