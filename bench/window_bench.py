#!/usr/bin/env python3
"""The real window's cost, measured from outside under Xvfb.

Frames are counted by the starfield, which moves down one pixel per frame:
the shift between two screenshots is the number of frames between them.
CPU time is utime + stime from /proc/PID/stat, of the game and of the X
server. Three runs:

  title     the title screen; every pass is one event pump with a present
            (plus composing the title frame)
  paced     a game with WAIT checked, SPACE held and the ship swung left and
            right, for 20 s (a lost game is restarted by the held SPACE)
  unpaced   the same with WAIT unchecked

usage: window_bench.py ZORVA [SECONDS]
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from zorva_e2e import Display, Zorva  # noqa: E402


def star_shift(a, b):
    """Frames between two screenshots by the starfield (one line down per frame, wrapping at 320): the shift
    under which most lone stars of `a` meet their own colour in `b`; with its votes and the runner-up's."""
    votes = [0] * 320
    for x in range(1, 319):
        for y in range(1, 319):
            c = a.canvas(x, y)
            if c != (0, 0, 0) and all(a.canvas(x + d, y + e) == (0, 0, 0) for d, e in ((-1, 0), (1, 0), (0, -1), (0, 1))):
                for s in range(320):
                    votes[s] += b.canvas(x, (y + s) % 320) == c
    ranked = sorted(range(320), key=votes.__getitem__, reverse=True)
    return ranked[0], votes[ranked[0]], votes[ranked[1]]


OPTION_AT = (12, 10)
WAIT_AT = (40, 30)


def cpu_of(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(g, server, seconds, step=1.0, between=None):
    """Samples every `step` s for `seconds`. Returns the frames counted and
    the game's and the server's CPU seconds over the intervals in which frames
    were counted (a clear starfield shift above 0: a new game makes a new
    field, and the two-second pause after a lost game shows no frame), and the
    CPU use over the whole run: a dict."""
    m = dict(frames=0, span=0.0, cpu=0.0, xcpu=0.0)
    pic, t, cpu, xcpu = g.grab(), time.monotonic(), cpu_of(g.proc.pid), cpu_of(server.pid)
    t_start, cpu_start, xcpu_start = t, cpu, xcpu
    n = 0
    while t - t_start < seconds:
        if between:
            between(n)
        n += 1
        time.sleep(max(0.0, t_start + n * step - time.monotonic()))
        nxt, tn, cn, xn = g.grab(), time.monotonic(), cpu_of(g.proc.pid), cpu_of(server.pid)
        shift, votes, runner_up = star_shift(pic, nxt)
        if shift > 0 and votes >= 20 and votes >= 3 * runner_up:
            m["frames"] += shift
            m["span"] += tn - t
            m["cpu"] += cn - cpu
            m["xcpu"] += xn - xcpu
        pic, t, cpu, xcpu = nxt, tn, cn, xn
    m["wall"] = t - t_start
    m["cpu_all"] = cpu - cpu_start
    m["xcpu_all"] = xcpu - xcpu_start
    return m


def report(name, m):
    fps = m["frames"] / m["span"] if m["span"] else 0.0
    per = f"{1e6 * m['cpu'] / m['frames']:6.0f} µs" if m["frames"] else "     ?"
    xper = f"{1e6 * m['xcpu'] / m['frames']:6.0f} µs" if m["frames"] else "     ?"
    print(f"{name:8} {fps:5.1f} frames/s, {per} game CPU and {xper} Xvfb CPU per frame;"
          f" over all {m['wall']:.1f} s: game {100 * m['cpu_all'] / m['wall']:4.1f}% of a core,"
          f" Xvfb {100 * m['xcpu_all'] / m['wall']:4.1f}%", flush=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    zorva = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    print(f"zorva: {zorva}; {os.cpu_count()} cores; {os.uname().machine}", flush=True)
    with Display() as display:
        g = Zorva(display, zorva)
        g.wait_window()
        time.sleep(1.0)
        server = display.procs[0]  # Xvfb
        report("title", measure(g, server, min(seconds, 10.0)))

        g.key_down("space")

        def swing(n):
            # Half a second each way keeps the ship inside the field.
            g.key_up("Left" if n % 2 else "Right")
            g.key_down("Right" if n % 2 else "Left")
        try:
            report("paced", measure(g, server, seconds, step=0.5, between=swing))
            g.key_up("Left")
            g.key_up("Right")
            g.click(*OPTION_AT)
            time.sleep(0.3)
            g.click(*WAIT_AT)
            time.sleep(0.3)
            report("unpaced", measure(g, server, min(seconds, 10.0), step=0.5, between=swing))
        finally:
            for key in ("space", "Left", "Right"):
                g.key_up(key)
        g.close()
        print(f"closed with {g.wait_exit()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
