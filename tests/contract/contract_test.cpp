// What the program's decisions rest on in the Win32 surface, checked against
// whichever desktop this build has: the fake desktop in the unit suite, the
// real surface (under Wine) in the Windows build. A check that fails only on
// one side is a place where the fake and Windows disagree.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "contract/subject.h"
#include "platform/constants.h"
#include "tray/clsInTray.h"

namespace {

using contract::Pixels;
using platform::Handle;

constexpr auto kDown = static_cast<std::int16_t>(0x8000);
constexpr auto kFreshPress = static_cast<std::int16_t>(0x8001);
constexpr std::int16_t kPressedSinceQuery = 0x0001;

constexpr std::int32_t kNullRegion = 1;
constexpr std::int32_t kSimpleRegion = 2;
constexpr std::int32_t kComplexRegion = 3;
constexpr std::int32_t kRgnError = 0;
constexpr std::int32_t kRgnAnd = 1;

class Contract : public ::testing::Test {
 protected:
  std::unique_ptr<contract::Subject> subject = contract::MakeSubject();
  platform::Win32& os = subject->Surface();
};

// --- Keys --------------------------------------------------------------------

// Readings of `vk` around injected strokes: after a press (twice), after the
// release, after a press and release between two readings (twice).
std::vector<std::int16_t> StrokeReadings(contract::Subject& subject, std::int32_t vk) {
  platform::Win32& os = subject.Surface();
  const auto key = static_cast<std::uint8_t>(vk);
  subject.Window();
  subject.Settle();
  os.GetAsyncKeyState(vk);  // drops a press left over from before
  std::vector<std::int16_t> readings;
  os.keybd_event(key, 0, 0, 0);
  subject.Settle();
  readings.push_back(os.GetAsyncKeyState(vk));
  readings.push_back(os.GetAsyncKeyState(vk));
  os.keybd_event(key, 0, platform::KEYEVENTF_KEYUP, 0);
  subject.Settle();
  readings.push_back(os.GetAsyncKeyState(vk));
  os.keybd_event(key, 0, 0, 0);
  os.keybd_event(key, 0, platform::KEYEVENTF_KEYUP, 0);
  subject.Settle();
  readings.push_back(os.GetAsyncKeyState(vk));
  readings.push_back(os.GetAsyncKeyState(vk));
  return readings;
}

const std::vector<std::int16_t> kStrokeReadings{kFreshPress, kDown, 0, kPressedSinceQuery, 0};

TEST_F(Contract, InjectedKeyReadsFreshOnceThenDownThenPressedSinceQuery) {
  EXPECT_EQ(StrokeReadings(*subject, platform::VK_F13), kStrokeReadings);
}

// The program swaps the mouse buttons on a fresh Ctrl press. Windows keeps the
// generic Ctrl key's state like its left and right keys', pressed-since-query
// bit included; Wine sets that bit for VK_LCONTROL only (below).
TEST_F(Contract, InjectedCtrlReadsLikeAnyOtherKey) {
  const std::int32_t ctrl = subject->IsWine() ? 0xA2 /* VK_LCONTROL */ : platform::VK_CONTROL;
  EXPECT_EQ(StrokeReadings(*subject, ctrl), kStrokeReadings);
}

// Where the platform never sets a key's pressed-since-query bit, its readings
// still show the key going down: down while held, then not down.
TEST_F(Contract, AKeyWithoutThePressedBitStillReadsDownWhileHeld) {
  const std::int32_t vk = subject->KeyWithoutPressedBit();
  if (vk == 0) GTEST_SKIP() << "this desktop sets the pressed-since-query bit of every key";
  EXPECT_EQ(StrokeReadings(*subject, vk), (std::vector<std::int16_t>{kDown, kDown, 0, 0, 0}));
}

// The pressed-since-query bit belongs to the session: whichever reader asks
// first takes it, and the next reads the key as merely down.
TEST_F(Contract, AnotherReadersQueryTakesThePressedBit) {
  subject->Window();
  subject->Settle();
  os.GetAsyncKeyState(platform::VK_F14);  // drops a press left over from before
  os.keybd_event(platform::VK_F14, 0, 0, 0);
  subject->Settle();
  EXPECT_EQ(subject->AnotherReadersQuery(platform::VK_F14), kFreshPress);
  EXPECT_EQ(os.GetAsyncKeyState(platform::VK_F14), kDown);
  os.keybd_event(platform::VK_F14, 0, platform::KEYEVENTF_KEYUP, 0);
  subject->Settle();
  EXPECT_EQ(os.GetAsyncKeyState(platform::VK_F14), 0);
}

// --- Regions as pixel sets ---------------------------------------------------

// Bands of rows {y1, y2, x1, x2}, each row one run [x1, x2).
Pixels Rows(std::initializer_list<std::array<std::int32_t, 4>> bands) {
  Pixels pixels;
  for (const auto& band : bands)
    for (std::int32_t y = band[0]; y < band[1]; ++y) pixels[y] = {{band[2], band[3]}};
  return pixels;
}

TEST_F(Contract, RectangleRegionLeavesOutItsRightAndBottomEdges) {
  const Handle region = os.CreateRectRgn(2, 3, 7, 5);
  EXPECT_EQ(subject->RegionPixels(region), Rows({{3, 5, 2, 7}}));
  const Handle swapped = os.CreateRectRgn(7, 5, 2, 3);
  EXPECT_EQ(subject->RegionPixels(swapped), Rows({{3, 5, 2, 7}}));
  const Handle empty = os.CreateRectRgn(0, 0, 0, 0);
  EXPECT_TRUE(subject->RegionPixels(empty).empty());
  for (Handle h : {region, swapped, empty}) EXPECT_EQ(os.DeleteObject(h), 1);
}

struct RoundShape {
  const char* name;
  std::int32_t x1, y1, x2, y2, w, h;
};

// The two rounded pieces of the window's outline, as the outline passes them
// at 96 and at 120 pixels per inch.
const RoundShape kOutlineCorners[] = {
    {"top-left at 96", -12, -9, 84, 89, 72, 90},
    {"top-right at 96", 346, -13, 502, 103, 132, 34},
    {"top-left at 120", -15, -11, 105, 111, 90, 112},
    {"top-right at 120", 432, -16, 628, 129, 165, 42},
};

// Each rounded piece fills the rectangle less its right column and bottom
// row, rounded alike at the four corners.
TEST_F(Contract, RoundedRegionLeavesOutOneMoreColumnAndRowAndIsSymmetric) {
  for (const RoundShape& s : kOutlineCorners) {
    SCOPED_TRACE(s.name);
    const Handle region = os.CreateRoundRectRgn(s.x1, s.y1, s.x2, s.y2, s.w, s.h);
    const Pixels pixels = subject->RegionPixels(region);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels.begin()->first, s.y1);
    EXPECT_EQ(pixels.rbegin()->first, s.y2 - 2);
    const std::int32_t middle = (s.y1 + s.y2 - 1) / 2;
    EXPECT_EQ(pixels.at(middle), (std::vector<std::pair<std::int32_t, std::int32_t>>{
                                     {s.x1, s.x2 - 1}}));
    for (const auto& [y, runs] : pixels) {
      ASSERT_EQ(runs.size(), 1u) << "row " << y;
      // Mirrored left to right and top to bottom.
      EXPECT_EQ(runs[0].first - s.x1, s.x2 - 1 - runs[0].second) << "row " << y;
      const auto mirror = pixels.find(s.y1 + (s.y2 - 2 - y));
      ASSERT_NE(mirror, pixels.end()) << "row " << y;
      EXPECT_EQ(mirror->second, runs) << "row " << y;
    }
    EXPECT_EQ(os.DeleteObject(region), 1);
  }
}

