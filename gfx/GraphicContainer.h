#pragma once
// TGraphicContainer: a skin image. It holds a decoded picture, converts it
// once into a bitmap whose alpha byte comes from a second container's
// picture (Alpha) or from the picture's own luminance, and divides it into
// a grid of equal frames that controls pick by index.
//
// Frame k lies at column k mod ImageCountX, row k div ImageCountX.
// Subscribers of NotifyHost() get code 1 when the frame size changes, 2 when
// the picture changes and 0 when the container goes away. Editor thread only.

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "gfx/LinearBitmap.h"
#include "gfx/core/GraphicNotifyHost.h"

class TGraphicContainer : public TComponent {
public:
  explicit TGraphicContainer(TComponent* owner);
  ~TGraphicContainer() override;

  const TPicture& Picture() const { return FPicture; }
  void SetPicture(const TPicture& picture);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t v);
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t v);
  int32_t ImageCount() const { return FImageCount; }
  int32_t ImageCountX() const { return FImageCountX; }
  int32_t ImageCountY() const { return FImageCountY; }
  TGraphicContainer* Alpha() const { return FAlpha; }
  void SetAlpha(TGraphicContainer* alpha) { FAlpha = alpha; }  // takes effect at the next Rebuild
  bool InvertAlpha() const { return FInvertAlpha; }
  void SetInvertAlpha(bool v);

  TLinearBitmap& Bitmap() { return *FBitmap; }
  TGraphicNotifyHost& NotifyHost() { return *FNotify; }
  void Rebuild();
  const char* ClassName() const override { return "TGraphicContainer"; }

protected:
  void Loaded() override { Rebuild(); }

private:
  void CountFrames();
  void ApplyAlpha();

  std::unique_ptr<TGraphicNotifyHost> FNotify;
  TPicture FPicture;
  int32_t FWidth = 64, FHeight = 64;
  int32_t FImageCount = 0, FImageCountX = 0, FImageCountY = 0;
  TGraphicContainer* FAlpha = nullptr;
  bool FInvertAlpha = false;
  std::unique_ptr<TLinearBitmap> FBitmap;
};
