// The main window: layout, routing of the pointer, painting order, startup,
// commands, the untrapped-error path, the user's button assignment, and one
// copy of the program per session.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "app/one_copy.h"
#include "platform/constants.h"
#include "platform/untrapped_error.h"
#include "fake/recording_canvas.h"
#include "started_window.h"
#include "tray/modInTray.h"

namespace {

using ::testing::ElementsAre;
using app::ControlId;
using harness::Centre;
using platform::MouseAction;
using platform::Picture;
using platform::Point;
using platform::Pointer;
using platform::Rect;

TEST(Layout, At96PixelsPerInchTheControlsSitWhereTheSkinDrawsThem) {
  const app::Form form(96, 96);
  EXPECT_EQ(form.Get(ControlId::minbutarea).rect, (Rect{268, 286, 87, 23}));
  EXPECT_EQ(form.Get(ControlId::minbutimg).rect, (Rect{262, 283, 98, 28}));
  EXPECT_EQ(form.Get(ControlId::minarea).rect, (Rect{30, 4, 15, 15}));
  EXPECT_EQ(form.Get(ControlId::minimg).rect, (Rect{32, 10, 11, 7}));
  EXPECT_EQ(form.Get(ControlId::xarea).rect, (Rect{8, 2, 17, 19}));
  EXPECT_EQ(form.Get(ControlId::ximg).rect, (Rect{9, 6, 13, 11}));
  EXPECT_EQ(form.Get(ControlId::hitarea).rect, (Rect{372, 284, 95, 27}));
  EXPECT_EQ(form.Get(ControlId::overimg).rect, (Rect{371, 284, 96, 27}));
  EXPECT_EQ(form.Get(ControlId::Image1).rect, (Rect{124, 222, 215, 19}));
  EXPECT_EQ(app::ToPixels(app::kWindowUnits, 96, 96), (Rect{549, 436, 502, 328}));
}

TEST(Layout, AtDenserScreensAreasGrowWhilePicturesKeepTheirSize) {
  const app::Form form(120, 120);
  EXPECT_EQ(form.Get(ControlId::hitarea).rect, (Rect{465, 355, 119, 34}));
  EXPECT_EQ(form.Get(ControlId::overimg).rect, (Rect{464, 355, 96, 27}));
  EXPECT_EQ(app::Form(240, 240).Get(ControlId::overimg).rect, (Rect{928, 710, 96, 27}));
  EXPECT_EQ(app::ToPixels(app::kWindowUnits, 120, 120), (Rect{686, 545, 628, 410}));
  // Each axis follows its own density.
  EXPECT_EQ(app::ToPixels(app::kWindowUnits, 120, 96), (Rect{686, 436, 628, 328}));
}

TEST(Routing, APointGoesToTheTopmostShownControl) {
  app::Form form(96, 96);
  const Point overMargin{371, 290};  // inside overimg, left of hitarea
  EXPECT_EQ(form.ControlAt(overMargin), nullptr);  // overimg hidden: bare surface
  form.SetVisible(ControlId::overimg, true);
  ASSERT_NE(form.ControlAt(overMargin), nullptr);
  EXPECT_EQ(form.ControlAt(overMargin)->id, ControlId::overimg);
  // Inside the hot area the hot area stays on top of its highlight.
  EXPECT_EQ(form.ControlAt({400, 295})->id, ControlId::hitarea);
  EXPECT_EQ(form.ControlAt({0, 300}), nullptr);
}

TEST(Routing, ThePointerIsTheHandOverHotAndLinkAreasOnly) {
  app::Form form(96, 96);
  for (ControlId id : {ControlId::minbutarea, ControlId::minarea, ControlId::xarea,
                       ControlId::hitarea, ControlId::Image1})
    EXPECT_EQ(form.PointerAt(Centre(form, id)), Pointer::Hand);
  form.SetVisible(ControlId::overimg, true);
  EXPECT_EQ(form.PointerAt({371, 290}), Pointer::Arrow);  // highlight margin
  EXPECT_EQ(form.PointerAt({5, 300}), Pointer::Arrow);    // bare surface
}

TEST(Painting, BackgroundThenSkinThenShownPicturesFromTheBottomUp) {
  app::Form form(96, 96);
  form.SetVisible(ControlId::overimg, true);
  form.SetVisible(ControlId::minbutimg, true);
  fake::RecordingCanvas canvas;
  form.Paint(canvas);
  EXPECT_THAT(canvas.drawn, ElementsAre(fake::Drawn{Picture::None, {0, 0}},
                                        fake::Drawn{Picture::Skin, {0, 0}},
                                        fake::Drawn{Picture::OverImg, {371, 284}},
                                        fake::Drawn{Picture::MinButImg, {262, 283}}));
}

class MainWindow : public ::testing::Test, protected harness::StartedWindow {
 protected:
  // Runs an action that is expected to end the process.
  template <typename Action>
  void ExpectEnd(Action action) {
    EXPECT_THROW(action(), fake::ProcessEnded);
    EXPECT_TRUE(desktop.window.ended);
  }
};

TEST_F(MainWindow, StartupCreatesFromTheLayoutShapesTheWindowDisplaysItThenRunsTheLoop) {
  veltrane.Run();
  EXPECT_THAT(desktop.log.Only({"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey",
                                "GetSystemMetrics", "CreateWindow", "StartTimer", "CreateRectRgn",
                                "SetWindowRgn", "Show", "RunMessageLoop"}),
              ElementsAre(fake::Format("RegOpenKeyExA", platform::HKEY_CURRENT_USER,
                                       "Control Panel\\Mouse", 0, platform::KEY_QUERY_VALUE),
                          "RegQueryValueExA(28672,\"SwapMouseButtons\",16)", "RegCloseKey(28672)",
                          "GetSystemMetrics(23)",
                          "CreateWindow(549,436,502,328,\"Veltrane\",\"Veltrane2\")",
                          "StartTimer(3)", "CreateRectRgn(0,0,0,0)", "CreateRectRgn(0,0,0,0)",
                          "CreateRectRgn(60,0,416,131)", "CreateRectRgn(0,49,183,328)",
                          "CreateRectRgn(151,55,501,328)",
                          fake::Format("SetWindowRgn", desktop.window.handle,
                                       veltrane.SkinRegion(), 1),
                          "Show()", "RunMessageLoop()"));
  EXPECT_TRUE(desktop.window.visible);
  // The window owns the outline; the program keeps no other region alive.
  EXPECT_EQ(desktop.gdi.LiveObjects(), 1u);
  EXPECT_TRUE(desktop.gdi.OwnedByWindow(veltrane.SkinRegion()));
}

// 1920 x 1080 at 150 % gives a program without DPI awareness 1280 x 720;
// there, and wherever else the window does not fit its monitor's work area,
// it moves in by the least amount, before it is created.
TEST(WindowPlacement, TheWindowMovesIntoTheWorkAreaOfItsMonitorByTheLeastAmount) {
  const struct {
    Rect work;
    Point at;
  } cases[] = {
      {{0, 0, 1920, 1040}, {549, 436}},    // fits: the layout's place
      {{0, 0, 1280, 720}, {549, 392}},     // bottom cut
      {{0, 0, 1024, 768}, {522, 436}},     // right cut
      {{0, 0, 1024, 600}, {522, 272}},     // both
      {{0, 0, 1366, 728}, {549, 400}},     // 1366 x 768 above a 40-pixel taskbar
      {{600, 0, 766, 768}, {600, 436}},    // right of a bar docked left
      {{0, 20, 400, 280}, {0, 20}},        // smaller than the window: its top left
      {{}, {549, 436}},                    // no work area known: the layout's place
  };
  for (const auto& c : cases) {
    harness::StartedWindow w;
    w.desktop.window.workArea = c.work;
    w.Start();
    EXPECT_EQ(w.desktop.window.desc.bounds, (Rect{c.at.x, c.at.y, 502, 328}))
        << "work area " << c.work.width << " x " << c.work.height;
  }
}

TEST_F(MainWindow, AtADenseScreenTheWindowItsControlsAndItsOutlineGrowAxisByAxis) {
  desktop.gdi.logPixelsX = 120;
  desktop.gdi.logPixelsY = 96;
  veltrane.Start();
  EXPECT_EQ(desktop.window.desc.bounds, (Rect{686, 436, 628, 328}));
  EXPECT_EQ(veltrane.GetForm().Get(ControlId::hitarea).rect, (Rect{465, 284, 119, 27}));
  EXPECT_EQ(desktop.log.Only({"CreateRoundRectRgn"}).front(),
            "CreateRoundRectRgn(-15,-9,105,89,90,90)");
}

TEST_F(MainWindow, HideCommandsHideTheWindowAndPollingGoesOn) {
  for (ControlId id : {ControlId::minarea, ControlId::minbutarea}) {
    harness::StartedWindow w;
    w.Start();
    w.desktop.window.Click(w.At(id));
    EXPECT_FALSE(w.desktop.window.visible);
    w.desktop.keyboard.Press(124);
    w.desktop.window.Tick();
    EXPECT_EQ(w.desktop.keyboard.injected.size(), 2u) << "ticks while hidden";
  }
}

TEST_F(MainWindow, TheWebLinkOpensTheHomePageAndIgnoresTheResult) {
  Start();
  desktop.shell.executeResult = 2;  // no program registered: nothing shows
  EXPECT_EQ(desktop.window.PointerAt(At(ControlId::Image1)), Pointer::Hand);
  desktop.window.Click(At(ControlId::Image1));
  // The pointer is let go before the shell call, which can take seconds.
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("SetCapture(4096)", "ReleaseCapture()",
                          "ShellExecuteA(0,\"open\",\"http://www.veltrane.example/\",NULL,NULL,1)"));
  EXPECT_TRUE(desktop.windows.messageBoxes.empty());
}

