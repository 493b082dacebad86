// What the unit suite shares: a fake desktop that goes with a violation left
// (a use of a handle the system owns) fails the test it goes in.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "fake/fake_desktop.h"

namespace {

const bool kViolationsFailTheirTest = [] {
  fake::SetViolationHandler([](const std::vector<std::string>& violations) {
    for (const std::string& violation : violations) ADD_FAILURE() << "fake desktop: " << violation;
  });
  return true;
}();

TEST(Harness, ADesktopLeftWithAUseOfATakenRegionFailsItsTest) {
  EXPECT_NONFATAL_FAILURE(
      {
        fake::FakeDesktop desktop;
        const platform::Handle region = desktop.CreateRectRgn(0, 0, 10, 10);
        desktop.SetWindowRgn(0x1000, region, 1);
        desktop.SetWindowRgn(0x2000, region, 1);  // to another window
      },
      "SetWindowRgn used region");
}

}  // namespace
