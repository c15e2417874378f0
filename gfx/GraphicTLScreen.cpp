#include "gfx/GraphicTLScreen.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>

#include "dsp/talvern.h"
#include "gfx/ElementClip.h"

using platform::ui::BrushStyle;
using platform::ui::PenStyle;
using platform::ui::Point;
using platform::ui::Surface;
using platform::ui::Windows;

namespace {

constexpr uint32_t kLime = 0x0000FF00;
constexpr uint32_t kBlack = 0x00000000;
constexpr long double kPi = 3.141592653589793238462643383279502884L;

// Nearest integer, ties to even; NaN reads 0 and huge values are held far
// outside any control so the conversion stays defined.
int32_t RoundPixel(long double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v, -1.0e6L, 1.0e6L);
  return static_cast<int32_t>(std::nearbyint(v));
}

float Clamp(float v, float lo, float hi) {
  if (std::isnan(v)) return lo;
  return v < lo ? lo : (v > hi ? hi : v);
}

// Makes a record safe to draw and edit: a point count the record can hold,
// a finite value range within 0 .. 1, finite positions in 0 .. 1 and values
// within the range. The order of the points is kept.
void Sanitize(TEnvelope& e) {
  e.PointCount = std::clamp<int32_t>(e.PointCount, 0, kMaxEnvelopePoints);
  if (!(e.MinValue >= 0.0f && e.MinValue <= 1.0f)) e.MinValue = 0.0f;
  if (!(e.MaxValue >= 0.0f && e.MaxValue <= 1.0f)) e.MaxValue = 1.0f;
  if (e.MinValue > e.MaxValue) std::swap(e.MinValue, e.MaxValue);
  if (std::isnan(e.DefValue)) e.DefValue = 0.5f * (e.MinValue + e.MaxValue);
  e.DefValue = Clamp(e.DefValue, e.MinValue, e.MaxValue);
  for (int32_t i = 0; i < e.PointCount; ++i) {
    e.Points[i].x = Clamp(e.Points[i].x, 0.0f, 1.0f);
    if (std::isnan(e.Points[i].y)) e.Points[i].y = e.DefValue;
    e.Points[i].y = Clamp(e.Points[i].y, e.MinValue, e.MaxValue);
  }
}

// Bar height fraction: 0 at the top; held at 0 from below, and NaN or values
// beyond the bottom edge draw nothing visible.
long double BarFraction(long double t) {
  if (std::isnan(t) || t > 2.0L) return 2.0L;
  return t > 0.0L ? t : 0.0L;
}

}  // namespace

double EnvelopePositionToFrequency(double p) { return std::exp(p * std::log(800.0) + std::log(25.0)); }

std::string FormatFrequency(double f, bool withUnit) {
  char buf[48];
  if (f < 100.0)
    std::snprintf(buf, sizeof buf, withUnit ? "%.1f Hz" : "%.1f", f);
  else if (f < 1000.0)
    std::snprintf(buf, sizeof buf, withUnit ? "%.0f Hz" : "%.0f", f);
  else if (f < 10000.0)
    std::snprintf(buf, sizeof buf, withUnit ? "%.2f kHz" : "%.2fk", f / 1000.0);
  else
    std::snprintf(buf, sizeof buf, withUnit ? "%.1f kHz" : "%.1fk", f / 1000.0);
  return buf;
}

// Enters the lock when one is set; every step is skipped without it.
class TGraphicTLScreen::TOptionalLock {
public:
  explicit TOptionalLock(TSyncObject* lock) : FLock(lock) {
    if (FLock) FLock->Enter();
  }
  ~TOptionalLock() {
    if (FLock) FLock->Leave();
  }
  TOptionalLock(const TOptionalLock&) = delete;
  TOptionalLock& operator=(const TOptionalLock&) = delete;

private:
  TSyncObject* FLock;
};

TGraphicTLScreen::TGraphicTLScreen(TComponent* owner) : TGraphicElement(owner), FNotify(this), FUndo(kUndoSlots) {
  std::memset(&FEnv, 0, sizeof FEnv);
  FEnv.PointCount = 2;
  FEnv.Points[0] = {0.0f, 0.5f};
  FEnv.Points[1] = {1.0f, 0.5f};
  FEnv.MinValue = 0.0f;
  FEnv.MaxValue = 1.0f;
  FEnv.DefValue = 0.5f;
  FDragSnapshot = FEnv;
  std::memset(&FOverlay, 0, sizeof FOverlay);
  for (TUndoSlot& slot : FUndo) std::memset(&slot, 0, sizeof slot);
  for (int i = 0; i < kBands; ++i) {
    SpectrumLevel[i] = -100.0;
    SpectrumGain[i] = 0.0;
  }
  SetBounds(Left(), Top(), 300, 200);
  SetOpaque(false);
}

TGraphicTLScreen::~TGraphicTLScreen() { RestoreCursor(); }

