#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package into build-package/ and lists what it holds; where lintian is installed, prints
# what it says of the package (tests/install/package.sh checks it in the test suite).
# With --verify it then installs the package on this machine (dpkg -i, then apt-get -f install for missing
# dependencies), starts the installed program from a terminal and from its desktop entry under Xvfb, waits for
# its window each time, and removes the package again. --verify changes this machine's packages.
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps (dpkg-dev) and file find the Qt libraries the program needs.
bash scripts/deps.sh dpkg-dev file

# Debian's hardening flags come from dpkg-buildflags (cmake/LentrovaHarden.cmake).
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DLENTROVA_BUILD_BENCH=OFF -DLENTROVA_BUILD_TESTS=OFF \
    -DLENTROVA_HARDEN=ON >/dev/null
cmake --build build-package -j"$(nproc)" --target lentrova lentrova-find lentrova_man_page
rm -f build-package/lentrova_*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/lentrova_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
dpkg-deb --contents "$deb" | awk '{print $1, $6, $7, $8}' | sed 's/ *$//'
echo "package: $deb"
if command -v lintian >/dev/null; then
    lintian --pedantic --display-info "$deb" || true
fi
[ "${1:-}" = --verify ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | sort; }
before=$(mktemp)
installed >"$before"
# Removes the package and whatever it brought with it, so that the machine ends as it began.
cleanup() {
    $sudo apt-get remove -y -qq lentrova >/dev/null 2>&1 || true
    local brought
    brought=$(installed | comm -13 "$before" -)
    [ -z "$brought" ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq $brought >/dev/null
    rm -f "$before"
}
trap cleanup EXIT
# dpkg leaves missing dependencies unconfigured; apt-get -f install brings them and finishes the install.
$sudo dpkg -i "$deb" || true
DEBIAN_FRONTEND=noninteractive $sudo apt-get -f install -y -qq --no-install-recommends
dpkg-query -W -f='${Status}\n' lentrova | grep -qx "install ok installed"
echo "installed with: $(installed | comm -13 "$before" - | tr '\n' ' ')"

# Starts the given command line under Xvfb in a scratch home and waits for the main window.
shows_window() {
    local work
    work=$(mktemp -d)
    local status=0
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data xvfb-run -a bash -s "$1" "$work" <<'INNER' || status=$?
set -euo pipefail
command=$1 work=$2
unset QT_QPA_PLATFORM
cd "$work"
$command >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid $pid --name '^Lentrova Software$' | head -n 1) || true
[ -n "$wid" ] || { echo "no window; the program wrote:"; cat "$work/log"; exit 1; }
# Read the whole property first: grep -q leaving early would fail the pipe under pipefail.
has_icon() { [[ $(xprop -id "$wid" _NET_WM_ICON) == *"Icon (64 x 64)"* ]]; }
for _ in $(seq 1 50); do
    has_icon && break
    sleep 0.1
done
has_icon || { echo "the window on $DISPLAY has no icon"; xprop -id "$wid"; exit 1; }
echo "window $wid with its icon"
INNER
    rm -rf "$work"
    ((status == 0)) || echo "FAILED: '$1' showed no window (status $status)"
    return $status
}
echo "from a terminal: lentrova"
shows_window lentrova
entry=/usr/share/applications/lentrova.desktop
echo "from the desktop menu: $(sed -n 's/^Exec=//p' "$entry")"
shows_window "$(sed -n 's/^Exec=//p' "$entry")"

cleanup
trap - EXIT
[ ! -e /usr/lib/lentrova ] && [ ! -e /usr/bin/lentrova ] && [ ! -e "$entry" ]
echo "package installed, started twice and removed"
