// The drawing surface on Windows: a 32-bit top-down DIB section drawn with
// GDI through a memory DC. In noDC mode the DIB is kept without a DC and each
// drawing call selects it into a short-lived DC.
//
// GDI does not promise what it writes into the top byte of a 32-bit pixel, but
// the toolkit reads it as a transparency weight (0 = opaque). Each drawing call
// therefore snapshots its bounding box, draws, flushes, and clears the top byte
// of every pixel the call changed (all of the box for fills known to cover it),
// so pixels the call did not touch keep their weight.

#include <windows.h>
// windows.h maps TextOut to TextOutA; the port's method keeps its own name.
#undef TextOut

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ui/Surface.h"

namespace platform::ui {

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r;
  r.Left = std::max(a.Left, b.Left);
  r.Top = std::max(a.Top, b.Top);
  r.Right = std::min(a.Right, b.Right);
  r.Bottom = std::min(a.Bottom, b.Bottom);
  return r;
}

// Inclusive rectangle from GDI's exclusive one (left, top, right, bottom),
// grown by margin pixels on every side.
Rect Box(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t margin) {
  Rect r;
  r.Left = std::min(left, right) - margin;
  r.Top = std::min(top, bottom) - margin;
  r.Right = std::max(left, right) - 1 + margin;
  r.Bottom = std::max(top, bottom) - 1 + margin;
  return r;
}

int GdiPenStyle(PenStyle s) {
  switch (s) {
    case PenStyle::Dash: return PS_DASH;
    case PenStyle::Dot: return PS_DOT;
    case PenStyle::Clear: return PS_NULL;
    case PenStyle::Solid: break;
  }
  return PS_SOLID;
}

class GdiSurface : public Surface {
public:
  GdiSurface(int32_t width, int32_t height) : FWidth(width), FHeight(height) { ResetClip(); }

  ~GdiSurface() override {
    GdiFlush();
    if (FDC) {
      Deselect(FDC, FSaved);
      DeleteDC(FDC);
    }
    if (FSpareDC) {
      if (FSpareOld) SelectObject(FSpareDC, FSpareOld);
      DeleteDC(FSpareDC);
    }
    if (FDib) DeleteObject(FDib);
    if (FPen) DeleteObject(FPen);
    if (FBrush) DeleteObject(FBrush);
    if (FFont) DeleteObject(FFont);
  }

  // Makes the DIB and, unless noDC, the memory DC it stays selected in.
  SurfaceError Init(bool noDC) {
    if (FWidth <= 0 || FHeight <= 0) {
      FWidth = FHeight = 0;
      return SurfaceError::None;
    }
    if (static_cast<int64_t>(FWidth) * FHeight > INT32_MAX / 4) return SurfaceError::CreateDIB;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return SurfaceError::CreateDC;
    BITMAPINFO bi;
    std::memset(&bi, 0, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = FWidth;
    bi.bmiHeader.biHeight = -FHeight;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FDib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!FDib || !bits) {
      if (FDib) DeleteObject(FDib);
      FDib = nullptr;
      DeleteDC(dc);
      return SurfaceError::CreateDIB;
    }
    FBits = static_cast<uint32_t*>(bits);
    if (noDC) {
      DeleteDC(dc);
      return SurfaceError::None;
    }
    FSaved.Bitmap = SelectObject(dc, FDib);
    if (!FSaved.Bitmap || FSaved.Bitmap == HGDI_ERROR) {
      FSaved.Bitmap = nullptr;
      DeleteDC(dc);
      DeleteObject(FDib);
      FDib = nullptr;
      FBits = nullptr;
      return SurfaceError::SelectObject;
    }
    // What the DC held before ours, put back before it is deleted.
    FSaved.Pen = GetCurrentObject(dc, OBJ_PEN);
    FSaved.Brush = GetCurrentObject(dc, OBJ_BRUSH);
    FSaved.Font = GetCurrentObject(dc, OBJ_FONT);
    FDC = dc;
    SetBkMode(FDC, TRANSPARENT);
    ::SetTextColor(FDC, FTextColor);
    return SurfaceError::None;
  }

  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  uint32_t* Bits() override { return FBits; }
  bool HasContext() const override { return FDC != nullptr; }
  void Flush() override { GdiFlush(); }

