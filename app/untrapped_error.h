// The one way an error leaves a handler: a message box with its number and
// description, then the end of the process.
#pragma once

#include <exception>
#include <string>

#include "platform/win32.h"
#include "platform/window_layer.h"

namespace app {

// "Run-time error '<number>':\n\n<description>", as the message box shows it.
std::string UntrappedErrorText(std::int32_t number, const std::string& description);

[[noreturn]] void ReportUntrapped(platform::Windowing& windowing, platform::WindowLayer& window,
                                  const std::exception& error);

// Runs a handler; an error that leaves it is reported and ends the process.
template <typename Handler>
void RunHandler(platform::Windowing& windowing, platform::WindowLayer& window, Handler handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ReportUntrapped(windowing, window, error);
  }
}

}  // namespace app
