// The text of the one way an error leaves a handler: a message box with its
// number and description.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// "Run-time error '<number>':\n\n<description>", as the message box shows it.
std::string UntrappedErrorText(std::int32_t number, const std::string& description);
// The same for any error: the program's own carry their number; others get
// the number of their kind.
std::string UntrappedErrorText(const std::exception& error);

}  // namespace platform
