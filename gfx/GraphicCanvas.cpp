#include "gfx/GraphicCanvas.h"

#include <algorithm>
#include <cstdio>

#include "classlib/Dialogs.h"
#include "platform/Fpu.h"

using platform::ui::Rect;
using platform::ui::Windows;
namespace msg = platform::ui::msg;

namespace {

// The canvas id counter and its lock, process-wide.
TSyncObject& CanvasIdLock() {
  static TSyncObject lock;
  return lock;
}
int32_t gNextCanvasId = 1;

bool Intersects(const TRectNode& r, const Rect& s) {
  return r.Bottom >= s.Top && r.Right >= s.Left && s.Bottom >= r.Top && s.Right >= r.Left;
}
Rect Meet(const TRectNode& a, const Rect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
}
Rect RectOf(const TRectNode& n) { return {n.Left, n.Top, n.Right, n.Bottom}; }

}  // namespace

// ---------------------------------------------------------------- element

TGraphicElement::TGraphicElement(TComponent* owner) : TControl(owner) {}

TGraphicElement::~TGraphicElement() {
  TVCLForm::ReleaseActive(this);
  TGraphicCanvas* old;
  {
    TSyncLock lock(FLock);
    old = Detach(true);
  }
  if (old) old->NotifyHost().Unsubscribe(this);
  SetParent(nullptr);
}

// The canvas's notifier calls CanvasNotify under its own lock, which then
// takes the element's; so the element never holds its lock while it
// subscribes or unsubscribes there (the caller does that after unlocking).
TGraphicCanvas* TGraphicElement::Detach(bool damage) {
  TGraphicCanvas* c = FGfxCanvas;
  if (!c) return nullptr;
  if (damage && (Visible() || Designing())) c->AddDamage(c->ElementRect(this), true);
  c->ReleaseChain(FRegion);
  FRegion = nullptr;
  FGfxCanvas = nullptr;
  return c;
}

void TGraphicElement::CanvasNotify(TObject*, uint32_t code, int32_t) {
  if (code != 0) return;
  TSyncLock lock(FLock);
  if (FGfxCanvas) FGfxCanvas->ReleaseChain(FRegion);
  FRegion = nullptr;
  FGfxCanvas = nullptr;
}

void TGraphicElement::SetGfxCanvas(TGraphicCanvas* canvas) {
  TGraphicCanvas* old;
  {
    TSyncLock lock(FLock);
    if (canvas == FGfxCanvas) return;
    old = Detach(true);
  }
  if (old) old->NotifyHost().Unsubscribe(this);
  if (!canvas) return;
  canvas->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicElement::CanvasNotify));
  TSyncLock lock(FLock);
  FRegion = nullptr;
  FGfxCanvas = canvas;
  FLastRect = canvas->ElementRect(this);
  if (Visible() || Designing()) canvas->AddDamage(FLastRect, true);
}

void TGraphicElement::PostInvalidate(const Rect& rect, bool layoutChanged) {
  if (Designing()) {
    if (FGfxCanvas) FGfxCanvas->AddDamage(rect, layoutChanged);
    return;
  }
  if (layoutChanged || !FIsDiscreteRefresh) {
    auto* form = dynamic_cast<TVCLForm*>(Parent());
    if (form && form->HelperWindow() && FGfxCanvas) form->PostInvalidate(rect, FGfxCanvas->CanvasId(), layoutChanged);
    return;
  }
  FRefreshPending.Exchange(1);
}

void TGraphicElement::Redraw() {
  TSyncLock lock(FLock);
  if ((Visible() || Designing()) && FGfxCanvas) PostInvalidate(FGfxCanvas->ElementRect(this), false);
}

void TGraphicElement::RedrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  TSyncLock lock(FLock);
  if (!(Visible() || Designing()) || !FGfxCanvas) return;
  int32_t dx = Left() - FGfxCanvas->Left(), dy = Top() - FGfxCanvas->Top();
  PostInvalidate({x1 + dx, y1 + dy, x2 + dx, y2 + dy}, false);
}

void TGraphicElement::VisibleChanged() {
  TSyncLock lock(FLock);
  if (FGfxCanvas) PostInvalidate(FGfxCanvas->ElementRect(this), true);
}

