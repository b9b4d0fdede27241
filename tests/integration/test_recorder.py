"""`stepreel` beside form windows; each class is one ctest entry with a desktop of its own."""
import signal
import unittest

from stepreel_harness import (FINISHED, PAUSED, RESUMED, activate,
                              check_episode_invariants, click, key, opened, recording,
                              type_text)


class DesktopTest(unittest.TestCase):
    """Afterwards every byte written is checked: layout, order rules, no canary anywhere."""
    canaries = ()
    forms = (("Form A", "FormA", (40, 40)),)

    def setUp(self):
        self.windows = [opened(self, *form) for form in self.forms]
        activate(self.windows[0])

    def start(self, *args, **options):
        run = recording(self, *args, **options)
        self.addCleanup(self.check_written, run)  # before the recorder is killed
        return run

    def check_written(self, run):
        if run.proc.poll() is None:
            self.assertEqual(run.finish(), 0)
        check_episode_invariants(run.frames)
        for canary in self.canaries:
            self.assertNotIn(canary.encode(), bytes(run.raw), "typed text on standard output")
            self.assertNotIn(canary.encode(), bytes(run.stderr), "typed text on standard error")


class Clicks(DesktopTest):
    def test_click_kinds_with_their_frames_targets_and_results(self):
        run = self.start()
        run.wait_focus_polls()  # by then the form's structure changes are counted
        click(self.windows[0], "heading")
        index, first = run.wait_record("click")
        run.wait_record("result", index, lambda r: r["refSeq"] == first["seq"])
        since = run.mark()
        x, y = click(self.windows[0], "save")
        index, record = run.wait_record("click", since)
        seq, frames = record["seq"], run.frames[since:index]
        self.assertEqual([(f.header["seq"], f.header["kind"]) for f in frames if f.type == "frame"],
                         [(seq, "before")])
        # Two permission requests were answered before the record: the operation and its shot.
        self.assertGreaterEqual(sum(f.type == "permit" for f in frames), 2)
        self.assertEqual((record["app"], "screenshotFull" in record), ("FormA", True))
        self.assertLessEqual(max(abs(record["cursor"][0] - x), abs(record["cursor"][1] - y)), 1.5)
        target = record["target"]
        self.assertEqual((target.get("role"), target.get("label"), target["secure"],
                          target.get("windowTitle")), ("AXButton", "Save", False, "Form A"))
        result_index, result = run.wait_record("result", index, lambda r: r["refSeq"] == seq)
        self.assertEqual([(f.header["seq"], f.header["kind"])
                          for f in run.frames[index:result_index] if f.type == "frame"],
                         [(result["seq"], "after")])
        self.assertGreaterEqual(result["timestampMs"], record["timestampMs"])
        self.assertNotIn("target", result)
        # A secure field has no label; a right click has its before-frame and no result (the
        # stream's order rules fail on one).
        for widget, button, repeat, kind, role, secure in (
                ("password", 1, 1, "click", "AXSecureTextField", True),
                ("name", 1, 2, "doubleclick", "AXTextField", False),
                ("heading", 3, 1, "rightclick", None, None),
                ("heading", 1, 1, "click", None, None)):
            since = run.mark()
            click(self.windows[0], widget, button, repeat)
            index, record = run.wait_record(kind, since)
            self.assertIn("screenshotFull", record)
            if role:
                target = record["target"]
                self.assertEqual((target["role"], target["secure"]), (role, secure))
                self.assertNotEqual("label" in target, secure)
            if kind != "rightclick":
                run.wait_record("result", index, lambda r: r["refSeq"] == record["seq"])
        # "Save" framed the heading: its target is described by its ancestry as it is now.
        self.assertEqual(record["target"]["path"][:-1], first["target"]["path"][:-1] + ["AXGroup"])


class Typing(DesktopTest):
    canaries = ("Qv7Canary", "7305186429", "Zpw9Secret")

    def test_runs_are_counted_and_classified_never_recorded_and_an_open_one_dropped(self):
        run = self.start()
        form = self.windows[0]
        click(form, "name")
        run.wait_record("click")
        for text, close, follow, count, kind in (  # what closes the run, the record after it
                ("Qv7Canary", lambda: click(form, "amount"), "click", 9, "mixed"),
                ("7305186429", lambda: click(form, "password"), "click", 10, "number"),
                ("Zpw9Secret", lambda: key("ctrl+s"), "shortcut", 10, "mixed")):
            since = run.mark()
            type_text(text)
            close()
            index, typed = run.wait_record("type", since)
            self.assertEqual((typed["inputCharCount"], typed["inputKind"]), (count, kind))
            self.assertFalse({"text", "screenshotFull"} & set(typed), typed)
            _, closing = run.wait_record(follow, index)
            self.assertEqual(closing["seq"], typed["seq"] + 1)
        self.assertEqual(closing["key"], "cmd+s")
        # Ctrl+C drops an open run.
        type_text("Qv7Canary")
        since = run.mark()
        self.assertEqual((run.finish(signal.SIGINT), run.frames[-1].type), (0, "finish"))
        self.assertFalse(run.records("type", since))
        self.assertTrue(run.stderr_text().endswith(FINISHED), run.stderr_text())


