// Plain types shared by the program and the platform layer. Handles are
// pointer-wide so that the same logic serves the 32-bit and the 64-bit build.
#pragma once

#include <cstdint>

namespace platform {

using Handle = std::uintptr_t;   // HWND, HRGN, HICON, HINSTANCE, HCURSOR
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Booleans passed between the program's own parts: true is -1, false is 0.
using Bool16 = std::int16_t;
inline constexpr Bool16 kTrue = -1;
inline constexpr Bool16 kFalse = 0;

// Mouse-button codes carried by events.
inline constexpr std::int16_t kPrimaryButton = 1;
inline constexpr std::int16_t kSecondaryButton = 2;
inline constexpr std::int16_t kMiddleButton = 4;

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool Contains(Point p) const {
    return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
