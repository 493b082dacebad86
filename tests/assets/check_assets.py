#!/usr/bin/env python3
"""Checks the committed artwork and the resource script built from it.

Run from the repository root:  python3 tests/assets/check_assets.py
Standard library only. Exits 1 if any check fails.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ASSETS = os.path.join(ROOT, "assets")

SKIN_SIZE = (501, 328)
# name: (place on the skin, size, lit button box x0, y0, x1, y1 inclusive)
HIGHLIGHTS = {
    "minbutimg": ((262, 283), (98, 28), (266, 286, 356, 309)),
    "minimg": ((32, 10), (11, 7), (33, 11, 41, 15)),
    "ximg": ((9, 6), (13, 11), (10, 7, 20, 15)),
    "overimg": ((371, 284), (96, 27), (372, 286, 462, 309)),
}
# name: (hot spot, visible box x0, y0, x1, y1 inclusive)
CURSORS = {
    "hand.cur": ((11, 3), (4, 1, 20, 17)),
    "link.cur": ((13, 5), (6, 4, 24, 27)),
}
ADDRESS_BOX = (126, 225, 333, 237)
RESOURCE_IDS = {
    "IDI_APP": 1, "IDB_SKIN": 101, "IDB_MINBUTIMG": 102, "IDB_MINIMG": 103,
    "IDB_XIMG": 104, "IDB_OVERIMG": 105, "IDC_HAND_POINTER": 201, "IDC_LINK_POINTER": 202,
}
BITMAP_IDS = {"skin": 101, "minbutimg": 102, "minimg": 103, "ximg": 104, "overimg": 105}
CURSOR_IDS = {"hand.cur": 201, "link.cur": 202}
# The manifest's supportedOS entries: each Windows the program is declared
# for, by the GUID Windows knows it by (10 and 11 share one).
SUPPORTED_OS = {
    "e2011457-1546-43c5-a5fe-008deee3d3f0": "Windows Vista",
    "35138b9a-5d96-4fbd-8e2d-a2440225f93a": "Windows 7",
    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38": "Windows 8",
    "1f676c76-80e1-4239-95bb-83d0f6d0da78": "Windows 8.1",
    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a": "Windows 10 and 11",
}
VERSION_STRINGS = {
    "FileVersion": "2.01.0003", "ProductVersion": "2.01.0003",
    "ProductName": "Veltrane", "InternalName": "Veltrane",
    "OriginalFilename": "Veltrane.exe", "FileDescription": "Freeware",
    "Comments": "Freeware", "CompanyName": "The Veltrane developers",
}
RT_CURSOR, RT_BITMAP, RT_ICON, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = \
    1, 2, 3, 12, 14, 16, 24


class Failed(Exception):
    pass


def require(cond, message):
    if not cond:
        raise Failed(message)


def read(name):
    path = os.path.join(ASSETS, name)
    require(os.path.isfile(path), "missing file assets/%s" % name)
    with open(path, "rb") as f:
        return f.read()


# ------------------------------------------------------------------ parsers --

def parse_bmp(data, name):
    """Returns rows of (r, g, b), top row first, after checking the format."""
    require(len(data) >= 54 and data[:2] == b"BM", "%s: not a BMP file" % name)
    file_size, offset = struct.unpack_from("<I4xI", data, 2)
    require(file_size == len(data), "%s: header says %d bytes, file has %d"
            % (name, file_size, len(data)))
    size, w, h, planes, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    require(size == 40, "%s: info header of %d bytes, want BITMAPINFOHEADER (40)" % (name, size))
    require(planes == 1, "%s: %d planes" % (name, planes))
    require(bpp == 24, "%s: %d bits per pixel, want 24" % (name, bpp))
    require(compression == 0, "%s: compression %d, want BI_RGB (0)" % (name, compression))
    require(h > 0, "%s: top-down bitmap (negative height)" % name)
    stride = (w * 3 + 3) & ~3
    require(offset + stride * h <= len(data), "%s: pixel data truncated" % name)
    rows = []
    for y in range(h):
        base = offset + (h - 1 - y) * stride
        line = data[base:base + w * 3]
        rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, w * 3, 3)])
    return rows


def and_bits(data, off, w, h):
    """AND mask as rows top-down of booleans, True = transparent."""
    stride = ((w + 31) // 32) * 4
    rows = []
    for y in range(h):
        base = off + (h - 1 - y) * stride
        rows.append([bool(data[base + x // 8] & (0x80 >> (x % 8))) for x in range(w)])
    return rows


def parse_cursor(data, name):
    require(len(data) >= 22, "%s: too short" % name)
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    require(reserved == 0 and kind == 2, "%s: not a cursor file (type %d)" % (name, kind))
    require(count == 1, "%s: %d images, want 1" % (name, count))
    w, h, colours, _, hx, hy, nbytes, off = struct.unpack_from("<BBBBHHII", data, 6)
    require((w, h) == (32, 32), "%s: directory says %dx%d, want 32x32" % (name, w, h))
    require(colours == 16, "%s: directory says %d colours, want 16" % (name, colours))
    require(off + nbytes <= len(data), "%s: image runs past the end of the file" % name)
    size, iw, ih, planes, bpp, compression = struct.unpack_from("<IiiHHI", data, off)
    require(size == 40, "%s: image header of %d bytes" % (name, size))
    require((iw, ih) == (32, 64), "%s: image %dx%d, want 32x64 (colour + mask)" % (name, iw, ih))
    require(planes == 1 and bpp == 4, "%s: %d planes x %d bits, want 1 x 4 (16 colours)"
            % (name, planes, bpp))
    require(compression == 0, "%s: compressed image" % name)
    xor_off = off + 40 + 16 * 4
    mask = and_bits(data, xor_off + 16 * 32, 32, 32)
    visible = []
    for y in range(32):
        base = xor_off + (31 - y) * 16
        row = []
        for x in range(32):
            index = (data[base + x // 2] >> (4 if x % 2 == 0 else 0)) & 15
            # a masked-out pixel with a non-zero colour inverts the screen: visible too
            row.append(not mask[y][x] or index != 0)
        visible.append(row)
    return (hx, hy), visible, data[off:off + nbytes]


def parse_ico(data):
    require(len(data) >= 6, "veltrane.ico: too short")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    require(reserved == 0 and kind == 1, "veltrane.ico: not an icon file (type %d)" % kind)
    images = []
    for i in range(count):
        w, h, colours, _, planes, bpp, nbytes, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        require(off + nbytes <= len(data), "veltrane.ico: image %d runs past the end" % i)
        images.append(((w or 256, h or 256), planes, bpp, data[off:off + nbytes]))
    return images


def coff_resources(path):
    """Reads the .rsrc section of a COFF object: {(type, id): (language, bytes)}."""
    with open(path, "rb") as f:
        obj = f.read()
    machine, nsect = struct.unpack_from("<HH", obj, 0)
    opt = struct.unpack_from("<H", obj, 16)[0]
    section = None
    for i in range(nsect):
        base = 20 + opt + 40 * i
        name = obj[base:base + 8].rstrip(b"\0")
        if name == b".rsrc":
            raw_size, raw_ptr = struct.unpack_from("<II", obj, base + 16)
            section = obj[raw_ptr:raw_ptr + raw_size]
    require(section is not None, "%s: no .rsrc section" % os.path.basename(path))

    def entries(off):
        named, ids = struct.unpack_from("<HH", section, off + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", section, off + 16 + 8 * i)
            yield ident, target

    out = {}
    for rtype, t in entries(0):
        require(t & 0x80000000, "resource type %d is not a directory" % rtype)
        for rid, n in entries(t & 0x7FFFFFFF):
            require(not rid & 0x80000000, "named resource of type %d; all ids are numbers" % rtype)
            for lang, d in entries(n & 0x7FFFFFFF):
                # In an object file the data address is relative to the section
                # (a relocation adds the section's address at link time).
                rva, size = struct.unpack_from("<II", section, d)
                out[(rtype, rid)] = (lang, section[rva:rva + size])
    return machine, out


def version_tree(data, off=0):
    """Parses one VS_VERSIONINFO-style node: (key, value bytes, value type, children)."""
    length, vlen, vtype = struct.unpack_from("<HHH", data, off)
    end = off + length
    p = off + 6
    key_end = p
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[p:key_end].decode("utf-16-le")
    p = (key_end + 2 + 3) & ~3
    vbytes = vlen * 2 if vtype == 1 else vlen
    value = data[p:p + vbytes]
    p = (p + vbytes + 3) & ~3
    children = []
    while p < end:
        child, clen = version_tree(data, p)
        children.append(child)
        p = (p + clen + 3) & ~3
    return (key, value, vtype, children), length


# ------------------------------------------------------------------- checks --

class Run:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, fn, *args):
        try:
            fn(*args)
        except Failed as e:
            self.failed += 1
            print("FAIL  %s: %s" % (name, e))
        else:
            self.passed += 1
            print("ok    %s" % name)


def load_bitmaps():
    pics = {}
    for name in ["skin"] + list(HIGHLIGHTS):
        try:
            pics[name] = parse_bmp(read(name + ".bmp"), name + ".bmp")
        except Failed:
            pics[name] = None
    return pics


def check_bitmap_format(name, size):
    rows = parse_bmp(read(name + ".bmp"), name + ".bmp")
    got = (len(rows[0]) if rows else 0, len(rows))
    require(got == size, "%s.bmp is %dx%d, want %dx%d" % (name, got[0], got[1], size[0], size[1]))


def check_highlight(pics, name):
    (px, py), (w, h), (bx0, by0, bx1, by1) = HIGHLIGHTS[name]
    skin, pic = pics["skin"], pics[name]
    require(skin is not None and pic is not None, "pictures unreadable")
    require((len(pic[0]), len(pic)) == (w, h), "wrong size")
    changed = 0
    for y in range(h):
        for x in range(w):
            sx, sy = px + x, py + y
            inside = bx0 <= sx <= bx1 and by0 <= sy <= by1
            if inside:
                changed += pic[y][x] != skin[sy][sx]
            else:
                require(pic[y][x] == skin[sy][sx],
                        "pixel (%d, %d) of %s is %s, the skin at (%d, %d) is %s; showing it "
                        "would change more than the button" % (x, y, name, pic[y][x], sx, sy, skin[sy][sx]))
    require(changed > 0, "%s equals the skin under it: nothing lights up" % name)


def check_skin_layout(pics):
    skin = pics["skin"]
    require(skin is not None, "skin unreadable")
    for x, y in ((0, 0), (1, 0), (0, 1), (500, 0)):
        require(skin[y][x] == (255, 255, 255), "corner pixel (%d, %d) is %s, want white"
                % (x, y, skin[y][x]))
    x0, y0, x1, y1 = ADDRESS_BOX
    blue = [(x, y) for y in range(len(skin)) for x in range(len(skin[0]))
            if skin[y][x][2] > skin[y][x][0] + 80 and skin[y][x][2] > skin[y][x][1] + 80]
    require(blue, "no blue (address) text on the skin")
    stray = [p for p in blue if not (x0 <= p[0] <= x1 and y0 <= p[1] <= y1)]
    require(not stray, "blue pixels outside the address box, e.g. %s" % (stray[:3],))
    # the underline: one row of the box that is blue across most of the text
    xs = [p[0] for p in blue]
    width = max(xs) - min(xs) + 1
    rows = {}
    for x, y in blue:
        rows[y] = rows.get(y, 0) + 1
    require(max(rows.values()) >= width * 0.9, "address text is not underlined")


def check_cursor(name):
    want_hot, (bx0, by0, bx1, by1) = CURSORS[name]
    hot, visible, _ = parse_cursor(read(name), name)
    require(hot == want_hot, "hot spot %s, want %s" % (hot, want_hot))
    pts = [(x, y) for y in range(32) for x in range(32) if visible[y][x]]
    require(pts, "nothing visible")
    outside = [p for p in pts if not (bx0 <= p[0] <= bx1 and by0 <= p[1] <= by1)]
    require(not outside, "visible pixels outside the box %d-%d, %d-%d, e.g. %s"
            % (bx0, bx1, by0, by1, outside[:3]))
    require(visible[hot[1]][hot[0]], "the hot spot %s is not on the hand" % (hot,))


def check_icon():
    images = parse_ico(read("veltrane.ico"))
    require([i[0] for i in images] == [(16, 16), (32, 32)],
            "images %s, want 16x16 and 32x32" % [i[0] for i in images])
    for (w, h), planes, bpp, blob in images:
        require(planes == 1 and bpp == 24, "%dx%d: directory says %d planes x %d bits"
                % (w, h, planes, bpp))
        size, iw, ih, _, ibpp, compression = struct.unpack_from("<IiiHHI", blob, 0)
        require(size == 40 and (iw, ih) == (w, 2 * h) and ibpp == 24 and compression == 0,
                "%dx%d: image header %dx%d, %d bits, compression %d" % (w, h, iw, ih, ibpp, compression))
        stride = (w * 3 + 3) & ~3
        mask_off = 40 + stride * h
        require(len(blob) == mask_off + ((w + 31) // 32) * 4 * h,
                "%dx%d: no room for the transparency mask" % (w, h))
        mask = [b for row in and_bits(blob, mask_off, w, h) for b in row]
        require(any(mask) and not all(mask), "%dx%d: mask is all %s"
                % (w, h, "transparent" if all(mask) else "opaque"))


def check_resource_ids():
    text = read("resource_ids.h").decode()
    require(re.search(r"#ifndef\s+(\w+)\s*\n\s*#define\s+\1\b", text), "no include guard")
    for name, value in RESOURCE_IDS.items():
        m = re.search(r"#define\s+%s\s+(\d+)\s*$" % name, text, re.M)
        require(m, "%s is not defined" % name)
        require(int(m.group(1)) == value, "%s is %s, want %d" % (name, m.group(1), value))


def check_rc_files():
    text = read("veltrane.rc").decode()
    names = re.findall(r'^[^/"]*"([^"]+\.[a-z]+)"\s*$', text, re.M)
    require(names, "the script names no files")
    for n in names:
        require(os.path.isfile(os.path.join(ASSETS, n)), "the script uses %s, which is missing" % n)
    manifest = read("veltrane.manifest").decode()
    require("Microsoft.Windows.Common-Controls" in manifest and 'version="6.0.0.0"' in manifest,
            "manifest does not ask for common controls 6")
    require('level="asInvoker"' in manifest, "manifest does not run asInvoker")
    require("dpiaware" not in manifest.lower(), "manifest declares DPI awareness")
    section = re.search(r'<compatibility xmlns="urn:schemas-microsoft-com:compatibility\.v1">'
                        r"\s*<application>(.*?)</application>\s*</compatibility>", manifest, re.S)
    require(section, "manifest has no compatibility section")
    ids = re.findall(r'<supportedOS Id="\{([^}]*)\}"/>', section.group(1))
    require(sorted(ids) == sorted(SUPPORTED_OS),
            "manifest declares supportedOS %s, want %s"
            % (", ".join(SUPPORTED_OS.get(i, i) for i in ids), ", ".join(SUPPORTED_OS.values())))


def compile_rc(windres, workdir, from_build_folder):
    out = os.path.join(workdir, "res.o")
    if from_build_folder:
        cmd = [windres, "--include-dir", ASSETS, os.path.join(ASSETS, "veltrane.rc"), "-o", out]
        cwd = workdir
    else:
        cmd = [windres, "-I", "assets", "assets/veltrane.rc", "-o", out]
        cwd = ROOT
    require(shutil.which(windres), "%s not found" % windres)
    r = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    require(r.returncode == 0, "%s failed: %s" % (" ".join(cmd), r.stderr.strip()))
    return out


def check_compiled(windres, machine_want, from_build_folder):
    with tempfile.TemporaryDirectory() as tmp:
        obj = compile_rc(windres, tmp, from_build_folder)
        dump = subprocess.run(["objdump", "-h", obj], capture_output=True, text=True)
        require(dump.returncode == 0 and ".rsrc" in dump.stdout, "objdump finds no .rsrc section")
        machine, res = coff_resources(obj)
    require(machine == machine_want, "machine 0x%x, want 0x%x" % (machine, machine_want))

    def get(rtype, rid):
        require((rtype, rid) in res, "resource type %d id %d is missing" % (rtype, rid))
        lang, data = res[(rtype, rid)]
        require(lang == 0x409, "resource %d/%d has language 0x%x" % (rtype, rid, lang))
        return data

    for name, rid in BITMAP_IDS.items():
        require(get(RT_BITMAP, rid) == read(name + ".bmp")[14:],
                "bitmap %d differs from %s.bmp" % (rid, name))

    for name, gid in CURSOR_IDS.items():
        group = get(RT_GROUP_CURSOR, gid)
        _, kind, count = struct.unpack_from("<HHH", group, 0)
        require(kind == 2 and count == 1, "cursor group %d: type %d, %d images" % (gid, kind, count))
        w, h, _, _, nbytes, cid = struct.unpack_from("<HHHHIH", group, 6)
        require((w, h) == (32, 64), "cursor group %d: %dx%d" % (gid, w, h))
        hot, _, image = parse_cursor(read(name), name)
        cur = get(RT_CURSOR, cid)
        require(struct.unpack_from("<HH", cur, 0) == hot, "cursor %d: hot spot %s, want %s"
                % (gid, struct.unpack_from("<HH", cur, 0), hot))
        require(cur[4:] == image and nbytes == len(cur), "cursor %d differs from %s" % (gid, name))

    group = get(RT_GROUP_ICON, 1)
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    require(kind == 1 and count == 2, "icon group 1: type %d, %d images" % (kind, count))
    ico = parse_ico(read("veltrane.ico"))
    for i, (want_size, want_id) in enumerate((((16, 16), 30001), ((32, 32), 30002))):
        w, h, _, _, planes, bpp, nbytes, iid = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        require(((w, h), iid) == (want_size, want_id), "icon group entry %d: %dx%d id %d, want "
                "%dx%d id %d" % (i, w, h, iid, want_size[0], want_size[1], want_id))
        require((planes, bpp) == (1, 24), "icon %d: %d planes x %d bits" % (iid, planes, bpp))
        image = get(RT_ICON, iid)
        require(nbytes == len(image), "icon %d: group says %d bytes, image has %d"
                % (iid, nbytes, len(image)))
        match = [blob for size, _, _, blob in ico if size == want_size]
        require(match and image == match[0], "icon %d differs from the %dx%d image of veltrane.ico"
                % (iid, w, h))

    require(get(RT_MANIFEST, 1) == read("veltrane.manifest"), "manifest resource differs")

    (key, value, _, children), _ = version_tree(get(RT_VERSION, 1))
    require(key == "VS_VERSION_INFO", "version record key %r" % key)
    sig, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", value, 0)
    require(sig == 0xFEEF04BD, "no fixed file info")
    for what, ms, ls in (("file", fms, fls), ("product", pms, pls)):
        got = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        require(got == (2, 1, 0, 3), "%s version %s, want 2.1.0.3" % (what, ".".join(map(str, got))))
    nodes = {c[0]: c for c in children}
    require("StringFileInfo" in nodes, "no StringFileInfo")
    tables = {t[0]: t for t in nodes["StringFileInfo"][3]}
    require("040904B0" in tables, "no string table 040904B0 (found %s)" % list(tables))
    strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in tables["040904B0"][3]}
    for k, v in VERSION_STRINGS.items():
        require(strings.get(k) == v, "%s is %r, want %r" % (k, strings.get(k), v))
    require("VarFileInfo" in nodes, "no VarFileInfo")
    var = {v[0]: v[1] for v in nodes["VarFileInfo"][3]}
    require(var.get("Translation") == struct.pack("<HH", 0x409, 1200),
            "translation %r, want 0x409, 1200" % var.get("Translation"))


def main():
    run = Run()
    pics = load_bitmaps()
    run.check("skin.bmp is 501x328, 24-bit BI_RGB", check_bitmap_format, "skin", SKIN_SIZE)
    for name, (_, size, _) in HIGHLIGHTS.items():
        run.check("%s.bmp is %dx%d, 24-bit BI_RGB" % (name, size[0], size[1]),
                  check_bitmap_format, name, size)
    for name in HIGHLIGHTS:
        # for ximg and minimg this is their outer ring of pixels
        run.check("%s equals the skin outside its button" % name, check_highlight, pics, name)
    run.check("skin: white top corners, blue underlined address in its box", check_skin_layout, pics)
    for name in CURSORS:
        run.check("%s: 32x32, 16 colours, hot spot, visible box" % name, check_cursor, name)
    run.check("veltrane.ico: 16x16 and 32x32, 24-bit with mask", check_icon)
    run.check("resource_ids.h: ids and include guard", check_resource_ids)
    run.check("veltrane.rc: files present, manifest content", check_rc_files)
    for windres, machine in (("i686-w64-mingw32-windres", 0x14C),
                             ("x86_64-w64-mingw32-windres", 0x8664)):
        run.check("%s from the repository root: all resources" % windres,
                  check_compiled, windres, machine, False)
        run.check("%s from a build folder: all resources" % windres,
                  check_compiled, windres, machine, True)
    print("%d passed, %d failed" % (run.passed, run.failed))
    return 1 if run.failed else 0


if __name__ == "__main__":
    sys.exit(main())
