// A long run on the fake desktop: a million ticks with random key readings,
// interleaved with pointer moves over and off the hot areas, hide commands,
// messages from the notification area, taskbar restarts and changes of the
// user's mouse-button setting. What the program holds of the system (regions,
// windows, classes, icons) must stay as it was after startup, the heap must
// not grow, every tick must leave the buttons as its Ctrl reading says, and
// at the end the user's own assignment must be in force.
//
// The heap is measured as bytes in use (glibc's mallinfo2, the sanitizer
// allocator's own count under AddressSanitizer, the C runtime's heap walk on
// Windows) rather than by replacing the
// global allocation functions, which would change them for every test of the
// binary. VELTRANE_SOAK_TICKS sets the length; under AddressSanitizer the
// default is a tenth of the native one.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/constants.h"
#include "started_window.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELTRANE_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRANE_SOAK_ASAN 1
#endif
#endif

#ifdef VELTRANE_SOAK_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using app::ControlId;
using platform::MouseAction;
using platform::Point;

#ifdef VELTRANE_SOAK_ASAN
constexpr long kDefaultTicks = 100'000;
std::size_t HeapBytesInUse() { return __sanitizer_get_current_allocated_bytes(); }
#elif defined(_WIN32)
constexpr long kDefaultTicks = 1'000'000;
std::size_t HeapBytesInUse() {
  _HEAPINFO entry{};
  std::size_t used = 0;
  while (_heapwalk(&entry) == _HEAPOK)
    if (entry._useflag == _USEDENTRY) used += entry._size;
  return used;
}
#else
constexpr long kDefaultTicks = 1'000'000;
std::size_t HeapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}
#endif

long SoakTicks() {
  if (const char* text = std::getenv("VELTRANE_SOAK_TICKS")) {
    const long ticks = std::strtol(text, nullptr, 10);
    if (ticks > 0) return ticks;
  }
  return kDefaultTicks;
}

constexpr std::array<std::int32_t, 5> kKeys{platform::VK_F13, platform::VK_F14, platform::VK_F15,
                                            platform::VK_RWIN, platform::VK_CONTROL};
constexpr std::array<ControlId, 4> kHotAreas{ControlId::hitarea, ControlId::xarea,
                                             ControlId::minarea, ControlId::minbutarea};
constexpr std::array<ControlId, 4> kHighlights{ControlId::overimg, ControlId::ximg,
                                               ControlId::minimg, ControlId::minbutimg};
constexpr std::int16_t kFresh = -32767;

class Soak : public ::testing::Test, protected harness::StartedWindow {
 protected:
  // Which highlight pictures are shown, as a bit set.
  unsigned Lit() const {
    unsigned lit = 0;
    for (std::size_t i = 0; i < kHighlights.size(); ++i)
      if (Shows(kHighlights[i])) lit |= 1u << i;
    return lit;
  }
  // A new pointer position each time, so that every check sees a move.
  Point NextCursor() {
    ++cursorStep_;
    return {100 + static_cast<std::int32_t>(cursorStep_ % 1500),
            100 + static_cast<std::int32_t>(cursorStep_ / 1500 % 900)};
  }
  // What the program holds of the system, which must not change.
  void ExpectHoldingsAsAtStart(long tick) {
    SCOPED_TRACE("after tick " + std::to_string(tick));
    EXPECT_EQ(desktop.gdi.LiveObjects(), 1u);
    EXPECT_TRUE(desktop.gdi.OwnedByWindow(veltrane.SkinRegion()));
    ASSERT_EQ(desktop.windows.windows.size(), 1u);
    EXPECT_EQ(desktop.windows.windows.begin()->first, hidden);
    EXPECT_EQ(desktop.windows.classes.size(), 1u);
    EXPECT_EQ(desktop.shell.icons.size(), 1u);
    EXPECT_NE(desktop.shell.Icon(hidden), nullptr);
    EXPECT_EQ(veltrane.SystemTray()->RefCount(), 1u);
  }

  platform::Handle hidden = 0;
  std::uint64_t cursorStep_ = 0;
};

