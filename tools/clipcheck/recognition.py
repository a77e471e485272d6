"""A speech recognizer (pocketsphinx) as a listener who has never heard the clips.

Each clip is converted to 16 kHz mono with 0.3 s of silence at both ends and decoded twice: with
the model's own trigram language model ("open": any English the model knows), and with a grammar
that allows just the real-word phrases ("closed": which button was this?).
"""

import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

MODEL = Path("/usr/share/pocketsphinx/model/en-us")
TOOLS = ("sox", "pocketsphinx_batch")

# The file names split compounds that the captions write whole, and the dictionary knows
# "landslide" and "outside" but not "foghorn": each pair counts as the same words.
COMPOUNDS = [("out side", "outside"), ("land slide", "landslide"), ("foghorn", "fog horn")]


def normalise(text):
    """Lower case words, with the compounds written one way; "won't" stays one word."""
    words = re.sub(r"\(\d+\)", "", text.lower()).split()
    joined = " ".join(words)
    for split, whole in COMPOUNDS:
        joined = re.sub(r"\b%s\b" % split, whole, joined)
    return joined.split()


def reference(clip):
    return normalise(Path(clip.path).stem)


def edit_distance(ref, hyp):
    row = list(range(len(hyp) + 1))
    for i, r in enumerate(ref, 1):
        previous, row[0] = row[0], i
        for j, h in enumerate(hyp, 1):
            substitution = previous + (r != h)
            previous = row[j]
            row[j] = min(row[j] + 1, row[j - 1] + 1, substitution)
    return row[len(hyp)]


@dataclass
class Heard:
    open: str
    closed: str


class RecognizerFailed(Exception):
    pass


def _decode(folder, ids, extra, name):
    """Starts pocketsphinx_batch on folder/<id>.wav; returns the process and its hypothesis file."""
    control = folder / (name + ".ctl")
    control.write_text("".join(i + "\n" for i in ids))
    hyp = folder / (name + ".hyp")
    command = [
        "pocketsphinx_batch",
        "-hmm", str(MODEL / "en-us"),
        "-dict", str(MODEL / "cmudict-en-us.dict"),
        "-adcin", "yes",
        "-adchdr", "44",
        "-cepdir", str(folder),
        "-cepext", ".wav",
        "-ctl", str(control),
        "-hyp", str(hyp),
        "-logfn", str(folder / (name + ".log")),
    ] + extra
    return subprocess.Popen(command, stdin=subprocess.DEVNULL), hyp


def _read_hypotheses(hyp):
    heard = {}
    for line in hyp.read_text().splitlines():
        match = re.match(r"^(.*?)\s*\((\S+)(\s+-?\d+)?\)\s*$", line)
        if match:
            heard[match.group(2)] = match.group(1).strip()
    return heard


def recognise(clips_dir, clips, phrases):
    """What is heard in each clip sox can read, open and closed; phrases make the grammar."""
    with tempfile.TemporaryDirectory(prefix="check-clips-") as scratch:
        folder = Path(scratch)
        ids = {}
        for number, clip in enumerate(clips):
            converted = folder / ("clip%02d.wav" % number)
            run = subprocess.run(
                ["sox", "-D", "-R", str(clips_dir / clip.path), "-r", "16000", "-c", "1", "-b",
                 "16", "-e", "signed-integer", str(converted), "pad", "0.3", "0.3"])
            if run.returncode == 0:
                ids[clip] = converted.stem
        (folder / "clips.gram").write_text(
            "#JSGF V1.0;\ngrammar clips;\npublic <clip> = %s;\n" % " | ".join(phrases))
        # The two decoders are independent: one a core.
        trigram = ["-lm", str(MODEL / "en-us.lm.bin")]
        grammar = ["-jsgf", str(folder / "clips.gram")]
        open_run, open_hyp = _decode(folder, ids.values(), trigram, "open")
        closed_run, closed_hyp = _decode(folder, ids.values(), grammar, "closed")
        if open_run.wait() != 0 or closed_run.wait() != 0:
            for log in ("open.log", "closed.log"):
                sys.stderr.write((folder / log).read_text()[-2000:])
            raise RecognizerFailed("pocketsphinx_batch failed; its logs are above")
        open_heard = _read_hypotheses(open_hyp)
        closed_heard = _read_hypotheses(closed_hyp)
    return {clip: Heard(open_heard.get(i, ""), closed_heard.get(i, "")) for clip, i in ids.items()}
