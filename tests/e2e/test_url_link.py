"""End-to-end tests of the hyperlink control: the demonstration host
UrlLinkDemo.exe under Wine on a private desktop, with a probe of the tests
registered as the program that opens http addresses."""

import time

import harness as e2e
from harness import ROOT, Failure

PROGRAM = "examples/UrlLinkDemo.exe"
PREFIX = e2e.RUN_DIR / "wine-prefix-urllink"
SCREEN = "1024x768x24"
BLUE = (0, 0, 255)


def properties(text, url, tooltip="-1  'True"):
    return f'Text = "{text}"\nURL = "{url}"\nShowToolTip = {tooltip}\n'


class Demo:
    """One run of the demonstration host, with its property file and the
    file it reports its events in."""

    def __init__(self, t, name, props, *args, env=None):
        self.t = t
        self.props = e2e.BUILD / f"{name}.props"
        self.events = e2e.BUILD / f"{name}.events"
        self.props.write_text(props, newline="\r\n")
        self.events.unlink(missing_ok=True)
        self.proc = t.start(t.opts.exe, e2e.winpath(self.props),
                            "--events", e2e.winpath(self.events), *args, tag=name, env=env)

    def event_lines(self):
        return self.events.read_text().splitlines() if self.events.exists() else []

    def label(self, timeout=20):
        """The label's screen rectangle (left, top, right, bottom) once the window shows."""
        def ready():
            if not self.proc.running():
                raise Failure(f"the demo ended early (exit code {self.proc.popen.returncode})")
            return next((tuple(int(v) for v in line.split()[1:5])
                         for line in self.event_lines() if line.startswith("Ready ")), None)
        rect = e2e.wait_until(ready, timeout, 0.1)
        if not rect:
            raise Failure("the demo's window did not show")
        time.sleep(0.5)   # let the first paint land
        return rect

    def press(self, button=1):
        """Presses the middle of the label."""
        left, top, right, bottom = self.label()
        self.t.click_screen((left + right) // 2, (top + bottom) // 2, button=button)


# ------------------------------------------------------------------- tests

def test_press_opens_the_stored_address(t):
    address = "http://www.example.test/open?from=urllink"
    demo = Demo(t, "open", properties("Open the example page", address))
    opened = e2e.opened_after(demo.press)
    t.check(opened == [address], f"opened {opened}, expected [{address!r}]")
    t.check(f"GoToURL {address}" in demo.event_lines(),
            f"GoToURL was not raised first: {demo.event_lines()}")


def test_host_that_replaces_the_address_opens_the_replacement(t):
    stored, replacement = "http://www.example.test/stored", "http://www.example.test/replaced"
    demo = Demo(t, "replace", properties("Replaced link", stored), "--replace", replacement)
    opened = e2e.opened_after(demo.press)
    t.check(opened == [replacement], f"opened {opened}, expected [{replacement!r}]")


def test_host_that_cancels_opens_nothing(t):
    address = "http://www.example.test/cancelled"
    demo = Demo(t, "cancel", properties("Cancelled link", address), "--cancel")
    # Three seconds: long enough for the probe to have run had anything been opened.
    opened = e2e.opened_after(demo.press, wait=3)
    t.check(f"GoToURL {address}" in demo.event_lines(), "the press raised no GoToURL")
    t.check(opened == [], f"opened {opened} though the host cancelled")


def test_secondary_press_opens_nothing(t):
    demo = Demo(t, "secondary", properties("Secondary press", "http://www.example.test/2nd"))
    opened = e2e.opened_after(lambda: demo.press(button=3), wait=3)
    t.check(not opened and not demo.event_lines()[1:],
            f"a right press did something: {opened}, {demo.event_lines()[1:]}")


def test_label_is_blue_underlined_text_at_the_top_left(t):
    demo = Demo(t, "look", properties("Underlined blue link", "http://x.test/"))
    left, top, right, bottom = demo.label()
    width, height = right - left, bottom - top
    t.check(width >= 40 and 8 <= height <= 30, f"label of {width} x {height} does not fit its text")
    # The demo puts the control 10 px into its window at (100, 100).
    t.check((left, top) == (110, 110), f"label at {left}, {top}, not at the control's "
                                       "top-left (110, 110)")
    shot = t.display.screenshot()
    rows = [[shot.pixel(x, y) for x in range(left, right)] for y in range(top, bottom)]
    blue = [[px == BLUE for px in row] for row in rows]
    t.check(any(map(any, blue)), "no pure blue pixel in the label")
    face = shot.pixel(left + 200, bottom + 20)
    others = {px for row in rows for px in row if px != BLUE}
    # Opaque on the button face, and no smoothing: two colours only.
    t.check(others <= {face} and face != BLUE,
            f"label shows colours other than blue and the face {face}: {sorted(others)[:6]}")
    # The underline: a row blue across nearly the whole label, below the middle.
    longest = max(range(len(blue)), key=lambda i: sum(blue[i]))
    t.check(sum(blue[longest]) >= 0.9 * width and longest >= height // 2,
            f"no underline: the bluest row, {longest}, has {sum(blue[longest])} of {width} "
            "pixels blue")
    first_col = min(x for row in blue for x, b in enumerate(row) if b)
    t.check(first_col <= 2, f"the text starts {first_col} px into the label")
    outside = sum(1 for y in range(top, top + 240) for x in range(left, left + 320)
                  if not (x <= right and y <= bottom) and shot.pixel(x, y) == BLUE)
    t.check(not outside, f"{outside} blue pixels outside the label")


def test_link_cursor_shows_over_the_label_only(t):
    demo = Demo(t, "cursor", properties("Point here", "http://x.test/"))
    left, top, right, bottom = demo.label()
    link = e2e.read_cursor(ROOT / "assets" / "link.cur")
    t.display.x("xdotool", "mousemove", str(left + 3), str(top + 3))
    time.sleep(0.5)
    shape = e2e.pointer_shape(t.display.name)
    t.check(shape.key() == link,
            f"over the label: {shape}; expected link.cur, hot spot {link[2:4]}")
    t.check(shape.colours == {0xFF000000, 0xFFFFFFFF},
            f"the link cursor is not black and white: {sorted(shape.colours)[:4]}")
    t.display.x("xdotool", "mousemove", str(left + 200), str(top + 120))
    time.sleep(0.5)
    t.check(e2e.pointer_shape(t.display.name).key() != link,
            "the link cursor shows over the bare surface too")


def test_host_saves_the_properties_it_loaded(t):
    demo = Demo(t, "save", 'Begin URLLink\n   Text = "Saved ""link"""\n   URL = http://s.test/\n'
                           "   ShowToolTip = 1\nEnd\n", "--save")
    demo.label()
    wid = t.find_windows("URLLink Demo")[0]
    t.display.x("xdotool", "windowfocus", "--sync", wid)
    time.sleep(0.3)
    t.display.x("xdotool", "key", "alt+F4")   # a close request
    t.check(demo.proc.wait_exit(10), "the demo did not close")
    saved = demo.props.read_bytes()
    t.check(saved == b'Begin URLLink\r\nText = "Saved ""link"""\r\nURL = "http://s.test/"\r\n'
                     b"ShowToolTip = -1  'True\r\nEnd\r\n", f"saved {saved!r}")


def shown_popups(t):
    """The demo's shown windows other than its main window: its tooltip."""
    ids = t.display.x("xdotool", "search", "--onlyvisible", "--class", "urllinkdemo",
                      check=False).split()
    main = t.find_windows("URLLink Demo")
    infos = [(wid, t.window_info(wid)) for wid in ids if wid not in main]
    return [wid for wid, i in infos if i and i["map"] == "IsViewable" and i["w"] > 1 and i["h"] > 1]


def test_tooltip_shows_only_while_show_tooltip_is_on(t):
    for tooltip, expected in (("-1  'True", True), ("0   'False", False)):
        demo = Demo(t, "tooltip", properties("Hover here", "http://tip.test/x", tooltip))
        left, top, right, bottom = demo.label()
        t.display.x("xdotool", "mousemove", str(left + 2), str(top + 2))
        time.sleep(0.3)
        t.display.x("xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2))
        shown = bool(e2e.wait_until(lambda: shown_popups(t), 4 if expected else 2.5, 0.1))
        t.check(shown == expected, f"with ShowToolTip = {tooltip.split()[0]} a tooltip "
                                   f"{'did not show' if expected else 'showed'}")
        t.cleanup()
        t.display.x("xdotool", "mousemove", "1000", "700")


def test_handler_that_throws_ends_the_program_with_a_box(t):
    """A GoToURL handler that throws what no std::exception is: nothing is
    opened, one error box in front and on top (MB_OK | MB_ICONERROR |
    MB_SETFOREGROUND | MB_TOPMOST) says the control's run-time error, and
    after OK the process ends with exit code 1."""
    t.display.reg_add(r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d",
                      "user32.MessageBoxA")
    demo = Demo(t, "throw", properties("Throwing link", "http://www.example.test/throw"),
                "--throw", env=dict(t.display.env, WINEDEBUG="+relay"))
    trace = e2e.Trace(demo.proc.log)
    opened = e2e.opened_after(demo.press, wait=3)
    boxes = e2e.wait_until(lambda: trace.calls("user32.MessageBoxA"), 10, 0.2)
    t.check(boxes and boxes[0].arg(3) == 0x50010 and "Run-time error '51':\\n\\nUnknown error "
            "in the URLLink control" in boxes[0].args,
            f"the box's calls {[b.args for b in boxes or []]}; expected type 0x50010")
    t.probe("dismiss-box", name="lifeprobe")
    t.check(demo.proc.wait_exit(5), "the demo still runs 5 s after the box was dismissed")
    t.check(demo.proc.popen.returncode == 1, f"the demo ended with code {demo.proc.popen.returncode}")
    t.check(opened == [] and len(trace.calls("user32.MessageBoxA")) == 1,
            f"opened {opened}; {len(trace.calls('user32.MessageBoxA'))} boxes")
