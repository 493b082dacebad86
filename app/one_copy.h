// One Veltrane per logon session. Every copy answers every key press, so two
// would toggle Scroll Lock twice and cancel out: a start first takes the
// session's name for the program, and a start that finds the name taken asks
// the copy holding it to show its window, as a click on its icon does, and ends.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/win32.h"

namespace app {

// In the session's own namespace: another user's session on the machine,
// with a keyboard of its own, runs a copy of its own.
inline constexpr char kRunningCopyName[] = "Local\\Veltrane-343e7197-ea98-4ec8-b9cd-2cef8656e2b5";
// What a later start sends the running copy's main window.
inline constexpr char kShowRequestName[] = "Veltrane-343e7197-ea98-4ec8-b9cd-2cef8656e2b5-Show";
// The running copy's answer to it: a window that does not know the request
// answers 0, so a stranger's window is never taken for the program.
inline constexpr platform::LResult kShown = 0x56454C54;
inline constexpr char kMainWindowClass[] = "Veltrane2";
// How long a later start waits for the running copy to answer: one still
// starting at logon, on a busy machine, takes seconds to reach its message loop.
inline constexpr std::uint32_t kWaitForCopyMs = 10000;
// The exit code of a start that found a copy running and could not reach it.
inline constexpr int kExitCodeCopyNotReached = 1;

class OneCopy {
 public:
  enum class Outcome : std::uint8_t {
    // No other copy runs, or the name cannot be had at all (then a copy too
    // many is better than none): this one runs, holding the name for its life.
    RunsAlone,
    // The running copy shows its window: this start ends, having made nothing.
    HandedOver,
    // A copy runs but did not answer within the wait, or runs with rights
    // this start lacks and does not let the request in: this start ends too.
    NotReached,
  };

  explicit OneCopy(platform::Win32& win32) : win32_(win32) {}
  ~OneCopy();
  OneCopy(const OneCopy&) = delete;
  OneCopy& operator=(const OneCopy&) = delete;

  // Before anything of the program is made.
  Outcome Decide();

 private:
  enum class Claim : std::uint8_t { Ours, Elsewhere, Unavailable };
  enum class Reply : std::uint8_t { Shown, Silent, Refused };

  Claim TryClaim();
  // Asks every window that may be the running copy's, each for at most `withinMs`.
  Reply AskToShow(std::uint32_t request, std::uint32_t withinMs);

  platform::Win32& win32_;
  platform::Handle held_ = 0;   // the name, while this copy runs
};

}  // namespace app
