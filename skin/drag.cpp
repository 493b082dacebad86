#include "skin/drag.h"

#include "platform/constants.h"

namespace skin {

void StartDrag(platform::Input& input, platform::Windowing& windowing, platform::Handle window) {
  input.ReleaseCapture();
  windowing.SendMessageA(window, platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, 0);
}

}  // namespace skin