// ---------------------------------------------------------------- properties

void TGraphicTLScreen::SetColour(uint32_t& field, uint32_t c) {
  if (field == c) return;
  field = c;
  Redraw();
}

void TGraphicTLScreen::SetMinGain(double v) {
  if (v == FMinGain) return;
  FMinGain = v;
  RequestRedraw();
}

void TGraphicTLScreen::SetMaxGain(double v) {
  if (v == FMaxGain) return;
  FMaxGain = v;
  RequestRedraw();
}

void TGraphicTLScreen::SetDisplayMode(int32_t v) {
  if (v == FDisplayMode) return;
  FDisplayMode = v;
  FNotify.Notify(2, 1);
  RequestRedraw();
}

void TGraphicTLScreen::SetSampleRate(int32_t v) {
  if (v == FSampleRate) return;
  FSampleRate = v;
  RequestRedraw();
}

void TGraphicTLScreen::RequestRedraw() {
  if (!FRedrawLatch) return;
  FRedrawLatch = false;
  Redraw();
}

// ---------------------------------------------------------------- mappings

long double TGraphicTLScreen::ExactColumn(double p) const {
  return (static_cast<long double>(p) - FMinFreq) / (static_cast<long double>(FMaxFreq) - FMinFreq) * (Width() - 1);
}

long double TGraphicTLScreen::ExactRow(double v) const {
  long double h1 = Height() - 1;
  return h1 - (static_cast<long double>(v) - FMinGain) / (static_cast<long double>(FMaxGain) - FMinGain) * h1;
}

int32_t TGraphicTLScreen::PositionToColumn(double p) const { return RoundPixel(ExactColumn(p)); }

int32_t TGraphicTLScreen::ValueToRow(double v) const { return RoundPixel(ExactRow(v)); }

float TGraphicTLScreen::ColumnToPosition(double x) const {
  return static_cast<float>(FMinFreq + (static_cast<long double>(FMaxFreq) - FMinFreq) * x / (Width() - 1));
}

float TGraphicTLScreen::RowToValue(double y) const {
  long double h = Height();
  return static_cast<float>(FMinGain + (h - y - 1) / (h - 1) * (static_cast<long double>(FMaxGain) - FMinGain));
}

float TGraphicTLScreen::ShiftPosition(double p, double dx) const {
  long double c = ExactColumn(p) + dx;
  return static_cast<float>(FMinFreq + (static_cast<long double>(FMaxFreq) - FMinFreq) * c / (Width() - 1));
}

float TGraphicTLScreen::ShiftValue(double v, double dy) const {
  long double y = ExactRow(v) + dy;
  long double h = Height();
  return static_cast<float>(FMinGain + (h - y - 1) / (h - 1) * (static_cast<long double>(FMaxGain) - FMinGain));
}

std::string TGraphicTLScreen::ValueText(double v, bool withUnit) const {
  std::string text;
  TTalvern::FormatEnvelopeValue(FEnvelopeKind, withUnit, static_cast<float>(v), text);
  return text;
}

// ---------------------------------------------------------------- interface

void TGraphicTLScreen::EditEnvelope(const TEnvelope& envelope, int32_t kind) {
  {
    TOptionalLock lock(FLock);
    FEnv = envelope;
    Sanitize(FEnv);
    FEnvelopeKind = kind;
    std::fill(std::begin(FSelected), std::end(FSelected), false);
    FSelectedCount = 0;
    ResetUndo();
  }
  if (FFreqLabel && !FFreqLabel->Caption().empty()) ShowReadout(FReadoutValue, FReadoutPos);
  FNotify.Notify(2, 1);
  RequestRedraw();
}

void TGraphicTLScreen::SetOverlay(const TEnvelope& envelope) {
  {
    TOptionalLock lock(FLock);
    FOverlay = envelope;
    Sanitize(FOverlay);
  }
  RequestRedraw();
}

void TGraphicTLScreen::HideOverlay() {
  {
    TOptionalLock lock(FLock);
    FOverlay.PointCount = 0;
  }
  RequestRedraw();
}

void TGraphicTLScreen::ResetCurve() {
  {
    TOptionalLock lock(FLock);
    PushUndo();
    std::memset(FEnv.Points, 0, sizeof FEnv.Points);
    FEnv.Points[0] = {0.0f, FEnv.DefValue};
    FEnv.Points[1] = {1.0f, FEnv.DefValue};
    FEnv.PointCount = 2;
    ClearSelection();
    FireUpdate();
  }
  RequestRedraw();
}

void TGraphicTLScreen::InvertCurve() {
  TOptionalLock lock(FLock);
  for (int32_t i = 0; i < FEnv.PointCount; ++i) FEnv.Points[i].y = 1.0f - FEnv.Points[i].y;
  FireUpdate();
  RequestRedraw();
}

