#include "gfx/GraphicImage.h"

TGraphicImage::TGraphicImage(TComponent* owner) : TGraphicElement(owner) {
  SetBounds(Left(), Top(), 32, 32);
  SetOpaque(true);
}

TGraphicImage::~TGraphicImage() {
  if (FContainer) FContainer->NotifyHost().Unsubscribe(this);
}

void TGraphicImage::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  FitSize(false);
}

void TGraphicImage::SetContainer(TGraphicContainer* container) {
  if (container == FContainer) return;
  if (FContainer) FContainer->NotifyHost().Unsubscribe(this);
  if (container) container->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicImage::ContainerNotify));
  FContainer = container;
  FitSize(true);
}

void TGraphicImage::ContainerNotify(TObject*, uint32_t code, int32_t) {
  if (code == 0) {
    FContainer = nullptr;
    Redraw();
  } else if (code == 2) {
    FitSize(true);
  }
}

void TGraphicImage::FitSize(bool forced) {
  if (FAutoSize && FContainer) {
    int32_t w = FContainer->Picture().Width(), h = FContainer->Picture().Height();
    if (w != Width() || h != Height()) {
      SetBounds(Left(), Top(), w, h);
      Redraw();
      return;
    }
  }
  if (forced) Redraw();
}

void TGraphicImage::SetOffsetX(int32_t v) {
  if (v == FOffsetX) return;
  FOffsetX = v;
  Redraw();
}

void TGraphicImage::SetOffsetY(int32_t v) {
  if (v == FOffsetY) return;
  FOffsetY = v;
  Redraw();
}

void TGraphicImage::SetImageAlpha(int32_t v) {
  v = v < 0 ? 0 : v > 255 ? 255 : v;
  if (v == FImageAlpha) return;
  FImageAlpha = v;
  SetOpaque(v == 0);
}

void TGraphicImage::PaintTo(TLinearBitmap& bitmap) {
  if (!FContainer) return;
  if (FImageAlpha == 0)
    bitmap.CopyFrom(FContainer->Bitmap(), FOffsetX, FOffsetY);
  else
    bitmap.BlendConst(FContainer->Bitmap(), FOffsetX, FOffsetY, FImageAlpha);
}
