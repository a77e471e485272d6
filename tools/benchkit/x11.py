"""Start-up and memory on a private X server: the program beside a bare window, then its clip
buttons clicked one after another through XTest."""
import contextlib
import dataclasses
import json
import os
import select
import subprocess
import tempfile
import time
import wave

from .common import Failure, Session, Skipped, clean_env, said, stop
from .helpers import per_thread

try:
    from Xlib import X, display, error
    from Xlib.ext import xtest
except ImportError:  # python3-xlib, which tools/setup installs for Debian's python3
    display = None

FLOOR_TITLE = "Bare window"
STARTUP_RUNS = 20
CLICKS = 100
WARM_CLICKS = 10  # memory growth is counted from here, once every clip has been played once
CLICK_RUNS = 3
SETTLE_SECONDS = 0.5  # from the window's mapping to the reading of the peak memory
SHOW_TIMEOUT = 30  # seconds from a program's start to its window
PARK = (1270, 1010)  # the pointer, away from every window on the 1280 x 1024 screen


@dataclasses.dataclass
class StartupAndMemory:
    ours: list  # the probe's figures of each start: shown_ms, cpu_ms, hwm_kib, ...
    floor: list
    clips: list  # of each clip run: warm_rss_kib, rss_kib, hwm_kib
    clicks: int
    warm: int


def layout(helpers):
    """Form1's size and clip buttons from the program's own table, through ostrivane_layout."""
    exporter = os.path.join(helpers, "ostrivane_layout")
    return json.loads(subprocess.run([exporter], capture_output=True, text=True,
                                     check=True).stdout)


def find_window(title, env, timeout=30):
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                            "^" + title.replace(".", r"\.") + "$"], env=env,
                           capture_output=True, text=True, timeout=timeout).stdout.split()
    if not found:
        raise Failure(f"no window titled {title}")
    return found[0]


def missing_xlib():
    return Skipped("not installed: python3-xlib") if display is None else None


def read_status(pid):
    with open(f"/proc/{pid}/status") as f:
        return {key: int(rest.split()[0]) for key, _, rest in (line.partition(":") for line in f)
                if key in ("VmRSS", "VmHWM")}


class Clicker:
    """XTest on the session's display; a click is stamped on CLOCK_MONOTONIC, the recorders'
    clock, right before the press. Windows are ids as xdotool gives them, 0 the screen."""

    def __init__(self, env):
        self.x = display.Display(env["DISPLAY"])

    def move(self, window, x, y):
        root = self.x.screen().root
        at = root.translate_coords(int(window) or root, x, y)
        xtest.fake_input(self.x, X.MotionNotify, x=at.x, y=at.y)
        self.x.sync()  # the server has moved the pointer before a click is stamped

    def park(self):
        self.move(0, *PARK)

    def click(self, window=None, x=0, y=0):
        """Clicks where the pointer is, or moves it onto (x, y) in window and clicks at once;
        returns the stamp."""
        if window is not None:
            self.move(window, x, y)
        stamp = time.monotonic_ns()
        xtest.fake_input(self.x, X.ButtonPress, 1)
        xtest.fake_input(self.x, X.ButtonRelease, 1)
        self.x.flush()
        return stamp


def cpu_ms(pid):
    """The CPU time the process's threads have run so far, from the scheduler's own accounting
    (which unlike the wall clock hardly depends on what else the machine is doing)."""
    return per_thread(pid, "schedstat", lambda text: int(text.split()[0])) / 1e6


def mapped(x, name, title, program, start):
    """The window whose name (the atom _NET_WM_NAME) is title once it is mapped, and when that was
    seen. Without a window manager (as on the benchmarks' Xvfb) the X server shows a window as it
    maps it."""
    while time.monotonic() < start + SHOW_TIMEOUT:
        while x.pending_events():
            event = x.next_event()
            seen = time.monotonic()
            if event.type == X.MapNotify:
                try:
                    shown = event.window.get_full_property(name, X.AnyPropertyType)
                except error.XError:
                    continue  # gone again
                if shown is not None and shown.value == title.encode():
                    return event.window, seen
        if program.poll() is not None:
            raise Failure(f"{program.args[0]} ended before showing its window")
        select.select([x], [], [], 0.1)  # returns at once when an event comes
    raise Failure(f"no window titled {title} appeared")