void TGraphicElement::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  TControl::SetBounds(left, top, width, height);
}

void TGraphicElement::Resize() {
  {
    TSyncLock lock(FLock);
    if ((Visible() || Designing()) && FGfxCanvas) {
      if (!FLastRect.Empty() || FLastRect.Right >= FLastRect.Left) PostInvalidate(FLastRect, true);
      FLastRect = FGfxCanvas->ElementRect(this);
      PostInvalidate(FLastRect, false);
    }
  }
  TControl::Resize();
}

void TGraphicElement::WndProc(TMessage& m) {
  if (m.Msg == msg::Paint || m.Msg == msg::EraseBkgnd || m.Msg == msg::NcPaint) {
    m.Result = 0;
    return;
  }
  TControl::WndProc(m);
}

void TGraphicElement::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TControl::MouseDown(button, shift, x, y);
  if (TGraphicElement* active = TVCLForm::TakeActive(this, this)) active->ClickAway();
}

void TGraphicElement::MakeActive() { TVCLForm::MakeActive(this); }

// ---------------------------------------------------------------- canvas

TGraphicCanvas::TGraphicCanvas(TComponent* owner)
    : TControl(owner),
      FBitmap(std::make_unique<TLinearBitmap>()),
      FNotify(std::make_unique<TGraphicNotifyHost>(this)),
      FAllocator(std::make_unique<TStaticMemoryManager>(static_cast<int32_t>(sizeof(TRectNode)), 10)) {
  {
    TSyncLock lock(CanvasIdLock());
    FCanvasId = gNextCanvasId++;
  }
  SetBounds(0, 0, 32, 32);
  SetOpaque(true);
}

TGraphicCanvas::~TGraphicCanvas() {
  FRefreshTimer.reset();
  FNotify.reset();  // elements hear code 0 and let go of their regions
  if (FContainer) FContainer->NotifyHost().Unsubscribe(this);
  SetParent(nullptr);  // leaves the form's canvas list while still a canvas
  ReleaseChain(FBackground);
  ReleaseChain(FDamage);
}

Rect TGraphicCanvas::ElementRect(const TControl* control) const {
  if (control == this) return {0, 0, Width() - 1, Height() - 1};
  return {control->Left() - Left(), control->Top() - Top(), control->Left() + control->Width() - Left() - 1,
          control->Top() + control->Height() - Top() - 1};
}

TRectNode* TGraphicCanvas::NewNode(const Rect& r, TRectNode* next) {
  auto* n = static_cast<TRectNode*>(FAllocator->Alloc());
  n->Left = r.Left;
  n->Top = r.Top;
  n->Right = r.Right;
  n->Bottom = r.Bottom;
  n->Next = next;
  return n;
}

void TGraphicCanvas::ReleaseChain(TRectNode* first) {
  while (first) {
    TRectNode* next = first->Next;
    FAllocator->Release(first);
    first = next;
  }
}

void TGraphicCanvas::SubtractRect(TRectNode** link, const Rect& s) {
  TRectNode** prev = link;
  TRectNode* node = *prev;
  while (node) {
    if (!Intersects(*node, s)) {
      prev = &node->Next;
      node = node->Next;
      continue;
    }
    int32_t l = node->Left, t = node->Top, r = node->Right, b = node->Bottom;
    TRectNode* first = nullptr;  // the first piece made lies last in list order
    auto insert = [&](const Rect& piece) {
      node->Next = NewNode(piece, node->Next);
      if (!first) first = node->Next;
    };
    if (t < s.Top) {
      insert({l, t, r, s.Top - 1});
      t = s.Top;
    }
    if (s.Bottom < b) {
      insert({l, s.Bottom + 1, r, b});
      b = s.Bottom;
    }
    if (l < s.Left) {
      insert({l, t, s.Left - 1, b});
      l = s.Left;
    }
    if (s.Right < r) {
      insert({s.Right + 1, t, r, b});
      r = s.Right;
    }
    *prev = node->Next;
    FAllocator->Release(node);
    if (first) {
      prev = &first->Next;
      node = first->Next;
    } else {
      node = *prev;
    }
  }
}

