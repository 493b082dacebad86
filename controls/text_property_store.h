// A plain text property store, in the shape a form file keeps the properties
// of its controls: one `Name = value` line per property, text in double
// quotes (a quote inside doubled), booleans as -1 / 0 with a 'True / 'False
// remark. Lines without '=' (headers, Begin/End) and remark lines are kept
// as they are but not read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/property_value.h"

namespace controls {

class TextPropertyStore {
 public:
  TextPropertyStore() = default;
  explicit TextPropertyStore(std::string_view text);

  // The stored value (always text: the store does not know types), or the
  // default when the name is absent. Names match in any letter case. A value
  // that cannot be decoded raises Invalid property value (380).
  PropertyValue Read(std::string_view name, const PropertyValue& defaultValue) const;
  // A value equal to its default is not kept, so the default can change later.
  // Text holding a line break cannot be kept in a line and raises 380.
  void Write(std::string_view name, const PropertyValue& value, const PropertyValue& defaultValue);

  std::string Serialize() const;

 private:
  struct Line {
    std::string name;    // empty for a line that is not a property
    std::string value;   // the encoded value, or the whole line when not a property
  };
  Line* Find(std::string_view name);
  const Line* Find(std::string_view name) const;

  std::vector<Line> lines_;
};

}  // namespace controls
