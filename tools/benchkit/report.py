"""docs/benchmarks.md: the tables of figures, each beside its floor and goal, and how they are
taken."""
import os

from . import bigclip, latency_report
from .audio import CLIPS, CPU_RUNS
from .common import ROOT, Skipped, iqr, machine_line, median, table, yes_no
from .x11 import CLICK_RUNS, CLICKS, STARTUP_RUNS, WARM_CLICKS

DOC = os.path.join(ROOT, "docs", "benchmarks.md")


def fmt(value, digits=2):
    if value is None:
        return "—"
    return f"{value:.{digits}f}"


def row(figure, unit, values, floor, goal, holds, digits=2, ratio=True):
    """A figure's cells beside its floor (a number, or "—" where it has none) and goal."""
    m = median(values)
    floor_text = fmt(floor, digits) if isinstance(floor, (int, float)) else floor
    ratio_text = "—"
    if ratio and isinstance(floor, (int, float)) and floor and m is not None:
        ratio_text = f"{m / floor:.2f}×"
    return [figure, f"{fmt(m, digits)} {unit}", fmt(iqr(values), digits), str(len(values)),
            floor_text, ratio_text, goal, "—" if holds is None else yes_no(holds)]


def audio_rows(system):
    """The rows of one sound system. On a sound server it has the same benchmarks with the
    program forced onto SDL (as it played before it had an output of the server's own) and the
    CPU of whole processes per click."""
    values = system.bench.values
    server = system.through_sdl is not None
    rows = []

    for label, description in CLIPS:
        ours_click = values(f"click_to_sound/ours/{label}")
        floor = median(values(f"click_to_sound/floor/{label}"))
        m = median(ours_click)
        if not server:
            rows.append(row(f"Click to sound, {description}", "ms", ours_click, floor,
                            "≤ floor + 2 ms", m - floor <= 2.0))
        else:
            before = median(system.through_sdl.values(f"click_to_sound/ours/{label}"))
            rows.append(row(f"Click to first sample at the server, {description}", "ms",
                            ours_click, floor, f"≤ {before:.2f} + 2 ms (through SDL)",
                            m - before <= 2.0))
        end = values(f"play_through/ours/{label}", "end_ms")
        what = "From the server's drain" if server else "End detection"
        # Below zero, PlayWaveFile returned before the output had played the last sample.
        rows.append(row(f"{what} to the click's return, {description}", "ms", end, 0,
                        f"0 to 15 ms (least: {fmt(min(end) if end else None)})",
                        bool(end) and min(end) >= 0.0 and median(end) < 15.0, ratio=False))
        cpu = values(f"play_through/ours/{label}", "cpu_pct")
        floor_cpu = median(values(f"play_through/floor/{label}", "cpu_pct"))
        rows.append(row(f"CPU while waiting, {description}", "%", cpu, floor_cpu, "< 1 %",
                        median(cpu) < 1.0))
    if server:
        paplay = [1e3 * v for v in system.cpu.paplay]
        for label, costs, goal in (("", system.cpu.ours, True),
                                   (", through SDL (as before)", system.cpu_sdl.ours, None)):
            ms = [1e3 * v for v in costs]
            rows.append(row(f"Whole-process CPU per click, 10 s clip{label}", "ms", ms,
                            median(paplay), "≤ 1.5 × paplay" if goal else "—",
                            median(ms) <= 1.5 * median(paplay) if goal else None, digits=1))
    status = [1e3 * ms for ms in values("mci/status_mode")]
    missing = [1e3 * ms for ms in values("mci/missing_file")]
    rows.append(row("MCI `status … mode`, per call", "µs", status, "—", "—", None, digits=1))
    rows.append(row("MCI open/play/close of a missing file, per call", "µs", missing, "—", "—",
                    None, digits=1))
    return rows


def x11_rows(x11):
    def figures(key, scale=1.0):
        """Ours, and the floor's median."""
        return [r[key] / scale for r in x11.ours], median([r[key] / scale for r in x11.floor])

    rows = []
    mib = 1024.0
    start, floor_start = figures("shown_ms")
    rows.append(row("Start-up to Form1 shown", "ms", start, floor_start, "≤ 1.3 × floor",
                    median(start) <= 1.3 * floor_start, digits=1))
    # The CPU time used by then hardly depends on the machine's load: it shows whether a missed
    # goal is the program's doing or the machine's.
    cpu, floor_cpu = figures("cpu_ms")
    rows.append(row("CPU time used by then (all threads)", "ms", cpu, floor_cpu, "—", None,
                    digits=1))
    hwm, floor_hwm = figures("hwm_kib", mib)
    rows.append(row("Peak RSS after start-up", "MiB", hwm, floor_hwm, "≤ 1.3 × floor",
                    median(hwm) <= 1.3 * floor_hwm, digits=1))
    clips = x11.clips
    if clips:
        after = [r["hwm_kib"] / mib for r in clips]
        rows.append(row(f"Peak RSS after {x11.clicks} clips", "MiB", after, floor_hwm,
                        "≤ 1.3 × floor", median(after) <= 1.3 * floor_hwm, digits=1))
        growth = [r["rss_kib"] - r["warm_rss_kib"] for r in clips]
        label = f"RSS growth, clip {x11.warm} to clip {x11.clicks}"
        rows.append(row(label, "KiB", growth, 0, "none (≤ 256 KiB)", median(growth) <= 256,
                        digits=0, ratio=False))
    return rows


