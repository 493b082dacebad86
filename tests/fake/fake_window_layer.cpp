#include "fake/fake_window_layer.h"

#include <stdexcept>

#include "fake/recording_canvas.h"

namespace fake {

platform::Handle FakeWindowLayer::Create(const platform::WindowDesc& newDesc,
                                         platform::WindowEvents& events) {
  const platform::Rect& b = newDesc.bounds;
  if (Fails(log_, faults_, "CreateWindow", b.x, b.y, b.width, b.height, newDesc.text,
            newDesc.className))
    return 0;
  desc = newDesc;
  events_ = &events;
  created = true;
  handle = ownHandle;
  if (onCreate) onCreate();
  return handle;
}

void FakeWindowLayer::Show() {
  Fails(log_, faults_, "Show");
  visible = true;
}

void FakeWindowLayer::Hide() {
  Fails(log_, faults_, "Hide");
  visible = false;
}

void FakeWindowLayer::SetStateNormal() { Fails(log_, faults_, "SetStateNormal"); }

void FakeWindowLayer::Invalidate(const platform::Rect& client) {
  if (Fails(log_, faults_, "Invalidate", client.x, client.y, client.width, client.height)) return;
  ++invalidations;
}

void FakeWindowLayer::StartTimer(std::uint32_t intervalMs) {
  Fails(log_, faults_, "StartTimer", intervalMs);
  timerInterval = intervalMs;
}

void FakeWindowLayer::Destroy() {
  if (Fails(log_, faults_, "Destroy")) return;  // the window stays
  destroyed = true;
  visible = false;
  timerInterval = 0;
}

void FakeWindowLayer::RunMessageLoop() { log_.Record("RunMessageLoop"); }

void FakeWindowLayer::EndProcess(std::uint32_t exitCode) {
  log_.Record("EndProcess", exitCode);
  ended = true;
  if (onEnd) onEnd();
  throw ProcessEnded{};
}

void FakeWindowLayer::Tick() {
  if (!events_ || destroyed || timerInterval == 0) throw std::logic_error("no running timer");
  events_->OnTimer();
}

void FakeWindowLayer::Mouse(platform::MouseAction action, platform::Point client,
                            std::int16_t button) {
  const platform::Rect area{0, 0, desc.bounds.width, desc.bounds.height};
  if (mouse_.TargetOf(area.Contains(client) ? handle : 0) != handle) return;
  events_->OnMouse(action, client, button);
}

void FakeWindowLayer::Click(platform::Point client, std::int16_t button) {
  Mouse(platform::MouseAction::Down, client, button);
  Mouse(platform::MouseAction::Up, client, button);
}

void FakeWindowLayer::CloseRequest() { events_->OnCloseRequest(); }

void FakeWindowLayer::EndSession(bool ending) { events_->OnEndSession(ending); }

void FakeWindowLayer::CaptureLost() {
  if (mouse_.capture != handle) return;
  mouse_.capture = 0;
  CaptureChanged(kOtherWindow);
}

void FakeWindowLayer::CaptureChanged(platform::Handle winner) {
  if (winner != handle) events_->OnCaptureLost();
}

void FakeWindowLayer::MouseButtonsChanged() { events_->OnMouseButtonsChanged(); }

platform::Pointer FakeWindowLayer::PointerAt(platform::Point client) {
  return events_->PointerAt(client);
}

platform::LResult FakeWindowLayer::Receive(std::uint32_t message) {
  if (message < 0xC000 || !events_) return 0;
  return events_->OnRegisteredMessage(message).value_or(0);
}

std::vector<Drawn> FakeWindowLayer::Paint() {
  RecordingCanvas canvas;
  events_->OnPaint(canvas);
  return canvas.drawn;
}

}  // namespace fake
