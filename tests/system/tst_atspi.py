#!/usr/bin/python3
"""The window as a screen reader sees it.

Started by atspi.sh, which provides an X server, a session bus and the
accessibility bus. Starts the program, listens on the bus like a screen
reader does, drives the bars with the keyboard through xdotool and checks
what the bus says after the next tick.

    tst_atspi.py PROGRAM
"""

import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

APP_NAME = "correlator"
# How long to wait for what must come, however busy the machine.
PATIENCE_S = 20.0


def pump(seconds):
    """Lets the bus deliver events for a while."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


def wait_for(condition, seconds=PATIENCE_S):
    """Pumps the bus until condition() holds; its last result."""
    end = time.monotonic() + seconds
    while True:
        result = condition()
        if result or time.monotonic() > end:
            return result
        pump(0.05)


def find_application():
    desktop = pyatspi.Registry.getDesktop(0)
    found = wait_for(lambda: [app for app in desktop if app is not None and app.name == APP_NAME])
    assert found, "the program never appeared on the accessibility bus"
    return found[0]


def value_of(node):
    try:
        value = node.queryValue()
    except NotImplementedError:
        return None
    return (value.currentValue, value.minimumValue, value.maximumValue)


def describe(node, depth=0):
    value = value_of(node)
    line = "  " * depth + f"[{node.getRoleName()}] {node.name!r}"
    if value is not None:
        line += " value %g (%g..%g)" % value
    lines = [line]
    for child in node:
        lines += describe(child, depth + 1)
    return lines


def nodes(node):
    yield node
    for child in node:
        yield from nodes(child)


def xdotool(*arguments):
    subprocess.run(["xdotool", *arguments], check=True, capture_output=True)


def main():
    program = sys.argv[1]
    name_changes = []
    focused = []

    def on_event(event):
        if event.type == "object:property-change:accessible-name":
            name_changes.append(str(event.source.name))
        elif event.type == "focus:":
            focused.append(str(event.source.name))

    # A listening client: Qt only sends events, and would only warn about
    # ones it cannot send, when somebody listens.
    pyatspi.Registry.registerEventListener(on_event, "object:", "window:", "focus:")

    # Numbers as in C, Qt's own texts in Italian.
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LC_ALL="C", LANGUAGE="it")
    with tempfile.TemporaryFile() as errors:
        app_process = subprocess.Popen([program], env=env, stderr=errors)
        try:
            app = find_application()
            assert [(w.getRole(), w.name) for w in app] == [(pyatspi.ROLE_FRAME, "Form1")], describe(app)
            window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Form1$"],
                                    check=True, capture_output=True, text=True).stdout.split()[0]
            xdotool("windowfocus", "--sync", window)

            # The signal-to-noise bar has the focus: ten steps up are +10 dB.
            # Then the delay bar: three to the right and one back is 2.
            for key in ["Up"] * 10 + ["Tab"] + ["Right"] * 3 + ["Left"]:
                xdotool("key", key)
            expected = {"(Si/Ni)": (10, -40, 40), "Ritardo tra i due segnali": (2, 0, 300)}
            bars = lambda: {n.name: value_of(n) for n in nodes(app) if n.getRole() == pyatspi.ROLE_SCROLL_BAR}
            assert wait_for(lambda: bars() == expected), bars()

            readouts = ["(Si/Ni) 10 dB", "Ritardo tra i due segnali 2 microSec.", "C (0) = .727"]
            labels = lambda: {n.name for n in nodes(app) if n.getRole() == pyatspi.ROLE_LABEL}
            assert wait_for(lambda: all(r in name_changes for r in readouts)), name_changes
            for readout in readouts:
                assert readout in labels(), f"{readout!r} not among {sorted(labels())}"

            # Qt's own menu on a bar speaks the user's language.
            xdotool("mousemove", "--window", window, "130", "552", "click", "3")
            pump(0.3)
            xdotool("key", "Down")
            assert wait_for(lambda: "Scorri qui" in focused), focused
            xdotool("key", "Escape")

            print("\n".join(describe(app)))
        finally:
            app_process.terminate()
            app_process.wait(10)
        errors.seek(0)
        stderr = errors.read().decode(errors="replace")
    assert "qt.accessibility" not in stderr, stderr
    print("PASS")


if __name__ == "__main__":
    main()
