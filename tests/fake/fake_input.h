// Keyboard and mouse state of the fake desktop.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/constants.h"
#include "platform/types.h"

namespace fake {

// A keyboard event as keybd_event placed it: what a hook or a remote
// session receives.
struct InjectedKey {
  std::uint8_t vk;
  std::uint8_t scan;
  std::uint32_t flags;
  bool up() const { return (flags & platform::KEYEVENTF_KEYUP) != 0; }
  friend bool operator==(const InjectedKey&, const InjectedKey&) = default;
};

// The asynchronous key state of the session: the down bit, and a
// pressed-since-last-query bit that any reader's query clears, the
// program's or another program's. A scripted reading, when one is queued
// for a key, is returned instead.
class Keyboard {
 public:
  void Press(std::int32_t vk);      // a physical press (or an auto-repeat)
  void Release(std::int32_t vk);
  // The platform never sets `vk`'s pressed-since-query bit (Wine's Ctrl).
  void WithholdPressedBit(std::int32_t vk);
  void Script(std::int32_t vk, std::vector<std::int16_t> readings);
  // Every query of `vk` returns `reading` from now on (benchmarks).
  void Pin(std::int32_t vk, std::int16_t reading);
  // A query by any reader; another program's takes the pressed bit as well.
  std::int16_t Query(std::int32_t vk);
  void Inject(const InjectedKey& key);

  std::vector<InjectedKey> injected;  // every keybd_event that took effect
  bool recordInjected = true;

 private:
  struct Key {
    bool down = false;
    bool pressedSinceQuery = false;
    bool pressedBitWithheld = false;
    std::vector<std::int16_t> script;
    std::size_t scriptPos = 0;
    bool pinned = false;
    std::int16_t pinnedReading = 0;
  };
  std::array<Key, 256> keys_{};
};

struct Mouse {
  // Which window a button message goes to: the capture's holder, wherever
  // the pointer is; else the window under the pointer (0: none of ours).
  platform::Handle TargetOf(platform::Handle under) const { return capture ? capture : under; }

  bool swapped = false;              // the system-wide button assignment
  platform::Point cursor{};          // screen position
  std::vector<bool> swapHistory;     // each assignment SwapMouseButton set
  platform::Handle capture = 0;      // the window holding the pointer's capture
};

}  // namespace fake
