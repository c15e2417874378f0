#include "gfx/ButtonFace.h"

#include <algorithm>
#include <cmath>

using platform::ui::BrushStyle;
using platform::ui::Surface;

uint32_t ScaleColor(double k, uint32_t color) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    double v = std::floor(k * static_cast<double>((color >> shift) & 0xFF) + 0.5);
    uint32_t c = v <= 0 ? 0u : v >= 255 ? 255u : static_cast<uint32_t>(v);
    out |= c << shift;
  }
  return out;
}

namespace {

void Fill(Surface& s, uint32_t color, int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  s.SetBrush(color, BrushStyle::Solid);
  s.FillRect(l, t, r, b);
}

}  // namespace

void DrawButtonFace(TLinearBitmap& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color,
                    bool pressed, bool enabled, const std::string& text, TAlignment alignment, int32_t border,
                    const TFont& font) {
  Surface* s = bitmap.Canvas();
  if (!s || right <= left || bottom <= top) return;
  const double light = 1.4, dark = 0.71;
  const double topStart = pressed ? dark : light, bottomStart = pressed ? light : dark;

  Fill(*s, color, left + 1, top + 5, right - 1, bottom - 5);
  // Five lines at the top and five at the bottom fade from the edge colour to c.
  for (int i = 0; i < 5; ++i) {
    int32_t y = top + i;
    if (y < bottom) Fill(*s, ScaleColor(topStart + (1 - topStart) * i / 4, color), left + 1, y, right - 1, y + 1);
  }
  for (int i = 0; i < 5; ++i) {
    int32_t y = bottom - 1 - i;
    if (y >= top) Fill(*s, ScaleColor(bottomStart + (1 - bottomStart) * i / 4, color), left + 1, y, right - 1, y + 1);
  }
  Fill(*s, ScaleColor(pressed ? dark : light, color), left, top, left + 1, bottom);
  if (right - 1 > left) Fill(*s, ScaleColor(pressed ? light : dark, color), right - 1, top, right, bottom);
  // The two corners where a light and a dark edge meet.
  Fill(*s, ScaleColor(1.055, color), left, bottom - 1, left + 1, bottom);
  Fill(*s, ScaleColor(1.055, color), right - 1, top, right, top + 1);

  if (text.empty()) return;
  s->SetFont({font.Name, font.Height, font.Bold});
  platform::ui::Point ext = s->TextExtent(text);
  border = std::max(0, border);
  int32_t x;
  switch (alignment) {
    case taRightJustify: x = right - border - ext.X; break;
    case taCenter: x = left + (right - left - ext.X) / 2; break;
    default: x = left + border; break;
  }
  int32_t y = top + (bottom - top - ext.Y) / 2;
  if (!enabled) {
    s->SetTextColor(ScaleColor(light, color));
    s->TextOut(x + 1, y + 1, text);
    s->SetTextColor(ScaleColor(dark, color));
    s->TextOut(x, y, text);
  } else if (pressed) {
    s->SetTextColor(ScaleColor(dark, color));
    s->TextOut(x - 1, y - 1, text);
    s->SetTextColor(font.Color);
    s->TextOut(x, y, text);
  } else {
    s->SetTextColor(font.Color);
    s->TextOut(x, y, text);
  }
}
