#!/usr/bin/python3
"""Reads choosers of a running program over the accessibility bus (AT-SPI), as a screen reader
finds them: for each caption given, the combo box of that name, its role and states, the selected
item of its list, and its text. Prints one JSON object per chooser, in the order asked.

    read_choosers.py PID CAPTION...

Waits (up to 60 s) until the program has joined the bus and every chooser is there; exits 1 when
it never is."""

import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def find_app(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.Error:
            continue
    return None


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def selected_item(combo):
    """The selected item of the combo box's list: through the Selection interface where the list
    (or the combo box) has one, else the item whose state says selected."""
    for node in walk(combo):
        if node is combo or node.get_role() != Atspi.Role.LIST:
            continue
        sel = node.get_selection_iface()
        if sel is not None and sel.get_n_selected_children() > 0:
            return sel.get_selected_child(0).get_name()
        for item in walk(node):
            if item is not node and item.get_state_set().contains(Atspi.StateType.SELECTED):
                return item.get_name()
    sel = combo.get_selection_iface()
    if sel is not None and sel.get_n_selected_children() > 0:
        return sel.get_selected_child(0).get_name()
    return None


def describe(combo):
    states = [s.value_nick for s in combo.get_state_set().get_states()]
    text_iface = combo.get_text_iface()
    text = text_iface.get_text(0, -1) if text_iface is not None else None
    return {
        "name": combo.get_name(),
        "role": combo.get_role_name(),
        "states": states,
        "selected": selected_item(combo),
        "text": text,
    }


def main():
    pid = int(sys.argv[1])
    captions = sys.argv[2:]
    deadline = time.monotonic() + 60
    while True:
        found = {}
        app = find_app(pid)
        if app is not None:
            for node in walk(app):
                try:
                    if node.get_role() == Atspi.Role.COMBO_BOX and node.get_name() in captions:
                        states = node.get_state_set()
                        if states.contains(Atspi.StateType.SHOWING):
                            found.setdefault(node.get_name(), node)
                except GLib.Error:
                    pass
        if len(found) == len(captions):
            for caption in captions:
                print(json.dumps(describe(found[caption]), ensure_ascii=False), flush=True)
            return 0
        if time.monotonic() > deadline:
            print("not found on the accessibility bus: app=%s choosers=%s" % (app is not None, sorted(found)),
                  file=sys.stderr)
            return 1
        time.sleep(0.3)


if __name__ == "__main__":
    sys.exit(main())
