// Fuzzes the tray object's tip and icon handle and the 88-byte call form the
// notification area receives, under a double-byte ANSI code page. The tip
// field must always hold 64 characters with its terminator inside; the call
// form must keep its six fields and place every character whole: the text
// part is the longest run of leading characters whose bytes fit ahead of the
// terminator, and no lead byte is ever left without its trail byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fake/fake_desktop.h"
#include "fuzz_check.h"
#include "tray/clsInTray.h"
#include "tray/modInTray.h"

namespace {

constexpr std::size_t kTipAt = 24;
constexpr std::size_t kTipBytes = 64;

// A code page shaped like the Japanese one: ASCII, half-width katakana as
// single bytes A1..DF, and ideographs as a lead byte 81..9F followed by a
// trail byte 40..FC (7F excluded). Anything else is not in the page.
constexpr char16_t kFirstIdeograph = 0x4E00;
constexpr char16_t kIdeographs = 200;

std::map<char16_t, std::string> DoubleByteCodePage() {
  std::map<char16_t, std::string> page;
  for (char16_t ch = 0xFF61; ch <= 0xFF9F; ++ch)
    page[ch] = std::string(1, static_cast<char>(0xA1 + (ch - 0xFF61)));
  for (char16_t i = 0; i < kIdeographs; ++i) {
    const int trail = 0x40 + i % 0xBC;
    const char lead = static_cast<char>(0x81 + i / 0xBC);
    page[static_cast<char16_t>(kFirstIdeograph + i)] = {
        lead, static_cast<char>(trail >= 0x7F ? trail + 1 : trail)};
  }
  return page;
}

bool IsLeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

char16_t PickChar(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return 0;
    case 1: return static_cast<char16_t>(0xFF61 + in.ConsumeIntegralInRange(0, 0x3E));
    case 2:
    case 3:
      return static_cast<char16_t>(kFirstIdeograph +
                                   in.ConsumeIntegralInRange(0, kIdeographs - 1));
    case 4: return in.ConsumeIntegral<char16_t>();  // mostly outside the page, surrogates too
    default: return static_cast<char16_t>(in.ConsumeIntegralInRange(1, 0x7F));
  }
}

class Run {
 public:
  explicit Run(bool conversionFails) : conversionFails_(conversionFails) {
    desktop_.shell.ansiCodePage = DoubleByteCodePage();
    if (conversionFails) desktop_.faults.Inject("WideCharToMultiByte", fake::Fault::FailResult);
    tray::SetUntrappedErrorHandler([](const std::exception&) {});
    obj_ = tray::clsInTray::Create(desktop_);
    CheckField(u"", "a new object");
    obj_->AddIcon();
  }
  ~Run() { tray::SetUntrappedErrorHandler(nullptr); }

