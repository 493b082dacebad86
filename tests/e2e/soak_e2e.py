#!/usr/bin/env python3
"""Soak of the 32-bit Veltrane.exe, the product, under Wine: minutes of user-like input,
then a close request from another process.

Each kind of action once, then random ones with a fixed seed, one every
100-300 ms: pointer moves over and off the hot areas (never a click on Exit
or the red dot), clicks on the yellow dot and Minimize followed by a click on
the tray icon that brings the window back, clicks on the tray icon with the
window shown, clicks on the web link (answered by the url probe), small drags
on the bare surface and back, and presses of F13, F14, F15, right Windows and
Ctrl with the window focused (the key hook probe counts the answers). VmRSS
and CPU time of the Veltrane process are read from /proc every 30 s. At the
end a WM_CLOSE is posted, and the process must end and its tray icon go.

Passes when the process stays up until the close request, its RSS at the end
is within +2 % (or +512 kB, whichever is larger) of its RSS at minute 2, it
ends after the close request and the tray is empty. Writes the figures to
docs/SOAK.md (or --out) whatever the outcome.

--smoke: seconds of actions, to show that the soak can run; its RSS growth is
not judged (too early to tell), and its report goes to build/soak/SOAK-smoke.md.

Usage: tests/e2e/soak_e2e.py [--minutes N | --smoke] [--seed N] [--exe PATH] [--out PATH]
"""

import argparse
import collections
import datetime
import itertools
import os
import random
import re
import shutil
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
OUT = ROOT / "build" / "soak"
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
# A prefix of its own: the soak can run beside the end-to-end tests.
os.environ.setdefault("WINEPREFIX", str(ROOT / "build" / "wine-prefix-soak"))
import harness as e2e  # noqa: E402

e2e.BUILD = OUT   # logs, key log and url log of this run

CLK_TCK = os.sysconf("SC_CLK_TCK")
SAMPLE_EVERY_S = 30
BASELINE_MINUTE = 2
GROWTH_RATIO = 0.02
GROWTH_FLOOR_KB = 512
SMOKE_MINUTES = 0.2
SCREEN = (1280, 1024)

# Pointer targets. hitarea (Exit) and xarea (red dot) are only ever hovered.
HOVER_AREAS = {
    "hitarea": e2e.HITAREA,
    "xarea": e2e.XAREA,
    "minarea": e2e.MINAREA,
    "minbutarea": e2e.MINBUTAREA,
    "link": e2e.LINKAREA,
}
HIDE_AREAS = {"minarea": e2e.MINAREA, "minbutarea": e2e.MINBUTAREA}
# Bare surface, away from every control and highlight picture.
BARE = (150, 110, 150, 90)   # x, y, w, h in client pixels

# keysym -> (physical vk the hook sees, injected vk that answers it or None)
KEYS = {
    "F13": ((124,), 44),
    "F14": ((125,), 145),
    "F15": ((126,), 19),
    "Super_R": ((92,), 92),
    "Control_L": ((162,), None),   # Ctrl swaps the buttons for a tick, no stroke
}

# The actions, their relative weights and the Soak methods that do them.
ACTIONS = (
    ("move over a hot area", 34, "move_over_area"),
    ("move onto the bare surface", 10, "move_bare"),
    ("move off the window", 8, "move_off"),
    ("key press", 20, "key_press"),
    ("hide, then tray click", 8, "hide_and_restore"),
    ("tray click, window shown", 6, "tray_click_shown"),
    ("drag and back", 8, "drag"),
    ("web link click", 3, "link_click"),
)


def log(msg):
    print(f"soak: {msg}", flush=True)


# ---------------------------------------------------------------- /proc

def read_usage(pid):
    """(VmRSS kB, CPU seconds) of pid, or None once it is gone."""
    try:
        status = Path(f"/proc/{pid}/status").read_text()
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return None
    m = re.search(r"^VmRSS:\s+(\d+) kB", status, re.M)
    if not m or fields[0] == "Z":
        return None
    return int(m.group(1)), (int(fields[11]) + int(fields[12])) / CLK_TCK


