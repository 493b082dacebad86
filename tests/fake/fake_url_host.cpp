#include "fake/fake_url_host.h"

#include <algorithm>

namespace fake {

std::string Arg(const LoggedValue& logged) {
  if (const auto* flag = std::get_if<platform::Bool16>(&logged.value)) return std::to_string(*flag);
  return Arg(std::get<std::string>(logged.value));
}

controls::PropertyValue FakeURLHost::ReadProperty(const std::string& name,
                                                  const controls::PropertyValue& defaultValue) {
  log_.Record("ReadProperty", name, LoggedValue{defaultValue});
  faults_.Hit("ReadProperty");
  auto it = store.find(name);
  return it == store.end() ? defaultValue : it->second;
}

void FakeURLHost::WriteProperty(const std::string& name, const controls::PropertyValue& value,
                                const controls::PropertyValue& defaultValue) {
  log_.Record("WriteProperty", name, LoggedValue{value}, LoggedValue{defaultValue});
  faults_.Hit("WriteProperty");
  store[name] = value;
}

void FakeURLHost::PropertyChanged(const std::string& name) {
  log_.Record("PropertyChanged", name);
  faults_.Hit("PropertyChanged");
  changed.push_back(name);
}

void FakeURLHost::SetPointerOverride(controls::HostPointer pointer) {
  log_.Record("SetPointerOverride", "Wait");
  faults_.Hit("SetPointerOverride");
  pointerOverride = pointer;
}

void FakeURLHost::ClearPointerOverride() {
  log_.Record("ClearPointerOverride");
  faults_.Hit("ClearPointerOverride");
  pointerOverride.reset();
}

void FakeURLHost::MsgBoxOk(const std::string& text, const std::string& caption) {
  log_.Record("MsgBoxOk", text, caption);
  faults_.Hit("MsgBoxOk");
  messages.push_back({text, caption});
}

std::int32_t FakeURLHost::TextWidth(const std::string& text) {
  log_.Record("TextWidth", text);
  faults_.Hit("TextWidth");
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
  log_.Record("TextHeight", text);
  faults_.Hit("TextHeight");
  // An empty text still takes one line.
  return static_cast<std::int32_t>(1 + std::count(text.begin(), text.end(), '\n')) * kLineHeight;
}

}  // namespace fake
