// The bevelled face, the colour scaling, the group and parameter binding of
// the selector controls, through a real form and canvas.

#include <gtest/gtest.h>

#include <vector>

#include "ButtonFixture.h"
#include "gfx/ButtonFace.h"
#include "gfx/GraphicButton.h"
#include "gfx/GraphicGroup.h"

namespace {

TEST(ButtonFace, ScaleColorRoundsAndLimitsEachChannel) {
  struct Case {
    double k;
    uint32_t in, out;
  } cases[] = {{1.4, 0x00646464, 0x008C8C8C}, {1.4, 0x00C8C832, 0x00FFFF46},   {0.71, 0x00FF0064, 0x00B50047},
               {0.5, 0x00030301, 0x00020201}, {1.055, 0x00000000, 0x00000000}, {0.4, 0x00FFFFFF, 0x00666666}};
  for (const Case& c : cases) EXPECT_EQ(ScaleColor(c.k, c.in), c.out) << c.k << " " << std::hex << c.in;
}

uint32_t Pixel(const TLinearBitmap& b, int x, int y) { return b.Bits()[y * b.Width() + x] & 0x00FFFFFF; }
// The bitmap stores 0x00RRGGBB; colours are 0x00BBGGRR.
uint32_t AsPixel(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

TEST(ButtonFace, BevelFadesFromTheEdgesAndSwapsWhenPressed) {
  const uint32_t c = 0x00406080;
  for (bool pressed : {false, true}) {
    SCOPED_TRACE(pressed);
    TLinearBitmap b(40, 20);
    DrawButtonFace(b, 0, 0, 40, 20, c, pressed, true, "", taCenter, 0, TFont{});
    b.Canvas()->Flush();
    double top = pressed ? 0.71 : 1.4, bottom = pressed ? 1.4 : 0.71;
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Pixel(b, 20, i), AsPixel(ScaleColor(top + (1 - top) * i / 4, c))) << i;
      EXPECT_EQ(Pixel(b, 20, 19 - i), AsPixel(ScaleColor(bottom + (1 - bottom) * i / 4, c))) << i;
    }
    EXPECT_EQ(Pixel(b, 20, 10), AsPixel(c));
    EXPECT_EQ(Pixel(b, 0, 10), AsPixel(ScaleColor(top, c)));
    EXPECT_EQ(Pixel(b, 39, 10), AsPixel(ScaleColor(bottom, c)));
    EXPECT_EQ(Pixel(b, 0, 19), AsPixel(ScaleColor(1.055, c)));
    EXPECT_EQ(Pixel(b, 39, 0), AsPixel(ScaleColor(1.055, c)));
  }
}

TEST(ButtonFace, TextLooksDifferentWhenDisabledAndEmptyAreasAreSafe) {
  const uint32_t c = 0x00808080;
  auto draw = [&](bool enabled, bool pressed) {
    TLinearBitmap b(60, 20);
    TFont f;
    f.Color = 0x000000FF;
    DrawButtonFace(b, 0, 0, 60, 20, c, pressed, enabled, "Wg", taCenter, 0, f);
    b.Canvas()->Flush();
    std::vector<uint32_t> px(b.Bits(), b.Bits() + 60 * 20);
    for (uint32_t& p : px) p &= 0x00FFFFFF;
    return px;
  };
  auto normal = draw(true, false), disabled = draw(false, false);
  auto has = [](const std::vector<uint32_t>& px, uint32_t v) { return std::count(px.begin(), px.end(), v) > 0; };
  EXPECT_TRUE(has(normal, 0x00FF0000));  // red text in the font colour
  EXPECT_FALSE(has(disabled, 0x00FF0000));
  EXPECT_TRUE(has(disabled, AsPixel(ScaleColor(0.71, c))));
  EXPECT_NE(draw(true, true), normal);

  TLinearBitmap empty(0, 0), small(3, 3);
  DrawButtonFace(empty, 0, 0, 10, 10, c, false, true, "x", taLeftJustify, 2, TFont{});
  DrawButtonFace(small, 0, 0, 3, 3, c, true, false, "long text", taRightJustify, 9, TFont{});
  DrawButtonFace(small, 5, 5, 2, 2, c, false, true, "", taLeftJustify, 0, TFont{});
}

class Group : public ButtonFixture {
protected:
  void SetUp() override {
    ButtonFixture::SetUp();
    G = Add<TGraphicGroup>(10, 10, 120, 20);
    G->SetItemWidth(30);
    G->SetValues(Strings({"a", "b", "c"}));
    G->OnChange = [this](TObject*) { ++Changes; };
  }
  TGraphicGroup* G = nullptr;
  int Changes = 0;
};

