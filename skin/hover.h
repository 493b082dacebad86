// Hover feedback: a hot area's highlight picture is shown while the pointer
// rests on the area. Two inputs drive it, the areas' mouse moves and every
// timer tick; either changes the state only when the pointer has moved since
// the previous check, whichever input made that check.
#pragma once

#include <string_view>

#include "platform/types.h"
#include "platform/win32.h"
#include "platform/window_layer.h"

namespace skin {

// A hot area as hover feedback knows it: its name, and its identity (its address).
struct HotArea {
  std::string_view name;
};

// Where a highlight picture is shown or hidden.
class HighlightPictures {
 public:
  virtual ~HighlightPictures() = default;
  virtual void SetVisible(platform::Picture picture, bool visible) = 0;
};

class HoverFeedback {
 public:
  HoverFeedback(platform::Input& input, HighlightPictures& pictures)
      : input_(input), pictures_(pictures) {}

  // `area` is the hot area the pointer moved over, or null from the tick.
  void TrackHover(const HotArea* area);

  const HotArea* GetHoverArea() const { return HoverArea; }
  platform::Point GetLastCursorPos() const { return LastCursorPos; }

 private:
  bool CursorStill();
  void SetHotImage(const HotArea& area, bool visible);

  platform::Input& input_;
  HighlightPictures& pictures_;
  // The areas live as long as the window that owns this state.
  const HotArea* HoverArea = nullptr;
  platform::Point LastCursorPos{};
  platform::Point CursorPos{};
};

}  // namespace skin