void TGraphicTLScreen::ScaleCurve(bool down) {
  TOptionalLock lock(FLock);
  PushUndo();
  double c = 0.0;
  if (FEnvelopeKind == ekRatio)
    c = 0.75;
  else if (FEnvelopeKind == ekOutGain || FEnvelopeKind == ekWidth || FEnvelopeKind == ekPan)
    c = 0.5;
  double k = std::pow(10.0, down ? -0.075 : 0.075);
  for (int32_t i = 0; i < FEnv.PointCount; ++i) {
    double y = c + k * (static_cast<double>(FEnv.Points[i].y) - c);
    FEnv.Points[i].y = static_cast<float>(y > 1.0 ? 1.0 : (y < 0.0 ? 0.0 : y));
  }
  FireUpdate();
  RequestRedraw();
}

void TGraphicTLScreen::ClearSpectrum() {
  for (int i = 0; i < kBands; ++i) {
    SpectrumLevel[i] = -100.0;
    SpectrumGain[i] = 0.0;
  }
  Redraw();
}

// ---------------------------------------------------------------- selection, events

void TGraphicTLScreen::ClearSelection() {
  std::fill(std::begin(FSelected), std::end(FSelected), false);
  FSelectedCount = 0;
}

void TGraphicTLScreen::SelectPoint(int32_t i) {
  if (i < 0 || i >= kMaxEnvelopePoints || FSelected[i]) return;
  FSelected[i] = true;
  ++FSelectedCount;
}

void TGraphicTLScreen::FireUpdate() { OnUpdateEnvelope(this, FEnv); }

void TGraphicTLScreen::FireUndoRedo() { OnSetUndoRedo(FUndoCurrent != FUndoOldest, FUndoCurrent != FUndoNewest); }

// ---------------------------------------------------------------- undo ring

void TGraphicTLScreen::SaveSlot() {
  TUndoSlot& slot = FUndo[FUndoCurrent];
  slot.Env = FEnv;
  std::copy(std::begin(FSelected), std::end(FSelected), slot.Selected);
  slot.SelectedCount = FSelectedCount;
}

void TGraphicTLScreen::LoadSlot() {
  const TUndoSlot& slot = FUndo[FUndoCurrent];
  FEnv = slot.Env;
  std::copy(std::begin(slot.Selected), std::end(slot.Selected), FSelected);
  FSelectedCount = slot.SelectedCount;
  RequestRedraw();
  FireUpdate();
}

void TGraphicTLScreen::ResetUndo() {
  FUndoNewest = FUndoOldest = FUndoCurrent = 0;
  OnSetUndoRedo(false, false);
}

void TGraphicTLScreen::PushUndo() {
  TOptionalLock lock(FLock);
  SaveSlot();
  FUndoCurrent = (FUndoCurrent + 1) % kUndoSlots;
  FUndoNewest = FUndoCurrent;
  if (FUndoCurrent == FUndoOldest) FUndoOldest = (FUndoOldest + 1) % kUndoSlots;
  FireUndoRedo();
}

void TGraphicTLScreen::Undo() {
  TOptionalLock lock(FLock);
  SaveSlot();
  FUndoCurrent = (FUndoCurrent + kUndoSlots - 1) % kUndoSlots;
  FireUndoRedo();
  LoadSlot();
}

void TGraphicTLScreen::Redo() {
  TOptionalLock lock(FLock);
  FUndoCurrent = (FUndoCurrent + 1) % kUndoSlots;
  FireUndoRedo();
  LoadSlot();
}

// ---------------------------------------------------------------- point edits

void TGraphicTLScreen::InsertPoint(float p, float v) {
  int32_t n = FEnv.PointCount;
  if (n >= kMaxEnvelopePoints || n < 2) return;
  if (!(p > FEnv.Points[0].x && p < FEnv.Points[n - 1].x)) return;
  int32_t i = 0;
  while (i < n && !(p <= FEnv.Points[i].x)) ++i;
  for (int32_t k = n; k > i; --k) {
    FEnv.Points[k] = FEnv.Points[k - 1];
    FSelected[k] = FSelected[k - 1];
  }
  FEnv.Points[i] = {p, Clamp(v, FEnv.MinValue, FEnv.MaxValue)};
  FSelected[i] = false;
  FEnv.PointCount = n + 1;
  FireUpdate();
}

void TGraphicTLScreen::DeleteSelected() {
  int32_t n = FEnv.PointCount, kept = 0;
  TEnvelopePoint points[kMaxEnvelopePoints];
  bool flags[kMaxEnvelopePoints] = {};
  for (int32_t i = 0; i < n; ++i) {
    if (!FSelected[i]) {
      points[kept] = FEnv.Points[i];
      flags[kept++] = false;
    } else if (i == 0 || i == n - 1) {
      points[kept] = {FEnv.Points[i].x, FEnv.DefValue};
      flags[kept++] = true;
    } else {
      --FSelectedCount;
    }
  }
  std::memset(FEnv.Points, 0, sizeof FEnv.Points);
  std::copy(points, points + kept, FEnv.Points);
  std::copy(flags, flags + kMaxEnvelopePoints, FSelected);
  FEnv.PointCount = kept;
  FireUpdate();
}

