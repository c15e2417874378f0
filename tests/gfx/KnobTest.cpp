// The knob on a real form and canvas in the headless window system, unbound
// (its own range through OnGetParamRange): the frame shown for a value,
// drags with the pointer hidden and held, steps and scales, the wheel, the
// double-click reset, the round hit area, the fallback picture, and the
// pointer coming back when the knob or its window goes away mid-drag.

#include <gtest/gtest.h>

#include <memory>

#include "gfx/GraphicKnob.h"
#include "platform/ui/HeadlessWindows.h"
#include "tests/gfx/SpriteSheet.h"

using platform::ui::HeadlessWindowSystem;

namespace {

constexpr int32_t kHostX = 100, kHostY = 50;
constexpr int32_t kKnobX = 40, kKnobY = 60;  // in the form
constexpr uint32_t kBackground = 0x00303030;

class KnobFixture : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({kHostX, kHostY, kHostX + 299, kHostY + 199});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 300, 200);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 300, 200);
    Canvas->SetColor(kBackground);
    Sheet = new TGraphicContainer(Form);
    Mask = new TGraphicContainer(Form);
    testsheet::Fill(*Sheet, Mask);
    Knob = new TGraphicKnob(Form);
    Knob->SetBounds(kKnobX, kKnobY, 48, 48);
    Knob->SetParent(Form);
    Knob->SetGfxCanvas(Canvas);
    Knob->SetContainer(Sheet);
    Knob->SetIsTransparent(true);  // as in the editor: per-pixel blend (here all opaque)
    Knob->OnChange = [this](TObject*) { ++Changes; };
    Knob->OnEndDrag = [this](TObject*) { ++EndDrags; };
    Form->Show();
    Ws.Advance(1);
  }
  void TearDown() override {
    delete Form;
    platform::ui::SetWindowSystem(FPrevious);
  }
  // Range 0..1000, default 250, value cur.
  void Range(int32_t cur, int32_t lo = 0, int32_t hi = 1000, int32_t def = 250) {
    Knob->SetOnGetParamRange([=](TObject*, int32_t& aMin, int32_t& aMax, int32_t& aDef, int32_t& aCur) {
      aMin = lo;
      aMax = hi;
      aDef = def;
      aCur = cur;
    });
  }
  // Screen point of a knob client point.
  int32_t SX(int32_t x) { return kHostX + kKnobX + x; }
  int32_t SY(int32_t y) { return kHostY + kKnobY + y; }
  uint32_t KnobPixel(int32_t x = 24, int32_t y = 24) {
    Ws.Advance(1);
    return Ws.ScreenPixel(SX(x), SY(y));
  }
  // A left drag from the knob's centre by dy pixels (negative: up).
  void Drag(int32_t dy) {
    Ws.MouseDown(0, SX(24), SY(24));
    Ws.MouseMove(SX(24), SY(24) + dy);
    Ws.MouseUp(0, SX(24), SY(24) + dy);
  }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;
  TGraphicContainer* Sheet = nullptr;
  TGraphicContainer* Mask = nullptr;
  TGraphicKnob* Knob = nullptr;
  int Changes = 0, EndDrags = 0;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

TEST_F(KnobFixture, ShowsTheFrameOfItsValueRoundingTiesToEven) {
  struct Case {
    int32_t lo, hi, value, frame;
  } cases[] = {
      {0, 1000000, 0, 0}, {0, 1000000, 1000000, 134}, {0, 1000000, 500000, 67}, {-100, 100, 0, 67},
      {0, 268, 1, 0},      // 0.5 -> 0 (even)
      {0, 268, 3, 2},      // 1.5 -> 2 (even)
      {0, 268, 5, 2},      // 2.5 -> 2 (even)
      {0, 268, 265, 132},  // 132.5 -> 132 (even)
      {0, 268, 267, 134},  // 133.5 -> 134 (even)
      {7, 7, 7, 0},        // no range: the first frame
  };
  for (const Case& c : cases) {
    Range(c.value, c.lo, c.hi, c.lo);
    EXPECT_EQ(Knob->FrameIndex(), c.frame) << c.lo << ".." << c.hi << " at " << c.value;
    EXPECT_EQ(KnobPixel(), testsheet::FrameColor(c.frame)) << c.lo << ".." << c.hi << " at " << c.value;
    EXPECT_EQ(KnobPixel(0, 0), testsheet::FrameColor(c.frame));
    EXPECT_EQ(KnobPixel(47, 47), testsheet::FrameColor(c.frame));
  }
}