TEST_F(MainWindow, AClickNeedsPrimaryPressAndReleaseOverTheSameControl) {
  Start();
  // Pressed on the hot area, released off it and outside the window, which
  // still hears of it: a release over it later (of a press made elsewhere) is no click.
  for (const Point off : {Point{5, 300}, Point{-40, 400}}) {
    desktop.window.Mouse(MouseAction::Down, At(ControlId::hitarea), platform::kPrimaryButton);
    desktop.window.Mouse(MouseAction::Up, off, platform::kPrimaryButton);
    desktop.window.Mouse(MouseAction::Up, At(ControlId::hitarea), platform::kPrimaryButton);
  }
  // Pressed outside, released on it.
  desktop.window.Mouse(MouseAction::Down, At(ControlId::hitarea), platform::kPrimaryButton);
  desktop.window.Mouse(MouseAction::Up, At(ControlId::minbutarea), platform::kPrimaryButton);
  // Pressed with one button, released with another.
  desktop.window.Mouse(MouseAction::Down, At(ControlId::minbutarea), platform::kSecondaryButton);
  desktop.window.Mouse(MouseAction::Up, At(ControlId::minbutarea), platform::kPrimaryButton);
  desktop.window.Mouse(MouseAction::Down, At(ControlId::minbutarea), platform::kPrimaryButton);
  desktop.window.Mouse(MouseAction::Up, At(ControlId::minbutarea), platform::kSecondaryButton);
  // Other buttons.
  desktop.window.Click(At(ControlId::minbutarea), platform::kSecondaryButton);
  desktop.window.Click(At(ControlId::minbutarea), platform::kMiddleButton);
  EXPECT_TRUE(desktop.window.visible);
  EXPECT_FALSE(desktop.window.ended);
}

