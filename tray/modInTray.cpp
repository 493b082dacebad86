#include "tray/modInTray.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/constants.h"
#include "tray/clsInTray.h"

namespace tray {

namespace {

ModuleState state;
UntrappedErrorHandler untrapped;

// Hands the message to the window's object, borrowing the back pointer for
// the one call. A window whose back pointer is not stored yet has no object
// to tell: the message goes on to DefWindowProcA alone.
template <typename Call>
void CallObject(platform::Windowing& windowing, platform::Handle hWnd, Call call) {
  clsInTray* obj = ObjFromPtr(windowing.GetWindowLongA(hWnd, platform::GWL_USERDATA));
  if (!obj) return;
  call(*obj);
  ForgetObjRef(&obj);
}

platform::LResult Dispatch(platform::Handle hWnd, std::uint32_t uMsg, platform::WParam wParam,
                           platform::LParam lParam) {
  if (!state.windowing) return 0;  // only an object's creation registers the class
  platform::Windowing& windowing = *state.windowing;
  if (state.bTaskbarMsgRegistered == platform::kFalse) InitTaskbarMessage();
  // If the registration failed, the number is 0 and WM_NULL reads as a
  // taskbar restart: re-adding a shown icon is then refused, without harm.
  if (uMsg == WM_TRAYICON)
    CallObject(windowing, hWnd, [&](clsInTray& obj) { obj.ProcessMessage(wParam, lParam); });
  else if (uMsg == state.msgTaskbarCreated)
    CallObject(windowing, hWnd, [](clsInTray& obj) { obj.RecreateIcon(); });
  return windowing.DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

platform::LResult VELTRANE_CALLBACK TrayWndProc(platform::Handle hWnd, std::uint32_t uMsg,
                                                platform::WParam wParam,
                                                platform::LParam lParam) {
  // No error may unwind through the system's frames; an untrapped error ends
  // the process, so if the handler returns at all (tests), the message is done.
  try {
    return Dispatch(hWnd, uMsg, wParam, lParam);
  } catch (const std::exception& error) {
    ReportUntrappedError(error);
  } catch (...) {
    ReportUntrappedError(std::runtime_error("Unknown error in the notification-area window"));
  }
  return 0;
}

void InitTaskbarMessage() {
  state.bTaskbarMsgRegistered = platform::kTrue;
  state.msgTaskbarCreated = state.windowing->RegisterWindowMessageA("TaskbarCreated");
}

platform::WndProc FnAddress(platform::WndProc address) { return address; }

// The back pointer is pointer-wide, so the copies are too (4 bytes on the
// 32-bit build, 8 on the 64-bit one).
clsInTray* ObjFromPtr(std::intptr_t ptr) {
  clsInTray* obj = nullptr;
  std::memcpy(&obj, &ptr, sizeof obj);
  return obj;
}

std::intptr_t PtrFromObj(const clsInTray* obj) {
  std::intptr_t ptr = 0;
  std::memcpy(&ptr, &obj, sizeof ptr);
  return ptr;
}

void ForgetObjRef(clsInTray** ref) {
  const clsInTray* none = nullptr;
  std::memcpy(ref, &none, sizeof *ref);
}

void AttachPlatform(platform::Windowing& windowing) { state.windowing = &windowing; }

void SetUntrappedErrorHandler(UntrappedErrorHandler handler) { untrapped = std::move(handler); }

void ReportUntrappedError(const std::exception& error) {
  if (untrapped) {
    untrapped(error);
    return;
  }
  // Nobody to tell: end the process as an untrapped error does.
  std::_Exit(EXIT_FAILURE);
}

const ModuleState& State() { return state; }

void ResetModuleState() {
  state = ModuleState{};
  untrapped = nullptr;
}

static_assert(sizeof(std::intptr_t) == sizeof(clsInTray*));

}  // namespace tray
