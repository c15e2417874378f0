#include "gfx/FrmButtonPopupBase.h"

TFormButtonPopupBase::TFormButtonPopupBase(TComponent* owner) : TVCLForm(owner) {
  NoClickFocus = true;
  GraphicCanvas1 = new TGraphicCanvas(this);
  GraphicCanvas1->SetName("GraphicCanvas1");
  GraphicCanvas1->SetParent(this);
  GraphicCanvas1->SetColor(0x00FFFFFF);
  GraphicCanvas1->SetRefreshInterval(49);
}

TFormButtonPopupBase::~TFormButtonPopupBase() {
  TNotifyEvent freeing = OnFreeing;
  OnFreeing.Unbind();
  freeing(this);
}

platform::ui::Rect TFormButtonPopupBase::ScreenBounds() const {
  int32_t x = Left(), y = Top();
  if (Parent()) Parent()->ClientToScreen(x, y);
  return {x, y, x + Width() - 1, y + Height() - 1};
}

void TFormButtonPopupBase::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  // Not TWinControl's: that would place a top-level window in client coordinates.
  TControl::SetBounds(left, top, width, height);
  if (GraphicCanvas1) GraphicCanvas1->SetBounds(0, 0, Width(), Height());
  if (HandleAllocated()) platform::ui::Windows().SetBounds(Handle(), ScreenBounds());
}

void TFormButtonPopupBase::ShowPopup() {
  if (!HandleAllocated()) {
    platform::ui::Rect r = ScreenBounds();
    CreatePopup(r.Left, r.Top);
  }
  Show();
}
