"""A game played in the real window with real keys, recorded (zorva --record) and played back by zorva-sim (which also
verifies it) and by the window (zorva --play): each ends with the score, frames and last canvas the window reported and
showed."""

import os
import re
import subprocess
import tempfile
import time

from zorva_e2e import ASSETS, Display, Zorva, arguments, bmp, check, find_ship, frames, poll


def canvas_hash(picture):
    """The game's hash of the drawing area: FNV-1a 64 over R, G, B, 0 of each pixel."""
    h = 0xCBF29CE484222325
    for y in range(320):
        for x in range(320):
            for byte in (*picture.canvas(x, y), 0):
                h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def main():
    args = arguments("zorva", "sim")
    banner = [row[:160] for row in bmp(os.path.join(ASSETS, "lettering.bmp"))[46:130]]  # GAME OVER
    with tempfile.TemporaryDirectory() as folder, Display() as display:
        demo, log = os.path.join(folder, "game.zdm"), os.path.join(folder, "frames")
        game = Zorva(display, args["zorva"], args=("--record", demo, "--frame-log", log), stdout=subprocess.PIPE)
        game.wait_window()
        # SPACE starts the game and fires through its first ten frames; the ship steps right, then waits for the enemies' fire.
        game.key_down("space")
        poll(lambda: [f for f in frames(log) if f[0] == "game"][9:], 10, "ten frames of the game")
        game.key("Right")
        game.key_up("space")
        poll(lambda: game.grab().has(85, 110, banner), 90, "GAME OVER")
        seen = len(frames(log))  # SPACE ends GAME OVER from two seconds on; the banner's frame is the log's next line or before
        poll(lambda: (g := frames(log)[seen:]) and [f for f in g if int(f[1]) > int(g[0][1]) + 2000][1:], 10, "two seconds more")
        game.key("space")
        # The end of a game holds its last frame for two seconds before the title screen: the last picture with GAME OVER.
        shown = []  # 10 s more if SPACE came too early
        poll(lambda: not (p := game.grab()).has(85, 110, banner) or shown.append(p), 15, "the title screen")
        check(game.close() == 0, f"zorva --record failed: {game.errors()}")
        line = re.fullmatch(r"recorded game 1: (score \d+, \d+ frames, last canvas ([0-9a-f]{16}))\n", game.proc.stdout.read().decode())
        check(line, "zorva --record did not report the game")
        check(line[2] == canvas_hash(shown[-1]), f"the window showed {canvas_hash(shown[-1])} last, the demo has {line[2]}")

        played = f"game 1: {line[1]}: as recorded\n"
        for mode, said in (("--play", played), ("--verify", played.replace("as recorded", "verified, WAIT checked throughout"))):
            sim = subprocess.run([args["sim"], mode, demo], capture_output=True, timeout=60)
            check((sim.returncode, sim.stdout.decode()) == (0, said), f"zorva-sim {mode}: {sim}")
        player = Zorva(display, args["zorva"], args=("--play", demo), stdout=subprocess.PIPE)
        check(player.proc.wait(120) == 0, f"zorva --play failed: {player.errors()}")
        check(player.proc.stdout.read().decode() == played, "zorva --play did not reach the recorded end")

        # The clock leaps 1000 s at every pump: the close box still ends it at once (0.1 s here; 5 on a loaded machine).
        slow = os.path.join(folder, "slow.zdm")
        subprocess.run([args["sim"], "--work", "1000000", "--record", slow, "-"], input=b"1 SPACE\n3000 -\n", check=True)
        viewer = Zorva(display, args["zorva"], args=("--play", slow), stdout=subprocess.PIPE)
        viewer.wait_window()
        poll(lambda: find_ship(viewer.grab()) == 146, 10, "the game's first frame")  # shown, then the pace is waited out
        asked, status = time.monotonic(), viewer.close()
        took = time.monotonic() - asked
        print(f"zorva --play ended {took:.2f} s after the close box")
        check(status == 0 and took < 5, f"zorva --play ended {took:.2f} s after the close box with {status}")
        check(viewer.proc.stdout.read().decode().startswith("stopped at frame "), "no stop reported")

if __name__ == "__main__":
    main()
