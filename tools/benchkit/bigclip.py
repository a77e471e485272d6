"""A 1 GiB clip opened and played through the program's MCI commands (ostrivane_big_clip) on a
private PulseAudio: how long the open takes, the memory it needs while it plays, and its sound at
the sink's monitor."""
import array
import dataclasses
import os
import subprocess
import tempfile
import time

from .common import Session, Skipped, method, spread, table, write_tone, yes_no

BYTES = 1 << 30
RATE = 44100
SECONDS = 10.0
RUNS = 3
LEVEL = 12000  # a 440 Hz tone's peak: -8.7 dBFS
OPEN_GOAL_MS = 50
GROWTH_GOAL_MIB = 32
HEARD_SECONDS = 0.5  # after the end, for the recording to reach its file


@dataclasses.dataclass
class BigClip:
    results: list  # of each run: open_ms, length_ms, rss_growth_kib, mode, position_ms, heard_s
    bytes: int
    seconds: float
    version: str


def heard_seconds(path, start):
    """How much of a stereo 16-bit recording from byte start on holds the tone: its 10 ms pieces
    whose left channel reaches half the tone's peak."""
    samples = array.array("h")
    with open(path, "rb") as f:
        f.seek(start)
        data = f.read()
    samples.frombytes(data[:len(data) // 4 * 4])
    left = samples[::2]
    piece = RATE // 100
    return sum(1 for at in range(0, len(left) - piece + 1, piece)
               if max(map(abs, left[at:at + piece])) >= LEVEL // 2) / 100


def run(helpers, runs=RUNS, seconds=SECONDS, size=BYTES):
    program = os.path.join(helpers, "ostrivane_big_clip")
    if not os.path.exists(program):
        return Skipped("ostrivane_big_clip was not built")
    # The session records the null sink's monitor all along, in the clip's format.
    with tempfile.TemporaryDirectory(dir="/tmp") as tmp, Session(
            "--sound", "pulseaudio", "--record",
            "--sink-format", f"format=s16le rate={RATE} channels=2") as server:
        if server.env is None:
            return Skipped(server.why_not)
        clip = os.path.join(tmp, "big.wav")
        write_tone(clip, (size - 44) // 4, rate=RATE, hz=440, level=LEVEL)
        env = dict(os.environ, **server.env, OSTRIVANE_AUDIO_OUTPUT="pulse")
        results = []
        monitor = server.env["OSTR_MONITOR"]
        for _ in range(runs):
            start = os.path.getsize(monitor) // 4 * 4
            reply = subprocess.run([program, clip, str(seconds)], env=env, check=True,
                                   capture_output=True, text=True).stdout
            time.sleep(HEARD_SECONDS)
            result = dict(line.split(" ", 1) for line in reply.splitlines())
            result["heard_s"] = heard_seconds(monitor, start)
            results.append(result)
        return BigClip(results, os.path.getsize(clip), seconds, server.version)


def section(big):
    size = big.bytes if isinstance(big, BigClip) else BYTES
    size = f"{size >> 30} GiB" if size >= 1 << 30 else f"{size >> 20} MiB"
    lines = [f"## A {size} clip (PulseAudio, null sink)", ""]
    if isinstance(big, Skipped):
        return "\n".join(lines + [f"Not run: {big.why}."])
    opened = [float(r["open_ms"]) for r in big.results]
    growth = [int(r["rss_growth_kib"]) / 1024 for r in big.results]
    heard = [r["heard_s"] for r in big.results]
    runs = str(len(big.results))
    lines += table(["Figure", "Median (min–max)", "Runs", "Goal", "Holds?"], [
        ["`open`, from the command to its reply (the first clip: libpulse loaded and the server "
         "connected too)", f"{spread(opened, 2)} ms", runs, f"≤ {OPEN_GOAL_MS} ms",
         yes_no(max(opened) <= OPEN_GOAL_MS)],
        ["Resident memory grown from before the open to the process's peak while playing",
         f"{spread(growth)} MiB", runs, f"≤ {GROWTH_GOAL_MIB} MiB",
         yes_no(max(growth) <= GROWTH_GOAL_MIB)],
        ["The tone heard at the sink's monitor", f"{spread(heard)} s", runs,
         f"≥ {big.seconds - 1:g} of its {big.seconds:g} s",
         yes_no(min(heard) >= big.seconds - 1)],
    ]) + [""]
    lengths = sorted({r["length_ms"] for r in big.results})
    ends = sorted({f"{r['mode']} at {r['position_ms']} ms" for r in big.results})
    lines += [f"- The clip: {big.bytes:,} bytes, a 440 Hz tone, {RATE} Hz 16-bit stereo "
              f"PCM; `status … length` {', '.join(lengths)} ms.",
              f"- After {big.seconds:g} s: {', '.join(ends)} (the position counts what has "
              f"been handed to the server, which holds up to 300 ms of it ahead).",
              method("big-clip", seconds=big.seconds, version=big.version).rstrip("\n")]
    return "\n".join(lines)
