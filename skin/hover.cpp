#include "skin/hover.h"

#include <array>

namespace skin {

namespace {

struct AreaPicture {
  std::string_view area;
  platform::Picture picture;
};

// Tested in this order; names compare exactly, letter case included.
constexpr std::array<AreaPicture, 4> kAreaTable{{
    {"hitarea", platform::Picture::OverImg},
    {"xarea", platform::Picture::XImg},
    {"minarea", platform::Picture::MinImg},
    {"minbutarea", platform::Picture::MinButImg},
}};

}  // namespace

bool HoverFeedback::CursorStill() {
  // A failed reading leaves CursorPos as it was; the comparison goes on with it.
  input_.GetCursorPos(CursorPos);
  const bool still = CursorPos == LastCursorPos;
  LastCursorPos = CursorPos;
  return still;
}

void HoverFeedback::SetHotImage(const HotArea& area, bool visible) {
  for (const AreaPicture& row : kAreaTable) {
    if (row.area == area.name) {
      pictures_.SetVisible(row.picture, visible);
      return;
    }
  }
}

void HoverFeedback::TrackHover(const HotArea* area) {
  if (CursorStill()) return;
  if (HoverArea) {
    if (area == HoverArea) return;
    SetHotImage(*HoverArea, false);
  }
  if (area) SetHotImage(*area, true);
  HoverArea = area;
}

}  // namespace skin
