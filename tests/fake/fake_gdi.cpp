#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>

#include "fake/fake_desktop.h"

namespace fake {

namespace {

constexpr std::int32_t kRgnAnd = 1;
constexpr std::int32_t kRgnOr = 2;
constexpr std::int32_t kRgnXor = 3;
constexpr std::int32_t kRgnDiff = 4;
constexpr std::int32_t kRgnCopy = 5;

bool Apply(std::int32_t mode, bool inA, bool inB) {
  switch (mode) {
    case kRgnAnd: return inA && inB;
    case kRgnOr: return inA || inB;
    case kRgnXor: return inA != inB;
    case kRgnDiff: return inA && !inB;
    default: return false;
  }
}

bool InRuns(const std::vector<PixelRegion::Run>& runs, std::int32_t x) {
  return std::any_of(runs.begin(), runs.end(),
                     [x](const PixelRegion::Run& r) { return x >= r.x1 && x < r.x2; });
}

// Appends [x1, x2) to sorted runs, joining it to a run it touches.
void Append(std::vector<PixelRegion::Run>& runs, std::int32_t x1, std::int32_t x2) {
  if (!runs.empty() && runs.back().x2 == x1)
    runs.back().x2 = x2;
  else
    runs.push_back({x1, x2});
}

std::vector<PixelRegion::Run> CombineRow(const std::vector<PixelRegion::Run>& a,
                                         const std::vector<PixelRegion::Run>& b,
                                         std::int32_t mode) {
  // Membership is constant between consecutive run edges of either row.
  std::vector<std::int32_t> edges;
  for (const auto* runs : {&a, &b}) {
    for (const PixelRegion::Run& r : *runs) {
      edges.push_back(r.x1);
      edges.push_back(r.x2);
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::vector<PixelRegion::Run> out;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    if (Apply(mode, InRuns(a, edges[i]), InRuns(b, edges[i]))) Append(out, edges[i], edges[i + 1]);
  }
  return out;
}

bool InEllipse(double px, double py, double cx, double cy, double rx, double ry) {
  const double dx = (px - cx) / rx;
  const double dy = (py - cy) / ry;
  return dx * dx + dy * dy <= 1.0;
}

}  // namespace

PixelRegion PixelRegion::Rect(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                              std::int32_t y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  PixelRegion region;
  if (x1 == x2) return region;
  for (std::int32_t y = y1; y < y2; ++y) region.rows_[y] = {{x1, x2}};
  return region;
}

PixelRegion PixelRegion::RoundRect(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                   std::int32_t y2, std::int32_t w, std::int32_t h) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return {};
  // Unlike a rectangle's, a rounded region leaves out one more column on the
  // right and one more row at the bottom (hence the usual width + 1 when a
  // window is rounded).
  --x2;
  --y2;
  // GDI shrinks an ellipse larger than the rectangle to the rectangle's size.
  const double rx = std::min<std::int64_t>(std::abs(std::int64_t{w}), std::int64_t{x2} - x1) / 2.0;
  const double ry = std::min<std::int64_t>(std::abs(std::int64_t{h}), std::int64_t{y2} - y1) / 2.0;
  if (rx <= 0 || ry <= 0) return Rect(x1, y1, x2, y2);

