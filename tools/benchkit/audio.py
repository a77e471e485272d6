"""The audio figures of ostrivane_bench (Google Benchmark), on one sound system, and the
whole-process CPU of a click beside paplay's."""
import collections
import dataclasses
import json
import os
import subprocess
import tempfile
import time

from .common import Failure, clean_env, copy_program, median, write_tone
from .x11 import Clicker, find_window, layout

CLIPS = [("1s_22k_mono", "1 s, 22.05 kHz mono"), ("10s_22k_mono", "10 s, 22.05 kHz mono")]
CPU_RUNS = 3


@dataclasses.dataclass
class AudioRun:
    driver: str  # the floor's SDL driver
    output: str  # the program's
    runs: dict  # benchmark name: its repetitions' entries

    def values(self, name, key="real_time"):
        """A benchmark's figures (each registered in ms), or a counter of its."""
        return [entry[key] for entry in self.runs.get(name, [])]


@dataclasses.dataclass
class CpuPerClick:
    ours: list  # CPU seconds of a clicked start less an idle one's
    paplay: list


@dataclasses.dataclass
class SoundSystem:
    bench: AudioRun
    through_sdl: AudioRun = None  # on a server: the program forced onto SDL, as it was before
    cpu: CpuPerClick = None


def run_bench(bench, env, quick, only=None):
    """Runs ostrivane_bench once."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "audio.json")
        command = [bench, "--benchmark_enable_random_interleaving=true",
                   "--benchmark_out=" + out, "--benchmark_out_format=json"]
        command += ["--smoke"] if quick else []
        command += ["--benchmark_filter=" + only] if only else []
        result = subprocess.run(command, env=dict(os.environ, **env), stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
        if result.returncode != 0 or not os.path.exists(out):
            raise Failure(f"ostrivane_bench failed ({env.get('SDL_AUDIODRIVER')}):"
                          f"\n{result.stderr[-2000:]}")
        with open(out) as f:
            data = json.load(f)
    runs = collections.defaultdict(list)
    for entry in data["benchmarks"]:
        if entry.get("run_type") != "iteration":
            continue
        if entry.get("error_occurred"):
            raise Failure(f"{entry['name']}: {entry.get('error_message')}")
        # "click_to_sound/ours/1s_22k_mono/iterations:1/repeats:25/manual_time" -> the first three
        parts = entry.get("run_name", entry["name"]).split("/")
        runs["/".join(p for p in parts if ":" not in p and p != "manual_time")].append(entry)
    return AudioRun(data["context"].get("audio_driver", "?"), data["context"].get("output", "?"),
                    dict(runs))


def run_cpu(helpers, program, session, seconds, runs=CPU_RUNS):
    """The program's CPU per click on a clip of seconds, and paplay's for the same clip. The
    program is started runs times to be clicked once on its first button and runs times to stay
    idle as long, alternately, after one start to warm up. Each start's whole CPU, every thread it
    ever had included, comes from wait4 at its end: SDL's audio thread ends with its device, and
    a count of the threads still running would miss it."""
    form = layout(helpers)
    first = form["buttons"][0]
    env = clean_env(session, OSTRIVANE_AUDIO_OUTPUT="pulse")
    costs = {"click": [], "idle": []}
    clicker = Clicker(env)
    with tempfile.TemporaryDirectory() as tmp:
        ours = copy_program(program, os.path.join(tmp, "program"))
        clip = os.path.join(tmp, "program", first["clip"])
        write_tone(clip, round(22050 * seconds), channels=1, level=8000)
        for run in range(2 * runs + 1):
            process = subprocess.Popen([ours], cwd=tmp, env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            try:
                window = find_window(form["title"], env)
                time.sleep(0.5)
                if run % 2:
                    clicker.click(window, first["x"], first["y"])
                time.sleep(seconds + 1.5)
            finally:
                process.terminate()
            _, _, usage = os.wait4(process.pid, 0)
            if run > 0:
                costs["click" if run % 2 else "idle"].append(usage.ru_utime + usage.ru_stime)
        paplay = []
        for _ in range(runs):
            child = subprocess.Popen(["paplay", clip], env=env)
            _, status, usage = os.wait4(child.pid, 0)
            if status != 0:
                raise Failure("paplay failed")
            paplay.append(usage.ru_utime + usage.ru_stime)
    idle = median(costs["idle"])
    return CpuPerClick([cost - idle for cost in costs["click"]], paplay)
