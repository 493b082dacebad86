#!/usr/bin/env python3
"""End-to-end tests of the hyperlink control: the demonstration host
UrlLinkDemo.exe under Wine on a private Xvfb, with a probe of the tests
registered as the program that opens http addresses. The 32-bit build by
default (--arch 64 for the other); a machine that cannot run 32-bit programs
gets the 64-bit build and one line saying so.

Usage: tests/e2e/url_link_e2e.py [--arch 32|64] [--exe PATH] [-k NAME]

Everything it starts is its own: an Xvfb on a display it picks, a Wine
prefix under build/wine-prefix-urllink (created once, about 10 s), and the
demonstration host. It stops them by PID and with `wineserver -k` of that
prefix. Exits non-zero when a test fails; the last line is "N passed, M failed".
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "urllink-e2e"
PREFIX = ROOT / "build" / "wine-prefix-urllink"
PROBE_SRC = ROOT / "tests" / "e2e" / "probes" / "urlprobe.cpp"
WINESERVER = "/usr/lib/wine/wineserver"
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import run_e2e as e2e  # noqa: E402
BLUE = (0, 0, 255)


class Failure(Exception):
    pass


class Desktop:
    """A private Xvfb and Wine prefix."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as fd:
            number = fd.readline().strip()
        if not number:
            self.xvfb.wait(timeout=5)
            raise SystemExit("url_link_e2e: Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{number}", WINEPREFIX=str(PREFIX),
                        WINEARCH="win64", WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.server_started = False
        self.build = e2e.BUILDS[64]   # the prefix is created by the 64-bit loader

    def run(self, *args, timeout=60):
        res = subprocess.run(list(args), env=self.env, timeout=timeout,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return res.returncode

    def output(self, *args, timeout=20):
        return subprocess.run(list(args), env=self.env, timeout=timeout, text=True,
                              capture_output=True).stdout

    def prepare(self):
        ready = PREFIX / ".urllink-ready"
        if not ready.exists():
            PREFIX.mkdir(parents=True, exist_ok=True)
            print("url_link_e2e: creating the Wine prefix (once)", flush=True)
            self.run(self.build.wine, "wineboot", "-i", timeout=120)
            self.run(WINESERVER, "-w", timeout=60)
            ready.touch()
        # A persistent server for this run, so each program start is quick.
        self.run(WINESERVER, "-p")
        self.server_started = True

    def register_probe(self, probe, url_log):
        command = f'"{e2e.winpath(probe)}" "{e2e.winpath(url_log)}" "%1"'
        self.run(self.build.wine, "reg", "add", r"HKCR\http\shell\open\command", "/ve", "/d",
                 command, "/f")

    def screenshot(self):
        """The screen as rows of (r, g, b)."""
        blob = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              env=self.env, capture_output=True, timeout=20).stdout
        # P6 <w> <h> <max>\n<data>
        parts = blob.split(maxsplit=4)
        if len(parts) < 5 or parts[0] != b"P6":
            raise Failure("no screenshot")
        w, h, data = int(parts[1]), int(parts[2]), parts[4]
        return [[tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)]
                for y in range(h)]

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.2)
        self.run("xdotool", "click", str(button))

    def close(self):
        if self.server_started:
            self.run(WINESERVER, "-k")
        if self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()


