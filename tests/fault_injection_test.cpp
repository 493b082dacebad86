// Every platform operation the program calls, made to fail in turn: for each
// phase of the program's life, each operation that phase calls (read from the
// call log of a clean run, so the list follows the code) and each way of
// failing, a fresh desktop and window run the phase with the fault in place.
// The outcome must be the decided one: an untrapped error ends the process
// through the message box, the key loop skips what fails, a failing result
// loses only its own effect, and no path leaks a region or a registry key.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/constants.h"
#include "started_window.h"

namespace {

using ::testing::ElementsAre;
using app::ControlId;
using fake::Fault;
using fake::Only;
using fake::OpName;
using platform::Handle;
using platform::MouseAction;

enum class Outcome { Completed, Ended, EndedWithBox };

const char* Name(Outcome outcome) {
  constexpr const char* kNames[] = {"completed", "ended", "ended with message box"};
  return kNames[static_cast<int>(outcome)];
}

const char* Name(Fault fault) { return fault == Fault::Raise ? "Raise" : "FailResult"; }

// A fresh process on a fresh desktop; the phase or its setup starts it.
struct World : harness::StartedWindow {
  // A tick that reads a fresh Ctrl press: the buttons are turned until the next.
  void CtrlTick() {
    desktop.keyboard.Press(platform::VK_CONTROL);
    desktop.window.Tick();
  }

