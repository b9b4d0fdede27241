"""`stepreel`'s one-shot options, start-up failures and the reference parent, end to end."""
import contextlib
import io
import json
import os
import pathlib
import pty
import re
import signal
import subprocess
import unittest

from PIL import Image

from stepreel_harness import (STEPREEL, STEPREEL_PARENT, WAIT, RecorderRun,
                              check_episode_invariants, desktop_process, opened, parse_stream,
                              root_size, scratch, wait_until, write_file)

NIL_LINE = b"full=nil textLines=-1 center=nil\n"
PERMIT = b"\x00\x00\x00\x11\x00\x00\x00\x00" + b'{"type":"permit"}'
EPISODE_ID = r"^ep-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"
STATE = "(granted|denied|unknown)"
WARNING = re.compile(
    rf"^⚠︎ 権限が不足しています\(accessibility={STATE} screen_recording={STATE} "
    rf"input_monitoring={STATE}\)。\n   \./setup を実行して3つの権限を付与してください。\n"
    r"((   [^\n]+\n)+)$")  # then what to do about it, a line per cause


def run_once(*args, env=None, stream=True, deny=None):
    run = RecorderRun(*args, stream=stream, env=env, deny=deny)
    status = run.finish(sig=None, text_after_frames="--selftest-ocr" in args)
    run.kill()
    return run, status


def answer(*args, env=None):
    return subprocess.run([STEPREEL, *args], capture_output=True, env=env, timeout=WAIT,
                          stdin=subprocess.DEVNULL)


def read_all(stream):
    """What a terminal showed: everything until its other end closed."""
    data = b""
    with contextlib.suppress(OSError):  # EIO: nothing holds the other end any more
        while chunk := stream.read(4096):
            data += chunk
    return data


def read_file(*path, lines=False):
    data = pathlib.Path(*path).read_bytes()
    return [json.loads(line) for line in data.splitlines()] if lines else data


class OneShotOptions(unittest.TestCase):
    def test_check_grants_all_three_on_a_complete_desktop_and_path_is_the_executable(self):
        self.assertEqual([(r.returncode, r.stdout, r.stderr)
                          for r in (answer("--check"), answer("--path"))],
                         [(0, b"accessibility=granted\nscreen_recording=granted\n"
                              b"input_monitoring=granted\n", b""),
                          (0, (os.path.realpath(STEPREEL) + "\n").encode(), b"")])

    def test_no_frame_goes_to_a_terminal(self):
        # Every mode that writes frames refuses; text answers still reach the terminal.
        for args, status, shown_text in (([], 2, b""), (["--stream", "--once"], 2, b""),
                                         (["--help"], 0, "使い方: stepreel ".encode()),
                                         (["--stream", "--selftest-ocr"], 2, b""),
                                         (["--selftest-ocr"], 0, NIL_LINE.replace(b"\n", b"\r\n"))):
            with self.subTest(args=args):
                screen, terminal = pty.openpty()
                with os.fdopen(screen, "rb", buffering=0) as shown:
                    done = subprocess.run([STEPREEL, *args], stdout=terminal,
                                          stderr=subprocess.PIPE, timeout=WAIT,
                                          stdin=subprocess.DEVNULL)
                    os.close(terminal)
                    text = read_all(shown)  # `shown_text` and what follows it, or nothing
                    self.assertEqual(done.returncode, status)
                    self.assertTrue(text.startswith(shown_text) and bool(text) == bool(shown_text),
                                    text)
                    self.assertEqual(done.stderr.decode().startswith("✗ 標準出力が端末です。"),
                                     status == 2, done.stderr)

    def test_selftest_sends_one_after_frame_of_the_screen_when_streaming_and_allowed(self):
        for stream, deny, before_line in ((False, None, b""), (True, lambda n: True, PERMIT)):
            run, status = run_once("--selftest-ocr", stream=stream, deny=deny)
            self.assertEqual((status, bytes(run.raw)), (0, before_line + NIL_LINE))
        run, status = run_once("--selftest-ocr")
        frames, leftover = parse_stream(bytes(run.raw))  # the line's letters are no frame
        self.assertEqual((status, run.raw[len(run.raw) - leftover:]),
                         (0, b"full=frames/0-full.jpg textLines=-1 center=nil\n"))
        # The gate is asked before the shot and again by the shooter itself.
        self.assertEqual([f.type for f in frames], ["permit", "permit", "frame"])
        header = frames[-1].header
        self.assertEqual((header["sessionId"], header["seq"], header["kind"], header["cursor"]),
                         ("selftest", 0, "after", [0.5, 0.5]))
        image = Image.open(io.BytesIO(frames[-1].payload))
        self.assertEqual((image.format, image.size), ("JPEG", (header["width"], header["height"])))
        width, height = root_size()
        scale = min(1.0, 2048 / max(width, height))
        self.assertEqual(image.size, (int(width * scale), int(height * scale)))

    def test_once_records_one_navigate_with_what_the_parent_allowed(self):
        for args, stream, denied, types in (  # arguments, stream, request denied, frame types
                (("--ocr", "--Once", "--streamx", "--once"), True, 0,
                 ["permit", "permit", "frame", "events", "finish"]),
                (("--once",), True, 1, ["permit", "finish"]),
                (("--once",), True, 2, ["permit", "permit", "events", "finish"]),
                (("--once",), False, 0, ["finish"])):
            with self.subTest(args=args, stream=stream, denied=denied):
                run, status = run_once(*args, stream=stream, deny=lambda n, d=denied: n == d)
                self.assertEqual((status, run.stderr_text()), (0, ""))
                self.assertEqual([f.type for f in run.frames], types)
                check_episode_invariants(run.frames)
                self.assertRegex(run.frames[-1].header["sessionId"], EPISODE_ID)
                if "events" in types:
                    records = run.records()
                    self.assertEqual([(r["kind"], r["seq"], r["dtMsFromPrev"]) for r in records],
                                     [("navigate", 0, 0)])
                    self.assertEqual("screenshotFull" in records[0], "frame" in types)


    def test_a_late_accessibility_registry_is_no_message(self):
        # As on a busy machine: the registry answers only after the recording has given up.
        registry = wait_until("the accessibility registry", lambda: run_once("--once") and
                              desktop_process("at-spi2-registryd"))
        os.kill(registry, signal.SIGSTOP)
        try:
            run, status = run_once("--once")
        finally:
            os.kill(registry, signal.SIGCONT)
        self.assertEqual((status, run.stderr_text(), run.frames[-1].type), (0, "", "finish"))