class Sampler(threading.Thread):
    """Reads RSS and CPU every SAMPLE_EVERY_S seconds from the start, on its
    own clock so that slow actions do not shift the samples."""

    def __init__(self, pid, start):
        super().__init__(daemon=True)
        self.pid, self.start_at = pid, start
        self.samples = []          # (seconds since start, rss kB, cpu s)
        self.vanished_at = None
        self.stop_event = threading.Event()

    def take(self):
        usage = read_usage(self.pid)
        now = time.monotonic() - self.start_at
        if usage is None:
            self.vanished_at = now if self.vanished_at is None else self.vanished_at
            return None
        self.samples.append((now, *usage))
        return usage

    def run(self):
        for k in itertools.count(1):
            self.take()
            if self.stop_event.wait(max(0.0, self.start_at + k * SAMPLE_EVERY_S - time.monotonic())):
                break


# ---------------------------------------------------------------- the soak

class Soak:
    def __init__(self, session, rng, duration):
        self.t = session
        self.rng = rng
        self.duration = duration
        self.counts = collections.Counter()
        self.anomalies = collections.Counter()
        self.tray_icon = None
        self.home = None
        self.died = None
        self.verbose = False

    def point_in(self, rect, inset=2):
        x, y, w, h = rect
        return (self.rng.randint(x + inset, x + w - 1 - inset),
                self.rng.randint(y + inset, y + h - 1 - inset))

    def anomaly(self, what):
        what = what.splitlines()[0][:160]
        self.anomalies[what] += 1
        log(f"anomaly: {what}")

    def icon(self):
        if self.tray_icon is None:
            icons = self.t.wait_tray_count(1)
            self.tray_icon = icons[0][0]
        return self.tray_icon

    def ensure_shown(self):
        """Brings the window back through the tray if an action left it
        hidden; False if that does not work either."""
        if self.t.is_mapped():
            return True
        self.tray_icon = None
        self.t.click_screen(*self.icon())
        return bool(e2e.wait_until(self.t.is_mapped, 5))

    # -- actions
    def move_over_area(self):
        name = self.rng.choice(sorted(HOVER_AREAS))
        x, y = self.point_in(HOVER_AREAS[name])
        if self.rng.random() < 0.5:
            self.t.hover(x, y, rest=self.rng.uniform(0.05, 0.3))
        else:
            self.t.move(x, y)
        self.counts[f"move over {name}"] += 1

    def move_bare(self):
        self.t.move(*self.point_in(BARE, 0))
        self.counts["move onto the bare surface"] += 1

    def move_off(self):
        info = self.t.window_info(self.t.wid)
        while True:
            # Below the tray, anywhere off the window.
            sx, sy = self.rng.randrange(SCREEN[0]), self.rng.randrange(60, SCREEN[1])
            if not (info["x"] - 5 <= sx < info["x"] + info["w"] + 5
                    and info["y"] - 5 <= sy < info["y"] + info["h"] + 5):
                break
        self.t.display.x("xdotool", "mousemove", str(sx), str(sy))
        self.counts["move off the window"] += 1

    def key_press(self):
        keysym = self.rng.choice(sorted(KEYS))
        self.t.focus()
        self.t.key(keysym, self.rng.uniform(0.1, 0.2))
        self.counts[f"key {keysym}"] += 1
        if self.verbose:
            log(f"key {keysym}")

    def hide_and_restore(self):
        name = self.rng.choice(sorted(HIDE_AREAS))
        self.t.click(*self.point_in(HIDE_AREAS[name]))
        self.counts[f"click {name}"] += 1
        if not e2e.wait_until(lambda: not self.t.is_mapped(), 4):
            self.anomaly(f"click on {name} did not hide the window")
            return
        time.sleep(self.rng.uniform(0.1, 0.4))
        self.t.click_screen(*self.icon())
        self.counts["tray click, window hidden"] += 1
        if not e2e.wait_until(self.t.is_mapped, 4):
            self.anomaly("tray click did not show the hidden window")

    def tray_click_shown(self):
        self.t.click_screen(*self.icon(), button=self.rng.choice((1, 1, 3, 2)))
        self.counts["tray click, window shown"] += 1
        time.sleep(0.1)
        if not self.t.is_mapped():
            self.anomaly("tray click hid the shown window")

    def drag(self):
        n = self.rng.randint(1, 4)
        step = (self.rng.randint(-6, 6), self.rng.randint(-6, 6))
        # Primary button only: a secondary-button drag leaves Wine's move loop
        # running after the release (see docs/SOAK.md), and the window would
        # follow the pointer into the rest of the run.
        button = 1
        before = self.t.window_info(self.t.wid)
        self.t.drag_from(*self.point_in(BARE, 0), [step] * n, button)
        moved = self.t.window_info(self.t.wid)
        self.t.drag_from(*self.point_in(BARE, 0), [(-step[0], -step[1])] * n, button)
        after = self.t.window_info(self.t.wid)
        self.counts["drag and back"] += 1
        if self.verbose:
            log(f"drag: button {button}, {n} x {step}: {before['x']},{before['y']} -> "
                f"{moved['x']},{moved['y']} -> {after['x']},{after['y']}")
        want = (before["x"] + step[0] * n, before["y"] + step[1] * n)
        if (moved["x"], moved["y"]) != want:
            self.anomaly("a drag did not move the window by the pointer's displacement")
        if (after["x"], after["y"]) != (self.home[0], self.home[1]):
            self.anomaly("the window did not come back to its place after a drag and back")

    def link_click(self):
        self.t.click(*self.point_in(e2e.LINKAREA))
        self.counts["web link click"] += 1

    # -- loop
    def run(self, sampler):
        perform = {name: getattr(self, method) for name, _, method in ACTIONS}
        names, weights = [a for a, _, _ in ACTIONS], [w for _, w, _ in ACTIONS]
        info = self.t.window_info(self.t.wid)
        self.home = (info["x"], info["y"])
        first = list(names)   # each kind once, however short the run
        next_report = 60
        while True:
            elapsed = time.monotonic() - sampler.start_at
            if elapsed >= self.duration and not first:
                break
            if elapsed >= next_report:
                log(f"{elapsed / 60:.0f} min, {sum(self.counts.values())} actions, "
                    f"RSS {sampler.samples[-1][1] if sampler.samples else '?'} kB")
                next_report += 60
            action = first.pop(0) if first else self.rng.choices(names, weights)[0]
            if self.verbose:
                info = self.t.window_info(self.t.wid) or {}
                log(f"{elapsed:6.1f} s  {action}  (window at {info.get('x')}, {info.get('y')}, "
                    f"{info.get('map')})")
            try:
                perform[action]()
            except e2e.Failure as e:
                self.anomaly(f"{action}: {e}")
            if not self.t.app.running():
                self.died = elapsed
                log(f"the process ended during '{action}' after {elapsed:.1f} s")
                return
            if not self.t.is_mapped() and not self.ensure_shown():
                self.anomaly("the window stayed hidden; stopping the actions")
                return
            time.sleep(self.rng.uniform(0.1, 0.3))


