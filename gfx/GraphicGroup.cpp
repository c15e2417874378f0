#include "gfx/GraphicGroup.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "gfx/ElementClip.h"

TGraphicGroup::TGraphicGroup(TComponent* owner) : TGraphicElement(owner) {
  SetBounds(0, 0, 80, 22);
  SetOpaque(true);
}

TGraphicGroup::~TGraphicGroup() {
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
}

void TGraphicGroup::SetValues(const TStringList& values) {
  FValues.Clear();
  for (int i = 0; i < values.Count(); ++i) FValues.AddObject(values.Strings(i), values.Objects(i));
  if (FParamSrc && FParamSrc->Param())
    StoreIndex(FParamSrc->Param()->CurValue(), false);  // the parameter keeps its value
  else
    StoreIndex(std::max(0, FItemIndex), false);
  Redraw();
}

void TGraphicGroup::SetItemIndex(int32_t v) { StoreIndex(v, true); }

bool TGraphicGroup::StoreIndex(int32_t v, bool request) {
  v = std::max(0, std::min(v, FValues.Count() - 1));
  if (v == FItemIndex) return false;
  FItemIndex = v;
  if (request && FParamSrc && FParamSrc->Param()) FParamSrc->Param()->RequestEdit(v);
  Redraw();
  return true;
}

void TGraphicGroup::SetItemWidth(int32_t v) {
  v = std::max(1, v);
  if (v == FItemWidth) return;
  FItemWidth = v;
  Redraw();
}

void TGraphicGroup::SetColours(const TStringList& colours) {
  FColours.Clear();
  for (int i = 0; i < colours.Count(); ++i) FColours.Add(colours.Strings(i));
  Redraw();
}

uint32_t TGraphicGroup::CellColor(int32_t i) const {
  if (i < 0 || i >= FColours.Count()) return Color();
  const std::string& s = FColours.Strings(i);
  if (s.empty()) return Color();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || !end || *end != '\0' || v < 0 || v > 0xFFFFFFFFLL) return Color();
  return static_cast<uint32_t>(v);
}

void TGraphicGroup::SetIsTransparent(bool v) {
  FIsTransparent = v;
  SetOpaque(!v);
  Redraw();
}

void TGraphicGroup::SetContainerPressColor(uint32_t c) {
  if (c == FContainerPressColor) return;
  FContainerPressColor = c;
  Redraw();
}

void TGraphicGroup::SetParamSrc(TVSTParameterSource* source) {
  if (source == FParamSrc) return;
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
  FParamSrc = source;
  if (!source) return;
  source->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicGroup::SourceNotify));
  if (source->Param()) StoreIndex(source->Param()->CurValue(), false);
}

void TGraphicGroup::SourceNotify(TObject*, uint32_t code, int32_t) {
  // A range change alone leaves the selection; the value change that may follow moves it.
  if (code == pnFreeing) {
    FParamSrc = nullptr;
  } else if ((code == pnValueChanged || code == pnSourceRebound) && FParamSrc && FParamSrc->Param()) {
    StoreIndex(FParamSrc->Param()->CurValue(), false);
  }
}

int32_t TGraphicGroup::CellAt(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return -1;
  int32_t cell = x / FItemWidth;
  return cell < FValues.Count() ? cell : -1;
}

void TGraphicGroup::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (button == mbLeft && !FTracking) {
    FTracking = true;
    FTrackButton = button;
    FHot = CellAt(x, y);
    Redraw();
  }
  TGraphicElement::MouseDown(button, shift, x, y);
}

void TGraphicGroup::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  if (!FTracking) return;
  int32_t hot = CellAt(x, y);
  if (hot == FHot) return;
  FHot = hot;
  Redraw();
}

void TGraphicGroup::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseUp(button, shift, x, y);
  if (!FTracking || button != FTrackButton) return;
  FTracking = false;
  int32_t chosen = FHot;
  FHot = -1;
  Redraw();
  if (chosen >= 0 && chosen != FItemIndex && StoreIndex(chosen, true)) OnChange(this);
}

void TGraphicGroup::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s || Width() <= 0 || Height() <= 0) return;
  if (Opaque()) {
    s->SetBrush(Color(), platform::ui::BrushStyle::Solid);
    s->FillRect(0, 0, Width(), Height());
  }
  const bool images = FFaces.Both();
  const TFont& font = Font();
  for (int32_t i = 0; i < FValues.Count(); ++i) {
    int32_t left = i * FItemWidth;
    if (left >= Width()) break;
    bool lit = i == FItemIndex || i == FHot;
    const std::string& text = FValues.Strings(i);
    if (!images) {
      DrawButtonFace(bitmap, left, 0, left + FItemWidth, Height(), CellColor(i), lit, Enabled(), text, taCenter, 0,
                     font);
      continue;
    }
    {
      TElementClip clip(bitmap, left, 0, left + FItemWidth - 1, Height() - 1);
      if (!clip.Empty()) bitmap.AlphaBlit((lit ? FFaces.On() : FFaces.Off())->Bitmap(), left, 0);
    }
    if (text.empty()) continue;
    s->SetFont({font.Name, font.Height, font.Bold});
    platform::ui::Point ext = s->TextExtent(text);
    s->SetTextColor(lit ? FContainerPressColor : font.Color);
    s->TextOut(left + (FItemWidth - ext.X) / 2, (Height() - ext.Y) / 2, text);
  }
}
