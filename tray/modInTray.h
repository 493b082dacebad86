// The hidden windows' procedure, the one-time registration of the shell's
// "TaskbarCreated" message, and the uncounted pointer routines that let a
// hidden window find its tray object without keeping it alive.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include "platform/types.h"
#include "platform/win32.h"

namespace tray {

class clsInTray;

// The procedure of the class "VB InTray Class". Message 1029 goes to the
// window's object's ProcessMessage, "TaskbarCreated" to its RecreateIcon;
// every message then goes to DefWindowProcA, whose result is returned.
platform::LResult VELTRANE_CALLBACK TrayWndProc(platform::Handle hWnd, std::uint32_t uMsg,
                                                platform::WParam wParam,
                                                platform::LParam lParam);

// Registers "TaskbarCreated" and records its number; the flag is set first,
// so a failed registration is never retried.
void InitTaskbarMessage();

// Hands a procedure's address through unchanged (it fills WNDCLASSA.lpfnWndProc).
platform::WndProc FnAddress(platform::WndProc address);

// Uncounted conversions between an object and the pointer kept in its
// window's user data. They copy the pointer's bytes and never touch the
// reference count: an object made by ObjFromPtr is borrowed and must be
// cleared with ForgetObjRef, never released.
clsInTray* ObjFromPtr(std::intptr_t ptr);
std::intptr_t PtrFromObj(const clsInTray* obj);
void ForgetObjRef(clsInTray** ref);

// The window procedure is a plain function, so it reaches the platform
// through the module: the Windowing the objects are created with. A process
// has one platform, so every creation attaches the same one again.
void AttachPlatform(platform::Windowing& windowing);

// Where an error that leaves an event receiver inside TrayWndProc goes: it
// must not unwind through the window procedure. The program sets its
// untrapped-error path here (message box, then the end of the process);
// until it does, such an error ends the process at once.
using UntrappedErrorHandler = std::function<void(const std::exception&)>;
void SetUntrappedErrorHandler(UntrappedErrorHandler handler);
// The same path, for an error that has no caller left to receive it.
void ReportUntrappedError(const std::exception& error);

// Module state, one copy per process.
struct ModuleState {
  platform::Bool16 bTaskbarMsgRegistered = platform::kFalse;
  std::uint32_t msgTaskbarCreated = 0;
  platform::Windowing* windowing = nullptr;
};
const ModuleState& State();
// Back to the state of a new process, handler included; each of the tests'
// desktops starts as a new process with it.
void ResetModuleState();

}  // namespace tray
