"""The click-to-sink section of docs/benchmarks.md."""
import os
import statistics

from .common import Skipped, machine_line, method, spread, table, yes_no
from .latency import COLUMNS, CLICKS, HOVER_SECONDS, IDLE_SECONDS, RECORDER_LATENCY, \
    SETTLE_SECONDS, WAKE_SECONDS
from .helpers import TONE_SECONDS, quantum_text


def idle_lines(idle, pipewire):
    lines = []
    idle_streams = idle["streams_idle"]
    uncorked = sum(1 for corked in idle_streams if not corked)
    lines.append(f"- After {idle['idle_seconds']:g} s idle, pointer outside: the program's "
                 f"playback streams {len(idle_streams)}, uncorked {uncorked}; none uncorked: "
                 f"{yes_no(uncorked == 0)}")
    if pipewire:
        before, after = idle["quantum_before"], idle["quantum_idle"]
        same = set(before) == set(after)
        lines.append(f"- Graph quantum without the program {quantum_text(before)}, after "
                     f"{idle['idle_seconds']:g} s with it idle {quantum_text(after)}; the same: "
                     f"{yes_no(same)}")
    lines.append(f"- Context switches of the idle program over {idle['wake_seconds']:g} s (all "
                 f"threads): {idle['wakeups']}; no wake-up: {yes_no(idle['wakeups'] == 0)}")
    warm = idle["streams_warm"]
    uncorked = sum(1 for corked in warm if not corked)
    line = (f"- 1 s after the pointer reached the button: playback streams {len(warm)}, "
            f"uncorked {uncorked}; one uncorked (warm): {yes_no(uncorked == 1)}")
    if pipewire:
        line += f"; graph quantum {quantum_text(idle['quantum_warm'])}"
    lines.append(line)
    playing = idle["streams_playing"]
    lines.append(f"- 150 ms after a click: the program's streams on the server (libpulse client "
                 f"\"Ostrivane\") {len(playing)}; it plays through libpulse: "
                 f"{yes_no(len(playing) > 0)}")
    return lines


def section(results, quick=False):
    out = ["## Click to sink (Xvfb, XTest, the null sink's monitor)", "", machine_line()
           + f" Load average {os.getloadavg()[0]:.1f} at the end.", ""]
    heard, notes, goals, checks, checks_of = [], [], [], [], {}
    for kind in ("pulseaudio", "pipewire"):
        result = results.get(kind)
        if result is None:
            continue
        if isinstance(result, Skipped):
            notes.append(f"{kind}: not run: {result.why}")
            continue
        label = result.version
        ms = {name: [s["ms"] for s in result.columns[name]] for name, _ in COLUMNS}
        heard.append([label] + [spread(ms[name]) for name, _ in COLUMNS])
        for name, title in COLUMNS:
            broken = sum(1 for s in result.columns[name] if s["pieces"] > 1)
            if broken:
                notes.append(f"{label}, {title}: {broken} of {len(ms[name])} clips reached the "
                             f"sink in more than one piece (a gap of 30 ms or more)")
        if ms["floor"] and ms["warm"]:
            floor = statistics.median(ms["floor"])
            warm_median, warm_max = statistics.median(ms["warm"]), max(ms["warm"])
            goals.append(f"- {label}: warm median {warm_median:.1f} ms ≤ floor {floor:.1f} + "
                         f"6 ms: {yes_no(warm_median <= floor + 6)}; warm maximum "
                         f"{warm_max:.1f} ms ≤ floor + 25 ms: {yes_no(warm_max <= floor + 25)}")
        # From the floor's own stamp of its write to the onset heard: below zero, the recorder's
        # clock would be off. The libpulse recorder places a read's samples in the millisecond
        # before the read returned, so it may put an onset up to 1 ms early; the native one is
        # exact.
        wrote = [s["ms"] - s["handled_ms"] for s in result.columns["floor"] if "handled_ms" in s]
        if wrote:
            bound, what = (-1.0, "never more than a read (1 ms) below zero") \
                if kind == "pulseaudio" else (0.0, "never below zero")
            checks.append(f"- {label}: from the floor's write (its own CLOCK_MONOTONIC stamp) "
                          f"to the onset heard: {spread(wrote, 2)} ms, {what}: "
                          f"{yes_no(min(wrote) >= bound)}")
        checks.append(f"- {label}: the recorder ran at real-time priority (SCHED_FIFO): "
                      f"{yes_no(result.recorder_realtime)}")
        checks_of[kind] = idle_lines(result.idle, kind == "pipewire")
    if heard:
        out += table(["ms from click to the sink, median (min–max)",
                      *[title for _, title in COLUMNS]], heard) + [""]
    lists = [("Warm latency against the floor:", goals)]
    lists += [(f"Idle checks, {results[kind].version}:", lines)
              for kind, lines in checks_of.items()]
    lists += [("The recorders:", checks), ("Notes:", [f"- {note}." for note in notes])]
    for heading, lines in lists:
        if lines:
            out += [heading, ""] + lines + [""]
    if quick:
        out += ["*Quick run: a few clicks, a short idle; not for the record.*", ""]
    out.append(method("click-to-sink", clicks=CLICKS, tone=TONE_SECONDS, hover=HOVER_SECONDS,
                      settle=SETTLE_SECONDS, latency=RECORDER_LATENCY, idle=IDLE_SECONDS,
                      wake=WAKE_SECONDS))
    return "\n".join(out)
