#include "app/layout.h"

#include <algorithm>
#include <cmath>

namespace app {

PictureSize SizeOf(platform::Picture picture) {
  switch (picture) {
    case Picture::Skin: return {501, 328};
    case Picture::MinButImg: return {98, 28};
    case Picture::MinImg: return {11, 7};
    case Picture::XImg: return {13, 11};
    case Picture::OverImg: return {96, 27};
    case Picture::None: break;
  }
  return {0, 0};
}

std::int32_t ToPixels(std::int32_t units, std::int32_t logicalPixelsPerInch) {
  // Halves go away from zero; no control of the layout falls on one at 96 or 120.
  return static_cast<std::int32_t>(
      std::lround(static_cast<double>(units) * logicalPixelsPerInch / 1440.0));
}

platform::Rect ToPixels(const platform::Rect& units, std::int32_t dpiX, std::int32_t dpiY) {
  return {ToPixels(units.x, dpiX), ToPixels(units.y, dpiY), ToPixels(units.width, dpiX),
          ToPixels(units.height, dpiY)};
}

namespace {

// One axis: the start that keeps [start, start + size) inside [lo, lo + room).
std::int32_t Fit(std::int32_t start, std::int32_t size, std::int32_t lo, std::int32_t room) {
  if (size >= room) return lo;
  return std::clamp(start, lo, lo + room - size);
}

}  // namespace

platform::Rect FitInWorkArea(const platform::Rect& window, const platform::Rect& work) {
  return {Fit(window.x, window.width, work.x, work.width),
          Fit(window.y, window.height, work.y, work.height), window.width, window.height};
}

}  // namespace app
