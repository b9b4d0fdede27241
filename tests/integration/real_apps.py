"""Real applications on the test desktop: starting them, finding their windows and the
screen positions of their elements through the accessibility bus, clicking them."""
import os
import signal
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from stepreel_harness import WAIT, xdotool  # noqa: E402

FIREFOX_PREFS = ('"browser.shell.checkDefaultBrowser", false',
                 '"browser.aboutwelcome.enabled", false',
                 '"datareporting.policy.dataSubmissionEnabled", false',
                 '"toolkit.telemetry.reportingpolicy.firstRun", false',
                 '"app.update.disabledForTesting", true',
                 '"browser.startup.homepage_override.mstone", "ignore"')


def wait_until(what, probe, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError(f"{what} did not happen within {timeout:.0f} s")


def window_of(name):
    """The id of the first window whose title contains `name`, once it is mapped."""
    def search():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                               capture_output=True, text=True).stdout.split()
        return found[0] if found else None
    return wait_until(f"a window named {name!r}", search)


def applications(name):
    """The accessible applications whose name contains `name`, in any case."""
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and name.lower() in (app.get_name() or "").lower():
            yield app


def descendants(node, depth=0, max_depth=30, showing=False):
    """`node` and the elements below it, depth first; with `showing`, none below depth 1 that
    is not showing."""
    if node is None or depth > max_depth or (
            showing and depth > 1 and not node.get_state_set().contains(Atspi.StateType.SHOWING)):
        return
    yield node
    for i in range(node.get_child_count()):
        yield from descendants(node.get_child_at_index(i), depth + 1, max_depth, showing)


def center(node):
    box = node.get_extents(Atspi.CoordType.SCREEN)
    return box.x + box.width // 2, box.y + box.height // 2


def accessibles(application, role, within=None):
    """Screen centres of the showing elements with `role` in the named application, depth
    first; `within` limits the search to windows whose name contains it."""
    return [center(node) for app in applications(application)
            for w in range(app.get_child_count()) for window in [app.get_child_at_index(w)]
            if within is None or within in (window.get_name() or "")
            for node in descendants(window, 1, showing=True) if node.get_role_name() == role]


def click_at(point, button=1):
    xdotool("mousemove", "--sync", point[0], point[1])
    xdotool("click", button)


def launch(argv, **popen):
    """Starts an application in a session of its own, so that `stop` ends its helpers too."""
    return subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True, **popen)


def stop(proc):
    """Ends `proc` and every process of its group (a browser's renderers and helpers keep
    writing into its profile after the main process is gone)."""
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            return
        time.sleep(0.1)



def start_firefox(page, workdir, kiosk=False, extra_args=()):
    """Firefox ESR with a fresh profile under `workdir`, accessibility on, showing `page`
    (a file path or an address)."""
    profile = os.path.join(workdir, "profile")
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "user.js"), "w") as prefs:
        for pref in FIREFOX_PREFS:
            prefs.write(f"user_pref({pref});\n")
    env = dict(os.environ, GNOME_ACCESSIBILITY="1", MOZ_CRASHREPORTER_DISABLE="1")
    address = page if "://" in page else "file://" + os.path.abspath(page)
    argv = ["firefox-esr", "--no-remote", "--profile", profile, *extra_args]
    argv += ["--kiosk", address] if kiosk else [address]
    return launch(argv, env=env)


def find_element(application, matches, max_depth=30):
    """The first element, depth first, of the named application for which `matches(node)`
    is true; None when there is none."""
    return next((node for app in applications(application)
                 for node in descendants(app, max_depth=max_depth) if matches(node)), None)
