"""Canaries typed and pasted into fields of Firefox ESR and Mousepad, named or not, never appear,
nor any 5-character piece of them, in any byte the recorder writes or the episode made from it."""
import contextlib
import json
import os
import random
import resource
import signal
import string
import subprocess
import unittest

from real_apps import accessibles, holds, launch, start_firefox, stop, wait_until, window_of
from stepreel_harness import (HELPER, HERE, STEPREEL_PARENT, WAIT, activate_window, click_at,
                              files_under, key, recording, root_property, run_helper, scratch,
                              type_text, write_file)


def new_canary():
    return "Qz" + "".join(random.choice(string.ascii_letters + string.digits) for _ in range(14))


class CanaryRecording:
    """One recording with a canary check over every byte it produced."""

    def __init__(self, test):
        self.test, self.canaries, self.run = test, [], recording(test)

    def canary(self):
        self.canaries.append(new_canary())
        return self.canaries[-1]

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
        for canary in self.canaries:
            for piece in {canary[i:i + 5] for i in range(len(canary) - 4)}:
                leaks = [where for where, data in outputs.items() if piece.encode() in data]
                self.test.assertEqual(leaks, [], f"{piece!r} of canary {canary!r} leaked")
        return records


class Firefox(unittest.TestCase):
    """Fields of a web page without labels: input, textarea, contenteditable, password; and
    what the recorder says of a labelled field and of body text."""

    FIELDS = {"plain": (240, 70), "area": (240, 170), "rich": (240, 270), "secret": (240, 370),
              "target": (240, 470), "named": (240, 570), "text": (240, 650)}

    @classmethod
    def setUpClass(cls):
        # Kiosk mode: the page fills the screen from its top-left corner.
        start_firefox(os.path.join(HERE, "privacy_form.html"), scratch(cls), kiosk=True, owner=cls)
        cls.wid = window_of("Privacy form")
        wait_until("the form's fields on the accessibility bus",
                   lambda: len(accessibles("Firefox", "entry")) >= 4)

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


class Mousepad(unittest.TestCase):
    """GTK3: a text view and the unnamed entries of combo boxes."""

    def test_text_view_and_combo_entries_keep_their_text(self):
        launch(["mousepad", "--disable-server"], self)
        activate_window(window_of("Mousepad"))
        view = wait_until("the text view", lambda: accessibles("mousepad", "text"))[0]
        rec = CanaryRecording(self)
        click_at(view)
        type_text(rec.canary())
        click_at(view)
        key("ctrl+a", "ctrl+c")
        key("ctrl+r")  # Find and Replace: two combo boxes with unnamed entries
        entries = wait_until("the dialog's entries", lambda: (
            found := accessibles("mousepad", "text", "Find")) and len(found) >= 2 and found)
        click_at(entries[0])
        type_text(rec.canary())
        click_at(entries[1])
        key("ctrl+v")
        type_text(rec.canary())
        click_at(entries[0])
        types = [r for r in rec.finish_and_check(4) if r["kind"] == "type"]
        self.assertEqual(len(types), 3, types)
        self.assertTrue(all("target" in r for r in types), types)


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
