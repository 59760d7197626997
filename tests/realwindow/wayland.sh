#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program natively on Wayland, under Weston's headless backend: the window is mapped with the
# caption "Lentrova Software", a fixed client area of 1064 x 354 (minimum and maximum size alike) and a drawn
# buffer, and the program stays up. The headless backend has no seat, so no input can be sent: the search
# itself is driven in the X11 tests. Exits 77 (skipped) with the reason when Weston or Qt's Wayland plugin is
# missing or Weston cannot start here.
set -euo pipefail
program=$1
skip() { echo "SKIPPED: $*"; exit 77; }

command -v weston >/dev/null || skip "weston is not installed (scripts/deps.sh installs it)"
plugins=$(find /usr/lib/*/qt6/plugins/platforms /usr/lib/qt6/plugins/platforms -name 'libqwayland-*.so' \
          2>/dev/null | head -n 1 || true)
[ -n "$plugins" ] || skip "Qt's Wayland platform plugin is missing (package qt6-wayland)"

work=$(mktemp -d)
chmod 700 "$work"
weston_pid=""
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
unset DISPLAY
socket=lentrova-test-$$

weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --width=1280 --height=1024 \
    >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do
    [ -S "$work/$socket" ] && break
    kill -0 "$weston_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$work/$socket" ]; then
    tail -n 5 "$work/weston.log"
    skip "weston did not start with its headless backend here"
fi

# The client's side of the protocol shows what the window asked the compositor for.
WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client "$program" >"$work/log" 2>&1 &
program_pid=$!
fail() { echo "FAILED: $*"; grep -v '^\[' "$work/log" | tail -n 20; exit 1; }
for _ in $(seq 1 150); do
    grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$work/log" && break
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended at start"
    sleep 0.1
done
grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$work/log" || fail "no window was drawn"
grep -q 'xdg_toplevel@[0-9]*\.set_title("Lentrova Software")' "$work/log" || fail "no window captioned Lentrova Software"
grep -q 'xdg_toplevel@[0-9]*\.set_min_size(1064, 354)' "$work/log" || fail "minimum size is not 1064 x 354"
grep -q 'xdg_toplevel@[0-9]*\.set_max_size(1064, 354)' "$work/log" || fail "maximum size is not 1064 x 354"
grep -q 'xdg_surface@[0-9]*\.configure(' "$work/log" || fail "the compositor never configured the window"
echo "window mapped on Wayland: $(grep -o 'set_window_geometry([^)]*)' "$work/log" | tail -n 1)"
sleep 2
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
if grep -v '^\[' "$work/log" | grep -qi 'wayland.*error\|protocol error\|could not'; then
    fail "errors on the Wayland connection"
fi
echo "program still up after 2 s"
