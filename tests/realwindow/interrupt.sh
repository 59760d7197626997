#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Ends the real program in the middle of a move to another file system and of a trash run by copy, each way a
# session can end it: SIGTERM, SIGHUP, SIGINT, the X server dying, and SIGKILL followed by the next start.
# Afterwards every file is in exactly one place, whole; no partial copy, trash entry without its file or
# record is left. The copies are slowed down (the test seam LENTROVA_TEST_COPY_CHUNK_MS), so each case moves a few
# MiB.
set -euo pipefail
xdesk=$2
program=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: Xvfb or xdotool missing"; exit 77; }
work=$(mktemp -d)
shm=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$work" "$shm"' EXIT
[ "$(stat -c %d "$work")" != "$(stat -c %d "$shm")" ] || { echo "SKIP: $work and /dev/shm are one file system"; exit 77; }
source "$(dirname "$0")/controls.bash"
unset QT_QPA_PLATFORM
export LENTROVA_TEST_COPY_CHUNK_MS=120

pid=""
xpid=""
cleanup() {
    for p in $pid $xpid; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf "$work" "$shm"
}
trap cleanup EXIT
fail() {
    {
        echo "FAIL: $*"
        [ -f "$work/log" ] && { echo "program log:"; cat "$work/log"; }
    } >&2
    exit 1
}

