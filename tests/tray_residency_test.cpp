// The main window in the notification area: its icon at startup, the answer
// to a released button over it, and the ways of ending.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/veltrane2.h"
#include "fake/fake_desktop.h"

namespace {

using ::testing::ElementsAre;
using app::ControlId;

class Residency : public ::testing::Test {
 protected:
  void Start() {
    veltrane.Start();
    hidden = veltrane.SystemTray()->WindowHandle();
    desktop.log.Clear();
  }
  platform::Point Centre(ControlId id) const {
    const platform::Rect r = veltrane.GetForm().Get(id).rect;
    return {r.x + r.width / 2, r.y + r.height / 2};
  }
  const fake::TrayIcon* Icon() const { return desktop.shell.Icon(hidden); }
  std::string Nim(std::uint32_t message) const {
    return fake::Format("Shell_NotifyIconA", message, static_cast<std::uint32_t>(hidden), 0u);
  }

  fake::FakeDesktop desktop;
  app::Veltrane2 veltrane{desktop, desktop.window};
  platform::Handle hidden = 0;
};

TEST_F(Residency, StartupShapesTheWindowThenAddsTheIconThenDisplaysTheWindow) {
  veltrane.Start();
  hidden = veltrane.SystemTray()->WindowHandle();
  EXPECT_THAT(desktop.log.Only({"SetWindowRgn", "RegisterClassA", "CreateWindowExA",
                                "Shell_NotifyIconA", "Hide", "Show"}),
              ElementsAre(testing::StartsWith("SetWindowRgn("),
                          "RegisterClassA(\"VB InTray Class\")",
                          testing::HasSubstr("\"VB InTray Hidden Window\""), Nim(0), "Hide()",
                          "Show()"));
  ASSERT_NE(Icon(), nullptr);
  EXPECT_EQ(Icon()->tip, "Veltrane");
  EXPECT_EQ(Icon()->hIcon, fake::FakeWindowLayer::kIcon);
  EXPECT_TRUE(desktop.window.visible);
  EXPECT_EQ(veltrane.SystemTray()->RefCount(), 1u);
}

TEST_F(Residency, AReleasedButtonOverTheIconShowsTheWindowNormalAndInFront) {
  Start();
  for (std::uint32_t release : {platform::WM_LBUTTONUP, platform::WM_RBUTTONUP,
                                platform::WM_MBUTTONUP}) {
    desktop.window.Click(Centre(ControlId::minbutarea));
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
  desktop.window.Click(Centre(ControlId::minarea));
  for (std::uint32_t message : {platform::WM_MOUSEMOVE, platform::WM_LBUTTONDOWN,
                                platform::WM_LBUTTONDBLCLK, platform::WM_RBUTTONDOWN})
    desktop.IconMouse(hidden, message);
  EXPECT_FALSE(desktop.window.visible);
}

TEST_F(Residency, AWindowThatCannotComeToTheFrontIsStillShown) {
  Start();
  desktop.window.Click(Centre(ControlId::minarea));
  desktop.faults.Inject("SetForegroundWindow", fake::Fault::FailResult);
  desktop.IconMouse(hidden, platform::WM_LBUTTONUP);
  EXPECT_TRUE(desktop.window.visible);
}

TEST_F(Residency, ACloseRequestRemovesTheIconThenTearsTheTrayObjectDown) {
  Start();
  desktop.window.CloseRequest();
  EXPECT_THAT(desktop.log.Only({"Shell_NotifyIconA", "Destroy", "SendMessageA",
                                "UnregisterClassA", "SwapMouseButton", "EndProcess"}),
              ElementsAre(Nim(2), "Destroy()", Nim(2),
                          fake::Format("SendMessageA", hidden, platform::WM_CLOSE, 0, 0),
                          "UnregisterClassA(\"VB InTray Class\",4194304)",
                          "SwapMouseButton(0)"));
  EXPECT_EQ(Icon(), nullptr);
  EXPECT_FALSE(veltrane.SystemTray());
  EXPECT_TRUE(desktop.windows.windows.empty());
  EXPECT_TRUE(desktop.windows.classes.empty());
}

TEST_F(Residency, ExitRemovesTheIconAndSetsTheButtonsBackThenEndsAtOnce) {
  for (ControlId id : {ControlId::hitarea, ControlId::xarea}) {
    fake::FakeDesktop d;
    app::Veltrane2 v(d, d.window);
    v.Start();
    const platform::Handle h = v.SystemTray()->WindowHandle();
    d.log.Clear();
    const platform::Rect r = v.GetForm().Get(id).rect;
    EXPECT_THROW(d.window.Click({r.x + r.width / 2, r.y + r.height / 2}), fake::ProcessEnded);
    EXPECT_THAT(d.log.Entries(),
                ElementsAre(fake::Format("Shell_NotifyIconA", 2, static_cast<std::uint32_t>(h), 0u),
                            "SwapMouseButton(0)", "EndProcess()"));
    EXPECT_EQ(d.shell.Icon(h), nullptr);
  }
}

TEST_F(Residency, ATaskbarRestartBringsTheIconBackWhetherTheWindowIsShownOrHidden) {
  Start();
  for (bool hideFirst : {false, true}) {
    if (hideFirst) desktop.window.Click(Centre(ControlId::minbutarea));
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
  ASSERT_EQ(desktop.windows.messageBoxes.size(), 1u);
  EXPECT_EQ(desktop.windows.messageBoxes[0].caption, "Veltrane");
}

}  // namespace
