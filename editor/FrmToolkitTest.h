#pragma once
// The editor window until the editor forms exist: a 600 x 480 form with a
// canvas over a background picture and four pads that draw, light up under
// the mouse, count clicks (a pad turns green after an odd number of clicks)
// and wheel steps (a bar at the pad's bottom, one tenth of its width a step).
// It makes the whole window path real: host window, form, canvas, paints,
// mouse, wheel, timers and closing.

#include <cstdint>
#include <string>

#include "gfx/GraphicCanvas.h"

class TToolkitPad : public TGraphicElement {
public:
  TToolkitPad(TComponent* owner, const std::string& caption, uint32_t color);
  void PaintTo(TLinearBitmap& bitmap) override;
  void MouseLeave() override;
  void WheelUp() override;
  void WheelDown() override;

  int Clicks() const { return FClicks; }
  int Wheel() const { return FWheel; }
  bool Hot() const { return FHot; }
  // Colours a pad shows (0x00BBGGRR).
  uint32_t BaseColor() const { return FColor; }
  static uint32_t HotColor(uint32_t base);
  static constexpr uint32_t kOnColor = 0x0030C030;
  static constexpr uint32_t kBarColor = 0x00F0F0F0;
  const char* ClassName() const override { return "TToolkitPad"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;

private:
  std::string FCaption;
  uint32_t FColor;
  int FClicks = 0;
  int FWheel = 0;
  bool FHot = false;
};

class TFormToolkitTest : public TVCLForm {
public:
  explicit TFormToolkitTest(TComponent* owner);
  TGraphicCanvas* Canvas() const { return FCanvas; }
  TToolkitPad* Pad(int i) const { return FPads[i]; }
  static constexpr int kPads = 4;
  const char* ClassName() const override { return "TFormToolkitTest"; }

private:
  TGraphicContainer* FBackground;
  TGraphicCanvas* FCanvas;
  TToolkitPad* FPads[kPads];
};

// OnCreateEditor's form until the editor exists: the test form as a child of
// the host's window; null when that window cannot take it.
TComponent* CreateToolkitTestForm(void* parentWindow);