TEST_F(MainWindow, APressOnAShownHighlightMarginDoesNothingWhileThatOnTheBareSurfaceDrags) {
  Start();
  const Point margin{371, 290};  // inside overimg, left of hitarea
  desktop.window.Click(margin);
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("SetCapture(4096)", "ReleaseCapture()", "SendMessageA(4096,161,2,0)"));
  // Light the Exit button: overimg now covers the margin and answers nothing.
  desktop.mouse.cursor = {920, 730};
  desktop.window.Mouse(MouseAction::Move, At(ControlId::hitarea));
  ASSERT_TRUE(Shows(ControlId::overimg));
  desktop.log.Clear();
  desktop.window.Click(margin);
  EXPECT_THAT(desktop.log.Entries(), ElementsAre("SetCapture(4096)", "ReleaseCapture()"));
  EXPECT_FALSE(desktop.window.ended);
}

TEST_F(MainWindow, ACommandThatFailsEndsTheProcessThroughTheMessageBox) {
  Start();
  desktop.faults.Inject("Hide", fake::Fault::Raise);
  desktop.faults.errorNumber = 7;
  desktop.faults.errorDescription = "Out of memory";
  ExpectEnd([&] { desktop.window.Click(At(ControlId::minarea)); });
  EXPECT_THAT(desktop.log.Only({"MessageBoxA", "EndProcess"}),
              // MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST: in front, the window perhaps hidden
              ElementsAre("MessageBoxA(0,\"Run-time error '7':\n\nOut of memory\",\"Veltrane\",327696)",
                          "EndProcess(1)"));
}

