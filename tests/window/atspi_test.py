#!/usr/bin/python3
"""What a screen reader meets in the real client.

Starts the built `quaylet` on a private X server (with openbox as its window
manager) and a private session bus that carries the accessibility bus, signs
in against the development service by keyboard, queues a photo through the
drop area's file chooser, and walks the accessibility tree with pyatspi in the
sign-in dialog, the main window during the upload and the upload-completed
dialog. It checks the names, roles, relations, the progress value, where the
focus goes and what is announced, and the windows' identity on the desktop
(class, desktop file, titles).

Exit status 77 (skipped) when a Debian package it needs is missing.

    atspi_test.py --client build/dev/src/client/quaylet \
        --devserver build/dev/tools/devserver/quaylet-devserver \
        --desktop-entry packaging/example.glimmerly.Quaylet.desktop [--walk-only]

--walk-only prints the walks and the announcements and always exits 0, to
compare what a screen reader hears between two builds.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
PRIVATE_BUS_MARK = "QUAYLET_ATSPI_PRIVATE_BUS"
APP_ID = "example.glimmerly.Quaylet"
USER, PASSWORD = "alice", "wonderland"
SIGN_IN_ERROR = "Invalid username or password"


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIPPED)


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    parser.add_argument("--devserver", required=True)
    parser.add_argument("--desktop-entry", required=True)
    parser.add_argument("--walk-only", action="store_true")
    arguments = parser.parse_args()
    for name in ("client", "devserver", "desktop_entry"):
        setattr(arguments, name, os.path.abspath(getattr(arguments, name)))
    return arguments


def check_packages():
    needed = {
        "Xvfb": "xvfb",
        "dbus-run-session": "dbus-daemon",
        "openbox": "openbox",
        "xdotool": "xdotool",
        "xprop": "x11-utils",
    }
    for program, package in needed.items():
        if shutil.which(program) is None:
            skip("%s is missing (Debian package %s)" % (program, package))
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("at-spi-bus-launcher is missing (Debian package at-spi2-core)")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("pyatspi is missing (Debian package python3-pyatspi)")


class Processes:
    """Every process this test starts, ended in reverse order by its id."""

    def __init__(self):
        self.started = []

    def start(self, arguments, **options):
        process = subprocess.Popen(arguments, **options)
        self.started.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def start_xvfb(processes, work):
    read, write = os.pipe()
    processes.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                    pass_fds=(write,), stderr=open(os.path.join(work, "xvfb.log"), "w"))
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start")
    return ":" + number


def start_devserver(processes, devserver, work):
    out = os.path.join(work, "devserver.out")
    # A slow link, so that the upload lasts long enough to be walked.
    processes.start([devserver, "--port", "0", "--data", os.path.join(work, "service"), "--quiet",
                     "--fault", "rate=30000@Media.upload"], stdout=open(out, "w"))
    for _ in range(200):
        with open(out) as lines:
            port = lines.readline().strip()
        if port:
            return port
        time.sleep(0.05)
    raise RuntimeError("the development service did not start")


def write_photo(path):
    """A photo whose prepared copy stays large: noise compresses badly."""
    import zlib
    width, height = 800, 600
    seed = 12345
    rows = bytearray()
    for _ in range(height):
        rows.append(0)
        for _ in range(width * 3):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            rows.append((seed >> 16) & 0xFF)
    png = os.path.splitext(path)[0] + ".png"

    def chunk(kind, data):
        return (len(data).to_bytes(4, "big") + kind + data +
                (zlib.crc32(kind + data) & 0xFFFFFFFF).to_bytes(4, "big"))
    with open(png, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 1)))
        out.write(chunk(b"IEND", b""))
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", png, "-q:v", "1", path], check=True)
    os.unlink(png)


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what):
        print(("  ok: " if condition else "  FAILED: ") + what)
        if not condition:
            self.failures.append(what)
        return condition


def run(arguments):
    processes = Processes()
    work = tempfile.mkdtemp(prefix="quaylet-atspi-")
    try:
        return walk_the_client(arguments, processes, work)
    finally:
        processes.stop_all()
        shutil.rmtree(work, ignore_errors=True)


def walk_the_client(arguments, processes, work):
    checks = Checks()
    events = []

    # The desktop first: the accessibility library finds its bus through it.
    environment = dict(os.environ)
    environment.pop("WAYLAND_DISPLAY", None)
    display = start_xvfb(processes, work)
    environment["DISPLAY"] = display
    os.environ["DISPLAY"] = display
    processes.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=environment)
    processes.start(["openbox", "--sm-disable"], env=environment, stderr=subprocess.DEVNULL)

    import pyatspi
    from gi.repository import GLib

    def pump(seconds=0.05):
        context = GLib.MainContext.default()
        end = time.monotonic() + seconds
        while True:
            while context.pending():
                context.iteration(False)
            if time.monotonic() >= end:
                return
            time.sleep(0.01)

    def wait_for(predicate, timeout=20.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            pump()
            try:
                answer = predicate()
            except Exception:  # an object gone while it was read
                answer = None
            if answer:
                return answer
        return None

    def safe(read, default=""):
        try:
            return read()
        except Exception:
            return default

    def record(event):
        source = event.source
        events.append({
            "type": str(event.type),
            "role": safe(source.getRoleName),
            "name": safe(lambda: source.name),
            "detail1": event.detail1,
            "data": safe(lambda: event.any_data if isinstance(event.any_data, (str, int, float)) else ""),
            "source": source,
        })

    pyatspi.Registry.registerEventListener(
        record, "object:property-change:accessible-name", "object:property-change:accessible-value",
        "object:value-changed", "object:text-changed", "object:state-changed:focused",
        "object:state-changed:showing", "object:state-changed:active", "window:activate", "window:create",
        "object:announcement")

    def xdo(*words):
        subprocess.run(["xdotool"] + list(words), check=True, env=environment)
        pump(0.1)

    def states(node):
        state_set = safe(node.getState, None)
        return state_set.getStates() if state_set is not None else []

    def has(node, state):
        return state in states(node)

    def text_of(node):
        text = safe(lambda: node.queryText(), None)
        return safe(lambda: text.getText(0, -1), None) if text is not None else None

    def reads(node, prefix):
        return safe(lambda: node.name).startswith(prefix) or (text_of(node) or "").startswith(prefix)

    def describe(node):
        role = safe(node.getRoleName)
        parts = ["%s %r" % (role, safe(lambda: node.name))]
        description = safe(lambda: node.description)
        if description:
            parts.append("description %r" % description)
        shown = text_of(node)
        if shown is not None and shown != safe(lambda: node.name):
            parts.append("text %r" % shown)
        value = safe(lambda: node.queryValue(), None)
        if value is not None:
            parts.append("value %s of %s..%s" % (value.currentValue, value.minimumValue, value.maximumValue))
        for relation in safe(node.getRelationSet, []):
            targets = [safe(lambda: relation.getTarget(i).name) for i in range(relation.getNTargets())]
            kind = relation.getRelationType()
            parts.append("%s %r" % (getattr(kind, "value_nick", str(kind)), targets))
        action = safe(lambda: node.queryAction(), None)
        if action is not None and action.nActions:
            parts.append("actions " + ",".join(action.getName(i) for i in range(action.nActions)))
        if has(node, pyatspi.STATE_FOCUSED):
            parts.append("FOCUSED")
        if role in ("push button", "link", "text", "password text") and not has(node, pyatspi.STATE_ENABLED):
            parts.append("disabled")
        return " ".join(parts)

    def nodes(root):
        """The tree a screen reader can reach: showing objects only."""
        stack = [root]
        while stack:
            node = stack.pop()
            yield node
            children = [safe(lambda i=i: node.getChildAtIndex(i), None) for i in range(safe(lambda: node.childCount, 0))]
            stack.extend(reversed([c for c in children if c is not None and has(c, pyatspi.STATE_SHOWING)]))

    def walk(title, root):
        print("--- %s" % title)

        def visit(node, depth):
            print("  " * (depth + 1) + describe(node))
            for i in range(safe(lambda: node.childCount, 0)):
                child = safe(lambda: node.getChildAtIndex(i), None)
                if child is not None and has(child, pyatspi.STATE_SHOWING):
                    visit(child, depth + 1)
        visit(root, 0)

    def find(root, role=None, name=None):
        for node in nodes(root):
            if (role is None or safe(node.getRoleName) == role) and (name is None or safe(lambda: node.name) == name):
                return node
        return None

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = safe(lambda: desktop.getChildAtIndex(i), None)
            if app is not None and safe(app.get_process_id, -1) == client.pid:
                return app
        return None

    def window_with(role, name=None):
        app = application()
        if app is None:
            return None
        for i in range(app.childCount):
            window = safe(lambda: app.getChildAtIndex(i), None)
            if window is not None and has(window, pyatspi.STATE_SHOWING) and find(window, role, name):
                return window
        return None

    def focused(root):
        for node in nodes(root):
            if has(node, pyatspi.STATE_FOCUSED):
                return node
        return None

    def announced(text, since):
        """Whether an event since the given index carried the text: a new
        name, inserted text, an announcement or an alert shown."""
        for event in events[since:]:
            kind = event["type"]
            if kind.startswith("object:property-change:accessible-name") and text in event["name"]:
                return True
            if kind.startswith(("object:text-changed:insert", "object:announcement")) and text in str(event["data"]):
                return True
            if kind.startswith("object:state-changed:showing") and event["detail1"] == 1 and \
                    event["role"] == "alert" and text in event["name"]:
                return True
        return False

    def show_events(title, since):
        print("--- %s: announcements" % title)
        shown = 0
        for event in events[since:]:
            if event["type"].startswith("object:state-changed:showing"):
                continue
            print("    %s %s %r %s %r" % (event["type"], event["role"], event["name"], event["detail1"],
                                         event["data"]))
            shown += 1
            if shown >= 40:
                print("    ...")
                break

    def x_windows():
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(client.pid)],
                             capture_output=True, text=True, env=environment).stdout
        return out.split()

    def x_property(window, name):
        out = subprocess.run(["xprop", "-id", window, name], capture_output=True, text=True,
                             env=environment).stdout.strip()
        return out.split("=", 1)[1].strip() if "=" in out else ""

    def check_window_identity(title):
        wm_class = ""
        for window in x_windows():
            name = x_property(window, "_NET_WM_NAME")
            checks.expect(name not in ("", '""', '"quaylet"'),
                          "%s: the X window has a title a task switcher can show (%s)" % (title, name))
            wm_class = x_property(window, "WM_CLASS")
            desktop_file = x_property(window, "_KDE_NET_WM_DESKTOP_FILE")
            print("  X window %s: WM_CLASS %s, _NET_WM_NAME %s, _KDE_NET_WM_DESKTOP_FILE %s, _GTK_APPLICATION_ID %s"
                  % (window, wm_class, name, desktop_file, x_property(window, "_GTK_APPLICATION_ID")))
            # Qt sets these from the desktop file name in its later versions only.
            if desktop_file:
                checks.expect(desktop_file == '"%s"' % APP_ID, "%s: the window names its desktop file" % title)
        return wm_class

    # --- the service and the client
    port = start_devserver(processes, arguments.devserver, work)
    for folder in ("config", "state", "runtime", "tmp", "cwd", "photos"):
        os.makedirs(os.path.join(work, folder), mode=0o700)
    browser_record = os.path.join(work, "browser.txt")
    browser = os.path.join(work, "browser")
    with open(browser, "w") as script:
        script.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % browser_record)
    os.chmod(browser, 0o755)
    photo = os.path.join(work, "photos", "harbour.jpg")
    write_photo(photo)

    client_environment = dict(environment, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                              QUAYLET_SERVICE_URL="http://127.0.0.1:" + port, BROWSER=browser,
                              XDG_CONFIG_HOME=os.path.join(work, "config"),
                              XDG_STATE_HOME=os.path.join(work, "state"),
                              XDG_RUNTIME_DIR=os.path.join(work, "runtime"), TMPDIR=os.path.join(work, "tmp"))
    client = processes.start([arguments.client], env=client_environment, cwd=os.path.join(work, "cwd"),
                             stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "client.err"), "w"))
    try:
        # --- the sign-in dialog
        sign_in = wait_for(lambda: window_with("password text"), timeout=30)
        if sign_in is None:
            raise RuntimeError("no sign-in dialog appeared")
        wait_for(lambda: focused(sign_in), timeout=10)
        walk("sign-in dialog", sign_in)
        check_window_identity("sign-in dialog")
        checks.expect(safe(lambda: sign_in.name) != "", "sign-in: the dialog has a name")
        user_field = find(sign_in, "text", "User name")
        password_field = find(sign_in, "password text", "Password")
        if password_field is None:
            password_field = find(sign_in, "password text")
        checks.expect(user_field is not None, "sign-in: a text field named 'User name'")
        checks.expect(password_field is not None, "sign-in: a password field named 'Password'")
        checks.expect(find(sign_in, "push button", "Login") is not None, "sign-in: a button named 'Login'")
        checks.expect(find(sign_in, "push button", "Close") is not None, "sign-in: a button named 'Close'")
        checks.expect(user_field is not None and has(user_field, pyatspi.STATE_FOCUSED),
                      "sign-in: the first focus is on the user name field")
        link = find(sign_in, "link", "Create an account")
        if checks.expect(link is not None, "sign-in: 'Create an account' is a link"):
            action = link.queryAction()
            opens = [i for i in range(action.nActions) if action.getName(i).lower() not in ("setfocus",)]
            if checks.expect(bool(opens), "sign-in: the link has an action that opens it"):
                action.doAction(opens[0])
                opened = wait_for(lambda: os.path.exists(browser_record) and open(browser_record).read(), 10)
                checks.expect(bool(opened) and ("127.0.0.1:" + port) in opened,
                              "sign-in: the link's action opened the site in the browser")

        # A refused sign-in, all by keyboard.
        since = len(events)
        xdo("type", "--delay", "30", USER)
        xdo("key", "Tab")
        xdo("type", "--delay", "30", "wrong-password")
        xdo("key", "Return")
        checks.expect(bool(wait_for(lambda: announced(SIGN_IN_ERROR, since), timeout=15)),
                      "sign-in: the refusal is announced (%r)" % SIGN_IN_ERROR)
        pump(1.0)
        show_events("sign-in refused", since)
        walk("sign-in dialog after a refused sign-in", sign_in)
        now = focused(sign_in)
        checks.expect(now is not None and safe(lambda: now.name) == "Password",
                      "sign-in: after the refusal the focus is in the password field")
        if now is not None and safe(lambda: now.name) == "Password":
            text = now.queryText()
            checks.expect(text.getNSelections() == 1 and tuple(text.getSelection(0)) == (0, text.characterCount),
                          "sign-in: the password's text is selected")
        strays = [e["name"] for e in events[since:] if e["type"].startswith("object:state-changed:focused")
                  and e["detail1"] == 1 and e["role"] not in ("text", "password text")]
        checks.expect(not strays, "sign-in: the focus never left the fields (%s)" % strays)
        if now is None or safe(lambda: now.name) != "Password":
            # Only to walk on: put the focus back by hand, as a user would have to.
            safe(lambda: password_field.queryComponent().grabFocus())
            pump(0.3)
            xdo("key", "ctrl+a")

        # The right password replaces the selected one.
        xdo("type", "--delay", "30", PASSWORD)
        xdo("key", "Return")

        # --- the main window
        since = len(events)
        main = wait_for(lambda: window_with("progress bar") or window_with("push button", "Menu")
                        or window_with("push button", "Minimize to tray"), timeout=30)
        if main is None:
            raise RuntimeError("no main window appeared")
        pump(1.0)
        walk("main window, ready", main)
        wm_class = check_window_identity("main window")
        entry = open(arguments.desktop_entry).read().splitlines()
        startup_class = [line.split("=", 1)[1] for line in entry if line.startswith("StartupWMClass=")]
        classes = [part.strip().strip('"') for part in wm_class.split(",")]
        checks.expect(bool(startup_class) and startup_class[0] in classes,
                      "the desktop entry's StartupWMClass %s matches WM_CLASS %s" % (startup_class, wm_class))
        for role, name in (("push button", "Logout"), ("push button", "Menu"), ("push button", "Launch Help"),
                           ("push button", "Minimize to tray"), ("link", "Go To My Glimmerly Account"),
                           ("status bar", "Ready")):
            checks.expect(find(main, role, name) is not None, "main window: a %s named %r" % (role, name))
        drop_area = find(main, "push button", "Drag and drop your photos and videos here")
        checks.expect(drop_area is not None, "main window: the drop area is exposed with its invitation")
        start = wait_for(lambda: focused(main), timeout=5)
        checks.expect(start is not None and drop_area is not None and safe(lambda: start.name) == drop_area.name,
                      "main window: the first focus is on the drop area")

        # Tab goes left to right, top to bottom, and comes back round.
        order = []
        for _ in range(6):
            xdo("key", "Tab")
            pump(0.2)
            now = focused(main)
            order.append(safe(lambda: now.name) if now is not None else None)
        print("  Tab order: %s" % order)
        checks.expect(order == ["Logout", "Menu", "Launch Help", "Minimize to tray", "Go To My Glimmerly Account",
                                "Drag and drop your photos and videos here"],
                      "main window: Tab goes left to right, top to bottom")

        # Enter on the drop area opens a file chooser; the chosen photo is queued.
        since = len(events)
        if drop_area is not None:
            safe(lambda: drop_area.queryComponent().grabFocus())
        pump(0.3)
        xdo("key", "Return")
        chooser = wait_for(lambda: window_with("file chooser") or window_with("dialog", "Add Files"), timeout=8)
        if checks.expect(chooser is not None, "main window: Enter on the drop area opens a file chooser"):
            walk("file chooser", chooser)
            pump(0.5)
            xdo("type", "--delay", "10", photo)
            pump(0.3)
            since = len(events)
            xdo("key", "Return")
        else:
            # The only other way in by keyboard: the command line.
            subprocess.run([arguments.client, photo], env=client_environment, cwd=os.path.join(work, "cwd"),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

        wait_for(lambda: [n for n in nodes(main) if safe(lambda: n.name) == "Cancel upload"
                          and has(n, pyatspi.STATE_ENABLED)], timeout=60)
        uploading = wait_for(lambda: [n for n in nodes(main) if reads(n, "Uploading: ")
                                      and not reads(n, "Uploading: 0%")], timeout=15)
        checks.expect(bool(uploading), "main window: the status reads 'Uploading: n%'")
        walk("main window during an upload", main)
        progress = find(main, "progress bar")
        if checks.expect(progress is not None, "main window: the progress bar is a progress bar"):
            value = progress.queryValue()
            print("  progress value %s of %s..%s" % (value.currentValue, value.minimumValue, value.maximumValue))
            checks.expect(value.maximumValue == 100 and 0 <= value.currentValue <= 100,
                          "main window: the progress bar has its value (0 to 100)")
        checks.expect(find(main, "label", " 1 of 1") is not None or find(main, "label", "1 of 1") is not None,
                      "main window: the count reads '1 of 1'")

        def completed_dialog():
            app = application()
            for i in range(app.childCount):
                window = safe(lambda: app.getChildAtIndex(i), None)
                if window is not None and has(window, pyatspi.STATE_SHOWING) and find(window, "push button") \
                        and not find(window, "push button", "Minimize to tray"):
                    return window
            return None
        completed = wait_for(completed_dialog, timeout=90)
        pump(1.0)
        show_events("main window during an upload", since)
        value_events = [e for e in events[since:] if e["role"] == "progress bar" and
                        ("accessible-value" in e["type"] or "value-changed" in e["type"])]
        checks.expect(len(value_events) >= 2, "main window: the progress bar's changes are announced (%d)"
                      % len(value_events))
        checks.expect(announced("Uploading: ", since), "main window: the status text's changes are announced")
        checks.expect(announced("1 of 1", since), "main window: the count's change is announced")

        # --- the upload-completed dialog
        if completed is None:
            raise RuntimeError("no upload-completed dialog appeared")
        walk("upload-completed dialog", completed)
        check_window_identity("upload-completed dialog")
        checks.expect(safe(lambda: completed.name) == "Upload Completed",
                      "upload completed: the dialog is named 'Upload Completed'")
        checks.expect(any(e["name"] == "Upload Completed" and (e["type"].startswith("window:activate") or
                                                               e["type"].startswith("object:state-changed:active"))
                          for e in events[since:]),
                      "upload completed: 'Upload Completed' is announced as the window comes up")
        checks.expect(find(completed, "link", "Click here to view your photos on your Glimmerly gallery page")
                      is not None, "upload completed: the gallery link is a link named by its text")
        checks.expect(find(completed, "push button", "Launch Help") is not None,
                      "upload completed: the help button is named 'Launch Help'")
        xdo("key", "Return")
        checks.expect(bool(wait_for(lambda: window_with("push button", "Minimize to tray"), timeout=15)),
                      "upload completed: Enter returns to the main window")

        # --- the upload history, from the window menu by keyboard
        # The Menu button opened by keyboard, the command picked by keyboard.
        # (Only once the dialog has gone: while it shows, the menu offers Exit alone.)
        back = find(completed, "push button", "Return to Upload Screen")
        if back is not None and has(completed, pyatspi.STATE_SHOWING):
            safe(lambda: back.queryAction().doAction(0))
        gone = wait_for(lambda: not has(completed, pyatspi.STATE_SHOWING), timeout=15)
        main = window_with("push button", "Minimize to tray")
        menu_button = find(main, "push button", "Menu") if main is not None else None
        if gone and menu_button is not None:
            safe(lambda: menu_button.queryComponent().grabFocus())
            wait_for(lambda: has(menu_button, pyatspi.STATE_FOCUSED), timeout=5)
            xdo("key", "Return")
            pump(0.8)
            xdo("key", *(["Down"] * 8 + ["Return"]))
        history = wait_for(lambda: window_with("table", "Uploaded files"), timeout=15)
        if checks.expect(history is not None, "history: Upload History... opens a window with a named table"):
            pump(0.5)
            walk("upload history", history)
            check_window_identity("upload history")
            checks.expect(safe(lambda: history.name) == "Upload History", "history: the window is named")
            for role, name in (("push button", "Retry Failed"), ("push button", "Open Folder"),
                               ("push button", "Close")):
                checks.expect(find(history, role, name) is not None, "history: a %s named %r" % (role, name))
            # The filter reads its choice as its name, and its label beside it.
            combo = find(history, "combo box")
            labels = [safe(lambda: r.getTarget(0).name) for r in safe(combo.getRelationSet, [])
                      if r.getRelationType() == pyatspi.RELATION_LABELLED_BY] if combo is not None else []
            checks.expect(labels == ["Show:"], "history: the filter is labelled 'Show:' (%s)" % labels)
            table = find(history, "table", "Uploaded files")
            now = wait_for(lambda: focused(history), timeout=5)
            checks.expect(now is not None and (now == table or safe(lambda: now.parent) == table),
                          "history: the table has the first focus")
            headers = [safe(lambda i=i: table.queryTable().getColumnDescription(i)) for i in range(6)]
            checks.expect(headers == ["Name", "Folder", "Size", "State", "Time", "Reason"],
                          "history: the table's columns are named (%s)" % headers)
            checks.expect(wait_for(lambda: find(history, None, "harbour.jpg") is not None, timeout=10) and
                          find(history, None, "Uploaded") is not None,
                          "history: the uploaded photo reads as a row ('harbour.jpg', 'Uploaded')")
            xdo("key", "Escape")
            checks.expect(bool(wait_for(lambda: window_with("table", "Uploaded files") is None, timeout=10)),
                          "history: Escape closes it")
    finally:
        if client.poll() is None:
            client.send_signal(signal.SIGTERM)
            try:
                client.wait(timeout=15)
            except subprocess.TimeoutExpired:
                pass
        with open(os.path.join(work, "client.err")) as errors:
            tail = errors.read()[-2000:]
        if tail:
            print("--- the client's standard error (end)\n" + tail)

    if checks.failures:
        print("%d check(s) failed" % len(checks.failures))
    return 0 if arguments.walk_only or not checks.failures else 1


def main():
    arguments = parse_arguments()
    check_packages()
    if os.environ.get(PRIVATE_BUS_MARK) != "1":
        # A session bus of the test's own, which the accessibility bus joins.
        os.environ[PRIVATE_BUS_MARK] = "1"
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)
    sys.exit(run(arguments))


if __name__ == "__main__":
    main()
