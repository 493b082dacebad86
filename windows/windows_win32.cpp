#include "windows/windows_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>

#include "platform/error.h"

namespace platform::windows {

namespace {

template <typename T>
T As(Handle handle) {
  return reinterpret_cast<T>(handle);
}

Handle Of(const void* handle) { return reinterpret_cast<Handle>(handle); }

// A portable procedure as the system calls it: WNDPROC's arguments with
// pointer-wide integers for the handles. The parameter names the system's
// calling convention, so a procedure declared without it does not compile.
WNDPROC AsWndProc(LResult(CALLBACK* proc)(Handle, std::uint32_t, WParam, LParam)) {
  static_assert(sizeof(Handle) == sizeof(HWND) && sizeof(WParam) == sizeof(WPARAM) &&
                sizeof(LParam) == sizeof(LPARAM) && sizeof(LResult) == sizeof(LRESULT));
  return reinterpret_cast<WNDPROC>(reinterpret_cast<void (*)()>(proc));
}

// A handle carried in a 32-bit field: USER and GDI handles fit, sign-extended.
Handle FromField(std::uint32_t field) {
  return static_cast<Handle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(field)));
}

}  // namespace

std::int16_t WindowsWin32::GetAsyncKeyState(std::int32_t vKey) { return ::GetAsyncKeyState(vKey); }

void WindowsWin32::keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                               std::uint32_t dwExtraInfo) {
  ::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
}

std::int32_t WindowsWin32::SwapMouseButton(std::int32_t fSwap) { return ::SwapMouseButton(fSwap); }

std::int32_t WindowsWin32::GetSystemMetrics(std::int32_t nIndex) {
  return ::GetSystemMetrics(nIndex);
}

std::int32_t WindowsWin32::GetCursorPos(Point& lpPoint) {
  POINT point{lpPoint.x, lpPoint.y};
  const BOOL ok = ::GetCursorPos(&point);
  if (ok) lpPoint = {point.x, point.y};
  return ok;
}

Handle WindowsWin32::SetCapture(Handle hWnd) { return Of(::SetCapture(As<HWND>(hWnd))); }

std::int32_t WindowsWin32::ReleaseCapture() { return ::ReleaseCapture(); }

std::uint32_t WindowsWin32::GetTickCount() { return ::GetTickCount(); }

std::intptr_t WindowsWin32::ShellExecuteA(Handle hwnd, const char* lpOperation,
                                          const char* lpFile, const char* lpParameters,
                                          const char* lpDirectory, std::int32_t nShowCmd) {
  // Reached at the call, so that a missing shell library or entry point is an
  // error the caller can report rather than a program that will not start.
  using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
  static HMODULE shell32 = ::LoadLibraryA("shell32.dll");
  if (!shell32) throw Error(kErrDllNotFound, "File not found: shell32.dll");
  static const auto shellExecute =
      reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void (*)()>(::GetProcAddress(shell32, "ShellExecuteA")));
  if (!shellExecute)
    throw Error(kErrEntryPointNotFound, "Can't find DLL entry point ShellExecuteA in shell32.dll");
  return reinterpret_cast<std::intptr_t>(
      shellExecute(As<HWND>(hwnd), lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd));
}

std::int32_t WindowsWin32::Shell_NotifyIconA(std::uint32_t dwMessage,
                                             const NotifyIconDataA& lpData) {
  // The call form holds six 32-bit fields and 64 tip bytes; the platform's
  // first-version record has pointer-wide handles (104 bytes on 64-bit).
  std::uint32_t fields[6];
  std::memcpy(fields, lpData.bytes.data(), sizeof fields);
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = As<HWND>(FromField(fields[1]));
  record.uID = fields[2];
  record.uFlags = fields[3];
  record.uCallbackMessage = fields[4];
  record.hIcon = As<HICON>(FromField(fields[5]));
  std::memcpy(record.szTip, lpData.bytes.data() + 24, 64);
  return ::Shell_NotifyIconA(dwMessage, &record);
}

std::int32_t WindowsWin32::WideCharToMultiByte(std::uint32_t CodePage, std::uint32_t dwFlags,
                                              const char16_t* lpWideCharStr,
                                              std::int32_t cchWideChar, char* lpMultiByteStr,
                                              std::int32_t cbMultiByte, const char* lpDefaultChar,
                                              std::int32_t* lpUsedDefaultChar) {
  BOOL usedDefault = FALSE;
  const int written = ::WideCharToMultiByte(
      CodePage, dwFlags, reinterpret_cast<LPCWCH>(lpWideCharStr), cchWideChar, lpMultiByteStr,
      cbMultiByte, lpDefaultChar, lpUsedDefaultChar ? &usedDefault : nullptr);
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault;
  return written;
}

