#include "gfx/LinearBitmap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "classlib/SysUtils.h"

using platform::ui::Surface;
using platform::ui::SurfaceError;

bool TPicture::LoadFromJpeg(const void* data, size_t size) {
  platform::ui::DecodedImage img;
  std::string error;
  if (!data || !platform::ui::DecodeJpeg(data, size, img, error)) {
    FImage = {};
    return false;
  }
  FImage = std::move(img);
  return true;
}

void TPicture::Assign(int32_t width, int32_t height, const uint32_t* pixels) {
  FImage.Width = std::max(0, width);
  FImage.Height = std::max(0, height);
  FImage.Pixels.assign(pixels, pixels + static_cast<size_t>(FImage.Width) * static_cast<size_t>(FImage.Height));
}

TLinearBitmap::TLinearBitmap(int32_t width, int32_t height) { Resize(width, height); }

TLinearBitmap::~TLinearBitmap() {
  if (FSurface) FSurface->Flush();
}

void TLinearBitmap::Resize(int32_t width, int32_t height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == FWidth && height == FHeight && (FSurface || width == 0 || height == 0)) return;
  std::unique_ptr<Surface> next;
  if (width > 0 && height > 0) {
    SurfaceError err = SurfaceError::None;
    next = Surface::Create(width, height, FNoDC, err);
    if (!next) {
      switch (err) {
        case SurfaceError::CreateDIB: throw Exception("CreateDIBSection () returned error in LinearBitmap");
        case SurfaceError::SelectObject: throw Exception("SelectObject () returned error in LinearBitmap");
        default: throw Exception("CreateCompatibleDC (0) returned error in LinearBitmap");
      }
    }
  }
  if (FSurface) FSurface->Flush();
  FSurface = std::move(next);
  FBits = FSurface ? FSurface->Bits() : nullptr;
  FWidth = FSurface ? width : 0;
  FHeight = FSurface ? height : 0;
  ResetViewport();
}

void TLinearBitmap::DrawGraphic(const TPicture& picture) {
  if (!FBits || picture.Empty()) return;
  FSurface->Flush();
  int32_t w = std::min(FWidth, picture.Width()), h = std::min(FHeight, picture.Height());
  for (int32_t y = 0; y < h; ++y) {
    const uint32_t* src = picture.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(picture.Width());
    uint32_t* dst = FBits + static_cast<size_t>(y) * static_cast<size_t>(FWidth);
    for (int32_t x = 0; x < w; ++x) dst[x] = src[x] & 0x00FFFFFFu;
  }
}

void TLinearBitmap::CopyToDC(platform::ui::PaintTarget& target, int32_t x, int32_t y) {
  if (HasDC()) FSurface->CopyToTarget(target, x, y);
}

void TLinearBitmap::SetViewport(int32_t originX, int32_t originY, int32_t left, int32_t top, int32_t right,
                                int32_t bottom) {
  if (!HasDC()) return;
  FSurface->SetViewport(originX, originY, {left, top, right, bottom});
  FOriginX = originX;
  FOriginY = originY;
  FClipLeft = left;
  FClipTop = top;
  FClipRight = right;
  FClipBottom = bottom;
}

void TLinearBitmap::ResetViewport() {
  if (!HasDC()) return;
  FSurface->ResetViewport();
  FOriginX = FOriginY = 0;
  FClipLeft = FClipTop = 0;
  FClipRight = FWidth - 1;
  FClipBottom = FHeight - 1;
}

void TLinearBitmap::CopyFrom(TLinearBitmap& source, int32_t x, int32_t y) {
  if (!HasDC() || !source.FSurface) return;
  FSurface->CopyFrom(*source.FSurface, x, y, FWidth, FHeight);
}

void TLinearBitmap::LumaToAlpha() {
  if (!FBits) return;
  FSurface->Flush();
  size_t n = static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight);
  for (size_t i = 0; i < n; ++i) {
    uint32_t p = FBits[i];
    uint32_t b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF;
    uint32_t a = (11 * b + 59 * g + 30 * r) / 100;
    FBits[i] = (p & 0x00FFFFFFu) | (a << 24);
  }
}

template <bool PerPixel>
void TLinearBitmap::Blend(const TLinearBitmap& source, int32_t x, int32_t y, int32_t weight) {
  if (!FBits || !source.FBits) return;
  // The stored clip, kept inside the bitmap.
  int32_t cl = std::max(FClipLeft, 0), ct = std::max(FClipTop, 0);
  int32_t cr = std::min(FClipRight, FWidth - 1), cb = std::min(FClipBottom, FHeight - 1);
  int32_t dx = x - FOriginX, dy = y - FOriginY;
  int32_t w = source.FWidth, h = source.FHeight, sx = 0, sy = 0;
  if (dx < cl) {
    sx = cl - dx;
    w -= sx;
    if (w < 1) return;
    dx = cl;
  }
  if (dy < ct) {
    sy = ct - dy;
    h -= sy;
    if (h < 1) return;
    dy = ct;
  }
  if (dx + w > cr + 1) {
    if (dx > cr) return;
    w = cr - dx + 1;
  }
  if (dy + h > cb + 1) {
    if (dy > cb) return;
    h = cb - dy + 1;
  }
  FSurface->Flush();
  for (int32_t row = 0; row < h; ++row) {
    uint32_t* d = FBits + static_cast<size_t>(dy + row) * static_cast<size_t>(FWidth) + dx;
    const uint32_t* s = source.FBits + static_cast<size_t>(sy + row) * static_cast<size_t>(source.FWidth) + sx;
    for (int32_t i = 0; i < w; ++i) {
      uint32_t sp = s[i], dp = d[i];
      int32_t a = PerPixel ? static_cast<int32_t>(sp >> 24) : weight;
      uint32_t out = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        int32_t sc = static_cast<int32_t>((sp >> shift) & 0xFF), dc = static_cast<int32_t>((dp >> shift) & 0xFF);
        int32_t c = sc + (((dc - sc) * a) >> 8);
        out |= static_cast<uint32_t>(c & 0xFF) << shift;
      }
      d[i] = out;
    }
  }
}

void TLinearBitmap::AlphaBlit(const TLinearBitmap& source, int32_t x, int32_t y) { Blend<true>(source, x, y, 0); }

void TLinearBitmap::BlendConst(const TLinearBitmap& source, int32_t x, int32_t y, int32_t weight) {
  Blend<false>(source, x, y, weight);
}
