#include "editor/FrmGallery.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Colours of pictures are 0x00RRGGBB; colours of controls and fonts 0x00BBGGRR.
constexpr uint32_t kAccent = 0x00F0A040;   // the dial's value arc (RGB)
constexpr uint32_t kCaption = 0x00C8C0B8;  // captions (BGR)
constexpr uint32_t kFace = 0x00584E48;     // button, group, list and switch faces (BGR)

uint32_t Rgb(double r, double g, double b) {
  auto c = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
  return (c(r) << 16) | (c(g) << 8) | c(b);
}

uint32_t Mix(uint32_t a, uint32_t b, double t) {  // a towards b by t (0..1), per channel
  auto ch = [&](int shift) { return ((a >> shift) & 0xFF) * (1 - t) + ((b >> shift) & 0xFF) * t; };
  return Rgb(ch(16), ch(8), ch(0));
}

double Coverage(double edge, double d) { return std::clamp(edge + 0.5 - d, 0.0, 1.0); }

// Distance from p to the segment a..b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double vx = bx - ax, vy = by - ay;
  double t = std::clamp(((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
  return std::hypot(px - ax - t * vx, py - ay - t * vy);
}

// The dial sheet and its mask (blue 0: covers the background, 255: lets it
// through). Each frame: a shaded disc with a pointer, in a ring whose arc up
// to the pointer's angle is lit; the angle runs from -135 to +135 degrees
// (0 straight up) over the frames.
void DrawDials(TPicture& sheet, TPicture& mask) {
  constexpr int32_t n = TFormGallery::kDial, cols = TFormGallery::kDialColumns;
  constexpr int32_t rows = (TFormGallery::kDialFrames + cols - 1) / cols;
  const int32_t w = n * cols, h = n * rows;
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  std::vector<uint32_t> mk(px.size(), 0xFFFFFF);
  const double c = n / 2.0, ringOuter = c - 1.0, ringInner = c - 5.0, disc = c - 7.0;
  for (int32_t k = 0; k < TFormGallery::kDialFrames; ++k) {
    const double angle = (-135.0 + 270.0 * k / (TFormGallery::kDialFrames - 1)) * kPi / 180.0;
    const double tipX = c + std::sin(angle) * (disc - 3), tipY = c - std::cos(angle) * (disc - 3);
    const double footX = c + std::sin(angle) * disc * 0.35, footY = c - std::cos(angle) * disc * 0.35;
    const int32_t ox = (k % cols) * n, oy = (k / cols) * n;
    for (int32_t y = 0; y < n; ++y)
      for (int32_t x = 0; x < n; ++x) {
        const double fx = x + 0.5 - c, fy = y + 0.5 - c, d = std::hypot(fx, fy);
        const double a = std::atan2(fx, -fy);  // 0 up, clockwise positive
        // The ring: lit from the start angle to the pointer, dim elsewhere and in the gap at the bottom.
        const double ring = Coverage(ringOuter, d) * (1 - Coverage(ringInner, d));
        const bool inSweep = a >= -135.0 * kPi / 180.0 && a <= 135.0 * kPi / 180.0;
        uint32_t colour = inSweep && a <= angle ? kAccent : inSweep ? 0x00303438 : 0x00202326;
        double cover = ring;
        // The disc: lit from the top left, a darker rim, the pointer in white.
        const double dc = Coverage(disc, d);
        if (dc > 0) {
          const double light = 0.5 - 0.5 * (fx + fy) / (2 * disc);
          uint32_t body = Rgb(70 + 60 * light, 74 + 60 * light, 82 + 60 * light);
          body = Mix(body, 0x00202428, std::clamp((d - (disc - 2.5)) / 2.5, 0.0, 1.0));
          const double pointer = Coverage(1.3, SegmentDistance(x + 0.5, y + 0.5, footX, footY, tipX, tipY));
          body = Mix(body, 0x00F4F4F4, pointer);
          colour = cover > 0 ? Mix(colour, body, dc) : body;
          cover = std::max(cover, dc);
        }
        const size_t i = static_cast<size_t>(oy + y) * static_cast<size_t>(w) + static_cast<size_t>(ox + x);
        px[i] = colour;
        const uint32_t through = static_cast<uint32_t>(std::lround(255 * (1 - cover)));
        mk[i] = (through << 16) | (through << 8) | through;
      }
  }
  sheet.Assign(w, h, px.data());
  mask.Assign(w, h, mk.data());
}

// A dark vertical gradient with two panels, so the form needs no files.
TPicture Background(int32_t w, int32_t h) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
  auto inPanel = [](int32_t x, int32_t y) {
    return (x >= 8 && x < 512 && y >= 36 && y < 140) || (x >= 8 && x < 512 && y >= 148 && y < 242);
  };
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v = Rgb(30 + 14.0 * y / h, 33 + 14.0 * y / h, 40 + 16.0 * y / h);
      if (inPanel(x, y)) v = Mix(v, 0x00000000, 0.25);
      if (inPanel(x, y) != inPanel(x, y - 1) || inPanel(x, y) != inPanel(x - 1, y)) v = 0x00505660;
      px[static_cast<size_t>(y * w + x)] = v;
    }
  TPicture p;
  p.Assign(w, h, px.data());
  return p;
}

