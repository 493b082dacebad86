// The shell of the fake desktop: documents opened and the notification area.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "platform/win32.h"

namespace fake {

struct ShellExecuted {
  platform::Handle owner;
  std::string operation;
  std::string file;
  std::int32_t showCommand;
};

struct ShellState {
  std::vector<ShellExecuted> executed;
  std::intptr_t executeResult = 42;   // > 32 is success
  // Icons keyed by (window, id), each with the record it was last given.
  std::map<std::pair<std::uint32_t, std::uint32_t>, platform::NotifyIconDataA> icons;
  bool taskbarRunning = true;
};

}  // namespace fake
