#pragma once
// The toolkit's composition and its host form.
//
// TGraphicCanvas is a non-windowed control of a form that owns one bitmap of
// its size. Every skinned control is a TGraphicElement attached to a canvas
// (GfxCanvas): it never paints through the window system; the canvas asks it
// to paint into the canvas bitmap (PaintTo) where it was damaged, bottom to
// top, and copies the bitmap to the window. The canvas keeps a visible
// region for its background and each element (its rectangle minus the
// opaque elements above it) and a list of disjoint damaged rectangles.
//
// TVCLForm is the base of every editor window: a hidden helper window that
// carries posted invalidations, refresh ticks, deferred frees and timers to
// the editor's thread; painting only its canvases; hover, mouse-leave and
// wheel routing; the active element that learns of clicks elsewhere; its
// timers (TVCLTimer, TVCLTimerRegister).
//
// Threads: Redraw, RedrawRect and PostInvalidate may be called from any
// thread (they take the element's lock, then the form's lock for a node from
// its allocator, and post a message). Everything else runs on the editor's
// thread. Lock order: element, then form.
//
// Rectangle nodes hold a pointer-sized link, so on 64-bit builds a node is
// 24 bytes instead of 20; a node posted to a form carries the target
// canvas's id in the same field.

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/forms/Controls.h"
#include "gfx/GraphicContainer.h"
#include "gfx/LinearBitmap.h"
#include "gfx/core/GraphicNotifyHost.h"
#include "gfx/core/InterlockedValue.h"
#include "gfx/core/SyncObject.h"
#include "gfx/staticMemoryManager.h"

// Toolkit messages (posted).
constexpr uint32_t TKM_INVALIDATE = 0x2400;
constexpr uint32_t TKM_REFRESH = 0x2401;
constexpr uint32_t TKM_FREEOBJECT = 0x2402;
constexpr uint32_t TKM_WHEELUP = 0x2403;
constexpr uint32_t TKM_WHEELDOWN = 0x2404;

struct TRectNode {
  int32_t Left, Top, Right, Bottom;  // inclusive
  union {
    TRectNode* Next;
    int32_t CanvasId;  // nodes posted to a form
  };
};

class TGraphicCanvas;
class TVCLForm;
class TVCLTimer;

class TGraphicElement : public TControl {
public:
  explicit TGraphicElement(TComponent* owner);
  ~TGraphicElement() override;

  TGraphicCanvas* GfxCanvas() const { return FGfxCanvas; }
  void SetGfxCanvas(TGraphicCanvas* canvas);
  bool TranspOnDisable() const { return FTranspOnDisable; }
  void SetTranspOnDisable(bool v) { FTranspOnDisable = v; }
  bool IsDiscreteRefresh() const { return FIsDiscreteRefresh; }
  void SetIsDiscreteRefresh(bool v) { FIsDiscreteRefresh = v; }
  TInterlockedValue& RefreshPending() { return FRefreshPending; }

  // Paints the element into the canvas bitmap, in element coordinates (the
  // viewport puts (0, 0) on the element's top-left and clips to the part
  // being repainted).
  virtual void PaintTo(TLinearBitmap& bitmap) = 0;
  virtual void Redraw();
  virtual void RedrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void PostInvalidate(const platform::ui::Rect& rect, bool layoutChanged);
  // Records this element as the active element of the outermost form.
  void MakeActive();

  // Window-system invalidation never reaches an element.
  void Invalidate() override {}
  void Repaint() override {}
  void Update() override {}
  void WndProc(TMessage& m) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;

  // Handlers the form calls (empty here).
  virtual void MouseLeave() {}
  virtual void TimerTick() {}
  virtual void WheelUp() {}
  virtual void WheelDown() {}
  virtual void ClickAway() {}