@contextlib.contextmanager
def probed(title, command, env, cwd):
    """A program timed from its start to the mapping of its window, running until the with block
    ends: how long that took, the CPU time it had used by then, its pid, its window, and its peak
    memory once it has settled; and the file of what it says."""
    with contextlib.closing(display.Display(env["DISPLAY"])) as x, \
            tempfile.TemporaryFile("w+") as errors:
        # Told of every window mapped from now on: a top-level window is a child of the root.
        x.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        name = x.intern_atom("_NET_WM_NAME")
        start = time.monotonic()
        program = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=errors)
        try:
            window, seen = mapped(x, name, title, program, start)
            started = {"shown_ms": (seen - start) * 1e3, "cpu_ms": cpu_ms(program.pid),
                       "pid": program.pid, "window": str(window.id)}
            time.sleep(SETTLE_SECONDS)
            yield dict(started, hwm_kib=read_status(program.pid)["VmHWM"]), errors
        finally:
            stop(program, 2)


def wait_played(capture, expected, pid, timeout=10):
    """Waits until the clip just clicked is written whole and its device closed, which the player
    does only once the click has returned: a click sent before then would be a click during a
    clip, which is not heard. SDL's disk writer makes the file anew for each device."""
    deadline = time.monotonic() + timeout
    size = -1
    while time.monotonic() < deadline:
        size = os.path.getsize(capture) if os.path.exists(capture) else -1
        fds = f"/proc/{pid}/fd"
        held = any(os.path.realpath(os.path.join(fds, fd)) == capture for fd in os.listdir(fds))
        if size >= expected and not held:
            return
        time.sleep(0.03)
    raise Failure(f"a click did not play its clip ({max(size, 0)} of {expected} bytes written)")


def clip_run(program, form, clicks, env, cwd):
    """Starts the program, clicks its clips one after another and notes its memory."""
    capture = os.path.realpath(os.path.join(cwd, "capture.raw"))
    # The disk writer stands in for the sound card; without its pacing a clip takes milliseconds.
    env = dict(env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=capture, SDL_DISKAUDIODELAY="0")
    clicker = Clicker(env)
    with probed(form["title"], [program], env, cwd) as (started, errors):
        pid = started["pid"]
        warm = None
        for n in range(1, clicks + 1):
            button = form["buttons"][(n - 1) % len(form["buttons"])]
            if os.path.exists(capture):
                os.remove(capture)
            clicker.click(started["window"], button["x"], button["y"])
            with wave.open(os.path.join(os.path.dirname(program), button["clip"])) as w:
                expected = w.getnframes() * w.getsampwidth() * w.getnchannels()
            try:
                wait_played(capture, expected, pid)
            except Failure as failure:
                raise Failure(f"click {n} ({button['clip']}): {failure}; the program said: "
                              + said(errors)) from None
            if n == min(WARM_CLICKS, clicks):
                warm = read_status(pid)
        end = read_status(pid)
        return {"warm_rss_kib": warm["VmRSS"], "rss_kib": end["VmRSS"], "hwm_kib": end["VmHWM"]}


def run(helpers, program, runs=STARTUP_RUNS, clicks=CLICKS, click_runs=CLICK_RUNS):
    """Start-up of the program and of the bare window, alternately, then the clip runs."""
    skipped = missing_xlib()
    if skipped:
        return skipped
    form = layout(helpers)
    bare = [os.path.join(helpers, "ostrivane_bare_window"), FLOOR_TITLE, str(form["width"]),
            str(form["height"])]
    with Session("--x11") as session, tempfile.TemporaryDirectory() as cwd:
        if session.env is None:
            return Skipped(session.why_not)
        env = clean_env(session, SDL_AUDIODRIVER="dummy", OSTRIVANE_AUDIO_OUTPUT="sdl")
        startup = {"ours": [], "floor": []}
        for i in range(runs):
            pair = [("ours", [program], form["title"]), ("floor", bare, FLOOR_TITLE)]
            for name, command, title in (reversed(pair) if i % 2 else pair):
                with probed(title, command, env, cwd) as (started, _):
                    startup[name].append(started)
        clip_runs = [clip_run(program, form, clicks, env, cwd)
                     for _ in range(click_runs)]
    return StartupAndMemory(startup["ours"], startup["floor"], clip_runs, clicks,
                            min(WARM_CLICKS, clicks))
