// Dragging the captionless window by its bare surface: the press is handed to
// the system's own move handling as if it had been made on a caption.
#pragma once

#include "platform/types.h"
#include "platform/win32.h"

namespace skin {

// For a press of any button; the results are not examined.
void StartDrag(platform::Input& input, platform::Windowing& windowing, platform::Handle window);

}  // namespace skin
