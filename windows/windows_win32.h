// The Win32 surface on Windows: one forward per call.
#pragma once

#include "platform/win32.h"

namespace platform::windows {

class WindowsWin32 final : public Win32 {
 public:
  std::int16_t GetAsyncKeyState(std::int32_t vKey) override;
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                   std::uint32_t dwExtraInfo) override;
  std::int32_t SwapMouseButton(std::int32_t fSwap) override;
  std::int32_t GetSystemMetrics(std::int32_t nIndex) override;
  std::int32_t GetCursorPos(Point& lpPoint) override;
  Handle SetCapture(Handle hWnd) override;
  std::int32_t ReleaseCapture() override;
  std::uint32_t GetTickCount() override;

  std::intptr_t ShellExecuteA(Handle hwnd, const char* lpOperation, const char* lpFile,
                              const char* lpParameters, const char* lpDirectory,
                              std::int32_t nShowCmd) override;
  std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, const NotifyIconDataA& lpData) override;
  std::int32_t WideCharToMultiByte(std::uint32_t CodePage, std::uint32_t dwFlags,
                                   const char16_t* lpWideCharStr, std::int32_t cchWideChar,
                                   char* lpMultiByteStr, std::int32_t cbMultiByte,
                                   const char* lpDefaultChar,
                                   std::int32_t* lpUsedDefaultChar) override;
  std::int32_t CoInitializeEx(void* pvReserved, std::uint32_t dwCoInit) override;
  void CoUninitialize() override;

  std::int32_t RegOpenKeyExA(Handle hKey, const char* lpSubKey, std::uint32_t ulOptions,
                             std::uint32_t samDesired, Handle* phkResult) override;
  std::int32_t RegQueryValueExA(Handle hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                std::uint32_t* lpType, std::uint8_t* lpData,
                                std::uint32_t* lpcbData) override;
  std::int32_t RegCloseKey(Handle hKey) override;

  Handle CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override;
  Handle CreateRoundRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                            std::int32_t w, std::int32_t h) override;
  std::int32_t CombineRgn(Handle hrgnDst, Handle hrgnSrc1, Handle hrgnSrc2,
                          std::int32_t iMode) override;
  std::int32_t DeleteObject(Handle ho) override;
  std::int32_t SetWindowRgn(Handle hWnd, Handle hRgn, std::int32_t bRedraw) override;
  std::int32_t GetDeviceCaps(std::int32_t index) override;

  std::uint16_t RegisterClassA(const WndClassA& lpWndClass) override;
  std::int32_t UnregisterClassA(const char* lpClassName, Handle hInstance) override;
  Handle CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                         const char* lpWindowName, std::uint32_t dwStyle, std::int32_t x,
                         std::int32_t y, std::int32_t nWidth, std::int32_t nHeight,
                         Handle hWndParent, Handle hMenu, Handle hInstance,
                         void* lpParam) override;
  LResult DefWindowProcA(Handle hWnd, std::uint32_t uMsg, WParam wParam, LParam lParam) override;
  LResult SendMessageA(Handle hWnd, std::uint32_t uMsg, WParam wParam, LParam lParam) override;
  std::intptr_t GetWindowLongA(Handle hWnd, std::int32_t nIndex) override;
  std::intptr_t SetWindowLongA(Handle hWnd, std::int32_t nIndex, std::intptr_t dwNewLong) override;
  std::uint32_t RegisterWindowMessageA(const char* lpString) override;
  std::int32_t SetForegroundWindow(Handle hWnd) override;
  std::int32_t ChangeWindowMessageFilterEx(Handle hwnd, std::uint32_t message,
                                           std::uint32_t action,
                                           void* pChangeFilterStruct) override;
  std::int32_t MessageBoxA(Handle hWnd, const char* lpText, const char* lpCaption,
                           std::uint32_t uType) override;
  Handle GetModuleHandleA(const char* lpModuleName) override;
  Handle FindWindowExA(Handle hWndParent, Handle hWndChildAfter, const char* lpszClass,
                       const char* lpszWindow) override;
  LResult SendMessageTimeoutA(Handle hWnd, std::uint32_t Msg, WParam wParam, LParam lParam,
                              std::uint32_t fuFlags, std::uint32_t uTimeout,
                              std::uintptr_t* lpdwResult) override;
  std::uint32_t GetWindowThreadProcessId(Handle hWnd, std::uint32_t* lpdwProcessId) override;
  std::int32_t AllowSetForegroundWindow(std::uint32_t dwProcessId) override;

  Handle CreateMutexA(void* lpMutexAttributes, std::int32_t bInitialOwner,
                      const char* lpName) override;
  std::int32_t CloseHandle(Handle hObject) override;
  std::uint32_t GetLastError() override;
  void Sleep(std::uint32_t dwMilliseconds) override;
};

}  // namespace platform::windows
