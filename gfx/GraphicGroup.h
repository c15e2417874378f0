#pragma once
// TGraphicGroup: a row of equal-width cells of which one is selected (a
// radio group), optionally bound to a plug-in parameter whose CurValue is
// the selected cell. Each cell may have its own colour (Colours, decimal
// colour values).
//
// Threads: parameter notifications only store the index and call Redraw.

#include <cstdint>

#include "gfx/ButtonFace.h"
#include "gfx/ContainerPair.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"
#include "params/model/VSTParameterHost.h"

class TGraphicGroup : public TGraphicElement {
public:
  explicit TGraphicGroup(TComponent* owner);
  ~TGraphicGroup() override;

  const TStringList& Values() const { return FValues; }
  void SetValues(const TStringList& values);
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t v);
  TNotifyEvent OnChange;
  TVSTParameterSource* ParamSrc() const { return FParamSrc; }
  void SetParamSrc(TVSTParameterSource* source);
  int32_t ItemWidth() const { return FItemWidth; }
  void SetItemWidth(int32_t v);
  const TStringList& Colours() const { return FColours; }
  void SetColours(const TStringList& colours);
  TGraphicContainer* ContainerOff() const { return FFaces.Off(); }
  void SetContainerOff(TGraphicContainer* c) { FFaces.SetOff(c); }
  TGraphicContainer* ContainerOn() const { return FFaces.On(); }
  void SetContainerOn(TGraphicContainer* c) { FFaces.SetOn(c); }
  bool IsTransparent() const { return FIsTransparent; }
  void SetIsTransparent(bool v);
  uint32_t ContainerPressColor() const { return FContainerPressColor; }
  void SetContainerPressColor(uint32_t c);

  int32_t HotCell() const { return FHot; }
  // The colour of cell i: its entry of Colours, or Color when missing or not a number.
  uint32_t CellColor(int32_t i) const;

  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicGroup"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

private:
  void SourceNotify(TObject* sender, uint32_t code, int32_t param);
  bool StoreIndex(int32_t v, bool request);
  int32_t CellAt(int32_t x, int32_t y) const;

  TStringList FValues;
  int32_t FItemIndex = 0;
  TVSTParameterSource* FParamSrc = nullptr;
  int32_t FItemWidth = 30;
  TStringList FColours;
  TContainerPair FFaces{this};
  bool FIsTransparent = false;
  uint32_t FContainerPressColor = 0;

  int32_t FHot = -1;
  bool FTracking = false;
  TMouseButton FTrackButton = mbLeft;
};
