// The spectral envelope display on a real form and canvas in the headless
// window system: the mouse gestures and the envelope each leaves, the undo
// ring, ScaleCurve, the readout, the audition events, the axis strips, the
// level bars, and envelopes and spectra that are out of their ranges.
//
// The display is 311 x 201 pixels, so column = 310 * position and
// row = 200 - 200 * value exactly: positions in tenths and values in
// twentieths fall on whole pixels, and a pixel shift is 1/310 in position
// and 1/200 in value.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "dsp/talvern.h"
#include "gfx/GraphicTLScreen.h"
#include "platform/testing/PngWriter.h"
#include "platform/ui/HeadlessWindows.h"

using platform::ui::HeadlessWindowSystem;
namespace keys = platform::ui::keys;

namespace {

constexpr int32_t kHostX = 100, kHostY = 50;
constexpr int32_t kScreenX = 20, kScreenY = 30;  // in the form
constexpr int32_t kW = 311, kH = 201;
constexpr uint32_t kBackground = 0x00303030;
constexpr float kEps = 1e-6f;

struct Pt {
  float x, y;
};

TEnvelope MakeEnvelope(const std::vector<Pt>& points, float def = 0.25f, float minValue = 0.0f, float maxValue = 1.0f) {
  TEnvelope e;
  std::memset(&e, 0, sizeof e);
  e.PointCount = static_cast<int32_t>(points.size());
  for (size_t i = 0; i < points.size() && i < kMaxEnvelopePoints; ++i) e.Points[i] = {points[i].x, points[i].y};
  e.MinValue = minValue;
  e.MaxValue = maxValue;
  e.DefValue = def;
  return e;
}

// Five points at columns 0, 62, 155, 248, 310 and rows 100, 100, 50, 150, 100.
const std::vector<Pt> kCurve = {{0.0f, 0.5f}, {0.2f, 0.5f}, {0.5f, 0.75f}, {0.8f, 0.25f}, {1.0f, 0.5f}};

// Screen pixels are 0x00RRGGBB; colours are 0x00BBGGRR.
constexpr uint32_t ToScreen(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

class TLScreenFixture : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({kHostX, kHostY, kHostX + 599, kHostY + 359});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 600, 360);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 600, 360);
    Canvas->SetColor(kBackground);
    Label = new TGraphicLabel(Form);
    Label->SetBounds(20, 330, 300, 20);
    Label->SetParent(Form);
    Label->SetGfxCanvas(Canvas);
    Screen = new TGraphicTLScreen(Form);
    Screen->SetBounds(kScreenX, kScreenY, kW, kH);
    Screen->SetParent(Form);
    Screen->SetGfxCanvas(Canvas);
    Screen->SetColor(0x415C69);
    Screen->SetGfxColour(0xEA1515);
    Screen->SetGfxColour2(0xDF9C20);
    Screen->SetLineColour(0x1580EA);
    Screen->SetLineOvrColour(0x0000FF);
    Screen->SetFreqLabel(Label);
    Screen->SetLock(&Lock);
    Screen->OnUpdateEnvelope = [this](TObject*, TEnvelope& e) {
      ++Updates;
      LastUpdate = e;
    };
    Screen->OnSetUndoRedo = [this](bool u, bool r) {
      ++UndoReports;
      UndoRedo = {u, r};
    };
    Screen->OnChangeBandpassFilter = [this](bool on, float f, float bw) { Filter.push_back({on, f, bw}); };
    Form->Show();
    Ws.Advance(1);
  }
  void TearDown() override {
    delete Form;
    platform::ui::SetWindowSystem(FPrevious);
  }
  void Edit(const std::vector<Pt>& points, int kind = 0, float def = 0.25f, float maxValue = 1.0f) {
    Screen->EditEnvelope(MakeEnvelope(points, def, 0.0f, maxValue), kind);
    Updates = 0;
    UndoReports = 0;
  }
  int32_t SX(int32_t x) const { return kHostX + kScreenX + x; }
  int32_t SY(int32_t y) const { return kHostY + kScreenY + y; }
  // Each step pumps the messages it posts (a warped pointer's move).
  void Press(int32_t x, int32_t y, uint32_t held = 0, int button = 0) {
    Ws.SetKeys(held);
    Ws.MouseMove(SX(x), SY(y));
    Ws.MouseDown(button, SX(x), SY(y));
    Ws.Advance(1);
  }
  void MoveTo(int32_t x, int32_t y) {
    Ws.MouseMove(SX(x), SY(y));
    Ws.Advance(1);
  }
  // Moves the pointer by (dx, dy) from where it is (the display may have put it back).
  void MoveBy(int32_t dx, int32_t dy) {
    int32_t x = 0, y = 0;
    Ws.GetCursorPos(x, y);
    Ws.MouseMove(x + dx, y + dy);
    Ws.Advance(1);
  }
  void ReleaseHere() {
    int32_t x = 0, y = 0;
    Ws.GetCursorPos(x, y);
    Ws.MouseUp(0, x, y);
    Ws.Advance(1);
    Ws.SetKeys(0);
  }
  void Release(int32_t x, int32_t y, int button = 0) {
    Ws.MouseUp(button, SX(x), SY(y));
    Ws.Advance(1);
    Ws.SetKeys(0);
  }
  void Click(int32_t x, int32_t y, uint32_t held = 0, int button = 0) {
    Press(x, y, held, button);
    Release(x, y, button);
  }
  void DoubleClick(int32_t x, int32_t y) {
    Ws.MouseMove(SX(x), SY(y));
    Ws.DoubleClick(0, SX(x), SY(y));
    Ws.Advance(1);
  }
  // Clears the selection (a click on empty space), then Shift-clicks each point.
  void SelectOnly(const std::vector<int>& points) {
    Click(300, 190);
    for (int k : points) {
      const TEnvelopePoint& p = Screen->Envelope().Points[k];
      Click(Screen->PositionToColumn(p.x), Screen->ValueToRow(p.y), keys::Shift);
    }
  }
  std::vector<int> Selection() const {
    std::vector<int> s;
    for (int i = 0; i < kMaxEnvelopePoints; ++i)
      if (Screen->Selected(i)) s.push_back(i);
    return s;
  }
  std::vector<Pt> Points() const {
    std::vector<Pt> v;
    for (int i = 0; i < Screen->Envelope().PointCount; ++i)
      v.push_back({Screen->Envelope().Points[i].x, Screen->Envelope().Points[i].y});
    return v;
  }
  void ExpectPoints(const std::vector<Pt>& expected, const std::string& what) {
    std::vector<Pt> got = Points();
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i].x, expected[i].x, kEps) << what << " point " << i;
      EXPECT_NEAR(got[i].y, expected[i].y, kEps) << what << " point " << i;
    }
  }
  uint32_t Pixel(int32_t x, int32_t y) {
    Ws.Advance(1);
    return Ws.ScreenPixel(SX(x), SY(y));
  }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;
  TGraphicLabel* Label = nullptr;
  TGraphicTLScreen* Screen = nullptr;
  TSyncObject Lock;
  int Updates = 0, UndoReports = 0;
  TEnvelope LastUpdate{};
  std::pair<bool, bool> UndoRedo{false, false};
  struct FilterEvent {
    bool on;
    float f, bw;
  };
  std::vector<FilterEvent> Filter;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

