#pragma once
// A gallery of the toolkit's skinned controls on one form, bound to the
// parameters of a plug-in instance: a knob with a dial sheet drawn in code
// and its value text (MainOut), a button stepping through values (Detectr),
// a button with a popup list (MSMode), a radio group (CMode), a switch
// (Fluffy), a scrolling list, a label shortening a long file path and an
// image. Everything it shows is made in code, so it needs no skin files.

#include <cstdint>

#include "gfx/GraphicButton.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicGroup.h"
#include "gfx/GraphicImage.h"
#include "gfx/GraphicKnob.h"
#include "gfx/GraphicLabel.h"
#include "gfx/GraphicList.h"
#include "gfx/GraphicSwitch.h"
#include "gfx/GraphicText.h"
#include "params/model/VSTParameterHost.h"

class TFormGallery : public TVCLForm {
public:
  TFormGallery(TComponent* owner, TVSTParameterHost* params);
  ~TFormGallery() override;

  static constexpr int32_t kWidth = 520, kHeight = 250;
  // The dial sheet: kDialFrames frames of kDial x kDial pixels, kDialColumns per row.
  static constexpr int32_t kDial = 48, kDialColumns = 8, kDialFrames = 64;

  TGraphicCanvas* Canvas() const { return FCanvas; }
  TGraphicKnob* Knob() const { return FKnob; }
  TGraphicText* ValueText() const { return FValueText; }
  TGraphicButton* ValuesButton() const { return FValuesButton; }
  TGraphicButton* PopupButton() const { return FPopupButton; }
  TGraphicGroup* Group() const { return FGroup; }
  TGraphicSwitch* Switch() const { return FSwitch; }
  TGraphicList* List() const { return FList; }
  TGraphicLabel* PathLabel() const { return FPathLabel; }
  TGraphicImage* Image() const { return FImage; }
  const char* ClassName() const override { return "TFormGallery"; }

private:
  TVSTParameterSource* Bind(const char* name);
  TGraphicLabel* Caption(const char* text, int32_t left, int32_t top, int32_t width);
  void SwitchChange(TObject* sender);
  void SwitchSourceNotify(TObject* sender, uint32_t code, int32_t param);
  void SyncSwitch();

  TVSTParameterHostProxy* FProxy;
  TGraphicContainer* FBackground;
  TGraphicContainer* FDialSheet;
  TGraphicContainer* FDialMask;
  TGraphicContainer* FImagePicture;
  TGraphicCanvas* FCanvas;
  TGraphicKnob* FKnob;
  TGraphicText* FValueText;
  TGraphicButton* FValuesButton;
  TGraphicButton* FPopupButton;
  TGraphicGroup* FGroup;
  TGraphicSwitch* FSwitch;
  TVSTParameterSource* FSwitchSource;
  TGraphicList* FList;
  TGraphicLabel* FPathLabel;
  TGraphicImage* FImage;
};

// The gallery as a child of the host's window; null when that window cannot take it.
TComponent* CreateGalleryForm(void* parentWindow, TVSTParameterHost* params);
