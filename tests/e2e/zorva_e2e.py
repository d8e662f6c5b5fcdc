"""Drives the real zorva window in a virtual X display.

Xvfb gives the display, xdotool the keyboard and mouse, ImageMagick's
`import` the screenshots; closing goes through the window manager protocol
(WM_DELETE_WINDOW), as a close box sends it. Everything started here is ended
here, also when the test itself is killed.
"""

import codecs
import collections
import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

# Where the picture's parts are, at 1x: the menu bar across the top, then the
# 324 x 324 canvas whose 320 x 320 drawing area starts 2 pixels inside it.
PICTURE_W, PICTURE_H = 324, 344
MENU_BAR_H = 20
CANVAS_X, CANVAS_Y = 2, MENU_BAR_H + 2

# The ship's start: x 146..177, y 288..319 of the drawing area.
SHIP_TOP = 288

# The window's own colours.
BAR = (212, 208, 200)
SHADOW = (128, 128, 128)
DARK = (0, 0, 0)
HIGHLIGHT = (255, 255, 255)

TOOLS = {
    "Xvfb": "xvfb",
    "xdotool": "xdotool",
    "import": "imagemagick",
    "xprop": "x11-utils",
    "xwininfo": "x11-utils",
}


class Failure(AssertionError):
    pass


class ShipLost(Failure):
    """The enemies shot the ship before the check was through: not a fault of
    the window, so the check may run again in a fresh game."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(probe, timeout, what, interval=0.05):
    """Calls probe until it returns something true; returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise Failure(f"waited {timeout:g} s for {what}")
        time.sleep(interval)


def require_tools(*extra):
    missing = sorted({TOOLS.get(t, t) for t in list(TOOLS) + list(extra) if shutil.which(t) is None})
    check(not missing, "missing tools; install the Debian packages: " + " ".join(missing))


# Children die with us: a test killed by its time limit leaves no X server or
# game behind.
_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


_children = []


def spawn(args, **kwargs):
    proc = subprocess.Popen(args, preexec_fn=_die_with_parent, **kwargs)
    _children.append(proc)
    return proc


def end(proc, grace=2.0):
    """Ends a process started here: politely first, then for good."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    if proc in _children:
        _children.remove(proc)


def end_all():
    for proc in reversed(list(_children)):
        end(proc)


def _on_signal(signum, _frame):
    end_all()
    sys.exit(128 + signum)


signal.signal(signal.SIGTERM, _on_signal)
signal.signal(signal.SIGINT, _on_signal)


class Display:
    """A virtual X display of its own (Xvfb picks a free number), optionally
    with a window manager."""

    def __init__(self, width=1280, height=1024, window_manager=False):
        read_end, write_end = os.pipe()
        self._log = tempfile.TemporaryFile()
        self.server = spawn(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=self._log)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            ready, _, _ = select.select([read_end], [], [], max(0.0, left))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                os.close(read_end)
                end(self.server)
                self._log.seek(0)
                raise Failure("Xvfb did not start: " + self._log.read().decode(errors="replace")[-400:])
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self.wm = None
        if window_manager:
            check(shutil.which("openbox") is not None, "missing the window manager; install openbox")
            self.wm = spawn(["openbox", "--sm-disable"], env=self.env(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
            # Openbox owns the screen once it holds the window manager selection.
            poll(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.tool("xprop", "-root", check_status=False),
                 10, "the window manager")

    def env(self, **extra):
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE"):
            env.pop(name, None)
        env["DISPLAY"] = self.name
        env["SDL_AUDIODRIVER"] = "dummy"
        # In a sanitized build the leak check at exit stays off for the real
        # window: the display's GL driver, which SDL loads and unloads again
        # when the window closes, leaves a few bytes behind that the checker
        # can then neither name nor be told to ignore. Address and undefined
        # behaviour checks stay on; the game's own code is leak-checked by the
        # unit tests.
        asan = env.get("ASAN_OPTIONS", "")
        env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"
        env.update(extra)
        return env

    def tool(self, *args, check_status=True, timeout=10, **env):
        done = subprocess.run(args, env=self.env(**env), capture_output=True, timeout=timeout)
        if check_status:
            check(done.returncode == 0,
                  f"{' '.join(args)} failed ({done.returncode}): {done.stderr.decode(errors='replace').strip()}")
        return done.stdout.decode(errors="replace")

    def close(self):
        if self.wm is not None:
            end(self.wm)
        end(self.server)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()


class Picture:
    """An RGB screenshot."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def from_ppm(data):
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        check(m is not None and m.group(3) == b"255", "the screenshot is no 8-bit PPM")
        w, h = int(m.group(1)), int(m.group(2))
        rgb = data[m.end():m.end() + 3 * w * h]
        check(len(rgb) == 3 * w * h, "the screenshot is cut short")
        return Picture(w, h, rgb)

    def __getitem__(self, xy):
        x, y = xy
        i = 3 * (y * self.width + x)
        return (self.rgb[i], self.rgb[i + 1], self.rgb[i + 2])

    def points(self, x0, y0, x1, y1):
        """(x, y, colour) of every pixel in [x0, x1) x [y0, y1), clipped."""
        x0, y0 = max(0, x0), max(0, y0)
        x1, y1 = min(self.width, x1), min(self.height, y1)
        for y in range(y0, y1):
            row = 3 * y * self.width
            for x in range(x0, x1):
                i = row + 3 * x
                yield x, y, (self.rgb[i], self.rgb[i + 1], self.rgb[i + 2])

    def count(self, test, x0, y0, x1, y1):
        return sum(1 for _, _, c in self.points(x0, y0, x1, y1) if test(c))

    def canvas(self, x, y):
        return self[CANVAS_X + x, CANVAS_Y + y]


