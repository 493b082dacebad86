// The contract checks against the fake desktop, in the unit suite.
#include <utility>

#include "contract/subject.h"
#include "fake/fake_desktop.h"

namespace contract {

namespace {

std::vector<Received> received;

platform::LResult VELTRANE_CALLBACK RecordingProc(platform::Handle hWnd, std::uint32_t uMsg,
                                                  platform::WParam, platform::LParam lParam) {
  if (uMsg == platform::WM_LBUTTONDOWN || uMsg == platform::WM_LBUTTONUP ||
      uMsg == platform::WM_CAPTURECHANGED)
    received.push_back({hWnd, uMsg, lParam});
  return 0;
}

platform::LParam PointParam(std::int32_t x, std::int32_t y) {
  return static_cast<platform::LParam>((static_cast<std::uint32_t>(y) & 0xFFFF) << 16 |
                                       (static_cast<std::uint32_t>(x) & 0xFFFF));
}

Pixels ToPixels(const fake::PixelRegion& region) {
  Pixels pixels;
  for (const auto& [y, runs] : region.Rows()) {
    for (const auto& run : runs) pixels[y].emplace_back(run.x1, run.x2);
  }
  return pixels;
}

class FakeSubject final : public Subject {
 public:
  platform::Win32& Surface() override { return desktop_; }
  bool IsFake() const override { return true; }
  bool IsWine() const override { return false; }

  platform::Handle Window() override { return Shown(window_, {10, 10, 200, 100}); }
  platform::Handle OtherWindow() override { return Shown(other_, {300, 10, 200, 100}); }
  platform::Rect ScreenRect(platform::Handle window) override { return rects_.at(window); }

  void PrimaryButton(platform::Point screen, bool down) override {
    platform::Handle under = 0;
    for (const auto& [window, rect] : rects_)
      if (rect.Contains(screen)) under = window;
    const platform::Handle target = desktop_.mouse.TargetOf(under);
    if (target == 0) return;
    const platform::Rect at = rects_.at(target);
    desktop_.windows.Deliver(target, down ? platform::WM_LBUTTONDOWN : platform::WM_LBUTTONUP, 0,
                             PointParam(screen.x - at.x, screen.y - at.y));
  }

  std::vector<Received> TakeReceived() override { return std::exchange(received, {}); }
  platform::Handle Icon() override { return fake::FakeWindowLayer::kSmallIcon; }
  void Settle() override {}
  std::uint32_t AnsiCodePage() override { return desktop_.shell.ansiCodePageNumber; }

  void UseCodePage(std::uint32_t number) override {
    desktop_.shell.ansiCodePageNumber = number;
    // Shift-JIS as far as the checks need it.
    if (number == 932) desktop_.shell.ansiCodePage = {{u'\u65e5', "\x93\xfa"}};
  }

  Pixels RegionPixels(platform::Handle region) override {
    return ToPixels(desktop_.gdi.regions.at(region));
  }
  Pixels WindowRegionPixels(platform::Handle window) override {
    const auto owned = desktop_.gdi.windowRegion.find(window);
    if (owned == desktop_.gdi.windowRegion.end()) return {};
    return ToPixels(desktop_.gdi.regions.at(owned->second));
  }
  std::size_t TakeMisuses() override { return std::exchange(desktop_.violations, {}).size(); }

 private:
  platform::Handle Shown(platform::Handle& window, platform::Rect rect) {
    if (window == 0) {
      window = desktop_.windows.nextWindow++;
      desktop_.windows.windows[window].title = "contract";
      desktop_.windows.windows[window].proc = RecordingProc;
      rects_[window] = rect;
    }
    return window;
  }

  fake::FakeDesktop desktop_;
  platform::Handle window_ = 0;
  platform::Handle other_ = 0;
  std::map<platform::Handle, platform::Rect> rects_;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<FakeSubject>(); }

}  // namespace contract
