"""The real window as a player meets it, under Xvfb and openbox: caption and size, the title logo, OPTION -> WAIT
with the mouse, a game steered with the keyboard (within 25 frames of its start, before any enemy bullet can reach
the ship's line), and the window manager's close. With --cmake, --build and --source: the game installed into a
prefix with a blank and a dollar in it, started through its launcher from elsewhere, finds and plays its sound."""

import os
import pathlib
import re
import subprocess
import tempfile

from zorva_e2e import (ASSETS, BAR, DARK, OPTION, PICTURE_H, PICTURE_W, SHADOW, WAIT, Display, Zorva, arguments, bmp, cell,
                       check, find_ship, heard, poll)

HIGHLIGHT = (255, 255, 255)

def play(display, zorva):
    game = Zorva(display, zorva)
    game.wait_window()
    caption = display.tool("xdotool", "getwindowname", str(game.window)).strip()
    check((game.size(), caption) == ((PICTURE_W, PICTURE_H), "ＺＯＲＶＡ"), f"a window of {game.size()} named {caption!r}")
    # The title screen: the whole logo, ORed over the stars, where the canvas shows it.
    logo = bmp(os.path.join(ASSETS, "logo.bmp"))
    title = poll(lambda: (p := game.grab()).has(30, 15, logo) and p, 10, "the title logo")
    # The menu bar, and the canvas's sunken frame below it.
    for (x, y), colour in {(200, 10): BAR, (100, 20): SHADOW, (0, 200): SHADOW, (100, 21): DARK, (1, 200): DARK,
                           (100, 343): HIGHLIGHT, (323, 200): HIGHLIGHT, (100, 342): BAR, (322, 200): BAR}.items():
        check(title[x, y] == colour, f"({x}, {y}) is {title[x, y]}, not {colour}")
    # OPTION -> WAIT, twice: the check mark goes and comes back.
    for expected, close_with in (("checked", WAIT), ("unchecked", WAIT), ("checked", OPTION)):
        check((shown := game.click_wait(close_with)) == expected, f"the drop-down shows WAIT {shown}, not {expected}")
    # A LEFT tap on the title screen is forgotten when SPACE starts the game; SPACE held fires at once.
    game.key("Left")
    game.key_down("space")
    fired = poll(lambda: (x := find_ship(p := game.grab())) is not None and any(p.has(x, y, cell(32, 0)) for y in range(0, 283, 6))
                 and p, 5, "a shot from the ship")
    check(find_ship(fired) == 146, f"the game starts with the ship at {find_ship(fired)}, not 146")
    game.key_up("space")
    # A RIGHT tap moves the ship one step; LEFT held moves it on, 8 pixels a frame.
    game.key("Right")
    stepped = poll(lambda: find_ship(p := game.grab()) != 146 and p, 2, "the ship to move")
    later = game.next_frame(stepped)
    check(find_ship(stepped) == find_ship(later) == 154, f"one RIGHT tap took the ship to {find_ship(stepped)}, {find_ship(later)}")
    game.key_down("Left")
    moved = poll(lambda: (x := find_ship(game.grab())) is not None and x <= 130 and (x,), 2, "the ship to go left")[0]
    game.key_up("Left")
    check(moved % 8 == 154 % 8, f"the ship stands at {moved}, off its 8-pixel steps from 154")
    game.close()
    check(game.wait_exit() == 0 and game.errors() == "", f"zorva ended with {game.proc.returncode}: {game.errors()}")

def install(display, zorva, cmake, build, source):
    with tempfile.TemporaryDirectory(prefix="zorva-e2e-") as tmp:
        prefix = os.path.join(tmp, "my games $HOME")
        done = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True)
        check(done.returncode == 0, f"cmake --install: {done.stderr.decode(errors='replace')[-800:]}")
        path = lambda p: os.path.join(prefix, p)  # noqa: E731
        read = lambda p: pathlib.Path(p).read_bytes()  # noqa: E731
        check(read(path("lib/zorva/zorva")) == read(zorva), "the installed program is not the built one")
        check(read(path("lib/zorva/効果音.wav")) == read(os.path.join(source, "assets", "効果音.wav")), "the sound is not the game's")
        check(os.access(path("bin/zorva"), os.X_OK) and read(path("bin/zorva")).startswith(b"#!"), "the launcher is no script")
        check(read(path("share/icons/hicolor/32x32/apps/zorva.png"))[12:24] == b"IHDR" + bytes([0, 0, 0, 32] * 2), "no 32 x 32 icon")
        entry = path("share/applications/org.zorva.Zorva.desktop")
        done = subprocess.run(["desktop-file-validate", entry], capture_output=True)
        check(done.returncode == 0 and not done.stdout.strip(), f"desktop-file-validate: {done.stdout + done.stderr}")
        # Exec: a string value (a doubled backslash is one), then a quoted argument (a backslash escapes).
        entry_group = read(entry).decode().split("\n[Desktop Action")[0]  # the entry itself, not its actions
        value = dict(line.split("=", 1) for line in entry_group.splitlines() if "=" in line)["Exec"].replace("\\\\", "\\")
        check(value[0] == value[-1] == '"' and re.sub(r"\\(.)", r"\1", value[1:-1]) == path("bin/zorva"), f"Exec={value}")
        # Started through the launcher from elsewhere; the first shot destroys an enemy of the fourth column.
        heard_file = os.path.join(tmp, "heard.raw")
        game = Zorva(display, path("bin/zorva"), cwd="/", SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=heard_file)
        game.wait_window()
        check(os.path.realpath(f"/proc/{game.proc.pid}/exe") == os.path.realpath(path("lib/zorva/zorva")), "not the installed program")
        game.key("space")
        game.key_down("space")
        poll(lambda: os.path.getsize(heard_file) and heard(heard_file), 10, "the sound of something destroyed")
        game.key_up("space")
        game.close()
        check(game.wait_exit() == 0, f"the installed zorva ended with {game.proc.returncode}: {game.errors()[-500:]}")

if __name__ == "__main__":
    args = arguments("zorva")
    with Display() as display:
        install(display, **args) if "cmake" in args else play(display, **args)