class Demo:
    """One run of the demonstration host, stopped through its own PID."""

    def __init__(self, desktop, exe, name, properties, *args):
        self.props = BUILD / f"{name}.props"
        self.events = BUILD / f"{name}.events"
        self.props.write_text(properties, newline="\r\n")
        self.events.unlink(missing_ok=True)
        self.log = open(BUILD / f"{name}.log", "w")
        self.proc = subprocess.Popen(
            [desktop.build.wine, str(exe), e2e.winpath(self.props),
             "--events", e2e.winpath(self.events), *args],
            env=desktop.env, stdout=self.log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, cwd=str(BUILD))

    def event_lines(self):
        return self.events.read_text().splitlines() if self.events.exists() else []

    def label(self, timeout=20):
        """The label's screen rectangle (left, top, right, bottom) once the window shows."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for line in self.event_lines():
                if line.startswith("Ready "):
                    time.sleep(0.5)  # let the first paint land
                    return tuple(int(v) for v in line.split()[1:5])
            if self.proc.poll() is not None:
                raise Failure(f"the demo ended early (exit code {self.proc.returncode})")
            time.sleep(0.1)
        raise Failure("the demo's window did not show")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)
        self.log.close()


def read_lines(path):
    return path.read_text().splitlines() if path.exists() else []


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def properties(text, url, tooltip="-1  'True"):
    return f'Text = "{text}"\nURL = "{url}"\nShowToolTip = {tooltip}\n'


# ------------------------------------------------------------------- tests

def press_label_and_read_opened(desktop, demo, url_log):
    """Presses the middle of the control's label; returns what the probe was asked to open."""
    left, top, right, bottom = demo.label()
    before = len(read_lines(url_log))
    desktop.click((left + right) // 2, (top + bottom) // 2)
    if not wait_for(lambda: len(read_lines(url_log)) > before, 15):
        raise Failure("the registered probe was not run")
    return read_lines(url_log)[before:]


def test_press_opens_the_stored_address(desktop, exe, url_log):
    address = "http://www.example.test/open?from=urllink"
    demo = Demo(desktop, exe, "open", properties("Open the example page", address))
    try:
        opened = press_label_and_read_opened(desktop, demo, url_log)
        if opened != [address]:
            raise Failure(f"opened {opened}, expected [{address!r}]")
        if f"GoToURL {address}" not in demo.event_lines():
            raise Failure(f"GoToURL was not raised first: {demo.event_lines()}")
    finally:
        demo.stop()


def test_host_that_replaces_the_address_opens_the_replacement(desktop, exe, url_log):
    stored, replacement = "http://www.example.test/stored", "http://www.example.test/replaced"
    demo = Demo(desktop, exe, "replace", properties("Replaced link", stored),
                "--replace", replacement)
    try:
        opened = press_label_and_read_opened(desktop, demo, url_log)
        if opened != [replacement]:
            raise Failure(f"opened {opened}, expected [{replacement!r}]")
    finally:
        demo.stop()


def test_host_that_cancels_opens_nothing(desktop, exe, url_log):
    address = "http://www.example.test/cancelled"
    demo = Demo(desktop, exe, "cancel", properties("Cancelled link", address), "--cancel")
    try:
        left, top, right, bottom = demo.label()
        before = read_lines(url_log)
        desktop.click((left + right) // 2, (top + bottom) // 2)
        if not wait_for(lambda: f"GoToURL {address}" in demo.event_lines(), 10):
            raise Failure("the press raised no GoToURL")
        time.sleep(3)  # long enough for the probe to have run had anything been opened
        if read_lines(url_log) != before:
            raise Failure(f"opened {read_lines(url_log)[len(before):]} though the host cancelled")
    finally:
        demo.stop()


def test_secondary_press_opens_nothing(desktop, exe, url_log):
    address = "http://www.example.test/secondary"
    demo = Demo(desktop, exe, "secondary", properties("Secondary press", address))
    try:
        left, top, right, bottom = demo.label()
        before = read_lines(url_log)
        desktop.click((left + right) // 2, (top + bottom) // 2, button=3)
        time.sleep(3)
        if read_lines(url_log) != before or demo.event_lines()[1:]:
            raise Failure(f"a right press did something: {demo.event_lines()[1:]}")
    finally:
        demo.stop()


def test_label_is_blue_underlined_text_at_the_top_left(desktop, exe, url_log):
    demo = Demo(desktop, exe, "look", properties("Underlined blue link", "http://x.test/"))
    try:
        left, top, right, bottom = demo.label()
        width, height = right - left, bottom - top
        if width < 40 or not 8 <= height <= 30:
            raise Failure(f"label of {width} x {height} does not fit its text")
        # The demo puts the control 10 px into its window at (100, 100).
        if (left, top) != (110, 110):
            raise Failure(f"label at {left}, {top}, not at the control's top-left (110, 110)")
        screen = desktop.screenshot()
        rows = [screen[y][left:right] for y in range(top, bottom)]
        blue = [[px == BLUE for px in row] for row in rows]
        if not any(any(row) for row in blue):
            raise Failure("no pure blue pixel in the label")
        others = {px for row in rows for px in row if px != BLUE}
        face = screen[bottom + 20][left + 200]
        # Opaque on the button face, and no smoothing: two colours only.
        if not others <= {face}:
            raise Failure(f"label shows colours other than blue and the face {face}: "
                          f"{sorted(others)[:6]}")
        if face == BLUE:
            raise Failure("the control's surface is blue")
        # The underline: a row blue across nearly the whole label.
        longest = max(sum(row) for row in blue)
        if longest < 0.9 * width:
            raise Failure(f"no underline: at most {longest} of {width} pixels blue in a row")
        underline_row = max(range(len(blue)), key=lambda i: sum(blue[i]))
        if underline_row < height // 2:
            raise Failure(f"the longest blue row is at {underline_row}, above the text's middle")
        # Text begins at the label's left edge and nothing blue lies outside it.
        first_col = min(x for row in blue for x, b in enumerate(row) if b)
        if first_col > 2:
            raise Failure(f"the text starts {first_col} px into the label")
        outside = sum(1 for y in range(top, top + 240)
                      for x in range(right + 1, left + 320) if screen[y][x] == BLUE)
        outside += sum(1 for y in range(bottom + 1, top + 240)
                       for x in range(left, left + 320) if screen[y][x] == BLUE)
        if outside:
            raise Failure(f"{outside} blue pixels outside the label")
    finally:
        demo.stop()


def test_link_cursor_shows_over_the_label_only(desktop, exe, url_log):
    demo = Demo(desktop, exe, "cursor", properties("Point here", "http://x.test/"))
    try:
        left, top, right, bottom = demo.label()
        w, h, xhot, yhot, visible = e2e.read_cursor(ROOT / "assets" / "link.cur")
        link = (w, h, xhot, yhot, frozenset(visible))
        desktop.run("xdotool", "mousemove", str(left + 3), str(top + 3))
        time.sleep(0.5)
        shape = e2e.pointer_shape(desktop.env["DISPLAY"])
        if shape.key() != link:
            raise Failure(f"over the label: {shape}; expected link.cur, hot spot ({xhot}, {yhot})")
        if shape.colours != {0xFF000000, 0xFFFFFFFF}:
            raise Failure(f"the link cursor is not black and white: {sorted(shape.colours)[:4]}")
        desktop.run("xdotool", "mousemove", str(left + 200), str(top + 120))
        time.sleep(0.5)
        if e2e.pointer_shape(desktop.env["DISPLAY"]).key() == link:
            raise Failure("the link cursor shows over the bare surface too")
    finally:
        demo.stop()


def test_host_saves_the_properties_it_loaded(desktop, exe, url_log):
    demo = Demo(desktop, exe, "save",
                'Begin URLLink\n   Text = "Saved ""link"""\n   URL = http://s.test/\n'
                "   ShowToolTip = 1\nEnd\n", "--save")
    try:
        demo.label()
        wid = desktop.output("xdotool", "search", "--name", "^URLLink Demo$").split()[0]
        desktop.run("xdotool", "windowfocus", "--sync", wid)
        time.sleep(0.3)
        desktop.run("xdotool", "key", "alt+F4")  # a close request
        if not wait_for(lambda: demo.proc.poll() is not None, 10):
            raise Failure("the demo did not close")
        saved = demo.props.read_bytes()
        expected = (b'Begin URLLink\r\nText = "Saved ""link"""\r\nURL = "http://s.test/"\r\n'
                    b"ShowToolTip = -1  'True\r\nEnd\r\n")
        if saved != expected:
            raise Failure(f"saved {saved!r}")
    finally:
        demo.stop()


def shown_popups(desktop):
    """The demo's shown windows other than its main window: its tooltip."""
    popups = []
    ids = desktop.output("xdotool", "search", "--onlyvisible", "--class", "urllinkdemo").split()
    for wid in ids:
        info = desktop.output("xwininfo", "-id", wid)
        if '"URLLink Demo"' in info or "Map State: IsViewable" not in info:
            continue
        size = {k: int(v) for k, v in
                (line.strip().split(": ") for line in info.splitlines()
                 if line.strip().startswith(("Width:", "Height:")))}
        if size.get("Width", 0) > 1 and size.get("Height", 0) > 1:
            popups.append((wid, size["Width"], size["Height"]))
    return popups


def test_tooltip_shows_only_while_show_tooltip_is_on(desktop, exe, url_log):
    for tooltip, expected in (("-1  'True", True), ("0   'False", False)):
        demo = Demo(desktop, exe, "tooltip", properties("Hover here", "http://tip.test/x", tooltip))
        try:
            left, top, right, bottom = demo.label()
            desktop.run("xdotool", "mousemove", str(left + 2), str(top + 2))
            time.sleep(0.3)
            desktop.run("xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2))
            shown = wait_for(lambda: bool(shown_popups(desktop)), 4 if expected else 2.5)
            if shown != expected:
                raise Failure(f"with ShowToolTip = {tooltip.split()[0]} a tooltip "
                              f"{'did not show' if expected else 'showed'}")
        finally:
            demo.stop()
            desktop.run("xdotool", "mousemove", "1000", "700")


TESTS = [
    test_press_opens_the_stored_address,
    test_host_that_replaces_the_address_opens_the_replacement,
    test_host_that_cancels_opens_nothing,
    test_secondary_press_opens_nothing,
    test_label_is_blue_underlined_text_at_the_top_left,
    test_tooltip_shows_only_while_show_tooltip_is_on,
    test_link_cursor_shows_over_the_label_only,
    test_host_saves_the_properties_it_loaded,
]


# ------------------------------------------------------------------- driver

def build_probe(build):
    gxx = shutil.which(build.gxx)
    if not gxx:
        raise SystemExit(f"url_link_e2e: {build.gxx} not found")
    exe = BUILD / f"urlprobe{build.bits}.exe"
    if not exe.exists() or exe.stat().st_mtime < PROBE_SRC.stat().st_mtime:
        subprocess.run([gxx, "-std=c++20", "-O1", "-static", "-o", str(exe), str(PROBE_SRC)],
                       check=True)
    return exe


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--arch", type=int, choices=(32, 64), default=32,
                    help="the build under test (default: 32, the product's word size)")
    ap.add_argument("--exe", help="a UrlLinkDemo.exe other than the build's; its own word "
                                  "size picks the Wine loader")
    ap.add_argument("-k", dest="name", help="run only the tests whose name contains NAME")
    opts = ap.parse_args()
    tests = [t for t in TESTS if not opts.name or opts.name in t.__name__]
    if not tests:
        raise SystemExit(f"url_link_e2e: no test matches {opts.name!r}")
    if opts.exe:
        opts.arch = e2e.pe_bits(opts.exe)
    BUILD.mkdir(parents=True, exist_ok=True)
    url_log = BUILD / "url.log"
    url_log.unlink(missing_ok=True)

    # A stopped run still tears down its Xvfb and wineserver (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    started = time.monotonic()
    desktop = Desktop()
    passed = failed = 0
    try:
        desktop.prepare()
        desktop.build = e2e.build_under_test(desktop.env, opts.arch, suite="url_link_e2e")
        exe = Path(opts.exe if opts.exe and desktop.build.bits == opts.arch else
                   desktop.build.exe("examples/UrlLinkDemo.exe")).resolve()
        if not exe.is_file():
            raise SystemExit(f"url_link_e2e: {exe} not found; build it first (cmake --preset "
                             f"{desktop.build.preset} && cmake --build --preset "
                             f"{desktop.build.preset})")
        desktop.register_probe(build_probe(desktop.build), url_log)
        print(f"url_link_e2e: {exe} ({desktop.build.bits}-bit) on {desktop.env['DISPLAY']}, "
              f"setup {time.monotonic() - started:.1f} s", flush=True)
        for test in tests:
            t0 = time.monotonic()
            try:
                test(desktop, exe, url_log)
                passed += 1
                print(f"PASS {test.__name__} ({time.monotonic() - t0:.1f} s)", flush=True)
            except (Failure, subprocess.TimeoutExpired) as e:
                failed += 1
                print(f"FAIL {test.__name__}: {e} ({time.monotonic() - t0:.1f} s)", flush=True)
    finally:
        desktop.close()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
