"""The 27 clips: their paths below the clips folder and what each is measured as."""

from dataclasses import dataclass
from pathlib import Path


@dataclass(frozen=True)
class Clip:
    path: str
    # Words no recognizer knows: kept out of the word error rate and the grammar.
    invented: bool = False
    # A call of one word, which has to rise to its peak and fall from it.
    one_word: bool = False
    # Opens with a horn blast, which the pitch measure skips.
    horn: bool = False

    @property
    def folder(self):
        return self.path.split("/")[0]

    @property
    def name(self):
        return Path(self.path).name


CLIPS = [
    Clip("attempt/long try.wav"),
    Clip("attempt/far out side.wav"),
    Clip("attempt/sends it high.wav"),
    Clip("attempt/wild toss.wav"),
    Clip("attempt/nobody near.wav"),
    Clip("failure/won't drop in.wav"),
    Clip("failure/picked off.wav"),
    Clip("failure/off target.wav"),
    Clip("failure/turned away.wav"),
    Clip("failure/snatched.wav", one_word=True),
    Clip("success/ka zum bala.wav", invented=True),
    Clip("success/look out.wav"),
    Clip("success/she's rolling.wav"),
    Clip("success/she's unstoppable.wav"),
    Clip("success/was that luck.wav"),
    Clip("success/drives inside.wav"),
    Clip("success/goodness.wav", one_word=True),
    Clip("success/clean.wav", one_word=True),
    Clip("success/score.wav", one_word=True),
    Clip("misc/before the horn.wav"),
    Clip("misc/takes the loose ball.wav"),
    Clip("misc/shoulder feint.wav"),
    Clip("misc/let's begin.wav"),
    Clip("misc/that's a land slide.wav"),
    Clip("misc/foghorn.wav", horn=True),
    Clip("misc/that seals the deal now.wav"),
    Clip("misc/welcome to tarvelo.wav", invented=True),
]
