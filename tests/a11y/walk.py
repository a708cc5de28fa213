"""The viewer as assistive technology sees it, through the desktop's accessibility bus.

Starts tavi on a project, then walks its accessible tree in the main window, the
control panel, the object list, a search's result window and the record viewers, and
fails on any push button, check box or table without a name. One search is made by the
keyboard alone: Go to the place of a site, the site point tool armed by its key, Enter
on the map, the result window's rows read; the toolbar shows that tool checked, and Tab
leaves the panel's tables. Every wait is bounded and says what it waited for.

Usage: walk.py TAVI DATA_FOLDER (run through run.sh).
"""

import os
import sqlite3
import subprocess
import sys
import time

import pyatspi

NAMED_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON: "push button",
    pyatspi.ROLE_TOGGLE_BUTTON: "toggle button",
    pyatspi.ROLE_CHECK_BOX: "check box",
    pyatspi.ROLE_TABLE: "table",
    pyatspi.ROLE_COMBO_BOX: "combo box",
    pyatspi.ROLE_TEXT: "text field",  # the record viewers' fields among them
}
SITE_POINT_TOOL = "Interrogate site list by individual point"
OBJECT_LIST_TOOL = "Zoom to an object in the active list"
OBJECT_POINT_TOOL = "Interrogate active elements by single point"
KEY_RETURN = 0xFF0D
KEY_ESCAPE = 0xFF1B
KEY_DOWN = 0xFF54
KEY_TAB = 0xFF09

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, flush=True)


def wait_for(what, probe, seconds=60):
    """probe() until it gives something true; fails the run after seconds."""
    end = time.monotonic() + seconds
    while True:
        try:
            got = probe()
        except Exception:  # the tree changes under us while windows open and close
            got = None
        if got:
            return got
        if time.monotonic() > end:
            raise SystemExit(f"FAIL: gave up after {seconds} s waiting for {what}" + screenshot())
        time.sleep(0.25)


def screenshot():
    """The screen saved for the failure message, where ImageMagick is there to save it."""
    folder = os.environ.get("TAVI_A11Y_SCREENSHOTS") or "/tmp"
    path = os.path.join(folder, f"tavi-a11y-{os.getpid()}.png")
    try:
        subprocess.run(["import", "-window", "root", path], timeout=20, check=True,
                       capture_output=True)
        return f" (the screen then: {path})"
    except Exception:
        return ""


def children(acc):
    try:
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    except Exception:
        return []


def walk(acc, path=()):
    """Every accessible under acc, with the names leading to it; tables not entered."""
    yield acc, path
    if acc.getRole() == pyatspi.ROLE_TABLE:
        return
    for child in children(acc):
        if child is not None:
            yield from walk(child, path + (f"{child.getRoleName()} '{child.name}'",))


def find(root, name, role=None):
    for acc, _ in walk(root):
        if acc.name == name and (role is None or acc.getRole() == role):
            return acc
    return None


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def check_names(app, where):
    """Fails on each showing control of a named role without a name."""
    checked = 0
    for acc, path in walk(app):
        role = acc.getRole()
        if role in NAMED_ROLES and showing(acc):
            checked += 1
            if not acc.name.strip():
                fail(f"{where}: {NAMED_ROLES[role]} without a name at " + " > ".join(path))
            elif not acc.description.strip():
                fail(f"{where}: {NAMED_ROLES[role]} '{acc.name}' without a description")
    print(f"{where}: {checked} controls checked", flush=True)
    return checked


def window(app, title):
    for w in children(app):
        if w.name == title and showing(w):
            return w
    return None


def centre(acc):
    x, y, w, h = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return x + w // 2, y + h // 2


def click(acc, how="b1c"):
    x, y = centre(acc)
    pyatspi.Registry.generateMouseEvent(x, y, how)


def key(sym):
    pyatspi.Registry.generateKeyboardEvent(sym, None, pyatspi.KEY_SYM)


