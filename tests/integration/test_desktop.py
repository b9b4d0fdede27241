"""Where the work happened on unusual desktops: a client without accessibility, a context menu,
a closed active window, two monitors, no window manager and no screen-saver extension."""
import glob
import os
import subprocess
import unittest

from real_apps import (accessibles, applications, center, descendants, find_element, holds,
                       launch, showing, stop, wait_until, window_of)
from stepreel_harness import (activate_window, click_at, helper_json, recording, run_helper,
                              scaled, type_text, xdotool)


class PlainClients(unittest.TestCase):
    """xlogo (no accessibility, no _NET_WM_PID) beside Mousepad (GTK3)."""

    @classmethod
    def setUpClass(cls):
        launch(["xlogo", "-geometry", "200x200+900+50"], cls)
        launch(["mousepad", "--disable-server"], cls)
        cls.xlogo, cls.editor = window_of("xlogo"), window_of("Mousepad")

    def test_dwells_in_a_client_without_accessibility_and_across_a_context_menu(self):
        activate_window(self.xlogo)
        context = helper_json("context")
        self.assertEqual((context["windowTitle"], context["windowId"]), ("xlogo", int(self.xlogo)))
        self.assertIn({"name": context["appName"], "bundleId": context["bundleId"]},
                      helper_json("running-apps"))
        run = recording(self)
        run.wait_focus_polls()
        activate_window(self.editor)
        view = wait_until("the text view", lambda: accessibles("mousepad", "text"))[0]
        title = helper_json("context")["windowTitle"]
        run.wait_focus_polls()
        click_at(view, button=3)
        item = wait_until("the context menu", lambda: find_element("mousepad", lambda n: (
            n.get_role_name() == "menu item" and "Select All" in (n.get_name() or "") and
            showing(n))))
        run.wait_focus_polls()  # polled with the menu open
        # Held as a person holds it: the item goes on release, and is read while held.
        xdotool("mousemove", "--sync", *center(item))
        xdotool("mousedown", 1)
        run.wait_record("click")
        xdotool("mouseup", 1)
        run.wait_focus_polls()
        activate_window(self.xlogo)
        run.wait_for(lambda _: len(run.records(frame_type="focus")) >= 2, "the editor's dwell")
        run.end()
        first, *rest = run.records(frame_type="focus")
        self.assertEqual((first["app"], first["windowTitle"]), (context["appName"], "xlogo"))
        editor = [d for d in rest if d.get("windowTitle") != "xlogo"]
        self.assertEqual([d.get("windowTitle") for d in editor], [title], editor)
        item = run.records("click")[-1]  # in the menu, an untitled window of its own
        self.assertEqual(item.get("target", {}).get("windowTitle"), title, item)


class KilledMousepad(unittest.TestCase):
    """Mousepad keeps a session with a backup of unsaved text; after an unclean end the next
    one asks whether to restore it instead of opening its window. Tests end applications
    with SIGKILL: the next Mousepad must still open its window."""

    def text_views(self, proc):
        return [center(node) for app in applications("mousepad")
                if app.get_process_id() == proc.pid
                for node in descendants(app, only_showing=True) if node.get_role_name() == "text"]

    def test_a_mousepad_killed_with_unsaved_text_leaves_the_next_its_window(self):
        killed = launch(["mousepad", "--disable-server"], self)
        activate_window(window_of("Mousepad"))
        click_at(wait_until("the text view", lambda: self.text_views(killed))[0])
        type_text("unsaved")
        # Its session names the backup once the backup is written, half a minute after a change.
        wait_until("the backup of the unsaved text", lambda: glob.glob(
            os.path.join(killed.home, ".local/share/Mousepad/autosave-*")), scaled(120))
        stop(killed)
        wait_until("the killed Mousepad off the accessibility bus", lambda: not [
            app for app in applications("mousepad") if app.get_process_id() == killed.pid])
        following = launch(["mousepad", "--disable-server"], self)
        wait_until("the next Mousepad's text view", lambda: self.text_views(following))


class StaleActiveWindow(unittest.TestCase):
    """openbox keeps naming the active window after its last window has closed."""

    def test_closed_active_window_is_no_frontmost_application(self):
        message = launch(["xmessage", "-title", "Closing soon", "Bye"], self)
        wid = window_of("Closing soon")
        activate_window(wid)
        self.assertEqual(helper_json("context")["windowTitle"], "Closing soon")
        stop(message)
        wait_until("the window to close", lambda: subprocess.run(
            ["xwininfo", "-id", wid], capture_output=True).returncode != 0)
        result = run_helper("context")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (1, b"", b"no frontmost application\n"))


class TwoMonitors(unittest.TestCase):
    """A 1024-pixel monitor on the left and the primary 1280 × 800 one to its right."""

    LEFT = 1024

    def test_points_frames_and_screenshots_belong_to_the_primary_monitor(self):
        for monitor in (["*main", "1280/338x800/211+1024+0", "screen"],
                        ["left", "1024/271x768/203+0+0", "none"]):
            subprocess.run(["xrandr", "--setmonitor", *monitor], check=True, capture_output=True)
        launch(["mousepad", "--disable-server"], self)
        editor = window_of("Mousepad")
        xdotool("windowmove", "--sync", editor, self.LEFT + 200, 150)
        activate_window(editor)
        view = wait_until("the text view on the primary monitor", lambda: [
            p for p in accessibles("mousepad", "text") if p[0] > self.LEFT])[0]
        run = recording(self)
        click_at(view)
        click_at((300, 400))  # the desktop of the left monitor
        run.wait_settled(2)
        run.end()

        on_main, on_left = run.records("click")
        self.assertEqual(on_main["cursor"], [view[0] - self.LEFT, view[1]])
        self.assertTrue(holds(on_main["target"]["frame"], on_main["cursor"]), on_main)
        self.assertEqual(on_left["cursor"], [300 - self.LEFT, 400])
        before = {f.header["seq"]: f.header for f in run.frames
                  if f.type == "frame" and f.header["kind"] == "before"}
        for record in (on_main, on_left):
            header = before[record["seq"]]
            self.assertEqual((header["width"], header["height"]), (1280, 800))
            self.assertAlmostEqual(header["cursor"][0], record["cursor"][0] / 1280)
            self.assertAlmostEqual(header["cursor"][1], record["cursor"][1] / 800)


class NoWindowManager(unittest.TestCase):
    """Neither a window manager nor the screen-saver extension: xlogo alone, given the focus."""

    def test_focused_client_is_running_frontmost_and_idle_time_counts(self):
        launch(["xlogo"], self)
        wid = window_of("xlogo")
        xdotool("windowfocus", "--sync", wid)
        xdotool("mousemove", 5, 5)
        context = wait_until("a second without input",
                             lambda: (c := helper_json("context"))["idleSeconds"] >= 1.0 and c)
        self.assertEqual((context["windowTitle"], context["windowId"]), ("xlogo", int(wid)))
        self.assertEqual(helper_json("running-apps"),
                         [{"name": context["appName"], "bundleId": context["bundleId"]}])


if __name__ == "__main__":
    unittest.main()
