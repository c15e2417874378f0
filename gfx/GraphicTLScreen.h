#pragma once
// TGraphicTLScreen: the spectral envelope display. It draws the per-band
// input/output levels (or the band gains) behind one envelope over frequency
// and edits that envelope with the mouse: select points (click, Shift-click,
// rubber band, right click for all), drag them (Alt: a tenth as far;
// SnapToBands: onto band positions), insert and delete them by double click,
// reset them to the default by Ctrl-click, and audition a region through a
// band-pass filter by a Ctrl-drag on empty space. Every edit can be undone
// through a 32-step ring; the cursor position is shown as a frequency and
// value text in FreqLabel.
//
// TGraphicTLLabel: an axis strip beside the display (frequencies below it,
// dB or envelope values beside it), redrawn when the display says its axis
// changed.
//
// Threads: everything runs on the editor's thread. The lock (the engine's,
// recursive) is held while painting copies the curves and the spectrum,
// during every mouse handler and every curve or undo operation; events fire
// with it held. Without a lock the display runs unlocked.

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/envelopes.h"
#include "gfx/ButtonFace.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicLabel.h"

using TOnUpdateEnvelope = TEvent<void(TObject* Sender, TEnvelope& Env)>;
using TOnSetUndoRedo = TEvent<void(bool UndoEnabled, bool RedoEnabled)>;
using TOnChangeBandpassFilter = TEvent<void(bool FilterEnabled, float FilterFreq, float FilterBW)>;

// Frequency in Hz of envelope position p: 25 * 800^p (0 -> 25 Hz, 1 -> 20 kHz).
double EnvelopePositionToFrequency(double p);
// "48.8 Hz", "707 Hz", "1.25 kHz", "12.5 kHz"; without unit "48.8", "707", "1.25k", "12.5k".
std::string FormatFrequency(double f, bool withUnit);

class TGraphicTLScreen : public TGraphicElement {
public:
  static constexpr int kBands = 32;
  static constexpr int kUndoSlots = 32;

  explicit TGraphicTLScreen(TComponent* owner);
  ~TGraphicTLScreen() override;

  // Published properties.
  uint32_t GfxColour() const { return FGfxColour; }
  void SetGfxColour(uint32_t c) { SetColour(FGfxColour, c); }
  uint32_t GfxColour2() const { return FGfxColour2; }
  void SetGfxColour2(uint32_t c) { SetColour(FGfxColour2, c); }
  double MinGain() const { return FMinGain; }
  void SetMinGain(double v);
  double MaxGain() const { return FMaxGain; }
  void SetMaxGain(double v);
  double MinFreq() const { return FMinFreq; }
  void SetMinFreq(double v) { FMinFreq = v; }
  double MaxFreq() const { return FMaxFreq; }
  void SetMaxFreq(double v) { FMaxFreq = v; }
  uint32_t LineColour() const { return FLineColour; }
  void SetLineColour(uint32_t c) { SetColour(FLineColour, c); }
  uint32_t LineOvrColour() const { return FLineOvrColour; }
  void SetLineOvrColour(uint32_t c) { SetColour(FLineOvrColour, c); }
  double MinFreqPoint() const { return FMinFreqPoint; }
  void SetMinFreqPoint(double v) { FMinFreqPoint = v; }
  double MaxFreqPoint() const { return FMaxFreqPoint; }
  void SetMaxFreqPoint(double v) { FMaxFreqPoint = v; }
  TGraphicLabel* FreqLabel() const { return FFreqLabel; }
  void SetFreqLabel(TGraphicLabel* label) { FFreqLabel = label; }
  TOnUpdateEnvelope OnUpdateEnvelope;
  TOnSetUndoRedo OnSetUndoRedo;
  int32_t DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(int32_t v);
  TOnChangeBandpassFilter OnChangeBandpassFilter;
  int32_t SampleRate() const { return FSampleRate; }
  void SetSampleRate(int32_t v);

  // Set by the editor glue.
  TSyncObject* Lock() const { return FLock; }
  void SetLock(TSyncObject* lock) { FLock = lock; }
  bool SnapToBands = false;
  // Band input levels and gain changes in dB, written under the lock.
  double SpectrumLevel[kBands];
  double SpectrumGain[kBands];

  TGraphicNotifyHost& NotifyHost() { return FNotify; }

  void EditEnvelope(const TEnvelope& envelope, int32_t kind);
  void SetOverlay(const TEnvelope& envelope);
  void HideOverlay();
  void ResetCurve();
  void InvertCurve();
  void ScaleCurve(bool down);
  void Undo();
  void Redo();
  void ClearSpectrum();
  void RequestRedraw();

  // Inspection.
  const TEnvelope& Envelope() const { return FEnv; }
  const TEnvelope& Overlay() const { return FOverlay; }
  int32_t EnvelopeKind() const { return FEnvelopeKind; }
  bool Selected(int32_t i) const { return i >= 0 && i < kMaxEnvelopePoints && FSelected[i]; }
  int32_t SelectedCount() const { return FSelectedCount; }
  int32_t DragMode() const { return FDragMode; }
  float AuditionFrequency() const { return FAuditionFreq; }
  double ReadoutPosition() const { return FReadoutPos; }
  double ReadoutValue() const { return FReadoutValue; }

