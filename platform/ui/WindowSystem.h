#pragma once
// Port: the window system the editor's forms live in.
//
// Win32: real windows (RegisterClassA "KestruneVCLClass" for the helper
// windows, CreateWindowExA, PostMessageA, SetTimer, BeginPaint, BitBlt,
// TrackMouseEvent); the host's message loop delivers everything.
// X11: the plug-in's own display connection, child windows of the host's
// window, events translated into Win32 message numbers, a posted-message
// queue and timers that Pump() runs; the host's UI thread calls Pump() from
// effEditIdle, so the editor has no thread of its own.
// Headless (tests): in-memory windows, synthetic input and a manual clock.
//
// Threads: PostMessage may be called from any thread and never allocates in
// the X11 and headless backends (a fixed ring, one mutex). Everything else is
// called on the thread that owns the windows.

#include <cstdint>

#include "platform/ui/UiTypes.h"

namespace platform::ui {

// Receives the messages of a window. Return true when the message was handled
// (m.Result then holds the answer); false lets the backend do its default.
class WindowClient {
public:
  virtual ~WindowClient() = default;
  virtual bool WindowProc(Handle window, Message& m) = 0;
};

class WindowSystem {
public:
  virtual ~WindowSystem() = default;
  virtual const char* Name() const = 0;

  // A child window of parent (a host's HWND or XID, or one of ours), hidden,
  // at bounds in the parent's client coordinates. 0 when the parent is not a
  // live window or there is no display.
  virtual Handle CreateChildWindow(Handle parent, const Rect& bounds, WindowClient* client) = 0;
  // A borderless top-level window placed in screen coordinates, hidden (popup
  // lists). 0 on failure.
  virtual Handle CreatePopupWindow(const Rect& screenBounds, WindowClient* client) = 0;
  // A hidden window that only receives posted messages and timers. 0 on failure.
  virtual Handle CreateHelperWindow(WindowClient* client) = 0;
  // Destroys a window and its child windows; their clients get no more messages.
  virtual void DestroyWindow(Handle window) = 0;
  virtual bool IsWindow(Handle window) = 0;

  virtual void SetBounds(Handle window, const Rect& bounds) = 0;  // parent's client coordinates
  virtual void ShowWindow(Handle window, bool show) = 0;
  virtual void ClientToScreen(Handle window, int32_t& x, int32_t& y) = 0;
  // Size of the screen (popups keep inside it).
  virtual Rect ScreenRect() = 0;

  // Queues a message for the window's client (any thread). False when the
  // window is gone or the queue is full.
  virtual bool PostMessage(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;
  // Arms (or re-arms) timer id on the window: msg::Timer with WParam = id
  // every ms milliseconds. Returns non-zero on success.
  virtual uintptr_t SetTimer(Handle window, uintptr_t id, uint32_t ms) = 0;
  virtual void KillTimer(Handle window, uintptr_t id) = 0;

  // Adds rect (client coordinates; null: the whole client area) to the
  // window's update region; a msg::Paint follows.
  virtual void InvalidateRect(Handle window, const Rect* rect) = 0;
  // The bounding rectangle of the update region; false when there is none.
  virtual bool GetUpdateRect(Handle window, Rect& rect) = 0;
  // Starts painting the update region (null on failure) and validates it.
  virtual PaintTarget* BeginPaint(Handle window) = 0;
  virtual void EndPaint(Handle window, PaintTarget* target) = 0;
  // Moves the target's origin by (dx, dy) and intersects its clip with rect
  // given in logical coordinates (after the move).
  virtual void OffsetOrigin(PaintTarget& target, int32_t dx, int32_t dy) = 0;
  virtual void IntersectClip(PaintTarget& target, const Rect& rect) = 0;

  // Mouse.
  virtual void SetCapture(Handle window) = 0;
  virtual void ReleaseCapture() = 0;
  virtual Handle GetCapture() = 0;
  // One msg::MouseLeave when the pointer leaves the window.
  virtual void TrackMouseLeave(Handle window) = 0;
  virtual bool GetCursorPos(int32_t& x, int32_t& y) = 0;  // screen coordinates
  virtual void SetCursorPos(int32_t x, int32_t y) = 0;
  // Hides the pointer while it is over window (false: shows it again).
  virtual void ShowCursor(Handle window, bool show) = 0;
  // keys::Shift | keys::Control | keys::Alt held now.
  virtual uint32_t KeyState() = 0;

  virtual void SetFocus(Handle window) = 0;
  virtual bool HasFocus(Handle window) = 0;

  // Runs what is due on the calling thread: window-system events, posted
  // messages, expired timers, pending paints. Win32: nothing (the host's
  // message loop does this).
  virtual void Pump() = 0;
};

// The process's window system: the native one unless a test installed another.
WindowSystem& Windows();
// Installs a backend (null: back to the native one); returns the previous one.
WindowSystem* SetWindowSystem(WindowSystem* backend);
// The native backend of this OS (Win32 or X11).
WindowSystem& NativeWindowSystem();

}  // namespace platform::ui
