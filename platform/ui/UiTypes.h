#pragma once
// Shared types of the window-system and drawing ports: rectangles, the
// window message record and the Win32 message numbers every backend speaks.
// The toolkit above is written once against these numbers; the X11 and
// headless backends translate their events into them.

#include <cstdint>

namespace platform::ui {

// A window: an HWND on Win32, an id of the X11 or headless backend. 0 = none.
using Handle = uintptr_t;

// Inclusive rectangle (Right and Bottom are the last pixel inside).
struct Rect {
  int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;
  bool Empty() const { return Right < Left || Bottom < Top; }
  int32_t Width() const { return Right - Left + 1; }
  int32_t Height() const { return Bottom - Top + 1; }
};

// One window message: the number, its two parameters and the result the
// handler leaves.
struct Message {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

// Message numbers (Win32's values on every OS).
namespace msg {
constexpr uint32_t Destroy = 0x0002;
constexpr uint32_t Size = 0x0005;
constexpr uint32_t SetFocus = 0x0007;
constexpr uint32_t KillFocus = 0x0008;
constexpr uint32_t Paint = 0x000F;
constexpr uint32_t Close = 0x0010;
constexpr uint32_t EraseBkgnd = 0x0014;
constexpr uint32_t NcPaint = 0x0085;
constexpr uint32_t Timer = 0x0113;
constexpr uint32_t MouseMove = 0x0200;
constexpr uint32_t LButtonDown = 0x0201;
constexpr uint32_t LButtonUp = 0x0202;
constexpr uint32_t LButtonDblClk = 0x0203;
constexpr uint32_t RButtonDown = 0x0204;
constexpr uint32_t RButtonUp = 0x0205;
constexpr uint32_t RButtonDblClk = 0x0206;
constexpr uint32_t MButtonDown = 0x0207;
constexpr uint32_t MButtonUp = 0x0208;
constexpr uint32_t MButtonDblClk = 0x0209;
constexpr uint32_t MouseWheel = 0x020A;  // WParam high word: signed delta (120 a notch); LParam: screen point
constexpr uint32_t CaptureChanged = 0x0215;
constexpr uint32_t MouseLeave = 0x02A3;
constexpr uint32_t User = 0x0400;     // first application-range number
constexpr uint32_t AppLast = 0x7FFF;  // last application-range number
}  // namespace msg

// Key and button state in the WParam of mouse messages (Win32's MK_ flags).
namespace mk {
constexpr uint32_t LButton = 0x0001;
constexpr uint32_t RButton = 0x0002;
constexpr uint32_t Shift = 0x0004;
constexpr uint32_t Control = 0x0008;
constexpr uint32_t MButton = 0x0010;
}  // namespace mk

// Modifier keys held now (WindowSystem::KeyState); Alt is not part of the
// mouse messages on Win32, so it is asked separately.
namespace keys {
constexpr uint32_t Shift = 1;
constexpr uint32_t Control = 2;
constexpr uint32_t Alt = 4;
}  // namespace keys

// Point packing of mouse messages: signed 16-bit x in the low word, y in the high word.
inline intptr_t MakePointParam(int32_t x, int32_t y) {
  return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
inline int32_t PointX(intptr_t lp) { return static_cast<int16_t>(static_cast<uint32_t>(lp) & 0xFFFF); }
inline int32_t PointY(intptr_t lp) { return static_cast<int16_t>((static_cast<uint32_t>(lp) >> 16) & 0xFFFF); }

// Where a paint copies pixels to: a GDI device context (Win32) or a block of
// 32-bit memory (the X11 back buffer, the headless screen). Origin and clip
// are in device pixels; OffsetOrigin and IntersectClip change them the way
// the GDI calls of the same names do.
struct PaintTarget {
  void* NativeDC = nullptr;  // HDC when painting through GDI
  uint32_t* Bits = nullptr;  // memory target, rows of Width pixels
  int32_t Width = 0, Height = 0;
  int32_t OriginX = 0, OriginY = 0;  // device position of logical (0, 0)
  Rect Clip;                         // device pixels, inclusive
};

}  // namespace platform::ui
