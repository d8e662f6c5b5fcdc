"""Under Xvfb (60 Hz) the title screen and an unpaced game run faster than the
display refreshes, a paced game at no more than 32 frames a second. Each rate
comes from the game's frame log (one line per pass: loop, clock, WorkTime,
FrameTime, WAIT), read once it holds enough passes."""

import os
import tempfile

from zorva_e2e import Display, Zorva, arguments, check, find_ship, first_title_canvas, frames, poll


def rate(log, loop, wait, count, what):
    """Passes a second, by their FrameTimes, over the first `count` passes of a loop in the frame log with WAIT
    checked or not (None: either), once the log holds them."""
    def passes():
        found = [p for p in frames(log) if p[0] == loop and wait in (None, p[4] == "1")]
        return len(found) >= count and found[:count]
    found = poll(passes, 30, f"{count} passes of {what} in the frame log")
    result = 1000 * count / max(1, sum(int(p[3]) for p in found))
    print(f"{what}: {result:.1f} passes a second over {count} passes", flush=True)
    return result


def main():
    args = arguments("zorva")
    with Display() as display, tempfile.TemporaryDirectory() as folder:
        log = os.path.join(folder, "frames")
        game = Zorva(display, args["zorva"], args=("--frame-log", log))
        game.wait_window()
        # The title screen is not paced.
        check(rate(log, "title", None, 300, "the title screen") > 60, "the title screen is not faster than the display")

        # WAIT checked: 31 ms a frame, 32 frames a second, never more (fewer
        # only when a busy machine keeps the game from its processor, so no
        # lower bound here: `make bench-window` measures that).
        game.key("space")
        poll(lambda: find_ship(game.grab()) is not None, 10, "the game to start")
        paced = rate(log, "game", True, 64, "the paced game")
        check(paced <= 32.3, f"with WAIT checked the game runs at {paced:.2f} frames a second, more than 32")

        check(game.click_wait() == "checked", "the drop-down showed WAIT unchecked")
        check(rate(log, "game", False, 200, "the unpaced game") > 60, "the unpaced game is not faster than the display")
        status = game.close()
        check(status == 0, f"zorva ended with {status} after the close: {game.errors()}")
        with open(log) as f:
            first = f.readline().split()
        check(first[5:] == [first_title_canvas()], f"the frame log starts {first}, not with the first canvas's hash")


if __name__ == "__main__":
    main()
