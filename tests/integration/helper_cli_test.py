#!/usr/bin/python3
"""quillmap-helper on a real X desktop: run under scripts/with-virtual-desktop --private.

    helper_cli_test.py PATH/TO/quillmap-helper [unittest options]

Every run of the helper is parsed whole: stdout must be exactly one JSON document and a
newline (or the self-test's text), stderr empty on success.
"""
import base64
import contextlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from stepreel_harness import activate_window

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOW = os.path.join(HERE, "helper_test_window.py")
HELPER = None
DATA_HOME = None

APP_ID = "org.quill.HelperTest"
APP_NAME = "Quill Helper Test App"
WINDOW_TEXT = ["Quarterly report for Acme", "会議室の予約を確認する"]
COVER_TEXT = ["Banana invoice Zebra", "Harbour lantern tulip"]


def png_bytes(width, height, rows):
    """A minimal RGBA PNG from rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def write_desktop_entry(app_id, name, wm_class, icon=None):
    path = os.path.join(DATA_HOME, "applications", app_id + ".desktop")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=%s\nExec=true\nStartupWMClass=%s\n"
                % (name, wm_class))
        if icon:
            f.write("Icon=%s\n" % icon)


def run_helper(*args, stdin=b""):
    # LSAN_OPTIONS only matters for sanitizer builds of the helper.
    env = dict(os.environ, XDG_DATA_HOME=DATA_HOME,
               LSAN_OPTIONS="print_suppressions=0:suppressions="
               + os.path.join(HERE, "helper_lsan.supp"))
    done = subprocess.run([HELPER, *args], input=stdin, capture_output=True, env=env,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


def helper_json(testcase, *args, stdin=b""):
    code, out, err = run_helper(*args, stdin=stdin)
    testcase.assertEqual((code, err), (0, b""), args)
    testcase.assertTrue(out.endswith(b"\n") and out.count(b"\n") == 1, out)
    return json.loads(out.decode("utf-8"))


class TestWindow:
    def __init__(self, title, app, url=None, text=(), palette=False):
        command = [WINDOW, "--title", title, "--app", app]
        if url:
            command += ["--url", url]
        if palette:
            command += ["--palette"]
        if text:
            command += ["--text", *text]
        self.process = subprocess.Popen(["/usr/bin/python3", *command], stdout=subprocess.PIPE)
        line = self.process.stdout.readline()
        if not line.strip():
            raise RuntimeError("test window did not start")
        self.id = int(line)
        if not palette:  # the palette has the focus and stays in front
            self.activate()

    def activate(self):
        activate_window(self.id)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


def place(wid, x, y, size=None):
    """Moves (and resizes) a window; returns its absolute x, y, width and height."""
    if size:
        subprocess.run(["xdotool", "windowsize", "--sync", str(wid), *map(str, size)],
                       check=True)
    subprocess.run(["xdotool", "windowmove", "--sync", str(wid), str(x), str(y)], check=True)
    info = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True,
                          check=True).stdout
    return tuple(int(info.split(field + ":")[1].split()[0]) for field in
                 ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def root_size():
    root = subprocess.run(["xwininfo", "-root"], capture_output=True, text=True).stdout
    return int(root.split("Width:")[1].split()[0]), int(root.split("Height:")[1].split()[0])


@contextlib.contextmanager
def desktop_scale(scale):
    """The desktop's backing scale, as Xft.dpi in the root window's resources."""
    if scale != 1:
        subprocess.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set",
                        "RESOURCE_MANAGER", "Xft.dpi:\t%d\n" % (96 * scale)], check=True)
    try:
        yield
    finally:
        if scale != 1:
            subprocess.run(["xprop", "-root", "-remove", "RESOURCE_MANAGER"], check=True)


def setUpModule():
    global DATA_HOME
    DATA_HOME = tempfile.mkdtemp(prefix="helper-it-")
    write_desktop_entry(APP_ID, APP_NAME, "QuillHelperTest", icon="quill-helper-test")
    write_desktop_entry("org.mozilla.quillfox", "Quill Fox", "QuillFoxTest")
    write_desktop_entry("org.chromium.Chromium", "Chromium", "QuillChromiumTest")
    write_desktop_entry("org.quill.SvgIcon", "Quill SVG", "QuillSvg", icon="quill-svg-test")
    svg = os.path.join(DATA_HOME, "icons", "hicolor", "scalable", "apps", "quill-svg-test.svg")
    os.makedirs(os.path.dirname(svg))
    with open(svg, "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">'
                '<rect x="4" y="4" width="8" height="8" fill="#0000ff"/></svg>')
    icon = os.path.join(DATA_HOME, "icons", "hicolor", "48x48", "apps", "quill-helper-test.png")
    os.makedirs(os.path.dirname(icon))
    # Opaque red disc on a transparent square.
    rows = [[(200, 0, 0, 255) if (x - 24) ** 2 + (y - 24) ** 2 < 400 else (0, 0, 0, 0)
             for x in range(48)] for y in range(48)]
    with open(icon, "wb") as f:
        f.write(png_bytes(48, 48, rows))


def tearDownModule():
    shutil.rmtree(DATA_HOME, ignore_errors=True)


class ContextAndWindows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.window = TestWindow("Quill Helper Test", "QuillHelperTest", text=WINDOW_TEXT)

    @classmethod
    def tearDownClass(cls):
        cls.window.close()

    def setUp(self):
        self.window.activate()

    def test_context_names_the_front_application_and_window(self):
        context = helper_json(self, "context")
        self.assertEqual(context["appName"], APP_NAME)
        self.assertEqual(context["bundleId"], APP_ID)
        self.assertEqual(context["windowTitle"], "Quill Helper Test")
        self.assertEqual(context["windowId"], self.window.id)
        self.assertNotIn("url", context)
        self.assertIsInstance(context["idleSeconds"], float)
        self.assertEqual(list(context), ["appName", "bundleId", "windowTitle", "windowId",
                                         "idleSeconds"])

    def test_idle_time_drops_after_a_key_press(self):
        time.sleep(1.5)
        before = helper_json(self, "context")["idleSeconds"]
        self.assertGreaterEqual(before, 1.0)
        subprocess.run(["xdotool", "key", "shift"], check=True)
        after = helper_json(self, "context")["idleSeconds"]
        self.assertLess(after, 1.0)
        self.assertLess(after, before)

    def test_a_utility_palette_in_front_is_skipped_for_the_document_window(self):
        window = TestWindow("Document", "QuillHelperTest", palette=True)
        try:
            palette = subprocess.run(["xdotool", "search", "--name", "^Palette$"],
                                     capture_output=True, text=True).stdout.split()
            self.assertEqual(len(palette), 1)
            activate_window(palette[0])
            front = subprocess.run(["xdotool", "getactivewindow", "getwindowname"],
                                   capture_output=True, text=True).stdout.strip()
            self.assertEqual(front, "Palette")
            context = helper_json(self, "context")
            self.assertEqual((context["windowTitle"], context["windowId"]),
                             ("Document", window.id))
        finally:
            window.close()

    def test_running_apps_lists_the_window_application(self):
        apps = helper_json(self, "running-apps")
        self.assertIn({"name": APP_NAME, "bundleId": APP_ID}, apps)
        for app in apps:
            self.assertEqual(sorted(app), ["bundleId", "name"])

    def check_ocr_output(self, output):
        self.assertEqual(list(output), ["lines", "avgConfidence", "width", "height", "entities"])
        confidences = [line["confidence"] for line in output["lines"]]
        for line in output["lines"]:
            self.assertEqual(list(line), ["text", "confidence", "box"])
            self.assertEqual(line["text"], line["text"].strip())
            self.assertTrue(line["text"])
            x, y, w, h = line["box"]
            self.assertTrue(0 <= x and 0 <= y and x + w <= 1.0000001 and y + h <= 1.0000001)
        self.assertAlmostEqual(output["avgConfidence"],
                               sum(confidences) / len(confidences) if confidences else 0)
        return "\n".join(line["text"] for line in output["lines"])

    def test_ocr_of_a_window_reads_it_alone_and_whole(self):
        """What lies on top of the window is never read; what lies off screen is, and at a
        desktop scale of 2 the image keeps the window's own pixel size."""
        cover = TestWindow("Cover", "QuillHelperTest", text=COVER_TEXT)
        try:
            # target position; cover rectangle, over the target's text; desktop scale
            for target, over, scale in (((40, 40), (0, 0, 1200, 700), 1),
                                        ((40, 40), (300, 60, 700, 400), 1),
                                        ((-300, 450), (0, 0, 200, 150), 2)):
                with self.subTest(target=target, over=over, scale=scale):
                    x, y, width, height = place(self.window.id, *target)
                    place(cover.id, *over[:2], size=over[2:])
                    cover.activate()
                    if target[0] < 0:
                        self.assertTrue(x < 0 and y + height > root_size()[1], (x, y))
                    elif over[2] > width:  # the cover's text is there to be read
                        display = helper_json(self, "ocr", "abc")  # no window: the display
                        self.assertEqual((display["width"], display["height"]), root_size())
                        self.assertIn("Banana", self.check_ocr_output(display))
                    with desktop_scale(scale):
                        output = helper_json(self, "ocr", str(self.window.id))
                    self.assertEqual((output["width"], output["height"]), (width, height))
                    text = self.check_ocr_output(output)
                    self.assertIn("Quarterly report for Acme", text)
                    self.assertIn("会議室の予約を確認する", text.replace(" ", ""))
                    for word in ("Banana", "Zebra", "lantern", "tulip"):
                        self.assertNotIn(word.lower(), text.lower())
        finally:
            cover.close()


