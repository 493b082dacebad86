// GDI state of the fake desktop: the screen's density and live regions.
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "platform/types.h"

namespace fake {

struct GdiState {
  std::int32_t logPixelsX = 96;
  std::int32_t logPixelsY = 96;
  std::set<platform::Handle> liveRegions;
  std::map<platform::Handle, platform::Handle> windowRegion;  // window -> region it owns
  platform::Handle nextRegion = 0x5000;
};

}  // namespace fake
