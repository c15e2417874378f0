// The canvas, its elements and the host form, driven through the headless
// window system: damage, regions, paints, refresh, timers, hover, wheel,
// active element and the last-resort error report.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "gfx/GraphicCanvas.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/ui/HeadlessWindows.h"

using platform::ui::HeadlessWindowSystem;
using platform::ui::Rect;

namespace {

constexpr uint32_t Ref(uint32_t r, uint32_t g, uint32_t b) { return (b << 16) | (g << 8) | r; }  // 0x00BBGGRR
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }  // screen pixels

// A block of one colour that records what the form tells it.
class TBlock : public TGraphicElement {
public:
  TBlock(TComponent* owner, uint32_t fill) : TGraphicElement(owner), Fill(fill) {}
  void PaintTo(TLinearBitmap& b) override {
    ++Paints;
    if (Throw) throw Exception("paint failed");
    b.Canvas()->SetBrush(Fill, platform::ui::BrushStyle::Solid);
    b.Canvas()->FillRect(0, 0, Width(), Height());
  }
  void MouseLeave() override { ++Leaves; }
  void TimerTick() override {
    ++Ticks;
    if (ThrowOnTick) throw std::runtime_error("tick failed");
  }
  void WheelUp() override { ++WheelUps; }
  void WheelDown() override { ++WheelDowns; }
  void ClickAway() override { ++ClickAways; }
  uint32_t Fill;
  bool Throw = false;
  bool ThrowOnTick = false;
  int Paints = 0, Leaves = 0, Ticks = 0, WheelUps = 0, WheelDowns = 0, ClickAways = 0;
};

class Toolkit : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({100, 50, 100 + 299, 50 + 199});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 300, 200);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 300, 200);
    Canvas->SetColor(Ref(0x40, 0x40, 0x40));
    Form->Show();
    Ws.Advance(1);
  }
  void TearDown() override {
    delete Form;
    platform::ui::SetWindowSystem(FPrevious);
  }
  TBlock* AddBlock(int32_t l, int32_t t, int32_t w, int32_t h, uint32_t fill, bool opaque = false) {
    auto* b = new TBlock(Form, fill);
    b->SetBounds(l, t, w, h);
    b->SetOpaque(opaque);
    b->SetParent(Form);
    b->SetGfxCanvas(Canvas);
    return b;
  }
  // Screen pixel at a point of the form's client area.
  uint32_t At(int32_t x, int32_t y) { return Ws.ScreenPixel(100 + x, 50 + y); }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

int64_t Area(const std::vector<Rect>& rs) {
  int64_t a = 0;
  for (const Rect& r : rs) a += static_cast<int64_t>(r.Width()) * r.Height();
  return a;
}
bool Covers(const std::vector<Rect>& rs, int32_t x, int32_t y) {
  return std::any_of(rs.begin(), rs.end(),
                     [&](const Rect& r) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; });
}

TEST_F(Toolkit, PaintsBackgroundAndElementsOnScreen) {
  AddBlock(10, 10, 50, 30, Ref(255, 0, 0));
  Ws.Advance(1);
  EXPECT_EQ(At(5, 5), Rgb(0x40, 0x40, 0x40));
  EXPECT_EQ(At(10, 10), Rgb(255, 0, 0));
  EXPECT_EQ(At(59, 39), Rgb(255, 0, 0));
  EXPECT_EQ(At(60, 40), Rgb(0x40, 0x40, 0x40));
}