bool TGraphicCanvas::ClampToCanvas(Rect& r) const {
  if (r.Bottom < 0 || r.Top >= Height() || r.Right < 0 || r.Left >= Width() || r.Right < r.Left || r.Bottom < r.Top)
    return false;
  r = {std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, Width() - 1), std::min(r.Bottom, Height() - 1)};
  return true;
}

void TGraphicCanvas::AddDamage(Rect r, bool layoutChanged) {
  if (!Visible() && !Designing()) return;
  if (layoutChanged) FLayoutChanged = true;
  if (!ClampToCanvas(r)) return;
  TRectNode* head = NewNode(r);
  head->Next = NewNode(r);
  try {
    for (TRectNode* e = FDamage; e && head->Next; e = e->Next) SubtractRect(&head->Next, RectOf(*e));
    TRectNode* pieces = head->Next;
    head->Next = nullptr;
    if (pieces) {
      if (FDamageTail)
        FDamageTail->Next = pieces;
      else
        FDamage = pieces;
      TRectNode* last = pieces;
      while (last->Next) last = last->Next;
      FDamageTail = last;
      if (platform::ui::Handle h = ParentHandle()) {
        for (TRectNode* p = pieces; p; p = p->Next) {
          Rect screen{p->Left + Left(), p->Top + Top(), p->Right + Left(), p->Bottom + Top()};
          Windows().InvalidateRect(h, &screen);
        }
      }
    }
  } catch (...) {
    ReleaseChain(head);
    throw;
  }
  ReleaseChain(head);
}

void TGraphicCanvas::InvalidateAll() { AddDamage(ElementRect(this), false); }

void TGraphicCanvas::CollectDirty() {
  TWinControl* parent = Parent();
  if (!parent) return;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* e = dynamic_cast<TGraphicElement*>(parent->Controls(i));
    if (e && e->GfxCanvas() == this && e->RefreshPending().Exchange(0) != 0) AddDamage(ElementRect(e), false);
  }
}

void TGraphicCanvas::ContainerNotify(TObject*, uint32_t code, int32_t) {
  if (code == 0) FContainer = nullptr;
  if (code == 0 || code == 2) InvalidateAll();
}

void TGraphicCanvas::SetContainer(TGraphicContainer* container) {
  if (container == FContainer) return;
  if (FContainer) {
    FContainer->NotifyHost().Unsubscribe(this);
    InvalidateAll();
  }
  FContainer = container;
  if (FContainer)
    FContainer->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicCanvas::ContainerNotify));
  InvalidateAll();
}

void TGraphicCanvas::SetRefreshInterval(int32_t ms) {
  if (ms < 0) ms = 0;
  if (ms == FRefreshInterval) return;
  FRefreshInterval = ms;
  if (ms > 0) {
    if (!FRefreshTimer) FRefreshTimer = std::make_unique<TVCLTimer>(this);
    FRefreshTimer->SetInterval(ms);
    FRefreshTimer->SetEnabled(true);
  } else {
    FRefreshTimer.reset();
  }
}

TRectNode* TGraphicCanvas::BuildRegion(const Rect& r) {
  TRectNode* head = NewNode(r);
  if (Rect c = r; ClampToCanvas(c)) {
    head->Left = c.Left;
    head->Top = c.Top;
    head->Right = c.Right;
    head->Bottom = c.Bottom;
    head->Next = NewNode(c);
  }
  return head;
}

void TGraphicCanvas::ParticipatingElements(bool rebuild) {
  FElements.clear();
  TWinControl* parent = Parent();
  if (!parent) return;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* e = dynamic_cast<TGraphicElement*>(parent->Controls(i));
    if (!e || e->GfxCanvas() != this) continue;
    TSyncLock lock(e->FLock);
    if (rebuild) {
      ReleaseChain(e->FRegion);
      e->FRegion = nullptr;
      if (!(e->Visible() || e->Designing())) continue;
      e->FRegion = BuildRegion(ElementRect(e));
    }
    if (e->FRegion && e->FRegion->Next) {
      if (FElements.size() == FElements.capacity()) FElements.reserve(FElements.size() + 16);
      FElements.push_back(e);
    }
  }
}

