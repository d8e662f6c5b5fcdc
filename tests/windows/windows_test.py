"""ZORVA for Windows, cross-built, under Wine (one prefix for the whole run, made once): the platform-independent
tests; zorva-sim.exe replaying every golden script byte for byte (to a file and on standard output); demos recorded
by the Linux zorva-sim played back in sync under Wine and the other way round; the zip unpacked by three unpackers into
a folder named with Japanese, accented and blank characters, its game played there in Xvfb (first title pass as the
golden one, SPACE, the arrows, OPTION -> WAIT, the paced frames, the close, a broken sound file that plays nothing, a
Linux demo played back in sync), command lines it refuses without touching a file; and the installer: silent install, the files and the Start-menu entry, the installed game at 192 dots per inch, Alt+Enter,
its sound, the uninstaller leaving nothing.

  windows_test.py --windows BUILD_WINDOWS --sim LINUX_ZORVA_SIM --version VERSION"""

import collections
import itertools
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "e2e"))
import zorva_e2e  # noqa: E402
from demo_test import canvas_hash  # noqa: E402
from zorva_e2e import Display, Zorva, arguments, check, find_ship, frames, poll  # noqa: E402

SOURCE = pathlib.Path(__file__).resolve().parent.parent.parent
GOLDEN = sorted((SOURCE / "tests" / "golden").glob("*.script"))
FOLDER = "Zörva 効果 テスト"  # where the zip is unpacked and the demos are written


def sim_options(script):
    first = script.read_text(encoding="utf-8").splitlines()[0]
    return first.removeprefix("# zorva-sim").split()


class Wine:
    """One Wine prefix, made once and kept warm by a persistent wineserver, for every Windows program of the run."""

    def __init__(self, display, home):
        self.display, self.prefix = display, home / "prefix"
        # No Mono or Gecko to offer, nothing of Wine's own chatter.
        self.env = display.env(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                               HOME=str(home))
        # Whatever the programs play goes to a file, through ALSA's file plugin.
        self.sound = home / "sound.raw"
        (home / ".asoundrc").write_text(f'pcm.!default {{ type file; slave.pcm "null"; file "{self.sound}"; '
                                        'format "raw" }\n')
        start = time.monotonic()
        self.run("wineboot", "-i", timeout=180, wine=False)
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        print(f"Wine prefix made in {time.monotonic() - start:.1f} s")

    def run(self, *args, timeout=120, wine=True, cwd=None):
        """Runs a program to its end. Its output goes through files: Wine's own services, started with the first
        program, live on and would hold a pipe open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(["wine", *args] if wine else list(args), env=self.env, cwd=cwd, stdout=out,
                                  stderr=err, timeout=timeout, stdin=subprocess.DEVNULL)
            out.seek(0), err.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())

    def game(self, exe, *args, cwd=None):
        return Zorva(self.display, "wine", cwd=cwd, args=(str(exe), *args), **{k: self.env[k] for k in
                     ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "HOME")})

    def users(self):
        return next((self.prefix / "drive_c" / "users").glob("*/AppData"), None).parent

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env)


def unit_tests(wine, build):
    # The Sim.* tests start the Linux programs through a shell; what they check is checked below with zorva-sim.exe.
    done = wine.run(str(build / "zorva_tests.exe"), "--gtest_filter=-Sim.*", "--gtest_brief=1", timeout=300)
    check(done.returncode == 0, "zorva_tests.exe under Wine:\n" + done.stdout.decode(errors="replace")[-3000:])
    print("zorva_tests.exe: " + done.stdout.decode(errors="replace").strip().splitlines()[-1])


def golden(wine, build, work):
    for script in GOLDEN:
        out = work / (script.stem + ".jsonl")
        done = wine.run(str(build / "zorva-sim.exe"), *sim_options(script), "--dump", str(out), str(script))
        check(done.returncode == 0, f"zorva-sim.exe {script.name}: {done.stderr.decode(errors='replace')}")
        check(out.read_bytes() == script.with_suffix(".jsonl").read_bytes(), f"{script.name} differs under Wine")
    # The dump on standard output is the same bytes.
    done = wine.run(str(build / "zorva-sim.exe"), *sim_options(GOLDEN[0]), "--dump", "-", str(GOLDEN[0]))
    check(done.stdout == GOLDEN[0].with_suffix(".jsonl").read_bytes(), f"{GOLDEN[0].name} on standard output differs")
    print(f"golden replays under Wine: {len(GOLDEN)} of {len(GOLDEN)} byte for byte")


def demos(wine, build, sim, folder):
    """game_over.script recorded on one side, played back on the other: both ways in sync."""
    script = SOURCE / "tests" / "golden" / "game_over.script"
    zorva_e2e.demos_both_ways(sim, lambda *args: wine.run(str(build / "zorva-sim.exe"), *args), script,
                              sim_options(script), folder, ("Linux", "Wine"))


def unpack(zip_path, into, version):
    """The zip as Python's zipfile, Info-ZIP's unzip and libarchive's bsdtar unpack it, each into a folder of its own:
    the same three files, the sound under its own name. The game is then played from zipfile's."""
    utf8 = dict(os.environ, LC_ALL="C.UTF-8")
    for tool, command in (("zipfile", [sys.executable, "-m", "zipfile", "-e", zip_path]),
                          ("unzip", ["unzip", "-q", zip_path, "-d"]), ("bsdtar", ["bsdtar", "-xf", zip_path, "-C"])):
        (into / tool).mkdir()
        subprocess.run([*command, into / tool], env=utf8, check=True, capture_output=True)
        found = sorted(str(p.relative_to(into / tool)) for p in (into / tool).rglob("*"))
        game = into / tool / f"zorva-{version}-windows-x64"
        check(found == sorted(f"zorva-{version}-windows-x64{n}" for n in ("", "/README.txt", "/zorva.exe", "/効果音.wav")),
              f"{tool} unpacks {found}")
        check((game / "効果音.wav").read_bytes() == (SOURCE / "assets" / "効果音.wav").read_bytes(), f"{tool}: the sound")
    return into / "zipfile" / f"zorva-{version}-windows-x64"


