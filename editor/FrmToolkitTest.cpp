#include "editor/FrmToolkitTest.h"

#include <algorithm>
#include <vector>

namespace {

struct PadDecl {
  const char* Name;
  const char* Caption;
  int32_t Left, Top;
  uint32_t Color;  // 0x00BBGGRR
};

const PadDecl kPadDecls[TFormToolkitTest::kPads] = {
    {"Pad1", "Pad 1", 40, 40, 0x003030C0},
    {"Pad2", "Pad 2", 240, 40, 0x00C03030},
    {"Pad3", "Pad 3", 40, 200, 0x0030A0C0},
    {"Pad4", "Pad 4", 240, 200, 0x00A030A0},
};

constexpr int32_t kPadW = 160, kPadH = 100;

// A dark vertical gradient with a faint grid, made here so the form needs no files.
TPicture BackgroundPicture(int32_t w, int32_t h) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v = static_cast<uint32_t>(24 + 40 * y / h);
      if (x % 40 == 0 || y % 40 == 0) v += 16;
      px[static_cast<size_t>(y * w + x)] = (v << 16) | (v << 8) | (v + 12);
    }
  TPicture p;
  p.Assign(w, h, px.data());
  return p;
}

}  // namespace

TToolkitPad::TToolkitPad(TComponent* owner, const std::string& caption, uint32_t color)
    : TGraphicElement(owner), FCaption(caption), FColor(color) {
  SetOpaque(true);
}

uint32_t TToolkitPad::HotColor(uint32_t base) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8)
    out |= std::min<uint32_t>(((base >> shift) & 0xFF) + 0x30, 0xFF) << shift;
  return out;
}

void TToolkitPad::PaintTo(TLinearBitmap& bitmap) {
  platform::ui::Surface* s = bitmap.Canvas();
  if (!s) return;
  uint32_t fill = FClicks % 2 ? kOnColor : FHot ? HotColor(FColor) : FColor;
  s->SetBrush(fill, platform::ui::BrushStyle::Solid);
  s->FillRect(0, 0, Width(), Height());
  s->SetBrush(0x00FFFFFF, platform::ui::BrushStyle::Solid);
  s->FrameRect(0, 0, Width(), Height());
  s->SetFont({"Tahoma", 14, true});
  s->SetTextColor(0x00FFFFFF);
  s->TextOut(10, 8, FCaption);
  s->SetFont({"Tahoma", 11, false});
  s->TextOut(10, 30, "clicks " + std::to_string(FClicks) + "  wheel " + std::to_string(FWheel));
  int32_t bar = Width() * std::clamp(FWheel, 0, 10) / 10;
  if (bar > 0) {
    s->SetBrush(kBarColor, platform::ui::BrushStyle::Solid);
    s->FillRect(0, Height() - 12, bar, Height());
  }
}

void TToolkitPad::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  ++FClicks;
  Redraw();
}

void TToolkitPad::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TGraphicElement::MouseMove(shift, x, y);
  bool inside = x >= 0 && y >= 0 && x < Width() && y < Height();
  if (inside != FHot) {
    FHot = inside;
    Redraw();
  }
}

void TToolkitPad::MouseLeave() {
  if (!FHot) return;
  FHot = false;
  Redraw();
}

void TToolkitPad::WheelUp() {
  ++FWheel;
  Redraw();
}

void TToolkitPad::WheelDown() {
  --FWheel;
  Redraw();
}

TFormToolkitTest::TFormToolkitTest(TComponent* owner) : TVCLForm(owner) {
  NoClickFocus = true;
  SetBounds(0, 0, 600, 480);
  FBackground = new TGraphicContainer(this);
  FBackground->SetName("Background");
  FBackground->SetPicture(BackgroundPicture(600, 480));
  FCanvas = new TGraphicCanvas(this);
  FCanvas->SetName("Canvas");
  FCanvas->SetParent(this);
  FCanvas->SetBounds(0, 0, 600, 480);
  FCanvas->SetContainer(FBackground);
  FCanvas->SetRefreshInterval(50);
  for (int i = 0; i < kPads; ++i) {
    const PadDecl& d = kPadDecls[i];
    FPads[i] = new TToolkitPad(this, d.Caption, d.Color);
    FPads[i]->SetName(d.Name);
    FPads[i]->SetBounds(d.Left, d.Top, kPadW, kPadH);
    FPads[i]->SetParent(this);
    FPads[i]->SetGfxCanvas(FCanvas);
  }
  // The last pad shows a disabled control faded into the background.
  FPads[kPads - 1]->SetTranspOnDisable(true);
  FPads[kPads - 1]->SetEnabled(false);
}

TComponent* CreateToolkitTestForm(void* parentWindow) {
  auto* form = new TFormToolkitTest(nullptr);
  if (!form->CreateWindowIn(reinterpret_cast<platform::ui::Handle>(parentWindow))) {
    delete form;
    return nullptr;
  }
  return form;
}
