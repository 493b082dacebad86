#!/usr/bin/env python3
"""End-to-end tests: Veltrane.exe under Wine on a private Xvfb; the 32-bit
product by default, the 64-bit build with --arch 64.

Each test starts a fresh Veltrane.exe, drives it the way a user would (X
pointer and keyboard through xdotool) or the way other programs would (probe
programs of our own, cross-built into build/e2e/), and checks what can be
seen from outside: X windows, screen pixels, key events, files the probes
write, process exit.

Usage: tests/e2e/run_e2e.py [--arch 32|64] [--exe PATH] [-k NAME] [--skin BMP]

The 32-bit run first tries the 32-bit Wine loader; on a machine that cannot
run 32-bit programs it says so in one line and fails: the product went
untested. The probes are built for the word size of the program under test.

Other e2e scripts run their own tests through this module's main(), with
Display, Session and the helpers.

Adding a test: write `def test_xxx(t: Session)` using the helpers below and
append it to TESTS. Raise Failure (or use t.check) to fail with a reason.
"""

import argparse
import contextlib
import ctypes
import dataclasses
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
E2E_DIR = ROOT / "tests" / "e2e"
BUILD = ROOT / "build" / "e2e"
WINE_ENV = ROOT / "scripts" / "lib" / "wine-env.sh"
PROBES = ("keyhook", "urlprobe", "winprobe")
TEST_TIMEOUT_S = 45


@dataclasses.dataclass(frozen=True)
class Build:
    """One word size: its CMake preset, its Wine loader, its probe compiler."""
    bits: int
    preset: str
    wine: str
    gxx: str

    def exe(self, name="Veltrane.exe"):
        return ROOT / "build" / self.preset / name


BUILDS = {
    32: Build(32, "mingw-i686", "/usr/lib/wine/wine", "i686-w64-mingw32-g++"),
    64: Build(64, "mingw-x86_64", "/usr/lib/wine/wine64", "x86_64-w64-mingw32-g++"),
}

# Layout of the main window, in client pixels (x, y, w, h).
WINDOW_POS = (549, 436)
CLIENT_SIZE = (502, 328)
SKIN_SIZE = (501, 328)
MINBUTAREA = (268, 286, 87, 23)
MINAREA = (30, 4, 15, 15)
XAREA = (8, 2, 17, 19)
HITAREA = (372, 284, 95, 27)
LINKAREA = (124, 222, 215, 19)
HOME_PAGE = "http://www.veltrane.example/"
# Hot area, its highlight picture (an asset) and where that picture sits.
HIGHLIGHTS = (
    ("hitarea", HITAREA, "overimg", (371, 284)),
    ("minbutarea", MINBUTAREA, "minbutimg", (262, 283)),
    ("xarea", XAREA, "ximg", (9, 6)),
    ("minarea", MINAREA, "minimg", (32, 10)),
)
BARE_POINT = (200, 180)        # on no control: the window's bare surface
OVERIMG_MARGIN = (371, 290)    # on overimg, left of hitarea
# The private display's root colour, found nowhere in the skin: pixels the
# window's outline cuts away show it.
BACKGROUND = (255, 0, 255)
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
DPI120_PREFIX = ROOT / "build" / "wine-prefix-120dpi"
SCREENS_PREFIX = ROOT / "build" / "wine-prefix-screens"

# Wine's own tray window (no tray manager runs on the private display): icons
# sit in a row of 20-pixel slots (16-pixel icon, 2-pixel border) on a plain
# background, and the window goes away when it holds none.
TRAY_TITLE = "Wine System Tray"
TRAY_SLOT = 20

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


class Failure(Exception):
    pass


class TestTimeout(Exception):
    pass


# ---------------------------------------------------------------- utilities

def run(cmd, timeout=20, check=True, env=None, capture=True):
    """Runs a short command; returns its stdout as text."""
    try:
        res = subprocess.run(cmd, env=env, timeout=timeout, text=True,
                             stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                             stderr=subprocess.PIPE if capture else subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise Failure(f"command timed out: {' '.join(map(str, cmd))}")
    if check and res.returncode != 0:
        raise Failure(f"command failed ({res.returncode}): {' '.join(map(str, cmd))}: "
                      f"{(res.stderr or '').strip()[:200]}")
    return res.stdout or ""


def pe_bits(exe):
    """32 or 64, from the machine field of a program's PE header."""
    blob = Path(exe).read_bytes()[:4096]
    pe = int.from_bytes(blob[0x3C:0x40], "little")
    machine = int.from_bytes(blob[pe + 4:pe + 6], "little")
    if blob[:2] != b"MZ" or blob[pe:pe + 4] != b"PE\0\0" or machine not in (0x14C, 0x8664):
        raise SystemExit(f"e2e: {exe} is not an i386 or x86-64 Windows program")
    return 32 if machine == 0x14C else 64


def report(bits, passed, failed, not_run=""):
    """Adds this run's result to the file scripts/test gathers its summary from."""
    results = os.environ.get("VELTRANE_RESULTS")
    if results:
        with open(results, "a") as f:
            f.write(f"{bits}\t{passed}\t{failed}\t{not_run}\n")


def commit():
    """The commit the programs under test were built from, marked -dirty when
    the checkout differs from it."""
    return subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"],
                          capture_output=True, text=True).stdout.strip() or "?"


