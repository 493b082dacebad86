// The main window in the notification area: its icon at startup, the answer
// to a released button over it, and the ways of ending.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "started_window.h"

namespace {

using ::testing::ElementsAre;
using app::ControlId;

class Residency : public ::testing::Test, protected harness::StartedWindow {
 protected:
  void Start() {
    StartedWindow::Start();
    hidden = Hidden();
  }
  const fake::TrayIcon* Icon() const { return desktop.shell.Icon(hidden); }
  std::string Nim(std::uint32_t message) const {
    return fake::Format("Shell_NotifyIconA", message, static_cast<std::uint32_t>(hidden), 0u);
  }
  // The calls that show a close's steps, and what a close makes of them: the
  // unload step, the window destroyed, the final steps, the buttons set back.
  std::vector<std::string> CloseCalls() const {
    return desktop.log.Only({"Shell_NotifyIconA", "Destroy", "SendMessageA", "UnregisterClassA",
                             "SwapMouseButton", "EndProcess"});
  }
  std::vector<std::string> ClosedOnce() const {
    return {Nim(2), "Destroy()", Nim(2),
            fake::Format("SendMessageA", hidden, platform::WM_CLOSE, 0, 0),
            "UnregisterClassA(\"VB InTray Class\",4194304)", "SwapMouseButton(0)"};
  }

  platform::Handle hidden = 0;
};

TEST_F(Residency, StartupShapesTheWindowThenAddsTheIconThenDisplaysTheWindow) {
  veltrane.Start();
  hidden = Hidden();
  EXPECT_THAT(desktop.log.Only({"SetWindowRgn", "RegisterClassA", "CreateWindowExA",
                                "Shell_NotifyIconA", "Hide", "Show"}),
              ElementsAre(testing::StartsWith("SetWindowRgn("),
                          "RegisterClassA(\"VB InTray Class\")",
                          testing::HasSubstr("\"VB InTray Hidden Window\""), Nim(0), "Hide()",
                          "Show()"));
  ASSERT_NE(Icon(), nullptr);
  EXPECT_EQ(Icon()->tip, "Veltrane");
  EXPECT_EQ(Icon()->hIcon, fake::FakeWindowLayer::kSmallIcon);
  EXPECT_TRUE(desktop.window.visible);
  EXPECT_EQ(veltrane.SystemTray()->RefCount(), 1u);
}

TEST_F(Residency, AReleasedButtonOverTheIconShowsTheWindowNormalAndInFront) {
  Start();
  for (std::uint32_t release : {platform::WM_LBUTTONUP, platform::WM_RBUTTONUP,
                                platform::WM_MBUTTONUP}) {
    desktop.window.Click(At(ControlId::minbutarea));
    ASSERT_FALSE(desktop.window.visible);
    desktop.log.Clear();
    ASSERT_TRUE(desktop.IconMouse(hidden, release));
    EXPECT_THAT(desktop.log.Only({"SetStateNormal", "Show", "SetForegroundWindow"}),
                ElementsAre("SetStateNormal()", "Show()", "SetForegroundWindow(4096)"))
        << "release " << release;
    EXPECT_TRUE(desktop.window.visible);
    EXPECT_EQ(desktop.windows.foreground, desktop.window.handle);
  }
}

TEST_F(Residency, PressesMovesAndDoubleClicksOverTheIconShowNothing) {
  Start();
  desktop.window.Click(At(ControlId::minarea));
  for (std::uint32_t message : {platform::WM_MOUSEMOVE, platform::WM_LBUTTONDOWN,
                                platform::WM_LBUTTONDBLCLK, platform::WM_RBUTTONDOWN})
    desktop.IconMouse(hidden, message);
  EXPECT_FALSE(desktop.window.visible);
}

TEST_F(Residency, AWindowThatCannotComeToTheFrontIsStillShown) {
  Start();
  desktop.window.Click(At(ControlId::minarea));
  desktop.faults.Inject("SetForegroundWindow", fake::Fault::FailResult);
  desktop.IconMouse(hidden, platform::WM_LBUTTONUP);
  EXPECT_TRUE(desktop.window.visible);
}

// The close destroys the main window and lets the loop end: no EndProcess.
TEST_F(Residency, ACloseRequestRemovesTheIconThenTearsTheTrayObjectDown) {
  Start();
  desktop.window.CloseRequest();
  EXPECT_EQ(CloseCalls(), ClosedOnce());
  EXPECT_TRUE(desktop.window.destroyed);
  EXPECT_FALSE(desktop.window.ended);
  EXPECT_EQ(Icon(), nullptr);
  EXPECT_FALSE(veltrane.SystemTray());
  EXPECT_TRUE(desktop.windows.windows.empty());
  EXPECT_TRUE(desktop.windows.classes.empty());
}

// Exit and the red dot end at once: no Destroy, nothing after the end.
TEST_F(Residency, ExitRemovesTheIconAndSetsTheButtonsBackThenEndsAtOnce) {
  for (ControlId id : {ControlId::hitarea, ControlId::xarea}) {
    harness::StartedWindow w;
    w.Start();
    const platform::Handle h = w.Hidden();
    EXPECT_THROW(w.desktop.window.Click(w.At(id)), fake::ProcessEnded);
    EXPECT_THAT(w.desktop.log.Entries(),
                ElementsAre("SetCapture(4096)", "ReleaseCapture()",
                            fake::Format("Shell_NotifyIconA", 2, static_cast<std::uint32_t>(h), 0u),
                            "SwapMouseButton(0)", "EndProcess(0)"));
    EXPECT_EQ(w.desktop.shell.Icon(h), nullptr);
  }
}

TEST_F(Residency, ATaskbarRestartBringsTheIconBackWhetherTheWindowIsShownOrHidden) {
  Start();
  for (bool hideFirst : {false, true}) {
    if (hideFirst) desktop.window.Click(At(ControlId::minbutarea));
    desktop.RestartTaskbar();
    ASSERT_NE(Icon(), nullptr) << (hideFirst ? "hidden" : "shown");
    EXPECT_EQ(Icon()->tip, "Veltrane");
    ASSERT_TRUE(desktop.IconMouse(hidden, platform::WM_LBUTTONUP));
    EXPECT_TRUE(desktop.window.visible);
  }
  EXPECT_EQ(veltrane.SystemTray()->RefCount(), 1u);
}

TEST_F(Residency, AnIconRefusedAtStartIsAddedWhenTheTaskbarAnnouncesItself) {
  desktop.StopTaskbar();
  Start();
  EXPECT_EQ(Icon(), nullptr);
  EXPECT_TRUE(desktop.window.visible);  // startup goes on
  desktop.RestartTaskbar();
  ASSERT_NE(Icon(), nullptr);
  EXPECT_EQ(Icon()->tip, "Veltrane");
}

TEST_F(Residency, AnErrorInTheIconsAnswerTakesTheUntrappedErrorPath) {
  Start();
  desktop.faults.Inject("Show", fake::Fault::Raise);
  EXPECT_THROW(desktop.IconMouse(hidden, platform::WM_LBUTTONUP), fake::ProcessEnded);
  ExpectOneBox(harness::kInvalidCallBox);
}

}  // namespace

