#!/usr/bin/env python3
"""Writes the structured seed inputs under tests/fuzz/seeds/.

The targets read their choices with FuzzedDataProvider, which takes integers
from the end of the input, last byte first: each seed is written as the list of
bytes in the order the target consumes them, then reversed. A range choice of
one byte is `minimum + byte % (maximum - minimum + 1)`; a bool is `byte & 1`.
The url_link_load seeds are property-store text and are kept as files.
"""
import os
import struct

SEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def write(target, name, consumed):
    folder = os.path.join(SEEDS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(reversed(consumed)))


def u64(value):
    # A wide integral is read last byte first, that byte the most significant.
    return list(struct.pack(">Q", value & 0xFFFFFFFFFFFFFFFF))


def u32(value):
    return list(struct.pack(">I", value))


def i16(value):
    # Signed integrals count up from their minimum.
    return list(struct.pack(">H", value + 0x8000))


# --- tray_tip: [fault?] then steps of [hIcon?] [length] [characters] -------
def tip_chars(chars):
    out = []
    for kind, value in chars:
        if kind == "ascii":
            out += [7, value - 1]
        elif kind == "ideograph":
            out += [2, value]
        elif kind == "katakana":
            out += [1, value]
        elif kind == "nul":
            out += [0]
        else:  # any 16-bit value
            out += [4] + list(struct.pack(">H", value))
    return out


def tip_step(chars, icon=None):
    head = [0] if icon is None else [1] + u64(icon)
    return head + [len(chars)] + tip_chars(chars)


A = lambda c: ("ascii", ord(c))
I = lambda n: ("ideograph", n)

write("tray_tip", "ascii_70", [1] + tip_step([A("x")] * 70, icon=0x7001))
write("tray_tip", "ideographs_40", [1] + tip_step([I(i) for i in range(40)]))
write("tray_tip", "exactly_63_bytes",
      [1] + tip_step([A("a")] + [I(5)] * 31 + [A("b")]) +
      tip_step([A("a"), A("b")] + [I(7)] * 31 + [A("c")], icon=0xFFFFFFFF80000001))
write("tray_tip", "nul_inside",
      [1] + tip_step([A("V"), ("nul", 0)] + [I(3)] * 20 + [("katakana", 9)] * 10))
write("tray_tip", "conversion_fails", [0] + tip_step([("any", 0x20AC), ("any", 0xD800), I(1)]))

# --- tray_process_message: steps of [operation] [arguments] ---------------
def advise(i):
    return [5, i]


def through_procedure(lparam_choice):
    return [1] + u64(0) + [0, lparam_choice]  # lParam 505 + choice


def icon_mouse(message):
    return [7, message - 510]


write("tray_process_message", "left_click",
      advise(0) + [4, 0] + icon_mouse(513) + icon_mouse(514) + icon_mouse(515))
write("tray_process_message", "every_mouse_message",
      advise(0) + advise(1) + sum((through_procedure(m - 505) for m in range(510, 524)), []))
write("tray_process_message", "taskbar_restart",
      advise(2) + [4, 0, 3, 0, 3, 1, 4, 2, 3, 1])
write("tray_process_message", "throwing_receiver",
      advise(0) + advise(1) + [6, 0] + through_procedure(514 - 505) +
      [0] + u64(1) + [0, 517 - 505] + [6, 0, 5, 0] + icon_mouse(512))
write("tray_process_message", "close_then_messages",
      advise(0) + [4, 0, 2, 1] + u32(0x10) + u64(0) + u64(0) + icon_mouse(514) +
      through_procedure(9))

# --- skin_region: densities, scales, offsets, then an optional fault -------
def density(value):
    return [0] if value == 96 else [1] + list(struct.pack(">H", value + 1))


def scale(quarters):
    return [1, quarters + 8]


NO_FAULT = [1]
write("skin_region", "unit_96dpi", density(96) + density(96) + scale(4) + scale(4) +
      i16(0) + i16(0) + NO_FAULT)
write("skin_region", "double_120dpi", density(120) + density(120) + scale(8) + scale(8) +
      i16(5) + i16(-5) + NO_FAULT)
write("skin_region", "zero_density", density(96) + density(0) + scale(4) + scale(4) +
      i16(0) + i16(0) + NO_FAULT)
write("skin_region", "mirrored", density(96) + density(96) + scale(-4) + scale(0) +
      i16(100) + i16(0) + NO_FAULT)
write("skin_region", "combine_raises", density(96) + density(96) + scale(4) + scale(4) +
      i16(0) + i16(0) + [0, 2, 1, 3])
# Any float, through the provider's own mapping of five bytes.
write("skin_region", "any_float_scale", density(96) + density(96) + [2, 0x4C, 0xBE, 0xBC, 0x20] +
      scale(4) + i16(0) + i16(0) + NO_FAULT)