void TGraphicCanvas::RebuildRegions() {
  ReleaseChain(FBackground);
  FBackground = BuildRegion(ElementRect(this));
  ParticipatingElements(true);
  for (size_t j = 0; j < FElements.size(); ++j) {
    TGraphicElement* e = FElements[j];
    if (!e->Opaque()) continue;
    Rect head = RectOf(*e->FRegion);
    SubtractRect(&FBackground->Next, head);
    for (size_t k = 0; k < j; ++k) SubtractRect(&FElements[k]->FRegion->Next, head);
  }
}

void TGraphicCanvas::PaintDamage() {
  // A failing PaintTo drops the damage it was painting, so the next
  // invalidation repaints instead of finding the area already damaged.
  try {
    PaintDamagedPieces();
  } catch (...) {
    ReleaseChain(FDamage);
    FDamage = FDamageTail = nullptr;
    throw;
  }
  ReleaseChain(FDamage);
  FDamage = FDamageTail = nullptr;
}

void TGraphicCanvas::PaintDamagedPieces() {
  ParticipatingElements(false);
  platform::ui::Surface* s = FBitmap->Canvas();
  for (TRectNode* d = FDamage; d; d = d->Next) {
    Rect dr = RectOf(*d);
    // A container without pixels (a missing or damaged skin) counts as none.
    TLinearBitmap* skin = FContainer && FContainer->Bitmap().Bits() ? &FContainer->Bitmap() : nullptr;
    if (!skin && s) {
      s->SetBrush(Color(), platform::ui::BrushStyle::Solid);
      s->SetPen(0, 0, platform::ui::PenStyle::Clear);
    }
    for (TRectNode* p = FBackground ? FBackground->Next : nullptr; p; p = p->Next) {
      if (!Intersects(*p, dr)) continue;
      Rect i = Meet(*p, dr);
      FBitmap->SetViewport(0, 0, i.Left, i.Top, i.Right, i.Bottom);
      if (skin)
        FBitmap->CopyFrom(*skin, 0, 0);
      else if (s)
        s->FillRect(0, 0, Width(), Height());
    }
    for (TGraphicElement* e : FElements) {
      int32_t x = e->Left() - Left(), y = e->Top() - Top();
      for (TRectNode* p = e->FRegion->Next; p; p = p->Next) {
        if (!Intersects(*p, dr)) continue;
        Rect i = Meet(*p, dr);
        FBitmap->SetViewport(-x, -y, i.Left, i.Top, i.Right, i.Bottom);
        e->PaintTo(*FBitmap);
        if (skin && e->TranspOnDisable() && !e->Enabled()) FBitmap->BlendConst(*skin, -x, -y, 64);
      }
    }
  }
}

void TGraphicCanvas::Paint(platform::ui::PaintTarget* target) {
  if (!target || !Parent() || Width() == 0 || Height() == 0) return;
  if (FBitmap->Width() != Width() || FBitmap->Height() != Height()) {
    FBitmap->Resize(Width(), Height());
    AddDamage(ElementRect(this), true);
  }
  if (FLayoutChanged) {
    RebuildRegions();
    FLayoutChanged = false;
  }
  if (FDamage) {
    ++FPaints;
    PaintDamage();
  }
  FBitmap->ResetViewport();
  FBitmap->CopyToDC(*target, 0, 0);
}

void TGraphicCanvas::WndProc(TMessage& m) {
  if (m.Msg == msg::Paint) {
    Paint(reinterpret_cast<platform::ui::PaintTarget*>(m.WParam));
    m.Result = 0;
    return;
  }
  TControl::WndProc(m);
}

void TGraphicCanvas::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TControl::MouseDown(button, shift, x, y);
  if (TGraphicElement* active = TVCLForm::TakeActive(this, nullptr)) active->ClickAway();
}

std::vector<Rect> TGraphicCanvas::Damage() const {
  std::vector<Rect> out;
  for (TRectNode* d = FDamage; d; d = d->Next) out.push_back(RectOf(*d));
  return out;
}

