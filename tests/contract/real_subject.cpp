// The contract checks against the real Win32 surface, in their Windows build.
// Test code, so it may read what the surface does not offer (a region's
// rectangles, a window's region) straight from Windows.
#include <windows.h>

#include <utility>
#include <vector>

#include "contract/subject.h"
#include "windows/windows_win32.h"

namespace contract {

namespace {

constexpr const char* kClassName = "Veltrane contract window";

// Windows' key state and focus are kept per thread's message queue: pump it.
void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::vector<Received> received;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_CAPTURECHANGED)
    received.push_back({reinterpret_cast<platform::Handle>(hwnd), message, lParam});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

Pixels PixelsOf(HRGN region) {
  Pixels pixels;
  const DWORD size = GetRegionData(region, 0, nullptr);
  if (size == 0) return pixels;
  std::vector<char> buffer(size);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  if (GetRegionData(region, size, data) == 0) return pixels;
  const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
  // Region rectangles come in bands, left to right within a band; rows of
  // neighbouring rectangles that touch join into one run.
  for (DWORD i = 0; i < data->rdh.nCount; ++i) {
    for (LONG y = rects[i].top; y < rects[i].bottom; ++y) {
      auto& runs = pixels[y];
      if (!runs.empty() && runs.back().second == rects[i].left)
        runs.back().second = rects[i].right;
      else
        runs.emplace_back(rects[i].left, rects[i].right);
    }
  }
  return pixels;
}

// One window for the whole run, focused once: taking a shown window down
// costs Wine about 2 s when no window manager runs. Checks that change it put
// it back; the process's end takes it.
HWND SharedWindow() {
  static const HWND window = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    const HWND created = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "Veltrane contract",
                                         WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                                         nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(created);
    SetFocus(created);
    // Focus arrives through the display server: wait for it, briefly.
    for (int i = 0; i < 100 && GetFocus() != created; ++i) {
      PumpMessages();
      Sleep(20);
    }
    return created;
  }();
  return window;
}

struct KeyQuery {
  int vk;
  SHORT reading;
};

DWORD WINAPI QueryKey(void* param) {
  auto* query = static_cast<KeyQuery*>(param);
  query->reading = GetAsyncKeyState(query->vk);
  return 0;
}

class RealSubject final : public Subject {
 public:
  platform::Win32& Surface() override { return surface_; }
  bool IsFake() const override { return false; }
  bool IsWine() const override {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  }

  platform::Handle Window() override { return reinterpret_cast<platform::Handle>(SharedWindow()); }

  void PrimaryButton(platform::Point screen, bool down) override {
    SetCursorPos(screen.x, screen.y);
    mouse_event(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Settle();
  }

  std::vector<Received> TakeReceived() override {
    PumpMessages();
    return std::exchange(received, {});
  }

  platform::Handle Icon() override {
    return reinterpret_cast<platform::Handle>(LoadIconA(nullptr, IDI_APPLICATION));
  }

  void Settle() override {
    // Wine answers an idle key's state from a cache for up to 50 ms.
    for (int i = 0; i < 4; ++i) {
      PumpMessages();
      Sleep(20);
    }
    PumpMessages();
  }

  std::int32_t KeyWithoutPressedBit() override { return IsWine() ? VK_CONTROL : 0; }

  // Another thread stands for another program: the bit is the session's.
  std::int16_t AnotherReadersQuery(std::int32_t vk) override {
    KeyQuery query{vk, 0};
    const HANDLE thread = CreateThread(nullptr, 0, QueryKey, &query, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return query.reading;
  }

  std::uint32_t AnsiCodePage() override { return GetACP(); }
  void UseCodePage(std::uint32_t) override {}

  Pixels RegionPixels(platform::Handle region) override {
    return PixelsOf(reinterpret_cast<HRGN>(region));
  }

  Pixels WindowRegionPixels(platform::Handle window) override {
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    Pixels pixels;
    if (GetWindowRgn(reinterpret_cast<HWND>(window), copy) != ERROR) pixels = PixelsOf(copy);
    DeleteObject(copy);
    return pixels;
  }

  std::size_t TakeMisuses() override { return 0; }

 private:
  platform::windows::WindowsWin32 surface_;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<RealSubject>(); }

}  // namespace contract
