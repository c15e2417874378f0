#pragma once
// TGraphicText: the value text of one parameter ("-3.0 dB"), bound through a
// parameter source; "Test" while no parameter is bound. Parameter
// notifications (any thread) only ask for a repaint.

#include <cstdint>
#include <string>

#include "gfx/ButtonFace.h"
#include "gfx/GraphicCanvas.h"
#include "params/model/VSTParameterHost.h"

class TGraphicText : public TGraphicElement {
public:
  explicit TGraphicText(TComponent* owner);
  ~TGraphicText() override;

  int32_t Border() const { return FBorder; }
  void SetBorder(int32_t v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TVSTParameterSource* ParamSrc() const { return FParamSrc; }
  void SetParamSrc(TVSTParameterSource* source);

  // What the control shows: the value text and, when there is one, a space
  // and the unit label.
  std::string Text() const;
  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicText"; }

private:
  void SourceNotify(TObject* sender, uint32_t code, int32_t param);

  int32_t FBorder = 0;
  TAlignment FAlignment = taLeftJustify;
  TVSTParameterSource* FParamSrc = nullptr;
};
