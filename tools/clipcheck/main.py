"""The command: every check on the clips folder, or one measure of any files."""

import argparse
import math
import shutil
import statistics
import sys
from pathlib import Path

from . import pitch
from . import recognition
from . import wavfile
from .clips import CLIPS
from .loudness import Loudness

MAX_WER = 0.25
MUST_HEAR = ("misc/welcome to tarvelo.wav", "welcome to")
TARGET_LUFS = -16.0
TOLERANCE_LU = 1.0
MAX_TRUE_PEAK = -1.0
# A raised voice: the clips' median pitch and range, each the median over the clips.
MIN_MEDIAN_F0 = 140.0  # Hz
MIN_MEDIAN_RANGE = 12.0  # semitones
MIN_RANGE = 6.0  # semitones, every clip
MIN_RISE_FALL = 4.0  # semitones, the one-word calls
# Speech moves its pitch a syllable at a time. Measured as turns of direction a second of voicing,
# flite's own contours make 4.9 over the clips (median) and up to 10 in one; a 5.5 Hz vibrato
# of 1.5 st on a level voice makes 9.1 and up to 14.
MAX_MEDIAN_TURNS_PER_SECOND = 6.0
MAX_TURNS_PER_SECOND = 11.0
# Success above failure, their clips' median pitches compared.
MIN_SUCCESS_OVER_FAILURE = 3.0  # semitones
HIGH_CALLS = "success"
LOW_CALLS = "failure"

DESCRIPTION = """\
Checks that the 27 clips are understood, sound like calls and are equally loud.

pocketsphinx stands in for a listener who has never heard the clips: open vocabulary and a closed
choice among the phrases. Praat measures the pitch (To Pitch: 0.0, 75, 500; the 5, 50 and 95 %%
quantiles; the range from the 5 to the 95 %%), past the horn of a clip that opens with one.
Loudness is EBU R128 integrated loudness and true peak, through libebur128 (as ffmpeg's ebur128
filter with peak=true; a mono clip is one channel of weight 1).

It fails unless
- every clip is 22050 Hz 16-bit mono PCM behind a 44-byte header;
- the closed choice finds every real-word phrase, the open word error rate is at most %.2f,
  and "%s" is heard in %s;
- the median of the clips' median F0 is at least %g Hz, the median of their ranges at least
  %g st, and every range at least %g st;
- each one-word call's peak is at least %g st above its first and its last 50 ms of voicing;
- the pitch turns (by %g st or more) at most %g times a second of voicing in the median clip,
  %g in any;
- the %s calls' median F0 is at least %g st above the %s calls';
- every clip is within %g LU of %g LUFS, its true peak at most %g dBTP.""" % (
    MAX_WER, MUST_HEAR[1], Path(MUST_HEAR[0]).name, MIN_MEDIAN_F0, MIN_MEDIAN_RANGE, MIN_RANGE,
    MIN_RISE_FALL, pitch.TURN, MAX_MEDIAN_TURNS_PER_SECOND, MAX_TURNS_PER_SECOND, HIGH_CALLS,
    MIN_SUCCESS_OVER_FAILURE, LOW_CALLS, TOLERANCE_LU, TARGET_LUFS, MAX_TRUE_PEAK)

WIDTH = max(len(clip.path) for clip in CLIPS)


def check_format(clips_dir, failures):
    """The clips that are there and well formed."""
    good = []
    for clip in CLIPS:
        path = clips_dir / clip.path
        if not path.is_file():
            failures.append("%s is missing" % clip.path)
            continue
        problem = wavfile.format_problem(path)
        if problem:
            failures.append("%s: %s" % (clip.path, problem))
        else:
            good.append(clip)
    return good