TEST_F(KnobFixture, WithoutAUsableSheetDrawsAFramedButtonFace) {
  TGraphicContainer empty(nullptr);  // no picture: no frames
  for (TGraphicContainer* c : {static_cast<TGraphicContainer*>(nullptr), &empty}) {
    Knob->SetContainer(c);
    EXPECT_EQ(KnobPixel(0, 0), 0x000000u);
    EXPECT_EQ(KnobPixel(47, 47), 0x000000u);
    EXPECT_EQ(KnobPixel(24, 0), 0x000000u);
    EXPECT_EQ(KnobPixel(24, 24), 0xF0F0F0u);
    EXPECT_EQ(KnobPixel(1, 1), 0xF0F0F0u);
  }
  Knob->SetContainer(nullptr);
}

TEST_F(KnobFixture, ForgetsASheetThatGoesAway) {
  auto* sheet = new TGraphicContainer(nullptr);
  testsheet::Fill(*sheet);
  Knob->SetContainer(sheet);
  delete sheet;
  EXPECT_EQ(Knob->Container(), nullptr);
  EXPECT_EQ(KnobPixel(24, 24), 0xF0F0F0u);
}

TEST_F(KnobFixture, DragUpRaisesByFastStepsPerPixelWithThePointerHeldAtThePress) {
  Range(500);
  Knob->SetStepFast(7);
  Ws.MouseDown(0, SX(24), SY(24));
  EXPECT_TRUE(Knob->Dragging());
  EXPECT_FALSE(Ws.CursorHidden());  // hidden only from the first move
  Ws.MouseMove(SX(24), SY(20));
  EXPECT_TRUE(Ws.CursorHidden());
  EXPECT_EQ(Knob->Value(), 528);
  int32_t x = 0, y = 0;
  Ws.GetCursorPos(x, y);
  EXPECT_EQ(x, SX(24));
  EXPECT_EQ(y, SY(24));  // put back, so the next move counts from the press point again
  Ws.MouseMove(SX(30), SY(21));
  EXPECT_EQ(Knob->Value(), 549);
  Ws.MouseMove(SX(24), SY(34));  // down 10
  EXPECT_EQ(Knob->Value(), 479);
  EXPECT_EQ(Changes, 3);
  EXPECT_EQ(EndDrags, 0);
  Ws.MouseUp(0, SX(24), SY(34));
  EXPECT_FALSE(Knob->Dragging());
  EXPECT_FALSE(Ws.CursorHidden());
  Ws.GetCursorPos(x, y);
  EXPECT_EQ(x, SX(24));
  EXPECT_EQ(y, SY(24));
  EXPECT_EQ(EndDrags, 1);
  EXPECT_EQ(KnobPixel(), testsheet::FrameColor(Knob->FrameIndex()));
}