std::vector<Rect> TGraphicCanvas::RegionOf(const TGraphicElement* element) const {
  std::vector<Rect> out;
  if (element->FGfxCanvas == this && element->FRegion)
    for (TRectNode* p = element->FRegion->Next; p; p = p->Next) out.push_back(RectOf(*p));
  return out;
}

std::vector<Rect> TGraphicCanvas::BackgroundRegion() const {
  std::vector<Rect> out;
  for (TRectNode* p = FBackground ? FBackground->Next : nullptr; p; p = p->Next) out.push_back(RectOf(*p));
  return out;
}

// ---------------------------------------------------------------- timers

TVCLTimer::~TVCLTimer() {
  FEnabled = false;
  Rearm();
}

void TVCLTimer::SetInterval(int32_t ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  Rearm();
}

void TVCLTimer::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Rearm();
}

void TVCLTimer::Rearm() {
  if (FArmed) {
    Windows().KillTimer(FWindow, static_cast<uintptr_t>(FTimerId));
    FArmed = 0;
    FWindow = 0;
  }
  if (FForm) FForm->TimerRegister().Unregister(this);
  if (FInterval == 0 || !FEnabled) return;
  TControl* owner = FOwnerCanvas ? static_cast<TControl*>(FOwnerCanvas) : FOwnerElement;
  auto* form = owner ? dynamic_cast<TVCLForm*>(owner->Parent()) : nullptr;
  if (!form) return;
  form->TimerRegister().Register(this);
  if (FWindow) FArmed = Windows().SetTimer(FWindow, static_cast<uintptr_t>(FTimerId), static_cast<uint32_t>(FInterval));
}

void TVCLTimerRegister::Register(TVCLTimer* timer) {
  ++FCounter;
  for (int i = 0; i < kSlots; ++i) {
    if (FSlots[i].Id != 0) continue;
    timer->FSlot = i;
    timer->FTimerId = FCounter;
    timer->FWindow = FForm->HelperWindow();
    timer->FForm = FForm;
    FSlots[i] = {FCounter, timer};
    return;
  }
}

void TVCLTimerRegister::Unregister(TVCLTimer* timer) {
  if (timer->FForm != FForm) return;
  if (timer->FSlot >= 0 && timer->FSlot < kSlots) FSlots[timer->FSlot] = {};
  timer->FForm = nullptr;
}

TVCLTimer* TVCLTimerRegister::FindTimer(int32_t id) const {
  for (const Slot& s : FSlots)
    if (s.Id == id && id != 0) return s.Timer;
  return nullptr;
}

// ---------------------------------------------------------------- form

TVCLForm::TVCLForm(TComponent* owner) : TCustomForm(owner) {
  FHelper = Windows().CreateHelperWindow(this);
  FLock = std::make_unique<TSyncObject>();
  FAllocator = std::make_unique<TStaticMemoryManager>(static_cast<int32_t>(sizeof(TRectNode)), 10);
  FTimers = std::make_unique<TVCLTimerRegister>(this);
}

TVCLForm::~TVCLForm() {
  if (TVCLForm* outer = Parent() ? OutermostForm(this) : nullptr; outer && outer->ActiveElementForm == this) {
    outer->ActiveElement = nullptr;
    outer->ActiveElementForm = nullptr;
  }
  MarkDestroying();
  DestroyComponents();  // children, their timers among them, go first
  FTimers.reset();
  {
    TSyncLock lock(*FLock);
    platform::ui::Handle h = FHelper;
    FHelper = 0;
    if (h) Windows().DestroyWindow(h);
  }
  FAllocator.reset();
  DestroyHandle();
}

bool TVCLForm::PostToHelper(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return FHelper && Windows().PostMessage(FHelper, message, wparam, lparam);
}

void TVCLForm::PostInvalidate(const Rect& r, int32_t canvasId, bool layoutChanged) {
  TSyncLock lock(*FLock);
  if (!FHelper || !FAllocator) return;
  auto* n = static_cast<TRectNode*>(FAllocator->Alloc());
  n->Left = r.Left;
  n->Top = r.Top;
  n->Right = r.Right;
  n->Bottom = r.Bottom;
  n->CanvasId = canvasId;
  if (!Windows().PostMessage(FHelper, TKM_INVALIDATE, layoutChanged ? 1 : 0, reinterpret_cast<intptr_t>(n)))
    FAllocator->Release(n);
}

