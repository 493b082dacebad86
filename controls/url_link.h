// URLLink: a label that reads as a web link and, pressed with the primary
// button, asks the shell to open its address after letting the host redirect
// or cancel through GoToURL. Its three properties live in the host's store.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "controls/property_value.h"
#include "platform/types.h"
#include "platform/win32.h"

namespace controls {

enum class HostPointer : std::uint8_t { Wait };

// What the control needs from the window or form that hosts it.
class URLLinkHost {
 public:
  virtual ~URLLinkHost() = default;
  virtual PropertyValue ReadProperty(const std::string& name,
                                     const PropertyValue& defaultValue) = 0;
  virtual void WriteProperty(const std::string& name, const PropertyValue& value,
                             const PropertyValue& defaultValue) = 0;
  virtual void PropertyChanged(const std::string& name) = 0;
  // The application-wide pointer override.
  virtual void SetPointerOverride(HostPointer pointer) = 0;
  virtual void ClearPointerOverride() = 0;
  // A message box with an OK button only; returns once it is closed.
  virtual void MsgBoxOk(const std::string& text, const std::string& caption) = 0;
  // The room a text takes in the control's font, in pixels.
  virtual std::int32_t TextWidth(const std::string& text) = 0;
  virtual std::int32_t TextHeight(const std::string& text) = 0;
};

// The label drawn on the control's surface, in the surface's pixels.
struct Label {
  std::string caption;
  platform::Rect rect;
  std::string toolTipText;
};

// Told whenever the label changes, so that a window can repaint it.
class LabelView {
 public:
  virtual ~LabelView() = default;
  virtual void LabelChanged(const Label& label) = 0;
};

// The properties as a designer lists them.
struct PropertyInfo {
  const char* name;
  std::int32_t dispId;
  const char* description;
  const char* category;
};

inline constexpr std::int32_t DISPID_TEXT = -517;

inline constexpr std::array<PropertyInfo, 3> kURLLinkProperties{{
    {"Text", DISPID_TEXT, "Text displayed in control", "Text"},
    {"URL", 1,
     "URL loaded when mouse is clicked over text. May also be a data file that has an extension "
     "registered by an application on your system.",
     "Behavior"},
    {"ShowToolTip", 2,
     "Determines if the URL is displayed in a tooltip when the mouse is parked over the text",
     "Behavior"},
}};

// A newly placed control's size (4800 x 3600 units of 1/1440 inch at 96 dpi).
inline constexpr std::int32_t kURLLinkDesignWidth = 320;
inline constexpr std::int32_t kURLLinkDesignHeight = 240;

inline constexpr const char* kMessageCaption = "Veltrane";

// "Unable to load '<address>' : <description> (Error <number>)"
std::string UnableToLoadText(const std::string& address, const std::string& description,
                             std::int32_t number);

class URLLink {
 public:
  // `hWnd` is the control's own window, the owner of what the shell opens.
  URLLink(URLLinkHost& host, platform::Shell& shell, platform::Handle hWnd);

  // GoToURL(URL, Cancel): raised before anything is opened; the handler may
  // replace the address or set Cancel. Empty when no handler is attached.
  std::function<void(std::string& URL, platform::Bool16& Cancel)> GoToURL;

  void SetView(LabelView* view) { view_ = view; }

  std::string Text() const { return lblURL.caption; }
  void SetText(const std::string& sText);
  std::string URL() const { return m_sURL; }
  void SetURL(const std::string& sURL);
  platform::Bool16 ShowToolTip() const { return m_bShowToolTip; }
  void SetShowToolTip(platform::Bool16 bShowToolTip);

  const Label& LabelURL() const { return lblURL; }

  // The host placed a new instance.
  void InitProperties();
  // The host re-creates a stored instance; a value that cannot be read or
  // converted falls back to a new instance's properties, silently.
  void ReadProperties();
  void WriteProperties();

  // Mouse-down on lblURL; only the button code is used.
  void lblURL_MouseDown(std::int16_t Button, std::int16_t Shift, platform::Point at);

 private:
  void RefreshToolTip();
  void Changed();

  URLLinkHost& host_;
  platform::Shell& shell_;
  platform::Handle hWnd_;
  LabelView* view_ = nullptr;

  // Until the first property step, the label keeps its design state.
  Label lblURL{"Label1", {8, 8, 105, 41}, ""};
  std::string m_sURL;
  platform::Bool16 m_bShowToolTip = platform::kFalse;
};

}  // namespace controls
