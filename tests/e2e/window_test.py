"""The real window: caption, size, frame, title logo, play, the WAIT menu item
and scaling, driven with real X input and read from real screenshots."""

import sys
import time

from zorva_e2e import (BAR, CANVAS_X, CANVAS_Y, DARK, HIGHLIGHT, PICTURE_H, PICTURE_W, SHADOW, Display, Failure,
                       Game, arguments, check, logo_orange, poll, require_tools, run, ship_place, shot_blue,
                       star_shift)

ARGS = arguments("zorva")
display = None

# The menu's places at 1x: the OPTION title in the bar, the WAIT item in the
# open drop-down, the 7 x 7 check mark at the item's left, and the bottom
# edge of the drop-down's frame (a shadow line over a dark line).
OPTION_AT = (12, 10)
WAIT_AT = (40, 30)
CHECK_RECT = (11, 27, 18, 34)
DROP_BOTTOM = (10, 90, 41)

LIGHT = BAR


def game():
    g = Game(display, ARGS["zorva"])
    g.wait_window()
    return g


def test_title_window():
    g = game()
    check(g.caption() == "ＺＯＲＶＡ", f"the caption is {g.caption()!r}")
    check(g.geometry() == (PICTURE_W, PICTURE_H), f"the client area is {g.geometry()}, not 324x344")
    pic = g.wait_picture(lambda p: p.count(logo_orange, CANVAS_X + 30, CANVAS_Y + 15, CANVAS_X + 293,
                                           CANVAS_Y + 244) >= 4000, 5, "the title logo")

    # The menu bar with OPTION in dark letters on the bar's grey.
    bar = pic.count(lambda c: c == BAR, 0, 0, PICTURE_W, 20)
    check(bar > 0.85 * PICTURE_W * 20, f"the menu bar is not bar grey ({bar} pixels)")
    ink = pic.count(lambda c: c == DARK, 2, 1, 60, 19)
    check(ink >= 20, f"no OPTION in the menu bar ({ink} dark pixels)")

    # The sunken frame around the canvas: shadow and highlight outside, dark
    # and light inside; the top and left edges leave the far corners to the
    # bottom and right edges.
    top, bottom, left, right = 20, PICTURE_H - 1, 0, PICTURE_W - 1
    edges = [
        ("outer top", [(x, top) for x in range(left, right)], SHADOW),
        ("outer left", [(left, y) for y in range(top, bottom)], SHADOW),
        ("outer bottom", [(x, bottom) for x in range(left, right + 1)], HIGHLIGHT),
        ("outer right", [(right, y) for y in range(top, bottom + 1)], HIGHLIGHT),
        ("inner top", [(x, top + 1) for x in range(left + 1, right - 1)], DARK),
        ("inner left", [(left + 1, y) for y in range(top + 1, bottom - 1)], DARK),
        ("inner bottom", [(x, bottom - 1) for x in range(left + 1, right)], LIGHT),
        ("inner right", [(right - 1, y) for y in range(top + 1, bottom)], LIGHT),
    ]
    for name, points, colour in edges:
        wrong = [(p, pic[p]) for p in points if pic[p] != colour]
        check(not wrong, f"the frame's {name} edge is not {colour}: {wrong[:3]}")
    g.close()
    check(g.wait_exit() == 0, "closing did not end with 0")


def test_play():
    g = game()
    start = g.start_game()
    x0 = g.ship_x(start)
    check(abs(x0 - 162) <= 6, f"the ship starts at mean x {x0:.0f}, not about 162 (146..177)")
    check(start.count(shot_blue, CANVAS_X + int(x0) - 12, CANVAS_Y + 40, CANVAS_X + int(x0) + 12,
                      CANVAS_Y + 288) < 6, "shots before any was fired")

    left = g.hold_until_ship("Left", lambda x: x < x0 - 40, "LEFT to move the ship")
    # Released, the ship stays.
    time.sleep(0.15)
    rest = g.ship_x()
    # (A lone star of the ship's grey in its band may nudge the mean a little.)
    later = g.ship_x()
    check(abs(later - rest) <= 1.5 and rest <= left + 1.5,
          f"the ship drifts after LEFT was released ({left:.1f} -> {rest:.1f} -> {later:.1f})")
    right = g.hold_until_ship("Right", lambda x: x > rest + 80, "RIGHT to move the ship")

    g.key_down("space")
    try:
        def shot_above():
            pic = g.grab()
            x = int(g.ship_x(pic))
            return pic.count(shot_blue, CANVAS_X + x - 12, CANVAS_Y + 40, CANVAS_X + x + 12, CANVAS_Y + 288) >= 6
        poll(shot_above, 3, f"a shot above the ship (mean x {right:.0f})", interval=0.02)
    finally:
        g.key_up("space")
    g.close()
    check(g.wait_exit() == 0, "closing did not end with 0")


def menu_state(pic):
    """(open, checked) as the picture shows the menu."""
    x0, x1, y = DROP_BOTTOM
    is_open = all(pic[x, y] == SHADOW and pic[x, y + 1] == DARK for x in range(x0, x1))
    ink = pic.count(lambda c: c == DARK, *CHECK_RECT) if is_open else 0
    return is_open, ink


