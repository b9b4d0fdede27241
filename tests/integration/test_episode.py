"""The reference parent's episode folder with the real `stepreel`: every way an episode ends,
a start that fails, and removing records before the folder is passed on."""
import json
import os
import signal
import subprocess
import unittest

from selenium.webdriver.common.by import By

from episode_pages import Browser, check_folder
from stepreel_harness import (BANNER_START, DISPLAY_LOST, STEPREEL, STEPREEL_PARENT, WAIT, click,
                              files_under, opened, scratch, start_x_server, type_text,
                              wait_until)


def read(*path):
    with open(os.path.join(*path), "rb") as f:
        return f.read()


def recorder_version():
    """What `stepreel --version` answers, or None when it does not (a recorder without the
    option starts recording instead, and the parent leaves the version out)."""
    try:
        done = subprocess.run([STEPREEL, "--version"], capture_output=True, timeout=8,
                              stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        return None
    words = done.stdout.decode(errors="replace").split("\n")[0].split()
    return words[-1] if done.returncode == 0 and words else None


def page_data(folder):
    html = read(folder, "index.html").decode()
    start = html.index('id="episode-data">') + len('id="episode-data">')
    return json.loads(html[start:html.index("</script>", start)])


class EpisodeTest(unittest.TestCase):
    def setUp(self):
        self.folder = scratch(self)
        self.window = opened(self, "Form A", "FormA", (60, 50))

    def record(self, name, env=None):
        """The parent recording into folder `name`, once the recorder's banner has come."""
        out, log = os.path.join(self.folder, name), os.path.join(self.folder, name + ".log")
        with open(log, "wb") as stderr:
            parent = subprocess.Popen([STEPREEL_PARENT, "--out", out, "--stepreel", STEPREEL],
                                      stderr=stderr, env=env, start_new_session=True)
        self.addCleanup(lambda: parent.poll() is None and (parent.kill(), parent.wait()))
        wait_until("the banner", lambda: BANNER_START.encode() in read(log))
        return parent, out, log

    def clicks(self, out, widgets):
        """Clicks each widget and waits until its record and result are in events.jsonl."""
        def results():
            path = os.path.join(out, "events.jsonl")
            lines = read(path).splitlines() if os.path.exists(path) else []
            return sum(json.loads(line)["kind"] == "result" for line in lines)
        before = results()
        for widget in widgets:
            click(self.window, widget)
        wait_until("the clicks and their results", lambda: results() >= before + len(widgets))

    def check_ended(self, out, status, reason):
        meta, events, _ = check_folder(out)
        self.assertEqual((meta["status"], meta["endReason"]), (status, reason))
        data = page_data(out)
        self.assertEqual((data["meta"], [e["seq"] for e in data["events"]]),
                         (meta, [e["seq"] for e in events]))
        return meta, events


class Ends(EpisodeTest):
    def test_ctrl_c_sigterm_and_sighup_finish_the_episode(self):
        for signo, reason in ((signal.SIGINT, "completed"), (signal.SIGTERM, "parent ended"),
                              (signal.SIGHUP, "parent ended")):
            with self.subTest(signal=signo.name):
                parent, out, _ = self.record(signo.name)
                self.clicks(out, ["save"])
                parent.send_signal(signo)
                self.assertEqual(parent.wait(WAIT), 0)
                meta, events = self.check_ended(out, "completed", reason)
                self.assertTrue(meta["startedAtMs"] <= events[0]["timestampMs"]
                                <= meta["endedAtMs"], meta)
                self.assertEqual(meta.get("recorderVersion"), recorder_version())

    def test_a_lost_display_and_a_cut_stream_are_told_apart(self):
        server, display = start_x_server(self)
        parent, out, log = self.record("display", env=dict(os.environ, DISPLAY=display))
        server.kill()
        self.assertEqual(parent.wait(WAIT), 1)
        self.assertIn(DISPLAY_LOST.encode(), read(log))  # the recorder's line passed on
        self.check_ended(out, "completed", "display lost")

        parent, out, _ = self.record("cut")
        self.clicks(out, ["save"])
        with open(f"/proc/{parent.pid}/task/{parent.pid}/children") as children:
            recorder = int(children.read().split()[0])
        os.kill(recorder, signal.SIGKILL)
        self.assertEqual(parent.wait(WAIT), 128 + signal.SIGKILL)
        meta, _ = self.check_ended(out, "incomplete", "stream cut")
        self.assertNotIn("endedAtMs", meta)

    def test_a_failed_start_leaves_nothing_and_the_same_folder_can_be_used_again(self):
        out = os.path.join(self.folder, "retry")
        for stepreel, env in (("/nonexistent/stepreel", None),
                              (STEPREEL, dict(os.environ, DISPLAY=":64999"))):
            done = subprocess.run([STEPREEL_PARENT, "--out", out, "--stepreel", stepreel],
                                  capture_output=True, env=env, timeout=WAIT)
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertFalse(os.path.exists(out))
        done = subprocess.run([STEPREEL_PARENT, "--out", out, "--stepreel", STEPREEL, "--",
                               "--once"], capture_output=True, timeout=WAIT)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.check_ended(out, "completed", "completed")


class Redact(EpisodeTest):
    def test_removed_records_and_frames_leave_no_trace(self):
        parent, out, _ = self.record("episode")
        self.clicks(out, ["name"])
        type_text("hello")
        self.clicks(out, ["name", "save", "clear"])
        parent.send_signal(signal.SIGINT)
        self.assertEqual(parent.wait(WAIT), 0)
        _, events = self.check_ended(out, "completed", "completed")
        self.check_page(out, events)

        lines = read(out, "events.jsonl").splitlines()
        results = {r["refSeq"]: r["seq"] for r in events if r["kind"] == "result"}
        a, b, c = sorted(results)[1:4]
        removed = sorted([a, results[a], b, results[b]])
        gone = [lines[seq] for seq in removed]
        for args, status in ((["--seq", f"{b},{a}"], 0), (["--seq", str(c), "--frames-only"], 0),
                             (["--seq", "99999"], 1)):  # no such record: nothing changes
            done = subprocess.run([STEPREEL_PARENT, "redact", out, *args], capture_output=True,
                                  timeout=WAIT)
            self.assertEqual(done.returncode, status, done.stderr)
        meta, kept, _ = check_folder(out)
        self.assertEqual(meta["removed"], {
            "records": removed, "recordCount": 4,
            "frames": sorted(removed + [c, results[c]]), "frameCount": 6})
        self.assertEqual([r["seq"] for r in kept], [r["seq"] for r in events
                                                    if r["seq"] not in removed])
        self.assertFalse([r for r in kept if r["seq"] in (c, results[c])
                          and "screenshotFull" in r])
        for name, data in files_under(out).items():
            self.assertFalse([line for line in gone if line in data], name)
        frames = os.listdir(os.path.join(out, "frames"))
        self.assertFalse({f"{seq}-full.jpg" for seq in removed + [c, results[c]]} & set(frames))
        data = page_data(out)
        self.assertFalse({e["seq"] for e in data["events"]} & set(removed))
        self.assertFalse({e["seq"] for e in data["events"] if "screenshotFull" in e}
                         & {c, results[c]})

    def check_page(self, out, events):
        """The recorded episode in the browser: a click's before and after screenshots with the
        pointer on them (the last click may have ended the episode before its after-frame)."""
        browser = Browser()
        self.addCleanup(browser.close)
        shown = {r["refSeq"] for r in events if r["kind"] == "result" and "screenshotFull" in r}
        seq = [r for r in events if r["kind"] == "click" and "screenshotFull" in r
               and r["seq"] in shown][-1]["seq"]
        d = browser.open(os.path.join(out, "index.html"), f"#r-{seq}")
        wait_until("the linked click", lambda: d.find_elements(By.CSS_SELECTOR, "li.sel .marker"))
        images = d.find_elements(By.CSS_SELECTOR, "li.sel img")
        self.assertEqual(len(images), 2)
        wait_until("its screenshots", lambda: all(d.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth > 0", i) for i in images))
        self.assertEqual(browser.errors(), [])


if __name__ == "__main__":
    unittest.main()
