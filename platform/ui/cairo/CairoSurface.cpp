// The drawing surface on Linux: a pixel buffer the surface owns, with a Cairo
// image surface over the same memory. Rectangles are written straight into
// the pixels (GDI's edges, no antialiasing); lines, ellipses and text go
// through Cairo, after which the top byte of the pixels the operation may
// have touched is cleared again (Cairo's RGB24 format leaves 0xFF there,
// the toolkit reads the top byte as transparency).

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/ui/Surface.h"
#include "platform/ui/cairo/FontCache.h"

namespace platform::ui {

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF;

// Windows colour value 0x00BBGGRR to pixel 0x00RRGGBB.
uint32_t ToPixel(uint32_t color) { return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF); }

void SetSource(cairo_t* cr, uint32_t color) {
  cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
              std::min(a.Bottom, b.Bottom)};
}

// Text of the toolkit is in the Windows ANSI code page (1252); Cairo wants UTF-8.
std::string AnsiToUtf8(const std::string& text) {
  static const uint16_t k80To9F[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(text.size() + 8);
  for (unsigned char c : text) {
    if (c == 0) break;
    uint32_t u = c;
    if (c >= 0x80 && c <= 0x9F) u = k80To9F[c - 0x80];
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

class CairoSurface final : public Surface {
public:
  CairoSurface(int32_t width, int32_t height, bool noDC, uint32_t* bits, cairo_surface_t* surface)
      : FWidth(width), FHeight(height), FNoDC(noDC), FBits(bits), FCairo(surface) {
    ResetClip();
  }
  ~CairoSurface() override {
    if (FScaled) cairo_scaled_font_destroy(FScaled);
    if (FCairo) cairo_surface_destroy(FCairo);
    delete[] FBits;
  }

  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  uint32_t* Bits() override { return FBits; }
  bool HasContext() const override { return !FNoDC && FBits; }
  void Flush() override {
    if (FCairo) cairo_surface_flush(FCairo);
  }

  void SetViewport(int32_t originX, int32_t originY, const Rect& clip) override {
    if (!HasContext()) return;
    FOriginX = originX;
    FOriginY = originY;
    FClip = Intersect(clip, Rect{0, 0, FWidth - 1, FHeight - 1});
  }
  void ResetViewport() override {
    FOriginX = FOriginY = 0;
    ResetClip();
  }

  bool CopyFrom(Surface& source, int32_t x, int32_t y, int32_t width, int32_t height) override {
    if (!FBits) return false;
    source.Flush();
    const uint32_t* src = source.Bits();
    if (!src) return false;
    width = std::min(width, source.Width());
    height = std::min(height, source.Height());
    if (width <= 0 || height <= 0) return false;
    const int32_t dx = x - FOriginX, dy = y - FOriginY;
    const Rect d = Intersect(Rect{dx, dy, dx + width - 1, dy + height - 1}, FClip);
    if (d.Empty()) return false;
    Flush();
    const int32_t sourceWidth = source.Width();
    for (int32_t row = d.Top; row <= d.Bottom; ++row)
      std::memmove(FBits + static_cast<size_t>(row) * FWidth + d.Left,
                   src + static_cast<size_t>(row - dy) * sourceWidth + (d.Left - dx), d.Width() * sizeof(uint32_t));
    MarkDirty(d);
    return true;
  }

  void CopyToTarget(PaintTarget& target, int32_t x, int32_t y) override {
    if (!FBits || !target.Bits) return;
    const int32_t dx = target.OriginX + x, dy = target.OriginY + y;
    Rect d = Intersect(Rect{dx, dy, dx + FWidth - 1, dy + FHeight - 1}, target.Clip);
    d = Intersect(d, Rect{0, 0, target.Width - 1, target.Height - 1});
    if (d.Empty()) return;
    Flush();
    for (int32_t row = d.Top; row <= d.Bottom; ++row)
      std::memcpy(target.Bits + static_cast<size_t>(row) * target.Width + d.Left,
                  FBits + static_cast<size_t>(row - dy) * FWidth + (d.Left - dx), d.Width() * sizeof(uint32_t));
  }

  void SetPen(uint32_t color, int32_t width, PenStyle style) override {
    FPenColor = color;
    FPenWidth = std::max(1, width);
    FPenStyle = style;
  }
  void SetBrush(uint32_t color, BrushStyle style) override {
    FBrushColor = color;
    FBrushStyle = style;
  }
  void SetFont(const FontSpec& font) override {
    if (font.Height == FFont.Height && font.Bold == FFont.Bold) return;
    FFont = font;
    if (FScaled) cairo_scaled_font_destroy(FScaled);
    FScaled = nullptr;
  }
  void SetTextColor(uint32_t color) override { FTextColor = color; }

  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    if (FBrushStyle == BrushStyle::Clear) return;
    Fill(Rect{left, top, right - 1, bottom - 1}, ToPixel(FBrushColor));
  }

  void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    if (FBrushStyle == BrushStyle::Clear) return;
    Frame(Rect{left, top, right - 1, bottom - 1}, 1, ToPixel(FBrushColor));
  }

  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    const Rect r{left, top, right - 1, bottom - 1};
    if (r.Empty()) return;
    if (FBrushStyle == BrushStyle::Solid) Fill(r, ToPixel(FBrushColor));
    switch (FPenStyle) {
      case PenStyle::Clear: return;
      case PenStyle::Solid: Frame(r, FPenWidth, ToPixel(FPenColor)); return;
      case PenStyle::Dash:
      case PenStyle::Dot: {
        // A one-pixel patterned outline through the centres of the edge pixels.
        cairo_t* cr = Begin();
        if (!cr) return;
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        ApplyPen(cr);
        cairo_set_line_width(cr, 1.0);
        cairo_rectangle(cr, left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
        cairo_stroke(cr);
        End(cr, r);
        return;
      }
    }
  }

  void MoveTo(int32_t x, int32_t y) override {
    FPenX = x;
    FPenY = y;
  }

  void LineTo(int32_t x, int32_t y) override {
    const Point points[2] = {{FPenX, FPenY}, {x, y}};
    FPenX = x;
    FPenY = y;
    Polyline(points, 2);
  }

  void Polyline(const Point* points, int32_t count) override {
    if (!points || count < 2 || FPenStyle == PenStyle::Clear) return;
    cairo_t* cr = Begin();
    if (!cr) return;
    ApplyPen(cr);
    // Through pixel centres; the first point reaches back half a pixel and the
    // last stops half a pixel short, so the start pixel is drawn and the end
    // pixel is not (GDI's LineTo).
    double sx = 0, sy = 0, ex = 0, ey = 0;
    Direction(points[0], points[1], sx, sy);
    Direction(points[count - 2], points[count - 1], ex, ey);
    Rect box{points[0].X, points[0].Y, points[0].X, points[0].Y};
    cairo_move_to(cr, points[0].X + 0.5 - 0.5 * sx, points[0].Y + 0.5 - 0.5 * sy);
    for (int32_t i = 1; i < count; ++i) {
      double px = points[i].X + 0.5, py = points[i].Y + 0.5;
      if (i == count - 1) px -= 0.5 * ex, py -= 0.5 * ey;
      cairo_line_to(cr, px, py);
      box = Rect{std::min(box.Left, points[i].X), std::min(box.Top, points[i].Y), std::max(box.Right, points[i].X),
                 std::max(box.Bottom, points[i].Y)};
    }
    cairo_stroke(cr);
    const int32_t grow = FPenWidth + 2;
    End(cr, Rect{box.Left - grow, box.Top - grow, box.Right + grow, box.Bottom + grow});
  }

  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    const double w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) return;
    const bool fill = FBrushStyle == BrushStyle::Solid, outline = FPenStyle != PenStyle::Clear;
    if (!fill && !outline) return;
    cairo_t* cr = Begin();
    if (!cr) return;
    const double cx = left + w / 2, cy = top + h / 2;
    if (fill) {
      EllipsePath(cr, cx, cy, w / 2, h / 2);
      SetSource(cr, FBrushColor);
      cairo_fill(cr);
    }
    if (outline) {
      // The outline lies inside the rectangle.
      const double half = FPenWidth / 2.0;
      EllipsePath(cr, cx, cy, std::max(w / 2 - half, 0.0), std::max(h / 2 - half, 0.0));
      ApplyPen(cr);
      cairo_stroke(cr);
    }
    End(cr, Rect{left - 1, top - 1, right, bottom});
  }

  void TextOut(int32_t x, int32_t y, const std::string& text) override {
    if (!FBits) return;
    const std::string utf8 = AnsiToUtf8(text);
    if (utf8.empty() || !EnsureFont()) return;
    cairo_text_extents_t te;
    cairo_scaled_font_text_extents(FScaled, utf8.c_str(), &te);
    cairo_t* cr = Begin();
    if (!cr) return;
    cairo_set_scaled_font(cr, FScaled);
    SetSource(cr, FTextColor);
    cairo_move_to(cr, x, y + FAscent);
    cairo_show_text(cr, utf8.c_str());
    // The advance box and the ink box, whichever reaches further.
    const double inkLeft = x + te.x_bearing, inkTop = y + FAscent + te.y_bearing;
    const Rect box{static_cast<int32_t>(std::floor(std::min<double>(x, inkLeft))) - 1,
                   static_cast<int32_t>(std::floor(std::min<double>(y, inkTop))) - 1,
                   static_cast<int32_t>(std::ceil(std::max(x + te.x_advance, inkLeft + te.width))) + 1,
                   static_cast<int32_t>(std::ceil(std::max<double>(y + FTextHeight, inkTop + te.height))) + 1};
    End(cr, box);
  }

  Point TextExtent(const std::string& text) override {
    const std::string utf8 = AnsiToUtf8(text);
    if (!EnsureFont()) return Point{};
    cairo_text_extents_t te{};
    if (!utf8.empty()) cairo_scaled_font_text_extents(FScaled, utf8.c_str(), &te);
    return Point{static_cast<int32_t>(std::lround(te.x_advance)), FTextHeight};
  }

