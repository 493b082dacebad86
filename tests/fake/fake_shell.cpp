#include <cstring>

#include "fake/fake_desktop.h"

namespace fake {

namespace {

std::uint32_t Read32(const platform::NotifyIconDataA& data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{data.bytes[at + i]} << (8 * i);
  return value;
}

constexpr std::size_t kTipAt = 24;

}  // namespace

CallFormFields ReadCallForm(const platform::NotifyIconDataA& data) {
  CallFormFields fields{Read32(data, 0),  Read32(data, 4),  Read32(data, 8),
                        Read32(data, 12), Read32(data, 16), Read32(data, 20), {}};
  for (std::size_t i = kTipAt; i < data.bytes.size() && data.bytes[i] != 0; ++i)
    fields.tip += static_cast<char>(data.bytes[i]);
  return fields;
}

std::map<char16_t, std::string> WesternCodePage() {
  std::map<char16_t, std::string> page;
  for (char16_t ch = 0xA0; ch <= 0xFF; ++ch) page[ch] = std::string(1, static_cast<char>(ch));
  // 0x80 to 0x9F: punctuation and letters in place of the C1 controls; five
  // of those bytes stand for nothing.
  constexpr char16_t kFrom0x80[32] = {
      u'\u20AC', 0,        u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
      u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', 0,        u'\u017D', 0,
      0,        u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
      u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', 0,        u'\u017E', u'\u0178'};
  for (int i = 0; i < 32; ++i)
    if (kFrom0x80[i] != 0) page[kFrom0x80[i]] = std::string(1, static_cast<char>(0x80 + i));
  return page;
}

const TrayIcon* ShellState::Icon(platform::Handle hWnd, std::uint32_t uID) const {
  auto it = icons.find({static_cast<std::uint32_t>(hWnd), uID});
  return it == icons.end() ? nullptr : &it->second;
}

std::intptr_t FakeDesktop::ShellExecuteA(platform::Handle hwnd, const char* lpOperation,
                                         const char* lpFile, const char* lpParameters,
                                         const char* lpDirectory, std::int32_t nShowCmd) {
  if (Fails("ShellExecuteA", hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd))
    return 2;  // file not found
  shell.executed.push_back({hwnd, lpOperation ? lpOperation : "", lpFile ? lpFile : "", nShowCmd});
  return shell.executeResult;
}

std::int32_t FakeDesktop::Shell_NotifyIconA(std::uint32_t dwMessage,
                                            const platform::NotifyIconDataA& lpData) {
  const CallFormFields fields = ReadCallForm(lpData);
  if (Fails("Shell_NotifyIconA", dwMessage, fields.hWnd, fields.uID)) return 0;
  // No taskbar, no notification area; and only the first-version record is modelled.
  if (auto waiting = shell.sentWhileWaiting.find(dwMessage);
      waiting != shell.sentWhileWaiting.end()) {
    const std::function<void()> send = std::move(waiting->second);
    shell.sentWhileWaiting.erase(waiting);
    send();
  }
  if (!shell.taskbarRunning || fields.cbSize != platform::NotifyIconDataA::kSize) return 0;
  const ShellState::IconKey key{fields.hWnd, fields.uID};
  auto it = shell.icons.find(key);
  auto apply = [&](TrayIcon& icon) {
    if (fields.uFlags & NIF_MESSAGE) icon.uCallbackMessage = fields.uCallbackMessage;
    if (fields.uFlags & NIF_ICON) icon.hIcon = fields.hIcon;
    if (fields.uFlags & NIF_TIP) icon.tip = fields.tip;
    icon.record = lpData;
  };
  switch (dwMessage) {
    case platform::NIM_ADD: {
      if (it != shell.icons.end()) return 0;  // the icon is there already
      TrayIcon icon;
      icon.hWnd = fields.hWnd;
      icon.uID = fields.uID;
      apply(icon);
      if (shell.addsTimingOut > 0) {
        --shell.addsTimingOut;
        if (shell.timedOutAddsTakeEffect) shell.icons.emplace(key, icon);
        return 0;
      }
      shell.icons.emplace(key, icon);
      return 1;
    }
    case platform::NIM_MODIFY:
      if (it == shell.icons.end()) return 0;
      apply(it->second);
      return 1;
    case platform::NIM_DELETE:
      if (it == shell.icons.end()) return 0;
      shell.icons.erase(it);
      return 1;
    default:
      return 0;
  }
}

std::int32_t FakeDesktop::WideCharToMultiByte(std::uint32_t CodePage, std::uint32_t dwFlags,
                                              const char16_t* lpWideCharStr,
                                              std::int32_t cchWideChar, char* lpMultiByteStr,
                                              std::int32_t cbMultiByte, const char* lpDefaultChar,
                                              std::int32_t* lpUsedDefaultChar) {
  if (Fails("WideCharToMultiByte", CodePage, dwFlags, cchWideChar, cbMultiByte)) return 0;
  constexpr std::uint32_t CP_ACP = 0;
  const bool knownPage = CodePage == CP_ACP || CodePage == shell.ansiCodePageNumber;
  if (!knownPage || !lpWideCharStr || cchWideChar == 0) return 0;
  std::size_t count = static_cast<std::size_t>(cchWideChar);
  if (cchWideChar < 0) count = std::char_traits<char16_t>::length(lpWideCharStr) + 1;
  std::string out;
  bool usedDefault = false;
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t ch = lpWideCharStr[i];
    if (ch < 0x80) {
      out += static_cast<char>(ch);
    } else if (auto it = shell.ansiCodePage.find(ch); it != shell.ansiCodePage.end()) {
      out += it->second;
    } else {
      out += lpDefaultChar ? *lpDefaultChar : '?';
      usedDefault = true;
    }
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? 1 : 0;
  if (cbMultiByte == 0) return static_cast<std::int32_t>(out.size());  // the size it needs
  if (out.size() > static_cast<std::size_t>(cbMultiByte)) return 0;    // buffer too small
  std::memcpy(lpMultiByteStr, out.data(), out.size());
  return static_cast<std::int32_t>(out.size());
}

std::int32_t FakeDesktop::CoInitializeEx(void* pvReserved, std::uint32_t dwCoInit) {
  constexpr std::int32_t RPC_E_CHANGED_MODE = static_cast<std::int32_t>(0x80010106);
  if (Fails("CoInitializeEx", reinterpret_cast<std::uintptr_t>(pvReserved), dwCoInit))
    return RPC_E_CHANGED_MODE;
  return 0;  // S_OK
}

void FakeDesktop::CoUninitialize() { Fails("CoUninitialize"); }

void FakeDesktop::StopTaskbar() {
  shell.taskbarRunning = false;
  shell.icons.clear();
}

void FakeDesktop::RestartTaskbar() {
  shell.taskbarRunning = true;
  shell.icons.clear();
  windows.Broadcast(session().MessageNumber("TaskbarCreated"), 0, 0);
}

bool FakeDesktop::IconMouse(platform::Handle hWnd, std::uint32_t mouseMessage, std::uint32_t uID) {
  const TrayIcon* icon = shell.Icon(hWnd, uID);
  if (!icon) return false;
  // The shell's notification reaches the window as a sent message would.
  windows.Deliver(hWnd, icon->uCallbackMessage, uID, static_cast<platform::LParam>(mouseMessage));
  return true;
}

}  // namespace fake
