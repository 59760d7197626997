#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the program and closes its window many times under Xvfb, with the accessibility bus on and a screen
# reader's client (atspiread.py) reading every window over AT-SPI all the while. Every start must end with
# status 0; any other end (a signal, a sanitizer's report, no end within 30 s) is counted, its log printed and,
# where the program left a core, the backtrace of each thread (gdb). The close comes at a different moment each
# time: before the window is shown, as it shows, a moment after, or once the reader has been through it; and the
# program finds the accessibility bus in each of the three ways Qt knows. Twelve starts take each combination
# once; a hunt for a rare fault runs hundreds.
# Usage: startstop.sh PROGRAM XDESK [STARTS]   (STARTS also from LENTROVA_STARTS; 12 when neither is given)
# LENTROVA_STARTSTOP_SAVE=FOLDER keeps each failed start's log and core there.
# Exits 77 (skipped) with the reason when Xvfb, D-Bus, AT-SPI or its Python bindings are missing.
set -euo pipefail
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
xdesk=$2
starts=${3:-${LENTROVA_STARTS:-12}}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIPPED: $*"; exit 77; }

if [ -z "${LENTROVA_STARTSTOP_WORK:-}" ]; then
    command -v xvfb-run >/dev/null || skip "xvfb-run is missing (package xvfb)"
    command -v xdotool >/dev/null || skip "xdotool is missing"
    command -v dbus-run-session >/dev/null && command -v dbus-send >/dev/null ||
        skip "dbus-run-session or dbus-send is missing (package dbus)"
    /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' \
        2>/dev/null || skip "Python's AT-SPI bindings are missing (packages python3-gi, gir1.2-atspi-2.0)"
    work=$(mktemp -d)
    chmod 700 "$work"
    trap 'rm -rf "$work"' EXIT
    export LENTROVA_STARTSTOP_WORK=$work XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config \
        XDG_DATA_HOME=$work/data
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON
    status=0
    dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$program" "$xdesk" "$starts" ||
        status=$?
    exit "$status"
fi

work=$LENTROVA_STARTSTOP_WORK
launcher=""
registry=""
for folder in /usr/libexec /usr/lib/at-spi2-core /usr/libexec/at-spi2-core; do
    if [ -x "$folder/at-spi-bus-launcher" ]; then launcher=$folder/at-spi-bus-launcher; fi
    if [ -x "$folder/at-spi2-registryd" ]; then registry=$folder/at-spi2-registryd; fi
done
[ -n "$launcher" ] && [ -n "$registry" ] ||
    skip "the AT-SPI bus launcher or registry is missing (package at-spi2-core)"