// Where the rounding shows pixel by pixel: a 5 x 5 circle keeps the pixels
// whose centres lie inside; an ellipse too small to round leaves the plain
// rectangle, corners put in order, less the same right column and bottom row.
TEST_F(Contract, SmallRoundedRegionKeepsThePixelsWhoseCentresLieInside) {
  const Handle circle = os.CreateRoundRectRgn(0, 0, 5, 5, 5, 5);
  EXPECT_EQ(subject->RegionPixels(circle), Rows({{0, 1, 1, 3}, {1, 3, 0, 4}, {3, 4, 1, 3}}));
  const Handle square = os.CreateRoundRectRgn(4, 4, 0, 0, 0, 0);
  EXPECT_EQ(subject->RegionPixels(square), Rows({{0, 3, 0, 3}}));
  for (Handle h : {circle, square}) EXPECT_EQ(os.DeleteObject(h), 1);
}

struct OutlineCase {
  const char* name;
  RoundShape corners[2];
  std::int32_t rects[3][4];
  std::int32_t width, height;  // the window's
  Pixels expected;
};

// The window's outline as the program merges it (copy, then union) at 96 and
// 120 pixels per inch, within the window: the pixels a user sees.
TEST_F(Contract, OutlinePiecesMergeIntoTheWindowShape) {
  const OutlineCase cases[] = {
      {"96",
       {kOutlineCorners[0], kOutlineCorners[1]},
       {{60, 0, 416, 131}, {0, 49, 183, 328}, {151, 55, 501, 328}},
       502,
       328,
       Rows({{0, 1, 2, 500}, {1, 2, 1, 500}, {2, 328, 0, 501}})},
      {"120",
       {kOutlineCorners[2], kOutlineCorners[3]},
       {{75, 0, 520, 164}, {0, 61, 229, 410}, {189, 69, 626, 410}},
       628,
       410,
       Rows({{0, 1, 3, 625}, {1, 2, 2, 626}, {2, 3, 1, 626}, {3, 109, 0, 627},
             {109, 410, 0, 626}})},
  };
  for (const OutlineCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Handle> pieces;
    for (const RoundShape& s : c.corners)
      pieces.push_back(os.CreateRoundRectRgn(s.x1, s.y1, s.x2, s.y2, s.w, s.h));
    for (const auto& r : c.rects) pieces.push_back(os.CreateRectRgn(r[0], r[1], r[2], r[3]));
    const Handle outline = os.CreateRectRgn(0, 0, 0, 0);
    const Handle scratch = os.CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(os.CombineRgn(outline, pieces[0], pieces[0], platform::RGN_COPY), kComplexRegion);
    for (std::size_t i = 1; i < pieces.size(); ++i) {
      EXPECT_EQ(os.CombineRgn(scratch, outline, outline, platform::RGN_COPY), kComplexRegion);
      EXPECT_EQ(os.CombineRgn(outline, scratch, pieces[i], platform::RGN_OR), kComplexRegion);
    }
    const Handle window = os.CreateRectRgn(0, 0, c.width, c.height);
    EXPECT_EQ(os.CombineRgn(outline, outline, window, kRgnAnd), kComplexRegion);
    EXPECT_EQ(subject->RegionPixels(outline), c.expected);
    pieces.insert(pieces.end(), {outline, scratch, window});
    for (Handle h : pieces) EXPECT_EQ(os.DeleteObject(h), 1);
  }
}