def chord(keys):
    """Keys pressed together, as the X server gets them from a keyboard ("ctrl+g")."""
    subprocess.run(["xdotool", "key", "--clearmodifiers", keys], timeout=20, check=True)


def typed(text):
    subprocess.run(["xdotool", "type", "--delay", "50", text], timeout=60, check=True)


def focused(acc):
    return acc.getState().contains(pyatspi.STATE_FOCUSED)


def site_place(data, code):
    """The grid reference of a site of the sample's site list, to the metre."""
    with sqlite3.connect(os.path.join(data, "tavidata.sqlite")) as db:
        ngs, x, y = db.execute(
            'SELECT NGS, xcoord, ycoord FROM TAVIsitelist WHERE site = ?', (code,)).fetchone()
    return f"{ngs[:2]} {int(x):05d} {int(y):05d}"


BUTTON_ROLES = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX)


def button_named(root, name):
    return next((a for a, _ in walk(root) if a.name == name and a.getRole() in BUTTON_ROLES),
                None)


def press(app, name):
    button = wait_for(f"the button '{name}'", lambda: button_named(app, name))
    button.queryAction().doAction(0)


def table_rows(table):
    """The texts of a table's rows, read through its table interface."""
    t = table.queryTable()
    return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]


def accessibility_bus_error():
    """Why the accessibility bus cannot be reached, or None when it can."""
    try:
        from gi.repository import Gio, GLib

        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 20000, None)
        return None if reply.unpack()[0] else "it gave no address"
    except Exception as e:  # no session bus, no at-spi-bus-launcher, a timeout
        return str(e)


def main():
    tavi, data = sys.argv[1], sys.argv[2]
    error = accessibility_bus_error()
    if error:
        print(f"SKIP: the accessibility bus cannot start: {error}")
        return 77
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    viewer = subprocess.Popen([tavi, data], env=env)
    try:
        run(viewer, data)
    finally:
        viewer.terminate()
        try:
            viewer.wait(10)
        except subprocess.TimeoutExpired:
            viewer.kill()
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    print("all controls named; the search made by the keyboard alone found its site")
    return 0


