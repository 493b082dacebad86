// The registry of the fake desktop: the keys there are, the values the
// user's settings saved (keyed by key path and value name, the bytes as
// stored) and the keys the program holds open. SwapMouseButton never writes
// here.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/constants.h"

namespace fake {

inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
using platform::REG_SZ;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_DWORD = 4;

// The user's saved mouse settings, as the system's own settings write them.
inline constexpr const char* kMouseKey = "HKEY_CURRENT_USER\\Control Panel\\Mouse";

struct RegistryValue {
  std::uint32_t type = REG_SZ;
  std::string data;   // the bytes as stored: a string has its terminator only if written with one

  // Text as the system's settings write it, with its terminator.
  static RegistryValue Text(const std::string& text) { return {REG_SZ, text + '\0'}; }
};

struct RegistryState {
  using Key = std::pair<std::string, std::string>;  // full key path, value name
  std::set<std::string> keys{kMouseKey};            // a value is reached only in a key there is
  std::map<Key, RegistryValue> values;
  std::map<platform::Handle, std::string> open;     // key handles not yet closed, and their paths
  platform::Handle nextKey = 0x7000;
};

}  // namespace fake
