#include "windows/url_link/url_link_window.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>
#include <string>

#include "platform/error.h"
#include "platform/untrapped_error.h"

namespace platform::windows::url_link {

namespace {

constexpr COLORREF kLinkBlue = RGB(0, 0, 255);
constexpr UINT_PTR kLabelTool = 1;

// MS Sans Serif 8.25 pt, underlined, as lblURL is drawn and measured.
HFONT CreateLinkFont() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontA(-::MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

// A GDI object selected into a device context for a span.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~Selected() { ::SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// BeginPaint .. EndPaint.
class PaintSession {
 public:
  explicit PaintSession(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
  ~PaintSession() { ::EndPaint(window_, &ps_); }
  PaintSession(const PaintSession&) = delete;
  PaintSession& operator=(const PaintSession&) = delete;
  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Where a C++ error must not cross back into Windows: the control's own
// untrapped-error report, then the end of the process.
[[noreturn]] void ReportUntrapped(const std::exception& error) {
  const std::string text = platform::UntrappedErrorText(error);
  ::MessageBoxA(nullptr, text.c_str(), controls::kMessageCaption,
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  ::ExitProcess(platform::kExitCodeUntrappedError);
}

struct CreateParams {
  controls::TextPropertyStore* store;
  platform::Shell* shell;
  HCURSOR linkCursor;
};

}  // namespace

URLLinkWindow::URLLinkWindow(HWND window, controls::TextPropertyStore& store,
                             platform::Shell& shell, HCURSOR linkCursor)
    : window_(window),
      font_(CreateLinkFont()),
      linkCursor_(linkCursor),
      host_(window, font_.Get(), store),
      link_(host_, shell, reinterpret_cast<platform::Handle>(window)) {
  link_.SetView(this);
}

URLLinkWindow& URLLinkWindow::Create(HWND parent, const RECT& bounds,
                                     controls::TextPropertyStore& store, platform::Shell& shell,
                                     int linkCursorId, bool load) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA existing{};
  if (!::GetClassInfoA(instance, kClassName, &existing)) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&common);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!::RegisterClassA(&wc))
      throw platform::Error(platform::kErrInvalidCall, "Cannot register the URLLink class");
  }
  CreateParams params{&store, &shell,
                      ::LoadCursorA(instance, MAKEINTRESOURCEA(linkCursorId))};
  HWND window = ::CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, bounds.left,
                                  bounds.top, bounds.right - bounds.left,
                                  bounds.bottom - bounds.top, parent, nullptr, instance, &params);
  if (!window) throw platform::Error(platform::kErrInvalidCall, "Cannot create the URLLink");
  auto* self = reinterpret_cast<URLLinkWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (load)
    self->link_.ReadProperties();
  else
    self->link_.InitProperties();
  return *self;
}

LRESULT CALLBACK URLLinkWindow::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  try {
    if (uMsg == WM_NCCREATE) {
      const auto* params = static_cast<const CreateParams*>(
          reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
      auto* self = new URLLinkWindow(hWnd, *params->store, *params->shell, params->linkCursor);
      ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<URLLinkWindow*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
      ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
      delete self;
      return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
    return self->Handle(uMsg, wParam, lParam);
  } catch (const std::exception& error) {
    ReportUntrapped(error);
  } catch (...) {
    // A host's handler may throw anything; it must not unwind into Windows.
    ReportUntrapped(std::runtime_error("Unknown error in the URLLink control"));
  }
}

LRESULT URLLinkWindow::Handle(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_CREATE:
      toolTip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
      if (toolTip_) {
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = kLabelTool;
        tool.lpszText = const_cast<char*>("");
        ::SendMessageA(toolTip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
      }
      return 0;
    case WM_DESTROY:
      // The tooltip is owned by this window; it goes with it.
      if (toolTip_) ::DestroyWindow(toolTip_);
      toolTip_ = nullptr;
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        POINT at;
        ::GetCursorPos(&at);
        ::ScreenToClient(window_, &at);
        HCURSOR shape = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        if (WaitPointerOverride())
          shape = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
        else if (InLabel(MAKELPARAM(at.x, at.y)) && linkCursor_)
          shape = linkCursor_;
        ::SetCursor(shape);
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      MouseDown(platform::kPrimaryButton, wParam, lParam);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(platform::kSecondaryButton, wParam, lParam);
      return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(platform::kMiddleButton, wParam, lParam);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(window_, uMsg, wParam, lParam);
}

bool URLLinkWindow::InLabel(LPARAM lParam) const {
  const platform::Point at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  return link_.LabelURL().rect.Contains(at);
}

void URLLinkWindow::MouseDown(std::int16_t button, WPARAM keys, LPARAM lParam) {
  if (!InLabel(lParam)) return;
  // Shift state as controls report it: 1 Shift, 2 Ctrl, 4 Alt.
  std::int16_t shift = 0;
  if (keys & MK_SHIFT) shift |= 1;
  if (keys & MK_CONTROL) shift |= 2;
  if (::GetKeyState(VK_MENU) < 0) shift |= 4;
  link_.lblURL_MouseDown(button, shift,
                         {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
}

void URLLinkWindow::LabelChanged(const controls::Label& label) {
  if (toolTip_) {
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = window_;
    tool.uId = kLabelTool;
    tool.rect = {label.rect.x, label.rect.y, label.rect.x + label.rect.width,
                 label.rect.y + label.rect.height};
    ::SendMessageA(toolTip_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
    tool.lpszText = const_cast<char*>(label.toolTipText.c_str());
    ::SendMessageA(toolTip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

RECT URLLinkWindow::LabelOnScreen() const {
  const platform::Rect& r = link_.LabelURL().rect;
  POINT origin{0, 0};
  ::ClientToScreen(window_, &origin);
  return {origin.x + r.x, origin.y + r.y, origin.x + r.x + r.width, origin.y + r.y + r.height};
}

void URLLinkWindow::Paint() {
  PaintSession paint(window_);
  HDC dc = paint.Dc();
  RECT client;
  ::GetClientRect(window_, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));

  const controls::Label& label = link_.LabelURL();
  RECT box{label.rect.x, label.rect.y, label.rect.x + label.rect.width,
           label.rect.y + label.rect.height};
  Selected font(dc, font_.Get());
  ::SetTextColor(dc, kLinkBlue);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::SetBkMode(dc, OPAQUE);
  ::DrawTextA(dc, label.caption.c_str(), static_cast<int>(label.caption.size()), &box,
              DT_LEFT | DT_TOP | DT_NOPREFIX);
}

}  // namespace platform::windows::url_link