// The message box runs its own message loop: what waits in the queue is
// delivered while it is up. None of it may run a handler, a second error
// must not stack a second box, and after the box the process ends as Exit
// ends it.
TEST_F(MainWindow, AnUntrappedErrorEndsLikeExitAndNothingRunsWhileItsBoxIsUp) {
  desktop.mouse.swapped = true;  // a left-handed user
  Start();
  const platform::Handle hidden = veltrane.SystemTray()->WindowHandle();
  desktop.faults.Inject("GetCursorPos", fake::Fault::Raise);  // every hover step fails
  desktop.keyboard.Press(platform::VK_F13);
  desktop.keyboard.Press(platform::VK_CONTROL);
  desktop.window.Click(At(ControlId::minarea));  // hidden before the error
  desktop.log.Clear();
  int queuedRun = 0;
  auto queue = [&](std::function<void()> message) {
    desktop.windows.queued.push_back([&queuedRun, message] {
      ++queuedRun;
      message();
    });
  };
  queue([&] { desktop.window.Tick(); });                                  // would fail again
  queue([&] { desktop.window.Mouse(MouseAction::Move, At(ControlId::xarea)); });
  queue([&] { desktop.window.Click(At(ControlId::minbutarea)); });
  queue([&] { desktop.window.Click(At(ControlId::hitarea)); });
  queue([&] { desktop.IconMouse(hidden, platform::WM_LBUTTONUP); });
  queue([&] { desktop.window.CloseRequest(); });
  queue([&] { tray::ReportUntrappedError(std::runtime_error("another")); });
  // A later start's request: a copy that is ending must not claim to have
  // shown itself, or that start ends too and no copy is left.
  platform::LResult requestAnswer = -1;
  queue([&] {
    requestAnswer =
        desktop.window.Receive(desktop.session().MessageNumber(app::kShowRequestName));
  });

  ExpectEnd([&] { desktop.window.Tick(); });
  EXPECT_EQ(queuedRun, 8);
  EXPECT_EQ(requestAnswer, 0);
  ExpectOneBox(harness::kInvalidCallBox);
  // The failing hover step, the box, then the icon removed, the user's
  // buttons set back and the end; no key read, no command, no show. (The
  // icon's callback still reaches the hidden window's procedure, unanswered.)
  EXPECT_THAT(desktop.log.Only({"GetCursorPos", "GetAsyncKeyState", "keybd_event",
                                "SwapMouseButton", "MessageBoxA", "Shell_NotifyIconA", "Hide",
                                "Show", "SetStateNormal", "SetForegroundWindow", "Invalidate",
                                "Destroy", "EndProcess"}),
              ElementsAre("GetCursorPos()", testing::StartsWith("MessageBoxA("),
                          fake::Format("Shell_NotifyIconA", 2, static_cast<std::uint32_t>(hidden),
                                       0u),
                          "SwapMouseButton(1)", "EndProcess(1)"));
  EXPECT_EQ(desktop.shell.Icon(hidden), nullptr);
  EXPECT_TRUE(desktop.mouse.swapped);
  EXPECT_FALSE(desktop.window.visible);
}

TEST_F(MainWindow, AnErrorBeforeTheTrayObjectExistsStillSetsTheButtonsBack) {
  desktop.faults.Inject("SetWindowRgn", fake::Fault::Raise);
  ExpectEnd([&] { veltrane.Start(); });
  EXPECT_FALSE(veltrane.SystemTray());
  EXPECT_THAT(desktop.log.Only({"MessageBoxA", "Shell_NotifyIconA", "SwapMouseButton",
                                "EndProcess"}),
              ElementsAre(testing::StartsWith("MessageBoxA("), "SwapMouseButton(0)",
                          "EndProcess(1)"));
}

TEST_F(MainWindow, AMainWindowThatCannotBeCreatedIsReportedAndNothingMoreStarts) {
  desktop.faults.Inject("CreateWindow", fake::Fault::FailResult);
  ExpectEnd([&] { veltrane.Start(); });
  ExpectOneBox("Run-time error '7':\n\nOut of memory");
  // No timer, no outline, no icon without a window behind it.
  EXPECT_TRUE(desktop.log.Only({"StartTimer", "SetWindowRgn", "Shell_NotifyIconA", "Show"})
                  .empty());
  EXPECT_TRUE(desktop.shell.icons.empty());
}