namespace {

// Logoff and shutdown: WM_ENDSESSION is the last word before the process may
// be ended, so the whole close has run when it returns.
TEST_F(Residency, ASessionEndRunsTheCloseBeforeReturning) {
  Start();
  desktop.keyboard.Press(platform::VK_CONTROL);
  desktop.window.Tick();  // the buttons turned, as a Ctrl press leaves them for a tick
  ASSERT_TRUE(desktop.mouse.swapped);
  desktop.log.Clear();
  desktop.window.EndSession(true);
  EXPECT_EQ(CloseCalls(), ClosedOnce());
  EXPECT_EQ(Icon(), nullptr);
  EXPECT_FALSE(desktop.mouse.swapped);
  EXPECT_FALSE(veltrane.SystemTray());
  EXPECT_TRUE(desktop.windows.windows.empty());
}

TEST_F(Residency, ASessionEndThatIsCalledOffChangesNothing) {
  Start();
  desktop.window.EndSession(false);
  EXPECT_TRUE(desktop.log.Entries().empty());
  ASSERT_NE(Icon(), nullptr);
  ASSERT_TRUE(desktop.IconMouse(hidden, platform::WM_LBUTTONUP));
  desktop.window.Tick();
  EXPECT_FALSE(desktop.log.Only({"GetAsyncKeyState"}).empty());
}

// Ways of ending: a close request, a session end, Exit, the red dot.
enum class Ending { Close, SessionEnd, Exit, RedDot };

const char* const kEndingNames[] = {"Close", "SessionEnd", "Exit", "RedDot"};
const char* EndingName(Ending ending) { return kEndingNames[static_cast<int>(ending)]; }

// A second ending that arrives while the first waits on the shell's removal
// of the icon (Windows delivers sent messages during that call) does nothing.
class SecondEnding : public Residency,
                     public ::testing::WithParamInterface<std::tuple<Ending, Ending>> {
 protected:
  void Begin(Ending ending) {
    switch (ending) {
      case Ending::Close: desktop.window.CloseRequest(); break;
      case Ending::SessionEnd: desktop.window.EndSession(true); break;
      case Ending::Exit: desktop.window.Click(At(ControlId::hitarea)); break;
      case Ending::RedDot: desktop.window.Click(At(ControlId::xarea)); break;
    }
  }
  static bool EndsAtOnce(Ending ending) { return ending == Ending::Exit || ending == Ending::RedDot; }
};

TEST_P(SecondEnding, ArrivingDuringTheFirstDoesNothingMore) {
  const auto [first, second] = GetParam();
  Start();
  desktop.shell.sentWhileWaiting[platform::NIM_DELETE] = [&, second = second] { Begin(second); };
  if (EndsAtOnce(first)) {
    EXPECT_THROW(Begin(first), fake::ProcessEnded);
    EXPECT_THAT(desktop.log.Entries(),
                ElementsAre("SetCapture(4096)", "ReleaseCapture()", Nim(2), "SwapMouseButton(0)",
                            "EndProcess(0)"));
  } else {
    Begin(first);
    EXPECT_EQ(CloseCalls(), ClosedOnce());
    EXPECT_FALSE(veltrane.SystemTray());
  }
  EXPECT_TRUE(desktop.shell.sentWhileWaiting.empty()) << "the second ending was never sent";
  EXPECT_EQ(Icon(), nullptr);
  EXPECT_TRUE(desktop.windows.messageBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryPair, SecondEnding,
    ::testing::Combine(::testing::Values(Ending::Close, Ending::SessionEnd, Ending::Exit,
                                         Ending::RedDot),
                       ::testing::Values(Ending::Close, Ending::SessionEnd, Ending::Exit,
                                         Ending::RedDot)),
    [](const auto& info) {
      return std::string(EndingName(std::get<0>(info.param))) + "Then" +
             EndingName(std::get<1>(info.param));
    });

// At a busy logon the shell can refuse the first add on its own time-out
// while the taskbar runs: no "TaskbarCreated" comes, so the ticks ask again,
// every 2 s for a minute, a modify first in case the add took effect late.
TEST_F(Residency, AnIconTheShellRefusedIsAskedForAgainUntilItIsTakenOrAMinuteHasPassed) {
  const struct {
    int refused;
    bool tookEffect;
    unsigned tries;   // of the ticks: one a modify and an add, the last perhaps a modify alone
  } cases[] = {{1000, false, 30}, {3, false, 3}, {1, true, 1}, {0, false, 0}};
  for (const auto& c : cases) {
    harness::StartedWindow w;
    fake::FakeDesktop& d = w.desktop;
    d.shell.addsTimingOut = c.refused;
    d.shell.timedOutAddsTakeEffect = c.tookEffect;
    w.veltrane.Start();
    const auto h = static_cast<std::uint32_t>(w.Hidden());
    for (int tick = 0; tick < 1000; ++tick) {   // 100 s of ticks 100 ms apart
      d.tickCount += 100;
      d.window.Tick();
    }
    std::vector<std::string> expected{fake::Format("Shell_NotifyIconA", 0, h, 0u)};
    for (unsigned i = 0; i < c.tries; ++i) {
      expected.push_back(fake::Format("Shell_NotifyIconA", 1, h, 0u));
      if (!(c.tookEffect && i == c.tries - 1))
        expected.push_back(fake::Format("Shell_NotifyIconA", 0, h, 0u));
    }
    EXPECT_EQ(d.log.Only({"Shell_NotifyIconA"}), expected) << c.refused << " adds refused";
    EXPECT_EQ(d.shell.Icon(h) != nullptr, c.refused < 30 || c.tookEffect);
    // Once done, the ticks ask nothing more, not even the time.
    EXPECT_EQ(d.log.Only({"GetTickCount"}).size(), c.refused ? 1u + 20u * c.tries : 0u);
    EXPECT_EQ(w.veltrane.SystemTray()->InTray(), -1);
  }
}

}  // namespace
