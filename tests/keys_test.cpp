// The key loop of one tick: what it reads, in which order, and what it answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "fake/fake_desktop.h"
#include "keys/key_poller.h"

namespace {

using ::testing::ElementsAre;

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
    poller.RunKeyLoop(desktop, buttons);
  }
  // The injected strokes so far, as (vk, down).
  std::vector<std::pair<int, bool>> Strokes() const {
    std::vector<std::pair<int, bool>> out;
    for (const fake::InjectedKey& key : desktop.keyboard.injected) out.emplace_back(key.vk, !key.up());
    return out;
  }

  fake::FakeDesktop desktop;
  keys::ButtonAssignment buttons;
  keys::KeyPoller poller;
};

TEST_F(KeyLoop, IdleTickReadsFiveKeysInTableOrderAndEndsWithOneSwap) {
  Tick();
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("GetAsyncKeyState(124)", "GetAsyncKeyState(125)", "GetAsyncKeyState(126)",
                          "GetAsyncKeyState(92)", "GetAsyncKeyState(17)", "SwapMouseButton(0)"));
}

// Each answer is the physical key's stroke: its scan code and extended flag,
// which remote sessions and virtual machines go by.
TEST_F(KeyLoop, EachFreshPressIsAnsweredRightAfterItsOwnReadingAsThePhysicalKey) {
  TickWith(kFresh);
  EXPECT_THAT(desktop.log.Entries(),
              ElementsAre("GetAsyncKeyState(124)", "keybd_event(44,55,1,0)",
                          "keybd_event(44,55,3,0)", "GetAsyncKeyState(125)",
                          "keybd_event(145,70,0,0)", "keybd_event(145,70,2,0)",
                          "GetAsyncKeyState(126)", "keybd_event(19,69,0,0)",
                          "keybd_event(19,69,2,0)", "GetAsyncKeyState(92)",
                          "keybd_event(92,92,1,0)", "keybd_event(92,92,3,0)",
                          "GetAsyncKeyState(17)", "SwapMouseButton(1)"));
}

// A press is the platform's fresh reading (0x8001), or a key read down whose
// previous reading was not down; a key down before the first reading counts
// as down.
TEST_F(KeyLoop, AFreshReadingOrAKeyGoneDownSinceItsLastReadingIsAPress) {
  const std::vector<std::pair<std::int16_t, bool>> ticks{
      {kHeld, false},          {kHeld, false},   {0, false},
      {kHeld, true},           {kHeld, false},   {kFresh, true},
      {kFresh, true},          {kPressedBetween, false},
      {std::int16_t{-1}, true}, {std::int16_t{0x7FFF}, false},
      {std::int16_t{-32766}, true}};
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const auto [reading, press] = ticks[i];
    TickWith(reading);
    EXPECT_EQ(desktop.log.Only({"keybd_event"}).size(), press ? 8u : 0u) << "tick " << i;
    EXPECT_EQ(desktop.log.Entries().back(), press ? "SwapMouseButton(1)" : "SwapMouseButton(0)")
        << "tick " << i;
  }
}

TEST_F(KeyLoop, SeveralPressesAreAnsweredInTableOrderWhateverTheirOrder) {
  // F15 pressed before F13: the answers still follow the table.
  desktop.keyboard.Press(126);
  desktop.keyboard.Press(124);
  Tick();
  EXPECT_THAT(Strokes(), ElementsAre(std::pair(44, true), std::pair(44, false),
                                     std::pair(19, true), std::pair(19, false)));
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
  EXPECT_THAT(Strokes(), ElementsAre(std::pair(44, false), std::pair(145, true),
                                     std::pair(145, false)));
  EXPECT_EQ(desktop.log.Only({"GetAsyncKeyState"}).size(), 5u);
  EXPECT_EQ(desktop.log.Entries().back(), "SwapMouseButton(0)");
}

