"""What the end-to-end tests, the soak and the Wine benchmarks share: a
private desktop (Xvfb with a window manager and its system tray) with a Wine
prefix, the programs started there, the user's pointer and keyboard (xdotool,
Xlib), and what can be seen from outside: X windows, screen pixels, the
probes' logs, Wine's relay trace.

A run keeps its prefixes and logs under $VELTRANE_RUN_DIR (build/ by default),
so that runs of two Wine versions never share a prefix.
"""

import contextlib
import ctypes
import dataclasses
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
E2E_DIR = ROOT / "tests" / "e2e"
RUN_DIR = Path(os.environ.get("VELTRANE_RUN_DIR", ROOT / "build"))
BUILD = RUN_DIR / "e2e"
# Built on the host, where the compilers are, and run by every Wine.
PROBE_DIR = ROOT / "build" / "e2e"
WINE_ENV = ROOT / "scripts" / "lib" / "wine-env.sh"
PROBES = ("keyhook", "urlprobe", "winprobe", "lifeprobe")


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
class Failure(AssertionError):
    """A check that failed; a failed test under pytest."""


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


def wine_version(loader):
    """"Wine 8.0" and the like, from the loader's own --version."""
    said = run([loader, "--version"], check=False).strip()
    m = re.match(r"wine-(\d+\.\d+)", said)
    return f"Wine {m.group(1)}" if m else f"Wine ({said or 'unknown version'})"


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
    """The first image of a .cur file as PointerShape.key() gives the pointer:
    (width, height, hot x, hot y, its visible pixels)."""
    w, h, hot, visible = read_icon(path)
    return w, h, *hot, frozenset(visible)


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

def _runs(pid, exe):
    """Whether process `pid` runs the Windows program exe, and its parent's pid.
    Where 32-bit programs are emulated, the command line the system shows is
    the emulator's: the emulator, the Wine loader, then the program's."""
    try:
        argv = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")
        ppid = int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])
    except (OSError, ValueError, IndexError):
        return False, None
    if Path(argv[0].decode(errors="replace")).name.startswith("qemu-") and len(argv) > 2:
        argv = argv[2:]
    name = Path(exe).name.lower()
    return argv[0].decode(errors="replace").replace("\\", "/").lower().endswith(name), ppid


def wine_pid(popen, exe):
    """The pid of the process running exe: the started one, or its child
    whose command line names exe (Wine turns the started process into it)."""
    for pid in [popen.pid] + [int(p) for p in os.listdir("/proc") if p.isdigit()]:
        runs, ppid = _runs(pid, exe)
        if runs and popen.pid in (pid, ppid):
            return pid
    raise Failure(f"no process runs {Path(exe).name}")


def running_copies(display, exe):
    """The pids of every process that runs exe in the display's Wine prefix,
    whoever started it."""
    prefix = f"WINEPREFIX={display.env['WINEPREFIX']}".encode()
    pids = []
    for pid in (int(p) for p in os.listdir("/proc") if p.isdigit()):
        try:
            env = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if prefix in env and _runs(pid, exe)[0]:
            pids.append(pid)
    return pids


# ------------------------------------------------------------ the X display