std::int32_t WindowsWin32::CoInitializeEx(void* pvReserved, std::uint32_t dwCoInit) {
  return ::CoInitializeEx(pvReserved, dwCoInit);
}

void WindowsWin32::CoUninitialize() { ::CoUninitialize(); }

std::int32_t WindowsWin32::RegOpenKeyExA(Handle hKey, const char* lpSubKey,
                                         std::uint32_t ulOptions, std::uint32_t samDesired,
                                         Handle* phkResult) {
  HKEY key = phkResult ? As<HKEY>(*phkResult) : nullptr;
  const LSTATUS status = ::RegOpenKeyExA(As<HKEY>(hKey), lpSubKey, ulOptions, samDesired,
                                         phkResult ? &key : nullptr);
  if (phkResult) *phkResult = Of(key);
  return status;
}

std::int32_t WindowsWin32::RegQueryValueExA(Handle hKey, const char* lpValueName,
                                            std::uint32_t* lpReserved, std::uint32_t* lpType,
                                            std::uint8_t* lpData, std::uint32_t* lpcbData) {
  // DWORD is a distinct type of the same width: each goes through a copy,
  // which Windows leaves as it was wherever it writes nothing.
  DWORD reserved = lpReserved ? *lpReserved : 0;
  DWORD type = lpType ? *lpType : 0;
  DWORD size = lpcbData ? *lpcbData : 0;
  const LSTATUS status =
      ::RegQueryValueExA(As<HKEY>(hKey), lpValueName, lpReserved ? &reserved : nullptr,
                         lpType ? &type : nullptr, lpData, lpcbData ? &size : nullptr);
  if (lpType) *lpType = type;
  if (lpcbData) *lpcbData = size;
  return status;
}

std::int32_t WindowsWin32::RegCloseKey(Handle hKey) { return ::RegCloseKey(As<HKEY>(hKey)); }

Handle WindowsWin32::CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                   std::int32_t y2) {
  return Of(::CreateRectRgn(x1, y1, x2, y2));
}

Handle WindowsWin32::CreateRoundRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                        std::int32_t y2, std::int32_t w, std::int32_t h) {
  return Of(::CreateRoundRectRgn(x1, y1, x2, y2, w, h));
}

std::int32_t WindowsWin32::CombineRgn(Handle hrgnDst, Handle hrgnSrc1, Handle hrgnSrc2,
                                      std::int32_t iMode) {
  return ::CombineRgn(As<HRGN>(hrgnDst), As<HRGN>(hrgnSrc1), As<HRGN>(hrgnSrc2), iMode);
}

std::int32_t WindowsWin32::DeleteObject(Handle ho) { return ::DeleteObject(As<HGDIOBJ>(ho)); }

std::int32_t WindowsWin32::SetWindowRgn(Handle hWnd, Handle hRgn, std::int32_t bRedraw) {
  return ::SetWindowRgn(As<HWND>(hWnd), As<HRGN>(hRgn), bRedraw);
}

std::int32_t WindowsWin32::GetDeviceCaps(std::int32_t index) {
  HDC screen = ::GetDC(nullptr);
  const int value = ::GetDeviceCaps(screen, index);
  ::ReleaseDC(nullptr, screen);
  return value;
}

std::uint16_t WindowsWin32::RegisterClassA(const WndClassA& lpWndClass) {
  WNDCLASSA wc{};
  wc.style = lpWndClass.style;
  wc.lpfnWndProc = AsWndProc(lpWndClass.lpfnWndProc);
  wc.cbClsExtra = lpWndClass.cbClsExtra;
  wc.cbWndExtra = lpWndClass.cbWndExtra;
  wc.hInstance = As<HINSTANCE>(lpWndClass.hInstance);
  wc.hIcon = As<HICON>(lpWndClass.hIcon);
  wc.hCursor = As<HCURSOR>(lpWndClass.hCursor);
  wc.hbrBackground = As<HBRUSH>(lpWndClass.hbrBackground);
  wc.lpszMenuName = lpWndClass.lpszMenuName;
  wc.lpszClassName = lpWndClass.lpszClassName;
  return ::RegisterClassA(&wc);
}

std::int32_t WindowsWin32::UnregisterClassA(const char* lpClassName, Handle hInstance) {
  return ::UnregisterClassA(lpClassName, As<HINSTANCE>(hInstance));
}

