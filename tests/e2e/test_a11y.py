#!/usr/bin/python3
# Every screen as a screen reader reads it. Run on a session bus and an X
# server of its own (dbus-run-session, xvfb-run), it starts the program with
# its accessibility on, opens each screen through the program's own buttons and
# menus by pressing them the way a screen reader does (AT-SPI actions), and
# fails on any control a person can act on that has no name, or the same role
# and name as a control beside it. Prints how many such controls each screen has.
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

# One row per start of the program: what its folder holds, then each screen
# as the title it is found by (None: the main window; "alert:Login" a message
# box of that title) and what to press to bring it up ("Panel/Name": a
# control inside the panel or window of that name).
STARTS = [
    ([], [
        (None, ["Note Taking", "Address Book"]),
        ("Tessaly 2002", []),  # the logo
        ("Doc 1", []),
        ("Find", ["Note Options/Find"]),  # for the note in front
        ("Calculator", ["Calculator"]),
        ("Calendar", ["Calendar"]),
        ("Organizer", ["Organizer"]),
        ("Organizer Search", ["Organizer/Search"]),
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
        ("About Tessaly 2002", ["About/About"]),
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


def children(node):
    return [c for c in (node.getChildAtIndex(i) for i in range(node.childCount)) if c is not None]


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


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
        shutil.copy(exe, self.folder)
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

    def press(self, path):
        *where, name = path.split("/")
        node = wait_for(self.app)
        for part in where:
            node = wait_for(lambda: find(node, lambda n: n.name == part and n.childCount > 0))
        target = wait_for(lambda: find(node, lambda n: n.name == name and actionable(n)))
        action = target.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Press") if "Press" in names else 0)
        time.sleep(0.3)  # a button is pressed for a moment before it acts

    def stop(self):
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.folder)


def read(window, main):
    # The actionable controls of a window and the faults among them.
    count, faults = 0, []

    def walk(node, path):
        nonlocal count
        seen = set()
        for child in children(node):
            if not showing(child) and child.getRoleName() not in MENUS:
                continue
            if main and child.getRoleName() == "layered pane":  # the work area's windows are screens of their own
                continue
            here = f"{path}/{child.name or child.getRoleName()}"
            if actionable(child):
                count += 1
                key = (child.getRoleName(), child.name)
                if not child.name:
                    faults.append(f"{here}: a {child.getRoleName()} without a name")
                elif key in seen:
                    faults.append(f"{here}: a second {child.getRoleName()} of this name")
                seen.add(key)
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
                        program.press(path)
                    count, faults = read(wait_for(lambda: program.window(title)), title is None)
                except RuntimeError:
                    count, faults = 0, [f"did not open by pressing {' then '.join(presses)}"]
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
