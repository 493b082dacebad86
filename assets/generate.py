#!/usr/bin/python3
"""Draws every picture, cursor and icon of the about window from scratch.

Run from the repository root:  /usr/bin/python3 assets/generate.py
The output is byte-for-byte the same on every run (no randomness, no time
stamps).  The build never runs this; the files it writes are committed.

Fonts: DejaVu Sans, Sans Bold, Sans Condensed and Sans Condensed Bold from the
Debian package fonts-dejavu-core (/usr/share/fonts/truetype/dejavu/).
Needs Pillow (Debian package python3-pil).
"""

import os
import struct

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/dejavu/"

SKIN_W, SKIN_H = 501, 328
SS = 4  # supersampling factor for shapes; text is drawn at 1:1 for crispness

# Where the highlight pictures sit, and the part of each that is the lit button
# (everything outside that part must stay identical to the skin).
HIGHLIGHTS = {
    #  name        place       size      lit button box (x0, y0, x1, y1) inclusive
    "minbutimg": ((262, 283), (98, 28), (266, 286, 356, 309)),
    "minimg":    ((32, 10),   (11, 7),  (33, 11, 41, 15)),
    "ximg":      ((9, 6),     (13, 11), (10, 7, 20, 15)),
    "overimg":   ((371, 284), (96, 27), (372, 286, 462, 309)),
}

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


def font(name, size):
    return ImageFont.truetype(FONT_DIR + name, size)


# ----------------------------------------------------------------- drawing --

def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def pinstripe_row(y):
    # Four-row period: two near-white rows, two light-grey rows.
    return (250, 250, 250) if y % 4 < 2 else (236, 236, 239)


def background():
    img = Image.new("RGB", (SKIN_W, SKIN_H))
    px = img.load()
    for y in range(SKIN_H):
        c = pinstripe_row(y)
        if y <= 21:  # title bar: the same stripes under a soft metallic fade
            c = lerp(c, (214, 216, 222), (y / 21.0) ** 1.5 * 0.55)
        elif y == 22:
            c = (150, 152, 158)
        for x in range(SKIN_W):
            px[x, y] = c
    return img


class Canvas:
    """A supersampled drawing surface laid over a 1:1 picture.

    The picture is enlarged without smoothing, drawn on, and reduced with a box
    filter, so every pixel that no shape touches comes back exactly as it was.
    """

    def __init__(self, img):
        self.big = img.resize((img.width * SS, img.height * SS), Image.NEAREST)
        self.d = ImageDraw.Draw(self.big, "RGBA")

    @staticmethod
    def s(v):
        return round(v * SS)

    def pts(self, points):
        return [(self.s(x), self.s(y)) for x, y in points]

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=0):
        self.d.ellipse((self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1),
                       fill=fill, outline=outline, width=self.s(width))

    def rrect(self, x0, y0, x1, y1, r, fill=None, outline=None, width=0):
        self.d.rounded_rectangle((self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1),
                                 radius=self.s(r), fill=fill, outline=outline,
                                 width=self.s(width))

    def polygon(self, points, fill=None):
        self.d.polygon(self.pts(points), fill=fill)

    def line(self, points, fill, width):
        self.d.line(self.pts(points), fill=fill, width=self.s(width), joint="curve")

    def paste_masked(self, layer, mask, x0, y0):
        self.big.paste(layer, (self.s(x0), self.s(y0)), mask)

    def result(self):
        w, h = self.big.width // SS, self.big.height // SS
        return self.big.resize((w, h), Image.BOX)