Handle WindowsWin32::CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                                     const char* lpWindowName, std::uint32_t dwStyle,
                                     std::int32_t x, std::int32_t y, std::int32_t nWidth,
                                     std::int32_t nHeight, Handle hWndParent, Handle hMenu,
                                     Handle hInstance, void* lpParam) {
  return Of(::CreateWindowExA(dwExStyle, lpClassName, lpWindowName, dwStyle, x, y, nWidth,
                              nHeight, As<HWND>(hWndParent), As<HMENU>(hMenu),
                              As<HINSTANCE>(hInstance), lpParam));
}

LResult WindowsWin32::DefWindowProcA(Handle hWnd, std::uint32_t uMsg, WParam wParam,
                                     LParam lParam) {
  return ::DefWindowProcA(As<HWND>(hWnd), uMsg, wParam, lParam);
}

LResult WindowsWin32::SendMessageA(Handle hWnd, std::uint32_t uMsg, WParam wParam,
                                   LParam lParam) {
  return ::SendMessageA(As<HWND>(hWnd), uMsg, wParam, lParam);
}

std::intptr_t WindowsWin32::GetWindowLongA(Handle hWnd, std::int32_t nIndex) {
  return ::GetWindowLongPtrA(As<HWND>(hWnd), nIndex);
}

std::intptr_t WindowsWin32::SetWindowLongA(Handle hWnd, std::int32_t nIndex,
                                           std::intptr_t dwNewLong) {
  return ::SetWindowLongPtrA(As<HWND>(hWnd), nIndex, dwNewLong);
}

std::uint32_t WindowsWin32::RegisterWindowMessageA(const char* lpString) {
  return ::RegisterWindowMessageA(lpString);
}

std::int32_t WindowsWin32::SetForegroundWindow(Handle hWnd) {
  return ::SetForegroundWindow(As<HWND>(hWnd));
}

std::int32_t WindowsWin32::MessageBoxA(Handle hWnd, const char* lpText, const char* lpCaption,
                                       std::uint32_t uType) {
  return ::MessageBoxA(As<HWND>(hWnd), lpText, lpCaption, uType);
}

std::int32_t WindowsWin32::ChangeWindowMessageFilterEx(Handle hwnd, std::uint32_t message,
                                                       std::uint32_t action,
                                                       void* pChangeFilterStruct) {
  // Looked up, not imported: the program still starts where it is missing.
  using FilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  static const auto filter = reinterpret_cast<FilterFn>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
  return filter ? filter(As<HWND>(hwnd), message, action, pChangeFilterStruct) : FALSE;
}

Handle WindowsWin32::GetModuleHandleA(const char* lpModuleName) {
  return Of(::GetModuleHandleA(lpModuleName));
}

Handle WindowsWin32::FindWindowExA(Handle hWndParent, Handle hWndChildAfter, const char* lpszClass,
                                   const char* lpszWindow) {
  return Of(::FindWindowExA(As<HWND>(hWndParent), As<HWND>(hWndChildAfter), lpszClass, lpszWindow));
}

LResult WindowsWin32::SendMessageTimeoutA(Handle hWnd, std::uint32_t Msg, WParam wParam,
                                          LParam lParam, std::uint32_t fuFlags,
                                          std::uint32_t uTimeout, std::uintptr_t* lpdwResult) {
  DWORD_PTR result = 0;
  const LRESULT sent =
      ::SendMessageTimeoutA(As<HWND>(hWnd), Msg, wParam, lParam, fuFlags, uTimeout, &result);
  if (lpdwResult) *lpdwResult = result;
  return sent;
}

std::uint32_t WindowsWin32::GetWindowThreadProcessId(Handle hWnd, std::uint32_t* lpdwProcessId) {
  DWORD process = 0;
  const DWORD thread = ::GetWindowThreadProcessId(As<HWND>(hWnd), &process);
  if (lpdwProcessId) *lpdwProcessId = process;
  return thread;
}

std::int32_t WindowsWin32::AllowSetForegroundWindow(std::uint32_t dwProcessId) {
  return ::AllowSetForegroundWindow(dwProcessId);
}

Handle WindowsWin32::CreateMutexA(void* lpMutexAttributes, std::int32_t bInitialOwner,
                                  const char* lpName) {
  return Of(::CreateMutexA(static_cast<LPSECURITY_ATTRIBUTES>(lpMutexAttributes), bInitialOwner,
                           lpName));
}

std::int32_t WindowsWin32::CloseHandle(Handle hObject) {
  return ::CloseHandle(As<HANDLE>(hObject));
}

std::uint32_t WindowsWin32::GetLastError() { return ::GetLastError(); }

void WindowsWin32::Sleep(std::uint32_t dwMilliseconds) { ::Sleep(dwMilliseconds); }

}  // namespace platform::windows
