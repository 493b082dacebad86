// The main window on Windows: owns the HWND, its procedure, painting,
// cursors and the message loop, and forwards each message as a portable event.
#pragma once

#include "platform/window_layer.h"

namespace platform::windows {

class WindowsWindowLayer final : public WindowLayer {
 public:
  Handle Create(const WindowDesc& desc, WindowEvents& events) override;
  Handle WindowHandle() const override { return window_; }
  Rect WorkAreaOf(const Rect& screen) const override;
  Handle SmallIconHandle() const override { return smallIcon_; }
  void Show() override;
  void Hide() override;
  void SetStateNormal() override;
  void Invalidate(const Rect& client) override;
  void StartTimer(std::uint32_t intervalMs) override;
  void Destroy() override;
  void RunMessageLoop() override;
  [[noreturn]] void EndProcess(std::uint32_t exitCode) override;

  // The window procedure's body, for the window this layer created.
  LResult Dispatch(std::uint32_t message, WParam wParam, LParam lParam);

 private:
  void Paint();

  Handle window_ = 0;
  Handle smallIcon_ = 0;
  WindowEvents* events_ = nullptr;
};

}  // namespace platform::windows
