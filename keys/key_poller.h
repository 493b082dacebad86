// The key loop of one tick: five keys read in table order, each answered
// right after its own reading.
#pragma once

#include "keys/button_assignment.h"
#include "platform/win32.h"

namespace keys {

// Every step's error is skipped; the loop always completes. Allocates nothing.
void RunKeyLoop(platform::Input& input, const ButtonAssignment& buttons) noexcept;

}  // namespace keys
