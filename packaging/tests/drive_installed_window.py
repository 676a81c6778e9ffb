#!/usr/bin/python3
"""Drives an installed CollectorUpgrade window from outside, through the
accessibility bus (AT-SPI), the way a screen reader would: the program runs
unchanged, with no test hooks. Start it under a session bus and an X server:

    dbus-run-session -- xvfb-run -a drive_installed_window.py \\
        --program /usr/bin/CollectorUpgrade --rows 253 \\
        --image /path/S1.02.bin --upgrade 198.51.100.20

It presses the search button, waits for the expected number of rows, picks the
image through the browse button's file dialog, selects the collector's row,
presses the upgrade button and waits for the notice box. It prints one line
per finding for the caller to check:

    row <serial> <ip> <version>      every listed collector
    version <text>                   the version field after choosing the image
    notice <text>                    the text of each notice box, in order
    exit <status>                    the program's exit status after SIGTERM
    error <text>                     what could not be done
"""
import argparse
import os
import signal
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

CAPTION = "采集器程序升级工具"


def say(*words):
    print(*words, flush=True)


def wait_for(find, timeout, step=0.1):
    """Calls find() until it returns something true or the timeout passes."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = find()
        except gi.repository.GLib.Error:
            found = None  # the tree changed under us; ask again
        if found or time.monotonic() >= deadline:
            return found
        time.sleep(step)


def descendants(node, depth=0):
    yield node
    if depth > 8:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None and child.get_role() != Atspi.Role.TABLE_CELL:
            yield from descendants(child, depth + 1)


def find(node, role, name=None):
    for item in descendants(node):
        if item.get_role() == role and (name is None or item.get_name() == name):
            return item
    return None


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def press(node, role, name):
    button = wait_for(lambda: find(node, role, name), 10)
    if button is None:
        raise RuntimeError(f"no {name!r} button")
    Atspi.Action.do_action(button, 0)


def cell_text(table, row, column):
    return Atspi.Table.get_accessible_at(table, row, column).get_name()


def rows_of(table):
    return Atspi.Table.get_n_rows(table)


def choose_file(app, path):
    """Fills the browse button's file dialog with path and accepts it."""
    dialog = wait_for(lambda: find(app, Atspi.Role.DIALOG), 10)
    if dialog is None:
        raise RuntimeError("the file dialog did not open")
    entry = wait_for(lambda: find_editable(dialog), 10)
    Atspi.EditableText.set_text_contents(entry, path)
    for name in ("Open", "打开(&O)", "打开"):
        button = find(dialog, Atspi.Role.PUSH_BUTTON, name)
        if button is not None:
            Atspi.Action.do_action(button, 0)
            return
    raise RuntimeError("the file dialog has no Open button")


def find_editable(dialog):
    for item in descendants(dialog):
        if item.get_role() == Atspi.Role.TEXT and item.get_state_set().contains(
                Atspi.StateType.EDITABLE):
            return item
    return None


def notice_text(box):
    for item in descendants(box):
        if item.get_role() == Atspi.Role.LABEL and item.get_name():
            return item.get_name()
    return ""


def drive(args, program):
    app = wait_for(lambda: application(program.pid), 20)
    if app is None:
        raise RuntimeError("the program never appeared on the accessibility bus")
    window = wait_for(lambda: find(app, Atspi.Role.FILLER, CAPTION), 10)
    if window is None:
        raise RuntimeError(f"no window captioned {CAPTION}")
    table = wait_for(lambda: find(window, Atspi.Role.TREE), 10)

    press(window, Atspi.Role.PUSH_BUTTON, "搜寻设备")
    wait_for(lambda: rows_of(table) >= args.rows, args.sweep_seconds)
    time.sleep(0.5)  # late or duplicate replies would show up now
    for row in range(rows_of(table)):
        say("row", *(cell_text(table, row, column) or "-" for column in range(3)))

    press(window, Atspi.Role.PUSH_BUTTON, "浏览")
    choose_file(app, args.image)
    version = wait_for(lambda: version_text(window), 5)
    say("version", version or "-")

    target = next((r for r in range(rows_of(table)) if cell_text(table, r, 1) == args.upgrade),
                  None)
    if target is None:
        raise RuntimeError(f"{args.upgrade} is not listed")
    Atspi.Table.add_row_selection(table, target)
    press(window, Atspi.Role.PUSH_BUTTON, "升级程序")

    # A message box is an alert; the file dialog, a dialog, may linger on the bus.
    box = wait_for(lambda: find(app, Atspi.Role.ALERT), args.upgrade_seconds, step=0.25)
    if box is None:
        raise RuntimeError("no notice box appeared after the upgrade")
    say("notice", notice_text(box))
    press(box, Atspi.Role.PUSH_BUTTON, "OK")


def version_text(window):
    """The version field: the window's own one-line text box (the port field
    sits inside the search group, the file path box has several lines)."""
    for i in range(window.get_child_count()):
        item = window.get_child_at_index(i)
        if item.get_role() == Atspi.Role.TEXT and not item.get_state_set().contains(
                Atspi.StateType.MULTI_LINE):
            return Atspi.Text.get_text(item, 0, Atspi.Text.get_character_count(item))
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--rows", type=int, required=True)
    parser.add_argument("--image", required=True)
    parser.add_argument("--upgrade", required=True, help="address of the collector to upgrade")
    parser.add_argument("--sweep-seconds", type=float, default=20)
    parser.add_argument("--upgrade-seconds", type=float, default=60)
    args = parser.parse_args()

    # Qt offers its widgets on the accessibility bus only when asked to.
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)
    program = subprocess.Popen([args.program], env=env)
    status = 0
    try:
        drive(args, program)
    except Exception as error:  # reported to the caller, which fails the test
        say("error", error)
        status = 1
    finally:
        if program.poll() is None:
            program.send_signal(signal.SIGTERM)
        try:
            say("exit", program.wait(timeout=10))
        except subprocess.TimeoutExpired:
            program.kill()
            say("exit", "killed")
    return status


if __name__ == "__main__":
    sys.exit(main())
