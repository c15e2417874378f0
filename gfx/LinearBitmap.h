#pragma once
// TLinearBitmap: a 32-bit top-down pixel buffer with a drawing surface, a
// viewport (window origin and clip rectangle) and direct-memory blends.
// Every control paints into one of these, and the canvas composes into one.
//
// Pixels are 0xAARRGGBB words; A is a transparency weight (0 = the pixel
// covers what lies below, 255 = 255/256 of it shows through). The blends are
// exact integer arithmetic and write 0 into the alpha byte they touch.
//
// In NoDC mode (skin images) the bitmap keeps no drawing context between
// uses. Editor thread only.

#include <cstdint>
#include <memory>

#include "platform/ui/Jpeg.h"
#include "platform/ui/Surface.h"

// A decoded picture (the skins are JPEG images).
class TPicture {
public:
  int32_t Width() const { return FImage.Width; }
  int32_t Height() const { return FImage.Height; }
  bool Empty() const { return FImage.Width <= 0 || FImage.Height <= 0; }
  const uint32_t* Pixels() const { return FImage.Pixels.data(); }
  // Decodes a JPEG; a damaged one leaves the picture empty and returns false.
  bool LoadFromJpeg(const void* data, size_t size);
  void Assign(int32_t width, int32_t height, const uint32_t* pixels);
  void Clear() { FImage = {}; }

private:
  platform::ui::DecodedImage FImage;
};

class TLinearBitmap {
public:
  TLinearBitmap(int32_t width = 0, int32_t height = 0);
  ~TLinearBitmap();
  TLinearBitmap(const TLinearBitmap&) = delete;
  TLinearBitmap& operator=(const TLinearBitmap&) = delete;

  // Set by the owner right after construction, before the first sizing.
  void SetNoDC(bool v) { FNoDC = v; }
  bool NoDC() const { return FNoDC; }

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // The top-left pixel; null when empty.
  uint32_t* Bits() const { return FBits; }
  // The drawing surface (null when empty). Drawing calls use logical
  // coordinates of the current viewport.
  platform::ui::Surface* Canvas() const { return FSurface.get(); }
  bool HasDC() const { return FSurface && FSurface->HasContext(); }

  // A new size; the pixels are not kept. When the new buffer cannot be made
  // the error propagates and the old one stays.
  void Resize(int32_t width, int32_t height);
  // Draws a picture at (0, 0) in its natural size.
  void DrawGraphic(const TPicture& picture);
  // Copies the whole bitmap to (x, y) of a paint target.
  void CopyToDC(platform::ui::PaintTarget& target, int32_t x, int32_t y);
  // Logical point (originX, originY) falls on pixel (0, 0); the clip is
  // inclusive, in pixels. Nothing without a DC.
  void SetViewport(int32_t originX, int32_t originY, int32_t left, int32_t top, int32_t right, int32_t bottom);
  void ResetViewport();
  // Opaque copy of source (from its (0, 0)) to logical (x, y), with this
  // bitmap's extent; origin and clip apply. Needs this bitmap's DC.
  void CopyFrom(TLinearBitmap& source, int32_t x, int32_t y);
  // alpha := (11 B + 59 G + 30 R) div 100.
  void LumaToAlpha();
  // Per-pixel blend of source placed at logical (x, y), clipped to the clip rectangle.
  void AlphaBlit(const TLinearBitmap& source, int32_t x, int32_t y);
  // The same with one weight 0..256 for every pixel.
  void BlendConst(const TLinearBitmap& source, int32_t x, int32_t y, int32_t weight);

  int32_t OriginX() const { return FOriginX; }
  int32_t OriginY() const { return FOriginY; }
  platform::ui::Rect Clip() const { return {FClipLeft, FClipTop, FClipRight, FClipBottom}; }

private:
  template <bool PerPixel>
  void Blend(const TLinearBitmap& source, int32_t x, int32_t y, int32_t weight);

  int32_t FWidth = 0, FHeight = 0;
  std::unique_ptr<platform::ui::Surface> FSurface;
  uint32_t* FBits = nullptr;
  int32_t FOriginX = 0, FOriginY = 0;
  int32_t FClipLeft = 0, FClipTop = 0, FClipRight = -1, FClipBottom = -1;
  bool FNoDC = false;
};
