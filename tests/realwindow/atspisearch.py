#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# One search in the running program, driven through AT-SPI as assistive technology drives it: no pointer, no
# keys, only the window's accessible controls. Loads the sample folders (answering No to the question box),
# types a length, presses Start Finding, then reads the result list cell by cell while the "Done." box is up
# and checks it against the sample files. Usage: atspisearch.py PID SAMPLES_FOLDER
import os
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

pid, samples = int(sys.argv[1]), sys.argv[2]
# Load Samples sets 5 itself: another length shows that the one typed here is the one searched.
LENGTH = 9
# Qt 6.4 gives the comparison list no way to choose an item through AT-SPI (and on a compositor without a
# seat its popup cannot open), so the search keeps the comparison Load Samples chose.
COMPARISON = "Greater Than"


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def wait_for(what, probe, seconds=20):
    end = time.monotonic() + seconds
    while True:
        try:
            found = probe()
        except GLib.Error:
            found = None
        if found:
            return found
        if time.monotonic() > end:
            fail(f"timed out after {seconds} s waiting for {what}")
        time.sleep(0.05)


def children(accessible):
    return [c for c in (accessible.get_child_at_index(i) for i in range(accessible.get_child_count())) if c]


def find(root, role, name):
    # Lists and tables are not entered: their cells are read through the Table interface.
    for child in children(root):
        if child.get_role_name() == role and child.get_name() == name:
            return child
        if child.get_role_name() not in ("list", "table", "tree", "combo box"):
            found = find(child, role, name)
            if found:
                return found
    return None


def control(root, role, name):
    found = find(root, role, name)
    if not found:
        fail(f"no {role} named {name!r} in the window")
    return found


def press(button):
    actions = button.get_action_iface()
    for i in range(actions.get_n_actions()):
        if actions.get_action_name(i) == "Press":
            actions.do_action(i)
            return
    fail(f"{button.get_name()!r} offers no Press action")


def message_box(app, text):
    # Message boxes are windows of their own: children of the application, with their text in a label.
    for window in children(app):
        if window.get_role_name() in ("alert", "dialog") and find(window, "label", text):
            return window
    return None


def table_cells(table):
    cells = table.get_table_iface()
    return [[cells.get_accessible_at(row, column).get_name() for column in range(cells.get_n_columns())]
            for row in range(cells.get_n_rows())]


def the_app():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_process_id() == pid:
            # Each call asks the program itself, so boxes that come and go are seen at once.
            app.set_cache_mask(Atspi.Cache.NONE)
            return app
    return None


app = wait_for("the program on the accessibility bus", the_app)
window = wait_for("the window Lentrova Software",
                  lambda: next((w for w in children(app) if w.get_name() == "Lentrova Software"), None))

question = ("Would you like this software to open the folder where these sample files are stored (so that you "
            "can view them before working with them)?")
press(control(window, "push button", "Load Sample/Example Folders"))
box = wait_for("the question about the sample folder", lambda: message_box(app, question))
press(control(box, "push button", "No"))
wait_for("the question to close", lambda: not message_box(app, question))

folders = [row[0] for row in table_cells(control(window, "tree", "Folder(s)"))]
expected_folders = [os.path.join(samples, "sample1") + "/", os.path.join(samples, "sample2") + "/"]
if folders != expected_folders:
    fail(f"the folder list reads {folders}, not {expected_folders}")
comparison = control(window, "panel", "Length Of Filename (Including Period Characters)")
if not find(comparison, "combo box", COMPARISON):
    fail(f"the comparison does not read {COMPARISON!r} after Load Samples")

length_box = control(window, "text", "Length Of Filename (Including Period Characters)")
length_box.get_editable_text_iface().set_text_contents(str(LENGTH))
typed = length_box.get_text_iface()
if typed.get_text(0, typed.get_character_count()) != str(LENGTH):
    fail("the length box does not read what was set through its editable text")

start = control(window, "push button", "Start Finding")
press(start)
done = wait_for('the "Done." box', lambda: message_box(app, "Done."))
rows = table_cells(control(window, "table", "Filename(s)"))

# What the sample files give: every file below the two folders, hidden ones included, whose name is longer.
every, expected = 0, []
for folder in expected_folders:
    for parent, _, names in os.walk(folder):
        for name in names:
            every += 1
            if len(name) > LENGTH:
                expected.append([os.path.join(parent, name), str(len(name))])
if not 0 < len(expected) < every:
    fail(f"the sample folders no longer tell the criteria apart ({len(expected)} of {every} files match)")
# The walk's order is the file system's: rows compare as sets.
if sorted(rows) != sorted(expected):
    fail("the result list reads\n  " + "\n  ".join(map(str, rows)) + "\nexpected\n  " +
         "\n  ".join(map(str, sorted(expected))))
print(f"result list read through AT-SPI: the {len(rows)} of {every} sample files named longer than {LENGTH}")

press(control(done, "push button", "OK"))
wait_for('the "Done." box to close', lambda: not message_box(app, "Done."))
wait_for("the Start button to read Start Finding again", lambda: start.get_name() == "Start Finding")
