"""Drives the real zorva window in a virtual X display: Xvfb with openbox, keys
through the X test extension, xdotool for the mouse, screenshots read straight
from the X server. Every process started here dies with the script. Also the
check that the builds for other systems share: demos going both ways."""

import ctypes.util
import functools
import json
import os
import struct
import subprocess
import sys
import tempfile
import time

# The picture at 1x: the menu bar, then the 324 x 324 canvas whose 320 x 320 drawing area starts 2 pixels inside it.
PICTURE_W, PICTURE_H, CANVAS_X, CANVAS_Y = 324, 344, 2, 22
ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets")

_P, _L, _I, _U = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
for _f, _result, _args in (
        (_x11.XOpenDisplay, _P, [ctypes.c_char_p]), (_x11.XCloseDisplay, _I, [_P]), (_x11.XFlush, _I, [_P]),
        (_x11.XGetImage, _P, [_P, _L, _I, _I, _U, _U, _L, _I]), (_x11.XDestroyImage, _I, [_P]),
        (_x11.XGetGeometry, _I, [_P, _L] + [_P] * 7), (_x11.XStringToKeysym, _L, [ctypes.c_char_p]),
        (_x11.XKeysymToKeycode, ctypes.c_ubyte, [_P, _L]), (_xtst.XTestFakeKeyEvent, _I, [_P, _U, _I, _L])):
    _f.restype, _f.argtypes = _result, _args

class _XImage(ctypes.Structure):  # the head of Xlib's XImage
    _fields_ = [(n, _P if n == "data" else _I) for n in ("width", "height", "xoffset", "format", "data", "byte_order",
                "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth", "bytes_per_line", "bits_per_pixel")]

class Failure(AssertionError):
    pass

def check(condition, message):
    if not condition:
        raise Failure(message)

def poll(probe, timeout, what):  # calls probe until it returns something true, and returns that
    deadline = time.monotonic() + timeout
    while not (result := probe()):
        check(time.monotonic() < deadline, f"waited {timeout:g} s for {what}")
        time.sleep(0.005)
    return result

def frames(log):  # the frame log's whole lines so far, each split into its fields
    with open(log) as f:
        return [line.split() for line in f if line.endswith("\n")]

def arguments(*names):  # --name value pairs from the command line
    values = {k.lstrip("-"): v for k, v in zip(sys.argv[1::2], sys.argv[2::2])}
    check(all(n in values for n in names), "usage: " + " ".join(f"--{n} VALUE" for n in names))
    return values

def spawn(args, **kwargs):
    """Starts a process that is killed when this script ends, however it ends (PR_SET_PDEATHSIG)."""
    return subprocess.Popen(args, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, 9), **kwargs)

def stop(proc):
    proc.kill() if proc.poll() is None else None
    proc.wait()

def bmp(path):
    """An 8-bit bitmap file as rows of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    w, h = struct.unpack_from("<ii", data, 18)
    palette = [(data[56 + 4 * i], data[55 + 4 * i], data[54 + 4 * i]) for i in range(256)]
    return [[palette[data[1078 + (h - 1 - y) * ((w + 3) & ~3) + x]] for x in range(w)] for y in range(h)]

@functools.cache
def cell(x, y):
    """The 32 x 32 cell of the sprite sheet at (x, y)."""
    return [row[x:x + 32] for row in bmp(os.path.join(ASSETS, "sprites.bmp"))[y:y + 32]]

class Picture:
    """A screenshot: pixel (x, y) is (r, g, b); `canvas` counts from the drawing area's (0, 0)."""

    def __init__(self, width, bgrx):
        self.width, self.b, self.g, self.r = width, bgrx[0::4], bgrx[1::4], bgrx[2::4]

    def __getitem__(self, xy):
        i = xy[1] * self.width + xy[0]
        return self.r[i], self.g[i], self.b[i]

    def canvas(self, x, y):
        return self[CANVAS_X + x, CANVAS_Y + y]

    def has(self, x, y, image):
        """Whether every inked pixel of an image (rows of (r, g, b)) shows at canvas (x, y), alone or ORed."""
        return all(all(a & b == b for a, b in zip(self.canvas(x + i, y + j), c))
                   for j, row in enumerate(image) for i, c in enumerate(row) if c != (0, 0, 0))

