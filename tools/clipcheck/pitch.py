"""A clip's pitch, measured with Praat, and the shape of its contour."""

import math
import statistics
import subprocess
from dataclasses import dataclass
from pathlib import Path

from . import wavfile

SCRIPT = Path(__file__).resolve().parent.parent / "praat" / "measure-pitch.praat"

# Praat's frame step for a 75 Hz floor.
FRAME_STEP = 0.01
# The stretch of voicing at each end that a one-word call's peak is compared with.
EDGE = 0.05
# A turn of the contour counts once it has gone this far back from its last extreme: smaller
# moves are the voice's own jitter and the tracker's.
TURN = 1.0  # semitones
# Between neighbouring voiced frames, a jump this large is the tracker slipping, not the voice.
SLIP = 6.0  # semitones
# A silence this long, this far under the loudest 10 ms, ends the horn that opens a clip.
GAP = 0.08  # seconds
GAP_DEPTH = 45.0  # dB


def semitones(high, low):
    return 12 * math.log2(high / low)


def smooth(values):
    """A running median of three: a single frame's slip is neither a peak nor a turn."""
    return [statistics.median(values[max(i - 1, 0):i + 2]) for i in range(len(values))]


@dataclass
class Pitch:
    q05: float
    median: float
    q95: float
    # (time, Hz) of each voiced frame.
    frames: list

    @property
    def range(self):
        """From the 5 % to the 95 % quantile, in semitones."""
        return semitones(self.q95, self.q05)

    def _edge(self, first):
        times = [t for t, _ in self.frames]
        if first:
            inside = [f for t, f in self.frames if t < times[0] + EDGE]
        else:
            inside = [f for t, f in self.frames if t > times[-1] - EDGE]
        return statistics.median(inside)

    def rise_fall(self):
        """How far the peak stands above the first and the last 50 ms of voicing, the lesser."""
        peak = max(smooth([f for _, f in self.frames]))
        return min(semitones(peak, self._edge(True)), semitones(peak, self._edge(False)))

    def _contour(self):
        """The voiced frames in semitones, one after another, without the tracker's slips."""
        values = []
        for _, f0 in self.frames:
            value = 12 * math.log2(f0)
            if not values or abs(value - values[-1]) <= SLIP:
                values.append(value)
        return smooth(values)

    def turns_per_second(self):
        """Reversals of direction of at least TURN, per second of voicing.

        The voice's pitch is followed across the consonants that break the voicing: from one
        syllable to the next is where speech turns.
        """
        values = self._contour()
        turns = 0
        direction = 0
        low = high = extreme = values[0]
        for value in values[1:]:
            if direction == 0:
                low = min(low, value)
                high = max(high, value)
                if value - low >= TURN or high - value >= TURN:
                    direction = 1 if value - low >= TURN else -1
                    extreme = value
            elif (value - extreme) * direction > 0:
                extreme = value
            elif (extreme - value) * direction >= TURN:
                turns += 1
                direction = -direction
                extreme = value
        return turns / (len(self.frames) * FRAME_STEP)


def speech_start(path):
    """Where the speech begins after a horn: the end of the first long silence after sound."""
    samples, rate = wavfile.read_mono(path)
    size = rate // 100
    levels = []
    for start in range(0, len(samples) - size + 1, size):
        block = samples[start:start + size]
        levels.append(math.sqrt(sum(s * s for s in block) / size) + 1e-9)
    floor = max(levels) * 10 ** (-GAP_DEPTH / 20)
    needed = round(GAP * 100)
    quiet = 0
    heard = False
    for index, level in enumerate(levels):
        if level >= floor:
            if heard and quiet >= needed:
                return index * size / rate
            heard = True
            quiet = 0
        else:
            quiet += 1
    raise ValueError("%s: no silence after its horn" % path)


def measure(path, start=0.0):
    """The clip's pitch from start (seconds) on."""
    # Praat takes a relative path from the script's folder.
    run = subprocess.run(["praat", "--run", str(SCRIPT), str(Path(path).resolve()), "%.3f" % start],
                         capture_output=True, text=True, stdin=subprocess.DEVNULL)
    lines = run.stdout.split("\n")
    if run.returncode != 0 or not lines[0].strip():
        raise RuntimeError("praat could not measure %s: %s" % (path, run.stderr.strip()))
    quantiles = lines[0].split()
    if "--undefined--" in quantiles:
        raise ValueError("%s: no voicing found" % path)
    frames = [tuple(float(x) for x in line.split()) for line in lines[1:] if line.strip()]
    return Pitch(*(float(q) for q in quantiles), frames)
