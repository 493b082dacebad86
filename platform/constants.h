// Windows numbers the program passes, spelled out so that the portable side
// needs no Windows header.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

// Messages.
inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_SETTINGCHANGE = 0x001A;
inline constexpr std::uint32_t WM_CAPTURECHANGED = 0x0215;
inline constexpr std::uint32_t WM_NCCREATE = 0x0081;
inline constexpr std::uint32_t WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x0209;
inline constexpr std::uint32_t WM_USER = 0x0400;

inline constexpr std::uintptr_t HTCAPTION = 2;
inline constexpr std::int32_t GWL_USERDATA = -21;
inline constexpr std::uint32_t SPI_SETMOUSEBUTTONSWAP = 0x0021;
inline constexpr std::int32_t SM_SWAPBUTTON = 23;
inline constexpr std::uint32_t MSGFLT_ALLOW = 1;
inline constexpr std::uint32_t SMTO_ABORTIFHUNG = 0x0002;

// Virtual keys.
inline constexpr std::int32_t VK_CONTROL = 17;
inline constexpr std::int32_t VK_PAUSE = 19;
inline constexpr std::int32_t VK_SNAPSHOT = 44;
inline constexpr std::int32_t VK_RWIN = 92;
inline constexpr std::int32_t VK_F13 = 124;
inline constexpr std::int32_t VK_F14 = 125;
inline constexpr std::int32_t VK_F15 = 126;
inline constexpr std::int32_t VK_SCROLL = 145;
inline constexpr std::uint32_t KEYEVENTF_EXTENDEDKEY = 1;
inline constexpr std::uint32_t KEYEVENTF_KEYUP = 2;

// Shell.
inline constexpr std::int32_t SW_SHOWNORMAL = 1;
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

// GDI.
inline constexpr std::int32_t RGN_OR = 2;
inline constexpr std::int32_t RGN_COPY = 5;
inline constexpr std::int32_t LOGPIXELSX = 88;
inline constexpr std::int32_t LOGPIXELSY = 90;

// COM, as the shell's handlers need it on the calling thread.
inline constexpr std::uint32_t COINIT_APARTMENTTHREADED = 0x2;
inline constexpr std::uint32_t COINIT_DISABLE_OLE1DDE = 0x4;

// Registry: the predefined key, the access asked for, a value type, results.
inline constexpr Handle HKEY_CURRENT_USER =
    static_cast<Handle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001)));
inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::int32_t ERROR_SUCCESS = 0;

// Last errors.
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;
inline constexpr std::uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;

// Message boxes.
inline constexpr std::uint32_t MB_OK = 0;
inline constexpr std::uint32_t MB_ICONERROR = 0x10;
inline constexpr std::uint32_t MB_SETFOREGROUND = 0x10000;
inline constexpr std::uint32_t MB_TOPMOST = 0x40000;

}  // namespace platform