  Handle hidden = 0;   // the tray window, as the phase found it
};

// What one run of a phase left behind.
struct Run {
  Outcome outcome = Outcome::Completed;
  std::vector<std::string> log;   // the phase's own calls
};

using Check = std::function<void(World&, const std::string& op, Fault mode, const Run&)>;

struct Phase {
  const char* name;
  bool isStartup;
  std::function<void(World&)> setup;   // after startup, before the fault is in place
  std::function<void(World&)> run;
  Outcome clean;
  Check check;                         // run when the outcome is the expected one
};

bool Calls(const std::vector<std::string>& log, const std::string& op) {
  return std::any_of(log.begin(), log.end(), [&](const auto& e) { return OpName(e) == op; });
}

// Live regions that are neither a window's nor handed to DeleteObject, and
// keys never handed to RegCloseKey (the platform may refuse a release; that
// is not the program's leak).
std::vector<Handle> LeakedHandles(const fake::FakeDesktop& desktop) {
  std::set<Handle> released;
  for (const std::string& entry : desktop.log.Only({"DeleteObject", "RegCloseKey"}))
    released.insert(std::stoull(entry.substr(entry.find('(') + 1)));
  std::vector<Handle> leaked;
  for (const auto& entry : desktop.gdi.regions)
    if (!desktop.gdi.OwnedByWindow(entry.first) && !released.count(entry.first))
      leaked.push_back(entry.first);
  for (const auto& entry : desktop.registry.open)
    if (!released.count(entry.first)) leaked.push_back(entry.first);
  return leaked;
}

// Runs the phase with `op` failing for good in the given way (none if empty).
Run RunPhase(World& world, const Phase& phase, const std::string& op, Fault mode) {
  Run result;
  std::size_t mark = 0;
  try {
    if (!phase.isStartup) {
      world.veltrane.Start();
      if (phase.setup) phase.setup(world);
      mark = world.desktop.log.Entries().size();
    }
    world.hidden = world.Hidden();
    if (!op.empty()) world.desktop.faults.Inject(op, mode);
    phase.run(world);
  } catch (const fake::ProcessEnded&) {
    result.outcome =
        world.desktop.windows.messageBoxes.empty() ? Outcome::Ended : Outcome::EndedWithBox;
  }
  const auto& entries = world.desktop.log.Entries();
  result.log.assign(entries.begin() + static_cast<std::ptrdiff_t>(mark), entries.end());
  return result;
}

// The operations a clean run of the phase calls, in order of first call.
std::vector<std::string> OperationsOf(const Run& clean) {
  std::vector<std::string> ops;
  for (const std::string& entry : clean.log) {
    const std::string op = OpName(entry);
    // Ending the process is where every path stops; it cannot fail.
    if (op == "EndProcess") continue;
    if (std::find(ops.begin(), ops.end(), op) == ops.end()) ops.push_back(op);
  }
  return ops;
}

Run CleanRun(const Phase& phase) {
  World world;
  return RunPhase(world, phase, "", Fault::None);
}

// The decided outcome. `inKeyLoop`: every call of the op in the phase is
// made by the key loop of a tick, whose steps are skipped when they fail.
Outcome Expected(const Phase& phase, const std::string& op, Fault mode, bool inKeyLoop) {
  if (inKeyLoop) return Outcome::Completed;
  if (mode == Fault::Raise) return Outcome::EndedWithBox;
  // A density of 0 leaves the outline uncomputable: the division by zero
  // leaves the startup handler untrapped.
  if (phase.isStartup && op == "GetDeviceCaps") return Outcome::EndedWithBox;
  // A main window that cannot be created is an error, not a silent resident.
  if (phase.isStartup && op == "CreateWindow") return Outcome::EndedWithBox;
  return phase.clean;
}

std::string ExpectedBoxText(const Phase& phase, const std::string& op, Fault mode) {
  if (mode == Fault::FailResult && phase.isStartup && op == "GetDeviceCaps")
    return "Run-time error '11':\n\nDivision by zero";
  if (mode == Fault::FailResult && phase.isStartup && op == "CreateWindow")
    return "Run-time error '7':\n\nOut of memory";
  return harness::kInvalidCallBox;
}

void RunTable(const Phase& phase) {
  const Run clean = CleanRun(phase);
  ASSERT_EQ(Name(clean.outcome), std::string(Name(phase.clean))) << "clean run";
  const std::vector<std::string> ops = OperationsOf(clean);
  ASSERT_FALSE(ops.empty());

  // The key loop starts at the first key reading of a tick.
  const auto loopStart = std::find_if(clean.log.begin(), clean.log.end(), [](const auto& e) {
    return OpName(e) == "GetAsyncKeyState";
  });
  auto inKeyLoop = [&](const std::string& op) {
    return loopStart != clean.log.end() &&
           std::none_of(clean.log.begin(), loopStart,
                        [&](const std::string& e) { return OpName(e) == op; });
  };

  for (const std::string& op : ops) {
    for (Fault mode : {Fault::FailResult, Fault::Raise}) {
      SCOPED_TRACE(std::string(phase.name) + ", " + op + " " + Name(mode));
      World world;
      const Run run = RunPhase(world, phase, op, mode);
      const fake::FakeDesktop& desktop = world.desktop;
      ASSERT_TRUE(Calls(run.log, op)) << "the fault was never met";

      const Outcome expected = Expected(phase, op, mode, inKeyLoop(op));
      EXPECT_EQ(Name(run.outcome), std::string(Name(expected)));
      EXPECT_EQ(desktop.window.ended, expected != Outcome::Completed);
      if (expected == Outcome::EndedWithBox && run.outcome == expected) {
        world.ExpectOneBox(ExpectedBoxText(phase, op, mode));
      }
      if (expected != Outcome::EndedWithBox) {
        EXPECT_TRUE(desktop.windows.messageBoxes.empty());
      }
      if (mode == Fault::Raise && expected == Outcome::EndedWithBox) {
        // The handler is left at the failing step: after it come only the
        // regions and keys being unwound, the message box and the end as
        // Exit ends: the icon removed if there is a tray object, the user's
        // buttons set back.
        const auto failed = std::find_if(run.log.begin(), run.log.end(),
                                         [&](const auto& e) { return OpName(e) == op; });
        std::vector<std::string> after;
        for (auto it = std::next(failed); it != run.log.end(); ++it)
          if (OpName(*it) != "DeleteObject" && OpName(*it) != "RegCloseKey")
            after.push_back(OpName(*it));
        if (world.veltrane.SystemTray())
          EXPECT_THAT(after, ElementsAre("MessageBoxA", "Shell_NotifyIconA", "SwapMouseButton",
                                         "EndProcess"));
        else
          EXPECT_THAT(after, ElementsAre("MessageBoxA", "SwapMouseButton", "EndProcess"));
      }
      EXPECT_THAT(LeakedHandles(desktop), ::testing::IsEmpty());
      if (run.outcome == expected && phase.check) phase.check(world, op, mode, run);
    }
  }
}

bool Is(const std::string& op, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return op == n; });
}

