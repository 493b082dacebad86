// The fake desktop's ordered record of platform calls, and its failure
// injection: any operation can be made to return a failing result or to
// raise an error, once or for good.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace fake {

template <typename... Args>
std::string Format(const char* op, const Args&... args);

// The operation name of a log entry, "op" of "op(arg,...)".
std::string OpName(const std::string& entry);
// The entries whose operation name is one of `ops`, in order.
std::vector<std::string> Only(const std::vector<std::string>& entries,
                              std::initializer_list<const char*> ops);

class CallLog {
 public:
  // Records "op(arg,arg,...)"; nothing is formatted while the log is off.
  template <typename... Args>
  void Record(const char* op, const Args&... args) {
    if (enabled) entries_.push_back(Format(op, args...));
  }
  const std::vector<std::string>& Entries() const { return entries_; }
  std::vector<std::string> Only(std::initializer_list<const char*> ops) const {
    return fake::Only(entries_, ops);
  }
  void Clear() { entries_.clear(); }

  bool enabled = true;   // benchmarks switch the log off

 private:
  std::vector<std::string> entries_;
};

enum class Fault : std::uint8_t { None, FailResult, Raise, RaiseOutOfMemory };

class Faults {
 public:
  static constexpr int kForever = -1;
  // The next `times` calls of `op` fail in the given way, after `skipped` that succeed.
  void Inject(const std::string& op, Fault fault, int times = kForever, int skipped = 0);
  void Clear() { faults_.clear(); }
  // Consumes one injected fault of `op`. A Raise throws platform::Error here,
  // a RaiseOutOfMemory std::bad_alloc.
  Fault Hit(const char* op);

  std::int32_t errorNumber = 5;
  std::string errorDescription = "Invalid procedure call or argument";

 private:
  struct Entry {
    Fault fault;
    int remaining;
    int skipped;
  };
  std::map<std::string, Entry, std::less<>> faults_;
};

// A call as every fake service takes it: recorded, then through its injected
// fault. True if it is to fail by its result (a raising fault throws); a
// service with no result to fail goes on regardless.
template <typename... Args>
bool Fails(CallLog& log, Faults& faults, const char* op, const Args&... args) {
  log.Record(op, args...);
  return faults.Hit(op) == Fault::FailResult;
}

std::string Arg(const char* text);
std::string Arg(const std::string& text);
template <typename T>
std::string Arg(T value) {
  return std::to_string(value);
}

template <typename... Args>
std::string Format(const char* op, const Args&... args) {
  std::string out = op;
  out += '(';
  bool first = true;
  ((out += (first ? "" : ","), out += Arg(args), first = false), ...);
  out += ')';
  return out;
}

}  // namespace fake
