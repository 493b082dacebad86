#include "keys/key_poller.h"

#include <array>
#include <cstdint>
#include <exception>

#include "keys/KeyCheck.h"
#include "platform/constants.h"

namespace keys {

namespace {

// Down now and pressed since the previous query; nothing else is a fresh press.
constexpr std::int16_t kFreshPress = -32767;

struct KeyAnswer {
  std::int32_t key;
  std::uint8_t answer;   // the key whose stroke answers it; 0 for Ctrl's swap
};

constexpr std::array<KeyAnswer, 5> kKeyTable{{
    {platform::VK_F13, platform::VK_SNAPSHOT},
    {platform::VK_F14, platform::VK_SCROLL},
    {platform::VK_F15, platform::VK_PAUSE},
    {platform::VK_RWIN, platform::VK_RWIN},
    {platform::VK_CONTROL, 0},
}};

// One step of the loop: a failure abandons the step and nothing else.
template <typename Step>
void Attempt(Step step) noexcept {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

void RunKeyLoop(platform::Input& input, const ButtonAssignment& buttons) noexcept {
  for (const KeyAnswer& entry : kKeyTable) {
    // A reading that failed counts as no press.
    std::int16_t reading = 0;
    Attempt([&] { reading = KeyCheck::GetAsyncKeyState(input, entry.key); });
    const bool fresh = reading == kFreshPress;
    if (entry.key == platform::VK_CONTROL) {
      Attempt([&] { input.SwapMouseButton(fresh ? buttons.Swapped() : buttons.User()); });
    } else if (fresh) {
      Attempt([&] { input.keybd_event(entry.answer, 0, 0, 0); });
      Attempt([&] { input.keybd_event(entry.answer, 0, platform::KEYEVENTF_KEYUP, 0); });
    }
  }
}

}  // namespace keys
