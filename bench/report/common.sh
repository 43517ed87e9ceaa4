# Shared set-up of the report benchmarks (sourced, not run): the work folder
# and the tools' environment, the copy of a real tree with the local edits
# every real-tree run makes, and the record and replay of the tools a report
# launches, so that a peer can pay the same launches.

# bench_work_folder WORK BUILD: a fresh work folder (removed on exit unless
# KEEP_BENCH_DATA=1) and the environment the stand-in tools read.
bench_work_folder() {
  local work="$1" build="$2"
  rm -rf "$work"
  [ "${KEEP_BENCH_DATA:-0}" = 1 ] || trap "rm -rf '$work'" EXIT
  mkdir -p "$work/install/Temp" "$work/quorvan" "$work/config" "$work/source"
  export QUORVAN_HOME="$work/quorvan" XDG_CONFIG_HOME="$work/config"
  export PATH="$build/bin:$PATH"
  unset QVRCOMPARE_DEBUG
}

# copy_real_tree TREE SOURCE LOCAL: plain files of TREE into SOURCE (links
# followed, dangling ones dropped), SOURCE copied to LOCAL, then LOCAL edited:
# about 1 % of the files get a line appended, 5 are deleted, 3 added (one
# copied into the root under a name that also lives in a subfolder, one case
# twin of an existing file).
copy_real_tree() {
  local tree="$1" source="$2" local_copy="$3" deep base upper
  cp -rL "$tree/." "$source" 2>/dev/null || true
  find "$source" ! -type f ! -type d -delete
  cp -a "$source" "$local_copy"
  find "$local_copy" -type f | LC_ALL=C sort | awk 'NR % 97 == 13' | while IFS= read -r f; do
    printf '/* local edit */\n' >> "$f"
  done
  find "$local_copy" -type f | LC_ALL=C sort | awk 'NR % 1901 == 7 && ++n <= 5' |
    while IFS= read -r f; do rm -f "$f"; done
  deep=$(cd "$local_copy" && find . -mindepth 2 -type f -name '*.h' | LC_ALL=C sort | awk 'NR == 1')
  base=$(basename "$deep")
  [ -e "$local_copy/$base" ] || cp "$local_copy/$deep" "$local_copy/$base"
  printf 'new\n' > "$local_copy/added_by_hand.h"
  upper=$(echo "$base" | tr '[:lower:]' '[:upper:]')
  [ "$upper" = "$base" ] || cp "$local_copy/$deep" "$local_copy/$(dirname "$deep")/$upper"
}

# record_tool_launches LOG COMMAND...: runs COMMAND with shims ahead of the
# stand-in tools on PATH; each tool launch is appended to LOG as one shell
# line "(cd DIR && exec TOOL ARGS...)" and then runs the real tool. Returns
# COMMAND's exit status.
record_tool_launches() {
  local log="$1" shims tool real status=0
  shift
  shims="$(mktemp -d)"
  : > "$log"
  for tool in vlx vgt vqry; do
    real="$(command -v "$tool")"
    cat > "$shims/$tool" <<SHIM
#!/usr/bin/env bash
{ printf '(cd %q && exec %q' "\$PWD" "$tool"; printf ' %q' "\$@"; printf ')\n'; } >> '$log'
exec '$real' "\$@"
SHIM
    chmod +x "$shims/$tool"
  done
  PATH="$shims:$PATH" "$@" || status=$?
  rm -rf "$shims"
  return "$status"
}

# replay_tool_launches LOG: runs every launch LOG holds, in order, with no
# input and output discarded, as the report's launcher runs them. Returns 1
# if any of them failed.
replay_tool_launches() {
  local line status=0
  while IFS= read -r line; do
    eval "$line" < /dev/null > /dev/null 2>&1 || status=1
  done < "$1"
  return "$status"
}
