#include "gfx/GraphicLabel.h"

#include "gfx/ElementClip.h"

std::string ShortenFilePath(const std::string& path, int32_t maxWidth,
                            const std::function<int32_t(const std::string&)>& measure) {
  static const char kSeparators[] = "\\/";
  size_t first = path.rfind("\\\\", 0) == 0 ? path.find_first_of(kSeparators, 2) : path.find_first_of(kSeparators);
  if (first == std::string::npos) return path;
  std::string s = path;
  size_t pos = first + 1;
  while (measure(s) > maxWidth) {
    size_t sep = s.find_first_of(kSeparators, pos);
    if (sep == std::string::npos) break;  // only the file name is left
    if (sep - pos <= 3) {                 // short names (and "..." itself) stay
      pos = sep + 1;
      continue;
    }
    s.replace(pos, sep - pos, "...");
    pos += 4;  // past the separator after the inserted "..."
  }
  return s;
}

TGraphicLabel::TGraphicLabel(TComponent* owner) : TGraphicElement(owner) { SetBounds(Left(), Top(), 80, 22); }

void TGraphicLabel::SetCaption(const std::string& v) {
  if (v == FCaption) return;
  FCaption = v;
  Redraw();
}

void TGraphicLabel::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Redraw();
}

void TGraphicLabel::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  Redraw();
}

void TGraphicLabel::SetIsFilePath(bool v) {
  if (v == FIsFilePath) return;
  FIsFilePath = v;
  Redraw();
}

void TGraphicLabel::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s || Width() <= 0 || Height() <= 0) return;
  TElementClip clip(bitmap, 0, 0, Width() - 1, Height() - 1);
  if (clip.Empty()) return;
  s->SetFont({Font().Name, Font().Height, Font().Bold});
  s->SetTextColor(Font().Color);
  s->SetBrush(0, platform::ui::BrushStyle::Clear);
  int32_t w = s->TextExtent(FCaption).X;
  if (FIsFilePath && FAlignment == taLeftJustify && w > Width()) {
    s->TextOut(0, 0, ShortenFilePath(FCaption, Width(), [s](const std::string& t) { return s->TextExtent(t).X; }));
    return;
  }
  int32_t x = FAlignment == taRightJustify ? Width() - w : FAlignment == taCenter ? (Width() - w + 1) / 2 : 0;
  s->TextOut(x, 0, FCaption);
}
