#include <cstring>

#include "fake/fake_desktop.h"

namespace fake {

std::int32_t FakeDesktop::RegGetValueA(platform::Handle hkey, const char* lpSubKey,
                                       const char* lpValue, std::uint32_t dwFlags,
                                       std::uint32_t* pdwType, void* pvData,
                                       std::uint32_t* pcbData) {
  log.Record("RegGetValueA", hkey, lpSubKey, lpValue, dwFlags);
  if (faults.Hit("RegGetValueA") == Fault::FailResult) return ERROR_FILE_NOT_FOUND;
  if (hkey != platform::HKEY_CURRENT_USER) return ERROR_FILE_NOT_FOUND;
  const std::string key = std::string("HKEY_CURRENT_USER\\") + (lpSubKey ? lpSubKey : "");
  auto it = registry.values.find({key, lpValue ? lpValue : ""});
  if (it == registry.values.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& value = it->second;
  // Only the string filter is modelled: RRF_RT_REG_SZ takes REG_SZ alone.
  if (value.type != REG_SZ || !(dwFlags & platform::RRF_RT_REG_SZ)) return ERROR_UNSUPPORTED_TYPE;
  if (pdwType) *pdwType = value.type;
  const auto needed = static_cast<std::uint32_t>(value.data.size() + 1);  // with the terminator
  if (!pcbData) return platform::ERROR_SUCCESS;
  if (pvData && *pcbData < needed) {
    *pcbData = needed;
    return ERROR_MORE_DATA;
  }
  if (pvData) std::memcpy(pvData, value.data.c_str(), needed);
  *pcbData = needed;
  return platform::ERROR_SUCCESS;
}

}  // namespace fake