TEST_F(Contract, CombineReportsWhatItMadeAndRefusesADeletedRegion) {
  const Handle a = os.CreateRectRgn(0, 0, 10, 10);
  const Handle b = os.CreateRectRgn(10, 0, 20, 10);
  const Handle dst = os.CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(os.CombineRgn(dst, a, a, platform::RGN_COPY), kSimpleRegion);
  EXPECT_EQ(os.CombineRgn(dst, a, b, platform::RGN_OR), kSimpleRegion);  // side by side
  EXPECT_EQ(subject->RegionPixels(dst), Rows({{0, 10, 0, 20}}));
  EXPECT_EQ(os.CombineRgn(dst, a, b, kRgnAnd), kNullRegion);
  EXPECT_TRUE(subject->RegionPixels(dst).empty());
  const Handle overlapping = os.CreateRectRgn(5, 5, 15, 15);
  EXPECT_EQ(os.CombineRgn(dst, a, overlapping, platform::RGN_OR), kComplexRegion);
  EXPECT_EQ(subject->RegionPixels(dst), Rows({{0, 5, 0, 10}, {5, 10, 0, 15}, {10, 15, 5, 15}}));
  EXPECT_EQ(os.DeleteObject(b), 1);
  EXPECT_EQ(os.CombineRgn(dst, a, b, platform::RGN_OR), kRgnError);
  EXPECT_EQ(os.DeleteObject(b), 0);
  for (Handle h : {a, overlapping, dst}) EXPECT_EQ(os.DeleteObject(h), 1);
}

