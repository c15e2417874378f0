#include "gfx/GraphicButton.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "gfx/FrmButtonPopupBase.h"
#include "gfx/GraphicList.h"

namespace {

bool LessText(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

TGraphicButton::TGraphicButton(TComponent* owner) : TGraphicElement(owner) {
  SetBounds(0, 0, 80, 22);
  SetOpaque(true);
}

TGraphicButton::~TGraphicButton() {
  DropPopup(true);
  if (FCaptured && platform::ui::Windows().GetCapture() == ParentHandle()) platform::ui::Windows().ReleaseCapture();
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
}

// ---------------------------------------------------------------- properties

void TGraphicButton::SetBorder(int32_t v) {
  v = std::max(0, v);
  if (v == FBorder) return;
  FBorder = v;
  Redraw();
}

void TGraphicButton::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicButton::SetPrintLabelOnImage(bool v) {
  if (v == FPrintLabelOnImage) return;
  FPrintLabelOnImage = v;
  Redraw();
}

void TGraphicButton::SetDisableContainerOn(bool v) {
  if (v == FDisableContainerOn) return;
  FDisableContainerOn = v;
  Redraw();
}

void TGraphicButton::SetValues(const TStringList& values) {
  FValues.Clear();
  for (int i = 0; i < values.Count(); ++i) FValues.AddObject(values.Strings(i), values.Objects(i));
  if (FParamSrc && FParamSrc->Param()) {
    // Bound: the parameter keeps its value; the button shows it within the new list.
    StoreIndex(FParamSrc->Param()->CurValue(), false);
  } else {
    StoreIndex(std::max(0, FItemIndex), false);
  }
  Redraw();
}

void TGraphicButton::SetItemIndex(int32_t v) { StoreIndex(v, true); }

bool TGraphicButton::StoreIndex(int32_t v, bool request) {
  v = std::max(0, std::min(v, FValues.Count() - 1));
  if (v == FItemIndex) return false;
  FItemIndex = v;
  FPrevious = DefaultItem;
  if (request) RequestParam();
  Redraw();
  return true;
}

void TGraphicButton::RequestParam() {
  if (FParamSrc && FParamSrc->Param()) FParamSrc->Param()->RequestEdit(FItemIndex);
}

void TGraphicButton::SetParamSrc(TVSTParameterSource* source) {
  if (source == FParamSrc) return;
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
  FParamSrc = source;
  if (!source) return;
  source->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicButton::SourceNotify));
  if (source->Param()) StoreIndex(source->Param()->CurValue(), false);
}

void TGraphicButton::SourceNotify(TObject*, uint32_t code, int32_t) {
  switch (code) {
    case pnFreeing: FParamSrc = nullptr; break;
    case pnRangeChanged:
    case pnValueChanged:
    case pnSourceRebound:
      if (FParamSrc && FParamSrc->Param()) StoreIndex(FParamSrc->Param()->CurValue(), false);
      break;
    default: break;
  }
}

// ---------------------------------------------------------------- stepping

void TGraphicButton::Step(int32_t delta) {
  int32_t n = FValues.Count();
  if (n < 2) return;
  FItemIndex = ((FItemIndex + delta) % n + n) % n;
  FPrevious = DefaultItem;
  RequestParam();
  Redraw();
  OnChange(this);
}

void TGraphicButton::WheelUp() {
  if (EnableMouseWheel && !FTracking) Step(-1);
}

void TGraphicButton::WheelDown() {
  if (EnableMouseWheel && !FTracking) Step(1);
}

// ---------------------------------------------------------------- mouse

void TGraphicButton::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (!FTracking) {
    bool accept = button == mbLeft || (button == mbRight && Switching);
    if (accept && button == mbLeft && ShowPopup) accept = !FPopupList && OpenPopup();
    if (accept) {
      FTracking = true;
      FTrackButton = button;
      if (button == mbRight && ParentHandle()) {
        platform::ui::Windows().SetCapture(ParentHandle());
        FCaptured = true;
      }
      FPressed = true;
      Redraw();
    }
  }
  // Last: a press here while this button's popup is the active element closes it.
  TGraphicElement::MouseDown(button, shift, x, y);
}

