// The host services of a URLLink on Windows: the property store is a text
// store the host keeps, text is measured in the control's own font, the
// pointer override is shared by every window of the application.
#pragma once

#include <windows.h>

#include <string>

#include "controls/text_property_store.h"
#include "controls/url_link.h"

namespace platform::windows::url_link {

// Whether the application-wide wait cursor is in force: every window of the
// application shows it instead of its own pointer while it is.
bool WaitPointerOverride();

class WindowsURLHost final : public controls::URLLinkHost {
 public:
  WindowsURLHost(HWND control, HFONT font, controls::TextPropertyStore& store)
      : control_(control), font_(font), store_(store) {}

  controls::PropertyValue ReadProperty(const std::string& name,
                                       const controls::PropertyValue& defaultValue) override;
  void WriteProperty(const std::string& name, const controls::PropertyValue& value,
                     const controls::PropertyValue& defaultValue) override;
  void PropertyChanged(const std::string& name) override;
  void SetPointerOverride(controls::HostPointer pointer) override;
  void ClearPointerOverride() override;
  void MsgBoxOk(const std::string& text, const std::string& caption) override;
  std::int32_t TextWidth(const std::string& text) override;
  std::int32_t TextHeight(const std::string& text) override;

  // Set by PropertyChanged, so that a host knows there is something to save.
  bool dirty = false;

 private:
  HWND control_;
  HFONT font_;
  controls::TextPropertyStore& store_;
};

}  // namespace platform::windows::url_link