def key_answers(keylog):
    """Physical presses of each key and the injected presses that answered,
    from the key hook's log."""
    events = keylog.events() if keylog.path.exists() else []
    out = {}
    for keysym, (phys_vks, answer) in KEYS.items():
        phys = sum(1 for e in events if e[1] in phys_vks and e[2] and not e[3])
        inj = (sum(1 for e in events if e[1] == answer and e[2] and e[3])
               if answer is not None else None)
        out[keysym] = (phys, inj)
    return out


def close_and_watch(t):
    """Posts WM_CLOSE; returns seconds until the tray was empty and until the
    process ended (None if not within 15 s), and its exit code."""
    asked = time.monotonic()
    t.probe("close")
    icon_gone = exited = None
    while time.monotonic() - asked < 15 and (icon_gone is None or exited is None):
        if exited is None and not t.app.running():
            exited = time.monotonic() - asked
        if icon_gone is None and not t.tray_icons():
            icon_gone = time.monotonic() - asked
        time.sleep(0.05)
    return icon_gone, exited, t.app.popen.returncode


# ---------------------------------------------------------------- report

def sample_at(samples, seconds):
    """The sample closest to `seconds` since the start."""
    return min(samples, key=lambda s: abs(s[0] - seconds))


def verdict(fig):
    base, end = fig["baseline"], fig["end"]
    allowed = max(GROWTH_RATIO * base[1], GROWTH_FLOOR_KB)
    growth = end[1] - base[1]
    checks = {"process stayed up until the close request": fig["died"] is None}
    if not fig["smoke"]:
        checks[f"RSS at the end within +{allowed:.0f} kB of minute "
               f"{fig['baseline_minute']:g}"] = growth <= allowed
    checks["process ended within 15 s of WM_CLOSE"] = fig["exited"] is not None
    checks["tray empty after the close request"] = fig["icon_gone"] is not None
    return checks, growth, allowed