void TGraphicButton::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  if (!FTracking) return;
  if (FPopupList) {
    int32_t sx = x, sy = y;
    ClientToScreen(sx, sy);
    FPopupList->TrackScreenPoint(sx, sy);
    return;
  }
  bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
  if (inside != FPressed) {
    FPressed = inside;
    Redraw();
  }
}

void TGraphicButton::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseUp(button, shift, x, y);
  if (!FTracking || button != FTrackButton) return;
  FTracking = false;
  bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
  if (FPopupList) {
    if (inside) {
      // The popup stays open: the list now takes its own clicks and learns of clicks elsewhere.
      FPopupList->SetCommandCallback(TOnListCommand::Bind(this, &TGraphicButton::ClosePopup));
      FPopupList->MakeActive();
    } else {
      ClosePopup(FPopupList->HotRow());
    }
    return;
  }
  if (FCaptured) {
    FCaptured = false;
    if (platform::ui::Windows().GetCapture() == ParentHandle()) platform::ui::Windows().ReleaseCapture();
  }
  FPressed = false;
  Redraw();
  if (!inside) return;
  if (button == mbRight && Switching) {
    int32_t back = std::max(0, std::min(FPrevious, FValues.Count() - 1));
    if (back != FItemIndex) {
      FPrevious = FItemIndex;
      FItemIndex = back;
      RequestParam();
      Redraw();
      OnChange(this);
    }
  } else {
    Step(1);
  }
  if (OnAltClick)
    OnAltClick(this);
  else
    OnAltClickShift(this, shift);
}

// ---------------------------------------------------------------- popup

bool TGraphicButton::OpenPopup() {
  TWinControl* parent = Parent();
  if (FPopupList || !parent || !(FValues.Count() > 1 || GenPopup)) return false;

  TFormButtonPopupBase* form = nullptr;
  TGraphicList* list = nullptr;
  if (PopupUseBase) {
    // Owned by the button's form, so the form's teardown frees it even
    // while it waits for its deferred free.
    form = new TFormButtonPopupBase(parent);
    form->SetParent(parent);
    list = new TGraphicList(form);
    list->SetVisible(false);
    list->SetParent(form);
  } else {
    list = new TGraphicList(nullptr);
    list->SetVisible(false);
    list->SetParent(parent);
  }
  list->SetDirDown(PopupDown);
  list->SetTickInterval(ScrollInterval);
  list->SetShowItemCount(ShowPopupItemCount);
  list->SetContainerOn(ListContainerOn);
  list->SetContainerOff(ListContainerOff);
  list->SetItemHeight(PopupHeight > 0 ? PopupHeight : Height());
  list->SetWidth(PopupWidth > 0 ? PopupWidth : Width());
  list->SetBorder(4);  // after the width, which limits it
  list->SetFont(Font());
  list->SetColor(Color());
  if (form) {
    form->SetBounds(Left(), PopupDown ? Top() + Height() : Top(), list->Width(), form->Height());
  } else {
    list->SetLeft(Left());
    list->SetTop(PopupDown ? Top() + Height() : Top());
  }

  TStringList entries;
  int32_t index = 0;
  if (GenPopup) {
    if (OnGenPopup)
      OnGenPopup(this, &entries);
    else
      OnGenPopupIdx(this, &entries, index);
    if (entries.Count() == 0) {
      if (form)
        delete form;
      else
        delete list;
      return false;
    }
  } else {
    for (int i = 0; i < FValues.Count(); ++i) entries.AddObject(FValues.Strings(i), i);
  }
  if (SortedPopup) {
    std::vector<std::pair<std::string, intptr_t>> rows;
    for (int i = 0; i < entries.Count(); ++i) rows.emplace_back(entries.Strings(i), entries.Objects(i));
    intptr_t chosen = index >= 0 && index < entries.Count() ? entries.Objects(index) : -1;
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return LessText(a.first, b.first); });
    entries.Clear();
    for (auto& [text, object] : rows) entries.AddObject(text, object);
    if (GenPopup)
      for (int i = 0; i < entries.Count(); ++i)
        if (entries.Objects(i) == chosen) index = i;
  }
  if (!GenPopup)
    for (int i = 0; i < entries.Count(); ++i)
      if (entries.Objects(i) == FItemIndex) index = i;
  list->SetItems(entries);
  list->SetItemIndex(index);

  if (form) {
    if (!PopupDown) {
      list->SetTop(0);
      form->SetBounds(Left(), Top() - list->Height(), list->Width(), list->Height());
    } else {
      form->SetBounds(form->Left(), form->Top(), list->Width(), list->Height());
    }
    list->SetGfxCanvas(form->GraphicCanvas1);
    form->OnFreeing = TNotifyEvent::Bind(this, &TGraphicButton::PopupFormFreeing);
    form->ShowPopup();
  } else {
    list->SetGfxCanvas(GfxCanvas());
  }
  FPopupList = list;
  FPopupForm = form;
  int32_t sx = 0, sy = 0;
  if (platform::ui::Windows().GetCursorPos(sx, sy)) list->TrackScreenPoint(sx, sy);
  list->SetVisible(true);
  return true;
}

