// A deterministic, in-memory model of the parts of Windows the program uses.
// Each concern keeps its state in its own part; every call goes to one
// ordered log and passes the failure injection first.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake/call_log.h"
#include "fake/fake_gdi.h"
#include "fake/fake_input.h"
#include "fake/fake_registry.h"
#include "fake/fake_session.h"
#include "fake/fake_shell.h"
#include "fake/fake_window_layer.h"
#include "fake/fake_windows.h"
#include "platform/constants.h"
#include "platform/win32.h"

namespace fake {

// What a desktop that goes with violations does with them; with none set, it
// prints them and aborts.
using ViolationHandler = void (*)(const std::vector<std::string>& violations);
void SetViolationHandler(ViolationHandler handler);

class FakeDesktop : public platform::Win32 {
 public:
  // A process in a logon session of its own.
  FakeDesktop();
  // A further process of that session, on the same desktop.
  explicit FakeDesktop(std::shared_ptr<Session> session);
  ~FakeDesktop() override;
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  // Input
  std::int16_t GetAsyncKeyState(std::int32_t vKey) override;
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                   std::uint32_t dwExtraInfo) override;
  std::int32_t SwapMouseButton(std::int32_t fSwap) override;
  std::int32_t GetSystemMetrics(std::int32_t nIndex) override;
  std::int32_t GetCursorPos(platform::Point& lpPoint) override;
  platform::Handle SetCapture(platform::Handle hWnd) override;
  std::int32_t ReleaseCapture() override;
  std::uint32_t GetTickCount() override;

