#include "fake/call_log.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/error.h"

namespace fake {

std::string OpName(const std::string& entry) { return entry.substr(0, entry.find('(')); }

std::vector<std::string> Only(const std::vector<std::string>& entries,
                              std::initializer_list<const char*> ops) {
  std::vector<std::string> out;
  for (const std::string& entry : entries) {
    const std::string name = OpName(entry);
    if (std::any_of(ops.begin(), ops.end(), [&](const char* op) { return name == op; }))
      out.push_back(entry);
  }
  return out;
}

void Faults::Inject(const std::string& op, Fault fault, int times, int skipped) {
  faults_[op] = Entry{fault, times, skipped};
}

Fault Faults::Hit(const char* op) {
  if (faults_.empty()) return Fault::None;
  auto it = faults_.find(std::string_view(op));
  if (it == faults_.end() || it->second.remaining == 0) return Fault::None;
  if (it->second.skipped > 0) {
    --it->second.skipped;
    return Fault::None;
  }
  if (it->second.remaining > 0) --it->second.remaining;
  if (it->second.fault == Fault::Raise) throw platform::Error(errorNumber, errorDescription);
  if (it->second.fault == Fault::RaiseOutOfMemory) throw std::bad_alloc();
  return it->second.fault;
}

std::string Arg(const char* text) { return text ? '"' + std::string(text) + '"' : "NULL"; }
std::string Arg(const std::string& text) { return '"' + text + '"'; }

}  // namespace fake
