// The drawing surface against GDI's rules, on whatever backend this OS has:
// exact rectangle edges, origin and clip, nothing written outside the clip,
// the top byte cleared where drawing landed, pixel copies and text.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/ui/Surface.h"

namespace uitest {
namespace {

using platform::ui::BrushStyle;
using platform::ui::FontSpec;
using platform::ui::PaintTarget;
using platform::ui::PenStyle;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Surface;
using platform::ui::SurfaceError;

constexpr int32_t kW = 40, kH = 30;
// Background with a non-zero top byte, so a write that should not happen
// (even one that only clears the top byte) shows.
constexpr uint32_t kBackground = 0xFF102030;

std::unique_ptr<Surface> MakeSurface(int32_t w = kW, int32_t h = kH, bool noDC = false, uint32_t fill = kBackground) {
  SurfaceError error = SurfaceError::CreateDC;
  auto s = Surface::Create(w, h, noDC, error);
  EXPECT_NE(s, nullptr);
  EXPECT_EQ(error, SurfaceError::None);
  if (s && s->Bits()) std::fill(s->Bits(), s->Bits() + static_cast<size_t>(w) * h, fill);
  return s;
}

uint32_t Pixel(Surface& s, int32_t x, int32_t y) {
  s.Flush();
  return s.Bits()[static_cast<size_t>(y) * s.Width() + x];
}

bool InRect(int32_t x, int32_t y, const Rect& r) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; }

struct Viewport {
  int32_t OriginX = 0, OriginY = 0;
  Rect Clip{0, 0, kW - 1, kH - 1};
};

// Names the cases of a parameterized suite after their Name field.
struct CaseNameOf {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& param) const {
    return param.param.Name;
  }
};
constexpr CaseNameOf CaseName{};

// --- rectangles: every pixel against a model of GDI's edges ---

enum class RectOp { Fill, Frame, Rectangle };

struct RectCase {
  const char* Name;
  RectOp Op;
  int32_t L, T, R, B;  // logical, right and bottom exclusive
  Viewport View;
};
void PrintTo(const RectCase& c, std::ostream* os) { *os << c.Name; }

constexpr uint32_t kBrush = 0x00332211;  // COLORREF: red 0x11, green 0x22, blue 0x33
constexpr uint32_t kBrushPixel = 0x00112233;
constexpr uint32_t kPen = 0x00CCBBAA;
constexpr uint32_t kPenPixel = 0x00AABBCC;

// The pixel GDI leaves at logical (lx, ly), or kBackground when untouched.
uint32_t ModelRect(const RectCase& c, int32_t lx, int32_t ly) {
  if (lx < c.L || lx >= c.R || ly < c.T || ly >= c.B) return kBackground;
  const bool edge = lx == c.L || lx == c.R - 1 || ly == c.T || ly == c.B - 1;
  switch (c.Op) {
    case RectOp::Fill: return kBrushPixel;
    case RectOp::Frame: return edge ? kBrushPixel : kBackground;
    case RectOp::Rectangle: return edge ? kPenPixel : kBrushPixel;
  }
  return kBackground;
}

class RectEdges : public ::testing::TestWithParam<RectCase> {};

TEST_P(RectEdges, EveryPixelMatchesGdiEdges) {
  const RectCase& c = GetParam();
  auto s = MakeSurface();
  s->SetViewport(c.View.OriginX, c.View.OriginY, c.View.Clip);
  s->SetBrush(kBrush, BrushStyle::Solid);
  s->SetPen(kPen, 1, PenStyle::Solid);
  switch (c.Op) {
    case RectOp::Fill: s->FillRect(c.L, c.T, c.R, c.B); break;
    case RectOp::Frame: s->FrameRect(c.L, c.T, c.R, c.B); break;
    case RectOp::Rectangle: s->Rectangle(c.L, c.T, c.R, c.B); break;
  }
  int wrong = 0;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const uint32_t want =
          InRect(x, y, c.View.Clip) ? ModelRect(c, x + c.View.OriginX, y + c.View.OriginY) : kBackground;
      const uint32_t got = Pixel(*s, x, y);
      if (got != want && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") " << std::hex << got << " want " << want;
    }
  EXPECT_EQ(wrong, 0);
}

const Viewport kShifted{5, -3, Rect{0, 0, kW - 1, kH - 1}};
const Viewport kClipped{0, 0, Rect{8, 6, 20, 15}};
const Viewport kShiftedClipped{-4, 2, Rect{3, 3, 12, 25}};

