// The fake host of a URLLink: an in-memory property store, the pointer
// override and message boxes as state, text measured in a fixed-pitch font.
// Every service goes to the desktop's log and passes its failure injection.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controls/text_property_store.h"
#include "controls/url_link.h"
#include "fake/call_log.h"

namespace fake {

struct MessageShown {
  std::string text;
  std::string caption;
};

class FakeURLHost : public controls::URLLinkHost {
 public:
  FakeURLHost(CallLog& log, Faults& faults) : log_(log), faults_(faults) {}

  controls::PropertyValue ReadProperty(const std::string& name,
                                       const controls::PropertyValue& defaultValue) override;
  void WriteProperty(const std::string& name, const controls::PropertyValue& value,
                     const controls::PropertyValue& defaultValue) override;
  void PropertyChanged(const std::string& name) override;
  void SetPointerOverride(controls::HostPointer pointer) override;
  void ClearPointerOverride() override;
  void MsgBoxOk(const std::string& text, const std::string& caption) override;
  std::int32_t TextWidth(const std::string& text) override;
  std::int32_t TextHeight(const std::string& text) override;

  // The font's cell: every character is this wide, every line this high.
  static constexpr std::int32_t kCharWidth = 6;
  static constexpr std::int32_t kLineHeight = 13;

  // Names as written; a value equal to its default is kept too.
  std::map<std::string, controls::PropertyValue> store;
  std::vector<std::string> changed;   // PropertyChanged names, in order
  std::optional<controls::HostPointer> pointerOverride;
  std::vector<MessageShown> messages;

 private:
  CallLog& log_;
  Faults& faults_;
};

// A host whose store is the text form the demonstration host keeps in a file,
// read and written past the log; it can fail at one read.
class TextStoreHost : public FakeURLHost {
 public:
  using FakeURLHost::FakeURLHost;
  controls::PropertyValue ReadProperty(const std::string& name,
                                       const controls::PropertyValue& defaultValue) override;
  void WriteProperty(const std::string& name, const controls::PropertyValue& value,
                     const controls::PropertyValue& defaultValue) override {
    text.Write(name, value, defaultValue);
  }

  controls::TextPropertyStore text;
  int failingRead = -1;   // the read that fails (0 for the first); none if negative

 private:
  int reads_ = 0;
};

// A property value in the log: text in quotes, a boolean as its number.
struct LoggedValue {
  const controls::PropertyValue& value;
};
std::string Arg(const LoggedValue& logged);

}  // namespace fake
