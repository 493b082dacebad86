#include "fake/fake_desktop.h"

namespace fake {

namespace {
platform::Handle NewRegion(GdiState& gdi) {
  const platform::Handle h = gdi.nextRegion++;
  gdi.liveRegions.insert(h);
  return h;
}
}  // namespace

platform::Handle FakeDesktop::CreateRectRgn(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                            std::int32_t y2) {
  log.Record("CreateRectRgn", x1, y1, x2, y2);
  if (faults.Hit("CreateRectRgn") == Fault::FailResult) return 0;
  return NewRegion(gdi);
}

platform::Handle FakeDesktop::CreateRoundRectRgn(std::int32_t x1, std::int32_t y1,
                                                 std::int32_t x2, std::int32_t y2,
                                                 std::int32_t w, std::int32_t h) {
  log.Record("CreateRoundRectRgn", x1, y1, x2, y2, w, h);
  if (faults.Hit("CreateRoundRectRgn") == Fault::FailResult) return 0;
  return NewRegion(gdi);
}

std::int32_t FakeDesktop::CombineRgn(platform::Handle hrgnDst, platform::Handle hrgnSrc1,
                                     platform::Handle hrgnSrc2, std::int32_t iMode) {
  log.Record("CombineRgn", hrgnDst, hrgnSrc1, hrgnSrc2, iMode);
  if (faults.Hit("CombineRgn") == Fault::FailResult) return 0;
  return 2;
}

std::int32_t FakeDesktop::DeleteObject(platform::Handle ho) {
  log.Record("DeleteObject", ho);
  if (faults.Hit("DeleteObject") == Fault::FailResult) return 0;
  return gdi.liveRegions.erase(ho) ? 1 : 0;
}

std::int32_t FakeDesktop::SetWindowRgn(platform::Handle hWnd, platform::Handle hRgn,
                                       std::int32_t bRedraw) {
  log.Record("SetWindowRgn", hWnd, hRgn, bRedraw);
  if (faults.Hit("SetWindowRgn") == Fault::FailResult) return 0;
  gdi.windowRegion[hWnd] = hRgn;
  return 1;
}

std::int32_t FakeDesktop::GetDeviceCaps(std::int32_t index) {
  log.Record("GetDeviceCaps", index);
  if (faults.Hit("GetDeviceCaps") == Fault::FailResult) return 0;
  if (index == platform::LOGPIXELSX) return gdi.logPixelsX;
  if (index == platform::LOGPIXELSY) return gdi.logPixelsY;
  return 0;
}

}  // namespace fake
