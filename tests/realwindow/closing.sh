#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Closes the real program's window the way a window manager does, in three situations: in the middle of moving
# a file to another file system (made slow by the program's copy throttle), its progress window up (the move
# stops, no partial copy stays, the source is whole); after copying results (a clipboard manager receives the
# text as the program ends); in the middle of a search slowed by the program's folder throttle (the program
# ends at once; the time it took is printed).
set -euo pipefail
program=$1
xdesk=$2
work=$(mktemp -d)
target=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$work" "$target"' EXIT

xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -s "$program" "$xdesk" "$work" "$target" "$(dirname "$0")" <<'INNER'
set -Eeuo pipefail
program=$1; xdesk=$2; work=$3; target=$4
source "$5/controls.bash"
unset QT_QPA_PLATFORM
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND ended with $?"' ERR
pid=""
keeper=""
trap 'for p in $pid $keeper; do kill $p 2>/dev/null || true; done' EXIT
# To stderr, so that a failure inside $(...) is seen too.
fail() {
    {
        echo "FAIL: $*"
        echo "visible windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | paste -sd '|')"
        [ -f "$work/log" ] && { echo "program log:"; cat "$work/log"; }
    } >&2
    exit 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the program with settings of its own (a settings file's lines given as arguments).
start() {
    export XDG_CONFIG_HOME=$work/config-$1 XDG_DATA_HOME=$work/data-$1
    mkdir -p "$XDG_CONFIG_HOME"
    shift
    if (($#)); then printf '%s\n' '[Lentrova%20Software]' "$@" >"$XDG_CONFIG_HOME/Quenlor.ini"; fi
    "$program" >"$work/log" 2>&1 &
    pid=$!
    # The display must take a connection first: once the last client of a case went, the server could not
    # be reached for a moment (seen once under load; the server no longer resets, which was the likely cause).
    for _ in $(seq 1 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1) || true
    [ -n "$wid" ] || fail "no window"
}
# Types a folder into the folder picker that the last click opened.
pick() {
    local id
    id=$(box "Please select folder:")
    xdotool windowfocus --sync "$id"
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 10 "$1"
    xdotool key Return
    gone "Please select folder:"
    # The path's completion list can hold the pointer a moment longer than the picker shows: a click in that
    # moment reaches no window of the program (seen as a Start that never began, under load).
    sleep 0.5
}
# Clicks a button that opens the folder picker, and picks $5 in it. A click that lands while the box before is
# still going away opens nothing: click again.
pick_with() {
    local try
    for try in 1 2 3; do
        click "$1" "$2" "$3" "$4"
        timeout 5 xdotool search --sync --onlyvisible --name '^Please select folder:$' >/dev/null 2>&1 && break
    done
    pick "$5"
}
add_folder() { pick_with 120 1470 7800 405 "$1"; }
find_all() { click 120 4260 7800 405; answer Lentrova Return; }
# The keys go to the main window even where the box before left the input focus nowhere (no window manager).
check_all() {
    xdotool windowfocus --sync "$wid"
    click 8040 135 7800 2490
    sleep 0.3
    xdotool key ctrl+a
    xdotool key space
    sleep 0.3
}
# Waits up to $1 seconds for the program to end, and sets code to its exit code.
ended() {
    local i
    for ((i = 0; i < $1 * 100; i++)); do
        if ! kill -0 $pid 2>/dev/null; then
            code=0
            wait $pid || code=$?
            pid=""
            return 0
        fi
        sleep 0.01
    done
    return 1
}
# Every name longer than 0 characters matches.
everything=(Length=0 Combo=1)

case_move() {
    echo "== closing during a move to another file system"
    [ "$(stat -c %d "$work")" != "$(stat -c %d "$target")" ] || fail "$work and $target are on one file system"
    mkdir "$work/src"
    # 64 chunks of a mebibyte, each held back a quarter of a second by the program's test seam: the copy is
    # still under way when the progress window shows, half a second in, however fast the disks are, and the
    # stop after the close comes within a chunk.
    size=$((64 * 1024 * 1024))
    head -c $size <(yes lentrova) >"$work/src/big.bin"
    LENTROVA_TEST_COPY_CHUNK_MS=250 start move "${everything[@]}"
    add_folder "$work/src"
    find_all
    check_all
    pick_with 12000 4770 3840 405 "$target"
    partial=""
    for _ in $(seq 1 2000); do
        partial=$(find "$target" -maxdepth 1 -name '.lentrova-copy-*' -size +0 | head -n 1)
        [ -n "$partial" ] && break
        sleep 0.01
    done
    [ -n "$partial" ] || fail "the copy never began"
    # The close comes while the progress window holds the main window's input. A move that ends before the
    # window shows says so, rather than leaving the wait to run out.
    local shown=""
    for _ in $(seq 1 600); do
        shown=$(xdotool search --onlyvisible --name '^Lentrova$' 2>/dev/null | head -n 1) || true
        [ -n "$shown" ] && break
        [ ! -e "$target/big.bin" ] || fail "the move ended before its progress window showed: the copy throttle did not hold it back"
        kill -0 $pid 2>/dev/null || fail "the program ended during the move"
        sleep 0.1
    done
    [ -n "$shown" ] || fail "no progress window within 60 s of the copy's start (partial copy: $(stat -c %s "$partial" 2>/dev/null || echo gone) bytes)"
    "$xdesk" close "$wid"
    ended 60 || fail "the program did not end within 60 s of the close"
    [ "$code" = 0 ] || fail "the program ended with $code"
    [ ! -e "$target/big.bin" ] || fail "the move ended before the close came: the copy throttle did not hold it back"
    left=$(ls -A "$target")
    [ -z "$left" ] || fail "left in the target: $left"
    [ "$(stat -c %s "$work/src/big.bin")" = $size ] || fail "the source lost bytes"
    cmp <(yes lentrova | head -c $size) "$work/src/big.bin" || fail "the source changed"
    rm "$work/src/big.bin"
    echo "the move stopped: no partial copy, the source is whole"
}

case_clipboard() {
    echo "== closing after copying results, a clipboard manager runs"
    "$xdesk" keep-clipboard "$work/kept" >"$work/xdesk.out" &
    keeper=$!
    for _ in $(seq 1 100); do grep -q ready "$work/xdesk.out" && break; sleep 0.05; done
    grep -q ready "$work/xdesk.out" || fail "the clipboard manager did not start"
    start clipboard
    click 4080 1980 3840 405 # the sample folders
    answer Lentrova Escape
    find_all
    check_all
    click 8040 3240 3840 405
    answer Lentrova Return
    xclip -selection clipboard -o >"$work/pasted"
    [ -s "$work/pasted" ] || fail "nothing was copied"
    "$xdesk" close "$wid"
    ended 20 || fail "the program did not end within 20 s of the close"
    [ "$code" = 0 ] || fail "the program ended with $code"
    for _ in $(seq 1 100); do kill -0 $keeper 2>/dev/null || break; sleep 0.05; done
    if kill -0 $keeper 2>/dev/null; then
        fail "the program ended without handing its clipboard to the clipboard manager"
    fi
    wait $keeper || fail "the clipboard manager failed"
    keeper=""
    cmp "$work/kept" "$work/pasted" || fail "the clipboard manager kept other text"
    echo "the clipboard manager kept the $(wc -l <"$work/kept") copied rows"
}

case_search() {
    echo "== closing during a search of a large tree"
    # 900 folders of one file each, every folder open held back a tenth of a second by the program's test seam:
    # a search of several seconds however fast the machine; the close comes a tenth of a second in.
    local i
    for i in $(seq 1 30); do
        mkdir -p "$work/tree/$i/"{1..30}
        touch "$work/tree/$i/"{1..30}/f
    done
    LENTROVA_TEST_FOLDER_OPEN_MS=100 start search "${everything[@]}"
    add_folder "$work/tree"
    click 120 4260 7800 405
    sleep 0.1
    # "Done." would be up if the search had ended already.
    if xdotool search --onlyvisible --name '^Lentrova$' >/dev/null 2>&1; then fail "the search ended before the close"; fi
    t0=$(now_ms)
    "$xdesk" close "$wid"
    ended 20 || fail "the program did not end within 20 s of the close"
    t1=$(now_ms)
    [ "$code" = 0 ] || fail "the program ended with $code"
    echo "closing during the search: the program ended $((t1 - t0)) ms after the close"
}

# LENTROVA_CASES picks some of the cases.
for name in ${LENTROVA_CASES:-move clipboard search}; do
    SECONDS=0
    "case_$name"
    echo "($name: $SECONDS s)"
done
INNER
