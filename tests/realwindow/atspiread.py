#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Reads every application on the accessibility bus over and over, as a screen reader does while programs come
# and go: each object's name, role, states, description, text, actions and table cells, with no cache, so that
# every read is a call into the program. It also listens to the events a screen reader listens to, which has
# the programs send them. Prints "reading" once it listens, then runs until it is ended; a program that goes
# away in the middle of a read is expected and skipped.
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# One walk reads at most this many objects, so that a long result list does not hold up the next program.
MOST_OBJECTS = 400
# The programs whose window was read through, by process id; each is printed once.
read_through = set()


def read_object(accessible, budget):
    if budget[0] <= 0:
        return
    budget[0] -= 1
    accessible.get_name()
    role = accessible.get_role_name()
    accessible.get_description()
    accessible.get_state_set().get_states()
    text = accessible.get_text_iface()
    if text:
        text.get_text(0, text.get_character_count())
    actions = accessible.get_action_iface()
    if actions:
        for i in range(actions.get_n_actions()):
            actions.get_action_name(i)
    table = accessible.get_table_iface()
    if table:
        for row in range(min(table.get_n_rows(), 20)):
            for column in range(table.get_n_columns()):
                cell = table.get_accessible_at(row, column)
                if cell:
                    cell.get_name()
    if role in ("table", "tree", "list"):
        return
    for i in range(accessible.get_child_count()):
        child = accessible.get_child_at_index(i)
        if child:
            read_object(child, budget)


def read_desktop():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        try:
            app = desktop.get_child_at_index(i)
            if not app:
                continue
            app.set_cache_mask(Atspi.Cache.NONE)
            budget = [MOST_OBJECTS]
            read_object(app, budget)
            pid = app.get_process_id()
            # The window and its controls are some twenty-five objects: a walk that read twenty went through it.
            if MOST_OBJECTS - budget[0] >= 20 and pid not in read_through:
                read_through.add(pid)
                print(f"read {pid}", flush=True)
        except GLib.Error:
            pass  # the program ended or is not answering yet
    return True


def on_event(event):
    try:
        if event.source:
            event.source.get_name()
            event.source.get_role_name()
    except GLib.Error:
        pass


Atspi.init()
listener = Atspi.EventListener.new(on_event)
for kind in ("window:create", "window:activate", "object:children-changed", "object:state-changed:showing",
             "object:property-change:accessible-name", "focus:"):
    listener.register(kind)
GLib.timeout_add(20, read_desktop)
print("reading", flush=True)
sys.exit(Atspi.event_main())
