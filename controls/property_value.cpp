#include "controls/property_value.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "controls/text_util.h"
#include "platform/error.h"

namespace controls {

namespace {

[[noreturn]] void TypeMismatch() {
  throw platform::Error(platform::kErrTypeMismatch, "Type mismatch");
}

// &Hxxxx or &Oooo (or &ooo): only whether it is zero matters, but a literal
// wider than 32 bits does not fit Basic's Long.
bool RadixLiteralIsNonZero(std::string_view text) {
  text.remove_prefix(1);  // '&'
  int base = 8;
  if (!text.empty() && (text.front() == 'H' || text.front() == 'h')) {
    base = 16;
    text.remove_prefix(1);
  } else if (!text.empty() && (text.front() == 'O' || text.front() == 'o')) {
    text.remove_prefix(1);
  }
  if (text.empty()) TypeMismatch();
  unsigned long long value = 0;
  for (char c : text) {
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : (std::isxdigit(static_cast<unsigned char>(c))
                                 ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                 : 99);
    if (digit >= base) TypeMismatch();
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) throw platform::Error(platform::kErrOverflow, "Overflow");
  }
  return value != 0;
}

// [sign] digits [. digits] [(E|D) [sign] digits], at least one digit in the mantissa.
bool DecimalIsNonZero(std::string_view text) {
  std::string normal;
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
      normal += text[i++];
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    normal += text[i++];
    mantissa += digits();
  }
  if (mantissa == 0) TypeMismatch();
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    if (digits() == 0) TypeMismatch();
  }
  if (i != text.size()) TypeMismatch();
  const double value = std::strtod(normal.c_str(), nullptr);
  if (std::isinf(value)) throw platform::Error(platform::kErrOverflow, "Overflow");
  return value != 0.0;
}

}  // namespace

platform::Bool16 ToBoolean(std::string_view text) {
  text = Trim(text);
  if (EqualsNoCase(text, "True")) return platform::kTrue;
  if (EqualsNoCase(text, "False")) return platform::kFalse;
  if (text.empty()) TypeMismatch();
  const bool nonZero = text.front() == '&' ? RadixLiteralIsNonZero(text) : DecimalIsNonZero(text);
  return nonZero ? platform::kTrue : platform::kFalse;
}

platform::Bool16 ToBoolean(const PropertyValue& value) {
  if (const auto* flag = std::get_if<platform::Bool16>(&value))
    return *flag != 0 ? platform::kTrue : platform::kFalse;
  return ToBoolean(std::string_view(std::get<std::string>(value)));
}

std::string ToText(const PropertyValue& value) {
  if (const auto* flag = std::get_if<platform::Bool16>(&value)) return *flag ? "True" : "False";
  return std::get<std::string>(value);
}

}  // namespace controls
