// Fuzzes BuildSkinRegion's inputs: both scales as any float (infinities,
// NaN, denormals), both offsets, the screen's density on each axis (zero,
// negative, huge), and a GDI call that fails or raises at any point. The call
// must either return one live region that nobody else owns, the one
// hSkinRgn() names, or throw platform::Error with no region left alive and
// hSkinRgn() cleared; UBSan stops the run on any undefined arithmetic.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "fake/fake_desktop.h"
#include "fuzz_check.h"
#include "platform/error.h"
#include "skin/skin_region.h"

namespace {

// The fake keeps regions as pixel rows, so a region millions of pixels tall
// would only measure the fake. This GDI hands every call to the fake desktop
// with coordinates pulled into a window a few thousand pixels wide; the
// handles, their lifetimes and the failures are the fake's own.
class BoundedGdi : public platform::Gdi {
 public:
  explicit BoundedGdi(fake::FakeDesktop& desktop) : desktop_(desktop) {}

  platform::Handle CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                 std::int32_t y2) override {
    return desktop_.CreateRectRgn(Pull(x1), Pull(y1), Pull(x2), Pull(y2));
  }
  platform::Handle CreateRoundRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                      std::int32_t y2, std::int32_t w, std::int32_t h) override {
    return desktop_.CreateRoundRectRgn(Pull(x1), Pull(y1), Pull(x2), Pull(y2), Pull(w), Pull(h));
  }
  std::int32_t CombineRgn(platform::Handle dst, platform::Handle src1, platform::Handle src2,
                          std::int32_t mode) override {
    return desktop_.CombineRgn(dst, src1, src2, mode);
  }
  std::int32_t DeleteObject(platform::Handle ho) override { return desktop_.DeleteObject(ho); }
  std::int32_t SetWindowRgn(platform::Handle hWnd, platform::Handle hRgn,
                            std::int32_t bRedraw) override {
    return desktop_.SetWindowRgn(hWnd, hRgn, bRedraw);
  }
  std::int32_t GetDeviceCaps(std::int32_t index) override { return desktop_.GetDeviceCaps(index); }

 private:
  static std::int32_t Pull(std::int32_t v) { return std::clamp(v, -1000, 1000); }
  fake::FakeDesktop& desktop_;
};

float PickScale(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.ConsumeFloatingPointInRange(-4.0f, 4.0f);
    case 1: return static_cast<float>(in.ConsumeIntegralInRange(-8, 8)) / 4;
    default: return in.ConsumeFloatingPoint<float>();  // anything, NaN and infinities too
  }
}

std::int32_t PickDensity(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return 96;
    case 1: return in.ConsumeIntegralInRange(-1, 480);
    default: return in.ConsumeIntegral<std::int32_t>();
  }
}

// Whether every coordinate surely fits 32 bits: positions reach 502 design
// pixels of 15 units, divided by 1440 / density units per pixel.
bool SurelyFits(float scale, std::int32_t density) {
  if (!std::isfinite(scale) || density == 0) return false;
  const double perInch = std::fabs(static_cast<double>(density));
  const double reach = std::fabs(double{scale}) * 502 * 15 * perInch / 1440;
  return reach + 32768 < 1e9;
}

const char* const kOps[] = {"CreateRectRgn", "CreateRoundRectRgn", "CombineRgn", "DeleteObject",
                            "GetDeviceCaps"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::FakeDesktop desktop;
  desktop.gdi.logPixelsX = PickDensity(in);
  desktop.gdi.logPixelsY = PickDensity(in);
  const float scaleX = PickScale(in);
  const float scaleY = PickScale(in);
  const auto offsetX = in.ConsumeIntegral<std::int16_t>();
  const auto offsetY = in.ConsumeIntegral<std::int16_t>();

  // At most one GDI operation misbehaves: its next n calls fail or raise.
  std::string faultOp;
  auto fault = fake::Fault::None;
  if (in.ConsumeIntegralInRange(0, 3) == 0) {
    faultOp = kOps[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kOps) - 1)];
    fault = in.ConsumeBool() ? fake::Fault::Raise : fake::Fault::FailResult;
    desktop.faults.Inject(faultOp, fault, in.ConsumeIntegralInRange(1, 12));
  }
  // A refused delete leaves its region alive: the platform's leak, not the program's.
  const bool deletesMayFail = faultOp == "DeleteObject";
  const bool densityMayRead0 = faultOp == "GetDeviceCaps" && fault == fake::Fault::FailResult;

  // The first value is a horizontal position: a density of 0 across stops it,
  // one of 0 down stops the next unless the first overflowed.
  const std::int32_t densityX = desktop.gdi.logPixelsX;
  const std::int32_t densityY = desktop.gdi.logPixelsY;
  const bool mustDivideBy0 =
      faultOp.empty() && (densityX == 0 || (densityY == 0 && SurelyFits(scaleX, densityX)));

  BoundedGdi gdi(desktop);
  skin::SkinShape shape(gdi);
  try {
    skin::Region region = shape.BuildSkinRegion(scaleX, scaleY, offsetX, offsetY);
    FUZZ_CHECK(!mustDivideBy0, "no division by zero with densities %d, %d", densityX, densityY);
    FUZZ_CHECK(shape.hSkinRgn() == region.Get(), "hSkinRgn names another region");
    if (faultOp == "CreateRectRgn" && fault == fake::Fault::FailResult) {
      // The outline's own region was refused: nothing to return, nothing left.
      FUZZ_CHECK(region.Get() == 0, "a region from a refused creation");
      FUZZ_CHECK(desktop.gdi.LiveObjects() == 0, "%zu regions left", desktop.gdi.LiveObjects());
    } else {
      FUZZ_CHECK(desktop.gdi.IsLive(region.Get()), "the returned region is not alive");
      FUZZ_CHECK(!desktop.gdi.OwnedByWindow(region.Get()), "a window owns the returned region");
      if (!deletesMayFail)
        FUZZ_CHECK(desktop.gdi.LiveObjects() == 1, "%zu live regions, expected 1",
                   desktop.gdi.LiveObjects());
    }
    desktop.faults.Clear();
    const platform::Handle handle = region.Get();
    region = skin::Region();
    FUZZ_CHECK(handle == 0 || !desktop.gdi.IsLive(handle), "the region outlived its wrapper");
  } catch (const platform::Error& error) {
    const auto n = error.Number();
    const bool raised = fault == fake::Fault::Raise && n == desktop.faults.errorNumber;
    FUZZ_CHECK(raised || n == platform::kErrOverflow || n == platform::kErrDivisionByZero,
               "unexpected error %d", n);
    FUZZ_CHECK(!mustDivideBy0 || n == platform::kErrDivisionByZero,
               "error %d, not division by zero, with densities %d, %d", n, densityX, densityY);
    FUZZ_CHECK(n != platform::kErrDivisionByZero || densityX == 0 || densityY == 0 ||
                   densityMayRead0,
               "division by zero with densities %d, %d", densityX, densityY);
    FUZZ_CHECK(!faultOp.empty() || !(SurelyFits(scaleX, densityX) && SurelyFits(scaleY, densityY)),
               "error %d on inputs that fit", n);
    FUZZ_CHECK(shape.hSkinRgn() == 0, "hSkinRgn kept after a failure");
    if (!deletesMayFail)
      FUZZ_CHECK(desktop.gdi.LiveObjects() == 0, "%zu regions left after error %d",
                 desktop.gdi.LiveObjects(), n);
  }
  return 0;
}