def i386_emulation():
    """How 32-bit programs run where the kernel runs none itself (see
    scripts/lib/deps.sh), or None where they run natively."""
    entry = Path("/proc/sys/fs/binfmt_misc/veltrane-i386")
    if not entry.exists() or "enabled" not in entry.read_text():
        return None
    emulator = re.search(r"^interpreter (\S+)", entry.read_text(), re.M).group(1)
    version = re.search(r"version (\S+)", run([emulator, "--version"], check=False))
    return (f"emulated by qemu-i386 {version.group(1) if version else '?'}, since this "
            "kernel runs no 32-bit programs")


def winpath(path):
    """Unix path -> the Z: drive path Wine programs see."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wait_until(pred, timeout, interval=0.05):
    """Polls pred() until it returns a true value or timeout passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = pred()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class Image:
    """RGB pixels, row-major, 3 bytes a pixel."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, x0, y0, w, h):
        if x0 < 0 or y0 < 0 or x0 + w > self.width or y0 + h > self.height:
            raise Failure(f"crop {x0},{y0} {w}x{h} outside a {self.width}x{self.height} image")
        rows = bytearray()
        for y in range(y0, y0 + h):
            i = (y * self.width + x0) * 3
            rows += self.data[i:i + w * 3]
        return Image(w, h, bytes(rows))


def read_ppm(blob):
    """Parses a binary PPM (P6, maxval 255)."""
    tokens, pos = [], 0
    while len(tokens) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        if blob[pos:pos + 1] == b"#":
            pos = blob.index(b"\n", pos) + 1
            continue
        end = pos
        while not blob[end:end + 1].isspace():
            end += 1
        tokens.append(blob[pos:end])
        pos = end
    pos += 1
    if tokens[0] != b"P6" or int(tokens[3]) != 255:
        raise Failure("screenshot is not an 8-bit P6 PPM")
    w, h = int(tokens[1]), int(tokens[2])
    return Image(w, h, blob[pos:pos + w * h * 3])


def read_bmp(path):
    """Parses an uncompressed 24- or 32-bit BMP."""
    blob = Path(path).read_bytes()
    if blob[:2] != b"BM":
        raise Failure(f"{path} is not a BMP")
    offset = int.from_bytes(blob[10:14], "little")
    w = int.from_bytes(blob[18:22], "little", signed=True)
    h = int.from_bytes(blob[22:26], "little", signed=True)
    bpp = int.from_bytes(blob[28:30], "little")
    compression = int.from_bytes(blob[30:34], "little")
    if bpp not in (24, 32) or compression not in (0, 3):
        raise Failure(f"{path}: {bpp}-bit, compression {compression} not handled")
    step = bpp // 8
    stride = (w * step + 3) & ~3
    bottom_up = h > 0
    h = abs(h)
    out = bytearray()
    for y in range(h):
        src = offset + (h - 1 - y if bottom_up else y) * stride
        for x in range(w):
            b, g, r = blob[src + x * step:src + x * step + 3]
            out += bytes((r, g, b))
    return Image(w, h, bytes(out))


def read_icon(path, index=0):
    """One image of a .ico or .cur file: (width, height, hot spot, its visible
    pixels), visible meaning clear in the AND mask, each with its (r, g, b)
    colour, None for a picture with a colour table."""
    blob = Path(path).read_bytes()
    if int.from_bytes(blob[2:4], "little") not in (1, 2):
        raise Failure(f"{path} is not an icon or cursor file")
    entry = blob[6 + 16 * index:22 + 16 * index]
    w, h = entry[0] or 256, entry[1] or 256
    hot = int.from_bytes(entry[4:6], "little"), int.from_bytes(entry[6:8], "little")
    at = int.from_bytes(entry[12:16], "little")
    bpp = int.from_bytes(blob[at + 14:at + 16], "little")
    colours = int.from_bytes(blob[at + 32:at + 36], "little") or (1 << bpp if bpp <= 8 else 0)
    xor_at = at + int.from_bytes(blob[at:at + 4], "little") + colours * 4
    xor_stride, and_stride = (w * bpp + 31) // 32 * 4, (w + 31) // 32 * 4
    and_at = xor_at + xor_stride * h
    visible = {}
    for y in range(h):   # bottom-up rows
        mask = blob[and_at + (h - 1 - y) * and_stride:]
        row = xor_at + (h - 1 - y) * xor_stride
        for x in range(w):
            if not mask[x // 8] >> (7 - x % 8) & 1:
                bgr = blob[row + x * bpp // 8:row + x * bpp // 8 + 3] if bpp >= 24 else None
                visible[(x, y)] = tuple(reversed(bgr)) if bgr else None
    return w, h, hot, visible


def read_cursor(path):
    """The first image of a .cur file: (width, height, hot x, hot y, the set
    of its visible pixels)."""
    w, h, hot, visible = read_icon(path)
    return w, h, *hot, set(visible)


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


class PointerShape:
    """The X pointer as Wine set it, read through XFixes."""

    def __init__(self, width, height, xhot, yhot, pixels):
        self.width, self.height, self.xhot, self.yhot = width, height, xhot, yhot
        self.visible = {(i % width, i // width) for i, p in enumerate(pixels) if p >> 24}
        self.colours = {p for p in pixels if p >> 24}

    def box(self):
        """(left, top, right, bottom) of the visible pixels, or None."""
        if not self.visible:
            return None
        xs, ys = [x for x, _ in self.visible], [y for _, y in self.visible]
        return min(xs), min(ys), max(xs), max(ys)

    def key(self):
        return self.width, self.height, self.xhot, self.yhot, frozenset(self.visible)

    def __repr__(self):
        return (f"{self.width}x{self.height} cursor, hot spot ({self.xhot}, {self.yhot}), "
                f"visible box {self.box()}")


@contextlib.contextmanager
def x_connection(display_name, library):
    """Xlib and one of its extension libraries, with a connection of our own."""
    x11, ext = ctypes.CDLL("libX11.so.6"), ctypes.CDLL(library)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    for name, more in (("XCloseDisplay", []), ("XFree", []), ("XDefaultRootWindow", []),
                       ("XUngrabPointer", [ctypes.c_ulong]), ("XSync", [ctypes.c_int])):
        getattr(x11, name).argtypes = [ctypes.c_void_p] + more
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XGrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint,
                                 ctypes.c_int, ctypes.c_int] + [ctypes.c_ulong] * 3
    dpy = x11.XOpenDisplay(display_name.encode())
    if not dpy:
        raise Failure(f"cannot open the X display {display_name}")
    try:
        yield x11, ext, dpy
    finally:
        x11.XCloseDisplay(dpy)


def pointer_shape(display_name):
    with x_connection(display_name, "libXfixes.so.3") as (x11, xfixes, dpy):
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        ptr = xfixes.XFixesGetCursorImage(dpy)
        if not ptr:
            raise Failure("no pointer image")
        im = ptr.contents
        shape = PointerShape(im.width, im.height, im.xhot, im.yhot,
                             [im.pixels[i] & 0xFFFFFFFF for i in range(im.width * im.height)])
        x11.XFree(ptr)
        return shape


def frozen_press(display_name, sx, sy, button, hold=0.2):
    """Moves the pointer to (sx, sy) and presses there with the pointer frozen
    for `hold` seconds by a synchronous grab of our own: X queues both, reports
    the pointer where it was (to Wine's XQueryPointer too), and on the ungrab
    delivers them to the program at once, and Wine queues the move and the
    press together, ahead of any timer message. Twenty ticks' time frozen: a
    tick that could see the move before the press would see it then."""
    with x_connection(display_name, "libXtst.so.6") as (x11, xtst, dpy):
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                              ctypes.c_ulong]
        # Synchronous pointer, asynchronous keyboard, no confinement, no cursor, now.
        if x11.XGrabPointer(dpy, x11.XDefaultRootWindow(dpy), 0, 0, 0, 1, 0, 0, 0) != 0:
            raise Failure("could not freeze the pointer")
        xtst.XTestFakeMotionEvent(dpy, -1, sx, sy, 0)
        xtst.XTestFakeButtonEvent(dpy, button, 1, 0)
        x11.XSync(dpy, 0)
        time.sleep(hold)
        x11.XUngrabPointer(dpy, 0)
        x11.XSync(dpy, 0)


# ------------------------------------------------------------ processes

def wine_pid(popen, exe):
    """The pid of the process running exe: the started one, or its child
    whose command line names exe (Wine turns the started process into it).
    Where 32-bit programs are emulated, the command line the system shows is
    the emulator's: the emulator, the Wine loader, then the program's."""
    name = Path(exe).name.lower()
    for pid in [popen.pid] + [int(p) for p in os.listdir("/proc") if p.isdigit()]:
        try:
            argv = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")
            ppid = int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            continue
        if Path(argv[0].decode(errors="replace")).name.startswith("qemu-") and len(argv) > 2:
            argv = argv[2:]
        mine = pid == popen.pid or ppid == popen.pid
        if mine and argv[0].decode(errors="replace").replace("\\", "/").lower().endswith(name):
            return pid
    raise Failure(f"no process runs {name}")


# ------------------------------------------------------------ the X display

class Display:
    """A private Xvfb and Wine environment, held by a bash child that sources
    scripts/lib/wine-env.sh; closing its stdin runs that helper's cleanup
    (our wineserver -k, then our Xvfb), even if this script dies."""

    def __init__(self, prefix=None, screen=None):
        script = (f'source "{WINE_ENV}" && wine_env_init && wine_env_start_xvfb '
                  '&& wine_env_prepare_prefix && wine_env_keep_server '
                  '&& echo "READY $DISPLAY $WINEPREFIX ${WINE_ENV_NO_32BIT:-ok}" && read -r _')
        holder_env = dict(os.environ)
        if prefix:
            holder_env["WINEPREFIX"] = str(prefix)
        self.screen = holder_env["WINE_ENV_SCREEN"] = screen or "1280x1024x24"
        self.holder = subprocess.Popen(["bash", "-c", script], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, text=True, env=holder_env,
                                       start_new_session=True)
        line = self.holder.stdout.readline().strip().split(maxsplit=3)
        if len(line) != 4 or line[0] != "READY":
            self.close()
            raise SystemExit("e2e: could not start Xvfb / Wine (see messages above)")
        _, self.name, prefix, why = line
        # Why the 32-bit loader cannot run here, or None when it can.
        self.no_32bit = None if why == "ok" else why
        self.env = dict(os.environ, DISPLAY=self.name, WINEPREFIX=prefix, WINEARCH="win64",
                        WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.build = BUILDS[64]
        if not shutil.which("xsetroot"):
            self.close()
            raise SystemExit("e2e: xsetroot not found (x11-xserver-utils)")
        self.x("xsetroot", "-solid", "#%02X%02X%02X" % BACKGROUND)

    @property
    def wine(self):
        """The loader for the build under test."""
        return self.build.wine

    def probe_exe(self, name):
        """A probe built for the word size under test (see build_probes)."""
        return BUILD / f"probes{self.build.bits}" / f"{name}.exe"

    def close(self):
        if self.holder.poll() is None:
            try:
                self.holder.stdin.close()
            except OSError:
                pass
            try:
                self.holder.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.holder.kill()
                self.holder.wait()

    def reg_add(self, key, *value):
        """Sets a value in the prefix's registry (reg add KEY ... /f)."""
        out, rc = self.reg("add", key, *value, "/f")
        if rc != 0:
            raise Failure(f"reg add {key} {' '.join(value)} failed: {out.strip()[:200]}")

    def reg(self, verb, key, *args):
        """Runs `reg VERB KEY ARGS` in the prefix; returns its output and exit code."""
        # Through a file: wine's helper processes inherit pipes and outlive reg.
        out = BUILD / "logs" / "reg.out"
        with open(out, "w") as f:
            try:
                rc = subprocess.run([self.wine, "reg", verb, key, *args], env=self.env,
                                    stdout=f, stderr=subprocess.STDOUT, timeout=60).returncode
            except subprocess.TimeoutExpired:
                raise Failure(f"reg {verb} {key} timed out")
        return out.read_text(errors="replace"), rc

    def x(self, *args, timeout=10, check=True):
        return run(list(args), timeout=timeout, check=check, env=self.env)

    def screenshot(self):
        blob = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=20).stdout
        if not blob:
            raise Failure("import gave no screenshot")
        return read_ppm(blob)


