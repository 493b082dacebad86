#include "fake/fake_url_host.h"

#include <algorithm>

#include "platform/error.h"

namespace fake {

std::string Arg(const LoggedValue& logged) {
  if (const auto* flag = std::get_if<platform::Bool16>(&logged.value)) return std::to_string(*flag);
  return Arg(std::get<std::string>(logged.value));
}

controls::PropertyValue FakeURLHost::ReadProperty(const std::string& name,
                                                  const controls::PropertyValue& defaultValue) {
  Fails(log_, faults_, "ReadProperty", name, LoggedValue{defaultValue});
  auto it = store.find(name);
  return it == store.end() ? defaultValue : it->second;
}

void FakeURLHost::WriteProperty(const std::string& name, const controls::PropertyValue& value,
                                const controls::PropertyValue& defaultValue) {
  Fails(log_, faults_, "WriteProperty", name, LoggedValue{value}, LoggedValue{defaultValue});
  store[name] = value;
}

void FakeURLHost::PropertyChanged(const std::string& name) {
  Fails(log_, faults_, "PropertyChanged", name);
  changed.push_back(name);
}

void FakeURLHost::SetPointerOverride(controls::HostPointer pointer) {
  Fails(log_, faults_, "SetPointerOverride", "Wait");
  pointerOverride = pointer;
}

void FakeURLHost::ClearPointerOverride() {
  Fails(log_, faults_, "ClearPointerOverride");
  pointerOverride.reset();
}

void FakeURLHost::MsgBoxOk(const std::string& text, const std::string& caption) {
  Fails(log_, faults_, "MsgBoxOk", text, caption);
  messages.push_back({text, caption});
}

std::int32_t FakeURLHost::TextWidth(const std::string& text) {
  Fails(log_, faults_, "TextWidth", text);
  // The widest line.
  std::size_t widest = 0, start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    widest = std::max(widest, (end == std::string::npos ? text.size() : end) - start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return static_cast<std::int32_t>(widest) * kCharWidth;
}

std::int32_t FakeURLHost::TextHeight(const std::string& text) {
  Fails(log_, faults_, "TextHeight", text);
  // An empty text still takes one line.
  return static_cast<std::int32_t>(1 + std::count(text.begin(), text.end(), '\n')) * kLineHeight;
}

controls::PropertyValue TextStoreHost::ReadProperty(const std::string& name,
                                                    const controls::PropertyValue& defaultValue) {
  if (reads_++ == failingRead) throw platform::Error(57, "Device I/O error");
  return text.Read(name, defaultValue);
}

}  // namespace fake
