"""quillmap-helper (QUILLMAP_HELPER) on a private X desktop. Every run is parsed whole: one JSON
document and a newline on standard output (or the self-test's text), nothing on standard error."""
import base64
import io
import os
import struct
import subprocess
import tempfile
import threading
import unittest

from PIL import Image, ImageDraw
from Xlib.display import Display
from Xlib.ext import record

from real_apps import place, start_firefox, wait_until, window_of
from stepreel_harness import (activate_window, helper_json, opened, root_property, root_size,
                              run_helper, write_file, xdotool)

APP_ID = "org.quill.HelperTest"
APP_NAME = "Quill Helper Test App"
WINDOW_TEXT = ["Quarterly report for Acme", "会議室の予約を確認する"]
COVER_TEXT = ["Banana invoice Zebra", "Harbour lantern tulip"]
COVER_WORDS = ("banana", "zebra", "lantern", "tulip")


def setUpModule():
    folder = tempfile.TemporaryDirectory(prefix="helper-it-")
    unittest.addModuleCleanup(folder.cleanup)
    home = os.environ["XDG_DATA_HOME"] = folder.name
    for app_id, name, wm_class, icon in (
            (APP_ID, APP_NAME, "QuillHelperTest", "quill-helper-test"),
            ("org.mozilla.quillfox", "Quill Fox", "QuillFoxTest", None),
            ("org.chromium.Chromium", "Chromium", "QuillChromiumTest", None),
            ("org.quill.SvgIcon", "Quill SVG", "QuillSvg", "quill-svg-test")):
        write_file(f"{home}/applications/{app_id}.desktop",
              f"[Desktop Entry]\nType=Application\nName={name}\nExec=true\n"
              f"StartupWMClass={wm_class}\n" + (f"Icon={icon}\n" if icon else ""))
    write_file(f"{home}/icons/hicolor/scalable/apps/quill-svg-test.svg",
          '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">'
          '<rect x="4" y="4" width="8" height="8" fill="#0000ff"/></svg>')
    disc = Image.new("RGBA", (48, 48))  # an opaque red disc on a transparent square
    ImageDraw.Draw(disc).ellipse((4, 4, 43, 43), fill=(200, 0, 0, 255))
    os.makedirs(f"{home}/icons/hicolor/48x48/apps")
    disc.save(f"{home}/icons/hicolor/48x48/apps/quill-helper-test.png")


def ocr_text(test, output):
    """The recognised lines of an `ocr` output, after checking its layout."""
    test.assertEqual(list(output), ["lines", "avgConfidence", "width", "height", "entities"])
    for line in output["lines"]:
        test.assertEqual(list(line), ["text", "confidence", "box"])
        test.assertTrue(line["text"] and line["text"] == line["text"].strip())
        x, y, w, h = line["box"]
        test.assertTrue(0 <= x and 0 <= y and x + w <= 1.0000001 and y + h <= 1.0000001)
    confidences = [line["confidence"] for line in output["lines"]]
    test.assertAlmostEqual(output["avgConfidence"],
                           sum(confidences) / len(confidences) if confidences else 0)
    return "\n".join(line["text"] for line in output["lines"])


class ServerGrabs:
    """Counts the GrabServer requests that any client makes meanwhile (the RECORD extension)."""

    def __enter__(self):
        self.count, self.control, self.data = 0, Display(), Display()
        ranges = {"core_requests": (36, 36), "core_replies": (0, 0), "ext_requests": (0, 0, 0, 0),
                  "ext_replies": (0, 0, 0, 0), "delivered_events": (0, 0),
                  "device_events": (0, 0), "errors": (0, 0), "client_started": False,
                  "client_died": False}
        self.context = self.control.record_create_context(0, [record.AllClients], [ranges])
        self.thread = threading.Thread(
            target=self.data.record_enable_context, args=(self.context, self.seen))
        self.thread.start()
        return self

    def seen(self, reply):
        if reply.category == record.FromClient and reply.data:
            self.count += 1

    def __exit__(self, *_):
        self.control.record_disable_context(self.context)
        self.control.flush()
        self.thread.join()
        self.control.record_free_context(self.context)
        self.control.close()
        self.data.close()


