"""Drives the real zorva window in a virtual X display: Xvfb with the openbox
window manager, keys through the X test extension, xdotool for the mouse,
screenshots read straight from the X server. Every process started here dies
with the script."""

import ctypes
import ctypes.util
import functools
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# The picture at 1x: the menu bar, then the 324 x 324 canvas whose 320 x 320
# drawing area starts 2 pixels inside it.
PICTURE_W, PICTURE_H = 324, 344
CANVAS_X, CANVAS_Y = 2, 22
ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets")

_libc = ctypes.CDLL(None)
_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x11.XGetImage.restype = ctypes.c_void_p
_x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                           ctypes.c_ulong, ctypes.c_int]
_x11.XDestroyImage.argtypes = [ctypes.c_void_p]
_x11.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
_x11.XStringToKeysym.restype = ctypes.c_ulong
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XFlush.argtypes = [ctypes.c_void_p]
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]


class _XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + [
        ("data", ctypes.c_void_p)] + [(name, ctypes.c_int) for name in (
            "byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth", "bytes_per_line", "bits_per_pixel")]


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(probe, timeout, what):
    """Calls probe until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while not (result := probe()):
        check(time.monotonic() < deadline, f"waited {timeout:g} s for {what}")
        time.sleep(0.005)
    return result


def arguments(*names):
    """--name value pairs from the command line."""
    args = sys.argv[1:]
    values = {args[i].lstrip("-"): args[i + 1] for i in range(0, len(args) - 1, 2)}
    check(all(n in values for n in names), "usage: " + " ".join(f"--{n} VALUE" for n in names))
    return values


def spawn(args, **kwargs):
    """Starts a process that gets SIGKILL when this script ends, however it ends."""
    return subprocess.Popen(args, preexec_fn=lambda: _libc.prctl(1, 9), **kwargs)  # PR_SET_PDEATHSIG, SIGKILL


def stop(proc):
    if proc.poll() is None:
        proc.kill()
    proc.wait()


def bmp(path):
    """An 8-bit bitmap file as rows of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    w, h = struct.unpack_from("<ii", data, 18)
    palette = [(data[56 + 4 * i], data[55 + 4 * i], data[54 + 4 * i]) for i in range(256)]
    stride = (w + 3) & ~3
    return [[palette[data[1078 + (h - 1 - y) * stride + x]] for x in range(w)] for y in range(h)]


def cell(sheet, x, y, w=32, h=32):
    return [row[x:x + w] for row in sheet[y:y + h]]


class Picture:
    """A screenshot of a window: pixel (x, y) is (r, g, b); `canvas` counts
    from the drawing area's (0, 0)."""

    def __init__(self, width, height, bgrx):
        self.width, self.height = width, height
        self.b, self.g, self.r = bgrx[0::4], bgrx[1::4], bgrx[2::4]

    def __getitem__(self, xy):
        i = xy[1] * self.width + xy[0]
        return self.r[i], self.g[i], self.b[i]

    def canvas(self, x, y):
        return self[CANVAS_X + x, CANVAS_Y + y]

    def has(self, x, y, cell, copied):
        """Whether the cell (rows of (r, g, b)) is drawn at canvas (x, y):
        copied exactly, or ORed over what lay beneath."""
        return all((self.canvas(x + i, y + j) == c) if copied else
                   all(a & b == b for a, b in zip(self.canvas(x + i, y + j), c))
                   for j, row in enumerate(cell) for i, c in enumerate(row) if copied or c != (0, 0, 0))


class Display:
    """A virtual X display of its own (Xvfb picks a free number) with openbox."""

    def __init__(self, width=1280, height=1024):
        read_end, write_end = os.pipe()
        self.procs = [spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)]
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        check(number, "Xvfb did not start")
        self.name = ":" + number
        self.x = _x11.XOpenDisplay(self.name.encode())
        check(self.x, f"cannot open the display {self.name}")
        self.procs.append(spawn(["openbox", "--sm-disable"], env=self.env(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL))
        poll(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.tool("xprop", "-root"), 10, "the window manager")

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        # The display's GL driver leaves a few bytes behind when SDL unloads it,
        # which a sanitized build cannot be told to ignore: no leak check here
        # (the unit tests check the game's own memory).
        env.update(DISPLAY=self.name, SDL_AUDIODRIVER="dummy", ASAN_OPTIONS="detect_leaks=0")
        env.update(extra)
        return env

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
    started = []

    def __init__(self, display, exe, cwd=None, args=(), stdout=subprocess.DEVNULL, **env):
        self.display, self.window = display, None
        self.stderr = tempfile.TemporaryFile()
        self.proc = spawn([exe, *args], cwd=cwd, env=display.env(**env), stdin=subprocess.DEVNULL,
                          stdout=stdout, stderr=self.stderr)
        display.procs.append(self.proc)
        Zorva.started.append(self)

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def wait_window(self, timeout=30):
        """Finds the game's window and waits for its first picture."""
        def find():
            check(self.proc.poll() is None, f"zorva ended with {self.proc.returncode}: {self.errors()}")
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                                 env=self.display.env(), capture_output=True).stdout.split()
            return int(out[0]) if out else None
        self.window = poll(find, timeout, "the window to show")
        poll(lambda: self.grab()[PICTURE_W - 1, 0] != (0, 0, 0), timeout, "the first picture")
        self.xdo("windowactivate", "--sync", str(self.window))
        return self.window

    def size(self):
        out = [ctypes.c_uint() for _ in range(7)]
        _x11.XGetGeometry(self.display.x, self.window, *(ctypes.byref(v) for v in out))
        return out[3].value, out[4].value

    def grab(self):
        check(self.proc.poll() is None, f"zorva ended with {self.proc.returncode}: {self.errors()}")
        w, h = self.size()
        image = _x11.XGetImage(self.display.x, self.window, 0, 0, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        check(image, "cannot read the window's pixels")
        im = _XImage.from_address(image)
        check(im.bytes_per_line == 4 * w, f"a screenshot of {im.bits_per_pixel} bits per pixel")
        pixels = ctypes.string_at(im.data, 4 * w * h)
        _x11.XDestroyImage(image)
        return Picture(w, h, pixels)

    def next_frame(self, picture, timeout=5):
        """The first screenshot that differs from `picture` (the starfield
        moves on every pass)."""
        return poll(lambda: (p := self.grab()).r != picture.r and p, timeout, "the next frame")

    def xdo(self, *args):
        return self.display.tool("xdotool", *args)

    def key_down(self, key, down=True):
        """Presses (or releases) a key by its X name (Left, space, F4, Alt_L)
        through the X server's test extension: real input, at once."""
        code = _x11.XKeysymToKeycode(self.display.x, _x11.XStringToKeysym(key.encode()))
        check(code, f"no key {key}")
        _xtst.XTestFakeKeyEvent(self.display.x, code, down, 0)
        _x11.XFlush(self.display.x)

    def key_up(self, key):
        self.key_down(key, False)

    def key(self, *keys):
        """Presses the keys one after the other and releases them in reverse."""
        for k in keys:
            self.key_down(k)
        for k in reversed(keys):
            self.key_up(k)

    def click(self, x, y):
        """A left click at (x, y) of the picture."""
        self.xdo("mousemove", "--window", str(self.window), str(x), str(y), "click", "1")

    def close(self, timeout=10):
        """The window manager's close (Alt+F4); returns the exit status."""
        self.key("Alt_L", "F4")
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"zorva still runs {timeout} s after the close") from None


