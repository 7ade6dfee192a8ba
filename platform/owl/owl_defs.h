// The window layer's basic vocabulary: the system's message, system-command,
// scroll-bar, virtual-key, button-flag and show-state numbers, points, sizes,
// rectangles and colours as 0x00BBGGRR words. No Qt here: window classes above
// the layer see only these.
#pragma once

#include <cstdint>

#include "platform/host/host_types.h"

using i64 = std::int64_t;  // the message words are 64 bits wide here

// Window messages.
constexpr u32 WM_NULL = 0x0000;
constexpr u32 WM_CREATE = 0x0001;
constexpr u32 WM_DESTROY = 0x0002;
constexpr u32 WM_MOVE = 0x0003;
constexpr u32 WM_SIZE = 0x0005;
constexpr u32 WM_ACTIVATE = 0x0006;
constexpr u32 WM_SETFOCUS = 0x0007;
constexpr u32 WM_KILLFOCUS = 0x0008;
constexpr u32 WM_PAINT = 0x000F;
constexpr u32 WM_CLOSE = 0x0010;
constexpr u32 WM_ERASEBKGND = 0x0014;
constexpr u32 WM_GETMINMAXINFO = 0x0024;
constexpr u32 WM_KEYDOWN = 0x0100;
constexpr u32 WM_KEYUP = 0x0101;
constexpr u32 WM_CHAR = 0x0102;
constexpr u32 WM_SYSKEYDOWN = 0x0104;
constexpr u32 WM_SYSKEYUP = 0x0105;
constexpr u32 WM_SYSCHAR = 0x0106;
constexpr u32 WM_COMMAND = 0x0111;
constexpr u32 WM_SYSCOMMAND = 0x0112;
constexpr u32 WM_TIMER = 0x0113;
constexpr u32 WM_HSCROLL = 0x0114;
constexpr u32 WM_VSCROLL = 0x0115;
constexpr u32 WM_INITMENUPOPUP = 0x0117;
constexpr u32 WM_MENUSELECT = 0x011F;  // wParam: the command id under the pointer, 0 when none
constexpr u32 WM_MOUSEMOVE = 0x0200;
constexpr u32 WM_LBUTTONDOWN = 0x0201;
constexpr u32 WM_LBUTTONUP = 0x0202;
constexpr u32 WM_LBUTTONDBLCLK = 0x0203;
constexpr u32 WM_RBUTTONDOWN = 0x0204;
constexpr u32 WM_RBUTTONUP = 0x0205;
constexpr u32 WM_RBUTTONDBLCLK = 0x0206;
constexpr u32 WM_MBUTTONDOWN = 0x0207;
constexpr u32 WM_MBUTTONUP = 0x0208;
constexpr u32 WM_MBUTTONDBLCLK = 0x0209;
constexpr u32 WM_SIZING = 0x0214;
constexpr u32 WM_MDIACTIVATE = 0x0222;
constexpr u32 WM_USER = 0x0400;

// WM_SIZE types.
constexpr u32 SIZE_RESTORED = 0;
constexpr u32 SIZE_MINIMIZED = 1;
constexpr u32 SIZE_MAXIMIZED = 2;

// WM_SIZING edges.
constexpr u32 WMSZ_LEFT = 1;
constexpr u32 WMSZ_RIGHT = 2;
constexpr u32 WMSZ_TOP = 3;
constexpr u32 WMSZ_BOTTOM = 6;
constexpr u32 WMSZ_BOTTOMRIGHT = 8;

// System commands (WM_SYSCOMMAND).
constexpr u32 SC_SIZE = 0xF000;
constexpr u32 SC_MOVE = 0xF010;
constexpr u32 SC_MINIMIZE = 0xF020;
constexpr u32 SC_MAXIMIZE = 0xF030;
constexpr u32 SC_NEXTWINDOW = 0xF040;
constexpr u32 SC_PREVWINDOW = 0xF050;
constexpr u32 SC_CLOSE = 0xF060;
constexpr u32 SC_RESTORE = 0xF120;

// Scroll-bar codes (WM_VSCROLL, WM_HSCROLL).
constexpr u32 SB_LINEUP = 0;
constexpr u32 SB_LINEDOWN = 1;
constexpr u32 SB_PAGEUP = 2;
constexpr u32 SB_PAGEDOWN = 3;
constexpr u32 SB_THUMBPOSITION = 4;
constexpr u32 SB_THUMBTRACK = 5;
constexpr u32 SB_TOP = 6;
constexpr u32 SB_BOTTOM = 7;
constexpr u32 SB_ENDSCROLL = 8;

