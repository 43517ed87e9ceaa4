#!/usr/bin/env bash
# Writes a generated source tree: FILES files (default 2000) spread over nested
# folders (modules, their parts, a few deeper levels), each with a few lines
# of text that depend on its name and on SEED, so two trees made with other
# seeds differ in every file.
# usage: make_demo_tree.sh DIR [FILES] [SEED]
set -euo pipefail

dir="$1"
files="${2:-2000}"
seed="${3:-1}"
mkdir -p "$dir"

modules=(billing catalog checkout common customer delivery inventory orders payments reports)
parts=(api core db model util)
exts=(c h cpp txt)

awk -v dir="$dir" -v files="$files" -v seed="$seed" \
    -v modules="${modules[*]}" -v parts="${parts[*]}" -v exts="${exts[*]}" '
BEGIN {
  nm = split(modules, m, " "); np = split(parts, p, " "); ne = split(exts, e, " ")
  for (i = 0; i < files; i++) {
    mod = m[i % nm + 1]
    part = p[int(i / nm) % np + 1]
    folder = dir "/" mod "/" part
    # Every seventh file sits two levels deeper.
    if (i % 7 == 3) folder = folder "/impl/v" (i % 3 + 1)
    name = sprintf("%s_%s_%04d.%s", mod, part, i, e[i % ne + 1])
    if (!(folder in made)) { system("mkdir -p \"" folder "\""); made[folder] = 1 }
    path = folder "/" name
    printf "/* %s */\n", name > path
    lines = 3 + (i * 7919) % 20
    for (l = 0; l < lines; l++) printf "line %d of %s: value %d\n", l, name, (i * 31 + l * 17 + seed) % 1000 > path
    close(path)
  }
}'
