"""A demo watched in the real window (zorva --play) with real keys and the mouse: pause and a frame on and back, a
seek by the bar and by the keys, the next game, a speed; each picture the window stands on is a frame of the demo,
the one zorva-sim --play shows at that frame."""

import json
import os
import subprocess
import tempfile

from zorva_e2e import Display, Zorva, arguments, check, poll
from demo_test import canvas_hash

# Three games: the first ends at its GAME OVER, SPACE held starts the second at once, the third is closed.
SCRIPT = b"2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n300 LEFT SPACE\n1 close\n"


def main():
    args = arguments("zorva", "sim")
    with tempfile.TemporaryDirectory() as folder, Display() as display:
        demo, dump = os.path.join(folder, "three.zdm"), os.path.join(folder, "three.jsonl")
        subprocess.run([args["sim"], "--seed", "3", "--record", demo, "-"], input=SCRIPT, check=True)
        subprocess.run([args["sim"], "--play", demo, "--dump", dump], check=True, capture_output=True)
        # The frames of the demo, in order, as zorva-sim shows them: their canvases and where each game starts.
        frames = [json.loads(line) for line in open(dump) if '"loop":"game"' in line]
        frame_of = {}
        for number, record in enumerate(frames, 1):
            frame_of.setdefault(record["canvas"], number)
        starts = [n for n, record in enumerate(frames, 1) if n == 1 or frames[n - 2]["ends_game"]]

        game = Zorva(display, args["zorva"], args=("--no-sound", "--play", demo, "--frame", "40"))
        game.wait_window()

        def shown():  # the frame of the demo the window's picture is, if any
            return frame_of.get(canvas_hash(game.grab()))

        poll(lambda: shown() == 40, 10, "--frame 40 to stand on frame 40")
        for key, expected in (("period", 41), ("period", 42), ("comma", 41), ("Home", 1), ("Next", starts[1])):
            game.key(key)
            poll(lambda: shown() == expected, 10, f"{key} to frame {expected}")
        # The bar: half way along it, while paused, stands on the middle of the demo.
        game.click(162, 17)
        middle = poll(lambda: (f := shown()) != starts[1] and f, 10, "the bar's seek")
        check(len(frames) / 4 < middle < len(frames) * 3 / 4, f"half way along the bar is frame {middle} of {len(frames)}")
        game.key("Left")  # five seconds of game clock back: about 160 frames
        poll(lambda: (f := shown()) and 60 < middle - f < 220, 10, "5 s back")
        # At 16x, resumed, the rest of the demo plays out and the window closes with every game as recorded.
        for _ in range(4):
            game.key("Up")
        game.key("space")
        check(game.wait_exit(60) == 0, f"the playback ended with {game.proc.returncode}: {game.errors()}")


if __name__ == "__main__":
    main()
