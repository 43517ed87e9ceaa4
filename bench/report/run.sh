#!/usr/bin/env bash
# Compare-report benchmark: "qvrcompare-cli report" with Same and New shown
# (the copies already checked out by an earlier run with Diff shown) against
# "diff -rq" of the local tree and the checked-out copies, warm cache,
# alternating in one run.
# Both sides pay the same tool launches: a report that shows Same checks the
# repository out again each run, so the first untimed report runs with
# recording shims ahead of the tools, and every timed peer run replays the
# launches it recorded (the same command lines, same folder, no input, output
# discarded) before its diff -rq. The launches are printed, and the time
# they take of each peer run.
# Neither timed side runs under a wrapper; one more run of each after the
# timed ones gives the peak RSS: diff's under GNU time, the program's own
# from the library bench/report/own_peak.c loads into it (the tools it
# starts are not counted).
#
# SIZES (third argument) picks the trees:
#   mix (default)  FILES files shaped like a source tree: 70 % under 4 KiB,
#                  22 % 4-8 KiB, 7.5 % 8-64 KiB, 0.5 % 64-512 KiB; folders 1 to
#                  8 deep (most 2 to 4) of 2 to 20 character names, file names
#                  of 3 to 40 characters with common extensions
#   0              the same paths, each file two lines (bench/report/scale.sh)
#   N              the same paths, files of about N KiB (1 to 2N-1)
#   real           a copy of TREE (default /usr/include, links followed), FILES
#                  ignored; the local copy edited as bench/report/real_tree.sh
#                  does (MODE=real does the same)
# In generated trees 10 % of the local files are changed (half of them with
# the size kept) and 5 % are new.
# Target: median ratio <= 0.8 (goal 0.6), both cores used.
# The trees are removed at the end unless KEEP_BENCH_DATA=1.
# usage: bench/report/run.sh [BUILD_DIR (default build/release)] [FILES] [SIZES] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
files="${2:-50000}"
sizes="${3:-mix}"
runs="${4:-3}"
[ "${MODE:-}" != real ] || sizes=real
tree="${TREE:-/usr/include}"
work="$build/bench-report"

. "$root/bench/report/common.sh"
bench_work_folder "$work" "$build"

case "$sizes" in
  real)
    echo "report: copying $tree"
    copy_real_tree "$tree" "$work/source" "$work/local"
    files=$(find "$work/source" -type f | wc -l)
    echo "report: $files files from $tree" ;;
  mix|[0-9]*)
    case "$sizes" in
      mix) shape="a source tree's size mix" ;;
      0) shape="two lines each" ;;
      *) shape="about $sizes KiB each" ;;
    esac
    echo "report: generating two trees of $files files ($shape)"
    awk -v files="$files" -v sizes="$sizes" -v src="$work/source" -v loc="$work/local" \
        -v folders_list="$work/folders" '
    function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }
    function word(len,    w) {
      w = substr(letters, 1 + rnd(26), 1)
      while (length(w) < len) w = w substr(chars, 1 + rnd(length(chars)), 1)
      return w
    }
    function file_bytes(i) {
      if (sizes == "mix") {
        r = rnd(1000)
        if (r < 700) return 100 + rnd(3996)
        if (r < 920) return 4096 + rnd(4096)
        if (r < 995) return 8192 + rnd(57344)
        return 65536 + rnd(458752)
      }
      if (sizes + 0 == 0) return 0
      return 1024 * (1 + (i * 7919) % (2 * sizes - 1))
    }
    BEGIN {
      seed = 20261208
      letters = "abcdefghijklmnopqrstuvwxyz"
      chars = letters letters "0123456789_-"
      nexts = split(".c .h .cpp .hpp .py .js .ts .json .md .txt .go .rs .java .xml .cmake", exts, " ")
      kb = ""
      for (j = 0; j < 16; j++) kb = kb "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
      # Folders: each picks its depth (1 to 8, most 2 to 4) and a parent one
      # level up; about 12 files per folder.
      split("10 30 55 75 87 94 98 100", depth_cut, " ")
      nfolders = int(files / 12) + 1
      count[0] = 1; at[0, 0] = ""
      for (k = 1; k <= nfolders; k++) {
        r = rnd(100)
        for (d = 1; r >= depth_cut[d]; d++) {}
        while (!(d - 1 in count)) d--
        parent = at[d - 1, rnd(count[d - 1])]
        folder = parent "/" word(2 + rnd(7) + rnd(12))
        at[d, count[d]++] = folder
        all[k] = folder
        printf "%s%s\n%s%s\n", src, folder, loc, folder > folders_list
      }
      close(folders_list)
      system("xargs -d \"\\n\" mkdir -p < \"" folders_list "\"")
      for (i = 0; i < files * 1.05; i++) {
        folder = all[1 + rnd(nfolders)]
        name = word(3 + rnd(10) + rnd(28))
        if (rnd(10) > 0) name = name exts[1 + rnd(nexts)]
        if ((folder "/" name) in used) name = name "_" i
        used[folder "/" name] = 1
        bytes = file_bytes(i)
        body = bytes - length(name) - 11
        isNew = i >= files
        changed = !isNew && i % 10 == 5
        for (t = 0; t < 2; t++) {
          if (t == 0 && isNew) continue
          path = (t == 0 ? src : loc) folder "/" name
          printf "%s\n", name > path
          for (left = body; left >= 1024; left -= 1024) printf "%s", kb > path
          if (left > 0) printf "%s", substr(kb, 1, left) > path
          # Half of the changes keep the size, half add a line.
          if (t == 1 && changed) printf (i % 20 == 5 ? "local edit\n" : "local edit, longer\n") > path
          else printf "repo text\n" > path
          close(path)
        }
      }
    }' ;;
  *) echo "report: SIZES is mix, 0, a size in KiB or real, not $sizes" >&2; exit 2 ;;
