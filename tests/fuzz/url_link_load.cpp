// Fuzzes the hyperlink control's loading from a text property store, the
// store's decoding and the boolean conversion behind ShowToolTip. Loading must
// never throw out of the control and must leave either the stored values or
// those of a new instance, with the label agreeing; what a loaded control
// saves must load back the same, and saving it again must give the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "controls/property_value.h"
#include "controls/text_property_store.h"
#include "controls/url_link.h"
#include "fake/fake_desktop.h"
#include "fake/fake_url_host.h"
#include "fuzz_check.h"
#include "platform/error.h"

namespace {

struct Values {
  std::string text;
  std::string url;
  platform::Bool16 showToolTip;
  friend bool operator==(const Values&, const Values&) = default;
};

// What the store holds for the three properties, when all of them read and convert.
std::optional<Values> Stored(const controls::TextPropertyStore& store) {
  try {
    Values v;
    v.text = controls::ToText(store.Read("Text", std::string()));
    v.url = controls::ToText(store.Read("URL", std::string()));
    v.showToolTip = controls::ToBoolean(store.Read("ShowToolTip", platform::kFalse));
    return v;
  } catch (const platform::Error& error) {
    const auto n = error.Number();
    FUZZ_CHECK(n == controls::kErrInvalidPropertyValue || n == platform::kErrTypeMismatch ||
                   n == platform::kErrOverflow,
               "unexpected error %d: %s", n, error.what());
    return std::nullopt;
  }
}

struct Loaded {
  Values values;
  std::optional<std::string> saved;  // the store's text after saving, unless saving failed
};

// Loads a control from `text`, checks it, and saves it back into the same
// store, as a host keeps one store for the life of its form.
Loaded LoadAndSave(const std::string& text, int failingRead) {
  fake::FakeDesktop desktop;
  fake::TextStoreHost host(desktop.log, desktop.faults);
  host.text = controls::TextPropertyStore(text);
  const std::optional<Values> stored = Stored(host.text);
  host.failingRead = failingRead;

  controls::URLLink link(host, desktop, 0x3000);
  try {
    link.ReadProperties();
  } catch (...) {
    FUZZ_CHECK(false, "loading threw out of the control");
  }

  const Values got{link.Text(), link.URL(), link.ShowToolTip()};
  const Values fresh{"", "", platform::kFalse};
  if (stored && failingRead < 0)
    FUZZ_CHECK(got == *stored, "loaded values differ from the stored ones");
  else
    FUZZ_CHECK(got == fresh, "a failed load left other than a new instance's values");
  FUZZ_CHECK(got.showToolTip == platform::kTrue || got.showToolTip == platform::kFalse,
             "ShowToolTip %d is not a boolean", got.showToolTip);

  const controls::Label& label = link.LabelURL();
  FUZZ_CHECK(label.caption == got.text, "label caption differs from Text");
  FUZZ_CHECK(label.rect == (platform::Rect{0, 0, host.TextWidth(got.text),
                                           host.TextHeight(got.text)}),
             "label not sized to its text");
  FUZZ_CHECK(label.toolTipText == (got.showToolTip ? got.url : std::string()),
             "tooltip disagrees with URL and ShowToolTip");

  Loaded out{got, {}};
  try {
    link.WriteProperties();
    out.saved = host.text.Serialize();
  } catch (const platform::Error& error) {
    // A line break cannot be kept in a line; nothing else may stop saving.
    FUZZ_CHECK(error.Number() == controls::kErrInvalidPropertyValue, "saving raised %d",
               error.Number());
    FUZZ_CHECK((got.text + got.url).find_first_of("\r\n") != std::string::npos,
               "saving refused values without a line break");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // One read in eight fails in the host, at the first, second or third property.
  const int failingRead = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegralInRange(0, 2)
                                                               : -1;
  const std::string text = in.ConsumeRemainingBytesAsString();

  const Loaded first = LoadAndSave(text, failingRead);
  if (!first.saved) return 0;
  const Loaded second = LoadAndSave(*first.saved, -1);
  FUZZ_CHECK(second.values == first.values, "saved values do not load back the same");
  FUZZ_CHECK(second.saved == first.saved, "saving a reloaded store changed its text");
  return 0;
}