# A display of our own, so that a case can kill it.
start_display() {
    rm -f "$work/display"
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
    xpid=$!
    for _ in $(seq 1 200); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=:$(head -n 1 "$work/display")
    # It must take a connection before the program and xdotool come: once under load, right after the case
    # before killed its server, the first xdotool could not reach the new one.
    for _ in $(seq 1 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
}
stop_display() {
    [ -n "$xpid" ] && { kill "$xpid" 2>/dev/null || true; wait "$xpid" 2>/dev/null || true; }
    xpid=""
}
# Starts the program on a fresh display with the settings and data of the case.
start() {
    start_display
    export XDG_CONFIG_HOME=$work/config-$1 XDG_DATA_HOME=$work/data-$1
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    printf '%s\n' '[Lentrova%20Software]' Length=0 Combo=1 >"$XDG_CONFIG_HOME/Quenlor.ini"
    "$program" >"$work/log" 2>&1 &
    pid=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1) || true
    [ -n "$wid" ] || fail "no window"
}
pick() {
    local id
    id=$(box "Please select folder:")
    xdotool windowfocus --sync "$id"
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 10 "$1"
    xdotool key Return
    gone "Please select folder:"
    sleep 0.5
}
pick_with() {
    local try
    for try in 1 2 3; do
        click "$1" "$2" "$3" "$4"
        timeout 5 xdotool search --sync --onlyvisible --name '^Please select folder:$' >/dev/null 2>&1 && break
    done
    pick "$5"
}
find_and_check_all() {
    pick_with 120 1470 7800 405 "$1"
    click 120 4260 7800 405
    answer Lentrova Return
    xdotool windowfocus --sync "$wid"
    click 8040 135 7800 2490
    sleep 0.3
    xdotool key ctrl+a
    xdotool key space
    sleep 0.3
}
# Waits up to $1 seconds for the program to end; sets code.
ended() {
    local i
    for ((i = 0; i < $1 * 100; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            code=0
            wait "$pid" || code=$?
            pid=""
            return 0
        fi
        sleep 0.01
    done
    return 1
}

files=8
content() { head -c $((2 * 1024 * 1024 + $1 * 4096)) <(yes "lentrova $1"); }
make_sources() {
    rm -rf "$shm/src"
    mkdir -p "$shm/src"
    local i
    for ((i = 0; i < files; i++)); do content "$i" >"$shm/src/file-$i"; done
}
# Waits until $1 holds at least one finished file while sources are left: the operation is under way.
under_way() {
    for _ in $(seq 1 3000); do
        if ls "$1" 2>/dev/null | grep -q '^file-' && [ "$(ls "$shm/src" | wc -l)" -gt 1 ]; then return 0; fi
        kill -0 "$pid" 2>/dev/null || fail "the program ended before the operation was under way"
        sleep 0.01
    done
    fail "the operation never got under way"
}
# Waits until a copy is being made in $1, under its temporary name: a kill between two files leaves nothing
# for the next start to put in order, and so no box to wait for.
part_made() {
    for _ in $(seq 1 3000); do
        if ls -A "$1" 2>/dev/null | grep -q '^\.lentrova-copy-'; then return 0; fi
        kill -0 "$pid" 2>/dev/null || fail "the program ended before a copy was part made"
        sleep 0.01
    done
    fail "no copy was ever part made"
}
# Every file in exactly one place, whole: at its source or at $1 (a folder), nothing half made beside.
each_once() {
    local i there=0
    for ((i = 0; i < files; i++)); do
        local src=$shm/src/file-$i dst=$1/file-$i
        if [ -e "$src" ] && [ -e "$dst" ]; then fail "file-$i is in both places"; fi
        if [ -e "$src" ]; then cmp -s "$src" <(content "$i") || fail "file-$i changed at its source"; fi
        if [ -e "$dst" ]; then
            cmp -s "$dst" <(content "$i") || fail "file-$i changed on its way"
            there=$((there + 1))
        fi
        [ -e "$src" ] || [ -e "$dst" ] || fail "file-$i is nowhere"
    done
    local partial
    partial=$(find "$1" -maxdepth 1 -name '.lentrova-*' | head -n 1)
    [ -z "$partial" ] || fail "a partial copy is left: $partial"
    moved=$there
}
no_record() {
    local left
    left=$(find "$XDG_DATA_HOME/lentrova/transfers" -name '*.tsv' 2>/dev/null | head -n 1)
    [ -z "$left" ] || fail "the record was left: $left"
}
# Trash entries and files pair up one to one.
trash_pairs() {
    local trash=$XDG_DATA_HOME/Trash name
    for name in $(ls "$trash/info" 2>/dev/null); do
        [ -e "$trash/files/${name%.trashinfo}" ] || fail "the trash entry $name names no file"
        grep -q '^Path=' "$trash/info/$name" || fail "the trash entry $name is empty"
    done
    for name in $(ls "$trash/files" 2>/dev/null); do
        [ -e "$trash/info/$name.trashinfo" ] || fail "the file $name in the trash has no entry"
    done
}

start_move() {
    make_sources
    rm -rf "$work/target"
    mkdir -p "$work/target"
    start "$1"
    find_and_check_all "$shm/src"
    pick_with 12000 4770 3840 405 "$work/target"
    under_way "$work/target"
}
start_trash() {
    make_sources
    start "$1"
    find_and_check_all "$shm/src"
    click 8040 4770 3840 405
    answer Lentrova Return
    under_way "$XDG_DATA_HOME/Trash/files"
}

case_signals() {
    local signal
    for signal in TERM HUP INT; do
        echo "== SIG$signal during a move to another file system"
        start_move "move-$signal"
        kill -s "$signal" "$pid"
        ended 60 || fail "the program did not end within 60 s of SIG$signal"
        [ "$code" = $((128 + $(kill -l "$signal"))) ] || fail "the program ended with $code after SIG$signal"
        each_once "$work/target"
        no_record
        stop_display
        echo "SIG$signal: the move stopped with $moved of $files files moved, each file in one place"
    done
    echo "== SIGTERM during a trash run by copy"
    start_trash trash-TERM
    kill -s TERM "$pid"
    ended 60 || fail "the program did not end within 60 s of SIGTERM"
    [ "$code" = 143 ] || fail "the program ended with $code after SIGTERM"
    each_once "$XDG_DATA_HOME/Trash/files"
    trash_pairs
    no_record
    stop_display
    echo "SIGTERM: the trash run stopped with $moved of $files files in the trash, each file in one place"
}

case_display() {
    echo "== the X server dies during a move to another file system"
    start_move display
    local t0
    t0=$(date +%s%N)
    stop_display
    ended 60 || fail "the program did not end within 60 s of losing its display"
    echo "the program ended $((($(date +%s%N) - t0) / 1000000)) ms after the X server, with status $code"
    grep -q "X11 connection broke" "$work/log" || fail "the program did not lose its display as expected"
    each_once "$work/target"
    no_record
    echo "the move stopped with $moved of $files files moved, each file in one place"
}

case_kill() {
    local what
    for what in move trash; do
        echo "== SIGKILL during a $what, then the next start"
        if [ $what = move ]; then start_move kill-$what; else start_trash kill-$what; fi
        if [ $what = move ]; then part_made "$work/target"; else part_made "$XDG_DATA_HOME/Trash/files"; fi
        kill -s KILL "$pid"
        wait "$pid" 2>/dev/null || true
        pid=""
        stop_display
        start kill-$what
        # The next start puts things in order and says so in one box.
        answer Lentrova Return
        if [ $what = move ]; then each_once "$work/target"; else each_once "$XDG_DATA_HOME/Trash/files"; trash_pairs; fi
        no_record
        "$xdesk" close "$wid"
        ended 20 || fail "the program did not end within 20 s of the close"
        stop_display
        echo "SIGKILL: after the next start $moved of $files files are moved, each file in one place"
    done
}

for name in ${LENTROVA_CASES:-signals display kill}; do
    SECONDS=0
    "case_$name"
    echo "($name: $SECONDS s)"
done
