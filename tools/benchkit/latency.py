"""Click to sink: XTest clicks on the real window, heard at the null sink's monitor, on a private
PulseAudio and a private PipeWire, beside paplay and a bare libpulse client; then idle checks."""
import contextlib
import dataclasses
import os
import random
import tempfile
import time

from .common import Failure, Session, Skipped, clean_env, copy_program, log, missing, \
    write_tone
from .helpers import GRAPH_RATE, TONE_SECONDS, Helper, Recorder, graph_quantum, our_streams, \
    switches
from .x11 import Clicker, find_window, layout, missing_xlib

CLICKS = 25
IDLE_SECONDS = 60
WAKE_SECONDS = 10
# The largest quantum PipeWire allows by default: the recorder never lowers the graph's.
RECORDER_LATENCY = "2048/48000"
HOVER_SECONDS = 0.3  # the pointer on the button this long before a warm click
SETTLE_SECONDS = 0.5  # a started window is left this long before it is clicked
CLICK_WINDOW_CENTRE = (100, 50)
COLUMNS = [("warm", "Ostrivane, warm"), ("cold", "Ostrivane, cold start"), ("paplay", "paplay"),
           ("floor", "a libpulse client already connected, with its stream open (the floor)")]
# Each clip ends on a cycle of the graph's, and the waits after it are fixed: without a random
# wait the clicks would all fall at the same point of PipeWire's cycle (42.7 ms at 2048). The
# waits come from a fixed seed: every run clicks at the same points.
JITTER = random.Random(1)


@dataclasses.dataclass
class ClickToSink:
    version: str
    columns: dict  # {column: [{"ms": ..., "pieces": ..., "click": ..., "handled_ms": ...}]}
    idle: dict
    recorder_realtime: bool


class Stage:
    """What one server's run has: the display, the clicker, the copied program and its clip."""

    def __init__(self, helpers, program, env, form):
        self.helpers = helpers
        self.program = program
        self.folder = os.path.dirname(program)
        button = form["buttons"][0]
        self.clip = os.path.join(self.folder, button["clip"])
        self.title, self.button = form["title"], (button["x"], button["y"])
        self.env = env
        self.clicker = Clicker(env)

    @contextlib.contextmanager
    def started(self, column):
        """The program (warm, cold) or the bare window of column (paplay, floor), as a helper that
        reports the clicks it handles; its window, and where its button is in it."""
        bare = column not in ("warm", "cold")
        if bare:
            helper = Helper(f"the {column} window", [os.path.join(
                self.helpers, "ostrivane_click_window"), column, self.clip], self.env)
            title, button = f"Latency {column}", CLICK_WINDOW_CENTRE
        else:
            helper = Helper("the program", [self.program], self.env, cwd=self.folder)
            title, button = self.title, self.button
        with helper:
            if bare and helper.next(10, ("ready",)) is None:
                raise Failure(f"the {column} window did not start; it said: {helper.said()}")
            yield helper, find_window(title, self.env), button


def one_click(stage, recorder, column, n, window=None, x=0, y=0):
    time.sleep(JITTER.uniform(0.0, 0.05))
    click = stage.clicker.click(window, x, y)
    onset, pieces = recorder.hear(click)
    if onset is None:
        raise Failure(f"{column}, click {n}: the clip was not heard")
    return {"ms": (int(onset[1]) - click) / 1e6, "pieces": pieces, "click": click}


def cold_clicks(stage, recorder, clicks):
    """The program started anew for each click, the pointer moved onto its button in the same
    moment as the click."""
    samples = []
    for n in range(1, clicks + 1):
        stage.clicker.park()
        with stage.started("cold") as (_, window, button):
            time.sleep(SETTLE_SECONDS)
            samples.append(one_click(stage, recorder, "cold", n, window, *button))
    return samples


def warm_clicks(stage, recorder, column, clicks):
    """The program started once, or a bare window, the pointer on its button before the first
    click."""
    samples = []
    with stage.started(column) as (helper, window, button):
        time.sleep(SETTLE_SECONDS)
        stage.clicker.move(window, *button)
        time.sleep(HOVER_SECONDS)
        for n in range(1, clicks + 1):
            sample = one_click(stage, recorder, column, n)
            wrote = helper.next(0, ("wrote",))  # the floor's stamp of the click it handled
            if wrote:
                sample["handled_ms"] = (int(wrote[1]) - sample["click"]) / 1e6
            samples.append(sample)
            time.sleep(0.2)
    return samples