TEST_F(Toolkit, OverlappingDamageStaysDisjointAndCoveredDamageAddsNothing) {
  Canvas->AddDamage({10, 10, 49, 49}, false);
  Canvas->AddDamage({30, 30, 79, 69}, false);
  std::vector<Rect> d = Canvas->Damage();
  // Disjoint: the areas add up to the union's area (40*40 + 50*40 - 20*20).
  EXPECT_EQ(Area(d), 1600 + 2000 - 400);
  for (int32_t y = 0; y < 80; y += 3)
    for (int32_t x = 0; x < 90; x += 3) {
      bool inUnion = (x >= 10 && x <= 49 && y >= 10 && y <= 49) || (x >= 30 && x <= 79 && y >= 30 && y <= 69);
      ASSERT_EQ(Covers(d, x, y), inUnion) << x << "," << y;
    }
  size_t before = d.size();
  Rect update;
  Ws.Advance(1);  // paint: the list empties
  EXPECT_TRUE(Canvas->Damage().empty());
  Canvas->AddDamage({12, 12, 20, 20}, false);
  Canvas->AddDamage({14, 14, 18, 18}, false);  // already damaged: nothing more, nothing invalidated
  EXPECT_EQ(Canvas->Damage().size(), 1u);
  EXPECT_TRUE(Ws.GetUpdateRect(Form->Handle(), update));
  EXPECT_EQ(update.Left, 12);
  EXPECT_EQ(update.Right, 20);
  EXPECT_GT(before, 1u);
}

TEST_F(Toolkit, DamageOutsideTheCanvasIsDroppedOrClamped) {
  Ws.Advance(1);
  Canvas->AddDamage({-50, -50, -1, 10}, false);
  Canvas->AddDamage({300, 0, 400, 10}, false);
  Canvas->AddDamage({20, 10, 10, 20}, false);  // inverted
  EXPECT_TRUE(Canvas->Damage().empty());
  Canvas->AddDamage({-10, 190, 10, 250}, false);
  ASSERT_EQ(Canvas->Damage().size(), 1u);
  Rect r = Canvas->Damage()[0];
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Bottom, 199);
}

TEST_F(Toolkit, OpaqueElementHidesWhatLiesBelow) {
  TBlock* under = AddBlock(20, 20, 40, 40, Ref(0, 255, 0));
  TBlock* over = AddBlock(10, 10, 60, 60, Ref(0, 0, 255), true);
  Ws.Advance(1);
  EXPECT_TRUE(Canvas->RegionOf(under).empty());
  EXPECT_EQ(under->Paints, 0);
  EXPECT_GT(over->Paints, 0);
  EXPECT_FALSE(Covers(Canvas->BackgroundRegion(), 30, 30));
  EXPECT_TRUE(Covers(Canvas->BackgroundRegion(), 5, 5));
  EXPECT_EQ(At(30, 30), Rgb(0, 0, 255));
  // A transparent element above keeps its region; the opaque one below loses that part.
  TBlock* top = AddBlock(0, 0, 20, 20, Ref(9, 9, 9));
  Ws.Advance(1);
  EXPECT_EQ(Area(Canvas->RegionOf(top)), 400);
  EXPECT_EQ(Area(Canvas->RegionOf(over)), 3600);
}

TEST_F(Toolkit, HidingRepaintsTheAreaFromWhatLiesBelow) {
  AddBlock(10, 10, 40, 40, Ref(0, 255, 0));
  TBlock* over = AddBlock(20, 20, 20, 20, Ref(255, 0, 0), true);
  Ws.Advance(1);
  EXPECT_EQ(At(25, 25), Rgb(255, 0, 0));
  over->SetVisible(false);
  Ws.Advance(1);
  EXPECT_EQ(At(25, 25), Rgb(0, 255, 0));
  over->SetVisible(true);
  over->SetBounds(100, 100, 20, 20);
  Ws.Advance(1);
  EXPECT_EQ(At(25, 25), Rgb(0, 255, 0));
  EXPECT_EQ(At(105, 105), Rgb(255, 0, 0));
}

