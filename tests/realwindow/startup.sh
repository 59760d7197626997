#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program in a real X window: the window is found by its caption, its client area is
# 1064 x 354, and text typed into the length box lands in the settings file.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$program" "$work" <<'INNER'
set -euo pipefail
program=$1; work=$2
unset QT_QPA_PLATFORM
"$program" >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1)
[ -n "$wid" ] || { echo "no window"; cat "$work/log"; exit 1; }
size=$(xwininfo -id "$wid" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
echo "window $wid client area $size"
[ "$size" = "1064x354" ] || { echo "client area is $size"; exit 1; }
# The length box sits in the second frame; click into it, select all and type.
xdotool mousemove --window "$wid" 300 254 click 1
sleep 0.3
xdotool key --window "$wid" ctrl+a
xdotool type --window "$wid" --delay 50 "42"
ini=$XDG_CONFIG_HOME/Quenlor.ini
for _ in $(seq 1 50); do
    grep -q '^Length=42$' "$ini" 2>/dev/null && break
    sleep 0.1
done
grep -q '^Length=42$' "$ini" || { echo "settings file:"; cat "$ini" 2>/dev/null; exit 1; }
grep -q '^\[Lentrova%20Software\]$' "$ini"
kill -0 $pid
echo "typed length stored"
INNER
