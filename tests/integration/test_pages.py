"""Page addresses of real browsers: every record and dwell in Firefox ESR with 150 tabs open,
the helper's `context` there, and a right click in Chromium, whose context menu is a window
of its own.

Firefox restores its 150 tabs from a session file written here (all of them loaded, the last
one selected): much faster than opening them from the command line, and the tab strip and
tab panels put the document past the breadth-first search's element budget.
"""
import json
import os
import shutil
import struct
import tempfile
import unittest

from real_apps import FIREFOX_PREFS, accessibles, click_at, launch, stop, wait_until, window_of
from stepreel_harness import activate_window, helper_json, key, recording
TABS = 150
PAGE_CLICKS = [(300, 300), (500, 400), (700, 500)]


def write_pages(folder, count):
    """`count` small local pages; returns their addresses."""
    addresses = []
    for i in range(1, count + 1):
        path = os.path.join(folder, f"page{i}.html")
        with open(path, "w") as f:
            f.write(f"<!doctype html><title>Page {i}</title>"
                    f"<p style='font-size:40px'>Paragraph of page {i}, long enough to click on "
                    f"anywhere in the middle of the window.</p>")
        addresses.append("file://" + path)
    return addresses


def mozlz4(data):
    """Firefox's session file framing around one LZ4 block made of literals only."""
    block = bytearray()
    if len(data) >= 15:
        block.append(0xF0)
        rest = len(data) - 15
        while rest >= 255:
            block.append(255)
            rest -= 255
        block.append(rest)
    else:
        block.append(len(data) << 4)
    block += data
    return b"mozLz40\0" + struct.pack("<I", len(data)) + bytes(block)


def start_firefox_with_tabs(workdir, addresses):
    """Firefox ESR restoring one window with a tab per address, the last one selected."""
    profile = os.path.join(workdir, "profile")
    os.makedirs(profile)
    with open(os.path.join(profile, "user.js"), "w") as prefs:
        for pref in FIREFOX_PREFS + ('"browser.startup.page", 3',
                                     '"browser.sessionstore.restore_on_demand", false'):
            prefs.write(f"user_pref({pref});\n")
    tabs = [{"entries": [{"url": a, "title": a, "triggeringPrincipal_base64": "eyIzIjp7fX0="}],
             "index": 1} for a in addresses]
    session = {"version": ["sessionrestore", 1], "selectedWindow": 1,
               "windows": [{"tabs": tabs, "selected": len(tabs)}]}
    with open(os.path.join(profile, "sessionstore.jsonlz4"), "wb") as f:
        f.write(mozlz4(json.dumps(session).encode()))
    env = dict(os.environ, GNOME_ACCESSIBILITY="1", MOZ_CRASHREPORTER_DISABLE="1")
    return launch(["firefox-esr", "--no-remote", "--profile", profile], env=env)


def recording_of(test, actions, clicks, then=()):
    """Runs `actions(run)` under a recorder; returns (records, focus records) once the last
    of `clicks` click records has its result frame and records of the kinds `then` follow."""
    run = recording(test)
    run.wait_focus_polls()
    actions(run)
    run.wait_settled(clicks, then)
    return run.end(), [f.event for f in run.frames if f.type == "focus"]


def url():
    return helper_json("context").get("url")


class FirefoxTabs(unittest.TestCase):
    """Firefox ESR with 150 tabs: the selected tab's address, never another tab's."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addresses = write_pages(cls.tmp.name, TABS)
        cls.browser = start_firefox_with_tabs(cls.tmp.name, cls.addresses)
        cls.wid = window_of(f"Page {TABS}")

    @classmethod
    def tearDownClass(cls):
        stop(cls.browser)
        cls.tmp.cleanup()

    def test_every_record_dwell_and_context_has_the_shown_page(self):
        activate_window(self.wid)
        last, previous = self.addresses[-1], self.addresses[-2]
        # While Firefox is still busy with its tabs, a request can run out of time: ask again.
        wait_until("the shown page's address", lambda: url() == last)

        def actions(run):
            for point in PAGE_CLICKS:
                click_at(point)
            # The keyboard is never held: a tab switched within milliseconds of a click
            # could be read for it. A person pauses longer than the recorder takes.
            run.wait_settled(len(PAGE_CLICKS))
            key("ctrl+Page_Up")  # the tab before: loaded too, and hidden until now
            window_of(f"Page {TABS - 1}")
            click_at(PAGE_CLICKS[0])
        records, dwells = recording_of(self, actions, len(PAGE_CLICKS) + 1)

        clicks = [r for r in records if r["kind"] == "click"]
        self.assertEqual([r.get("url") for r in clicks], [last] * len(PAGE_CLICKS) + [previous])
        results = [r for r in records if r["kind"] == "result"]
        self.assertTrue(results and all("url" in r for r in results), results)
        firefox = [d for d in dwells if "Firefox" in (d.get("windowTitle") or "")]
        self.assertTrue(firefox, dwells)
        for dwell in firefox:
            page = dwell["windowTitle"].split(" — ")[0]
            self.assertEqual(dwell.get("url"), self.addresses[int(page.split()[1]) - 1], dwell)
        wait_until("the newly shown page's address", lambda: url() == previous)


class ChromiumRightClick(unittest.TestCase):
    """Chromium: a right click opens a menu window; the record still has the page."""

    @classmethod
    def setUpClass(cls):
        browser = shutil.which("chromium")
        if browser is None:
            raise unittest.SkipTest("chromium is not installed")
        cls.tmp = tempfile.TemporaryDirectory()
        cls.address = write_pages(cls.tmp.name, 1)[0]
        # As root Chromium runs only without its sandbox.
        sandbox = ["--no-sandbox"] if os.geteuid() == 0 else []
        cls.browser = launch(
            [browser, "--force-renderer-accessibility", "--no-first-run",
             "--no-default-browser-check", "--password-store=basic",
             f"--user-data-dir={os.path.join(cls.tmp.name, 'profile')}", *sandbox, cls.address])
        cls.wid = window_of("Page 1 - Chromium")

    @classmethod
    def tearDownClass(cls):
        stop(cls.browser)
        cls.tmp.cleanup()

    def test_right_click_record_has_the_page(self):
        activate_window(self.wid)
        wait_until("the page's address", lambda: url() == self.address)

        def actions(_run):
            click_at(PAGE_CLICKS[0])
            click_at(PAGE_CLICKS[1], button=3)
            # The menu is a window of its own, focused while it is open.
            wait_until("the context menu", lambda: accessibles("Chromium", "menu item"))
            self.assertEqual(url(), self.address)
            key("Escape")
        records, _ = recording_of(self, actions, 1, then=("rightclick",))

        right = [r for r in records if r["kind"] == "rightclick"]
        self.assertEqual(len(right), 1, records)
        self.assertEqual(right[0].get("url"), self.address)


if __name__ == "__main__":
    unittest.main()