TEST_F(Toolkit, DisabledElementFadesIntoTheContainerOnly) {
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(200, 0, 0));
  b->SetTranspOnDisable(true);
  b->SetEnabled(false);
  Ws.Advance(1);
  EXPECT_EQ(At(15, 15), Rgb(200, 0, 0)) << "without a container the element is painted normally";

  TGraphicContainer bg(nullptr);
  std::vector<uint32_t> px(300 * 200, Rgb(0, 0, 100));
  TPicture pic;
  pic.Assign(300, 200, px.data());
  bg.SetPicture(pic);
  Canvas->SetContainer(&bg);
  Ws.Advance(1);
  // Three quarters background, one quarter element: 0 + ((200 - 0) * 64 >> 8) = 50 red; 100 + ((0 - 100) * 64 >> 8) =
  // 75 blue.
  EXPECT_EQ(At(15, 15), Rgb(50, 0, 75));
  EXPECT_EQ(At(5, 5), Rgb(0, 0, 100));
  Canvas->SetContainer(nullptr);
}

TEST_F(Toolkit, EmptyContainerFallsBackToTheCanvasColour) {
  TGraphicContainer broken(nullptr);  // a skin whose JPEG did not decode
  TPicture none;
  std::vector<uint8_t> junk(64, 0xAB);
  EXPECT_FALSE(none.LoadFromJpeg(junk.data(), junk.size()));
  broken.SetPicture(none);
  Canvas->SetContainer(&broken);
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(200, 0, 0));
  b->SetTranspOnDisable(true);
  b->SetEnabled(false);
  Ws.Advance(1);
  EXPECT_EQ(At(5, 5), Rgb(0x40, 0x40, 0x40));
  EXPECT_EQ(At(15, 15), Rgb(200, 0, 0));
  Canvas->SetContainer(nullptr);
}

TEST_F(Toolkit, DiscreteRefreshFoldsRedrawsIntoOnePaintPerTick) {
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(1, 2, 3));
  b->SetIsDiscreteRefresh(true);
  Canvas->SetRefreshInterval(50);
  Ws.Advance(60);
  int before = b->Paints;
  for (int i = 0; i < 10; ++i) b->Redraw();
  Ws.Advance(10);
  EXPECT_EQ(b->Paints, before) << "nothing before the tick";
  Ws.Advance(50);
  EXPECT_EQ(b->Paints, before + 1);
  // A move repaints the old place at once; the new place comes with the next tick.
  b->SetBounds(40, 40, 20, 20);
  Ws.Advance(1);
  EXPECT_EQ(At(15, 15), Rgb(0x40, 0x40, 0x40));
  Ws.Advance(50);
  EXPECT_EQ(At(45, 45), Rgb(1, 2, 3));
  EXPECT_EQ(b->Paints, before + 2);
}

TEST_F(Toolkit, ZeroSizedCanvasIgnoresPaint) {
  Canvas->SetBounds(0, 0, 0, 0);
  int paints = Canvas->PaintCount();
  Form->Invalidate();
  Ws.Advance(1);
  EXPECT_EQ(Canvas->PaintCount(), paints);
}

TEST_F(Toolkit, PaintWithoutUpdateRegionDoesNotBeginPainting) {
  Ws.Advance(1);
  int calls = Ws.BeginPaintCalls();
  Form->Perform(platform::ui::msg::Paint, 0, 0);
  EXPECT_EQ(Ws.BeginPaintCalls(), calls);
}

TEST_F(Toolkit, InvalidationForAnUnknownCanvasIsIgnored) {
  Ws.Advance(1);
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(1, 1, 1));
  Ws.Advance(1);
  // Post a node for a canvas id that no canvas has, then one for ours: only ours adds damage.
  Form->PostInvalidate({0, 0, 10, 10}, Canvas->CanvasId() + 1000, false);
  Ws.Pump();
  EXPECT_TRUE(Canvas->Damage().empty());
  int paints = b->Paints;
  b->Redraw();
  Ws.Pump();
  EXPECT_EQ(b->Paints, paints + 1);
}