TEST_F(MainWindow, ComIsInitialisedBeforeStartupAndUninitialisedWhenTheLoopEnds) {
  veltrane.Run();
  const auto& log = desktop.log.Entries();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "CoInitializeEx(0,6)");  // apartment-threaded, no OLE1 DDE
  EXPECT_THAT(desktop.log.Only({"CoInitializeEx", "CoUninitialize", "RunMessageLoop"}),
              ElementsAre("CoInitializeEx(0,6)", "RunMessageLoop()", "CoUninitialize()"));
  EXPECT_TRUE(desktop.window.visible);
}

TEST_F(MainWindow, AThreadWhoseComCannotBeInitialisedStartsAndIsNotUninitialised) {
  desktop.faults.Inject("CoInitializeEx", fake::Fault::FailResult);
  veltrane.Run();
  EXPECT_TRUE(desktop.log.Only({"CoUninitialize"}).empty());
  EXPECT_TRUE(desktop.window.visible);
}

TEST_F(MainWindow, APressWhoseCaptureWasTakenAwayIsNoClick) {
  Start();
  for (ControlId id : {ControlId::minbutarea, ControlId::hitarea}) {
    desktop.window.Mouse(MouseAction::Down, At(id), platform::kPrimaryButton);
    desktop.window.CaptureLost();  // WM_CAPTURECHANGED or WM_CANCELMODE
    desktop.window.Mouse(MouseAction::Up, At(id), platform::kPrimaryButton);
  }
  EXPECT_TRUE(desktop.window.visible);
  EXPECT_FALSE(desktop.window.ended);
  // A fresh press after it is a click again.
  desktop.window.Click(At(ControlId::minbutarea));
  EXPECT_FALSE(desktop.window.visible);
}

TEST(UntrappedError, OutOfMemoryAndAnyOtherErrorEachShowTheirOwnNumber) {
  EXPECT_EQ(platform::UntrappedErrorText(std::bad_alloc()), "Run-time error '7':\n\nOut of memory");
  EXPECT_EQ(platform::UntrappedErrorText(std::out_of_range("no such row")),
            "Run-time error '51':\n\nno such row");
}

// The user's own assignment is kept, whatever it is.
class ButtonAssignment : public MainWindow, public ::testing::WithParamInterface<bool> {
 protected:
  bool UserSwapped() const { return GetParam(); }
  void SetUp() override {
    desktop.mouse.swapped = UserSwapped();
    Start();
  }
  void FreshCtrlTick() {
    desktop.keyboard.Press(17);
    desktop.window.Tick();
    ASSERT_EQ(desktop.mouse.swapped, !UserSwapped());
  }
};

TEST_P(ButtonAssignment, TicksKeepTheUsersAssignmentAndCtrlTurnsItForOneTick) {
  desktop.window.Tick();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
  FreshCtrlTick();
  desktop.window.Tick();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
}

TEST_P(ButtonAssignment, ExitRightAfterACtrlTickSetsTheUsersAssignmentBack) {
  FreshCtrlTick();
  ExpectEnd([&] { desktop.window.Click(At(ControlId::hitarea)); });
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
}

TEST_P(ButtonAssignment, ACloseRequestRightAfterACtrlTickSetsTheUsersAssignmentBack) {
  FreshCtrlTick();
  desktop.window.CloseRequest();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
}

TEST_P(ButtonAssignment, AChangeInTheSystemSettingsBecomesTheUsersAssignment) {
  desktop.mouse.swapped = !UserSwapped();  // the user changed it meanwhile
  desktop.window.MouseButtonsChanged();
  desktop.window.Tick();
  EXPECT_EQ(desktop.mouse.swapped, !UserSwapped());
}

// The saved setting, as the system's mouse settings write it; the live
// assignment disagrees with it in each case below.
class SavedButtonSetting : public MainWindow, public ::testing::WithParamInterface<bool> {
 protected:
  bool UserSwapped() const { return GetParam(); }
  static std::string Digit(bool swapped) { return swapped ? "1" : "0"; }
  void Save(bool swapped) {
    desktop.registry.values[{fake::kMouseKey, "SwapMouseButtons"}] =
        fake::RegistryValue::Text(Digit(swapped));
  }
  // A fresh process starts with `saved` stored (in no key if `keyThere` is
  // false) and the live assignment the opposite of the user's if the value is
  // `readable`, the user's if not; either way the user's must be kept, the
  // live one read only when the saved one fails, and the key closed once.
  void ExpectStartupKeepsTheUsers(const fake::RegistryValue& saved, bool readable,
                                  bool keyThere = true) {
    harness::StartedWindow w;
    fake::FakeDesktop& d = w.desktop;
    if (!keyThere) d.registry.keys.clear();
    d.registry.values[{fake::kMouseKey, "SwapMouseButtons"}] = saved;
    d.mouse.swapped = readable != UserSwapped();
    w.veltrane.Start();
    d.window.Tick();
    SCOPED_TRACE(::testing::PrintToString(saved.type) + " " + ::testing::PrintToString(saved.data));
    EXPECT_EQ(d.mouse.swapped, UserSwapped());
    EXPECT_EQ(d.log.Only({"GetSystemMetrics"}).size(), readable ? 0u : 1u);
    EXPECT_EQ(d.log.Only({"RegCloseKey"}).size(), keyThere ? 1u : 0u);
    EXPECT_TRUE(d.registry.open.empty());
  }
};