def check_understood(clips_dir, clips, failures):
    real = [clip for clip in CLIPS if not clip.invented]
    phrases = [" ".join(recognition.reference(clip)) for clip in real]
    heard = recognition.recognise(clips_dir, clips, phrases)
    print("%-*s  %-32s  %s" % (WIDTH, "clip", "open vocabulary heard", "closed choice heard"))
    errors = 0
    words = 0
    exact = 0
    chosen = 0
    for clip in clips:
        said = heard.get(clip, recognition.Heard("", ""))
        note = ""
        if clip.invented:
            note = "  (invented words: not counted)"
        else:
            ref = recognition.reference(clip)
            distance = recognition.edit_distance(ref, recognition.normalise(said.open))
            errors += distance
            words += len(ref)
            exact += distance == 0
            chosen += recognition.normalise(said.closed) == ref
        print('%-*s  %-32s  "%s"%s' % (WIDTH, clip.path, '"%s"' % said.open, said.closed, note))
    wer = errors / words if words else math.inf
    print()
    print("open vocabulary: WER %.3f (%d errors in %d words), %d of %d clips exact"
          % (wer, errors, words, exact, len(real)))
    print("closed choice: %d of %d" % (chosen, len(real)))
    if chosen != len(real):
        failures.append("the closed choice found %d of %d phrases" % (chosen, len(real)))
    if wer > MAX_WER:
        failures.append("the open word error rate %.3f is above %.2f" % (wer, MAX_WER))
    path, needed = MUST_HEAR
    must = [clip for clip in clips if clip.path == path]
    if must:
        words = recognition.normalise(heard.get(must[0], recognition.Heard("", "")).open)
        said = " %s " % " ".join(words)
        found = (" %s " % needed) in said
        print('"%s" heard in "%s": %s' % (needed, must[0].name, "yes" if found else "no"))
        if not found:
            failures.append('"%s" is not heard in %s' % (needed, path))


def measure_pitch(path, horn=False):
    return pitch.measure(path, pitch.speech_start(path) if horn else 0.0)


def check_pitch(clips_dir, clips, failures):
    print("pitch: median of medians at least %g Hz, median range at least %g st, every range at"
          " least %g st," % (MIN_MEDIAN_F0, MIN_MEDIAN_RANGE, MIN_RANGE))
    print("one-word calls' peak %g st above both ends, at most %g turns a second (%g in the"
          " median clip)" % (MIN_RISE_FALL, MAX_TURNS_PER_SECOND, MAX_MEDIAN_TURNS_PER_SECOND))
    print("%-*s  %8s  %8s  %8s  %8s" % (WIDTH, "clip", "median", "range", "turns/s", "peak"))
    medians = {}
    ranges = []
    turn_rates = []
    for clip in clips:
        try:
            measured = measure_pitch(clips_dir / clip.path, clip.horn)
        except ValueError as error:
            failures.append(str(error))
            continue
        medians[clip] = measured.median
        ranges.append(measured.range)
        flag = ""
        if measured.range < MIN_RANGE:
            failures.append("%s: a range of %.1f st" % (clip.path, measured.range))
            flag += "  narrow"
        turns = measured.turns_per_second()
        turn_rates.append(turns)
        if turns > MAX_TURNS_PER_SECOND:
            failures.append("%s: the pitch turns %.1f times a second" % (clip.path, turns))
            flag += "  wobbles"
        peak = ""
        if clip.one_word:
            rise_fall = measured.rise_fall()
            peak = "%.1f" % rise_fall
            if rise_fall < MIN_RISE_FALL:
                failures.append("%s: its peak is %.1f st above its ends" % (clip.path, rise_fall))
                flag += "  no peak"
        print("%-*s  %6.0f Hz  %5.1f st  %8.1f  %8s%s"
              % (WIDTH, clip.path, measured.median, measured.range, turns, peak, flag))
    if not medians:
        return
    median = statistics.median(medians.values())
    spread = statistics.median(ranges)
    turning = statistics.median(turn_rates)
    print()
    print("median F0 %.0f Hz, median range %.1f st, median %.1f turns a second"
          % (median, spread, turning))
    if turning > MAX_MEDIAN_TURNS_PER_SECOND:
        failures.append("the clips' pitch turns %.1f times a second" % turning)
    if median < MIN_MEDIAN_F0:
        failures.append("the clips' median F0 is %.0f Hz" % median)
    if spread < MIN_MEDIAN_RANGE:
        failures.append("the clips' median range is %.1f st" % spread)
    by_folder = {}
    for clip, value in medians.items():
        by_folder.setdefault(clip.folder, []).append(value)
    if HIGH_CALLS in by_folder and LOW_CALLS in by_folder:
        high = statistics.median(by_folder[HIGH_CALLS])
        low = statistics.median(by_folder[LOW_CALLS])
        apart = pitch.semitones(high, low)
        print("%s calls %.0f Hz, %s calls %.0f Hz: %.1f st apart"
              % (HIGH_CALLS, high, LOW_CALLS, low, apart))
        if apart < MIN_SUCCESS_OVER_FAILURE:
            failures.append("%s calls are %.1f st above %s calls" % (HIGH_CALLS, apart, LOW_CALLS))


