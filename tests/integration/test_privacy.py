"""Canaries typed and pasted into real applications never appear, nor any 5-character piece of
them, in any byte the recorder writes or the episode made from it: not as a field's value, and
not where the application echoes them (a title, a combo box's name, a history row, a page
address)."""
import contextlib
import html
import http.server
import json
import os
import random
import resource
import signal
import string
import subprocess
import threading
import unittest
import urllib.parse

from gi.repository import GLib

from real_apps import (Atspi, accessibles, center, find_element, holds, launch, start_firefox,
                       stop, wait_until, window_geometry, window_of)
from stepreel_harness import (HELPER, HERE, STEPREEL_PARENT, WAIT, activate_window, click_at,
                              files_under, key, recording, root_property, run_helper,
                              scratch, type_text, write_file, xdotool)


def new_canary():
    return "Qz" + "".join(random.choice(string.ascii_letters + string.digits) for _ in range(14))


def new_number():
    """Nine digits: only 8-digit pieces are looked for (no timestamp or JPEG holds one)."""
    return str(random.randint(100_000_000, 999_999_999))


class CanaryRecording:
    """One recording with a canary check over every byte it produced."""

    def __init__(self, test):
        self.test, self.canaries, self.run = test, [], recording(test)

    def canary(self):
        self.canaries.append((new_canary(), 5))
        return self.canaries[-1][0]

    def number(self):
        self.canaries.append((new_number(), 8))
        return self.canaries[-1][0]

    def finish_and_check(self, clicks):
        """Waits for `clicks` click records and the last one's result, ends the recording and
        looks for every piece of every canary in all it wrote; returns the records."""
        self.run.wait_settled(clicks)
        records = self.run.end()
        folder = scratch(self.test)
        stream, episode = os.path.join(folder, "stream.bin"), os.path.join(folder, "ep")
        write_file(stream, bytes(self.run.raw))
        replay = subprocess.run([STEPREEL_PARENT, "--replay", stream, "--out", episode],
                                capture_output=True, timeout=WAIT)
        self.test.assertEqual(replay.returncode, 0, replay.stderr)
        outputs = dict(files_under(episode), stdout=bytes(self.run.raw),
                       stderr=bytes(self.run.stderr), parent=replay.stdout + replay.stderr)
        self.test.assertIn("index.html", outputs)
        leaks = [(piece, where) for canary, size in self.canaries
                 for piece in {canary[i:i + size] for i in range(len(canary) - size + 1)}
                 for where, data in outputs.items() if piece.encode() in data]
        self.test.assertEqual(leaks, [], f"pieces of {[c for c, _ in self.canaries]} leaked")
        return records


def clicks_of(records):
    return [r for r in records if r["kind"] == "click"]


def box(node, origin=None):
    """x, y, width and height of `node` on the screen (GTK 4: from its window's `origin`)."""
    extents = node.get_extents(Atspi.CoordType.WINDOW if origin else Atspi.CoordType.SCREEN)
    x, y = origin or (0, 0)
    return x + extents.x, y + extents.y, extents.width, extents.height


def element(application, role, name=None, within=None, showing=True, where=lambda n: True):
    """The first element of `application` with `role` (and `name`, `where`), waited for;
    `within` names its window. GTK 4 says of no element that it is showing: pass
    showing=False."""
    def matches(node):
        return (node.get_role_name() == role and name in (None, node.get_name())
                and (not showing or node.get_state_set().contains(Atspi.StateType.SHOWING))
                and (within is None or within in (window_name(node) or "")) and where(node))

    def probe():  # a busy application answers some requests with a timeout: asked again
        with contextlib.suppress(GLib.GError):
            return find_element(application, matches)
    return wait_until(f"{role} {name or ''} of {application}", probe)


def window_name(node):
    """The name of the window (a child of the application) that holds `node`."""
    while node is not None:
        parent = node.get_parent()
        if parent is None or parent.get_role_name() == "application":
            return node.get_name()
        node = parent
    return None


