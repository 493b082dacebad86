// The tray icon object, its hidden window and the window procedure, on the
// fake desktop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fake/fake_desktop.h"
#include "platform/constants.h"
#include "platform/error.h"
#include "tray/clsInTray.h"
#include "tray/modInTray.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tray::clsInTray;
using tray::InTrayRef;

constexpr platform::Handle kIcon = 0x7001;

std::string Call(const char* op, const std::string& args) {
  return std::string(op) + "(" + args + ")";
}

struct Recorder : tray::clsInTrayEvents {
  void MouseMove() override { events.push_back("MouseMove"); }
  void MouseUp(std::int16_t Button) override { Record("MouseUp", Button); }
  void MouseDown(std::int16_t Button) override { Record("MouseDown", Button); }
  void DblClick(std::int16_t Button) override { Record("DblClick", Button); }
  void Record(const char* event, std::int16_t& Button) {
    events.push_back(std::string(event) + "(" + std::to_string(Button) + ")");
    Button = 99;  // a temporary: nobody else may see this
  }
  std::vector<std::string> events;
};

struct Thrower : tray::clsInTrayEvents {
  void MouseUp(std::int16_t) override { throw platform::Error(5, "Invalid procedure call"); }
};

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    tray::SetUntrappedErrorHandler(
        [this](const std::exception& error) { untrapped.push_back(error.what()); });
  }

  InTrayRef Make() { return clsInTray::Create(desktop); }

  std::vector<std::string> NotifyCalls() const { return desktop.log.Only({"Shell_NotifyIconA"}); }
  std::string Hwnd(const InTrayRef& obj) const { return std::to_string(obj->WindowHandle()); }

  fake::FakeDesktop desktop;
  std::vector<std::string> untrapped;
};

// --- The tip field -------------------------------------------------------

TEST_F(Tray, TipHoldsSixtyFourCharactersWithItsTerminatorAndPadding) {
  InTrayRef obj = Make();
  EXPECT_EQ(obj->Tip(), std::u16string(1, u'\0') + std::u16string(63, u' '));

  obj->Tip(u"abc");
  EXPECT_EQ(obj->Tip(), u"abc" + std::u16string(1, u'\0') + std::u16string(60, u' '));

  const std::u16string sixtyThree(63, u'x');
  obj->Tip(sixtyThree);
  EXPECT_EQ(obj->Tip(), sixtyThree + std::u16string(1, u'\0'));

  std::u16string seventy;
  for (int i = 0; i < 70; ++i) seventy += static_cast<char16_t>(u'A' + i % 26);
  obj->Tip(seventy);
  EXPECT_EQ(obj->Tip(), seventy.substr(0, 63) + std::u16string(1, u'\0'));
  EXPECT_EQ(obj->Tip().size(), 64u);
}

TEST_F(Tray, PropertiesReachTheNotificationAreaOnlyThroughModifyIcon) {
  InTrayRef obj = Make();
  EXPECT_EQ(obj->hIcon(), 0u);  // none until one is given
  obj->hIcon(kIcon);
  obj->Tip(u"Veltrane");
  obj->AddIcon();
  obj->hIcon(0x7002);
  obj->Tip(u"Other");
  EXPECT_EQ(NotifyCalls().size(), 1u);
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle())->tip, "Veltrane");
  EXPECT_EQ(obj->hIcon(), 0x7002u);

  obj->ModifyIcon();
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle())->tip, "Other");
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle())->hIcon, 0x7002u);
}

// --- The call form ---------------------------------------------------------

TEST_F(Tray, CallFormIsSixFieldsThenTheSixtyFourTipBytes) {
  InTrayRef obj = Make();
  obj->hIcon(kIcon);
  obj->Tip(u"Veltrane");
  obj->AddIcon();
  const fake::TrayIcon* icon = desktop.shell.Icon(obj->WindowHandle());
  ASSERT_NE(icon, nullptr);
  const auto& bytes = icon->record.bytes;
  const std::uint32_t hwnd = static_cast<std::uint32_t>(obj->WindowHandle());
  auto b = [&](int shift) { return static_cast<std::uint8_t>(hwnd >> shift); };
  const std::uint8_t fields[24] = {88,   0,    0, 0, b(0), b(8), b(16), b(24), 0,    0,    0, 0,
                                   7,    0,    0, 0, 0x05, 0x04, 0,     0,     0x01, 0x70, 0, 0};
  EXPECT_TRUE(std::equal(std::begin(fields), std::end(fields), bytes.begin()));
  const std::string tip(bytes.begin() + 24, bytes.end());
  EXPECT_EQ(tip, std::string("Veltrane") + '\0' + std::string(55, ' '));
  // Plain ASCII needs no conversion call.
  EXPECT_THAT(desktop.log.Only({"WideCharToMultiByte"}), IsEmpty());
}

