#include "gfx/GraphicList.h"

#include <algorithm>

#include "gfx/ElementClip.h"

using platform::ui::BrushStyle;

namespace {

// A filled triangle pointing up or down, centred in the given row.
void DrawArrow(platform::ui::Surface& s, int32_t width, int32_t top, int32_t height, bool up, uint32_t color) {
  int32_t size = std::max(1, std::min(width, height) / 4);  // rows of the triangle
  int32_t cx = width / 2, y0 = top + (height - size) / 2;
  s.SetBrush(color, BrushStyle::Solid);
  for (int32_t i = 0; i < size; ++i) {
    int32_t half = up ? i : size - 1 - i;
    s.FillRect(cx - half, y0 + i, cx + half + 1, y0 + i + 1);
  }
}

}  // namespace

TGraphicList::TGraphicList(TComponent* owner) : TGraphicElement(owner) {
  SetBounds(0, 0, 0, 0);
  SetOpaque(true);
  FTimer = std::make_unique<TVCLTimer>(this);
  FTimer->SetInterval(FTickInterval);
}

TGraphicList::~TGraphicList() { FTimer.reset(); }

void TGraphicList::SetItemHeight(int32_t v) {
  v = std::max(1, v);
  if (v == FItemHeight) return;
  FItemHeight = v;
  UpdateHeight();
}

void TGraphicList::SetItemIndex(int32_t v) {
  FItemIndex = v;
  if (ScrollMode() && v >= 0) {
    int32_t first = v + 1 - FShowItemCount;
    first = std::min(first, FItems.Count() - FShowItemCount);
    FFirstVisible = std::max(0, first);
  } else {
    FFirstVisible = 0;
  }
  Redraw();
}

void TGraphicList::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicList::SetItems(const TStringList& items) {
  FItems.Clear();
  for (int i = 0; i < items.Count(); ++i) FItems.AddObject(items.Strings(i), items.Objects(i));
  FFirstVisible = std::clamp(FFirstVisible, 0, std::max(0, FItems.Count() - FShowItemCount));
  if (FHotRow >= FItems.Count()) FHotRow = kHotNone;
  UpdateHeight();
  UpdateTimer();
  Redraw();
}

void TGraphicList::SetBorder(int32_t v) {
  v = std::clamp(v, 0, std::max(0, Width() / 2));
  if (v == FBorder) return;
  FBorder = v;
  Redraw();
}

void TGraphicList::SetShowItemCount(int32_t v) {
  v = std::max(1, v);
  if (v == FShowItemCount) return;
  FShowItemCount = v;
  FFirstVisible = std::clamp(FFirstVisible, 0, std::max(0, FItems.Count() - FShowItemCount));
  UpdateHeight();
  UpdateTimer();
  Redraw();
}

void TGraphicList::SetTickInterval(int32_t v) {
  FTickInterval = std::max(1, v);
  FTimer->SetInterval(FTickInterval);
}

void TGraphicList::SetCommandCallback(TOnListCommand callback) {
  FCommandCallback = std::move(callback);
  if (FCommandCallback && !FPressed) SetHotRow(kHotNone);
}

void TGraphicList::SetIsTransparent(bool v) {
  FIsTransparent = v;
  SetOpaque(!v);
  Redraw();
}

void TGraphicList::UpdateHeight() {
  int32_t rows = ScrollMode() ? FShowItemCount + 2 : FItems.Count();
  int32_t h = rows * FItemHeight;
  if (h == Height()) return;
  int32_t top = FDirDown ? Top() : Top() + Height() - h;  // grows upwards, keeping the bottom edge
  SetBounds(Left(), top, Width(), h);
}

void TGraphicList::SetParent(TWinControl* parent) {
  TGraphicElement::SetParent(parent);
  UpdateTimer();
}

void TGraphicList::VisibleChanged() {
  TGraphicElement::VisibleChanged();
  UpdateTimer();
}

void TGraphicList::UpdateTimer() {
  // Re-armed so it lands on the helper of the form the list now sits on.
  FTimer->SetEnabled(false);
  FTimer->SetEnabled(Visible() && Parent() && ScrollMode());
}

int32_t TGraphicList::RowAt(int32_t x, int32_t y) const {
  if (x < 0 || x >= Width() || y < 0) return kHotNone;
  int32_t row = y / FItemHeight;
  if (ScrollMode()) {
    if (row == 0) return kHotUp;
    if (row == FShowItemCount + 1) return kHotDown;
    if (row > FShowItemCount + 1) return kHotNone;
    int32_t item = FFirstVisible + row - 1;
    return item < FItems.Count() ? item : kHotNone;
  }
  return row < FItems.Count() ? row : kHotNone;
}

int32_t TGraphicList::RowTop(int32_t hot) const {
  if (ScrollMode()) {
    if (hot == kHotUp) return 0;
    if (hot == kHotDown) return (FShowItemCount + 1) * FItemHeight;
    if (hot >= FFirstVisible && hot < FFirstVisible + FShowItemCount) return (hot - FFirstVisible + 1) * FItemHeight;
    return -1;
  }
  return hot >= 0 && hot < FItems.Count() ? hot * FItemHeight : -1;
}

void TGraphicList::RedrawHot(int32_t row) {
  int32_t top = RowTop(row);
  if (top >= 0) RedrawRect(0, top, Width() - 1, top + FItemHeight - 1);
}

