#!/usr/bin/env bash
# Window benchmark: the Release window, offscreen, driven by its own workflows
# on generated data (bench/gui/gui_bench.cpp): the populate of a ROWS-line
# listing and the compare report over FILES local files, each against
# qvrcompare-cli doing the same work in the same run, the longest gap between
# repaints of the lists while each runs, and the first Bottom List row click
# after each workflow and after a sort of the Top List.
# Targets: window <= 1.5 x headless, no repaint gap over 100 ms, a click
# within 50 ms. The program prints every run and the medians.
# usage: bench/gui/run.sh [BUILD_DIR (default build/release)] [ROWS] [FILES] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
rows="${2:-200000}"
files="${3:-50000}"
runs="${4:-3}"
work="$build/bench-gui"

[ -x "$build/bin/gui_bench" ] || { echo "gui: $build/bin/gui_bench is missing (build the gui_bench target)" >&2; exit 2; }
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/runtime" "$work/tmp"
chmod 700 "$work/runtime"
# The window's own settings and the generated trees stay in the work folder.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp"
export QT_QPA_PLATFORM=offscreen
unset QVRCOMPARE_DEBUG

echo "gui: the window against qvrcompare-cli, $rows listing rows, $files local files, $runs runs"
"$build/bin/gui_bench" "$rows" "$files" "$runs" 2> "$work/gui.err" || { cat "$work/gui.err" >&2; exit 1; }