def check_loudness(clips_dir, clips, failures):
    print("loudness: target %.1f LUFS +/- %.1f LU, true peak at most %.1f dBTP"
          % (TARGET_LUFS, TOLERANCE_LU, MAX_TRUE_PEAK))
    print("%-*s  %8s  %8s" % (WIDTH, "clip", "LUFS", "dBTP"))
    meter = Loudness()
    for clip in clips:
        lufs, peak = meter.measure(clips_dir / clip.path)
        flag = ""
        if not abs(lufs - TARGET_LUFS) <= TOLERANCE_LU:
            failures.append("%s: %.1f LUFS" % (clip.path, lufs))
            flag += "  loudness off"
        if not peak <= MAX_TRUE_PEAK:
            failures.append("%s: true peak %.2f dBTP" % (clip.path, peak))
            flag += "  peak too high"
        print("%-*s  %8.2f  %8.2f%s" % (WIDTH, clip.path, lufs, peak, flag))


def check(clips_dir):
    missing = [tool for tool in recognition.TOOLS + ("praat",) if shutil.which(tool) is None]
    if missing or not (recognition.MODEL / "en-us.lm.bin").exists():
        print("check-clips: needs sox, pocketsphinx, pocketsphinx-en-us and praat (tools/setup"
              " installs them)", file=sys.stderr)
        return 2
    failures = []
    clips = check_format(clips_dir, failures)
    try:
        check_understood(clips_dir, clips, failures)
    except recognition.RecognizerFailed as error:
        print("check-clips: %s" % error, file=sys.stderr)
        return 2
    print()
    check_pitch(clips_dir, clips, failures)
    print()
    check_loudness(clips_dir, clips, failures)
    print()
    if failures:
        print("check-clips: FAILED")
        for failure in failures:
            print("  " + failure)
        return 1
    print("check-clips: all %d clips pass" % len(CLIPS))
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="check-clips", description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("clips_dir", nargs="?", type=Path,
                        default=Path(__file__).resolve().parent.parent.parent / "clips",
                        help="the folder of the four clip folders (default: the repository's)")
    parser.add_argument("--loudness", nargs="+", type=Path, metavar="WAV",
                        help="print just the integrated LUFS and true peak dBTP of each file")
    parser.add_argument("--pitch", nargs="+", type=Path, metavar="WAV",
                        help="print just the median F0, range, turns a second and peak over the"
                             " ends of each file")
    parser.add_argument("--horn", action="store_true",
                        help="with --pitch: measure from the end of the first silence on")
    args = parser.parse_args(argv)
    if args.loudness:
        meter = Loudness()
        for path in args.loudness:
            lufs, peak = meter.measure(path)
            print("%.3f\t%.3f" % (lufs, peak))
        return 0
    if args.pitch:
        for path in args.pitch:
            measured = measure_pitch(path, args.horn)
            print("%.1f\t%.2f\t%.2f\t%.2f\t%s" % (measured.median, measured.range,
                                                  measured.turns_per_second(),
                                                  measured.rise_fall(), path))
        return 0
    return check(args.clips_dir.resolve())