class ContextAndWindows(unittest.TestCase):
    def setUp(self):
        self.window = opened(self, "Quill Helper Test", "QuillHelperTest", text=WINDOW_TEXT)

    def test_context_and_running_apps_name_the_front_application_and_its_idle_time(self):
        context = helper_json("context")
        self.assertEqual(list(context), ["appName", "bundleId", "windowTitle", "windowId",
                                         "idleSeconds"])
        self.assertEqual(list(context.values())[:4],
                         [APP_NAME, APP_ID, "Quill Helper Test", self.window.wid])
        self.assertIsInstance(context["idleSeconds"], float)
        apps = helper_json("running-apps")
        self.assertIn({"name": APP_NAME, "bundleId": APP_ID}, apps)
        self.assertTrue(all(sorted(app) == ["bundleId", "name"] for app in apps), apps)
        wait_until("a second without input", lambda: helper_json("context")["idleSeconds"] >= 1)
        xdotool("key", "shift")
        self.assertLess(helper_json("context")["idleSeconds"], 1.0)

    def test_a_utility_palette_in_front_is_skipped_for_the_document_window(self):
        window = opened(self, "Document", "QuillHelperTest", palette=True)
        activate_window(window_of("^Palette$"))
        context = helper_json("context")
        self.assertEqual((context["windowTitle"], context["windowId"]), ("Document", window.wid))

    def test_ocr_of_a_window_reads_it_alone_and_whole(self):
        """What lies on top of the window is never read; what lies off screen is, and at a
        desktop scale of 2 the image keeps the window's own pixel size."""
        cover = opened(self, "Cover", "QuillHelperTest", text=COVER_TEXT)
        for target, over, scale in (((40, 40), (0, 0, 1200, 700), 1),  # cover rectangle
                                    ((40, 40), (300, 60, 700, 400), 1),
                                    ((-300, 450), (0, 0, 200, 150), 2)):
            with self.subTest(target=target, over=over, scale=scale):
                x, y, width, height = place(self.window.wid, *target)
                place(cover.wid, *over[:2], size=over[2:])
                activate_window(cover.wid)
                if target[0] < 0:
                    self.assertTrue(x < 0 and y + height > root_size()[1], (x, y))
                elif over[2] > width:  # the cover's text is there to be read
                    display = helper_json("ocr", "abc")  # no window: the display
                    self.assertEqual((display["width"], display["height"]), root_size())
                    self.assertIn("Banana", ocr_text(self, display))
                with root_property("RESOURCE_MANAGER", "Xft.dpi:\t%d\n" % (96 * scale)), \
                        ServerGrabs() as grabs:
                    output = helper_json("ocr", str(self.window.wid))
                self.assertEqual(grabs.count, 0)  # no client is ever frozen by a capture
                self.assertEqual((output["width"], output["height"]), (width, height))
                text = ocr_text(self, output)
                self.assertIn("Quarterly report for Acme", text)
                self.assertIn("会議室の予約を確認する", text.replace(" ", ""))
                self.assertFalse([w for w in COVER_WORDS if w in text.lower()], text)

    def test_ocr_of_a_wholly_covered_browser_window_reads_only_the_page(self):
        """Firefox draws its page itself: uncovered for the capture, it must draw it again."""
        home = os.environ["XDG_DATA_HOME"]
        write_file(f"{home}/page.html", "<title>Capture page</title><body style='font: 40px "
              "sans-serif; margin: 30px'><p>Quarterly report for Acme</p><p>Meeting room</p>")
        start_firefox(f"{home}/page.html", tempfile.mkdtemp(dir=home), kiosk=True, owner=self)
        wid = window_of("^Capture page")
        cover = opened(self, "Cover", "QuillHelperTest", text=COVER_TEXT)
        place(cover.wid, 0, 0, size=root_size())
        activate_window(cover.wid)
        stacking = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"],
                                  capture_output=True, text=True).stdout
        order = [int(w, 16) for w in stacking.split("#")[1].replace(",", " ").split()]
        self.assertGreater(order.index(cover.wid), order.index(int(wid)), "cover on top")
        text = ocr_text(self, helper_json("ocr", wid))
        self.assertIn("Quarterly report for Acme", text)
        self.assertIn("Meeting room", text)
        self.assertFalse([w for w in COVER_WORDS if w in text.lower()], text)

    def test_page_address_only_for_browsers(self):
        """A window with a document-web element stands in for a browser's page: Firefox's
        family answers from the web area, Chromium's script by the web-area search. Query
        values and the fragment never leave."""
        chromium = "https://example.org/chromium/path"
        for app_class, url, expected in (
                ("QuillFoxTest", "https://u:p@example.com/fox?q=1&r=/x#f",
                 "https://example.com/fox?q=&r="),
                ("QuillChromiumTest", chromium, chromium),
                ("QuillHelperTest", "https://example.net/", None)):
            with self.subTest(app_class):
                window = opened(self, "Page", app_class, url=url)
                context = helper_json("context")
                self.assertEqual((context["windowId"], context.get("url")), (window.wid, expected))


