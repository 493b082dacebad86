#include "keys/key_poller.h"

#include <array>
#include <cstdint>
#include <exception>

#include "keys/KeyCheck.h"
#include "platform/constants.h"

namespace keys {

namespace {

// Down now and pressed since the previous query, as the platform reports it.
constexpr std::int16_t kFreshPress = -32767;
constexpr std::uint16_t kDown = 0x8000;

struct KeyAnswer {
  std::int32_t key;
  // The physical key whose stroke answers it (0 for Ctrl's swap), with the
  // scan code and extended flag that key sends: receivers that work by scan
  // code (remote desktops, virtual machines, raw input) drop a stroke without.
  std::uint8_t answer;
  std::uint8_t scan;
  std::uint32_t extended;
};

constexpr std::array<KeyAnswer, 5> kKeyTable{{
    {platform::VK_F13, platform::VK_SNAPSHOT, 0x37, platform::KEYEVENTF_EXTENDEDKEY},
    {platform::VK_F14, platform::VK_SCROLL, 0x46, 0},
    // Pause as a hook sees the physical key: scan 0x45, not extended.
    {platform::VK_F15, platform::VK_PAUSE, 0x45, 0},
    {platform::VK_RWIN, platform::VK_RWIN, 0x5C, platform::KEYEVENTF_EXTENDEDKEY},
    {platform::VK_CONTROL, 0, 0, 0},
}};

// One step of the loop: a failure abandons the step and nothing else.
template <typename Step>
bool Attempt(Step step) noexcept {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void KeyPoller::RunKeyLoop(platform::Input& input, const ButtonAssignment& buttons) noexcept {
  for (std::size_t i = 0; i < kKeyTable.size(); ++i) {
    const KeyAnswer& entry = kKeyTable[i];
    const auto bit = static_cast<std::uint8_t>(1u << i);
    // A reading that failed counts as no press and leaves the memory as it was.
    std::int16_t reading = 0;
    const bool read =
        Attempt([&] { reading = KeyCheck::GetAsyncKeyState(input, entry.key); });
    const bool down = (static_cast<std::uint16_t>(reading) & kDown) != 0;
    const bool fresh = reading == kFreshPress || (down && (downAtLastReading_ & bit) == 0);
    if (read) downAtLastReading_ = static_cast<std::uint8_t>(down ? downAtLastReading_ | bit
                                                                 : downAtLastReading_ & ~bit);
    if (entry.key == platform::VK_CONTROL) {
      Attempt([&] { input.SwapMouseButton(fresh ? buttons.Swapped() : buttons.User()); });
    } else if (fresh) {
      Attempt([&] { input.keybd_event(entry.answer, entry.scan, entry.extended, 0); });
      Attempt([&] {
        input.keybd_event(entry.answer, entry.scan, entry.extended | platform::KEYEVENTF_KEYUP, 0);
      });
    }
  }
}

}  // namespace keys
