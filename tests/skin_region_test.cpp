#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fake/fake_desktop.h"
#include "platform/error.h"
#include "skin/skin_region.h"

namespace {

using platform::Handle;

constexpr Handle kWindow = 0x1000;

std::vector<std::string> Creations(const fake::FakeDesktop& d) {
  return d.log.Only({"CreateRectRgn", "CreateRoundRectRgn"});
}

std::vector<std::string> ShapeCreations(std::initializer_list<std::array<int, 6>> round,
                                        std::initializer_list<std::array<int, 4>> rect) {
  std::vector<std::string> out{"CreateRectRgn(0,0,0,0)", "CreateRectRgn(0,0,0,0)"};
  for (const auto& r : round)
    out.push_back(fake::Format("CreateRoundRectRgn", r[0], r[1], r[2], r[3], r[4], r[5]));
  for (const auto& r : rect) out.push_back(fake::Format("CreateRectRgn", r[0], r[1], r[2], r[3]));
  return out;
}

// The exact platform calls of one build at 96 pixels per inch.
TEST(BuildSkinRegion, CallSequenceAt96) {
  fake::FakeDesktop d;
  skin::SkinShape shape(d);
  const Handle kept = d.gdi.nextRegion, scratch = kept + 1;
  skin::Region region = shape.BuildSkinRegion(1, 1, 0, 0);

  std::vector<std::string> expected{"GetDeviceCaps(88)", "GetDeviceCaps(90)",
                                    "CreateRectRgn(0,0,0,0)", "CreateRectRgn(0,0,0,0)",
                                    "CreateRoundRectRgn(-12,-9,84,89,72,90)",
                                    fake::Format("CombineRgn", kept, kept + 2, kept + 2, 5),
                                    fake::Format("DeleteObject", kept + 2)};
  const std::vector<std::string> later{"CreateRoundRectRgn(346,-13,502,103,132,34)",
                                       "CreateRectRgn(60,0,416,131)", "CreateRectRgn(0,49,183,328)",
                                       "CreateRectRgn(151,55,501,328)"};
  for (std::size_t i = 0; i < later.size(); ++i) {
    const Handle piece = kept + 3 + i;
    expected.push_back(later[i]);
    expected.push_back(fake::Format("CombineRgn", scratch, kept, kept, 5));
    expected.push_back(fake::Format("CombineRgn", kept, scratch, piece, 2));
    expected.push_back(fake::Format("DeleteObject", piece));
  }
  expected.push_back(fake::Format("DeleteObject", scratch));
  EXPECT_EQ(d.log.Entries(), expected);
  EXPECT_EQ(region.Get(), kept);
  EXPECT_EQ(shape.hSkinRgn(), kept);
}

// Density, offsets and each axis's own scale; halves go to the even
// neighbour, and a design 0 (shape 3's top, shape 4's left) is the offset.
TEST(BuildSkinRegion, DeviceValues) {
  struct Case {
    const char* name;
    std::int32_t dpi;
    float scaleX, scaleY;
    std::int16_t offsetX, offsetY;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases{
      {"120 dpi", 120, 1, 1, 0, 0,
       ShapeCreations({{-15, -11, 105, 111, 90, 112}, {432, -16, 628, 129, 165, 42}},
                      {{75, 0, 520, 164}, {0, 61, 229, 410}, {189, 69, 626, 410}})},
      {"offset", 96, 1, 1, 10, 20,
       ShapeCreations({{-2, 11, 94, 109, 72, 90}, {356, 7, 512, 123, 132, 34}},
                      {{70, 20, 426, 151}, {10, 69, 193, 348}, {161, 75, 511, 348}})},
      {"scale", 96, 2, 2, 0, 0,
       ShapeCreations({{-24, -18, 168, 178, 144, 180}, {692, -26, 1004, 206, 264, 68}},
                      {{120, 0, 832, 262}, {0, 98, 366, 656}, {302, 110, 1002, 656}})},
      {"each axis its own scale, shifted", 96, 1.25f, 0.5f, -7, 13,
       ShapeCreations({{-22, 8, 98, 58, 90, 45}, {426, 6, 620, 64, 165, 17}},
                      {{68, 13, 513, 78}, {-7, 38, 222, 177}, {182, 40, 619, 177}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeDesktop d;
    d.gdi.logPixelsX = d.gdi.logPixelsY = c.dpi;
    skin::SkinShape shape(d);
    shape.BuildSkinRegion(c.scaleX, c.scaleY, c.offsetX, c.offsetY);
    EXPECT_EQ(Creations(d), c.expected);
  }
}

TEST(BuildSkinRegion, LeavesOnlyTheReturnedRegion) {
  fake::FakeDesktop d;
  skin::SkinShape shape(d);
  {
    skin::Region region = shape.BuildSkinRegion(1, 1, 0, 0);
    EXPECT_EQ(d.gdi.LiveObjects(), 1u);
    EXPECT_TRUE(d.gdi.IsLive(region.Get()));
    // A later call makes a new region and leaves the earlier one alone.
    skin::Region second = shape.BuildSkinRegion(1, 1, 0, 0);
    EXPECT_EQ(d.gdi.LiveObjects(), 2u);
    EXPECT_EQ(shape.hSkinRgn(), second.Get());
    // Moved on, a region is deleted once, by its last owner.
    d.log.Clear();
    skin::Region moved(std::move(second));
    region = std::move(moved);
  }
  EXPECT_EQ(d.gdi.LiveObjects(), 0u);
  EXPECT_EQ(d.log.Only({"DeleteObject"}).size(), 2u);
}

// Arithmetic failures stop the build at the failing value and leak nothing.
TEST(BuildSkinRegion, ArithmeticFailure) {
  struct Case {
    const char* name;
    std::int32_t dpiX;
    float scaleX;
    std::int32_t number;
    std::size_t shapesBuilt;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<Case> cases{
      {"no density", 0, 1, platform::kErrDivisionByZero, 0},
      {"infinite scale", 96, inf, platform::kErrOverflow, 0},
      {"not a number", 96, std::nanf(""), platform::kErrOverflow, 0},
      // Shape 1 still fits 32 bits at this scale, shape 2's left edge does not.
      {"past 32 bits", 96, 7.0e6f, platform::kErrOverflow, 1},
      {"below 32 bits", 96, -7.0e6f, platform::kErrOverflow, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeDesktop d;
    d.gdi.logPixelsX = c.dpiX;
    skin::SkinShape shape(d);
    try {
      shape.BuildSkinRegion(c.scaleX, 1, 0, 0);
      ADD_FAILURE() << "no error";
    } catch (const platform::Error& e) {
      EXPECT_EQ(e.Number(), c.number);
    }
    EXPECT_EQ(Creations(d).size(), 2 + c.shapesBuilt);
    EXPECT_EQ(d.gdi.LiveObjects(), 0u);
    EXPECT_EQ(shape.hSkinRgn(), 0u);
  }
}

// The scratch region's deletion is a step of the build like any other.
TEST(BuildSkinRegion, FailingDeletionOfTheScratchRegionFailsTheBuild) {
  fake::FakeDesktop d;
  d.faults.Inject("DeleteObject", fake::Fault::Raise, 1, 5);  // after the five pieces'
  skin::SkinShape shape(d);
  EXPECT_THROW(shape.BuildSkinRegion(1, 1, 0, 0), platform::Error);
  EXPECT_EQ(shape.hSkinRgn(), 0u);
  EXPECT_EQ(d.gdi.LiveObjects(), 0u);
}

TEST(BuildSkinRegion, ShapeThatCannotBeCreatedAddsNothing) {
  fake::FakeDesktop d;
  d.faults.Inject("CreateRoundRectRgn", fake::Fault::FailResult, 1);
  skin::SkinShape shape(d);
  skin::Region region = shape.BuildSkinRegion(1, 1, 0, 0);
  const fake::PixelRegion& pixels = d.gdi.regions.at(region.Get());
  EXPECT_FALSE(pixels.Contains(10, 10));   // only shape 1 covers it
  EXPECT_TRUE(pixels.Contains(100, 100));
  EXPECT_EQ(d.gdi.LiveObjects(), 1u);
}

TEST(ShapeSteps, WindowTakesTheRegion) {
  fake::FakeDesktop d;
  skin::SkinShape shape(d);
  shape.ShapeSteps(kWindow);
  const Handle region = shape.hSkinRgn();
  EXPECT_EQ(d.log.Entries().back(), fake::Format("SetWindowRgn", kWindow, region, 1));
  EXPECT_EQ(d.gdi.windowRegion.at(kWindow), region);
  EXPECT_EQ(d.gdi.LiveObjects(), 1u);
  // Shaping again: the system drops the region it replaces.
  shape.ShapeSteps(kWindow);
  EXPECT_EQ(d.gdi.LiveObjects(), 1u);
  EXPECT_FALSE(d.gdi.IsLive(region));
}

TEST(ShapeSteps, RefusedRegionIsDeleted) {
  for (fake::Fault fault : {fake::Fault::FailResult, fake::Fault::Raise}) {
    fake::FakeDesktop d;
    d.faults.Inject("SetWindowRgn", fault);
    skin::SkinShape shape(d);
    if (fault == fake::Fault::Raise)
      EXPECT_THROW(shape.ShapeSteps(kWindow), platform::Error);
    else
      shape.ShapeSteps(kWindow);
    EXPECT_EQ(d.gdi.LiveObjects(), 0u);
    EXPECT_TRUE(d.gdi.windowRegion.empty());
  }
}

// The window's outline at 96 pixels per inch, with ideal ellipses.
TEST(ShapeSteps, OutlineAt96) {
  fake::FakeDesktop d;
  skin::SkinShape shape(d);
  shape.ShapeSteps(kWindow);
  const fake::PixelRegion& outline = d.gdi.regions.at(d.gdi.windowRegion.at(kWindow));

  std::set<std::pair<int, int>> cut;
  for (int y = 0; y < 328; ++y) {
    for (int x = 0; x < 502; ++x) {
      if (!outline.Contains(x, y)) cut.insert({x, y});
    }
  }
  // Top-left arc (centre 24, 36; radii 36, 45) takes three pixels. Column 501
  // would lie only in shape 2, whose rounded region leaves out its right
  // column; its top-right arc (centre 435, 4; radii 66, 17) misses column 500
  // in rows 0 and 1.
  std::set<std::pair<int, int>> expected{{0, 0}, {1, 0}, {0, 1}, {500, 0}, {500, 1}};
  for (int y = 0; y < 328; ++y) expected.insert({501, y});
  EXPECT_EQ(cut, expected);
}

}  // namespace
