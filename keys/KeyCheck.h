// The key-state query, and nothing else.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace KeyCheck {

// The 16-bit reading: 0x8000 down now, 0x0001 pressed since the previous query.
inline std::int16_t GetAsyncKeyState(platform::Input& input, std::int32_t vKey) {
  return input.GetAsyncKeyState(vKey);
}

}  // namespace KeyCheck
