"""End-to-end tests of Veltrane.exe under Wine on a private desktop: each
starts a fresh Veltrane.exe, drives it the way a user would (X pointer and
keyboard through xdotool) or the way other programs would (probes of our own,
cross-built into build/e2e/), and checks what can be seen from outside: X
windows, screen pixels, key events, files the probes write, process exit."""

import math
import re
import time
from pathlib import Path

import pytest

from harness import (BACKGROUND, BARE_POINT, BUILD, CLIENT_SIZE, HIGHLIGHTS, HITAREA, HOME_PAGE,
                     LINKAREA, MINAREA, MINBUTAREA, OVERIMG_MARGIN, ROOT, RUN_DIR, SKIN_SIZE,
                     WINDOW_POS, XAREA, Failure, asset, differing, lit, on_display, opened_after,
                     pointer_shape, read_bmp, read_cursor, read_icon, running_copies,
                     start_traced, wait_until, wine_pid, winpath)

# The layout in units of 1/1440 inch (left, top, width, height), for screens
# of other densities, and the outline's five shapes in pixels of a 96 pixels
# per inch screen: (x1, y1, x2, y2, ellipse width, ellipse height), the
# ellipse None for a plain rectangle.
LAYOUT_UNITS = {
    "window": (8235, 6540, 7530, 4920),
    "minbutarea": (4020, 4290, 1305, 345),
    "minarea": (450, 60, 225, 225),
    "xarea": (120, 30, 255, 285),
    "hitarea": (5580, 4260, 1425, 405),
    "Image1": (1860, 3330, 3225, 285),
}
OUTLINE_SHAPES = (
    (-12, -9, 84, 89, 72, 90),
    (346, -13, 502, 103, 132, 34),
    (60, 0, 416, 131, None, None),
    (0, 49, 183, 328, None, None),
    (151, 55, 501, 328, None, None),
)
DPI120_PREFIX = RUN_DIR / "wine-prefix-120dpi"
SCREENS_PREFIX = RUN_DIR / "wine-prefix-screens"

# Keys the poller answers: X keysym, the vk Wine reports for it, the vk the
# program injects in answer, and the X keysym of that answer's physical key.
REMAPPED_KEYS = (
    ("F13", 124, 44, "Print"),
    ("F14", 125, 145, "Scroll_Lock"),
    ("F15", 126, 19, "Pause"),
    ("Super_R", 92, 92, "Super_R"),    # right Windows key, answered with itself
)
# Wine answers an idle key's state from a cache for up to 50 ms and a 3 ms
# timer ticks every 10 ms there: hold past the cache, wait past it plus a tick.
KEY_HOLD_S = 0.15
KEY_SETTLE_S = 0.06 + 0.02 + 0.1



def round_rect_rows(x1, y1, x2, y2, w, h):
    """The pixels of CreateRoundRectRgn(x1, y1, x2, y2, w, h) as the fake
    desktop makes them (PixelRegion::RoundRect in tests/fake/fake_gdi.cpp,
    which the contract checks hold to Wine's for the outline's arguments):
    {row: (left, right)}, right excluded. The rectangle less its right column
    and bottom row, its corners quarters of an ideal ellipse, every pixel
    whose centre lies inside kept."""
    x1, x2 = sorted((x1, x2))
    y1, y2 = sorted((y1, y2))
    if x1 == x2 or y1 == y2:
        return {}
    x2, y2 = x2 - 1, y2 - 1
    rx, ry = min(abs(w), x2 - x1) / 2, min(abs(h), y2 - y1) / 2
    if rx <= 0 or ry <= 0:
        return {y: (x1, x2) for y in range(y1, y2)}

    def inside(px, py, cx, cy):
        dx, dy = (px - cx) / rx, (py - cy) / ry
        return dx * dx + dy * dy <= 1.0
    left_cx, right_cx, top_cy, bottom_cy = x1 + rx, x2 - rx, y1 + ry, y2 - ry
    rows = {}
    for y in range(y1, y2):
        py, left, right = y + 0.5, x1, x2
        if py < top_cy or py > bottom_cy:
            cy = top_cy if py < top_cy else bottom_cy
            dy = (py - cy) / ry
            half = rx * math.sqrt(max(0.0, 1.0 - dy * dy))
            # From the arc's computed edge, settled by testing pixel centres.
            left = int(min(max(math.ceil(left_cx - half - 0.5), x1), x2))
            while left > x1 and inside(left - 0.5, py, left_cx, cy):
                left -= 1
            while left < x2 and left + 0.5 < left_cx and not inside(left + 0.5, py, left_cx, cy):
                left += 1
            right = int(min(max(math.floor(right_cx + half + 0.5), x1), x2))
            while right < x2 and inside(right + 0.5, py, right_cx, cy):
                right += 1
            while right > left and right - 0.5 > right_cx and \
                    not inside(right - 0.5, py, right_cx, cy):
                right -= 1
        if left < right:
            rows[y] = (left, right)
    return rows


def outline(dpi, width, height):
    """The window's outline at `dpi` inside a window of width x height: a row
    of flags per pixel row, 1 where it keeps the pixel. The shapes' values
    scale to device pixels with a half going to the even neighbour, as the
    program rounds; the union of the shapes is the outline."""
    kept = [bytearray(width) for _ in range(height)]
    for shape in OUTLINE_SHAPES:
        x1, y1, x2, y2, ew, eh = (None if v is None else round(v * dpi / 96) for v in shape)
        rows = (round_rect_rows(x1, y1, x2, y2, ew, eh) if ew is not None else
                {y: (x1, x2) for y in range(y1, y2)})
        for y, (left, right) in rows.items():
            left, right = max(left, 0), min(right, width)
            if 0 <= y < height and left < right:
                kept[y][left:right] = b"\1" * (right - left)
    return kept