TEST_F(KnobFixture, StepSizesAndScales) {
  struct Case {
    const char* what;
    uint32_t keys;
    bool rightButton;
    int32_t scaleH, scaleV, up, delta;
  } cases[] = {
      {"fast, 1 px", 0, false, 1, 1, 1, 7},
      {"fast, 3 px", 0, false, 1, 1, 3, 21},
      {"slow with Shift", platform::ui::keys::Shift, false, 1, 1, 2, 2},
      {"slow with the right button", 0, true, 1, 1, 2, 2},
      {"fast, scale 3, 1 px rounds to none", 0, false, 1, 3, 1, 0},
      {"fast, scale 3, 2 px rounds to one", 0, false, 1, 3, 2, 7},
      {"fast, scale 2, 1 px: a tie, to even (0)", 0, false, 1, 2, 1, 0},
      {"fast, scale 2, 3 px: a tie, to even (2)", 0, false, 1, 2, 3, 14},
      {"fast, scale 2, down 3 px", 0, false, 1, 2, -3, -14},
      {"slow, scale 4, 6 px: a tie, to even (2)", platform::ui::keys::Shift, false, 4, 1, 6, 2},
      {"slow ignores the fast scale", platform::ui::keys::Shift, false, 1, 3, 1, 1},
  };
  Knob->SetStepFast(7);
  Knob->SetStepSlow(1);
  for (const Case& c : cases) {
    Range(500);
    Knob->SetStepScaleH(c.scaleH);
    Knob->SetStepScaleV(c.scaleV);
    Ws.SetKeys(c.keys);
    Ws.MouseDown(0, SX(24), SY(24));
    if (c.rightButton) Ws.MouseDown(1, SX(24), SY(24));
    Ws.MouseMove(SX(24), SY(24) - c.up);
    if (c.rightButton) Ws.MouseUp(1, SX(24), SY(24));
    Ws.MouseUp(0, SX(24), SY(24));
    Ws.SetKeys(0);
    EXPECT_EQ(Knob->Value(), 500 + c.delta) << c.what;
    EXPECT_FALSE(Ws.CursorHidden()) << c.what;
  }
}

TEST_F(KnobFixture, PropertyFloorsAtOne) {
  Knob->SetStepSlow(0);
  Knob->SetStepFast(-5);
  Knob->SetStepScaleH(0);
  Knob->SetStepScaleV(-1);
  EXPECT_EQ(Knob->StepSlow(), 1);
  EXPECT_EQ(Knob->StepFast(), 1);
  EXPECT_EQ(Knob->StepScaleH(), 1);
  EXPECT_EQ(Knob->StepScaleV(), 1);
}

TEST_F(KnobFixture, UnboundValuesStayInRangeAndUnchangedValuesAreNotReported) {
  Range(990);
  Knob->SetStepFast(7);
  Drag(-5);  // would be 1025
  EXPECT_EQ(Knob->Value(), 1000);
  EXPECT_EQ(Changes, 1);
  Drag(-5);  // already at the top: nothing
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(EndDrags, 1);
  Range(3);
  Drag(10);
  EXPECT_EQ(Knob->Value(), 0);
}

TEST_F(KnobFixture, ADragEndingAtItsStartValueFiresNoEndDrag) {
  Range(500);
  Knob->SetStepFast(7);
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.MouseMove(SX(24), SY(20));
  Ws.MouseMove(SX(24), SY(28));
  Ws.MouseUp(0, SX(24), SY(28));
  EXPECT_EQ(Knob->Value(), 500);
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(EndDrags, 0);
}

TEST_F(KnobFixture, WheelStepsTwentyPixelsUnlessDragging) {
  Range(500);
  Knob->SetStepFast(3);
  Ws.SetKeys(platform::ui::keys::Shift);  // the wheel never steps slowly
  Ws.MouseMove(SX(24), SY(24));
  Ws.Wheel(120, SX(24), SY(24));
  EXPECT_EQ(Knob->Value(), 560);
  Ws.Wheel(-240, SX(24), SY(24));
  EXPECT_EQ(Knob->Value(), 500);
  Ws.SetKeys(0);
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.Wheel(120, SX(24), SY(24));
  EXPECT_EQ(Knob->Value(), 500);
  Ws.MouseUp(0, SX(24), SY(24));
  Ws.Wheel(120, SX(24), SY(24));
  EXPECT_EQ(Knob->Value(), 560);
}

TEST_F(KnobFixture, DoubleClickResetsToTheDefaultOnlyWhenItDiffers) {
  Range(500);
  Ws.DoubleClick(0, SX(24), SY(24));
  EXPECT_EQ(Knob->Value(), 250);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(EndDrags, 1);
  EXPECT_FALSE(Knob->Dragging());
  Ws.DoubleClick(0, SX(24), SY(24));
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(EndDrags, 1);
}