void TGraphicList::SetHotRow(int32_t row) {
  if (FCommandCallback && !FPressed) row = kHotNone;
  if (row == FHotRow) return;
  int32_t old = FHotRow;
  FHotRow = row;
  if (row != kHotUp && row != kHotDown) FScrollDelay = 0;
  RedrawHot(old);
  RedrawHot(row);
}

void TGraphicList::TrackScreenPoint(int32_t x, int32_t y) {
  int32_t ox = 0, oy = 0;
  ClientToScreen(ox, oy);
  FPointX = x - ox;
  FPointY = y - oy;
  SetHotRow(RowAt(FPointX, FPointY));
}

void TGraphicList::Scroll(int32_t delta) {
  int32_t first = std::clamp(FFirstVisible + delta, 0, std::max(0, FItems.Count() - FShowItemCount));
  if (first == FFirstVisible) return;
  FFirstVisible = first;
  Redraw();
}

void TGraphicList::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseDown(button, shift, x, y);
  if (button != mbLeft || !FCommandCallback) return;
  FPressed = true;
  FPointX = x;
  FPointY = y;
  SetHotRow(RowAt(x, y));
  if (ScrollMode()) {
    if (FHotRow == kHotUp && CanScrollUp()) Scroll(-1);
    if (FHotRow == kHotDown && CanScrollDown()) Scroll(1);
  }
}

void TGraphicList::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  FPointX = x;
  FPointY = y;
  SetHotRow(RowAt(x, y));
}

void TGraphicList::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseUp(button, shift, x, y);
  if (button != mbLeft || !FPressed) return;
  int32_t chosen = FHotRow;
  FPressed = false;
  SetHotRow(RowAt(x, y));
  if (chosen >= 0 && FCommandCallback) {
    FPendingCommand = true;  // called by WndProc once the release is handled
    FCommand = chosen;
  }
}

void TGraphicList::WndProc(TMessage& m) {
  FPendingCommand = false;
  TGraphicElement::WndProc(m);
  if (!FPendingCommand) return;
  FPendingCommand = false;
  // The callback may free this list: call a copy, and touch nothing after.
  TOnListCommand callback = FCommandCallback;
  callback(FCommand);
}

void TGraphicList::TimerTick() {
  if (!ScrollMode() || (FHotRow != kHotUp && FHotRow != kHotDown)) {
    FScrollDelay = 0;
    return;
  }
  if (++FScrollDelay <= 3) return;
  FScrollDelay = 3;
  int32_t hot = FHotRow;
  if (hot == kHotUp && CanScrollUp()) Scroll(-1);
  if (hot == kHotDown && CanScrollDown()) Scroll(1);
}

void TGraphicList::ClickAway() {
  if (!FCommandCallback) return;
  TOnListCommand callback = FCommandCallback;
  callback(-1);
}

void TGraphicList::MouseLeave() {
  if (FUseAutoUpdating || FCommandCallback) SetHotRow(kHotNone);
}

void TGraphicList::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s || Width() <= 0 || Height() <= 0) return;
  const bool images = FFaces.Both();
  const TFont& font = Font();
  const int32_t w = Width(), h = FItemHeight;
  auto row = [&](int32_t top, const std::string& text, bool hot, bool enabled) {
    if (!images) {
      DrawButtonFace(bitmap, 0, top, w, top + h, Color(), hot, enabled, text, FAlignment, FBorder, font);
      return;
    }
    {
      TElementClip clip(bitmap, 0, top, w - 1, top + h - 1);  // a sheet of several frames shows its first
      if (!clip.Empty()) bitmap.AlphaBlit((hot ? FFaces.On() : FFaces.Off())->Bitmap(), 0, top);
    }
    if (text.empty()) return;
    s->SetFont({font.Name, font.Height, font.Bold});
    platform::ui::Point ext = s->TextExtent(text);
    int32_t x = (w - ext.X) / 2, y = top + (h - ext.Y) / 2;
    if (!enabled) {
      s->SetTextColor(ScaleColor(1.3, font.Color));
      s->TextOut(x + 1, y + 1, text);
      s->SetTextColor(ScaleColor(0.4, font.Color));
    } else if (hot) {
      s->SetTextColor(ScaleColor(0.4, font.Color));
      s->TextOut(x - 1, y - 1, text);
      s->SetTextColor(font.Color);
    } else {
      s->SetTextColor(font.Color);
    }
    s->TextOut(x, y, text);
  };
  auto arrow = [&](int32_t top, bool up) {
    bool possible = up ? CanScrollUp() : CanScrollDown();
    bool hot = FHotRow == (up ? kHotUp : kHotDown) && possible;
    row(top, std::string(), hot, possible);
    uint32_t base = images ? font.Color : Color();
    if (possible) {
      DrawArrow(*s, w, top, h, up, font.Color);
    } else {
      DrawArrow(*s, w, top + 1, h, up, ScaleColor(1.4, base));
      DrawArrow(*s, w, top, h, up, ScaleColor(0.71, base));
    }
  };
  if (ScrollMode()) {
    arrow(0, true);
    for (int32_t r = 0; r < FShowItemCount; ++r) {
      int32_t item = FFirstVisible + r;
      if (item < FItems.Count()) row((r + 1) * h, FItems.Strings(item), FHotRow == item, Enabled());
    }
    arrow((FShowItemCount + 1) * h, false);
  } else {
    for (int32_t i = 0; i < FItems.Count(); ++i) row(i * h, FItems.Strings(i), FHotRow == i, Enabled());
  }
}
