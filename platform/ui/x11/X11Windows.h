#pragma once
// The X11 window system: the plug-in's own display connection (opened on the
// first window, closed with the last), child windows of the host's window,
// popups, helper windows without an X window, X events translated into the
// Win32 message numbers, and a posted-message queue and timers that Pump()
// runs on the host's UI thread.
//
// Xlib is used only on the thread that owns the windows (XInitThreads may
// not have been called by the host); PostMessage from other threads touches
// nothing but the queue and the set of live handles.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <map>
#include <mutex>
#include <set>

#include "platform/ui/MessageQueue.h"
#include "platform/ui/WindowSystem.h"

namespace platform::ui::x11 {

class X11WindowSystem final : public WindowSystem {
public:
  X11WindowSystem() = default;
  ~X11WindowSystem() override;

  const char* Name() const override { return "x11"; }
  Handle CreateChildWindow(Handle parent, const Rect& bounds, WindowClient* client) override;
  Handle CreatePopupWindow(const Rect& screenBounds, WindowClient* client) override;
  Handle CreateHelperWindow(WindowClient* client) override;
  void DestroyWindow(Handle window) override;
  bool IsWindow(Handle window) override;
  void SetBounds(Handle window, const Rect& bounds) override;
  void ShowWindow(Handle window, bool show) override;
  void ClientToScreen(Handle window, int32_t& x, int32_t& y) override;
  Rect ScreenRect() override;
  bool PostMessage(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) override;
  uintptr_t SetTimer(Handle window, uintptr_t id, uint32_t ms) override;
  void KillTimer(Handle window, uintptr_t id) override;
  void InvalidateRect(Handle window, const Rect* rect) override;
  bool GetUpdateRect(Handle window, Rect& rect) override;
  PaintTarget* BeginPaint(Handle window) override;
  void EndPaint(Handle window, PaintTarget* target) override;
  void OffsetOrigin(PaintTarget& target, int32_t dx, int32_t dy) override;
  void IntersectClip(PaintTarget& target, const Rect& rect) override;
  void SetCapture(Handle window) override;
  void ReleaseCapture() override;
  Handle GetCapture() override { return FCapture; }
  void TrackMouseLeave(Handle window) override;
  bool GetCursorPos(int32_t& x, int32_t& y) override;
  void SetCursorPos(int32_t x, int32_t y) override;
  void ShowCursor(Handle window, bool show) override;
  uint32_t KeyState() override;
  void SetFocus(Handle window) override;
  bool HasFocus(Handle window) override { return window != 0 && window == FFocus; }
  void Pump() override;

private:
  // The client-sized image a paint draws into and EndPaint puts to the window.
  struct BackBuffer {
    XImage* Image = nullptr;
    XShmSegmentInfo Shm{};
    bool Shared = false;
    uint32_t* Pixels = nullptr;  // the image's data, or a separate buffer when its layout differs
    bool Separate = false;
    int32_t Width = 0, Height = 0;
  };
  struct Window {
    Handle Id = 0;
    ::Window Xid = 0;   // 0: helper window
    Handle Parent = 0;  // one of ours; 0 for a host parent, popups and helpers
    WindowClient* Client = nullptr;
    int32_t Width = 1, Height = 1;
    bool Visible = false;
    bool TrackLeave = false;
    bool CursorHidden = false;
    Rect Update;
    Rect Painting;  // the update rectangle BeginPaint handed out
    GC Gc = nullptr;
    BackBuffer Buffer;
    PaintTarget Target;
  };

  bool OpenDisplay();
  void CloseDisplayIfUnused();
  // Runs an Xlib request under the error trap: true when the server reported no error.
  template <class F>
  bool Trapped(F&& request);
  Window* Find(Handle window);
  Handle AddWindow(Window w);
  Handle CreateXWindow(::Window parentXid, Handle parent, const Rect& bounds, bool popup, WindowClient* client);
  void Forget(Handle window, bool xAlive);
  bool Deliver(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
  bool EnsureBuffer(Window& w);
  void FreeBuffer(BackBuffer& b);
  void HandleEvent(XEvent& e);
  uintptr_t MouseFlags(unsigned state) const;
  void PaintPending();
  static uint64_t NowMs();

  Display* FDisplay = nullptr;
  bool FShmAvailable = false;
  Cursor FBlankCursor = 0;
  std::map<Handle, Window> FWindows;
  std::mutex FLiveLock;    // guards FLive for PostMessage from other threads
  std::set<Handle> FLive;  // the handles of FWindows
  Handle FNextHelper = 0;
  MessageQueue FQueue;
  Handle FCapture = 0, FFocus = 0;
  unsigned FLastState = 0;
  // The last press, to turn a second one into a double-click.
  Handle FClickWindow = 0;
  unsigned FClickButton = 0;
  Time FClickTime = 0;
  int32_t FClickX = 0, FClickY = 0;
  bool FPumping = false;
};

}  // namespace platform::ui::x11
