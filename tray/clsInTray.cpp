#include "tray/clsInTray.h"

#include <algorithm>
#include <stdexcept>

#include "platform/constants.h"
#include "tray/modInTray.h"

namespace tray {

namespace {

constexpr const char* kClassName = "VB InTray Class";
constexpr const char* kWindowName = "VB InTray Hidden Window";
constexpr std::size_t kFieldsSize = 24;  // six 32-bit fields ahead of the tip
constexpr std::uint32_t CP_ACP = 0;

void Put32(platform::NotifyIconDataA& form, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    form.bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One character in the ANSI code page: one or two bytes. Every ANSI code
// page agrees with ASCII below 0x80, so only the others ask the system.
std::size_t ToAnsi(platform::Shell& shell, char16_t ch, char (&out)[2]) {
  if (ch < 0x80) {
    out[0] = static_cast<char>(ch);
    return 1;
  }
  const std::int32_t n = shell.WideCharToMultiByte(CP_ACP, 0, &ch, 1, out, 2, nullptr, nullptr);
  if (n == 1 || n == 2) return static_cast<std::size_t>(n);
  out[0] = '?';
  return 1;
}

}  // namespace

std::array<char16_t, kTipLength> TipField(std::u16string_view text) {
  std::array<char16_t, kTipLength> field;
  field.fill(u' ');
  const std::size_t kept = std::min(text.size(), kTipLength - 1);
  std::copy_n(text.begin(), kept, field.begin());
  field[kept] = u'\0';
  return field;
}

platform::NotifyIconDataA CallForm(const NotifyIconRecord& record, platform::Shell& shell) {
  platform::NotifyIconDataA form;  // zero bytes
  Put32(form, 0, record.cbSize);
  Put32(form, 4, record.hWnd);
  Put32(form, 8, record.uID);
  Put32(form, 12, record.uFlags);
  Put32(form, 16, record.uCallbackMessage);
  Put32(form, 20, record.hIcon);

  // Characters are placed whole or not at all. Up to the terminator the last
  // byte stays reserved for it, and once a character of the text does not
  // fit, the rest of the text is dropped rather than shown with a gap. After
  // the terminator the padding goes on while it fits; zero bytes fill the rest.
  const std::size_t end = form.bytes.size();
  std::size_t at = kFieldsSize;
  bool inText = true;
  bool textCut = false;
  for (const char16_t ch : record.szTip) {
    if (inText && ch == u'\0') {
      form.bytes[at++] = 0;
      inText = false;
      continue;
    }
    if (inText && textCut) continue;
    char bytes[2];
    const std::size_t n = ToAnsi(shell, ch, bytes);
    if (at + n > (inText ? end - 1 : end)) {
      if (!inText) break;
      textCut = true;
      continue;
    }
    for (std::size_t i = 0; i < n; ++i) form.bytes[at++] = static_cast<std::uint8_t>(bytes[i]);
  }
  return form;
}

InTrayRef clsInTray::Create(platform::Win32& win32) { return InTrayRef(new clsInTray(win32)); }

clsInTray::clsInTray(platform::Win32& win32) : win32_(win32) {
  AttachPlatform(win32_);
  sClassName = kClassName;

  platform::WndClassA wc;
  wc.style = 0;
  wc.lpfnWndProc = FnAddress(&TrayWndProc);
  wc.hInstance = win32_.GetModuleHandleA(nullptr);
  wc.lpszClassName = sClassName.c_str();
  // A later object finds the class registered already; that failure is harmless.
  win32_.RegisterClassA(wc);

  // hInstance NULL, unlike the class: the class is found by its name.
  hWndHidden = win32_.CreateWindowExA(0, sClassName.c_str(), kWindowName, 0, 0, 0, 100, 100, 0, 0,
                                      0, nullptr);
  win32_.SetWindowLongA(hWndHidden, platform::GWL_USERDATA, PtrFromObj(this));
  // A program started as administrator hears nothing the unelevated shell
  // sends unless it lets the message in: without this, no icon after a
  // restart of the taskbar. The window's first message registered it.
  if (hWndHidden != 0 && State().msgTaskbarCreated != 0)
    win32_.ChangeWindowMessageFilterEx(hWndHidden, State().msgTaskbarCreated,
                                       platform::MSGFLT_ALLOW, nullptr);

  nid.cbSize = platform::NotifyIconDataA::kSize;
  nid.hIcon = 0;
  nid.hWnd = static_cast<std::uint32_t>(hWndHidden);
  nid.szTip = TipField(u"");
  nid.uCallbackMessage = WM_TRAYICON;
  nid.uFlags = 7;
  nid.uID = 0;
}

void clsInTray::Destroy() {
  // The window goes first, so that no message can reach the object once it is gone.
  win32_.SendMessageA(hWndHidden, platform::WM_CLOSE, 0, 0);
  // The shell finds the icon by the record's window and id, though the window is gone.
  if (bInTray != platform::kFalse) RemoveIcon();
  // Fails, silently, while another object's window of the class exists.
  win32_.UnregisterClassA(sClassName.c_str(), win32_.GetModuleHandleA(nullptr));
}

void clsInTray::AddRef() { ++refCount_; }

void clsInTray::Release() {
  if (--refCount_ > 0) return;
  struct Free {
    clsInTray* obj;
    ~Free() { delete obj; }
  } owner{this};
  Destroy();
}

platform::Handle clsInTray::hIcon() const {
  // Icon handles carry 32 significant bits; the platform sign-extends them.
  return static_cast<platform::Handle>(
      static_cast<std::intptr_t>(static_cast<std::int32_t>(nid.hIcon)));
}

void clsInTray::hIcon(platform::Handle newhIcon) {
  nid.hIcon = static_cast<std::uint32_t>(newhIcon);
}

std::u16string clsInTray::Tip() const { return std::u16string(nid.szTip.begin(), nid.szTip.end()); }

void clsInTray::Tip(std::u16string_view szTip) { nid.szTip = TipField(szTip); }

bool clsInTray::Notify(std::uint32_t dwMessage) {
  return win32_.Shell_NotifyIconA(dwMessage, CallForm(nid, win32_)) != 0;
}

// bInTray records the request, not the shell's answer: an icon the shell
// refused is added again when the taskbar announces itself.
bool clsInTray::AddIcon() {
  const bool accepted = Notify(platform::NIM_ADD);
  bInTray = platform::kTrue;
  return accepted;
}

bool clsInTray::ModifyIcon() { return Notify(platform::NIM_MODIFY); }

void clsInTray::RemoveIcon() {
  Notify(platform::NIM_DELETE);
  bInTray = platform::kFalse;
}

void clsInTray::RecreateIcon() {
  // A restarted taskbar has dropped every icon, so the icon is added, not modified.
  if (bInTray == platform::kFalse) return;
  bInTray = platform::kFalse;
  AddIcon();
}

template <typename Raise>
void clsInTray::RaiseEvent(Raise raise) {
  // A receiver may come or go while the event is delivered.
  const std::vector<clsInTrayEvents*> receivers = receivers_;
  for (clsInTrayEvents* receiver : receivers) raise(*receiver);
}

void clsInTray::ProcessMessage(platform::WParam /*wParam: the icon's id, always 0*/,
                               platform::LParam lParam) {
  struct Entry {
    platform::LParam message;
    enum class Kind { Move, Down, Up, Dbl } kind;
    std::int16_t button;
  };
  using K = Entry::Kind;
  static constexpr Entry kTable[] = {
      {platform::WM_MOUSEMOVE, K::Move, 0},     {platform::WM_LBUTTONDOWN, K::Down, 1},
      {platform::WM_LBUTTONUP, K::Up, 1},       {platform::WM_LBUTTONDBLCLK, K::Dbl, 1},
      {platform::WM_RBUTTONDOWN, K::Down, 2},   {platform::WM_RBUTTONUP, K::Up, 2},
      {platform::WM_RBUTTONDBLCLK, K::Dbl, 2},  {platform::WM_MBUTTONDOWN, K::Down, 4},
      {platform::WM_MBUTTONUP, K::Up, 4},       {platform::WM_MBUTTONDBLCLK, K::Dbl, 4},
  };
  const auto entry = std::find_if(std::begin(kTable), std::end(kTable),
                                  [&](const Entry& e) { return e.message == lParam; });
  if (entry == std::end(kTable)) return;
  const std::int16_t Button = entry->button;
  switch (entry->kind) {
    case K::Move: RaiseEvent([](clsInTrayEvents& r) { r.MouseMove(); }); break;
    case K::Down: RaiseEvent([&](clsInTrayEvents& r) { r.MouseDown(Button); }); break;
    case K::Up: RaiseEvent([&](clsInTrayEvents& r) { r.MouseUp(Button); }); break;
    case K::Dbl: RaiseEvent([&](clsInTrayEvents& r) { r.DblClick(Button); }); break;
  }
}

void clsInTray::Advise(clsInTrayEvents& receiver) { receivers_.push_back(&receiver); }

void clsInTray::Unadvise(clsInTrayEvents& receiver) {
  receivers_.erase(std::remove(receivers_.begin(), receivers_.end(), &receiver), receivers_.end());
}

InTrayRef::~InTrayRef() {
  if (!obj_) return;
  try {
    obj_->Release();
  } catch (const std::exception& error) {
    ReportUntrappedError(error);
  } catch (...) {
    ReportUntrappedError(std::runtime_error("Unknown error while releasing the tray object"));
  }
}

void InTrayRef::Reset() {
  if (clsInTray* obj = std::exchange(obj_, nullptr)) obj->Release();
}

}  // namespace tray
