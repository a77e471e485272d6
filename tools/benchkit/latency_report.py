"""The click-to-sink section of docs/benchmarks.md."""
import os
import statistics

from .common import Skipped, machine_line, spread, table, yes_no
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
        settings = idle["settings"]
        lines.append("- The graph's settings (`pw-metadata -n settings`): " + ", ".join(
            f"{key} {settings[key]}" for key in ("clock.quantum", "clock.min-quantum",
                                                  "clock.max-quantum", "clock.force-quantum")
            if key in settings))
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
    labels = {"pulseaudio": ["{version}"],
              "pipewire": ["{version}, nothing else holding the quantum low",
                           "{version}, the 1 ms libpulse recorder beside, holding it low"]}
    titles = [title for _, title in COLUMNS]
    heard, quanta = [], []
    notes, goals, checks, paths, checks_of = [], [], [], [], {}
    for kind in ("pulseaudio", "pipewire"):
        result = results.get(kind)
        if result is None:
            continue
        if isinstance(result, Skipped):
            notes.append(f"{kind}: not run: {result.why}")
            continue
        version = result.version
        for label, row in zip(labels[kind], result.rows):
            label = label.format(version=version)
            columns = row["columns"]
            ms = {name: [s["ms"] for s in columns[name]["samples"]] for name, _ in COLUMNS}
            heard.append([label] + [spread(ms[name]) for name, _ in COLUMNS])
            if kind == "pipewire":
                quanta.append([label] + [quantum_text(columns[name]["quanta"])
                                         for name, _ in COLUMNS])
            for name, title in COLUMNS:
                pieces = [s["pieces"] for s in columns[name]["samples"]]
                broken = sum(1 for p in pieces if p > 1)
                if broken:
                    notes.append(f"{label}, {title}: {broken} of {len(pieces)} clips reached the "
                                 f"sink in more than one piece (a gap of 30 ms or more)")
            if row is result.rows[0] and ms["floor"] and ms["warm"]:
                floor = statistics.median(ms["floor"])
                warm_median, warm_max = statistics.median(ms["warm"]), max(ms["warm"])
                goals.append(f"- {label}: warm median {warm_median:.1f} ms ≤ floor {floor:.1f} + "
                             f"6 ms: {yes_no(warm_median <= floor + 6)}; warm maximum "
                             f"{warm_max:.1f} ms ≤ floor + 25 ms: "
                             f"{yes_no(warm_max <= floor + 25)}")
            after = {}  # of each bare window: from the click it handled to the sink
            for name, what in (("floor", "the floor writes"), ("paplay", "paplay is started")):
                handled = [s for s in columns[name]["samples"] if "handled_ms" in s]
                after[name] = [s["ms"] - s["handled_ms"] for s in handled]
                if handled:
                    paths.append(f"- {label}: from the click to the moment {what} (X, then Qt's "
                                 f"clicked()) {spread([s['handled_ms'] for s in handled])} ms; "
                                 f"from then to the sink {spread(after[name])} ms")
            wrote = after["floor"]
            if wrote:
                # The libpulse recorder places a read's samples in the millisecond before the read
                # returned: it can put an onset up to 1 ms early. The native one is exact.
                bound, what = (-1.0, "never more than a read (1 ms) below zero") \
                    if kind == "pulseaudio" else (0.0, "never below zero")
                checks.append(f"- {label}: from the floor's write (its own CLOCK_MONOTONIC stamp) "
                              f"to the onset heard: {spread(wrote, 2)} ms, {what}: "
                              f"{yes_no(min(wrote) >= bound)}")
            every = [s for name, _ in COLUMNS for s in columns[name]["samples"]]
            both = [s["pulse_recorder_ms"] - s["ms"] for s in every if "pulse_recorder_ms" in s]
            if both:
                checks.append(f"- {label}: the same onsets heard by both recorders ({len(both)} "
                              f"of {len(every)}), the 1 ms libpulse recorder's time less the "
                              f"native recorder's: {spread(both, 2)} ms")
            late = [s["callback_ms"] for s in every if "callback_ms" in s]
            if late:
                checks.append(f"- {label}: the native recorder's callback for an onset's cycle "
                              f"ran {spread(late, 2)} ms after the cycle's start")
        checks_of[kind] = idle_lines(result.idle, kind == "pipewire")
        line = (f"- {version}: the recorder ran at real-time priority (SCHED_FIFO): "
                f"{yes_no(result.recorder_realtime)}")
        if kind == "pipewire":
            line += (f"; its callback ran more than a quantum after its cycle's start "
                     f"{result.recorder_lates} times")
        checks.append(line)
    if heard:
        out += table(["ms from click to the sink, median (min–max)", *titles], heard) + [""]
    if quanta:
        out += table(["Graph quantum (pw-profiler, samples at 48 kHz)", *titles], quanta) + [""]
    lists = [("Warm latency against the floor:", goals)]
    lists += [(f"Idle checks, {results[kind].version}:", lines)
              for kind, lines in checks_of.items()]
    lists += [("Where the bare windows' time goes:", paths), ("The recorders:", checks),
              ("Notes:", [f"- {note}." for note in notes])]
    for heading, lines in lists:
        if lines:
            out += [heading, ""] + lines + [""]
    if quick:
        out += ["*Quick run: a few clicks, a short idle; not for the record.*", ""]
    out.append(METHOD.format(clicks=CLICKS, tone=TONE_SECONDS, hover=HOVER_SECONDS,
                             settle=SETTLE_SECONDS, latency=RECORDER_LATENCY, idle=IDLE_SECONDS,
                             wake=WAKE_SECONDS))
    return "\n".join(out)


