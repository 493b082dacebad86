#include "keys/button_assignment.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "platform/constants.h"

namespace keys {

namespace {

// A registry key the program opened: closed when the wrapper goes, so that
// no path out of a reading leaves it open.
class RegistryKey {
 public:
  // The key, or an empty wrapper if it cannot be opened for reading.
  static RegistryKey Open(platform::Registry& registry, platform::Handle parent,
                          const char* subKey) {
    platform::Handle handle = 0;
    const bool opened = registry.RegOpenKeyExA(parent, subKey, 0, platform::KEY_QUERY_VALUE,
                                               &handle) == platform::ERROR_SUCCESS;
    return RegistryKey(registry, opened ? handle : 0);
  }
  RegistryKey(RegistryKey&& other) noexcept
      : registry_(other.registry_), handle_(std::exchange(other.handle_, 0)) {}
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { CloseQuietly(); }

  bool IsOpen() const { return handle_ != 0; }
  platform::Handle Get() const { return handle_; }
  // Closes the key now; an error from the platform goes to the caller. The
  // handle is given up either way: a key that failed to close once is not
  // closed again.
  void Close() {
    if (handle_ != 0) registry_->RegCloseKey(std::exchange(handle_, 0));
  }

 private:
  RegistryKey(platform::Registry& registry, platform::Handle handle)
      : registry_(&registry), handle_(handle) {}
  void CloseQuietly() noexcept {
    // Runs while an error unwinds; a second error here has nowhere to go.
    try {
      Close();
    } catch (...) {
    }
  }

  platform::Registry* registry_;
  platform::Handle handle_;
};

// "SwapMouseButtons" under HKEY_CURRENT_USER\Control Panel\Mouse, as the
// system's mouse settings write it (SwapMouseButton never does): a number
// in text, "1" for swapped and "0" for normal; none if it cannot be read.
std::optional<bool> SavedSwap(platform::Registry& registry) {
  RegistryKey key =
      RegistryKey::Open(registry, platform::HKEY_CURRENT_USER, "Control Panel\\Mouse");
  if (!key.IsOpen()) return std::nullopt;
  std::array<char, 16> text{};
  std::uint32_t type = 0;
  auto size = static_cast<std::uint32_t>(text.size());
  const std::int32_t status =
      registry.RegQueryValueExA(key.Get(), "SwapMouseButtons", nullptr, &type,
                                reinterpret_cast<std::uint8_t*>(text.data()), &size);
  key.Close();
  // Only text counts: REG_EXPAND_SZ or a number stored as REG_DWORD is not
  // what the system's settings write.
  if (status != platform::ERROR_SUCCESS || type != platform::REG_SZ) return std::nullopt;
  // The stored text need not end in a terminator, so only the bytes written
  // are read; text that fills the buffer with none is too long.
  const char* begin = text.data();
  const char* end = std::find(begin, begin + std::min<std::size_t>(size, text.size()), '\0');
  if (end == begin + text.size()) return std::nullopt;
  long value = 0;
  if (std::from_chars(begin, end, value).ec != std::errc{}) return std::nullopt;
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