TEST_F(Toolkit, TimerIdsAreNeverReusedAndSlotsAre) {
  TBlock* b = AddBlock(0, 0, 10, 10, 0);
  auto t1 = std::make_unique<TVCLTimer>(b), t2 = std::make_unique<TVCLTimer>(b);
  t1->SetInterval(20);
  t2->SetInterval(30);
  t1->SetEnabled(true);
  t2->SetEnabled(true);
  EXPECT_EQ(t1->TimerId(), 1);
  EXPECT_EQ(t2->TimerId(), 2);
  EXPECT_EQ(t1->Slot(), 0);
  t1.reset();
  auto t3 = std::make_unique<TVCLTimer>(b);
  t3->SetInterval(40);
  t3->SetEnabled(true);
  EXPECT_EQ(t3->TimerId(), 3);
  EXPECT_EQ(t3->Slot(), 0);
  // Ticks reach the owning element: t2 every 30 ms and t3 every 40 ms over 120 ms.
  Ws.Advance(120);
  EXPECT_EQ(b->Ticks, 4 + 3);
  t2.reset();
  t3.reset();
  Ws.Advance(100);
  EXPECT_EQ(b->Ticks, 7);
}

TEST_F(Toolkit, TimerOfAnElementOutsideAFormNeverArms) {
  TBlock loose(nullptr, 0);
  TVCLTimer t(&loose);
  t.SetInterval(10);
  t.SetEnabled(true);
  EXPECT_FALSE(t.Armed());
}

TEST_F(Toolkit, MouseLeaveOnceWhenMovingBetweenElementsAndLeaving) {
  TBlock* a = AddBlock(10, 10, 20, 20, 0);
  TBlock* b = AddBlock(40, 10, 20, 20, 0);
  b->SetEnabled(false);  // disabled elements still count as hovered
  Ws.MouseMove(100 + 15, 50 + 15);
  EXPECT_EQ(Form->HoveredControl(), a);
  Ws.MouseMove(100 + 45, 50 + 15);
  EXPECT_EQ(Form->HoveredControl(), b);
  EXPECT_EQ(a->Leaves, 1);
  EXPECT_EQ(b->Leaves, 0);
  Ws.MouseMove(900, 900);  // outside the window
  EXPECT_EQ(b->Leaves, 1);
  EXPECT_EQ(a->Leaves, 1);
  EXPECT_EQ(Form->HoveredControl(), nullptr);
}

TEST_F(Toolkit, WheelGoesToTheHoveredElementOrNowhere) {
  TBlock* a = AddBlock(10, 10, 20, 20, 0);
  Ws.MouseMove(100 + 15, 50 + 15);
  Ws.Wheel(120, 100 + 15, 50 + 15);
  Ws.Wheel(-120, 100 + 15, 50 + 15);
  Form->PostToHelper(TKM_WHEELUP, 0);  // the editor object's wheel steps arrive this way
  Ws.Pump();
  EXPECT_EQ(a->WheelUps, 2);
  EXPECT_EQ(a->WheelDowns, 1);
  Ws.MouseMove(100 + 200, 50 + 150);  // over the canvas only
  Ws.Wheel(120, 100 + 200, 50 + 150);
  Form->PostToHelper(TKM_WHEELDOWN, 0);
  Ws.Pump();
  EXPECT_EQ(a->WheelUps, 2);
  EXPECT_EQ(a->WheelDowns, 1);
}

TEST_F(Toolkit, ClickAwayGoesOnceToTheActiveElement) {
  TBlock* popupButton = AddBlock(10, 10, 20, 20, 0);
  TBlock* other = AddBlock(50, 10, 20, 20, 0);
  popupButton->MakeActive();
  EXPECT_EQ(Form->ActiveElement, popupButton);
  Ws.MouseDown(0, 100 + 15, 50 + 15);  // the button itself: nothing
  Ws.MouseUp(0, 100 + 15, 50 + 15);
  EXPECT_EQ(popupButton->ClickAways, 0);
  EXPECT_EQ(Form->ActiveElement, popupButton);
  Ws.MouseDown(0, 100 + 55, 50 + 15);
  Ws.MouseUp(0, 100 + 55, 50 + 15);
  EXPECT_EQ(popupButton->ClickAways, 1);
  EXPECT_EQ(Form->ActiveElement, nullptr);
  Ws.MouseDown(0, 100 + 55, 50 + 15);
  EXPECT_EQ(popupButton->ClickAways, 1);
  // A press on the bare canvas also takes it.
  popupButton->MakeActive();
  Ws.MouseUp(0, 100 + 55, 50 + 15);
  Ws.MouseDown(0, 100 + 200, 50 + 150);
  Ws.MouseUp(0, 100 + 200, 50 + 150);
  EXPECT_EQ(popupButton->ClickAways, 2);
  // Destroying the active element clears it.
  other->MakeActive();
  delete other;
  EXPECT_EQ(Form->ActiveElement, nullptr);
}

