#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the built program as a user would, in a real X window: load the sample folders, find, check every row
# with the keyboard, copy the results and save the report through the real dialogs, and compare the clipboard
# and the file with what the sample files must give. With LENTROVA_SCREENSHOT=path it also saves a picture of
# the window after the search.
source "$(dirname "$0")/window.bash" "$@"
samples=$(cd "$(dirname "$program")" && pwd -P)/Samples

source "$(dirname "$0")/controls.bash"

# Load Sample/Example Folders; No keeps the file manager shut.
click 4080 1980 3840 405
answer Lentrova Escape
# Start Finding, then the "Done." box.
click 120 4260 7800 405
answer Lentrova Return

if [ -n "${LENTROVA_SCREENSHOT:-}" ]; then
    sleep 0.3
    import -window "$wid" "$LENTROVA_SCREENSHOT"
    echo "screenshot: $LENTROVA_SCREENSHOT"
fi

# Into the result list, select every row, check them all.
click 8040 135 7800 2490
sleep 0.3
xdotool key ctrl+a
xdotool key space
sleep 0.3

# Copy Results To Clipboard, then dismiss its message.
click 8040 3240 3840 405
answer Lentrova Return
xclip -selection clipboard -o >"$work/clipboard"

# What the samples must give: every file whose name is longer than 5, the path column padded to the longest
# path, the length unpadded, CR LF ends. The walk order is the file system's, so lines compare as sets here;
# the report must then hold the same rows in the clipboard's order.
python3 - "$samples" "$work" <<'PY'
import os, sys
samples, work = sys.argv[1], sys.argv[2]
rows = []
for sample in ("sample1", "sample2"):
    top = os.path.join(samples, sample) + "/"
    for folder, _, files in os.walk(top):
        for name in files:
            if len(name) > 5:
                rows.append((os.path.join(folder, name), str(len(name))))
width = max(len(p) for p, _ in rows)
expected = sorted(f"{p.ljust(width)}\t{n}\r\n" for p, n in rows)
got_text = open(os.path.join(work, "clipboard"), "rb").read().decode()
got = got_text.splitlines(keepends=True)
if sorted(got) != expected:
    print("clipboard differs:\n" + "".join(got).replace("\r", "\\r") + "expected:\n" +
          "".join(expected).replace("\r", "\\r"))
    sys.exit(1)
# The report: titles count towards the widths, every cell padded and closed by a tab.
order = [line.rstrip("\r\n").split("\t") for line in got]
pw = max(width, len("Filename(s)"))
lw = max([len("Length")] + [len(n) for _, n in order])
report = f"{'Filename(s)'.ljust(pw)}\t{'Length'.ljust(lw)}\t\r\n"
report += "".join(f"{p.rstrip(' ').ljust(pw)}\t{n.ljust(lw)}\t\r\n" for p, n in order)
open(os.path.join(work, "expected-report.txt"), "wb").write(report.encode())
print(f"clipboard holds the {len(rows)} expected rows")
PY

# Save Results As Text File through the save dialog: type the path and Return.
click 8040 2730 3840 405
dialog=$(box Save)
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 20 "$work/report.txt"
xdotool key Return
gone Save
for _ in $(seq 1 50); do
    [ -s "$work/report.txt" ] && cmp -s "$work/report.txt" "$work/expected-report.txt" && break
    sleep 0.1
done
cmp "$work/report.txt" "$work/expected-report.txt" || {
    echo "report:"; cat -A "$work/report.txt"; echo "expected:"; cat -A "$work/expected-report.txt"; fail "report differs"
}
kill -0 $pid || fail "the program ended"
echo "clipboard and report match"
