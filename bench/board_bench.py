#!/usr/bin/env python3
"""The hall's speed: requests a second and latency of its pages and API, and
uploads verified against the verifier's own rate.

  pages    zorva-board on one core (taskset -c 0), a table of 100,000 entries
           (one real game copied, with scores drawn at random, a tenth of them
           in the week's table), wrk on the other core: 50 connections for
           10 s on each path, three times, its requests a second and its 99th
           percentile, and the machine's load average after each run
  uploads  a long run (about 200,000 frames) and a short game (about 1,000
           frames), each verified by zorva-sim --verify and uploaded to the
           board, on the same core: frames a second of each, the median of
           several, and the board's overhead

usage: board_bench.py BUILD    (BUILD holds zorva-board and zorva-sim)
"""

import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
BOARD, SIM = os.path.join(BUILD, "zorva-board"), os.path.join(BUILD, "zorva-sim")
OPEN = ["--requests-per-minute", "0", "--uploads-per-minute", "0", "--connections-per-address", "1000"]


class Board:
    def __init__(self, database, core="0", port=0):
        self.process = subprocess.Popen(["taskset", "-c", core, BOARD, "--listen", f"127.0.0.1:{port}",
                                         "--database", database] + OPEN, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        self.port = int(re.search(r":(\d+)/", line).group(1))
        self.url = f"http://127.0.0.1:{self.port}"

    def stop(self):
        self.process.terminate()
        self.process.wait()


def upload(url, demo, name="bench"):
    boundary = "zorvabench"
    body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\n{name}\r\n"
            f"--{boundary}\r\nContent-Disposition: form-data; name=\"demo\"; filename=\"run.zdm\"\r\n\r\n").encode()
    body += demo + f"\r\n--{boundary}--\r\n".encode()
    request = urllib.request.Request(url + "/api/games", body,
                                     {"Content-Type": f"multipart/form-data; boundary={boundary}"})
    start = time.monotonic()
    with urllib.request.urlopen(request) as answer:
        answer.read()
    return time.monotonic() - start


def record(folder, name, script):
    path = os.path.join(folder, name)
    subprocess.run([SIM, "--seed", "9", "--record", path, "-"], input=script, text=True, check=True,
                   stdout=subprocess.DEVNULL)
    with open(path, "rb") as f:
        return path, f.read()


def fill(database, entries):
    db = sqlite3.connect(database)
    week = db.execute("SELECT week FROM challenges").fetchone()[0]
    db.execute(f"""WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < {entries - 1})
        INSERT INTO entries (hash, upload, game, name, score, frames, duration, seed, ranked, reason, week, verdict,
                             created)
        SELECT randomblob(32), upload, game, 'player ' || x, abs(random()) % 20000, frames, duration, seed, 1, '',
               CASE WHEN x % 10 = 0 THEN ? END, verdict, created FROM entries, n""", (week,))
    db.execute("""INSERT INTO demos (entry, demo) SELECT id, (SELECT demo FROM demos ORDER BY entry LIMIT 1)
                  FROM entries WHERE id NOT IN (SELECT entry FROM demos)""")
    db.commit()
    db.close()


def wrk(url):
    return wrk_numbers(subprocess.run(["taskset", "-c", "1", "wrk", "-t2", "-c50", "-d10s", "--latency", url],
                                      capture_output=True, text=True, check=True).stdout)


def wrk_numbers(out):
    """What wrk said: requests a second, the 99th percentile in ms, and the answers not 2xx or 3xx."""
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    p99 = re.search(r"99%\s+([\d.]+)(us|ms|s)", out)
    scale = {"us": 0.001, "ms": 1, "s": 1000}[p99.group(2)]
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    return rate, float(p99.group(1)) * scale, int(errors.group(1)) if errors else 0


def frames_of(path):
    out = subprocess.run([SIM, "--verify", path], capture_output=True, text=True, check=True).stdout
    return sum(int(n) for n in re.findall(r", (\d+) frames,", out))


def main():
    with tempfile.TemporaryDirectory() as folder:
        database = os.path.join(folder, "board.db")
        _, short = record(folder, "short.zdm", "1 tap:SPACE\n1000 SPACE RIGHT\n1 close\n")
        board = Board(database)
        upload(board.url, short)
        urllib.request.urlopen(board.url + "/").read()  # draws the week's challenge
        board.stop()
        fill(database, 100000)
        board = Board(database)
        print("| Path | Requests/s | p99 | not 2xx | load average |\n|---|---|---|---|---|")
        for path in ["/", "/api/scores", "/api/scores?week=current", "/api/scores?page=1000", "/games/50000"]:
            runs = [wrk(board.url + path) + (os.getloadavg()[0],) for _ in range(3)]
            rates, p99s = [f"{r[0]:,.0f}" for r in runs], [f"{r[1]:.1f}" for r in runs]
            print(f"| `{path}` | {' / '.join(rates)} | {' / '.join(p99s)} ms | {sum(r[2] for r in runs)} |"
                  f" {' / '.join(f'{r[3]:.1f}' for r in runs)} |", flush=True)
        board.stop()

        board = Board(os.path.join(folder, "uploads.db"), core="1")
        print("\n| Upload | Frames | zorva-sim --verify | zorva-board upload | overhead |\n|---|---|---|---|---|")
        long_path, long_demo = record(folder, "long.zdm", "1 tap:SPACE\n200000 SPACE RIGHT\n")
        short_path, _ = record(folder, "short.zdm", "1 tap:SPACE\n1000 SPACE RIGHT\n1 close\n")
        for what, path, demo, runs in [("a long run", long_path, long_demo, 5), ("a short game", short_path, short, 21)]:
            frames = frames_of(path)
            sim, up = [], []
            for _ in range(runs):
                start = time.monotonic()
                subprocess.run(["taskset", "-c", "1", SIM, "--verify", path], stdout=subprocess.DEVNULL, check=True)
                sim.append(time.monotonic() - start)
                up.append(upload(board.url, demo))
            s, u = frames / statistics.median(sim), frames / statistics.median(up)
            print(f"| {what} ({len(demo):,} bytes) | {frames:,} | {s:,.0f} frames/s | {u:,.0f} frames/s |"
                  f" {100 * (1 - u / s):.1f}% |", flush=True)
        board.stop()


if __name__ == "__main__":
    main()