// Once SetWindowRgn has taken a region, the handle is no longer the
// program's: it can be neither deleted nor combined, from or into, and the
// window keeps the pixels; a new region replaces it, and a null one removes the shape.
TEST_F(Contract, WindowTakesTheRegionItIsGiven) {
  const Handle window = subject->Window();
  const Handle first = os.CreateRectRgn(0, 0, 50, 40);
  ASSERT_NE(os.SetWindowRgn(window, first, 1), 0);
  EXPECT_EQ(subject->WindowRegionPixels(window), Rows({{0, 40, 0, 50}}));
  const Handle scratch = os.CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(os.CombineRgn(scratch, first, first, platform::RGN_COPY), kRgnError);
  EXPECT_EQ(os.CombineRgn(first, scratch, scratch, platform::RGN_COPY), kRgnError);
  EXPECT_EQ(os.DeleteObject(first), 0);
  EXPECT_EQ(subject->WindowRegionPixels(window), Rows({{0, 40, 0, 50}}));

  const Handle second = os.CreateRectRgn(5, 5, 30, 20);
  ASSERT_NE(os.SetWindowRgn(window, second, 1), 0);
  EXPECT_EQ(subject->WindowRegionPixels(window), Rows({{5, 20, 5, 30}}));
  EXPECT_EQ(os.DeleteObject(second), 0);
  ASSERT_NE(os.SetWindowRgn(window, 0, 1), 0);
  EXPECT_TRUE(subject->WindowRegionPixels(window).empty());
  EXPECT_EQ(os.DeleteObject(scratch), 1);
  // Two combinations and two deletions touched a taken region.
  if (subject->IsFake()) { EXPECT_EQ(subject->TakeMisuses(), 4u); }
}

TEST_F(Contract, RegionRefusedByANonWindowStaysTheCallers) {
  if (subject->IsFake())
    GTEST_SKIP() << "the fake lets any handle but 0 stand for a window, so that region tests "
                    "need not create one";
  const Handle region = os.CreateRectRgn(0, 0, 10, 10);
  EXPECT_EQ(os.SetWindowRgn(0x7FFFFFF0, region, 1), 0);
  EXPECT_EQ(subject->RegionPixels(region), Rows({{0, 10, 0, 10}}));
  EXPECT_EQ(os.DeleteObject(region), 1);
}

// --- Windows, classes, messages ---------------------------------------------

platform::Win32* gSurface = nullptr;
std::vector<std::array<std::uintptr_t, 3>> gHeard;  // window, wParam, lParam
std::uint32_t gListenFor = 0;
std::vector<std::uint32_t> gRefuserHeard;   // every message, in order

