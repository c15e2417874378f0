#pragma once
// The headless window system: windows are rectangles in memory, paints land
// in a per-window pixel store, input is injected by the test, and time is a
// manual clock. Tests install it with SetWindowSystem and drive the real
// toolkit through it; Screen() composes what a person would see.
//
// One thread drives it (the test's); PostMessage may come from any thread.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/MessageQueue.h"
#include "platform/ui/WindowSystem.h"

namespace platform::ui {

class HeadlessWindowSystem : public WindowSystem {
public:
  explicit HeadlessWindowSystem(int32_t screenWidth = 1280, int32_t screenHeight = 1024);
  ~HeadlessWindowSystem() override;

  // --- the test's side ---
  // A visible top-level window standing for a host's editor parent.
  Handle CreateHostWindow(const Rect& screenBounds);
  // Moves the manual clock on and runs everything that became due.
  void Advance(uint64_t ms);
  uint64_t Now() const { return FNow; }
  // Synthetic input at screen coordinates. Buttons: 0 left, 1 right, 2 middle.
  void MouseMove(int32_t x, int32_t y);
  void MouseDown(int button, int32_t x, int32_t y);
  void MouseUp(int button, int32_t x, int32_t y);
  void DoubleClick(int button, int32_t x, int32_t y);    // Win32 order: down, up, double-click, up
  void Wheel(int32_t delta, int32_t x, int32_t y);       // 120 per notch, up positive
  void SetKeys(uint32_t keysHeld) { FKeys = keysHeld; }  // keys:: flags
  // The composed screen (0x00RRGGBB): visible windows, parents below children,
  // top-level windows in creation order. Pixels never painted are 0.
  std::vector<uint32_t> Screen();
  uint32_t ScreenPixel(int32_t x, int32_t y);
  int32_t ScreenWidth() const { return FScreenW; }
  int32_t ScreenHeight() const { return FScreenH; }
  // What one window painted last (its client area, 0x00RRGGBB).
  const std::vector<uint32_t>* WindowPixels(Handle window);
  int PaintCount(Handle window);  // paints that reached BeginPaint
  int BeginPaintCalls() const { return FBeginPaintCalls; }
  bool CursorHidden() const { return FCursorHidden; }
  size_t WindowCount() const { return FWindows.size(); }
  Rect WindowRect(Handle window);  // screen coordinates
  bool IsVisible(Handle window);   // shown, and every parent shown

  // --- WindowSystem ---
  const char* Name() const override { return "headless"; }
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
  uint32_t KeyState() override { return FKeys; }
  void SetFocus(Handle window) override;
  bool HasFocus(Handle window) override { return window != 0 && window == FFocus; }
  void Pump() override;

private:
  struct Window {
    Handle Id = 0;
    Handle Parent = 0;
    WindowClient* Client = nullptr;
    Rect Bounds;  // parent's client coordinates, or screen for top-level windows
    bool Visible = false;
    bool Helper = false;
    bool Host = false;
    Rect Update;  // bounding rectangle of the update region (client coordinates)
    std::vector<uint32_t> Pixels;
    int Paints = 0;
    uint64_t Order = 0;  // creation order
  };
  Window* Find(Handle window);
  Handle NewWindow(Handle parent, const Rect& bounds, WindowClient* client, bool helper, bool host);
  bool Deliver(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
  // The deepest visible non-helper window at a screen point (0: none).
  Handle WindowAt(int32_t x, int32_t y);
  void ScreenToClient(Handle window, int32_t& x, int32_t& y);
  void MouseButton(uint32_t message, int32_t x, int32_t y, uint32_t buttonFlag, bool down);
  uintptr_t MouseFlags() const;
  void PaintPending();

  int32_t FScreenW, FScreenH;
  std::map<Handle, Window> FWindows;
  Handle FNextId = 0x100;
  uint64_t FOrder = 0;
  MessageQueue FQueue;
  uint64_t FNow = 0;
  int32_t FCursorX = 0, FCursorY = 0;
  uint32_t FKeys = 0;
  uint32_t FButtons = 0;  // mk:: button flags held
  Handle FCapture = 0;
  Handle FFocus = 0;
  Handle FHovered = 0;   // window under the pointer at the last move
  Handle FTracking = 0;  // window that asked for a mouse-leave
  bool FCursorHidden = false;
  Handle FCursorWindow = 0;  // the window the pointer is hidden over
  int FBeginPaintCalls = 0;
  std::vector<std::unique_ptr<PaintTarget>> FTargets;
  bool FPumping = false;
};

}  // namespace platform::ui
