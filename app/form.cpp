#include "app/form.h"

#include <stdexcept>

namespace app {

Form::Form(std::int32_t dpiX, std::int32_t dpiY) {
  for (std::size_t i = 1; i < kControls.size(); ++i) {
    const ControlRow& row = kControls[i];
    platform::Rect rect = ToPixels(row.units, dpiX, dpiY);
    if (row.picture != platform::Picture::None) {
      // A control with a picture takes the picture's own size.
      const PictureSize size = SizeOf(row.picture);
      rect.width = size.width;
      rect.height = size.height;
    }
    controls_[i - 1] = {{row.name}, row.id, rect, row.shownAtCreation, row.picture, row.pointer};
  }
}

const Control* Form::ControlAt(platform::Point client) const {
  for (const Control& control : controls_)
    if (control.visible && control.rect.Contains(client)) return &control;
  return nullptr;
}

Control& Form::Find(ControlId id) {
  for (Control& control : controls_)
    if (control.id == id) return control;
  throw std::out_of_range("no such control");
}

const Control& Form::Get(ControlId id) const { return const_cast<Form*>(this)->Find(id); }

const Control& Form::Showing(platform::Picture picture) const {
  for (const Control& control : controls_)
    if (control.picture == picture) return control;
  throw std::out_of_range("no control shows that picture");
}

platform::Rect Form::SetVisible(ControlId id, bool visible) {
  Control& control = Find(id);
  if (control.visible == visible) return {};
  control.visible = visible;
  return control.rect;
}

void Form::Route(platform::MouseAction action, platform::Point client, std::int16_t button,
                 FormEvents& events) {
  const Control* target = ControlAt(client);
  switch (action) {
    case platform::MouseAction::Move:
      if (target) events.OnControlMouseMove(*target);
      break;
    case platform::MouseAction::Down:
      if (held_ == 0) events.CapturePointer();
      held_ = static_cast<std::int16_t>(held_ | button);
      if (!target) {
        pressed_ = nullptr;
        events.OnSurfaceMouseDown(button);
      } else if (button == platform::kPrimaryButton) {
        pressed_ = target;
      }
      break;
    case platform::MouseAction::Up: {
      // Releasing the capture tells the window it lost it, which forgets the
      // press: the press is taken first.
      const Control* pressed = button == platform::kPrimaryButton ? pressed_ : nullptr;
      if (button == platform::kPrimaryButton) pressed_ = nullptr;
      const bool wasHeld = held_ != 0;
      held_ = static_cast<std::int16_t>(held_ & ~button);
      if (wasHeld && held_ == 0) events.ReleasePointer();
      if (pressed && pressed == target) events.OnControlClick(*target);
      break;
    }
  }
}

platform::Pointer Form::PointerAt(platform::Point client) const {
  const Control* control = ControlAt(client);
  return control ? control->pointer : platform::Pointer::Arrow;
}

void Form::Paint(platform::Canvas& canvas) const {
  canvas.FillButtonFace();
  canvas.Draw(platform::Picture::Skin, {0, 0});
  // From the bottom of the stacking order to the top.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if (it->visible && it->picture != platform::Picture::None)
      canvas.Draw(it->picture, {it->rect.x, it->rect.y});
}

}  // namespace app