platform::LResult VELTRANE_CALLBACK DefaultProc(Handle hWnd, std::uint32_t uMsg,
                                                platform::WParam wParam, platform::LParam lParam) {
  if (gListenFor != 0 && uMsg == gListenFor)
    gHeard.push_back({hWnd, wParam, static_cast<std::uintptr_t>(lParam)});
  return gSurface->DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Refuses its window's creation at WM_CREATE.
platform::LResult VELTRANE_CALLBACK RefusingProc(Handle hWnd, std::uint32_t uMsg,
                                                 platform::WParam wParam, platform::LParam lParam) {
  gRefuserHeard.push_back(uMsg);
  if (uMsg == platform::WM_CREATE) return -1;
  return gSurface->DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// A class of the checks' own, by default with a procedure that hears gListenFor.
class ContractClass {
 public:
  static constexpr const char* kName = "Veltrane Contract Class";

  explicit ContractClass(platform::Win32& os, platform::WndProc proc = DefaultProc) : os_(os) {
    gSurface = &os;
    gHeard.clear();
    gRefuserHeard.clear();
    platform::WndClassA wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = os.GetModuleHandleA(nullptr);
    wc.lpszClassName = kName;
    atom_ = os.RegisterClassA(wc);
  }
  ~ContractClass() {
    os_.UnregisterClassA(kName, os_.GetModuleHandleA(nullptr));
    gListenFor = 0;
  }
  ContractClass(const ContractClass&) = delete;
  ContractClass& operator=(const ContractClass&) = delete;

  std::uint16_t Atom() const { return atom_; }
  // A hidden top-level window, made as the tray's hidden window is: no
  // instance named, the class found by its name.
  Handle NewWindow() {
    return os_.CreateWindowExA(0, kName, "contract", 0, 0, 0, 100, 100, 0, 0, 0, nullptr);
  }

 private:
  platform::Win32& os_;
  std::uint16_t atom_ = 0;
};

TEST_F(Contract, UserDataHoldsAPointerWhole) {
  const Handle window = subject->Window();
  std::string object = "held";
  const auto pointer = reinterpret_cast<std::intptr_t>(&object);
  // Every bit of the word set but the low sixteen: a sign or a top half lost shows.
  const auto wide = static_cast<std::intptr_t>(~std::uintptr_t{0xFFFF});
  EXPECT_EQ(os.SetWindowLongA(window, platform::GWL_USERDATA, pointer), 0);
  EXPECT_EQ(os.GetWindowLongA(window, platform::GWL_USERDATA), pointer);
  EXPECT_EQ(os.SetWindowLongA(window, platform::GWL_USERDATA, wide), pointer);
  EXPECT_EQ(os.GetWindowLongA(window, platform::GWL_USERDATA), wide);
  EXPECT_EQ(os.SetWindowLongA(window, platform::GWL_USERDATA, 0), wide);
}

TEST_F(Contract, ClassIsRegisteredOnceAndUnregisteredOnlyWithoutWindows) {
  ContractClass contractClass(os);
  EXPECT_NE(contractClass.Atom(), 0);
  const Handle instance = os.GetModuleHandleA(nullptr);
  platform::WndClassA wc;
  wc.lpfnWndProc = DefaultProc;
  wc.hInstance = instance;
  wc.lpszClassName = ContractClass::kName;
  EXPECT_EQ(os.RegisterClassA(wc), 0);
  wc.lpszClassName = "VELTRANE CONTRACT CLASS";  // names compare without case
  EXPECT_EQ(os.RegisterClassA(wc), 0);

  const Handle window = contractClass.NewWindow();
  ASSERT_NE(window, 0u);
  EXPECT_EQ(os.UnregisterClassA(ContractClass::kName, instance), 0);
  os.SendMessageA(window, platform::WM_CLOSE, 0, 0);  // the default procedure destroys it
  EXPECT_EQ(os.GetWindowLongA(window, platform::GWL_USERDATA), 0);
  EXPECT_NE(os.UnregisterClassA("veltrane contract class", instance), 0);
  EXPECT_EQ(os.UnregisterClassA(ContractClass::kName, instance), 0);
}

// A window refused at WM_CREATE hears its creation's messages and then only
// WM_NCDESTROY (no WM_DESTROY), all within CreateWindowExA, and leaves no
// window of its class.
TEST_F(Contract, WindowRefusedAtCreationHearsItsCreationThenItsEnd) {
  ContractClass contractClass(os, RefusingProc);
  EXPECT_EQ(contractClass.NewWindow(), 0u);
  EXPECT_EQ(gRefuserHeard, (std::vector<std::uint32_t>{
                               0x0024 /* WM_GETMINMAXINFO */, platform::WM_NCCREATE,
                               0x0083 /* WM_NCCALCSIZE */, platform::WM_CREATE,
                               0x0082 /* WM_NCDESTROY */}));
  EXPECT_NE(os.UnregisterClassA(ContractClass::kName, os.GetModuleHandleA(nullptr)), 0);
}

// The shell announces its restart with a broadcast of a registered message;
// the tray's hidden window must hear it, and a child window must not.
TEST_F(Contract, BroadcastReachesAHiddenTopLevelWindowOnce) {
  ContractClass contractClass(os);
  const Handle window = contractClass.NewWindow();
  ASSERT_NE(window, 0u);
  constexpr std::uint32_t kChild = 0x40000000;  // WS_CHILD
  const Handle child = os.CreateWindowExA(0, ContractClass::kName, "child", kChild, 0, 0, 10, 10,
                                          window, 0, 0, nullptr);
  ASSERT_NE(child, 0u);
  gListenFor = os.RegisterWindowMessageA("Veltrane contract broadcast");
  constexpr Handle kBroadcast = 0xFFFF;  // HWND_BROADCAST
  os.SendMessageA(kBroadcast, gListenFor, 7, 9);
  EXPECT_EQ(gHeard, (std::vector<std::array<std::uintptr_t, 3>>{{window, 7, 9}}));
  for (Handle h : {child, window}) os.SendMessageA(h, platform::WM_CLOSE, 0, 0);
}

TEST_F(Contract, RegisteredMessageIsOneNumberPerName) {
  const std::uint32_t created = os.RegisterWindowMessageA("TaskbarCreated");
  EXPECT_GE(created, 0xC000u);
  EXPECT_LE(created, 0xFFFFu);
  EXPECT_EQ(os.RegisterWindowMessageA("TaskbarCreated"), created);
  EXPECT_EQ(os.RegisterWindowMessageA("taskbarcreated"), created);
  const std::uint32_t other = os.RegisterWindowMessageA("Veltrane contract message");
  EXPECT_GE(other, 0xC000u);
  EXPECT_NE(other, created);
}

// --- Named objects of the session -------------------------------------------

// A start of the program learns from the session's name whether a copy runs:
// a second creation of the name reports that it exists, and once the process
// that held it has ended, however it ended, the name is free again.
TEST_F(Contract, ANamedMutexExistsWhileAnotherProcessHoldsItAndIsFreeOnceThatEnds) {
  constexpr char kName[] = "Local\\Veltrane contract name";
  subject->HoldNameInAnotherProcess(kName);
  const Handle opened = os.CreateMutexA(nullptr, 0, kName);
  const std::uint32_t existed = os.GetLastError();
  ASSERT_NE(opened, 0u);
  EXPECT_EQ(existed, platform::ERROR_ALREADY_EXISTS);
  EXPECT_NE(os.CloseHandle(opened), 0);

  subject->EndOtherProcess();
  const Handle made = os.CreateMutexA(nullptr, 0, kName);
  const std::uint32_t error = os.GetLastError();
  ASSERT_NE(made, 0u);
  EXPECT_NE(error, platform::ERROR_ALREADY_EXISTS);
  EXPECT_NE(os.CloseHandle(made), 0);
  EXPECT_EQ(os.CloseHandle(made), 0);   // a handle closed is no handle
}

// --- Text in the ANSI code page, as the tip converts it ----------------------

// One character as the tip converts it: into at most two bytes, no default
// character given.
std::string ToAnsi(platform::Win32& os, std::uint32_t codePage, char16_t ch,
                   std::int32_t room = 2) {
  char out[2] = {};
  const std::int32_t n = os.WideCharToMultiByte(codePage, 0, &ch, 1, out, room, nullptr, nullptr);
  return std::string(out, static_cast<std::size_t>(n < 0 ? 0 : n));
}

TEST_F(Contract, WesternCodePageConvertsTheTipsCharacters) {
  if (subject->AnsiCodePage() != 1252)
    GTEST_SKIP() << "the system's ANSI code page is " << subject->AnsiCodePage() << ", not 1252";
  for (std::uint32_t codePage : {0u, 1252u}) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(ToAnsi(os, codePage, u'\u00e9'), "\xe9");
    EXPECT_EQ(ToAnsi(os, codePage, u'\u20ac'), "\x80");
    EXPECT_EQ(ToAnsi(os, codePage, u'\u2019'), "\x92");  // the typographic apostrophe
    EXPECT_EQ(ToAnsi(os, codePage, u'\u0153'), "\x9c");
    EXPECT_EQ(ToAnsi(os, codePage, u'\u4e00'), "?");  // not in the page: the default character
  }
  // Asked for the size it needs, it answers without writing.
  const char16_t text[] = u"Caf\u00e9";
  EXPECT_EQ(os.WideCharToMultiByte(0, 0, text, 4, nullptr, 0, nullptr, nullptr), 4);
}

// Without WC_NO_BEST_FIT_CHARS, Windows gives a letter outside the page its
// nearest letter in the page rather than the default character.
TEST_F(Contract, WesternCodePageGivesALetterOutsideItsBestFit) {
  if (subject->IsFake())
    GTEST_SKIP() << "the fake does not model the best-fit table and gives '?': no tip test "
                    "uses such a letter";
  if (subject->AnsiCodePage() != 1252)
    GTEST_SKIP() << "the system's ANSI code page is " << subject->AnsiCodePage() << ", not 1252";
  EXPECT_EQ(ToAnsi(os, 0, u'\u0100'), "A");
  EXPECT_EQ(ToAnsi(os, 0, u'\u0141'), "L");
}

TEST_F(Contract, DoubleByteCodePageGivesTwoBytesOrNone) {
  subject->UseCodePage(932);
  EXPECT_EQ(ToAnsi(os, 932, u'\u65e5'), "\x93\xfa");
  EXPECT_EQ(ToAnsi(os, 932, u'a'), "a");
  // No room for both bytes: nothing, rather than half a character.
  EXPECT_EQ(ToAnsi(os, 932, u'\u65e5', 1), "");
}

// --- The notification area ---------------------------------------------------

TEST_F(Contract, NotificationAreaAnswersAddModifyDeleteOnce) {
  tray::NotifyIconRecord record;
  record.hWnd = static_cast<std::uint32_t>(subject->Window());
  record.hIcon = static_cast<std::uint32_t>(subject->Icon());
  record.szTip = tray::TipField(u"Veltrane contract");
  const platform::NotifyIconDataA form = tray::CallForm(record, os);
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_ADD, form), 1);
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_ADD, form), 0);  // there already
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_MODIFY, form), 1);
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_DELETE, form), 1);
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_DELETE, form), 0);
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_MODIFY, form), 0);
}

