// The window layer: what the main window needs from a real window. The
// Windows implementation owns the HWND, its procedure, painting, cursors and
// the message loop, and turns messages into the portable events below; every
// decision about those events is made on the portable side.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/types.h"

namespace platform {

enum class Picture : std::uint8_t { None, Skin, MinButImg, MinImg, XImg, OverImg };
enum class Pointer : std::uint8_t { Arrow, Hand };
enum class MouseAction : std::uint8_t { Move, Down, Up };

struct WindowDesc {
  Rect bounds;             // screen position and client size in pixels
  const char* text;        // the window text
  const char* className;   // what a later start finds the window by
};

// Where the portable side paints, in client coordinates.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void FillButtonFace() = 0;
  virtual void Draw(Picture picture, Point topLeft) = 0;
};

// Events the window layer raises; the portable main window answers them.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  // `button` is the button code for Down and Up, 0 for Move.
  virtual void OnMouse(MouseAction action, Point client, std::int16_t button) = 0;
  virtual Pointer PointerAt(Point client) = 0;
  virtual void OnPaint(Canvas& canvas) = 0;
  virtual void OnTimer() = 0;
  virtual void OnCloseRequest() = 0;
  // The session ends (logoff or shutdown) if `ending`; else an ending was called off.
  // The process may be ended as soon as this returns.
  virtual void OnEndSession(bool ending) = 0;
  // The window lost the pointer's capture while a button may have been down.
  virtual void OnCaptureLost() = 0;
  // The user changed the mouse-button assignment in the system settings.
  virtual void OnMouseButtonsChanged() = 0;
  // A message of a number RegisterWindowMessageA gives, possibly from
  // another process: the answer, or none for one the program does not know.
  virtual std::optional<LResult> OnRegisteredMessage(std::uint32_t message) = 0;
};

class WindowLayer {
 public:
  virtual ~WindowLayer() = default;
  // Creates the frameless window, hidden, and returns its handle; 0 if the
  // window or its class cannot be created.
  virtual Handle Create(const WindowDesc& desc, WindowEvents& events) = 0;
  virtual Handle WindowHandle() const = 0;
  // The work area (the monitor less its taskbar and docked bars) of the
  // monitor a screen rectangle falls on, or the nearest; empty if unknown.
  virtual Rect WorkAreaOf(const Rect& screen) const = 0;
  // The window's icon at the system's small-icon size: what the notification
  // area shows, drawn from its own 16 x 16 image rather than shrunk.
  virtual Handle SmallIconHandle() const = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetStateNormal() = 0;
  virtual void Invalidate(const Rect& client) = 0;
  virtual void StartTimer(std::uint32_t intervalMs) = 0;
  // Destroys the window; the message loop then ends.
  virtual void Destroy() = 0;
  virtual void RunMessageLoop() = 0;
  [[noreturn]] virtual void EndProcess(std::uint32_t exitCode) = 0;
};

}  // namespace platform
