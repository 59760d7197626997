#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program started a moment before its X server listens (a harness, a slow login) waits for it and shows
# its window; a display where no server ever answers ends it with a plain message and status 1, not an abort.
set -euo pipefail
program=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: Xvfb or xdotool missing"; exit 77; }
work=$(mktemp -d)
pid=""
xpid=""
cleanup() {
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
    # Asked to end, the server takes its lock and socket with it; killed, it leaves them behind.
    if [ -n "$xpid" ]; then
        kill -TERM "$xpid" 2>/dev/null || true
        wait "$xpid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# A display number nobody uses. A lock whose process is gone holds no number, as Xvfb itself decides: runs
# killed before their cleanup leave such locks behind.
held() {
    local owner
    owner=$(tr -d ' ' <"/tmp/.X$1-lock" 2>/dev/null) || return 1
    [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null
}
number=""
for n in $(seq 140 199); do
    if [ -e "/tmp/.X$n-lock" ]; then
        held "$n" && continue
        rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n" 2>/dev/null || continue
    elif [ -e "/tmp/.X11-unix/X$n" ]; then
        continue # a socket without a lock is no leftover of Xvfb's
    fi
    number=$n
    break
done
[ -n "$number" ] || { echo "SKIP: no free display number"; exit 77; }
export DISPLAY=:$number

# No server at all.
start=$(date +%s)
status=0
"$program" >"$work/never.log" 2>&1 || status=$?
[ "$status" = 1 ] || { echo "FAIL: with no X server the program ended with $status"; cat "$work/never.log"; exit 1; }
grep -q "cannot reach the display :$number" "$work/never.log" || { echo "FAIL: no plain message"; cat "$work/never.log"; exit 1; }
echo "no server: status 1 after $(($(date +%s) - start)) s, with the message"

# A server that starts listening a second and a half after the program.
"$program" >"$work/late.log" 2>&1 &
pid=$!
sleep 1.5
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended before its display came"; cat "$work/late.log"; exit 1; }
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
xpid=$!
for _ in $(seq 1 200); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1) || true
[ -n "$wid" ] || { echo "FAIL: no window on the late display"; cat "$work/late.log"; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" = 143 ] || { echo "FAIL: the program ended with $status"; cat "$work/late.log"; exit 1; }
echo "late server: the window came, and the program ended as asked"