INSTANTIATE_TEST_SUITE_P(
    Surface, RectEdges,
    ::testing::Values(RectCase{"FillPlain", RectOp::Fill, 3, 4, 17, 9, {}},
                      RectCase{"FillSinglePixel", RectOp::Fill, 6, 6, 7, 7, {}},
                      RectCase{"FillInverted", RectOp::Fill, 17, 9, 3, 4, {}},
                      RectCase{"FillBeyondSurface", RectOp::Fill, -10, -10, 100, 12, {}},
                      RectCase{"FillShifted", RectOp::Fill, 3, 4, 17, 9, kShifted},
                      RectCase{"FillClipped", RectOp::Fill, 3, 4, 30, 25, kClipped},
                      RectCase{"FillShiftedClipped", RectOp::Fill, 0, 0, 30, 25, kShiftedClipped},
                      RectCase{"FramePlain", RectOp::Frame, 2, 3, 20, 12, {}},
                      RectCase{"FrameClipped", RectOp::Frame, 2, 3, 20, 12, kClipped},
                      RectCase{"FrameShiftedClipped", RectOp::Frame, 2, 3, 20, 12, kShiftedClipped},
                      RectCase{"RectanglePlain", RectOp::Rectangle, 4, 4, 15, 11, {}},
                      RectCase{"RectangleShiftedClipped", RectOp::Rectangle, 4, 4, 15, 20, kShiftedClipped}),
    CaseName);

// --- antialiased drawing: stays inside the clip, leaves top byte 0 ---

struct DrawCase {
  const char* Name;
  std::function<void(Surface&)> Draw;
};
void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.Name; }

class ClippedDrawing : public ::testing::TestWithParam<DrawCase> {};

TEST_P(ClippedDrawing, WritesOnlyInsideTheClipAndClearsTheTopByte) {
  const Rect clip{10, 8, 29, 21};
  auto s = MakeSurface();
  s->SetViewport(-2, 1, clip);
  s->SetPen(0x000000FF, 2, PenStyle::Solid);
  s->SetBrush(0x0000FF00, BrushStyle::Solid);
  s->SetTextColor(0x00FF0000);
  s->SetFont(FontSpec{"Tahoma", 16, true});
  GetParam().Draw(*s);
  int changed = 0;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const uint32_t p = Pixel(*s, x, y);
      if (p == kBackground) continue;
      if ((p & 0xFFFFFF) != (kBackground & 0xFFFFFF)) ++changed;
      EXPECT_TRUE(InRect(x, y, clip)) << "drawn outside the clip at (" << x << ", " << y << ")";
      EXPECT_EQ(p >> 24, 0u) << "top byte left at (" << x << ", " << y << ")";
    }
  EXPECT_GT(changed, 10) << "the operation drew (almost) nothing inside the clip";
}

INSTANTIATE_TEST_SUITE_P(Surface, ClippedDrawing,
                         ::testing::Values(DrawCase{"LineTo",
                                                    [](Surface& s) {
                                                      s.MoveTo(-5, -5);
                                                      s.LineTo(45, 35);
                                                    }},
                                           DrawCase{"Polyline",
                                                    [](Surface& s) {
                                                      const Point pts[] = {{0, 30}, {20, 5}, {25, 28}, {50, 12}};
                                                      s.Polyline(pts, 4);
                                                    }},
                                           DrawCase{"Ellipse", [](Surface& s) { s.Ellipse(0, 0, 40, 30); }},
                                           DrawCase{"DashedRectangle",
                                                    [](Surface& s) {
                                                      s.SetPen(0x000000FF, 1, PenStyle::Dash);
                                                      s.Rectangle(5, 5, 30, 20);
                                                    }},
                                           DrawCase{"Text", [](Surface& s) { s.TextOut(6, 5, "WMWMWMWM"); }}),
                         CaseName);

TEST(Surface, AxisLinesDrawTheStartPixelButNotTheEndPixel) {
  struct Line {
    int32_t X0, Y0, X1, Y1;
  };
  for (const Line& l : {Line{2, 5, 12, 5}, Line{12, 7, 2, 7}, Line{4, 2, 4, 20}, Line{6, 20, 6, 2}}) {
    auto s = MakeSurface(kW, kH, false, 0x00FFFFFF);
    s->SetPen(0x00000000, 1, PenStyle::Solid);
    s->MoveTo(l.X0, l.Y0);
    s->LineTo(l.X1, l.Y1);
    const int32_t dx = (l.X1 > l.X0) - (l.X1 < l.X0), dy = (l.Y1 > l.Y0) - (l.Y1 < l.Y0);
    EXPECT_EQ(Pixel(*s, l.X0, l.Y0), 0u) << "start of line " << l.X0 << "," << l.Y0;
    EXPECT_EQ(Pixel(*s, (l.X0 + l.X1) / 2, (l.Y0 + l.Y1) / 2), 0u);
    EXPECT_EQ(Pixel(*s, l.X1 - dx, l.Y1 - dy), 0u) << "pixel before the end";
    EXPECT_EQ(Pixel(*s, l.X1, l.Y1) & 0xFFFFFF, 0xFFFFFFu) << "end point drawn";
    EXPECT_EQ(Pixel(*s, l.X0 - dx, l.Y0 - dy) & 0xFFFFFF, 0xFFFFFFu) << "drawn before the start";
  }
}

