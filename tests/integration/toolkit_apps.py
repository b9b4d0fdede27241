"""Applications of the toolkits the recorder must describe besides GTK and Qt: a Java Swing
window through the ATK bridge, LibreOffice, and GTK 4's file chooser."""
import os
import subprocess

from real_apps import find_element, launch, wait_until, window_of
from stepreel_harness import HERE, WAIT, activate_window, xdotool

ATK_BRIDGE = "/usr/share/java/java-atk-wrapper.jar"


def start_swing(workdir, at, owner=None):
    """SwingForm (compiled into `workdir`) with its window's top-left corner at `at`; its X
    window's id. Its class names its application: SwingForm."""
    subprocess.run(["javac", "-d", workdir, os.path.join(HERE, "SwingForm.java")], check=True,
                   timeout=WAIT)
    launch(["java", "-Djavax.accessibility.assistive_technologies="
            "org.GNOME.Accessibility.AtkWrapper", "-cp", f"{ATK_BRIDGE}:{workdir}", "SwingForm",
            str(at[0]), str(at[1])], owner)
    wid = window_of("Swing order form")
    wait_until("the Swing window's button on the accessibility bus", lambda: find_element(
        "Swing order form", lambda n: n.get_name() == "Place order"))
    return wid


def start_writer(owner=None):
    """LibreOffice Writer with a fresh document; the id of its window. On a first start (a
    fresh profile) its "Tip of the Day" dialog comes up over it."""
    launch(["libreoffice", "--writer", "--norestore", "--nologo"], owner)
    return window_of("LibreOffice Writer")


def open_file_chooser(owner=None):
    """gnome-text-editor with its GTK 4 "Open File" dialog open: the ids of the editor's
    window and of the dialog's."""
    launch(["gnome-text-editor", "--standalone"], owner)
    editor = window_of("Text Editor")
    activate_window(editor)
    xdotool("key", "ctrl+o")  # GTK 4 takes no synthetic key sent to a window
    return editor, window_of("^Open File$")