@functools.cache
def sprites():
    return bmp(os.path.join(ASSETS, "sprites.bmp"))


def find_ship(picture):
    """PlayerX as the picture shows it: where the ship's cell lies in the
    ship's line (None when it is not there). Shots leaving the ship are ORed
    over it, so only its ink is compared."""
    ship = cell(sprites(), 0, 0)
    return next((x for x in range(289) if picture.has(x, 288, ship, False)), None)


def heard(path):
    """Whether what SDL's disk audio driver wrote holds any sound (anything
    but one repeated silence value)."""
    with open(path, "rb") as f:
        samples = f.read()
    check(samples, "the audio device played nothing at all, not even silence")
    return len(set(samples)) > 1


def star_shift(a, b):
    """Frames between two screenshots, judged by the starfield (one line down
    per frame, wrapping at 320): the shift under which most lone stars of `a`
    meet their own colour in `b`; with its votes and the runner-up's."""
    votes = [0] * 320
    for x in range(1, 319):
        for y in range(1, 319):
            c = a.canvas(x, y)
            if c != (0, 0, 0) and all(a.canvas(x + d, y + e) == (0, 0, 0) for d, e in ((-1, 0), (1, 0), (0, -1), (0, 1))):
                for s in range(320):
                    votes[s] += b.canvas(x, (y + s) % 320) == c
    ranked = sorted(range(320), key=votes.__getitem__, reverse=True)
    return ranked[0], votes[ranked[0]], votes[ranked[1]]


def require_tools(*extra):
    missing = [t for t in ("Xvfb", "openbox", "xdotool", "xprop") + extra if shutil.which(t) is None]
    check(not missing, "missing tools (Debian packages xvfb, openbox, xdotool, x11-utils): " + " ".join(missing))


# For sound_file_test.py only, whose checks play long enough for enemy fire
# to end the game now and then (`run` then gives the test a fresh game). This
# part goes with that file.

class ShipLost(Failure):
    pass


class Game(Zorva):
    def start_game(self):
        self.key("space")
        return poll(lambda: find_ship(p := self.grab()) is not None and p, 10, "the ship")

    def ship_x(self, picture=None):
        x = find_ship(picture or self.grab())
        if x is None:
            raise ShipLost("the ship is gone")
        return x

    def hold_until_ship(self, key, test, what):
        self.key_down(key)
        try:
            return poll(lambda: test(x := self.ship_x()) and (x,), 5, what)[0]
        finally:
            self.key_up(key)

    def fire_until_enemy_hit(self, start):
        enemy = [c for row in cell(sprites(), 64, 0) for c in row if c != (0, 0, 0)]
        colour = max(set(enemy), key=enemy.count)
        count = lambda p: sum(c == colour for y in range(16, 220) for c in zip(*(
            plane[(CANVAS_Y + y) * p.width + CANVAS_X:(CANVAS_Y + y) * p.width + CANVAS_X + 320] for plane in (p.r, p.g, p.b))))
        whole = count(start)
        self.key_down("space")
        try:
            poll(lambda: count(self.grab()) <= whole - 0.7 * enemy.count(colour), 5, "a shot to destroy an enemy")
        finally:
            self.key_up("space")

    def close(self):
        self.key("Alt_L", "F4")

    def wait_exit(self, timeout):
        return self.proc.wait(timeout)


def run(tests, attempts=4):
    failed = 0
    for test in tests:
        for attempt in range(1, attempts + 1):
            try:
                test()
                print(f"ok   {test.__name__}", flush=True)
            except Exception as error:  # noqa: BLE001 - every fault fails the test
                for game in Zorva.started:
                    stop(game.proc)
                if isinstance(error, ShipLost) and attempt < attempts:
                    print(f"  {test.__name__}: {error} (enemy fire); again in a fresh game", flush=True)
                    continue
                failed += 1
                print(f"FAIL {test.__name__}: {error!r}", flush=True)
            break
    print(f"{len(tests) - failed} passed, {failed} failed", flush=True)
    return 1 if failed else 0
