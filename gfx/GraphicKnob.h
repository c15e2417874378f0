#pragma once
// TGraphicKnob: the rotary control. It shows one frame of a sprite sheet
// chosen by its value and changes the value by vertical drags, the wheel and
// a double click (reset to the default).
//
// Bound (ParamSrc set): minimum, maximum and value mirror the parameter;
// every change is a RequestValue, so the picture follows the value the host
// accepted. SyncParamSrc moves a second parameter along while Ctrl or Alt is
// held. Unbound: OnGetParamRange supplies the range, default and value;
// changes are reported through OnChange and OnEndDrag.
//
// During a drag the pointer is hidden and put back to the press point after
// every move, so the drag never hits a screen edge; it is shown again at the
// release, or when the knob goes away mid-drag.
//
// Threads: parameter notifications (any thread) only copy integers and call
// Redraw. Mouse handling runs on the editor's thread.

#include <cstdint>

#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"
#include "params/model/VSTParameterHost.h"

using TOnGetParamRange = TEvent<void(TObject* Sender, int32_t& aMin, int32_t& aMax, int32_t& aDef, int32_t& aCur)>;

class TGraphicKnob : public TGraphicElement {
public:
  explicit TGraphicKnob(TComponent* owner);
  ~TGraphicKnob() override;

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TGraphicContainer* Container() const { return FContainer; }
  void SetContainer(TGraphicContainer* container);
  bool Radial() const { return FRadial; }
  void SetRadial(bool v) { FRadial = v; }
  int32_t StepSlow() const { return FStepSlow; }
  void SetStepSlow(int32_t v) { FStepSlow = v < 1 ? 1 : v; }
  int32_t StepFast() const { return FStepFast; }
  void SetStepFast(int32_t v) { FStepFast = v < 1 ? 1 : v; }
  int32_t StepScaleH() const { return FStepScaleH; }
  void SetStepScaleH(int32_t v) { FStepScaleH = v < 1 ? 1 : v; }
  int32_t StepScaleV() const { return FStepScaleV; }
  void SetStepScaleV(int32_t v) { FStepScaleV = v < 1 ? 1 : v; }
  TVSTParameterSource* ParamSrc() const { return FParamSrc; }
  void SetParamSrc(TVSTParameterSource* source);
  TVSTParameterSource* SyncParamSrc() const { return FSyncParamSrc; }
  void SetSyncParamSrc(TVSTParameterSource* source);
  bool IsTransparent() const { return FIsTransparent; }
  void SetIsTransparent(bool v);
  bool InvertSync() const { return FInvertSync; }
  void SetInvertSync(bool v) { FInvertSync = v; }
  TNotifyEvent OnChange;
  const TOnGetParamRange& OnGetParamRange() const { return FOnGetParamRange; }
  void SetOnGetParamRange(TOnGetParamRange handler);
  TNotifyEvent OnEndDrag;
  // Stored only; the knob does not draw it.
  TGraphicContainer* ReadoutImage = nullptr;

  int32_t Minimum() const { return FMin; }
  int32_t Maximum() const { return FMax; }
  int32_t Value() const { return FValue; }
  int32_t Default() const { return FDefault; }
  bool Dragging() const { return FDragging; }
  // The sprite-sheet frame the current value shows (0 without a sheet).
  int32_t FrameIndex() const;

  // Fits the size to the sheet's frame when AutoSize is set.
  void AdjustSize() { FitSize(false); }
  void PaintTo(TLinearBitmap& bitmap) override;
  void WheelUp() override;
  void WheelDown() override;
  const char* ClassName() const override { return "TGraphicKnob"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

private:
  void FitSize(bool forced);
  void ContainerNotify(TObject* sender, uint32_t code, int32_t param);
  void SourceNotify(TObject* sender, uint32_t code, int32_t param);
  void SyncSourceNotify(TObject* sender, uint32_t code, int32_t param);
  void CopyRange();
  void CopyValue();
  void ApplyStep(int32_t pixels, TShiftState shift);
  void WarpBack();
  void RestoreCursor();

  bool FAutoSize = false;
  TGraphicContainer* FContainer = nullptr;
  bool FRadial = true;
  int32_t FStepSlow = 100;
  int32_t FStepFast = 700;
  int32_t FStepScaleH = 1;
  int32_t FStepScaleV = 1;
  TVSTParameterSource* FParamSrc = nullptr;
  TVSTParameterSource* FSyncParamSrc = nullptr;
  bool FIsTransparent = false;
  bool FInvertSync = false;
  TOnGetParamRange FOnGetParamRange;

  int32_t FMin = 0, FMax = 100, FValue = 0, FDefault = 0;
  bool FUnbound = false;
  bool FDragging = false;
  // Ends the host's edit of the parameter(s) a drag began.
  void EndGesture();
  void WheelStep(int32_t pixels);
  bool FSyncActive = false;
  int32_t FLastY = 0;
  int32_t FPressX = 0, FPressY = 0;  // knob client coordinates
  int32_t FPressValue = 0;
  platform::ui::Handle FCursorWindow = 0;  // where the pointer was hidden
  bool FCursorHidden = false;
  bool FWarpPending = false;
};
