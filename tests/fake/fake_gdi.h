// GDI state of the fake desktop: the screen's density and its regions, kept
// as pixel sets so that a test can ask which pixels an outline covers.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "platform/types.h"

namespace fake {

// CombineRgn's results: the complexity of the region it produced.
inline constexpr std::int32_t kRgnError = 0;
inline constexpr std::int32_t kNullRegion = 1;
inline constexpr std::int32_t kSimpleRegion = 2;
inline constexpr std::int32_t kComplexRegion = 3;

// A set of pixels, stored row by row as sorted, disjoint, non-touching runs
// [x1, x2). Pixel (x, y) is the unit square whose centre is (x + 0.5, y + 0.5).
class PixelRegion {
 public:
  struct Run {
    std::int32_t x1;
    std::int32_t x2;
    friend bool operator==(const Run&, const Run&) = default;
  };

  // The pixels of the rectangle; like GDI, the right and bottom edges are
  // excluded and swapped corners are put in order.
  static PixelRegion Rect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  // The rectangle less its right column and bottom row, as GDI makes a rounded
  // region, with its corners rounded by quarters of an ideal ellipse of w x h,
  // keeping every pixel whose centre lies inside the outline.
  static PixelRegion RoundRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                               std::int32_t w, std::int32_t h);

  bool Contains(std::int32_t x, std::int32_t y) const;
  bool Empty() const { return rows_.empty(); }
  std::int64_t PixelCount() const;
  // kNullRegion, kSimpleRegion or kComplexRegion, as GDI classifies it.
  std::int32_t Complexity() const;
  const std::map<std::int32_t, std::vector<Run>>& Rows() const { return rows_; }

  // RGN_AND, RGN_OR, RGN_XOR or RGN_DIFF of a and b.
  static PixelRegion Combine(const PixelRegion& a, const PixelRegion& b, std::int32_t mode);

  friend bool operator==(const PixelRegion&, const PixelRegion&) = default;

 private:
  std::map<std::int32_t, std::vector<Run>> rows_;   // empty rows are not stored
};

struct GdiState {
  std::int32_t logPixelsX = 96;
  std::int32_t logPixelsY = 96;
  std::map<platform::Handle, PixelRegion> regions;             // every live region
  std::map<platform::Handle, platform::Handle> windowRegion;  // window -> region it owns
  // Every region SetWindowRgn took: the system's from then on, owned or since deleted.
  std::set<platform::Handle> taken;
  platform::Handle nextRegion = 0x5000;

  // GDI objects alive, including regions a window owns.
  std::size_t LiveObjects() const { return regions.size(); }
  bool IsLive(platform::Handle h) const { return regions.count(h) != 0; }
  bool OwnedByWindow(platform::Handle region) const;
};

}  // namespace fake
