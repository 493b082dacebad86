// The main window on a fresh fake desktop, as the tests of the whole program
// drive it, and where a test points at one of its controls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "app/form.h"
#include "app/veltrane2.h"
#include "fake/fake_desktop.h"

namespace harness {

// The box of an untrapped error as the fake raises it by default.
inline const std::string kInvalidCallBox =
    "Run-time error '5':\n\nInvalid procedure call or argument";

// The centre of a control's rectangle.
inline platform::Point Centre(const app::Form& form, app::ControlId id) {
  const platform::Rect r = form.Get(id).rect;
  return {r.x + r.width / 2, r.y + r.height / 2};
}

// A fresh process on a fresh desktop with Veltrane2 made; Start() starts it.
struct StartedWindow {
  StartedWindow() = default;
  // A further process of that session, on the same desktop.
  explicit StartedWindow(std::shared_ptr<fake::Session> session) : desktop(std::move(session)) {}
  // A fault left in place would fire again while the window object goes.
  ~StartedWindow() { desktop.faults.Clear(); }

  // Starts the window; the log then holds only what follows.
  void Start() {
    veltrane.Start();
    desktop.log.Clear();
  }
  platform::Point At(app::ControlId id) const { return Centre(veltrane.GetForm(), id); }
  bool Shows(app::ControlId id) const { return veltrane.GetForm().Get(id).visible; }
  // The untrapped-error path showed one box, with this text, in Veltrane's name.
  void ExpectOneBox(const std::string& text) const {
    ASSERT_EQ(desktop.windows.messageBoxes.size(), 1u);
    EXPECT_EQ(desktop.windows.messageBoxes[0].text, text);
    EXPECT_EQ(desktop.windows.messageBoxes[0].caption, "Veltrane");
  }
  // The tray object's hidden window; 0 without one.
  platform::Handle Hidden() const {
    return veltrane.SystemTray() ? veltrane.SystemTray()->WindowHandle() : 0;
  }

  fake::FakeDesktop desktop;
  app::Veltrane2 veltrane{desktop, desktop.window};
};

}  // namespace harness