def test_option_wait():
    g = game()
    g.focus()

    def open_menu():
        g.click(*OPTION_AT)
        return g.wait_picture(lambda p: menu_state(p)[0], 5, "the drop-down to open")

    def choose_wait():
        g.click(*WAIT_AT)
        g.wait_picture(lambda p: not menu_state(p)[0], 5, "the drop-down to close after WAIT")

    pic = open_menu()
    ink = menu_state(pic)[1]
    check(ink >= 15, f"WAIT is not checked at the start ({ink} dark pixels where the mark goes)")
    choose_wait()
    pic = open_menu()
    check(menu_state(pic)[1] == 0, "the check mark stayed after a click on WAIT")
    check(pic.count(lambda c: c == BAR, *CHECK_RECT) == 49, "the unchecked item is not plain bar grey")
    choose_wait()
    pic = open_menu()
    check(menu_state(pic)[1] == ink, "the check mark did not come back on the second click")
    # A click on the title closes it again.
    g.click(*OPTION_AT)
    g.wait_picture(lambda p: not menu_state(p)[0], 5, "the drop-down to close on OPTION")
    g.close()
    check(g.wait_exit() == 0, "closing did not end with 0")


def frames_per_second(g, seconds=1.2):
    a, t0 = g.grab(), time.monotonic()
    time.sleep(seconds)
    b, t1 = g.grab(), time.monotonic()
    shift, votes, runner_up = star_shift(a, b)
    check(votes >= 20 and votes >= 3 * runner_up, f"the starfield did not move clearly ({votes} vs {runner_up})")
    return shift / (t1 - t0)


def test_wait_paces_the_game():
    # Checked, a game frame lasts 30 ms or more; unchecked, frames come as
    # fast as the display takes them.
    g = game()
    g.start_game()
    paced = frames_per_second(g)
    check(20 <= paced <= 35, f"with WAIT checked the game runs at {paced:.1f} frames per second")
    g.click(*OPTION_AT)
    g.wait_picture(lambda p: menu_state(p)[0], 5, "the drop-down to open")
    g.click(*WAIT_AT)
    g.wait_picture(lambda p: not menu_state(p)[0], 5, "the drop-down to close")
    free = frames_per_second(g)
    print(f"  frames per second: {paced:.1f} with WAIT, {free:.1f} without", flush=True)
    check(free >= 1.25 * paced, f"unchecking WAIT did not speed the game up ({paced:.1f} -> {free:.1f} fps)")
    g.close()
    check(g.wait_exit() == 0, "closing did not end with 0")


def test_twice_the_size():
    g = game()
    g.wait_picture(lambda p: p.count(logo_orange, CANVAS_X + 30, CANVAS_Y + 15, CANVAS_X + 293,
                                     CANVAS_Y + 244) >= 4000, 5, "the title logo")
    small = g.grab()
    g.xdo("windowmove", str(g.window), "0", "0")
    g.xdo("windowsize", str(g.window), str(2 * PICTURE_W), str(2 * PICTURE_H))
    poll(lambda: g.geometry() == (2 * PICTURE_W, 2 * PICTURE_H), 5, "the window to take 648x688")

    def doubled(p):
        if (p.width, p.height) != (2 * PICTURE_W, 2 * PICTURE_H):
            return False
        return all(p[2 * x, 2 * y] == small[x, y] for x in range(0, PICTURE_W, 7) for y in (5, 10, 20, 21))
    big = g.wait_picture(doubled, 5, "a picture at twice the size")

    # Every pixel of the 1x picture is a 2 x 2 block.
    blocks = [(x, y) for x in range(PICTURE_W) for y in range(PICTURE_H)
              if not (big[2 * x, 2 * y] == big[2 * x + 1, 2 * y] == big[2 * x, 2 * y + 1] ==
                      big[2 * x + 1, 2 * y + 1])]
    check(not blocks, f"{len(blocks)} pixels are not 2x2 blocks, e.g. {blocks[:3]}")
    # The menu bar and the frame are the 1x ones, doubled.
    fixed = [(x, y) for x in range(PICTURE_W) for y in range(PICTURE_H)
             if y < 22 or y >= PICTURE_H - 2 or x < 2 or x >= PICTURE_W - 2]
    wrong = [p for p in fixed if big[2 * p[0], 2 * p[1]] != small[p]]
    check(not wrong, f"{len(wrong)} pixels of the bar and frame differ at 2x, e.g. {wrong[:3]}")
    # So is the logo, but for the stars drifting beneath it.
    logo = [(x, y, c) for x, y, c in small.points(CANVAS_X + 30, CANVAS_Y + 15, CANVAS_X + 293, CANVAS_Y + 244)
            if logo_orange(c)]
    same = sum(1 for x, y, c in logo if big[2 * x, 2 * y] == c)
    check(same >= 0.97 * len(logo), f"only {same} of {len(logo)} logo pixels are the same at 2x")

    # A larger window keeps the 2x picture, centred, on black.
    g.xdo("windowsize", str(g.window), "700", "750")
    poll(lambda: g.geometry() == (700, 750), 5, "the window to take 700x750")
    ox, oy = (700 - 2 * PICTURE_W) // 2, (750 - 2 * PICTURE_H) // 2
    g.wait_picture(lambda p: p.width == 700 and all(p[ox + 2 * x, oy + 2 * y] == small[x, y]
                                                      for x in range(0, PICTURE_W, 5) for y in (5, 10, 20)),
                   5, "the 2x picture centred in 700x750")
    pic = g.grab()
    margin = pic.count(lambda c: c != (0, 0, 0), 0, 0, ox, 750) + pic.count(lambda c: c != (0, 0, 0), 0, 0, 700, oy)
    check(margin == 0, f"{margin} lit pixels in the black margin")
    g.close()
    check(g.wait_exit() == 0, "closing did not end with 0")


if __name__ == "__main__":
    require_tools()
    try:
        with Display() as display:
            status = run([test_title_window, test_play, test_option_wait, test_wait_paces_the_game,
                          test_twice_the_size])
    except Failure as error:
        print(f"FAIL: {error}\n0 passed, 1 failed")
        status = 1
    sys.exit(status)
