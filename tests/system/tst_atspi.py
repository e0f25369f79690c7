#!/usr/bin/python3
"""The window as a blind student meets it: through Orca, and through the
accessibility bus that Orca reads.

Started by atspi.sh, which provides an X server, a session bus, the
accessibility bus and a home for Orca. Starts Orca and the program, drives
the window with the keyboard through xdotool, listens on the bus as a
screen reader does, and reads what Orca said from its debug file.

    tst_atspi.py PROGRAM SCRATCH_DIR
"""

import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

APP_NAME = "correlator"
# How long to wait for what must come, however busy the machine.
PATIENCE_S = 30.0


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
    if node.description:
        line += f" ({node.description!r})"
    if value is not None:
        line += " value %g (%g..%g)" % value
    lines = [line]
    for child in node:
        lines += describe(child, depth + 1)
    return lines


def nodes(node):
    yield node
    # A window closing while it is walked leaves holes in the tree.
    for child in node:
        if child is not None:
            yield from nodes(child)


def xdotool(*arguments):
    subprocess.run(["xdotool", *arguments], check=True, capture_output=True)


class Orca:
    """The screen reader, and what it says: the SPEECH OUTPUT lines of its
    debug file, which it writes in blocks, late."""

    SPEECH = re.compile(r"^\S+ - SPEECH OUTPUT: '(.*)'\s*(?:\{'established': \w+\}|\[\{'established': \w+\}\]|None)\s*$")

    def __init__(self, scratch):
        # Orca refuses to start while another of the same user's runs: a
        # second suite beside this one waits its turn, and a screen reader
        # the user is listening to is left alone.
        # The lock is Orca's own program, which every suite finds and none
        # leaves behind.
        self.turn = open(shutil.which("orca"), "rb")
        fcntl.flock(self.turn, fcntl.LOCK_EX)
        others = subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"],
                                capture_output=True, text=True).stdout.split()
        if others:
            print(f"SKIP: Orca already runs for this user (pid {' '.join(others)}); a second one would not start")
            sys.exit(77)
        self.log = os.path.join(scratch, "orca-debug.out")
        self.output = open(os.path.join(scratch, "orca-output.txt"), "w+")
        self.process = subprocess.Popen(
            ["orca", "-u", os.path.join(scratch, "home", "orca"), "--debug-file", self.log],
            stdout=self.output, stderr=subprocess.STDOUT)
        wait_for(lambda: "Screen reader on." in self.said() or self.process.poll() is not None)
        self.output.seek(0)
        assert "Screen reader on." in self.said(), f"Orca did not start: {self.output.read()}"

    def said(self):
        try:
            with open(self.log, errors="replace") as log:
                return [m.group(1) for m in map(self.SPEECH.match, log) if m]
        except FileNotFoundError:
            return []

    def spoke(self, start):
        """Whether an utterance began so, one of many lines included."""
        with open(self.log, errors="replace") as log:
            return f"SPEECH OUTPUT: '{start}" in log.read()

    def stop(self, last):
        """Makes Orca write out what it said, up to the utterance last, and
        stops it; everything it said."""
        for _ in range(60):
            if any(last in line for line in self.said()):
                break
            xdotool("key", "Shift_L")  # each key it logs at length
            time.sleep(0.25)
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(10)
        return self.said()


def after(lines, marker):
    """The utterances after the first one that is marker."""
    assert marker in lines, f"{marker!r} not among {lines}"
    return lines[lines.index(marker) + 1:]


def until(lines, marker):
    """The utterances before the first one that is marker."""
    return lines[:lines.index(marker)] if marker in lines else lines


