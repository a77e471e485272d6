"""EBU R128 integrated loudness and true peak, through libebur128."""

import ctypes
import ctypes.util
import math
import wave


class Loudness:
    """EBU R128 integrated loudness and true peak of 16-bit PCM, through libebur128."""

    MODE_I = (1 << 2) | (1 << 0)
    MODE_TRUE_PEAK = (1 << 5) | (1 << 4) | (1 << 0)

    def __init__(self):
        name = ctypes.util.find_library("ebur128") or "libebur128.so.1"
        self.lib = ctypes.CDLL(name)
        self.lib.ebur128_init.restype = ctypes.c_void_p
        self.lib.ebur128_init.argtypes = [ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.lib.ebur128_add_frames_short.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_size_t]
        self.lib.ebur128_loudness_global.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_double)]
        self.lib.ebur128_true_peak.argtypes = [
            ctypes.c_void_p, ctypes.c_uint, ctypes.POINTER(ctypes.c_double)]
        self.lib.ebur128_destroy.argtypes = [ctypes.POINTER(ctypes.c_void_p)]

    def measure(self, path):
        with wave.open(str(path), "rb") as w:
            if w.getsampwidth() != 2:
                raise ValueError("%s: not 16-bit PCM" % path)
            channels = w.getnchannels()
            rate = w.getframerate()
            frames = w.getnframes()
            data = w.readframes(frames)
        samples = (ctypes.c_short * (frames * channels)).from_buffer_copy(data)
        mode = self.MODE_I | self.MODE_TRUE_PEAK
        state = ctypes.c_void_p(self.lib.ebur128_init(channels, rate, mode))
        if not state.value:
            raise RuntimeError("libebur128 refused %s" % path)
        try:
            if self.lib.ebur128_add_frames_short(state, samples, frames) != 0:
                raise RuntimeError("libebur128 could not read %s" % path)
            lufs = ctypes.c_double()
            self.lib.ebur128_loudness_global(state, ctypes.byref(lufs))
            peak = 0.0
            for channel in range(channels):
                value = ctypes.c_double()
                self.lib.ebur128_true_peak(state, channel, ctypes.byref(value))
                peak = max(peak, value.value)
        finally:
            self.lib.ebur128_destroy(ctypes.byref(state))
        true_peak = 20 * math.log10(peak) if peak > 0 else -math.inf
        return lufs.value, true_peak
