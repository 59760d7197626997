#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program natively on Wayland, under Weston's headless backend, and runs one search in it.
# The window must be mapped with the caption "Lentrova Software", a fixed client area of 1064 x 354 (minimum
# and maximum size alike) and a drawn buffer. The headless backend has no seat, so no pointer or key can reach
# the window: the search is driven through the accessibility interface instead, as assistive technology does,
# by atspisearch.py over AT-SPI on a private session bus (dbus-run-session), with the accessibility bus and its
# registry started here. Exits 77 (skipped) with the reason when Weston, Qt's Wayland plugin, D-Bus, AT-SPI or
# its Python bindings are missing, or when Weston or the accessibility bus cannot start here.
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIPPED: $*"; exit 77; }

if [ -z "${LENTROVA_WAYLAND_WORK:-}" ]; then
    command -v weston >/dev/null || skip "weston is not installed (scripts/deps.sh installs it)"
    plugins=$(find /usr/lib/*/qt6/plugins/platforms /usr/lib/qt6/plugins/platforms -name 'libqwayland-*.so' \
              2>/dev/null | head -n 1 || true)
    [ -n "$plugins" ] || skip "Qt's Wayland platform plugin is missing (package qt6-wayland)"
    command -v dbus-run-session >/dev/null && command -v dbus-send >/dev/null ||
        skip "dbus-run-session or dbus-send is missing (package dbus)"
    /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' \
        2>/dev/null || skip "Python's AT-SPI bindings are missing (packages python3-gi, gir1.2-atspi-2.0)"
    work=$(mktemp -d)
    chmod 700 "$work"
    trap 'rm -rf "$work"' EXIT
    # The session bus starts nothing by itself here; the accessibility bus puts its socket in the runtime folder.
    export LENTROVA_WAYLAND_WORK=$work XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    unset DISPLAY WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS
    status=0
    dbus-run-session -- bash "$0" "$@" || status=$?
    exit "$status"
fi

work=$LENTROVA_WAYLAND_WORK
launcher=""
registry=""
for folder in /usr/libexec /usr/lib/at-spi2-core /usr/libexec/at-spi2-core; do
    if [ -x "$folder/at-spi-bus-launcher" ]; then launcher=$folder/at-spi-bus-launcher; fi
    if [ -x "$folder/at-spi2-registryd" ]; then registry=$folder/at-spi2-registryd; fi
done
[ -n "$launcher" ] && [ -n "$registry" ] ||
    skip "the AT-SPI bus launcher or registry is missing (package at-spi2-core)"

# Every process started here is ended here, by its id, the program first; the session bus ends with
# dbus-run-session.
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT

has_owner() { dbus-send "$1" --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
                  "string:$2" 2>/dev/null | grep -q 'boolean true'; }
wait_owner() {
    for _ in $(seq 1 100); do
        has_owner "$1" "$2" && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
"$launcher" >"$work/launcher.log" 2>&1 &
pids+=($!)
wait_owner --session org.a11y.Bus "${pids[-1]}" ||
    { cat "$work/launcher.log"; skip "the accessibility bus did not start here"; }
address=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress |
          tr -d ' ') || true
[ -n "$address" ] || skip "the accessibility bus gave no address"
"$registry" >"$work/registry.log" 2>&1 &
pids+=($!)
wait_owner --bus="$address" org.a11y.atspi.Registry "${pids[-1]}" ||
    { cat "$work/registry.log"; skip "the AT-SPI registry did not start here"; }

socket=lentrova-test-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --width=1280 --height=1024 \
    >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    [ -S "$work/$socket" ] && break
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$work/$socket" ]; then
    tail -n 5 "$work/weston.log"
    skip "weston did not start with its headless backend here"
fi

# The home page that a start opens once in a hundred goes to a stub rather than a browser.
mkdir "$work/bin"
printf '#!/bin/sh\necho "$@" >>"%s/xdg-open.log"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
# The client's side of the protocol shows what the window asked the compositor for.
PATH=$work/bin:$PATH WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    WAYLAND_DEBUG=client "$program" >"$work/log" 2>&1 &
pids+=($!)
program_pid=${pids[-1]}
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

samples=$(cd "$(dirname "$program")" && pwd -P)/Samples
timeout 45 /usr/bin/python3 -W ignore::DeprecationWarning "$here/atspisearch.py" "$program_pid" "$samples" ||
    fail "the search through AT-SPI"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
if grep -v '^\[' "$work/log" | grep -qi 'wayland.*error\|protocol error\|could not'; then
    fail "errors on the Wayland connection"
fi
echo "program still up after the search"
