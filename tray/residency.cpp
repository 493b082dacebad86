#include "tray/residency.h"

namespace tray {

namespace {

constexpr std::uint32_t kRetryEveryMs = 2000;
constexpr int kRetries = 30;   // a minute

}  // namespace

void TrayResidency::CreationSteps() {
  SystemTray_ = clsInTray::Create(win32_);
  SystemTray_->Advise(*this);
  SystemTray_->hIcon(window_.SmallIconHandle());
  SystemTray_->Tip(u"Veltrane");
  if (!SystemTray_->AddIcon()) {
    retriesLeft_ = kRetries;
    lastTry_ = win32_.GetTickCount();
  }
  window_.Hide();
}

void TrayResidency::RetryRefusedIcon() {
  if (retriesLeft_ == 0 || !SystemTray_) return;
  const std::uint32_t now = win32_.GetTickCount();
  if (now - lastTry_ < kRetryEveryMs) return;   // unsigned: right across the wrap
  lastTry_ = now;
  --retriesLeft_;
  // The add may have taken effect late, and a second add of a shown icon is
  // refused: ask to modify it first.
  if (SystemTray_->ModifyIcon() || SystemTray_->AddIcon()) retriesLeft_ = 0;
}

void TrayResidency::RemoveIcon() {
  retriesLeft_ = 0;
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

void TrayResidency::ShowWindow() {
  window_.SetStateNormal();
  window_.Show();
  // A refusal still leaves the window shown.
  win32_.SetForegroundWindow(window_.WindowHandle());
}

}  // namespace tray
