#pragma once
// TGraphicButton: a push button showing one text out of Values. A click
// steps to the next value; a popup list can offer all values or entries
// generated on demand; a right click can toggle between the current and
// the previous value; the value can be bound to a plug-in parameter (the
// item index is the parameter's CurValue, user choices go to the host).
//
// The popup list sits on the button's form or, with PopupUseBase, on a
// TFormButtonPopupBase of its own, which is freed later through the form's
// helper (TKM_FREEOBJECT) because closing often runs inside its handlers.
//
// Threads: parameter notifications only store the index and call Redraw;
// everything else runs on the editor's thread.

#include <cstdint>

#include "gfx/ButtonFace.h"
#include "gfx/ContainerPair.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"
#include "params/model/VSTParameterHost.h"

class TGraphicList;
class TFormButtonPopupBase;

using TAltClickShiftEvent = TEvent<void(TObject* Sender, TShiftState Shift)>;
using TGenPopupIdxEvent = TEvent<void(TObject* Sender, TStringList* Items, int32_t& Index)>;

class TGraphicButton : public TGraphicElement {
public:
  explicit TGraphicButton(TComponent* owner);
  ~TGraphicButton() override;

  int32_t Border() const { return FBorder; }
  void SetBorder(int32_t v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  const TStringList& Values() const { return FValues; }
  void SetValues(const TStringList& values);
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t v);
  TNotifyEvent OnChange;
  TNotifyEvent OnAltClick;
  TAltClickShiftEvent OnAltClickShift;
  bool ShowPopup = false;
  bool SortedPopup = false;
  bool GenPopup = false;
  int32_t PopupWidth = 0;
  bool PopupUseBase = false;
  TGenPopupEvent OnGenPopup;
  TGenPopupIdxEvent OnGenPopupIdx;
  TGenPopupCommandEvent OnGenPopupCommand;
  int32_t ShowPopupItemCount = 8;
  bool Switching = false;
  int32_t DefaultItem = 0;
  int32_t ScrollInterval = 45;
  TVSTParameterSource* ParamSrc() const { return FParamSrc; }
  void SetParamSrc(TVSTParameterSource* source);
  int32_t PopupHeight = 0;
  bool PopupDown = false;
  bool EnableMouseWheel = false;
  TGraphicContainer* ContainerOff() const { return FFaces.Off(); }
  void SetContainerOff(TGraphicContainer* c) { FFaces.SetOff(c); }
  TGraphicContainer* ContainerOn() const { return FFaces.On(); }
  void SetContainerOn(TGraphicContainer* c) { FFaces.SetOn(c); }
  bool PrintLabelOnImage() const { return FPrintLabelOnImage; }
  void SetPrintLabelOnImage(bool v);
  TGraphicContainer* ListContainerOff = nullptr;
  TGraphicContainer* ListContainerOn = nullptr;
  bool DisableContainerOn() const { return FDisableContainerOn; }
  void SetDisableContainerOn(bool v);

  bool PressedLook() const { return FPressed; }
  bool Tracking() const { return FTracking; }
  int32_t PreviousValue() const { return FPrevious; }
  // The open popup's list and base form (null when closed).
  TGraphicList* PopupList() const { return FPopupList; }
  TFormButtonPopupBase* PopupForm() const { return FPopupForm; }
  // Closes the open popup with row r of its list as the choice (r < 0: none).
  void ClosePopup(int32_t row);

  void PaintTo(TLinearBitmap& bitmap) override;
  void WheelUp() override;
  void WheelDown() override;
  const char* ClassName() const override { return "TGraphicButton"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

private:
  void SourceNotify(TObject* sender, uint32_t code, int32_t param);
  // Stores a clamped index; a user's value is also requested from the host.
  bool StoreIndex(int32_t v, bool request);
  void RequestParam();
  void Step(int32_t delta);
  bool OpenPopup();
  void PopupFormFreeing(TObject* sender);
  void DropPopup(bool freeNow);

  int32_t FBorder = 0;
  TAlignment FAlignment = taLeftJustify;
  TStringList FValues;
  int32_t FItemIndex = 0;
  TVSTParameterSource* FParamSrc = nullptr;
  TContainerPair FFaces{this};
  bool FPrintLabelOnImage = false;
  bool FDisableContainerOn = false;

  bool FPressed = false;
  bool FTracking = false;
  TMouseButton FTrackButton = mbLeft;
  bool FCaptured = false;
  int32_t FPrevious = 0;
  TGraphicList* FPopupList = nullptr;
  TFormButtonPopupBase* FPopupForm = nullptr;
};
