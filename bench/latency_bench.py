#!/usr/bin/env python3
"""Input latency of the real window, measured from outside under Xvfb (60 Hz).

A game runs; again and again the bench presses LEFT or RIGHT through the X
server (towards the middle of the field) and reads the ship's row of the
window back as fast as the X server answers, until the picture shows the ship
moved by a step or more; then it releases the key and rests a random 0.15 to
0.35 s. Each press comes a random 0 to 62 ms after the read that found the
ship, so that the presses fall on every moment of a frame. The latency is
from just before the press is sent to the end of the first read that shows
the ship moved, so it is over, never under, by up to one read (about a
millisecond). A press while the ship is hit or the game is over is not
counted; a new game is started.

Two runs: paced (WAIT checked, 31 ms frames) and unpaced (WAIT unchecked).

usage: latency_bench.py ZORVA [PRESSES]    (per run; default 40)
"""

import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from zorva_e2e import CANVAS_X, CANVAS_Y, Display, Zorva, check, find_ship, poll  # noqa: E402

SHIP_Y, FIELD, CELL = 288, 320, 32


class ShipRow:
    """The 32 rows of the drawing area the ship flies in, read straight from the window."""

    def __init__(self, game):
        self.game = game
        # The ship is copied over what lies beneath it, so its cell shows the same
        # bytes wherever it is: taken once from the picture, they find it again.
        x = find_ship(game.grab())
        rows = self.read()
        self.cell = [rows[j][4 * x:4 * (x + CELL)] for j in range(CELL)]
        self.key = max(range(CELL), key=lambda j: sum(b != 0 for b in self.cell[j]))

    def read(self):
        data = bytearray(self.game.pixels(CANVAS_X, CANVAS_Y + SHIP_Y, FIELD, CELL))
        data[3::4] = bytes(len(data) // 4)  # the fourth byte of a pixel means nothing
        return [bytes(data[4 * FIELD * j:4 * FIELD * (j + 1)]) for j in range(CELL)]

    def ship(self):
        """PlayerX as the window shows it now, or None."""
        rows = self.read()
        at = rows[self.key].find(self.cell[self.key])
        while at >= 0:
            if at % 4 == 0 and all(rows[j][at:at + 4 * CELL] == self.cell[j] for j in range(CELL)):
                return at // 4
            at = rows[self.key].find(self.cell[self.key], at + 1)
        return None


def new_game(game, row):
    """Presses SPACE until the ship is back (after a lost game, its end and the title screen)."""
    def back():
        game.key("space")
        time.sleep(0.2)
        return row.ship() is not None
    poll(back, 30, "a new game")


def measure(game, row, presses):
    latencies, missed = [], 0
    while len(latencies) < presses:
        check(missed < presses, f"{missed} presses not counted")
        time.sleep(random.uniform(0.15, 0.35))
        x = row.ship()
        if x is None:
            missed += 1
            new_game(game, row)
            continue
        key, step = ("Right", 1) if x < (FIELD - CELL) // 2 else ("Left", -1)
        # A read is answered when the X server gets round to it, which is often
        # right after the game's present: pressing at once would favour the
        # start of a frame.
        time.sleep(random.uniform(0, 0.062))
        pressed = time.monotonic()
        game.key_down(key)
        seen = None
        while seen is None and time.monotonic() - pressed < 1.0:
            now = row.ship()
            if now is not None and (now - x) * step > 0:  # a step or more that way (or up to the edge)
                seen = time.monotonic()
        game.key_up(key)
        if seen is None:
            missed += 1
        else:
            latencies.append(1000 * (seen - pressed))
    return latencies, missed


def report(name, latencies, missed):
    s = sorted(latencies)
    p90 = s[max(0, -(-9 * len(s) // 10) - 1)]
    print(f"{name:8} {len(s)} presses ({missed} not counted): median {statistics.median(s):5.1f} ms,"
          f" p90 {p90:5.1f} ms, fastest {s[0]:5.1f} ms, slowest {s[-1]:5.1f} ms", flush=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    presses = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    print(f"zorva: {sys.argv[1]}; {os.cpu_count()} cores; load average {os.getloadavg()[0]:.1f}", flush=True)
    with Display() as display:
        game = Zorva(display, sys.argv[1], args=("--no-sound",))
        game.wait_window()
        game.key("space")
        poll(lambda: find_ship(game.grab()) is not None, 10, "the game to start")
        row = ShipRow(game)
        report("paced", *measure(game, row, presses))
        game.click_wait()
        report("unpaced", *measure(game, row, presses))
        print(f"closed with {game.close()}; load average {os.getloadavg()[0]:.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
