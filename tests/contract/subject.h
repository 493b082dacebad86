// The desktop the contract checks run against: the fake desktop in the unit
// suite, the real Win32 surface in the Windows build of the checks. What the
// surface itself cannot show (a region's pixels, a window's region, waiting
// for input to arrive) comes through here.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "platform/win32.h"

namespace contract {

// A button or capture message one of the subject's windows received.
struct Received {
  platform::Handle window;
  std::uint32_t message;   // WM_LBUTTONDOWN, WM_LBUTTONUP or WM_CAPTURECHANGED
  platform::LParam lParam;
  friend bool operator==(const Received&, const Received&) = default;
};

// A pixel set row by row: sorted runs [x1, x2), empty rows left out.
using Pixels = std::map<std::int32_t, std::vector<std::pair<std::int32_t, std::int32_t>>>;

class Subject {
 public:
  virtual ~Subject() = default;

  virtual platform::Win32& Surface() = 0;
  // The fake desktop rather than a real one.
  virtual bool IsFake() const = 0;
  // Wine stands for Windows here; the checks name the points where it differs.
  virtual bool IsWine() const = 0;

  // A shown top-level window at (10, 10), 200 x 100, with the keyboard
  // focus, as the program has one. (Under Wine, keys injected by the process
  // itself set the pressed-since-query bit without it; keys from the X
  // display do so only for the process with the focus.)
  virtual platform::Handle Window() = 0;
  // The user presses (or releases) the primary button with the pointer at `screen`.
  virtual void PrimaryButton(platform::Point screen, bool down) = 0;
  // The button and capture messages Window() received since the last call.
  virtual std::vector<Received> TakeReceived() = 0;
  // An icon the notification area can show.
  virtual platform::Handle Icon() = 0;
  // Lets injected input take effect before the next reading.
  virtual void Settle() = 0;
  // A key whose pressed-since-query bit this desktop never sets (Wine's
  // generic Ctrl; the fake withholds Ctrl's when asked), 0 if there is none.
  virtual std::int32_t KeyWithoutPressedBit() = 0;
  // GetAsyncKeyState(vk) as another reader of the session asks it.
  virtual std::int16_t AnotherReadersQuery(std::int32_t vk) = 0;
  // The system's ANSI code page, what CodePage 0 stands for.
  virtual std::uint32_t AnsiCodePage() = 0;
  // Makes `number` available to WideCharToMultiByte with the characters the
  // checks use (the fake knows one code page at a time; Windows knows them all).
  virtual void UseCodePage(std::uint32_t number) = 0;

  // The pixels of a live region the program owns.
  virtual Pixels RegionPixels(platform::Handle region) = 0;
  // The pixels of the region a window has taken; empty if it has none.
  virtual Pixels WindowRegionPixels(platform::Handle window) = 0;
  // Another process of the session makes or opens the named mutex `name` and
  // holds it until EndOtherProcess ends that process from outside.
  virtual void HoldNameInAnotherProcess(const char* name) = 0;
  virtual void EndOtherProcess() = 0;

  // The checks hand the system's own handles back on purpose, to see them
  // refused; the fake counts each such use against the program. This takes
  // the count (0 for the real surface, which keeps none).
  virtual std::size_t TakeMisuses() = 0;
};

// The desktop of this build: defined by fake_subject.cpp or real_subject.cpp.
std::unique_ptr<Subject> MakeSubject();

}  // namespace contract
