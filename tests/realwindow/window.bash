# SPDX-License-Identifier: MIT
# Start-up shared by the real-window scripts, sourced with the program as $1. The first time through it runs
# the calling script again inside a fresh Xvfb display, with settings and trash in a temporary folder; there it
# starts the program and leaves program, work, pid, wid and fail() to the script.
set -euo pipefail
program=$1
if [ -z "${LENTROVA_WINDOW_WORK:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data LENTROVA_WINDOW_WORK=$work
    mkdir -p "$XDG_CONFIG_HOME"
    status=0
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@" || status=$?
    exit "$status"
fi
work=$LENTROVA_WINDOW_WORK
unset QT_QPA_PLATFORM
"$program" >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
fail() { echo "$*"; echo "program log:"; cat "$work/log"; exit 1; }

wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1)
[ -n "$wid" ] || fail "no window"
