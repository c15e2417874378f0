#include "gfx/GraphicKnob.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

using platform::ui::Windows;

namespace {

// n / d rounded to nearest, ties to even (d > 0), exactly.
int64_t RoundDiv(int64_t n, int64_t d) {
  int64_t q = n / d, r = n % d;
  int64_t twice = 2 * std::llabs(r);
  if (twice > d || (twice == d && (q & 1) != 0)) q += n < 0 ? -1 : 1;
  return q;
}

int32_t ToInt32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

constexpr uint32_t kButtonFace = 0x00F0F0F0;

}  // namespace

TGraphicKnob::TGraphicKnob(TComponent* owner) : TGraphicElement(owner) {
  SetBounds(Left(), Top(), 32, 32);
  SetOpaque(true);
}

TGraphicKnob::~TGraphicKnob() {
  if (FDragging) {  // destroyed mid-drag (the editor closed): end the host's edit too
    FDragging = false;
    EndGesture();
  }
  RestoreCursor();
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
  if (FSyncParamSrc) FSyncParamSrc->Notifier().Unsubscribe(this);
  if (FContainer) FContainer->NotifyHost().Unsubscribe(this);
}

// ---------------------------------------------------------------- properties

void TGraphicKnob::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  FitSize(false);
}

void TGraphicKnob::SetContainer(TGraphicContainer* container) {
  if (container == FContainer) return;
  if (FContainer) FContainer->NotifyHost().Unsubscribe(this);
  FContainer = container;
  if (container) container->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicKnob::ContainerNotify));
  FitSize(true);
}

void TGraphicKnob::ContainerNotify(TObject*, uint32_t code, int32_t) {
  switch (code) {
    case 0:
      FContainer = nullptr;
      Redraw();
      break;
    case 1: FitSize(false); break;
    case 2: FitSize(true); break;
    default: break;
  }
}

void TGraphicKnob::FitSize(bool forced) {
  if (FAutoSize && FContainer && (Width() != FContainer->Width() || Height() != FContainer->Height())) {
    SetBounds(Left(), Top(), FContainer->Width(), FContainer->Height());
    Redraw();
  } else if (forced) {
    Redraw();
  }
}

void TGraphicKnob::SetParamSrc(TVSTParameterSource* source) {
  if (source == FParamSrc) return;
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
  FParamSrc = nullptr;
  if (!source) return;
  source->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicKnob::SourceNotify));
  FParamSrc = source;
  CopyRange();
  CopyValue();
}

void TGraphicKnob::SourceNotify(TObject*, uint32_t code, int32_t) {
  switch (code) {
    case pnFreeing: FParamSrc = nullptr; break;
    case pnRangeChanged: CopyRange(); break;
    case pnValueChanged: CopyValue(); break;
    case pnSourceRebound:
      CopyRange();
      CopyValue();
      break;
    default: break;
  }
}

void TGraphicKnob::CopyRange() {
  TVSTParameter* p = FParamSrc ? FParamSrc->Param() : nullptr;
  if (!p) return;
  FMin = p->MinValue();
  FMax = p->MaxValue();
  Redraw();
}

void TGraphicKnob::CopyValue() {
  TVSTParameter* p = FParamSrc ? FParamSrc->Param() : nullptr;
  if (!p) return;
  FValue = p->CurValue();
  Redraw();
}

// The synced source is a plain reference; it only has to be forgotten when
// it goes away, so no value notification is acted on.
void TGraphicKnob::SetSyncParamSrc(TVSTParameterSource* source) {
  if (source == FSyncParamSrc) return;
  if (FSyncParamSrc && FSyncParamSrc != FParamSrc) FSyncParamSrc->Notifier().Unsubscribe(this);
  FSyncParamSrc = source;
  if (source && source != FParamSrc)
    source->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicKnob::SyncSourceNotify));
}

void TGraphicKnob::SyncSourceNotify(TObject*, uint32_t code, int32_t) {
  if (code == pnFreeing) FSyncParamSrc = nullptr;
}

void TGraphicKnob::SetIsTransparent(bool v) {
  if (v == FIsTransparent) return;
  FIsTransparent = v;
  SetOpaque(!v);
  Resize();
}

void TGraphicKnob::SetOnGetParamRange(TOnGetParamRange handler) {
  handler(this, FMin, FMax, FDefault, FValue);
  FOnGetParamRange = std::move(handler);
  Redraw();
}

// ---------------------------------------------------------------- painting

int32_t TGraphicKnob::FrameIndex() const {
  if (!FContainer || FContainer->ImageCount() <= 0) return 0;
  int32_t last = FContainer->ImageCount() - 1;
  int64_t range = static_cast<int64_t>(FMax) - FMin;
  if (range <= 0) return 0;
  int64_t k = RoundDiv((static_cast<int64_t>(FValue) - FMin) * last, range);
  return static_cast<int32_t>(std::clamp<int64_t>(k, 0, last));
}

void TGraphicKnob::PaintTo(TLinearBitmap& bitmap) {
  if (FContainer && FContainer->ImageCount() > 0 && FContainer->ImageCountX() > 0) {
    int32_t k = FrameIndex();
    int32_t x = -(k % FContainer->ImageCountX()) * FContainer->Width();
    int32_t y = -(k / FContainer->ImageCountX()) * FContainer->Height();
    if (FIsTransparent)
      bitmap.AlphaBlit(FContainer->Bitmap(), x, y);
    else
      bitmap.CopyFrom(FContainer->Bitmap(), x, y);
    return;
  }
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s) return;
  s->SetPen(0x00000000, 1, platform::ui::PenStyle::Solid);
  s->SetBrush(kButtonFace, platform::ui::BrushStyle::Solid);
  s->Rectangle(0, 0, Width(), Height());
}