// ---------------------------------------------------------------- selection

TEST_F(TLScreenFixture, ClicksSelectPointsAndSegmentsWithoutTouchingTheCurveOrTheRing) {
  struct Case {
    const char* what;
    std::vector<int> before;
    int32_t x, y;
    uint32_t held;
    int button;
    std::vector<int> after;
  } cases[] = {
      {"click a point", {}, 62, 100, 0, 0, {1}},
      {"click another point", {1}, 155, 50, 0, 0, {2}},
      {"click within 6 px of a point", {}, 153, 55, 0, 0, {2}},
      {"click a selected point keeps the selection", {1, 3}, 62, 100, 0, 0, {1, 3}},
      {"shift-click adds", {1}, 155, 50, keys::Shift, 0, {1, 2}},
      {"click a segment selects both ends", {0}, 108, 75, 0, 0, {1, 2}},
      {"click a segment with both ends selected keeps", {1, 2, 4}, 108, 75, 0, 0, {1, 2, 4}},
      {"shift-click a segment adds", {0}, 108, 75, keys::Shift, 0, {0, 1, 2}},
      {"click empty space clears", {1, 3}, 200, 180, 0, 0, {}},
      {"shift-click empty space keeps", {1, 3}, 200, 180, keys::Shift, 0, {1, 3}},
      {"right click selects all", {1}, 200, 180, 0, 1, {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    Edit(kCurve);
    SelectOnly(c.before);
    Click(c.x, c.y, c.held, c.button);
    EXPECT_EQ(Selection(), c.after) << c.what;
    EXPECT_EQ(Screen->SelectedCount(), static_cast<int32_t>(c.after.size())) << c.what;
    EXPECT_EQ(Screen->DragMode(), 0) << c.what;
    ExpectPoints(kCurve, c.what);
    EXPECT_EQ(Updates, 0) << c.what;
    EXPECT_EQ(UndoReports, 0) << c.what;
  }
}

TEST_F(TLScreenFixture, TwoPointsWithinReachPicksTheHigherIndex) {
  Edit({{0.0f, 0.5f}, {0.5f, 0.5f}, {0.51f, 0.5f}, {1.0f, 0.5f}});  // columns 155 and 158
  Click(156, 100);
  EXPECT_EQ(Selection(), std::vector<int>{2});
}

TEST_F(TLScreenFixture, RubberBandSelectsThePointsInsideTheBandGrownBySixPixels) {
  struct Case {
    const char* what;
    std::vector<int> before;
    uint32_t held;
    int32_t x0, y0, x1, y1;
    std::vector<int> after;
  } cases[] = {
      {"band over points 1 and 2", {}, 0, 40, 30, 170, 120, {1, 2}},
      {"reversed corners", {}, 0, 170, 120, 40, 30, {1, 2}},
      {"point 6 px outside the band edge", {}, 0, 68, 30, 170, 94, {1, 2}},
      {"point 7 px outside the band edge", {}, 0, 69, 30, 170, 93, {2}},
      {"shift keeps the selection", {3}, keys::Shift, 40, 30, 170, 120, {1, 2, 3}},
      {"without shift the selection is cleared", {3}, 0, 40, 30, 170, 120, {1, 2}},
      {"a band of no size selects nothing", {}, 0, 40, 30, 40, 30, {}},
  };
  for (const Case& c : cases) {
    Edit(kCurve);
    SelectOnly(c.before);
    Press(c.x0, c.y0, c.held);
    EXPECT_EQ(Screen->DragMode(), 1) << c.what;
    MoveTo(c.x1, c.y1);
    Release(c.x1, c.y1);
    EXPECT_EQ(Selection(), c.after) << c.what;
    EXPECT_EQ(Screen->SelectedCount(), static_cast<int32_t>(c.after.size())) << c.what;
    EXPECT_EQ(Screen->DragMode(), 0) << c.what;
    ExpectPoints(kCurve, c.what);
    EXPECT_EQ(UndoReports, 0) << c.what;
  }
}

// ---------------------------------------------------------------- drags

TEST_F(TLScreenFixture, DragsMoveTheSelectionFromTheSnapshotOfThePress) {
  const float px = 1.0f / 310, vy = 1.0f / 200;  // one pixel
  struct Case {
    const char* what;
    std::vector<int> before;
    int32_t x, y;
    uint32_t held;
    bool snap;
    std::vector<std::pair<int32_t, int32_t>> moves;  // each from where the pointer is
    std::vector<Pt> points;
    std::vector<int> after;
  } cases[] = {
      {"a lone point moves freely",
       {},
       62,
       100,
       0,
       false,
       {{31, -20}},
       {{0, .5f}, {.3f, .6f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {1}},
      {"alt moves a tenth as far",
       {},
       62,
       100,
       keys::Alt,
       false,
       {{100, -50}},
       {{0, .5f}, {.2f + 10 * px, .5f + 5 * vy}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {1}},
      {"alt over several moves accumulates tenths",
       {},
       62,
       100,
       keys::Alt,
       false,
       {{15, 0}, {15, 0}},
       {{0, .5f}, {.2f + 3 * px, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {1}},
      {"passing the right neighbour swaps the order and the selection follows",
       {},
       155,
       50,
       0,
       false,
       {{124, 0}},
       {{0, .5f}, {.2f, .5f}, {.8f, .25f}, {.9f, .75f}, {1, .5f}},
       {3}},
      {"dragging back restores the order", {}, 155, 50, 0, false, {{124, 0}, {-124, 0}}, kCurve, {2}},
      {"held one pixel right of the first point",
       {},
       62,
       100,
       0,
       false,
       {{-200, 0}},
       {{0, .5f}, {px, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {1}},
      {"held one pixel left of the last point",
       {},
       248,
       150,
       0,
       false,
       {{200, 0}},
       {{0, .5f}, {.2f, .5f}, {.5f, .75f}, {1 - px, .25f}, {1, .5f}},
       {3}},
      {"one of several selected moves them sideways only",
       {1, 3},
       62,
       100,
       0,
       false,
       {{31, -40}},
       {{0, .5f}, {.3f, .5f}, {.5f, .75f}, {.9f, .25f}, {1, .5f}},
       {1, 3}},
      {"a segment moves its ends up or down only",
       {},
       108,
       75,
       0,
       false,
       {{50, 20}},
       {{0, .5f}, {.2f, .4f}, {.5f, .65f}, {.8f, .25f}, {1, .5f}},
       {1, 2}},
      {"the first point moves vertically only",
       {},
       0,
       100,
       0,
       false,
       {{50, -40}},
       {{0, .7f}, {.2f, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {0}},
      {"values are held within MaxValue",
       {},
       155,
       50,
       0,
       false,
       {{0, -45}},
       {{0, .5f}, {.2f, .5f}, {.5f, .8f}, {.8f, .25f}, {1, .5f}},
       {2}},
      {"values are held within MinValue",
       {},
       248,
       150,
       0,
       false,
       {{0, 60}},
       {{0, .5f}, {.2f, .5f}, {.5f, .75f}, {.8f, 0}, {1, .5f}},
       {3}},
      {"snapping lands on a band position",
       {},
       62,
       100,
       0,
       true,
       {{10, 0}},
       {{0, .5f}, {7.0f / 31, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}},
       {1}},
  };
  for (const Case& c : cases) {
    Edit(kCurve, 0, 0.25f, 0.8f);
    Screen->SnapToBands = c.snap;
    SelectOnly(c.before);
    Press(c.x, c.y, c.held);
    EXPECT_EQ(Screen->DragMode(), 2) << c.what;
    EXPECT_EQ(UndoReports, 0) << c.what;
    for (auto [dx, dy] : c.moves) {
      MoveBy(dx, dy);
      EXPECT_TRUE(Ws.CursorHidden()) << c.what;
    }
    EXPECT_EQ(Updates, 0) << c.what;  // reported at the release
    ReleaseHere();
    EXPECT_FALSE(Ws.CursorHidden()) << c.what;
    EXPECT_EQ(Screen->DragMode(), 0) << c.what;
    ExpectPoints(c.points, c.what);
    EXPECT_EQ(Selection(), c.after) << c.what;
    EXPECT_EQ(Updates, 1) << c.what;
    EXPECT_EQ(UndoReports, 1) << c.what;
    EXPECT_EQ(UndoRedo, std::make_pair(true, false)) << c.what;
    Screen->Undo();
    ExpectPoints(kCurve, std::string(c.what) + ", undone");
  }
}

TEST_F(TLScreenFixture, APressWithoutMovesChangesNothing) {
  Edit(kCurve);
  Click(62, 100);
  EXPECT_EQ(Updates, 0);
  EXPECT_EQ(UndoReports, 0);
  EXPECT_FALSE(Ws.CursorHidden());
}

// ---------------------------------------------------------------- double click, Ctrl-click

TEST_F(TLScreenFixture, DoubleClickInsertsOnEmptySpaceAndDeletesOnAPoint) {
  std::vector<Pt> full;
  for (int i = 0; i < kMaxEnvelopePoints; ++i) full.push_back({i / 31.0f, 0.5f});
  struct Case {
    const char* what;
    std::vector<Pt> curve;
    std::vector<int> before;
    int32_t x, y;
    std::vector<Pt> points;
  } cases[] = {
      {"insert in order",
       kCurve,
       {},
       108,
       150,
       {{0, .5f}, {.2f, .5f}, {108 / 310.0f, .25f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}}},
      {"delete the clicked point", kCurve, {}, 155, 50, {{0, .5f}, {.2f, .5f}, {.8f, .25f}, {1, .5f}}},
      {"the first point is reset, not deleted",
       kCurve,
       {},
       0,
       100,
       {{0, .25f}, {.2f, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .5f}}},
      {"the last point is reset, not deleted",
       kCurve,
       {},
       310,
       100,
       {{0, .5f}, {.2f, .5f}, {.5f, .75f}, {.8f, .25f}, {1, .25f}}},
      {"no insert left of the first point", {{.2f, .5f}, {.8f, .5f}}, {}, 20, 150, {{.2f, .5f}, {.8f, .5f}}},
      {"no insert right of the last point", {{.2f, .5f}, {.8f, .5f}}, {}, 290, 150, {{.2f, .5f}, {.8f, .5f}}},
      {"no 33rd point", full, {}, 105, 150, full},
  };
  for (const Case& c : cases) {
    Edit(c.curve);
    SelectOnly(c.before);
    DoubleClick(c.x, c.y);
    ExpectPoints(c.points, c.what);
    EXPECT_TRUE(Selection().empty()) << c.what;
    EXPECT_EQ(Screen->SelectedCount(), 0) << c.what;
    EXPECT_EQ(UndoRedo, std::make_pair(true, false)) << c.what;
    EXPECT_EQ(Screen->DragMode(), 0) << c.what;
    Screen->Undo();
    ExpectPoints(c.curve, std::string(c.what) + ", undone");
  }
}

TEST_F(TLScreenFixture, CtrlClickResetsThePointOrTheSelectionToTheDefault) {
  struct Case {
    const char* what;
    std::vector<int> before;
    int32_t x, y;
    std::vector<Pt> points;
  } cases[] = {
      {"nothing selected: the clicked point", {}, 155, 50, {{0, .5f}, {.2f, .5f}, {.5f, .25f}, {.8f, .25f}, {1, .5f}}},
      {"a selection: the selected points", {1, 2}, 0, 100, {{0, .5f}, {.2f, .25f}, {.5f, .25f}, {.8f, .25f}, {1, .5f}}},
  };
  for (const Case& c : cases) {
    Edit(kCurve);
    SelectOnly(c.before);
    Click(c.x, c.y, keys::Control);
    ExpectPoints(c.points, c.what);
    EXPECT_EQ(Selection(), c.before) << c.what;
    EXPECT_EQ(Updates, 1) << c.what;
    EXPECT_EQ(UndoRedo, std::make_pair(true, false)) << c.what;
    EXPECT_EQ(Screen->DragMode(), 0) << c.what;
  }
}

// ---------------------------------------------------------------- undo ring

TEST_F(TLScreenFixture, TheRingKeepsThirtyOneStepsAfterWrapping) {
  Edit({{0, .9f}, {1, .9f}});
  const double k = std::pow(10.0, -0.075);
  for (int i = 0; i < 32; ++i) Screen->ScaleCurve(true);
  EXPECT_EQ(UndoRedo, std::make_pair(true, false));
  int undos = 0;
  while (UndoRedo.first && undos < 40) {
    Screen->Undo();
    ++undos;
  }
  EXPECT_EQ(undos, 31);
  EXPECT_EQ(UndoRedo, std::make_pair(false, true));
  // The oldest kept state is the one after the first step.
  EXPECT_NEAR(Screen->Envelope().Points[0].y, 0.9 * k, 1e-5);
  int redos = 0;
  while (UndoRedo.second && redos < 40) {
    Screen->Redo();
    ++redos;
  }
  EXPECT_EQ(redos, 31);
  EXPECT_EQ(UndoRedo, std::make_pair(true, false));
  EXPECT_NEAR(Screen->Envelope().Points[0].y, 0.9 * std::pow(k, 32), 1e-5);
}

TEST_F(TLScreenFixture, UndoAfterRedoAndANewStepDropsTheRedo) {
  Edit(kCurve);
  SelectOnly({1});
  Screen->ResetCurve();  // clears the selection
  EXPECT_EQ(Selection(), std::vector<int>{});
  ExpectPoints({{0, .25f}, {1, .25f}}, "reset");
  Screen->Undo();
  ExpectPoints(kCurve, "undone");
  EXPECT_EQ(Selection(), std::vector<int>{1});
  EXPECT_EQ(Screen->SelectedCount(), 1);
  EXPECT_EQ(UndoRedo, std::make_pair(false, true));
  Screen->Redo();
  ExpectPoints({{0, .25f}, {1, .25f}}, "redone");
  EXPECT_EQ(UndoRedo, std::make_pair(true, false));
  Screen->Undo();
  ExpectPoints(kCurve, "undone again");
  Screen->ScaleCurve(false);  // a new step: nothing to redo
  EXPECT_EQ(UndoRedo, std::make_pair(true, false));
  Screen->Undo();
  ExpectPoints(kCurve, "scale undone");
  EXPECT_EQ(UndoRedo, std::make_pair(false, true));
  // A new envelope empties the ring.
  Screen->EditEnvelope(MakeEnvelope(kCurve), 0);
  EXPECT_EQ(UndoRedo, std::make_pair(false, false));
}

TEST_F(TLScreenFixture, InvertFlipsValuesWithoutAnUndoStep) {
  Edit(kCurve);
  Screen->InvertCurve();
  ExpectPoints({{0, .5f}, {.2f, .5f}, {.5f, .25f}, {.8f, .75f}, {1, .5f}}, "inverted");
  EXPECT_EQ(Updates, 1);
  EXPECT_EQ(UndoReports, 0);
}

// ---------------------------------------------------------------- ScaleCurve

TEST_F(TLScreenFixture, ScaleCurvePivotsPerKindAndClamps) {
  const double up = std::pow(10.0, 0.075), down = std::pow(10.0, -0.075);
  struct Case {
    int kind;
    double pivot;
  } kinds[] = {{0, 0}, {1, 0}, {2, 0}, {3, .75}, {4, 0}, {5, .5}, {6, 0}, {7, .5}, {8, .5}};
  const float ys[] = {0.0f, 0.1f, 0.5f, 0.75f, 0.95f, 1.0f};
  for (const Case& c : kinds) {
    for (bool isDown : {false, true}) {
      std::vector<Pt> pts;
      for (size_t i = 0; i < std::size(ys); ++i) pts.push_back({i / 5.0f, ys[i]});
      Edit(pts, c.kind);
      Screen->ScaleCurve(isDown);
      for (size_t i = 0; i < std::size(ys); ++i) {
        double expected = c.pivot + (isDown ? down : up) * (static_cast<double>(ys[i]) - c.pivot);
        expected = std::min(1.0, std::max(0.0, expected));
        EXPECT_NEAR(Screen->Envelope().Points[i].y, expected, 1e-6)
            << "kind " << c.kind << (isDown ? " down" : " up") << " y " << ys[i];
      }
      EXPECT_EQ(UndoRedo, std::make_pair(true, false));
    }
  }
}

// ---------------------------------------------------------------- readout

TEST_F(TLScreenFixture, FrequencyTexts) {
  struct Case {
    double f;
    bool unit;
    const char* text;
  } cases[] = {{48.8, true, "48.8 Hz"}, {707, true, "707 Hz"},     {1250, true, "1.25 kHz"}, {12500, true, "12.5 kHz"},
               {1250, false, "1.25k"},  {99.96, true, "100.0 Hz"}, {25, false, "25.0"},      {20000, false, "20.0k"}};
  for (const Case& c : cases) EXPECT_EQ(FormatFrequency(c.f, c.unit), c.text) << c.f;
  EXPECT_NEAR(EnvelopePositionToFrequency(0.0), 25.0, 1e-9);
  EXPECT_NEAR(EnvelopePositionToFrequency(1.0), 20000.0, 1e-8);
}

TEST_F(TLScreenFixture, HoverShowsFrequencyAndTheKindsValueText) {
  struct Case {
    int kind;
    int32_t x, y;
    const char* freq;
    float value;
  } cases[] = {
      {0, 0, 200, "25.0 Hz", 0.0f},
      {3, 155, 50, "707 Hz", 0.75f},
      {5, 310, 0, "20.0 kHz", 1.0f},
      {1, 31, 100, "48.8 Hz", 0.5f},  // 25 * 800^0.1 = 48.78 Hz
  };
  for (const Case& c : cases) {
    Edit(kCurve, c.kind);
    MoveTo(c.x, c.y);
    std::string value;
    TTalvern::FormatEnvelopeValue(c.kind, true, c.value, value);
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(Label->Caption(), std::string(c.freq) + " | " + value) << c.kind;
  }
  MoveTo(-10, 100);  // off the display, over the canvas: the readout goes
  EXPECT_EQ(Label->Caption(), "");
}

TEST_F(TLScreenFixture, ANewEnvelopeRefreshesAShownReadoutWithItsKind) {
  Edit(kCurve, 0);
  MoveTo(155, 50);
  Screen->EditEnvelope(MakeEnvelope(kCurve), 5);
  std::string value;
  TTalvern::FormatEnvelopeValue(5, true, 0.75f, value);
  EXPECT_EQ(Label->Caption(), "707 Hz | " + value);
}

// ---------------------------------------------------------------- audition

TEST_F(TLScreenFixture, CtrlDragOnEmptySpaceAuditionsWithinTheSampleRate) {
  struct Case {
    int32_t rate;
    int32_t x0, x1;
    double f0, f1;
  } cases[] = {
      {44100, 200, 310, 25 * std::pow(800.0, 200 / 310.0), 19845.0},
      {22050, 1, 300, 25 * std::pow(800.0, 1 / 310.0), 9922.5},
      {44100, 100, -40, 25 * std::pow(800.0, 100 / 310.0), 25.0},   // left of the display: column 0
      {48000, 10, 400, 25 * std::pow(800.0, 10 / 310.0), 20000.0},  // right of the display: column 310
  };
  for (const Case& c : cases) {
    Edit(kCurve);
    Screen->SetSampleRate(c.rate);
    Filter.clear();
    Press(c.x0, 190, keys::Control);
    EXPECT_EQ(Screen->DragMode(), 3);
    MoveTo(c.x1, 190);
    Release(c.x1, 190);
    // On at the press and at the move, off at the release; leaving the
    // display also reports off (the mode ends at the release).
    std::vector<FilterEvent> ons, offs;
    for (const FilterEvent& e : Filter) (e.on ? ons : offs).push_back(e);
    ASSERT_EQ(ons.size(), 2u) << c.rate << " " << c.x1;
    EXPECT_NEAR(ons[0].f, c.f0, c.f0 * 1e-6);
    EXPECT_NEAR(ons[1].f, std::min(c.f1, 0.45 * c.rate), c.f1 * 1e-6) << c.rate << " " << c.x1;
    for (const FilterEvent& e : ons) EXPECT_FLOAT_EQ(e.bw, 0.7f);
    EXPECT_TRUE(Filter[0].on);
    EXPECT_FALSE(Filter.back().on);
    EXPECT_EQ(offs.size(), c.x1 >= 0 && c.x1 < kW ? 1u : 2u) << c.rate << " " << c.x1;
    for (const FilterEvent& e : offs) {
      EXPECT_EQ(e.f, 1.0f);
      EXPECT_EQ(e.bw, 1.0f);
    }
    EXPECT_EQ(Screen->DragMode(), 0);
    ExpectPoints(kCurve, "audition leaves the curve");
    EXPECT_EQ(UndoReports, 0);
  }
}

TEST_F(TLScreenFixture, TheAuditionCurvePeaksAtTheFilterFrequency) {
  Edit({});
  Screen->SetLineOvrColour(0x0000FF);  // red
  Press(155, 190, keys::Control);
  // 0 dB at mid-height (row 100) at the column of the filter frequency; far
  // below it (-25 dB and less: the bottom half) well away from it.
  auto reddish = [](uint32_t p) { return ((p >> 16) & 0xFF) > 0x80 && ((p >> 8) & 0xFF) < 0x50 && (p & 0xFF) < 0x50; };
  auto redIn = [&](int32_t x, int32_t y0, int32_t y1) {
    bool found = false;
    for (int32_t y = y0; y <= y1; ++y) found = found || reddish(Pixel(x, y));
    return found;
  };
  EXPECT_TRUE(redIn(155, 98, 102));
  EXPECT_FALSE(redIn(100, 0, 150));  // about -22 dB at 216 Hz: row 187
  EXPECT_TRUE(redIn(100, 151, 200));
  Release(155, 190);
}

// ---------------------------------------------------------------- bars

TEST_F(TLScreenFixture, LevelBarsFollowTheDisplayModeAndClampBadLevels) {
  Edit({});  // no curve in the way
  Screen->SetColor(kBackground);
  const uint32_t in = ToScreen(0xEA1515), out = ToScreen(0xDF9C20), bg = ToScreen(kBackground);
  const double denormal = std::numeric_limits<double>::denorm_min();
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  // Band i at column 10 i; row of the bar top = 200 * (-L / 50).
  struct Case {
    int mode;
    int band;
    double level, gain;
    int32_t dx, y;  // probe relative to the band column
    uint32_t colour;
  } cases[] = {
      {1, 5, -25, 0, 0, 101, in},  {1, 5, -25, 0, 0, 99, bg},     {2, 5, -25, 10, 0, 61, out},
      {2, 5, -25, 10, 0, 59, bg},  {0, 5, -25, 10, -3, 101, in},  {0, 5, -25, 10, 4, 61, out},
      {1, 7, 0, 0, 0, 0, in},      {1, 7, denormal, 0, 0, 0, in}, {1, 7, inf, 0, 0, 0, in},
      {1, 7, -inf, 0, 0, 200, bg}, {1, 7, nan, 0, 0, 200, bg},    {1, 7, -1e300, 0, 0, 200, bg},
      {2, 7, 0, nan, 0, 200, bg},  {3, 15, 0, -6, 2, 200, in},    {3, 15, 0, 6, 2, 0, in},
      {3, 15, 0, 3, 2, 49, bg},    {3, 15, 0, nan, 2, 10, bg},    {3, 15, 0, inf, 2, 0, in},
  };
  for (const Case& c : cases) {
    Screen->ClearSpectrum();
    Screen->SetDisplayMode(c.mode);
    Screen->SpectrumLevel[c.band] = c.level;
    Screen->SpectrumGain[c.band] = c.gain;
    Screen->Redraw();
    EXPECT_EQ(Pixel(10 * c.band + c.dx, c.y), c.colour)
        << "mode " << c.mode << " level " << c.level << " gain " << c.gain << " row " << c.y;
  }
}

// ---------------------------------------------------------------- strips

class TCountingStrip : public TGraphicTLLabel {
public:
  using TGraphicTLLabel::TGraphicTLLabel;
  void PaintTo(TLinearBitmap& b) override {
    ++Paints;
    TGraphicTLLabel::PaintTo(b);
  }
  int Paints = 0;
};

TEST_F(TLScreenFixture, StripsRedrawWhenTheirAxisChangesAndForgetADisplayThatGoes) {
  auto* across = new TCountingStrip(Form);
  across->SetBounds(20, 240, 311, 20);
  across->SetParent(Form);
  across->SetGfxCanvas(Canvas);
  across->SetIsHorizontal(true);
  across->SetScreen(Screen);
  auto* beside = new TCountingStrip(Form);
  beside->SetBounds(340, 30, 50, 201);
  beside->SetParent(Form);
  beside->SetGfxCanvas(Canvas);
  beside->SetScreen(Screen);
  Ws.Advance(1);
  const int a0 = across->Paints, b0 = beside->Paints;
  ASSERT_GT(b0, 0);
  Screen->SetDisplayMode(3);
  Ws.Advance(1);
  EXPECT_EQ(across->Paints, a0);
  EXPECT_GT(beside->Paints, b0);
  const int b1 = beside->Paints;
  Screen->EditEnvelope(MakeEnvelope(kCurve), 4);
  Ws.Advance(1);
  EXPECT_EQ(across->Paints, a0);
  EXPECT_GT(beside->Paints, b1);
  // Texts were drawn: something other than the background inside the strips.
  bool drawn = false;
  for (int32_t x = 0; x < 311 && !drawn; ++x)
    for (int32_t y = 0; y < 20 && !drawn; ++y)
      drawn = Ws.ScreenPixel(kHostX + 20 + x, kHostY + 240 + y) != ToScreen(kBackground);
  EXPECT_TRUE(drawn);
  delete Screen;
  Screen = nullptr;
  EXPECT_EQ(across->Screen(), nullptr);
  EXPECT_EQ(beside->Screen(), nullptr);
  Ws.Advance(1);
}

// ---------------------------------------------------------------- bad input

TEST_F(TLScreenFixture, BadEnvelopesAreDrawnAndEditedWithinTheirRange) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  std::vector<Pt> full;
  for (int i = 0; i < kMaxEnvelopePoints; ++i) full.push_back({i / 31.0f, (i % 3) / 2.0f});
  struct Case {
    const char* what;
    TEnvelope e;
  } cases[] = {
      {"no points", MakeEnvelope({})},
      {"one point", MakeEnvelope({{.5f, .5f}})},
      {"32 points", MakeEnvelope(full)},
      {"unsorted", MakeEnvelope({{0, .5f}, {.7f, .2f}, {.3f, .9f}, {1, .5f}})},
      {"equal x", MakeEnvelope({{0, .5f}, {.5f, .2f}, {.5f, .9f}, {.5f, .4f}, {1, .5f}})},
      {"NaN and out of range", MakeEnvelope({{nan, nan}, {.3f, 7.0f}, {-2.0f, -inf}, {inf, .5f}}, nan, nan, inf)},
      {"absurd count",
       [] {
         TEnvelope e = MakeEnvelope({{0, .5f}, {1, .5f}});
         e.PointCount = 1000;
         return e;
       }()},
      {"negative count",
       [] {
         TEnvelope e = MakeEnvelope({{0, .5f}, {1, .5f}});
         e.PointCount = -3;
         return e;
       }()},
  };
  auto checkRange = [&](const std::string& what) {
    const TEnvelope& e = Screen->Envelope();
    ASSERT_GE(e.PointCount, 0) << what;
    ASSERT_LE(e.PointCount, kMaxEnvelopePoints) << what;
    for (int i = 0; i < e.PointCount; ++i) {
      EXPECT_TRUE(e.Points[i].x >= 0.0f && e.Points[i].x <= 1.0f) << what << " x " << i;
      EXPECT_TRUE(e.Points[i].y >= 0.0f && e.Points[i].y <= 1.0f) << what << " y " << i;
    }
  };
  for (const Case& c : cases) {
    Screen->EditEnvelope(c.e, 2);
    Screen->SetOverlay(c.e);
    Ws.Advance(1);
    checkRange(std::string(c.what) + ", handed in");
    // Every gesture once, over the whole width.
    for (int32_t x : {0, 62, 100, 155, 200, 310}) {
      for (int32_t y : {0, 50, 100, 150, 200}) {
        DoubleClick(x, y);
        Click(x, y, 0, 1);
        Press(x, y);
        MoveTo(x + 37, y - 23);
        Release(x + 37, y - 23);
        Click(x, y, keys::Control);
        checkRange(std::string(c.what) + ", edited");
      }
    }
    Screen->ScaleCurve(false);
    Screen->InvertCurve();
    checkRange(std::string(c.what) + ", scaled");
    Ws.Advance(1);
  }
}
}  // namespace

// Writes the display in each mode with a pink-noise-like spectrum as PNG files
// when KES_SCREENSHOT_DIR is set, for a person to look at.
TEST_F(TLScreenFixture, WritesPicturesWhenAsked) {
  const char* dir = std::getenv("KES_SCREENSHOT_DIR");
  if (!dir || !*dir) GTEST_SKIP() << "KES_SCREENSHOT_DIR not set";
  Screen->SetBounds(kScreenX, kScreenY, 512, 286);
  Screen->EditEnvelope(MakeEnvelope({{0, .6f}, {.25f, .7f}, {.55f, .45f}, {.8f, .55f}, {1, .4f}}), 0);
  TEnvelope ovr = MakeEnvelope({{0, .3f}, {.5f, .35f}, {1, .2f}});
  Screen->SetOverlay(ovr);
  for (int mode = 0; mode < 4; ++mode) {
    for (int i = 0; i < TGraphicTLScreen::kBands; ++i) {
      Screen->SpectrumLevel[i] = -12.0 - 3.0 * std::log2(1.0 + i) - (i % 3);
      Screen->SpectrumGain[i] = -4.0 * std::sin(i / 5.0);
    }
    Screen->SetDisplayMode(mode);
    Screen->Redraw();
    Ws.Advance(1);
    std::vector<uint32_t> pixels = Ws.Screen();
    std::vector<uint32_t> crop;
    for (int32_t y = 0; y < 340; ++y)
      for (int32_t x = 0; x < 560; ++x) crop.push_back(pixels[(kHostY + y) * Ws.ScreenWidth() + kHostX + x]);
    std::string path = std::string(dir) + "/tlscreen-mode" + std::to_string(mode) + ".png";
    EXPECT_TRUE(platform::testing::WritePng(path, crop.data(), 560, 340)) << path;
  }
}
