#pragma once
// TGraphicSwitch: a two-state check switch. A left press toggles Checked and
// fires OnChange. Drawn from ContainerOn / ContainerOff when both are set,
// otherwise as the toolkit's button face (pressed while checked).

#include <cstdint>
#include <string>

#include "gfx/ButtonFace.h"
#include "gfx/ContainerPair.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"

class TGraphicSwitch : public TGraphicElement {
public:
  explicit TGraphicSwitch(TComponent* owner);
  ~TGraphicSwitch() override;

  bool ShowHint = false;
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  TNotifyEvent OnChange;
  TGraphicContainer* ContainerOff() const { return FFaces.Off(); }
  void SetContainerOff(TGraphicContainer* container) { FFaces.SetOff(container); }
  TGraphicContainer* ContainerOn() const { return FFaces.On(); }
  void SetContainerOn(TGraphicContainer* container) { FFaces.SetOn(container); }

  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicSwitch"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

private:
  std::string FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FChecked = false;
  TContainerPair FFaces{this};
};
