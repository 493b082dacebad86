// The contract checks against the fake desktop, in the unit suite.
#include <utility>

#include "contract/subject.h"
#include "fake/fake_desktop.h"

namespace contract {

namespace {

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

  platform::Handle Window() override {
    if (window_ == 0) {
      window_ = desktop_.windows.nextWindow++;
      desktop_.windows.windows[window_].title = "contract";
    }
    return window_;
  }
  platform::Handle Icon() override { return fake::FakeWindowLayer::kIcon; }
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
  fake::FakeDesktop desktop_;
  platform::Handle window_ = 0;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<FakeSubject>(); }

}  // namespace contract
