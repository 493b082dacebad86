// The main window's picture controls at run time: where they are in pixels,
// which are shown, which one a point belongs to, what a click is and what is
// painted in which order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/layout.h"
#include "platform/window_layer.h"
#include "skin/hover.h"

namespace app {

// A picture control; its name (the hot-area part) is readable as text.
struct Control : skin::HotArea {
  ControlId id;
  platform::Rect rect;   // client pixels
  bool visible;
  platform::Picture picture;
  platform::Pointer pointer;
};

// What the form reports once it has routed a mouse message.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void OnControlMouseMove(const Control& control) = 0;
  virtual void OnControlClick(const Control& control) = 0;
  virtual void OnSurfaceMouseDown(std::int16_t button) = 0;
  // The first button went down: the window keeps the pointer until the last
  // one comes up, so that a release outside is still seen (and is no click).
  virtual void CapturePointer() = 0;
  // The last button came up; told before the click it makes, if any, so that
  // a command that waits (a browser starting) does not hold the pointer.
  virtual void ReleasePointer() = 0;
};

class Form {
 public:
  // Builds the picture controls for a screen of the given densities.
  Form(std::int32_t dpiX, std::int32_t dpiY);

  // The topmost shown control containing the point, or none: the bare surface.
  const Control* ControlAt(platform::Point client) const;
  const Control& Get(ControlId id) const;
  // The control that shows `picture`.
  const Control& Showing(platform::Picture picture) const;
  // Returns the rectangle to repaint when the visibility changed, else an empty one.
  platform::Rect SetVisible(ControlId id, bool visible);

  void Route(platform::MouseAction action, platform::Point client, std::int16_t button,
             FormEvents& events);
  // The pointer's capture was taken away: the pending press is dropped, so
  // a later release over the same control is no click.
  void ForgetPress() {
    pressed_ = nullptr;
    held_ = 0;
  }
  platform::Pointer PointerAt(platform::Point client) const;
  void Paint(platform::Canvas& canvas) const;

 private:
  Control& Find(ControlId id);

  // Timer1 is a control of the layout, but not a picture control.
  std::array<Control, kControls.size() - 1> controls_;
  const Control* pressed_ = nullptr;   // where the primary button went down
  std::int16_t held_ = 0;              // the buttons down since the capture was taken
};

}  // namespace app
