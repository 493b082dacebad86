// What the processes of one logon session share: its named kernel objects,
// its registered message numbers, and one another's top-level windows, which
// a process finds and sends to across the process boundary.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"

namespace fake {

class FakeDesktop;

class Session {
 public:
  // A new process of the session: its id. Each process's window handles
  // start at `HandleBase` of its place, so no two processes share one.
  std::uint32_t Join(FakeDesktop& process);
  static platform::Handle HandleBase(std::uint32_t processId);
  // The process is gone, however it ended: the system closes its handles (a
  // name no handle is open to any more is free) and its windows go with it.
  void EndProcess(std::uint32_t processId);
  void Leave(FakeDesktop& process);
  bool Runs(std::uint32_t processId) const;

  // The named object, opened or made by a process; 0 and `error` set where
  // it cannot be had. `error` is ERROR_ALREADY_EXISTS when it was there.
  platform::Handle OpenName(const FakeDesktop& process, const std::string& name,
                            std::uint32_t& error);
  bool CloseHandle(std::uint32_t processId, platform::Handle handle);
  bool NameExists(const std::string& name) const { return names_.count(name) != 0; }

  // One number per name for every process; the first is 0xC000.
  std::uint32_t MessageNumber(const std::string& name);

  // A window made or brought to the front lies above the others.
  void PutOnTop(platform::Handle window) { zOrder_[window] = ++lastOnTop_; }
  // The top-level windows of the running processes, from the top down.
  std::vector<platform::Handle> TopLevelWindows() const;
  // The running process that owns the window; null if there is none.
  FakeDesktop* OwnerOf(platform::Handle window) const;

 private:
  struct NamedObject {
    bool madeElevated = false;
    std::map<platform::Handle, std::uint32_t> handles;   // each open handle's process
  };
  struct Process {
    FakeDesktop* desktop;
    bool running;
  };

  std::map<std::uint32_t, Process> processes_;
  std::map<std::string, NamedObject> names_;   // names are case-sensitive
  std::map<std::string, std::uint32_t> messages_;   // keyed by lower-case name
  std::uint32_t nextMessage_ = 0xC000;
  platform::Handle nextObject_ = 0x9000;
  std::map<platform::Handle, std::uint64_t> zOrder_;   // higher: nearer the top
  std::uint64_t lastOnTop_ = 0;
};

}  // namespace fake
