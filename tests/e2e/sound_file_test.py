"""Hostile sound files in the real window: the game looks up 効果音.wav next
to its executable; random bytes or a directory of that name must leave it
playing, silently, and closing as usual. The good file, as the control, is
heard. What the game plays is written to a file by SDL's disk audio driver."""

import os
import shutil
import sys
import tempfile
import time

from zorva_e2e import Display, Failure, Game, arguments, check, heard, require_tools, run, star_shift

ARGS = arguments("zorva", "sound")
display = None
SOUND = "効果音.wav"


def play_with(make_sound_file, expect_sound):
    with tempfile.TemporaryDirectory(prefix="zorva-e2e-") as tmp:
        # A program folder whose name has a blank and letters beyond ASCII.
        folder = os.path.join(tmp, "ゲーム フォルダ")
        os.mkdir(folder)
        exe = os.path.join(folder, "zorva")
        shutil.copy2(ARGS["zorva"], exe)
        make_sound_file(os.path.join(folder, SOUND))
        output = os.path.join(tmp, "heard.raw")

        g = Game(display, exe, cwd=tmp, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=output)
        g.wait_window()
        g.fire_until_enemy_hit(g.start_game())

        # The game goes on at its pace, and the ship still answers.
        a, t0 = g.grab(), time.monotonic()
        time.sleep(0.6)
        b, t1 = g.grab(), time.monotonic()
        fps = star_shift(a, b)[0] / (t1 - t0)
        check(fps >= 24, f"the game slowed to {fps:.1f} frames per second after the hit")
        x = g.ship_x()
        g.hold_until_ship("Left", lambda nx: nx < x - 24, "LEFT to move the ship after the hit")
        g.close()
        status = g.wait_exit(3.0)
        check(status == 0, f"zorva ended with {status} after the close: {g.errors()[-500:]}")

        if expect_sound:
            check(heard(output), "the good sound file was not heard")
        else:
            check(not heard(output), "something was heard from a broken sound file")


def random_bytes(path):
    with open(path, "wb") as f:
        f.write(os.urandom(48 * 1024))


def test_random_bytes_play_silently():
    play_with(random_bytes, expect_sound=False)


def test_a_directory_plays_silently():
    play_with(os.mkdir, expect_sound=False)


def test_the_good_file_is_heard():
    play_with(lambda path: shutil.copyfile(ARGS["sound"], path), expect_sound=True)


if __name__ == "__main__":
    require_tools()
    try:
        with Display() as display:
            status = run([test_random_bytes_play_silently, test_a_directory_plays_silently,
                          test_the_good_file_is_heard])
    except Failure as error:
        print(f"FAIL: {error}\n0 passed, 1 failed")
        status = 1
    sys.exit(status)
