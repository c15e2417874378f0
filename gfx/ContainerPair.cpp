#include "gfx/ContainerPair.h"

TContainerPair::~TContainerPair() {
  if (FOff) FOff->NotifyHost().Unsubscribe(this);
  if (FOn && FOn != FOff) FOn->NotifyHost().Unsubscribe(this);
}

void TContainerPair::Set(TGraphicContainer*& slot, TGraphicContainer* c) {
  if (slot == c) return;
  TGraphicContainer* old = slot;
  bool listening = c && (c == FOff || c == FOn);
  slot = c;
  if (old && old != FOff && old != FOn) old->NotifyHost().Unsubscribe(this);
  if (c && !listening) c->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TContainerPair::Notify));
  FOwner->Redraw();
}

void TContainerPair::Notify(TObject* sender, uint32_t code, int32_t) {
  if (code == 0) {
    if (sender == FOff) FOff = nullptr;
    if (sender == FOn) FOn = nullptr;
    FOwner->Redraw();
  } else if (code == 2) {
    FOwner->Redraw();
  }
}
