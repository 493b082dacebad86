#include "windows/windows_window_layer.h"

#include <windows.h>

#include <cstdlib>

#include "platform/error.h"
#include "resource_ids.h"

namespace platform::windows {

namespace {

constexpr UINT_PTR kTimerId = 1;

HWND AsHwnd(Handle handle) { return reinterpret_cast<HWND>(handle); }

Point ClientPoint(LPARAM lParam) {
  // Signed: a captured pointer left of or above the window gives negative values.
  return {static_cast<std::int16_t>(LOWORD(lParam)), static_cast<std::int16_t>(HIWORD(lParam))};
}

// A device context that is released when it goes out of scope.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDc() { DeleteDC(dc_); }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A bitmap the window creates for one paint.
class PaintBuffer {
 public:
  PaintBuffer(HDC compatibleWith, int width, int height)
      : bitmap_(CreateCompatibleBitmap(compatibleWith, width, height)) {}
  ~PaintBuffer() { DeleteObject(bitmap_); }
  PaintBuffer(const PaintBuffer&) = delete;
  PaintBuffer& operator=(const PaintBuffer&) = delete;
  HBITMAP Get() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

// Keeps a GDI object selected into a device context for a scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, previous_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A picture as the resources hold it: a packed 24-bit DIB in the program's
// own image, drawn from there without a bitmap object of its own.
const BITMAPINFO* PictureDib(Picture picture) {
  static const int ids[6] = {0, IDB_SKIN, IDB_MINBUTIMG, IDB_MINIMG, IDB_XIMG, IDB_OVERIMG};
  const auto index = static_cast<std::size_t>(picture);
  if (index == 0 || index >= 6) return nullptr;
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(ids[index]), MAKEINTRESOURCEA(2));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  return loaded ? static_cast<const BITMAPINFO*>(LockResource(loaded)) : nullptr;
}

class GdiCanvas final : public Canvas {
 public:
  GdiCanvas(HDC target, const RECT& client) : target_(target), client_(client) {}

  void FillButtonFace() override { FillRect(target_, &client_, GetSysColorBrush(COLOR_BTNFACE)); }

  void Draw(Picture picture, Point topLeft) override {
    const BITMAPINFO* dib = PictureDib(picture);
    if (!dib) return;
    const BITMAPINFOHEADER& header = dib->bmiHeader;
    const auto* bits = reinterpret_cast<const BYTE*>(dib) + header.biSize;  // 24-bit: no colour table
    const LONG height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    SetDIBitsToDevice(target_, topLeft.x, topLeft.y, header.biWidth, height, 0, 0, 0, height,
                      bits, dib, DIB_RGB_COLORS);
  }