  void SetViewport(int32_t originX, int32_t originY, const Rect& clip) override {
    if (!FDC) return;
    HRGN rgn = CreateRectRgn(clip.Left, clip.Top, clip.Right + 1, clip.Bottom + 1);
    SetWindowOrgEx(FDC, originX, originY, nullptr);
    if (rgn) {
      SelectClipRgn(FDC, rgn);
      DeleteObject(rgn);
    }
    FOriginX = originX;
    FOriginY = originY;
    FClip = Intersect(clip, Rect{0, 0, FWidth - 1, FHeight - 1});
  }

  void ResetViewport() override {
    if (!FDC) return;
    SetWindowOrgEx(FDC, 0, 0, nullptr);
    SelectClipRgn(FDC, nullptr);
    FOriginX = FOriginY = 0;
    ResetClip();
  }

  bool CopyFrom(Surface& source, int32_t x, int32_t y, int32_t width, int32_t height) override {
    auto* src = dynamic_cast<GdiSurface*>(&source);
    if (!src || !FBits || !src->FBits) return false;
    width = std::min(width, src->FWidth);
    height = std::min(height, src->FHeight);
    if (width <= 0 || height <= 0) return false;
    Rect target =
        Intersect(FClip, Rect{x - FOriginX, y - FOriginY, x - FOriginX + width - 1, y - FOriginY + height - 1});
    if (target.Empty()) return false;
    Borrowed dst(*this);
    if (!dst.DC) return false;
    GdiFlush();
    bool ok;
    if (src == this) {
      ok = BitBlt(dst.DC, x, y, width, height, dst.DC, 0, 0, SRCCOPY) != 0;
    } else if (src->FDC) {
      ok = BitBlt(dst.DC, x, y, width, height, src->FDC, 0, 0, SRCCOPY) != 0;
    } else {
      // A source without a DC is selected into this surface's spare DC for
      // the copy only, so it stays free to be selected elsewhere or deleted.
      if (!FSpareDC) FSpareDC = CreateCompatibleDC(nullptr);
      if (!FSpareDC) return false;
      HGDIOBJ old = SelectObject(FSpareDC, src->FDib);
      if (!old || old == HGDI_ERROR) return false;
      if (!FSpareOld) FSpareOld = old;
      ok = BitBlt(dst.DC, x, y, width, height, FSpareDC, 0, 0, SRCCOPY) != 0;
      SelectObject(FSpareDC, FSpareOld);
    }
    GdiFlush();
    return ok;
  }

  void CopyToTarget(PaintTarget& target, int32_t x, int32_t y) override {
    if (!FBits) return;
    if (target.NativeDC) {
      Borrowed src(*this);
      if (!src.DC) return;
      // The source rectangle is device (0, 0) whatever this surface's viewport.
      POINT org;
      SetWindowOrgEx(src.DC, 0, 0, &org);
      GdiFlush();
      BitBlt(static_cast<HDC>(target.NativeDC), x, y, FWidth, FHeight, src.DC, 0, 0, SRCCOPY);
      SetWindowOrgEx(src.DC, org.x, org.y, nullptr);
      return;
    }
    if (!target.Bits) return;
    GdiFlush();
    const int32_t dx = target.OriginX + x, dy = target.OriginY + y;
    Rect r = Intersect(Rect{dx, dy, dx + FWidth - 1, dy + FHeight - 1}, target.Clip);
    r = Intersect(r, Rect{0, 0, target.Width - 1, target.Height - 1});
    if (r.Empty()) return;
    for (int32_t row = r.Top; row <= r.Bottom; ++row)
      std::memcpy(target.Bits + static_cast<size_t>(row) * target.Width + r.Left,
                  FBits + static_cast<size_t>(row - dy) * FWidth + (r.Left - dx), static_cast<size_t>(r.Width()) * 4);
  }

  void SetPen(uint32_t color, int32_t width, PenStyle style) override {
    HPEN pen = CreatePen(GdiPenStyle(style), std::max(width, 0), color);
    if (!pen) return;
    Replace(FPen, pen, pen);
    FPenWidth = std::max(width, 1);
  }