TEST_P(SavedButtonSetting, AtStartupASwapLeftByAnotherInstanceIsNotTakenForTheUsers) {
  Save(UserSwapped());
  desktop.mouse.swapped = !UserSwapped();  // another instance's Ctrl tick
  Start();
  desktop.window.Tick();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
  EXPECT_THAT(desktop.log.Only({"SwapMouseButton"}),
              ElementsAre(fake::Format("SwapMouseButton", UserSwapped() ? 1 : 0)));
}

TEST_P(SavedButtonSetting, ATickBetweenTheUsersChangeAndItsNoticeDoesNotUndoTheChange) {
  Save(!UserSwapped());
  desktop.mouse.swapped = !UserSwapped();
  Start();
  // The user changes the setting: the system saves it and applies it, and a
  // tick runs before the notice arrives, setting the old assignment back.
  Save(UserSwapped());
  desktop.mouse.swapped = UserSwapped();
  desktop.window.Tick();
  ASSERT_EQ(desktop.mouse.swapped, !UserSwapped());
  desktop.window.MouseButtonsChanged();
  desktop.window.Tick();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
  // And every way of letting go sets the saved one back.
  desktop.keyboard.Press(platform::VK_CONTROL);
  desktop.window.Tick();
  desktop.window.CloseRequest();
  EXPECT_EQ(desktop.mouse.swapped, UserSwapped());
}

TEST_P(SavedButtonSetting, ASavedValueThatCannotBeReadLeavesTheLiveAssignment) {
  const std::string other = Digit(!UserSwapped());
  for (const fake::RegistryValue& unreadable :
       {fake::RegistryValue{fake::REG_DWORD, std::string("\x01\0\0\0", 4)},
        fake::RegistryValue{fake::REG_EXPAND_SZ, other + '\0'},
        fake::RegistryValue::Text("yes"), fake::RegistryValue::Text(std::string(40, '1')),
        // Sixteen characters and no terminator: more than the fifteen read.
        fake::RegistryValue{fake::REG_SZ, std::string(15, '0') + other}})
    ExpectStartupKeepsTheUsers(unreadable, false);
  ExpectStartupKeepsTheUsers(fake::RegistryValue::Text(other), false, /*keyThere=*/false);
}

TEST_P(SavedButtonSetting, SavedTextIsReadWithOrWithoutItsTerminator) {
  const std::string mine = Digit(UserSwapped());
  ExpectStartupKeepsTheUsers({fake::REG_SZ, mine}, true);
  ExpectStartupKeepsTheUsers(fake::RegistryValue::Text(std::string(14, '0') + mine), true);
}