// ---------------------------------------------------------------- hit tests

int32_t TGraphicTLScreen::PointAt(int32_t x, int32_t y) const {
  for (int32_t k = FEnv.PointCount - 1; k >= 0; --k) {
    if (std::abs(PositionToColumn(FEnv.Points[k].x) - x) <= 6 && std::abs(ValueToRow(FEnv.Points[k].y) - y) <= 6)
      return k;
  }
  return -1;
}

int32_t TGraphicTLScreen::SegmentAt(int32_t x, int32_t y) const {
  int32_t best = -1;
  double bestDistance = 0.0;
  for (int32_t k = 0; k + 1 < FEnv.PointCount; ++k) {
    double ax = PositionToColumn(FEnv.Points[k].x), ay = ValueToRow(FEnv.Points[k].y);
    double dx = PositionToColumn(FEnv.Points[k + 1].x) - ax, dy = ValueToRow(FEnv.Points[k + 1].y) - ay;
    double len2 = dx * dx + dy * dy;
    if (len2 <= 0.0) continue;
    double t = ((x - ax) * dx + (y - ay) * dy) / len2;
    if (t < 0.0 || t > 1.0) continue;
    double distance = std::fabs((x - ax) * dy - (y - ay) * dx) / std::sqrt(len2);
    if (best < 0 || distance < bestDistance) {
      best = k;
      bestDistance = distance;
    }
  }
  return best >= 0 && bestDistance <= 4.0 ? best : -1;
}

void TGraphicTLScreen::UpdateBandRect() {
  FBandLeft = std::min(FAnchorX, FCornerX) - 6;
  FBandRight = std::max(FAnchorX, FCornerX) + 6;
  FBandTop = std::min(FAnchorY, FCornerY) - 6;
  FBandBottom = std::max(FAnchorY, FCornerY) + 6;
}

bool TGraphicTLScreen::InsideBand(int32_t px, int32_t py) const {
  if (FAnchorX == FCornerX && FAnchorY == FCornerY) return false;
  return px >= FBandLeft && px <= FBandRight && py >= FBandTop && py <= FBandBottom;
}

// ---------------------------------------------------------------- readout, cursor

void TGraphicTLScreen::ShowReadout(double value, double position) {
  FReadoutValue = value;
  FReadoutPos = position;
  if (!FFreqLabel) return;
  FFreqLabel->SetCaption(FormatFrequency(EnvelopePositionToFrequency(position), true) + " | " + ValueText(value, true));
}

void TGraphicTLScreen::ClearReadout() {
  if (FFreqLabel) FFreqLabel->SetCaption("");
}

// The window under the pointer is the one the mouse messages come from, so
// a point inside the client rectangle is over the display.
void TGraphicTLScreen::HoverReadout(int32_t x, int32_t y) {
  if (x >= 0 && y >= 0 && x < Width() && y < Height())
    ShowReadout(RowToValue(y), ColumnToPosition(x));
  else
    ClearReadout();
}

void TGraphicTLScreen::WarpCursor(int32_t x, int32_t y) {
  ClientToScreen(x, y);
  int32_t cx = 0, cy = 0;
  if (Windows().GetCursorPos(cx, cy) && cx == x && cy == y) return;
  FWarpPending = true;
  Windows().SetCursorPos(x, y);
}

void TGraphicTLScreen::HideCursor() {
  if (FCursorHidden) return;
  FCursorWindow = ParentHandle();
  Windows().ShowCursor(FCursorWindow, false);
  FCursorHidden = true;
}

void TGraphicTLScreen::RestoreCursor() {
  if (!FCursorHidden) return;
  FCursorHidden = false;
  Windows().ShowCursor(FCursorWindow, true);
  FCursorWindow = 0;
}

void TGraphicTLScreen::SetAudition(int32_t x) {
  x = std::clamp<int32_t>(x, 0, std::max<int32_t>(Width() - 1, 0));
  double f = EnvelopePositionToFrequency(ColumnToPosition(x));
  double top = 0.45 * FSampleRate;
  if (!(f <= top)) f = top;
  if (!(f >= 25.0)) f = 25.0;
  FAuditionFreq = static_cast<float>(f);
}

// ---------------------------------------------------------------- mouse