class RealApplication(unittest.TestCase):
    def test_ocr_of_a_wholly_covered_browser_window_reads_only_the_page(self):
        """Firefox draws its page itself: uncovered for the capture, it must draw it again."""
        page = os.path.join(DATA_HOME, "page.html")
        with open(page, "w") as f:
            f.write("<title>Capture page</title><body style='font: 40px sans-serif; margin: 30px'>"
                    "<p>Quarterly report for Acme</p><p>Meeting room booking</p>")
        profile = tempfile.mkdtemp(dir=DATA_HOME)
        with open(os.path.join(profile, "user.js"), "w") as f:
            for pref in ('"browser.shell.checkDefaultBrowser", false',
                         '"browser.aboutwelcome.enabled", false',
                         '"datareporting.policy.dataSubmissionEnabled", false',
                         '"browser.startup.homepage_override.mstone", "ignore"'):
                f.write("user_pref(%s);\n" % pref)
        browser = subprocess.Popen(
            ["firefox-esr", "--no-remote", "--profile", profile, "--kiosk", "file://" + page],
            env=dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1"),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cover = None
        try:
            wid = None
            deadline = time.monotonic() + 60
            while not wid and time.monotonic() < deadline:
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                        "^Capture page"], capture_output=True, text=True)
                wid = (found.stdout.split() or [None])[0]
                time.sleep(0.2)
            self.assertTrue(wid, "Firefox showed no window")
            cover = TestWindow("Cover", "QuillHelperTest", text=COVER_TEXT)
            place(cover.id, 0, 0, size=root_size())
            cover.activate()
            stacking = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"],
                                      capture_output=True, text=True).stdout
            order = [int(w, 16) for w in stacking.split("#")[1].replace(",", " ").split()]
            self.assertGreater(order.index(cover.id), order.index(int(wid)), "cover on top")
            text = "\n".join(line["text"] for line in helper_json(self, "ocr", wid)["lines"])
            self.assertIn("Quarterly report for Acme", text)
            self.assertIn("Meeting room booking", text)
            for word in ("Banana", "Zebra", "lantern", "tulip"):
                self.assertNotIn(word.lower(), text.lower())
        finally:
            if cover:
                cover.close()
            browser.terminate()
            browser.wait(timeout=30)


