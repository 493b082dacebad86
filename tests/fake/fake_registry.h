// The registry of the fake desktop: string values the user's settings
// saved, keyed by key path and value name. SwapMouseButton never writes here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace fake {

inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
inline constexpr std::int32_t ERROR_UNSUPPORTED_TYPE = 1630;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_DWORD = 4;

// The user's saved mouse settings, as the system's own settings write them.
inline constexpr const char* kMouseKey = "HKEY_CURRENT_USER\\Control Panel\\Mouse";

struct RegistryValue {
  std::uint32_t type = REG_SZ;
  std::string data;   // a string's text without its terminator; else the raw bytes
};

struct RegistryState {
  using Key = std::pair<std::string, std::string>;  // full key path, value name
  std::map<Key, RegistryValue> values;
};

}  // namespace fake
