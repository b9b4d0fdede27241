"""`stepreel`'s one-shot options, start-up failures and the reference parent, end to end."""
import io
import json
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

from PIL import Image

from stepreel_harness import (BANNER_START, STEPREEL, STEPREEL_PARENT, WAIT, RecorderRun, TestWindow, activate,
                              check_episode_invariants, click, parse_stream, type_text)

PERMISSION_LINE = re.compile(r"^(accessibility|screen_recording|input_monitoring)=(granted|denied|unknown)$")
WARNING = re.compile(
    r"^⚠︎ 権限が不足しています\(accessibility=(\w+) screen_recording=(\w+) input_monitoring=(\w+)\)。\n"
    r"   \./setup を実行して3つの権限を付与してください。\n$")


def run_once(*args, env=None, stream=True, deny=None):
    run = RecorderRun(*args, stream=stream, env=env, deny=deny)
    status = run.finish(sig=None, text_after_frames="--selftest-ocr" in args)
    run.kill()
    return run, status


def screen_size():
    out = subprocess.run(["xdpyinfo"], capture_output=True, text=True, check=True).stdout
    width, height = re.search(r"dimensions:\s+(\d+)x(\d+) pixels", out).groups()
    return int(width), int(height)


class OneShotOptions(unittest.TestCase):
    def check_lines(self, stdout):
        lines = stdout.decode().splitlines()
        self.assertEqual([line.split("=")[0] for line in lines],
                         ["accessibility", "screen_recording", "input_monitoring"])
        for line in lines:
            self.assertRegex(line, PERMISSION_LINE)
        return lines

    def test_check_on_a_complete_desktop_grants_all_three(self):
        result = subprocess.run([STEPREEL, "--check"], capture_output=True, timeout=WAIT)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.check_lines(result.stdout),
                         ["accessibility=granted", "screen_recording=granted", "input_monitoring=granted"])

    def test_first_one_shot_option_wins(self):
        for args in (["--path", "--check"], ["--check", "--path", "--selftest-ocr"]):
            result = subprocess.run([STEPREEL, *args], capture_output=True, timeout=WAIT)
            self.assertEqual(result.returncode, 0)
            self.check_lines(result.stdout)
        check = subprocess.run([STEPREEL, "--check"], capture_output=True, timeout=WAIT)
        result = subprocess.run([STEPREEL, "--request", "--path"], capture_output=True, timeout=WAIT)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, check.stdout)

    def test_path_prints_the_executable(self):
        result = subprocess.run([STEPREEL, "--path"], capture_output=True, timeout=WAIT)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, (os.path.realpath(STEPREEL) + "\n").encode())

    def test_selftest_without_stream_takes_no_screenshot(self):
        run, status = run_once("--selftest-ocr", stream=False)
        self.assertEqual(status, 0)
        self.assertEqual(bytes(run.raw), b"full=nil textLines=-1 center=nil\n")

    def test_selftest_sends_one_after_frame_of_the_screen(self):
        run, status = run_once("--selftest-ocr")
        self.assertEqual(status, 0)
        line = b"full=frames/0-full.jpg textLines=-1 center=nil\n"
        self.assertTrue(bytes(run.raw).endswith(line))
        frames, leftover = parse_stream(bytes(run.raw)[:-len(line)])
        self.assertEqual(leftover, 0)
        # The gate is asked before the shot and again by the shooter itself.
        self.assertEqual([f.type for f in frames if f.type != "permit"], ["frame"])
        self.assertEqual(frames[0].type, "permit")
        header = frames[-1].header
        self.assertEqual((header["sessionId"], header["seq"], header["kind"], header["cursor"]),
                         ("selftest", 0, "after", [0.5, 0.5]))
        image = Image.open(io.BytesIO(frames[-1].payload))
        self.assertEqual(image.format, "JPEG")
        self.assertEqual(image.size, (header["width"], header["height"]))
        width, height = screen_size()
        scale = min(1.0, 2048 / max(width, height))
        self.assertEqual(image.size, (int(width * scale), int(height * scale)))

    def test_selftest_denied_sends_nothing(self):
        run, status = run_once("--selftest-ocr", deny=lambda n: True)
        self.assertEqual(status, 0)
        self.assertEqual(bytes(run.raw), b"\x00\x00\x00\x11\x00\x00\x00\x00" + b'{"type":"permit"}' +
                         b"full=nil textLines=-1 center=nil\n")

    def test_once_records_one_navigate_with_its_screenshot(self):
        run, status = run_once("--once")
        self.assertEqual(status, 0)
        self.assertEqual([f.type for f in run.frames], ["permit", "permit", "frame", "events", "finish"])
        record = run.frames[3].event
        self.assertEqual((record["kind"], record["seq"], record["dtMsFromPrev"]), ("navigate", 0, 0))
        self.assertEqual(record["screenshotFull"], "frames/0-full.jpg")
        self.assertRegex(record["episodeId"], r"^ep-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
        self.assertEqual(run.frames[2].header["kind"], "before")
        check_episode_invariants(run.frames)
        self.assertEqual(run.stderr_text(), "")

    def test_unknown_arguments_and_ocr_are_ignored(self):
        run, status = run_once("--ocr", "--Once", "--streamx", "--once")
        self.assertEqual(status, 0)
        self.assertEqual([f.type for f in run.frames], ["permit", "permit", "frame", "events", "finish"])

    def test_once_with_the_operation_denied_writes_only_finish(self):
        run, status = run_once("--once", deny=lambda n: n == 1)
        self.assertEqual(status, 0)
        self.assertEqual([f.type for f in run.frames], ["permit", "finish"])
        finish = bytes(run.raw)[25:]
        self.assertEqual(finish[:8], b"\x00\x00\x00\x47\x00\x00\x00\x00")

    def test_once_with_the_screenshot_denied_records_without_it(self):
        run, status = run_once("--once", deny=lambda n: n == 2)
        self.assertEqual(status, 0)
        self.assertEqual([f.type for f in run.frames], ["permit", "permit", "events", "finish"])
        self.assertNotIn("screenshotFull", run.frames[2].event)

    def test_once_without_stream_writes_only_finish(self):
        run, status = run_once("--once", stream=False)
        self.assertEqual(status, 0)
        self.assertEqual([f.type for f in run.frames], ["finish"])


class MissingDisplay(unittest.TestCase):
    def check_refused(self, env):
        result = subprocess.run([STEPREEL, "--stream"], capture_output=True, env=env, timeout=WAIT,
                                stdin=subprocess.DEVNULL)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        stderr = result.stderr.decode()
        match = WARNING.match(stderr)
        self.assertIsNotNone(match, stderr)
        self.assertNotEqual(match.groups(), ("granted", "granted", "granted"))
        for value in match.groups():
            self.assertIn(value, ("granted", "denied", "unknown"))
        check = subprocess.run([STEPREEL, "--check"], capture_output=True, env=env, timeout=WAIT)
        self.assertEqual(check.returncode, 0)
        values = tuple(line.split("=")[1] for line in check.stdout.decode().splitlines())
        self.assertEqual(values, match.groups())

    def test_unset_display_gives_the_permission_warning(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        self.check_refused(env)

    def test_display_that_is_gone_gives_the_permission_warning(self):
        env = dict(os.environ, DISPLAY=":64999")
        self.check_refused(env)
        run, status = run_once("--once", env=env)
        self.assertEqual(status, 1)
        self.assertEqual(bytes(run.raw), b"")


class ReferenceParent(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.out = os.path.join(self.tmp.name, "episode")
        self.window = TestWindow("Form A", "FormA", (40, 40))
        activate(self.window)

    def tearDown(self):
        self.window.close()
        self.tmp.cleanup()

    def wait_lines(self, path, count):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            if os.path.exists(path):
                with open(path, encoding="utf-8") as f:
                    lines = [json.loads(line) for line in f if line.endswith("\n")]
                if len(lines) >= count:
                    return lines
            time.sleep(0.1)
        self.fail(f"{path} did not reach {count} lines")

    def test_records_an_episode_folder_until_interrupted(self):
        raw_path = os.path.join(self.tmp.name, "stream.bin")
        parent = subprocess.Popen([STEPREEL_PARENT, "--out", self.out, "--stepreel", STEPREEL,
                                   "--raw", raw_path], stderr=subprocess.PIPE)
        try:
            early = b""
            while not early.decode(errors="replace").endswith(BANNER_START):
                line = parent.stderr.readline()
                self.assertTrue(line, "the recorder ended before its banner: " + early.decode())
                early += line
            events = os.path.join(self.out, "events.jsonl")
            click(self.window, "name")
            self.wait_lines(events, 2)  # the click and its result
            type_text("Wq3Canary")
            click(self.window, "save")
            self.wait_lines(events, 5)  # the typing run, the click, its result
            parent.send_signal(signal.SIGINT)
            _, stderr = parent.communicate(timeout=WAIT)
            stderr = early + stderr
        finally:
            if parent.poll() is None:
                parent.kill()
                parent.wait()
        self.assertEqual(parent.returncode, 0, stderr.decode())
        with open(raw_path, "rb") as f:
            raw = f.read()
        self.assertNotIn(b"Wq3Canary", raw)
        self.assertNotIn(b"Wq3Canary", stderr)
        for folder, _, files in os.walk(self.out):
            for name in files:
                with open(os.path.join(folder, name), "rb") as f:
                    self.assertNotIn(b"Wq3Canary", f.read(), name)
        frames, leftover = parse_stream(raw)
        self.assertEqual(leftover, 0)
        session = check_episode_invariants(frames)
        self.assertEqual(frames[-1].type, "finish")

        with open(os.path.join(self.out, "events.jsonl"), encoding="utf-8") as f:
            lines = [json.loads(line) for line in f]
        self.assertEqual(lines, [f.event for f in frames if f.type == "events"])
        self.assertIn("type", [r["kind"] for r in lines])
        with open(os.path.join(self.out, "focus.jsonl"), encoding="utf-8") as f:
            self.assertEqual([json.loads(line) for line in f], [f.event for f in frames if f.type == "focus"])
        with open(os.path.join(self.out, "episode.json"), encoding="utf-8") as f:
            meta = json.load(f)
        self.assertEqual(meta["schema"], "quillmap.episode.v0")
        self.assertEqual(meta["id"], session)
        self.assertEqual(meta["status"], "completed")
        self.assertEqual(meta["actionCount"], len(lines))
        self.assertEqual(meta["frameCount"], sum("screenshotFull" in r for r in lines))
        self.assertLessEqual(meta["startedAtMs"], lines[0]["timestampMs"])
        self.assertGreaterEqual(meta["endedAtMs"], lines[-1]["timestampMs"])
        shots = {f.header["seq"]: f.payload for f in frames if f.type == "frame"}
        self.assertEqual(sorted(os.listdir(os.path.join(self.out, "frames"))),
                         sorted(f"{seq}-full.jpg" for seq in shots))
        for seq, payload in shots.items():
            with open(os.path.join(self.out, "frames", f"{seq}-full.jpg"), "rb") as f:
                self.assertEqual(f.read(), payload)
        with open(os.path.join(self.out, "index.html"), encoding="utf-8") as f:
            html = f.read()
        for r in lines:
            if "screenshotFull" in r:
                self.assertIn(f'src="{r["screenshotFull"]}"', html)
        self.assertIn(session, html)
        self.assertIn("timeline: " + self.out + "/index.html", stderr.decode())

    def parent_once(self, name, *options):
        out = os.path.join(self.tmp.name, name)
        result = subprocess.run([STEPREEL_PARENT, "--out", out, "--stepreel", STEPREEL, *options,
                                 "--", "--once"], capture_output=True, timeout=WAIT)
        meta = None
        if os.path.exists(os.path.join(out, "episode.json")):
            with open(os.path.join(out, "episode.json"), encoding="utf-8") as f:
                meta = json.load(f)
        return result, meta

    def test_denied_permits_leave_their_work_out(self):
        result, meta = self.parent_once("all", "--deny-all")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((meta["status"], meta["actionCount"], meta["frameCount"]), ("completed", 0, 0))

        result, meta = self.parent_once("shot", "--deny-permit", "2")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((meta["actionCount"], meta["frameCount"]), (1, 0))
        self.assertEqual(os.listdir(os.path.join(self.tmp.name, "shot", "frames")), [])

        result, meta = self.parent_once("granted")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((meta["actionCount"], meta["frameCount"]), (1, 1))

        # An earlier episode is never overwritten.
        result, _ = self.parent_once("granted")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"already exists and is not empty", result.stderr)

    def test_live_malformed_frame_stops_answering_and_ends_the_recorder(self):
        # A stand-in recorder: one permit, then a header that is not an object; it reports
        # the answer byte and how its input ended, and ends on SIGINT.
        fake = os.path.join(self.tmp.name, "fake-stepreel")
        report = os.path.join(self.tmp.name, "report")
        with open(fake, "w") as f:
            f.write(f"""#!/usr/bin/python3
import os, signal, sys
def ended(*_):
    rest = os.read(0, 100)  # the parent closed our input before signalling
    open({report!r}, "w").write(f"answer={{answer.hex()}} rest={{rest!r}} sigint")
    sys.exit(0)
signal.signal(signal.SIGINT, ended)
out = sys.stdout.buffer
out.write(bytes([0, 0, 0, 17, 0, 0, 0, 0]) + b'{{"type":"permit"}}'); out.flush()
answer = os.read(0, 1)
out.write(bytes([0, 0, 0, 5, 0, 0, 0, 0]) + b'[1,2]'); out.flush()
while True:
    signal.pause()
""")
        os.chmod(fake, 0o755)
        out = os.path.join(self.tmp.name, "live")
        result = subprocess.run([STEPREEL_PARENT, "--out", out, "--stepreel", fake],
                                capture_output=True, timeout=WAIT)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"malformed frame at byte offset 33: header is not one compact JSON object",
                      result.stderr)
        with open(report) as f:
            self.assertEqual(f.read(), "answer=01 rest=b'' sigint")

    def replay(self, data):
        path = os.path.join(self.tmp.name, "replay.bin")
        with open(path, "wb") as f:
            f.write(data)
        self.replays = getattr(self, "replays", 0) + 1
        out = os.path.join(self.tmp.name, f"replay-{self.replays}")
        return subprocess.run([STEPREEL_PARENT, "--out", out, "--replay", path],
                              capture_output=True, timeout=WAIT), out

    def test_truncated_and_malformed_streams_are_reported_with_their_offset(self):
        run, status = run_once("--once")
        raw = bytes(run.raw)
        frames = run.frames
        self.assertEqual(status, 0)

        result, out = self.replay(raw)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(out, "episode.json"), encoding="utf-8") as f:
            self.assertEqual(json.load(f)["actionCount"], 1)

        cut = frames[2].offset + 100  # inside the screenshot frame
        result, out = self.replay(raw[:cut])
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"truncated stream at byte offset {frames[2].offset}:", result.stderr.decode())
        with open(os.path.join(out, "episode.json"), encoding="utf-8") as f:
            self.assertEqual(json.load(f)["status"], "recording")

        broken = bytearray(raw)
        broken[frames[3].offset + 8] = ord("[")  # the events header is no longer an object
        result, _ = self.replay(bytes(broken))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"malformed frame at byte offset {frames[3].offset + 8}:", result.stderr.decode())


if __name__ == "__main__":
    unittest.main()
