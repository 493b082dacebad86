// The fake of the window layer: one window whose events a test raises by
// hand, with what the program asked of it recorded in the desktop's log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fake/call_log.h"
#include "fake/fake_input.h"
#include "platform/window_layer.h"

namespace fake {

// Thrown by EndProcess so that a test sees the process end where it would.
struct ProcessEnded {};

struct Drawn {
  platform::Picture picture;   // None stands for the button-face fill
  platform::Point at;
  friend bool operator==(const Drawn&, const Drawn&) = default;
};

class FakeWindowLayer : public platform::WindowLayer {
 public:
  FakeWindowLayer(CallLog& log, Faults& faults, Mouse& mouse)
      : log_(log), faults_(faults), mouse_(mouse) {}

  platform::Handle Create(const platform::WindowDesc& desc, platform::WindowEvents& events) override;
  platform::Handle WindowHandle() const override { return handle; }
  platform::Rect WorkAreaOf(const platform::Rect&) const override { return workArea; }
  platform::Handle SmallIconHandle() const override { return kSmallIcon; }
  void Show() override;
  void Hide() override;
  void SetStateNormal() override;
  void Invalidate(const platform::Rect& client) override;
  void StartTimer(std::uint32_t intervalMs) override;
  void Destroy() override;
  void RunMessageLoop() override;
  [[noreturn]] void EndProcess(std::uint32_t exitCode) override;

  // What a test does to the window.
  void Tick();
  // The pointer at a client point: the window hears of it there, or, while it
  // holds the capture, wherever it is.
  void Mouse(platform::MouseAction action, platform::Point client, std::int16_t button = 0);
  void Click(platform::Point client, std::int16_t button = platform::kPrimaryButton);
  void CloseRequest();
  // WM_QUERYENDSESSION is answered by the window layer; this is WM_ENDSESSION.
  void EndSession(bool ending);
  // Another window takes the pointer's capture from this one, if it held it
  // (WM_CAPTURECHANGED), and has let it go again by the next message.
  void CaptureLost();
  // WM_CAPTURECHANGED: `winner` holds the capture now.
  void CaptureChanged(platform::Handle winner);
  void MouseButtonsChanged();
  platform::Pointer PointerAt(platform::Point client);
  std::vector<Drawn> Paint();
  // A registered message sent to the window by another process.
  platform::LResult Receive(std::uint32_t message);

  static constexpr platform::Handle kWindow = 0x1000;
  static constexpr platform::Handle kSmallIcon = 0x7002;
  static constexpr platform::Handle kOtherWindow = 0x5000;   // some other program's

  // Made and not yet destroyed: a window other processes can find.
  bool Exists() const { return created && !destroyed; }

  platform::Handle handle = 0;
  platform::Handle ownHandle = kWindow;   // what Create gives: each process has its own
  std::function<void()> onCreate;         // the window is made, above the others
  std::function<void()> onEnd;            // the process is gone
  platform::WindowDesc desc{};
  bool created = false;
  bool visible = false;
  bool destroyed = false;
  bool ended = false;
  std::uint32_t timerInterval = 0;
  // A 1920 x 1080 screen with a 40-pixel taskbar along its bottom.
  platform::Rect workArea{0, 0, 1920, 1040};
  int invalidations = 0;

 private:
  CallLog& log_;
  Faults& faults_;
  fake::Mouse& mouse_;
  platform::WindowEvents* events_ = nullptr;
};

}  // namespace fake