class MissingDisplay(unittest.TestCase):
    def test_unset_or_vanished_display_gives_the_permission_warning(self):
        unset = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        for env in (unset, dict(os.environ, DISPLAY=":64999")):
            with self.subTest(display=env.get("DISPLAY")):
                result = answer("--stream", env=env)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                match = WARNING.match(result.stderr.decode())
                self.assertIsNotNone(match, result.stderr.decode())
                self.assertNotEqual(match.groups()[:3], ("granted",) * 3)
                self.assertIn("X ディスプレイ", match.group(4))  # the cause, for all three
                check = answer("--check", env=env)
                self.assertEqual((check.returncode, check.stderr.decode()), (0, match.group(4)))
                self.assertEqual(tuple(line.split("=")[1] for line in
                                       check.stdout.decode().splitlines()), match.groups()[:3])
                run, status = run_once("--once", env=env)
                self.assertEqual((status, bytes(run.raw)), (1, b""))


class ReferenceParent(unittest.TestCase):
    def setUp(self):
        self.folder = scratch(self)
        self.window = opened(self, "Form A", "FormA", (40, 40))

    def path(self, *names):
        return os.path.join(self.folder, *names)

    def parent(self, name, *options):
        return subprocess.run([STEPREEL_PARENT, "--out", self.path(name), *options],
                              capture_output=True, timeout=WAIT)

    def test_denied_permits_leave_their_work_out_and_no_episode_is_overwritten(self):
        for name, options, counts in (("all", ["--deny-all"], (0, 0)),  # actions, frames
                                      ("shot", ["--deny-permit", "2"], (1, 0)),
                                      ("granted", [], (1, 1))):
            with self.subTest(name):
                result = self.parent(name, "--stepreel", STEPREEL, *options, "--", "--once")
                self.assertEqual(result.returncode, 0, result.stderr)
                meta = json.loads(read_file(self.path(name, "episode.json")))
                self.assertEqual((meta["status"], meta["actionCount"], meta["frameCount"]),
                                 ("completed", *counts))
                self.assertEqual(len(os.listdir(self.path(name, "frames"))), counts[1])
        result = self.parent("granted", "--stepreel", STEPREEL, "--", "--once")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"already exists and is not empty", result.stderr)

    def test_live_malformed_frame_stops_answering_and_ends_the_recorder(self):
        # A stand-in recorder: one permit, then a header that is not an object; it reports
        # the answer byte and how its input ended, and ends on SIGINT.
        fake, report = self.path("fake-stepreel"), self.path("report")
        write_file(fake, f"""#!/usr/bin/python3
import os, signal, sys
def ended(*_):
    rest = os.read(0, 100)  # the parent closed our input before signalling
    open({report!r}, "w").write(f"answer={{answer.hex()}} rest={{rest!r}} sigint")
    sys.exit(0)
signal.signal(signal.SIGINT, ended)
out = sys.stdout.buffer
out.write({PERMIT!r}); out.flush()
answer = os.read(0, 1)
out.write(bytes([0, 0, 0, 5, 0, 0, 0, 0]) + b'[1,2]'); out.flush()
while True:
    signal.pause()
""")
        os.chmod(fake, 0o755)
        result = self.parent("live", "--stepreel", fake)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"malformed frame at byte offset 33: header is not one compact JSON object",
                      result.stderr)
        self.assertEqual(read_file(report), b"answer=01 rest=b'' sigint")

    def test_replayed_streams_whole_truncated_or_malformed(self):
        run, status = run_once("--once")
        self.assertEqual(status, 0)
        raw, frames = bytes(run.raw), run.frames
        broken = bytearray(raw)
        broken[frames[3].offset + 8] = ord("[")  # the events header is no longer an object
        cut = frames[2].offset + 100  # inside the screenshot frame
        for i, (data, code, message, state) in enumerate((  # exit status, message, episode
                (raw, 0, "", "completed"),
                (raw[:cut], 1, f"truncated stream at byte offset {frames[2].offset}:", None),
                (bytes(broken), 1, f"malformed frame at byte offset {frames[3].offset + 8}:",
                 None))):
            stream = self.path(f"replay-{i}.bin")
            write_file(stream, data)
            result = self.parent(f"replay-{i}", "--replay", stream)
            self.assertEqual(result.returncode, code, result.stderr)
            self.assertIn(message, result.stderr.decode())
            # A stream cut before the episode's first frame leaves no folder.
            self.assertEqual(os.path.exists(self.path(f"replay-{i}")), i != 1)
            if state:
                meta = json.loads(read_file(self.path(f"replay-{i}", "episode.json")))
                self.assertEqual((meta["status"], meta["actionCount"] == 1), (state, code == 0))


if __name__ == "__main__":
    unittest.main()