TEST_F(Group, ClickSelectsTheCellUnderTheRelease) {
  struct Case {
    int32_t downX, upX, index, changes;
  } cases[] = {{45, 45, 1, 1}, {45, 45, 1, 1}, {15, 75, 2, 2}, {105, 105, 2, 2}, {75, 200, 2, 2}, {15, 15, 0, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.downX);
    Move(c.downX, 20);
    Down(c.downX, 20);
    Move(c.upX, 20);
    Up(c.upX, 20);
    EXPECT_EQ(G->ItemIndex(), c.index);
    EXPECT_EQ(Changes, c.changes);
    EXPECT_EQ(G->HotCell(), -1);
  }
}

TEST_F(Group, CellColoursComeFromColoursOrTheControlColour) {
  G->SetColor(0x00102030);
  TStringList colours = Strings({"255", "junk"});
  G->SetColours(colours);
  EXPECT_EQ(G->CellColor(0), 255u);
  EXPECT_EQ(G->CellColor(1), 0x00102030u);
  EXPECT_EQ(G->CellColor(2), 0x00102030u);
  G->SetItemIndex(2);
  Ws.Advance(100);
  EXPECT_EQ(At(13, 16), AsPixel(255));                           // cell 0 released, in its own colour (beside its text)
  EXPECT_EQ(At(10, 20), AsPixel(ScaleColor(1.4, 255)));          // released: light left edge
  EXPECT_EQ(At(70, 20), AsPixel(ScaleColor(0.71, 0x00102030)));  // selected: dark left edge
}

// A host for parameters: records every request instead of automating.
struct ParamHost {
  ParamHost() {
    P = Host.Parameters().Add();
    P->SetName("Mode");
    P->SetMaxValue(3);
    Proxy.SetHost(&Host);
    Src.SetProxy(&Proxy);
    Src.SetVSTParamName("Mode");
    Host.OnRequestValue = [this](TVSTParameter*, float v) { Requests.push_back(v); };
  }
  TVSTParameterHost Host{nullptr};
  TVSTParameter* P = nullptr;
  TVSTParameterHostProxy Proxy{nullptr};
  TVSTParameterSource Src{nullptr};
  std::vector<float> Requests;
};

TEST_F(Group, FollowsValueChangesButNotRangeChangesAndRequestsUserChoices) {
  ParamHost ph;
  ph.P->SetCurValue(1);
  G->SetParamSrc(&ph.Src);
  EXPECT_EQ(G->ItemIndex(), 1);
  ph.P->SetCurValue(2);
  EXPECT_EQ(G->ItemIndex(), 2);
  G->SetItemIndex(0);  // the user's choice; this host does not answer
  ASSERT_EQ(ph.Requests.size(), 1u);
  EXPECT_FLOAT_EQ(ph.Requests[0], 0.0f);
  ph.Requests.clear();
  ph.P->SetMaxValue(5);  // range alone: the group keeps its cell
  EXPECT_EQ(G->ItemIndex(), 0);
  ph.P->SetMaxValue(1);  // range, then the value follows: 2 -> 1
  EXPECT_EQ(G->ItemIndex(), 1);
  EXPECT_TRUE(ph.Requests.empty());  // values from the parameter send nothing back

  Click(15, 20);
  EXPECT_EQ(G->ItemIndex(), 0);
  ASSERT_EQ(ph.Requests.size(), 1u);
  EXPECT_FLOAT_EQ(ph.Requests[0], 0.0f);
  EXPECT_EQ(Changes, 1);
}

TEST_F(Group, ButtonFollowsRangeAndValueChangesAndForgetsAFreedSource) {
  auto* b = Add<TGraphicButton>(10, 50, 80, 20);
  b->SetValues(Strings({"off", "on", "auto", "hold"}));
  int changes = 0;
  b->OnChange = [&](TObject*) { ++changes; };
  auto* ph = new ParamHost;
  ph->P->SetCurValue(2);
  b->SetParamSrc(&ph->Src);
  EXPECT_EQ(b->ItemIndex(), 2);
  b->SetItemIndex(0);
  ASSERT_EQ(ph->Requests.size(), 1u);
  EXPECT_FLOAT_EQ(ph->Requests[0], 0.0f);
  ph->P->SetMaxValue(4);  // range change: the button retakes CurValue
  EXPECT_EQ(b->ItemIndex(), 2);
  ph->Requests.clear();
  Click(20, 60);  // steps 2 -> 3 and asks the host
  EXPECT_EQ(b->ItemIndex(), 3);
  ASSERT_EQ(ph->Requests.size(), 1u);
  EXPECT_FLOAT_EQ(ph->Requests[0], 0.75f);  // 3 of 0..4
  EXPECT_EQ(changes, 1);
  delete ph;
  EXPECT_EQ(b->ParamSrc(), nullptr);
  Click(20, 60);
  EXPECT_EQ(b->ItemIndex(), 0);
}

}  // namespace
