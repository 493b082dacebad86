#include "app/untrapped_error.h"

#include <cstdlib>
#include <new>

#include "platform/constants.h"
#include "platform/error.h"

namespace app {

namespace {
// Numbers for failures that carry none of their own.
constexpr std::int32_t kErrOutOfMemory = 7;
constexpr std::int32_t kErrInternal = 51;
}  // namespace

std::string UntrappedErrorText(std::int32_t number, const std::string& description) {
  return "Run-time error '" + std::to_string(number) + "':\n\n" + description;
}

void ReportUntrapped(platform::Windowing& windowing, platform::WindowLayer& window,
                     const std::exception& error) {
  const auto* programError = dynamic_cast<const platform::Error*>(&error);
  std::string text;
  if (programError)
    text = UntrappedErrorText(programError->Number(), programError->Description());
  else if (dynamic_cast<const std::bad_alloc*>(&error))
    text = UntrappedErrorText(kErrOutOfMemory, "Out of memory");
  else
    text = UntrappedErrorText(kErrInternal, error.what());
  try {
    windowing.MessageBoxA(0, text.c_str(), "Veltrane", platform::MB_OK | platform::MB_ICONERROR);
  } catch (const std::exception&) {
    // Nothing more can be told; the process ends all the same.
  }
  window.EndProcess();
  std::abort();  // EndProcess does not return
}

}  // namespace app