TEST_F(Soak, AMillionTicksWithEverythingInterleavedHoldNothingMoreAndEndWithTheUsersButtons) {
  const long ticks = SoakTicks();
  const long block = std::max(1L, ticks / 10);
  std::mt19937 random(20030301);
  auto chance = [&](unsigned oneIn) { return random() % oneIn == 0; };

  bool userSwapped = true;   // the user keeps the buttons swapped
  desktop.mouse.swapped = userSwapped;
  veltrane.Start();
  hidden = Hidden();
  ExpectHoldingsAsAtStart(0);

  // The fake keeps no record during the run, except the messages its windows
  // received, which it may keep within a fixed capacity.
  desktop.log.enabled = false;
  desktop.keyboard.recordInjected = false;
  desktop.windows.delivered.reserve(4096);

  // A reading is mostly nothing, sometimes a held key, sometimes a fresh press.
  constexpr std::array<std::int16_t, 8> kReadings{0, 0, 0, 0, -32768, 1, kFresh, kFresh};
  std::array<std::int16_t, 5> reading{};
  bool ctrlWasDown = true;   // as the poller takes it before its first reading
  // How often each kind of event happened, to show the run mixed them all.
  enum Event { kOnArea, kOffAreas, kIconMessage, kHide, kTaskbarRestart, kSettingChange, kEvents };
  std::array<long, kEvents> events{};

  long wrongButtons = 0, wrongHover = 0, wrongShow = 0, firstWrongTick = -1;
  auto wrong = [&](long& counter, long tick) {
    if (counter++ == 0 && firstWrongTick < 0) firstWrongTick = tick;
  };
  std::vector<std::size_t> heap;   // bytes in use at the end of each block
  heap.reserve(static_cast<std::size_t>(ticks / block) + 1);

  for (long tick = 1; tick <= ticks; ++tick) {
    if (desktop.windows.delivered.size() > 4000) desktop.windows.delivered.clear();

    // Between two ticks, now and then, one thing happens.
    switch (random() % 64) {
      case 0: case 1: case 2: {   // the pointer moves onto a hot area
        const std::size_t area = random() % kHotAreas.size();
        desktop.mouse.cursor = NextCursor();
        desktop.window.Mouse(MouseAction::Move, At(kHotAreas[area]));
        ++events[kOnArea];
        if (Lit() != 1u << area) wrong(wrongHover, tick);
        break;
      }
      case 3: case 4: {           // the pointer moves off the areas, or rests
        if (chance(2)) desktop.mouse.cursor = NextCursor();
        desktop.window.Mouse(MouseAction::Move, {5, 300});  // bare surface
        ++events[kOffAreas];
        break;
      }
      case 5: {                   // a message from the icon
        static constexpr std::array<platform::LParam, 12> kMessages{
            512, 513, 514, 515, 516, 517, 518, 519, 520, 521, 511, 512 + 65536};
        const platform::LParam message = kMessages[random() % kMessages.size()];
        ASSERT_TRUE(desktop.IconMouse(hidden, static_cast<std::uint32_t>(message)));
        ++events[kIconMessage];
        if ((message == 514 || message == 517 || message == 520) && !desktop.window.visible)
          wrong(wrongShow, tick);
        break;
      }
      case 6:                     // hidden by the yellow dot or Minimize
        desktop.window.Click(At(chance(2) ? ControlId::minarea : ControlId::minbutarea));
        if (desktop.window.visible) wrong(wrongShow, tick);
        ++events[kHide];
        break;
      case 7:
        if (chance(200)) {
          desktop.RestartTaskbar();
          ++events[kTaskbarRestart];
        }
        break;
      case 8:
        if (chance(2000)) {       // the user changes the system setting
          userSwapped = !userSwapped;
          desktop.mouse.swapped = userSwapped;
          desktop.window.MouseButtonsChanged();
          ++events[kSettingChange];
        }
        break;
      default:
        break;
    }

    for (std::size_t k = 0; k < kKeys.size(); ++k) {
      reading[k] = kReadings[random() % kReadings.size()];
      desktop.keyboard.Pin(kKeys[k], reading[k]);
    }
    const bool pointerMoves = chance(4);
    if (pointerMoves) desktop.mouse.cursor = NextCursor();
    desktop.window.Tick();

    // A fresh Ctrl reading, or Ctrl gone down since the last tick, turns the
    // user's assignment for this tick only.
    const bool ctrlDown = (reading[4] & 0x8000) != 0;
    const bool ctrlPress = reading[4] == kFresh || (ctrlDown && !ctrlWasDown);
    ctrlWasDown = ctrlDown;
    if (desktop.mouse.swapped != (ctrlPress != userSwapped)) wrong(wrongButtons, tick);
    // A tick that sees the pointer moved leaves no highlight on.
    if (pointerMoves && Lit() != 0) wrong(wrongHover, tick);

    if (tick % block == 0) {
      ExpectHoldingsAsAtStart(tick);
      heap.push_back(HeapBytesInUse());
    }
  }

  for (long count : events) EXPECT_GT(count, 0);
  EXPECT_EQ(wrongButtons, 0) << "first wrong tick " << firstWrongTick;
  EXPECT_EQ(wrongHover, 0) << "first wrong tick " << firstWrongTick;
  EXPECT_EQ(wrongShow, 0) << "first wrong tick " << firstWrongTick;

  // The first block warms the heap up; after it, the bytes in use stay put.
  ASSERT_GE(heap.size(), 2u);
  std::string trace;
  for (std::size_t bytes : heap) trace += std::to_string(bytes) + " ";
  for (std::size_t i = 1; i < heap.size(); ++i)
    EXPECT_LE(heap[i], heap[0] + 256) << "bytes in use per block: " << trace;
  RecordProperty("heap_bytes_first_block", std::to_string(heap.front()));
  RecordProperty("heap_bytes_last_block", std::to_string(heap.back()));
  RecordProperty("taskbar_restarts", std::to_string(events[kTaskbarRestart]));
  RecordProperty("setting_changes", std::to_string(events[kSettingChange]));
  RecordProperty("icon_messages", std::to_string(events[kIconMessage]));

  // A last tick with Ctrl still freshly pressed, then the close request: the
  // user's own assignment is what stays.
  desktop.keyboard.Pin(platform::VK_CONTROL, kFresh);
  desktop.window.Tick();
  ASSERT_NE(desktop.mouse.swapped, userSwapped);
  desktop.window.CloseRequest();
  EXPECT_EQ(desktop.mouse.swapped, userSwapped);
  EXPECT_TRUE(desktop.windows.windows.empty());
  EXPECT_TRUE(desktop.windows.classes.empty());
  EXPECT_TRUE(desktop.shell.icons.empty());
  EXPECT_FALSE(desktop.window.ended);
}

}  // namespace
