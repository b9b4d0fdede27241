"""Real applications on the test desktop: started, their windows and elements found."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from stepreel_harness import WAIT, later, wait_until, xdotool  # noqa: E402,F401

FIREFOX_PREFS = ('"browser.shell.checkDefaultBrowser", false',
                 '"browser.aboutwelcome.enabled", false',
                 '"datareporting.policy.dataSubmissionEnabled", false',
                 '"toolkit.telemetry.reportingpolicy.firstRun", false',
                 '"app.update.disabledForTesting", true',
                 '"browser.startup.homepage_override.mstone", "ignore"')


def window_of(name):
    """The id of the first mapped window whose title matches `name`."""
    return wait_until(f"a window named {name!r}", lambda: next(iter(subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True,
        text=True).stdout.split()), None))


def window_geometry(wid):
    """x, y, width and height of window `wid` on the screen."""
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(wid)],
                           capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in shell.split())
    return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def window_origin(wid):
    """Where window `wid` itself starts on the screen: xdotool counts a frame's title bar twice."""
    info = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True).stdout
    return tuple(int(info.split(f"Absolute upper-left {a}:")[1].split()[0]) for a in "XY")


def place(wid, x, y, size=None):
    """Moves (and resizes) a window; returns its x, y, width and height on the screen."""
    if size:
        xdotool("windowsize", "--sync", wid, *size)
    xdotool("windowmove", "--sync", wid, x, y)
    return window_geometry(wid)


def holds(frame, point):
    x, y, width, height = frame
    return x <= point[0] < x + width and y <= point[1] < y + height


def applications(name):
    """The accessible applications whose name contains `name`, in any case."""
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and name.lower() in (app.get_name() or "").lower():
            yield app


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def selected(node):
    return node.get_state_set().contains(Atspi.StateType.SELECTED)


def descendants(node, depth=0, max_depth=30, only_showing=False):
    """`node` and the elements below it, depth first; with `only_showing`, none below depth 1
    that is not showing. A sheet has a child for every cell: large containers are not entered."""
    if node is None or depth > max_depth or (only_showing and depth > 1 and not showing(node)):
        return
    yield node
    count = node.get_child_count()
    for i in range(count if count <= 500 else 0):
        yield from descendants(node.get_child_at_index(i), depth + 1, max_depth, only_showing)


def center(node, origin=None):
    """The middle of `node` on the screen; GTK 4 places elements from the `origin` of their
    window, given for them."""
    box = node.get_extents(Atspi.CoordType.WINDOW if origin else Atspi.CoordType.SCREEN)
    x, y = origin or (0, 0)
    return x + box.x + box.width // 2, y + box.y + box.height // 2


def accessibles(application, role, within=None):
    """Screen centres of the showing elements with `role` in the named application, depth
    first; `within` limits the search to windows whose name contains it."""
    return [center(node) for app in applications(application)
            for w in range(app.get_child_count()) for window in [app.get_child_at_index(w)]
            if within is None or within in (window.get_name() or "")
            for node in descendants(window, 1, only_showing=True) if node.get_role_name() == role]


def find_element(application, matches, max_depth=30):
    """The first element, depth first, of the named application with `matches(node)`."""
    return next((node for app in applications(application)
                 for node in descendants(app, max_depth=max_depth) if matches(node)), None)


HOME_FOLDERS = {"XDG_CONFIG_HOME": ".config", "XDG_DATA_HOME": ".local/share",
                "XDG_STATE_HOME": ".local/state", "XDG_CACHE_HOME": ".cache",
                "XDG_RUNTIME_DIR": "runtime"}


def private_home(env):
    """`env` with a fresh HOME and XDG folders of its own (the runtime one 0700); returns the
    home's folder and the environment. Settings stay in that home too (GIO's keyfile backend
    rather than the settings service the desktop shares between applications)."""
    home = tempfile.mkdtemp(prefix="app-home-")
    env = dict(env, HOME=home, GSETTINGS_BACKEND="keyfile")
    # The session bus must not be lost with the runtime folder it may be found in.
    bus = os.path.join(env.get("XDG_RUNTIME_DIR", ""), "bus")
    if not env.get("DBUS_SESSION_BUS_ADDRESS") and os.path.exists(bus):
        env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={bus}"
    for name, folder in HOME_FOLDERS.items():
        env[name] = os.path.join(home, folder)
        os.makedirs(env[name], mode=0o700)
    return home, env


def launch(argv, owner=None, **popen):
    """Starts an application in a session of its own, so that `stop` ends its helpers too, and
    with a home of its own (`proc.home`, see `private_home`), so that nothing an application
    ran or left before (a session to restore, settings) reaches it; stopped, and its home
    removed, once test (or test class) `owner` is done."""
    home, env = private_home(popen.pop("env", None) or os.environ)
    try:
        proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True, env=env, **popen)
    except BaseException:
        shutil.rmtree(home)
        raise
    proc.home = home
    if owner:
        later(owner, stop, proc)
    return proc


def stop(proc):
    """Kills `proc` and its whole process group (a browser's helpers outlive it in its
    profile), then removes its home."""
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            break
        time.sleep(0.1)
    if hasattr(proc, "home"):
        shutil.rmtree(proc.home, ignore_errors=True)


def start_firefox(page, workdir, kiosk=False, prefs=(), files=None, owner=None):
    """Firefox ESR with a fresh profile under `workdir` (more `prefs`, `files` by name),
    accessibility on, showing `page` (a file path or an address) if given."""
    profile = os.path.join(workdir, "profile")
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "user.js"), "w") as f:
        f.writelines(f"user_pref({pref});\n" for pref in FIREFOX_PREFS + tuple(prefs))
    for name, data in (files or {}).items():
        with open(os.path.join(profile, name), "wb") as f:
            f.write(data)
    env = dict(os.environ, GNOME_ACCESSIBILITY="1", MOZ_CRASHREPORTER_DISABLE="1")
    address = [] if page is None else [page if "://" in page else "file://" + os.path.abspath(page)]
    argv = ["firefox-esr", "--no-remote", "--profile", profile]
    return launch(argv + (["--kiosk"] if kiosk else []) + address, owner, env=env)
