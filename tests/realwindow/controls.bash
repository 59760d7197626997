# SPDX-License-Identifier: MIT
# Driving the window's controls with xdotool, shared by the real-window scripts; they define wid and fail().

# Waits for a box with the exact title, and gives its window id. Generous: an instrumented build on a busy
# machine takes its time to open a dialog.
box() {
    local id
    id=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || true
    [ -n "$id" ] || fail "no box titled $1"
    echo "$id"
}
# Waits until no visible box has that title any more.
gone() {
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "box titled $1 stayed open"
}
# Centre of a control laid out in twips (15 a pixel).
click() {
    xdotool mousemove --window "$wid" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)) click 1
}
# No window manager runs: focus the box directly, and type real key events (Qt ignores sent ones).
answer() {
    local id
    id=$(box "$1")
    xdotool windowfocus --sync "$id"
    xdotool key "$2"
    gone "$1"
}