TEST_F(Tray, TipCharactersGoThroughTheAnsiCodePage) {
  InTrayRef obj = Make();
  obj->Tip(u"Caf\u00e9 \u20ac \u4e00");
  obj->AddIcon();
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle())->tip, "Caf\xe9 \x80 ?");
  const std::string oneCharacter = "WideCharToMultiByte(0,0,1,2)";  // code page, flags, size, room
  EXPECT_THAT(desktop.log.Only({"WideCharToMultiByte"}),
              ElementsAre(oneCharacter, oneCharacter, oneCharacter));
}

TEST_F(Tray, DoubleByteCharactersAreNeverSplitAndTheTerminatorStaysInside) {
  desktop.shell.ansiCodePage = {{u'\u65e5', "\x93\xfa"}};
  const std::string wide = "\x93\xfa";
  auto tipBytes = [&](const std::u16string& text) {
    InTrayRef obj = Make();
    obj->Tip(text);
    obj->AddIcon();
    const auto& bytes = desktop.shell.Icon(obj->WindowHandle())->record.bytes;
    std::string tip(bytes.begin() + 24, bytes.end());
    obj->RemoveIcon();
    return tip;
  };
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };

  // 40 two-byte characters: 31 fit ahead of the terminator, the 32nd would take its byte.
  EXPECT_EQ(tipBytes(std::u16string(40, u'\u65e5')), repeat(wide, 31) + '\0' + ' ');
  // Exactly 63 bytes of text: the terminator is the last byte.
  EXPECT_EQ(tipBytes(u"a" + std::u16string(31, u'\u65e5') + u"b"),
            "a" + repeat(wide, 31) + '\0');
  // One byte short for the last two-byte character: it is dropped, not cut in
  // half, and the text after it is dropped too.
  EXPECT_EQ(tipBytes(u"ab" + std::u16string(31, u'\u65e5') + u"c"),
            "ab" + repeat(wide, 30) + '\0' + ' ');
}

// --- Events ----------------------------------------------------------------

struct EventCase {
  platform::LParam lParam;
  const char* event;  // nullptr: none
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << "lParam " << c.lParam; }

class TrayEvents : public Tray, public ::testing::WithParamInterface<EventCase> {};