class BrowserAddresses(unittest.TestCase):
    """A GTK window with a document-web element stands in for a browser's page."""

    def check_url(self, app_class, url):
        window = TestWindow("Page", app_class, url=url)
        try:
            context = helper_json(self, "context")
            self.assertEqual(context["windowId"], window.id)
            self.assertEqual(context.get("url"), url)
        finally:
            window.close()

    def test_firefox_family_address_from_the_web_area(self):
        self.check_url("QuillFoxTest", "https://example.com/fox?q=1&r=/x")

    def test_chromium_script_answered_by_the_web_area_search(self):
        self.check_url("QuillChromiumTest", "https://example.org/chromium/path")

    def test_an_application_that_is_no_browser_has_no_address(self):
        window = TestWindow("Page", "QuillHelperTest", url="https://example.net/")
        try:
            self.assertNotIn("url", helper_json(self, "context"))
        finally:
            window.close()


class SelfTests(unittest.TestCase):
    def test_self_test_prints_the_heading(self):
        code, out, err = run_helper("--self-test")
        self.assertEqual((code, err), (0, b""))
        self.assertTrue(out.endswith(b"\n"))
        self.assertIn("TOLMIK OCR MVP", out.decode("utf-8").splitlines())

    def test_self_test_pii_reads_names_addresses_and_numbers(self):
        output = helper_json(self, "--self-test-pii")
        self.assertEqual((output["width"], output["height"]), (900, 320))
        text = "\n".join(line["text"] for line in output["lines"])
        for expected in ("山田太郎", "佐藤", "Acme", "東京都", "03-1234-5678"):
            self.assertIn(expected, text)
        kinds = {entity["kind"] for entity in output["entities"]}
        self.assertIn("person", kinds)
        self.assertLessEqual(kinds, {"person", "organization", "place"})


