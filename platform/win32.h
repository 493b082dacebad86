// The Win32 surface: the Windows operations the program calls, by concern,
// under their Windows names and with the arguments the program passes. The
// Windows implementation forwards each call; the tests' fake desktop models
// them. Nothing here needs a Windows header.
#pragma once

#include <array>
#include <cstdint>

#include "platform/types.h"

// A window procedure handed to Windows must use the system's calling
// convention, which differs from the default only on 32-bit x86.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define VELTRANE_CALLBACK __stdcall
#else
#define VELTRANE_CALLBACK
#endif

namespace platform {

using WndProc = LResult(VELTRANE_CALLBACK*)(Handle hWnd, std::uint32_t uMsg,
                                            WParam wParam, LParam lParam);

struct WndClassA {
  std::uint32_t style = 0;
  WndProc lpfnWndProc = nullptr;
  std::int32_t cbClsExtra = 0;
  std::int32_t cbWndExtra = 0;
  Handle hInstance = 0;
  Handle hIcon = 0;
  Handle hCursor = 0;
  Handle hbrBackground = 0;
  const char* lpszMenuName = nullptr;
  const char* lpszClassName = nullptr;
};

// The 8-bit call form of the first-version notification record: six 32-bit
// fields, then 64 tip bytes. The Windows side repacks it into the platform's
// own record, whose handles are pointer-wide.
struct NotifyIconDataA {
  static constexpr std::size_t kSize = 88;
  std::array<std::uint8_t, kSize> bytes{};
};

class Input {
 public:
  virtual ~Input() = default;
  virtual std::int16_t GetAsyncKeyState(std::int32_t vKey) = 0;
  virtual void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                           std::uint32_t dwExtraInfo) = 0;
  virtual std::int32_t SwapMouseButton(std::int32_t fSwap) = 0;
  virtual std::int32_t GetSystemMetrics(std::int32_t nIndex) = 0;
  virtual std::int32_t GetCursorPos(Point& lpPoint) = 0;
  // The window that took the pointer gets its messages wherever it goes, until
  // the capture is released or another window takes it; the loser is told
  // with WM_CAPTURECHANGED. SetCapture returns the previous holder.
  virtual Handle SetCapture(Handle hWnd) = 0;
  virtual std::int32_t ReleaseCapture() = 0;
  // kernel32: milliseconds since the system started, wrapping after 49 days.
  virtual std::uint32_t GetTickCount() = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  virtual std::intptr_t ShellExecuteA(Handle hwnd, const char* lpOperation, const char* lpFile,
                                      const char* lpParameters, const char* lpDirectory,
                                      std::int32_t nShowCmd) = 0;
  virtual std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, const NotifyIconDataA& lpData) = 0;
  // kernel32, here because only the notification record's tip needs it: text
  // into the system's ANSI code page (CodePage 0, CP_ACP).
  virtual std::int32_t WideCharToMultiByte(std::uint32_t CodePage, std::uint32_t dwFlags,
                                           const char16_t* lpWideCharStr,
                                           std::int32_t cchWideChar, char* lpMultiByteStr,
                                           std::int32_t cbMultiByte, const char* lpDefaultChar,
                                           std::int32_t* lpUsedDefaultChar) = 0;
  // ole32: ShellExecuteA may hand an address to a handler activated through
  // COM, which must be initialised on the calling thread first.
  virtual std::int32_t CoInitializeEx(void* pvReserved, std::uint32_t dwCoInit) = 0;
  virtual void CoUninitialize() = 0;
};

// advapi32: reading a value the user's settings saved. Every key opened here
// is the caller's to close.
class Registry {
 public:
  virtual ~Registry() = default;
  virtual std::int32_t RegOpenKeyExA(Handle hKey, const char* lpSubKey, std::uint32_t ulOptions,
                                     std::uint32_t samDesired, Handle* phkResult) = 0;
  // The data as stored: a string's terminator only if it was stored with one.
  virtual std::int32_t RegQueryValueExA(Handle hKey, const char* lpValueName,
                                        std::uint32_t* lpReserved, std::uint32_t* lpType,
                                        std::uint8_t* lpData, std::uint32_t* lpcbData) = 0;
  virtual std::int32_t RegCloseKey(Handle hKey) = 0;
};