TEST_P(TrayEvents, EachNotificationRaisesItsEventWhateverWParam) {
  InTrayRef obj = Make();
  Recorder first, second;
  obj->Advise(first);
  obj->Advise(second);
  for (platform::WParam wParam : {0u, 1u, 0xFFFFu}) obj->ProcessMessage(wParam, GetParam().lParam);
  const std::vector<std::string> expected =
      GetParam().event ? std::vector<std::string>(3, GetParam().event) : std::vector<std::string>{};
  // Each receiver gets its own copy of Button.
  EXPECT_EQ(first.events, expected);
  EXPECT_EQ(second.events, expected);
  EXPECT_THAT(NotifyCalls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayEvents,
    ::testing::Values(EventCase{512, "MouseMove"}, EventCase{513, "MouseDown(1)"},
                      EventCase{514, "MouseUp(1)"}, EventCase{515, "DblClick(1)"},
                      EventCase{516, "MouseDown(2)"}, EventCase{517, "MouseUp(2)"},
                      EventCase{518, "DblClick(2)"}, EventCase{519, "MouseDown(4)"},
                      EventCase{520, "MouseUp(4)"}, EventCase{521, "DblClick(4)"},
                      EventCase{511, nullptr}, EventCase{522, nullptr},
                      EventCase{512 + 65536, nullptr}, EventCase{0, nullptr},
                      EventCase{-514, nullptr}),
    [](const ::testing::TestParamInfo<EventCase>& info) {
      const platform::LParam l = info.param.lParam;
      return (l < 0 ? "minus" + std::to_string(-l) : std::to_string(l));
    });

TEST_F(Tray, AnIconNotificationReachesTheReceiversBeforeDefWindowProc) {
  InTrayRef obj = Make();
  struct Watcher : tray::clsInTrayEvents {
    fake::FakeDesktop* desktop;
    std::size_t defCallsAtEvent = 0;
    void MouseUp(std::int16_t) override {
      defCallsAtEvent = desktop->log.Only({"DefWindowProcA"}).size();
    }
  } watcher;
  watcher.desktop = &desktop;
  obj->Advise(watcher);
  obj->AddIcon();
  desktop.log.Clear();

  ASSERT_TRUE(desktop.IconMouse(obj->WindowHandle(), platform::WM_LBUTTONUP));
  EXPECT_EQ(watcher.defCallsAtEvent, 0u);
  EXPECT_THAT(desktop.log.Only({"DefWindowProcA"}),
              ElementsAre(Call("DefWindowProcA", Hwnd(obj) + ",1029,0,514")));

  obj->Unadvise(watcher);
  desktop.IconMouse(obj->WindowHandle(), platform::WM_LBUTTONUP);
  EXPECT_EQ(desktop.log.Only({"DefWindowProcA"}).size(), 2u);
}

TEST_F(Tray, TheProcedureReturnsWhatDefWindowProcReturns) {
  InTrayRef obj = Make();
  // The fake's DefWindowProcA answers WM_NCCREATE with 1 and the rest with 0.
  EXPECT_EQ(tray::TrayWndProc(obj->WindowHandle(), platform::WM_NCCREATE, 0, 0), 1);
  desktop.faults.Inject("DefWindowProcA", fake::Fault::FailResult, 1);
  EXPECT_EQ(tray::TrayWndProc(obj->WindowHandle(), platform::WM_NCCREATE, 0, 0), 0);
}

// --- bInTray ----------------------------------------------------------------

TEST_F(Tray, InTrayFollowsTheRequestsNotTheShellsAnswers) {
  InTrayRef obj = Make();
  const std::string h = Hwnd(obj);
  EXPECT_EQ(obj->InTray(), 0);

  obj->RecreateIcon();  // never added: nothing
  EXPECT_THAT(NotifyCalls(), IsEmpty());

  // Each call says what the shell answered; the record keeps the request.
  EXPECT_FALSE(obj->ModifyIcon());
  EXPECT_EQ(obj->InTray(), 0);
  EXPECT_TRUE(obj->AddIcon());
  EXPECT_EQ(obj->InTray(), -1);
  EXPECT_FALSE(obj->AddIcon());  // refused by the shell, still requested
  EXPECT_EQ(obj->InTray(), -1);
  EXPECT_TRUE(obj->ModifyIcon());
  EXPECT_EQ(obj->InTray(), -1);
  obj->RecreateIcon();
  EXPECT_EQ(obj->InTray(), -1);
  obj->RemoveIcon();
  EXPECT_EQ(obj->InTray(), 0);
  obj->RemoveIcon();  // refused, sent all the same
  EXPECT_EQ(obj->InTray(), 0);
  obj->RecreateIcon();  // removed: nothing

  auto nim = [&](int message) {
    return Call("Shell_NotifyIconA", std::to_string(message) + "," + h + ",0");
  };
  EXPECT_THAT(NotifyCalls(), ElementsAre(nim(1), nim(0), nim(0), nim(1), nim(0), nim(2), nim(2)));
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle()), nullptr);
  obj->AddIcon();
  desktop.faults.Inject("Shell_NotifyIconA", fake::Fault::Raise, 1);
  EXPECT_THROW(obj->RecreateIcon(), platform::Error);
  EXPECT_EQ(obj->InTray(), 0);  // a re-add that failed is no request
}

TEST_F(Tray, AnIconRefusedForWantOfATaskbarComesWhenTheTaskbarStarts) {
  desktop.StopTaskbar();
  InTrayRef obj = Make();
  obj->Tip(u"Veltrane");
  obj->AddIcon();
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle()), nullptr);

  desktop.RestartTaskbar();
  ASSERT_NE(desktop.shell.Icon(obj->WindowHandle()), nullptr);
  EXPECT_EQ(desktop.shell.Icon(obj->WindowHandle())->tip, "Veltrane");
}

