// The main window's residency in the notification area: its icon is added
// while the window is created, a released button over it brings the window
// back, and the icon leaves when the window goes.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "platform/window_layer.h"
#include "tray/clsInTray.h"

namespace tray {

class TrayResidency : private clsInTrayEvents {
 public:
  TrayResidency(platform::Win32& win32, platform::WindowLayer& window)
      : win32_(win32), window_(window) {}

  // The last creation steps of the main window: icon added, window hidden.
  void CreationSteps();
  // On each tick. A shell busy at logon can refuse the first add on its own
  // time-out while the taskbar runs, so no "TaskbarCreated" will come to
  // make up for it: the icon is asked for again every 2 s for a minute,
  // until the shell takes it or the icon is removed.
  void RetryRefusedIcon();
  // Takes the icon out of the notification area: the unload step, and the
  // first thing Exit does. Without a tray object (startup failed before it,
  // or the final steps released it) there is no icon to take out.
  void RemoveIcon();
  // The program is ending: the icon's events are no longer answered.
  void StopAnswering();
  // After the window is destroyed: the icon removed once more, then the tray
  // object released, which closes its window and unregisters its class.
  void FinalSteps();

  // The window back on screen, in its normal state, in front: the answer to
  // the icon's MouseUp, for any button, and to a later start of the program.
  void ShowWindow();

  const InTrayRef& SystemTray() const { return SystemTray_; }

 private:
  void MouseUp(std::int16_t) override { ShowWindow(); }

  platform::Win32& win32_;
  platform::WindowLayer& window_;
  InTrayRef SystemTray_;   // the only counted reference to the tray object
  int retriesLeft_ = 0;
  std::uint32_t lastTry_ = 0;   // GetTickCount of the last add
};

}  // namespace tray