// ---- The phases -----------------------------------------------------------

const Phase kStartup{
    "startup", true, nullptr, [](World& w) { w.veltrane.Start(); }, Outcome::Completed,
    [](World& w, const std::string& op, Fault mode, const Run& run) {
      if (run.outcome != Outcome::Completed) {
        // Display is the last step; a failure before it leaves the window unshown.
        EXPECT_FALSE(w.desktop.window.visible);
        return;
      }
      EXPECT_TRUE(w.desktop.window.visible);
      ASSERT_TRUE(w.veltrane.SystemTray());
      // A tray window that could not be created leaves the object without one.
      const bool noTrayWindow = mode == Fault::FailResult &&
                                Is(op, {"RegisterClassA", "CreateWindowExA", "DefWindowProcA"});
      EXPECT_EQ(w.Hidden() == 0, noTrayWindow);
      EXPECT_EQ(w.veltrane.SystemTray()->InTray(), platform::kTrue);
      if (op == "SetWindowRgn") {
        // Refused, the outline is still the program's, and it deletes it.
        EXPECT_TRUE(w.desktop.gdi.windowRegion.empty());
        EXPECT_THAT(Only(run.log, {"DeleteObject"}),
                    ::testing::Contains(fake::Format("DeleteObject", w.veltrane.SkinRegion())));
        EXPECT_FALSE(w.desktop.gdi.IsLive(w.veltrane.SkinRegion()));
      }
    }};

const Phase kTick{
    "tick",
    false,
    [](World& w) {
      // The Exit button lit, then the pointer gone to the bare surface;
      // F13 and Ctrl freshly pressed.
      w.desktop.mouse.cursor = {920, 730};
      w.desktop.window.Mouse(MouseAction::Move, w.At(ControlId::hitarea));
      ASSERT_TRUE(w.Shows(ControlId::overimg));
      w.desktop.mouse.cursor = {560, 740};
      w.desktop.keyboard.Press(platform::VK_F13);
      w.desktop.keyboard.Press(platform::VK_CONTROL);
    },
    [](World& w) { w.desktop.window.Tick(); },
    Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) {
        // The hover step failed: the key loop of that tick does not run.
        EXPECT_FALSE(Calls(run.log, "GetAsyncKeyState"));
        return;
      }
      // The loop always completes: five readings in table order, one swap, last.
      EXPECT_THAT(Only(run.log, {"GetAsyncKeyState"}),
                  ElementsAre("GetAsyncKeyState(124)", "GetAsyncKeyState(125)",
                              "GetAsyncKeyState(126)", "GetAsyncKeyState(92)",
                              "GetAsyncKeyState(17)"));
      EXPECT_EQ(Only(run.log, {"SwapMouseButton"}).size(), 1u);
      // A failed reading counts as no press.
      const bool readingsFail = op == "GetAsyncKeyState";
      EXPECT_EQ(run.log.back(), readingsFail ? "SwapMouseButton(0)" : "SwapMouseButton(1)");
      if (readingsFail) {
        EXPECT_TRUE(Only(run.log, {"keybd_event"}).empty());
      } else {  // a press that cannot be injected still has its release attempted
        EXPECT_THAT(Only(run.log, {"keybd_event"}),
                    ElementsAre("keybd_event(44,55,1,0)", "keybd_event(44,55,3,0)"));
      }
      // A failed pointer reading sees no move: the highlight stays.
      EXPECT_EQ(w.Shows(ControlId::overimg), op == "GetCursorPos");
    }};

const Phase kHoverMove{
    "hover move",
    false,
    [](World& w) {
      w.desktop.mouse.cursor = {560, 440};
      w.desktop.window.Mouse(MouseAction::Move, w.At(ControlId::xarea));
      ASSERT_TRUE(w.Shows(ControlId::ximg));
    },
    [](World& w) {
      w.desktop.mouse.cursor = {920, 730};
      w.desktop.window.Mouse(MouseAction::Move, w.At(ControlId::hitarea));
    },
    Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) return;
      const bool seesNoMove = op == "GetCursorPos";
      EXPECT_EQ(w.Shows(ControlId::ximg), seesNoMove);
      EXPECT_EQ(w.Shows(ControlId::overimg), !seesNoMove);
    }};