  // Shell
  std::intptr_t ShellExecuteA(platform::Handle hwnd, const char* lpOperation, const char* lpFile,
                              const char* lpParameters, const char* lpDirectory,
                              std::int32_t nShowCmd) override;
  std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage,
                                 const platform::NotifyIconDataA& lpData) override;
  std::int32_t WideCharToMultiByte(std::uint32_t CodePage, std::uint32_t dwFlags,
                                   const char16_t* lpWideCharStr, std::int32_t cchWideChar,
                                   char* lpMultiByteStr, std::int32_t cbMultiByte,
                                   const char* lpDefaultChar,
                                   std::int32_t* lpUsedDefaultChar) override;
  std::int32_t CoInitializeEx(void* pvReserved, std::uint32_t dwCoInit) override;
  void CoUninitialize() override;

  // Registry
  std::int32_t RegOpenKeyExA(platform::Handle hKey, const char* lpSubKey, std::uint32_t ulOptions,
                             std::uint32_t samDesired, platform::Handle* phkResult) override;
  std::int32_t RegQueryValueExA(platform::Handle hKey, const char* lpValueName,
                                std::uint32_t* lpReserved, std::uint32_t* lpType,
                                std::uint8_t* lpData, std::uint32_t* lpcbData) override;
  std::int32_t RegCloseKey(platform::Handle hKey) override;

  // GDI
  platform::Handle CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                 std::int32_t y2) override;
  platform::Handle CreateRoundRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                      std::int32_t y2, std::int32_t w, std::int32_t h) override;
  std::int32_t CombineRgn(platform::Handle hrgnDst, platform::Handle hrgnSrc1,
                          platform::Handle hrgnSrc2, std::int32_t iMode) override;
  std::int32_t DeleteObject(platform::Handle ho) override;
  std::int32_t SetWindowRgn(platform::Handle hWnd, platform::Handle hRgn,
                            std::int32_t bRedraw) override;
  std::int32_t GetDeviceCaps(std::int32_t index) override;

  // Windowing
  std::uint16_t RegisterClassA(const platform::WndClassA& lpWndClass) override;
  std::int32_t UnregisterClassA(const char* lpClassName, platform::Handle hInstance) override;
  platform::Handle CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                                   const char* lpWindowName, std::uint32_t dwStyle,
                                   std::int32_t x, std::int32_t y, std::int32_t nWidth,
                                   std::int32_t nHeight, platform::Handle hWndParent,
                                   platform::Handle hMenu, platform::Handle hInstance,
                                   void* lpParam) override;
  platform::LResult DefWindowProcA(platform::Handle hWnd, std::uint32_t uMsg,
                                   platform::WParam wParam, platform::LParam lParam) override;
  platform::LResult SendMessageA(platform::Handle hWnd, std::uint32_t uMsg,
                                 platform::WParam wParam, platform::LParam lParam) override;
  std::intptr_t GetWindowLongA(platform::Handle hWnd, std::int32_t nIndex) override;
  std::intptr_t SetWindowLongA(platform::Handle hWnd, std::int32_t nIndex,
                               std::intptr_t dwNewLong) override;
  std::uint32_t RegisterWindowMessageA(const char* lpString) override;
  std::int32_t SetForegroundWindow(platform::Handle hWnd) override;
  std::int32_t ChangeWindowMessageFilterEx(platform::Handle hwnd, std::uint32_t message,
                                           std::uint32_t action,
                                           void* pChangeFilterStruct) override;
  std::int32_t MessageBoxA(platform::Handle hWnd, const char* lpText, const char* lpCaption,
                           std::uint32_t uType) override;
  platform::Handle GetModuleHandleA(const char* lpModuleName) override;
  platform::Handle FindWindowExA(platform::Handle hWndParent, platform::Handle hWndChildAfter,
                                 const char* lpszClass, const char* lpszWindow) override;
  platform::LResult SendMessageTimeoutA(platform::Handle hWnd, std::uint32_t Msg,
                                        platform::WParam wParam, platform::LParam lParam,
                                        std::uint32_t fuFlags, std::uint32_t uTimeout,
                                        std::uintptr_t* lpdwResult) override;
  std::uint32_t GetWindowThreadProcessId(platform::Handle hWnd,
                                         std::uint32_t* lpdwProcessId) override;
  std::int32_t AllowSetForegroundWindow(std::uint32_t dwProcessId) override;

  // Kernel
  platform::Handle CreateMutexA(void* lpMutexAttributes, std::int32_t bInitialOwner,
                                const char* lpName) override;
  std::int32_t CloseHandle(platform::Handle hObject) override;
  std::uint32_t GetLastError() override;
  // Moves this process's clock on, while the others do what `whileAsleep` says.
  void Sleep(std::uint32_t dwMilliseconds) override;

  // What the shell does on its own (nothing of it is logged).
  // The taskbar goes away: every icon with it, and calls fail until it restarts.
  void StopTaskbar();
  // The taskbar starts again with no icons and broadcasts "TaskbarCreated".
  void RestartTaskbar();
  // The pointer does `mouseMessage` (WM_LBUTTONUP, ...) over an icon: its
  // callback message goes to its window. False if there is no such icon.
  bool IconMouse(platform::Handle hWnd, std::uint32_t mouseMessage, std::uint32_t uID = 0);

  // The session this process runs in, shared with the processes that join it.
  Session& session() const { return *session_; }
  const std::shared_ptr<Session>& SharedSession() const { return session_; }
  // This process ends, as if it had been ended from outside.
  void EndThisProcess() { session_->EndProcess(processId); }
  // A message sent to one of this process's windows from another process.
  platform::LResult Receive(platform::Handle hWnd, std::uint32_t uMsg, platform::WParam wParam,
                            platform::LParam lParam);

  // The program's uses of handles the system owns (a region once a window
  // has taken it), whatever the call answered: each one a fault of the program's.
  std::vector<std::string> violations;
  CallLog log;
  Faults faults;
  Keyboard keyboard;
  Mouse mouse;
  std::uint32_t tickCount = 0;   // what GetTickCount returns: tests move it on
  GdiState gdi;
  WindowsState windows;
  ShellState shell;
  RegistryState registry;
  FakeWindowLayer window{log, faults, mouse};
  std::uint32_t processId = 0;
  bool elevated = false;        // started as administrator
  bool answering = true;        // false: busy, nothing sent to its windows is answered
  std::uint32_t lastError = 0;  // what GetLastError returns
  // What other processes of the session do while this one sleeps.
  std::function<void()> whileAsleep;

 private:
  std::shared_ptr<Session> session_;

  // fake::Fails with this desktop's log and faults.
  template <typename... Args>
  bool Fails(const char* op, const Args&... args) {
    return fake::Fails(log, faults, op, args...);
  }
  // WM_CAPTURECHANGED to the window that lost the capture.
  void CaptureChanged(platform::Handle loser, platform::Handle winner);
};

}  // namespace fake