  platform::ui::Rect LastRect() const { return FLastRect; }
  const char* ClassName() const override { return "TGraphicElement"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void VisibleChanged() override;
  void EnabledChanged() override { Redraw(); }
  void FontChanged() override { Redraw(); }
  void ColorChanged() override { Redraw(); }
  void ParentFontChanged() override { Redraw(); }
  void Resize() override;

private:
  friend class TGraphicCanvas;
  TGraphicCanvas* Detach(bool damage);
  void CanvasNotify(TObject* sender, uint32_t code, int32_t param);

  TSyncObject FLock;
  TGraphicCanvas* FGfxCanvas = nullptr;
  TRectNode* FRegion = nullptr;  // head (bounding rectangle) + chain of visible pieces
  bool FTranspOnDisable = false;
  bool FIsDiscreteRefresh = false;
  TInterlockedValue FRefreshPending{0};
  platform::ui::Rect FLastRect{2, 0, 1, 0};
};

class TGraphicCanvas : public TControl {
public:
  explicit TGraphicCanvas(TComponent* owner);
  ~TGraphicCanvas() override;

  int32_t CanvasId() const { return FCanvasId; }
  TLinearBitmap& Bitmap() { return *FBitmap; }
  TGraphicNotifyHost& NotifyHost() { return *FNotify; }
  TStaticMemoryManager& Allocator() { return *FAllocator; }
  TGraphicContainer* Container() const { return FContainer; }
  void SetContainer(TGraphicContainer* container);
  int32_t RefreshInterval() const { return FRefreshInterval; }
  void SetRefreshInterval(int32_t ms);
  TVCLTimer* RefreshTimer() const { return FRefreshTimer.get(); }

  // A control's rectangle in canvas coordinates (inclusive).
  platform::ui::Rect ElementRect(const TControl* control) const;
  void AddDamage(platform::ui::Rect r, bool layoutChanged);
  void InvalidateAll();
  // Turns the elements' pending discrete refreshes into damage.
  void CollectDirty();

  // Inspection for tests and tools.
  std::vector<platform::ui::Rect> Damage() const;
  std::vector<platform::ui::Rect> RegionOf(const TGraphicElement* element) const;  // empty: none
  std::vector<platform::ui::Rect> BackgroundRegion() const;
  bool LayoutChanged() const { return FLayoutChanged; }
  int PaintCount() const { return FPaints; }

  void WndProc(TMessage& m) override;
  void Invalidate() override {}
  TGraphicCanvas* NextCanvas = nullptr;  // the form's canvas list
  const char* ClassName() const override { return "TGraphicCanvas"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void VisibleChanged() override { AddDamage(ElementRect(this), true); }

private:
  friend class TGraphicElement;
  TRectNode* NewNode(const platform::ui::Rect& r, TRectNode* next = nullptr);
  void ReleaseChain(TRectNode* first);
  void SubtractRect(TRectNode** link, const platform::ui::Rect& s);
  // Rejects a rectangle wholly outside the canvas or inverted; clamps the rest.
  bool ClampToCanvas(platform::ui::Rect& r) const;
  TRectNode* BuildRegion(const platform::ui::Rect& r);
  void ParticipatingElements(bool rebuild);
  void RebuildRegions();
  void Paint(platform::ui::PaintTarget* target);
  void PaintDamage();
  void PaintDamagedPieces();
  void ContainerNotify(TObject* sender, uint32_t code, int32_t param);

  int32_t FCanvasId;
  std::unique_ptr<TLinearBitmap> FBitmap;
  std::unique_ptr<TGraphicNotifyHost> FNotify;
  TGraphicContainer* FContainer = nullptr;
  std::unique_ptr<TStaticMemoryManager> FAllocator;
  int32_t FRefreshInterval = 0;
  std::unique_ptr<TVCLTimer> FRefreshTimer;
  std::vector<TGraphicElement*> FElements;
  TRectNode* FBackground = nullptr;
  bool FLayoutChanged = true;
  TRectNode* FDamage = nullptr;
  TRectNode* FDamageTail = nullptr;
  int FPaints = 0;
};

class TVCLTimerRegister;

// A timer armed on the helper window of the form its owner sits on.
class TVCLTimer {
public:
  explicit TVCLTimer(TGraphicCanvas* owner) : FOwnerCanvas(owner) {}
  explicit TVCLTimer(TGraphicElement* owner) : FOwnerElement(owner) {}
  ~TVCLTimer();
  TVCLTimer(const TVCLTimer&) = delete;
  TVCLTimer& operator=(const TVCLTimer&) = delete;