// The image control's picture: a row of bars in a hue sweep, like a small spectrum.
TPicture SpectrumPicture(int32_t w, int32_t h) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h), 0x00181A1E);
  const int32_t bars = 16, bw = w / bars;
  for (int32_t b = 0; b < bars; ++b) {
    const double t = static_cast<double>(b) / (bars - 1);
    const int32_t top = h - 4 - static_cast<int32_t>((h - 10) * (0.35 + 0.6 * std::sin(t * kPi * 0.9 + 0.4)));
    const uint32_t colour = Rgb(60 + 190 * t, 200 - 80 * t, 240 - 190 * t);
    for (int32_t y = std::max(top, 0); y < h - 2; ++y)
      for (int32_t x = b * bw + 1; x < (b + 1) * bw - 1; ++x)
        px[static_cast<size_t>(y * w + x)] = Mix(colour, 0x00000000, 0.5 * (y - top) / (h - top));
  }
  TPicture p;
  p.Assign(w, h, px.data());
  return p;
}

TStringList Strings(std::initializer_list<const char*> texts) {
  TStringList l;
  for (const char* t : texts) l.Add(t);
  return l;
}

TFont MakeFont(int32_t height, bool bold, uint32_t color) {
  TFont f;
  f.Height = height;
  f.Bold = bold;
  f.Color = color;
  return f;
}

}  // namespace