TEST_F(Toolkit, PressesRoutedWithCaptureAndFocusPolicy) {
  TBlock* a = AddBlock(10, 10, 20, 20, 0);
  std::vector<std::pair<int32_t, int32_t>> moves;
  a->OnMouseMove = [&](TObject*, TShiftState, int32_t x, int32_t y) { moves.push_back({x, y}); };
  Form->NoClickFocus = true;
  Ws.MouseDown(0, 100 + 15, 50 + 15);
  EXPECT_FALSE(Form->Focused());
  Ws.MouseMove(100 + 150, 50 + 100);  // far outside the element: it keeps the moves while pressed
  Ws.MouseUp(0, 100 + 150, 50 + 100);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back(), (std::pair<int32_t, int32_t>{140, 90}));
  Form->NoClickFocus = false;
  Ws.MouseDown(0, 100 + 15, 50 + 15);
  Ws.MouseUp(0, 100 + 15, 50 + 15);
  EXPECT_TRUE(Form->Focused());
}

TEST_F(Toolkit, ApplicationRangeMessagesAreAnsweredWithZero) {
  EXPECT_EQ(Form->Perform(0x0400 + 77, 1, 2), 0);
  EXPECT_EQ(Form->Perform(0x7FFF, 1, 2), 0);
}

TEST_F(Toolkit, PaintFailureIsReportedAndTheFormKeepsRunning) {
  platform::testing::RecordingMessageBox boxes;
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(5, 5, 5));
  b->Throw = true;
  Ws.Advance(1);
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], "WndProc exception on 0000000f: paint failed");
  b->Throw = false;
  b->Redraw();
  Ws.Advance(1);
  EXPECT_EQ(At(15, 15), Rgb(5, 5, 5));
}

TEST_F(Toolkit, AFailureOutsideTheErrorClassLeavesLaterPumpsWorking) {
  TBlock* b = AddBlock(10, 10, 20, 20, Ref(7, 7, 7));
  TVCLTimer t(b);
  t.SetInterval(10);
  t.SetEnabled(true);
  b->ThrowOnTick = true;
  EXPECT_THROW(Ws.Advance(10), std::runtime_error);  // not reported by the form: it reaches the caller
  b->ThrowOnTick = false;
  Ws.Advance(10);
  EXPECT_EQ(b->Ticks, 2);
  EXPECT_EQ(At(15, 15), Rgb(7, 7, 7));
}

TEST_F(Toolkit, DestroyingTheCanvasDetachesItsElements) {
  TBlock* b = AddBlock(10, 10, 20, 20, 0);
  delete Canvas;
  Canvas = nullptr;
  EXPECT_EQ(b->GfxCanvas(), nullptr);
  EXPECT_EQ(Form->FirstCanvas(), nullptr);
  b->Redraw();  // no canvas: dropped
  Ws.Advance(100);
}

TEST_F(Toolkit, FreeObjectMessageDeletesLater) {
  auto* victim = new TBlock(nullptr, 0);
  bool gone = false;
  struct Watch : TObject {
    bool* Flag;
    explicit Watch(bool* f) : Flag(f) {}
    ~Watch() override { *Flag = true; }
  };
  delete victim;
  Form->PostToHelper(TKM_FREEOBJECT, reinterpret_cast<intptr_t>(static_cast<TObject*>(new Watch(&gone))));
  EXPECT_FALSE(gone);
  Ws.Pump();
  EXPECT_TRUE(gone);
}

}  // namespace