// --- text ---

TEST(Surface, TextDrawsInItsColourInsideItsExtent) {
  auto s = MakeSurface(120, 40, false, 0x00FFFFFF);
  s->SetFont(FontSpec{"Tahoma", 14, false});
  s->SetTextColor(0x00000080);  // dark red
  const Point extent = s->TextExtent("Hello");
  ASSERT_GT(extent.X, 0);
  ASSERT_GT(extent.Y, 0);
  const int32_t x0 = 10, y0 = 8;
  s->TextOut(x0, y0, "Hello");
  int near = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 120; ++x) {
      const uint32_t p = Pixel(*s, x, y) & 0xFFFFFF;
      if (p == 0xFFFFFF) continue;
      EXPECT_TRUE(x >= x0 - 2 && x < x0 + extent.X + 2 && y >= y0 - 2 && y < y0 + extent.Y + 2)
          << "text pixel outside its extent at (" << x << ", " << y << ")";
      const int r = static_cast<int>(p >> 16), g = static_cast<int>((p >> 8) & 0xFF), b = static_cast<int>(p & 0xFF);
      if (std::abs(r - 0x80) < 48 && g < 48 && b < 48) ++near;
    }
  EXPECT_GT(near, 5) << "few pixels in the text colour";
}

TEST(Surface, TextExtentGrowsWithTextAndFontSize) {
  auto s = MakeSurface();
  s->SetFont(FontSpec{"Tahoma", 11, false});
  const Point two = s->TextExtent("MM"), four = s->TextExtent("MMMM");
  EXPECT_GT(two.X, 0);
  EXPECT_GT(four.X, two.X + two.X / 2);
  EXPECT_GE(two.Y, 11);
  EXPECT_EQ(two.Y, four.Y);
  s->SetFont(FontSpec{"Tahoma", 22, false});
  const Point big = s->TextExtent("MM");
  EXPECT_GT(big.X, two.X);
  EXPECT_GT(big.Y, two.Y);
}

// --- copies ---

uint32_t SourcePixel(int32_t x, int32_t y) { return static_cast<uint32_t>(0x00010000 * (x + 1) + 0x100 * (y + 1) + 7); }

struct CopyCase {
  const char* Name;
  int32_t X, Y, W, H;  // destination (logical) and extent
  Viewport View;
  bool SourceNoDC;
};
void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.Name; }

class CopyFromSource : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyFromSource, CopiesExactPixelsInsideTheClip) {
  const CopyCase& c = GetParam();
  constexpr int32_t sw = 12, sh = 9;
  auto src = MakeSurface(sw, sh, c.SourceNoDC, 0);
  for (int32_t y = 0; y < sh; ++y)
    for (int32_t x = 0; x < sw; ++x) src->Bits()[y * sw + x] = SourcePixel(x, y);
  auto dst = MakeSurface();
  dst->SetViewport(c.View.OriginX, c.View.OriginY, c.View.Clip);
  const bool copied = dst->CopyFrom(*src, c.X, c.Y, c.W, c.H);
  bool any = false;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const int32_t sx = x + c.View.OriginX - c.X, sy = y + c.View.OriginY - c.Y;
      const bool inside =
          InRect(x, y, c.View.Clip) && sx >= 0 && sy >= 0 && sx < std::min(c.W, sw) && sy < std::min(c.H, sh);
      any |= inside;
      ASSERT_EQ(Pixel(*dst, x, y), inside ? SourcePixel(sx, sy) : kBackground) << "at (" << x << ", " << y << ")";
    }
  EXPECT_EQ(copied, any);
}

INSTANTIATE_TEST_SUITE_P(Surface, CopyFromSource,
                         ::testing::Values(CopyCase{"Plain", 3, 4, 12, 9, {}, false},
                                           CopyCase{"PartOfTheSource", 3, 4, 5, 2, {}, false},
                                           CopyCase{"ExtentBeyondSource", 30, 2, 50, 50, {}, false},
                                           CopyCase{"NegativePosition", -4, -3, 12, 9, {}, false},
                                           CopyCase{"Shifted", 3, 4, 12, 9, kShifted, false},
                                           CopyCase{"Clipped", 5, 3, 12, 9, kClipped, false},
                                           CopyCase{"ShiftedClippedNoDCSource", 0, 0, 12, 9, kShiftedClipped, true},
                                           CopyCase{"OutsideTheClip", 25, 20, 12, 9, kClipped, false}),
                         CaseName);

