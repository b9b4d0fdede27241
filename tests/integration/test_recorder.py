"""End-to-end behaviour of `stepreel` on a virtual X desktop, driven with xdotool. Each
TestCase class is one ctest entry with a desktop of its own (see CMakeLists.txt)."""
import os
import signal
import unittest

from stepreel_harness import (DISPLAY_LOST, FINISHED, PAUSED, RESUMED, RecorderRun,
                              TestWindow, XServer, activate, check_episode_invariants, click, key,
                              type_text)


class DesktopTest(unittest.TestCase):
    """A recorder on a desktop with form windows. Every byte the recorder wrote is
    checked afterwards: frame layout, order rules, and that no canary typed or copied
    during the test appears anywhere."""

    canaries = ()
    windows_wanted = (("Form A", "FormA", (40, 40)),)

    def setUp(self):
        self.windows = []
        self.run_ = None
        for title, app, at in self.windows_wanted:
            self.windows.append(TestWindow(title, app, at))
        activate(self.windows[0])

    def start(self, *args, **kwargs):
        self.run_ = RecorderRun(*args, **kwargs)
        self.run_.wait_ready()
        return self.run_

    def tearDown(self):
        try:
            if self.run_ is not None:
                if self.run_.proc.poll() is None:
                    self.assertEqual(self.run_.finish(), 0)
                check_episode_invariants(self.run_.frames)
                for canary in self.canaries:
                    encoded = canary.encode()
                    self.assertNotIn(encoded, bytes(self.run_.raw), "typed text on standard output")
                    self.assertNotIn(encoded, bytes(self.run_.stderr), "typed text on standard error")
        finally:
            if self.run_ is not None:
                self.run_.kill()
            for window in self.windows:
                window.close()


class Clicks(DesktopTest):
    def test_click_gives_before_frame_record_then_after_frame_and_result(self):
        run = self.start()
        since = run.mark()
        x, y = click(self.windows[0], "save")
        index, record = run.wait_record("click", since)
        seq = record["seq"]
        frames = run.frames[since:index]
        self.assertEqual([(f.header["seq"], f.header["kind"]) for f in frames if f.type == "frame"],
                         [(seq, "before")])
        # Two permission requests were answered before the record: the operation and its shot.
        self.assertGreaterEqual(sum(f.type == "permit" for f in frames), 2)
        self.assertEqual((record["screenshotFull"], record["app"]),
                         (f"frames/{seq}-full.jpg", "FormA"))
        self.assertAlmostEqual(record["cursor"][0], x, delta=1.5)
        self.assertAlmostEqual(record["cursor"][1], y, delta=1.5)
        target = record["target"]
        self.assertEqual((target.get("role"), target.get("label"), target["secure"],
                          target.get("windowTitle")), ("AXButton", "Save", False, "Form A"))

        result_index, result = run.wait_record("result", index, lambda r: r["refSeq"] == seq)
        self.assertEqual([(f.header["seq"], f.header["kind"])
                          for f in run.frames[index:result_index] if f.type == "frame"],
                         [(result["seq"], "after")])
        self.assertEqual((result["screenshotFull"], result["dtMsFromPrev"]),
                         (f"frames/{result['seq']}-full.jpg", 0))
        self.assertNotIn("target", result)
        self.assertGreaterEqual(result["timestampMs"], record["timestampMs"])

    def test_secure_field_has_no_label_and_double_click_is_one_record(self):
        run = self.start()
        since = run.mark()
        click(self.windows[0], "password")
        target = run.wait_record("click", since)[1]["target"]
        self.assertEqual((target["role"], target["secure"]), ("AXSecureTextField", True))
        self.assertNotIn("label", target)
        since = run.mark()
        click(self.windows[0], "name", repeat=2)
        _, double = run.wait_record("doubleclick", since)
        self.assertEqual(double["target"]["role"], "AXTextField")
        run.wait_record("result", since, lambda r: r["refSeq"] == double["seq"])

    def test_right_click_is_recorded_without_result_frame(self):
        run = self.start()
        since = run.mark()
        click(self.windows[0], "heading", button=3)
        index, record = run.wait_record("rightclick", since)
        self.assertIn("screenshotFull", record)
        # The next operation's records follow directly: no result refers to the right click.
        click(self.windows[0], "heading")
        _, follow = run.wait_record("click", index)
        run.wait_record("result", index, lambda r: r["refSeq"] == follow["seq"])
        self.assertFalse([r for r in run.records("result") if r["refSeq"] == record["seq"]])