class Clipboard(DesktopTest):
    canaries = ("Kx4PasteCanary",)
    forms = (("Form A", "FormA", (40, 40)), ("Form B", "FormB", (520, 40)))

    def left(self, run, app):
        """The window title of `app`'s first focus dwell, once it has ended (polled every 1.5 s)."""
        dwell = run.wait_for(lambda _: [d for d in run.records(frame_type="focus")
                                        if d.get("app") == app], f'focus record of "{app}"')[0]
        self.assertEqual(dwell["durationMs"], dwell["exitAtMs"] - dwell["enterAtMs"])
        return dwell.get("windowTitle")

    def test_paste_names_its_source_switches_write_focus_and_close_a_typing_run(self):
        run = self.start()
        form_a, form_b = self.windows
        run.wait_focus_polls()  # Form A's dwell has begun
        click(form_a, "name")
        run.wait_record("click")
        type_text("Kx4PasteCanary")
        since = run.mark()
        key("ctrl+a")
        key("ctrl+c")
        run.wait_record("shortcut", since, lambda r: r["key"] == "cmd+c")
        # The copy is noticed at the next input event, while Form A is still in front.
        since = run.mark()
        key("End")
        click(form_b, "name")
        run.wait_record("click", since)
        since = run.mark()
        key("ctrl+v")
        _, paste = run.wait_record("paste", since)
        self.assertEqual((paste["key"], paste["clipboardFromApp"], paste["clipboardCharCount"],
                          paste["app"]), ("cmd+v", "FormA", len("Kx4PasteCanary"), "FormB"))
        run.wait_record("result", since, lambda r: r["refSeq"] == paste["seq"])
        self.assertEqual(self.left(run, "FormA"), "Form A")
        # Going back by activation is a window switch too, once B's dwell has been seen.
        run.wait_focus_polls()
        activate(form_a)
        self.assertEqual(self.left(run, "FormB"), "Form B")
        since = run.mark()
        type_text("Kx4")
        activate(form_b)  # no input event: the run stays open until a key for Form B
        type_text("PasteCanary")
        click(form_b, "amount")
        index, first = run.wait_record("type", since)
        _, second = run.wait_record("type", index + 1)
        # The first key for Form B closed Form A's run: both were written with Form B in front.
        self.assertEqual((first["inputCharCount"], second["inputCharCount"], second["seq"]),
                         (3, 11, first["seq"] + 1))


class Pause(DesktopTest):
    def test_hotkey_pauses_and_resumes_with_its_messages_and_closed_pipes_end_it(self):
        run = self.start()
        form = self.windows[0]
        click(form, "heading")
        _, first = run.wait_record("click")
        run.wait_record("result", 0, lambda r: r["refSeq"] == first["seq"])
        key("ctrl+alt+p")
        run.wait_stderr(PAUSED)
        click(form, "save")  # not recorded
        key("ctrl+alt+p")
        run.wait_stderr(RESUMED)
        since = run.mark()
        click(form, "clear")
        _, after = run.wait_record("click", since)
        self.assertEqual(after["target"].get("label"), "Clear")
        self.assertEqual([c["seq"] for c in run.records("click")], [first["seq"], after["seq"]])
        self.assertEqual([line for line in run.stderr_text().splitlines(True)
                          if line in (PAUSED, RESUMED)], [PAUSED, RESUMED])
        # The parent closing both pipes while paused ends the recorder quietly.
        key("ctrl+alt+p")
        run.wait_for(lambda _: run.stderr_text().count(PAUSED) == 2, "a second pause")
        run.close_pipes()
        self.assertEqual(run.finish(sig=None), 0)
        self.assertTrue(run.stderr_text().endswith(PAUSED), run.stderr_text())


class Interrupt(DesktopTest):
    """Ctrl+C twice while a permit waits (a lost display: test_episode.Ends)."""

    def test_sigint_twice_while_a_permit_is_unanswered_finishes(self):
        run = self.start(hold=lambda n: True)
        # Two denials sent ahead of any request stay in the pipe for the first two requests.
        run.proc.stdin.write(b"\x00\x00")
        run.wait_for(lambda frames: sum(f.type == "permit" for f in frames) == 3,
                     "a third permission request")
        run.proc.send_signal(signal.SIGINT)
        run.proc.send_signal(signal.SIGINT)
        self.assertEqual(run.finish(sig=None), 0)
        self.assertTrue(run.stderr_text().endswith(FINISHED), run.stderr_text())
        # The third request was never answered: it counts as denied, and nothing came after it.
        self.assertEqual([f.type for f in run.frames], ["permit"] * 3 + ["finish"])


if __name__ == "__main__":
    unittest.main()