def started(argv, owner, title):
    """`argv` launched for `owner` (in a home of its own), its window named `title` moved away
    from the origin and active; its X id."""
    launch(argv, owner)
    wid = window_of(title)
    xdotool("windowmove", "--sync", wid, 160, 90)
    activate_window(wid)
    return wid


class Pages(http.server.BaseHTTPRequestHandler):
    """The privacy form, a form sent by GET and a search whose results page shows its own
    address."""
    FILES = {"/privacy_form.html": "privacy_form.html", "/forms": "privacy_forms.html",
             "/sent": "privacy_sent.html", "/search": "privacy_results.html"}

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if path not in self.FILES:
            self.send_error(404)
            return
        with open(os.path.join(HERE, self.FILES[path]), encoding="utf-8") as page:
            data = page.read().replace(
                "{query}", html.escape(urllib.parse.parse_qs(query).get("q", [""])[0])).replace(
                "{address}", f"http://127.0.0.1:{self.server.server_port}{self.path}").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def serve_pages(owner):
    """A local web server of `Pages` for test class `owner`; its port."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    owner.addClassCleanup(server.server_close)
    owner.addClassCleanup(server.shutdown)
    return server.server_port


def window_title(wid):
    return subprocess.run(["xdotool", "getwindowname", str(wid)], capture_output=True,
                          text=True).stdout.strip()


class Firefox(unittest.TestCase):
    """Fields of a web page without labels: input, textarea, contenteditable, password; what
    the recorder says of a labelled field and of body text; a form sent by GET and a search
    whose page shows the typed text in its title, its heading and its address."""

    FIELDS = {"plain": (240, 70), "area": (240, 170), "rich": (240, 270), "secret": (240, 370),
              "target": (240, 470), "named": (240, 570), "text": (240, 650), "forms": (240, 735)}
    ROWS = [(240, 70 + 100 * row) for row in range(4)]

    @classmethod
    def setUpClass(cls):
        cls.port = serve_pages(cls)
        # Kiosk mode: the page fills the screen from its top-left corner.
        start_firefox(f"http://127.0.0.1:{cls.port}/privacy_form.html", scratch(cls), kiosk=True,
                      owner=cls)
        cls.wid = window_of("Privacy form")
        wait_until("the form's fields on the accessibility bus",
                   lambda: len(accessibles("Firefox", "entry")) >= 4)

    def shows(self, title):
        """Waits for the page `title` to be loaded: its title comes while it is still parsed,
        and a click before its layout would hit nothing."""
        wait_until(f"the page {title!r}", lambda: window_title(self.wid).startswith(title))
        element("Firefox", "document web", where=lambda node: (node.get_name() or "").startswith(
            title) and not node.get_state_set().contains(Atspi.StateType.BUSY))

    def test_forms_sent_by_get_leave_no_typed_value_in_any_address_or_title(self):
        activate_window(self.wid)
        rec = CanaryRecording(self)
        click_at(self.FIELDS["forms"])
        self.shows("Forms")
        for row in self.ROWS[:3]:
            click_at(row)
            type_text(rec.canary())
        click_at(self.ROWS[3])
        self.shows("Sent")
        click_at(self.ROWS[1])
        query = rec.canary()
        type_text(query)
        key("Return")
        self.shows("Results for")
        context = json.loads(run_helper("context").stdout)
        click_at(self.ROWS[0])  # the heading, which repeats the search
        click_at(self.ROWS[1])  # a link (to its own top) whose text is the page's address
        click_at(self.ROWS[2])
        self.shows("Privacy form")
        records = rec.finish_and_check(9)

        results = f"http://127.0.0.1:{self.port}/search?q="
        self.assertEqual(context["url"], results)
        heading, link = clicks_of(records)[6:8]
        self.assertEqual((heading["url"], heading["target"]["label"]), (results, "(withheld)"))
        self.assertEqual(link["target"]["label"], results)
        self.assertEqual(heading["target"]["windowTitle"], "(withheld)")
        addresses = {r["url"] for r in records if "url" in r}
        self.assertIn(f"http://127.0.0.1:{self.port}/sent?name=&email=&purpose=", addresses)

    def test_typed_and_pasted_canaries_never_leave_and_labels_still_work(self):
        activate_window(self.wid)
        rec = CanaryRecording(self)
        clicked = ["named"]  # the first probe of a window may see only the window
        click_at(self.FIELDS["named"])
        for field in ("plain", "area", "rich", "secret"):
            click_at(self.FIELDS[field])
            type_text(rec.canary())
            click_at(self.FIELDS[field])
            clicked += [field, field]
        # Copy the plain field's text and paste it into another unnamed field.
        click_at(self.FIELDS["plain"])
        key("ctrl+a", "ctrl+c")
        click_at(self.FIELDS["target"])
        key("ctrl+v")
        type_text(rec.canary())
        for field in ("target", "named", "text"):
            click_at(self.FIELDS[field])
        clicked += ["plain", "target", "target", "named", "text"]
        records = rec.finish_and_check(len(clicked))

        types = [r for r in records if r["kind"] == "type"]
        self.assertEqual(len(types), 5, types)
        roles = {r.get("target", {}).get("role") for r in types}
        self.assertTrue(roles & {"AXTextField", "AXTextArea"}, f"no field was probed: {types}")
        self.assertTrue(any(r["kind"] == "paste" for r in records))
        targets = [(field, r.get("target", {}))
                   for field, r in zip(clicked, (r for r in records if r["kind"] == "click"))]
        for field, role, label in (("named", "AXTextField", "Amount"), ("rich", None, None),
                                   ("text", "AXStaticText",
                                    "Trains leave every hour from the north platform.")):
            with self.subTest(field):
                target = [t for f, t in targets if f == field][-1]
                if role:
                    self.assertEqual(target.get("role"), role, target)
                self.assertEqual(target.get("label"), label, target)
                self.assertTrue(holds(target["frame"], self.FIELDS[field]), target)

    def test_helper_without_a_session_bus_starts_no_daemons(self):
        activate_window(self.wid)
        mark = new_canary()
        env = {k: v for k, v in os.environ.items()
               if k not in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "AT_SPI_BUS_ADDRESS")}
        env["QUILL_TEST_MARK"] = mark
        # Nor may the accessibility bus be found through the root window (as over ssh or
        # from cron, where nobody announced one).
        with root_property("AT_SPI_BUS"):
            result = run_helper("context", env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Privacy form", json.loads(result.stdout)["windowTitle"])
        # An autolaunched bus answers its address only once it runs, before the helper goes on.
        self.assertEqual(processes_marked(mark), [])


def processes_marked(mark):
    """Processes whose environment holds QUILL_TEST_MARK=`mark`: started by a run with it."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open(f"/proc/{pid}/environ", "rb") as f:
            if f"QUILL_TEST_MARK={mark}".encode() in f.read().split(b"\0"):
                found.append(pid)
    return found