class Gdi {
 public:
  virtual ~Gdi() = default;
  virtual Handle CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2) = 0;
  virtual Handle CreateRoundRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                    std::int32_t y2, std::int32_t w, std::int32_t h) = 0;
  virtual std::int32_t CombineRgn(Handle hrgnDst, Handle hrgnSrc1, Handle hrgnSrc2,
                                  std::int32_t iMode) = 0;
  virtual std::int32_t DeleteObject(Handle ho) = 0;
  virtual std::int32_t SetWindowRgn(Handle hWnd, Handle hRgn, std::int32_t bRedraw) = 0;
  // Of the screen's device context.
  virtual std::int32_t GetDeviceCaps(std::int32_t index) = 0;
};

class Windowing {
 public:
  virtual ~Windowing() = default;
  virtual std::uint16_t RegisterClassA(const WndClassA& lpWndClass) = 0;
  virtual std::int32_t UnregisterClassA(const char* lpClassName, Handle hInstance) = 0;
  virtual Handle CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                                 const char* lpWindowName, std::uint32_t dwStyle, std::int32_t x,
                                 std::int32_t y, std::int32_t nWidth, std::int32_t nHeight,
                                 Handle hWndParent, Handle hMenu, Handle hInstance,
                                 void* lpParam) = 0;
  virtual LResult DefWindowProcA(Handle hWnd, std::uint32_t uMsg, WParam wParam,
                                 LParam lParam) = 0;
  virtual LResult SendMessageA(Handle hWnd, std::uint32_t uMsg, WParam wParam,
                               LParam lParam) = 0;
  // Pointer-wide slots (the ...Ptr forms on Windows), since a pointer is stored there.
  virtual std::intptr_t GetWindowLongA(Handle hWnd, std::int32_t nIndex) = 0;
  virtual std::intptr_t SetWindowLongA(Handle hWnd, std::int32_t nIndex,
                                       std::intptr_t dwNewLong) = 0;
  virtual std::uint32_t RegisterWindowMessageA(const char* lpString) = 0;
  virtual std::int32_t SetForegroundWindow(Handle hWnd) = 0;
  // Lets `message` reach `hwnd` from processes of lower integrity. Windows 7
  // and later: elsewhere it is not there and reports failure.
  virtual std::int32_t ChangeWindowMessageFilterEx(Handle hwnd, std::uint32_t message,
                                                   std::uint32_t action,
                                                   void* pChangeFilterStruct) = 0;
  virtual std::int32_t MessageBoxA(Handle hWnd, const char* lpText, const char* lpCaption,
                                   std::uint32_t uType) = 0;
  // The program's own module instance.
  virtual Handle GetModuleHandleA(const char* lpModuleName) = 0;
  // Top-level windows of every process on the desktop, hidden ones too,
  // whose class and text are these (a null one matches any), after `hWndChildAfter`.
  virtual Handle FindWindowExA(Handle hWndParent, Handle hWndChildAfter, const char* lpszClass,
                               const char* lpszWindow) = 0;
  // SendMessageA that gives up after `uTimeout` ms, or at once on a window
  // that has stopped answering (SMTO_ABORTIFHUNG); 0 if it got no answer.
  virtual LResult SendMessageTimeoutA(Handle hWnd, std::uint32_t Msg, WParam wParam,
                                      LParam lParam, std::uint32_t fuFlags,
                                      std::uint32_t uTimeout, std::uintptr_t* lpdwResult) = 0;
  virtual std::uint32_t GetWindowThreadProcessId(Handle hWnd, std::uint32_t* lpdwProcessId) = 0;
  // Lets that process take the foreground, which the one the user just
  // started may do and a process in the background may not.
  virtual std::int32_t AllowSetForegroundWindow(std::uint32_t dwProcessId) = 0;
};

// kernel32: the logon session's named objects, and waiting.
class Kernel {
 public:
  virtual ~Kernel() = default;
  // The session's mutex of that name, made if no object has the name yet:
  // GetLastError then tells ERROR_ALREADY_EXISTS from a new one. 0 if it
  // cannot be had (ERROR_ACCESS_DENIED: a process with more rights made it).
  // A name lasts while a handle to it is open; the system closes a process's
  // handles however the process ends.
  virtual Handle CreateMutexA(void* lpMutexAttributes, std::int32_t bInitialOwner,
                              const char* lpName) = 0;
  virtual std::int32_t CloseHandle(Handle hObject) = 0;
  // The calling thread's last error, as the call before set it.
  virtual std::uint32_t GetLastError() = 0;
  virtual void Sleep(std::uint32_t dwMilliseconds) = 0;
};

// The whole surface, as the main window uses it.
class Win32 : public Input,
              public Shell,
              public Gdi,
              public Windowing,
              public Registry,
              public Kernel {};

}  // namespace platform