  // Axis mappings (pixels of this control; ties round to even).
  int32_t PositionToColumn(double p) const;
  int32_t ValueToRow(double v) const;
  float ColumnToPosition(double x) const;
  float RowToValue(double y) const;
  // The engine's value text of v for the edited kind.
  std::string ValueText(double v, bool withUnit) const;

  void PaintTo(TLinearBitmap& bitmap) override;
  void MouseLeave() override;
  const char* ClassName() const override { return "TGraphicTLScreen"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

private:
  struct TUndoSlot {
    TEnvelope Env;
    bool Selected[kMaxEnvelopePoints];
    int32_t SelectedCount;
  };
  class TOptionalLock;

  void SetColour(uint32_t& field, uint32_t c);
  long double ExactColumn(double p) const;
  long double ExactRow(double v) const;
  float ShiftPosition(double p, double dx) const;
  float ShiftValue(double v, double dy) const;
  int32_t PointAt(int32_t x, int32_t y) const;
  int32_t SegmentAt(int32_t x, int32_t y) const;
  bool InsideBand(int32_t px, int32_t py) const;
  void UpdateBandRect();
  void ClearSelection();
  void SelectPoint(int32_t i);
  void FireUpdate();
  void FireUndoRedo();
  void SaveSlot();
  void LoadSlot();
  void PushUndo();
  void ResetUndo();
  void InsertPoint(float p, float v);
  void DeleteSelected();
  void DragPoints(TShiftState shift, int32_t x, int32_t y);
  void WarpCursor(int32_t x, int32_t y);
  void HideCursor();
  void RestoreCursor();
  void SetAudition(int32_t x);
  void ShowReadout(double value, double position);
  void ClearReadout();
  void HoverReadout(int32_t x, int32_t y);
  void DrawPolyline(platform::ui::Surface& s, const TEnvelope& e);
  void DrawAudition(platform::ui::Surface& s);

  TGraphicNotifyHost FNotify;
  TEnvelope FEnv;
  TEnvelope FDragSnapshot;
  int32_t FEnvelopeKind = 0;
  TEnvelope FOverlay;
  uint32_t FGfxColour = 0, FGfxColour2 = 0, FLineColour = 0, FLineOvrColour = 0;
  double FMinFreq = 0.0, FMaxFreq = 1.0, FMinGain = 0.0, FMaxGain = 1.0;
  double FMinFreqPoint = 0.0, FMaxFreqPoint = 1.0;
  uint8_t FDragMode = 0;  // 0 none, 1 rubber band, 2 moving points, 3 audition
  bool FDragStarted = false;
  bool FPointDrag = false;
  int32_t FGrabbed = -1;      // follows the grabbed point through reordering
  int32_t FGrabbedSnap = -1;  // its index in the drag snapshot
  int32_t FGrabOffsetX = 0, FGrabOffsetY = 0;
  int32_t FLastX = 0, FLastY = 0;
  float FAccumX = 0, FAccumY = 0;
  bool FWarpPending = false;
  int32_t FAnchorX = 0, FAnchorY = 0, FCornerX = 0, FCornerY = 0;
  int32_t FBandLeft = 0, FBandTop = 0, FBandRight = 0, FBandBottom = 0;
  bool FCursorHidden = false;
  platform::ui::Handle FCursorWindow = 0;
  TGraphicLabel* FFreqLabel = nullptr;
  double FReadoutPos = 0, FReadoutValue = 0;
  bool FSelected[kMaxEnvelopePoints] = {};
  bool FSelectedSnap[kMaxEnvelopePoints] = {};
  int32_t FSelectedCount = 0;
  int32_t FSelectedCountSnap = 0;
  std::vector<TUndoSlot> FUndo;
  int32_t FUndoNewest = 0, FUndoOldest = 0, FUndoCurrent = 0;
  int32_t FDisplayMode = 0;
  int32_t FSampleRate = 44100;
  float FAuditionFreq = 1000.0f;
  std::vector<float> FResponse;
  bool FRedrawLatch = true;
  TSyncObject* FLock = nullptr;
};

class TGraphicTLLabel : public TGraphicElement {
public:
  explicit TGraphicTLLabel(TComponent* owner);
  ~TGraphicTLLabel() override;

  bool IsHorizontal() const { return FIsHorizontal; }
  void SetIsHorizontal(bool v);
  TGraphicTLScreen* Screen() const { return FScreen; }
  void SetScreen(TGraphicTLScreen* screen);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);

  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicTLLabel"; }

private:
  void ScreenNotify(TObject* sender, uint32_t code, int32_t param);

  bool FIsHorizontal = false;
  TGraphicTLScreen* FScreen = nullptr;
  TAlignment FAlignment = taLeftJustify;
};
