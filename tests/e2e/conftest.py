"""The end-to-end suites under pytest: each test file on a desktop and a Wine
prefix of its own (its PREFIX, SCREEN), against its PROGRAM at the word size
asked for (--arch 32|64); each test with a fresh Session. A 32-bit run where
32-bit programs cannot run says so in one line and fails."""

import os
import time
import types
from pathlib import Path

import pytest

import harness as e2e


def pytest_addoption(parser):
    parser.addoption("--arch", type=int, choices=(32, 64), default=32,
                     help="the build under test (default: 32, the product)")
    parser.addoption("--exe", help="a program other than the build's; its own word size "
                                   "picks the Wine loader")
    parser.addoption("--skin", default=str(e2e.ROOT / "assets" / "skin.bmp"),
                     help="the skin picture the window must show")


def pytest_configure(config):
    config.veltrane_run = {}     # what scripts/test's summary needs of this run
    config.veltrane_notes = []   # figures the tests measured, shown at the end


@pytest.fixture(scope="module")
def display(request):
    """The test file's desktop and prefix, with the probes built and the url
    probe registered as the program that opens http addresses."""
    config, module = request.config, request.module
    exe = config.getoption("--exe")
    build = e2e.BUILDS[e2e.pe_bits(exe) if exe else config.getoption("--arch")]
    opts = types.SimpleNamespace(skin=config.getoption("--skin"), exe=str(
        Path(exe).resolve() if exe else build.exe(getattr(module, "PROGRAM", "Veltrane.exe"))))
    started = time.monotonic()
    shown = e2e.Display(prefix=getattr(module, "PREFIX", None),
                        screen=getattr(module, "SCREEN", None))
    try:
        shown.build, shown.opts = build, opts
        wine = e2e.wine_version(e2e.BUILDS[64].wine)   # the 32-bit loader may not start
        config.veltrane_run.update(wine=wine, bits=build.bits)
        if build.bits == 32 and shown.no_32bit:
            config.veltrane_run["not_run"] = shown.no_32bit
            pytest.exit(f"THE 32-BIT END-TO-END TESTS DID NOT RUN: {shown.no_32bit}", 1)
        if not Path(opts.exe).is_file():
            pytest.exit(f"{opts.exe} not found; build it first (cmake --preset {build.preset} "
                        f"&& cmake --build --preset {build.preset})", 1)
        e2e.build_probes(build)
        e2e.register_url_probe(shown)
        emulated = e2e.i386_emulation() if build.bits == 32 else None
        config.veltrane_notes.append((
            f"{Path(module.__file__).name}: {opts.exe} ({build.bits}-bit, {wine}"
            f"{', ' + emulated if emulated else ''}) on {shown.name} with IceWM, "
            f"set up in {time.monotonic() - started:.1f} s", None, None))
        yield shown
    finally:
        shown.close()


@pytest.fixture
def t(display, request):
    """A fresh Session; what it started is stopped after the test."""
    session = e2e.Session(display, display.opts, request.node.name[len("test_"):])
    started = time.monotonic()
    try:
        yield session
    finally:
        session.cleanup()
        request.config.veltrane_notes.append(
            (request.node.name, session.notes, time.monotonic() - started))


def pytest_terminal_summary(terminalreporter, config):
    for name, notes, seconds in config.veltrane_notes:   # a file's desktop, then its tests
        terminalreporter.write_line(name if notes is None else
                                    f"{name} ({seconds:.1f} s): {'; '.join(notes) or 'ok'}")


def pytest_sessionfinish(session):
    """Adds this run's result to the file scripts/test gathers its summary
    from: Wine version, word size, passed, failed, skipped, why it did not run."""
    run, results = session.config.veltrane_run, os.environ.get("VELTRANE_RESULTS")
    if not results or "bits" not in run:
        return
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    passed = len(stats.get("passed", []))
    failed = len(stats.get("failed", [])) + len(stats.get("error", []))
    with open(results, "a") as f:
        f.write(f"{run['wine']}\t{run['bits']}\t{passed}\t{failed}\t"
                f"{len(stats.get('skipped', []))}\t{run.get('not_run', '')}\n")
