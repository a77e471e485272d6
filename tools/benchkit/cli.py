"""tools/bench's command line: every benchmark, or one section, or the smoke runs the tests run."""
import argparse
import os
import subprocess
import sys

from . import audio, bigclip, latency, latency_report, report, x11
from .common import ROOT, SKIP, Failure, Session, Skipped, log, table

BUILD = os.path.join(ROOT, "build", "bench")
HELPERS = os.path.join(BUILD, "bench")
PROGRAM = os.path.join(BUILD, "ostrivane")

USAGE = """\
  tools/bench             set up, build the "bench" preset, run everything, rewrite the table
  tools/bench --quick     the same with every benchmark once, on short clips; prints the table and
                          leaves docs/benchmarks.md alone
  tools/bench --latency   click to sink only (and the idle checks); rewrites that section of
                          docs/benchmarks.md (with --quick: a few clicks, printed only)
  tools/bench --big-clip  a 1 GiB clip opened and played only; rewrites that section
  tools/bench smoke audio|x11|latency|big-clip HELPERS [PROGRAM]
                          what the tests run: the same code once, on short clips

How each figure is taken is in tools/benchkit/method, which docs/benchmarks.md prints beside the
figures. Every private server is started by tools/private-session."""


def build():
    subprocess.run([os.path.join(ROOT, "tools", "setup")], check=True)
    log("== building the bench preset")
    subprocess.run(["cmake", "--preset", "bench"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "bench"], cwd=ROOT, check=True)


def sound_systems(quick):
    """The audio figures on SDL's dummy driver, then on each private server."""
    bench = os.path.join(HELPERS, "ostrivane_bench")
    systems = {}
    log("== audio, SDL dummy driver")
    systems["dummy"] = audio.SoundSystem(audio.run_bench(
        bench, {"SDL_AUDIODRIVER": "dummy", "OSTRIVANE_AUDIO_OUTPUT": "sdl"}, quick))
    long_seconds = 0.3 if quick else 10.0
    for kind in ("pulseaudio", "pipewire"):
        with Session("--x11", "--sound", kind) as session:
            if session.env is None:
                systems[kind] = Skipped(session.why_not)
                continue
            log(f"== audio, {kind} null sink")
            env = dict(session.env, SDL_AUDIODRIVER="pulseaudio")
            systems[kind] = audio.SoundSystem(
                audio.run_bench(bench, dict(env, OSTRIVANE_AUDIO_OUTPUT="pulse"), quick),
                audio.run_bench(bench, dict(env, OSTRIVANE_AUDIO_OUTPUT="sdl"), quick,
                                only="click_to_sound/ours"),
                audio.run_cpu(HELPERS, PROGRAM, session, long_seconds))
    return systems


def write_section(section, quick):
    if not quick:
        report.replace_section(section)
        log(f"== wrote its section of {os.path.relpath(report.DOC, ROOT)}")
    print(section)


def everything(args):
    build()
    if args.big_clip:
        return write_section(bigclip.section(bigclip.run(HELPERS)), args.quick)
    clicks = (2, 3.0, 2.0) if args.quick else (latency.CLICKS, latency.IDLE_SECONDS,
                                                latency.WAKE_SECONDS)
    if args.latency:
        results = latency.run(HELPERS, PROGRAM, *clicks)
        return write_section(latency_report.section(results, args.quick), args.quick)
    systems = sound_systems(args.quick)
    log("== start-up and memory")
    startup = (x11.run(HELPERS, PROGRAM, runs=1, clicks=3, click_runs=1) if args.quick else
               x11.run(HELPERS, PROGRAM))
    clicked = latency.run(HELPERS, PROGRAM, *clicks)
    log("== a 1 GiB clip")
    big = bigclip.run(HELPERS, *((1, 2.0) if args.quick else (bigclip.RUNS, bigclip.SECONDS)))
    doc = report.write_doc(systems, startup, clicked, big, args.quick)
    if not args.quick:
        with open(report.DOC, "w") as f:
            f.write(doc)
        log(f"== wrote {os.path.relpath(report.DOC, ROOT)}")
    print(doc)


def smoke(args):
    """Once, through the same code as the full run; skipped when a server is not installed. The
    figures are not judged, but the program's behaviour on the servers is: no stream of its own
    with the pointer elsewhere, one ready with the pointer on a button."""
    helpers = os.path.abspath(args.helpers)
    program = os.path.abspath(args.program or os.path.join(helpers, "..", "ostrivane"))
    result = None
    if args.what == "audio":
        run = audio.run_bench(os.path.join(helpers, "ostrivane_bench"),
                              {"SDL_AUDIODRIVER": "dummy", "OSTRIVANE_AUDIO_OUTPUT": "sdl"}, True)
        print("\n".join(table(report.HEADER, report.audio_rows(audio.SoundSystem(run)))))
    elif args.what == "x11":
        result = x11.run(helpers, program, runs=1, clicks=3, click_runs=1)
        print(result.why if isinstance(result, Skipped) else
              "\n".join(table(report.HEADER, report.x11_rows(result))))
    elif args.what == "big-clip":
        result = bigclip.run(helpers, runs=1, seconds=1.0, size=1 << 20)
        print(bigclip.section(result))
    else:
        results = latency.run(helpers, program, 1, 1.0, 1.0)
        print(latency_report.section(results, quick=True))
        result = next((r for r in results.values() if isinstance(r, Skipped)), None)
        for kind, clicked in results.items():
            idle = getattr(clicked, "idle", None)
            uncorked = idle and (sum(not corked for corked in idle["streams_idle"]),
                                 sum(not corked for corked in idle["streams_warm"]))
            if idle and uncorked != (0, 1):
                raise Failure(f"{clicked.version}: the program's uncorked streams idle and with "
                              f"the pointer on a button: {uncorked}, not (0, 1)")
    return SKIP if isinstance(result, Skipped) else 0


def main():
    parser = argparse.ArgumentParser(prog="tools/bench", description=USAGE,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true")
    only = parser.add_mutually_exclusive_group()
    only.add_argument("--latency", action="store_true")
    only.add_argument("--big-clip", action="store_true")
    commands = parser.add_subparsers(dest="command")
    smoke_parser = commands.add_parser("smoke")
    smoke_parser.add_argument("what", choices=("audio", "x11", "latency", "big-clip"))
    smoke_parser.add_argument("helpers", help="the folder of the bench's programs")
    smoke_parser.add_argument("program", nargs="?", help="the program (default: HELPERS/..)")
    args = parser.parse_args()
    try:
        return smoke(args) if args.command == "smoke" else everything(args) or 0
    except (Failure, subprocess.CalledProcessError) as error:
        log(f"tools/bench: {error}")
        return 1


if __name__ == "__main__":
    sys.exit(main())
