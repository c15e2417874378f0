#pragma once
// The released and pressed face images of a control (button, list, group,
// switch), with the subscription to their notifiers: one subscription per
// container, left only when neither slot holds it any more; a freed
// container drops out of both slots, and every change repaints the control.
// Editor thread only.

#include <cstdint>

#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"

class TContainerPair {
public:
  explicit TContainerPair(TGraphicElement* owner) : FOwner(owner) {}
  ~TContainerPair();
  TContainerPair(const TContainerPair&) = delete;
  TContainerPair& operator=(const TContainerPair&) = delete;

  TGraphicContainer* Off() const { return FOff; }
  TGraphicContainer* On() const { return FOn; }
  void SetOff(TGraphicContainer* c) { Set(FOff, c); }
  void SetOn(TGraphicContainer* c) { Set(FOn, c); }
  bool Both() const { return FOff && FOn; }

private:
  void Set(TGraphicContainer*& slot, TGraphicContainer* c);
  void Notify(TObject* sender, uint32_t code, int32_t param);

  TGraphicElement* FOwner;
  TGraphicContainer* FOff = nullptr;
  TGraphicContainer* FOn = nullptr;
};
