// Hover feedback and drag: the transition table, how ticks and mouse moves
// combine, and the drag hand-off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/hover.h"
#include "started_window.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using platform::Picture;

const char* NameOf(Picture picture) {
  switch (picture) {
    case Picture::OverImg: return "overimg";
    case Picture::XImg: return "ximg";
    case Picture::MinImg: return "minimg";
    case Picture::MinButImg: return "minbutimg";
    default: return "?";
  }
}

class Hover : public ::testing::Test, public skin::HighlightPictures {
 protected:
  void SetVisible(Picture picture, bool visible) override {
    changes.push_back(std::string(visible ? "show " : "hide ") + NameOf(picture));
  }
  // The pointer moves to a new screen position; then `input` checks it.
  void MoveTo(int x, int y) { desktop.mouse.cursor = {x, y}; }
  void Tick() { hover.TrackHover(nullptr); }

  fake::FakeDesktop desktop;
  std::vector<std::string> changes;
  skin::HoverFeedback hover{desktop, *this};
  const skin::HotArea hitarea{"hitarea"}, xarea{"xarea"}, minarea{"minarea"},
      minbutarea{"minbutarea"};
};

TEST_F(Hover, TheFirstCheckAtTheOriginCountsAsStill) {
  hover.TrackHover(&hitarea);
  EXPECT_THAT(changes, IsEmpty());
  EXPECT_EQ(hover.GetHoverArea(), nullptr);
}

TEST_F(Hover, AHighlightStaysOnWhileThePointerRestsAndGoesOffAfterItLeaves) {
  MoveTo(400, 300);
  hover.TrackHover(&hitarea);
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_THAT(changes, ElementsAre("show overimg"));
  EXPECT_EQ(hover.GetHoverArea(), &hitarea);
  MoveTo(400, 340);  // straight down off the button: no area event comes
  Tick();
  EXPECT_THAT(changes, ElementsAre("show overimg", "hide overimg"));
  EXPECT_EQ(hover.GetHoverArea(), nullptr);
}

TEST_F(Hover, FromOneAreaStraightOntoAnotherHidesTheOldPictureFirst) {
  MoveTo(15, 10);
  hover.TrackHover(&xarea);
  MoveTo(37, 10);
  hover.TrackHover(&minarea);
  EXPECT_THAT(changes, ElementsAre("show ximg", "hide ximg", "show minimg"));
  MoveTo(300, 290);
  hover.TrackHover(&minbutarea);
  EXPECT_THAT(changes, ElementsAre("show ximg", "hide ximg", "show minimg", "hide minimg",
                                   "show minbutimg"));
}

TEST_F(Hover, AnUnmovedPointerChangesNothingWhateverAreaIsNamed) {
  MoveTo(400, 300);
  Tick();               // Idle, pointer moved: nothing to show
  hover.TrackHover(&xarea);  // same position: still
  EXPECT_THAT(changes, IsEmpty());
  EXPECT_EQ(hover.GetHoverArea(), nullptr);
}

TEST_F(Hover, MovingWithinTheLitAreaAndATickThatSeesItFirst) {
  MoveTo(400, 300);
  hover.TrackHover(&hitarea);
  MoveTo(401, 300);
  hover.TrackHover(&hitarea);  // moved within the lit area: nothing changes...
  EXPECT_EQ(hover.GetLastCursorPos(), (platform::Point{401, 300}));  // ...but it is recorded
  Tick();                      // so this tick finds the pointer still
  EXPECT_THAT(changes, ElementsAre("show overimg"));
  MoveTo(402, 300);
  Tick();  // a tick is first to see the displacement: the highlight goes off
  EXPECT_THAT(changes, ElementsAre("show overimg", "hide overimg"));
  MoveTo(403, 300);
  hover.TrackHover(&hitarea);  // the next move over the area lights it again
  EXPECT_THAT(changes, ElementsAre("show overimg", "hide overimg", "show overimg"));
}

TEST_F(Hover, SameAreaMeansTheSameObjectNotTheSameName) {
  const skin::HotArea anotherHitarea{"hitarea"};
  MoveTo(400, 300);
  hover.TrackHover(&hitarea);
  MoveTo(401, 300);
  hover.TrackHover(&anotherHitarea);
  EXPECT_THAT(changes, ElementsAre("show overimg", "hide overimg", "show overimg"));
  EXPECT_EQ(hover.GetHoverArea(), &anotherHitarea);
}