class Gtk3(unittest.TestCase):
    """GTK 3: Mousepad's text view, the search history of its Find and Replace combo box,
    named after its text, and its file chooser's name field."""

    def test_text_views_combo_boxes_and_file_names_keep_what_was_typed(self):
        started(["mousepad", "--disable-server"], self, "Mousepad")
        rec = CanaryRecording(self)
        view = element("mousepad", "text")
        click_at(center(view))
        type_text(rec.canary())
        key("ctrl+r")
        combo = element("mousepad", "combo box", within="Find and Replace")
        search = rec.canary()
        type_text(search)
        key("Return")
        element("mousepad", "combo box", search)
        x, y, width, height = box(combo)
        click_at((x + width - 8, y + height // 2))  # its drop-down button, named after it
        row = element("mousepad", "menu item", search)
        click_at(center(row))  # the history row
        click_at(center(element("mousepad", "label", "Search for:")))
        key("Escape")
        key("ctrl+shift+s")
        element("mousepad", "text", within="Save As")
        type_text(rec.canary())
        click_at(center(element("mousepad", "label", "Name:", within="Save As")))
        key("Escape")
        rec.finish_and_check(5)


class Terminal(unittest.TestCase):
    """A terminal: what was typed shows in its text, never in a label."""

    def test_typed_command_line_never_leaves(self):
        wid = started(["xfce4-terminal", "--disable-server"], self, "Terminal")
        rec = CanaryRecording(self)
        x, y, width, height = window_geometry(wid)
        click_at((x + width // 2, y + height // 2))
        type_text("echo " + rec.canary())
        key("Return")
        click_at((x + width // 2, y + height // 2))
        records = rec.finish_and_check(2)
        self.assertEqual(clicks_of(records)[1]["target"].get("role"), "AXTextArea")


class GnomeTextEditor(unittest.TestCase):
    """GTK 4: a new document's text view, and the title GNOME Text Editor makes of its first
    words, shown in the window title, the header bar and the tab."""

    def test_document_named_after_its_first_line_names_nothing(self):
        wid = started(["gnome-text-editor", "--standalone"], self, "Text Editor")
        rec = CanaryRecording(self)
        origin = window_geometry(wid)[:2]
        first = rec.canary()
        type_text(first)
        key("Return")
        type_text(rec.canary())
        # The title is the text's beginning, the lines joined.
        title = element("gnome-text-editor", "label", showing=False,
                        where=lambda n: (n.get_name() or "").startswith(first + " "))
        wait_until("the title", lambda: first in window_title(wid))
        click_at(center(title, origin))
        click_at(center(element("gnome-text-editor", "push button", "Menu", showing=False),
                        origin))
        key("Escape")
        rec.run.wait_focus_polls(3)
        records = rec.finish_and_check(2)
        # Where the title was read under load, it is the marker, never the document's name.
        titles = {c.get("target", {}).get("windowTitle") for c in clicks_of(records)}
        self.assertLessEqual(titles, {"(withheld)", None}, records)


    def test_a_title_read_while_its_first_word_is_typed_names_nothing(self):
        wid = started(["gnome-text-editor", "--standalone"], self, "Text Editor")
        rec = CanaryRecording(self)
        word = rec.canary()
        rec.canaries.append((word[:4], 4))  # too short for a piece, and no whole line
        type_text(word[:4])
        wait_until("the title", lambda: word[:4] in window_title(wid))
        rec.run.wait_focus_polls(2)  # a dwell in the window titled after the word so far
        type_text(word[4:])
        wait_until("the title", lambda: word in window_title(wid))
        click_at(center(element("gnome-text-editor", "text", showing=False),
                        window_geometry(wid)[:2]))
        records = rec.finish_and_check(1)
        # The run's own title was read once its first keys were in: never their beginning.
        for run in (r for r in records if r["kind"] == "type"):
            shown = (run.get("target", {}).get("windowTitle") or "").split(" ")[0].lower()
            self.assertFalse(shown and word.lower().startswith(shown), run)


class FeatherPad(unittest.TestCase):
    """Qt 5: FeatherPad's search bar, a combo box named after its text (the label of its
    drop-down button and the nearby text of the buttons beside it), and the file name field
    of Qt's own file dialog."""

    def test_search_bar_and_file_dialog_keep_what_was_typed(self):
        started(["featherpad"], self, "^Untitled$")  # named after its document
        rec = CanaryRecording(self)
        type_text(rec.canary())
        key("ctrl+f")
        combo = element("FeatherPad", "combo box")
        search = rec.canary()
        type_text(search)
        key("Return")
        element("FeatherPad", "combo box", search)
        click_at(center(element("FeatherPad", "push button",
                                     where=lambda n: n.get_description() == "Next (F3)")))
        x, y, width, height = box(combo)
        click_at((x + width - 8, y + height // 2))
        key("Escape")
        key("ctrl+shift+s")
        element("FeatherPad", "text", "File name:")
        type_text(rec.canary())
        click_at(center(element("FeatherPad", "label", "File name:")))
        key("Escape")
        records = rec.finish_and_check(3)
        self.assertEqual(clicks_of(records)[0]["target"].get("nearbyText", [None])[0],
                         "(withheld)")


class LibreOffice(unittest.TestCase):
    """A Calc cell, Writer's body and the search box of Writer's Find and Replace dialog,
    whose drop-down button is named after earlier searches; one LibreOffice for all three."""

    def test_cells_documents_and_search_history_keep_what_was_typed(self):
        profile = "file://" + os.path.join(scratch(self), "profile")
        office = ["soffice", "--norestore", "--nologo", "-env:UserInstallation=" + profile]
        env = dict(os.environ, SAL_USE_VCLPLUGIN="gtk3")
        launch(office + ["--calc"], self, env=env)
        activate_window(window_of("LibreOffice Calc"))
        sheet = element("soffice", "table", within="Calc")
        rec = CanaryRecording(self)
        type_text(rec.canary())  # into A1, the cell a new sheet starts on
        key("Return")
        click_at(center(sheet.get_child_at_index(0)))
        launch(office + ["--writer"], self, env=env)
        activate_window(window_of("LibreOffice Writer"))
        click_at(center(element("soffice", "paragraph", within="Writer")))
        type_text(rec.canary())
        key("ctrl+h")
        element("soffice", "dialog", "Find and Replace")
        search = rec.canary()
        type_text(search)
        key("Return")
        key("ctrl+a", "BackSpace")
        toggle = element("soffice", "toggle button", within="Find and Replace")
        click_at(center(toggle))
        key("Escape")
        rec.finish_and_check(3)


class ProcessGuards(unittest.TestCase):
    """No core dump with typed text in it; the helper's standard descriptors stay its own."""

    def test_recorder_never_dumps_core(self):
        trial, folder = scratch(self), scratch(self)

        def allow_cores():
            resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY,) * 2)

        probe = subprocess.Popen(["/usr/bin/python3", "-c", "import time; time.sleep(30)"],
                                 cwd=trial, preexec_fn=allow_cores)
        probe.send_signal(signal.SIGQUIT)
        probe.wait()
        if not any(name.startswith("core") for name in os.listdir(trial)):
            self.skipTest("this system writes no core files into the working directory")
        run = recording(self, cwd=folder, preexec_fn=allow_cores)
        type_text(new_canary())  # an open typing run: its characters are in memory
        run.proc.send_signal(signal.SIGQUIT)
        self.assertEqual(run.proc.wait(WAIT), -signal.SIGQUIT)
        self.assertEqual(os.listdir(folder), [])

    def test_helper_keeps_closed_standard_descriptors_off_its_display_connection(self):
        # Standard input closed: classify reads nothing, not the X connection.
        closed_input = subprocess.run([HELPER, "classify"], preexec_fn=lambda: os.close(0),
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=WAIT)
        self.assertEqual((closed_input.returncode, closed_input.stderr),
                         (2, b"invalid classify input JSON\n"))
        # Standard output closed: while classify waits for its input, descriptor 1 must not
        # be the display connection the answer would otherwise be written into.
        helper = subprocess.Popen([HELPER, "classify"], stdin=subprocess.PIPE,
                                  stderr=subprocess.PIPE, preexec_fn=lambda: os.close(1))
        self.addCleanup(stop, helper)

        def socket_open():  # descriptors that close while being listed are skipped
            for fd in os.listdir(f"/proc/{helper.pid}/fd"):
                with contextlib.suppress(OSError):
                    if os.readlink(f"/proc/{helper.pid}/fd/{fd}").startswith("socket:"):
                        return True
        wait_until("the display connection", socket_open)
        self.assertEqual(os.readlink(f"/proc/{helper.pid}/fd/1"), "/dev/null")
        helper.stdin.close()
        self.assertEqual(helper.wait(WAIT), 2)


if __name__ == "__main__":
    unittest.main()