INSTANTIATE_TEST_SUITE_P(NormalAndSwapped, SavedButtonSetting, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Swapped" : "Normal"; });

INSTANTIATE_TEST_SUITE_P(NormalAndSwapped, ButtonAssignment, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Swapped" : "Normal"; });

// --- One copy per session ---------------------------------------------------

using Outcome = app::OneCopy::Outcome;

platform::LResult VELTRANE_CALLBACK StrangersProc(platform::Handle, std::uint32_t uMsg,
                                                  platform::WParam, platform::LParam) {
  return uMsg == platform::WM_NCCREATE;   // let the window be made
}

// Starts of the program in one logon session: `first` runs, `second` is the
// start the user makes while it does.
class OneCopyPerSession : public ::testing::Test {
 protected:
  // Through the one-copy check, as a start of the program makes it.
  void StartFirst() {
    ASSERT_EQ(firstCopy.Decide(), Outcome::RunsAlone);
    first.Start();
  }
  int StartSecond() { return app::RunVeltrane(second.desktop, second.desktop.window); }
  // Whatever of the second start a user could see or feel.
  std::vector<std::string> SecondsEffects() const {
    return second.desktop.log.Only({"RegisterClassA", "CreateWindowExA", "CreateWindow",
                                    "StartTimer", "Show", "Shell_NotifyIconA", "GetAsyncKeyState",
                                    "keybd_event", "SwapMouseButton", "MessageBoxA"});
  }
  int MainWindows() const {
    int count = 0;
    for (platform::Handle window : first.desktop.session().TopLevelWindows())
      count += first.desktop.session().OwnerOf(window)->window.handle == window;
    return count;
  }
  int Sleeps() const { return static_cast<int>(second.desktop.log.Only({"Sleep"}).size()); }

  // Both made before either starts: each is a new process for the tray's
  // module state, which a desktop made later would reset under the first.
  harness::StartedWindow first;
  harness::StartedWindow second{first.desktop.SharedSession()};
  app::OneCopy firstCopy{first.desktop};
};

TEST_F(OneCopyPerSession, ASecondStartShowsTheRunningCopyAsItsIconDoesAndMakesNothing) {
  StartFirst();
  first.desktop.window.Click(first.At(ControlId::minarea));
  first.desktop.log.Clear();

  EXPECT_EQ(StartSecond(), 0);
  EXPECT_THAT(SecondsEffects(), ElementsAre());
  EXPECT_TRUE(second.desktop.shell.icons.empty());
  // The running copy may take the foreground before it is asked to.
  EXPECT_THAT(second.desktop.log.Only({"AllowSetForegroundWindow", "SendMessageTimeoutA"}),
              ElementsAre(fake::Format("AllowSetForegroundWindow", first.desktop.processId),
                          fake::Format("SendMessageTimeoutA", first.desktop.window.handle,
                                       first.desktop.session().MessageNumber(app::kShowRequestName),
                                       0, 0, platform::SMTO_ABORTIFHUNG, 1000)));
  const platform::Handle shown = first.desktop.window.handle;
  EXPECT_THAT(first.desktop.log.Only({"SetStateNormal", "Show", "Hide", "SetForegroundWindow"}),
              ElementsAre("SetStateNormal()", "Show()",
                          fake::Format("SetForegroundWindow", shown)));
  EXPECT_TRUE(first.desktop.window.visible);
  EXPECT_EQ(first.desktop.windows.foreground, shown);
  EXPECT_EQ(first.desktop.shell.icons.size(), 1u);
  // The first copy still holds the name, and a third start finds it there.
  app::OneCopy third{second.desktop};
  EXPECT_EQ(third.Decide(), Outcome::HandedOver);
}

TEST_F(OneCopyPerSession, AStartWhileTheFirstIsStillStartingWaitsForItsWindowAndHandsOver) {
  // Both at once: the kernel gives the name to one; the other finds no window
  // yet and looks again until the first has made it.
  ASSERT_EQ(firstCopy.Decide(), Outcome::RunsAlone);
  second.desktop.whileAsleep = [&] {
    if (Sleeps() == 3) first.Start();
  };
  EXPECT_EQ(StartSecond(), 0);
  EXPECT_EQ(Sleeps(), 3);
  EXPECT_THAT(SecondsEffects(), ElementsAre());
  EXPECT_EQ(MainWindows(), 1);
  EXPECT_TRUE(first.desktop.window.visible);
}

TEST_F(OneCopyPerSession, ACopyThatDoesNotAnswerIsWaitedForABoundedTimeAndTheStartEnds) {
  for (const bool windowMade : {false, true}) {
    SCOPED_TRACE(windowMade ? "busy" : "never made its window");
    harness::StartedWindow holder;
    app::OneCopy holderCopy{holder.desktop};
    ASSERT_EQ(holderCopy.Decide(), Outcome::RunsAlone);
    if (windowMade) holder.Start();
    holder.desktop.answering = false;
    harness::StartedWindow later{holder.desktop.SharedSession()};
    later.desktop.tickCount = 0xFFFFF000;   // across the wrap of the tick count
    EXPECT_EQ(app::RunVeltrane(later.desktop, later.desktop.window), app::kExitCodeCopyNotReached);
    const std::uint32_t waited = later.desktop.tickCount - 0xFFFFF000;
    EXPECT_GE(waited, app::kWaitForCopyMs);
    EXPECT_LT(waited, app::kWaitForCopyMs + 1000);
    EXPECT_TRUE(later.desktop.log.Only({"CreateWindow", "Shell_NotifyIconA", "SwapMouseButton"})
                    .empty());
  }
}

TEST_F(OneCopyPerSession, ACopyThatEndsWhileTheStartLooksForItLeavesTheStartAsTheOnlyCopy) {
  StartFirst();
  // A close request is under way: the window is gone, the process not yet.
  first.desktop.window.CloseRequest();
  second.desktop.whileAsleep = [&] {
    if (Sleeps() == 2) first.desktop.EndThisProcess();
  };
  app::OneCopy secondCopy{second.desktop};
  EXPECT_EQ(secondCopy.Decide(), Outcome::RunsAlone);
  EXPECT_TRUE(second.desktop.session().NameExists(app::kRunningCopyName));
  second.Start();
  EXPECT_TRUE(second.desktop.window.visible);
  EXPECT_EQ(second.desktop.shell.icons.size(), 1u);
}

TEST_F(OneCopyPerSession, AStrangersWindowTitledVeltraneIsNeverTakenForTheRunningCopy) {
  harness::StartedWindow stranger{first.desktop.SharedSession()};
  platform::WndClassA wc;
  wc.lpfnWndProc = StrangersProc;
  wc.lpszClassName = "CabinetWClass";   // an Explorer folder of that name
  ASSERT_NE(stranger.desktop.RegisterClassA(wc), 0);
  const platform::Handle folder = stranger.desktop.CreateWindowExA(
      0, "CabinetWClass", "Veltrane", 0, 10, 10, 300, 200, 0, 0, 0, nullptr);
  ASSERT_NE(folder, 0u);
  stranger.desktop.windows.delivered.clear();

  StartFirst();   // the folder does not stop the first start
  first.desktop.window.Click(first.At(ControlId::minarea));
  stranger.desktop.SetForegroundWindow(folder);   // the user works in the folder
  stranger.desktop.windows.delivered.clear();
  EXPECT_EQ(StartSecond(), 0);
  EXPECT_TRUE(first.desktop.window.visible);
  EXPECT_TRUE(stranger.desktop.windows.delivered.empty());
  EXPECT_TRUE(stranger.desktop.windows.IsWindow(folder));
  EXPECT_NE(first.desktop.windows.foreground, folder);
}

TEST_F(OneCopyPerSession, ACopyStartedAsAdministratorIsReachedThroughTheRequestItLetsIn) {
  first.desktop.elevated = true;
  StartFirst();
  first.desktop.window.Click(first.At(ControlId::minarea));
  // The name is the administrator's: the start may not even open it.
  EXPECT_EQ(StartSecond(), 0);
  EXPECT_EQ(second.desktop.lastError, 0u);
  EXPECT_TRUE(first.desktop.window.visible);

  // Where the system has no way to let it in, the start ends at once.
  first.desktop.windows.messagesAllowed.clear();
  second.desktop.log.Clear();
  EXPECT_EQ(StartSecond(), app::kExitCodeCopyNotReached);
  EXPECT_EQ(Sleeps(), 0);
  EXPECT_THAT(SecondsEffects(), ElementsAre());
}

TEST(OneCopy, AStartRunsWhereTheNameIsFreeInItsOwnSessionOrCannotBeHadAtAll) {
  // Another user's session has a copy of its own.
  harness::StartedWindow otherUser;
  app::OneCopy otherUsersCopy{otherUser.desktop};
  ASSERT_EQ(otherUsersCopy.Decide(), Outcome::RunsAlone);
  harness::StartedWindow mine;
  {
    app::OneCopy copy{mine.desktop};
    EXPECT_EQ(copy.Decide(), Outcome::RunsAlone);
    EXPECT_THAT(mine.desktop.log.Only({"CreateMutexA"}),
                ElementsAre(fake::Format("CreateMutexA", 0, 0, app::kRunningCopyName)));
    EXPECT_EQ(std::string(app::kRunningCopyName).rfind("Local\\", 0), 0u);
  }
  // The name goes with its last handle.
  EXPECT_FALSE(mine.desktop.session().NameExists(app::kRunningCopyName));

  mine.desktop.faults.Inject("CreateMutexA", fake::Fault::FailResult);
  app::OneCopy refused{mine.desktop};
  EXPECT_EQ(refused.Decide(), Outcome::RunsAlone);
  mine.desktop.faults.Inject("CreateMutexA", fake::Fault::Raise);
  app::OneCopy raised{mine.desktop};
  EXPECT_EQ(raised.Decide(), Outcome::RunsAlone);
}

}  // namespace
