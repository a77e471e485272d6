"""docs/benchmarks.md: the tables of figures, each beside its floor and goal, and how they are
taken."""
import os

from . import bigclip, latency_report
from .audio import CLIPS, CPU_RUNS
from .common import ROOT, Skipped, iqr, machine_line, median, method, table, yes_no
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
        paplay = median([1e3 * v for v in system.cpu.paplay])
        ms = [1e3 * v for v in system.cpu.ours]
        rows.append(row("Whole-process CPU per click, 10 s clip", "ms", ms, paplay,
                        "≤ 1.5 × paplay", median(ms) <= 1.5 * paplay, digits=1))
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
    lines.append(method("figures", startup_runs=STARTUP_RUNS, clicks=CLICKS, warm=WARM_CLICKS,
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
