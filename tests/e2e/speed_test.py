"""The real window's speed as the game's rules give it, under Xvfb (60 Hz):
the title screen and an unpaced game run faster than the display refreshes,
a paced game at 32 frames a second. Frames are counted by the starfield. And
the command line: --help, --version, and a mistake ends with status 2."""

import subprocess
import time

from zorva_e2e import Display, Zorva, arguments, check, find_ship, poll, require_tools, star_shift

REFRESH = 1 / 60
OPTION, WAIT = (12, 10), (40, 30)
BLUE = (0, 0, 255)  # the status line's ink


def command_line(zorva, version):
    def run(*args):
        done = subprocess.run([zorva, *args], capture_output=True, timeout=20, env={})  # no display needed
        return done.returncode, done.stdout.decode(), done.stderr.decode()
    check(run("--version") == (0, f"zorva {version}\n", ""), f"--version: {run('--version')}")
    status, out, err = run("--help")
    check(status == 0 and err == "" and all(w in out for w in ("--fullscreen", "--scale N", "--no-sound", "SPACE",
                                                                "/効果音.wav")), f"--help: {status} {out!r} {err!r}")
    for mistake in (["--bogus"], ["--scale", "0"], ["--scale"], ["--fullscreen=1"], ["game"]):
        status, out, err = run(*mistake)
        check(status == 2 and out == "" and err.count("\n") == 1 and "usage: zorva [" in err,
              f"{mistake}: status {status}, {out!r}, {err!r}")


def fps_digits_zero(picture):
    """Which of the five digits after FPS on the title's status line are 0s,
    read against the first 0 of HISCORE 0000 (the letters are pure blue)."""
    columns = [x for x in range(320) if any(picture.canvas(x, y) == BLUE for y in range(20))]
    glyphs = []
    for x in columns:
        if glyphs and x == glyphs[-1][1] + 1:
            glyphs[-1][1] = x
        else:
            glyphs.append([x, x])
    ink = [tuple(tuple(picture.canvas(x, y) == BLUE for y in range(20)) for x in range(a, b + 1)) for a, b in glyphs]
    check(len(ink) == 28, f"the status line is not HISCORE dddd SCORE dddd FPS ddddd ({len(ink)} letters)")
    return [g == ink[7] for g in ink[-5:]]


def faster_than_the_display(game, what):
    """Screenshots one refresh apart: the stars moved more than one line (the
    display shows at most one picture per refresh), in most of five tries."""
    shifts = []
    for _ in range(5):
        a = game.grab()
        time.sleep(REFRESH)
        shifts.append(star_shift(a, game.grab())[0])
    check(sum(s > 2 for s in shifts) >= 3, f"{what}: the stars moved {shifts} lines in one refresh")
    return shifts


def frames_per_second(game, seconds):
    a, t = game.grab(), time.monotonic()
    time.sleep(seconds)
    b = game.grab()
    return star_shift(a, b)[0] / (time.monotonic() - t)


def main():
    args = arguments("zorva", "version")
    require_tools()
    command_line(args["zorva"], args["version"])
    with Display() as display:
        game = Zorva(display, args["zorva"])
        game.wait_window()
        # The title screen is not paced: far more passes than refreshes, and a
        # status line that shows 100 frames a second or more (it samples one
        # pass every half second: on a busy machine, now and then a slow one).
        print("title: lines per refresh", faster_than_the_display(game, "the title"), flush=True)
        poll(lambda: fps_digits_zero(game.grab())[:3] != [True] * 3, 10, "100 frames a second on the status line")

        # WAIT checked: 31 ms a frame, 32 frames a second.
        game.key("space")
        poll(lambda: find_ship(game.grab()) is not None, 10, "the game to start")
        fps = frames_per_second(game, 4.0)
        print(f"paced game: {fps:.2f} frames a second", flush=True)
        check(29.0 <= fps <= 32.8, f"with WAIT checked the game runs at {fps:.2f} frames a second, not 32")

        # WAIT unchecked: faster than the display.
        game.click(*OPTION)
        time.sleep(0.2)
        game.click(*WAIT)
        time.sleep(0.2)
        print("unpaced game: lines per refresh", faster_than_the_display(game, "the unpaced game"), flush=True)
        status = game.close()
        check(status == 0, f"zorva ended with {status} after the close: {game.errors()}")


if __name__ == "__main__":
    main()
