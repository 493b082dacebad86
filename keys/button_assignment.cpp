#include "keys/button_assignment.h"

#include "platform/constants.h"

namespace keys {

void ButtonAssignment::ReadUserSetting(platform::Input& input) {
  userSwapped_ = input.GetSystemMetrics(platform::SM_SWAPBUTTON) != 0;
}

}  // namespace keys