// --- Creation and destruction ---------------------------------------------

TEST_F(Tray, CreationRegistersTheClassCreatesTheWindowAndStoresTheBackPointer) {
  InTrayRef obj = Make();
  const std::string h = Hwnd(obj);
  // "TaskbarCreated" is let in from the unelevated shell once the window exists.
  EXPECT_THAT(desktop.log.Only({"GetModuleHandleA", "RegisterClassA", "CreateWindowExA",
                                "RegisterWindowMessageA", "SetWindowLongA", "Shell_NotifyIconA",
                                "ChangeWindowMessageFilterEx"}),
              ElementsAre(Call("GetModuleHandleA", "NULL"),
                          Call("RegisterClassA", "\"VB InTray Class\""),
                          Call("CreateWindowExA",
                               "0,\"VB InTray Class\",\"VB InTray Hidden Window\","
                               "0,0,0,100,100,0,0,0,0"),
                          Call("RegisterWindowMessageA", "\"TaskbarCreated\""),
                          Call("SetWindowLongA",
                               h + ",-21," + std::to_string(tray::PtrFromObj(obj.get()))),
                          Call("ChangeWindowMessageFilterEx",
                               h + "," + std::to_string(tray::State().msgTaskbarCreated) +
                                   ",1,0")));
  const auto& cls = desktop.windows.classes.at("vb intray class").wc;
  EXPECT_EQ(cls.style, 0u);
  EXPECT_EQ(cls.lpfnWndProc, &tray::TrayWndProc);
  EXPECT_EQ(cls.hInstance, fake::WindowsState::kInstance);
  EXPECT_EQ(cls.hIcon | cls.hCursor | cls.hbrBackground, 0u);
  EXPECT_EQ(cls.lpszMenuName, nullptr);
  EXPECT_EQ(desktop.windows.windows.at(obj->WindowHandle()).parent, 0u);
  EXPECT_EQ(obj->RefCount(), 1u);
}

TEST_F(Tray, ReleasingAShownIconClosesTheWindowFirstThenRemovesTheIcon) {
  InTrayRef obj = Make();
  const platform::Handle hwnd = obj->WindowHandle();
  const std::string h = std::to_string(hwnd);
  obj->AddIcon();
  desktop.log.Clear();

  obj.Reset();
  EXPECT_THAT(desktop.log.Only({"SendMessageA", "DefWindowProcA", "Shell_NotifyIconA",
                                "UnregisterClassA"}),
              ElementsAre(Call("SendMessageA", h + ",16,0,0"),
                          Call("DefWindowProcA", h + ",16,0,0"),
                          Call("DefWindowProcA", h + ",2,0,0"),
                          Call("DefWindowProcA", h + ",130,0,0"),
                          Call("Shell_NotifyIconA", "2," + h + ",0"),
                          Call("UnregisterClassA", "\"VB InTray Class\",4194304")));
  EXPECT_FALSE(desktop.windows.IsWindow(hwnd));
  EXPECT_TRUE(desktop.shell.icons.empty());
  EXPECT_FALSE(desktop.windows.IsClassRegistered("VB InTray Class"));
}

TEST_F(Tray, AnObjectNeverAddedMakesNoNotificationCall) {
  platform::Handle hwnd;
  {
    InTrayRef obj = Make();
    hwnd = obj->WindowHandle();
    obj->RemoveIcon();
    obj->RecreateIcon();
    desktop.log.Clear();
  }  // released here, by the last reference going out of scope
  EXPECT_THAT(NotifyCalls(), IsEmpty());
  EXPECT_FALSE(desktop.windows.IsWindow(hwnd));
  EXPECT_FALSE(desktop.windows.IsClassRegistered("VB InTray Class"));
  EXPECT_THAT(untrapped, IsEmpty());
}

