#include <algorithm>
#include <cctype>
#include <utility>

#include "fake/fake_desktop.h"
#include "tray/modInTray.h"

namespace fake {

std::string LowerName(const char* name) {
  std::string out = name ? name : "";
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

WindowsState::WindowsState() { tray::ResetModuleState(); }

int WindowsState::WindowsOfClass(const std::string& className) const {
  const std::string key = LowerName(className.c_str());
  return static_cast<int>(std::count_if(windows.begin(), windows.end(), [&](const auto& entry) {
    return LowerName(entry.second.className.c_str()) == key;
  }));
}

bool WindowsState::IsClassRegistered(const std::string& className) const {
  return classes.count(LowerName(className.c_str())) != 0;
}

platform::LResult WindowsState::Deliver(platform::Handle hWnd, std::uint32_t uMsg,
                                        platform::WParam wParam, platform::LParam lParam) {
  auto it = windows.find(hWnd);
  if (it == windows.end()) return 0;
  // The procedure may destroy its own window; keep what the call needs.
  const platform::WndProc proc = it->second.proc;
  delivered.push_back({hWnd, uMsg, wParam, lParam});
  return proc ? proc(hWnd, uMsg, wParam, lParam) : 0;
}

int WindowsState::Broadcast(std::uint32_t uMsg, platform::WParam wParam,
                            platform::LParam lParam) {
  // Receivers may create or destroy windows meanwhile: send to those there at the start.
  std::vector<platform::Handle> topLevel;
  for (const auto& [handle, window] : windows)
    if (window.parent == 0) topLevel.push_back(handle);
  int reached = 0;
  for (platform::Handle handle : topLevel) {
    if (!IsWindow(handle)) continue;
    Deliver(handle, uMsg, wParam, lParam);
    ++reached;
  }
  return reached;
}

void WindowsState::DestroyWindow(platform::Handle hWnd) {
  auto it = windows.find(hWnd);
  if (it == windows.end() || it->second.destroying) return;
  it->second.destroying = true;
  // The window stays valid, user data included, while it hears of its end.
  Deliver(hWnd, platform::WM_DESTROY, 0, 0);
  Deliver(hWnd, WM_NCDESTROY, 0, 0);
  windows.erase(hWnd);
}

std::uint16_t FakeDesktop::RegisterClassA(const platform::WndClassA& lpWndClass) {
  const std::string name = lpWndClass.lpszClassName ? lpWndClass.lpszClassName : "";
  if (Fails("RegisterClassA", name.c_str())) return 0;
  // A second registration of a name fails (class already exists).
  if (name.empty() || windows.IsClassRegistered(name)) return 0;
  windows.classes[LowerName(name.c_str())] = {lpWndClass, name};
  windows.classes[LowerName(name.c_str())].wc.lpszClassName = nullptr;  // the caller's text may go
  return static_cast<std::uint16_t>(0xC000 + windows.classes.size());
}

std::int32_t FakeDesktop::UnregisterClassA(const char* lpClassName, platform::Handle hInstance) {
  if (Fails("UnregisterClassA", lpClassName, hInstance)) return 0;
  auto it = windows.classes.find(LowerName(lpClassName));
  if (it == windows.classes.end() || it->second.wc.hInstance != hInstance) return 0;
  // Fails while a window of the class exists (class has open windows).
  if (windows.WindowsOfClass(it->second.name) > 0) return 0;
  windows.classes.erase(it);
  return 1;
}

platform::Handle FakeDesktop::CreateWindowExA(std::uint32_t dwExStyle, const char* lpClassName,
                                              const char* lpWindowName, std::uint32_t dwStyle,
                                              std::int32_t x, std::int32_t y, std::int32_t nWidth,
                                              std::int32_t nHeight, platform::Handle hWndParent,
                                              platform::Handle hMenu, platform::Handle hInstance,
                                              void* lpParam) {
  if (Fails("CreateWindowExA", dwExStyle, lpClassName, lpWindowName, dwStyle, x, y, nWidth,
            nHeight, hWndParent, hMenu, hInstance, reinterpret_cast<std::uintptr_t>(lpParam)))
    return 0;
  auto cls = windows.classes.find(LowerName(lpClassName));
  if (cls == windows.classes.end()) return 0;
  if (hWndParent != 0 && !windows.IsWindow(hWndParent)) return 0;
  const platform::Handle hwnd = windows.nextWindow++;
  windows.windows[hwnd] = {cls->second.name, lpWindowName ? lpWindowName : "",
                           cls->second.wc.lpfnWndProc, 0, hWndParent, false};

  // The messages a new overlapped window receives before CreateWindowExA
  // returns; a refusal of WM_NCCREATE or WM_CREATE undoes the creation with
  // WM_NCDESTROY alone, as Wine does: the window never hears WM_DESTROY.
  windows.Deliver(hwnd, WM_GETMINMAXINFO, 0, 0);
  bool refused = windows.Deliver(hwnd, platform::WM_NCCREATE, 0, 0) == 0;
  if (!refused) {
    windows.Deliver(hwnd, WM_NCCALCSIZE, 0, 0);
    refused = windows.Deliver(hwnd, platform::WM_CREATE, 0, 0) == -1;
  }
  if (refused) {
    windows.Deliver(hwnd, WM_NCDESTROY, 0, 0);
    windows.windows.erase(hwnd);
    return 0;
  }
  if (hWndParent == 0) session().PutOnTop(hwnd);
  return windows.IsWindow(hwnd) ? hwnd : 0;
}

platform::LResult FakeDesktop::DefWindowProcA(platform::Handle hWnd, std::uint32_t uMsg,
                                              platform::WParam wParam, platform::LParam lParam) {
  if (Fails("DefWindowProcA", hWnd, uMsg, wParam, lParam)) return 0;
  switch (uMsg) {
    case platform::WM_NCCREATE:
      return 1;  // go on with the creation
    case platform::WM_CLOSE:
      windows.DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}

platform::LResult FakeDesktop::SendMessageA(platform::Handle hWnd, std::uint32_t uMsg,
                                            platform::WParam wParam, platform::LParam lParam) {
  if (Fails("SendMessageA", hWnd, uMsg, wParam, lParam)) return 0;
  if (hWnd == HWND_BROADCAST) {
    windows.Broadcast(uMsg, wParam, lParam);
    return 1;
  }
  return windows.Deliver(hWnd, uMsg, wParam, lParam);
}

std::intptr_t FakeDesktop::GetWindowLongA(platform::Handle hWnd, std::int32_t nIndex) {
  if (Fails("GetWindowLongA", hWnd, nIndex)) return 0;
  auto it = windows.windows.find(hWnd);
  if (it == windows.windows.end() || nIndex != platform::GWL_USERDATA) return 0;
  return it->second.userData;
}

std::intptr_t FakeDesktop::SetWindowLongA(platform::Handle hWnd, std::int32_t nIndex,
                                          std::intptr_t dwNewLong) {
  if (Fails("SetWindowLongA", hWnd, nIndex, dwNewLong)) return 0;
  auto it = windows.windows.find(hWnd);
  if (it == windows.windows.end() || nIndex != platform::GWL_USERDATA) return 0;
  return std::exchange(it->second.userData, dwNewLong);
}

std::uint32_t FakeDesktop::RegisterWindowMessageA(const char* lpString) {
  if (Fails("RegisterWindowMessageA", lpString)) return 0;
  if (!lpString || !*lpString) return 0;
  return session().MessageNumber(lpString);
}

std::int32_t FakeDesktop::SetForegroundWindow(platform::Handle hWnd) {
  if (Fails("SetForegroundWindow", hWnd)) return 0;
  windows.foreground = hWnd;
  session().PutOnTop(hWnd);
  return 1;
}

std::int32_t FakeDesktop::ChangeWindowMessageFilterEx(platform::Handle hwnd,
                                                      std::uint32_t message, std::uint32_t action,
                                                      void* pChangeFilterStruct) {
  if (Fails("ChangeWindowMessageFilterEx", hwnd, message, action, pChangeFilterStruct ? 1 : 0))
    return 0;
  if (!(windows.IsWindow(hwnd) || hwnd == window.handle) || action != platform::MSGFLT_ALLOW)
    return 0;
  windows.messagesAllowed.emplace_back(hwnd, message);
  return 1;
}

std::int32_t FakeDesktop::MessageBoxA(platform::Handle hWnd, const char* lpText,
                                      const char* lpCaption, std::uint32_t uType) {
  if (Fails("MessageBoxA", hWnd, lpText, lpCaption, uType)) return 0;
  windows.messageBoxes.push_back({hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "", uType});
  while (!windows.queued.empty()) {
    const std::function<void()> message = std::move(windows.queued.front());
    windows.queued.pop_front();
    message();
  }
  return 1;  // IDOK
}

platform::Handle FakeDesktop::GetModuleHandleA(const char* lpModuleName) {
  if (Fails("GetModuleHandleA", lpModuleName)) return 0;
  return WindowsState::kInstance;
}

platform::Handle FakeDesktop::FindWindowExA(platform::Handle hWndParent,
                                            platform::Handle hWndChildAfter,
                                            const char* lpszClass, const char* lpszWindow) {
  if (Fails("FindWindowExA", hWndParent, hWndChildAfter, lpszClass, lpszWindow) || hWndParent != 0)
    return 0;
  const std::vector<platform::Handle> all = session().TopLevelWindows();
  auto from = all.begin();
  if (hWndChildAfter != 0) {
    from = std::find(all.begin(), all.end(), hWndChildAfter);
    if (from == all.end()) return 0;
    ++from;
  }
  for (auto it = from; it != all.end(); ++it) {
    const FakeDesktop& owner = *session().OwnerOf(*it);
    const bool main = *it == owner.window.handle;
    const std::string cls =
        main ? owner.window.desc.className : owner.windows.windows.at(*it).className;
    const std::string title = main ? owner.window.desc.text : owner.windows.windows.at(*it).title;
    if ((!lpszClass || LowerName(lpszClass) == LowerName(cls.c_str())) &&
        (!lpszWindow || LowerName(lpszWindow) == LowerName(title.c_str())))
      return *it;
  }
  return 0;
}

platform::LResult FakeDesktop::SendMessageTimeoutA(platform::Handle hWnd, std::uint32_t Msg,
                                                   platform::WParam wParam, platform::LParam lParam,
                                                   std::uint32_t fuFlags, std::uint32_t uTimeout,
                                                   std::uintptr_t* lpdwResult) {
  if (Fails("SendMessageTimeoutA", hWnd, Msg, wParam, lParam, fuFlags, uTimeout)) {
    lastError = platform::ERROR_TIMEOUT;
    return 0;
  }
  FakeDesktop* owner = session().OwnerOf(hWnd);
  if (!owner) {
    lastError = platform::ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  // A process with fewer rights reaches an elevated one's window only with
  // what that window let in.
  const auto allowed = std::find(owner->windows.messagesAllowed.begin(),
                                 owner->windows.messagesAllowed.end(), std::pair{hWnd, Msg});
  if (owner->elevated && !elevated && allowed == owner->windows.messagesAllowed.end()) {
    lastError = platform::ERROR_ACCESS_DENIED;
    return 0;
  }
  if (!owner->answering) {
    // A window that has stopped answering for long is given up at once.
    if ((fuFlags & platform::SMTO_ABORTIFHUNG) == 0) tickCount += uTimeout;
    lastError = platform::ERROR_TIMEOUT;
    return 0;
  }
  const platform::LResult answer = owner->Receive(hWnd, Msg, wParam, lParam);
  if (lpdwResult) *lpdwResult = static_cast<std::uintptr_t>(answer);
  lastError = 0;
  return 1;
}

platform::LResult FakeDesktop::Receive(platform::Handle hWnd, std::uint32_t uMsg,
                                       platform::WParam wParam, platform::LParam lParam) {
  if (hWnd == window.handle) return window.Receive(uMsg);
  return windows.Deliver(hWnd, uMsg, wParam, lParam);
}

std::uint32_t FakeDesktop::GetWindowThreadProcessId(platform::Handle hWnd,
                                                    std::uint32_t* lpdwProcessId) {
  if (Fails("GetWindowThreadProcessId", hWnd)) return 0;
  const FakeDesktop* owner = session().OwnerOf(hWnd);
  if (!owner) return 0;
  if (lpdwProcessId) *lpdwProcessId = owner->processId;
  return owner->processId + 1;   // its one thread
}

std::int32_t FakeDesktop::AllowSetForegroundWindow(std::uint32_t dwProcessId) {
  if (Fails("AllowSetForegroundWindow", dwProcessId)) return 0;
  return session().Runs(dwProcessId) ? 1 : 0;
}

}  // namespace fake
