#include "tray/residency.h"

namespace tray {

void TrayResidency::CreationSteps() {
  SystemTray_ = clsInTray::Create(win32_);
  SystemTray_->Advise(*this);
  SystemTray_->hIcon(window_.IconHandle());
  SystemTray_->Tip(u"Veltrane");
  SystemTray_->AddIcon();
  window_.Hide();
}

void TrayResidency::RemoveIcon() {
  if (SystemTray_) SystemTray_->RemoveIcon();
}

void TrayResidency::StopAnswering() {
  if (SystemTray_) SystemTray_->Unadvise(*this);
}

void TrayResidency::FinalSteps() {
  // The shell refuses this second removal after the unload step; harmless.
  SystemTray_->RemoveIcon();
  SystemTray_.Reset();
}

void TrayResidency::MouseUp(std::int16_t) {
  window_.SetStateNormal();
  window_.Show();
  // A refusal still leaves the window shown.
  win32_.SetForegroundWindow(window_.WindowHandle());
}

}  // namespace tray