const Phase kTrayMouseUp{
    "tray MouseUp",
    false,
    [](World& w) { w.desktop.window.Click(w.At(ControlId::minarea)); },
    [](World& w) { EXPECT_TRUE(w.desktop.IconMouse(w.hidden, platform::WM_RBUTTONUP)); },
    Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) return;
      // Without the back pointer the message has no object to reach.
      EXPECT_EQ(w.desktop.window.visible, op != "GetWindowLongA");
      EXPECT_EQ(OpName(run.log.back()), "DefWindowProcA");
    }};

// Presses, moves and double clicks over the icon are not answered; only
// the hidden window's procedure runs.
const Phase kTrayUnanswered{
    "tray press", false, nullptr,
    [](World& w) { EXPECT_TRUE(w.desktop.IconMouse(w.hidden, platform::WM_LBUTTONDBLCLK)); },
    Outcome::Completed, nullptr};

const Phase kTaskbarRestart{
    "taskbar restart", false, nullptr, [](World& w) { w.desktop.RestartTaskbar(); },
    Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) return;
      const bool iconBack = !Is(op, {"GetWindowLongA", "Shell_NotifyIconA"});
      EXPECT_EQ(w.desktop.shell.Icon(w.hidden) != nullptr, iconBack);
      // The icon is still wanted: the next restart tries again.
      EXPECT_EQ(w.veltrane.SystemTray()->InTray(), platform::kTrue);
      EXPECT_EQ(w.veltrane.SystemTray()->RefCount(), 1u);
    }};

Phase Hide(const char* name, ControlId area) {
  return {name, false, nullptr, [area](World& w) { w.desktop.window.Click(w.At(area)); },
          Outcome::Completed,
          [](World& w, const std::string&, Fault, const Run& run) {
            if (run.outcome == Outcome::Completed) {
              EXPECT_FALSE(w.desktop.window.visible);
            }
          }};
}

Phase Exit(const char* name, ControlId area) {
  return {name, false, [](World& w) { w.CtrlTick(); },
          [area](World& w) { w.desktop.window.Click(w.At(area)); }, Outcome::Ended,
          [](World& w, const std::string& op, Fault, const Run& run) {
            if (run.outcome != Outcome::Ended) return;
            EXPECT_EQ(run.log.back(), "EndProcess(0)");
            EXPECT_EQ(w.desktop.shell.Icon(w.hidden) != nullptr, op == "Shell_NotifyIconA");
            EXPECT_EQ(w.desktop.mouse.swapped, op == "SwapMouseButton");
          }};
}

const Phase kWebLink{
    "web link", false, nullptr,
    [](World& w) { w.desktop.window.Click(w.At(ControlId::Image1)); }, Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome == Outcome::Completed) {
        EXPECT_EQ(w.desktop.shell.executed.size(), op == "ShellExecuteA" ? 0u : 1u);
      }
    }};

const Phase kDrag{
    "drag", false, nullptr,
    [](World& w) {
      w.desktop.window.Mouse(MouseAction::Down, {5, 300}, platform::kSecondaryButton);
    },
    Outcome::Completed, nullptr};

const Phase kButtonSettingChange{
    "mouse-button setting change", false,
    [](World& w) { w.desktop.mouse.swapped = true; },  // the user swaps them
    [](World& w) { w.desktop.window.MouseButtonsChanged(); }, Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) return;
      w.desktop.faults.Clear();
      w.desktop.window.Tick();
      // A failed reading of the setting reads as the normal assignment.
      EXPECT_EQ(w.desktop.mouse.swapped, op != "GetSystemMetrics");
    }};