void TGraphicTLScreen::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseDown(button, shift, x, y);
  if (Designing()) return;
  {
    TOptionalLock lock(FLock);
    FWarpPending = false;
    if (button == mbRight) {
      for (int32_t i = 0; i < FEnv.PointCount; ++i) FSelected[i] = true;
      FSelectedCount = FEnv.PointCount;
    } else if (button == mbLeft) {
      int32_t point = PointAt(x, y);
      int32_t segment = point < 0 ? SegmentAt(x, y) : -1;
      if (shift & ssDouble) {
        PushUndo();
        if (point < 0) {
          InsertPoint(ColumnToPosition(x), RowToValue(y));
        } else {
          if (FSelectedCount == 0) SelectPoint(point);
          DeleteSelected();
        }
        ClearSelection();
      } else if ((shift & ssCtrl) && point >= 0) {
        PushUndo();
        if (FSelectedCount > 0) {
          for (int32_t i = 0; i < FEnv.PointCount; ++i)
            if (FSelected[i]) FEnv.Points[i].y = FEnv.DefValue;
        } else {
          FEnv.Points[point].y = FEnv.DefValue;
        }
        FireUpdate();
      } else if (point >= 0 || segment >= 0) {
        if (point >= 0) {
          if (!FSelected[point]) {
            if (!(shift & ssShift)) ClearSelection();
            SelectPoint(point);
          }
          FGrabOffsetX = PositionToColumn(FEnv.Points[point].x) - x;
          FGrabOffsetY = ValueToRow(FEnv.Points[point].y) - y;
        } else {
          if (!(shift & ssShift) && (!FSelected[segment] || !FSelected[segment + 1])) ClearSelection();
          SelectPoint(segment);
          SelectPoint(segment + 1);
          FGrabOffsetX = x;
          FGrabOffsetY = y;
        }
        FDragMode = 2;
        FDragStarted = false;
        FPointDrag = point >= 0;
        FGrabbed = FGrabbedSnap = point;
        FDragSnapshot = FEnv;
        std::copy(std::begin(FSelected), std::end(FSelected), FSelectedSnap);
        FSelectedCountSnap = FSelectedCount;
        FLastX = x;
        FLastY = y;
        FAccumX = FAccumY = 0.0f;
      } else if (shift & ssCtrl) {
        FDragMode = 3;
        SetAudition(x);
        OnChangeBandpassFilter(true, FAuditionFreq, 0.7f);
      } else {
        if (!(shift & ssShift)) ClearSelection();
        FDragMode = 1;
        FAnchorX = FCornerX = x;
        FAnchorY = FCornerY = y;
        UpdateBandRect();
      }
    }
  }
  RequestRedraw();
}

void TGraphicTLScreen::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  TOptionalLock lock(FLock);
  if (FWarpPending) {
    FWarpPending = false;
    FLastX = x;
    FLastY = y;
    return;
  }
  switch (FDragMode) {
    case 0: HoverReadout(x, y); break;
    case 1:
      FCornerX = x;
      FCornerY = y;
      UpdateBandRect();
      RequestRedraw();
      if (x >= 0 && y >= 0 && x < Width() && y < Height())
        ShowReadout(RowToValue(y), ColumnToPosition(x));
      else
        ClearReadout();
      break;
    case 2: DragPoints(shift, x, y); break;
    case 3:
      SetAudition(x);
      OnChangeBandpassFilter(true, FAuditionFreq, 0.7f);
      HoverReadout(x, y);
      RequestRedraw();
      break;
    default: break;
  }
}

