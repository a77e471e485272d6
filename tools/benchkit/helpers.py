"""The helper programs the click-to-sink runs drive, each read a line of words at a time: the
recorders of the null sink's monitor, the bare windows; and pw-profiler."""
import json
import os
import queue
import subprocess
import tempfile
import threading
import time

from .common import Failure, said, stop

GRAPH_RATE = 48000
TONE_SECONDS = 0.4


class Helper:
    """A helper process whose standard output is read on a thread, a line of words at a time; for
    a with block, which ends it."""

    def __init__(self, name, command, env, cwd=None):
        self.name = name
        self.errors = tempfile.TemporaryFile("w+")
        self.process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=self.errors, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.split())
        self.lines.put(None)

    def said(self):
        return said(self.errors)

    def next(self, timeout, kinds=None):
        """The next line of one of kinds, or None once timeout seconds have passed."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                words = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                return None
            if words is None:
                self.lines.put(None)
                raise Failure(f"{self.name} ended; it said: {self.said()}")
            if words and (kinds is None or words[0] in kinds):
                return words

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        stop(self.process)
        self.errors.close()


class Recorder(Helper):
    """One of the recorders of the null sink's monitor: reports onsets and ends of the tone."""

    def __init__(self, name, command, env):
        super().__init__(name, command, env)
        ready = self.next(10, ("ready",))
        if ready is None:
            raise Failure(f"{name} did not start; it said: {self.said()}")
        self.realtime = ready[1:] == ["1"]

    def hear(self, click_ns):
        """The first onset after click_ns and how many pieces the clip came in; returns once the
        clip has ended and the monitor has stayed silent for a while."""
        onset = None
        pieces = 0
        deadline = time.monotonic() + 5
        while True:
            words = self.next(deadline - time.monotonic())
            if words is None:
                break
            if words[0] == "onset" and int(words[1]) >= click_ns:
                onset = onset or words
                pieces += 1
                deadline = time.monotonic() + TONE_SECONDS + 2
            elif words[0] == "end" and onset is not None:
                deadline = time.monotonic() + 0.3  # a gap as long is not part of this clip
        return onset, pieces


def graph_quantum(env, folder, seconds=2.0):
    """The quantum of every cycle the graph ran over seconds, from pw-profiler: {quantum in samples
    at the graph's rate: cycles}."""
    log = os.path.join(folder, "profiler.log")
    if os.path.exists(log):
        os.remove(log)
    profiler = subprocess.Popen(["pw-profiler", "-o", log], env=env, cwd=folder,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(seconds)
    stop(profiler)
    counts = {}
    if os.path.exists(log):
        with open(log) as f:
            for line in f:
                fields = line.split("\t")
                if len(fields) > 3 and fields[3].strip():
                    # the fourth column is the cycle's planned length in microseconds
                    quantum = round(float(fields[3]) * GRAPH_RATE / 1e6)
                    counts[quantum] = counts.get(quantum, 0) + 1
    return counts


def quantum_text(counts):
    if not counts:
        return "graph idle"
    total = sum(counts.values())
    return ", ".join(f"{q}" + (f" ({100 * n / total:.0f} %)" if len(counts) > 1 else "")
                     for q, n in sorted(counts.items(), key=lambda item: -item[1]))


def our_streams(env, pid):
    """The program's playback streams on the server: [corked?]."""
    result = subprocess.run(["pactl", "-f", "json", "list", "sink-inputs"], env=env,
                            capture_output=True, text=True, check=True)
    streams = []
    for entry in json.loads(result.stdout or "[]"):
        props = entry.get("properties", {})
        if props.get("application.name") == "Ostrivane" and \
                props.get("application.process.id") == str(pid):
            streams.append(bool(entry.get("corked")))
    return streams


def per_thread(pid, name, count):
    """The sum of count(text) over the file name of every thread the process has now."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/{name}") as f:
                total += count(f.read())
        except OSError:
            pass  # the thread ended meanwhile
    return total


def switches(pid):
    """Context switches, voluntary and not, of every thread the process has now."""
    return per_thread(pid, "status", lambda text: sum(
        int(line.split()[1]) for line in text.splitlines()
        if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"))))
