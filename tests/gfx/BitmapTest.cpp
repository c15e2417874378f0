// Bitmaps, skin containers and the block allocator: exact blends and
// clipping, frame grids, alpha from a second picture, JPEG skins.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "gfx/GraphicContainer.h"
#include "gfx/LinearBitmap.h"
#include "gfx/staticMemoryManager.h"
#include "platform/ui/Jpeg.h"

namespace {

uint32_t Pix(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

void Fill(TLinearBitmap& bmp, uint32_t value) {
  for (int32_t i = 0; i < bmp.Width() * bmp.Height(); ++i) bmp.Bits()[i] = value;
}

// Expected colour byte of a blend: s + floor((d - s) * a / 256).
int32_t Mix(int32_t s, int32_t d, int32_t a) { return s + static_cast<int32_t>(std::floor((d - s) * a / 256.0)); }

struct BlendCase {
  const char* Name;
  bool PerPixel;
  int32_t Alpha;  // the source pixel's alpha, or the constant weight
};

class BlendTest : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendTest, EachColourByteMovesTowardTheDestinationByTheWeight) {
  const BlendCase& c = GetParam();
  TLinearBitmap dst(2, 1), src(2, 1);
  Fill(dst, Pix(0x77, 200, 100, 50));
  uint32_t a = c.PerPixel ? static_cast<uint32_t>(c.Alpha) : 0x33;
  src.Bits()[0] = Pix(a, 10, 20, 30);
  src.Bits()[1] = Pix(a, 255, 0, 128);
  if (c.PerPixel)
    dst.AlphaBlit(src, 0, 0);
  else
    dst.BlendConst(src, 0, 0, c.Alpha);
  const int32_t s[2][3] = {{10, 20, 30}, {255, 0, 128}};
  const int32_t d[3] = {200, 100, 50};
  for (int i = 0; i < 2; ++i) {
    uint32_t p = dst.Bits()[i];
    EXPECT_EQ(p >> 24, 0u) << "the destination's alpha byte becomes 0";
    EXPECT_EQ(static_cast<int32_t>((p >> 16) & 0xFF), Mix(s[i][0], d[0], c.Alpha)) << "red of pixel " << i;
    EXPECT_EQ(static_cast<int32_t>((p >> 8) & 0xFF), Mix(s[i][1], d[1], c.Alpha)) << "green of pixel " << i;
    EXPECT_EQ(static_cast<int32_t>(p & 0xFF), Mix(s[i][2], d[2], c.Alpha)) << "blue of pixel " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Weights, BlendTest,
                         ::testing::Values(BlendCase{"alpha0_copies", true, 0}, BlendCase{"alpha255", true, 255},
                                           BlendCase{"alpha128", true, 128}, BlendCase{"weight0_copies", false, 0},
                                           BlendCase{"weight256_keeps", false, 256},
                                           BlendCase{"weight64_fade", false, 64}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(LinearBitmap, BlendEndpointsAreExact) {
  // Weight 256 leaves the destination, weight 0 and alpha 0 copy the source.
  TLinearBitmap dst(1, 1), src(1, 1);
  src.Bits()[0] = Pix(0, 1, 2, 3);
  Fill(dst, Pix(0, 90, 80, 70));
  dst.BlendConst(src, 0, 0, 256);
  EXPECT_EQ(dst.Bits()[0], Pix(0, 90, 80, 70));
  dst.BlendConst(src, 0, 0, 0);
  EXPECT_EQ(dst.Bits()[0], Pix(0, 1, 2, 3));
  // Alpha 255 keeps the destination only where source and destination agree.
  src.Bits()[0] = Pix(255, 90, 80, 70);
  Fill(dst, Pix(0, 90, 80, 70));
  dst.AlphaBlit(src, 0, 0);
  EXPECT_EQ(dst.Bits()[0], Pix(0, 90, 80, 70));
}

struct ClipCase {
  const char* Name;
  int32_t X, Y;  // where the 4 x 4 source lands (logical = pixel, origin 0)
};

class BlitClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(BlitClipTest, OnlyPixelsInsideTheClipChangeAndTheSourceOffsetMatches) {
  const ClipCase& c = GetParam();
  TLinearBitmap dst(8, 8), src(4, 4);
  const uint32_t background = Pix(0, 1, 1, 1);
  Fill(dst, background);
  for (int32_t i = 0; i < 16; ++i) src.Bits()[i] = static_cast<uint32_t>(0x100 + i);  // alpha 0: exact copy
  dst.SetViewport(0, 0, 2, 2, 5, 5);
  dst.AlphaBlit(src, c.X, c.Y);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      bool inClip = x >= 2 && x <= 5 && y >= 2 && y <= 5;
      bool inSource = x >= c.X && x < c.X + 4 && y >= c.Y && y < c.Y + 4;
      uint32_t want = inClip && inSource ? static_cast<uint32_t>(0x100 + (y - c.Y) * 4 + (x - c.X)) : background;
      ASSERT_EQ(dst.Bits()[y * 8 + x], want) << "pixel " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Placements, BlitClipTest,
                         ::testing::Values(ClipCase{"inside", 2, 2}, ClipCase{"straddles_top_left", 0, 0},
                                           ClipCase{"straddles_bottom_right", 4, 5}, ClipCase{"wholly_left", -2, 2},
                                           ClipCase{"wholly_above", 2, -2}, ClipCase{"wholly_right", 6, 2}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(LinearBitmap, ViewportOriginShiftsLogicalPlacement) {
  TLinearBitmap dst(6, 6), src(2, 2);
  Fill(dst, 0);
  Fill(src, Pix(0, 9, 9, 9));
  // Logical (10, 20) falls on pixel (0, 0): the source at logical (11, 21) lands on pixel (1, 1).
  dst.SetViewport(10, 20, 0, 0, 5, 5);
  dst.AlphaBlit(src, 11, 21);
  EXPECT_EQ(dst.Bits()[1 * 6 + 1], Pix(0, 9, 9, 9));
  EXPECT_EQ(dst.Bits()[2 * 6 + 2], Pix(0, 9, 9, 9));
  EXPECT_EQ(dst.Bits()[0], 0u);
  EXPECT_EQ(dst.Bits()[3 * 6 + 3], 0u);
}

TEST(LinearBitmap, EmptyBitmapsDoNothing) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
    TLinearBitmap empty(w, h), src(2, 2);
    EXPECT_EQ(empty.Bits(), nullptr);
    EXPECT_EQ(empty.Canvas(), nullptr);
    platform::ui::PaintTarget target;
    empty.CopyToDC(target, 0, 0);
    empty.SetViewport(1, 1, 0, 0, 1, 1);
    EXPECT_EQ(empty.OriginX(), 0);
    empty.ResetViewport();
    empty.CopyFrom(src, 0, 0);
    empty.AlphaBlit(src, 0, 0);
    empty.LumaToAlpha();
    src.AlphaBlit(empty, 0, 0);
  }
}

TEST(LinearBitmap, ResizeKeepsNothingAndResetsTheViewport) {
  TLinearBitmap bmp(4, 4);
  bmp.SetViewport(3, 3, 1, 1, 2, 2);
  bmp.Resize(10, 6);
  ASSERT_NE(bmp.Bits(), nullptr);
  EXPECT_EQ(bmp.Width(), 10);
  EXPECT_EQ(bmp.OriginX(), 0);
  EXPECT_EQ(bmp.Clip().Right, 9);
  EXPECT_EQ(bmp.Clip().Bottom, 5);
  bmp.Resize(0, 0);
  EXPECT_EQ(bmp.Bits(), nullptr);
}

TEST(LinearBitmap, LumaToAlphaWeighsTheColours) {
  TLinearBitmap bmp(3, 1);
  bmp.Bits()[0] = Pix(0, 255, 255, 255);
  bmp.Bits()[1] = Pix(0, 100, 0, 0);   // 30 % of red: 30
  bmp.Bits()[2] = Pix(7, 10, 20, 99);  // (11*99 + 59*20 + 30*10) div 100 = 25
  bmp.LumaToAlpha();
  EXPECT_EQ(bmp.Bits()[0], Pix(255, 255, 255, 255));
  EXPECT_EQ(bmp.Bits()[1], Pix(30, 100, 0, 0));
  EXPECT_EQ(bmp.Bits()[2], Pix(25, 10, 20, 99));
}

TPicture Solid(int32_t w, int32_t h, uint32_t rgb) {
  std::vector<uint32_t> px(static_cast<size_t>(w * h), rgb);
  TPicture p;
  p.Assign(w, h, px.data());
  return p;
}

TEST(GraphicContainer, FrameGridOfTheKnobSheet) {
  TGraphicContainer c(nullptr);
  c.SetPicture(Solid(720, 432, 0x808080));
  c.SetWidth(48);
  c.SetHeight(48);
  EXPECT_EQ(c.ImageCountX(), 15);
  EXPECT_EQ(c.ImageCountY(), 9);
  EXPECT_EQ(c.ImageCount(), 135);
  c.SetWidth(0);
  EXPECT_EQ(c.Width(), 1);
  c.SetHeight(-5);
  EXPECT_EQ(c.Height(), 1);
  c.SetWidth(1000);  // larger than the picture: no frames, controls draw their fallback
  EXPECT_EQ(c.ImageCount(), 0);
}

TEST(GraphicContainer, NotifiesFrameAndPictureChangesAndDestruction) {
  std::vector<uint32_t> codes;
  int subscriber = 0;
  {
    TGraphicContainer c(nullptr);
    c.NotifyHost().Subscribe(&subscriber, [&](TObject*, uint32_t code, int32_t) { codes.push_back(code); });
    c.SetWidth(32);
    c.SetWidth(32);  // unchanged: no notification
    c.SetPicture(Solid(4, 4, 0));
  }
  EXPECT_EQ(codes, (std::vector<uint32_t>{1, 2, 0}));
}

struct AlphaCase {
  const char* Name;
  bool Invert;
  uint32_t MaskBlue;
  uint32_t WantAlpha;
};

class ContainerAlphaTest : public ::testing::TestWithParam<AlphaCase> {};

TEST_P(ContainerAlphaTest, AlphaComesFromTheSecondPicturesBlueByte) {
  const AlphaCase& c = GetParam();
  TGraphicContainer mask(nullptr), sheet(nullptr);
  mask.SetPicture(Solid(4, 2, 0x123400 | c.MaskBlue));
  sheet.SetAlpha(&mask);
  sheet.SetInvertAlpha(c.Invert);
  sheet.SetPicture(Solid(4, 2, 0x00A0B0C0));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(sheet.Bitmap().Bits()[i], (c.WantAlpha << 24) | 0x00A0B0C0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, ContainerAlphaTest,
                         ::testing::Values(AlphaCase{"plain_white_transparent", false, 255, 255},
                                           AlphaCase{"plain_dark", false, 9, 9},
                                           AlphaCase{"inverted_noise_9_transparent", true, 9, 255},
                                           AlphaCase{"inverted_10", true, 10, 245},
                                           AlphaCase{"inverted_white_opaque", true, 255, 0}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST(GraphicContainer, AlphaPictureOfAnotherSizeFallsBackToLuminance) {
  TGraphicContainer mask(nullptr), sheet(nullptr);
  mask.SetPicture(Solid(3, 2, 0));  // black: would make everything opaque
  sheet.SetAlpha(&mask);
  sheet.SetPicture(Solid(4, 2, 0xFFFFFF));
  EXPECT_EQ(sheet.Bitmap().Bits()[0] >> 24, 255u);
}

TEST(GraphicContainer, JpegSkinWithAlphaFromASecondJpeg) {
  // A colour picture and a mask, left half white (opaque when inverted), right half black.
  const int32_t w = 32, h = 16;
  std::vector<uint32_t> colour(w * h), maskPx(w * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      colour[y * w + x] = (static_cast<uint32_t>(x * 8) << 16) | (static_cast<uint32_t>(y * 16) << 8) | 0x40;
      maskPx[y * w + x] = x < w / 2 ? 0xFFFFFF : 0x000000;
    }
  std::vector<uint8_t> colourJpeg, maskJpeg;
  ASSERT_TRUE(platform::ui::EncodeJpeg(colour.data(), w, h, 95, colourJpeg));
  ASSERT_TRUE(platform::ui::EncodeJpeg(maskPx.data(), w, h, 95, maskJpeg));

  TPicture cp, mp;
  ASSERT_TRUE(cp.LoadFromJpeg(colourJpeg.data(), colourJpeg.size()));
  ASSERT_TRUE(mp.LoadFromJpeg(maskJpeg.data(), maskJpeg.size()));
  TGraphicContainer mask(nullptr), sheet(nullptr);
  mask.SetPicture(mp);
  sheet.SetAlpha(&mask);
  sheet.SetInvertAlpha(true);
  sheet.SetPicture(cp);
  ASSERT_EQ(sheet.Bitmap().Width(), w);
  const uint32_t* bits = sheet.Bitmap().Bits();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t p = bits[y * w + x], want = colour[y * w + x];
      for (int shift = 0; shift <= 16; shift += 8)
        ASSERT_NEAR(static_cast<int>((p >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 12)
            << "colour at " << x << "," << y;
      // Away from the edge, where JPEG rings, the mask decides: opaque left, transparent right.
      if (x < w / 2 - 3) {
        ASSERT_LE(p >> 24, 12u) << x;
      }
      if (x > w / 2 + 2) {
        ASSERT_EQ(p >> 24, 255u) << x;
      }
    }
}

TEST(GraphicContainer, DamagedJpegLeavesAnEmptyContainer) {
  std::vector<uint8_t> junk = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
  TPicture p;
  EXPECT_FALSE(p.LoadFromJpeg(junk.data(), junk.size()));
  TGraphicContainer c(nullptr);
  c.SetPicture(p);
  EXPECT_EQ(c.Bitmap().Bits(), nullptr);
  EXPECT_EQ(c.ImageCount(), 0);
}

TEST(StaticMemoryManager, ChunksOf1024DistinctBlocksAndReuse) {
  TStaticMemoryManager mm(20, 10);
  EXPECT_EQ(mm.BlocksPerChunk(), 1024);
  std::set<uintptr_t> seen;
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 1024; ++i) {
    auto* b = static_cast<unsigned char*>(mm.Alloc());
    std::memset(b, i & 0xFF, static_cast<size_t>(mm.BlockSize()));  // blocks must not overlap
    blocks.push_back(b);
    seen.insert(reinterpret_cast<uintptr_t>(b));
  }
  EXPECT_EQ(seen.size(), 1024u);
  EXPECT_EQ(mm.ChunkCount(), 1);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(blocks[static_cast<size_t>(i)][mm.BlockSize() - 1], i & 0xFF);
  mm.Alloc();
  EXPECT_EQ(mm.ChunkCount(), 2);
  mm.Release(blocks[500]);
  EXPECT_EQ(mm.Alloc(), blocks[500]);
}

TEST(StaticMemoryManager, SizesRoundUp) {
  EXPECT_EQ(TStaticMemoryManager(21, 10).BlockSize(), 24);
  EXPECT_GE(TStaticMemoryManager(1, 10).BlockSize(), 4);
  EXPECT_EQ(TStaticMemoryManager(20, 2).BlocksPerChunk(), 16);
}

}  // namespace
