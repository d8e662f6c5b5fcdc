"""The real window as a player meets it, under Xvfb and openbox: caption, size
and frame, the title logo, OPTION -> WAIT with the mouse, a game steered with
the keyboard, and the window manager's close. The ship's part is over within
25 frames of the game's start, before any enemy bullet can reach the ship's line."""

import os

from zorva_e2e import (ASSETS, PICTURE_H, PICTURE_W, Display, Zorva, arguments, bmp, cell, check, find_ship, poll,
                       require_tools, sprites, star_shift)

BAR, SHADOW, DARK, HIGHLIGHT = (212, 208, 200), (128, 128, 128), (0, 0, 0), (255, 255, 255)
OPTION, WAIT = (12, 10), (40, 30)  # the menu's title, and its item in the open drop-down
TICK = "......#" ".....##" "#...###" "##.###." "#####.." ".###..." "..#...."  # the check mark at (11, 27)


def menu(p):
    """None while the drop-down is closed, else what its check mark's place shows."""
    if not all(p[x, 41] == SHADOW and p[x, 42] == DARK for x in range(10, 90)):
        return None
    shown = "".join({DARK: "#", BAR: "."}.get(p[11 + i % 7, 27 + i // 7], "?") for i in range(49))
    return "checked" if shown == TICK else "unchecked" if shown == "." * 49 else shown


def main():
    zorva = arguments("zorva")["zorva"]
    require_tools()
    with Display() as display:
        game = Zorva(display, zorva)
        game.wait_window()
        check(game.size() == (PICTURE_W, PICTURE_H), f"the window is {game.size()}, not 324 x 344")
        caption = game.xdo("getwindowname", str(game.window)).strip()
        check(caption == "ＺＯＲＶＡ", f"the caption is {caption!r}")

        # The title screen: the whole logo over the stars, the canvas's sunken frame below the menu bar.
        logo = bmp(os.path.join(ASSETS, "logo.bmp"))
        title = poll(lambda: (p := game.grab()).has(30, 15, logo, False) and p, 10, "the title logo")
        for (x, y), colour in {(200, 10): BAR, (100, 20): SHADOW, (0, 200): SHADOW, (100, 21): DARK, (1, 200): DARK,
                               (100, 343): HIGHLIGHT, (323, 200): HIGHLIGHT, (100, 342): BAR, (322, 200): BAR}.items():
            check(title[x, y] == colour, f"({x}, {y}) is {title[x, y]}, not {colour}")

        # OPTION -> WAIT, twice: the check mark goes and comes back.
        for expected, close_with in (("checked", WAIT), ("unchecked", WAIT), ("checked", OPTION)):
            game.click(*OPTION)
            shown = poll(lambda: menu(game.grab()), 5, "the drop-down to open")
            check(shown == expected, f"the drop-down shows WAIT {shown}, not {expected}")
            game.click(*close_with)
            poll(lambda: menu(game.grab()) is None, 5, "the drop-down to close")

        # A LEFT tap on the title screen is forgotten when SPACE starts the game; SPACE held fires at once.
        game.key("Left")
        game.key_down("space")
        shot = cell(sprites(), 32, 0)
        fired = poll(lambda: (x := find_ship(p := game.grab())) is not None and
                     any(p.has(x, y, shot, False) for y in range(0, 283, 6)) and p, 5, "a shot from the ship")
        check(find_ship(fired) == 146, f"the game starts with the ship at {find_ship(fired)}, not 146")
        game.key_up("space")
        # A RIGHT tap moves the ship one step; LEFT held moves it on, 8 pixels a frame.
        game.key("Right")
        stepped = poll(lambda: find_ship(p := game.grab()) != 146 and p, 2, "the ship to move")
        check(find_ship(stepped) == find_ship(game.next_frame(stepped)) == 154,
              f"after one RIGHT tap the ship stands at {find_ship(stepped)}, then {find_ship(game.grab())}")
        game.key_down("Left")
        moved = poll(lambda: (x := find_ship(game.grab())) is not None and x <= 130 and (x,), 2, "the ship to go left")[0]
        game.key_up("Left")
        check(moved % 8 == 154 % 8, f"the ship stands at {moved}, off its 8-pixel steps from 154")
        frames = star_shift(fired, game.grab())[0]
        print(f"the ship's part took {frames} frames", flush=True)

        status = game.close()
        check(status == 0, f"zorva ended with {status} after the close: {game.errors()}")
        check(game.errors() == "", f"zorva wrote to standard error: {game.errors()}")


if __name__ == "__main__":
    main()
