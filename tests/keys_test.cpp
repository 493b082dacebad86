// The key loop of one tick: what it reads, in which order, and what it answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake/fake_desktop.h"
#include "keys/key_poller.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr std::int16_t kFresh = -32767;        // 0x8001
constexpr std::int16_t kHeld = -32768;         // 0x8000
constexpr std::int16_t kPressedBetween = 1;    // 0x0001

class KeyLoop : public ::testing::Test {
 protected:
  // Tick with the same reading for F13, F14, F15, right Windows and Ctrl.
  void TickWith(std::int16_t reading) {
    for (std::int32_t vk : {124, 125, 126, 92, 17}) desktop.keyboard.Script(vk, {reading});
    Tick();
  }
  void Tick() {
    desktop.log.Clear();
    keys::RunKeyLoop(desktop, buttons);
  }

  fake::FakeDesktop desktop;
  keys::ButtonAssignment buttons;
};

TEST_F(KeyLoop, IdleTickReadsFiveKeysInTableOrderAndEndsWithOneSwap) {
  Tick();
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("GetAsyncKeyState(124)", "GetAsyncKeyState(125)", "GetAsyncKeyState(126)",
                          "GetAsyncKeyState(92)", "GetAsyncKeyState(17)", "SwapMouseButton(0)"));
}

TEST_F(KeyLoop, EachFreshPressIsAnsweredRightAfterItsOwnReading) {
  TickWith(kFresh);
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("GetAsyncKeyState(124)", "keybd_event(44,0,0,0)", "keybd_event(44,0,2,0)",
                          "GetAsyncKeyState(125)", "keybd_event(145,0,0,0)",
                          "keybd_event(145,0,2,0)", "GetAsyncKeyState(126)",
                          "keybd_event(19,0,0,0)", "keybd_event(19,0,2,0)",
                          "GetAsyncKeyState(92)", "keybd_event(92,0,0,0)", "keybd_event(92,0,2,0)",
                          "GetAsyncKeyState(17)", "SwapMouseButton(1)"));
}

TEST_F(KeyLoop, OnlyTheExactFreshPressReadingMatches) {
  for (std::int16_t reading : {kHeld, kPressedBetween, std::int16_t{0}, std::int16_t{-1},
                               std::int16_t{0x7FFF}, std::int16_t{-32766}}) {
    TickWith(reading);
    EXPECT_THAT(desktop.log.Only({"keybd_event", "SwapMouseButton"}),
                ElementsAre("SwapMouseButton(0)"))
        << "reading " << reading;
  }
}

TEST_F(KeyLoop, SeveralPressesAreAnsweredInTableOrderWhateverTheirOrder) {
  // F15 pressed before F13: the answers still follow the table.
  desktop.keyboard.Press(126);
  desktop.keyboard.Press(124);
  Tick();
  EXPECT_THAT(desktop.keyboard.injected,
              ElementsAre(fake::InjectedKey{44, false}, fake::InjectedKey{44, true},
                          fake::InjectedKey{19, false}, fake::InjectedKey{19, true}));
}

TEST_F(KeyLoop, AHeldKeyAnswersOnceAndAnAutoRepeatAgain) {
  desktop.keyboard.Press(124);
  Tick();
  Tick();
  Tick();
  EXPECT_EQ(desktop.keyboard.injected.size(), 2u);
  desktop.keyboard.Press(124);  // the platform reports a repeat
  Tick();
  EXPECT_EQ(desktop.keyboard.injected.size(), 4u);
}

TEST_F(KeyLoop, ARightWindowsPressIsAnsweredOnceNotByItsOwnInjection) {
  desktop.keyboard.Press(92);
  Tick();
  ASSERT_THAT(desktop.keyboard.injected,
              ElementsAre(fake::InjectedKey{92, false}, fake::InjectedKey{92, true}));
  // The injected release left the key up; the next reading is 0x0001.
  EXPECT_EQ(desktop.keyboard.Query(92), kPressedBetween);
  Tick();
  Tick();
  EXPECT_EQ(desktop.keyboard.injected.size(), 2u);
}

TEST_F(KeyLoop, CtrlSwapsTheButtonsForOneTickOnly) {
  desktop.keyboard.Press(17);
  Tick();
  EXPECT_TRUE(desktop.mouse.swapped);
  Tick();  // still held: 0x8000
  EXPECT_FALSE(desktop.mouse.swapped);
  desktop.keyboard.Release(17);
  Tick();
  EXPECT_FALSE(desktop.mouse.swapped);
}

TEST_F(KeyLoop, ALeftHandedUserKeepsTheirAssignmentAndCtrlTurnsItAround) {
  desktop.mouse.swapped = true;
  buttons.ReadUserSetting(desktop, desktop);
  Tick();
  EXPECT_THAT(desktop.log.Only({"SwapMouseButton"}), ElementsAre("SwapMouseButton(1)"));
  EXPECT_TRUE(desktop.mouse.swapped);
  desktop.keyboard.Press(17);
  Tick();
  EXPECT_THAT(desktop.log.Only({"SwapMouseButton"}), ElementsAre("SwapMouseButton(0)"));
  Tick();
  EXPECT_TRUE(desktop.mouse.swapped);
}

TEST_F(KeyLoop, AFailingStepIsSkippedAndTheLoopGoesOn) {
  desktop.keyboard.Press(124);
  desktop.keyboard.Press(125);
  desktop.faults.Inject("keybd_event", fake::Fault::Raise, 1);  // the F13 press
  Tick();
  // The release of the same pair and the other keys still run.
  EXPECT_THAT(desktop.keyboard.injected,
              ElementsAre(fake::InjectedKey{44, true}, fake::InjectedKey{145, false},
                          fake::InjectedKey{145, true}));
  EXPECT_EQ(desktop.log.Only({"GetAsyncKeyState"}).size(), 5u);
  EXPECT_EQ(desktop.log.Entries().back(), "SwapMouseButton(0)");
}

TEST_F(KeyLoop, AFailedReadingCountsAsNoPress) {
  desktop.keyboard.Press(17);
  desktop.faults.Inject("GetAsyncKeyState", fake::Fault::Raise);
  Tick();
  EXPECT_THAT(desktop.log.Only({"keybd_event", "SwapMouseButton"}),
              ElementsAre("SwapMouseButton(0)"));
  desktop.faults.Clear();
  desktop.faults.Inject("SwapMouseButton", fake::Fault::Raise);
  Tick();  // the swap itself fails: the tick still completes
  EXPECT_EQ(desktop.log.Only({"GetAsyncKeyState"}).size(), 5u);
}

}  // namespace