def window(wine, game, sim, golden_first):
    """The game of the zip, in its Unicode folder: the title, a game, WAIT twice, the close."""
    log = game / "フレーム log.txt"
    (game / "効果音.wav").write_bytes(b"RIFF garbage, no wave at all")  # shots must not choke on it
    run = wine.game(game / "zorva.exe", "--frame-log", str(log), cwd=game)
    run.wait_window()
    w, h = run.size()
    menu = h - 324  # the real menu bar above the 324 x 324 canvas
    check(w == 324 and menu > 10, f"a window of {w} x {h}")
    zorva_e2e.CANVAS_Y = menu + 2  # the drawing area, 2 pixels inside the sunken frame

    def wait_item(mark):  # OPTION, then WAIT in its drop-down (over the canvas's frame); the passes go on with the new mark
        run.click(20, menu // 2)
        poll(lambda: (p := run.grab())[w - 9, menu] not in {p[x, menu] for x in range(2, 60)}, 5, "the drop-down")
        run.click(25, menu + 10)
        poll(lambda: (f := frames(log)) and f[-1][4] == mark, 5, f"the passes with WAIT {mark}")

    def tap_right():  # one RIGHT tap, made again if the ship stands: a frame's last poll of the key forgets a tap since its first
        seen = len(frames(log))
        run.key("Right")
        poll(lambda: (f := frames(log))[seen + 3:] and int(f[-1][1]) > int(f[seen - 1][1]) + 200, 10, "four frames and 200 ms")
        return (x := find_ship(run.grab())) != 146 and check(x == 154, f"one RIGHT tap took the ship to {x}") is None

    wait_item("0")  # off on the title screen: SPACE starts the game unpaced
    run.key("space")
    poll(lambda: find_ship(run.grab()) == 146, 10, "the ship at 146")
    wait_item("1")  # on again: paced, so that a tap seldom comes between a frame's polls of the key
    # A RIGHT tap moves the ship one step, LEFT held moves it on.
    poll(tap_right, 30, "the ship to step right")
    run.key_down("Left")
    poll(lambda: (x := find_ship(run.grab())) is not None and x <= 130, 5, "the ship to go left")
    run.key_up("Left")
    seen = len(frames(log))
    run.key_down("space")  # firing for two seconds of paced frames, so that the sound is asked for
    poll(lambda: frames(log)[seen + 63:], 30, "64 paced frames")
    run.key_up("space")
    check(run.close() == 0, f"the close ended zorva.exe with {run.proc.returncode}: {run.errors()}")
    check(not zorva_e2e.heard(wine.sound), "the broken sound file played something")
    lines = frames(log)
    check(lines[0][0] == "title" and lines[0][5:] == [golden_first], f"the first title pass is {lines[0]}, the golden one {golden_first}")
    runs = [k for k, _ in itertools.groupby((line[0], line[4]) for line in lines)]
    check(runs[:4] == [("title", "1"), ("title", "0"), ("game", "0"), ("game", "1")],
          f"the passes went {runs}, not title paced and unpaced, then the game unpaced and paced")
    paced = [int(line[3]) for line in lines if line[:1] == ["game"] and line[4] == "1" and int(line[2]) < 30][1:]
    check(min(paced) >= 31, f"a paced frame that worked under 30 ms lasted {min(paced)} ms: over 32 frames a second")
    title = [line for line in itertools.takewhile(lambda line: line[0] == "title", lines) if line[4] == "0"]
    rate = 1000 * (len(title) - 1) / max(int(title[-1][1]) - int(title[0][1]), 1)
    print(f"window: {len(lines)} passes, the title's {rate:.0f} a second; paced frames {len(paced)}: " +
          ", ".join(f"{ms} ms x{n}" for ms, n in sorted(collections.Counter(paced).items())))
    # A demo recorded on Linux, played back in the window: the same end.
    script, demo = SOURCE / "tests" / "golden" / "first_shots.script", game / "デモ é.zdm"
    recorded = subprocess.run([sim, *sim_options(script), "--record", str(demo), str(script)], capture_output=True)
    check(recorded.returncode == 0, f"zorva-sim --record: {recorded.stderr}")
    played = wine.run(str(game / "zorva.exe"), "--no-sound", "--play", str(demo))
    said = played.stdout.decode(errors="replace").replace("\r\n", "\n")
    check(played.returncode == 0 and said.endswith(": as recorded\n"), f"zorva.exe --play: {played.returncode} {said!r}")
    # Watched: it starts at --frame 40, paused, and a period steps to frame 41 (their canvases are zorva-sim's).
    dumped = subprocess.run([sim, "--play", str(demo), "--dump", "-"], capture_output=True, check=True).stdout.decode()
    canvas = [json.loads(line)["canvas"] for line in dumped.splitlines() if '"loop":"game"' in line]
    watched = wine.game(game / "zorva.exe", "--no-sound", "--play", str(demo), "--frame", "40", cwd=game)
    watched.wait_window()
    zorva_e2e.CANVAS_Y = 22  # no menu of the system's: the picture's own bar is above the canvas
    for key, frame in ((None, 40), ("period", 41)):
        if key:
            watched.key(key)
        poll(lambda: canvas_hash(watched.grab()) == canvas[frame - 1], 10, f"the playback to stand on frame {frame}")
    check(watched.close() == 0, "the close did not end the watched playback")
    print("watched: --frame 40 stands on frame 40, a period on 41")
    # The clock leaps 1000 s at every pump, so the playback waits out its pace between pumps: the close ends it.
    slow = game / "slow.zdm"
    subprocess.run([sim, "--work", "1000000", "--record", str(slow), "-"], input=b"1 SPACE\n3000 -\n", check=True)
    viewer = wine.game(game / "zorva.exe", "--no-sound", "--play", str(slow), cwd=game)
    viewer.wait_window()
    poll(lambda: find_ship(viewer.grab()) == 146, 10, "the game's first frame")  # shown, then the pace is waited out
    asked, status = time.monotonic(), viewer.close()
    check(status == 0 and time.monotonic() - asked < 5, f"the close ended the playback with {status} after "
          f"{time.monotonic() - asked:.1f} s")


def command_line(wine, game, folder, sim):
    """Command lines refused before anything is opened, the demo they name left as it was and no file left beside it;
    and a frame log that cannot be written, which ends the game at once."""
    script, demo = SOURCE / "tests" / "golden" / "first_shots.script", game / "d.zdm"
    subprocess.run([sim, *sim_options(script), "--record", str(demo), str(script)], check=True, capture_output=True)
    kept, full = demo.read_bytes(), "Z:" + str(demo).replace("/", "\\")
    is_demo = "zorva: the frame log d.zdm is the demo; usage: "
    # The arguments; the status; how standard error begins.
    cases = [(["--bogus"], 2, "zorva: unknown option --bogus; usage: "),
             *((["--frame-log", log, "--play", "d.zdm"], 2, is_demo) for log in ("d.zdm", r".\d.zdm", "D.ZDM", full)),
             *((["--frame-log", "d.zdm", "--record", to], 2, f"zorva: the frame log {to} is the demo; usage: ")
               for to in ("d.zdm", "./d.zdm", "D.ZDM", full)),
             (["--record", str(folder)], 1, f"zorva: cannot record into {folder}: a directory"),
             (["--frame-log", str(folder)], 1, f"zorva: cannot write the frame log {folder}: a directory"),
             (["--frame-log", r"Z:\dev\full"], 1, r"zorva: cannot write the frame log Z:\dev\full: ")]
    for args, status, said in cases:
        done = wine.run(str(game / "zorva.exe"), "--no-sound", *args, cwd=game, timeout=30)
        err, left = done.stderr.decode(errors="replace"), [*folder.parent.glob(".*.part"), *game.glob(".*.part")]
        check((done.returncode, err.startswith(said), err.count("\n"), demo.read_bytes() == kept, left) ==
              (status, True, 1, True, []), f"zorva.exe {' '.join(args)}: status {done.returncode}, {err!r}, the demo "
              f"{'kept' if demo.read_bytes() == kept else 'changed'}, left {left}")
    print(f"command line: {len(cases)} refused or ended, the demo as it was")


def installer(wine, setup, version):
    done = wine.run(str(setup), "/S", "/CurrentUser", timeout=120)
    check(done.returncode == 0, f"the silent install: {done}")
    users = wine.users()
    found = list(users.glob("**/zorva.exe"))
    check(len(found) == 1, f"installed: {found}")
    folder = found[0].parent
    check(sorted(p.name for p in folder.iterdir()) == ["README.txt", "uninstall.exe", "zorva.exe", "効果音.wav"],
          f"installed in {folder}: {list(folder.iterdir())}")
    links = list(users.glob("**/Start Menu/Programs/ZORVA.lnk"))
    check(len(links) == 1, "no Start-menu entry")
    key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORVA"
    listed = wine.run("reg", "query", key)
    check(listed.returncode == 0 and version.encode() in listed.stdout, f"Apps & features: {listed.stdout}")
    # The installed game on a display of 192 dots per inch: the canvas at 2x, in the display's own pixels.
    wine.run("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192", "/f")
    run = wine.game(found[0])
    run.wait_window()
    w, h = run.size()
    check(w == 648 and h - 648 > 10, f"at 192 dots per inch a window of {w} x {h}")
    # Alt+Enter: fullscreen on the whole display, and back.
    run.key("Alt_L", "Return")
    poll(lambda: run.size() == (1280, 1024), 10, "fullscreen")
    run.key("Alt_L", "Return")
    poll(lambda: run.size() == (w, h), 10, "the window back from fullscreen")
    run.key_down("space")  # a game, firing until something is destroyed and the sound plays
    poll(lambda: wine.sound.exists() and zorva_e2e.heard(wine.sound), 30, "the sound of the installed game")
    run.key_up("space")
    check(run.close() == 0, "the installed game did not end well")
    # The uninstaller copies itself away and runs from there: wait for it to finish its work.
    wine.run(str(folder / "uninstall.exe"), "/S", "/CurrentUser")
    poll(lambda: not folder.exists() and not links[0].exists(), 60, "the uninstaller to remove everything")
    check(wine.run("reg", "query", key).returncode != 0, "the uninstaller left its entry in Apps & features")
    print(f"installer: installed to {folder.relative_to(users)}, started at 2x for 192 dpi, fullscreen and back,"
          " heard, uninstalled without a trace")


def main():
    args = arguments("windows", "sim", "version")
    build, version = pathlib.Path(args["windows"]).resolve(), args["version"]
    golden_first = zorva_e2e.first_title_canvas()
    with tempfile.TemporaryDirectory() as tmp, Display() as display:
        home = pathlib.Path(tmp)
        wine = Wine(display, home)
        try:
            folder = home / FOLDER
            folder.mkdir()
            unit_tests(wine, build)
            golden(wine, build, folder)
            demos(wine, build, args["sim"], folder)
            game = unpack(build / f"zorva-{version}-windows-x64.zip", folder, version)
            window(wine, game, args["sim"], golden_first)
            command_line(wine, game, folder, args["sim"])
            installer(wine, build / f"zorva-{version}-setup.exe", version)
        finally:
            wine.close()
    sizes = {p.name: p.stat().st_size for p in (build / f"zorva-{version}-windows-x64.zip",
                                                 build / f"zorva-{version}-setup.exe")}
    print("sizes: " + ", ".join(f"{n} {s / 1024:.0f} KiB" for n, s in sizes.items()))


if __name__ == "__main__":
    main()