TFormGallery::TFormGallery(TComponent* owner, TVSTParameterHost* params) : TVCLForm(owner) {
  NoClickFocus = true;
  SetBounds(0, 0, kWidth, kHeight);
  FProxy = new TVSTParameterHostProxy(this);
  FProxy->SetHost(params);

  FBackground = new TGraphicContainer(this);
  FBackground->SetPicture(Background(kWidth, kHeight));
  FCanvas = new TGraphicCanvas(this);
  FCanvas->SetParent(this);
  FCanvas->SetBounds(0, 0, kWidth, kHeight);
  FCanvas->SetContainer(FBackground);
  FCanvas->SetRefreshInterval(50);

  auto place = [this](TGraphicElement* e, int32_t l, int32_t t, int32_t w, int32_t h) {
    e->SetBounds(l, t, w, h);
    e->SetParent(this);
    e->SetGfxCanvas(FCanvas);
  };
  const TFont text = MakeFont(11, false, 0x00F0F0F0);

  TGraphicLabel* title = Caption("Control gallery", 12, 10, 300);
  title->SetFont(MakeFont(14, true, 0x00F0E8E0));
  title->SetBounds(12, 8, 300, 20);

  // Knob and its value text: MainOut.
  TPicture sheet, mask;
  DrawDials(sheet, mask);
  FDialMask = new TGraphicContainer(this);
  FDialMask->SetPicture(mask);
  FDialSheet = new TGraphicContainer(this);
  FDialSheet->SetWidth(kDial);
  FDialSheet->SetHeight(kDial);
  FDialSheet->SetAlpha(FDialMask);
  FDialSheet->SetPicture(sheet);
  Caption("Main out", 16, 42, 72)->SetAlignment(taCenter);
  FKnob = new TGraphicKnob(this);
  place(FKnob, 28, 58, kDial, kDial);
  FKnob->SetContainer(FDialSheet);
  FKnob->SetIsTransparent(true);
  FKnob->SetParamSrc(Bind("MainOut"));
  FValueText = new TGraphicText(this);
  place(FValueText, 16, 110, 72, 20);
  FValueText->SetAlignment(taCenter);
  FValueText->SetFont(text);
  FValueText->SetParamSrc(FKnob->ParamSrc());

  // A button stepping through its values, and one with a popup list.
  Caption("Detector", 112, 42, 110);
  FValuesButton = new TGraphicButton(this);
  place(FValuesButton, 112, 58, 110, 20);
  FValuesButton->SetColor(kFace);
  FValuesButton->SetFont(text);
  FValuesButton->SetAlignment(taCenter);
  FValuesButton->SetValues(Strings({"Peak", "Envelope"}));
  FValuesButton->SetParamSrc(Bind("Detectr"));
  Caption("M/S mode", 112, 88, 110);
  FPopupButton = new TGraphicButton(this);
  place(FPopupButton, 112, 104, 110, 20);
  FPopupButton->SetColor(kFace);
  FPopupButton->SetFont(text);
  FPopupButton->SetAlignment(taCenter);
  FPopupButton->SetValues(Strings({"Off", "Mid", "Side"}));
  FPopupButton->ShowPopup = true;
  FPopupButton->PopupDown = true;
  FPopupButton->SetParamSrc(Bind("MSMode"));

  // A radio group and a switch.
  Caption("Curve mode", 246, 42, 150);
  FGroup = new TGraphicGroup(this);
  place(FGroup, 246, 58, 150, 20);
  FGroup->SetItemWidth(75);
  FGroup->SetColor(kFace);
  FGroup->SetFont(text);
  FGroup->SetValues(Strings({"Normal", "Inverted"}));
  FGroup->SetParamSrc(Bind("CMode"));
  Caption("Fluffy", 246, 88, 150);
  FSwitch = new TGraphicSwitch(this);
  place(FSwitch, 246, 104, 72, 20);
  FSwitch->SetColor(kFace);
  FSwitch->SetFont(text);
  FSwitch->SetAlignment(taCenter);
  FSwitch->SetCaption("Fluffy");
  FSwitchSource = Bind("Fluffy");
  FSwitchSource->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TFormGallery::SwitchSourceNotify));
  SyncSwitch();
  FSwitch->OnChange = TNotifyEvent::Bind(this, &TFormGallery::SwitchChange);

  // A list with more entries than rows: arrows and scrolling.
  Caption("Presets", 420, 42, 84);
  FList = new TGraphicList(this);
  place(FList, 420, 58, 84, 0);
  FList->SetColor(kFace);
  FList->SetFont(text);
  FList->SetDirDown(true);  // grows down from its top
  FList->SetItemHeight(13);
  FList->SetAlignment(taCenter);
  FList->SetShowItemCount(4);
  FList->SetItems(Strings({"Init", "Gentle", "Glue", "Broad", "Bright", "De-ess", "Wide"}));
  FList->SetItemIndex(0);

  // A long path, shortened to fit; an image.
  Caption("Last bank", 16, 156, 300);
  FPathLabel = new TGraphicLabel(this);
  place(FPathLabel, 16, 174, 300, 16);
  FPathLabel->SetFont(MakeFont(11, false, 0x00E0E0E0));
  FPathLabel->SetIsFilePath(true);
  FPathLabel->SetCaption(
      "C:\\Users\\Someone\\Documents\\Audio Projects\\Album Sessions 2024\\Mastering\\Banks\\Bright Master.fxb");
  Caption("Image", 340, 156, 160);
  FImagePicture = new TGraphicContainer(this);
  FImagePicture->SetPicture(SpectrumPicture(160, 56));
  FImage = new TGraphicImage(this);
  place(FImage, 340, 174, 160, 56);
  FImage->SetContainer(FImagePicture);
}

TFormGallery::~TFormGallery() {
  // The source goes away with the form's components, after this part of the form.
  FSwitchSource->Notifier().Unsubscribe(this);
}

TVSTParameterSource* TFormGallery::Bind(const char* name) {
  auto* s = new TVSTParameterSource(this);
  s->SetProxy(FProxy);
  s->SetVSTParamName(name);
  return s;
}

TGraphicLabel* TFormGallery::Caption(const char* text, int32_t left, int32_t top, int32_t width) {
  auto* l = new TGraphicLabel(this);
  l->SetBounds(left, top, width, 14);
  l->SetParent(this);
  l->SetGfxCanvas(FCanvas);
  l->SetFont(MakeFont(11, false, kCaption));
  l->SetCaption(text);
  return l;
}

// The switch has no parameter of its own: a click requests the value, and
// the switch follows the value the host accepted.
void TFormGallery::SwitchChange(TObject*) {
  if (TVSTParameter* p = FSwitchSource->Param()) p->RequestValue(FSwitch->Checked() ? 1 : 0);
  SyncSwitch();
}

void TFormGallery::SwitchSourceNotify(TObject*, uint32_t code, int32_t) {
  if (code == pnValueChanged || code == pnSourceRebound) SyncSwitch();
}

void TFormGallery::SyncSwitch() {
  TVSTParameter* p = FSwitchSource->Param();
  FSwitch->SetChecked(p && p->CurValue() != 0);
}

TComponent* CreateGalleryForm(void* parentWindow, TVSTParameterHost* params) {
  auto* form = new TFormGallery(nullptr, params);
  if (!form->CreateWindowIn(reinterpret_cast<platform::ui::Handle>(parentWindow))) {
    delete form;
    return nullptr;
  }
  return form;
}