def check_outline_and_skin(t, info, dpi):
    """Judges every pixel of the window and of a 4-pixel ring around it: where
    the outline at `dpi` keeps it, the skin (unscaled, at the top left) or,
    beyond the skin, one button-face colour; everywhere else the root colour.
    Returns how many pixels were judged."""
    kept = outline(dpi, info["w"], info["h"])
    skin = read_bmp(t.opts.skin)
    shot = t.display.screenshot().crop(info["x"] - 4, info["y"] - 4, info["w"] + 8, info["h"] + 8)
    wrong, face = [], set()
    for py in range(shot.height):
        for px in range(shot.width):
            x, y, got = px - 4, py - 4, shot.pixel(px, py)
            if not (0 <= x < info["w"] and 0 <= y < info["h"] and kept[y][x]):
                if got != BACKGROUND:
                    wrong.append(("cut", (x, y), got))
            elif x < skin.width and y < skin.height:
                if got != skin.pixel(x, y):
                    wrong.append(("skin", (x, y), got))
            elif got == BACKGROUND:
                wrong.append(("face", (x, y), got))
            else:
                face.add(got)
    t.check(not wrong, f"{len(wrong)} pixels differ from the outline and the skin at {dpi} dpi "
                       f"(expected, where, seen): {wrong[:6]}")
    t.check(len(face) <= 1, f"beyond the skin the window shows {sorted(face)[:4]}, "
                            "not one button-face colour")
    return shot.width * shot.height