void TGraphicButton::PopupFormFreeing(TObject*) {
  // The form's owner is freeing it (the editor closes): the list goes with it.
  FPopupForm = nullptr;
  FPopupList = nullptr;
  FTracking = false;
  FPressed = false;
}

void TGraphicButton::DropPopup(bool freeNow) {
  TGraphicList* list = FPopupList;
  TFormButtonPopupBase* form = FPopupForm;
  if (!list) return;
  FPopupList = nullptr;
  FPopupForm = nullptr;
  list->SetCommandCallback({});
  TVCLForm::ReleaseActive(list);
  list->SetVisible(false);
  if (!form) {
    delete list;
    return;
  }
  form->OnFreeing.Unbind();
  form->Hide();
  if (freeNow) {
    delete form;
    return;
  }
  // Closing usually runs inside the list's own handlers on that form: free it later.
  // When nothing can be posted, the form stays hidden until its owner frees it.
  if (auto* host = dynamic_cast<TVCLForm*>(Parent()))
    host->PostToHelper(TKM_FREEOBJECT, reinterpret_cast<intptr_t>(static_cast<TObject*>(form)));
}

void TGraphicButton::ClosePopup(int32_t row) {
  TGraphicList* list = FPopupList;
  if (!list) return;
  bool changed = false, command = false;
  intptr_t cmd = 0;
  if (row >= 0 && row < list->Items().Count()) {
    intptr_t object = list->Items().Objects(row);
    if (GenPopup) {
      command = true;
      cmd = object;
    } else if (object != FItemIndex) {
      changed = StoreIndex(static_cast<int32_t>(object), true);
    }
  }
  DropPopup(false);
  FTracking = false;
  FPressed = false;
  Redraw();
  if (command)
    OnGenPopupCommand(this, cmd);
  else if (changed)
    OnChange(this);
}

// ---------------------------------------------------------------- painting

void TGraphicButton::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s || Width() <= 0 || Height() <= 0) return;
  std::string text =
      FValues.Count() > 0 ? FValues.Strings(std::clamp(FItemIndex, 0, FValues.Count() - 1)) : "No values";
  if (!(FFaces.Both())) {
    DrawButtonFace(bitmap, 0, 0, Width(), Height(), Color(), FPressed, Enabled(), text, FAlignment, FBorder, Font());
    return;
  }
  bool on = FPressed || (FItemIndex == 1 && !FDisableContainerOn);
  bitmap.AlphaBlit((on ? FFaces.On() : FFaces.Off())->Bitmap(), 0, 0);
  if (!FPrintLabelOnImage) return;
  const TFont& font = Font();
  s->SetFont({font.Name, font.Height, font.Bold});
  platform::ui::Point ext = s->TextExtent(text);
  int32_t x = FAlignment == taRightJustify ? Width() - FBorder - ext.X
              : FAlignment == taCenter     ? (Width() - ext.X) / 2
                                           : FBorder;
  s->SetTextColor(font.Color);
  s->TextOut(x, (Height() - ext.Y) / 2, text);
}
