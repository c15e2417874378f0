#include "gfx/GraphicSwitch.h"

TGraphicSwitch::TGraphicSwitch(TComponent* owner) : TGraphicElement(owner) { SetBounds(Left(), Top(), 80, 22); }

TGraphicSwitch::~TGraphicSwitch() = default;

void TGraphicSwitch::SetCaption(const std::string& v) {
  if (v == FCaption) return;
  FCaption = v;
  Redraw();
}

void TGraphicSwitch::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicSwitch::SetChecked(bool v) {
  if (v == FChecked) return;
  FChecked = v;
  Redraw();
}

void TGraphicSwitch::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  SetChecked(!FChecked);
  OnChange(this);
}

void TGraphicSwitch::PaintTo(TLinearBitmap& bitmap) {
  if (FFaces.Both()) {
    bitmap.CopyFrom((FChecked ? FFaces.On() : FFaces.Off())->Bitmap(), 0, 0);
    return;
  }
  if (Width() <= 0 || Height() <= 0) return;
  DrawButtonFace(bitmap, 0, 0, Width() - 1, Height() - 1, Color(), FChecked, Enabled(), FCaption, FAlignment, 0,
                 Font());
}
