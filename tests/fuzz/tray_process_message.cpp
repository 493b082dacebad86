// Fuzzes the tray object's notifications, reached directly through
// ProcessMessage and through the hidden window's procedure, mixed with
// taskbar restarts, icon calls and receivers coming and going. Every message
// must raise at most one event, the one the mouse message stands for, to each
// receiver advised at that moment; no path may add or drop a counted reference,
// and an error from a receiver must never unwind out of the window procedure.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake/fake_desktop.h"
#include "fuzz_check.h"
#include "platform/constants.h"
#include "tray/clsInTray.h"
#include "tray/modInTray.h"

namespace {

enum class Kind { Move, Down, Up, Dbl };

struct Event {
  Kind kind;
  std::int16_t button;
  friend bool operator==(const Event&, const Event&) = default;
};

// The mouse messages in the order the system numbers them: a move, then
// down, up and double-click for the primary, secondary and middle buttons.
std::optional<Event> Expected(platform::LParam lParam) {
  if (lParam == 512) return Event{Kind::Move, 0};
  if (lParam < 513 || lParam > 521) return std::nullopt;
  const auto index = static_cast<int>(lParam - 513);
  constexpr Kind kKinds[] = {Kind::Down, Kind::Up, Kind::Dbl};
  return Event{kKinds[index % 3], static_cast<std::int16_t>(1 << (index / 3))};
}

struct Failure : std::runtime_error {
  Failure() : std::runtime_error("receiver failed") {}
};

struct Receiver : tray::clsInTrayEvents {
  void MouseMove() override { Got({Kind::Move, 0}); }
  void MouseUp(std::int16_t Button) override { Got({Kind::Up, Button}); }
  void MouseDown(std::int16_t Button) override { Got({Kind::Down, Button}); }
  void DblClick(std::int16_t Button) override { Got({Kind::Dbl, Button}); }

  void Got(Event event) {
    events.push_back(event);
    if (throws) throw Failure();
  }

  std::vector<Event> events;
  bool throws = false;
};

platform::LParam PickLParam(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<platform::LParam>(505, 530);
    // Values that agree with a mouse message in their low bits only.
    case 1:
      return static_cast<platform::LParam>(in.ConsumeIntegralInRange<std::uint64_t>(512, 521) +
                                           (in.ConsumeIntegral<std::uint64_t>() << 16));
    case 2: return -in.ConsumeIntegralInRange<platform::LParam>(0, 0x10000);
    default: return in.ConsumeIntegral<platform::LParam>();
  }
}

class Run {
 public:
  Run() {
    tray::SetUntrappedErrorHandler([this](const std::exception&) { ++untrapped_; });
    obj_ = tray::clsInTray::Create(desktop_);
    hwnd_ = obj_->WindowHandle();
    FUZZ_CHECK(hwnd_ != 0 && desktop_.windows.IsWindow(hwnd_), "no hidden window");
  }

