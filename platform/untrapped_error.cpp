#include "platform/untrapped_error.h"

#include <new>

#include "platform/error.h"

namespace platform {

namespace {
// The number for failures that carry none of their own.
constexpr std::int32_t kErrInternal = 51;
}  // namespace

std::string UntrappedErrorText(std::int32_t number, const std::string& description) {
  return "Run-time error '" + std::to_string(number) + "':\n\n" + description;
}

std::string UntrappedErrorText(const std::exception& error) {
  if (const auto* programError = dynamic_cast<const Error*>(&error))
    return UntrappedErrorText(programError->Number(), programError->Description());
  if (dynamic_cast<const std::bad_alloc*>(&error))
    return UntrappedErrorText(kErrOutOfMemory, "Out of memory");
  return UntrappedErrorText(kErrInternal, error.what());
}

}  // namespace platform
