// The main window's outline: five fixed shapes, scaled to the screen's pixel
// density, merged into one region that the window then takes over.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/win32.h"

namespace skin {

// A GDI region the program owns: deleted when the wrapper goes, unless it was
// released to a new owner (the window, once SetWindowRgn accepts it).
class Region {
 public:
  Region() = default;
  Region(platform::Gdi& gdi, platform::Handle handle) : gdi_(&gdi), handle_(handle) {}
  Region(Region&& other) noexcept;
  Region& operator=(Region&& other) noexcept;
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  ~Region();

  platform::Handle Get() const { return handle_; }
  // Deletes the region now; an error from the platform goes to the caller.
  void Delete();
  // Hands the region to a new owner and forgets it.
  platform::Handle Release();

 private:
  void DeleteQuietly() noexcept;

  platform::Gdi* gdi_ = nullptr;
  platform::Handle handle_ = 0;
};

class SkinShape {
 public:
  explicit SkinShape(platform::Gdi& gdi) : gdi_(gdi) {}

  // Builds the outline with both axes scaled and shifted by whole device
  // pixels. The caller owns the result until a window accepts it; the same
  // handle stays readable as hSkinRgn(). An arithmetic failure (density 0,
  // a value that is not finite or does not fit 32 bits) throws
  // platform::Error after deleting every region the call made.
  Region BuildSkinRegion(float scaleX, float scaleY, std::int16_t offsetX, std::int16_t offsetY);

  // The first creation steps of the main window: build the outline at scale 1
  // without offset and give it to the window.
  void ShapeSteps(platform::Handle window);

  // The region the latest call built; 0 before the first call and after a
  // failed one. Once the window has taken it, it is not the program's to use.
  platform::Handle hSkinRgn() const { return hSkinRgn_; }

 private:
  platform::Gdi& gdi_;
  platform::Handle hSkinRgn_ = 0;
};

}  // namespace skin
