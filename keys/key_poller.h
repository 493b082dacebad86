// The key loop of one tick: five keys read in table order, each answered
// right after its own reading.
#pragma once

#include <cstdint>

#include "keys/button_assignment.h"
#include "platform/win32.h"

namespace keys {

class KeyPoller {
 public:
  // Every step's error is skipped; the loop always completes. Allocates nothing.
  void RunKeyLoop(platform::Input& input, const ButtonAssignment& buttons) noexcept;

 private:
  // Bit i: key i of the table was down at this program's last reading of it.
  // The pressed-since-query bit belongs to the whole session (another program
  // reading the same key takes it) and some platforms never set it, so a key
  // seen going down is a fresh press too. All set at first: a key already
  // held when polling starts waits for its next press.
  std::uint8_t downAtLastReading_ = 0xFF;
};

}  // namespace keys