def test_window_and_skin(t):
    """The window sits at its layout position with its client size; each
    pixel its outline keeps shows the skin, each one it cuts and the ring
    around the window the root colour. Wine's rounded regions leave out their
    right column and bottom row: the top-left shape cuts three skin pixels at
    the corner, the top-right one the top two of column 500, and no shape
    keeps column 501 (just right of the skin)."""
    t.start_app()
    info = t.window_info(t.wid)
    t.check((info["x"], info["y"]) == WINDOW_POS,
            f"window at ({info['x']}, {info['y']}), expected {WINDOW_POS}")
    t.check((info["w"], info["h"]) == CLIENT_SIZE,
            f"client size {info['w']}x{info['h']}, expected {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
    skin = read_bmp(t.opts.skin)
    t.check((skin.width, skin.height) == SKIN_SIZE,
            f"{t.opts.skin} is {skin.width}x{skin.height}, expected 501x328")
    t.note(f"{check_outline_and_skin(t, info, 96)} pixels judged")


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def test_hover_highlights(t):
    """Resting on a hot area shows its highlight picture and no other; moving
    straight onto the next area swaps them; moving onto the bare surface
    brings the skin back everywhere."""
    skin = read_bmp(t.opts.skin)
    lit = {name: (asset(t, name), at) for _, _, name, at in HIGHLIGHTS}
    unlit = {name: (skin.crop(*at, pic.width, pic.height), at) for name, (pic, at) in lit.items()}
    for name in lit:
        t.check(differing(skin, *lit[name]) > 0, f"{name}.bmp equals the skin it covers")

    def shown(shot):
        out = {}
        for name in lit:
            if differing(shot, *lit[name]) == 0:
                out[name] = "lit"
            elif differing(shot, *unlit[name]) == 0:
                out[name] = "skin"
            else:
                out[name] = "neither"
        return out

    t.start_app()
    t.hover(*BARE_POINT)
    for area, rect, name, _ in HIGHLIGHTS:
        t.hover(*centre(rect))
        got = shown(t.client_shot())
        want = {n: "lit" if n == name else "skin" for n in lit}
        t.check(got == want, f"resting on {area}: {got}, expected {want}")
    t.hover(*BARE_POINT)
    got = shown(t.client_shot())
    t.check(set(got.values()) == {"skin"}, f"resting on the bare surface: {got}")


DRAG_STEPS = [(-12, 8)] * 5


def test_drag(t):
    """A press on the bare surface, primary or secondary button, then a move
    with the button held: the window follows the pointer's displacement."""
    dx, dy = map(sum, zip(*DRAG_STEPS))
    for button in (1, 3):
        t.start_app()
        t.drag_from(*BARE_POINT, DRAG_STEPS, button)
        info = t.window_info(t.wid)
        got, want = (info["x"], info["y"]), (WINDOW_POS[0] + dx, WINDOW_POS[1] + dy)
        t.check(got == want, f"button {button}: window at {got} after the drag, expected {want}")
        t.check(info["map"] == "IsViewable" and t.app.running(),
                f"button {button}: the window or the process went away")
        t.cleanup()


def test_press_on_highlight_margin(t):
    """With overimg shown, a press on its margin outside hitarea is neither
    a command nor a drag; with overimg hidden the same press drags.

    The first tick that sees the pointer off hitarea hides overimg, so the
    press must reach the program with the move onto the margin: drag_from
    freezes the pointer while both are queued (see frozen_press)."""
    dx, dy = map(sum, zip(*DRAG_STEPS))
    dragged_to = (WINDOW_POS[0] + dx, WINDOW_POS[1] + dy)
    t.start_app()
    t.hover(*centre(HITAREA))
    t.check(lit(t, "overimg"), "overimg is not shown on hitarea")
    t.drag_from(*OVERIMG_MARGIN, DRAG_STEPS)
    info = t.window_info(t.wid)
    t.check(t.app.running() and info and info["map"] == "IsViewable",
            "a press on overimg's margin closed or hid the window")
    t.check((info["x"], info["y"]) == WINDOW_POS,
            f"a press on overimg's margin, shown, moved the window to ({info['x']}, {info['y']})")
    t.hover(*BARE_POINT)
    t.check(not lit(t, "overimg"), "overimg still shown on the bare surface")
    t.drag_from(*OVERIMG_MARGIN, DRAG_STEPS)
    info = t.window_info(t.wid)
    t.check((info["x"], info["y"]) == dragged_to,
            f"with overimg hidden, a press at its place left the window at "
            f"({info['x']}, {info['y']}) instead of dragging it to {dragged_to}")


def test_pointer_shapes(t):
    """The hand cursor of the program's resources, hot spot on the finger's
    tip, over each hot area and the web link; the standard arrow over the
    bare surface and over overimg's margin outside hitarea. The reference
    arrow is the one the tray icon's window shows (the class cursor of the
    shell's icon windows)."""
    hand = read_cursor(ROOT / "assets" / "hand.cur")
    t.check(hand[2:4] == (11, 3), f"hand.cur has its hot spot at {hand[2:4]}")
    t.start_app()
    (icon, _), = t.wait_tray_count(1)
    for dx in (3, 0):   # two motions, as a hand makes, then time for Wine to set it
        t.display.x("xdotool", "mousemove", str(icon[0] - dx), str(icon[1]))
    time.sleep(1)
    arrow = pointer_shape(t.display.name)
    t.check(arrow.key() != hand, "the tray icon's window shows the hand")
    wrong = []
    # Straight from hitarea onto overimg's margin, which is then still shown.
    places = [(area, centre(rect), hand) for area, rect, _, _ in HIGHLIGHTS]
    places.insert(1, ("overimg's margin", OVERIMG_MARGIN, arrow.key()))
    places += [("web link", centre(LINKAREA), hand), ("bare surface", BARE_POINT, arrow.key())]
    seen = []

    def shows(want):
        seen[:] = [pointer_shape(t.display.name)]
        return seen[0].key() == want
    for label, point, want in places:
        t.hover(*point, rest=0.1)
        if not wait_until(lambda: shows(want), 2):
            wrong.append(f"{label}: {seen[0]}")
    t.check(not wrong, "wrong pointer (hand: 32x32, hot spot (11, 3); arrow: "
                       f"{arrow}): " + "; ".join(wrong))


def hide_by_yellow_dot(t):
    t.click_centre(MINAREA)
    t.check(wait_until(lambda: not t.is_mapped(), 3), "the yellow dot did not hide the window")


# Where Wine first paints a docked icon: as in its own 20-pixel tray slot,
# the 16 x 16 image 2 pixels in from the top left.
WINE_FIRST_PAINT_AT = (2, 2)


def icon_errors(slot):
    """The pixels of a tray icon's window that differ from the 16 x 16 image of
    assets/veltrane.ico centred in it, as (where, seen). Where that image is
    opaque it must show exactly; every other pixel shows the ground (the
    window's corner) or exactly what Wine's first paint of the icon, at
    WINE_FIRST_PAINT_AT, put there. Wine, docking an icon, at times paints it
    first as in its own slot and then centred, drawing only the opaque pixels
    over the first paint and never erasing it, so waiting does not clear it:
    that one leftover is accepted, pixel for pixel, and nothing else. A wrong,
    missing or misplaced icon still fails on its opaque pixels."""
    w, h, _, opaque = read_icon(ROOT / "assets" / "veltrane.ico")
    if (w, h) != (16, 16):
        raise Failure(f"the first image of veltrane.ico is {w}x{h}")
    left, top, ground = (slot.width - w) // 2, (slot.height - h) // 2, slot.pixel(0, 0)
    first_x, first_y = WINE_FIRST_PAINT_AT
    wrong = []
    for y in range(slot.height):
        for x in range(slot.width):
            seen = slot.pixel(x, y)
            if (x - left, y - top) in opaque:
                if seen != opaque[(x - left, y - top)]:
                    wrong.append(((x, y), seen))
            elif seen not in (ground, opaque.get((x - first_x, y - first_y), ground)):
                wrong.append(((x, y), seen))
    return wrong


def test_tray_icon_shows_window(t):
    """After start the window has its icon in the desktop's tray: the 16 x 16
    image of assets/veltrane.ico centred in the icon's window, pixel for pixel
    where it is opaque, the ground elsewhere (icon_errors); resting on it shows
    the tip "Veltrane" (the text of the shell's tooltip window, read by the
    probe). Releasing the primary, secondary or middle button on it brings the
    hidden window back where it was, with no highlight left on."""
    t.wait_tray_count(0, timeout=5)
    t.start_app()
    (icon, slot), = t.wait_tray_count(1)
    wrong = icon_errors(slot)
    t.check(not wrong, f"{len(wrong)} pixels of the {slot.width} x {slot.height} tray icon differ "
                       f"from the 16 x 16 icon on {slot.pixel(0, 0)} (at, seen): {wrong[:4]}")
    for dx in (3, 0):   # two motions, as a hand makes
        t.display.x("xdotool", "mousemove", str(icon[0] - dx), str(icon[1]))
    tips = wait_until(lambda: t.probe("tips"), 5, 0.2)
    t.check(tips == 'tip "Veltrane"', f"resting on the tray icon shows the tooltips {tips!r}")
    skin = read_bmp(t.opts.skin)
    minimg, at = asset(t, "minimg"), (32, 10)
    unlit = skin.crop(*at, minimg.width, minimg.height)
    for button in (1, 3, 2):
        hide_by_yellow_dot(t)
        time.sleep(0.2)
        t.click_screen(*icon, button=button)
        t.check(wait_until(t.is_mapped, 3), f"button {button} on the tray icon: window still hidden")
        time.sleep(0.2)
        info = t.window_info(t.wid)
        t.check((info["x"], info["y"]) == WINDOW_POS,
                f"button {button}: the window came back at ({info['x']}, {info['y']})")
        t.check(differing(t.client_shot(), unlit, at) == 0,
                f"button {button}: the window came back with the yellow dot still lit")
    t.check(len(t.tray_icons()) == 1, "showing the window changed the number of tray icons")


def test_tray_icon_leaves(t):
    """Exit and a close request from another process, with the window shown or
    hidden, each end the process and take the icon out of the tray; the start
    after each end, Exit first, runs again: its own window shown, its icon
    back (a copy that has ended is not taken for one still running)."""
    t.wait_tray_count(0, timeout=5)
    start = "the first start"
    for case in ("Exit", "close, shown", "close, hidden"):
        t.start_app()
        t.wait_tray_count(1)
        t.check(t.app.running() and t.is_mapped(),
                f"{start}: the process ended or its window is not shown")
        start = f"the start after {case}"
        if case == "close, hidden":
            hide_by_yellow_dot(t)
        asked = time.monotonic()
        if case == "Exit":
            t.click_centre(HITAREA)
        else:
            t.probe("close")
        t.wait_tray_count(0, timeout=8)
        gone = time.monotonic() - asked
        t.check(t.app.wait_exit(8), f"{case}: the process still runs 8 s after the request")
        t.note(f"{case}: icon gone after {gone:.1f} s, process after "
               f"{time.monotonic() - asked:.1f} s")
        t.cleanup()


def test_tray_restart(t):
    """After the shell drops the icon and announces "TaskbarCreated", the
    icon is back, once, and a click on it still shows the window. The icon
    that came back is judged as at the first start (icon_errors)."""
    t.wait_tray_count(0, timeout=5)
    t.start_app()
    t.wait_tray_count(1)
    out = t.probe("tray-restart")
    t.check("NIM_DELETE ok" in out, f"the shell did not drop the icon: {out}")
    (icon, after), = t.wait_tray_count(1)
    wrong = icon_errors(after)
    t.check(not wrong, f"{len(wrong)} pixels of the icon that came back differ from the 16 x 16 "
                       f"icon on {after.pixel(0, 0)} (at, seen): {wrong[:4]}")
    hide_by_yellow_dot(t)
    time.sleep(0.2)
    t.click_screen(*icon)
    t.check(wait_until(t.is_mapped, 3), "a click on the restored icon did not show the window")


def press_and_collect(t, keylog, keysym, phys_vk, hold):
    """Presses keysym for `hold` seconds; returns every injected event from
    just before the press until past its settling, as (vk, down, scan code,
    extended), the raw input of the same span, as (vk, make code, E0, down),
    and the delay from the physical press to the first injected event."""
    before, raw_before = len(keylog.events()), len(keylog.raw())
    t.key(keysym, hold)
    time.sleep(KEY_SETTLE_S)
    events = keylog.events()[before:]
    phys = [e for e in events if e[1] == phys_vk and e[2] and not e[3]]
    if len(phys) != 1:
        raise Failure(f"the keyhook probe saw {len(phys)} physical presses of vk {phys_vk} "
                      f"({keysym}), expected 1 (key repeat on?)")
    injected = [e for e in events if e[3]]
    delay = round(injected[0][0] - phys[0][0]) if injected else None
    return [(e[1], e[2], e[4], e[5]) for e in injected], [r[1:] for r in keylog.raw()[raw_before:]], delay


def physical_strokes(t, keylog):
    """What Wine reports for each answer's physical key, pressed through X:
    {vk: (scan code, extended)} from the hook, {vk: (make code, E0)} from raw
    input."""
    hooked, raw = {}, {}
    for _, _, vk, keysym in REMAPPED_KEYS:
        before, raw_before = len(keylog.events()), len(keylog.raw())
        t.key(keysym, KEY_HOLD_S)
        time.sleep(KEY_SETTLE_S)
        # The first press: Wine follows a lock key with a stroke of its own
        # that brings its lock state in line with the X server's.
        down = [e for e in keylog.events()[before:] if e[1] == vk and e[2] and not e[3]]
        t.check(down, f"{keysym}: the hook saw no physical press of vk {vk}")
        hooked[vk] = down[0][4:]
        raw_down = [r for r in keylog.raw()[raw_before:] if r[1] == vk and r[4] and not r[5]]
        t.check(raw_down, f"{keysym}: raw input brought no press of vk {vk}")
        raw[vk] = tuple(raw_down[0][2:4])
    return hooked, raw


def test_remapped_keys(t):
    """A fresh press of F13, F14, F15 and the right Windows key is answered
    with one injected press and then one release of its answer key, nothing
    else, each as the answer's physical key reaches a hook and raw input:
    the same scan code and extended flag (Print Screen, Scroll Lock, Pause
    and the right Windows key pressed through X first give those); F13 held
    for a second is answered once."""
    t.start_app()
    keylog = t.start_keyhook()
    t.focus()
    hooked, raw = physical_strokes(t, keylog)
    delays = []
    for keysym, phys_vk, out_vk, _, hold in [k + (KEY_HOLD_S,) for k in REMAPPED_KEYS] + [
            ("F13", 124, 44, "Print", 1.0)]:
        label = f"{keysym} held {hold:g} s"
        injected, raw_seen, delay = press_and_collect(t, keylog, keysym, phys_vk, hold)
        want = [(out_vk, True, *hooked[out_vk]), (out_vk, False, *hooked[out_vk])]
        t.check(injected == want and delay >= 0,
                f"{label}: injected (vk, down, scan, extended) {injected} from {delay} ms after "
                f"the physical press; expected {want} after it, nothing else")
        answers = [r[:4] for r in raw_seen if r[4]]
        want = [(out_vk, *raw[out_vk], True), (out_vk, *raw[out_vk], False)]
        t.check(answers == want, f"{label}: raw input of the injected events (vk, make, E0, "
                                 f"down) {answers}; expected {want}, as the physical key's")
        delays.append(f"{label} {delay} ms")
    t.note("hook (scan, extended) " + ", ".join(f"{vk}: ({s:#x}, {e})" for vk, (s, e) in hooked.items())
           + "; raw (make, E0) " + ", ".join(f"{vk}: ({m:#x}, {e})" for vk, (m, e) in raw.items()))
    t.note("first injected event after the physical press: " + ", ".join(delays))


def test_keys_beside_another_reader(t):
    """Another program reads the five keys every millisecond, taking the
    pressed-since-query bit of each press: five presses of F13 are still
    answered five times, no more."""
    t.start_app()
    keylog = t.start_keyhook()
    poller = t.start(t.display.probe_exe("winprobe"), "poll", 6000, tag="poller")
    t.check(wait_until(lambda: "polling" in Path(poller.log).read_text(), 10),
            "the polling probe did not start")
    t.focus()
    before = len(keylog.events())
    for _ in range(5):
        t.key("F13", KEY_HOLD_S)
        time.sleep(KEY_SETTLE_S)
    t.check(poller.wait_exit(15), "the polling probe did not finish")
    events = keylog.events()[before:]
    pressed = sum(1 for e in events if e[1] == 124 and e[2] and not e[3])
    answered = [(e[1], e[2]) for e in events if e[3]]
    taken = re.search(r"taken (.*)", Path(poller.log).read_text())
    t.check(taken, f"the polling probe printed no count: {Path(poller.log).read_text()!r}")
    t.check(pressed == 5 and answered == [(44, True), (44, False)] * 5,
            f"{pressed} physical presses of F13 beside the polling probe, answered with "
            f"(vk, down) {answered}; expected five Print Screen strokes")
    t.note(f"5 presses, {len(answered) // 2} answered; the other reader took the bits "
           f"{taken.group(1)}")


# it before the saved one, as they read the current assignment on Windows.
SESSION_MOUSE = r"HKCU\Software\Wine\Temporary System Parameters\Control Panel\Mouse"


def test_button_assignment(t):
    """Ctrl pressed three times swaps the buttons three times, each for one
    tick: every tick ends with SwapMouseButton, the swapped value after a
    fresh Ctrl reading (0x8001, or down after a reading that was not), the
    user's own value after any other, a held Ctrl (0x8000) included; and the
    program's last call leaves the user's own assignment, which is then the
    session's. Once for a user with normal buttons, ended by Exit, and once
    for one whose buttons are swapped in the prefix's saved mouse settings,
    ended by a close request. Seen through Wine's relay trace.

    Wine never sets the pressed-since-query bit of the generic Ctrl key (it
    derives VK_CONTROL from the left and right keys and sets only their down
    bit on it): a held Ctrl reads 0x8000 from its first reading on, and only
    its going down tells the press."""
    presses = 3
    try:
        for user, end in ((0, "Exit"), (1, "close request")):
            t.display.reg_add(r"HKCU\Control Panel\Mouse", "/v", "SwapMouseButtons",
                              "/d", str(user))
            # As after a fresh logon: the saved setting is the current one.
            t.display.reg("delete", SESSION_MOUSE, "/v", "SwapMouseButtons", "/f")
            trace = start_traced(t, ["user32.GetAsyncKeyState", "user32.SwapMouseButton"])
            t.focus()
            for _ in range(presses):
                t.key("Control_L", 0.3)
                time.sleep(KEY_SETTLE_S)
            if end == "Exit":
                t.click_centre(HITAREA)
            else:
                t.probe("close")
            t.check(t.app.wait_exit(8), f"user {user}: the process still runs 8 s after {end}")
            t.cleanup()
            calls = [(c.function.split(".")[1], c.arg(0), c.ret) for c in trace.calls()]
            ticks = [(c[2] & 0xFFFF, calls[i + 1]) for i, c in enumerate(calls[:-1])
                     if c[:2] == ("GetAsyncKeyState", 17)]
            t.check(len(ticks) >= 20, f"user {user}: {len(ticks)} Ctrl readings in the trace")
            wrong, swaps, was_down = [], [], True   # a key down before the first reading waits
            for i, (reading, call) in enumerate(ticks):
                down = bool(reading & 0x8000)
                fresh = reading == 0x8001 or (down and not was_down)
                was_down = down
                if fresh:
                    swaps.append(i)
                if call[:2] != ("SwapMouseButton", (1 - user) if fresh else user):
                    wrong.append((i, hex(reading), call))
            t.check(not wrong, f"user {user} (SwapMouseButtons {user}): the call after a Ctrl "
                               f"reading was not SwapMouseButton({user}) or, after a fresh "
                               f"press, its opposite (tick, reading, call): {wrong[:4]}")
            t.check(len(swaps) == presses and all(i + 1 < len(ticks) for i in swaps),
                    f"user {user}: {presses} presses of Ctrl swapped the buttons at ticks "
                    f"{swaps} of {len(ticks)}; expected {presses} swaps, each undone a tick later")
            held = sum(1 for r, _ in ticks if r == 0x8000)
            t.check(held >= 10, f"user {user}: only {held} readings of Ctrl held (0x8000); "
                                "the key did not reach the program")
            last = [c for c in calls if c[0] == "SwapMouseButton"][-1]
            t.check(last[1] == user, f"user {user}: the last call before the end, after {end}, "
                                     f"was SwapMouseButton({last[1]})")
            session = t.display.reg_value(SESSION_MOUSE, "SwapMouseButtons")
            t.check(session == str(user), f"user {user}: after the end the session's "
                                          f"assignment is {session or 'unset'}")
            fresh_bits = sum(1 for r, _ in ticks if r == 0x8001)
            t.note(f"user {user}: {len(ticks)} ticks, Ctrl held in {held}, swapped at ticks "
                   f"{swaps}, 0x8001 read {fresh_bits} times")
    finally:
        # Later tests click as a user with normal buttons.
        t.display.reg_add(r"HKCU\Control Panel\Mouse", "/v", "SwapMouseButtons", "/d", "0")
        t.display.reg("delete", SESSION_MOUSE, "/v", "SwapMouseButtons", "/f")


# Key-state queries a second the key loop must keep up, shown and hidden. Wine
# runs the 3 ms timer about every 10 ms, five queries a tick: about 500 a
# second. A loaded machine delays ticks but does not halve them; a timer
# stopped or slowed while hidden falls far below both floors.
MIN_QUERIES_PER_S = 150
MIN_HIDDEN_SHARE = 0.5


def queries_per_second(trace, after, span=1.0):
    """GetAsyncKeyState calls a second in the trace from `after` (Wine's
    clock) over `span`, once the trace reaches past it (or 10 s have gone)."""
    def times():
        got = [c.time for c in trace.calls("user32.GetAsyncKeyState") if c.time >= after]
        return got if got and got[-1] >= after + span else None
    return sum(1 for s in wait_until(times, 10) or [] if s < after + span) / span


def test_hide_commands(t):
    """Minimize and the yellow dot hide the window; the process goes on, and
    so does its key loop: it asks for the keys' state hidden about as often as
    shown (counted in Wine's relay trace, on its clock, in the second before
    the hide and in the second after the hiding call returned)."""
    for label, rect in (("Minimize", MINBUTAREA), ("yellow dot", MINAREA)):
        trace = start_traced(t, ["user32.GetAsyncKeyState", "user32.ShowWindow"])
        start = trace.calls()[-1].time
        shown = queries_per_second(trace, start)
        t.click_centre(rect)
        t.check(wait_until(lambda: not t.is_mapped(), 4), f"{label}: the window is still mapped")
        hid = wait_until(lambda: [c.ret_time for c in trace.calls("user32.ShowWindow")
                                  if c.time > start and c.arg(1) == 0 and c.ret_time], 5)
        t.check(hid, f"{label}: no ShowWindow(SW_HIDE) returned in the trace")
        hidden = queries_per_second(trace, hid[-1])
        t.check(t.app.running(), f"{label}: the process ended instead of hiding its window")
        t.check(shown >= MIN_QUERIES_PER_S and hidden >= max(MIN_QUERIES_PER_S,
                                                            MIN_HIDDEN_SHARE * shown),
                f"{label}: {shown:.0f} key-state queries a second shown, {hidden:.0f} hidden; "
                f"at least {MIN_QUERIES_PER_S} each, hidden at least "
                f"{MIN_HIDDEN_SHARE:.0%} of shown")
        t.note(f"{label}: {shown:.0f} queries/s shown, {hidden:.0f} hidden")
        t.cleanup()


def test_web_link(t):
    """A click on the web link opens the home page with the registered
    http handler."""
    t.start_app()
    lines = opened_after(lambda: t.click_centre(LINKAREA))
    t.check(lines == [HOME_PAGE], f"url probe recorded {lines!r}, expected [{HOME_PAGE!r}]")
    t.check(t.app.running(), "the program ended after opening the link")


def test_exit_commands(t):
    """Exit and the red dot end the process within 4 s."""
    for label, rect in (("Exit", HITAREA), ("red dot", XAREA)):
        t.start_app()
        t.click_centre(rect)
        t.check(t.app.wait_exit(4), f"{label}: the process still runs 4 s after the click")
        t.cleanup()


def test_press_released_elsewhere(t):
    """A press on a command's area is a click only if released there. Exit
    pressed and released off the window, then a release on Exit of a press
    made off the window (a program that missed the first release would take
    it for Exit's click), then Minimize pressed and released over Exit: none
    runs a command, and after each the program still lights a highlight under
    the pointer (after Exit's command it answers nothing, after Minimize's its
    window is gone). A click on Exit then still ends it."""
    off = (100, 900)   # the bare screen, below the tray and left of the window

    def press_and_release(press, release):
        for point, action in ((press, "mousedown"), (release, "mouseup")):
            if point == off:
                t.display.x("xdotool", "mousemove", *map(str, off))
            else:
                t.hover(*point, rest=0.1)
            t.display.x("xdotool", action, "1")
            time.sleep(0.1)

    t.start_app()
    for label, press, release, area in (
            ("Exit released off the window", centre(HITAREA), off, "minimg"),
            ("a release on Exit, pressed off the window", off, centre(HITAREA), "ximg"),
            ("Minimize released over Exit", centre(MINBUTAREA), centre(HITAREA), "minimg")):
        press_and_release(press, release)
        t.hover(*next(centre(rect) for _, rect, pic, _ in HIGHLIGHTS if pic == area))
        t.check(wait_until(lambda: t.app.running() and lit(t, area), 4),
                f"{label}: no {area} under the pointer afterwards, or the process ended")
    t.click_centre(HITAREA)
    t.check(t.app.wait_exit(4), "a click on Exit after those still runs 4 s later")


def to_pixels(units, dpi):
    """Layout units to pixels: each value to the nearest pixel, a value that
    falls halfway as either neighbour. Returns a set per value."""
    out = []
    for u in units:
        exact = u * dpi / 1440
        out.append({math.floor(exact), math.ceil(exact)} if exact % 1 == 0.5 else {round(exact)})
    return out


def surely_inside(rects, x, y):
    """The pixel at (x, y) lies inside, by at least two pixels, one of the
    rectangles (left, top, width, height) of the candidate values of a
    layout rectangle."""
    return all(l + 2 <= x < l + w - 2 and t + 2 <= y < t + h - 2 for l, t, w, h in rects)


def candidates(sets):
    """Every rectangle that the candidate values of to_pixels() allow."""
    rects = [()]
    for values in sets:
        rects = [r + (v,) for r in rects for v in sorted(values)]
    return rects


@pytest.mark.timeout(150)
def test_layout_at_120_dpi(t):
    """On a screen of 120 logical pixels per inch (a prefix of its own with
    LogPixels 120): the window where the layout units put it, with their
    size; the outline's shapes scaled, the skin unscaled at the top left and
    the button face beyond it; and a click on each command area, at a point
    that only the 120-dpi layout gives that area, does its command."""
    with on_display(t, DPI120_PREFIX, "1600x1200x24") as t:
        t.display.set_density(120, t.opts.exe)
        x, y, w, h = to_pixels(LAYOUT_UNITS["window"], 120)
        t.start_app()
        info = t.window_info(t.wid)
        t.check(info["x"] in x and info["y"] in y and info["w"] in w and info["h"] in h,
                f"at 120 dpi the window is at ({info['x']}, {info['y']}), {info['w']}x{info['h']}; "
                f"the layout gives {x}, {y}, {w} x {h}")
        judged = check_outline_and_skin(t, info, 120)
        t.note(f"window {info['w']}x{info['h']} at ({info['x']}, {info['y']}); {judged} pixels judged")

        # Commands, each at a point of its area that no area of the 96-dpi layout covers.
        at96 = (MINBUTAREA, MINAREA, XAREA, HITAREA, LINKAREA)
        for area, command in (("hitarea", "end"), ("minbutarea", "hide"), ("minarea", "hide"),
                              ("xarea", "end"), ("Image1", "open")):
            rects = candidates(to_pixels(LAYOUT_UNITS[area], 120))
            left, top, width, height = rects[0]
            points = sorted(((px, py) for px in range(left, left + width)
                             for py in range(top, top + height)
                             if surely_inside(rects, px, py) and
                             not any(r[0] <= px < r[0] + r[2] and r[1] <= py < r[1] + r[3]
                                     for r in at96)),
                            key=lambda p: abs(p[0] - left - width / 2) + abs(p[1] - top - height / 2))
            t.check(points, f"{area}: no point of its 120-dpi area lies outside the 96-dpi areas")
            if t.app is None or not t.app.running() or not t.is_mapped():
                t.cleanup()
                t.start_app()
            if command == "open":
                opened = opened_after(lambda: t.click(*points[0]))
                t.check(opened == [HOME_PAGE],
                        f"{area} at {points[0]}: the url probe recorded {opened!r}, not the home page")
            elif command == "end":
                t.click(*points[0])
                t.check(t.app.wait_exit(4), f"{area} at {points[0]}: the process still runs 4 s later")
            else:
                t.click(*points[0])
                t.check(wait_until(lambda: not t.is_mapped(), 4) and t.app.running(),
                        f"{area} at {points[0]}: the window is not hidden, or the process ended")
            t.note(f"{area} at {points[0]}")


@pytest.mark.timeout(150)
def test_window_in_the_work_area(t):
    """On a screen the layout's place does not fit (1280 x 720, 1024 x 768;
    each a display and a prefix of its own), the window is moved by the least
    amount into the work area the desktop gives (the screen less its
    taskbar), keeping its size. Minimize hides it there, the tray icon brings
    it back to the same place, and a click on Exit ends the process."""
    for screen in ("1280x720x24", "1024x768x24"):
        with on_display(t, SCREENS_PREFIX, screen) as s:
            width, height = (int(v) for v in s.display.screen.split("x")[:2])
            area = s.display.root_cardinals("_NET_WORKAREA")[:4]
            s.check(len(area) == 4 and area[2:] != [width, height],
                    f"{width}x{height}: the desktop's work area is {area}, not the screen less a taskbar")
            want = tuple(min(max(place, start), start + room - size) for place, start, room, size
                         in zip(WINDOW_POS, area[:2], area[2:], CLIENT_SIZE))
            s.start_app()
            (icon, _), = s.wait_tray_count(1)
            for when in ("at start", "back from the tray"):
                info = s.window_info(s.wid)
                got = (info["x"], info["y"], info["w"], info["h"])
                s.check(got == want + CLIENT_SIZE,
                        f"{width}x{height}, work area {area}, {when}: window at {got[:2]}, "
                        f"{got[2]}x{got[3]}; expected {want}, {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
                if when == "at start":
                    s.click_centre(MINBUTAREA)
                    s.check(wait_until(lambda: not s.is_mapped(), 4) and s.app.running(),
                            f"{width}x{height}: Minimize did not hide the window")
                    s.click_screen(*icon)
                    s.check(wait_until(s.is_mapped, 4), f"{width}x{height}: still hidden")
            s.click_centre(HITAREA)
            s.check(s.app.wait_exit(4), f"{width}x{height}: the process runs 4 s after Exit")
            s.note(f"{width}x{height}: work area {area}, window at {want}")


def test_close_request(t):
    """A WM_CLOSE posted by another process ends the program."""
    t.start_app()
    t.probe("close")
    t.check(t.app.wait_exit(5), "the process still runs 5 s after WM_CLOSE")


# A later start that finds a copy running asks it to show its window and ends,
# waiting up to 10 s for one still starting; its own start under Wine comes
# first, slow where 32-bit programs are emulated.
HANDOVER_LIMIT_S = 20
# How long a second answer to the right Windows key is watched for: copies
# that answered each other's answers would go on doing so.
ECHO_WATCH_S = 3


class LookAlike:
    """Another program's top-level window titled "Veltrane", of a class of its
    own (winprobe stranger), hidden so that a show of it is seen; its log has
    a line for each show, hide, move, size, activation, system command, close
    request and registered message it gets."""

    def __init__(self, t):
        self.t, self.log = t, BUILD / "logs" / f"{t.name}.stranger.log"
        self.log.unlink(missing_ok=True)
        exe = t.display.probe_exe("winprobe")
        self.proc = t.start(exe, "stranger", winpath(self.log), tag="stranger")
        t.check(wait_until(lambda: self.lines(), 15),
                f"the look-alike window did not open: {self.proc.log}")
        self.pid = wine_pid(self.proc.popen, exe)
        self.xwindows = self.x_state()

    def lines(self):
        """Its log's lines written in full."""
        text = self.log.read_text() if self.log.exists() else ""
        return text[:text.rfind("\n") + 1].splitlines()

    def x_state(self):
        """{X id: geometry and map state} of its windows titled "Veltrane"."""
        return {wid: self.t.window_info(wid) for wid in self.t.find_windows("Veltrane")
                if self.t.window_pid(wid) == self.pid}

    def check_untouched(self):
        """Nothing was done to it since it opened, as its log and X tell."""
        done = self.lines()[1:]   # the first is "ready", after its own making
        now = self.x_state()
        self.t.check(self.proc.running() and not done and now == self.xwindows and
                     all(info["map"] != "IsViewable" for info in now.values()),
                     f"the look-alike window was acted on: its log since it opened {done[:6]}, "
                     f"its X windows {self.xwindows} then, {now} now, the probe "
                     f"{'runs' if self.proc.running() else 'ended'}")


def tray_count(t, want, timeout=3):
    """How many icons the tray holds once it holds `want`, or after `timeout` s."""
    seen = []
    wait_until(lambda: seen.append(len(t.tray_icons())) or seen[-1] == want, timeout, 0.1)
    return seen[-1]


def injected_downs(keylog, vk, since):
    return [e for e in keylog.events()[since:] if e[1] == vk and e[2] and e[3]]


@pytest.mark.timeout(120)
def test_second_start_shows_the_running_copy(t):
    """With another program's hidden window titled "Veltrane" open, a first
    start runs (its window, its icon). After Minimize a second start ends with
    exit code 0 and leaves one Veltrane process and one tray icon, and the
    first copy's window shown (viewable, managed by the window manager) as
    Wine's foreground window; F14 pressed once then gives one Scroll Lock, and
    the right Windows key once one answer and no more (two copies would answer
    it, and each other's answers). The look-alike window is not shown, moved,
    activated or closed, and gets no registered message."""
    t.wait_tray_count(0, timeout=5)
    look = LookAlike(t)
    t.start_app()
    first = wine_pid(t.app.popen, t.opts.exe)
    t.wait_tray_count(1)
    t.click_centre(MINBUTAREA)
    t.check(wait_until(lambda: not t.is_mapped(), 4), "Minimize did not hide the window")
    keylog = t.start_keyhook()
    second = t.start(t.opts.exe, tag="second")
    ended = second.wait_exit(HANDOVER_LIMIT_S)
    shown = wait_until(t.is_mapped, 5)
    copies, icons = running_copies(t.display, t.opts.exe), tray_count(t, 1)
    t.note(f"after the second start: Veltrane processes {len(copies)}, tray icons {icons}")
    t.check(ended and second.popen.returncode == 0,
            f"the second start ended with code {second.popen.returncode}" if ended else
            f"the second start still runs {HANDOVER_LIMIT_S} s later")
    t.check(copies == [first] and icons == 1,
            f"after the second start {len(copies)} Veltrane processes ({copies}, the first {first}) "
            f"and {icons} tray icons; expected the first alone, with one icon")
    t.check(shown, "the second start did not bring the first copy's window back within 5 s")
    foreground = t.probe("foreground")
    t.check(foreground == f'foreground "Veltrane2" "Veltrane" x={t.wid}',
            f"Wine's foreground window is {foreground!r}, not the first copy's (X window {t.wid})")

    t.focus()   # keys come through the X focus, which the window manager may keep elsewhere
    injected, _, _ = press_and_collect(t, keylog, "F14", 125, KEY_HOLD_S)
    strokes = [(vk, down) for vk, down, _, _ in injected]
    t.check(strokes == [(145, True), (145, False)],
            f"F14 pressed once answered with (vk, down) {strokes}; expected one Scroll Lock")
    before = len(keylog.events())
    t.key("Super_R", KEY_HOLD_S)
    t.check(wait_until(lambda: injected_downs(keylog, 92, before), 5),
            "the right Windows key got no answer within 5 s")
    # Watched on purpose for ECHO_WATCH_S, not waited for: a second copy's
    # answer would come a tick of its own later, and answers to answers go on.
    echoed = wait_until(lambda: len(injected_downs(keylog, 92, before)) > 1, ECHO_WATCH_S)
    downs = injected_downs(keylog, 92, before)
    t.check(not echoed, f"the right Windows key pressed once was answered {len(downs)} times "
                        f"within {ECHO_WATCH_S} s (ms): {[e[0] for e in downs][:6]}")
    t.note(f"Scroll Locks for one F14 {strokes.count((145, True))}, answers to one right "
           f"Windows key in {ECHO_WATCH_S} s {len(downs)}")
    look.check_untouched()


@pytest.mark.timeout(90)
def test_two_starts_at_once(t):
    """Two starts launched back to back, neither waited for: one of them ends
    with exit code 0, and then one Veltrane process, one tray icon and one
    shown window, that of the process left."""
    t.wait_tray_count(0, timeout=5)
    t.wait_no_window()
    starts = [t.start(t.opts.exe, tag=f"start{n}") for n in (1, 2)]
    ended = wait_until(lambda: [s for s in starts if not s.running()], HANDOVER_LIMIT_S, 0.1)
    copies, icons = running_copies(t.display, t.opts.exe), tray_count(t, 1)
    t.note(f"two starts at once: Veltrane processes {len(copies)}, tray icons {icons}")
    t.check(ended, f"neither of two starts at once ended within {HANDOVER_LIMIT_S} s: "
                   f"{len(copies)} Veltrane processes, {icons} tray icons")
    t.app = next((s for s in starts if s.running()), None)
    t.check(len(ended) == 1 and ended[0].popen.returncode == 0 and t.app,
            f"of two starts at once {len(ended)} ended, with codes "
            f"{[s.popen.returncode for s in ended]}; expected one, with code 0")
    left = wine_pid(t.app.popen, t.opts.exe)
    t.wid = t.wait_window("Veltrane")
    t.wait_tray_count(1)
    copies = running_copies(t.display, t.opts.exe)
    shown = [(wid, t.window_pid(wid)) for wid, _ in t.shown_windows("Veltrane")]
    t.check(copies == [left] and shown == [(t.wid, left)],
            f"after two starts at once: Veltrane processes {copies}, shown windows "
            f"(X id, pid) {shown}; expected the one left, {left}, with its window alone")
