// The user's own mouse-button assignment, which the Ctrl swap turns around
// for one tick and which is set back whenever the program lets go.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace keys {

class ButtonAssignment {
 public:
  // Reads the assignment the user saved in the system settings. The live
  // assignment is no guide to it: a tick may just have set the old one back,
  // and another instance may have left the buttons turned. Only if the saved
  // value cannot be read does the live one stand in.
  void ReadUserSetting(platform::Registry& registry, platform::Input& input);

  // SwapMouseButton's argument after a fresh Ctrl press: the opposite of the user's.
  std::int32_t Swapped() const { return userSwapped_ ? 0 : 1; }
  // SwapMouseButton's argument for the user's own assignment.
  std::int32_t User() const { return userSwapped_ ? 1 : 0; }

  void Restore(platform::Input& input) const { input.SwapMouseButton(User()); }

 private:
  bool userSwapped_ = false;
};

}  // namespace keys
