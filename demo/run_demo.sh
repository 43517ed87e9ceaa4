#!/usr/bin/env bash
# Builds the demo world below BUILD_DIR/demo and shows it: a broker "DEMO"
# made with qvradmin (project "Shop", states "DEV" and "REL", packages "BASE"
# and "FEAT", user "alice"), a local working copy with changed, new and
# unchanged files, and a settings profile of its own (XDG_CONFIG_HOME and the
# install directory below the demo folder), so the user's own settings are
# never touched. Re-running it builds everything afresh.
# usage: run_demo.sh BUILD_DIR [--headless]
set -euo pipefail

mkdir -p "$1"
build="$(cd "$1" && pwd)"
headless="${2:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# The programs the demo runs: the build's own, or those of an installed or
# unpacked package (QVR_DEMO_BIN).
bin="${QVR_DEMO_BIN:-$build/bin}"
demo="$build/demo"

broker=DEMO user=alice password='demo pass;1' project=Shop

# The tools and the viewers are found on PATH: the build's own come first.
export PATH="$bin:$PATH"
export QUORVAN_HOME="$demo/quorvan"
export XDG_CONFIG_HOME="$demo/config"
install_dir="$demo/install"
local_dir="$demo/work"

rm -rf "$demo"
mkdir -p "$QUORVAN_HOME" "$XDG_CONFIG_HOME" "$install_dir/Temp"

echo "demo: generating the repository in $QUORVAN_HOME"
"$here/make_demo_tree.sh" "$demo/source" 2000 1
qvradmin create-broker "$broker" >/dev/null
qvradmin add-user "$broker" "$user" "$password" >/dev/null
qvradmin import "$broker" "$project" REL --package BASE --user "$user" "$demo/source" >/dev/null
qvradmin tag "$broker" "$project" REL "1.0" --user "$user" >/dev/null
qvradmin import "$broker" "$project" DEV --package BASE --user "$user" "$demo/source" >/dev/null
echo "demo: making the working copy $local_dir"
cp -r "$demo/source" "$local_dir"
# Local edits: every 40th file changed, 30 new files.
find "$local_dir" -type f | sort | awk 'NR % 40 == 1' |
  while read -r file; do echo "/* local edit */" >> "$file"; done

# DEV moves on after the copy was taken: a feature package changes 50 files.
find "$demo/source" -type f -name '*_0[0-9][0-9]0.*' | sort | awk 'NR % 2 == 1' |
  while read -r file; do echo "feature change" >> "$file"; done
qvradmin import "$broker" "$project" DEV --package FEAT --user "$user" "$demo/source" >/dev/null

for i in $(seq 1 30); do
  folder=common/util
  [ $((i % 2)) -eq 0 ] && folder=orders/api
  printf 'new local file %d\n' "$i" > "$local_dir/$folder/draft_$i.c"
done

# The difference viewer's default command line names it in the install
# directory.
ln -s "$bin/Windiff" "$install_dir/Windiff"

# The settings profile, as the window saves it, by the build's settings
# writer; the packages have none, so their report gets the context on its
# command line instead.
context=()
if [ -x "$build/bin/qvr-demo-settings" ]; then
  "$build/bin/qvr-demo-settings" --install-dir "$install_dir" --broker "$broker" --user "$user" \
    --password "$password" --project "$project" --state DEV --package "" --local "$local_dir" >/dev/null
else
  context=(--install-dir "$install_dir" --broker "$broker" --user "$user" --password "$password"
           --project "$project" --state DEV --package "" --local "$local_dir" --new --same --diff)
fi

if [ "$headless" != "--headless" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "demo: starting QvrCompare on the demo profile (context filled in; click"
  echo "      \"Generate Local Files Compare Report\")"
  exec QvrCompare
fi

echo "demo: qvrcompare-cli report (project $project, state DEV, local $local_dir)"
csv="$demo/report.csv"
status=0
qvrcompare-cli report "${context[@]}" --csv "$csv" || status=$?
if [ "$status" -gt 1 ]; then
  echo "demo: the report failed (exit status $status)" >&2
  exit "$status"
fi
# The export's lines end in CR LF; show the file, folder (below the working
# copy) and status columns.
tr -d '\r' < "$csv" | awk -F, -v root="$local_dir/" '
  NR == 1 { printf "%-32s %-28s %s\n", "File", "Folder", "Status"; next }
  { folder = substr($2, length(root) + 1); if (folder == "") folder = "."
    printf "%-32s %-28s %s\n", $1, folder, $5; count[$5]++ }
  END { printf "\nNew: %d  Diff: %d  Same: %d\n", count["New"], count["Diff"], count["Same"] }'
echo "demo: report written to $csv (exit status $status: 1 = New or Diff files listed)"
