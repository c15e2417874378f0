#include "gfx/GraphicText.h"

#include "gfx/ElementClip.h"

TGraphicText::TGraphicText(TComponent* owner) : TGraphicElement(owner) { SetBounds(Left(), Top(), 80, 22); }

TGraphicText::~TGraphicText() {
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
}

void TGraphicText::SetBorder(int32_t v) {
  if (v < 0) v = 0;
  if (v == FBorder) return;
  FBorder = v;
  Redraw();
}

void TGraphicText::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicText::SetParamSrc(TVSTParameterSource* source) {
  if (source == FParamSrc) return;
  if (FParamSrc) FParamSrc->Notifier().Unsubscribe(this);
  if (source) source->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TGraphicText::SourceNotify));
  FParamSrc = source;
  Redraw();
}

void TGraphicText::SourceNotify(TObject*, uint32_t code, int32_t) {
  if (code == pnFreeing) {
    FParamSrc = nullptr;
    Redraw();
  } else if (code == pnValueChanged || code == pnSourceRebound) {
    Redraw();
  }
}

std::string TGraphicText::Text() const {
  TVSTParameter* p = FParamSrc ? FParamSrc->Param() : nullptr;
  if (!p) return "Test";
  std::string text = p->ValueText();
  if (!p->DisplayLabel.empty()) text += " " + p->DisplayLabel;
  return text;
}

void TGraphicText::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s) return;
  int32_t w = Width(), h = Height();
  TElementClip clip(bitmap, FBorder, FBorder, w - FBorder - 1, h - FBorder - 1);
  if (clip.Empty()) return;
  std::string text = Text();
  s->SetFont({Font().Name, Font().Height, Font().Bold});
  s->SetTextColor(Font().Color);
  s->SetBrush(0, platform::ui::BrushStyle::Clear);
  platform::ui::Point extent = s->TextExtent(text);
  int32_t x = FAlignment == taRightJustify ? w - FBorder - extent.X
              : FAlignment == taCenter     ? (w - extent.X) / 2
                                           : FBorder;
  s->TextOut(x, (h - extent.Y) / 2, text);
}