# -------------------------------------------------------------- a test run

class Process:
    """A Windows program we started; stopped only through its own PID."""

    def __init__(self, display, argv, log, env=None):
        self.log = log
        self.logfile = open(log, "w")
        self.popen = subprocess.Popen([display.wine] + [str(a) for a in argv],
                                      env=env or display.env,
                                      stdout=self.logfile, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, cwd=str(Path(argv[0]).parent))

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout):
        """True if the process ended within timeout seconds."""
        try:
            self.popen.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait(timeout=10)
        self.logfile.close()


class Session:
    """What one test works with: the display, the exe, and helpers."""

    def __init__(self, display, opts, name):
        self.display = display
        self.opts = opts
        self.name = name
        self.procs = []
        self.app = None
        self.wid = None
        self.notes = []

    # -- processes
    def start(self, exe, *args, tag=None, env=None):
        tag = tag or Path(exe).stem
        proc = Process(self.display, [exe, *args], BUILD / "logs" / f"{self.name}.{tag}.log",
                       env)
        self.procs.append(proc)
        return proc

    def start_app(self, env=None):
        """Starts a fresh Veltrane.exe and waits until its window is mapped."""
        self.wait_no_window()
        self.app = self.start(self.opts.exe, tag="app", env=env)
        self.wid = self.wait_window("Veltrane")
        return self.app

    def cleanup(self):
        for proc in reversed(self.procs):
            proc.stop()
        self.procs.clear()

    # -- windows
    def find_windows(self, title):
        out = self.display.x("xdotool", "search", "--name", f"^{re.escape(title)}$", check=False)
        return [w for w in out.split()]

    def window_info(self, wid):
        """Geometry and map state from xwininfo, or None if the window is gone."""
        out = self.display.x("xwininfo", "-id", str(wid), check=False)
        if "Absolute upper-left X" not in out:
            return None

        def field(label):
            m = re.search(rf"{label}:\s+(\S+)", out)
            return m.group(1) if m else None
        return {"x": int(field("Absolute upper-left X")), "y": int(field("Absolute upper-left Y")),
                "w": int(field("Width")), "h": int(field("Height")),
                "map": field("Map State")}

    def shown_windows(self, title):
        """(X id, window_info) of each viewable window named `title`."""
        infos = [(wid, self.window_info(wid)) for wid in self.find_windows(title)]
        return [(wid, info) for wid, info in infos if info and info["map"] == "IsViewable"]

    def wait_window(self, title, timeout=20):
        def viewable():
            if self.app is not None and not self.app.running():
                raise Failure(f"{Path(self.opts.exe).name} exited with code "
                              f"{self.app.popen.returncode} before its window appeared")
            return next((wid for wid, _ in self.shown_windows(title)), None)
        wid = wait_until(viewable, timeout, 0.1)
        if not wid:
            raise Failure(f"no viewable window named {title!r} within {timeout} s")
        time.sleep(0.3)   # let the first paint land
        return wid

    def wait_no_window(self, title="Veltrane", timeout=10):
        if not wait_until(lambda: not self.shown_windows(title), timeout, 0.1):
            raise Failure(f"a window named {title!r} from an earlier run is still on screen")

    def is_mapped(self):
        info = self.window_info(self.wid)
        return bool(info) and info["map"] == "IsViewable"

    # -- input
    def screen_point(self, client_x, client_y):
        info = self.window_info(self.wid)
        if not info:
            raise Failure("the Veltrane window is gone")
        return info["x"] + client_x, info["y"] + client_y

    def click_screen(self, sx, sy, button=1):
        # No --sync: xdotool waits forever when the pointer is already there.
        self.display.x("xdotool", "mousemove", str(sx), str(sy))
        time.sleep(0.1)
        self.display.x("xdotool", "click", str(button))
        time.sleep(0.05)

    def click(self, client_x, client_y, button=1):
        self.click_screen(*self.screen_point(client_x, client_y), button=button)

    def click_centre(self, rect):
        x, y, w, h = rect
        self.click(x + w // 2, y + h // 2)

    def move(self, client_x, client_y):
        self.display.x("xdotool", "mousemove", *map(str, self.screen_point(client_x, client_y)))

    def hover(self, client_x, client_y, rest=0.25):
        """Moves the pointer onto a point the way a hand does, in two steps,
        and rests there. Wine's GetCursorPos asks X directly when the pointer
        has not moved for 100 ms, so a tick can see a lone jump before the
        mouse-move message does and take the displacement away from it; the
        second step comes while the first is still recent."""
        self.move(client_x - 2, client_y - 1)
        time.sleep(0.03)
        self.move(client_x, client_y)
        time.sleep(rest)

    def drag_from(self, client_x, client_y, steps, button=1):
        """Moves to a point and presses there, the two reaching the program
        together (see frozen_press); then moves by steps (dx, dy) with the
        button held and releases."""
        frozen_press(self.display.name, *self.screen_point(client_x, client_y), button)
        time.sleep(0.1)
        for dx, dy in steps:
            self.display.x("xdotool", "mousemove_relative", "--", str(dx), str(dy))
            time.sleep(0.05)
        time.sleep(0.1)
        self.display.x("xdotool", "mouseup", str(button))
        time.sleep(0.3)

    def tray_icons(self):
        """The icons in Wine's tray, left to right: (screen centre, Image) of
        each occupied slot; empty when the tray window is not shown."""
        shown = self.shown_windows(TRAY_TITLE)
        if not shown:
            return []
        info = shown[0][1]
        shot = self.display.screenshot().crop(info["x"], info["y"], info["w"], info["h"])
        icons = []
        for left in range(0, info["w"] - TRAY_SLOT + 1, TRAY_SLOT):
            slot = shot.crop(left, 0, TRAY_SLOT, info["h"])
            if len({slot.data[i:i + 3] for i in range(0, len(slot.data), 3)}) > 1:
                icons.append(((info["x"] + left + TRAY_SLOT // 2, info["y"] + info["h"] // 2),
                              slot))
        return icons

    def wait_tray_count(self, count, timeout=3):
        """Waits until the tray holds `count` icons; returns them."""
        seen = []

        def settled():
            seen[:] = [self.tray_icons()]
            return len(seen[0]) == count
        if not wait_until(settled, timeout, 0.1):
            raise Failure(f"the tray holds {len(seen[0])} icons, expected {count}")
        return seen[0]

    def client_shot(self):
        """A screenshot of the window's client area."""
        info = self.window_info(self.wid)
        if not info:
            raise Failure("the Veltrane window is gone")
        return self.display.screenshot().crop(info["x"], info["y"], *CLIENT_SIZE)

    def focus(self):
        self.display.x("xdotool", "windowfocus", "--sync", str(self.wid))
        time.sleep(0.3)

    def key(self, keysym, hold):
        self.display.x("xdotool", "keydown", keysym)
        time.sleep(hold)
        self.display.x("xdotool", "keyup", keysym)

    # -- probes
    def start_keyhook(self):
        log = BUILD / "logs" / f"{self.name}.keys.log"
        if log.exists():
            log.unlink()
        proc = self.start(self.display.probe_exe("keyhook"), winpath(log), tag="keyhook")
        if not wait_until(lambda: log.exists() and "ready" in log.read_text(), 15):
            raise Failure("keyhook probe did not get ready: " +
                          (log.read_text().strip() if log.exists() else "no log"))
        return KeyLog(log)

    def probe(self, *verb, timeout=15, name="winprobe"):
        """Runs a probe to its end; returns what it printed."""
        proc = self.start(self.display.probe_exe(name), *verb, tag=name)
        if not proc.wait_exit(timeout):
            raise Failure(f"{name} {' '.join(verb)} did not finish")
        proc.logfile.close()
        text = Path(proc.log).read_text().strip()
        if proc.popen.returncode != 0:
            raise Failure(f"{name} {' '.join(verb)} failed ({proc.popen.returncode}): {text}")
        return text

    # -- checks
    def check(self, cond, reason):
        if not cond:
            raise Failure(reason)

    def note(self, text):
        self.notes.append(text)


class KeyLog:
    """The keyhook probe's log: what its hook saw, (ms, vk, down, injected,
    scan code, extended) per event, and what raw input brought, (ms, vk,
    make code, E0, down, injected) per event."""

    def __init__(self, path):
        self.path = path

    def _read(self):
        hooked, raw, unmatched = [], [], []
        for p in (line.split() for line in self.path.read_text().splitlines()):
            if len(p) != 6:
                continue
            if p[1] != "raw":
                ms, vk, updown, how, scan, ext = p
                hooked.append((float(ms), int(vk), updown == "down", how == "inj", int(scan),
                               ext == "ext"))
                unmatched.append(hooked[-1])
                continue
            ms, _, vk, make, e0, updown = p
            vk, down = int(vk), updown == "down"
            # Raw input carries no injected flag; its event is the earliest one
            # the hook saw of that key and direction, which the hook sees first.
            event = next((e for e in unmatched if e[1] == vk and e[2] == down), None)
            if event:
                unmatched.remove(event)
            raw.append((float(ms), vk, int(make), e0 == "e0", down, bool(event and event[3])))
        return hooked, raw

    def events(self):
        return self._read()[0]

    def raw(self):
        return self._read()[1]


def differing(shot, picture, at):
    """How many pixels of `picture` placed at `at` differ from `shot`."""
    x0, y0 = at
    return sum(1 for y in range(picture.height) for x in range(picture.width)
               if shot.pixel(x0 + x, y0 + y) != picture.pixel(x, y))


def asset(t, name):
    """A picture that lies beside the skin picture."""
    return read_bmp(Path(t.opts.skin).with_name(f"{name}.bmp"))


def lit(t, name):
    """The highlight picture `name` is shown, whole, at its place."""
    at = next(at for _, _, pic, at in HIGHLIGHTS if pic == name)
    return differing(t.client_shot(), asset(t, name), at) == 0


# ------------------------------------------------------------------- tests

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
    arrow is the one Wine's own tray window shows (its class cursor)."""
    w, h, xhot, yhot, visible = read_cursor(ROOT / "assets" / "hand.cur")
    hand = (w, h, xhot, yhot, frozenset(visible))
    t.check((xhot, yhot) == (11, 3), f"hand.cur has its hot spot at ({xhot}, {yhot})")
    t.start_app()
    tray = [info for _, info in t.shown_windows(TRAY_TITLE)]
    t.check(len(tray) == 1 and tray[0]["w"] > TRAY_SLOT + 4,
            f"no tray window with room beside the icon: {tray}")
    for dx in (5, 3):   # two motions, as a hand makes, then time for Wine to set it
        t.display.x("xdotool", "mousemove", str(tray[0]["x"] + tray[0]["w"] - dx),
                    str(tray[0]["y"] + tray[0]["h"] // 2))
    time.sleep(1)
    arrow = pointer_shape(t.display.name)
    t.check(arrow.key() != hand, "Wine's tray window shows the hand")
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


def test_tray_icon_shows_window(t):
    """After start the window has its icon in the tray: the 16 x 16 image of
    assets/veltrane.ico, pixel for pixel where it is opaque, the slot's
    background elsewhere; resting on it shows the tip "Veltrane" (the text of
    the shell's tooltip window, read by the probe). Releasing the primary,
    secondary or middle button on it brings the hidden window back where it
    was, with no highlight left on."""
    t.wait_tray_count(0, timeout=5)
    t.start_app()
    (icon, slot), = t.wait_tray_count(1)
    w, h, _, opaque = read_icon(ROOT / "assets" / "veltrane.ico")
    t.check((w, h) == (16, 16), f"the first image of veltrane.ico is {w}x{h}")
    # Wine draws the icon 2 pixels in from the slot's corner (measured).
    ground = slot.pixel(0, 0)
    wrong = [((x, y), slot.pixel(x, y)) for y in range(slot.height) for x in range(slot.width)
             if slot.pixel(x, y) != opaque.get((x - 2, y - 2), ground)]
    t.check(not wrong, f"{len(wrong)} pixels of the tray slot differ from the 16 x 16 icon on "
                       f"{ground} (at, seen): {wrong[:4]}")
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
    """A close request from another process, with the window shown or hidden,
    and Exit each end the process and take the icon out of the tray.

    Wine waits up to 2 s for a window manager to withdraw a window it unmaps,
    and the private display has none: hiding or destroying the window, and
    the tray hiding its own window when its last icon goes, each take 2 s."""
    t.wait_tray_count(0, timeout=5)
    for case in ("close, shown", "close, hidden", "Exit"):
        t.start_app()
        t.wait_tray_count(1)
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
    icon is back, once, and a click on it still shows the window."""
    t.wait_tray_count(0, timeout=5)
    t.start_app()
    (_, before), = t.wait_tray_count(1)
    out = t.probe("tray-restart")
    t.check("NIM_DELETE ok" in out, f"the shell did not drop the icon: {out}")
    (icon, after), = t.wait_tray_count(1)
    t.check(after.data == before.data, "the icon that came back looks different")
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


@dataclasses.dataclass
class Call:
    """A relayed call: the function (dll.name), its arguments as the trace
    shows them, the return value (None before it returns), when it was made
    and when it returned (seconds of Wine's clock, with +timestamp)."""
    function: str
    args: str
    ret: int = None
    time: float = None
    ret_time: float = None

    def arg(self, i):
        """The i-th argument as a number (the pointer of a string argument)."""
        return int(self.args.split(",")[i].split()[0], 16)


class Trace:
    """Wine's relay trace of one run: the relayed calls and returns in order,
    and the window procedures' calls around them."""

    CALL = re.compile(r"^(?:([\d.]+):)?[0-9a-f]+:(Call|Ret) +(\w+\.\w+)\((.*?)\)"
                      r"(?: retval=([0-9a-f]+))?")
    PROC = re.compile(r"^(?:[\d.]+:)?[0-9a-f]+:(Call|Ret) +window proc \w+ "
                      r"\(hwnd=(\w+),msg=(\w+),wp=(\w+)")

    def __init__(self, path):
        self.path = Path(path)

    def lines(self):
        return self.path.read_text(errors="replace").splitlines()

    def calls(self, function=None):
        """The relayed calls in order, of `function` only if given."""
        out = []
        for m in map(self.CALL.match, self.lines()):
            if not m:
                continue
            stamp, kind, name, args, retval = m.groups()
            stamp = float(stamp) if stamp else None
            if kind == "Call":
                out.append(Call(name, args, time=stamp))
            else:   # the innermost open call of that function
                call = next((c for c in reversed(out) if c.function == name and c.ret is None), None)
                if call:
                    call.ret, call.ret_time = int(retval, 16), stamp
        return [c for c in out if function in (None, c.function)]


def start_traced(t, functions, wait=True):
    """Starts Veltrane.exe under Wine's relay trace of `functions` (dll.name);
    returns the trace. Its window is waited for unless startup is to fail."""
    t.display.reg_add(r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d",
                      ";".join(functions))
    env = dict(t.display.env, WINEDEBUG="+timestamp,+relay")
    if wait:
        t.start_app(env=env)
    else:
        t.wait_no_window()
        t.app = t.start(t.opts.exe, tag="app", env=env)
    return Trace(t.app.log)


# Wine keeps a setting changed without being saved, such as SwapMouseButton's,
# in a volatile key for the rest of the session; programs started later read
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
            out, _ = t.display.reg("query", SESSION_MOUSE, "/v", "SwapMouseButtons")
            session = re.search(r"SwapMouseButtons\s+REG_SZ\s+(\S+)", out)
            t.check(session and session.group(1) == str(user),
                    f"user {user}: after the end the session's assignment is "
                    f"{session.group(1) if session else 'unset'}")
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
    the hide and in the second after the hiding call returned; Wine holds that
    call about 2 s, see test_tray_icon_leaves)."""
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
    """Exit and the red dot end the process within 4 s: they take the tray
    icon out first, and Wine's tray, hiding its window as its last icon goes,
    holds that call for 2 s (see test_tray_icon_leaves)."""
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


def test_layout_at_120_dpi(t):
    """On a screen of 120 logical pixels per inch (a prefix of its own with
    LogPixels 120): the window where the layout units put it, with their
    size; the outline's shapes scaled, the skin unscaled at the top left and
    the button face beyond it; and a click on each command area, at a point
    that only the 120-dpi layout gives that area, does its command."""
    on_display(t, DPI120_PREFIX, "1600x1200x24", layout_at_120_dpi,
               lambda d: d.reg_add(r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                                   "/t", "REG_DWORD", "/d", "120"))


def on_display(t, prefix, screen, body, setup=None):
    """Runs body(session) on an Xvfb of `screen` with a Wine prefix of its own
    (the main prefix stays locked by this run), after setup(display)."""
    display = Display(prefix=prefix, screen=screen)
    try:
        display.build = t.display.build
        t.check(display.build.bits == 64 or not display.no_32bit,
                f"the 32-bit loader cannot run in {prefix}: {display.no_32bit}")
        if setup:
            setup(display)
        register_url_probe(display)
        s = Session(display, t.opts, t.name)
        try:
            body(s)
        finally:
            t.notes += s.notes
            s.cleanup()
    finally:
        display.close()


def layout_at_120_dpi(t):
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


test_layout_at_120_dpi.timeout = 150


def test_window_in_the_work_area(t):
    """On a screen the layout's place does not fit (1280 x 720, 1024 x 768;
    each a display and a prefix of its own), the window is moved by the least
    amount into its monitor's work area, keeping its size: Wine without a
    window manager gives the whole screen as the work area.
    Minimize hides it there, the tray icon brings it back to the same place,
    and a click on Exit ends the process."""
    def fitted(want):
        def body(s):
            width, height = (int(v) for v in s.display.screen.split("x")[:2])
            s.start_app()
            (icon, _), = s.wait_tray_count(1)
            for when in ("at start", "back from the tray"):
                info = s.window_info(s.wid)
                got = (info["x"], info["y"], info["w"], info["h"])
                s.check(got == want + CLIENT_SIZE,
                        f"{width}x{height}, {when}: window at {got[:2]}, {got[2]}x{got[3]}; "
                        f"expected {want}, {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
                if when == "at start":
                    s.click_centre(MINBUTAREA)
                    s.check(wait_until(lambda: not s.is_mapped(), 4) and s.app.running(),
                            f"{width}x{height}: Minimize did not hide the window")
                    s.click_screen(*icon)
                    s.check(wait_until(s.is_mapped, 4), f"{width}x{height}: still hidden")
            s.click_centre(HITAREA)
            s.check(s.app.wait_exit(4), f"{width}x{height}: the process runs 4 s after Exit")
            s.note(f"{width}x{height}: window at {want}")
        return body
    for screen, want in (("1280x720x24", (549, 392)), ("1024x768x24", (522, 436))):
        on_display(t, SCREENS_PREFIX, screen, fitted(want))


test_window_in_the_work_area.timeout = 150


def test_close_request(t):
    """A WM_CLOSE posted by another process ends the program."""
    t.start_app()
    t.probe("close")
    t.check(t.app.wait_exit(5), "the process still runs 5 s after WM_CLOSE")


TESTS = [
    test_window_and_skin,
    test_hover_highlights,
    test_drag,
    test_press_on_highlight_margin,
    test_pointer_shapes,
    test_remapped_keys,
    test_keys_beside_another_reader,
    test_button_assignment,
    test_hide_commands,
    test_web_link,
    test_exit_commands,
    test_press_released_elsewhere,
    test_close_request,
    test_layout_at_120_dpi,
    test_window_in_the_work_area,
    test_tray_icon_shows_window,
    test_tray_icon_leaves,
    test_tray_restart,
]


# ------------------------------------------------------------------- driver

def build_probes(build):
    """Builds the probes for one word size, each with the same compiler as the
    program under test: a probe then sees the system as that program does.
    (Wine 8 runs a low-level key hook across word sizes as well, tried both
    ways; the probes that only post messages or write files need neither.)"""
    gxx = shutil.which(build.gxx)
    if not gxx:
        raise SystemExit(f"e2e: {build.gxx} not found (g++-mingw-w64)")
    out = BUILD / f"probes{build.bits}"
    out.mkdir(parents=True, exist_ok=True)
    (BUILD / "logs").mkdir(exist_ok=True)
    for name in PROBES:
        src, exe = E2E_DIR / "probes" / f"{name}.cpp", out / f"{name}.exe"
        if exe.exists() and exe.stat().st_mtime >= src.stat().st_mtime:
            continue
        res = subprocess.run([gxx, "-std=c++20", "-O1", "-Wall", "-Wextra", "-Wpedantic",
                              "-static", "-o", str(exe), str(src), "-luser32", "-lshell32"],
                             text=True, capture_output=True)
        if res.returncode != 0:
            raise SystemExit(f"e2e: building probe {name} failed:\n{res.stderr}")


def opened_addresses():
    """The addresses the url probe has written to its log in full: a line
    counts once its newline is written, as the probe may still be writing."""
    log = BUILD / "url.log"
    text = log.read_text() if log.exists() else ""
    return text[:text.rfind("\n") + 1].splitlines()


def opened_after(action, wait=15, settle=0.5):
    """Runs action; returns the addresses the probe was asked to open since,
    once one was and `settle` more seconds passed (a second opening would
    show there), or once `wait` seconds passed without one."""
    before = len(opened_addresses())
    action()
    if wait_until(lambda: len(opened_addresses()) > before, wait, 0.1):
        time.sleep(settle)
    return opened_addresses()[before:]


def register_url_probe(display):
    command = f'"{winpath(display.probe_exe("urlprobe"))}" "{winpath(BUILD / "url.log")}" "%1"'
    display.reg_add(r"HKCR\http\shell\open\command", "/ve", "/d", command)


def _alarm(signum, frame):
    raise TestTimeout()


def run_tests(display, opts, tests):
    """Runs each test in a fresh Session; returns (passed, failed)."""
    passed = failed = 0
    for test in tests:
        name = test.__name__[len("test_"):]
        session = Session(display, opts, name)
        started = time.monotonic()
        limit = getattr(test, "timeout", TEST_TIMEOUT_S)
        signal.alarm(limit)
        try:
            test(session)
            result, reason = "PASS", "; ".join(session.notes)
        except Failure as e:
            result, reason = "FAIL", str(e)
        except TestTimeout:
            result, reason = "FAIL", f"timed out after {limit} s"
        except Exception as e:  # a broken helper is a failed test, not a dead run
            result, reason = "FAIL", f"{type(e).__name__}: {e}"
        finally:
            signal.alarm(0)
            session.cleanup()
        elapsed = time.monotonic() - started
        if result == "PASS":
            passed += 1
        else:
            failed += 1
        print(f"{result} {name}: {reason or 'ok'} ({elapsed:.1f} s)", flush=True)
    return passed, failed


def main(all_tests=TESTS, suite="e2e", prefix=None, probes=(), setup=None, description=None,
         program="Veltrane.exe", screen=None):
    """The command line; another e2e script runs its own tests through it, with
    a prefix and a screen of its own, another program under test, more probes,
    and a setup step run once in a Session before the tests."""
    ap = argparse.ArgumentParser(description=description or __doc__.split("\n")[0])
    ap.add_argument("--arch", type=int, choices=(32, 64), default=32,
                    help="the build under test (default: 32, the product)")
    ap.add_argument("--exe", help=f"a {program} other than the build's; its own word size "
                                  "picks the Wine loader")
    ap.add_argument("-k", dest="name", help="run only the tests whose name contains NAME")
    ap.add_argument("--skin", default=str(ROOT / "assets" / "skin.bmp"),
                    help="the skin picture the window must show")
    opts = ap.parse_args()
    if opts.exe:
        opts.exe = str(Path(opts.exe).resolve())
        if not Path(opts.exe).is_file():
            raise SystemExit(f"{suite}: {opts.exe} not found")
        opts.arch = pe_bits(opts.exe)
    tests = [f for f in all_tests if not opts.name or opts.name in f.__name__]
    if not tests:
        raise SystemExit(f"{suite}: no test matches {opts.name!r}")

    global PROBES
    PROBES = tuple(dict.fromkeys(PROBES + tuple(probes)))
    t0 = time.monotonic()
    signal.signal(signal.SIGALRM, _alarm)
    # A stopped run still tears down its Xvfb and wineserver (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    display = Display(prefix=prefix, screen=screen)
    try:
        display.build = BUILDS[opts.arch]
        if opts.arch == 32 and display.no_32bit:
            print(f"{suite}: THE 32-BIT END-TO-END TESTS DID NOT RUN: {display.no_32bit}",
                  flush=True)
            report(32, 0, 0, display.no_32bit)
            return 1
        opts.exe = opts.exe or str(display.build.exe(program))
        if not Path(opts.exe).is_file():
            raise SystemExit(f"{suite}: {opts.exe} not found; build it first (cmake --preset "
                             f"{display.build.preset} && cmake --build --preset "
                             f"{display.build.preset})")
        build_probes(display.build)
        register_url_probe(display)
        if setup:
            setup(Session(display, opts, "setup"))
        emulated = i386_emulation() if display.build.bits == 32 else None
        print(f"{suite}: {opts.exe} ({display.build.bits}-bit"
              f"{', ' + emulated if emulated else ''}) on {display.name}, "
              f"setup {time.monotonic() - t0:.1f} s", flush=True)
        passed, failed = run_tests(display, opts, tests)
    finally:
        display.close()
    report(display.build.bits, passed, failed)
    print(f"{suite}: total {time.monotonic() - t0:.1f} s")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
