#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes docs/screenshot.png: the built program under Xvfb after a search of a made-up home, /home/user, so that
# the picture shows the paths a user has rather than this machine's. /home/user lives on a scratch tmpfs in a
# mount namespace of its own (hence root), so nothing of this machine's /home is seen or changed.
# Usage: scripts/screenshot.sh [program]   (build/lentrova when not given; needs xvfb, xdotool, imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/lentrova}")
[ "$(id -u)" -eq 0 ] || { echo "screenshot.sh needs root, for a /home of its own" >&2; exit 1; }
bash scripts/deps.sh imagemagick
out=$PWD/docs/screenshot.png
exec unshare -m bash -s "$program" "$out" "$PWD/tests/realwindow" <<'OUTER'
set -euo pipefail
program=$1 out=$2 controls=$3
mount --make-rprivate /
mount -t tmpfs tmpfs /home
home=/home/user
make() { mkdir -p "$(dirname "$home/$1")" && printf 'x' >"$home/$1"; }
make "Documents/Taxes/2025/annual-statement-from-the-savings-bank-for-the-tax-office.pdf"
make "Documents/Taxes/2025/receipts.zip"
make "Documents/Letters/letter-to-the-landlord-about-the-heating-in-january.odt"
make "Documents/Letters/notes.txt"
make "Documents/Work/Projects/Renovation/quote-for-the-new-kitchen-windows-and-the-balcony-door (final version).pdf"
make "Documents/Work/Projects/Renovation/plan.odg"
make "Pictures/Holidays/2024 Lake Garda/holiday-in-the-mountains-with-the-whole-family-day-3-001.jpeg"
make "Pictures/Holidays/2024 Lake Garda/holiday-in-the-mountains-with-the-whole-family-day-3-002.jpeg"
make "Pictures/Holidays/2024 Lake Garda/sunset.jpeg"
make "Pictures/Scans/scan-of-the-birth-certificate-for-the-passport-application.png"
make "Music/Choir/rehearsal-recording-of-the-christmas-concert-second-half.ogg"
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME"
# Names longer than 40 characters.
printf '%s\n' '[Lentrova%20Software]' Length=40 Combo=1 >"$XDG_CONFIG_HOME/Quenlor.ini"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -s "$program" "$out" "$controls" "$work" <<'INNER'
set -euo pipefail
program=$1 out=$2 work=$4
source "$3/controls.bash"
unset QT_QPA_PLATFORM
fail() { echo "screenshot: $*" >&2; cat "$work/log" >&2; exit 1; }
"$program" >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Lentrova Software$' | head -n 1) || true
[ -n "$wid" ] || fail "no window"
for folder in /home/user/Documents /home/user/Pictures /home/user/Music; do
    click 120 1470 7800 405
    id=$(box "Please select folder:")
    xdotool windowfocus --sync "$id"
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 10 "$folder"
    xdotool key Return
    gone "Please select folder:"
    sleep 0.5
done
click 120 4260 7800 405
answer Lentrova Return
# The pointer away from the buttons, so that none shows its hover.
xdotool mousemove 1200 1000
sleep 0.5
import -window "$wid" "$out"
echo "screenshot: $out"
INNER
rm -rf "$work"
OUTER
