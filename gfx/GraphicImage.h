#pragma once
// TGraphicImage: a picture from a skin image, copied opaque or blended with
// a constant weight over the background; without a picture it is an
// invisible area that only reacts to the mouse (OnMouseDown/Move/Up).

#include <cstdint>

#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"

class TGraphicImage : public TGraphicElement {
public:
  explicit TGraphicImage(TComponent* owner);
  ~TGraphicImage() override;

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TGraphicContainer* Container() const { return FContainer; }
  void SetContainer(TGraphicContainer* container);
  int32_t OffsetX() const { return FOffsetX; }
  void SetOffsetX(int32_t v);
  int32_t OffsetY() const { return FOffsetY; }
  void SetOffsetY(int32_t v);
  // 0: opaque copy; 1..255: how much of the background shows through.
  // Clamped to 0..255; takes effect at the next repaint.
  int32_t ImageAlpha() const { return FImageAlpha; }
  void SetImageAlpha(int32_t v);

  // Takes the picture's size when AutoSize is set.
  void AdjustSize() { FitSize(false); }
  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicImage"; }

private:
  void FitSize(bool forced);
  void ContainerNotify(TObject* sender, uint32_t code, int32_t param);

  bool FAutoSize = false;
  TGraphicContainer* FContainer = nullptr;
  int32_t FOffsetX = 0, FOffsetY = 0;
  int32_t FImageAlpha = 0;
};
