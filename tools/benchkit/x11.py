"""Start-up and memory on a private X server: the program beside a bare window, then its clip
buttons clicked one after another with xdotool."""
import contextlib
import dataclasses
import json
import os
import subprocess
import tempfile
import time
import wave

from .common import TITLE, Failure, Session, Skipped, clean_env, missing
from .helpers import Helper

FLOOR_TITLE = "Bare window"
STARTUP_RUNS = 20
CLICKS = 100
WARM_CLICKS = 10  # memory growth is counted from here, once every clip has been played once
CLICK_RUNS = 3
SETTLE_SECONDS = 0.5  # from the window's mapping to the reading of the peak memory


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


def xdotool(*args, env=None):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True, env=env)
    if result.returncode != 0:
        raise Failure("xdotool " + " ".join(args) + ": " + result.stderr.strip())
    return result.stdout


def find_window(title, env, timeout=30):
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                            "^" + title.replace(".", r"\.") + "$"], env=env,
                           capture_output=True, text=True, timeout=timeout).stdout.split()
    if not found:
        raise Failure(f"no window titled {title}")
    return found[0]


def read_status(pid):
    with open(f"/proc/{pid}/status") as f:
        return {key: int(rest.split()[0]) for key, _, rest in (line.partition(":") for line in f)
                if key in ("VmRSS", "VmHWM")}


@contextlib.contextmanager
def probed(probe, title, command, env, cwd):
    """A program started by the start-up probe, running until the with block ends: the probe's
    figures, with its peak memory once it has settled, and the probe (which tells what the
    program said)."""
    helper = Helper(f"the start-up probe of {command[0]}", [probe, title, *command], env, cwd)
    try:
        words = helper.next(60, ("shown",))
        if words is None:
            raise Failure(f"{helper.name} gave no figures")
        _, shown_ms, cpu_ms, pid, window = words
        time.sleep(SETTLE_SECONDS)
        yield {"shown_ms": float(shown_ms), "cpu_ms": float(cpu_ms), "pid": int(pid),
               "window": window, "hwm_kib": read_status(pid)["VmHWM"]}, helper
    finally:
        helper.process.stdin.close()  # the probe stops the program and ends
        helper.process.wait(30)
        helper.close()


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


def clip_run(probe, program, buttons, clicks, env, cwd):
    """Starts the program, clicks its clips one after another and notes its memory."""
    capture = os.path.realpath(os.path.join(cwd, "capture.raw"))
    # The disk writer stands in for the sound card; without its pacing a clip takes milliseconds.
    env = dict(env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=capture, SDL_DISKAUDIODELAY="0")
    with probed(probe, TITLE, [program], env, cwd) as (started, helper):
        pid = started["pid"]
        warm = None
        for n in range(1, clicks + 1):
            button = buttons[(n - 1) % len(buttons)]
            if os.path.exists(capture):
                os.remove(capture)
            xdotool("mousemove", "--window", started["window"], str(button["x"]),
                    str(button["y"]), "click", "1", env=env)
            with wave.open(os.path.join(os.path.dirname(program), button["clip"])) as w:
                expected = w.getnframes() * w.getsampwidth() * w.getnchannels()
            try:
                wait_played(capture, expected, pid)
            except Failure as failure:
                raise Failure(f"click {n} ({button['clip']}): {failure}; the program said: "
                              + helper.said()) from None
            if n == min(WARM_CLICKS, clicks):
                warm = read_status(pid)
        end = read_status(pid)
        return {"warm_rss_kib": warm["VmRSS"], "rss_kib": end["VmRSS"], "hwm_kib": end["VmHWM"]}


def run(helpers, program, runs=STARTUP_RUNS, clicks=CLICKS, click_runs=CLICK_RUNS):
    """Start-up of the program and of the bare window, alternately, then the clip runs."""
    probe = os.path.join(helpers, "ostrivane_startup_probe")
    if not os.path.exists(probe):
        return missing("ostrivane_startup_probe (no xcb)")
    skipped = missing("xdotool")
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
            pair = [("ours", [program], TITLE), ("floor", bare, FLOOR_TITLE)]
            for name, command, title in (reversed(pair) if i % 2 else pair):
                with probed(probe, title, command, env, cwd) as (started, _):
                    startup[name].append(started)
        clip_runs = [clip_run(probe, program, form["buttons"], clicks, env, cwd)
                     for _ in range(click_runs)]
    return StartupAndMemory(startup["ours"], startup["floor"], clip_runs, clicks,
                            min(WARM_CLICKS, clicks))
