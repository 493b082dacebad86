// The shell of the fake desktop: documents opened, the notification area
// (icons keyed by window and id, the shell's refusals, a taskbar that can be
// absent or restart) and the system's ANSI code page.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "platform/win32.h"

namespace fake {

struct ShellExecuted {
  platform::Handle owner;
  std::string operation;
  std::string file;
  std::int32_t showCommand;
};

inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;

// An icon as the notification area shows it.
struct TrayIcon {
  std::uint32_t hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uCallbackMessage = 0;
  std::uint32_t hIcon = 0;
  std::string tip;                      // the tip bytes up to their terminator
  platform::NotifyIconDataA record;     // the record of the last call that changed it
};

// The fields of a call form, read back.
struct CallFormFields {
  std::uint32_t cbSize, hWnd, uID, uFlags, uCallbackMessage, hIcon;
  std::string tip;  // the 64 tip bytes up to their terminator
};
CallFormFields ReadCallForm(const platform::NotifyIconDataA& data);

// The Windows-1252 code page: Latin-1 above 0xA0, and the euro sign, quotes,
// dashes and a few letters from 0x80 to 0x9F. Windows' best-fit replacements
// (a letter without its accent for one outside the page) are not modelled.
std::map<char16_t, std::string> WesternCodePage();

struct ShellState {
  using IconKey = std::pair<std::uint32_t, std::uint32_t>;  // window, id

  const TrayIcon* Icon(platform::Handle hWnd, std::uint32_t uID = 0) const;

  std::vector<ShellExecuted> executed;
  std::intptr_t executeResult = 42;   // > 32 is success
  std::map<IconKey, TrayIcon> icons;
  bool taskbarRunning = true;
  // A shell busy at logon times out: the next `addsTimingOut` NIM_ADD calls
  // report failure, and with `timedOutAddsTakeEffect` their icon shows all the same.
  int addsTimingOut = 0;
  bool timedOutAddsTakeEffect = false;
  // A Shell_NotifyIconA call waits on the shell's process, and messages other
  // programs send to ours are delivered meanwhile: what the next call of a
  // given dwMessage delivers, once, while it waits.
  std::map<std::uint32_t, std::function<void()>> sentWhileWaiting;
  // The ANSI code page beyond ASCII: each character with its one or two
  // bytes; any other character becomes the default character '?'. Calls name
  // it by CodePage 0 or by its own number.
  std::map<char16_t, std::string> ansiCodePage = WesternCodePage();
  std::uint32_t ansiCodePageNumber = 1252;
};

}  // namespace fake