class OneShots(unittest.TestCase):
    def test_self_tests(self):
        done = run_helper("--self-test")
        self.assertEqual((done.returncode, done.stderr, done.stdout[-1:]), (0, b"", b"\n"))
        self.assertIn("TOLMIK OCR MVP", done.stdout.decode("utf-8").splitlines())
        output = helper_json("--self-test-pii")
        self.assertEqual((output["width"], output["height"]), (900, 320))
        text = ocr_text(self, output)
        for expected in ("山田太郎", "佐藤", "Acme", "東京都", "03-1234-5678"):
            self.assertIn(expected, text)
        kinds = {entity["kind"] for entity in output["entities"]}
        self.assertIn("person", kinds)
        self.assertLessEqual(kinds, {"person", "organization", "place"})

    def test_icons_are_64px_pngs_with_alpha(self):
        # bundle id; a transparent pixel; the centre (the 16 px SVG square is drawn 4 times over)
        for bundle_id, clear, centre in ((APP_ID, (0, 0), (200, 0, 0, 255)),
                                         ("org.quill.SvgIcon", (2, 2), (0, 0, 255, 255))):
            with self.subTest(bundle_id):
                self.assertNotIn(b"\\/", run_helper("icon", bundle_id).stdout)
                icon = helper_json("icon", bundle_id)
                prefix = "data:image/png;base64,"
                self.assertEqual((icon["bundleId"], icon["png"][:len(prefix)]), (bundle_id, prefix))
                png = base64.b64decode(icon["png"][len(prefix):], validate=True)
                self.assertEqual(struct.unpack(">8sI4sIIBB", png[:26])[3:], (64, 64, 8, 6))
                image = Image.open(io.BytesIO(png)).convert("RGBA")
                self.assertEqual((image.getpixel(clear)[3], image.getpixel((32, 32))), (0, centre))
        self.assertEqual(helper_json("icon", "org.example.Missing/x"),
                         {"bundleId": "org.example.Missing/x"})

    def test_version_and_the_unavailable_language_model(self):
        version = run_helper("--version")
        self.assertEqual((version.returncode, version.stderr), (0, b""))
        self.assertRegex(version.stdout, rb"^quillmap-helper [0-9][^\s]*\n$")
        self.assertEqual(helper_json("llm-status"), {"available": False, "reason": "unsupportedOS"})
        self.assertEqual(helper_json("classify", stdin=b'{"appName":"a","text":"t"}'),
                         {"available": False,
                          "reason": "FoundationModels requires macOS 26 or later"})


if __name__ == "__main__":
    unittest.main(verbosity=2)
