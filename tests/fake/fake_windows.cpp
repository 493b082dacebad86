#include "fake/fake_desktop.h"

namespace fake {

std::uint16_t FakeDesktop::RegisterClassA(const platform::WndClassA& lpWndClass) {
  const std::string name = lpWndClass.lpszClassName ? lpWndClass.lpszClassName : "";
  log.Record("RegisterClassA", name.c_str());
  if (faults.Hit("RegisterClassA") == Fault::FailResult) return 0;
  if (windows.classes.count(name)) return 0;
  windows.classes[name] = {lpWndClass, name};
  return static_cast<std::uint16_t>(0xC000 + windows.classes.size());
}

std::int32_t FakeDesktop::UnregisterClassA(const char* lpClassName, platform::Handle hInstance) {
  log.Record("UnregisterClassA", lpClassName, hInstance);
  if (faults.Hit("UnregisterClassA") == Fault::FailResult) return 0;
  for (const auto& [handle, window] : windows.windows)
    if (window.className == lpClassName) return 0;
  return windows.classes.erase(lpClassName) ? 1 : 0;
}

platform::Handle FakeDesktop::CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                                              const char* lpWindowName, std::uint32_t dwStyle,
                                              std::int32_t x, std::int32_t y, std::int32_t nWidth,
                                              std::int32_t nHeight, platform::Handle hWndParent,
                                              platform::Handle hMenu, platform::Handle hInstance,
                                              void* lpParam) {
  log.Record("CreateWindowExA", dwExStyle, lpClassName, lpWindowName, dwStyle, x, y, nWidth,
                 nHeight, hWndParent, hMenu, hInstance,
                 reinterpret_cast<std::uintptr_t>(lpParam));
  if (faults.Hit("CreateWindowExA") == Fault::FailResult) return 0;
  auto cls = windows.classes.find(lpClassName);
  if (cls == windows.classes.end()) return 0;
  const platform::Handle hwnd = windows.nextWindow++;
  windows.windows[hwnd] = {lpClassName, lpWindowName ? lpWindowName : "",
                           cls->second.wc.lpfnWndProc, 0};
  cls->second.wc.lpfnWndProc(hwnd, platform::WM_NCCREATE, 0, 0);
  cls->second.wc.lpfnWndProc(hwnd, platform::WM_CREATE, 0, 0);
  return hwnd;
}

platform::LResult FakeDesktop::DefWindowProcA(platform::Handle hWnd, std::uint32_t uMsg,
                                              platform::WParam wParam, platform::LParam lParam) {
  log.Record("DefWindowProcA", hWnd, uMsg, wParam, lParam);
  if (faults.Hit("DefWindowProcA") == Fault::FailResult) return 0;
  if (uMsg == platform::WM_CLOSE) {
    auto it = windows.windows.find(hWnd);
    if (it != windows.windows.end()) {
      const platform::WndProc proc = it->second.proc;
      proc(hWnd, platform::WM_DESTROY, 0, 0);
      windows.windows.erase(hWnd);
    }
  }
  return 0;
}

platform::LResult FakeDesktop::SendMessageA(platform::Handle hWnd, std::uint32_t uMsg,
                                            platform::WParam wParam, platform::LParam lParam) {
  log.Record("SendMessageA", hWnd, uMsg, wParam, lParam);
  if (faults.Hit("SendMessageA") == Fault::FailResult) return 0;
  auto it = windows.windows.find(hWnd);
  if (it == windows.windows.end()) return 0;
  return it->second.proc(hWnd, uMsg, wParam, lParam);
}

std::intptr_t FakeDesktop::GetWindowLongA(platform::Handle hWnd, std::int32_t nIndex) {
  log.Record("GetWindowLongA", hWnd, nIndex);
  if (faults.Hit("GetWindowLongA") == Fault::FailResult) return 0;
  auto it = windows.windows.find(hWnd);
  if (it == windows.windows.end() || nIndex != platform::GWL_USERDATA) return 0;
  return it->second.userData;
}

std::intptr_t FakeDesktop::SetWindowLongA(platform::Handle hWnd, std::int32_t nIndex,
                                          std::intptr_t dwNewLong) {
  log.Record("SetWindowLongA", hWnd, nIndex, dwNewLong);
  if (faults.Hit("SetWindowLongA") == Fault::FailResult) return 0;
  auto it = windows.windows.find(hWnd);
  if (it == windows.windows.end() || nIndex != platform::GWL_USERDATA) return 0;
  const std::intptr_t previous = it->second.userData;
  it->second.userData = dwNewLong;
  return previous;
}

std::uint32_t FakeDesktop::RegisterWindowMessageA(const char* lpString) {
  log.Record("RegisterWindowMessageA", lpString);
  if (faults.Hit("RegisterWindowMessageA") == Fault::FailResult) return 0;
  auto [it, added] = windows.registeredMessages.emplace(lpString, windows.nextMessage);
  if (added) ++windows.nextMessage;
  return it->second;
}

std::int32_t FakeDesktop::SetForegroundWindow(platform::Handle hWnd) {
  log.Record("SetForegroundWindow", hWnd);
  if (faults.Hit("SetForegroundWindow") == Fault::FailResult) return 0;
  windows.foreground = hWnd;
  return 1;
}

std::int32_t FakeDesktop::MessageBoxA(platform::Handle hWnd, const char* lpText,
                                      const char* lpCaption, std::uint32_t uType) {
  log.Record("MessageBoxA", hWnd, lpText, lpCaption, uType);
  if (faults.Hit("MessageBoxA") == Fault::FailResult) return 0;
  windows.messageBoxes.push_back({hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "", uType});
  return 1;  // IDOK
}

platform::Handle FakeDesktop::GetModuleHandleA(const char* lpModuleName) {
  log.Record("GetModuleHandleA", lpModuleName);
  return WindowsState::kInstance;
}

}  // namespace fake
