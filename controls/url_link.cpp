#include "controls/url_link.h"

#include <exception>
#include <new>

#include "platform/constants.h"
#include "platform/error.h"

namespace controls {

std::string UnableToLoadText(const std::string& address, const std::string& description,
                             std::int32_t number) {
  return "Unable to load '" + address + "' : " + description + " (Error " +
         std::to_string(number) + ")";
}

URLLink::URLLink(URLLinkHost& host, platform::Shell& shell, platform::Handle hWnd)
    : host_(host), shell_(shell), hWnd_(hWnd) {}

void URLLink::Changed() {
  if (view_) view_->LabelChanged(lblURL);
}

void URLLink::RefreshToolTip() {
  lblURL.toolTipText = m_bShowToolTip != 0 ? m_sURL : std::string();
  Changed();
}

void URLLink::SetText(const std::string& sText) {
  lblURL.caption = sText;
  const std::int32_t w = host_.TextWidth(sText);
  const std::int32_t h = host_.TextHeight(sText);
  lblURL.rect = {0, 0, w, h};
  Changed();
  host_.PropertyChanged("Text");
}

void URLLink::SetURL(const std::string& sURL) {
  m_sURL = sURL;
  RefreshToolTip();
  host_.PropertyChanged("URL");
}

void URLLink::SetShowToolTip(platform::Bool16 bShowToolTip) {
  m_bShowToolTip = bShowToolTip;
  RefreshToolTip();
  host_.PropertyChanged("ShowToolTip");
}

void URLLink::InitProperties() {
  SetText("");
  m_sURL.clear();
  SetShowToolTip(platform::kFalse);
}

void URLLink::ReadProperties() {
  try {
    SetText(ToText(host_.ReadProperty("Text", std::string())));
    m_sURL = ToText(host_.ReadProperty("URL", std::string()));
    SetShowToolTip(ToBoolean(host_.ReadProperty("ShowToolTip", platform::kFalse)));
  } catch (const std::exception&) {
    InitProperties();
  }
}

void URLLink::WriteProperties() {
  host_.WriteProperty("Text", Text(), std::string());
  host_.WriteProperty("URL", m_sURL, std::string());
  host_.WriteProperty("ShowToolTip", ShowToolTip() != 0 ? platform::kTrue : platform::kFalse,
                      platform::kFalse);
}

void URLLink::lblURL_MouseDown(std::int16_t Button, std::int16_t /*Shift*/,
                               platform::Point /*at*/) {
  if ((Button & 1) == 0) {
    host_.ClearPointerOverride();
    return;
  }
  std::string address = m_sURL;
  platform::Bool16 cancel = platform::kFalse;
  if (GoToURL) GoToURL(address, cancel);
  if (cancel != 0) return;

  try {
    host_.SetPointerOverride(HostPointer::Wait);
    shell_.ShellExecuteA(hWnd_, "open", address.c_str(), nullptr, nullptr,
                         platform::SW_SHOWNORMAL);
  } catch (const platform::Error& error) {
    host_.MsgBoxOk(UnableToLoadText(address, error.Description(), error.Number()),
                   kMessageCaption);
  } catch (const std::bad_alloc&) {
    constexpr std::int32_t kErrOutOfMemory = 7;
    host_.MsgBoxOk(UnableToLoadText(address, "Out of memory", kErrOutOfMemory), kMessageCaption);
  }
  host_.ClearPointerOverride();
}

}  // namespace controls
