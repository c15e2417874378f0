#include "gfx/GraphicContainer.h"

TGraphicContainer::TGraphicContainer(TComponent* owner)
    : TComponent(owner),
      FNotify(std::make_unique<TGraphicNotifyHost>(this)),
      FBitmap(std::make_unique<TLinearBitmap>()) {
  FBitmap->SetNoDC(true);
}

TGraphicContainer::~TGraphicContainer() {
  FNotify.reset();  // subscribers hear code 0 while the container is whole
}

void TGraphicContainer::SetPicture(const TPicture& picture) {
  FPicture = picture;
  Rebuild();
  FNotify->Notify(2, 0);
}

void TGraphicContainer::SetWidth(int32_t v) {
  if (v < 1) v = 1;
  if (v == FWidth) return;
  FWidth = v;
  CountFrames();
  FNotify->Notify(1, 0);
}

void TGraphicContainer::SetHeight(int32_t v) {
  if (v < 1) v = 1;
  if (v == FHeight) return;
  FHeight = v;
  CountFrames();
  FNotify->Notify(1, 0);
}

void TGraphicContainer::SetInvertAlpha(bool v) {
  if (v == FInvertAlpha) return;
  FInvertAlpha = v;
  ApplyAlpha();
}

void TGraphicContainer::Rebuild() {
  FBitmap->Resize(FPicture.Width(), FPicture.Height());
  FBitmap->DrawGraphic(FPicture);
  ApplyAlpha();
  CountFrames();
}

void TGraphicContainer::CountFrames() {
  FImageCountX = FPicture.Width() / FWidth;
  FImageCountY = FPicture.Height() / FHeight;
  FImageCount = FImageCountX * FImageCountY;
}

void TGraphicContainer::ApplyAlpha() {
  uint32_t* bits = FBitmap->Bits();
  if (!bits) return;
  const TPicture* alpha = FAlpha ? &FAlpha->Picture() : nullptr;
  if (!alpha || alpha->Width() != FPicture.Width() || alpha->Height() != FPicture.Height()) {
    FBitmap->LumaToAlpha();
    return;
  }
  TLinearBitmap mask(alpha->Width(), alpha->Height());
  mask.DrawGraphic(*alpha);
  const uint32_t* m = mask.Bits();
  size_t n = static_cast<size_t>(FPicture.Width()) * static_cast<size_t>(FPicture.Height());
  for (size_t i = 0; i < n; ++i) {
    uint32_t blue = m[i] & 0xFF;
    uint32_t a = !FInvertAlpha ? blue : (blue <= 9 ? 255 : 255 - blue);
    bits[i] = (bits[i] & 0x00FFFFFFu) | (a << 24);
  }
}
