#include "app/one_copy.h"

#include <algorithm>
#include <exception>

#include "app/layout.h"
#include "platform/constants.h"

namespace app {

namespace {

constexpr std::uint32_t kPollEveryMs = 50;
// One window's answer: the whole wait stays bounded by a window that hangs.
constexpr std::uint32_t kAnswerWithinMs = 1000;
// Bounds a walk of a window list that changes while it is walked.
constexpr int kMostWindows = 16;

}  // namespace

OneCopy::~OneCopy() {
  if (held_ != 0) win32_.CloseHandle(held_);
}

OneCopy::Outcome OneCopy::Decide() {
  try {
    const std::uint32_t started = win32_.GetTickCount();
    std::uint32_t request = 0;
    for (;;) {
      if (TryClaim() != Claim::Elsewhere) return Outcome::RunsAlone;
      if (request == 0) request = win32_.RegisterWindowMessageA(kShowRequestName);
      if (request == 0) return Outcome::NotReached;
      // Unsigned: right across the wrap of the tick count.
      const std::uint32_t waited = win32_.GetTickCount() - started;
      if (waited >= kWaitForCopyMs) return Outcome::NotReached;
      switch (AskToShow(request, std::min(kAnswerWithinMs, kWaitForCopyMs - waited))) {
        case Reply::Shown:
          return Outcome::HandedOver;
        case Reply::Refused:
          return Outcome::NotReached;
        case Reply::Silent:
          break;   // still starting, or ending: look again
      }
      win32_.Sleep(kPollEveryMs);
    }
  } catch (const std::exception&) {
    // Nothing to go by: running is the safe default.
    return Outcome::RunsAlone;
  }
}

OneCopy::Claim OneCopy::TryClaim() {
  const platform::Handle name = win32_.CreateMutexA(nullptr, 0, kRunningCopyName);
  const std::uint32_t error = win32_.GetLastError();
  if (name == 0) {
    // Made by a copy started as administrator, which this start may not open.
    // Any other refusal leaves nothing to go by.
    return error == platform::ERROR_ACCESS_DENIED ? Claim::Elsewhere : Claim::Unavailable;
  }
  if (error != platform::ERROR_ALREADY_EXISTS) {
    held_ = name;
    return Claim::Ours;
  }
  // Not kept while waiting: should the running copy end meanwhile, the name
  // goes with it and the next try takes it.
  win32_.CloseHandle(name);
  return Claim::Elsewhere;
}

OneCopy::Reply OneCopy::AskToShow(std::uint32_t request, std::uint32_t withinMs) {
  bool refused = false;
  platform::Handle after = 0;
  for (int i = 0; i < kMostWindows; ++i) {
    const platform::Handle window = win32_.FindWindowExA(0, after, kMainWindowClass, kWindowText);
    if (window == 0) break;
    after = window;
    // The user has just started this process, so it may take the foreground;
    // the running copy, in the background, may only when it is let.
    std::uint32_t process = 0;
    if (win32_.GetWindowThreadProcessId(window, &process) != 0)
      win32_.AllowSetForegroundWindow(process);
    std::uintptr_t answer = 0;
    if (win32_.SendMessageTimeoutA(window, request, 0, 0, platform::SMTO_ABORTIFHUNG, withinMs,
                                   &answer) != 0) {
      if (answer == static_cast<std::uintptr_t>(kShown)) return Reply::Shown;
    } else if (win32_.GetLastError() == platform::ERROR_ACCESS_DENIED) {
      refused = true;   // the system keeps a request from a process with fewer rights
    }
  }
  return refused ? Reply::Refused : Reply::Silent;
}

}  // namespace app
