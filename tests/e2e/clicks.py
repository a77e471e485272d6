#!/usr/bin/env python3
"""The installed program on a virtual X display: a real click must play the clip's exact samples,
and a close request during a clip must let the clip finish before the program exits.

Usage: clicks.py <ostrivane executable> <directory holding the clip folders>
SDL's disk driver stands in for the sound card; it writes the raw device stream to a file.
"""
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLE = "Ostrivane v1.0"
CLIP_FOLDERS = ("attempt", "failure", "success", "misc")
TWIPS_PER_PIXEL = 15
CLIENT_WIDTH_TWIPS = 10215
FRAME_TOP = 240
BUTTON_LEFT, BUTTON_WIDTH, BUTTON_HEIGHT = 240, 1695, 375
# (frame left, button top) in twips, and the clip each button plays.
FAR_OUTSIDE = ((240, 1080), "attempt/far out side.wav")
FOGHORN = ((7800, 3480), "misc/foghorn.wav")
BYTES_PER_SECOND = 22050 * 2  # the clips are 16-bit mono at 22050 Hz


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=False)


def pcm_of(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[36:40] != b"data":
        fail(f"{path}: expected a plain 44-byte header")
    length = int.from_bytes(data[40:44], "little")
    return data[44 : 44 + length]


def holds_run(capture, pcm):
    start = capture.find(pcm)
    while start >= 0 and start % 2:  # a match must start on a sample
        start = capture.find(pcm, start + 1)
    return start >= 0


def xlib():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x11


def send_close_request(window):
    """WM_DELETE_WINDOW, as a window manager sends it when the user closes a window."""
    x11 = xlib()

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = x11.XOpenDisplay(None)
    if not display:
        fail("cannot open the X display")
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    if not x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
        fail("XSendEvent refused the close request")
    x11.XFlush(display)
    x11.XCloseDisplay(display)


class Program:
    def __init__(self, exe, workdir, capture):
        env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=capture,
                   QT_QPA_PLATFORM="xcb")
        env.pop("SDL_DISKAUDIODELAY", None)
        self.log = open(os.path.join(workdir, "program.log"), "w+")
        # Started from elsewhere, so that only the program's own directory can lead to the clips.
        self.process = subprocess.Popen([exe], cwd=workdir, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.window = self._find_window()
        geometry = dict(line.split("=", 1) for line in
                        xdotool("getwindowgeometry", "--shell", self.window).stdout.split())
        self.origin = (int(geometry["X"]), int(geometry["Y"]))
        self.scale = int(geometry["WIDTH"]) / (CLIENT_WIDTH_TWIPS // TWIPS_PER_PIXEL)

    def _find_window(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                self.fail(f"exited with {self.process.returncode} before showing its window")
            found = self.visible_windows()
            if found:
                return found[0]
            time.sleep(0.1)
        self.fail("no window appeared")

    def visible_windows(self):
        pattern = "^" + TITLE.replace(".", r"\.") + "$"
        return xdotool("search", "--onlyvisible", "--name", pattern).stdout.split()

    def click(self, button):
        (frame_left, button_top), _ = button
        x = (frame_left + BUTTON_LEFT + BUTTON_WIDTH / 2) / TWIPS_PER_PIXEL
        y = (FRAME_TOP + button_top + BUTTON_HEIGHT / 2) / TWIPS_PER_PIXEL
        x, y = (round(self.origin[0] + x * self.scale), round(self.origin[1] + y * self.scale))
        if xdotool("mousemove", "--sync", str(x), str(y), "click", "1").returncode != 0:
            self.fail("xdotool could not click")

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.fail(f"still running {timeout} s later")

    def fail(self, message):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.seek(0)
        fail(message + "\n--- program output ---\n" + self.log.read())


def click_plays_the_exact_samples(install, workdir):
    capture = os.path.join(workdir, "far-outside.raw")
    pcm = pcm_of(os.path.join(install, FAR_OUTSIDE[1]))
    program = Program(os.path.join(install, "ostrivane"), workdir, capture)
    program.click(FAR_OUTSIDE)
    time.sleep(len(pcm) / BYTES_PER_SECOND + 1.5)
    send_close_request(int(program.window))
    if program.wait(15) != 0:
        program.fail(f"exit status {program.process.returncode}")
    with open(capture, "rb") as f:
        if not holds_run(f.read(), pcm):
            program.fail("the captured stream does not hold the clip's samples")


def close_waits_for_the_clip(install, workdir):
    capture = os.path.join(workdir, "foghorn.raw")
    pcm = pcm_of(os.path.join(install, FOGHORN[1]))
    length = len(pcm) / BYTES_PER_SECOND
    program = Program(os.path.join(install, "ostrivane"), workdir, capture)
    clicked = time.monotonic()
    program.click(FOGHORN)
    time.sleep(0.3)
    send_close_request(int(program.window))
    # The close must really have been delivered while the clip plays: the window goes at once.
    while program.visible_windows():
        if time.monotonic() - clicked > length * 0.8:
            program.fail("the window did not go away on the close request")
        time.sleep(0.02)
    status = program.wait(15)
    exited = time.monotonic()
    if status != 0:
        program.fail(f"exit status {status}")
    # Allowing for the output's first buffer, taken at once, and a pacing a little off real time.
    if exited - clicked < length - 0.1:
        program.fail(f"exited {exited - clicked:.2f} s after the click, within the clip "
                     f"({length:.2f} s)")
    with open(capture, "rb") as f:
        if not holds_run(f.read(), pcm):
            program.fail("the clip was cut short")


def main():
    exe, clips = sys.argv[1], sys.argv[2]
    if "OSTRIVANE_E2E_DISPLAY" not in os.environ:
        missing = [tool for tool in ("xvfb-run", "xdotool") if shutil.which(tool) is None]
        if missing:
            print("SKIP: not installed: " + ", ".join(missing))
            return SKIP
        os.environ["OSTRIVANE_E2E_DISPLAY"] = "1"
        # Without -noreset the server resets whenever its last client leaves, and a program
        # started just then cannot connect.
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -noreset",
                               sys.executable, *sys.argv])

    with tempfile.TemporaryDirectory() as tmp:
        install = os.path.join(tmp, "my clips", "it's here")
        os.makedirs(install)
        shutil.copy2(exe, os.path.join(install, "ostrivane"))
        for folder in CLIP_FOLDERS:
            shutil.copytree(os.path.join(clips, folder), os.path.join(install, folder))
        workdir = os.path.join(tmp, "elsewhere")
        os.makedirs(workdir)
        click_plays_the_exact_samples(install, workdir)
        close_waits_for_the_clip(install, workdir)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