def run(viewer, data):
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait_for(
        "tavi on the accessibility bus (is QT_LINUX_ACCESSIBILITY_ALWAYS_ON honoured?)",
        lambda: viewer.poll() is None
        and next((a for a in children(desktop) if a and a.name == "tavi"), None),
    )
    panel = wait_for("the control panel", lambda: window(app, "TAVI Control Panel"))
    # The project is loaded when the plot switch, off until then, may be used.
    wait_for(
        "the project to load",
        lambda: find(panel, "Plot Excavation Locations", pyatspi.ROLE_CHECK_BOX)
        .getState()
        .contains(pyatspi.STATE_ENABLED),
        seconds=120,
    )
    main_window = wait_for("the main window", lambda: window(app, "TAVI"))
    # The map window's frame is called "Map" too; the map itself is the one described.
    the_map = wait_for("the map named 'Map' with a description", lambda: next(
        (a for a, _ in walk(main_window) if a.name == "Map" and a.description), None))
    check_names(main_window, "main window")
    check_names(panel, "control panel")

    # The object list, from its toolbar button; Esc hides it again.
    press(app, OBJECT_LIST_TOOL)
    objects = wait_for("the object list", lambda: next(
        (w for w in children(app) if showing(w) and find(w, "Drawn objects", pyatspi.ROLE_TABLE)),
        None))
    check_names(objects, "object list")
    click(find(objects, "Drawn objects", pyatspi.ROLE_TABLE))
    key(KEY_ESCAPE)
    wait_for("Esc to hide the object list", lambda: not showing(objects), seconds=15)

    # Tab leaves the panel's tables.
    sites = find(panel, "Sites", pyatspi.ROLE_TABLE)
    rows = wait_for("the panel's site list", lambda: [r for r in table_rows(sites) if r[1]])
    for table in (find(panel, "Period maps", pyatspi.ROLE_TABLE), sites):
        click(table.queryTable().getAccessibleAt(0, 1))
        wait_for(f"the focus in the table '{table.name}'", lambda: focused(table), seconds=15)
        key(KEY_TAB)
        wait_for(f"Tab to leave the table '{table.name}'", lambda: not focused(table), seconds=15)

    # A site search by the keyboard alone: Go to the first site's place (Ctrl+G, the
    # reference, Enter), Esc back to the map, the point tool's key, Enter at the map's
    # keyboard pointer, which Go to put on the place.
    code = rows[0][1]
    reference = site_place(data, code)
    click(the_map)
    time.sleep(1)
    chord("ctrl+g")
    go_to = wait_for("the Go to field focused by Ctrl+G",
                     lambda: next((a for a, _ in walk(panel) if a.name == "Go to"
                                   and a.getRole() == pyatspi.ROLE_TEXT and focused(a)), None),
                     seconds=15)
    typed(reference)
    key(KEY_RETURN)
    time.sleep(3)  # the map is drawn at the place
    key(KEY_ESCAPE)
    wait_for("Esc to give the keys to the map", lambda: focused(the_map), seconds=15)
    chord("alt+s")
    tool = button_named(app, SITE_POINT_TOOL)
    wait_for("the site point tool shown checked", lambda: tool.getState().contains(
        pyatspi.STATE_CHECKED), seconds=15)
    print(f"went to {reference} ({code}) in '{go_to.name}'; the point tool checked", flush=True)
    key(KEY_RETURN)
    results = wait_for(
        "the result window of the site point search",
        lambda: next((w for w in children(app) if showing(w)
                      and find(w, "Search results", pyatspi.ROLE_TABLE)), None),
    )
    grid = find(results, "Search results", pyatspi.ROLE_TABLE)
    found = wait_for(f"site {code} among the result rows",
                     lambda: [r for r in table_rows(grid) if code in r], seconds=30)
    print(f"the search found {len(found)} row(s) of site {code}", flush=True)
    check_names(results, "site search results")

    # The site's record: Enter on a result row opens its viewer.
    row = table_rows(grid).index(found[0])
    click(grid.queryTable().getAccessibleAt(row, 0))
    time.sleep(1)
    key(KEY_RETURN)
    viewer = wait_for("the site viewer", lambda: window(app, "Archaeological Site Details"))
    check_names(viewer, "site viewer")
    key(KEY_ESCAPE)
    wait_for("Esc to close the site viewer", lambda: window(app, "Archaeological Site Details")
             is None, seconds=15)
    # Esc in the result window is its cancel button.
    click(grid.queryTable().getAccessibleAt(row, 0))
    time.sleep(0.5)
    key(KEY_ESCAPE)
    wait_for("Esc to close the result window", lambda: not any(
        showing(w) and find(w, "Search results", pyatspi.ROLE_TABLE)
        for w in children(app)), seconds=15)

    # The RAZ text viewer: a reference chosen in the panel's drop-down.
    combo = find(panel, "Display RAZ Text", pyatspi.ROLE_COMBO_BOX)
    click(combo)
    time.sleep(0.5)
    key(KEY_DOWN)
    raz = wait_for("the RAZ text viewer", lambda: window(app, "RAZ Descriptions"), seconds=30)
    check_names(raz, "RAZ text viewer")
    click(raz)
    key(KEY_ESCAPE)
    wait_for("Esc to close the RAZ text viewer", lambda: window(app, "RAZ Descriptions") is None,
             seconds=15)

    # The drawn objects at a point.
    press(app, OBJECT_POINT_TOOL)
    time.sleep(0.5)
    click(the_map)
    planning = wait_for("the drawn objects' result window", lambda: next(
        (w for w in children(app) if showing(w)
         and find(w, "Drawn objects found", pyatspi.ROLE_TABLE)), None), seconds=30)
    check_names(planning, "drawn objects' results")


if __name__ == "__main__":
    sys.exit(main())
