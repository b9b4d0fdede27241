"""Applications of the toolkits the recorder must describe besides GTK and Qt: a Java Swing
window through the ATK bridge, LibreOffice, and GTK 4, which places elements in windows."""
import os
import subprocess

from real_apps import (applications, center, find_element, launch, showing, wait_until,
                       window_of, window_origin)
from stepreel_harness import HERE, WAIT

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


def shown(app, role, name, wid=None, relative=False):
    """The screen centre of `app`'s showing element with `role` and `name` (any for None)
    once it stays put (a window just moved or opened is placed late); a GTK 4 element
    (`relative`), which does not say whether it is shown, is placed from its window `wid`."""
    seen = []

    def found():
        node = find_element(app, lambda n: n.get_role_name() == role and
                            (name is None or named(n, name)) and (relative or showing(n)))
        point = node and center(node, window_origin(wid) if relative else None)
        seen.append(point if point and min(point) > 0 else node and "not placed")
        return point if len(seen) > 1 and point and min(point) > 0 and point == seen[-2] else None
    try:
        return wait_until(f"{app}'s {role} {name!r}", found)
    except AssertionError as missing:
        listed = [a.get_name() for a in applications("")]
        raise AssertionError(f"{missing}; last seen at {seen[-2:]}; on the bus: {listed}") from None


def named(node, name):
    """Whether `node` is called `name`, or that and more after a space ("7 Seven")."""
    text = (node.get_name() or "").strip()
    return text == name or bool(name) and text.startswith(name + " ")