METHOD = """\
How these are taken:

- **Servers**: a PulseAudio daemon, and a PipeWire with WirePlumber and pipewire-pulse, each
  private, with a null sink and nothing else on it: no stream of silence keeps it running, the
  recorder does.
- **Clip**: "Long Try!"'s file, in a copy of the program's folder, is a 1 kHz tone at 22.05 kHz,
  16-bit mono, {tone:g} s long, at full level from its first sample.
- **Click**: `ostrivane_clicker` sends an XTest press and release of button 1 and stamps
  CLOCK_MONOTONIC right before the press.
- **Arrival**: the tone's first sample above a quarter of full scale at the null sink's monitor.
  On PulseAudio `ostrivane_pulse_recorder` reads the monitor 1 ms at a time (libpulse) and
  places each read's samples just before the moment the read returned. On PipeWire
  `ostrivane_pipewire_recorder` is a native capture stream asking for `node.latency`
  {latency}, so that it does not lower the graph's quantum; a sample's time is its cycle's start
  on the graph's clock (`pw_stream_get_time_n`, CLOCK_MONOTONIC) plus its place in the cycle, not
  the time its callback ran.
- **Columns**, one after another in the same run: the program warm ({clicks} clicks, the pointer
  on the button from {hover:g} s before the first; each click after the previous clip was heard
  to end and 0.3 s of silence); the program after a cold start ({clicks} starts, each clicked
  {settle:g} s after its window was mapped, the pointer moved from outside onto the button in the
  same moment as the click); `paplay` started by the click on a bare Qt window; the floor, a bare
  Qt window whose libpulse stream (20 ms buffer, 5 ms refill) is connected and uncorked before
  the first click and is written the whole clip on each click. Every click waits a random 0 to
  50 ms more, so that it falls anywhere in PipeWire's cycle. The program plays through whatever
  it finds (no `OSTRIVANE_AUDIO_OUTPUT`); its first warm click is also its first clip.
- **Quantum**: `pw-profiler` runs through each column on PipeWire; the table shows every
  quantum the graph's driver ran meanwhile (with the share of cycles if there were several).
- **Idle checks**: the program started with the pointer outside its window and left for
  {idle:g} s without a clip; then its libpulse client's ("Ostrivane") streams from `pactl list
  sink-inputs`, the graph's quantum from `pw-profiler` (2 s) before it started and now, and the
  sum of `voluntary_ctxt_switches` and `nonvoluntary_ctxt_switches` over its threads
  (`/proc/PID/task/*/status`) before and after {wake:g} s more. Then the pointer on the button
  for 1 s, and its streams again.
"""
