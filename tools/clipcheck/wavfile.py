"""The clips' one file format, and their samples."""

import array
import struct
import sys
import wave

RATE = 22050
HEADER_BYTES = 44


def format_problem(path):
    """Why the file is not 22050 Hz 16-bit mono PCM with its samples from byte 44, or None."""
    head = path.read_bytes()[:HEADER_BYTES]
    if len(head) < HEADER_BYTES or head[0:4] != b"RIFF" or head[8:12] != b"WAVE":
        return "not a RIFF WAVE file"
    fmt_size = struct.unpack("<I", head[16:20])[0]
    if head[12:16] != b"fmt " or fmt_size != 16 or head[36:40] != b"data":
        return "its header is not the plain 44 bytes"
    tag, channels, rate, _, _, bits = struct.unpack("<HHIIHH", head[20:36])
    if (tag, channels, rate, bits) != (1, 1, RATE, 16):
        return "format %d, %d channels, %d Hz, %d bits" % (tag, channels, rate, bits)
    return None


def read_mono(path):
    """The samples of a 16-bit mono WAV file, and its rate."""
    with wave.open(str(path), "rb") as w:
        if w.getsampwidth() != 2 or w.getnchannels() != 1:
            raise ValueError("%s: not 16-bit mono" % path)
        rate = w.getframerate()
        samples = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    return samples, rate