def vertical_gradient(w, h, stops):
    """An RGB strip w x h whose colour runs through stops [(t, colour), ...]."""
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        t = y / max(1, h - 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                c = lerp(c0, c1, (t - t0) / max(1e-9, t1 - t0))
                break
        for x in range(w):
            px[x, y] = c
    return img


def glossy_dot(cv, x0, y0, size, face_top, face_bottom, rim):
    """A round title-bar button: dark rim, deep face, bright gloss on top."""
    s = Canvas.s
    n = s(size)
    mask = Image.new("L", (n, n), 0)
    ImageDraw.Draw(mask).ellipse((0, 0, n - 1, n - 1), fill=255)
    face = vertical_gradient(n, n, [(0, face_top), (0.55, lerp(face_top, face_bottom, 0.5)),
                                    (1, face_bottom)])
    cv.paste_masked(face, mask, x0, y0)
    cv.ellipse(x0, y0, x0 + size, y0 + size, outline=rim, width=1.0)
    # gloss: a soft white lens in the upper half
    cv.ellipse(x0 + 2.6, y0 + 1.4, x0 + size - 2.6, y0 + size * 0.5, fill=(255, 255, 255, 150))
    # warm glow at the bottom
    cv.ellipse(x0 + 3, y0 + size * 0.62, x0 + size - 3, y0 + size - 1.4,
               fill=lerp(face_bottom, WHITE, 0.35) + (110,))


def capsule(cv, box, lit):
    """A glossy capsule button filling box (x0, y0, x1, y1 inclusive)."""
    x0, y0, x1, y1 = box
    w, h = x1 + 1 - x0, y1 + 1 - y0 - 1      # the last row is the drop shadow
    r = h / 2.0
    cv.rrect(x0 + 0.5, y0 + 1.0, x1 + 0.5, y1 + 1, r, fill=(0, 0, 0, 34))   # shadow
    if lit:
        stops = [(0, (196, 222, 252)), (0.48, (104, 162, 236)), (0.52, (62, 126, 220)),
                 (1, (118, 186, 250))]
        rim = (40, 80, 150)
    else:
        stops = [(0, (252, 252, 252)), (0.48, (228, 228, 230)), (0.52, (212, 212, 216)),
                 (1, (240, 240, 242))]
        rim = (128, 128, 134)
    sw, sh = Canvas.s(w), Canvas.s(h)
    mask = Image.new("L", (sw, sh), 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, sw - 1, sh - 1), radius=Canvas.s(r), fill=255)
    cv.paste_masked(vertical_gradient(sw, sh, stops), mask, x0, y0)
    cv.rrect(x0, y0, x0 + w, y0 + h, r, outline=rim, width=1.0)
    # gloss over the upper half
    cv.rrect(x0 + r * 0.55, y0 + 1.6, x0 + w - r * 0.55, y0 + h * 0.46, h * 0.2,
             fill=(255, 255, 255, 150 if lit else 170))


def keyboard(cv):
    """A white keyboard seen from the front at an angle, with its cable."""
    # top surface: back edge narrower than the front edge
    bl, br = (127.0, 75.0), (240.0, 75.0)
    fl, fr = (116.5, 118.0), (250.5, 118.0)
    # soft shadow on the panel
    cv.ellipse(116.5, 117, 251.5, 130, fill=(0, 0, 0, 26))
    # cable: leaves the back edge and curls away to the right
    cv.line([(200, 75.5), (201, 71), (205, 68.2), (214, 67.2), (228, 68), (240, 70.5),
             (249.5, 68.5)], fill=(86, 88, 96), width=1.4)
    # front face (thickness)
    cv.polygon([fl, fr, (fr[0] - 0.6, 126.5), (fl[0] + 0.6, 126.5)], fill=(206, 208, 214))
    cv.polygon([fl, fr, (fr[0] - 0.6, 118.8), (fl[0] + 0.6, 118.8)], fill=(236, 237, 240))
    # top surface
    cv.polygon([bl, br, fr, fl], fill=(249, 249, 251))
    cv.line([bl, br, fr, (fr[0] - 0.6, 126.5), (fl[0] + 0.6, 126.5), fl, bl],
            fill=(150, 152, 160), width=0.8)

    def at(u, v):  # (u, v) in the unit square -> point on the top surface
        xb = bl[0] + (br[0] - bl[0]) * u
        xf = fl[0] + (fr[0] - fl[0]) * u
        yb, yf = bl[1], fl[1]
        return (xb + (xf - xb) * v, yb + (yf - yb) * v)

    rows = [
        [1] + [0.25] + [1] * 4 + [0.25] + [1] * 4 + [0.25] + [1] * 4,
        [1] * 13 + [2],
        [1.5] + [1] * 12 + [1.5],
        [1.75] + [1] * 11 + [2.25],
        [2.25] + [1] * 10 + [2.75],
        [1.25, 1.25, 1.25, 6.25, 1.25, 1.25, 1.25, 1.25],
    ]
    u0, u1, v0, v1 = 0.045, 0.955, 0.08, 0.93
    nrows = len(rows)
    for ri, row in enumerate(rows):
        total = sum(row) if ri else 15.0
        va = v0 + (v1 - v0) * ri / nrows
        vb = va + (v1 - v0) / nrows
        gap_v = (vb - va) * 0.17
        if ri == 0:
            vb -= (vb - va) * 0.18  # the function row sits apart
        pos = 0.0
        for wk in row:
            if wk == 0.25:  # spacer between function-key groups
                pos += wk
                continue
            ua = u0 + (u1 - u0) * pos / total
            ub = u0 + (u1 - u0) * (pos + wk) / total
            pos += wk
            gap_u = (u1 - u0) / total * 0.14
            quad = [at(ua + gap_u, va + gap_v), at(ub - gap_u, va + gap_v),
                    at(ub - gap_u, vb - gap_v), at(ua + gap_u, vb - gap_v)]
            cv.polygon(quad, fill=(58, 60, 68))
            # lit top edge of each key cap
            cv.line([quad[0], quad[1]], fill=(132, 136, 148), width=0.5)
    # two status lights at the back right
    for i in range(2):
        cv.ellipse(226 + i * 4, 76.2, 227.6 + i * 4, 77.6, fill=(70, 190, 90))