TEST_F(Tray, AFailedWindowCreationLeavesTheObjectWorkingOnHandleZero) {
  desktop.faults.Inject("CreateWindowExA", fake::Fault::FailResult, 1);
  InTrayRef obj = Make();
  EXPECT_EQ(obj->WindowHandle(), 0u);
  obj->AddIcon();
  EXPECT_THAT(NotifyCalls(), ElementsAre(Call("Shell_NotifyIconA", "0,0,0")));
  obj.Reset();
  EXPECT_FALSE(desktop.windows.IsClassRegistered("VB InTray Class"));
}

TEST_F(Tray, TwoObjectsShareTheClassWhichTheLastDestructionUnregisters) {
  InTrayRef a = Make();
  InTrayRef b = Make();
  ASSERT_NE(a->WindowHandle(), b->WindowHandle());
  EXPECT_EQ(desktop.log.Only({"RegisterClassA"}).size(), 2u);
  EXPECT_EQ(desktop.log.Only({"RegisterWindowMessageA"}).size(), 1u);

  // Each window finds its own object.
  Recorder ra, rb;
  a->Advise(ra);
  b->Advise(rb);
  a->AddIcon();
  b->AddIcon();
  desktop.IconMouse(b->WindowHandle(), platform::WM_RBUTTONUP);
  EXPECT_THAT(ra.events, IsEmpty());
  EXPECT_THAT(rb.events, ElementsAre("MouseUp(2)"));

  a.Reset();
  EXPECT_TRUE(desktop.windows.IsClassRegistered("VB InTray Class"));
  EXPECT_TRUE(desktop.windows.IsWindow(b->WindowHandle()));
  desktop.IconMouse(b->WindowHandle(), platform::WM_RBUTTONUP);
  EXPECT_EQ(rb.events.size(), 2u);
  b.Reset();
  EXPECT_FALSE(desktop.windows.IsClassRegistered("VB InTray Class"));
}

// --- Taskbar restarts --------------------------------------------------------

TEST_F(Tray, ATaskbarRestartReAddsOnlyShownIcons) {
  InTrayRef shown = Make();
  InTrayRef removed = Make();
  InTrayRef neverAdded = Make();
  shown->Tip(u"shown");
  shown->AddIcon();
  removed->AddIcon();
  removed->RemoveIcon();
  desktop.log.Clear();

  desktop.RestartTaskbar();
  EXPECT_THAT(NotifyCalls(), ElementsAre(Call("Shell_NotifyIconA", "0," + Hwnd(shown) + ",0")));
  ASSERT_EQ(desktop.shell.icons.size(), 1u);
  EXPECT_EQ(desktop.shell.Icon(shown->WindowHandle())->tip, "shown");
  // Every hidden window still passed the message on.
  EXPECT_EQ(desktop.log.Only({"DefWindowProcA"}).size(), 3u);
  EXPECT_THAT(desktop.log.Only({"RegisterWindowMessageA"}), IsEmpty());

  desktop.RestartTaskbar();
  EXPECT_EQ(desktop.shell.icons.size(), 1u);
}

TEST_F(Tray, MessagesNeverChangeTheReferenceCount) {
  InTrayRef obj = Make();
  Recorder recorder;
  obj->Advise(recorder);
  obj->AddIcon();
  InTrayRef second = obj;
  EXPECT_EQ(obj->RefCount(), 2u);
  second.Reset();
  EXPECT_EQ(obj->RefCount(), 1u);

  const std::uint32_t taskbarCreated = tray::State().msgTaskbarCreated;
  for (int i = 0; i < 50; ++i) {
    desktop.SendMessageA(obj->WindowHandle(), tray::WM_TRAYICON, 0, platform::WM_LBUTTONUP);
    desktop.SendMessageA(obj->WindowHandle(), taskbarCreated, 0, 0);
  }
  EXPECT_EQ(recorder.events.size(), 50u);
  EXPECT_EQ(obj->RefCount(), 1u);
}

TEST_F(Tray, TheTaskbarMessageIsRegisteredOnceEvenWhenRegistrationFails) {
  desktop.faults.Inject("RegisterWindowMessageA", fake::Fault::FailResult);
  InTrayRef a = Make();
  InTrayRef b = Make();
  EXPECT_EQ(tray::State().bTaskbarMsgRegistered, -1);
  EXPECT_EQ(tray::State().msgTaskbarCreated, 0u);
  EXPECT_EQ(desktop.log.Only({"RegisterWindowMessageA"}).size(), 1u);
}

