// The toolkit's bevelled button face and the colour scaling all painters share.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/forms/Controls.h"
#include "gfx/LinearBitmap.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Each of red, green and blue of colour (0x00BBGGRR) multiplied by k, rounded
// to nearest and limited to 0..255.
uint32_t ScaleColor(double k, uint32_t color);

// Paints a bevelled face over left..right-1, top..bottom-1 in color, with the
// text placed by alignment inside border pixels on each side. pressed swaps
// the bevel; a disabled face draws the text embossed.
void DrawButtonFace(TLinearBitmap& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color,
                    bool pressed, bool enabled, const std::string& text, TAlignment alignment, int32_t border,
                    const TFont& font);