struct TargetCase {
  const char* Name;
  int32_t X, Y, OriginX, OriginY;
  Rect Clip;
};
void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.Name; }

class CopyToTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(CopyToTarget, LandsAtOriginPlusPositionInsideClipAndTarget) {
  const TargetCase& c = GetParam();
  constexpr int32_t sw = 12, sh = 9, tw = 30, th = 20;
  auto src = MakeSurface(sw, sh, false, 0);
  for (int32_t y = 0; y < sh; ++y)
    for (int32_t x = 0; x < sw; ++x) src->Bits()[y * sw + x] = SourcePixel(x, y);
  std::vector<uint32_t> bits(tw * th, 0xABCDEF);
  PaintTarget t;
  t.Bits = bits.data();
  t.Width = tw;
  t.Height = th;
  t.OriginX = c.OriginX;
  t.OriginY = c.OriginY;
  t.Clip = c.Clip;
  src->CopyToTarget(t, c.X, c.Y);
  for (int32_t y = 0; y < th; ++y)
    for (int32_t x = 0; x < tw; ++x) {
      const int32_t sx = x - c.OriginX - c.X, sy = y - c.OriginY - c.Y;
      const bool inside = InRect(x, y, c.Clip) && sx >= 0 && sy >= 0 && sx < sw && sy < sh;
      ASSERT_EQ(bits[y * tw + x], inside ? SourcePixel(sx, sy) : 0xABCDEFu) << "at (" << x << ", " << y << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Surface, CopyToTarget,
                         ::testing::Values(TargetCase{"Plain", 2, 3, 0, 0, Rect{0, 0, 29, 19}},
                                           TargetCase{"Origin", 2, 3, 10, 5, Rect{0, 0, 29, 19}},
                                           TargetCase{"Clip", 0, 0, 0, 0, Rect{4, 2, 8, 6}},
                                           TargetCase{"PastTheTargetEdges", 22, 15, 0, 0, Rect{0, 0, 99, 99}},
                                           TargetCase{"NegativeOrigin", 0, 0, -5, -4, Rect{0, 0, 29, 19}}),
                         CaseName);

// --- surfaces without a context, or without pixels ---

TEST(Surface, WithoutContextIgnoresTheViewportButStillDraws) {
  auto s = MakeSurface(kW, kH, true);
  EXPECT_FALSE(s->HasContext());
  s->SetViewport(5, 5, Rect{10, 10, 12, 12});
  s->SetBrush(kBrush, BrushStyle::Solid);
  s->FillRect(0, 0, 2, 2);
  EXPECT_EQ(Pixel(*s, 0, 0), kBrushPixel);
  EXPECT_EQ(Pixel(*s, 1, 1), kBrushPixel);
  EXPECT_EQ(Pixel(*s, 2, 2), kBackground);
  auto withContext = MakeSurface(kW, kH, false);
  EXPECT_TRUE(withContext->HasContext());
}

TEST(Surface, EmptySurfaceDoesNothing) {
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{0, 0}}) {
    SurfaceError error = SurfaceError::CreateDC;
    auto s = Surface::Create(w, h, false, error);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(error, SurfaceError::None);
    EXPECT_EQ(s->Bits(), nullptr);
    EXPECT_FALSE(s->HasContext());
    s->SetViewport(1, 1, Rect{0, 0, 5, 5});
    s->SetBrush(kBrush, BrushStyle::Solid);
    s->FillRect(0, 0, 5, 5);
    s->FrameRect(0, 0, 5, 5);
    s->Rectangle(0, 0, 5, 5);
    s->Ellipse(0, 0, 5, 5);
    s->MoveTo(0, 0);
    s->LineTo(5, 5);
    s->TextOut(0, 0, "x");
    auto other = MakeSurface(8, 8);
    EXPECT_FALSE(s->CopyFrom(*other, 0, 0, 8, 8));
    EXPECT_FALSE(other->CopyFrom(*s, 0, 0, 8, 8));
    EXPECT_EQ(Pixel(*other, 0, 0), kBackground);
    std::vector<uint32_t> bits(16, 1);
    PaintTarget t;
    t.Bits = bits.data();
    t.Width = t.Height = 4;
    t.Clip = Rect{0, 0, 3, 3};
    s->CopyToTarget(t, 0, 0);
    EXPECT_EQ(bits, std::vector<uint32_t>(16, 1));
  }
}

}  // namespace
}  // namespace uitest
