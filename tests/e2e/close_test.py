"""Closing the window ends the program with status 0, whatever runs; the
multimedia command goes out last; without a display the program says so in
one line and ends with 1."""

import json
import os
import subprocess
import sys
import time

from zorva_e2e import (Display, Failure, Game, arguments, check, end_all, logo_orange, require_tools, run,
                       CANVAS_X, CANVAS_Y)

ARGS = arguments("zorva", "sim")
display = None

OPTION_AT = (12, 10)


def game(on=None):
    g = Game(on or display, ARGS["zorva"])
    g.wait_window()
    return g


def closes_cleanly(g, how=None):
    (how or g.close)()
    status = g.wait_exit(3.0)
    took = time.monotonic() - g.closed_at
    check(status == 0, f"zorva ended with {status} after the close: {g.errors()}")
    return took


def test_close_on_the_title_screen():
    g = game()
    g.wait_picture(lambda p: p.count(logo_orange, CANVAS_X + 30, CANVAS_Y + 15, CANVAS_X + 293,
                                     CANVAS_Y + 244) >= 4000, 5, "the title logo")
    closes_cleanly(g)


def test_close_in_the_middle_of_a_game():
    g = game()
    g.start_game()
    g.key_down("Left")
    g.key_down("space")
    try:
        time.sleep(0.3)
        closes_cleanly(g)
    finally:
        g.key_up("space")
        g.key_up("Left")


def test_close_with_the_menu_open():
    g = game()
    g.start_game()
    g.click(*OPTION_AT)
    g.wait_picture(lambda p: p[50, 41] == (128, 128, 128) and p[50, 42] == (0, 0, 0), 5, "the drop-down to open")
    closes_cleanly(g)


def test_close_box_of_a_window_manager():
    # A desktop's window manager turns its close action into the same request.
    with Display(window_manager=True) as managed:
        g = game(managed)
        check(g.geometry() == (324, 344), f"the client area is {g.geometry()} under a window manager")
        g.start_game()

        def alt_f4():
            g.closed_at = time.monotonic()
            g.xdo("windowactivate", "--sync", str(g.window))
            g.xdo("key", "alt+F4")
        closes_cleanly(g, alt_f4)


def test_no_display():
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    env["SDL_AUDIODRIVER"] = "dummy"
    done = subprocess.run([ARGS["zorva"]], env=env, capture_output=True, timeout=20, stdin=subprocess.DEVNULL)
    lines = done.stderr.decode(errors="replace").splitlines()
    check(done.returncode == 1, f"without a display zorva ended with {done.returncode}")
    check(len(lines) == 1, f"without a display zorva printed {len(lines)} lines: {lines}")
    check(lines[0].startswith("zorva: ") and "display" in lines[0], f"the line does not say why: {lines[0]!r}")
    check(done.stdout == b"", "without a display zorva printed to standard output")


def test_close_midi_notify_is_the_last_command():
    # The real window sends the command to nowhere; the simulator records it.
    scripts = {
        "on the title screen": "20 -\n",
        "in a game": "1 SPACE\n40 LEFT SPACE\n",
        "with keys held, closed mid-script": "1 SPACE\n10 RIGHT\n1 close\n30 LEFT\n",
        "after WAIT was clicked twice": "1 wait\n1 wait\n1 SPACE\n5 -\n",
    }
    for name, script in scripts.items():
        done = subprocess.run([ARGS["sim"], "--seed", "3", "--dump", "-", "-"], input=script.encode(),
                              capture_output=True, timeout=60)
        check(done.returncode == 0, f"{name}: zorva-sim ended with {done.returncode}: {done.stderr.decode()}")
        passes = [json.loads(line) for line in done.stdout.splitlines() if line.strip()]
        check(passes, f"{name}: no passes")
        last = passes[-1]
        check(last["closed"] and last["mci"] == ["close MIDI notify"],
              f"{name}: the last pass sent {last['mci']} (closed: {last['closed']})")
        early = [p["pass"] for p in passes[:-1] if p["mci"] or p["closed"]]
        check(not early, f"{name}: commands or a close before the last pass, in passes {early}")


if __name__ == "__main__":
    require_tools("openbox")
    try:
        with Display() as display:
            status = run([test_close_on_the_title_screen, test_close_in_the_middle_of_a_game,
                          test_close_with_the_menu_open, test_close_box_of_a_window_manager, test_no_display,
                          test_close_midi_notify_is_the_last_command])
    except Failure as error:
        end_all()
        print(f"FAIL: {error}\n0 passed, 1 failed")
        status = 1
    sys.exit(status)
