// The main window's layout: its own settings and its ten controls, in
// creation order, in layout units of 1/1440 inch.
#pragma once

#include <array>
#include <cstdint>

#include "platform/types.h"
#include "platform/window_layer.h"

namespace app {

enum class ControlId : std::uint8_t {
  Timer1, minbutarea, minbutimg, minarea, minimg, xarea, ximg, hitarea, overimg, Image1
};

struct ControlRow {
  ControlId id;
  const char* name;
  platform::Rect units;        // left, top, width, height
  bool shownAtCreation;
  platform::Picture picture;
  platform::Pointer pointer;
};

inline constexpr std::uint32_t kTimerIntervalMs = 3;
inline constexpr const char* kWindowText = "Veltrane";
inline constexpr platform::Rect kWindowUnits{8235, 6540, 7530, 4920};

using platform::Picture;
using platform::Pointer;

// A control lies above every control after it. Timer1 has no rectangle.
inline constexpr std::array<ControlRow, 10> kControls{{
    {ControlId::Timer1, "Timer1", {}, true, Picture::None, Pointer::Arrow},
    {ControlId::minbutarea, "minbutarea", {4020, 4290, 1305, 345}, true, Picture::None, Pointer::Hand},
    {ControlId::minbutimg, "minbutimg", {3930, 4250, 1470, 420}, false, Picture::MinButImg, Pointer::Arrow},
    {ControlId::minarea, "minarea", {450, 60, 225, 225}, true, Picture::None, Pointer::Hand},
    {ControlId::minimg, "minimg", {480, 150, 165, 105}, false, Picture::MinImg, Pointer::Arrow},
    {ControlId::xarea, "xarea", {120, 30, 255, 285}, true, Picture::None, Pointer::Hand},
    {ControlId::ximg, "ximg", {133, 88, 195, 165}, false, Picture::XImg, Pointer::Arrow},
    {ControlId::hitarea, "hitarea", {5580, 4260, 1425, 405}, true, Picture::None, Pointer::Hand},
    {ControlId::overimg, "overimg", {5570, 4260, 1440, 405}, false, Picture::OverImg, Pointer::Arrow},
    {ControlId::Image1, "Image1", {1860, 3330, 3225, 285}, true, Picture::None, Pointer::Hand},
}};

struct PictureSize {
  std::int32_t width;
  std::int32_t height;
};

// Pictures are drawn at their own size in pixels, whatever the density.
PictureSize SizeOf(platform::Picture picture);

// Layout units to pixels at `logicalPixelsPerInch`, to the nearest pixel.
std::int32_t ToPixels(std::int32_t units, std::int32_t logicalPixelsPerInch);

// A rectangle in layout units to pixels, each axis by its own density.
platform::Rect ToPixels(const platform::Rect& units, std::int32_t dpiX, std::int32_t dpiY);

// Where the window goes in a monitor's work area: at its layout position if
// it fits there whole; else moved by the least amount that makes it fit, on
// each axis, or to the work area's top or left edge where it is larger.
// A small screen at 150 % would otherwise put Minimize and Exit out of reach.
platform::Rect FitInWorkArea(const platform::Rect& window, const platform::Rect& work);

}  // namespace app