TVCLForm* TVCLForm::OutermostForm(TControl* start) {
  TVCLForm* outer = nullptr;
  for (TControl* c = start ? start->Parent() : nullptr; c; c = c->Parent()) {
    auto* f = dynamic_cast<TVCLForm*>(c);
    if (!f) return nullptr;  // a foreign parent interrupts the chain
    outer = f;
  }
  return outer;
}

void TVCLForm::MakeActive(TGraphicElement* element) {
  if (TVCLForm* outer = OutermostForm(element)) {
    outer->ActiveElement = element;
    outer->ActiveElementForm = dynamic_cast<TVCLForm*>(element->Parent());
  }
}

TGraphicElement* TVCLForm::TakeActive(TControl* from, TGraphicElement* asking) {
  TVCLForm* outer = OutermostForm(from);
  if (!outer || !outer->ActiveElement || outer->ActiveElement == asking) return nullptr;
  TGraphicElement* active = outer->ActiveElement;
  outer->ActiveElement = nullptr;
  outer->ActiveElementForm = nullptr;
  return active;
}

void TVCLForm::ReleaseActive(TGraphicElement* element) {
  if (TVCLForm* outer = OutermostForm(element); outer && outer->ActiveElement == element) {
    outer->ActiveElement = nullptr;
    outer->ActiveElementForm = nullptr;
  }
}

bool TVCLForm::DoMouseWheelDown(TShiftState) {
  if (auto* e = dynamic_cast<TGraphicElement*>(FHovered)) e->WheelDown();
  return true;
}

bool TVCLForm::DoMouseWheelUp(TShiftState) {
  if (auto* e = dynamic_cast<TGraphicElement*>(FHovered)) e->WheelUp();
  return true;
}

void TVCLForm::ChildListChanged(TControl* child, bool inserted) {
  if (!inserted && child == FHovered) FHovered = nullptr;
  if (auto* c = dynamic_cast<TGraphicCanvas*>(child)) {
    if (inserted) {
      c->NextCanvas = FCanvases;
      FCanvases = c;
    } else {
      for (TGraphicCanvas** link = &FCanvases; *link; link = &(*link)->NextCanvas)
        if (*link == c) {
          *link = c->NextCanvas;
          c->NextCanvas = nullptr;
          break;
        }
      if (FCachedCanvas == c) FCachedCanvas = nullptr;
    }
  }
  TCustomForm::ChildListChanged(child, inserted);
}

void TVCLForm::PaintCanvases(TMessage& m) {
  m.Result = 0;
  Rect update;
  if (!Handle() || !Windows().GetUpdateRect(Handle(), update)) return;
  auto* target = reinterpret_cast<platform::ui::PaintTarget*>(m.WParam);
  bool began = false;
  if (!target) {
    target = Windows().BeginPaint(Handle());
    if (!target) return;
    began = true;
  }
  try {
    for (TGraphicCanvas* c = FCanvases; c; c = c->NextCanvas) {
      Windows().OffsetOrigin(*target, c->Left(), c->Top());
      Windows().IntersectClip(*target, {0, 0, c->Width() - 1, c->Height() - 1});
      c->Perform(msg::Paint, reinterpret_cast<uintptr_t>(target), 0);
    }
  } catch (...) {
    if (began) Windows().EndPaint(Handle(), target);
    throw;
  }
  if (began) Windows().EndPaint(Handle(), target);
}

void TVCLForm::TrackHover(int32_t x, int32_t y) {
  if (!FTracking) {
    Windows().TrackMouseLeave(Handle());
    FTracking = true;
  }
  TControl* now = ControlAtPos(x, y, true);
  if (now != FHovered) {
    TControl* old = FHovered;
    FHovered = now;
    if (auto* e = dynamic_cast<TGraphicElement*>(old)) e->MouseLeave();
  }
}

