#include "windows/url_link/url_link_host.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace platform::windows::url_link {

namespace {

bool waitOverride = false;

// The screen's device context with the control's font selected, for a span.
class MeasuringDC {
 public:
  MeasuringDC(HWND window, HFONT font) : window_(window), dc_(::GetDC(window)) {
    old_ = ::SelectObject(dc_, font);
  }
  ~MeasuringDC() {
    ::SelectObject(dc_, old_);
    ::ReleaseDC(window_, dc_);
  }
  MeasuringDC(const MeasuringDC&) = delete;
  MeasuringDC& operator=(const MeasuringDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ old_;
};

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) return lines;
    text.remove_prefix(end + 1);
  }
}

// Shows again the pointer of whatever lies under it, when that is ours.
void RefreshPointer() {
  POINT at;
  if (!::GetCursorPos(&at)) return;
  HWND under = ::WindowFromPoint(at);
  if (!under || ::GetWindowThreadProcessId(under, nullptr) != ::GetCurrentThreadId()) return;
  const LRESULT hit = ::SendMessageA(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
  ::SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}

}  // namespace

bool WaitPointerOverride() { return waitOverride; }

controls::PropertyValue WindowsURLHost::ReadProperty(const std::string& name,
                                                     const controls::PropertyValue& defaultValue) {
  return store_.Read(name, defaultValue);
}

void WindowsURLHost::WriteProperty(const std::string& name, const controls::PropertyValue& value,
                                   const controls::PropertyValue& defaultValue) {
  store_.Write(name, value, defaultValue);
}

void WindowsURLHost::PropertyChanged(const std::string& /*name*/) { dirty = true; }

void WindowsURLHost::SetPointerOverride(controls::HostPointer /*pointer*/) {
  waitOverride = true;
  ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
}

void WindowsURLHost::ClearPointerOverride() {
  waitOverride = false;
  RefreshPointer();
}

void WindowsURLHost::MsgBoxOk(const std::string& text, const std::string& caption) {
  ::MessageBoxA(control_, text.c_str(), caption.c_str(), MB_OK);
}

std::int32_t WindowsURLHost::TextWidth(const std::string& text) {
  MeasuringDC dc(control_, font_);
  LONG widest = 0;
  for (std::string_view line : Lines(text)) {
    SIZE size{};
    ::GetTextExtentPoint32A(dc.Get(), line.data(), static_cast<int>(line.size()), &size);
    widest = std::max(widest, size.cx);
  }
  return widest;
}

std::int32_t WindowsURLHost::TextHeight(const std::string& text) {
  MeasuringDC dc(control_, font_);
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(dc.Get(), &metrics);
  return static_cast<std::int32_t>(Lines(text).size()) * metrics.tmHeight;
}

}  // namespace platform::windows::url_link