class Display:
    """A private Xvfb with its desktop and a Wine environment, held by a bash
    child that sources scripts/lib/wine-env.sh; closing its stdin runs that
    helper's cleanup (our wineserver -k, our window manager, our Xvfb), even
    if this script dies."""

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
            raise Failure("could not start Xvfb, its desktop or Wine (see messages above)")
        _, self.name, prefix, why = line
        # Why the 32-bit loader cannot run here, or None when it can.
        self.no_32bit = None if why == "ok" else why
        self.env = dict(os.environ, DISPLAY=self.name, WINEPREFIX=prefix, WINEARCH="win64",
                        WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.build = BUILDS[64]
        if not shutil.which("xsetroot"):
            self.close()
            raise Failure("xsetroot not found (x11-xserver-utils)")
        self.x("xsetroot", "-solid", "#%02X%02X%02X" % BACKGROUND)

    @property
    def wine(self):
        """The loader for the build under test."""
        return self.build.wine

    def probe_exe(self, name):
        """A probe built for the word size under test (see build_probes)."""
        return PROBE_DIR / f"probes{self.build.bits}" / f"{name}.exe"

    def close(self):
        if self.holder.poll() is None:
            with contextlib.suppress(OSError):
                self.holder.stdin.close()
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

    def set_density(self, dpi, exe):
        """Gives `exe` a screen of `dpi` logical pixels per inch: the system's
        scaling of a program without DPI awareness overridden for it, as on
        Windows 8.1 and later (Wine 10 scales as those do; Wine 8 never does),
        then a new session, as after signing out and in."""
        self.reg_add(r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                     "/d", str(dpi))
        self.reg_add(r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags"
                     r"\Layers", "/v", Path(exe).name,   # Wine 10 looks up the file name
                     "/d", "~ HIGHDPIAWARE")
        for step in ("-k", "-w", "-p"):   # Wine 10 reads the density as its desktop starts
            run(["/usr/lib/wine/wineserver", step], env=self.env, timeout=60, check=False,
                capture=False)   # the server it starts would hold a pipe open

    def reg_value(self, key, name):
        """A string value of the prefix's registry, or None where it is not set."""
        m = re.search(rf"{name}\s+REG_SZ\s+(\S*)", self.reg("query", key, "/v", name)[0])
        return m.group(1) if m else None

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

    def root_cardinals(self, name):
        """The numbers of a property of the root window, such as the window
        manager's _NET_CLIENT_LIST or _NET_WORKAREA."""
        out = self.x("xprop", "-root", "-notype", name, check=False)
        return [int(v, 0) for v in re.findall(r"\b(0x[0-9a-f]+|\d+)\b", out.split(name, 1)[-1])]

    def screenshot(self):
        """The whole screen, 8 bits a colour."""
        width, height = (int(v) for v in self.screen.split("x")[:2])
        blob = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=20).stdout
        if len(blob) != width * height * 3:
            raise Failure(f"import gave {len(blob)} bytes for a {width}x{height} screen")
        return Image(width, height, blob)


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
        return wait_until(lambda: not self.running(), timeout)

    def stop(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait(timeout=10)
        self.logfile.close()


class Session:
    """What one test works with: the display, the exe, and helpers."""

    def __init__(self, display, opts, name):
        self.display, self.opts, self.name = display, opts, name
        self.procs, self.notes = [], []
        self.app = self.wid = None

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
        return out.split()

    def window_info(self, wid):
        """Geometry and map state from xwininfo, or None if the window is gone."""
        out = self.display.x("xwininfo", "-id", str(wid), check=False)
        field = dict(re.findall(r"^\s*(\w[\w -]*):\s+(\S+)", out, re.M))
        if "Absolute upper-left X" not in field:
            return None
        return {"x": int(field["Absolute upper-left X"]), "y": int(field["Absolute upper-left Y"]),
                "w": int(field["Width"]), "h": int(field["Height"]), "map": field["Map State"]}

    def window_pid(self, wid):
        """The pid Wine gave an X window (_NET_WM_PID), or None."""
        out = self.display.x("xprop", "-id", str(wid), "_NET_WM_PID", check=False)
        m = re.search(r"= (\d+)", out)
        return int(m.group(1)) if m else None

    def shown_windows(self, title, pid=None):
        """(X id, window_info) of each viewable window named `title`, of the
        process `pid` only if given."""
        infos = [(wid, self.window_info(wid)) for wid in self.find_windows(title)
                 if pid is None or self.window_pid(wid) == pid]
        return [(wid, info) for wid, info in infos if info and info["map"] == "IsViewable"]

    def wait_window(self, title, timeout=20):
        """The X id of the window named `title` once viewable: the started
        program's own, when there is one, since another program's window may
        carry the same title."""
        def viewable():
            if self.app is None:
                return next((wid for wid, _ in self.shown_windows(title)), None)
            if not self.app.running():
                raise Failure(f"{Path(self.opts.exe).name} exited with code "
                              f"{self.app.popen.returncode} before its window appeared")
            try:   # the loader becomes the program a moment after the start
                pid = wine_pid(self.app.popen, self.opts.exe)
            except Failure:
                return None
            return next((wid for wid, _ in self.shown_windows(title, pid)), None)
        wid = wait_until(viewable, timeout, 0.1)
        if not wid:
            raise Failure(f"no viewable window named {title!r} within {timeout} s")
        time.sleep(0.3)   # let the first paint land
        return wid

    def wait_no_window(self, title="Veltrane", timeout=10):
        if not wait_until(lambda: not self.shown_windows(title), timeout, 0.1):
            raise Failure(f"a window named {title!r} from an earlier run is still on screen")

    def is_mapped(self):
        """The window is shown, as the window manager has it: viewable, and
        among the windows it manages."""
        info = self.window_info(self.wid)
        return bool(info) and info["map"] == "IsViewable" and \
            int(self.wid) in self.display.root_cardinals("_NET_CLIENT_LIST")

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
        """The icons docked in the desktop's system tray and drawn, left to
        right: (screen centre, Image) of each. The tray gives each icon it
        docks an embedder window of its own, with the icon's window as its one
        child; a window of one colour has no icon drawn in it yet."""
        def walk():   # xwininfo fails when a window goes away while it walks the tree
            with contextlib.suppress(Failure):
                return self.display.x("xwininfo", "-root", "-tree")
        tree = (wait_until(walk, 2) or self.display.x("xwininfo", "-root", "-tree")).splitlines()
        icons, shot = [], None
        for embedder, child in zip(tree, tree[2:]):
            if '"YXTrayEmbedder"' not in embedder:
                continue
            w, h, x, y = map(int, re.search(r"(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)$",
                                            child.strip()).groups())
            shot = shot or self.display.screenshot()
            icon = shot.crop(x, y, w, h)
            if len({icon.data[i:i + 3] for i in range(0, len(icon.data), 3)}) > 1:
                icons.append(((x + w // 2, y + h // 2), icon))
        return sorted(icons, key=lambda icon: icon[0])

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
        # Wine may be left with no foreground window, and raw input then reaches no one.
        self.probe("activate", self.display.x("xdotool", "getwindowname", str(self.wid)).strip())
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
        self.start(self.display.probe_exe("keyhook"), winpath(log), tag="keyhook")
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


def start_traced(t, functions, wait=True, trace=Trace):
    """Starts Veltrane.exe under Wine's relay trace of `functions` (dll.name);
    returns the trace, read by `trace`. Its window is waited for unless
    startup is to fail."""
    t.display.reg_add(r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d",
                      ";".join(functions))
    env = dict(t.display.env, WINEDEBUG="+timestamp,+relay")
    if wait:
        t.start_app(env=env)
    else:
        t.wait_no_window()
        t.app = t.start(t.opts.exe, tag="app", env=env)
    return trace(t.app.log)


# Wine keeps a setting changed without being saved, such as SwapMouseButton's,
# in a volatile key for the rest of the session; programs started later read


@contextlib.contextmanager
def on_display(t, prefix, screen):
    """A Session of its own on a desktop of `screen` with a Wine prefix of its
    own (the main prefix stays locked by this run)."""
    display = Display(prefix=prefix, screen=screen)
    try:
        display.build = t.display.build
        t.check(display.build.bits == 64 or not display.no_32bit,
                f"the 32-bit loader cannot run in {prefix}: {display.no_32bit}")
        register_url_probe(display)
        s = Session(display, t.opts, t.name)
        try:
            yield s
        finally:
            t.notes += s.notes
            s.cleanup()
    finally:
        display.close()


def build_probes(build):
    """Builds the probes for one word size, each with the same compiler as the
    program under test: a probe then sees the system as that program does.
    (Wine 8 runs a low-level key hook across word sizes as well, tried both
    ways; the probes that only post messages or write files need neither.)"""
    out = PROBE_DIR / f"probes{build.bits}"
    out.mkdir(parents=True, exist_ok=True)
    (BUILD / "logs").mkdir(parents=True, exist_ok=True)
    for name in PROBES:
        src, exe = E2E_DIR / "probes" / f"{name}.cpp", out / f"{name}.exe"
        if exe.exists() and exe.stat().st_mtime >= src.stat().st_mtime:
            continue
        if not shutil.which(build.gxx):   # a root with Wine alone runs what the host built
            raise Failure(f"{exe} is missing or older than its source, and {build.gxx} "
                          "(g++-mingw-w64) is not here to build it")
        res = subprocess.run([build.gxx, "-std=c++20", "-O1", "-Wall", "-Wextra", "-Wpedantic",
                              "-static", "-o", str(exe), str(src), "-luser32", "-lshell32"],
                             text=True, capture_output=True)
        if res.returncode != 0:
            raise Failure(f"building probe {name} failed:\n{res.stderr}")


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

