// The main window Veltrane2: startup, the commands behind its controls, the
// timer tick, the ways the program ends and the untrapped-error path.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>

#include "app/form.h"
#include "keys/button_assignment.h"
#include "keys/key_poller.h"
#include "skin/hover.h"
#include "skin/skin_region.h"
#include "tray/residency.h"
#include "platform/win32.h"
#include "platform/window_layer.h"

namespace app {

class Veltrane2 : public platform::WindowEvents,
                  private FormEvents,
                  private skin::HighlightPictures {
 public:
  Veltrane2(platform::Win32& win32, platform::WindowLayer& window);

  // Creates the window from its layout, runs its creation steps and displays it.
  void Start();
  // Start, then the message loop until the process ends.
  void Run();

  const Form& GetForm() const { return *form_; }
  const skin::HoverFeedback& Hover() const { return hover_; }
  platform::Handle SkinRegion() const { return skinShape_.hSkinRgn(); }
  const tray::InTrayRef& SystemTray() const { return residency_.SystemTray(); }

  // platform::WindowEvents
  void OnMouse(platform::MouseAction action, platform::Point client, std::int16_t button) override;
  platform::Pointer PointerAt(platform::Point client) override;
  void OnPaint(platform::Canvas& canvas) override;
  void OnTimer() override;
  void OnCloseRequest() override;
  void OnEndSession(bool ending) override;
  void OnCaptureLost() override;
  void OnMouseButtonsChanged() override;
  std::optional<platform::LResult> OnRegisteredMessage(std::uint32_t message) override;

 private:
  // FormEvents
  void OnControlMouseMove(const Control& control) override;
  void OnControlClick(const Control& control) override;
  void OnSurfaceMouseDown(std::int16_t button) override;
  void CapturePointer() override;
  void ReleasePointer() override;

  // skin::HighlightPictures
  void SetVisible(platform::Picture picture, bool visible) override;

  // Running, until a close request, a session end, Exit or the red dot
  // begins the end, or an untrapped error its report. Windows delivers
  // messages while the program waits on a shell call or shows its box; from
  // the first step of an end on, they find no handler to run.
  enum class Phase : std::uint8_t { Running, Ending, Reporting };

  void CreateFromLayout();
  // The window's rectangle moved into the work area of the monitor it falls on.
  platform::Rect OnScreen(const platform::Rect& window);
  void CreationSteps();
  void EnterPhase(Phase phase);
  void Close();
  [[noreturn]] void EndAtOnce();
  // Shows the error in a message box, then ends the process as Exit does.
  // Only the first error is told: the box runs its own message loop, and an
  // error raised meanwhile returns here at once.
  void ReportUntrapped(const std::exception& error);
  void OpenHomePage();

  // Runs a handler while the program is running; an error that leaves it
  // takes the untrapped-error path.
  template <typename Handler>
  void Handle(Handler handler);

  platform::Win32& win32_;
  platform::WindowLayer& window_;
  std::optional<Form> form_;
  keys::ButtonAssignment buttons_;
  keys::KeyPoller poller_;
  skin::HoverFeedback hover_{win32_, *this};
  skin::SkinShape skinShape_{win32_};
  tray::TrayResidency residency_{win32_, window_};
  Phase phase_ = Phase::Running;
  std::uint32_t showRequest_ = 0;   // a later start's message number
};

// A start of the program: the session's only copy runs Veltrane2 until the
// process ends; a later start hands over to the copy that runs, or ends if
// it cannot reach it. Returns the exit code.
int RunVeltrane(platform::Win32& win32, platform::WindowLayer& window);

}  // namespace app
