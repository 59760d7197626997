#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program in a real X window: the window is found by its caption, its client area is
# 1064 x 354, and text typed into the length box lands in the settings file.
source "$(dirname "$0")/window.bash" "$@"
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
