#include "app/veltrane2.h"

#include <cstdlib>

#include "app/home_page.h"
#include "app/untrapped_error.h"
#include "keys/key_poller.h"
#include "platform/constants.h"
#include "skin/drag.h"
#include "tray/modInTray.h"

namespace app {

Veltrane2::Veltrane2(platform::Win32& win32, platform::WindowLayer& window)
    : win32_(win32), window_(window) {}

template <typename Handler>
void Veltrane2::Handle(Handler handler) {
  RunHandler(win32_, window_, handler);
}

void Veltrane2::Start() {
  // An error raised inside the tray window's procedure takes the same path.
  tray::SetUntrappedErrorHandler(
      [this](const std::exception& error) { ReportUntrapped(win32_, window_, error); });
  Handle([&] {
    buttons_.ReadUserSetting(win32_);
    CreateFromLayout();
    CreationSteps();
    // The startup window is shown once its creation steps are done, whatever
    // they did to its visibility.
    window_.Show();
  });
}

void Veltrane2::Run() {
  Start();
  window_.RunMessageLoop();
}

void Veltrane2::CreateFromLayout() {
  const std::int32_t dpiX = win32_.GetDeviceCaps(platform::LOGPIXELSX);
  const std::int32_t dpiY = win32_.GetDeviceCaps(platform::LOGPIXELSY);
  window_.Create({ToPixels(kWindowUnits, dpiX, dpiY), kWindowText}, *this);
  form_.emplace(dpiX, dpiY);
  window_.StartTimer(kTimerIntervalMs);
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
  // The hover step runs ahead of the key loop and outside its error skipping:
  // its failure ends the process before the keys are read.
  Handle([&] { hover_.TrackHover(nullptr); });
  keys::RunKeyLoop(win32_, buttons_);
}

void Veltrane2::OnCloseRequest() {
  Handle([&] {
    residency_.RemoveIcon();  // the unload step; the unload is never refused
    window_.Destroy();
    residency_.FinalSteps();
    buttons_.Restore(win32_);
  });
}

void Veltrane2::OnMouseButtonsChanged() { Handle([&] { buttons_.ReadUserSetting(win32_); }); }

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

void Veltrane2::SetVisible(platform::Picture picture, bool visible) {
  const platform::Rect changed = form_->SetVisible(form_->Showing(picture).id, visible);
  if (changed.width > 0) window_.Invalidate(changed);
}

void Veltrane2::EndAtOnce() {
  // No icon is left behind for the shell to notice later, and the buttons are
  // never left turned around by a tick just before the end.
  residency_.RemoveIcon();
  buttons_.Restore(win32_);
  window_.EndProcess();
  std::abort();  // EndProcess does not return
}

void Veltrane2::OpenHomePage() {
  // The result is not examined: a failure to open simply shows nothing.
  win32_.ShellExecuteA(0, "open", kHomePage, nullptr, nullptr, platform::SW_SHOWNORMAL);
}

}  // namespace app
