#include "keys/button_assignment.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "platform/constants.h"

namespace keys {

namespace {

// "SwapMouseButtons" under HKEY_CURRENT_USER\Control Panel\Mouse, as the
// system's mouse settings write it (SwapMouseButton never does): a number
// in text, "1" for swapped and "0" for normal; none if it cannot be read.
std::optional<bool> SavedSwap(platform::Registry& registry) {
  std::array<char, 16> text{};
  auto size = static_cast<std::uint32_t>(text.size());
  if (registry.RegGetValueA(platform::HKEY_CURRENT_USER, "Control Panel\\Mouse",
                            "SwapMouseButtons", platform::RRF_RT_REG_SZ, nullptr, text.data(),
                            &size) != platform::ERROR_SUCCESS)
    return std::nullopt;
  const char* end = std::find(text.data(), text.data() + text.size(), '\0');
  long value = 0;
  if (std::from_chars(text.data(), end, value).ec != std::errc{}) return std::nullopt;
  return value != 0;
}

}  // namespace

void ButtonAssignment::ReadUserSetting(platform::Registry& registry, platform::Input& input) {
  if (const std::optional<bool> saved = SavedSwap(registry))
    userSwapped_ = *saved;
  else
    userSwapped_ = input.GetSystemMetrics(platform::SM_SWAPBUTTON) != 0;
}

}  // namespace keys
