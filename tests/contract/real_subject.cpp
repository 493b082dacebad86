// The contract checks against the real Win32 surface, in their Windows build.
// Test code, so it may read what the surface does not offer (a region's
// rectangles, a window's region) straight from Windows.
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "contract/subject.h"
#include "windows/windows_win32.h"

namespace contract {

namespace {

constexpr const char* kClassName = "Veltrane contract window";
constexpr const char kHoldFlag[] = "--hold-name ";
// Long past any check's need: a holder whose run has failed ends by itself.
constexpr DWORD kHolderLivesMs = 60000;
constexpr DWORD kHolderStartsWithinMs = 30000;

// Started with "--hold-name NAME", this program is the other process the
// checks need: before any check runs it holds the named mutex until it is ended.
const bool gHolder = [] {
  const char* flag = std::strstr(GetCommandLineA(), kHoldFlag);
  if (!flag) return false;
  CreateMutexA(nullptr, FALSE, flag + std::strlen(kHoldFlag));
  Sleep(kHolderLivesMs);
  ExitProcess(0);
}();

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

  void HoldNameInAnotherProcess(const char* name) override {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command = std::string("\"") + path + "\" " + kHoldFlag + name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
      return;
    CloseHandle(started.hThread);
    holder_ = started.hProcess;
    // Until the name is there, or the holder is gone; an emulated CPU starts it slowly.
    for (DWORD waited = 0; waited < kHolderStartsWithinMs; waited += 20) {
      if (HANDLE name_handle = OpenMutexA(SYNCHRONIZE, FALSE, name)) {
        CloseHandle(name_handle);
        return;
      }
      if (WaitForSingleObject(holder_, 20) == WAIT_OBJECT_0) return;
    }
  }

  void EndOtherProcess() override {
    if (!holder_) return;
    TerminateProcess(holder_, 1);
    WaitForSingleObject(holder_, kHolderStartsWithinMs);
    CloseHandle(holder_);
    holder_ = nullptr;
  }

 private:
  HANDLE holder_ = nullptr;
  platform::windows::WindowsWin32 surface_;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<RealSubject>(); }

}  // namespace contract