def draw_skin(lit):
    """The whole about picture; lit=True draws every button in its lit state."""
    cv = Canvas(background())
    # top corners, which the window outline cuts away, are plain white
    r = Canvas.s(5)
    outside = Image.new("L", (2 * r, 2 * r), 255)
    ImageDraw.Draw(outside).ellipse((0, 0, 2 * r - 1, 2 * r - 1), fill=0)
    white = Image.new("RGB", (r, r), WHITE)
    cv.big.paste(white, (0, 0), outside.crop((0, 0, r, r)))
    cv.big.paste(white, (Canvas.s(SKIN_W) - r, 0), outside.crop((r, 0, 2 * r, r)))

    # title-bar buttons, each 13 pixels across
    glossy_dot(cv, 9, 5, 13, (150, 16, 10), (246, 92, 66), (104, 10, 6))
    glossy_dot(cv, 31, 5, 13, (178, 112, 0), (255, 214, 70), (128, 82, 0))
    if lit:
        # close: a dark cross in the middle of the red button
        cv.line([(12.6, 8.6), (18.4, 14.4)], fill=(70, 6, 2), width=1.5)
        cv.line([(18.4, 8.6), (12.6, 14.4)], fill=(70, 6, 2), width=1.5)
        # minimize: a dark bar
        cv.line([(34.4, 12.0), (40.6, 12.0)], fill=(96, 56, 0), width=1.6)
    # decoration at the right end of the title bar
    cv.rrect(474, 6, 489, 16, 4.5, fill=(255, 255, 255, 90), outline=(128, 130, 138), width=1.0)

    # white panel with a thin grey border
    cv.d.rectangle((Canvas.s(10), Canvas.s(35), Canvas.s(491) - 1, Canvas.s(139) - 1),
                   fill=(170, 172, 178))
    cv.d.rectangle((Canvas.s(11), Canvas.s(36), Canvas.s(490) - 1, Canvas.s(138) - 1),
                   fill=WHITE)
    keyboard(cv)

    # rule under the text block
    cv.d.rectangle((Canvas.s(62), Canvas.s(200), Canvas.s(477) - 1, Canvas.s(201) - 1),
                   fill=(168, 170, 176))

    capsule(cv, (266, 286, 356, 309), lit)
    capsule(cv, (372, 286, 462, 309), lit)

    img = cv.result()
    d = ImageDraw.Draw(img)

    def text(x0, y0, s, f, colour):
        # place the ink's top-left corner exactly at (x0, y0)
        bx0, by0, _, _ = f.getbbox(s)
        d.text((x0 - bx0, y0 - by0), s, font=f, fill=colour)
        return d.textbbox((x0 - bx0, y0 - by0), s, font=f)

    title_font = font("DejaVuSansCondensed-Bold.ttf", 14)
    tw = title_font.getbbox("Veltrane")[2] - title_font.getbbox("Veltrane")[0]
    text(221 + (61 - tw) // 2, 6, "Veltrane", title_font, (48, 50, 58))

    dark = (40, 42, 48)
    text(126, 155, "Veltrane", font("DejaVuSans-Bold.ttf", 16), dark)
    text(126, 168, "Version 2", font("DejaVuSans.ttf", 12), dark)
    text(126, 182, "March 2003", font("DejaVuSans.ttf", 12), dark)
    text(126, 210, "The Veltrane developers", font("DejaVuSansCondensed.ttf", 8), dark)

    link_font = font("DejaVuSans.ttf", 12)
    box = text(126, 225, "www.veltrane.example", link_font, (0, 0, 255))
    baseline = 225 - link_font.getbbox("www.veltrane.example")[1] + link_font.getmetrics()[0]
    d.line((126, baseline + 1, box[2] - 1, baseline + 1), fill=(0, 0, 255))

    label_font = font("DejaVuSans-Bold.ttf", 11)
    label = (34, 46, 74) if lit else (78, 78, 84)
    for (x0, y0, x1, y1), s in (((266, 286, 356, 309), "Minimize"),
                                ((372, 286, 462, 309), "Exit")):
        bx0, by0, bx1, by1 = label_font.getbbox(s)
        w = bx1 - bx0
        cap = label_font.getbbox("M")
        ch = cap[3] - cap[1]
        tx = x0 + (x1 + 1 - x0 - w) // 2 - bx0
        ty = y0 + (y1 - y0 - ch) // 2 - cap[1]
        d.text((tx, ty), s, font=label_font, fill=label)
    return img


# ------------------------------------------------------------ file writers --

def bmp_bytes(img):
    """24-bit BI_RGB bottom-up Windows bitmap."""
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    rows = []
    raw = img.convert("RGB").tobytes()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = raw[(y * w + x) * 3:(y * w + x) * 3 + 3]
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        rows.append(bytes(line))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def and_mask(opaque, w, h):
    """1 bit per pixel, 1 = transparent, rows bottom-up padded to 32 bits."""
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray(stride)
        for x in range(w):
            if not opaque[y][x]:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def cursor_bytes(art, left, top, hotspot):
    """A 32 x 32, 16-colour .cur with the ASCII art placed at (left, top)."""
    size = 32
    index = [[0] * size for _ in range(size)]
    opaque = [[False] * size for _ in range(size)]
    for dy, row in enumerate(art):
        for dx, ch in enumerate(row):
            if ch in "BW":
                index[top + dy][left + dx] = 0 if ch == "B" else 15
                opaque[top + dy][left + dx] = True
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(0, size, 2):
            xor.append((index[y][x] << 4) | index[y][x + 1])
    mask = and_mask(opaque, size, size)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA16)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                       0, 0, 16, 0)
    image = info + palette + bytes(xor) + mask
    head = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return head + entry + image


