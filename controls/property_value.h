// Values kept in a host's property store, and the Basic conversions the
// control applies to what it reads back: a store may hand back text where a
// boolean was written, so reading converts the way Basic does.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "platform/types.h"

namespace controls {

using PropertyValue = std::variant<std::string, platform::Bool16>;

// Numbers of the errors these conversions raise.
inline constexpr std::int32_t kErrInvalidPropertyValue = 380;

// CBool: True/False in any letter case, or a number (decimal with optional
// fraction and exponent, &H hexadecimal, &O octal), blanks around it allowed;
// non-zero is true. Anything else raises Type mismatch (13), a number out of
// range raises Overflow (6).
platform::Bool16 ToBoolean(const PropertyValue& value);
platform::Bool16 ToBoolean(std::string_view text);

// CStr: text unchanged, booleans as "True" / "False".
std::string ToText(const PropertyValue& value);

}  // namespace controls