// Recomputes the dragged points from the snapshot taken at the press, so
// points that pass each other swap order and come back when dragged back.
void TGraphicTLScreen::DragPoints(TShiftState shift, int32_t x, int32_t y) {
  if (!FDragStarted) {
    PushUndo();
    FDragStarted = true;
    HideCursor();
  }
  float scale = (shift & ssAlt) ? 0.1f : 1.0f;
  FAccumX += static_cast<float>(x - FLastX) * scale;
  FAccumY += static_cast<float>(y - FLastY) * scale;

  FEnv = FDragSnapshot;
  std::copy(std::begin(FSelectedSnap), std::end(FSelectedSnap), FSelected);
  FSelectedCount = FSelectedCountSnap;
  const int32_t n = FEnv.PointCount;
  // The linked list: order[] holds point indices of the snapshot in list order.
  int32_t order[kMaxEnvelopePoints];
  int32_t length = n;
  for (int32_t i = 0; i < n; ++i) order[i] = i;

  const bool single = FSelectedCount == 1;
  const double dy = (!FPointDrag || single) ? static_cast<double>(FAccumY) : 0.0;
  const double dx = (FPointDrag || single) ? static_cast<double>(FAccumX) : 0.0;
  const bool grabbedMoves = FGrabbedSnap != 0 && FGrabbedSnap != n - 1;
  for (int32_t i = 0; i < n; ++i) {
    if (!FSelected[i]) continue;
    TEnvelopePoint& pt = FEnv.Points[i];
    pt.y = Clamp(ShiftValue(pt.y, dy), FEnv.MinValue, FEnv.MaxValue);
    if (grabbedMoves && i != 0 && i != n - 1) {
      float p = ShiftPosition(pt.x, dx);
      if (SnapToBands) p = static_cast<float>(std::nearbyint(static_cast<double>(p) * 31.0) / 31.0);
      int32_t column = PositionToColumn(p);
      if (column <= PositionToColumn(FEnv.Points[0].x))
        p = ShiftPosition(FEnv.Points[0].x, 1.0);
      else if (column >= PositionToColumn(FEnv.Points[n - 1].x))
        p = ShiftPosition(FEnv.Points[n - 1].x, -1.0);
      p = Clamp(p, 0.0f, 1.0f);  // unsorted input can put the last point left of the first
      int32_t at = 0;
      while (order[at] != i) ++at;
      std::copy(order + at + 1, order + length, order + at);
      --length;
      int32_t before = 0;
      while (before < length && !(FEnv.Points[order[before]].x > p)) ++before;
      std::copy_backward(order + before, order + length, order + length + 1);
      order[before] = i;
      ++length;
      pt.x = p;
    }
    if (i == FGrabbedSnap) {
      WarpCursor(PositionToColumn(pt.x) - FGrabOffsetX, ValueToRow(pt.y) - FGrabOffsetY);
      ShowReadout(pt.y, pt.x);
    }
  }

  TEnvelopePoint points[kMaxEnvelopePoints];
  bool flags[kMaxEnvelopePoints] = {};
  for (int32_t k = 0; k < n; ++k) {
    points[k] = FEnv.Points[order[k]];
    flags[k] = FSelected[order[k]];
    if (order[k] == FGrabbedSnap) FGrabbed = k;
  }
  std::copy(points, points + n, FEnv.Points);
  std::copy(flags, flags + kMaxEnvelopePoints, FSelected);

  if (!FPointDrag) {
    float value = Clamp(ShiftValue(RowToValue(FGrabOffsetY), FAccumY), 0.0f, 1.0f);
    ShowReadout(value, ColumnToPosition(FGrabOffsetX));
    WarpCursor(FGrabOffsetX, ValueToRow(value));
  }
  RequestRedraw();
  FLastX = x;
  FLastY = y;
}

void TGraphicTLScreen::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseUp(button, shift, x, y);
  TOptionalLock lock(FLock);
  if (button == mbLeft) {
    RestoreCursor();
    bool ended = true;
    switch (FDragMode) {
      case 1:
        for (int32_t i = 0; i < FEnv.PointCount; ++i)
          if (!FSelected[i] && InsideBand(PositionToColumn(FEnv.Points[i].x), ValueToRow(FEnv.Points[i].y)))
            SelectPoint(i);
        break;
      case 2:
        if (FDragStarted) FireUpdate();
        break;
      case 3: OnChangeBandpassFilter(false, 1.0f, 1.0f); break;
      default: ended = false; break;
    }
    FDragMode = 0;
    FDragStarted = false;
    if (ended) RequestRedraw();
  }
  if (FDragMode == 0) HoverReadout(x, y);
}

void TGraphicTLScreen::MouseLeave() {
  if (FDragMode == 0)
    ClearReadout();
  else if (FDragMode == 3)
    OnChangeBandpassFilter(false, 1.0f, 1.0f);
}

// ---------------------------------------------------------------- painting

void TGraphicTLScreen::DrawPolyline(Surface& s, const TEnvelope& e) {
  const int32_t n = std::clamp<int32_t>(e.PointCount, 0, kMaxEnvelopePoints);
  if (n <= 0) return;
  const int32_t w = Width();
  const long double range = static_cast<long double>(FMaxFreq) - FMinFreq;
  std::vector<Point> run;
  auto flush = [&] {
    if (run.size() > 1) s.Polyline(run.data(), static_cast<int32_t>(run.size()));
    run.clear();
  };
  run.push_back({PositionToColumn(e.Points[0].x), ValueToRow(e.Points[0].y)});
  for (int32_t k = 1; k < n; ++k) {
    const TEnvelopePoint a = e.Points[k - 1], b = e.Points[k];
    long double pieces = (static_cast<long double>(b.x) - a.x) / range * w / 10000.0L;
    int32_t count = std::isnan(pieces) ? 0 : static_cast<int32_t>(std::clamp(pieces, 0.0L, 1000.0L));
    for (int32_t j = 1; j <= count + 1; ++j) {
      long double t = static_cast<long double>(j) / (count + 1);
      int32_t px = RoundPixel(ExactColumn(static_cast<double>(a.x + t * (b.x - a.x))));
      int32_t py = RoundPixel(ExactRow(static_cast<double>(a.y + t * (b.y - a.y))));
      if (px < 0) {
        flush();
        run.push_back({px, py});
        continue;
      }
      run.push_back({px, py});
      if (px >= w) {
        flush();
        return;
      }
    }
  }
  flush();
}