def main():
    program, scratch = sys.argv[1], sys.argv[2]
    events = []  # (time, type, role, name, text) of name and description changes
    focused = []
    focused_nodes = []
    tips = []

    def on_event(event):
        try:
            if event.source.getRole() == pyatspi.ROLE_TOOL_TIP:
                tips.append(str(event.source.name))
            if event.type.startswith("object:property-change:accessible-"):
                source = event.source
                events.append((time.monotonic(), event.type, source.getRoleName(), source.name,
                               source.description))
            elif event.type == "focus:":
                focused.append(str(event.source.name))
                focused_nodes.append(event.source)
        except GLib.GError:
            pass  # gone already: a menu or a dialog that closed

    pyatspi.Registry.registerEventListener(on_event, "object:", "window:", "focus:")
    orca = Orca(scratch)

    # Numbers as in C; Qt's own texts are Italian whatever the locale.
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LC_ALL="C")
    env.pop("LANGUAGE", None)
    with tempfile.TemporaryFile() as errors:
        app_process = subprocess.Popen([program], env=env, stderr=errors)
        try:
            app = find_application()
            assert [(w.getRole(), w.name) for w in app] == [(pyatspi.ROLE_FRAME, "Form1")], describe(app)
            frame = app[0]
            assert "correlatore a clipping" in frame.description.lower(), frame.description
            labels = lambda: {n.name for n in nodes(app) if n.getRole() == pyatspi.ROLE_LABEL}
            assert wait_for(lambda: ".334" in labels()), "no first tick"
            window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Form1$"],
                                    check=True, capture_output=True, text=True).stdout.split()[0]

            # The steps a student takes; each is told apart in what Orca
            # says by what it echoes or reads.
            xdotool("windowfocus", "--sync", window)
            pump(1.5)
            xdotool("key", "Up")  # the signal-to-noise bar: 1 dB
            assert wait_for(lambda: ".377" in labels()), "the tick after Up did not come"
            pump(1.5)
            idle_from = time.monotonic()
            pump(4)  # idle: the ticks go on, nothing changes
            idle_to = time.monotonic()
            xdotool("key", "Tab")  # the delay bar
            pump(1.5)
            xdotool("key", "End")  # 300 microseconds
            pump(1.5)
            xdotool("key", "KP_Enter")  # where am I
            pump(1.5)
            xdotool("key", "--delay", "150", "KP_Add", "KP_Add")  # flat review: read all
            pump(3)

            bars = {n.name: value_of(n) for n in nodes(app) if n.getRole() == pyatspi.ROLE_SCROLL_BAR}
            assert bars == {"(Si/Ni)": (1, -40, 40), "Ritardo tra i due segnali": (300, 0, 300)}, bars
            assert labels() >= {"1", "300", ".377"}, labels()
            during_idle = [e for e in events if idle_from <= e[0] <= idle_to]
            assert not during_idle, f"told of changes while nothing changed: {during_idle}"

            # Keys that repeat fast while the screen reader listens.
            xdotool("key", "--delay", "5", *(["Left"] * 20 + ["Right"] * 20))
            pump(1)
            # Qt's own menu on a bar speaks the user's language.
            xdotool("mousemove", "--window", window, "130", "552", "click", "3")
            pump(0.3)
            xdotool("key", "Down")
            assert wait_for(lambda: "Scorri qui" in focused), focused
            xdotool("key", "Escape")
            pump(0.5)

            # The window's own menu, from the keyboard while a bar has the
            # focus: its items with their shortcuts, the first one said.
            xdotool("key", "shift+F10")
            assert wait_for(lambda: "Salva figura..." in focused), focused
            menu = next(n for n in reversed(focused_nodes) if n.name == "Salva figura...").parent
            items = {n.name: n.queryAction().getKeyBinding(0) for n in nodes(menu)
                     if n.getRole() == pyatspi.ROLE_MENU_ITEM and n.name}
            for name, keys in [("Salva figura...", "Ctrl+S"), ("Copia figura", "Ctrl+C"),
                               ("Guida", "F1"), ("Esci", "Ctrl+Q")]:
                assert name in items and keys in items[name], items
            pump(1.5)
            xdotool("key", "Escape")
            pump(0.5)
            # The guide, read as it opens; Qt's buttons in Italian.
            buttons = lambda: {n.name for n in nodes(app) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON}
            xdotool("key", "F1")
            assert wait_for(lambda: "Chiudi" in buttons()), f"the guide has no Chiudi button: {buttons()}"
            pump(3)
            xdotool("key", "Escape")
            pump(0.5)
            # Qt's file dialog, in Italian too.
            xdotool("windowfocus", "--sync", window)
            xdotool("key", "ctrl+s")
            assert wait_for(lambda: {"Salva", "Annulla"} <= buttons()), \
                f"the save dialog has no Salva and Annulla buttons: {buttons()}"
            # A save refused says why, in the line the command line prints.
            xdotool("key", "ctrl+a")
            xdotool("type", os.path.join(scratch, "missing", "figura.png"))
            xdotool("key", "Return")
            why = lambda: [n.name for n in nodes(app)
                           if n.getRole() == pyatspi.ROLE_LABEL and "impossibile scrivere" in n.name]
            assert wait_for(why), "no message box saying why the save was refused"
            assert why()[0].startswith("impossibile scrivere '"), why()
            xdotool("search", "--name", "^Figura non scritta$", "windowfocus", "--sync", "key", "Return")
            assert wait_for(lambda: not why() and "Salva" not in buttons()), "the message box did not close"
            # Over the plot, the lag under the pointer and the curve there.
            xdotool("windowfocus", "--sync", window)
            xdotool("mousemove", "--window", window, str(round((100 + 150 * 30.636) / 15)), "100")
            assert wait_for(lambda: any(t.startswith("τ = 150.0 µs   C = ") for t in tips)), tips

            # A quantizer chosen from the menu by the keyboard, then its
            # correction: the window's title and its chart's description
            # say what the next tick draws.
            chart = lambda: next((n.description for n in nodes(app) if n.getRole() == pyatspi.ROLE_CHART), "")
            for steps, title in [(["Down"] * 3 + ["Right", "Down", "Down"], "Form1 \u2014 4 livelli"),
                                 (["Down"] * 4, "Form1 \u2014 4 livelli, corretto")]:
                xdotool("windowfocus", "--sync", window)
                xdotool("key", "shift+F10")
                assert wait_for(lambda: focused[-1:] == ["Salva figura..."]), focused[-3:]
                xdotool("key", "--delay", "100", *steps)
                assert wait_for(lambda: focused[-1:] in (["4 livelli (2 bit)"], ["Correzione di Van Vleck"])), \
                    focused[-3:]
                xdotool("key", "Return")
                assert wait_for(lambda: frame.name == title), f"the title is {frame.name!r}, not {title!r}"
                assert wait_for(lambda: title.split("\u2014 ")[1] in chart()), chart()

            print("\n".join(describe(app)))
        finally:
            said = orca.stop("- C (r*)")
            guide_read = orca.spoke("La curva magenta")
            app_process.terminate()
            app_process.wait(10)
        errors.seek(0)
        stderr = errors.read().decode(errors="replace")

    print("Orca said:\n  " + "\n  ".join(said))
    # Focus: the bar's name, value, unit, and the result.
    focus = after(said, "Form1 frame.")
    assert focus[1:3] == ["(Si/Ni) scroll bar 0.", "dB, C (0) = .334."], focus[:3]
    # Up: the value, then at the next tick the new result, once; then
    # nothing while nothing changes.
    up = until(after(said, "dB, C (0) = .334."), "tab ")
    assert up == ["1", "notification C (0) = .377."], up
    assert sum("C (0) = .377" in line and "notification" in line for line in said) == 1, said
    # Tab, End: the other bar with its unit and the result; its value.
    assert after(said, "tab ")[:3] == ["Ritardo tra i due segnali scroll bar 0.", "microSec., C (0) = .377.",
                                       "300"], after(said, "tab ")[:3]
    # Where am I: the bar, its value and the result.
    where = after(said, "return ")[0]
    assert where.startswith("Ritardo tra i due segnali scroll bar 300") and "C (0) = .377" in where, where
    # Flat review: each caption, number and unit once; each bar by its name.
    review = until(after(after(said, "plus "), "plus "), "plus ")
    assert "Ritardo tra i due segnali (Si/Ni) 1 dB" in review, review
    assert "(Si/Ni)" in review and "Ritardo tra i due segnali" in review, review
    assert not any(re.search(r"\b(\S+) \1\b", line) for line in review), review
    # The window's menu from the keyboard, and the guide.
    assert after(after(said, "Scorri qui."), "left shift ")[0] == "Salva figura...", after(said, "Scorri qui.")
    assert guide_read, "Orca did not read the guide"
    # The terminal stays quiet.
    assert "keyEventError" not in stderr and "qt.accessibility" not in stderr, stderr
    print("PASS")


if __name__ == "__main__":
    main()