TEST_F(KnobFixture, RadialKnobIgnoresPressesOutsideItsCircle) {
  Range(500);
  struct Case {
    bool radial;
    int32_t x, y;
    bool drags;
  } cases[] = {
      {true, 2, 2, false}, {true, 45, 45, false}, {true, 24, 1, true}, {true, 24, 24, true}, {false, 2, 2, true},
  };
  for (const Case& c : cases) {
    Knob->SetRadial(c.radial);
    Ws.MouseDown(0, SX(c.x), SY(c.y));
    EXPECT_EQ(Knob->Dragging(), c.drags) << c.x << "," << c.y;
    Ws.MouseMove(SX(c.x), SY(c.y) - 4);
    EXPECT_EQ(Ws.CursorHidden(), c.drags);
    Ws.MouseUp(0, SX(c.x), SY(c.y) - 4);
    EXPECT_FALSE(Ws.CursorHidden());
  }
}

TEST_F(KnobFixture, ThePointerComesBackWhenTheKnobGoesAwayMidDrag) {
  Range(500);
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.MouseMove(SX(24), SY(14));
  ASSERT_TRUE(Ws.CursorHidden());
  delete Knob;
  Knob = nullptr;
  EXPECT_FALSE(Ws.CursorHidden());
  Ws.MouseMove(SX(24), SY(10));  // the form has no capture target any more
  Ws.MouseUp(0, SX(24), SY(10));
}

TEST_F(KnobFixture, ThePointerComesBackWhenTheWindowGoesAwayMidDrag) {
  Range(500);
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.MouseMove(SX(24), SY(14));
  ASSERT_TRUE(Ws.CursorHidden());
  Ws.DestroyWindow(Host);  // the host closes its window under the editor
  EXPECT_FALSE(Ws.CursorHidden());
  delete Form;  // the knob, still dragging, lets go of a window that is gone
  Form = nullptr;
  EXPECT_FALSE(Ws.CursorHidden());
}

TEST_F(KnobFixture, ZeroSizeKnobPaintsNothingAndTakesNoPress) {
  Range(500);
  Knob->SetBounds(kKnobX, kKnobY, 0, 0);
  Ws.MouseDown(0, SX(0), SY(0));
  Ws.MouseUp(0, SX(0), SY(0));
  EXPECT_FALSE(Knob->Dragging());
  EXPECT_EQ(KnobPixel(0, 0), kBackground & 0xFFFFFF);
}

TEST_F(KnobFixture, AutoSizeTakesTheFrameSize) {
  Knob->SetBounds(kKnobX, kKnobY, 20, 30);
  Knob->SetAutoSize(true);
  EXPECT_EQ(Knob->Width(), 48);
  EXPECT_EQ(Knob->Height(), 48);
  Sheet->SetWidth(72);  // frame size changed
  EXPECT_EQ(Knob->Width(), 72);
}

TEST_F(KnobFixture, TransparentKnobBlendsByTheSheetsAlphaAndIsNotOpaque) {
  Range(0);
  Sheet->SetAlpha(nullptr);  // alpha from the picture's luminance
  Sheet->Rebuild();
  Knob->SetIsTransparent(false);
  Knob->SetIsTransparent(true);
  EXPECT_FALSE(Knob->Opaque());
  // Frame 0 is (0, 255, 0x40): luminance alpha (11*64 + 59*255) / 100 = 157.
  uint32_t a = 157, bg = 0x30;
  auto mix = [&](uint32_t s) {
    return s + (((static_cast<int32_t>(bg) - static_cast<int32_t>(s)) * static_cast<int32_t>(a)) >> 8);
  };
  uint32_t expected = ((mix(0) & 0xFF) << 16) | ((mix(255) & 0xFF) << 8) | (mix(0x40) & 0xFF);
  EXPECT_EQ(KnobPixel(), expected);
  Knob->SetIsTransparent(false);  // opaque copy of the frame
  EXPECT_TRUE(Knob->Opaque());
  EXPECT_EQ(KnobPixel(), testsheet::FrameColor(0));
  Range(15);  // 15 / 1000 * 134 = 2.01
  EXPECT_EQ(KnobPixel(), testsheet::FrameColor(2));
}

}  // namespace