void TGraphicTLScreen::DrawAudition(Surface& s) {
  const int32_t w = Width(), h = Height();
  const double fs = FSampleRate;
  if (!(fs > 0.0) || w < 2) return;
  const size_t entries = static_cast<size_t>(w / 2);
  if (FResponse.size() < entries) FResponse.resize(entries);
  size_t count = 0;
  for (; count < entries; ++count) {
    double f = EnvelopePositionToFrequency(ColumnToPosition(2.0 * static_cast<double>(count)));
    double u = 2.0 * f / fs;
    if (u > 1.0) break;
    FResponse[count] = static_cast<float>(u);
  }
  const double K = std::tan(static_cast<double>(kPi) * static_cast<double>(FAuditionFreq) / fs);
  const double sh = std::sinh(0.7 * std::log(2.0) / 2.0);
  const double a0 = 1.0 + K * sh + K * K;
  const double b0 = K * sh / a0, b2 = -K * sh / a0;
  const double a1 = 2.0 * (K * K - 1.0) / a0, a2 = (1.0 - K * sh + K * K) / a0;
  std::vector<Point> line;
  line.reserve(count);
  for (size_t j = 0; j < count; ++j) {
    const std::complex<double> z1 = std::polar(1.0, -static_cast<double>(kPi) * static_cast<double>(FResponse[j]));
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> hz = (b0 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    double db = 10.0 * std::log10(std::norm(hz));
    db = std::isnan(db) ? -200.0 : std::clamp(db, -200.0, 200.0);
    FResponse[j] = static_cast<float>(db);
    line.push_back({static_cast<int32_t>(2 * j), RoundPixel((db / -50.0 + 0.5) * (h - 1))});
  }
  s.SetPen(FLineOvrColour, 1, PenStyle::Solid);
  if (line.size() > 1) s.Polyline(line.data(), static_cast<int32_t>(line.size()));
}

void TGraphicTLScreen::PaintTo(TLinearBitmap& bitmap) {
  FRedrawLatch = true;
  Surface* s = bitmap.Canvas();
  const int32_t w = Width(), h = Height();
  if (!s || w <= 0 || h <= 0) return;
  TElementClip clip(bitmap, 0, 0, w - 1, h - 1);
  if (clip.Empty()) return;
  s->SetBrush(0, BrushStyle::Clear);

  s->SetPen(Color(), 1, PenStyle::Solid);
  for (int i = 1; i <= 11; ++i) {
    int32_t row = ValueToRow(i / 12.0);
    s->MoveTo(0, row);
    s->LineTo(w, row);
  }

  TEnvelope env, overlay;
  double level[kBands], gain[kBands];
  {
    TOptionalLock lock(FLock);
    env = FEnv;
    overlay = FOverlay;
    std::copy(std::begin(SpectrumLevel), std::end(SpectrumLevel), level);
    std::copy(std::begin(SpectrumGain), std::end(SpectrumGain), gain);
  }

  s->SetPen(0, 1, PenStyle::Clear);
  const long double h1 = h - 1;
  auto barRow = [&](long double t) { return RoundPixel(h1 * BarFraction(t)); };
  for (int i = 0; i < kBands; ++i) {
    const int32_t c = RoundPixel(i / 31.0L * (w - 1));
    const long double in = level[i], out = static_cast<long double>(level[i]) + gain[i];
    switch (FDisplayMode) {
      case 0:
        s->SetBrush(FGfxColour, BrushStyle::Solid);
        s->FillRect(c - 5, barRow(in / -50.0L), c + 1, h + 1);
        s->SetBrush(FGfxColour2, BrushStyle::Solid);
        s->FillRect(c, barRow(out / -50.0L), c + 7, h + 1);
        break;
      case 1:
        s->SetBrush(FGfxColour, BrushStyle::Solid);
        s->FillRect(c - 5, barRow(in / -50.0L), c + 7, h + 1);
        break;
      case 2:
        s->SetBrush(FGfxColour2, BrushStyle::Solid);
        s->FillRect(c - 5, barRow(out / -50.0L), c + 7, h + 1);
        break;
      case 3: {
        long double g = std::isnan(gain[i]) ? 0.0L : std::clamp<long double>(gain[i], -100.0L, 100.0L);
        const int32_t top = RoundPixel((0.5L - g / 12.0L) * h1), m = h / 2;
        s->SetBrush(FGfxColour, BrushStyle::Solid);
        if (top < m)
          s->FillRect(c - 5, top, c + 7, m + 2);
        else
          s->FillRect(c - 5, m, c + 7, top + 1);  // the bar hangs down from the middle
        break;
      }
      default: break;
    }
  }
  s->SetBrush(0, BrushStyle::Clear);

  if (FDragMode == 3) DrawAudition(*s);

  if (overlay.PointCount > 1) {
    s->SetPen(kBlack, 3, PenStyle::Solid);
    DrawPolyline(*s, overlay);
    s->SetPen(FLineOvrColour, 1, PenStyle::Solid);
    DrawPolyline(*s, overlay);
  }

  s->SetPen(kBlack, 3, PenStyle::Solid);
  DrawPolyline(*s, env);
  s->SetPen(FLineColour, 1, PenStyle::Solid);
  DrawPolyline(*s, env);
  const int32_t n = std::clamp<int32_t>(env.PointCount, 0, kMaxEnvelopePoints);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t x = PositionToColumn(env.Points[k].x), y = ValueToRow(env.Points[k].y);
    const int32_t e = (k == 0 || k == n - 1) ? 3 : 0;
    const bool lit = FSelected[k] || (FDragMode == 1 && InsideBand(x, y));
    s->SetBrush(lit ? kLime : FLineColour, BrushStyle::Solid);
    s->FillRect(x - 3 - e, y - 3 - e, x + 5 + e, y + 5 + e);
  }
  s->SetBrush(0, BrushStyle::Clear);
  s->SetPen(kBlack, 1, PenStyle::Solid);

  if (FDragMode == 1) {
    s->SetPen(kLime, 1, PenStyle::Dot);
    s->Rectangle(std::min(FAnchorX, FCornerX), std::min(FAnchorY, FCornerY), std::max(FAnchorX, FCornerX) + 1,
                 std::max(FAnchorY, FCornerY) + 1);
    s->SetPen(kBlack, 1, PenStyle::Solid);
  }
}

