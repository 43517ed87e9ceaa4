#!/usr/bin/env bash
# Checks the Debian packages "./qvr package" made: the desktop entry is
# valid, lintian finds no error (its warnings are shown), each package holds
# its own programs, and the demo's headless report runs with the programs and
# tools unpacked from the two packages into a temporary root, nothing from
# the build tree on PATH.
# usage: check_packages.sh PACKAGE_DIR
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$(cd "${1:?usage: check_packages.sh PACKAGE_DIR}" && pwd)"
main="$(ls "$dir"/qvrcompare_*.deb)"
standins="$(ls "$dir"/qvrcompare-standins_*.deb)"

# The checkers are not needed by the build: installed here when missing.
missing=()
for p in lintian desktop-file-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "check: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
dpkg-deb -x "$main" "$root"
dpkg-deb -x "$standins" "$root"

echo "check: desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/qvrcompare.desktop"

echo "check: lintian"
lintian --display-info --fail-on error "$main" "$standins" | tee "$tmp/lintian.txt"
# The programs are built with the distribution's hardening flags.
if grep -q 'hardening-' "$tmp/lintian.txt"; then echo "check: lintian reports missing hardening" >&2; exit 1; fi

echo "check: package contents"
contents() { dpkg-deb -c "$1" | awk '{print $NF}' | sed 's|^\./|/|'; }
expect_in() {
  if ! contents "$1" | grep -qx "$2"; then echo "check: $2 is missing from $(basename "$1")" >&2; exit 1; fi
}
for f in /usr/bin/QvrCompare /usr/bin/qvrcompare-cli /usr/bin/Windiff /usr/bin/CrystalEdit /usr/bin/HexViewer \
         /usr/share/applications/qvrcompare.desktop /usr/share/icons/hicolor/scalable/apps/qvrcompare.svg \
         /usr/share/icons/hicolor/48x48/apps/qvrcompare.png /usr/share/man/man1/qvrcompare-cli.1.gz \
         /usr/share/doc/qvrcompare/README; do
  expect_in "$main" "$f"
done
for f in /usr/bin/vlx /usr/bin/vgt /usr/bin/vqry /usr/bin/qvradmin /usr/share/doc/qvrcompare-standins/README.md; do
  expect_in "$standins" "$f"
done
# Every program comes with its man page.
for pkg in "$main" "$standins"; do
  for program in $(contents "$pkg" | sed -n 's|^/usr/bin/||p'); do
    expect_in "$pkg" "/usr/share/man/man1/$program.1.gz"
  done
done
shared="$(comm -12 <(contents "$main" | grep -v '/$' | sort) <(contents "$standins" | grep -v '/$' | sort) |
          grep -v '^/usr/share/doc/' || true)"
if [ -n "$shared" ]; then echo "check: files in both packages: $shared" >&2; exit 1; fi
for section in DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
  man -l "$root/usr/share/man/man1/qvrcompare-cli.1.gz" 2>/dev/null | grep -qx "$section" ||
    { echo "check: the man page of qvrcompare-cli has no $section" >&2; exit 1; }
done
grep -qx 'Exec=QvrCompare %f' "$root/usr/share/applications/qvrcompare.desktop" ||
  { echo "check: the desktop entry does not hand the program a folder" >&2; exit 1; }

echo "check: the demo's headless report with the unpacked programs"
# Only the unpacked programs and the system's: the demo puts the programs'
# folder first on PATH itself.
path="/usr/local/bin:/usr/bin:/bin"
found="$(PATH="$root/usr/bin:$path" command -v qvrcompare-cli)"
[ "$found" = "$root/usr/bin/qvrcompare-cli" ] || { echo "check: qvrcompare-cli found at $found" >&2; exit 1; }
env -u QVR_PASSWORD PATH="$path" HOME="$tmp/home" QVR_DEMO_BIN="$root/usr/bin" QT_QPA_PLATFORM=offscreen \
  "$here/../demo/run_demo.sh" "$tmp/demo-build" --headless | tail -n 3
echo "check: the packages are fine"
