// Window classes, windows and messages of the fake desktop: registration
// rules, creation messages during CreateWindowExA, user data, synchronous
// SendMessageA, DefWindowProcA destroying a window on WM_CLOSE, registered
// message numbers from 0xC000 and broadcasts to top-level windows.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32.h"

namespace fake {

struct MessageBoxShown {
  platform::Handle owner;
  std::string text;
  std::string caption;
  std::uint32_t type;
};

// A message as a window procedure received it.
struct Delivered {
  platform::Handle hWnd;
  std::uint32_t uMsg;
  platform::WParam wParam;
  platform::LParam lParam;
  friend bool operator==(const Delivered&, const Delivered&) = default;
};

// Messages the fake sends on its own.
inline constexpr std::uint32_t WM_GETMINMAXINFO = 0x0024;
inline constexpr std::uint32_t WM_NCDESTROY = 0x0082;
inline constexpr std::uint32_t WM_NCCALCSIZE = 0x0083;
inline constexpr platform::Handle HWND_BROADCAST = 0xFFFF;

struct WindowsState {
  // A new desktop is a new process for the program: its module state starts afresh.
  WindowsState();

  struct Window {
    std::string className;
    std::string title;
    platform::WndProc proc = nullptr;
    std::intptr_t userData = 0;
    platform::Handle parent = 0;
    bool destroying = false;
  };
  struct WindowClass {
    platform::WndClassA wc;
    std::string name;
  };

  bool IsWindow(platform::Handle hWnd) const { return windows.count(hWnd) != 0; }
  // Windows of a class (names compare without regard to case).
  int WindowsOfClass(const std::string& className) const;
  bool IsClassRegistered(const std::string& className) const;

  // Hands a message to a window's procedure, recording it in `delivered`.
  platform::LResult Deliver(platform::Handle hWnd, std::uint32_t uMsg, platform::WParam wParam,
                            platform::LParam lParam);
  // Sends to every top-level window, as a broadcast does; returns how many got it.
  int Broadcast(std::uint32_t uMsg, platform::WParam wParam, platform::LParam lParam);
  // WM_DESTROY, then WM_NCDESTROY, then the window is gone.
  void DestroyWindow(platform::Handle hWnd);

  std::map<std::string, WindowClass> classes;  // keyed by lower-case name
  std::map<platform::Handle, Window> windows;
  std::vector<Delivered> delivered;
  std::vector<MessageBoxShown> messageBoxes;
  // Messages waiting in the program's queue (ticks, clicks, the icon's
  // callbacks): a message box runs its own loop, which delivers them, in
  // order, while the box is up.
  std::deque<std::function<void()>> queued;
  platform::Handle foreground = 0;
  // The (window, message) pairs let through from lower integrity.
  std::vector<std::pair<platform::Handle, std::uint32_t>> messagesAllowed;
  platform::Handle nextWindow = 0x2000;   // moved past other processes' handles
  static constexpr platform::Handle kInstance = 0x400000;
};

// Class and message names compare without regard to case.
std::string LowerName(const char* name);

}  // namespace fake