void TVCLForm::HandleInvalidate(TMessage& m) {
  auto* n = reinterpret_cast<TRectNode*>(m.LParam);
  if (!n) return;
  try {
    int32_t id = n->CanvasId;
    if (!FCachedCanvas || FCachedCanvas->CanvasId() != id) {
      for (TGraphicCanvas* c = FCanvases; c; c = c->NextCanvas)
        if (c->CanvasId() == id) {
          FCachedCanvas = c;
          break;
        }
    }
    if (FCachedCanvas && FCachedCanvas->CanvasId() == id)
      FCachedCanvas->AddDamage({n->Left, n->Top, n->Right, n->Bottom}, m.WParam != 0);
  } catch (...) {
    TSyncLock lock(*FLock);
    FAllocator->Release(n);
    throw;
  }
  TSyncLock lock(*FLock);
  FAllocator->Release(n);
}

void TVCLForm::RefreshTick(TGraphicCanvas* canvas) {
  for (TGraphicCanvas* c = FCanvases; c; c = c->NextCanvas)
    if (!canvas || c == canvas) {
      c->CollectDirty();
      break;
    }
  for (int i = 0; i < ControlCount(); ++i) {
    auto* f = dynamic_cast<TVCLForm*>(Controls(i));
    if (f && f->Visible() && f->HelperWindow())
      Windows().PostMessage(f->HelperWindow(), TKM_REFRESH, 0, reinterpret_cast<intptr_t>(f->FirstCanvas()));
  }
}

void TVCLForm::HandleTimer(int32_t id) {
  TVCLTimer* t = FTimers ? FTimers->FindTimer(id) : nullptr;
  if (!t) return;
  if (t->OwnerCanvas()) {
    RefreshTick(t->OwnerCanvas());
  } else if (TGraphicElement* e = t->OwnerElement()) {
    for (int i = 0; i < ControlCount(); ++i)
      if (Controls(i) == e) {
        e->TimerTick();
        break;
      }
  }
}

void TVCLForm::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case msg::Paint: PaintCanvases(m); return;
    case msg::EraseBkgnd:
    case msg::NcPaint: m.Result = 0; return;
    case msg::Timer:
      HandleTimer(static_cast<int32_t>(m.WParam));
      m.Result = 0;
      return;
    case msg::MouseMove:
      TrackHover(platform::ui::PointX(m.LParam), platform::ui::PointY(m.LParam));
      TCustomForm::WndProc(m);
      return;
    case msg::LButtonDown:
    case msg::RButtonDown:
    case msg::MButtonDown:
      if (!NoClickFocus && !Focused()) SetFocus();
      TCustomForm::WndProc(m);
      return;
    case msg::MouseLeave: {
      TControl* old = FHovered;
      FHovered = nullptr;
      FTracking = false;
      if (auto* e = dynamic_cast<TGraphicElement*>(old)) e->MouseLeave();
      m.Result = 0;
      return;
    }
    case TKM_INVALIDATE:
      HandleInvalidate(m);
      m.Result = 0;
      return;
    case TKM_REFRESH:
      RefreshTick(reinterpret_cast<TGraphicCanvas*>(m.LParam));
      m.Result = 0;
      return;
    case TKM_FREEOBJECT:
      delete reinterpret_cast<TObject*>(m.LParam);
      m.Result = 0;
      return;
    case TKM_WHEELUP:
      if (auto* e = dynamic_cast<TGraphicElement*>(FHovered)) e->WheelUp();
      m.Result = 0;
      return;
    case TKM_WHEELDOWN:
      if (auto* e = dynamic_cast<TGraphicElement*>(FHovered)) e->WheelDown();
      m.Result = 0;
      return;
    default:
      if (m.Msg >= msg::User && m.Msg <= msg::AppLast) {
        m.Result = 0;
        return;
      }
      TCustomForm::WndProc(m);
  }
}

void TVCLForm::WndProc(TMessage& m) {
  platform::FpuGuard fpu;
  try {
    Dispatch(m);
  } catch (const Exception& e) {
    char text[64];
    std::snprintf(text, sizeof text, "WndProc exception on %.8x: ", static_cast<unsigned>(m.Msg));
    ShowMessage(text + e.Message());
    m.Handled = true;
  }
}
