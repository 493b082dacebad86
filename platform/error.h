// The program's error: a number and a description, as a failing step raises
// it and as the untrapped-error message box shows it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  std::int32_t Number() const { return number_; }
  std::string Description() const { return what(); }

 private:
  std::int32_t number_;
};

// Numbers of the errors the program raises itself.
inline constexpr std::int32_t kErrInvalidCall = 5;
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrDivisionByZero = 11;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrDllNotFound = 53;
inline constexpr std::int32_t kErrEntryPointNotFound = 453;

// The process's exit code after an untrapped error; Exit ends with 0.
inline constexpr std::uint32_t kExitCodeUntrappedError = 1;

}  // namespace platform