esac
du -sh "$work/source" "$work/local" | sed 's/^/report: /'

qvradmin create-broker BENCH >/dev/null
qvradmin add-user BENCH alice secret >/dev/null
echo "report: importing the repository"
qvradmin import BENCH P DEV "$work/source" >/dev/null

base=(qvrcompare-cli report --broker BENCH --user alice --password secret --project P --state DEV
      --install-dir "$work/install" --local "$work/local")
report=("${base[@]}" --csv "$work/bottom.csv")
echo "report: checking the copies out (Diff shown)"
"${report[@]}" --diff 2>/dev/null || [ $? -eq 1 ]
# Warm the cache for both, and record the tools the timed report launches.
record_tool_launches "$work/launches" "${report[@]}" --same --new 2>/dev/null || [ $? -eq 1 ]
echo "report: each run launches $(wc -l < "$work/launches") tool(s):" \
  "$(sed -E 's/^\(cd [^ ]+ && exec ([^ ]+).*/\1/' "$work/launches" | tr '\n' ' ')(replayed before each diff -rq)"
replay_tool_launches "$work/launches" || { echo "report: a replayed tool launch failed" >&2; exit 1; }
diff -rq "$work/local" "$work/install/Temp" > /dev/null || true

now() { date +%s%N; }
cli_times=() peer_times=() launch_times=()
for run in $(seq 1 "$runs"); do
  # Each side starts with the copies the other wrote on disk: the kernel's
  # writing back of a large checkout would otherwise slow whoever comes next.
  sync
  t0=$(now)
  "${report[@]}" --same --new 2>/dev/null || [ $? -eq 1 ]
  t1=$(now)
  sync
  t1=$(now)
  replay_tool_launches "$work/launches" || true
  t2=$(now)
  diff -rq "$work/local" "$work/install/Temp" > "$work/diff.out" || true
  t3=$(now)
  cli_times+=($(( (t1 - t0) / 1000000 ))) peer_times+=($(( (t3 - t1) / 1000000 )))
  launch_times+=($(( (t2 - t1) / 1000000 )))
  echo "run $run: qvrcompare-cli report ${cli_times[-1]} ms, launches + diff -rq ${peer_times[-1]} ms (launches ${launch_times[-1]} ms)"
done
# The program's own peak: GNU time would give the largest of it and the
# tools it waited for (see own_peak.c).
cc -shared -fPIC -O2 -o "$work/own_peak.so" "$root/bench/report/own_peak.c"
QVR_OWN_PEAK_FILE="$work/rss" LD_PRELOAD="$work/own_peak.so" "${report[@]}" --same --new 2>/dev/null || [ $? -eq 1 ]
peak_kb=$(tail -n 1 "$work/rss")
/usr/bin/time -f %M -o "$work/rss.diff" diff -rq "$work/local" "$work/install/Temp" > /dev/null || true
diff_kb=$(tail -n 1 "$work/rss.diff")

# The list must be the one a one-file-at-a-time run gives, byte for byte.
"${base[@]}" --same --new --one-at-a-time --csv "$work/reference.csv" 2>/dev/null || [ $? -eq 1 ]
if cmp -s "$work/bottom.csv" "$work/reference.csv"; then identical="identical to"; else identical="DIFFERENT FROM"; fi
echo "report: the list is $identical the one-file-at-a-time run's"
rows=$(($(wc -l < "$work/bottom.csv") - 1))
news=$(grep -c ',New,' "$work/bottom.csv" || true)
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
cli=$(median "${cli_times[@]}") dif=$(median "${peer_times[@]}") launches=$(median "${launch_times[@]}")
awk -v c="$cli" -v d="$dif" -v l="$launches" -v n="$rows" -v w="$news" -v f="$files" -v p="$peak_kb" -v q="$diff_kb" 'BEGIN {
  printf "report: %d rows listed (%d New); median qvrcompare-cli report %d ms, launches + diff -rq %d ms (launches %d ms), ratio %.2f (target <= 0.8, goal 0.6)\n",
    n, w, c, d, l, c / (d > 0 ? d : 1)
  printf "report: %d files: median %d ms (%.1f us per file), peak RSS %.1f MiB (the tools it starts not counted; diff -rq %.1f MiB)\n", f, c, c * 1000 / f, p / 1024, q / 1024 }'