def idle_checks(stage, recorder, pipewire, idle_seconds, wake_seconds):
    """The program started and left alone with the pointer outside its window; then the pointer
    on its button."""
    result = {"idle_seconds": idle_seconds, "wake_seconds": wake_seconds}
    stage.clicker.park()
    sample = min(2.0, idle_seconds)  # the smoke run's idle is short
    if pipewire:
        time.sleep(sample)  # the graph leaves the last column's quantum
        result["quantum_before"] = graph_quantum(stage.env, stage.folder, sample)
    with stage.started("warm") as (program, window, button):
        pid = program.process.pid
        time.sleep(idle_seconds)
        result["streams_idle"] = our_streams(stage.env, pid)
        before = switches(pid)
        time.sleep(wake_seconds)
        result["wakeups"] = switches(pid) - before
        if pipewire:
            result["quantum_idle"] = graph_quantum(stage.env, stage.folder, sample)
        stage.clicker.move(window, *button)
        time.sleep(1.0)
        result["streams_warm"] = our_streams(stage.env, pid)
        if pipewire:
            result["quantum_warm"] = graph_quantum(stage.env, stage.folder, sample)
        # One clip, to see which output the program plays through.
        click = stage.clicker.click()
        time.sleep(0.15)
        result["streams_playing"] = our_streams(stage.env, pid)
        recorder.hear(click)
    stage.clicker.park()
    return result


def recorder_for(kind, helpers, env):
    """The recorder of the null sink's monitor on a server of kind."""
    if kind == "pipewire":
        return Recorder("the PipeWire recorder", [os.path.join(
            helpers, "ostrivane_pipewire_recorder"), "nullsink", RECORDER_LATENCY], env)
    return Recorder("the libpulse recorder", [os.path.join(
        helpers, "ostrivane_pulse_recorder"), "nullsink.monitor", str(GRAPH_RATE)], env)


def on_server(kind, session, helpers, program, clicks, idle_seconds, wake_seconds):
    """Every column on one server, then the idle checks."""
    env = clean_env(session)
    pipewire = kind == "pipewire"
    stage = Stage(helpers, program, env, layout(helpers))
    write_tone(stage.clip, round(22050 * TONE_SECONDS), channels=1)
    with recorder_for(kind, helpers, env) as recorder:
        stage.clicker.park()
        time.sleep(1.0)
        columns = {}
        for column, _ in COLUMNS:
            log(f"   {column}")
            columns[column] = (cold_clicks(stage, recorder, clicks) if column == "cold" else
                               warm_clicks(stage, recorder, column, clicks))
            stage.clicker.park()
        log("   idle checks")
        idle = idle_checks(stage, recorder, pipewire, idle_seconds, wake_seconds)
        return ClickToSink(session.version, columns, idle, recorder.realtime)


def run(helpers, program, clicks=CLICKS, idle_seconds=IDLE_SECONDS, wake_seconds=WAKE_SECONDS):
    """Both servers, each with its own null sink and nothing keeping it running but the
    recorder. Returns {kind: ClickToSink, or Skipped}."""
    results = {}
    for kind in ("pulseaudio", "pipewire"):
        needed = ["ostrivane_click_window", "ostrivane_layout",
                  f"ostrivane_{'pipewire' if kind == 'pipewire' else 'pulse'}_recorder"]
        absent = [name for name in needed if not os.path.exists(os.path.join(helpers, name))]
        if absent:
            results[kind] = Skipped("not built: " + ", ".join(absent))
            continue
        results[kind] = missing_xlib() or missing("xdotool", "paplay", *(
            ["pw-profiler"] if kind == "pipewire" else []))
        if results[kind]:
            continue
        # Both sinks at the graph's rate, which the recorders read in.
        with Session("--x11", "--sound", kind, "--no-keep-alive",
                     "--sink-format", f"rate={GRAPH_RATE}") as session, \
                tempfile.TemporaryDirectory() as tmp:
            if session.env is None:
                results[kind] = Skipped(f"{kind} is missing ({session.why_not})")
                continue
            log(f"== click to sink, {session.version}")
            copy = copy_program(program, os.path.join(tmp, "program"))
            results[kind] = on_server(kind, session, helpers, copy, clicks, idle_seconds,
                                      wake_seconds)
    return results
