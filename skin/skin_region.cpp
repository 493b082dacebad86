#include "skin/skin_region.h"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/constants.h"
#include "platform/error.h"

namespace skin {

Region::Region(Region&& other) noexcept
    : gdi_(other.gdi_), handle_(std::exchange(other.handle_, 0)) {}

Region& Region::operator=(Region&& other) noexcept {
  if (this != &other) {
    DeleteQuietly();
    gdi_ = other.gdi_;
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

Region::~Region() { DeleteQuietly(); }

void Region::Delete() {
  if (handle_ == 0) return;
  gdi_->DeleteObject(handle_);
  handle_ = 0;
}

platform::Handle Region::Release() { return std::exchange(handle_, 0); }

void Region::DeleteQuietly() noexcept {
  // Runs while an error unwinds; a second error here has nowhere to go.
  try {
    Delete();
  } catch (...) {
  }
}

namespace {

// Positions and sizes in pixels of a 96 pixels-per-inch screen.
struct Shape {
  bool rounded;
  float x1, y1, x2, y2;
  float ellipseWidth, ellipseHeight;
};

constexpr std::array<Shape, 5> kShapes{{
    {true, -12, -9, 84, 89, 72, 90},      // top-left rounded corner
    {true, 346, -13, 502, 103, 132, 34},  // top-right rounded corner
    {false, 60, 0, 416, 131, 0, 0},       // band along the top
    {false, 0, 49, 183, 328, 0, 0},       // left part
    {false, 151, 55, 501, 328, 0, 0},     // right part
}};

constexpr double kDesignUnitsPerPixel = 15;   // 1440 / 96

[[noreturn]] void Overflow() { throw platform::Error(platform::kErrOverflow, "Overflow"); }

// Nearest integer, a half going to the even neighbour.
std::int32_t RoundToInt32(double value) {
  if (!std::isfinite(value)) Overflow();
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  if (whole < std::numeric_limits<std::int32_t>::min() ||
      whole > std::numeric_limits<std::int32_t>::max())
    Overflow();
  return static_cast<std::int32_t>(whole);
}

// One axis of the conversion from design pixels to device pixels.
class Axis {
 public:
  Axis(std::int32_t logPixels, float scale, std::int16_t offset)
      : unitsPerPixel_(logPixels == 0 ? 0.0f : static_cast<float>(1440.0 / logPixels)),
        scale_(scale),
        offset_(offset) {}

  std::int32_t Position(float design) const {
    // A zero position is the offset alone, whatever the scale.
    if (design == 0) return RoundToInt32(Divide(0) + offset_);
    return RoundToInt32(Divide(double{scale_} * design * kDesignUnitsPerPixel) + offset_);
  }

  std::int32_t Size(float design) const {
    return RoundToInt32(Divide(double{scale_} * design * kDesignUnitsPerPixel));
  }

 private:
  double Divide(double units) const {
    if (unitsPerPixel_ == 0)
      throw platform::Error(platform::kErrDivisionByZero, "Division by zero");
    return units / unitsPerPixel_;
  }

  float unitsPerPixel_;   // 15 at 96 pixels per inch, 12 at 120
  float scale_;
  std::int16_t offset_;
};

}  // namespace

Region SkinShape::BuildSkinRegion(float scaleX, float scaleY, std::int16_t offsetX,
                                  std::int16_t offsetY) {
  const Axis h(gdi_.GetDeviceCaps(platform::LOGPIXELSX), scaleX, offsetX);
  const Axis v(gdi_.GetDeviceCaps(platform::LOGPIXELSY), scaleY, offsetY);

  Region kept(gdi_, gdi_.CreateRectRgn(0, 0, 0, 0));
  hSkinRgn_ = kept.Get();
  try {
    Region scratch(gdi_, gdi_.CreateRectRgn(0, 0, 0, 0));
    bool first = true;
    for (const Shape& s : kShapes) {
      // One value at a time, in order, so that a failure stops at the first bad one.
      const std::int32_t x1 = h.Position(s.x1);
      const std::int32_t y1 = v.Position(s.y1);
      const std::int32_t x2 = h.Position(s.x2);
      const std::int32_t y2 = v.Position(s.y2);
      Region piece;
      if (s.rounded) {
        const std::int32_t w = h.Size(s.ellipseWidth);
        const std::int32_t ht = v.Size(s.ellipseHeight);
        piece = Region(gdi_, gdi_.CreateRoundRectRgn(x1, y1, x2, y2, w, ht));
      } else {
        piece = Region(gdi_, gdi_.CreateRectRgn(x1, y1, x2, y2));
      }
      if (first) {
        gdi_.CombineRgn(kept.Get(), piece.Get(), piece.Get(), platform::RGN_COPY);
        first = false;
      } else {
        gdi_.CombineRgn(scratch.Get(), kept.Get(), kept.Get(), platform::RGN_COPY);
        gdi_.CombineRgn(kept.Get(), scratch.Get(), piece.Get(), platform::RGN_OR);
      }
      piece.Delete();
    }
    scratch.Delete();
  } catch (...) {
    // The partial outline is deleted with the rest; keep no stale handle.
    hSkinRgn_ = 0;
    throw;
  }
  return kept;
}

void SkinShape::ShapeSteps(platform::Handle window) {
  Region region = BuildSkinRegion(1.0f, 1.0f, 0, 0);
  // Accepted, the region is the system's; refused, it is still ours to delete.
  if (gdi_.SetWindowRgn(window, region.Get(), 1) != 0) region.Release();
}

}  // namespace skin
