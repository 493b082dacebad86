// The fake desktop as a process of its session: its start and end, the
// session's named objects, the last error and sleeping.
#include "fake/fake_desktop.h"

namespace fake {

FakeDesktop::FakeDesktop() : FakeDesktop(std::make_shared<Session>()) {}

FakeDesktop::FakeDesktop(std::shared_ptr<Session> session) : session_(std::move(session)) {
  processId = session_->Join(*this);
  const platform::Handle base = Session::HandleBase(processId);
  windows.nextWindow += base;
  window.ownHandle = FakeWindowLayer::kWindow + base;
  window.onEnd = [this] { EndThisProcess(); };
  window.onCreate = [this] { session_->PutOnTop(window.handle); };
}

platform::Handle FakeDesktop::CreateMutexA(void* lpMutexAttributes, std::int32_t bInitialOwner,
                                           const char* lpName) {
  if (Fails("CreateMutexA", lpMutexAttributes ? 1 : 0, bInitialOwner, lpName)) {
    lastError = platform::ERROR_INVALID_HANDLE;   // as for a name another kind of object has
    return 0;
  }
  return session_->OpenName(*this, lpName ? lpName : "", lastError);
}

std::int32_t FakeDesktop::CloseHandle(platform::Handle hObject) {
  if (Fails("CloseHandle", hObject)) return 0;
  if (session_->CloseHandle(processId, hObject)) return 1;
  lastError = platform::ERROR_INVALID_HANDLE;
  return 0;
}

std::uint32_t FakeDesktop::GetLastError() {
  Fails("GetLastError");
  return lastError;
}

void FakeDesktop::Sleep(std::uint32_t dwMilliseconds) {
  Fails("Sleep", dwMilliseconds);
  tickCount += dwMilliseconds;
  if (whileAsleep) whileAsleep();
}

}  // namespace fake
