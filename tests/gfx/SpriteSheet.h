#pragma once
// A synthetic knob sheet for tests: 720 x 432 pixels of 48 x 48 frames (15
// per row, 135 in all), frame k filled with a colour of its own, so the
// frame a knob shows can be read from one screen pixel.

#include <cstdint>
#include <vector>

#include "gfx/GraphicContainer.h"

namespace testsheet {

constexpr int32_t kFrame = 48, kColumns = 15, kRows = 9, kFrames = kColumns * kRows;

// Screen colour (0x00RRGGBB) of frame k: distinct red and green per frame.
constexpr uint32_t FrameColor(int32_t k) {
  return (static_cast<uint32_t>(k) << 16) | (static_cast<uint32_t>(255 - k) << 8) | 0x40u;
}

// Fills the sheet; with a mask, the sheet takes its alpha from it (all 0:
// every pixel covers what lies below, as the editor's knob sheets do in
// their bodies); without one, from its own luminance.
inline void Fill(TGraphicContainer& sheet, TGraphicContainer* mask = nullptr) {
  std::vector<uint32_t> pixels(static_cast<size_t>(kColumns * kFrame * kRows * kFrame));
  for (int32_t y = 0; y < kRows * kFrame; ++y)
    for (int32_t x = 0; x < kColumns * kFrame; ++x)
      pixels[static_cast<size_t>(y * kColumns * kFrame + x)] = FrameColor((y / kFrame) * kColumns + x / kFrame);
  sheet.SetWidth(kFrame);
  sheet.SetHeight(kFrame);
  if (mask) {
    std::vector<uint32_t> black(pixels.size(), 0);
    TPicture m;
    m.Assign(kColumns * kFrame, kRows * kFrame, black.data());
    mask->SetPicture(m);
  }
  sheet.SetAlpha(mask);
  TPicture picture;
  picture.Assign(kColumns * kFrame, kRows * kFrame, pixels.data());
  sheet.SetPicture(picture);
}

}  // namespace testsheet