private:
  void ResetClip() { FClip = Rect{0, 0, FWidth - 1, FHeight - 1}; }

  void MarkDirty(const Rect& d) {
    if (FCairo) cairo_surface_mark_dirty_rectangle(FCairo, d.Left, d.Top, d.Width(), d.Height());
  }

  // Writes pixel into the logical rectangle r (inclusive), clipped.
  void Fill(const Rect& r, uint32_t pixel) {
    if (!FBits) return;
    const Rect d = Intersect(Rect{r.Left - FOriginX, r.Top - FOriginY, r.Right - FOriginX, r.Bottom - FOriginY}, FClip);
    if (d.Empty()) return;
    Flush();
    for (int32_t row = d.Top; row <= d.Bottom; ++row) {
      uint32_t* p = FBits + static_cast<size_t>(row) * FWidth + d.Left;
      std::fill(p, p + d.Width(), pixel);
    }
    MarkDirty(d);
  }

  // A border of thickness pixels inside the logical rectangle r.
  void Frame(const Rect& r, int32_t thickness, uint32_t pixel) {
    if (r.Empty()) return;
    const int32_t t = std::min({thickness, r.Width(), r.Height()});
    Fill(Rect{r.Left, r.Top, r.Right, r.Top + t - 1}, pixel);
    Fill(Rect{r.Left, r.Bottom - t + 1, r.Right, r.Bottom}, pixel);
    Fill(Rect{r.Left, r.Top + t, r.Left + t - 1, r.Bottom - t}, pixel);
    Fill(Rect{r.Right - t + 1, r.Top + t, r.Right, r.Bottom - t}, pixel);
  }

  // A Cairo context clipped to the viewport, in logical coordinates; null
  // when nothing can be drawn.
  cairo_t* Begin() {
    if (!FCairo || FClip.Empty()) return nullptr;
    cairo_t* cr = cairo_create(FCairo);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
      cairo_destroy(cr);
      return nullptr;
    }
    cairo_rectangle(cr, FClip.Left, FClip.Top, FClip.Width(), FClip.Height());
    cairo_clip(cr);
    cairo_translate(cr, -FOriginX, -FOriginY);
    return cr;
  }

  // Ends a Cairo operation whose drawing lies inside the logical box: clears
  // the top byte there (inside the clip only).
  void End(cairo_t* cr, const Rect& box) {
    cairo_destroy(cr);
    cairo_surface_flush(FCairo);
    const Rect d =
        Intersect(Rect{box.Left - FOriginX, box.Top - FOriginY, box.Right - FOriginX, box.Bottom - FOriginY}, FClip);
    if (d.Empty()) return;
    for (int32_t row = d.Top; row <= d.Bottom; ++row) {
      uint32_t* p = FBits + static_cast<size_t>(row) * FWidth + d.Left;
      for (int32_t i = 0; i < d.Width(); ++i) p[i] &= kRgbMask;
    }
    MarkDirty(d);
  }

  void ApplyPen(cairo_t* cr) {
    SetSource(cr, FPenColor);
    cairo_set_line_width(cr, FPenWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    static const double kDash[2] = {18, 6}, kDot[2] = {3, 3};
    if (FPenStyle == PenStyle::Dash) cairo_set_dash(cr, kDash, 2, 0);
    if (FPenStyle == PenStyle::Dot) cairo_set_dash(cr, kDot, 2, 0);
  }

  static void Direction(const Point& a, const Point& b, double& dx, double& dy) {
    const double x = b.X - a.X, y = b.Y - a.Y, length = std::sqrt(x * x + y * y);
    dx = length > 0 ? x / length : 0;
    dy = length > 0 ? y / length : 0;
  }

  static void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, std::max(rx, 1e-3), std::max(ry, 1e-3));
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
  }

  bool EnsureFont() {
    if (FScaled) return true;
    cairo_font_face_t* face = detail::EmbeddedFace(FFont.Bold);
    if (!face) return false;
    cairo_matrix_t size, identity;
    const double height = std::max(1, FFont.Height);
    cairo_matrix_init_scale(&size, height, height);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    FScaled = cairo_scaled_font_create(face, &size, &identity, options);
    cairo_font_options_destroy(options);
    if (cairo_scaled_font_status(FScaled) != CAIRO_STATUS_SUCCESS) {
      cairo_scaled_font_destroy(FScaled);
      FScaled = nullptr;
      return false;
    }
    cairo_font_extents_t fe;
    cairo_scaled_font_extents(FScaled, &fe);
    FAscent = std::round(fe.ascent);
    FTextHeight = static_cast<int32_t>(FAscent + std::round(fe.descent));
    return true;
  }

  const int32_t FWidth, FHeight;
  const bool FNoDC;
  uint32_t* const FBits;
  cairo_surface_t* const FCairo;
  int32_t FOriginX = 0, FOriginY = 0;
  Rect FClip;  // device pixels, inside the surface
  uint32_t FPenColor = 0;
  int32_t FPenWidth = 1;
  PenStyle FPenStyle = PenStyle::Solid;
  uint32_t FBrushColor = 0xFFFFFF;
  BrushStyle FBrushStyle = BrushStyle::Solid;
  uint32_t FTextColor = 0;
  FontSpec FFont;
  cairo_scaled_font_t* FScaled = nullptr;
  double FAscent = 0;
  int32_t FTextHeight = 0;
  int32_t FPenX = 0, FPenY = 0;
};

}  // namespace

std::unique_ptr<Surface> Surface::Create(int32_t width, int32_t height, bool noDC, SurfaceError& error) {
  error = SurfaceError::None;
  if (width <= 0 || height <= 0) return std::make_unique<CairoSurface>(0, 0, noDC, nullptr, nullptr);
  // Cairo's image surfaces end at 32767 pixels a side.
  if (width > 32767 || height > 32767) {
    error = SurfaceError::CreateDIB;
    return nullptr;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  uint32_t* bits = new (std::nothrow) uint32_t[count]();
  if (!bits) {
    error = SurfaceError::CreateDIB;
    return nullptr;
  }
  cairo_surface_t* surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(bits),
                                                                 CAIRO_FORMAT_RGB24, width, height, width * 4);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    delete[] bits;
    error = SurfaceError::CreateDC;
    return nullptr;
  }
  return std::make_unique<CairoSurface>(width, height, noDC, bits, surface);
}

}  // namespace platform::ui