// ---------------------------------------------------------------- mouse

void TGraphicKnob::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (button != mbLeft) {
    TControl::MouseDown(button, shift, x, y);
    return;
  }
  TGraphicElement::MouseDown(button, shift, x, y);
  if (FParamSrc && !FParamSrc->Param()) return;
  if (FRadial) {
    int64_t r = Width() / 2, dx = x - r, dy = y - r;
    if (dx * dx + dy * dy > r * r) return;
  }
  FUnbound = FParamSrc == nullptr;
  TVSTParameter* main = FUnbound ? nullptr : FParamSrc->Param();
  TVSTParameter* sync = !FUnbound && FSyncParamSrc ? FSyncParamSrc->Param() : nullptr;
  FSyncActive = (shift & (ssCtrl | ssAlt)) != 0 && sync && sync != main;

  if (shift & ssDouble) {
    if (main) {
      int32_t def = main->DefValue();
      main->RequestEdit(def);
      if (FSyncActive) sync->RequestEdit(def);
    } else if (FValue != FDefault) {
      FValue = FDefault;
      OnChange(this);
      OnEndDrag(this);
      Redraw();
    }
    return;
  }

  FPressValue = FValue;
  FDragging = true;
  // The host records the drag's requests as one touch of the parameter(s).
  if (main) main->BeginEdit();
  if (FSyncActive) sync->BeginEdit();
  int32_t sx = 0, sy = 0;
  if (Windows().GetCursorPos(sx, sy)) {
    int32_t ox = 0, oy = 0;
    ClientToScreen(ox, oy);
    FPressX = sx - ox;
    FPressY = sy - oy;
  } else {
    FPressX = x;
    FPressY = y;
  }
  FLastY = y;
}

void TGraphicKnob::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  if (!FDragging) return;
  if (FWarpPending) {
    FWarpPending = false;
    FLastY = y;
    return;
  }
  if (y == FLastY) return;
  int32_t previous = FLastY;
  if (!FCursorHidden) {
    FCursorWindow = ParentHandle();
    Windows().ShowCursor(FCursorWindow, false);
    FCursorHidden = true;
  } else {
    FLastY = y;
  }
  ApplyStep(previous - y, shift);
  WarpBack();
}

void TGraphicKnob::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseUp(button, shift, x, y);
  if (button != mbLeft || !FDragging) return;
  FDragging = false;
  EndGesture();
  if (FValue != FPressValue) OnEndDrag(this);
  if (FCursorHidden) {
    WarpBack();
    RestoreCursor();
  }
}

void TGraphicKnob::EndGesture() {
  if (FUnbound) return;
  if (TVSTParameter* main = FParamSrc ? FParamSrc->Param() : nullptr) main->EndEdit();
  TVSTParameter* sync = FSyncActive && FSyncParamSrc ? FSyncParamSrc->Param() : nullptr;
  if (sync && (!FParamSrc || sync != FParamSrc->Param())) sync->EndEdit();
}

void TGraphicKnob::WarpBack() {
  int32_t px = FPressX, py = FPressY;
  ClientToScreen(px, py);
  int32_t cx = 0, cy = 0;
  if (Windows().GetCursorPos(cx, cy) && cx == px && cy == py) return;
  FWarpPending = true;
  Windows().SetCursorPos(px, py);
}

void TGraphicKnob::RestoreCursor() {
  if (!FCursorHidden) return;
  FCursorHidden = false;
  FWarpPending = false;
  Windows().ShowCursor(FCursorWindow, true);
  FCursorWindow = 0;
}

void TGraphicKnob::ApplyStep(int32_t pixels, TShiftState shift) {
  int64_t s = (shift & (ssRight | ssShift)) ? RoundDiv(pixels, FStepScaleH) * FStepSlow
                                            : RoundDiv(pixels, FStepScaleV) * FStepFast;
  if (FUnbound) {
    int64_t n = static_cast<int64_t>(FValue) + s;
    if (n < FMin)
      n = FMin;
    else if (n > FMax)
      n = FMax;
    if (n == FValue) return;
    FValue = static_cast<int32_t>(n);
    OnChange(this);
    Redraw();
    return;
  }
  TVSTParameter* main = FParamSrc ? FParamSrc->Param() : nullptr;
  if (!main) return;
  int32_t before = FValue;  // the change requested below may arrive at once
  main->RequestValue(ToInt32(before + s));
  TVSTParameter* sync = FSyncActive && FSyncParamSrc ? FSyncParamSrc->Param() : nullptr;
  if (!sync || sync == main) return;
  if (shift & ssCtrl)
    sync->RequestValue(FInvertSync ? ToInt32(static_cast<int64_t>(FMax) - before) : before);
  else if (shift & ssAlt)
    sync->RequestValue(ToInt32(FInvertSync ? sync->CurValue() - s : sync->CurValue() + s));
}

// A wheel notch is a 20-pixel step without modifiers; the mode follows the
// binding as at a press.
void TGraphicKnob::WheelUp() { WheelStep(20); }

void TGraphicKnob::WheelDown() { WheelStep(-20); }

void TGraphicKnob::WheelStep(int32_t pixels) {
  if (FDragging) return;
  FUnbound = FParamSrc == nullptr;
  TVSTParameter* main = FUnbound ? nullptr : FParamSrc->Param();
  if (main) main->BeginEdit();  // each notch is a whole gesture for the host
  ApplyStep(pixels, 0);
  if (main) main->EndEdit();
}