class Typing(DesktopTest):
    canaries = ("Qv7Canary", "7305186429", "Zpw9Secret")

    def test_runs_are_counted_and_classified_never_recorded(self):
        run = self.start()
        form = self.windows[0]
        click(form, "name")
        run.wait_record("click")
        # typed; what closes the run, and the record that follows it; count; class
        for text, close, follow, count, kind in (
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

    def test_interrupt_drops_an_open_run_and_finishes(self):
        run = self.start()
        click(self.windows[0], "name")
        run.wait_record("click")
        type_text("Qv7Canary")
        since = run.mark()
        status = run.finish(signal.SIGINT)
        self.assertEqual(status, 0)
        self.assertEqual(run.frames[-1].type, "finish")
        self.assertFalse(run.records("type", since))
        self.assertTrue(run.stderr_text().endswith(FINISHED), run.stderr_text())


class Clipboard(DesktopTest):
    canaries = ("Kx4PasteCanary",)
    windows_wanted = (("Form A", "FormA", (40, 40)), ("Form B", "FormB", (520, 40)))

    def test_paste_names_the_application_copied_from_and_switch_writes_focus(self):
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
        index, _ = run.wait_record("click", since)
        since = run.mark()
        key("ctrl+v")
        _, paste = run.wait_record("paste", since)
        self.assertEqual(paste["key"], "cmd+v")
        self.assertEqual(paste["clipboardFromApp"], "FormA")
        self.assertEqual(paste["clipboardCharCount"], len("Kx4PasteCanary"))
        self.assertEqual(paste["app"], "FormB")
        run.wait_record("result", since, lambda r: r["refSeq"] == paste["seq"])

        # Leaving Form A closes its focus dwell (polled every 1.5 s).
        def left_a(frames):
            return [f.event for f in frames if f.type == "focus" and f.event.get("app") == "FormA"]
        dwell = run.wait_for(left_a, 'focus record of "FormA"')[0]
        self.assertEqual(dwell.get("windowTitle"), "Form A")
        self.assertEqual(dwell["durationMs"], dwell["exitAtMs"] - dwell["enterAtMs"])

        # Going back by activation is a window switch too, once B's dwell has been seen.
        run.wait_focus_polls()
        activate(form_a)

        def left_b(frames):
            return [f.event for f in frames if f.type == "focus" and f.event.get("app") == "FormB"]
        self.assertEqual(run.wait_for(left_b, 'focus record of "FormB"')[0].get("windowTitle"), "Form B")


    def test_typing_into_another_application_closes_the_run(self):
        run = self.start()
        form_a, form_b = self.windows
        click(form_b, "name")
        index, _ = run.wait_record("click")
        click(form_a, "name")
        index, in_a = run.wait_record("click", index + 1)
        run.wait_record("result", index, lambda r: r["refSeq"] == in_a["seq"])
        since = run.mark()
        type_text("Kx4")
        activate(form_b)  # no input event: the run stays open until a key for Form B
        type_text("PasteCanary")
        click(form_b, "amount")
        index, first = run.wait_record("type", since)
        _, second = run.wait_record("type", index + 1)
        # Each record describes the moment of its flush: the first key for Form B closed
        # Form A's run, so both were written with Form B in front.
        self.assertEqual(first["inputCharCount"], 3)
        self.assertEqual(second["inputCharCount"], 11)
        self.assertEqual(second["seq"], first["seq"] + 1)


class Pause(DesktopTest):
    def test_hotkey_pauses_and_resumes_with_its_messages(self):
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
        clicks = run.records("click")
        self.assertEqual([c["seq"] for c in clicks], [first["seq"], after["seq"]])
        stderr = run.stderr_text()
        self.assertLess(stderr.index(PAUSED), stderr.index(RESUMED))
        self.assertEqual(stderr.count(PAUSED), 1)
        self.assertEqual(stderr.count(RESUMED), 1)


class Interrupt(DesktopTest):
    """Every way a recording ends: Ctrl+C (while idle: Typing), the parent going away, the
    display going away. The deadlines only detect a recorder that keeps running."""

    def check_finished(self, run, status, last_line):
        self.assertEqual(status, 0 if last_line == FINISHED else 1)
        self.assertEqual(run.frames[-1].type, "finish")
        self.assertEqual(sum(f.type == "finish" for f in run.frames), 1)
        self.assertTrue(run.stderr_text().endswith(last_line), run.stderr_text())
        self.assertEqual(run.stderr_text().count("✗"), last_line.count("✗"))

    def test_sigint_twice_while_a_permit_is_unanswered_finishes(self):
        run = self.start(hold=lambda n: True)
        # Two denials sent ahead of any request stay in the pipe for the first two requests.
        run.proc.stdin.write(b"\x00\x00")
        run.wait_for(lambda frames: sum(f.type == "permit" for f in frames) == 3,
                     "a third permission request")
        run.proc.send_signal(signal.SIGINT)
        run.proc.send_signal(signal.SIGINT)
        self.check_finished(run, run.finish(sig=None), FINISHED)
        # The third request was never answered: it counts as denied, and nothing came after it.
        self.assertEqual([f.type for f in run.frames], ["permit"] * 3 + ["finish"])

    def test_parent_closing_both_pipes_while_paused_ends_it_quietly(self):
        run = self.start()
        key("ctrl+alt+p")
        run.wait_stderr(PAUSED)
        run.close_pipes()
        self.assertEqual(run.finish(sig=None), 0)
        self.assertTrue(run.stderr_text().endswith(PAUSED), run.stderr_text())

    def test_losing_the_display_finishes_with_a_message_and_status_one(self):
        server = XServer()
        try:
            run = self.start(env=dict(os.environ, DISPLAY=server.display))
            server.kill()
            self.check_finished(run, run.finish(sig=None), DISPLAY_LOST)
        finally:
            server.kill()

    def test_without_stream_only_finish_is_written(self):
        run = self.start(stream=False)
        click(self.windows[0], "save")
        run.finish(signal.SIGINT)
        self.assertEqual([f.type for f in run.frames], ["finish"])


if __name__ == "__main__":
    unittest.main()