BAR, SHADOW, DARK = (212, 208, 200), (128, 128, 128), (0, 0, 0)
OPTION, WAIT = (12, 10), (40, 30)  # the menu's title, and its item in the open drop-down
TICK = "......#" ".....##" "#...###" "##.###." "#####.." ".###..." "..#...."  # the check mark at (11, 27)

def menu(p):
    """None while the drop-down is closed, else what its check mark's place shows."""
    if not all(p[x, 41] == SHADOW and p[x, 42] == DARK for x in range(10, 90)):
        return None
    shown = "".join({DARK: "#", BAR: "."}.get(p[11 + i % 7, 27 + i // 7], "?") for i in range(49))
    return "checked" if shown == TICK else "unchecked" if shown == "." * 49 else shown

def find_ship(picture):
    """PlayerX as the picture shows it (None when the ship is not there)."""
    return next((x for x in range(289) if picture.has(x, 288, cell(0, 0))), None)

def heard(path):
    """Whether what SDL's disk audio driver wrote holds any sound (anything but one repeated silence value)."""
    with open(path, "rb") as f:
        samples = f.read()
    check(samples, "the audio device played nothing at all, not even silence")
    return len(set(samples)) > 1

def first_title_canvas():  # the hash of the first title pass's canvas, the same in every run
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "golden", "title_wait.jsonl")) as f:
        return json.loads(f.readline())["canvas"]

def demos_both_ways(sim, other, script, options, folder, names):
    """A key script recorded by the native zorva-sim and by another system's (other(*args) runs it and returns the
    CompletedProcess), each demo played back by the other side: in sync, the same bytes both ways."""
    native = lambda *args: subprocess.run([sim, *args], capture_output=True)  # noqa: E731
    demo = {name: folder / f"{name} ゲーム é.zdm" for name in names}  # folder: a pathlib.Path
    for name, run in zip(names, (native, other)):
        done = run(*options, "--record", str(demo[name]), str(script))
        check(done.returncode == 0, f"zorva-sim --record on {name}: {done.stderr}")
    check(demo[names[0]].read_bytes() == demo[names[1]].read_bytes(), f"the games recorded differently on {names[1]}")
    for name, run, recorded in ((names[1], other, names[0]), (names[0], native, names[1])):
        done = run("--play", str(demo[recorded]))
        said = done.stdout.decode(errors="replace").replace("\r\n", "\n")
        check(done.returncode == 0 and said.endswith(": as recorded\n"),
              f"zorva-sim --play on {name} of the demo recorded on {recorded}: {done.returncode} {said[-300:]!r}")
    print(f"demos: {' -> '.join(names)} and back in sync, games recorded: {said.count(': as recorded')}, the same bytes")

class Display:
    """A virtual X display of its own (Xvfb picks a free number) with openbox."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.procs = [spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stderr=subprocess.DEVNULL)]
        os.close(write_end)
        with os.fdopen(read_end) as f:
            self.name = ":" + f.readline().strip()
        self.x = _x11.XOpenDisplay(self.name.encode())
        check(self.x, f"cannot open the display {self.name}")
        self.procs.append(spawn(["openbox", "--sm-disable"], env=self.env(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL))
        poll(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.tool("xprop", "-root"), 10, "the window manager")

    def env(self, **extra):
        # No leak check in a sanitized build: the display's GL driver leaves a few
        # bytes behind when SDL unloads it (the unit tests check the game's memory).
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        return env | {"DISPLAY": self.name, "SDL_AUDIODRIVER": "dummy", "ASAN_OPTIONS": "detect_leaks=0"} | extra

    def tool(self, *args):
        done = subprocess.run(args, env=self.env(), capture_output=True, timeout=20)
        check(done.returncode == 0, f"{' '.join(args)}: {done.stderr.decode(errors='replace').strip()}")
        return done.stdout.decode(errors="replace")

    def __enter__(self):
        return self

    def __exit__(self, *_):
        _x11.XCloseDisplay(self.x)
        for proc in reversed(self.procs):
            stop(proc)

class Zorva:
    """One run of the game in a display."""

    def __init__(self, display, exe, cwd=None, args=(), stdout=subprocess.DEVNULL, **env):
        self.display, self.window = display, None
        self.stderr = tempfile.TemporaryFile()
        self.proc = spawn([exe, *args], cwd=cwd, env=display.env(**env), stdin=subprocess.DEVNULL,
                          stdout=stdout, stderr=self.stderr)
        display.procs.append(self.proc)

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def wait_window(self):
        """Finds the game's window, waits for its first picture and gives it the keyboard."""
        def find():
            check(self.proc.poll() is None, f"zorva ended with {self.proc.returncode}: {self.errors()}")
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                                 env=self.display.env(), capture_output=True).stdout.split()
            return int(out[0]) if out else None
        self.window = poll(find, 30, "the window to show")
        poll(lambda: self.grab()[0, 200] != (0, 0, 0), 30, "the first picture")  # the canvas's frame: a menu bar may come first
        self.display.tool("xdotool", "windowactivate", "--sync", str(self.window))

    def size(self):
        values = [ctypes.c_uint() for _ in range(7)]
        _x11.XGetGeometry(self.display.x, self.window, *map(ctypes.byref, values))
        return values[3].value, values[4].value

    def grab(self):
        w, h = self.size()
        return Picture(w, self.pixels(0, 0, w, h))

    def pixels(self, x, y, w, h):
        """The window's pixels in the rectangle, 4 bytes each: blue, green, red and one more."""
        check(self.proc.poll() is None, f"zorva ended with {self.proc.returncode}: {self.errors()}")
        image = _x11.XGetImage(self.display.x, self.window, x, y, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        check(image and _XImage.from_address(image).bytes_per_line == 4 * w, "cannot read the window's pixels")
        pixels = ctypes.string_at(_XImage.from_address(image).data, 4 * w * h)
        _x11.XDestroyImage(image)
        return pixels

    def next_frame(self, picture):  # the stars move on every pass
        return poll(lambda: (p := self.grab()).r != picture.r and p, 5, "the next frame")

    def key_down(self, key, down=True):
        """Presses (or releases) a key by its X name (Left, space, F4, Alt_L): real input, at once."""
        code = _x11.XKeysymToKeycode(self.display.x, _x11.XStringToKeysym(key.encode()))
        check(code, f"no key {key}")
        _xtst.XTestFakeKeyEvent(self.display.x, code, down, 0)
        _x11.XFlush(self.display.x)

    def key_up(self, key):
        self.key_down(key, False)

    def key(self, *keys):  # pressed one after the other, released in reverse
        for k in keys:
            self.key_down(k)
        for k in reversed(keys):
            self.key_up(k)

    def click(self, x, y):  # at (x, y) of the picture
        self.display.tool("xdotool", "mousemove", "--window", str(self.window), str(x), str(y), "click", "1")

    def click_wait(self, then=WAIT):  # OPTION, then WAIT (its check mark switches) or OPTION (closes it); returns what it showed
        self.click(*OPTION)
        shown = poll(lambda: menu(self.grab()), 5, "the drop-down to open")
        self.click(*then)
        poll(lambda: menu(self.grab()) is None, 5, "the drop-down to close")
        return shown

    def close(self):
        """The window manager's close (Alt+F4); returns the exit status."""
        self.key("Alt_L", "F4")
        return self.wait_exit()

    def wait_exit(self, timeout=10):
        return self.proc.wait(timeout)
