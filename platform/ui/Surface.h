#pragma once
// Port: a 32-bit top-down pixel buffer with a drawing surface on it.
//
// Pixels are little-endian words 0xAARRGGBB, rows exactly width * 4 bytes.
// The toolkit uses the top byte as a transparency weight (0 = opaque), so
// every drawing operation below leaves 0 in the top byte of the pixels it
// touches.
// Win32: a DIB section with a memory DC; pen, brush and font are GDI objects.
// Linux: the same memory as a Cairo image surface (antialiased lines, GDI's
// edge conventions for rectangles), text through FreeType from a font
// embedded at build time (DejaVu Sans, standing in for "Tahoma").
//
// Coordinates of drawing calls are logical: the viewport's origin is
// subtracted and its clip rectangle limits every pixel written. Colours are
// Windows colour values 0x00BBGGRR. Not thread-safe: one thread at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/UiTypes.h"

namespace platform::ui {

enum class SurfaceError { None, CreateDC, CreateDIB, SelectObject };
enum class PenStyle { Solid, Dash, Dot, Clear };
enum class BrushStyle { Solid, Clear };

struct FontSpec {
  std::string Name = "Tahoma";
  int32_t Height = 11;  // character height in pixels
  bool Bold = false;
};

struct Point {
  int32_t X = 0, Y = 0;
};

class Surface {
public:
  // width or height 0: an empty surface (null bits, every operation does
  // nothing). noDC: keep no drawing context between uses (skin images); the
  // drawing calls then take one for the duration of the call. Returns null
  // and sets error when the OS refuses.
  static std::unique_ptr<Surface> Create(int32_t width, int32_t height, bool noDC, SurfaceError& error);
  virtual ~Surface() = default;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual uint32_t* Bits() = 0;
  // True when the surface keeps a drawing context (not noDC, not empty).
  virtual bool HasContext() const = 0;
  // Makes pending drawing reach the memory before it is read or written directly.
  virtual void Flush() = 0;

  // Window origin (logical point (originX, originY) falls on pixel (0, 0))
  // and clip rectangle in pixels. Nothing without a context.
  virtual void SetViewport(int32_t originX, int32_t originY, const Rect& clip) = 0;
  virtual void ResetViewport() = 0;

  // Opaque copy of source's pixels from its (0, 0) to logical (x, y) of this
  // surface, with an extent of width x height; origin and clip apply. A
  // source without a context is borrowed for the copy. False when nothing
  // could be copied.
  virtual bool CopyFrom(Surface& source, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // Copies the whole surface to (x, y) of a paint target (its origin and clip apply).
  virtual void CopyToTarget(PaintTarget& target, int32_t x, int32_t y) = 0;

  // Drawing state.
  virtual void SetPen(uint32_t color, int32_t width, PenStyle style) = 0;
  virtual void SetBrush(uint32_t color, BrushStyle style) = 0;
  virtual void SetFont(const FontSpec& font) = 0;
  virtual void SetTextColor(uint32_t color) = 0;

  // GDI conventions: FillRect fills (left, top) to (right - 1, bottom - 1)
  // with the brush; FrameRect draws a one-pixel border of the same rectangle
  // with the brush colour; Rectangle outlines with the pen inside that
  // rectangle and fills the inside with the brush.
  virtual void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  // Lines with the pen (antialiased where the backend can); the end point
  // is not drawn, as with GDI's LineTo.
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;
  virtual void Polyline(const Point* points, int32_t count) = 0;
  // Ellipse inside (left, top) to (right - 1, bottom - 1): outline with the pen, fill with the brush.
  virtual void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  // Text with its top-left at (x, y), transparent background.
  virtual void TextOut(int32_t x, int32_t y, const std::string& text) = 0;
  virtual Point TextExtent(const std::string& text) = 0;
};

}  // namespace platform::ui
