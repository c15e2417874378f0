#include "gfx/GraphicSwitch.h"

TGraphicSwitch::TGraphicSwitch(TComponent* owner) : TGraphicElement(owner) { SetBounds(Left(), Top(), 80, 22); }

TGraphicSwitch::~TGraphicSwitch() {
  if (FContainerOff) FContainerOff->NotifyHost().Unsubscribe(this);
  if (FContainerOn) FContainerOn->NotifyHost().Unsubscribe(this);
}

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

// One subscription serves both slots (the notifier keeps one entry per
// subscriber and container), so a container used in both slots is left
// only when neither slot holds it any more.
void TGraphicSwitch::SetContainer(TGraphicContainer*& slot, TGraphicContainer* container) {
  if (container == slot) return;
  TGraphicContainer* old = slot;
  slot = container;
  if (old && old != FContainerOff && old != FContainerOn) old->NotifyHost().Unsubscribe(this);
  if (container) container->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicSwitch::ContainerNotify));
  Redraw();
}

void TGraphicSwitch::SetContainerOff(TGraphicContainer* container) { SetContainer(FContainerOff, container); }
void TGraphicSwitch::SetContainerOn(TGraphicContainer* container) { SetContainer(FContainerOn, container); }

void TGraphicSwitch::ContainerNotify(TObject* sender, uint32_t code, int32_t) {
  if (code == 0) {
    if (sender == FContainerOff) FContainerOff = nullptr;
    if (sender == FContainerOn) FContainerOn = nullptr;
    Redraw();
  } else if (code == 2) {
    Redraw();
  }
}

void TGraphicSwitch::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  SetChecked(!FChecked);
  OnChange(this);
}

void TGraphicSwitch::PaintTo(TLinearBitmap& bitmap) {
  if (FContainerOff && FContainerOn) {
    bitmap.CopyFrom((FChecked ? FContainerOn : FContainerOff)->Bitmap(), 0, 0);
    return;
  }
  if (Width() <= 0 || Height() <= 0) return;
  DrawButtonFace(bitmap, 0, 0, Width() - 1, Height() - 1, Color(), FChecked, Enabled(), FCaption, FAlignment, 0,
                 Font());
}