# What the sprites look like, loosely enough to survive new artwork of the
# same kind: the ship is grey with a bluish cast, the shot blue-white, the
# logo orange and yellow.
def ship_grey(c):
    r, g, b = c
    return r >= 40 and abs(r - g) <= 8 and 8 <= b - r <= 24


def shot_blue(c):
    r, g, b = c
    return b >= 230 and g >= 170 and 110 <= r < b


def logo_orange(c):
    r, g, b = c
    return r >= 200 and 60 <= g <= 240 and b <= 160


def ship_place(pic):
    """(pixel count, mean canvas x) of the ship in the band it flies in."""
    xs = [x - CANVAS_X for x, _, c in pic.points(CANVAS_X, CANVAS_Y + SHIP_TOP, CANVAS_X + 320, CANVAS_Y + 320)
          if ship_grey(c)]
    return len(xs), (sum(xs) / len(xs) if xs else None)


def enemy_colour(pic):
    """The commonest colour of the formation (24 enemies) at a game's start."""
    colours = collections.Counter(c for _, _, c in pic.points(CANVAS_X, CANVAS_Y + 16, CANVAS_X + 320,
                                                              CANVAS_Y + 200) if c != (0, 0, 0))
    colour, count = colours.most_common(1)[0]
    check(count >= 24 * 40, f"no formation to be seen (the commonest colour has {count} pixels)")
    return colour


def heard(path):
    """Whether the output that SDL's disk audio driver wrote holds any sound
    (anything but one repeated silence value)."""
    with open(path, "rb") as f:
        samples = f.read()
    check(len(samples) > 0, "the audio device played nothing at all, not even silence")
    return len(set(samples)) > 1


