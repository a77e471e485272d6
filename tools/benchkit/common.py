"""What every benchmark shares: paths, failures, statistics, and the private servers."""
import dataclasses
import datetime
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HELPER = os.path.join(ROOT, "tools", "private-session")
SKIP = 77  # ctest's "skipped"


class Failure(Exception):
    pass


@dataclasses.dataclass
class Skipped:
    """A benchmark that was not run, and why."""

    why: str


def log(message):
    print(message, file=sys.stderr, flush=True)


def missing(*tools):
    """Skipped, naming the tools not installed, or None."""
    absent = [tool for tool in tools if shutil.which(tool) is None]
    return Skipped("not installed: " + ", ".join(absent)) if absent else None


def median(values):
    return statistics.median(values) if values else None


def iqr(values):
    if len(values) < 2:
        return 0.0
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[2] - q[0]


def spread(values, digits=1):
    """The median and the range, "1.2 (0.9–1.5)"."""
    if not values:
        return "—"
    return (f"{statistics.median(values):.{digits}f} ({min(values):.{digits}f}–"
            f"{max(values):.{digits}f})")


def yes_no(holds):
    return "yes" if holds else "**no**"


def table(header, rows):
    """A Markdown table's lines: the header's cells, then each row's."""
    lines = [f"| {' | '.join(header)} |", "|---" * len(header) + "|"]
    return lines + [f"| {' | '.join(row)} |" for row in rows]


class Session:
    """Private servers started by tools/private-session with its options, for a with block: env is
    their environment, or why_not says which could not start."""

    def __init__(self, *options):
        self.options = options
        self.env = None
        self.why_not = None

    def __enter__(self):
        started = subprocess.run([HELPER, *self.options, "--start", "--owner", str(os.getpid())],
                                 capture_output=True, text=True)
        if started.returncode != 0:
            self.why_not = started.stderr.strip() or "tools/private-session failed"
            if "is not installed" not in self.why_not:
                raise Failure(self.why_not)  # installed, yet it did not start
        else:
            self.env = dict(shlex.split(line)[0].split("=", 1)
                            for line in started.stdout.splitlines())
        return self

    def __exit__(self, *exc):
        if self.env is not None:
            subprocess.run([HELPER, "--stop", self.env["OSTR_SESSION"]], check=False)

    @property
    def version(self):
        return self.env.get("OSTR_SOUND_SERVER", "?")


def clean_env(session, **more):
    """The caller's environment with the session's, and nothing of another display or server."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("PULSE_SERVER", "WAYLAND_DISPLAY", "DISPLAY", "SDL_DISKAUDIOFILE",
                          "OSTRIVANE_AUDIO_OUTPUT", "SDL_AUDIODRIVER", "LANG")}
    return dict(env, **session.env, QT_QPA_PLATFORM="xcb", **more)


def copy_program(program, folder):
    """The program with its clip folders, in folder: the benchmarks put their own clip in it."""
    os.mkdir(folder)
    shutil.copy2(program, folder)
    for clips in ("attempt", "failure", "success", "misc"):
        shutil.copytree(os.path.join(os.path.dirname(program), clips),
                        os.path.join(folder, clips))
    return os.path.join(folder, os.path.basename(program))


def stop(process, seconds=10):
    process.terminate()
    try:
        process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def said(errors):
    """The end of what a process wrote to errors, its temporary file."""
    errors.seek(0)
    return errors.read().strip()[-1000:] or "nothing"


def write_tone(path, frames, rate=22050, channels=2, hz=1000, level=30000):
    """A 16-bit cosine tone, at its peak from its first sample, written a second at a time."""
    import math
    import struct
    import wave

    second = b"".join(struct.pack("<h", round(level * math.cos(2 * math.pi * hz * i / rate)))
                      * channels for i in range(rate))
    left = frames * 2 * channels
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        while left > 0:
            w.writeframesraw(second[:left])
            left -= min(left, len(second))


def method(name, **values):
    """How a section's figures are taken: tools/benchkit/method/NAME.md with values filled in."""
    with open(os.path.join(ROOT, "tools", "benchkit", "method", name + ".md")) as f:
        return f.read().format(**values)


def machine_line():
    with open("/proc/cpuinfo") as f:
        models = [line.split(":", 1)[1].strip() for line in f if line.startswith("model name")]
    cpu = models[0] if models else "unknown CPU"
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    return (f"Run on {now}: {os.cpu_count()} CPUs (nproc {len(os.sched_getaffinity(0))}), "
            f"{cpu}, Linux {platform.release()}.")
