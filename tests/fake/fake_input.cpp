#include "fake/fake_input.h"

#include <utility>

#include "fake/fake_desktop.h"

namespace fake {

void Keyboard::Press(std::int32_t vk) {
  Key& key = keys_.at(vk);
  key.down = true;
  key.pressedSinceQuery = !key.pressedBitWithheld;
}

void Keyboard::WithholdPressedBit(std::int32_t vk) { keys_.at(vk).pressedBitWithheld = true; }

void Keyboard::Release(std::int32_t vk) { keys_.at(vk).down = false; }

void Keyboard::Script(std::int32_t vk, std::vector<std::int16_t> readings) {
  keys_.at(vk).script = std::move(readings);
  keys_.at(vk).scriptPos = 0;
}

void Keyboard::Pin(std::int32_t vk, std::int16_t reading) {
  keys_.at(vk).pinned = true;
  keys_.at(vk).pinnedReading = reading;
}

std::int16_t Keyboard::Query(std::int32_t vk) {
  if (vk < 0 || vk > 255) return 0;
  Key& key = keys_[vk];
  if (key.pinned) return key.pinnedReading;
  if (key.scriptPos < key.script.size()) return key.script[key.scriptPos++];
  const auto reading =
      static_cast<std::int16_t>((key.down ? 0x8000 : 0) | (key.pressedSinceQuery ? 1 : 0));
  key.pressedSinceQuery = false;
  return reading;
}

void Keyboard::Inject(const InjectedKey& key) {
  key.up() ? Release(key.vk) : Press(key.vk);
  if (recordInjected) injected.push_back(key);
}

std::int16_t FakeDesktop::GetAsyncKeyState(std::int32_t vKey) {
  if (Fails("GetAsyncKeyState", vKey)) return 0;
  return keyboard.Query(vKey);
}

void FakeDesktop::keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                              std::uint32_t dwExtraInfo) {
  if (Fails("keybd_event", +bVk, +bScan, dwFlags, dwExtraInfo)) return;
  keyboard.Inject({bVk, bScan, dwFlags});
}

std::int32_t FakeDesktop::SwapMouseButton(std::int32_t fSwap) {
  if (Fails("SwapMouseButton", fSwap)) return 0;
  const bool previous = mouse.swapped;
  mouse.swapped = fSwap != 0;
  if (log.enabled) mouse.swapHistory.push_back(mouse.swapped);
  return previous ? 1 : 0;
}

std::int32_t FakeDesktop::GetSystemMetrics(std::int32_t nIndex) {
  if (Fails("GetSystemMetrics", nIndex)) return 0;
  return nIndex == platform::SM_SWAPBUTTON && mouse.swapped ? 1 : 0;
}

std::int32_t FakeDesktop::GetCursorPos(platform::Point& lpPoint) {
  if (Fails("GetCursorPos")) return 0;
  lpPoint = mouse.cursor;
  return 1;
}

platform::Handle FakeDesktop::SetCapture(platform::Handle hWnd) {
  if (Fails("SetCapture", hWnd)) return 0;
  const platform::Handle previous = std::exchange(mouse.capture, hWnd);
  if (previous != 0 && previous != hWnd) CaptureChanged(previous, hWnd);
  return previous;
}

std::int32_t FakeDesktop::ReleaseCapture() {
  if (Fails("ReleaseCapture")) return 0;
  if (const platform::Handle previous = std::exchange(mouse.capture, 0))
    CaptureChanged(previous, 0);
  return 1;
}

std::uint32_t FakeDesktop::GetTickCount() {
  Fails("GetTickCount");
  return tickCount;
}

void FakeDesktop::CaptureChanged(platform::Handle loser, platform::Handle winner) {
  if (loser == window.handle)
    window.CaptureChanged(winner);
  else if (windows.IsWindow(loser))
    windows.Deliver(loser, platform::WM_CAPTURECHANGED, 0, static_cast<platform::LParam>(winner));
}

}  // namespace fake