def star_shift(a, b, x0=0, x1=320):
    """How many frames passed between screenshots a and b, judged by the
    starfield, which moves down one pixel per frame and wraps at 320: the
    shift (0..319) under which most lone pixels of a meet their own colour in
    b. Returns (shift, votes, runner-up votes)."""
    votes = [0] * 320
    for x in range(x0, x1):
        for y in range(1, 319):
            c = a.canvas(x, y)
            if c == (0, 0, 0) or not (0 < x < 319):
                continue
            if (a.canvas(x - 1, y) != (0, 0, 0) or a.canvas(x + 1, y) != (0, 0, 0) or
                    a.canvas(x, y - 1) != (0, 0, 0) or a.canvas(x, y + 1) != (0, 0, 0)):
                continue
            for s in range(320):
                if b.canvas(x, (y + s) % 320) == c:
                    votes[s] += 1
    ranked = sorted(range(320), key=lambda s: votes[s], reverse=True)
    return ranked[0], votes[ranked[0]], votes[ranked[1]]


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessage), ("pad", ctypes.c_long * 24)]


_CLIENT_MESSAGE = 33


def send_delete_window(display_name, window):
    """Asks the window to close, exactly as a window manager's close box does:
    a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display_name.encode())
    check(dpy, f"cannot open the display {display_name}")
    try:
        event = _XEvent()
        event.xclient.type = _CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.l[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.xclient.l[1] = 0  # CurrentTime
        check(x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(event)) != 0, "XSendEvent failed")
        x11.XSync(dpy, 0)
    finally:
        x11.XCloseDisplay(dpy)


class Game:
    """One run of the real game in a display."""

    def __init__(self, display, exe, cwd=None, **env):
        self.display = display
        self.stderr = tempfile.TemporaryFile()
        self.proc = spawn([exe], cwd=cwd, env=display.env(**env), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=self.stderr)
        self.window = None
        self.closed_at = None

    @property
    def pid(self):
        return self.proc.pid

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def alive(self):
        return self.proc.poll() is None

    def wait_window(self, timeout=20):
        def find():
            check(self.alive(), f"zorva ended with {self.proc.returncode} before its window showed: {self.errors()}")
            out = self.display.tool("xdotool", "search", "--onlyvisible", "--pid", str(self.pid),
                                    check_status=False)
            ids = [int(w) for w in out.split()]
            return ids[0] if ids else None
        self.window = poll(find, timeout, "the window to show", interval=0.1)
        # The first frame comes with the first event pump.
        poll(lambda: self.grab().count(lambda c: c != (0, 0, 0), 0, 0, PICTURE_W, MENU_BAR_H) > 0,
             timeout, "the first frame", interval=0.1)
        return self.window

    def grab(self):
        check(self.alive(), f"zorva ended with {self.proc.returncode}: {self.errors()}")
        done = subprocess.run(["import", "-window", str(self.window), "-depth", "8", "ppm:-"], env=self.display.env(),
                              capture_output=True, timeout=15)
        check(done.returncode == 0, "import failed: " + done.stderr.decode(errors="replace").strip())
        return Picture.from_ppm(done.stdout)

    def wait_picture(self, test, timeout, what):
        """Grabs until test(picture) holds; returns that picture."""
        found = []

        def probe():
            pic = self.grab()
            if test(pic):
                found.append(pic)
                return True
            return False
        poll(probe, timeout, what, interval=0.02)
        return found[0]

    def xdo(self, *args):
        return self.display.tool("xdotool", *args)

    def focus(self):
        self.xdo("windowfocus", "--sync", str(self.window))

    def tap(self, key):
        self.xdo("key", key)

    def key_down(self, key):
        self.xdo("keydown", key)

    def key_up(self, key):
        self.xdo("keyup", key)

    def click(self, x, y):
        """A left click at (x, y) of the window's client area."""
        self.xdo("mousemove", "--window", str(self.window), str(x), str(y), "click", "1")

    def geometry(self):
        out = self.display.tool("xwininfo", "-id", str(self.window))
        w = int(re.search(r"Width:\s*(\d+)", out).group(1))
        h = int(re.search(r"Height:\s*(\d+)", out).group(1))
        return w, h

    def caption(self):
        # With LC_ALL=C xprop escapes every byte above 127 in octal; undo that.
        out = self.display.tool("xprop", "-id", str(self.window), "-notype", "_NET_WM_NAME", LC_ALL="C")
        m = re.search(r'=\s*"(.*)"\s*$', out.strip())
        check(m is not None, f"the window has no _NET_WM_NAME: {out.strip()}")
        raw = codecs.escape_decode(m.group(1).encode("utf-8"))[0]
        return raw.decode("utf-8")

    def cpu_seconds(self):
        """utime + stime of the process so far."""
        with open(f"/proc/{self.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def close(self):
        """The close box: WM_DELETE_WINDOW."""
        self.closed_at = time.monotonic()
        send_delete_window(self.display.name, self.window)

    def wait_exit(self, timeout=3.0):
        """Waits for the process to end on its own; returns its status."""
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            end(self.proc)
            raise Failure(f"zorva still ran {timeout:g} s after the close")
        if self.proc in _children:
            _children.remove(self.proc)
        return status

    def stop(self):
        end(self.proc)

    # A game.

    def start_game(self):
        """SPACE on the title screen; returns the first picture with the ship."""
        self.focus()
        self.tap("space")
        return self.wait_picture(lambda p: ship_place(p)[0] >= 150, 10, "the ship at the bottom")

    def ship_x(self, pic=None):
        count, x = ship_place(pic or self.grab())
        if count < 60:
            raise ShipLost("the ship is gone")
        return x

    def fire_until_enemy_hit(self, start):
        """Holds SPACE until an enemy is destroyed; start is the first picture
        of the game. The ship starts under the formation's fourth column."""
        colour = enemy_colour(start)
        whole = start.count(lambda c: c == colour, CANVAS_X, CANVAS_Y, CANVAS_X + 320, CANVAS_Y + 320)

        def enemy_hit():
            pic = self.grab()
            self.ship_x(pic)
            left = pic.count(lambda c: c == colour, CANVAS_X, CANVAS_Y, CANVAS_X + 320, CANVAS_Y + 320)
            return left <= whole - 0.7 * whole / 24
        self.key_down("space")
        try:
            poll(enemy_hit, 5, "a shot to destroy an enemy", interval=0.02)
        finally:
            self.key_up("space")

    def hold_until_ship(self, key, test, what, timeout=5):
        """Holds key until the ship's mean x passes test; returns that x."""
        self.key_down(key)
        try:
            return poll(lambda: (lambda x: x if test(x) else None)(self.ship_x()), timeout, what, interval=0.02)
        finally:
            self.key_up(key)


# A runner of plain test functions, with the closing line CTest's readers know.

def run(tests, attempts_on_ship_lost=4):
    passed = failed = 0
    for test in tests:
        name = test.__name__
        started = time.monotonic()
        for attempt in range(1, attempts_on_ship_lost + 1):
            try:
                test()
            except ShipLost as lost:
                end_all_games()
                if attempt < attempts_on_ship_lost:
                    print(f"  {name}: {lost} (enemy fire); again in a fresh game", flush=True)
                    continue
                print(f"FAIL {name}: {lost} in every one of {attempt} games", flush=True)
                failed += 1
            except Exception as error:  # noqa: BLE001 - every fault is a failed test
                end_all_games()
                print(f"FAIL {name}: {error}", flush=True)
                if not isinstance(error, Failure):
                    traceback.print_exc()
                failed += 1
            else:
                print(f"ok   {name} ({time.monotonic() - started:.1f} s)", flush=True)
                passed += 1
            break
    end_all()
    print(f"{passed} passed, {failed} failed", flush=True)
    return 0 if failed == 0 else 1


def end_all_games():
    """Ends every process but the X servers and window managers."""
    for proc in reversed(list(_children)):
        if proc.args and proc.args[0] not in ("Xvfb", "openbox"):
            end(proc)


def arguments(*names):
    """--name value pairs from the command line."""
    values = {}
    args = sys.argv[1:]
    for i in range(0, len(args) - 1, 2):
        values[args[i].lstrip("-")] = args[i + 1]
    missing = [n for n in names if n not in values]
    check(not missing, "usage: " + " ".join(f"--{n} VALUE" for n in names))
    return values