# Every helper started here is ended here, by its id, the latest first; the session bus and the display end
# with dbus-run-session and xvfb-run.
pids=()
pid=""
cleanup() {
    local i
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
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
# Started on the display, the launcher also publishes the bus's address on the root window, as on a desktop.
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
# What a desktop with a screen reader on says: programs start with their accessibility on.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true >/dev/null

AT_SPI_BUS_ADDRESS=$address /usr/bin/python3 -W ignore::DeprecationWarning "$here/atspiread.py" \
    >"$work/reader.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    grep -q reading "$work/reader.log" && break
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.05
done
grep -q reading "$work/reader.log" || { cat "$work/reader.log"; echo "FAILED: the AT-SPI reader did not start"; exit 1; }

# The home page that a start opens once in a hundred goes to a stub rather than a browser.
mkdir "$work/bin"
printf '#!/bin/sh\necho "$@" >>"%s/xdg-open.log"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH
# An abort leaves a core (the core pattern permitting) and, in an instrumented build, the sanitizer's stack.
ulimit -c unlimited 2>/dev/null || true
for var in ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do
    export "$var=${!var:+${!var}:}handle_abort=1"
done

# Waits up to $1 seconds for the program to end; sets code to its status.
ended() {
    local i
    for ((i = 0; i < $1 * 50; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            code=0
            wait "$pid" || code=$?
            pid=""
            return 0
        fi
        sleep 0.02
    done
    return 1
}
describe() {
    if (($1 > 128)); then echo "signal $(($1 - 128)) ($(kill -l $(($1 - 128))))"; else echo "status $1"; fi
}

failures=0
read=0
report() {
    local i=$1 what=$2 folder=$work/run
    failures=$((failures + 1))
    echo "FAILED: start $i ($how): $what"
    echo "--- program log:"
    tail -n 60 "$folder/log"
    local core
    core=$(find "$folder" -maxdepth 1 -name 'core*' | head -n 1)
    if [ -n "$core" ] && command -v gdb >/dev/null; then
        echo "--- backtrace:"
        gdb -batch -nx -ex 'info threads' -ex 'thread apply all bt 30' "$program" "$core" 2>/dev/null |
            grep -v '^\[New LWP\|^warning:' | head -n 300
    fi
    if [ -n "${LENTROVA_STARTSTOP_SAVE:-}" ]; then
        mkdir -p "$LENTROVA_STARTSTOP_SAVE/start-$i"
        cp -r "$folder"/. "$LENTROVA_STARTSTOP_SAVE/start-$i/"
    fi
    echo "---"
}

hows=("before the window shows" "as the window shows" "a moment after" "after the reader has read it")
buses=("the session bus" "AT_SPI_BUS_ADDRESS" "QT_LINUX_ACCESSIBILITY_ALWAYS_ON")
started=$SECONDS
for ((i = 1; i <= starts; i++)); do
    rm -rf "$work/run"
    mkdir "$work/run"
    how="closed ${hows[$((i % ${#hows[@]}))]}, accessibility bus from ${buses[$((i / ${#hows[@]} % 3))]}"
    # In a folder of its own, so that a core it leaves is its own. It finds the accessibility bus in one of
    # three ways, as on different desktops: from the session bus and the root window, from its environment, or
    # with its accessibility forced on.
    (
        cd "$work/run"
        case $((i / ${#hows[@]} % 3)) in
            1) export AT_SPI_BUS_ADDRESS=$address ;;
            2) export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ;;
        esac
        exec "$program" >"$work/run/log" 2>&1
    ) &
    pid=$!
    program_pid=$pid
    wid=""
    case $((i % ${#hows[@]})) in
        0) wid=$(timeout 30 xdotool search --sync --pid "$pid" --name '^Lentrova Software$' 2>/dev/null |
                     head -n 1) || true ;;
        *) wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Lentrova Software$' \
                     2>/dev/null | head -n 1) || true ;;
    esac
    if [ -z "$wid" ]; then
        if ! kill -0 "$pid" 2>/dev/null && ended 1; then report "$i" "ended at start with $(describe "$code")"; else
            kill -ABRT "$pid" 2>/dev/null || true
            ended 10 || kill -KILL "$pid"
            report "$i" "no window within 30 s"
        fi
        continue
    fi
    case $((i % ${#hows[@]})) in
        2) sleep "0.$((RANDOM % 10))" ;;
        3)
            for _ in $(seq 1 200); do
                grep -qx "read $program_pid" "$work/reader.log" && break
                sleep 0.05
            done
            sleep "0.$((RANDOM % 10))"
            ;;
    esac
    if grep -qx "read $program_pid" "$work/reader.log"; then read=$((read + 1)); fi
    # The close may come before the program listens for it: ask again until it ends.
    for _ in 1 2 3 4 5 6; do
        "$xdesk" close "$wid" 2>/dev/null || true
        ended 5 && break
    done
    if [ -n "$pid" ]; then
        kill -ABRT "$pid" 2>/dev/null || true
        ended 10 || kill -KILL "$pid"
        report "$i" "did not end within 30 s of the close"
        continue
    fi
    ((code == 0)) || report "$i" "ended with $(describe "$code")"
    ((i % 50)) || echo "$i starts, $failures failed"
done
opened=0
[ ! -f "$work/xdg-open.log" ] || opened=$(wc -l <"$work/xdg-open.log")
echo "$starts starts and closes in $((SECONDS - started)) s, $failures failed; $read of them read through AT-SPI" \
    "before the close; the home page opened $opened times"
((read > 0)) || { echo "FAILED: the reader never got through the window"; tail "$work/reader.log"; exit 1; }
((failures == 0))
