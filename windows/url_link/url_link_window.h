// The URLLink as a child window: it draws lblURL, shows the link cursor over
// it, keeps its tooltip and hands presses on it to the portable control.
#pragma once

#include <windows.h>

#include <memory>

#include "controls/text_property_store.h"
#include "controls/url_link.h"
#include "platform/win32.h"
#include "windows/url_link/url_link_host.h"

namespace platform::windows::url_link {

// An HFONT owned for the control's life.
class Font {
 public:
  explicit Font(HFONT font) : font_(font) {}
  ~Font() {
    if (font_) ::DeleteObject(font_);
  }
  Font(Font&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
  Font& operator=(Font&&) = delete;
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  HFONT Get() const { return font_; }

 private:
  HFONT font_;
};

class URLLinkWindow final : private controls::LabelView {
 public:
  static constexpr const char* kClassName = "Veltrane URLLink";

  // Creates the control on `parent`. With `load` the properties come from the
  // store, otherwise the control starts as a newly placed one. The link
  // cursor is the resource `linkCursorId` of the program's module. The store
  // and the shell must outlive the window, which owns the returned object.
  static URLLinkWindow& Create(HWND parent, const RECT& bounds, controls::TextPropertyStore& store,
                               platform::Shell& shell, int linkCursorId, bool load);

  HWND Handle() const { return window_; }
  controls::URLLink& Link() { return link_; }
  bool Dirty() const { return host_.dirty; }
  // lblURL in screen coordinates.
  RECT LabelOnScreen() const;

 private:
  URLLinkWindow(HWND window, controls::TextPropertyStore& store, platform::Shell& shell,
                HCURSOR linkCursor);
  ~URLLinkWindow() override = default;

  static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT uMsg, WPARAM wParam, LPARAM lParam);

  void LabelChanged(const controls::Label& label) override;
  bool InLabel(LPARAM lParam) const;
  void MouseDown(std::int16_t button, WPARAM keys, LPARAM lParam);
  void Paint();

  HWND window_;
  Font font_;
  HCURSOR linkCursor_;
  HWND toolTip_ = nullptr;
  WindowsURLHost host_;
  controls::URLLink link_;
};

}  // namespace platform::windows::url_link