  int32_t Interval() const { return FInterval; }
  void SetInterval(int32_t ms);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Armed() const { return FArmed != 0; }
  int32_t TimerId() const { return FTimerId; }
  int32_t Slot() const { return FSlot; }
  TGraphicCanvas* OwnerCanvas() const { return FOwnerCanvas; }
  TGraphicElement* OwnerElement() const { return FOwnerElement; }

private:
  friend class TVCLTimerRegister;
  void Rearm();

  int32_t FInterval = 1000;
  bool FEnabled = false;
  uintptr_t FArmed = 0;
  int32_t FSlot = -1;
  int32_t FTimerId = 0;
  platform::ui::Handle FWindow = 0;
  TVCLForm* FForm = nullptr;
  TGraphicCanvas* FOwnerCanvas = nullptr;
  TGraphicElement* FOwnerElement = nullptr;
};

class TVCLTimerRegister {
public:
  static constexpr int kSlots = 256;
  explicit TVCLTimerRegister(TVCLForm* form) : FForm(form) {}
  void Register(TVCLTimer* timer);
  void Unregister(TVCLTimer* timer);
  TVCLTimer* FindTimer(int32_t id) const;

private:
  struct Slot {
    int32_t Id = 0;
    TVCLTimer* Timer = nullptr;
  };
  TVCLForm* FForm;
  int32_t FCounter = 0;
  Slot FSlots[kSlots];
};

class TVCLForm : public TCustomForm {
public:
  explicit TVCLForm(TComponent* owner);
  ~TVCLForm() override;

  platform::ui::Handle HelperWindow() const { return FHelper; }
  bool PostToHelper(uint32_t message, intptr_t lparam) { return PostToHelper(message, 0, lparam); }
  bool PostToHelper(uint32_t message, uintptr_t wparam, intptr_t lparam);
  // Posts TKM_INVALIDATE for a canvas with a node from the form's allocator
  // (any thread).
  void PostInvalidate(const platform::ui::Rect& r, int32_t canvasId, bool layoutChanged);

  bool NoClickFocus = false;
  TGraphicElement* ActiveElement = nullptr;
  TVCLForm* ActiveElementForm = nullptr;
  TControl* HoveredControl() const { return FHovered; }
  TGraphicCanvas* FirstCanvas() const { return FCanvases; }
  TVCLTimerRegister& TimerRegister() { return *FTimers; }

  // The active element of the outermost form above a control (walking up
  // through TVCLForms only).
  static void MakeActive(TGraphicElement* element);
  // Takes and clears the active element of the outermost form above from,
  // unless asking is that element.
  static TGraphicElement* TakeActive(TControl* from, TGraphicElement* asking);
  static void ReleaseActive(TGraphicElement* element);
  static TVCLForm* OutermostForm(TControl* start);

  const char* ClassName() const override { return "TVCLForm"; }

protected:
  void WndProc(TMessage& m) override;
  bool DoMouseWheelDown(TShiftState) override;
  bool DoMouseWheelUp(TShiftState) override;
  void ChildListChanged(TControl* child, bool inserted) override;
  virtual void RefreshTick(TGraphicCanvas* canvas);

private:
  void Dispatch(TMessage& m);
  void PaintCanvases(TMessage& m);
  void TrackHover(int32_t x, int32_t y);
  void HandleInvalidate(TMessage& m);
  void HandleTimer(int32_t id);

  platform::ui::Handle FHelper = 0;
  bool FTracking = false;
  TControl* FHovered = nullptr;
  TGraphicCanvas* FCanvases = nullptr;
  TGraphicCanvas* FCachedCanvas = nullptr;
  std::unique_ptr<TSyncObject> FLock;
  std::unique_ptr<TStaticMemoryManager> FAllocator;
  std::unique_ptr<TVCLTimerRegister> FTimers;
};