  const double leftCx = x1 + rx;
  const double rightCx = x2 - rx;
  const double topCy = y1 + ry;
  const double bottomCy = y2 - ry;
  const double lo = x1;
  const double hi = x2;
  PixelRegion region;
  for (std::int32_t y = y1; y < y2; ++y) {
    const double py = y + 0.5;
    std::int32_t left = x1;
    std::int32_t right = x2;
    if (py < topCy || py > bottomCy) {
      const double cy = py < topCy ? topCy : bottomCy;
      const double dy = (py - cy) / ry;
      const double half = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
      // Start from the arc's computed edge, then settle the rounding by
      // testing pixel centres exactly; the ellipse is convex, so a pixel
      // centre inside it has only inside centres between it and the middle.
      left = static_cast<std::int32_t>(std::clamp(std::ceil(leftCx - half - 0.5), lo, hi));
      while (left > x1 && InEllipse(left - 0.5, py, leftCx, cy, rx, ry)) --left;
      while (left < x2 && left + 0.5 < leftCx && !InEllipse(left + 0.5, py, leftCx, cy, rx, ry))
        ++left;
      right = static_cast<std::int32_t>(std::clamp(std::floor(rightCx + half + 0.5), lo, hi));
      while (right < x2 && InEllipse(right + 0.5, py, rightCx, cy, rx, ry)) ++right;
      while (right > left && right - 0.5 > rightCx &&
             !InEllipse(right - 0.5, py, rightCx, cy, rx, ry))
        --right;
    }
    if (left < right) region.rows_[y] = {{left, right}};
  }
  return region;
}

bool PixelRegion::Contains(std::int32_t x, std::int32_t y) const {
  const auto row = rows_.find(y);
  return row != rows_.end() && InRuns(row->second, x);
}

std::int64_t PixelRegion::PixelCount() const {
  std::int64_t count = 0;
  for (const auto& [y, runs] : rows_) {
    for (const Run& r : runs) count += std::int64_t{r.x2} - r.x1;
  }
  return count;
}

std::int32_t PixelRegion::Complexity() const {
  if (rows_.empty()) return kNullRegion;
  const std::vector<Run>& first = rows_.begin()->second;
  std::int32_t expectedY = rows_.begin()->first;
  for (const auto& [y, runs] : rows_) {
    if (y != expectedY++ || runs.size() != 1 || runs != first) return kComplexRegion;
  }
  return kSimpleRegion;
}

PixelRegion PixelRegion::Combine(const PixelRegion& a, const PixelRegion& b, std::int32_t mode) {
  static const std::vector<Run> kNone;
  PixelRegion out;
  auto combineRow = [&](std::int32_t y) {
    if (out.rows_.count(y)) return;
    const auto ra = a.rows_.find(y);
    const auto rb = b.rows_.find(y);
    std::vector<Run> runs = CombineRow(ra == a.rows_.end() ? kNone : ra->second,
                                       rb == b.rows_.end() ? kNone : rb->second, mode);
    if (!runs.empty()) out.rows_[y] = std::move(runs);
  };
  for (const auto& row : a.rows_) combineRow(row.first);
  for (const auto& row : b.rows_) combineRow(row.first);
  return out;
}

bool GdiState::OwnedByWindow(platform::Handle region) const {
  return std::any_of(windowRegion.begin(), windowRegion.end(),
                     [region](const auto& entry) { return entry.second == region; });
}

namespace {
platform::Handle NewRegion(GdiState& gdi, PixelRegion pixels) {
  const platform::Handle h = gdi.nextRegion++;
  gdi.regions.emplace(h, std::move(pixels));
  return h;
}

// A region a window has taken may be gone with the window, or replaced, or
// still the window's: the program must never hand it to GDI again.
void NoteUseOfTaken(FakeDesktop& desktop, const char* op,
                    std::initializer_list<platform::Handle> used) {
  for (platform::Handle h : used) {
    if (desktop.gdi.taken.count(h) == 0) continue;
    desktop.violations.push_back(std::string(op) + " used region " + std::to_string(h) +
                                 " after SetWindowRgn gave it to the system");
    return;
  }
}

ViolationHandler gViolationHandler = nullptr;
}  // namespace

void SetViolationHandler(ViolationHandler handler) { gViolationHandler = handler; }

// Checked as the desktop goes, so that no test can end with a violation unseen.
FakeDesktop::~FakeDesktop() {
  session_->Leave(*this);
  if (violations.empty()) return;
  if (gViolationHandler) {
    gViolationHandler(violations);
    return;
  }
  for (const std::string& violation : violations)
    std::fprintf(stderr, "fake desktop: %s\n", violation.c_str());
  std::abort();
}

platform::Handle FakeDesktop::CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                            std::int32_t y2) {
  if (Fails("CreateRectRgn", x1, y1, x2, y2)) return 0;
  return NewRegion(gdi, PixelRegion::Rect(x1, y1, x2, y2));
}

