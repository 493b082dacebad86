// The contract checks against the fake desktop, in the unit suite.
#include <memory>
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

  platform::Handle Window() override {
    if (window_ == 0) {
      window_ = desktop_.windows.nextWindow++;
      desktop_.windows.windows[window_].title = "contract";
      desktop_.windows.windows[window_].proc = RecordingProc;
    }
    return window_;
  }

  // Only Window() is on the screen; the messages go to the capture's holder.
  void PrimaryButton(platform::Point screen, bool down) override {
    const platform::Point at{10, 10};
    const platform::Handle under = platform::Rect{10, 10, 200, 100}.Contains(screen) ? Window() : 0;
    const platform::Handle target = desktop_.mouse.TargetOf(under);
    if (target == 0) return;
    desktop_.windows.Deliver(target, down ? platform::WM_LBUTTONDOWN : platform::WM_LBUTTONUP, 0,
                             target == Window() ? PointParam(screen.x - at.x, screen.y - at.y) : 0);
  }

  std::vector<Received> TakeReceived() override { return std::exchange(received, {}); }
  platform::Handle Icon() override { return fake::FakeWindowLayer::kSmallIcon; }
  void Settle() override {}
  std::int32_t KeyWithoutPressedBit() override {
    desktop_.keyboard.WithholdPressedBit(platform::VK_CONTROL);
    return platform::VK_CONTROL;
  }
  std::int16_t AnotherReadersQuery(std::int32_t vk) override { return desktop_.keyboard.Query(vk); }
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

  void HoldNameInAnotherProcess(const char* name) override {
    other_ = std::make_unique<fake::FakeDesktop>(desktop_.SharedSession());
    other_->CreateMutexA(nullptr, 0, name);
  }
  void EndOtherProcess() override { other_->EndThisProcess(); }

 private:
  fake::FakeDesktop desktop_;
  std::unique_ptr<fake::FakeDesktop> other_;
  platform::Handle window_ = 0;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<FakeSubject>(); }

}  // namespace contract
