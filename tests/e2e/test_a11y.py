#!/usr/bin/python3
# Every screen as a screen reader reads it. Run on a session bus and an X
# server of its own (dbus-run-session, xvfb-run), it starts the program with
# its accessibility on, opens each screen through the program's own buttons and
# menus by pressing them the way a screen reader does (AT-SPI actions), and
# fails on any control that has no name (whether it can be acted on now or is
# turned off, a list, a table or a tree and its headings as much as a button),
# a box of choices read by its choice instead of its label, or the same role and
# name as a control beside it. Prints how many controls each screen has.
import ctypes
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

# An incoming account on IMAP, its password not stored: Check Email shows its
# folder box and Move to, and asks for the password.
IMAP_ACCOUNT = """
CREATE TABLE IF NOT EXISTS tblEmail (EmailInfo INTEGER PRIMARY KEY, SMTP TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  YourEmail TEXT NOT NULL DEFAULT '' COLLATE NOCASE, Remote TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  UserName TEXT NOT NULL DEFAULT '' COLLATE NOCASE, Password TEXT NOT NULL DEFAULT '' COLLATE NOCASE);
CREATE TABLE IF NOT EXISTS tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL);
INSERT INTO tblEmail VALUES (1, '127.0.0.1:9', 'me@example.org', '127.0.0.1:9', 'me', '');
INSERT INTO tblEmailIncoming VALUES (1, 'IMAP');
"""

# One row per start of the program: what its folder holds, then each screen
# as the title it is found by (None: the main window; "alert:Login" a message
# box of that title) and the steps that bring it up: "Panel/Name" presses a
# control inside the panel or window of that name (a box also by its label),
# "Panel/Name=Keys" clicks that control and then presses the keys,
# "wait:Panel/Name" waits until that control shows, "sql:..." writes into the
# program's store.
STARTS = [
    ([], [
        (None, ["Note Taking", "Address Book"]),
        ("Tessaly 2002", []),  # the logo
        ("Doc 1", []),
        ("Find", ["Note Options/Find"]),  # for the note in front
        ("Calculator", ["Calculator"]),
        ("Calendar", ["Calendar"]),
        ("Organizer", ["Organizer"]),
        # The last entry of the Repeat box; the dialog waits for an answer.
        ("Custom repeat", ["Organizer/Repeat=End Return"]),
        ("Organizer", ["Custom repeat/Cancel"]),
        ("Organizer Search", ["Organizer/Search"]),
        ("Organizer", ["Organizer/Tasks"]),  # its Tasks page
        ("Send Email", ["Email"]),
        ("To", ["Send Email/To"]),
        ("Check Email", ["Check Email"]),
        ("Address", ["Address Options/New"]),
        ("Edit", ["Address Options/Edit"]),
        ("Search", ["Address Options/Search"]),
        ("Delete", ["Address Options/Delete"]),
        ("chang Password", ["Properties/Change password"]),
        ("Change info", ["Properties/Change Info"]),
        ("Sync Settings", ["Properties/Sync Settings"]),
        ("Search All", ["Search All"]),  # over the work area's windows
        ("About Tessaly 2002", ["About/About"]),
    ]),
    ([], [
        # Asked for as the folder is read, once the keyring has said it holds none.
        ("Password", ["sql:" + IMAP_ACCOUNT, "Check Email", "wait:Password/Keep it"]),
        ("Check Email", ["Password/Cancel"]),
    ]),
    (["Data"], [("Password Info/Email Info", [])]),
    (["Data", "Data/Pass.dat"], [
        ("Login", []),
        ("alert:Login", ["Login/Login"]),  # the message box: no account is stored
        ("ERROR", ["OK"]),
    ]),
]
# Parts of a control rather than controls: a box's scroll bar is read with the box.
SKIPPED_ROLES = {"scroll bar"}
# Read whether open or not: the entries of a closed menu are there to be found.
MENUS = {"menu bar", "menu item", "popup menu"}
# Controls by what they are, named whether they can be acted on now or not.
CONTROLS = {"push button", "toggle button", "check box", "radio button", "combo box", "text", "password text",
            "entry", "spin button", "slider", "date editor", "page tab", "page tab list", "list", "list box",
            "tree", "tree table", "table", "menu item", "popup menu", "column header", "table column header",
            "row header", "table row header"}
# The rows and cells of a list, a table or a tree are its contents: only the
# headings and what can be pressed among them are controls.
VIEWS = {"list", "list box", "tree", "tree table", "table"}


def children(node):
    return [c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c is not None]


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def labels(node):
    # The names of the labels a control is read with (a box's label beside it).
    found = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            found += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return found


def control(node):
    return node.getRoleName() in CONTROLS or actionable(node)


def actionable(node):
    if node.getRoleName() in SKIPPED_ROLES:
        return False
    try:
        if node.queryAction().nActions > 0:
            return True
    except NotImplementedError:
        pass
    try:
        node.queryEditableText()
        return True
    except NotImplementedError:
        return False


def find(node, test, menus=True):
    # The first node below `node` that passes `test`, looking inside closed menus too.
    for child in children(node):
        if test(child):
            return child
        if showing(child) or (menus and child.getRoleName() in MENUS):
            found = find(child, test, menus)
            if found:
                return found
    return None


