#!/usr/bin/env bash
# Correctness on a real tree no one here wrote: a copy of a system folder
# (default /usr/include, links followed) is imported as a repository; the
# local copy gets about 1 % of its files edited, a few files deleted and a few
# added (one copied into the root under a name that also lives in a
# subfolder, one case twin of an existing file). "qvrcompare-cli report" with
# every status shown must agree with "diff -rq" of the same two trees: each
# "differ" line a Diff row, each "Only in" line New (local side) or Missing
# (repository side), every other local file Same, nothing else.
# Prints the counts and exits 1 on the first disagreement.
# usage: bench/report/real_tree.sh [BUILD_DIR (default build/release)] [TREE (default /usr/include)]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
tree="${2:-/usr/include}"
work="$build/bench-real-tree"

. "$root/bench/report/common.sh"
bench_work_folder "$work" "$build"
copy_real_tree "$tree" "$work/source" "$work/local"
files=$(find "$work/source" -type f | wc -l)
echo "real tree: $files files from $tree"

qvradmin create-broker REAL >/dev/null
qvradmin add-user REAL alice secret >/dev/null
qvradmin import REAL P DEV "$work/source" >/dev/null

status=0
start=$(date +%s%N)
qvrcompare-cli report --broker REAL --user alice --password secret --project P --state DEV \
  --install-dir "$work/install" --local "$work/local" --new --same --diff --missing \
  --csv "$work/bottom.csv" 2> "$work/err" || status=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
grep -o 'Repository folder: .*' "$work/err" | sed -n '1s/^/real tree: /p'
[ "$status" -le 1 ] || { cat "$work/err"; exit 1; }

# What diff -rq says, as "Status<TAB>path below the local path"; a folder only
# on one side stands for every file in it.
diff -rq "$work/source" "$work/local" > "$work/diff" || true
{
  sed -n "s|^Files $work/source/\(.*\) and $work/local/.* differ\$|Diff\t\1|p" "$work/diff"
  sed -n "s|^Only in \($work/[a-z]*\)\(.*\): \(.*\)\$|\1\t\2/\3|p" "$work/diff" | while IFS=$'\t' read -r side rest; do
    kind=New; [ "$side" = "$work/source" ] && kind=Missing
    if [ -d "$side$rest" ]; then
      (cd "$side" && find ".$rest" -type f | sed "s|^\./|$kind\t|")
    else
      printf '%s\t%s\n' "$kind" "${rest#/}"
    fi
  done
} | LC_ALL=C sort > "$work/expected.changed"
lines=$(wc -l < "$work/diff")

# The report's rows as "Status<TAB>path below the local path" (File and Path
# are the first two cells; a quoted cell holds no comma in these trees).
tail -n +2 "$work/bottom.csv" | tr -d '\r' | awk -F, -v local="$work/local/" '{
  path = $2; sub("^" local, "", path); print $5 "\t" path $1 }' | LC_ALL=C sort > "$work/rows"
grep -v "^Same"$'\t' "$work/rows" > "$work/rows.changed" || true
same=$(grep -c "^Same"$'\t' "$work/rows" || true)
expected_same=$(( $(find "$work/local" -type f | wc -l) - $(grep -c -v '^Missing' "$work/expected.changed" || true) ))

echo "real tree: diff -rq: $lines lines; report: $(wc -l < "$work/rows") rows ($same Same) in $elapsed ms, exit $status"
if ! diff -u "$work/expected.changed" "$work/rows.changed" > "$work/disagree"; then
  echo "real tree: the report disagrees with diff -rq:"; head -40 "$work/disagree"; exit 1
fi
[ "$same" -eq "$expected_same" ] || { echo "real tree: $same Same rows, expected $expected_same"; exit 1; }
echo "real tree: every status right: $(grep -c '^Diff' "$work/rows.changed" || true) Diff," \
  "$(grep -c '^New' "$work/rows.changed" || true) New, $(grep -c '^Missing' "$work/rows.changed" || true) Missing," \
  "$same Same; every diff -rq line accounted for"