HEADER = ["Figure", "Median", "Spread (IQR)", "Runs", "Floor (median)", "Ratio", "Goal", "Holds?"]

METHOD = """\
## How the figures are taken

- **Sound systems**: SDL's dummy driver (the program forced onto SDL); then a PulseAudio daemon
  and a PipeWire with WirePlumber and pipewire-pulse (and a session bus of its own), each
  started privately with a null sink that a stream of silence from `pacat` keeps running (left
  alone, PulseAudio's null sink takes in two seconds at a time, and every clip would seem to end
  late). There the program plays through its own output for such servers (libpulse), and the
  floor is SDL playing through the same server.
- **Click to sound** (to the first sample at the server): from the `PlayWaveFile` call to the
  moment the first buffer holding the clip has been handed to the output. The benchmark builds
  its own MCI service around an output that wraps the program's and looks at every buffer;
  `PlayWaveFile` itself is unchanged (its `mciSendString` calls are routed to that service at
  link time). Floor: a bare program that `SDL_LoadWAV`s the same file and opens and starts a
  device. On a server, the goal is the program's own figure when forced onto SDL, in the same
  run, plus 2 ms. Each click is one sample, ours and the floor's interleaved at random; the
  previous device is given 100 ms to finish closing.
- **End detection / from the server's drain**: from the moment the output says it has played the
  last sample (SDL: it asks for more after the last buffer holding the clip; a server: its
  stream has drained) to `PlayWaveFile`'s return. Below zero would mean the click returned
  before; the least value is shown beside the goal.
- **CPU while waiting**: CPU seconds of the whole process (`getrusage`, all threads, SDL's and
  libpulse's included) over wall seconds, for the whole `PlayWaveFile` call. Floor: the bare
  SDL program playing the same clip while its caller sleeps on a condition variable.
- **Whole-process CPU per click**: the real program on a private Xvfb, its first clip button
  given a 10 s, 22.05 kHz mono clip; started {cpu_runs} times to be clicked once through xdotool
  and {cpu_runs} times to stay idle as long (the clip's length and 2 s), alternately, after one
  start to warm up. Each start's whole CPU, every thread included, comes from `wait4` at its end;
  a click's cost is a clicked start's less the median of the idle ones. Beside it `paplay`
  playing the same file on the same sink, its whole process from start to exit (`wait4`).
- **MCI commands**: a `status … mode` query with a clip open, and a whole `PlayWaveFile` of a
  file that does not exist, on the program's own service.
- **Start-up**: from just before the fork to the mapping of the window titled
  "Ostrivane v1.0" on a private Xvfb (no window manager: the server exposes a window as it
  maps it), measured by `ostrivane_startup_probe`; {startup_runs} runs, alternating with the floor,
  a bare Qt 6 program showing one empty window the size of Form1's (`ostrivane_layout`), in
  Liberation Sans 8 pt. The floor looks its font up before showing the window (an empty window
  would otherwise never load it).
- **Memory**: VmHWM half a second after the window was shown; then the program's clip buttons
  clicked {clicks} times in turn through xdotool (SDL's disk writer, unpaced, stands in for the
  sound card, so a clip takes milliseconds; each click is checked to have played its clip
  whole). Growth is VmRSS after the last click less VmRSS after click {warm}; {click_runs} runs.
- Median and spread (interquartile range) are over the runs counted in the table; the floors
  are run as many times, interleaved with ours.
"""


def write_doc(audio, x11, latency, big, quick):
    lines = ["# Benchmarks", "",
             "Written by `tools/bench` from a real run; do not edit by hand.", "",
             machine_line(), ""]
    for title, key in (("SDL dummy driver", "dummy"), ("PulseAudio, null sink", "pulseaudio"),
                       ("PipeWire (pipewire-pulse), null sink", "pipewire")):
        lines += [f"## Audio: {title}", ""]
        result = audio.get(key)
        if isinstance(result, Skipped):
            lines.append(f"Not run: {result.why}.")
        else:
            lines += [f"The program's output: `{result.bench.output}`; the floor's SDL driver: "
                      f"`{result.bench.driver}`.", ""]
            lines += table(HEADER, audio_rows(result))
        lines.append("")
    lines += [latency_report.section(latency, quick), "", bigclip.section(big), ""]
    lines += ["## Start-up and memory (Xvfb)", ""]
    if isinstance(x11, Skipped):
        lines.append(f"Not run: {x11.why}.")
    else:
        lines += table(HEADER, x11_rows(x11))
    lines.append("")
    if quick:
        lines += ["*Quick run: every benchmark once, on 0.3 s clips; not for the record.*", ""]
    lines.append(METHOD.format(startup_runs=STARTUP_RUNS, clicks=CLICKS, warm=WARM_CLICKS,
                               click_runs=CLICK_RUNS, cpu_runs=CPU_RUNS))
    return "\n".join(lines)


def replace_section(section):
    """Puts a section (click to sink, or the 1 GiB clip) in place of the one docs/benchmarks.md
    has, or before start-up and memory, leaving the rest of the file as it was."""
    heading = section.split("\n", 1)[0]
    with open(DOC) as f:
        doc = f.read()
    start = doc.find(heading + "\n")
    if start < 0:
        start = end = doc.find("## Start-up and memory")
    else:
        end = doc.find("\n## ", start + len(heading))
        end = len(doc) if end < 0 else end + 1
    section = section.rstrip("\n") + "\n\n"
    with open(DOC, "w") as f:
        f.write(doc[:start] + section + doc[end:])