// --- The back pointer not stored yet -----------------------------------------

TEST_F(Tray, MessagesToAWindowWithoutItsBackPointerReachOnlyDefWindowProc) {
  desktop.faults.Inject("SetWindowLongA", fake::Fault::FailResult, 1);
  InTrayRef obj = Make();
  Recorder recorder;
  obj->Advise(recorder);
  obj->AddIcon();
  desktop.log.Clear();

  ASSERT_TRUE(desktop.IconMouse(obj->WindowHandle(), platform::WM_LBUTTONUP));
  desktop.RestartTaskbar();
  EXPECT_THAT(recorder.events, IsEmpty());
  EXPECT_THAT(NotifyCalls(), IsEmpty());
  EXPECT_EQ(desktop.log.Only({"DefWindowProcA"}).size(), 2u);
  EXPECT_THAT(untrapped, IsEmpty());
}

// --- Errors from receivers ---------------------------------------------------

TEST_F(Tray, AnErrorInAReceiverTakesTheUntrappedPathInsteadOfUnwinding) {
  InTrayRef obj = Make();
  Thrower thrower;
  Recorder later;
  obj->Advise(thrower);
  obj->Advise(later);
  desktop.log.Clear();

  EXPECT_NO_THROW(desktop.SendMessageA(obj->WindowHandle(), tray::WM_TRAYICON, 0,
                                       platform::WM_LBUTTONUP));
  EXPECT_THAT(untrapped, ElementsAre("Invalid procedure call"));
  EXPECT_THAT(later.events, IsEmpty());  // the handler stopped at the error
  EXPECT_THAT(desktop.log.Only({"DefWindowProcA"}), IsEmpty());
  EXPECT_EQ(obj->RefCount(), 1u);
}

TEST_F(Tray, WithNoHandlerAnUntrappedErrorEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        tray::SetUntrappedErrorHandler(nullptr);
        InTrayRef obj = Make();
        Thrower thrower;
        obj->Advise(thrower);
        desktop.SendMessageA(obj->WindowHandle(), tray::WM_TRAYICON, 0, platform::WM_LBUTTONUP);
        std::exit(0);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

TEST_F(Tray, AFailingDestructionStillFreesTheObject) {
  {
    InTrayRef obj = Make();
    obj->AddIcon();
    desktop.faults.Inject("SendMessageA", fake::Fault::Raise, 1);
    EXPECT_THROW(obj.Reset(), platform::Error);  // an explicit release reports to its caller
    EXPECT_FALSE(obj);
  }
  {
    InTrayRef obj = Make();
    desktop.faults.Inject("UnregisterClassA", fake::Fault::Raise, 1);
  }  // an implicit one has no caller: the untrapped path
  EXPECT_EQ(untrapped.size(), 1u);
  // ASan reports a leak if either object survived.
}

// --- The pointer routines ------------------------------------------------------

TEST_F(Tray, PointerConversionsCountNothing) {
  InTrayRef obj = Make();
  const std::intptr_t ptr = tray::PtrFromObj(obj.get());
  clsInTray* borrowed = tray::ObjFromPtr(ptr);
  EXPECT_EQ(borrowed, obj.get());
  tray::ForgetObjRef(&borrowed);
  EXPECT_EQ(borrowed, nullptr);
  EXPECT_EQ(obj->RefCount(), 1u);
  EXPECT_EQ(desktop.windows.windows.at(obj->WindowHandle()).userData, ptr);
}

// --- The fake's windows ------------------------------------------------------------

// The fake wants the instance that registered a class to unregister it; Wine
// finds the class with no instance named, so this is no contract check. The
// fault-injection table's close rests on the fake's rule.
TEST(FakeWindows, UnregisteringAClassWantsTheInstanceThatRegisteredIt) {
  fake::FakeDesktop desktop;
  platform::WndClassA wc;
  wc.lpszClassName = "Registered";
  wc.hInstance = fake::WindowsState::kInstance;
  ASSERT_NE(desktop.RegisterClassA(wc), 0);
  EXPECT_EQ(desktop.UnregisterClassA("Registered", 0), 0);
  EXPECT_EQ(desktop.UnregisterClassA("Registered", fake::WindowsState::kInstance), 1);
}

}  // namespace
