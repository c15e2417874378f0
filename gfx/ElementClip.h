#pragma once
// Narrows a bitmap's clip to a rectangle of the element being painted (in
// its logical coordinates, inclusive) for the lifetime of the object, and
// puts the canvas's viewport back afterwards.

#include <algorithm>
#include <cstdint>

#include "gfx/LinearBitmap.h"

class TElementClip {
public:
  TElementClip(TLinearBitmap& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom)
      : FBitmap(bitmap), FSaved(bitmap.Clip()) {
    int32_t ox = bitmap.OriginX(), oy = bitmap.OriginY();
    FBitmap.SetViewport(ox, oy, std::max(FSaved.Left, left - ox), std::max(FSaved.Top, top - oy),
                        std::min(FSaved.Right, right - ox), std::min(FSaved.Bottom, bottom - oy));
  }
  ~TElementClip() {
    FBitmap.SetViewport(FBitmap.OriginX(), FBitmap.OriginY(), FSaved.Left, FSaved.Top, FSaved.Right, FSaved.Bottom);
  }
  TElementClip(const TElementClip&) = delete;
  TElementClip& operator=(const TElementClip&) = delete;
  // Nothing of the rectangle lies inside the old clip.
  bool Empty() const { return FBitmap.Clip().Empty(); }

private:
  TLinearBitmap& FBitmap;
  platform::ui::Rect FSaved;
};