// ---------------------------------------------------------------- axis strips

TGraphicTLLabel::TGraphicTLLabel(TComponent* owner) : TGraphicElement(owner) {}

TGraphicTLLabel::~TGraphicTLLabel() {
  if (FScreen) FScreen->NotifyHost().Unsubscribe(this);
}

void TGraphicTLLabel::SetScreen(TGraphicTLScreen* screen) {
  if (FScreen) FScreen->NotifyHost().Unsubscribe(this);
  FScreen = screen;
  if (screen) screen->NotifyHost().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicTLLabel::ScreenNotify));
  Redraw();
}

void TGraphicTLLabel::SetIsHorizontal(bool v) {
  FIsHorizontal = v;
  if (FScreen) Redraw();
}

void TGraphicTLLabel::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicTLLabel::ScreenNotify(TObject*, uint32_t code, int32_t param) {
  if (code == 0) {
    FScreen = nullptr;
    Redraw();
  } else if (code == 2 && ((param == 0 && FIsHorizontal) || (param == 1 && !FIsHorizontal))) {
    Redraw();
  }
}

void TGraphicTLLabel::PaintTo(TLinearBitmap& bitmap) {
  Surface* s = bitmap.Canvas();
  if (!s || Width() <= 0 || Height() <= 0) return;
  TElementClip clip(bitmap, 0, 0, Width() - 1, Height() - 1);
  if (clip.Empty()) return;
  if (Designing()) {
    s->SetBrush(0, BrushStyle::Clear);
    s->SetPen(kBlack, 1, PenStyle::Dash);
    s->Rectangle(0, 0, Width(), Height());
  }
  if (!FScreen) return;
  s->SetPen(kBlack, 1, PenStyle::Solid);
  s->SetBrush(0, BrushStyle::Clear);
  s->SetFont({Font().Name, Font().Height, Font().Bold});
  s->SetTextColor(Font().Color);
  const TGraphicTLScreen& screen = *FScreen;
  if (FIsHorizontal) {
    for (int i = 1; i <= 9; ++i) {
      double p = screen.MinFreq() + (screen.MaxFreq() - screen.MinFreq()) * i / 10.0;
      std::string text = FormatFrequency(EnvelopePositionToFrequency(p), false);
      platform::ui::Point extent = s->TextExtent(text);
      int32_t x = screen.PositionToColumn(p) + (screen.Left() - Left()) - extent.X / 2;
      s->TextOut(x, (Height() - extent.Y) / 2, text);
    }
    return;
  }
  for (int i = 1; i <= 11; ++i) {
    double v = 1.0 - i / 12.0;
    char buf[32];
    std::string text;
    if (FAlignment == taRightJustify) {
      std::snprintf(buf, sizeof buf, "%.0f", screen.DisplayMode() == 3 ? (v - 0.5) * 12.0 : (1.0 - v) * -50.0);
      text = buf;
    } else {
      text = screen.ValueText(v, false);
    }
    platform::ui::Point extent = s->TextExtent(text);
    int32_t x = FAlignment == taLeftJustify    ? 1
                : FAlignment == taRightJustify ? Width() - extent.X
                                               : (Width() - extent.X) / 2;
    int32_t y = screen.ValueToRow(v) + (screen.Top() - Top()) - extent.Y / 2 - 1;
    s->TextOut(x, y, text);
  }
}