TEST_F(KeyLoop, AFailedReadingCountsAsNoPressAndForgetsNothing) {
  desktop.keyboard.Press(17);
  desktop.faults.Inject("GetAsyncKeyState", fake::Fault::Raise);
  Tick();
  EXPECT_THAT(desktop.log.Only({"keybd_event", "SwapMouseButton"}),
              ElementsAre("SwapMouseButton(0)"));
  desktop.faults.Clear();
  desktop.faults.Inject("SwapMouseButton", fake::Fault::Raise);
  Tick();  // the swap itself fails: the tick still completes
  EXPECT_EQ(desktop.log.Only({"GetAsyncKeyState"}).size(), 5u);
  // A held key whose reading failed in between is not pressed again.
  desktop.faults.Clear();
  desktop.keyboard.Press(124);
  Tick();
  desktop.faults.Inject("GetAsyncKeyState", fake::Fault::Raise, 1);
  Tick();
  Tick();
  EXPECT_THAT(Strokes(), ElementsAre(std::pair(44, true), std::pair(44, false)));
}

// How a press reaches the poller: with the platform's pressed-since-query
// bit, without it (Wine never sets it for Ctrl), or with another program
// reading the same key first and taking it.
enum class PressedBit { Reported, Withheld, TakenByAnotherReader };

class KeysAsPressed : public KeyLoop, public ::testing::WithParamInterface<PressedBit> {
 protected:
  void SetUp() override {
    if (GetParam() == PressedBit::Withheld)
      for (std::int32_t vk : {124, 125, 126, 92, 17}) desktop.keyboard.WithholdPressedBit(vk);
  }
  void Press(std::int32_t vk) {
    desktop.keyboard.Press(vk);
    if (GetParam() == PressedBit::TakenByAnotherReader) desktop.keyboard.Query(vk);
  }
  void Release(std::int32_t vk) {
    desktop.keyboard.Release(vk);
    if (GetParam() == PressedBit::TakenByAnotherReader) desktop.keyboard.Query(vk);
  }
};

TEST_P(KeysAsPressed, APressIsAnsweredOnceHeldOrNotAndATapBetweenTicksNever) {
  Tick();
  Press(124);
  Tick();
  Tick();
  Tick();
  Release(124);
  Tick();
  Press(125);  // pressed and released between two ticks
  Release(125);
  Tick();
  Press(124);
  Tick();
  EXPECT_THAT(Strokes(), ElementsAre(std::pair(44, true), std::pair(44, false),
                                     std::pair(44, true), std::pair(44, false)));
}

TEST_P(KeysAsPressed, AKeyHeldBeforeTheFirstTickWaitsForItsNextPress) {
  Press(126);
  Tick();
  Tick();
  // Only the platform's own fresh reading answers it at once.
  EXPECT_EQ(desktop.keyboard.injected.size(), GetParam() == PressedBit::Reported ? 2u : 0u);
  desktop.keyboard.injected.clear();
  Release(126);
  Tick();
  Press(126);
  Tick();
  EXPECT_THAT(Strokes(), ElementsAre(std::pair(19, true), std::pair(19, false)));
}

TEST_P(KeysAsPressed, TheRightWindowsKeyDoesNotAnswerItsOwnInjection) {
  Tick();
  Press(92);
  Tick();
  ASSERT_THAT(Strokes(), ElementsAre(std::pair(92, true), std::pair(92, false)));
  // The injected release leaves the key reading not down while the user
  // still holds it: no tick after takes that for a press.
  for (int tick = 0; tick < 3; ++tick) {
    Tick();
    EXPECT_EQ(desktop.keyboard.injected.size(), 2u) << "tick " << tick;
  }
  Release(92);
  Tick();
  EXPECT_EQ(desktop.keyboard.injected.size(), 2u);
}

TEST_P(KeysAsPressed, CtrlSwapsTheButtonsForOneTickOnly) {
  Tick();
  for (int press = 0; press < 2; ++press) {
    Press(17);
    Tick();
    EXPECT_TRUE(desktop.mouse.swapped) << "press " << press;
    Tick();  // still held
    EXPECT_FALSE(desktop.mouse.swapped) << "press " << press;
    Release(17);
    Tick();
    EXPECT_FALSE(desktop.mouse.swapped) << "press " << press;
  }
  EXPECT_THAT(desktop.mouse.swapHistory,
              ElementsAre(false, true, false, false, true, false, false));
}

INSTANTIATE_TEST_SUITE_P(Ways, KeysAsPressed,
                         ::testing::Values(PressedBit::Reported, PressedBit::Withheld,
                                           PressedBit::TakenByAnotherReader),
                         [](const auto& info) {
                           switch (info.param) {
                             case PressedBit::Reported: return "Reported";
                             case PressedBit::Withheld: return "Withheld";
                             default: return "TakenByAnotherReader";
                           }
                         });

}  // namespace
