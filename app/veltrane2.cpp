#include "app/veltrane2.h"

#include <cstdlib>

#include "app/home_page.h"
#include "app/one_copy.h"
#include "platform/constants.h"
#include "platform/error.h"
#include "platform/untrapped_error.h"
#include "skin/drag.h"
#include "tray/modInTray.h"

namespace app {

namespace {

// A last step of a process that is ending anyway: its failure changes nothing.
template <typename Step>
void Attempt(Step step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

Veltrane2::Veltrane2(platform::Win32& win32, platform::WindowLayer& window)
    : win32_(win32), window_(window) {}

template <typename Handler>
void Veltrane2::Handle(Handler handler) {
  if (phase_ != Phase::Running) return;
  try {
    handler();
  } catch (const std::exception& error) {
    ReportUntrapped(error);
  }
}

void Veltrane2::Start() {
  // An error raised inside the tray window's procedure takes the same path.
  tray::SetUntrappedErrorHandler([this](const std::exception& error) { ReportUntrapped(error); });
  Handle([&] {
    buttons_.ReadUserSetting(win32_, win32_);
    CreateFromLayout();
    CreationSteps();
    // The startup window is shown once its creation steps are done, whatever
    // they did to its visibility.
    window_.Show();
  });
}

void Veltrane2::Run() {
  // ShellExecuteA may hand the home page to a handler activated through COM;
  // a thread already initialised otherwise is left as it is.
  const bool com = win32_.CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED |
                                                      platform::COINIT_DISABLE_OLE1DDE) >= 0;
  Start();
  window_.RunMessageLoop();
  if (com) win32_.CoUninitialize();
}

void Veltrane2::CreateFromLayout() {
  const std::int32_t dpiX = win32_.GetDeviceCaps(platform::LOGPIXELSX);
  const std::int32_t dpiY = win32_.GetDeviceCaps(platform::LOGPIXELSY);
  // Known before the window is there: a later start asks as soon as it finds it.
  showRequest_ = win32_.RegisterWindowMessageA(kShowRequestName);
  // A window that cannot be created is what the classic run-time reports
  // when the system's window resources run out.
  if (window_.Create({OnScreen(ToPixels(kWindowUnits, dpiX, dpiY)), kWindowText, kMainWindowClass},
                     *this) == 0)
    throw platform::Error(platform::kErrOutOfMemory, "Out of memory");
  // A copy started as administrator hears a later start made without only
  // if it lets the request in.
  if (showRequest_ != 0)
    win32_.ChangeWindowMessageFilterEx(window_.WindowHandle(), showRequest_,
                                       platform::MSGFLT_ALLOW, nullptr);
  form_.emplace(dpiX, dpiY);
  window_.StartTimer(kTimerIntervalMs);
}

platform::Rect Veltrane2::OnScreen(const platform::Rect& window) {
  const platform::Rect work = window_.WorkAreaOf(window);
  // Without a monitor to ask, the layout's position stands.
  if (work.width <= 0 || work.height <= 0) return window;
  return FitInWorkArea(window, work);
}

void Veltrane2::CreationSteps() {
  skinShape_.ShapeSteps(window_.WindowHandle());
  residency_.CreationSteps();
}

void Veltrane2::OnMouse(platform::MouseAction action, platform::Point client,
                        std::int16_t button) {
  Handle([&] { form_->Route(action, client, button, *this); });
}

platform::Pointer Veltrane2::PointerAt(platform::Point client) { return form_->PointerAt(client); }

void Veltrane2::OnPaint(platform::Canvas& canvas) { form_->Paint(canvas); }

void Veltrane2::OnTimer() {
  if (phase_ != Phase::Running) return;
  // The hover step, and the retry of an icon the shell refused, run ahead of
  // the key loop and outside its error skipping: a failure there ends the
  // process before the keys are read.
  Handle([&] {
    hover_.TrackHover(nullptr);
    residency_.RetryRefusedIcon();
  });
  poller_.RunKeyLoop(win32_, buttons_);
}

void Veltrane2::OnCloseRequest() { Handle([&] { Close(); }); }

void Veltrane2::OnEndSession(bool ending) {
  // All of the close runs before this returns: the process may be ended then.
  if (ending) Handle([&] { Close(); });
}

void Veltrane2::OnCaptureLost() {
  if (form_) form_->ForgetPress();
}

void Veltrane2::OnMouseButtonsChanged() {
  Handle([&] { buttons_.ReadUserSetting(win32_, win32_); });
}

std::optional<platform::LResult> Veltrane2::OnRegisteredMessage(std::uint32_t message) {
  if (showRequest_ == 0 || message != showRequest_) return std::nullopt;
  // A copy that is ending does not answer: the later start finds the name
  // free once this process is gone, and runs.
  if (phase_ != Phase::Running) return 0;
  Handle([&] { residency_.ShowWindow(); });
  return kShown;
}

void Veltrane2::EnterPhase(Phase phase) {
  phase_ = phase;
  // The icon's events go unanswered from here on.
  residency_.StopAnswering();
}

void Veltrane2::Close() {
  EnterPhase(Phase::Ending);
  residency_.RemoveIcon();  // the unload step; the unload is never refused
  window_.Destroy();
  residency_.FinalSteps();
  buttons_.Restore(win32_);
}

void Veltrane2::OnControlMouseMove(const Control& control) {
  switch (control.id) {
    case ControlId::hitarea:
    case ControlId::xarea:
    case ControlId::minarea:
    case ControlId::minbutarea:
      hover_.TrackHover(&control);
      break;
    default:
      break;
  }
}

void Veltrane2::OnControlClick(const Control& control) {
  switch (control.id) {
    case ControlId::hitarea:
    case ControlId::xarea:
      EnterPhase(Phase::Ending);
      EndAtOnce();
    case ControlId::minarea:
    case ControlId::minbutarea:
      window_.Hide();
      break;
    case ControlId::Image1:
      OpenHomePage();
      break;
    default:
      break;
  }
}

void Veltrane2::OnSurfaceMouseDown(std::int16_t) {
  skin::StartDrag(win32_, win32_, window_.WindowHandle());
}

void Veltrane2::CapturePointer() { win32_.SetCapture(window_.WindowHandle()); }

void Veltrane2::ReleasePointer() { win32_.ReleaseCapture(); }

void Veltrane2::SetVisible(platform::Picture picture, bool visible) {
  const platform::Rect changed = form_->SetVisible(form_->Showing(picture).id, visible);
  if (changed.width > 0) window_.Invalidate(changed);
}

void Veltrane2::EndAtOnce() {
  // No icon is left behind for the shell to notice later, and the buttons are
  // never left turned around by a tick just before the end.
  residency_.RemoveIcon();
  buttons_.Restore(win32_);
  window_.EndProcess(0);
  std::abort();  // EndProcess does not return
}

void Veltrane2::ReportUntrapped(const std::exception& error) {
  if (phase_ == Phase::Reporting) return;
  EnterPhase(Phase::Reporting);
  const std::string text = platform::UntrappedErrorText(error);
  // Nothing more can be told after this: each step is attempted, and the
  // process ends as Exit ends it.
  // The box may come from a tick while the window is hidden: in front of
  // whatever is active, or the user never sees why the keys stopped.
  Attempt([&] {
    win32_.MessageBoxA(0, text.c_str(), "Veltrane",
                       platform::MB_OK | platform::MB_ICONERROR | platform::MB_SETFOREGROUND |
                           platform::MB_TOPMOST);
  });
  Attempt([&] { residency_.RemoveIcon(); });
  Attempt([&] { buttons_.Restore(win32_); });
  window_.EndProcess(platform::kExitCodeUntrappedError);
  std::abort();  // EndProcess does not return
}

void Veltrane2::OpenHomePage() {
  // The result is not examined: a failure to open simply shows nothing.
  win32_.ShellExecuteA(0, "open", kHomePage, nullptr, nullptr, platform::SW_SHOWNORMAL);
}

int RunVeltrane(platform::Win32& win32, platform::WindowLayer& window) {
  OneCopy oneCopy(win32);
  switch (oneCopy.Decide()) {
    case OneCopy::Outcome::HandedOver:
      return 0;
    case OneCopy::Outcome::NotReached:
      return kExitCodeCopyNotReached;
    case OneCopy::Outcome::RunsAlone:
      break;
  }
  Veltrane2 veltrane(win32, window);
  veltrane.Run();
  return 0;
}

}  // namespace app
