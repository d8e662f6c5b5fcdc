#!/usr/bin/env python3
"""The hall on several processes: one, two and four zorva-board processes on
one throw-away PostgreSQL server (tools/scratch-postgres), on this machine.

  uploads  240 distinct short games (about 1,000 frames each) uploaded at
           once, answered 202 and kept as waiting; the time until the last
           is settled, by whichever process took it: uploads verified a
           second (each process verifies as many at once as the machine has
           cores)
  pages    a table of 100,000 entries (one real game copied, scores drawn at
           random); wrk with 50 connections for 10 s on each path, shared
           among the processes, three times: requests a second (summed) and
           the 99th percentile (the worst of the processes), and the
           machine's load average after each run

usage: board_postgres_bench.py BUILD    (BUILD holds zorva-board and zorva-sim)
"""

import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_bench import BOARD, OPEN, SIM, upload, wrk_numbers  # noqa: E402

SCRATCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "scratch-postgres")
UPLOADS = 240


def psql(address, sql):
    said = subprocess.run(["psql", "-Atq", "-v", "ON_ERROR_STOP=1", "-d", address, "-c", sql], capture_output=True,
                          text=True)
    if said.returncode != 0:
        raise RuntimeError(f"psql: {said.stderr.strip()}")
    return said.stdout.strip()


def database(server, name):
    psql(server, f"CREATE DATABASE {name}")
    return server.replace("/hall?", f"/{name}?")


class Boards:
    def __init__(self, count, address):
        self.processes, self.urls = [], []
        for _ in range(count):
            p = subprocess.Popen([BOARD, "--listen", "127.0.0.1:0", "--database", address, "--queue", "100000"]
                                 + OPEN, stdout=subprocess.PIPE, text=True)
            port = int(re.search(r":(\d+)/", p.stdout.readline()).group(1))
            self.processes.append(p)
            self.urls.append(f"http://127.0.0.1:{port}")

    def stop(self):
        for p in self.processes:
            p.terminate()
        for p in self.processes:
            p.wait()


def games(folder):
    demos = []
    for seed in range(UPLOADS):
        path = os.path.join(folder, f"game{seed}.zdm")
        subprocess.run([SIM, "--seed", str(100 + seed), "--record", path, "-"], text=True, check=True,
                       input="1 tap:SPACE\n1000 SPACE RIGHT\n1 close\n", stdout=subprocess.DEVNULL)
        with open(path, "rb") as f:
            demos.append(f.read())
    return demos


def verified_per_second(server, count, demos):
    address = database(server, f"uploads{count}")
    boards = Boards(count, address)
    start = time.monotonic()
    for i, demo in enumerate(demos):
        upload(boards.urls[i % count], demo, f"player {i}")
    while psql(address, "SELECT COUNT(*) FROM submissions WHERE status IS NULL") != "0":
        time.sleep(0.05)
    seconds = time.monotonic() - start
    settled = psql(address, "SELECT COUNT(*) FROM submissions WHERE status = 201")
    boards.stop()
    return len(demos) / seconds, settled


def fill(address, demo):
    boards = Boards(1, address)
    upload(boards.urls[0], demo)
    while psql(address, "SELECT COUNT(*) FROM entries") == "0":
        time.sleep(0.05)
    boards.stop()
    psql(address, """INSERT INTO entries (hash, upload, game, name, score, frames, duration, seed, ranked, reason,
                                          verdict, created)
        SELECT decode(md5(x || '-' || id) || md5(id || '-' || x), 'hex'), upload, game, 'player ' || x,
               (random() * 20000)::int, frames, duration, seed, 1, '', verdict, created
        FROM (SELECT * FROM entries ORDER BY id LIMIT 1) AS e, generate_series(1, 99999) x""")
    psql(address, """INSERT INTO demos (entry, demo) SELECT id, (SELECT demo FROM demos ORDER BY entry LIMIT 1)
                     FROM entries WHERE id NOT IN (SELECT entry FROM demos)""")
    psql(address, "ANALYZE")


def pages(address, count, path):
    boards = Boards(count, address)
    runs = []
    for _ in range(3):
        share = 50 // count
        wrks = [subprocess.Popen(["wrk", "-t1", f"-c{share}", "-d10s", "--latency", url + path],
                                 stdout=subprocess.PIPE, text=True) for url in boards.urls]
        said = [w.communicate()[0] for w in wrks]
        results = [wrk_numbers(out) for out in said]
        runs.append((sum(r[0] for r in results), max(r[1] for r in results), sum(r[2] for r in results),
                     os.getloadavg()[0]))
    boards.stop()
    return runs


def main():
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)  # the server's user reaches its folder inside
        server = subprocess.run([SCRATCH, "start", os.path.join(folder, "pg")], capture_output=True, text=True,
                                check=True).stdout.strip()
        try:
            demos = games(folder)
            print(f"| Processes | Uploads verified/s ({UPLOADS} games of about 1,000 frames) | entered |\n|---|---|---|")
            for count in [1, 2, 4]:
                rate, settled = verified_per_second(server, count, demos)
                print(f"| {count} | {rate:.1f} | {settled} |", flush=True)
            address = database(server, "pages")
            fill(address, demos[0])
            print("\n| Processes | Path | Requests/s | p99 | not 2xx | load average |\n|---|---|---|---|---|---|")
            for count in [1, 2, 4]:
                for path in ["/", "/api/scores", "/games/50000"]:
                    runs = pages(address, count, path)
                    print(f"| {count} | `{path}` | {' / '.join(f'{r[0]:,.0f}' for r in runs)} |"
                          f" {' / '.join(f'{r[1]:.1f}' for r in runs)} ms | {sum(r[2] for r in runs)} |"
                          f" {' / '.join(f'{r[3]:.1f}' for r in runs)} |", flush=True)
        finally:
            subprocess.run([SCRATCH, "stop", os.path.join(folder, "pg")], check=False)


if __name__ == "__main__":
    main()