def icon_image_bytes(rgba):
    """One icon image: 24-bit colour plus the transparency mask."""
    w, h = rgba.size
    px = rgba.load()
    opaque = [[px[x, y][3] >= 128 for x in range(w)] for y in range(h)]
    xor = bytearray()
    stride = (w * 3 + 3) & ~3
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b, _ = px[x, y]
            line += bytes((b, g, r)) if opaque[y][x] else b"\0\0\0"
        line += b"\0" * (stride - len(line))
        xor += line
    mask = and_mask(opaque, w, h)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + mask


def ico_bytes(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return head + entries + blobs


# ------------------------------------------------------------------ images --

# Small hand (hot and link areas of the window): box 4-20 x 1-17, tip (11, 3).
HAND = [
    "......BBB........",
    ".....BWWWB.......",
    ".....BWWWB.......",
    ".....BWWWB.......",
    ".....BWWWBBB.....",
    ".....BWWWBWWBBB..",
    ".....BWWWBWWBWWBB",
    ".BB..BWWWBWWBWWWB",
    "BWWB.BWWWWWWWWWWB",
    "BWWWBBWWWWWWWWWWB",
    ".BWWWBWWWWWWWWWWB",
    "..BWWWWWWWWWWWWWB",
    "...BWWWWWWWWWWWB.",
    "....BWWWWWWWWWWB.",
    ".....BWWWWWWWWB..",
    ".....BWWWWWWWWB..",
    ".....BBBBBBBBBB..",
]

# Larger hand of the hyperlink control: box 6-24 x 4-27, tip (13, 5).
LINK_HAND = [
    "......BBB..........",
    ".....BWWWB.........",
    ".....BWWWB.........",
    ".....BWWWB.........",
    ".....BWWWB.........",
    ".....BWWWB.........",
    ".....BWWWBBB.......",
    ".....BWWWBWWBBB....",
    ".....BWWWBWWBWWBBB.",
    ".....BWWWBWWBWWBWWB",
    ".....BWWWBWWBWWBWWB",
    ".BBB.BWWWWWWWWWWWWB",
    "BWWWBBWWWWWWWWWWWWB",
    "BWWWWBWWWWWWWWWWWWB",
    ".BWWWWWWWWWWWWWWWWB",
    "..BWWWWWWWWWWWWWWWB",
    "...BWWWWWWWWWWWWWWB",
    "....BWWWWWWWWWWWWB.",
    ".....BWWWWWWWWWWWB.",
    "......BWWWWWWWWWB..",
    "......BWWWWWWWWWB..",
    "......BWWWWWWWWWB..",
    "......BWWWWWWWWWB..",
    "......BBBBBBBBBBB..",
]


def emblem(size):
    """The application icon: a glossy four-colour disc on transparency."""
    k = 8
    n = size * k
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    pad = n * 0.04
    box = (pad, pad, n - 1 - pad, n - 1 - pad)
    d.ellipse(box, fill=(40, 44, 60, 255))
    inner = (pad + n * 0.06, pad + n * 0.06, n - 1 - pad - n * 0.06, n - 1 - pad - n * 0.06)
    colours = [(232, 52, 40), (252, 196, 30), (56, 176, 72), (40, 110, 226)]
    for i, c in enumerate(colours):
        d.pieslice(inner, -90 + i * 90, i * 90, fill=c + (255,))
    # white cross between the quarters and a white hub
    w = max(1, round(n * 0.07))
    c = n / 2.0
    d.rectangle((c - w / 2, inner[1], c + w / 2, inner[3]), fill=(255, 255, 255, 255))
    d.rectangle((inner[0], c - w / 2, inner[2], c + w / 2), fill=(255, 255, 255, 255))
    hub = n * 0.17
    d.ellipse((c - hub, c - hub, c + hub, c + hub), fill=(255, 255, 255, 255))
    d.ellipse((c - hub * 0.55, c - hub * 0.55, c + hub * 0.55, c + hub * 0.55),
              fill=(40, 44, 60, 255))
    # gloss
    gloss = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    ImageDraw.Draw(gloss).ellipse((n * 0.2, n * 0.1, n * 0.8, n * 0.45), fill=(255, 255, 255, 80))
    img = Image.alpha_composite(img, gloss)
    return img.resize((size, size), Image.BOX)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    skin = draw_skin(lit=False)
    lit = draw_skin(lit=True)
    write("skin.bmp", bmp_bytes(skin))

    shown = skin.copy()
    for name, ((px, py), (w, h), (bx0, by0, bx1, by1)) in HIGHLIGHTS.items():
        # the skin under the picture, with only the button taken from the lit drawing
        pic = skin.crop((px, py, px + w, py + h))
        pic.paste(lit.crop((bx0, by0, bx1 + 1, by1 + 1)), (bx0 - px, by0 - py))
        write(name + ".bmp", bmp_bytes(pic))
        shown.paste(pic, (px, py))

    write("hand.cur", cursor_bytes(HAND, 4, 1, (11, 3)))
    write("link.cur", cursor_bytes(LINK_HAND, 6, 4, (13, 5)))

    icons = [(s, icon_image_bytes(emblem(s))) for s in (16, 32)]
    write("veltrane.ico", ico_bytes(icons))
    # The icon images again as bare resources, so that the resource script can
    # give them their fixed ids (an ICON statement would number them itself).
    write("veltrane16.icondata", icons[0][1])
    write("veltrane32.icondata", icons[1][1])

    # preview: plain skin | skin with every highlight shown; below, the
    # cursors and the icon at four times their size on a mid grey
    gap = 12
    pv = Image.new("RGB", (SKIN_W * 2 + gap * 3, SKIN_H + gap * 3 + 128), (128, 128, 128))
    pv.paste(skin, (gap, gap))
    pv.paste(shown, (SKIN_W + gap * 2, gap))
    x = gap
    for art, left, top in ((HAND, 4, 1), (LINK_HAND, 6, 4)):
        cur = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
        for dy, row in enumerate(art):
            for dx, ch in enumerate(row):
                if ch in "BW":
                    cur.putpixel((left + dx, top + dy), (0, 0, 0, 255) if ch == "B" else WHITE + (255,))
        big = cur.resize((128, 128), Image.NEAREST)
        pv.paste(big, (x, SKIN_H + gap * 2), big)
        x += 128 + gap
    for s in (16, 32):
        e = emblem(s)
        e = Image.merge("RGBA", e.split()[:3] + (e.split()[3].point(lambda a: 255 if a >= 128 else 0),))
        big = e.resize((s * 4, s * 4), Image.NEAREST)
        pv.paste(big, (x, SKIN_H + gap * 2), big)
        x += s * 4 + gap
    pv.save(os.path.join(HERE, "preview.png"), optimize=False)


if __name__ == "__main__":
    main()
