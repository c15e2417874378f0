#include "classlib/forms/Controls.h"

#include <algorithm>

using namespace platform::ui;

TApplication& Application() {
  static TApplication app;
  return app;
}

TShiftState MouseShiftState(uintptr_t wparam) {
  TShiftState s = 0;
  if (wparam & mk::Shift) s |= ssShift;
  if (wparam & mk::Control) s |= ssCtrl;
  if (wparam & mk::LButton) s |= ssLeft;
  if (wparam & mk::RButton) s |= ssRight;
  if (wparam & mk::MButton) s |= ssMiddle;
  if (Windows().KeyState() & keys::Alt) s |= ssAlt;
  return s;
}

// --- TControl ---

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (FParent) FParent->RemoveControl(this);
  if (parent) {
    parent->InsertControl(this);
    if (FParentFont && !(FFont == parent->Font())) {
      FFont = parent->Font();
      FontChanged();
    }
  }
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  Invalidate();
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  Invalidate();
  Resize();
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  if (!v) Invalidate();
  FVisible = v;
  if (v) Invalidate();
  VisibleChanged();
}

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  EnabledChanged();
}

void TControl::SetColor(uint32_t c) {
  if (c == FColor) return;
  FColor = c;
  ColorChanged();
}

void TControl::SetFont(const TFont& f) {
  FParentFont = false;
  if (f == FFont) return;
  FFont = f;
  FontChanged();
}

void TControl::SetParentFont(bool v) {
  FParentFont = v;
  if (v && FParent && !(FFont == FParent->Font())) {
    FFont = FParent->Font();
    ParentFontChanged();
    FontChanged();
  }
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (!c->FVisible) return false;
  return true;
}

intptr_t TControl::Perform(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  TMessage m;
  m.Msg = message;
  m.WParam = wparam;
  m.LParam = lparam;
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  int32_t x = PointX(m.LParam), y = PointY(m.LParam);
  TShiftState shift = MouseShiftState(m.WParam);
  switch (m.Msg) {
    case msg::LButtonDown:
    case msg::RButtonDown:
    case msg::MButtonDown: {
      TMouseButton b = m.Msg == msg::LButtonDown ? mbLeft : m.Msg == msg::RButtonDown ? mbRight : mbMiddle;
      if (b == mbLeft) FClicked = true;
      MouseDown(b, shift, x, y);
      break;
    }
    case msg::LButtonDblClk:
    case msg::RButtonDblClk:
    case msg::MButtonDblClk: {
      TMouseButton b = m.Msg == msg::LButtonDblClk ? mbLeft : m.Msg == msg::RButtonDblClk ? mbRight : mbMiddle;
      MouseDown(b, shift | ssDouble, x, y);
      if (b == mbLeft) DblClick();
      break;
    }
    case msg::LButtonUp:
    case msg::RButtonUp:
    case msg::MButtonUp: {
      TMouseButton b = m.Msg == msg::LButtonUp ? mbLeft : m.Msg == msg::RButtonUp ? mbRight : mbMiddle;
      bool click = b == mbLeft && FClicked && x >= 0 && y >= 0 && x < FWidth && y < FHeight;
      if (b == mbLeft) FClicked = false;
      MouseUp(b, shift, x, y);
      if (click) Click();
      break;
    }
    case msg::MouseMove: MouseMove(shift, x, y); break;
    default: m.Handled = false; break;
  }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  OnMouseDown(this, button, shift, x, y);
}
void TControl::MouseMove(TShiftState shift, int32_t x, int32_t y) { OnMouseMove(this, shift, x, y); }
void TControl::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  OnMouseUp(this, button, shift, x, y);
}

platform::ui::Handle TControl::ParentHandle() const { return FParent ? FParent->Handle() : 0; }

void TControl::ClientToScreen(int32_t& x, int32_t& y) const {
  if (const auto* self = dynamic_cast<const TWinControl*>(this); self && self->Handle()) {
    Windows().ClientToScreen(self->Handle(), x, y);
    return;
  }
  x += FLeft;
  y += FTop;
  if (FParent) FParent->ClientToScreen(x, y);
}

void TControl::Invalidate() {
  platform::ui::Handle h = ParentHandle();
  if (!h || !FVisible || FWidth <= 0 || FHeight <= 0) return;
  Rect r{FLeft, FTop, FLeft + FWidth - 1, FTop + FHeight - 1};
  Windows().InvalidateRect(h, &r);
}

// --- TWinControl ---

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children still here are owned elsewhere: they outlive this parent.
  for (TControl* c : FControls) c->FParent = nullptr;
  FControls.clear();
  DestroyHandle();
}

void TWinControl::DestroyHandle() {
  if (FHandle) {
    platform::ui::Handle h = FHandle;
    FHandle = 0;
    Windows().DestroyWindow(h);
  }
}

void TWinControl::InsertControl(TControl* c) {
  FControls.push_back(c);
  c->FParent = this;
  ChildListChanged(c, true);
}

void TWinControl::RemoveControl(TControl* c) {
  auto it = std::find(FControls.begin(), FControls.end(), c);
  if (it == FControls.end()) return;
  if (FCaptureControl == c) FCaptureControl = nullptr;
  FControls.erase(it);
  c->FParent = nullptr;
  ChildListChanged(c, false);
}