const Phase kCloseRequest{
    "close request", false, [](World& w) { w.CtrlTick(); },
    [](World& w) { w.desktop.window.CloseRequest(); }, Outcome::Completed,
    [](World& w, const std::string& op, Fault, const Run& run) {
      if (run.outcome != Outcome::Completed) return;
      // Only the failed operation's own effect is missing.
      const bool iconStays = op == "Shell_NotifyIconA";
      const bool windowStays = Is(op, {"SendMessageA", "DefWindowProcA"});
      const bool classStays =
          windowStays || Is(op, {"GetModuleHandleA", "UnregisterClassA"});
      EXPECT_EQ(w.desktop.shell.icons.size(), iconStays ? 1u : 0u);
      EXPECT_EQ(w.desktop.windows.windows.size(), windowStays ? 1u : 0u);
      EXPECT_EQ(w.desktop.windows.classes.size(), classStays ? 1u : 0u);
      EXPECT_EQ(w.desktop.window.destroyed, op != "Destroy");
      EXPECT_EQ(w.desktop.mouse.swapped, op == "SwapMouseButton");
      EXPECT_FALSE(w.veltrane.SystemTray());
    }};

TEST(FaultInjection, Startup) { RunTable(kStartup); }
TEST(FaultInjection, Tick) { RunTable(kTick); }
TEST(FaultInjection, HoverMove) { RunTable(kHoverMove); }
TEST(FaultInjection, TrayMessages) {
  RunTable(kTrayMouseUp);
  RunTable(kTrayUnanswered);
}
TEST(FaultInjection, TaskbarRestart) { RunTable(kTaskbarRestart); }
TEST(FaultInjection, HideCommands) {
  RunTable(Hide("yellow dot", ControlId::minarea));
  RunTable(Hide("Minimize", ControlId::minbutarea));
}
TEST(FaultInjection, ExitCommands) {
  RunTable(Exit("Exit", ControlId::hitarea));
  RunTable(Exit("red dot", ControlId::xarea));
}
TEST(FaultInjection, WebLink) { RunTable(kWebLink); }
TEST(FaultInjection, Drag) { RunTable(kDrag); }
TEST(FaultInjection, MouseButtonSettingChange) { RunTable(kButtonSettingChange); }
TEST(FaultInjection, CloseRequest) { RunTable(kCloseRequest); }

// The tables follow the code; these are the operations they must at least reach.
TEST(FaultInjection, TheTablesReachEveryOperationOfStartupAndClose) {
  EXPECT_THAT(OperationsOf(CleanRun(kStartup)),
              ::testing::IsSupersetOf(
                  {"GetSystemMetrics", "GetDeviceCaps", "CreateWindow", "StartTimer",
                   "CreateRectRgn", "CreateRoundRectRgn", "CombineRgn", "DeleteObject",
                   "SetWindowRgn", "GetModuleHandleA", "RegisterClassA", "CreateWindowExA",
                   "DefWindowProcA", "RegisterWindowMessageA", "SetWindowLongA",
                   "Shell_NotifyIconA", "Hide", "Show"}));
  EXPECT_THAT(OperationsOf(CleanRun(kCloseRequest)),
              ::testing::IsSupersetOf({"Shell_NotifyIconA", "Destroy", "SendMessageA",
                                       "DefWindowProcA", "GetModuleHandleA", "UnregisterClassA",
                                       "SwapMouseButton"}));
}

// The untrapped-error path itself: a message box that cannot be shown still
// ends the process.
TEST(FaultInjection, AMessageBoxThatFailsStillEndsTheProcess) {
  for (Fault mode : {Fault::FailResult, Fault::Raise}) {
    SCOPED_TRACE(Name(mode));
    World w;
    w.veltrane.Start();
    w.desktop.faults.Inject("Hide", Fault::Raise);
    w.desktop.faults.Inject("MessageBoxA", mode);
    EXPECT_THROW(w.desktop.window.Click(w.At(ControlId::minarea)), fake::ProcessEnded);
    EXPECT_TRUE(w.desktop.window.ended);
    EXPECT_THAT(Only(w.desktop.log.Entries(), {"MessageBoxA", "EndProcess"}),
                ElementsAre(::testing::StartsWith("MessageBoxA("), "EndProcess(1)"));
  }
}

}  // namespace