// Button and modifier flags of the mouse messages.
constexpr u32 MK_LBUTTON = 0x01;
constexpr u32 MK_RBUTTON = 0x02;
constexpr u32 MK_SHIFT = 0x04;
constexpr u32 MK_CONTROL = 0x08;
constexpr u32 MK_MBUTTON = 0x10;

// Key-message flags (the high half of the key data): extended key, Alt held
// (context code), key was down before (a repeat), key is being released.
constexpr u32 KF_EXTENDED = 0x0100;
constexpr u32 KF_ALTDOWN = 0x2000;
constexpr u32 KF_REPEAT = 0x4000;
constexpr u32 KF_UP = 0x8000;

// Virtual keys. Letters and digits are their ASCII upper-case codes.
constexpr u32 VK_BACK = 0x08;
constexpr u32 VK_TAB = 0x09;
constexpr u32 VK_CLEAR = 0x0C;
constexpr u32 VK_RETURN = 0x0D;
constexpr u32 VK_SHIFT = 0x10;
constexpr u32 VK_CONTROL = 0x11;
constexpr u32 VK_MENU = 0x12;  // Alt
constexpr u32 VK_PAUSE = 0x13;
constexpr u32 VK_CAPITAL = 0x14;
constexpr u32 VK_ESCAPE = 0x1B;
constexpr u32 VK_SPACE = 0x20;
constexpr u32 VK_PRIOR = 0x21;  // Page Up
constexpr u32 VK_NEXT = 0x22;   // Page Down
constexpr u32 VK_END = 0x23;
constexpr u32 VK_HOME = 0x24;
constexpr u32 VK_LEFT = 0x25;
constexpr u32 VK_UP = 0x26;
constexpr u32 VK_RIGHT = 0x27;
constexpr u32 VK_DOWN = 0x28;
constexpr u32 VK_SNAPSHOT = 0x2C;
constexpr u32 VK_INSERT = 0x2D;
constexpr u32 VK_DELETE = 0x2E;
constexpr u32 VK_HELP = 0x2F;
constexpr u32 VK_APPS = 0x5D;
constexpr u32 VK_NUMPAD0 = 0x60;  // to VK_NUMPAD9 0x69
constexpr u32 VK_MULTIPLY = 0x6A;
constexpr u32 VK_ADD = 0x6B;
constexpr u32 VK_SUBTRACT = 0x6D;
constexpr u32 VK_DECIMAL = 0x6E;
constexpr u32 VK_DIVIDE = 0x6F;
constexpr u32 VK_F1 = 0x70;  // to VK_F24 0x87
constexpr u32 VK_F10 = 0x79;
constexpr u32 VK_F24 = 0x87;
constexpr u32 VK_NUMLOCK = 0x90;
constexpr u32 VK_SCROLL = 0x91;
constexpr u32 VK_OEM_1 = 0xBA;       // ; :
constexpr u32 VK_OEM_PLUS = 0xBB;    // = +
constexpr u32 VK_OEM_COMMA = 0xBC;   // , <
constexpr u32 VK_OEM_MINUS = 0xBD;   // - _
constexpr u32 VK_OEM_PERIOD = 0xBE;  // . >
constexpr u32 VK_OEM_2 = 0xBF;       // / ?
constexpr u32 VK_OEM_3 = 0xC0;       // ` ~
constexpr u32 VK_OEM_4 = 0xDB;       // [ {
constexpr u32 VK_OEM_5 = 0xDC;       // \ |
constexpr u32 VK_OEM_6 = 0xDD;       // ] }
constexpr u32 VK_OEM_7 = 0xDE;       // ' "

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

// Menu item states as GetMenuState answers them.
constexpr u32 MF_GRAYED = 0x0001;
constexpr u32 MF_CHECKED = 0x0008;

// Message-box styles beyond host_ui.h's.
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_TASKMODAL = 0x2000;

struct TPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// left and top inside, right and bottom outside.
struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  constexpr bool Contains(TPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// A colour as the system stores it: 0x00BBGGRR.
using COLORREF = u32;
constexpr COLORREF owl_rgb(u8 r, u8 g, u8 b) { return COLORREF(r) | COLORREF(g) << 8 | COLORREF(b) << 16; }
constexpr u8 owl_red(COLORREF c) { return u8(c); }
constexpr u8 owl_green(COLORREF c) { return u8(c >> 8); }
constexpr u8 owl_blue(COLORREF c) { return u8(c >> 16); }

// The halves of a 32-bit message word.
constexpr u16 owl_lo(u64 v) { return u16(v); }
constexpr u16 owl_hi(u64 v) { return u16(v >> 16); }
constexpr i64 owl_make_long(u16 lo, u16 hi) { return i64(u32(lo) | u32(hi) << 16); }
