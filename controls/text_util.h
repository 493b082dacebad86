// Small text helpers shared by the property store and the value conversions.
#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

namespace controls {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Without the blanks around it.
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Equal in any letter case (ASCII letters).
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace controls