 private:
  HDC target_;
  RECT client_;
};

WindowsWindowLayer* g_layer = nullptr;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // No exception may unwind into the system; the portable handlers report
  // their own errors, so anything arriving here ends the process.
  try {
    if (g_layer && g_layer->WindowHandle() == reinterpret_cast<Handle>(hwnd))
      return g_layer->Dispatch(message, wParam, lParam);
  } catch (...) {
    ExitProcess(kExitCodeUntrappedError);
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

Handle WindowsWindowLayer::Create(const WindowDesc& desc, WindowEvents& events) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // Shared icons from the resources: never destroyed.
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  HICON small = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  smallIcon_ = reinterpret_cast<Handle>(small);
  events_ = &events;
  g_layer = this;

  WNDCLASSA wc{};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.lpszClassName = desc.className;
  if (!RegisterClassA(&wc)) return 0;

  // Frameless; the system menu and minimize box let the taskbar button work.
  const DWORD style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  HWND hwnd = CreateWindowExA(0, desc.className, desc.text, style, desc.bounds.x, desc.bounds.y,
                              desc.bounds.width, desc.bounds.height, nullptr, nullptr, instance,
                              nullptr);
  window_ = reinterpret_cast<Handle>(hwnd);
  if (hwnd) {
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  return window_;
}

Rect WindowsWindowLayer::WorkAreaOf(const Rect& screen) const {
  const RECT rect{screen.x, screen.y, screen.x + screen.width, screen.y + screen.height};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info)) return {};
  const RECT& work = info.rcWork;
  return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

void WindowsWindowLayer::Show() {
  ShowWindow(AsHwnd(window_), SW_SHOW);
  UpdateWindow(AsHwnd(window_));
}

void WindowsWindowLayer::Hide() { ShowWindow(AsHwnd(window_), SW_HIDE); }

void WindowsWindowLayer::SetStateNormal() {
  HWND hwnd = AsHwnd(window_);
  if (IsIconic(hwnd) || IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
}

void WindowsWindowLayer::Invalidate(const Rect& client) {
  const RECT rect{client.x, client.y, client.x + client.width, client.y + client.height};
  InvalidateRect(AsHwnd(window_), &rect, FALSE);
}

void WindowsWindowLayer::StartTimer(std::uint32_t intervalMs) {
  SetTimer(AsHwnd(window_), kTimerId, intervalMs, nullptr);
}

void WindowsWindowLayer::Destroy() { DestroyWindow(AsHwnd(window_)); }

void WindowsWindowLayer::RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void WindowsWindowLayer::EndProcess(std::uint32_t exitCode) { ExitProcess(exitCode); }

void WindowsWindowLayer::Paint() {
  PAINTSTRUCT ps;
  HWND hwnd = AsHwnd(window_);
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  // Composed off screen so that a lit button never flickers.
  {
    MemoryDc buffer(dc);
    PaintBuffer bitmap(dc, client.right, client.bottom);
    Selection selected(buffer.Get(), bitmap.Get());
    GdiCanvas canvas(buffer.Get(), client);
    events_->OnPaint(canvas);
    BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, buffer.Get(), ps.rcPaint.left, ps.rcPaint.top,
           SRCCOPY);
  }
  EndPaint(hwnd, &ps);
}

LResult WindowsWindowLayer::Dispatch(std::uint32_t message, WParam wParam, LParam lParam) {
  HWND hwnd = AsHwnd(window_);
  // The pointer's capture is the portable side's to take and release.
  const auto button = [&](MouseAction action, std::int16_t code) -> LResult {
    events_->OnMouse(action, ClientPoint(lParam), code);
    return 0;
  };
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painting covers the whole client area
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(hwnd, &point);
        const Pointer pointer = events_->PointerAt({point.x, point.y});
        HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_HAND_POINTER));
        SetCursor(pointer == Pointer::Hand && hand ? hand : LoadCursorA(nullptr, IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      events_->OnMouse(MouseAction::Move, ClientPoint(lParam), 0);
      return 0;
    case WM_LBUTTONDOWN: return button(MouseAction::Down, kPrimaryButton);
    case WM_LBUTTONUP: return button(MouseAction::Up, kPrimaryButton);
    case WM_RBUTTONDOWN: return button(MouseAction::Down, kSecondaryButton);
    case WM_RBUTTONUP: return button(MouseAction::Up, kSecondaryButton);
    case WM_MBUTTONDOWN: return button(MouseAction::Down, kMiddleButton);
    case WM_MBUTTONUP: return button(MouseAction::Up, kMiddleButton);
    case WM_TIMER:
      if (wParam == kTimerId) events_->OnTimer();
      return 0;
    case WM_CLOSE:
      events_->OnCloseRequest();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // nothing to save: the session may end
    case WM_ENDSESSION:
      events_->OnEndSession(wParam != FALSE);
      return 0;
    case WM_CAPTURECHANGED:
      // Taking the capture again for this window changes nothing.
      if (reinterpret_cast<HWND>(lParam) != hwnd) events_->OnCaptureLost();
      return 0;
    case WM_CANCELMODE:
      events_->OnCaptureLost();
      break;  // the default releases the capture
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETMOUSEBUTTONSWAP) events_->OnMouseButtonsChanged();
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      if (message >= 0xC000 && message <= 0xFFFF) {
        if (const auto answer = events_->OnRegisteredMessage(message)) return *answer;
      }
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace platform::windows