  void SetBrush(uint32_t color, BrushStyle style) override {
    HBRUSH brush = nullptr;
    if (style == BrushStyle::Solid) {
      brush = CreateSolidBrush(color);
      if (!brush) return;
    }
    // A clear brush is the stock null brush, which is never deleted.
    FBrushSolid = style == BrushStyle::Solid;
    Replace(FBrush, brush, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
  }

  void SetFont(const FontSpec& font) override {
    // A negative height asks for the character height (em size without the
    // internal leading) in pixels.
    HFONT f = CreateFontA(-std::max(font.Height, 1), 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str());
    if (!f) return;
    Replace(FFont, f, f);
    FFontHeight = std::max(font.Height, 1);
  }

  void SetTextColor(uint32_t color) override {
    FTextColor = color;
    if (FDC) ::SetTextColor(FDC, color);
  }

  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    if (!FBrushSolid || left >= right || top >= bottom) return;
    Draw(Box(left, top, right, bottom, 0), true, [&](HDC dc) {
      RECT rc{left, top, right, bottom};
      ::FillRect(dc, &rc, CurrentBrush());
    });
  }

  void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    if (!FBrushSolid) return;
    Draw(Box(left, top, right, bottom, 0), false, [&](HDC dc) {
      RECT rc{left, top, right, bottom};
      ::FrameRect(dc, &rc, CurrentBrush());
    });
  }

  void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    Draw(Box(left, top, right, bottom, FPenWidth), false, [&](HDC dc) { ::Rectangle(dc, left, top, right, bottom); });
  }

  void MoveTo(int32_t x, int32_t y) override {
    FPosX = x;
    FPosY = y;
  }

  void LineTo(int32_t x, int32_t y) override {
    const int32_t m = FPenWidth + 1;
    Draw(Box(FPosX, FPosY, x, y, m), false, [&](HDC dc) {
      MoveToEx(dc, FPosX, FPosY, nullptr);
      ::LineTo(dc, x, y);
    });
    FPosX = x;
    FPosY = y;
  }

  void Polyline(const Point* points, int32_t count) override {
    if (!points || count < 2) return;
    std::vector<POINT> pts(static_cast<size_t>(count));
    int32_t l = points[0].X, t = points[0].Y, r = l, b = t;
    for (int32_t i = 0; i < count; ++i) {
      pts[static_cast<size_t>(i)] = POINT{points[i].X, points[i].Y};
      l = std::min(l, points[i].X);
      t = std::min(t, points[i].Y);
      r = std::max(r, points[i].X);
      b = std::max(b, points[i].Y);
    }
    Draw(Box(l, t, r, b, FPenWidth + 1), false, [&](HDC dc) { ::Polyline(dc, pts.data(), count); });
  }

  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override {
    Draw(Box(left, top, right, bottom, FPenWidth), false, [&](HDC dc) { ::Ellipse(dc, left, top, right, bottom); });
  }

  void TextOut(int32_t x, int32_t y, const std::string& text) override {
    if (text.empty()) return;
    Point ext = TextExtent(text);
    // Generous margins: overhangs of bold and slanted glyphs fall outside the extent.
    const int32_t m = FFontHeight / 2 + 2;
    Draw(Box(x, y, x + ext.X, y + ext.Y, m), false,
         [&](HDC dc) { ::TextOutA(dc, x, y, text.data(), static_cast<int>(text.size())); });
  }

  Point TextExtent(const std::string& text) override {
    Point p;
    HDC dc = FDC;
    HDC temp = nullptr;
    if (!dc) dc = temp = CreateCompatibleDC(nullptr);
    if (!dc) return p;
    HGDIOBJ oldFont = FFont ? SelectObject(dc, FFont) : nullptr;
    SIZE sz{0, 0};
    if (GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &sz)) p = Point{sz.cx, sz.cy};
    if (temp) {
      if (oldFont) SelectObject(temp, oldFont);
      DeleteDC(temp);
    }
    return p;
  }

