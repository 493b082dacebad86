#include "fake/fake_session.h"

#include <algorithm>

#include "fake/fake_desktop.h"

namespace fake {

namespace {

constexpr std::uint32_t kFirstProcessId = 1000;
constexpr std::uint32_t kProcessIdStep = 4;   // as Windows numbers them
constexpr platform::Handle kHandlesPerProcess = 0x10000;

}  // namespace

std::uint32_t Session::Join(FakeDesktop& process) {
  const auto id = static_cast<std::uint32_t>(kFirstProcessId + kProcessIdStep * processes_.size());
  processes_[id] = {&process, true};
  return id;
}

platform::Handle Session::HandleBase(std::uint32_t processId) {
  return (processId - kFirstProcessId) / kProcessIdStep * kHandlesPerProcess;
}

void Session::EndProcess(std::uint32_t processId) {
  auto process = processes_.find(processId);
  if (process == processes_.end()) return;
  process->second.running = false;
  for (auto name = names_.begin(); name != names_.end();) {
    auto& handles = name->second.handles;
    std::erase_if(handles, [&](const auto& entry) { return entry.second == processId; });
    name = handles.empty() ? names_.erase(name) : std::next(name);
  }
}

void Session::Leave(FakeDesktop& process) {
  EndProcess(process.processId);
  processes_.at(process.processId).desktop = nullptr;
}

bool Session::Runs(std::uint32_t processId) const {
  const auto process = processes_.find(processId);
  return process != processes_.end() && process->second.running;
}

platform::Handle Session::OpenName(const FakeDesktop& process, const std::string& name,
                                   std::uint32_t& error) {
  auto found = names_.find(name);
  if (found != names_.end() && found->second.madeElevated && !process.elevated) {
    // Its security gives access to administrators alone.
    error = platform::ERROR_ACCESS_DENIED;
    return 0;
  }
  error = found != names_.end() ? platform::ERROR_ALREADY_EXISTS : 0;
  if (found == names_.end()) found = names_.emplace(name, NamedObject{process.elevated, {}}).first;
  const platform::Handle handle = nextObject_++;
  found->second.handles[handle] = process.processId;
  return handle;
}

bool Session::CloseHandle(std::uint32_t processId, platform::Handle handle) {
  for (auto name = names_.begin(); name != names_.end(); ++name) {
    auto open = name->second.handles.find(handle);
    if (open == name->second.handles.end() || open->second != processId) continue;
    name->second.handles.erase(open);
    if (name->second.handles.empty()) names_.erase(name);
    return true;
  }
  return false;
}

std::uint32_t Session::MessageNumber(const std::string& name) {
  auto [it, added] = messages_.emplace(LowerName(name.c_str()), nextMessage_);
  if (added) ++nextMessage_;
  return it->second;
}

std::vector<platform::Handle> Session::TopLevelWindows() const {
  std::vector<platform::Handle> found;   // in handle order within one height
  for (const auto& [id, process] : processes_) {
    if (!process.running || !process.desktop) continue;
    const FakeDesktop& desktop = *process.desktop;
    if (desktop.window.Exists()) found.push_back(desktop.window.handle);
    for (const auto& [handle, window] : desktop.windows.windows)
      if (window.parent == 0) found.push_back(handle);
  }
  const auto height = [&](platform::Handle window) {
    const auto it = zOrder_.find(window);
    return it == zOrder_.end() ? 0 : it->second;
  };
  std::stable_sort(found.begin(), found.end(),
                   [&](platform::Handle a, platform::Handle b) { return height(a) > height(b); });
  return found;
}

FakeDesktop* Session::OwnerOf(platform::Handle window) const {
  for (const auto& [id, process] : processes_) {
    if (!process.running || !process.desktop) continue;
    const FakeDesktop& desktop = *process.desktop;
    if ((desktop.window.Exists() && desktop.window.handle == window) ||
        desktop.windows.IsWindow(window))
      return process.desktop;
  }
  return nullptr;
}

}  // namespace fake
