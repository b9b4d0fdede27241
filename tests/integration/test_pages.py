"""Page addresses in Firefox ESR with 150 tabs restored (its tab strip puts the page past the
web-area search's element budget) and of a right click in Chromium (its menu is a window)."""
import json
import os
import shutil
import struct
import unittest

from real_apps import accessibles, launch, start_firefox, wait_until, window_of
from stepreel_harness import activate_window, click_at, helper_json, key, recording, scratch

TABS = 150
PAGE_CLICKS = [(300, 300), (500, 400), (700, 500)]


def write_pages(folder, count):
    """`count` small local pages; returns their addresses."""
    for i in range(1, count + 1):
        with open(os.path.join(folder, f"page{i}.html"), "w") as f:
            f.write(f"<!doctype html><title>Page {i}</title><p style='font-size:40px'>Paragraph"
                    f" of page {i}, long enough to click on anywhere in the middle of the"
                    " window.</p>")
    return [f"file://{folder}/page{i}.html" for i in range(1, count + 1)]


def mozlz4(data):
    """Firefox's session file framing around one LZ4 block made of literals only."""
    block = bytearray([min(len(data), 15) << 4])
    if len(data) >= 15:
        rest = len(data) - 15
        block += b"\xff" * (rest // 255) + bytes([rest % 255])
    return b"mozLz40\0" + struct.pack("<I", len(data)) + bytes(block + data)


def url():
    return helper_json("context").get("url")


class FirefoxTabs(unittest.TestCase):
    """The selected tab's address, never another tab's."""

    @classmethod
    def setUpClass(cls):
        folder = scratch(cls)
        cls.addresses = write_pages(folder, TABS)
        tabs = [{"entries": [{"url": a, "title": a, "triggeringPrincipal_base64": "eyIzIjp7fX0="}],
                 "index": 1} for a in cls.addresses]
        session = {"version": ["sessionrestore", 1], "selectedWindow": 1,
                   "windows": [{"tabs": tabs, "selected": len(tabs)}]}
        start_firefox(None, folder, owner=cls, prefs=(
            '"browser.startup.page", 3', '"browser.sessionstore.restore_on_demand", false'),
            files={"sessionstore.jsonlz4": mozlz4(json.dumps(session).encode())})
        cls.wid = window_of(f"Page {TABS}")

    def test_every_record_dwell_and_context_has_the_shown_page(self):
        activate_window(self.wid)
        last, previous = self.addresses[-1], self.addresses[-2]
        # While Firefox is still busy with its tabs, a request can run out of time: ask again.
        wait_until("the shown page's address", lambda: url() == last)
        run = recording(self)
        run.wait_focus_polls()
        for point in PAGE_CLICKS:
            click_at(point)
        # The keyboard is never held: a tab switched within milliseconds of a click
        # could be read for it. A person pauses longer than the recorder takes.
        run.wait_settled(len(PAGE_CLICKS))
        key("ctrl+Page_Up")  # the tab before: loaded too, and hidden until now
        window_of(f"Page {TABS - 1}")
        click_at(PAGE_CLICKS[0])
        run.wait_settled(len(PAGE_CLICKS) + 1)
        # A dwell begun while Firefox was busy switching tabs takes its address at a later poll.
        run.wait_focus_polls()
        records, dwells = run.end(), run.records(frame_type="focus")

        self.assertEqual([r.get("url") for r in records if r["kind"] == "click"],
                         [last] * len(PAGE_CLICKS) + [previous])
        results = [r for r in records if r["kind"] == "result"]
        self.assertTrue(results and all("url" in r for r in results), results)
        firefox = [d for d in dwells if "Firefox" in (d.get("windowTitle") or "")]
        self.assertTrue(firefox, dwells)
        for dwell in firefox:
            page = dwell["windowTitle"].split(" — ")[0]
            if page.startswith("Page "):
                self.assertEqual(dwell.get("url"), self.addresses[int(page.split()[1]) - 1], dwell)
            else:  # between two tabs Firefox's window is titled with its own name for a moment
                self.assertIn(dwell.get("url"), (None, last, previous), dwell)
        wait_until("the newly shown page's address", lambda: url() == previous)


class ChromiumRightClick(unittest.TestCase):
    """A right click opens a menu window; the record still has the page."""

    @classmethod
    def setUpClass(cls):
        if (browser := shutil.which("chromium")) is None:
            raise unittest.SkipTest("chromium is not installed")
        folder = scratch(cls)
        cls.address = write_pages(folder, 1)[0]
        sandbox = ["--no-sandbox"] if os.geteuid() == 0 else []  # as root it runs only so
        launch([browser, "--force-renderer-accessibility", "--no-first-run",
                "--no-default-browser-check", "--password-store=basic",
                f"--user-data-dir={os.path.join(folder, 'profile')}", *sandbox, cls.address], cls)
        cls.wid = window_of("Page 1 - Chromium")

    def test_right_click_record_has_the_page(self):
        activate_window(self.wid)
        wait_until("the page's address", lambda: url() == self.address)
        run = recording(self)
        run.wait_focus_polls()
        click_at(PAGE_CLICKS[0])
        click_at(PAGE_CLICKS[1], button=3)
        # The menu is a window of its own, focused while it is open.
        wait_until("the context menu", lambda: accessibles("Chromium", "menu item"))
        self.assertEqual(url(), self.address)
        key("Escape")
        run.wait_settled(1, then=("rightclick",))
        records = run.end()
        right = [r for r in records if r["kind"] == "rightclick"]
        self.assertEqual((len(right), right[0].get("url")), (1, self.address), records)


if __name__ == "__main__":
    unittest.main()