  void Step(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) {
      const auto handle = in.ConsumeIntegral<platform::Handle>();
      obj_->hIcon(handle);
      hIcon_ = static_cast<std::uint32_t>(handle);
      // The 32 bits kept come back sign-extended.
      const auto back = static_cast<platform::Handle>(static_cast<std::intptr_t>(
          static_cast<std::int32_t>(hIcon_)));
      FUZZ_CHECK(obj_->hIcon() == back, "hIcon read back differs");
    }
    std::u16string text;
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 90);
    for (std::size_t i = 0; i < length && in.remaining_bytes() > 0; ++i) text += PickChar(in);
    obj_->Tip(text);
    CheckField(text, "Tip");

    const std::size_t calls = desktop_.log.Only({"Shell_NotifyIconA"}).size();
    obj_->ModifyIcon();
    FUZZ_CHECK(desktop_.log.Only({"Shell_NotifyIconA"}).size() == calls + 1, "one call expected");
    const fake::TrayIcon* icon = desktop_.shell.Icon(obj_->WindowHandle());
    FUZZ_CHECK(icon != nullptr, "the icon is gone");
    CheckCallForm(icon->record);
    FUZZ_CHECK(obj_->RefCount() == 1, "reference count %u", obj_->RefCount());
  }

 private:
  // The text cut to 63 characters, a NUL, then spaces to the 64th.
  void CheckField(const std::u16string& text, const char* when) {
    const std::u16string field = obj_->Tip();
    FUZZ_CHECK(field.size() == tray::kTipLength, "%s: field of %zu characters", when, field.size());
    const std::size_t kept = std::min<std::size_t>(text.size(), 63);
    FUZZ_CHECK(field.compare(0, kept, text, 0, kept) == 0, "%s: text not kept", when);
    FUZZ_CHECK(field[kept] == u'\0', "%s: no terminator at %zu", when, kept);
    for (std::size_t i = kept + 1; i < field.size(); ++i)
      FUZZ_CHECK(field[i] == u' ', "%s: padding broken at %zu", when, i);
  }

  std::string Bytes(char16_t ch) const {
    if (ch < 0x80) return std::string(1, static_cast<char>(ch));
    if (conversionFails_) return "?";
    const auto it = desktop_.shell.ansiCodePage.find(ch);
    return it == desktop_.shell.ansiCodePage.end() ? "?" : it->second;
  }

  void CheckCallForm(const platform::NotifyIconDataA& form) {
    static_assert(sizeof form.bytes == 88);
    const fake::CallFormFields f = fake::ReadCallForm(form);
    FUZZ_CHECK(f.cbSize == 88, "cbSize %u", f.cbSize);
    FUZZ_CHECK(f.hWnd == static_cast<std::uint32_t>(obj_->WindowHandle()), "hWnd");
    FUZZ_CHECK(f.uID == 0, "uID %u", f.uID);
    FUZZ_CHECK(f.uFlags == 7, "uFlags %u", f.uFlags);
    FUZZ_CHECK(f.uCallbackMessage == tray::WM_TRAYICON, "uCallbackMessage %u", f.uCallbackMessage);
    FUZZ_CHECK(f.hIcon == hIcon_, "hIcon %08x, expected %08x", f.hIcon, hIcon_);

    const std::string tip(form.bytes.begin() + kTipAt, form.bytes.end());
    FUZZ_CHECK(tip.size() == kTipBytes, "tip of %zu bytes", tip.size());
    const std::size_t terminator = tip.find('\0');
    FUZZ_CHECK(terminator != std::string::npos, "no terminator in the tip bytes");

    // Whole characters only: walking the bytes ahead of the terminator, a
    // lead byte always has its trail byte there too.
    for (std::size_t i = 0; i < terminator; ++i) {
      if (!IsLeadByte(static_cast<std::uint8_t>(tip[i]))) continue;
      FUZZ_CHECK(i + 1 < terminator, "lead byte at %zu split from its trail byte", i);
      ++i;
    }

    // The text part: the longest prefix of the field's text whose bytes fit in 63.
    const std::u16string field = obj_->Tip();
    std::string text;
    std::size_t next = 0;
    for (; field[next] != u'\0'; ++next) {
      const std::string b = Bytes(field[next]);
      if (text.size() + b.size() > kTipBytes - 1) break;
      text += b;
    }
    FUZZ_CHECK(tip.compare(0, terminator, text) == 0,
               "text part of %zu bytes, expected %zu", terminator, text.size());

    // After the terminator: whole characters of the rest of the field while
    // they fit, then zero bytes.
    while (field[next] != u'\0') ++next;
    std::string after;
    for (std::size_t i = next + 1; i < field.size(); ++i) {
      const std::string b = Bytes(field[i]);
      if (terminator + 1 + after.size() + b.size() > kTipBytes) break;
      after += b;
    }
    after.resize(kTipBytes - terminator - 1, '\0');
    FUZZ_CHECK(tip.compare(terminator + 1, std::string::npos, after) == 0,
               "bytes after the terminator differ");
  }

  bool conversionFails_;
  fake::FakeDesktop desktop_;
  tray::InTrayRef obj_;
  std::uint32_t hIcon_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Run run(in.ConsumeIntegralInRange(0, 15) == 0);
  for (int steps = 0; steps < 16 && in.remaining_bytes() > 0; ++steps) run.Step(in);
  return 0;
}
