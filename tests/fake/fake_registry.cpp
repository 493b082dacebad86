#include <algorithm>
#include <cstring>
#include <utility>

#include "fake/fake_desktop.h"

namespace fake {

// Keys under HKEY_CURRENT_USER only, names compared as written: the program
// spells them as Windows does.
std::int32_t FakeDesktop::RegOpenKeyExA(platform::Handle hKey, const char* lpSubKey,
                                        std::uint32_t ulOptions, std::uint32_t samDesired,
                                        platform::Handle* phkResult) {
  *phkResult = 0;
  if (Fails("RegOpenKeyExA", hKey, lpSubKey, ulOptions, samDesired)) return ERROR_FILE_NOT_FOUND;
  if (hKey != platform::HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  const std::string path = std::string("HKEY_CURRENT_USER\\") + (lpSubKey ? lpSubKey : "");
  if (!registry.keys.count(path)) return ERROR_FILE_NOT_FOUND;
  *phkResult = registry.nextKey++;
  registry.open[*phkResult] = path;
  return platform::ERROR_SUCCESS;
}

// As Windows does it: any type, the size with whatever terminator was
// stored, ERROR_MORE_DATA when the buffer is short (which then holds what
// fitted, as good as undefined).
std::int32_t FakeDesktop::RegQueryValueExA(platform::Handle hKey, const char* lpValueName,
                                           std::uint32_t* lpReserved, std::uint32_t* lpType,
                                           std::uint8_t* lpData, std::uint32_t* lpcbData) {
  if (Fails("RegQueryValueExA", hKey, lpValueName, lpcbData ? *lpcbData : 0))
    return ERROR_FILE_NOT_FOUND;
  const auto key = registry.open.find(hKey);
  if (key == registry.open.end()) return ERROR_INVALID_HANDLE;
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  const auto it = registry.values.find({key->second, lpValueName ? lpValueName : ""});
  if (it == registry.values.end()) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = it->second.type;
  if (!lpcbData) return platform::ERROR_SUCCESS;
  const auto needed = static_cast<std::uint32_t>(it->second.data.size());
  const std::uint32_t room = std::exchange(*lpcbData, needed);
  if (!lpData) return platform::ERROR_SUCCESS;
  std::memcpy(lpData, it->second.data.data(), std::min(room, needed));
  return room < needed ? ERROR_MORE_DATA : platform::ERROR_SUCCESS;
}

std::int32_t FakeDesktop::RegCloseKey(platform::Handle hKey) {
  if (Fails("RegCloseKey", hKey)) return ERROR_INVALID_HANDLE;
  return registry.open.erase(hKey) ? platform::ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace fake
