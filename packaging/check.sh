#!/usr/bin/env bash
# Proves the Debian package by installing it: builds it from a copy of the
# sources, checks it (lintian, the menu entry, the software centre's page,
# the version), installs it with apt, converts and exports a log with the
# installed commands, starts the installed program on that log under a
# virtual X server, then purges it and checks that nothing of it is left.
#
# Needs root. Leaves the machine's packages as it found them (what apt adds
# for the package is purged with it), and the source tree and its build
# folders alone: everything is made in a temporary folder.
#   packaging/check.sh                       builds the package, then checks it
#   packaging/check.sh sequanel_1.0_amd64.deb  checks a package built already
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

stop() {
  echo "packaging/check.sh: $*" >&2
  exit 1
}
step() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || stop "must run as root: it installs the package with apt and purges it."
for tool in git dpkg-buildpackage dh lintian desktop-file-validate appstreamcli man xvfb-run xwininfo xprop; do
  command -v "$tool" >/dev/null ||
    stop "$tool is missing. SEQUANEL_PACKAGING=1 ./test.sh installs what this check needs."
done
if dpkg-query -W -f='${Status}' sequanel 2>/dev/null | grep -q "ok installed"; then
  stop "a sequanel package is installed already; this check would purge it."
fi
git -C "$top" rev-parse --git-dir >/dev/null 2>&1 || stop "$top is not a git working tree."

work=$(mktemp -d /tmp/sequanel-package-XXXXXX)
chmod 755 "$work" # apt reads the package as its own user
touch "$work/added"
installed=false
# The package, and the packages apt installs for it (none when the set-up
# has run): only those, so that what others install meanwhile stays.
purge() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=300 sequanel $(cat "$work/added")
}
finish() {
  status=$?
  if $installed; then
    echo "== purging the package after a failure"
    purge >/dev/null || true
  fi
  rm -rf "$work"
  exit $status
}
trap finish EXIT

version=$(sed -n 's/^project(Sequanel VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
logged=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
[ -n "$version" ] || stop "no version in CMakeLists.txt's project()."
[ "$logged" = "$version" ] || stop "debian/changelog is at $logged, CMakeLists.txt at $version: they must agree."

if [ $# -gt 0 ]; then
  [ -f "$1" ] || stop "$1: no such package."
  cp "$1" "$work/"
  deb="$work/$(basename "$1")"
  checked=$deb
else
  step "building the package (version $version) in $work"
  # The sources as a fresh clone has them, with the changes not committed yet:
  # dpkg-buildpackage writes into debian/ and the package beside the tree.
  mkdir "$work/src"
  (cd "$top" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
    xargs -0 cp --parents -t "$work/src")
  (cd "$work/src" && dpkg-checkbuilddeps) ||
    stop "build dependencies are missing (above). SEQUANEL_PACKAGING=1 ./test.sh installs them."
  if ! (cd "$work/src" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1); then
    tail -n 40 "$work/build.log"
    stop "the package did not build (the end of its log is above)."
  fi
  deb=$(ls "$work"/sequanel_*.deb)
  checked=$(ls "$work"/sequanel_*.changes)
fi
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || stop "the package's version is not $version."

step "lintian"
lintian --fail-on error,warning --display-info "$checked" || stop "lintian found errors or warnings (above)."

step "the package's files"
dpkg-deb -c "$deb"

step "the menu entry and the software centre's page"
mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/sequanel.desktop" ||
  stop "desktop-file-validate found errors (above)."
metainfo=$(ls "$work"/root/usr/share/metainfo/*.metainfo.xml)
# The page, with the menu entry and the icon it names (no network: the web
# address is not checked for being reachable).
appstreamcli validate-tree --pedantic --no-net "$work/root" || stop "appstreamcli found problems (above)."
grep -q "<release version=\"$version\"" "$metainfo" || stop "the software centre's page has no release $version."

step "installing it with apt"
install=(apt-get install -y -qq -o DPkg::Lock::Timeout=300 --no-install-recommends "./$(basename "$deb")")
(cd "$work" && "${install[@]}" -s) | awk '$1 == "Inst" && $2 != "sequanel" {print $2}' >"$work/added"
if [ -s "$work/added" ]; then echo "with: $(tr '\n' ' ' <"$work/added")"; fi
installed=true
(cd "$work" && DEBIAN_FRONTEND=noninteractive "${install[@]}")
dpkg -L sequanel | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done | sort >"$work/files"

step "the installed commands"
said=$(sequanel-export --version)
echo "$said"
[ "$said" = "sequanel-export (Sequanel) $version" ] || stop "sequanel-export --version said: $said"
for command in sequanel-export sequanel-convert; do
  if ldd "/usr/bin/$command" | grep -E 'libQt6(Widgets|Gui)'; then
    stop "$command needs the window system's libraries (above)."
  fi
  man -w "$command" >/dev/null && man -L fr -w "$command" | grep -q '/fr/' ||
    stop "the manual pages of $command are not installed in English and in French."
done
# A home of its own: the settings the program writes go there, not to root's.
mkdir "$work/run" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
log="$work/run/coupe.adb"
sequanel-convert "$top/tests/legacy/data/ancien-12.adb" "$log"
sequanel-export "$log" "$work/run/coupe.csv"
lines=$(wc -l <"$work/run/coupe.csv")
[ "$lines" -eq 13 ] || stop "the export holds $lines lines, not the heading and 12 contacts."

step "the installed program on that log, under Xvfb"
# The title names the log, cut in the middle past 30 characters.
shown=$log
if [ ${#shown} -gt 30 ]; then shown="${log:0:3}...${log: -24}"; fi
title="Sequanel (Saisie des contacts) [$shown]"
# Xvfb and the program end with the script xvfb-run runs.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  sequanel "$1" & program=$!
  for i in $(seq 120); do
    window=$(xwininfo -root -tree | grep -F "\"$2\"" | awk "{print \$1; exit}")
    [ -n "$window" ] && break
    sleep 0.5
  done
  if [ -z "$window" ]; then
    echo "no window titled: $2"; xwininfo -root -tree | grep -F "\"" | head; kill $program; exit 1
  fi
  echo "window $window: $2"
  # The window icon is read from the data folder: its absence would mean
  # that the installed program does not find its files.
  xprop -id "$window" _NET_WM_ICON | grep -q "_NET_WM_ICON(CARDINAL)" || { echo "the window has no icon"; kill $program; exit 1; }
  kill -TERM $program
  wait $program
' check "$log" "$title" || stop "the installed program did not show its window on the log."
# Nothing was written among the program's files, nor beside the commands.
if find /usr/share/sequanel -type f | sort | comm -23 - "$work/files" | grep . ||
  find /usr/bin -maxdepth 1 -newer "$work/files" -iname '*sequanel*' | grep .; then
  stop "files were written among the program's files (above)."
fi

step "purging it"
purge
installed=false
left=$(while read -r f; do if [ -e "$f" ]; then echo "$f"; fi; done <"$work/files")
[ -z "$left" ] || stop "files of the package are left after the purge: $left"
[ ! -e /usr/share/sequanel ] || stop "/usr/share/sequanel is left after the purge."
for p in sequanel $(cat "$work/added"); do
  if dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii'; then
    stop "$p is still installed after the purge."
  fi
done
echo "packaging/check.sh: the package installed, ran and was purged cleanly."