TEST_F(Hover, ANameDifferingInLetterCaseShowsNothingButIsRecorded) {
  const skin::HotArea shouting{"HitArea"};
  MoveTo(400, 300);
  hover.TrackHover(&shouting);
  EXPECT_THAT(changes, IsEmpty());
  EXPECT_EQ(hover.GetHoverArea(), &shouting);
  MoveTo(401, 300);
  Tick();
  EXPECT_THAT(changes, IsEmpty());
  EXPECT_EQ(hover.GetHoverArea(), nullptr);
}

// Through the main window: the areas' mouse moves, the tick's hover step, drag.
class WindowHover : public ::testing::Test, protected harness::StartedWindow {
 protected:
  void SetUp() override { Start(); }
};

TEST_F(WindowHover, EachHotAreaLightsItsOwnPictureAndRepaintsIt) {
  const std::pair<app::ControlId, app::ControlId> pairs[] = {
      {app::ControlId::hitarea, app::ControlId::overimg},
      {app::ControlId::xarea, app::ControlId::ximg},
      {app::ControlId::minarea, app::ControlId::minimg},
      {app::ControlId::minbutarea, app::ControlId::minbutimg}};
  int x = 100;
  for (const auto& [area, picture] : pairs) {
    desktop.mouse.cursor = {x++, 500};
    desktop.window.Mouse(platform::MouseAction::Move, At(area));
    EXPECT_TRUE(Shows(picture));
    const platform::Rect r = veltrane.GetForm().Get(picture).rect;
    EXPECT_EQ(desktop.log.Only({"Invalidate"}).back(),
              fake::Format("Invalidate", r.x, r.y, r.width, r.height));
  }
  // Only the last stays lit.
  EXPECT_FALSE(Shows(app::ControlId::overimg));
  EXPECT_TRUE(Shows(app::ControlId::minbutimg));
}

TEST_F(WindowHover, TheLinkAreaAndTheBareSurfaceLightNothing) {
  desktop.mouse.cursor = {700, 700};
  desktop.window.Mouse(platform::MouseAction::Move, At(app::ControlId::Image1));
  desktop.window.Mouse(platform::MouseAction::Move, {5, 300});
  EXPECT_TRUE(desktop.log.Only({"Invalidate"}).empty());
  EXPECT_EQ(veltrane.Hover().GetHoverArea(), nullptr);
}

TEST_F(WindowHover, TheTickChecksThePointerBeforeReadingKeys) {
  desktop.window.Tick();
  EXPECT_EQ(desktop.log.Entries().front(), "GetCursorPos()");
  EXPECT_EQ(desktop.log.Entries()[1], "GetAsyncKeyState(124)");
}

TEST_F(WindowHover, AFailingHoverStepEndsTheProcessBeforeTheKeysAreRead) {
  desktop.faults.Inject("GetCursorPos", fake::Fault::Raise);
  EXPECT_THROW(desktop.window.Tick(), fake::ProcessEnded);
  ExpectOneBox(harness::kInvalidCallBox);
  EXPECT_TRUE(desktop.log.Only({"GetAsyncKeyState"}).empty());
  // The only swap call is the one that sets the user's buttons back after the box.
  EXPECT_THAT(desktop.log.Only({"MessageBoxA", "SwapMouseButton"}),
              ElementsAre(testing::StartsWith("MessageBoxA("), "SwapMouseButton(0)"));
}

TEST_F(WindowHover, APressOfAnyButtonOnTheBareSurfaceStartsTheSameDrag) {
  for (std::int16_t button : {platform::kPrimaryButton, platform::kSecondaryButton,
                              platform::kMiddleButton}) {
    desktop.log.Clear();
    desktop.window.Mouse(platform::MouseAction::Down, {5, 300}, button);
    EXPECT_THAT(desktop.log.Entries(),
                ElementsAre("SetCapture(4096)", "ReleaseCapture()", "SendMessageA(4096,161,2,0)"))
        << "button " << button;
  }
}

TEST_F(WindowHover, APressOnAnyPictureControlStartsNoDrag) {
  for (app::ControlId id : {app::ControlId::hitarea, app::ControlId::xarea,
                            app::ControlId::minarea, app::ControlId::minbutarea,
                            app::ControlId::Image1}) {
    for (std::int16_t button :
         {platform::kPrimaryButton, platform::kSecondaryButton, platform::kMiddleButton})
      desktop.window.Mouse(platform::MouseAction::Down, At(id), button);
  }
  EXPECT_TRUE(desktop.log.Only({"ReleaseCapture", "SendMessageA"}).empty());
}

}  // namespace
