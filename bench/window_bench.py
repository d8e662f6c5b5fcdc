#!/usr/bin/env python3
"""The real window's speed and cost, measured under Xvfb (60 Hz).

The game runs with --frame-log, which records every pass: its loop, WorkTime,
FrameTime and the WAIT check mark. CPU time is utime + stime from
/proc/PID/stat, of the game and of the X server, over each run. Three runs:

  title     the title screen (never paced: it takes a whole core); also its
            passes per second of the game's own CPU time, which a busy
            machine's scheduler does not change
  paced     a game with WAIT checked, SPACE held and the ship swung left and
            right (a lost game is restarted by the held SPACE)
  unpaced   the same with WAIT unchecked

usage: window_bench.py ZORVA [SECONDS]    (the paced run; the others half)
"""

import collections
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from zorva_e2e import Display, Zorva, find_ship, poll  # noqa: E402


def cpu_of(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_use(pids, seconds, between=None, step=0.5):
    """Shares of a core each process used over `seconds`."""
    before, t = [cpu_of(p) for p in pids], time.monotonic()
    n = 0
    while time.monotonic() - t < seconds:
        if between:
            between(n)
        n += 1
        time.sleep(max(0.0, t + n * step - time.monotonic()))
    wall = time.monotonic() - t
    return [(cpu_of(p) - b) / wall for p, b in zip(pids, before)]


def count_lines(path):
    with open(path, "rb") as f:
        return f.read().count(b"\n")


def report(name, passes, use):
    frames = [int(p[3]) for p in passes]
    rate = 1000 * len(frames) / sum(frames) if sum(frames) else float("inf")
    print(f"{name:8} {rate:8.1f} passes/s over {len(frames)} passes; game {100 * use[0]:5.1f}% of a core,"
          f" Xvfb {100 * use[1]:4.1f}%", flush=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    print(f"zorva: {sys.argv[1]}; {os.cpu_count()} cores; {os.uname().machine}", flush=True)
    with tempfile.TemporaryDirectory() as tmp, Display() as display:
        log = os.path.join(tmp, "frames")
        game = Zorva(display, sys.argv[1], args=("--frame-log", log))
        game.wait_window()
        pids = (game.proc.pid, display.procs[0].pid)
        time.sleep(1.0)
        title_passes = count_lines(log)
        title = cpu_use(pids, seconds / 2)
        title_passes = count_lines(log) - title_passes

        game.key("space")
        poll(lambda: find_ship(game.grab()) is not None, 10, "the game to start")
        game.key_down("space")

        def swing(n):
            # Half a second each way keeps the ship inside the field.
            game.key_up("Left" if n % 2 else "Right")
            game.key_down("Right" if n % 2 else "Left")
        paced = cpu_use(pids, seconds, swing)
        game.key_up("Left")
        game.key_up("Right")
        game.click_wait()
        unpaced = cpu_use(pids, seconds / 2, swing)
        for key in ("space", "Left", "Right"):
            game.key_up(key)
        print(f"closed with {game.close()}")
        with open(log) as f:
            records = [line.split() for line in f]

    first_game = next(i for i, p in enumerate(records) if p[0] == "game")
    report("title", records[:first_game], title)
    # What a pass costs, whatever share of a core a busy machine gave the game.
    print(f"title    {title_passes / (title[0] * seconds / 2):8.0f} passes per second of the game's CPU time")
    report("paced", [p for p in records if p[0] == "game" and p[4] == "1"], paced)
    report("unpaced", [p for p in records if p[0] == "game" and p[4] == "0"], unpaced)
    # Every paced frame whose work took less than 30 ms should last 31 ms.
    lengths = collections.Counter(int(p[3]) for p in records if p[0] == "game" and p[4] == "1" and int(p[2]) < 30)
    total = sum(lengths.values())
    print(f"paced frames: {total}, {100 * lengths[31] / total:.2f}% of them 31 ms, shortest {min(lengths)} ms,"
          f" longest {max(lengths)} ms; {dict(sorted(lengths.items()))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