platform::Handle FakeDesktop::CreateRoundRectRgn(std::int32_t x1, std::int32_t y1,
                                                 std::int32_t x2, std::int32_t y2,
                                                 std::int32_t w, std::int32_t h) {
  if (Fails("CreateRoundRectRgn", x1, y1, x2, y2, w, h)) return 0;
  return NewRegion(gdi, PixelRegion::RoundRect(x1, y1, x2, y2, w, h));
}

std::int32_t FakeDesktop::CombineRgn(platform::Handle hrgnDst, platform::Handle hrgnSrc1,
                                     platform::Handle hrgnSrc2, std::int32_t iMode) {
  // RGN_COPY ignores the second source. A region a window owns is the
  // system's and no longer the program's to combine.
  const bool copy = iMode == kRgnCopy;
  NoteUseOfTaken(*this, "CombineRgn", {hrgnDst, hrgnSrc1, copy ? hrgnSrc1 : hrgnSrc2});
  if (Fails("CombineRgn", hrgnDst, hrgnSrc1, hrgnSrc2, iMode)) return kRgnError;
  if (iMode < kRgnAnd || iMode > kRgnCopy) return kRgnError;
  for (platform::Handle h : {hrgnDst, hrgnSrc1, copy ? hrgnSrc1 : hrgnSrc2}) {
    if (!gdi.IsLive(h) || gdi.OwnedByWindow(h)) return kRgnError;
  }
  PixelRegion result = copy ? gdi.regions.at(hrgnSrc1)
                            : PixelRegion::Combine(gdi.regions.at(hrgnSrc1),
                                                   gdi.regions.at(hrgnSrc2), iMode);
  const std::int32_t complexity = result.Complexity();
  gdi.regions.at(hrgnDst) = std::move(result);
  return complexity;
}

std::int32_t FakeDesktop::DeleteObject(platform::Handle ho) {
  NoteUseOfTaken(*this, "DeleteObject", {ho});
  if (Fails("DeleteObject", ho)) return 0;
  if (gdi.OwnedByWindow(ho)) return 0;
  return gdi.regions.erase(ho) ? 1 : 0;
}

std::int32_t FakeDesktop::SetWindowRgn(platform::Handle hWnd, platform::Handle hRgn,
                                       std::int32_t bRedraw) {
  NoteUseOfTaken(*this, "SetWindowRgn", {hRgn});
  if (Fails("SetWindowRgn", hWnd, hRgn, bRedraw)) return 0;
  if (hWnd == 0) return 0;
  const auto current = gdi.windowRegion.find(hWnd);
  const platform::Handle old = current == gdi.windowRegion.end() ? 0 : current->second;
  if (hRgn != 0 && hRgn != old && (!gdi.IsLive(hRgn) || gdi.OwnedByWindow(hRgn))) return 0;
  // The system deletes the region it replaces; null removes the window's region.
  if (old != 0 && old != hRgn) {
    gdi.windowRegion.erase(hWnd);
    gdi.regions.erase(old);
  }
  if (hRgn != 0) {
    gdi.windowRegion[hWnd] = hRgn;
    gdi.taken.insert(hRgn);
  }
  return 1;
}

std::int32_t FakeDesktop::GetDeviceCaps(std::int32_t index) {
  if (Fails("GetDeviceCaps", index)) return 0;
  if (index == platform::LOGPIXELSX) return gdi.logPixelsX;
  if (index == platform::LOGPIXELSY) return gdi.logPixelsY;
  return 0;
}

}  // namespace fake