private:
  // The objects a DC held before ours were selected into it.
  struct Saved {
    HGDIOBJ Bitmap = nullptr, Pen = nullptr, Brush = nullptr, Font = nullptr;
  };

  // The DC to draw with: the surface's own, or in noDC mode a new DC with the
  // DIB and the current pen, brush, font and text colour selected, undone and
  // deleted at the end of the scope.
  struct Borrowed {
    explicit Borrowed(GdiSurface& s) {
      if (s.FDC) {
        DC = s.FDC;
        return;
      }
      if (!s.FDib) return;
      Own = CreateCompatibleDC(nullptr);
      if (!Own) return;
      HGDIOBJ old = SelectObject(Own, s.FDib);
      if (!old || old == HGDI_ERROR) {
        DeleteDC(Own);
        Own = nullptr;
        return;
      }
      Prev.Bitmap = old;
      if (s.FPen) Prev.Pen = SelectObject(Own, s.FPen);
      Prev.Brush = SelectObject(Own, s.CurrentBrush());
      if (s.FFont) Prev.Font = SelectObject(Own, s.FFont);
      SetBkMode(Own, TRANSPARENT);
      ::SetTextColor(Own, s.FTextColor);
      DC = Own;
    }
    ~Borrowed() {
      if (!Own) return;
      GdiFlush();
      Deselect(Own, Prev);
      DeleteDC(Own);
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    HDC DC = nullptr;
    HDC Own = nullptr;
    Saved Prev;
  };

  static void Deselect(HDC dc, Saved& s) {
    if (s.Font) SelectObject(dc, s.Font);
    if (s.Brush) SelectObject(dc, s.Brush);
    if (s.Pen) SelectObject(dc, s.Pen);
    if (s.Bitmap) SelectObject(dc, s.Bitmap);
    s = Saved{};
  }

  // The brush GDI draws with: ours, the white stock brush a DC starts with,
  // or the stock null brush.
  HBRUSH CurrentBrush() const {
    if (!FBrushSolid) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return FBrush ? FBrush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }

  // Puts a new pen, brush or font in place of the current one: selected into
  // the own DC first, so the old one is free to be deleted.
  template <class T>
  void Replace(T& slot, T created, HGDIOBJ select) {
    if (FDC && select) SelectObject(FDC, select);
    if (slot) DeleteObject(slot);
    slot = created;
  }

  void ResetClip() { FClip = Rect{0, 0, FWidth - 1, FHeight - 1}; }

  // Runs one drawing call whose pixels lie inside box (logical coordinates),
  // then clears the top byte of the pixels it changed (of all of the box when
  // covers says the call paints every pixel of it).
  template <class F>
  void Draw(const Rect& box, bool covers, F&& draw) {
    if (!FBits) return;
    Rect r =
        Intersect(Rect{box.Left - FOriginX, box.Top - FOriginY, box.Right - FOriginX, box.Bottom - FOriginY}, FClip);
    Borrowed b(*this);
    if (!b.DC) return;
    if (r.Empty()) return;
    const size_t w = static_cast<size_t>(r.Width());
    GdiFlush();
    if (!covers) {
      FSnapshot.resize(w * static_cast<size_t>(r.Height()));
      for (int32_t row = r.Top; row <= r.Bottom; ++row)
        std::memcpy(&FSnapshot[static_cast<size_t>(row - r.Top) * w], Row(row) + r.Left, w * 4);
    }
    draw(b.DC);
    GdiFlush();
    for (int32_t row = r.Top; row <= r.Bottom; ++row) {
      uint32_t* p = Row(row) + r.Left;
      if (covers) {
        for (size_t i = 0; i < w; ++i) p[i] &= 0x00FFFFFFu;
      } else {
        const uint32_t* before = &FSnapshot[static_cast<size_t>(row - r.Top) * w];
        for (size_t i = 0; i < w; ++i)
          if (p[i] != before[i]) p[i] &= 0x00FFFFFFu;
      }
    }
  }

  uint32_t* Row(int32_t y) { return FBits + static_cast<size_t>(y) * static_cast<size_t>(FWidth); }

  int32_t FWidth, FHeight;
  HBITMAP FDib = nullptr;
  uint32_t* FBits = nullptr;
  HDC FDC = nullptr;
  Saved FSaved;  // what FDC held before the DIB, pen, brush and font
  HDC FSpareDC = nullptr;
  HGDIOBJ FSpareOld = nullptr;
  HPEN FPen = nullptr;
  HBRUSH FBrush = nullptr;
  HFONT FFont = nullptr;
  int32_t FPenWidth = 1;
  bool FBrushSolid = true;  // a DC starts with the white stock brush
  int32_t FFontHeight = 11;
  uint32_t FTextColor = 0;
  int32_t FOriginX = 0, FOriginY = 0;
  Rect FClip;  // device pixels
  int32_t FPosX = 0, FPosY = 0;
  std::vector<uint32_t> FSnapshot;
};

}  // namespace

std::unique_ptr<Surface> Surface::Create(int32_t width, int32_t height, bool noDC, SurfaceError& error) {
  auto s = std::make_unique<GdiSurface>(width, height);
  error = s->Init(noDC);
  if (error != SurfaceError::None) return nullptr;
  return s;
}

}  // namespace platform::ui
