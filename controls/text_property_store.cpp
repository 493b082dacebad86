#include "controls/text_property_store.h"

#include <algorithm>
#include <cctype>

#include "controls/text_util.h"
#include "platform/error.h"

namespace controls {

namespace {

[[noreturn]] void InvalidValue() {
  throw platform::Error(kErrInvalidPropertyValue, "Invalid property value");
}

std::string Decode(std::string_view encoded) {
  if (encoded.empty() || encoded.front() != '"') {
    // Unquoted: everything up to a remark.
    return std::string(Trim(encoded.substr(0, encoded.find('\''))));
  }
  std::string text;
  std::size_t i = 1;
  for (;; ++i) {
    if (i >= encoded.size()) InvalidValue();  // no closing quote
    if (encoded[i] == '"') {
      if (i + 1 < encoded.size() && encoded[i + 1] == '"') {
        text += '"';
        ++i;
      } else {
        break;
      }
    } else {
      text += encoded[i];
    }
  }
  const std::string_view rest = Trim(encoded.substr(i + 1));
  if (!rest.empty() && rest.front() != '\'') InvalidValue();
  return text;
}

std::string Encode(const PropertyValue& value) {
  if (const auto* flag = std::get_if<platform::Bool16>(&value))
    return *flag ? "-1  'True" : "0   'False";
  const std::string& text = std::get<std::string>(value);
  if (text.find_first_of("\r\n") != std::string::npos) InvalidValue();
  std::string encoded = "\"";
  for (char c : text) {
    encoded += c;
    if (c == '"') encoded += '"';
  }
  encoded += '"';
  return encoded;
}

}  // namespace

TextPropertyStore::TextPropertyStore(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::string_view trimmed = Trim(line);
    const std::size_t equals = trimmed.find('=');
    const std::string_view name =
        equals == std::string_view::npos ? std::string_view() : Trim(trimmed.substr(0, equals));
    if (trimmed.empty() || trimmed.front() == '\'' || name.empty() ||
        name.find_first_of(" \t\"") != std::string_view::npos) {
      lines_.push_back({"", std::string(line)});
    } else {
      lines_.push_back({std::string(name), std::string(Trim(trimmed.substr(equals + 1)))});
    }
  }
}

TextPropertyStore::Line* TextPropertyStore::Find(std::string_view name) {
  auto it = std::find_if(lines_.begin(), lines_.end(), [&](const Line& line) {
    return !line.name.empty() && EqualsNoCase(line.name, name);
  });
  return it == lines_.end() ? nullptr : &*it;
}

const TextPropertyStore::Line* TextPropertyStore::Find(std::string_view name) const {
  return const_cast<TextPropertyStore*>(this)->Find(name);
}

PropertyValue TextPropertyStore::Read(std::string_view name,
                                      const PropertyValue& defaultValue) const {
  const Line* line = Find(name);
  if (!line) return defaultValue;
  return Decode(line->value);
}

void TextPropertyStore::Write(std::string_view name, const PropertyValue& value,
                              const PropertyValue& defaultValue) {
  if (value == defaultValue) {
    std::erase_if(lines_, [&](const Line& line) {
      return !line.name.empty() && EqualsNoCase(line.name, name);
    });
    return;
  }
  std::string encoded = Encode(value);
  if (Line* line = Find(name))
    line->value = std::move(encoded);
  else
    lines_.push_back({std::string(name), std::move(encoded)});
}

std::string TextPropertyStore::Serialize() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.name.empty() ? line.value : line.name + " = " + line.value;
    text += "\r\n";
  }
  return text;
}

}  // namespace controls
