// clsInTray: one notification-area icon and the hidden window that receives
// its mouse notifications, which the object turns into four events.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"
#include "platform/win32.h"

namespace tray {

// The notification message the shell sends to a hidden window.
inline constexpr std::uint32_t WM_TRAYICON = 1029;  // WM_USER + 5

inline constexpr std::size_t kTipLength = 64;

// The object's notification record: the first-version record's fields.
struct NotifyIconRecord {
  std::uint32_t cbSize = platform::NotifyIconDataA::kSize;
  std::uint32_t hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 7;  // NIF_MESSAGE | NIF_ICON | NIF_TIP
  std::uint32_t uCallbackMessage = WM_TRAYICON;
  std::uint32_t hIcon = 0;
  std::array<char16_t, kTipLength> szTip{};
};

// The tip field for a text: the text cut to 63 characters, a NUL, then
// spaces to the 64th character.
std::array<char16_t, kTipLength> TipField(std::u16string_view text);

// The 8-bit call form of a record, converted to the system's ANSI code page.
platform::NotifyIconDataA CallForm(const NotifyIconRecord& record, platform::Shell& shell);

// Receivers of a tray object's events. Each method does nothing unless a
// receiver overrides it. Button is a copy: changing it changes nothing.
class clsInTrayEvents {
 public:
  virtual void MouseMove() {}
  virtual void MouseUp(std::int16_t Button) { (void)Button; }
  virtual void MouseDown(std::int16_t Button) { (void)Button; }
  virtual void DblClick(std::int16_t Button) { (void)Button; }

 protected:
  ~clsInTrayEvents() = default;
};

class InTrayRef;

class clsInTray {
 public:
  // Creates an object and its hidden window; the caller holds the one counted reference.
  static InTrayRef Create(platform::Win32& win32);

  clsInTray(const clsInTray&) = delete;
  clsInTray& operator=(const clsInTray&) = delete;

  // Properties: they change the record only, nothing reaches the notification area.
  platform::Handle hIcon() const;
  void hIcon(platform::Handle newhIcon);
  std::u16string Tip() const;
  void Tip(std::u16string_view szTip);

  // Each says whether the shell accepted the call; nothing in the object
  // depends on it (bInTray records the request).
  bool AddIcon();
  bool ModifyIcon();
  void RemoveIcon();
  void ProcessMessage(platform::WParam wParam, platform::LParam lParam);
  void RecreateIcon();

  // Event receivers, delivered to synchronously in the order they registered.
  void Advise(clsInTrayEvents& receiver);
  void Unadvise(clsInTrayEvents& receiver);

  // The intrusive count; InTrayRef keeps it. The last Release runs the
  // destruction steps and frees the object, even if a step fails.
  void AddRef();
  void Release();
  std::uint32_t RefCount() const { return refCount_; }

  platform::Handle WindowHandle() const { return hWndHidden; }
  platform::Bool16 InTray() const { return bInTray; }

 private:
  explicit clsInTray(platform::Win32& win32);
  ~clsInTray() = default;
  void Destroy();
  bool Notify(std::uint32_t dwMessage);
  template <typename Raise>
  void RaiseEvent(Raise raise);

  platform::Handle hWndHidden = 0;
  NotifyIconRecord nid;
  platform::Bool16 bInTray = platform::kFalse;
  std::string sClassName;

  platform::Win32& win32_;
  std::uint32_t refCount_ = 0;
  std::vector<clsInTrayEvents*> receivers_;
};

// A counted reference to a tray object.
class InTrayRef {
 public:
  InTrayRef() = default;
  // Takes a new counted reference to obj.
  explicit InTrayRef(clsInTray* obj) : obj_(obj) {
    if (obj_) obj_->AddRef();
  }
  InTrayRef(const InTrayRef& other) : InTrayRef(other.obj_) {}
  InTrayRef(InTrayRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  InTrayRef& operator=(InTrayRef other) {
    std::swap(obj_, other.obj_);
    return *this;
  }
  // An implicit release has no caller to report to: an error from the
  // destruction steps takes the untrapped-error path.
  ~InTrayRef();

  // Clears the reference; an error from the destruction steps reaches the caller.
  void Reset();

  clsInTray* get() const { return obj_; }
  clsInTray* operator->() const { return obj_; }
  clsInTray& operator*() const { return *obj_; }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  clsInTray* obj_ = nullptr;
};

}  // namespace tray
