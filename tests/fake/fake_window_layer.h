// The fake of the window layer: one window whose events a test raises by
// hand, with what the program asked of it recorded in the desktop's log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fake/call_log.h"
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
  explicit FakeWindowLayer(CallLog& log, Faults& faults) : log_(log), faults_(faults) {}

  platform::Handle Create(const platform::WindowDesc& desc, platform::WindowEvents& events) override;
  platform::Handle WindowHandle() const override { return handle; }
  platform::Handle IconHandle() const override { return kIcon; }
  void Show() override;
  void Hide() override;
  void SetStateNormal() override;
  void Invalidate(const platform::Rect& client) override;
  void StartTimer(std::uint32_t intervalMs) override;
  void Destroy() override;
  void RunMessageLoop() override;
  [[noreturn]] void EndProcess() override;

  // What a test does to the window.
  void Tick();
  void Mouse(platform::MouseAction action, platform::Point client, std::int16_t button = 0);
  void Click(platform::Point client, std::int16_t button = platform::kPrimaryButton);
  void CloseRequest();
  // WM_QUERYENDSESSION is answered by the window layer; this is WM_ENDSESSION.
  void EndSession(bool ending);
  void CaptureLost();
  void MouseButtonsChanged();
  platform::Pointer PointerAt(platform::Point client);
  std::vector<Drawn> Paint();

  static constexpr platform::Handle kWindow = 0x1000;
  static constexpr platform::Handle kIcon = 0x7001;

  platform::Handle handle = 0;
  platform::WindowDesc desc{};
  bool created = false;
  bool visible = false;
  bool destroyed = false;
  bool ended = false;
  std::uint32_t timerInterval = 0;
  int invalidations = 0;

 private:
  CallLog& log_;
  Faults& faults_;
  platform::WindowEvents* events_ = nullptr;
};

}  // namespace fake