  void Step(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0: {  // a direct call: an error from a receiver reaches the caller
        const auto wParam = in.ConsumeIntegral<platform::WParam>();
        const platform::LParam lParam = PickLParam(in);
        bool threw = false;
        try {
          obj_->ProcessMessage(wParam, lParam);
        } catch (const Failure&) {
          threw = true;
        }
        CheckDelivery(Expected(lParam), threw, "ProcessMessage");
        break;
      }
      case 1: {  // the shell's notification through the window procedure
        const auto wParam = in.ConsumeIntegral<platform::WParam>();
        const platform::LParam lParam = PickLParam(in);
        Send(tray::WM_TRAYICON, wParam, lParam);
        break;
      }
      case 2: {  // any other message the window may receive
        const auto uMsg = in.ConsumeBool() ? in.ConsumeIntegral<std::uint32_t>()
                                           : in.ConsumeIntegralInRange<std::uint32_t>(0, 0x420);
        Send(uMsg, in.ConsumeIntegral<platform::WParam>(), in.ConsumeIntegral<platform::LParam>());
        break;
      }
      case 3: {  // the taskbar comes back: a requested icon is added again
        const std::size_t adds = Adds();
        const bool reaches = desktop_.windows.IsWindow(hwnd_) && obj_->InTray() != 0;
        if (in.ConsumeBool())
          desktop_.RestartTaskbar();
        else
          desktop_.StopTaskbar();
        CheckNoEvents("taskbar");
        FUZZ_CHECK(Adds() == adds + (reaches && desktop_.shell.taskbarRunning ? 1 : 0),
                   "RecreateIcon made %zu NIM_ADD calls", Adds() - adds);
        break;
      }
      case 4:
        switch (in.ConsumeIntegralInRange(0, 3)) {
          case 0: obj_->AddIcon(); break;
          case 1: obj_->ModifyIcon(); break;
          case 2: obj_->RemoveIcon(); break;
          default: obj_->RecreateIcon(); break;
        }
        CheckNoEvents("icon call");
        break;
      case 5: {  // a receiver comes or goes; a receiver is advised at most once
        Receiver& r = receivers_[in.ConsumeIntegralInRange<std::size_t>(0, receivers_.size() - 1)];
        const auto at = std::find(advised_.begin(), advised_.end(), &r);
        if (at == advised_.end()) {
          obj_->Advise(r);
          advised_.push_back(&r);
        } else {
          obj_->Unadvise(r);
          advised_.erase(at);
        }
        break;
      }
      case 6: {
        Receiver& r = receivers_[in.ConsumeIntegralInRange<std::size_t>(0, receivers_.size() - 1)];
        r.throws = !r.throws;
        break;
      }
      default: {  // the pointer over the icon, as the shell reports it
        const auto message = in.ConsumeIntegralInRange<std::uint32_t>(510, 523);
        const bool alive = desktop_.windows.IsWindow(hwnd_);
        const bool shown = desktop_.shell.Icon(hwnd_) != nullptr;
        FUZZ_CHECK(desktop_.IconMouse(hwnd_, message) == shown, "icon state disagrees");
        if (shown && alive)
          CheckThroughProcedure(Expected(message), "IconMouse");
        else
          CheckNoEvents("IconMouse without an icon or a window");
        break;
      }
    }
    FUZZ_CHECK(obj_->RefCount() == 1, "reference count %u after a step", obj_->RefCount());
  }

  void Finish() {
    const bool shown = obj_->InTray() != 0;
    const std::size_t deletes = Count("Shell_NotifyIconA(2,");
    obj_.Reset();
    FUZZ_CHECK(!desktop_.windows.IsWindow(hwnd_), "hidden window outlives its object");
    FUZZ_CHECK(Count("Shell_NotifyIconA(2,") == deletes + (shown ? 1 : 0),
               "release removed the icon %zu times", Count("Shell_NotifyIconA(2,") - deletes);
    FUZZ_CHECK(desktop_.shell.Icon(hwnd_) == nullptr, "icon left behind");
    FUZZ_CHECK(!desktop_.windows.IsClassRegistered("VB InTray Class"), "class left registered");
    FUZZ_CHECK(untrapped_ == expectedUntrapped_, "untrapped errors: %d, expected %d", untrapped_,
               expectedUntrapped_);
    tray::SetUntrappedErrorHandler(nullptr);
  }

 private:
  void Send(std::uint32_t uMsg, platform::WParam wParam, platform::LParam lParam) {
    const bool alive = desktop_.windows.IsWindow(hwnd_);
    const std::size_t adds = Adds();
    const bool inTray = obj_->InTray() != 0;
    desktop_.SendMessageA(hwnd_, uMsg, wParam, lParam);  // must not throw
    const auto& module = tray::State();
    FUZZ_CHECK(!alive || module.bTaskbarMsgRegistered != 0, "TaskbarCreated not registered");
    if (alive && uMsg == tray::WM_TRAYICON) {
      CheckThroughProcedure(Expected(lParam), "WM_TRAYICON");
      return;
    }
    CheckNoEvents("other message");
    const bool restart = alive && module.msgTaskbarCreated != 0 && uMsg == module.msgTaskbarCreated;
    FUZZ_CHECK(Adds() == adds + (restart && inTray ? 1 : 0), "message %u made %zu NIM_ADD calls",
               uMsg, Adds() - adds);
  }

  void CheckThroughProcedure(std::optional<Event> expected, const char* path) {
    const bool threw = CheckDelivery(expected, std::nullopt, path);
    if (threw) ++expectedUntrapped_;
    FUZZ_CHECK(untrapped_ == expectedUntrapped_, "%s: untrapped errors %d, expected %d", path,
               untrapped_, expectedUntrapped_);
  }

  // Each advised receiver, in the order they were advised, gets the event
  // once, until one throws; nobody else gets anything. Returns whether one threw.
  bool CheckDelivery(std::optional<Event> expected, std::optional<bool> threw, const char* path) {
    bool stopped = false;
    for (Receiver* r : advised_) {
      const bool due = expected && !stopped;
      FUZZ_CHECK(r->events.size() == (due ? 1u : 0u), "%s: a receiver got %zu events", path,
                 r->events.size());
      if (due) {
        FUZZ_CHECK(r->events[0] == *expected, "%s: wrong event (kind %d, button %d)", path,
                   static_cast<int>(r->events[0].kind), r->events[0].button);
        stopped = r->throws;
      }
      r->events.clear();
    }
    if (threw) FUZZ_CHECK(*threw == stopped, "%s: error %s", path, stopped ? "lost" : "invented");
    CheckNoEvents(path);
    return stopped;
  }

  void CheckNoEvents(const char* path) {
    for (Receiver& r : receivers_)
      FUZZ_CHECK(r.events.empty(), "%s: %zu unexpected events", path, r.events.size());
  }

  std::size_t Count(const std::string& prefix) const {
    const auto& entries = desktop_.log.Entries();
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [&](auto& e) {
      return e.compare(0, prefix.size(), prefix) == 0;
    }));
  }
  std::size_t Adds() const { return Count("Shell_NotifyIconA(0,"); }

  fake::FakeDesktop desktop_;
  tray::InTrayRef obj_;
  platform::Handle hwnd_ = 0;
  std::array<Receiver, 3> receivers_;
  std::vector<Receiver*> advised_;
  int untrapped_ = 0;
  int expectedUntrapped_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Run run;
  for (int steps = 0; steps < 64 && in.remaining_bytes() > 0; ++steps) run.Step(in);
  run.Finish();
  return 0;
}