// The tray object closes its window before it deletes its icon: the shell
// finds the icon by the record's window and id, though the window is gone.
TEST_F(Contract, IconOfAClosedWindowIsStillDeletedByItsRecord) {
  ContractClass contractClass(os);
  tray::NotifyIconRecord record;
  record.hWnd = static_cast<std::uint32_t>(contractClass.NewWindow());
  record.hIcon = static_cast<std::uint32_t>(subject->Icon());
  const platform::NotifyIconDataA form = tray::CallForm(record, os);
  ASSERT_EQ(os.Shell_NotifyIconA(platform::NIM_ADD, form), 1);
  os.SendMessageA(record.hWnd, platform::WM_CLOSE, 0, 0);
  // Wine's deviation: its notification area drops an icon soon after the
  // icon's window is destroyed (so a deletion that comes late finds nothing).
  // Windows keeps the icon until it is deleted or the pointer passes over it.
  if (subject->IsWine()) subject->Settle();
  EXPECT_EQ(os.Shell_NotifyIconA(platform::NIM_DELETE, form), subject->IsWine() ? 0 : 1);
}

// --- Pointer capture ---------------------------------------------------------

// The main window takes the capture at a press, so that the release is its
// own wherever it happens: no press is left pending by a release elsewhere.
TEST_F(Contract, CaptureSendsTheReleaseToItsHolderWhereverItIsAndTellsTheLoser) {
  using contract::Received;
  const Handle mine = subject->Window();
  const auto point = [](std::int32_t x, std::int32_t y) {
    return static_cast<platform::LParam>(static_cast<std::uint32_t>(y) << 16 |
                                         static_cast<std::uint32_t>(x));
  };
  const Received down{mine, platform::WM_LBUTTONDOWN, point(20, 30)};
  subject->Settle();
  subject->TakeReceived();
  // Without the capture, a release away from the window (at 250, 170) is not the window's.
  subject->PrimaryButton({30, 40}, true);
  subject->PrimaryButton({250, 170}, false);
  EXPECT_EQ(subject->TakeReceived(), (std::vector<Received>{down}));
  // With it, the window gets the release, at a point outside its client area.
  subject->PrimaryButton({30, 40}, true);
  EXPECT_EQ(os.SetCapture(mine), 0u);
  subject->PrimaryButton({250, 170}, false);
  // Another window taking it, and a release, each tell the window that loses it.
  ContractClass contractClass(os);
  const Handle other = contractClass.NewWindow();
  gListenFor = platform::WM_CAPTURECHANGED;
  EXPECT_EQ(os.SetCapture(other), mine);
  EXPECT_NE(os.ReleaseCapture(), 0);
  EXPECT_EQ(subject->TakeReceived(),
            (std::vector<Received>{down, {mine, platform::WM_LBUTTONUP, point(240, 160)},
                                   {mine, platform::WM_CAPTURECHANGED,
                                    static_cast<platform::LParam>(other)}}));
  EXPECT_EQ(gHeard, (std::vector<std::array<std::uintptr_t, 3>>{{other, 0, 0}}));
}

}  // namespace