def wait_for(what, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            found = what()
        except GLib.GError:  # an object went away while it was read (the splash closing): look again
            found = None
        if found:
            return found
        time.sleep(0.1)
    raise RuntimeError("waited in vain")


class Program:
    def __init__(self, exe, holds):
        self.folder = tempfile.mkdtemp(prefix="a11y-")
        for name in ("tessaly", "tessaly-app"):  # the starter the user runs, and the program it runs
            shutil.copy(os.path.join(os.path.dirname(exe), name), self.folder)
        for path in holds:
            full = os.path.join(self.folder, path)
            os.mkdir(full) if "." not in path else open(full, "w").close()
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.process = subprocess.Popen([os.path.join(self.folder, "tessaly")], env=env)
        # Past the splash, however slow the machine: the first screen that takes typing or a press.
        wait_for(lambda: self.app() and find(self.app(), lambda n: showing(n) and actionable(n), menus=False), 90)

    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        apps = [a for a in children(desktop) if a.get_process_id() == self.process.pid]
        return apps[0] if apps else None

    def window(self, title):
        # A window (or a work-area window) showing with this title.
        alert = title is not None and title.startswith("alert:")
        title = title[len("alert:"):] if alert else title
        roles = {"alert"} if alert else {"frame", "dialog", "filler", "window"}

        def test(node):
            if not showing(node) or node.getRoleName() not in roles:
                return False
            main = any(c.getRoleName() == "menu bar" for c in children(node))
            return main if title is None else node.name == title and not main
        return find(wait_for(self.app), test, menus=False)

    def step(self, step):
        if step.startswith("sql:"):
            with sqlite3.connect(os.path.join(self.folder, "Data", "Tessaly.mdb")) as store:
                store.executescript(step[len("sql:"):])
            return
        wait = step.startswith("wait:")
        path, _, key = step[len("wait:") if wait else 0:].partition("=")
        *where, name = path.split("/")
        node = wait_for(self.app)
        for part in where:
            node = wait_for(lambda: find(node, lambda n: n.name == part and n.childCount > 0))
        if wait:
            return wait_for(lambda: find(node, lambda n: n.name == name and showing(n)))
        target = wait_for(lambda: find(node, lambda n: (n.name == name or name in labels(n)) and actionable(n)))
        if key:
            return click_and_type(target, key.split())
        action = target.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Press") if "Press" in names else 0)
        time.sleep(0.3)  # a button is pressed for a moment before it acts

    def stop(self):
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.folder)


def click_and_type(node, keys):
    # A click on the control, then the keys, as the X server's own input: a
    # box of choices acts on a choice made by the keyboard or the mouse only.
    x11, xtest = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXtst.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    display = ctypes.c_void_p(x11.XOpenDisplay(None))
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xtest.XTestFakeMotionEvent(display, -1, box.x + box.width // 2, box.y + box.height // 2, 0)
    xtest.XTestFakeButtonEvent(display, 1, True, 0)
    xtest.XTestFakeButtonEvent(display, 1, False, 0)
    for key in keys:
        x11.XFlush(display)
        time.sleep(1)  # the list open, or the key before taken
        code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(key.encode()))
        for down in (True, False):
            xtest.XTestFakeKeyEvent(display, code, down, 0)
    x11.XCloseDisplay(display)  # sends what is left
    time.sleep(0.5)


def choices(box):
    # The entries of a box of choices: the items of the list it opens.
    return [item.name for part in children(box) if part.getRoleName() == "list" for item in children(part)]


def read(window, main):
    # The actionable controls of a window and the faults among them.
    count, faults = 0, []

    def walk(node, path):
        nonlocal count
        seen = set()
        view = node.getRoleName() in VIEWS
        for child in children(node):
            role = child.getRoleName()
            if not showing(child) and role not in MENUS:
                continue
            if main and role == "layered pane":  # the work area's windows are screens of their own
                continue
            here = f"{path}/{child.name or role}"
            if (actionable(child) or role.endswith("header")) if view else control(child):
                count += 1
                key = (role, child.name)
                if not child.name:
                    faults.append(f"{here}: a {role} without a name")
                elif role == "combo box" and not labels(child) and child.name in choices(child):
                    faults.append(f"{here}: a combo box read by its choice, without a label")
                elif key in seen:
                    faults.append(f"{here}: a second {role} of this name")
                seen.add(key)
            if not view or role not in {"table cell", "list item", "tree item"}:
                walk(child, here)

    if not window.name:
        faults.append("the window has no name")
    # A message box is read by its text: a label inside it.
    if window.getRoleName() == "alert" and not find(window, lambda n: n.getRoleName() == "label" and n.name, False):
        faults.append("a message box without a text to read")
    walk(window, window.name or "main window")
    return count, faults


def main():
    failed = False
    for holds, screens in STARTS:
        program = Program(sys.argv[1], holds)
        try:
            for title, presses in screens:
                try:
                    for path in presses:
                        program.step(path)
                    count, faults = read(wait_for(lambda: program.window(title)), title is None)
                except RuntimeError:
                    steps = [step if not step.startswith("sql:") else "a change to the store" for step in presses]
                    count, faults = 0, [f"did not open by {' then '.join(steps)}"]
                print(f"{title or 'main window'}: {count} controls, {len(faults)} without a name of their own")
                for fault in faults:
                    print("   ", fault)
                failed |= bool(faults)
        finally:
            program.stop()
    return 1 if failed else 0


def start_x_server():
    # An X server of its own on the first free display: it writes the display's
    # number down the pipe once it takes connections, so nothing races for a
    # display or starts before the server is there.
    ready, end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(end,))
    os.close(end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(ready, 16)
        if not chunk:
            raise RuntimeError(f"the X server did not start ({server.wait()})")
        number += chunk
    os.close(ready)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return server


if __name__ == "__main__":
    # A home of its own for whatever the bus starts (the keyring the mail settings ask for).
    os.makedirs(os.environ["HOME"], mode=0o700, exist_ok=True)
    x_server = start_x_server()
    try:
        sys.exit(main())
    finally:
        x_server.terminate()
        x_server.wait()
