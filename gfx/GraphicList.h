#pragma once
// TGraphicList: the popup list of the toolkit. Rows of equal height; when
// there are more items than ShowItemCount it scrolls: an up-arrow row on
// top, ShowItemCount item rows and a down-arrow row, with timed auto-scroll
// while the hot row is an arrow.
//
// As a button's popup it reports the chosen row through CommandCallback
// (-1: closed without choice, on a click elsewhere). The callback may free
// the list, so the list never touches itself after calling it.

#include <cstdint>
#include <memory>

#include "gfx/ButtonFace.h"
#include "gfx/ContainerPair.h"
#include "gfx/GraphicCanvas.h"
#include "gfx/GraphicContainer.h"

using TOnListCommand = TEvent<void(int32_t Command)>;

class TGraphicList : public TGraphicElement {
public:
  // Hot row codes besides item indexes.
  static constexpr int32_t kHotNone = -3, kHotUp = -1, kHotDown = -2;

  explicit TGraphicList(TComponent* owner);
  ~TGraphicList() override;

  int32_t ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int32_t v);
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  const TStringList& Items() const { return FItems; }
  void SetItems(const TStringList& items);
  int32_t Border() const { return FBorder; }
  void SetBorder(int32_t v);
  int32_t ShowItemCount() const { return FShowItemCount; }
  void SetShowItemCount(int32_t v);
  int32_t TickInterval() const { return FTickInterval; }
  void SetTickInterval(int32_t v);
  bool DirDown() const { return FDirDown; }
  void SetDirDown(bool v) { FDirDown = v; }
  bool UseAutoUpdating() const { return FUseAutoUpdating; }
  void SetUseAutoUpdating(bool v) { FUseAutoUpdating = v; }
  const TOnListCommand& CommandCallback() const { return FCommandCallback; }
  void SetCommandCallback(TOnListCommand callback);
  TGraphicContainer* ContainerOff() const { return FFaces.Off(); }
  void SetContainerOff(TGraphicContainer* c) { FFaces.SetOff(c); }
  TGraphicContainer* ContainerOn() const { return FFaces.On(); }
  void SetContainerOn(TGraphicContainer* c) { FFaces.SetOn(c); }
  bool IsTransparent() const { return FIsTransparent; }
  void SetIsTransparent(bool v);

  bool ScrollMode() const { return FItems.Count() > FShowItemCount; }
  int32_t FirstVisible() const { return FFirstVisible; }
  int32_t HotRow() const { return FHotRow; }
  bool Pressed() const { return FPressed; }
  // Hot tracking from a point in screen coordinates (a button forwards its
  // pointer while the press that opened the popup is held).
  void TrackScreenPoint(int32_t x, int32_t y);

  void SetParent(TWinControl* parent) override;
  void PaintTo(TLinearBitmap& bitmap) override;
  void MouseLeave() override;
  void TimerTick() override;
  void ClickAway() override;
  void WndProc(TMessage& m) override;
  const char* ClassName() const override { return "TGraphicList"; }

protected:
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void VisibleChanged() override;

private:
  int32_t RowAt(int32_t x, int32_t y) const;
  void SetHotRow(int32_t row);
  void RedrawHot(int32_t row);
  int32_t RowTop(int32_t hot) const;  // -1: not shown
  void Scroll(int32_t delta);
  bool CanScrollUp() const { return FFirstVisible > 0; }
  bool CanScrollDown() const { return FFirstVisible < FItems.Count() - FShowItemCount; }
  void UpdateHeight();
  void UpdateTimer();

  int32_t FItemHeight = 16;
  int32_t FItemIndex = -1;
  TAlignment FAlignment = taLeftJustify;
  TStringList FItems;
  int32_t FBorder = 0;
  int32_t FShowItemCount = 8;
  int32_t FTickInterval = 45;
  bool FDirDown = false;
  bool FUseAutoUpdating = false;
  TOnListCommand FCommandCallback;
  TContainerPair FFaces{this};
  bool FIsTransparent = false;

  int32_t FFirstVisible = 0;
  int32_t FHotRow = kHotNone;
  bool FPressed = false;
  int32_t FScrollDelay = 0;
  int32_t FPointX = -1, FPointY = -1;  // last pointer position (list coordinates)
  bool FPendingCommand = false;
  int32_t FCommand = -1;
  std::unique_ptr<TVCLTimer> FTimer;
};