void TWinControl::ChildListChanged(TControl*, bool) {}

TControl* TWinControl::ControlAtPos(int32_t x, int32_t y, bool allowDisabled) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (dynamic_cast<TWinControl*>(c)) continue;
    if (!c->Visible() || (!c->Enabled() && !allowDisabled)) continue;
    if (x >= c->Left() && y >= c->Top() && x < c->Left() + c->Width() && y < c->Top() + c->Height()) return c;
  }
  return nullptr;
}

void TWinControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  TControl::SetBounds(left, top, width, height);
  if (FHandle) Windows().SetBounds(FHandle, {Left(), Top(), Left() + Width() - 1, Top() + Height() - 1});
}

void TWinControl::VisibleChanged() {
  if (FHandle) Windows().ShowWindow(FHandle, Visible());
}

void TWinControl::FontChanged() {
  for (TControl* c : FControls)
    if (c->ParentFont() && !(c->Font() == Font())) {
      c->FFont = Font();
      c->ParentFontChanged();
      c->FontChanged();
    }
}

void TWinControl::Invalidate() {
  if (FHandle)
    Windows().InvalidateRect(FHandle, nullptr);
  else
    TControl::Invalidate();
}

bool TWinControl::WindowProc(platform::ui::Handle, platform::ui::Message& m) {
  TMessage tm;
  tm.Msg = m.Msg;
  tm.WParam = m.WParam;
  tm.LParam = m.LParam;
  WndProc(tm);
  m.Result = tm.Result;
  return tm.Handled;
}

void TWinControl::DispatchMouse(TMessage& m) {
  int32_t x = PointX(m.LParam), y = PointY(m.LParam);
  TControl* target = nullptr;
  switch (m.Msg) {
    case msg::LButtonDown:
    case msg::RButtonDown:
    case msg::MButtonDown:
    case msg::LButtonDblClk:
    case msg::RButtonDblClk:
    case msg::MButtonDblClk:
      target = FCaptureControl ? FCaptureControl : ControlAtPos(x, y, false);
      if (target && !FCaptureControl) {
        FCaptureControl = target;
        if (FHandle) Windows().SetCapture(FHandle);
      }
      break;
    case msg::MouseMove: target = FCaptureControl ? FCaptureControl : ControlAtPos(x, y, false); break;
    default:  // button up
      target = FCaptureControl ? FCaptureControl : ControlAtPos(x, y, false);
      if (FCaptureControl && (m.WParam & (mk::LButton | mk::RButton | mk::MButton)) == 0) {
        FCaptureControl = nullptr;
        if (FHandle && Windows().GetCapture() == FHandle) Windows().ReleaseCapture();
      }
      break;
  }
  if (target) {
    m.Result = target->Perform(m.Msg, m.WParam, MakePointParam(x - target->Left(), y - target->Top()));
  } else {
    TControl::WndProc(m);
  }
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case msg::MouseMove:
    case msg::LButtonDown:
    case msg::LButtonUp:
    case msg::LButtonDblClk:
    case msg::RButtonDown:
    case msg::RButtonUp:
    case msg::RButtonDblClk:
    case msg::MButtonDown:
    case msg::MButtonUp:
    case msg::MButtonDblClk: DispatchMouse(m); break;
    case msg::CaptureChanged:
      FCaptureControl = nullptr;
      DefaultHandler(m);
      break;
    case msg::MouseWheel: {
      auto delta = static_cast<int16_t>((m.WParam >> 16) & 0xFFFF);
      TShiftState shift = MouseShiftState(m.WParam & 0xFFFF);
      bool handled = delta > 0 ? DoMouseWheelUp(shift) : delta < 0 ? DoMouseWheelDown(shift) : false;
      if (!handled) DefaultHandler(m);
      break;
    }
    default: DefaultHandler(m); break;
  }
}

// --- TCustomForm ---

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) { SetVisible(false); }

TCustomForm::~TCustomForm() {
  MarkDestroying();
  DestroyComponents();
  DestroyHandle();
}

bool TCustomForm::CreateWindowIn(platform::ui::Handle parent) {
  if (HandleAllocated()) return true;
  platform::ui::Handle h =
      Windows().CreateChildWindow(parent, {Left(), Top(), Left() + Width() - 1, Top() + Height() - 1}, this);
  if (!h) return false;
  AdoptHandle(h);
  return true;
}

bool TCustomForm::CreatePopup(int32_t screenLeft, int32_t screenTop) {
  if (HandleAllocated()) return true;
  platform::ui::Handle h =
      Windows().CreatePopupWindow({screenLeft, screenTop, screenLeft + Width() - 1, screenTop + Height() - 1}, this);
  if (!h) return false;
  AdoptHandle(h);
  return true;
}

void TCustomForm::Show() {
  SetVisible(true);
  if (Handle()) Windows().ShowWindow(Handle(), true);
}

void TCustomForm::Hide() { SetVisible(false); }

bool TCustomForm::Focused() const { return Handle() && Windows().HasFocus(Handle()); }

void TCustomForm::SetFocus() {
  if (Handle()) Windows().SetFocus(Handle());
}

void TCustomForm::WndProc(TMessage& m) { TWinControl::WndProc(m); }
