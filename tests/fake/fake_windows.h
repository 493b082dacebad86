// Window classes, windows and messages of the fake desktop.
#pragma once

#include <cstdint>
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

struct WindowsState {
  struct Window {
    std::string className;
    std::string title;
    platform::WndProc proc = nullptr;
    std::intptr_t userData = 0;
  };
  struct WindowClass {
    platform::WndClassA wc;
    std::string name;
  };

  std::map<std::string, WindowClass> classes;
  std::map<platform::Handle, Window> windows;
  std::map<std::string, std::uint32_t> registeredMessages;
  std::vector<MessageBoxShown> messageBoxes;
  platform::Handle foreground = 0;
  platform::Handle nextWindow = 0x2000;
  std::uint32_t nextMessage = 0xC000;
  static constexpr platform::Handle kInstance = 0x400000;
};

}  // namespace fake