def write_report(path, fig):
    checks, growth, allowed = verdict(fig)
    base, end = fig["baseline"], fig["end"]
    L = ["# Soak under Wine", "", f"Written by `scripts/soak` ({fig['date']}, commit {fig['commit']}). "
             f"Veltrane.exe {fig['bits']}-bit under {fig['wine']} on a private Xvfb with IceWM, "
             f"{fig['nproc']} cores shared with other work. Seed {fig['seed']}."
             + (f" The 32-bit programs are {fig['emulated']}." if fig.get("emulated")
                and fig["bits"] == 32 else ""), ""]
    if fig["smoke"]:
        L += ["A smoke run (`scripts/soak --smoke`): seconds of actions, to show that the "
              "soak can run; its RSS growth is not judged.", ""]
    L += ["## Result", "", f"**{'PASS' if all(checks.values()) else 'FAIL'}**", ""]
    for what, ok in checks.items():
        L.append(f"- {'yes' if ok else 'NO'}: {what}")
    L += ["", "| figure | value |", "|---|---|",
          f"| duration of the actions | {fig['duration']:.0f} s ({fig['duration'] / 60:.1f} min) |",
          f"| actions done | {sum(fig['counts'].values())} |"]
    up = "yes" if fig["died"] is None else f"no, ended after {fig['died']:.0f} s"
    L += [f"| process up until the close request | {up} |",
          f"| RSS at minute {fig['baseline_minute']:g} | {base[1]} kB |",
          f"| RSS at the end ({end[0] / 60:.1f} min) | {end[1]} kB |"]
    L.append(f"| growth from minute {fig['baseline_minute']:g} to the end | {growth:+d} kB "
             f"({100 * growth / base[1]:+.2f} %), allowed +{allowed:.0f} kB |")
    L.append(f"| RSS min / max over the run | {min(s[1] for s in fig['samples'])} / "
             f"{max(s[1] for s in fig['samples'])} kB |")
    L.append(f"| CPU time of the Veltrane process (user + system) | {end[2]:.2f} s, "
             f"{100 * end[2] / max(end[0], 1):.1f} % of one core |")
    L.append(f"| tray after the close request | "
             f"{'empty after %.1f s' % fig['icon_gone'] if fig['icon_gone'] is not None else 'icon still there after 15 s'} |")
    L.append(f"| process exit after WM_CLOSE | "
             f"{'%.1f s, exit code %s' % (fig['exited'], fig['exit_code']) if fig['exited'] is not None else 'still running after 15 s'} |")
    L += ["", "## Actions", "", "| action | count |", "|---|---|"]
    for what, n in sorted(fig["counts"].items()):
        L.append(f"| {what} | {n} |")
    L += ["", f"Web link: {fig['url_hits']} openings recorded by the url probe for "
             f"{fig['counts'].get('web link click', 0)} clicks"
             f"{'' if fig['url_ok'] else ' (some carried another address)'}.",
          "", "| key | presses sent | physical presses the hook saw | injected answers |",
          "|---|---|---|---|"]
    for keysym, (phys, inj) in fig["keys"].items():
        L.append(f"| {keysym} | {fig['counts'].get('key ' + keysym, 0)} | {phys} | "
                 f"{'none expected (button swap)' if inj is None else inj} |")
    L.append("")
    if fig["anomalies"]:
        L += ["Anomalies seen during the run (the run went on):", ""]
        for what, n in sorted(fig["anomalies"].items()):
            L.append(f"- {n} x {what}")
    else:
        L.append("No anomaly during the run: every hide was followed by the window coming "
                 "back from the tray, and every drag and back returned the window to its place.")
    L += ["", f"## Memory, every {SAMPLE_EVERY_S} s", "", "| minute | VmRSS kB | CPU s |",
          "|---|---|---|"]
    for s, rss, cpu in fig["samples"]:
        L.append(f"| {s / 60:.1f} | {rss} | {cpu:.2f} |")
    L += ["", "## Left out of the mix: drags with the secondary button", ""]
    L.append("A drag starts Wine's move loop (WM_NCLBUTTONDOWN on the caption), and under "
             "Wine that loop ends on a primary-button release only. After a drag with the "
             "secondary button the window therefore keeps following the pointer once the "
             "button is up, until the next primary click (reproduced on a fresh process: "
             "secondary drag by (-6, -2), release, pointer jumps by (50, 30) for the next "
             "drag, and the window jumps with it). A development run that still had such "
             "drags in its mix saw the window wander off screen, hides fail, and, at the end, "
             "the icon go after WM_CLOSE but the process still running 15 s later. The mix "
             "therefore drags with the primary button only; whether Windows ends that loop "
             "on a secondary release is not something this machine can tell.")
    L += ["", "## How", ""]
    L.append("- One action every 100-300 ms after the previous one ended: each kind once, "
             "then chosen at random with the seed above from: " +
             ", ".join(f"{a} ({w})" for a, w, _ in ACTIONS) +
             " (relative weights). Pointer moves go to a random point of a hot area "
             "(hitarea and xarea are hovered, never clicked), of the bare surface or off the "
             "window; a hide clicks the yellow dot or Minimize, waits for the window to be "
             "unmapped, then clicks the tray icon and waits for it to be mapped again; drags "
             "use the primary button from the bare surface, 1-4 steps of at "
             "most 6 px, then the same way back; keys are held 100-200 ms with the window "
             "focused.")
    L.append("- Memory: VmRSS and utime + stime from /proc/<pid> of the process running "
             "Veltrane.exe, on a clock of their own every 30 s, plus one reading right "
             "before the close request. Growth is counted from the sample nearest minute "
             f"{fig['baseline_minute']:g} (the first minutes still load code and fonts) to that last "
             f"reading; it must stay within +{GROWTH_RATIO:.0%} or +{GROWTH_FLOOR_KB} kB, "
             "whichever is larger.")
    L += ["- End: `winprobe close` posts WM_CLOSE to Veltrane's main window; the tray "
          "is watched (the icons docked in the desktop's tray, IceWM's) and the process "
          "waited for.", ""]
    path.write_text("\n".join(L))


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--minutes", type=float, default=10)
    ap.add_argument("--smoke", action="store_true",
                    help=f"{SMOKE_MINUTES * 60:g} s of actions, to show that the soak can run; "
                         "RSS growth not judged, report under build/soak")
    ap.add_argument("--seed", type=int, default=9)
    ap.add_argument("--exe", default=str(e2e.BUILDS[32].exe()),
                    help="the program to soak (default: the 32-bit product); its own word "
                         "size picks the Wine loader")
    ap.add_argument("--skin", default=str(ROOT / "assets" / "skin.bmp"))
    ap.add_argument("--out",
                    help="the report (docs/SOAK.md; build/soak/SOAK-smoke.md with --smoke)")
    ap.add_argument("-v", "--verbose", action="store_true", help="log every action")
    opts = ap.parse_args()
    if opts.smoke:
        opts.minutes = SMOKE_MINUTES
    opts.out = opts.out or str(OUT / "SOAK-smoke.md" if opts.smoke else ROOT / "docs" / "SOAK.md")
    src = Path(opts.exe).resolve()
    if not src.is_file():
        raise SystemExit(f"soak: {src} not found; build it first")
    (OUT / "logs").mkdir(parents=True, exist_ok=True)
    # A copy of its own: a rebuild during the run does not touch it.
    opts.exe = str(OUT / "Veltrane.exe")
    shutil.copy2(src, opts.exe)
    duration = opts.minutes * 60
    baseline_minute = BASELINE_MINUTE if opts.minutes >= 2 * BASELINE_MINUTE else opts.minutes / 2

    url_log = OUT / "url.log"
    if url_log.exists():
        url_log.unlink()
    display = e2e.Display()
    display.build = e2e.BUILDS[e2e.pe_bits(opts.exe)]
    if display.build.bits == 32 and display.no_32bit:
        display.close()
        raise SystemExit(f"soak: THE 32-BIT PROGRAM CANNOT RUN HERE: {display.no_32bit}")
    e2e.build_probes(display.build)
    t = e2e.Session(display, opts, "soak")
    fig = {"seed": opts.seed, "baseline_minute": baseline_minute, "smoke": opts.smoke,
           "commit": e2e.commit(), "emulated": e2e.i386_emulation()}
    try:
        e2e.register_url_probe(display)
        t.wait_tray_count(0, timeout=5)
        t.start_app()
        pid = e2e.wine_pid(t.app.popen, opts.exe)
        keylog = t.start_keyhook()
        t.wait_tray_count(1)
        log(f"Veltrane pid {pid} on {display.name}; {opts.minutes:g} min, seed {opts.seed}")
        sampler = Sampler(pid, time.monotonic())
        sampler.start()
        soak = Soak(t, random.Random(opts.seed), duration)
        soak.verbose = opts.verbose
        soak.run(sampler)
        sampler.stop_event.set()
        sampler.join()
        last = sampler.take()
        fig["duration"] = time.monotonic() - sampler.start_at
        fig["died"] = soak.died
        if soak.died is None and last is None:
            fig["died"] = sampler.vanished_at
        if fig["died"] is None:
            fig["icon_gone"], fig["exited"], fig["exit_code"] = close_and_watch(t)
        else:
            fig["icon_gone"] = None if t.tray_icons() else 0.0
            fig["exited"], fig["exit_code"] = None, t.app.popen.returncode
        fig["keys"] = key_answers(keylog)
    finally:
        t.cleanup()
        display.close()
    urls = e2e.opened_addresses()
    fig.update(samples=sampler.samples, baseline=sample_at(sampler.samples, baseline_minute * 60),
               end=sampler.samples[-1], counts=dict(soak.counts), anomalies=dict(soak.anomalies),
               url_hits=len(urls), url_ok=all(u == e2e.HOME_PAGE for u in urls),
               date=datetime.date.today().isoformat(), bits=display.build.bits,
               wine=e2e.wine_version(display.wine), nproc=os.cpu_count())
    write_report(Path(opts.out), fig)

    checks, growth, allowed = verdict(fig)
    log(f"{fig['duration']:.0f} s, {sum(soak.counts.values())} actions: "
        + ", ".join(f"{k} {v}" for k, v in sorted(soak.counts.items())))
    log(f"RSS minute {baseline_minute:g} {fig['baseline'][1]} kB, end {fig['end'][1]} kB, "
        f"growth {growth:+d} kB (allowed +{allowed:.0f}); CPU {fig['end'][2]:.2f} s")
    log(f"key answers (physical, injected): {fig['keys']}; url hits {fig['url_hits']}")
    log(f"icon gone after {fig['icon_gone']} s, exit after {fig['exited']} s "
        f"(code {fig['exit_code']}); anomalies {dict(soak.anomalies) or 'none'}")
    for what, ok in checks.items():
        log(f"{'ok  ' if ok else 'FAIL'} {what}")
    log(f"wrote {opts.out}")
    return 0 if all(checks.values()) else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except e2e.Failure as e:   # the soak could not be set going, in one line
        sys.exit(f"soak: FAILED: {e}")
