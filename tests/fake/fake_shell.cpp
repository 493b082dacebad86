#include <cstring>

#include "fake/fake_desktop.h"

namespace fake {

std::intptr_t FakeDesktop::ShellExecuteA(platform::Handle hwnd, const char* lpOperation,
                                         const char* lpFile, const char* lpParameters,
                                         const char* lpDirectory, std::int32_t nShowCmd) {
  log.Record("ShellExecuteA", hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd);
  if (faults.Hit("ShellExecuteA") == Fault::FailResult) return 2;  // file not found
  shell.executed.push_back({hwnd, lpOperation ? lpOperation : "", lpFile ? lpFile : "", nShowCmd});
  return shell.executeResult;
}

std::int32_t FakeDesktop::Shell_NotifyIconA(std::uint32_t dwMessage,
                                            const platform::NotifyIconDataA& lpData) {
  std::uint32_t hwnd = 0, id = 0;
  std::memcpy(&hwnd, lpData.bytes.data() + 4, 4);
  std::memcpy(&id, lpData.bytes.data() + 8, 4);
  log.Record("Shell_NotifyIconA", dwMessage, hwnd, id);
  if (faults.Hit("Shell_NotifyIconA") == Fault::FailResult) return 0;
  if (!shell.taskbarRunning) return 0;
  const auto key = std::make_pair(hwnd, id);
  switch (dwMessage) {
    case platform::NIM_ADD:
      return shell.icons.emplace(key, lpData).second ? 1 : 0;
    case platform::NIM_MODIFY:
      if (!shell.icons.count(key)) return 0;
      shell.icons[key] = lpData;
      return 1;
    case platform::NIM_DELETE:
      return shell.icons.erase(key) ? 1 : 0;
    default:
      return 0;
  }
}

}  // namespace fake