class IconsAndStatuses(unittest.TestCase):
    def icon_image(self, bundle_id):
        code, out, err = run_helper("icon", bundle_id)
        self.assertEqual((code, err), (0, b""))
        self.assertNotIn(b"\\/", out)
        icon = json.loads(out)
        self.assertEqual(icon["bundleId"], bundle_id)
        prefix = "data:image/png;base64,"
        self.assertTrue(icon["png"].startswith(prefix))
        png = base64.b64decode(icon["png"][len(prefix):], validate=True)
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        width, height, depth, colour = struct.unpack(">IIBB", png[16:26])
        self.assertEqual((width, height, depth, colour), (64, 64, 8, 6))
        from PIL import Image  # Debian's python3-pil
        import io
        return Image.open(io.BytesIO(png)).convert("RGBA")

    def test_icon_of_an_installed_application_is_a_64px_png_with_alpha(self):
        image = self.icon_image(APP_ID)
        self.assertEqual(image.getpixel((0, 0))[3], 0)         # transparent corner
        self.assertEqual(image.getpixel((32, 32)), (200, 0, 0, 255))  # opaque centre

    def test_scalable_icon_is_drawn_at_64px(self):
        image = self.icon_image("org.quill.SvgIcon")
        self.assertEqual(image.getpixel((2, 2))[3], 0)
        self.assertEqual(image.getpixel((32, 32)), (0, 0, 255, 255))  # 16 px square scaled x4

    def test_unknown_application_prints_only_its_id(self):
        self.assertEqual(helper_json(self, "icon", "org.example.Missing/x"),
                         {"bundleId": "org.example.Missing/x"})

    def test_usage_errors(self):
        for args, message in ((["icon"], b"usage: icon <bundleId>\n"),
                              (["icon", ""], b"usage: icon <bundleId>\n"),
                              ([], None), (["bogus"], None)):
            code, out, err = run_helper(*args)
            self.assertEqual((code, out), (2, b""), args)
            if message:
                self.assertEqual(err, message)
            else:
                self.assertTrue(err.startswith(b"usage: quillmap-helper "), err)
                self.assertEqual(err.count(b"\n"), 1)

    def test_language_model_is_reported_unavailable(self):
        self.assertEqual(helper_json(self, "llm-status"),
                         {"available": False, "reason": "unsupportedOS"})
        self.assertEqual(helper_json(self, "classify", stdin=b'{"appName":"a","text":"t"}'),
                         {"available": False,
                          "reason": "FoundationModels requires macOS 26 or later"})
        code, out, err = run_helper("classify", stdin=b'{"appName":1,"text":"t"}')
        self.assertEqual((code, out, err), (2, b"", b"invalid classify input JSON\n"))


if __name__ == "__main__":
    HELPER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
