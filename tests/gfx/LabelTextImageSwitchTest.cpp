// Labels, value texts, images and switches on a real form and canvas in the
// headless window system. Text placement is checked against the same text
// drawn by hand where the rules put it.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gfx/GraphicImage.h"
#include "gfx/GraphicLabel.h"
#include "gfx/GraphicSwitch.h"
#include "gfx/GraphicText.h"
#include "params/model/VSTParameterHost.h"
#include "platform/ui/HeadlessWindows.h"

using platform::ui::HeadlessWindowSystem;

namespace {

constexpr uint32_t kBackground = 0x00302010;  // 0x00BBGGRR
constexpr uint32_t ToScreen(uint32_t ref) { return ((ref & 0xFF) << 16) | (ref & 0xFF00) | ((ref >> 16) & 0xFF); }

class Controls : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({0, 0, 399, 299});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 400, 300);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 400, 300);
    Canvas->SetColor(kBackground);
    Form->Show();
    Ws.Advance(1);
  }
  void TearDown() override {
    delete Form;
    platform::ui::SetWindowSystem(FPrevious);
  }
  template <class T>
  T* Add(int32_t l, int32_t t, int32_t w, int32_t h) {
    auto* c = new T(Form);
    c->SetBounds(l, t, w, h);
    c->SetParent(Form);
    c->SetGfxCanvas(Canvas);
    return c;
  }
  // The form's pixels (screen colours) over a control's rectangle.
  std::vector<uint32_t> Shown(const TControl* c) {
    Ws.Advance(1);
    const std::vector<uint32_t>& all = *Ws.WindowPixels(Form->Handle());
    std::vector<uint32_t> out;
    for (int32_t y = c->Top(); y < c->Top() + c->Height(); ++y)
      for (int32_t x = c->Left(); x < c->Left() + c->Width(); ++x)
        out.push_back(all[static_cast<size_t>(y * Form->Width() + x)] & 0xFFFFFF);
    return out;
  }
  // What a control of size w x h shows when text is drawn at (x, y), clipped
  // to the inclusive rectangle clip, over the background.
  static std::vector<uint32_t> Expected(int32_t w, int32_t h, const TFont& font, const std::string& text, int32_t x,
                                        int32_t y, platform::ui::Rect clip) {
    TLinearBitmap b(w, h);
    b.Canvas()->SetBrush(kBackground, platform::ui::BrushStyle::Solid);
    b.Canvas()->FillRect(0, 0, w, h);
    b.SetViewport(0, 0, clip.Left, clip.Top, clip.Right, clip.Bottom);
    b.Canvas()->SetFont({font.Name, font.Height, font.Bold});
    b.Canvas()->SetTextColor(font.Color);
    b.Canvas()->TextOut(x, y, text);
    b.Canvas()->Flush();
    std::vector<uint32_t> out(b.Bits(), b.Bits() + static_cast<size_t>(w) * static_cast<size_t>(h));
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
  }
  static platform::ui::Point Extent(const TFont& font, const std::string& text) {
    TLinearBitmap b(1, 1);
    b.Canvas()->SetFont({font.Name, font.Height, font.Bold});
    return b.Canvas()->TextExtent(text);
  }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

TFont White() {
  TFont f;
  f.Color = 0x00FFFFFF;
  f.Height = 12;
  return f;
}

// ---------------------------------------------------------------- label

TEST(ShortenFilePath, ReplacesDirectoryNamesLeftToRight) {
  auto chars = [](const std::string& s) { return static_cast<int32_t>(s.size()); };
  struct Case {
    const char* path;
    int32_t width;
    const char* shown;
  } cases[] = {
      {"C:\\Program Files\\Vendor\\Plugins\\file.dll", 40, "C:\\Program Files\\Vendor\\Plugins\\file.dll"},
      {"C:\\Program Files\\Vendor\\Plugins\\file.dll", 39, "C:\\...\\Vendor\\Plugins\\file.dll"},
      {"C:\\Program Files\\Vendor\\Plugins\\file.dll", 29, "C:\\...\\...\\Plugins\\file.dll"},
      {"C:\\Program Files\\Vendor\\Plugins\\file.dll", 5, "C:\\...\\...\\...\\file.dll"},
      {"C:\\ab\\Longdir\\f.txt", 10, "C:\\ab\\...\\f.txt"},  // names of up to three characters stay
      {"C:\\abc\\abcd\\f.txt", 1, "C:\\abc\\...\\f.txt"},
      {"\\\\server\\share\\folder\\f", 5, "\\\\server\\...\\...\\f"},  // the server name stays
      {"/home/user/documents/f", 10, "/.../.../.../f"},
      {"relative/longname/f", 10, "relative/.../f"},
      {"filename.txt", 3, "filename.txt"},
      {"C:\\file.txt", 3, "C:\\file.txt"},
      {"", 0, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShortenFilePath(c.path, c.width, chars), c.shown) << c.path << " in " << c.width;
}

TEST_F(Controls, LabelPlacesItsCaptionByAlignment) {
  const TFont font = White();
  const std::string text = "Level";
  const int32_t w = Extent(font, text).X;
  struct Case {
    TAlignment alignment;
    int32_t W, x;
  } cases[] = {
      {taLeftJustify, 80, 0},           {taRightJustify, 80, 80 - w}, {taCenter, 80, (80 - w + 1) / 2},
      {taCenter, 81, (81 - w + 1) / 2}, {taRightJustify, w - 4, -4},  // wider than the control: clipped on the left
  };
  for (const Case& c : cases) {
    auto* label = Add<TGraphicLabel>(10, 10, c.W, 22);
    label->SetFont(font);
    label->SetCaption(text);
    label->SetAlignment(c.alignment);
    EXPECT_EQ(Shown(label), Expected(c.W, 22, font, text, c.x, 0, {0, 0, c.W - 1, 21})) << c.alignment << " " << c.W;
    delete label;
  }
}

TEST_F(Controls, LabelWithAFilePathShowsItShortenedWhenLeftAligned) {
  const TFont font = White();
  const std::string path = "C:\\Program Files\\Common Files\\Plugins\\Effect.dll";
  auto* label = Add<TGraphicLabel>(10, 40, 150, 22);
  label->SetFont(font);
  label->SetCaption(path);
  label->SetIsFilePath(true);
  auto measure = [&](const std::string& s) { return Extent(font, s).X; };
  std::string shortened = ShortenFilePath(path, 150, measure);
  ASSERT_NE(shortened, path);
  ASSERT_LE(measure(shortened), 150);
  EXPECT_EQ(Shown(label), Expected(150, 22, font, shortened, 0, 0, {0, 0, 149, 21}));
  label->SetAlignment(taRightJustify);  // only left-aligned labels shorten
  EXPECT_EQ(Shown(label), Expected(150, 22, font, path, 150 - measure(path), 0, {0, 0, 149, 21}));
}

TEST_F(Controls, SettingsThatChangeNothingDoNotRepaint) {
  auto* label = Add<TGraphicLabel>(10, 10, 80, 22);
  label->SetCaption("Same");
  Ws.Advance(1);
  int paints = Ws.PaintCount(Form->Handle());
  label->SetCaption("Same");
  label->SetAlignment(taLeftJustify);
  Ws.Advance(1);
  EXPECT_EQ(Ws.PaintCount(Form->Handle()), paints);
  label->SetCaption("Other");
  Ws.Advance(1);
  EXPECT_EQ(Ws.PaintCount(Form->Handle()), paints + 1);
}

// ---------------------------------------------------------------- text

class TextControl : public Controls {
protected:
  void SetUp() override {
    Controls::SetUp();
    ParamHost = new TVSTParameterHost(nullptr);
    Gain = ParamHost->Parameters().Add();
    Gain->SetName("Gain");
    Gain->DisplayLabel = "dB";
    Gain->SetMaxValue(100);
    Gain->OnGetStrValue = [](TVSTParameter* p) { return std::to_string(p->CurValue() - 50) + ".0"; };
    Gain->SetOnGetRealValue([](TVSTParameter* p) { return static_cast<double>(p->CurValue()); });
    Gain->SetCurValue(47);
    Mode = ParamHost->Parameters().Add();
    Mode->SetName("Mode");
    Mode->OnGetStrValue = [](TVSTParameter*) { return std::string("Wide"); };
    Mode->SetOnGetRealValue([](TVSTParameter*) { return 0.0; });
    Proxy = new TVSTParameterHostProxy(nullptr);
    Proxy->SetHost(ParamHost);
    Source = new TVSTParameterSource(nullptr);
    Source->SetProxy(Proxy);
  }
  void TearDown() override {
    delete Source;
    delete Proxy;
    delete ParamHost;
    Controls::TearDown();
  }
  TVSTParameterHost* ParamHost = nullptr;
  TVSTParameter* Gain = nullptr;
  TVSTParameter* Mode = nullptr;
  TVSTParameterHostProxy* Proxy = nullptr;
  TVSTParameterSource* Source = nullptr;
};

TEST_F(TextControl, ShowsValueTextAndLabelOrTestWhenUnbound) {
  auto* text = Add<TGraphicText>(10, 10, 100, 22);
  EXPECT_EQ(text->Text(), "Test");
  text->SetParamSrc(Source);
  EXPECT_EQ(text->Text(), "Test");  // the source names no parameter yet
  Source->SetVSTParamName("Gain");
  EXPECT_EQ(text->Text(), "-3.0 dB");
  Source->SetVSTParamName("Mode");
  EXPECT_EQ(text->Text(), "Wide");  // no label: no trailing space
}

TEST_F(TextControl, PlacesItsTextByAlignmentInsideTheBorder) {
  const TFont font = White();
  Source->SetVSTParamName("Gain");
  const platform::ui::Point e = Extent(font, "-3.0 dB");
  struct Case {
    TAlignment alignment;
    int32_t border, W, H, x;
  } cases[] = {
      {taLeftJustify, 0, 100, 22, 0},
      {taLeftJustify, 6, 100, 22, 6},
      {taRightJustify, 6, 100, 22, 100 - 6 - e.X},
      {taCenter, 3, 100, 21, (100 - e.X) / 2},
      {taCenter, 3, 101, 22, (101 - e.X) / 2},
      {taLeftJustify, 8, e.X, 22, 8},  // clipped at the right border
  };
  for (const Case& c : cases) {
    auto* text = Add<TGraphicText>(20, 50, c.W, c.H);
    text->SetFont(font);
    text->SetParamSrc(Source);
    text->SetBorder(c.border);
    text->SetAlignment(c.alignment);
    EXPECT_EQ(Shown(text), Expected(c.W, c.H, font, "-3.0 dB", c.x, (c.H - e.Y) / 2,
                                    {c.border, c.border, c.W - c.border - 1, c.H - c.border - 1}))
        << c.alignment << " border " << c.border << " " << c.W << "x" << c.H;
    delete text;
  }
}

TEST_F(TextControl, FollowsValueChangesAndLetsGoOfAVanishingSource) {
  const TFont font = White();
  Source->SetVSTParamName("Gain");
  auto* text = Add<TGraphicText>(20, 50, 100, 22);
  text->SetFont(font);
  text->SetParamSrc(Source);
  Shown(text);
  Gain->SetCurValue(60);
  const platform::ui::Point e = Extent(font, "10.0 dB");
  EXPECT_EQ(Shown(text), Expected(100, 22, font, "10.0 dB", 0, (22 - e.Y) / 2, {0, 0, 99, 21}));
  delete Source;
  Source = nullptr;
  EXPECT_EQ(text->ParamSrc(), nullptr);
  const platform::ui::Point t = Extent(font, "Test");
  EXPECT_EQ(Shown(text), Expected(100, 22, font, "Test", 0, (22 - t.Y) / 2, {0, 0, 99, 21}));
}

TEST_F(TextControl, NegativeBorderIsZero) {
  auto* text = Add<TGraphicText>(20, 50, 100, 22);
  text->SetBorder(-4);
  EXPECT_EQ(text->Border(), 0);
}

// ---------------------------------------------------------------- image

// A container holding one flat picture of a screen colour.
void Flat(TGraphicContainer& c, int32_t w, int32_t h, uint32_t screenColor) {
  std::vector<uint32_t> pixels(static_cast<size_t>(w * h), screenColor);
  TPicture p;
  p.Assign(w, h, pixels.data());
  c.SetPicture(p);
}

TEST_F(Controls, ImageAlphaIsClampedAndDecidesOpacity) {
  auto* image = Add<TGraphicImage>(10, 10, 32, 32);
  EXPECT_TRUE(image->Opaque());
  struct Case {
    int32_t set, stored;
    bool opaque;
  } cases[] = {{300, 255, false}, {-5, 0, true}, {128, 128, false}, {0, 0, true}, {1, 1, false}};
  for (const Case& c : cases) {
    image->SetImageAlpha(c.set);
    EXPECT_EQ(image->ImageAlpha(), c.stored) << c.set;
    EXPECT_EQ(image->Opaque(), c.opaque) << c.set;
  }
}

TEST_F(Controls, ImageCopiesOrBlendsItsPictureAtItsOffset) {
  TGraphicContainer picture(nullptr);
  Flat(picture, 20, 20, 0xC08040);
  auto* image = Add<TGraphicImage>(10, 10, 32, 32);
  image->SetContainer(&picture);
  image->SetOffsetX(4);
  image->SetOffsetY(2);
  const uint32_t bg = ToScreen(kBackground);
  auto at = [&](int32_t x, int32_t y) { return Shown(image)[static_cast<size_t>(y * 32 + x)]; };
  EXPECT_EQ(at(4, 2), 0xC08040u);
  EXPECT_EQ(at(23, 21), 0xC08040u);
  EXPECT_EQ(at(3, 2), bg);  // left of the picture: what lies behind
  EXPECT_EQ(at(24, 22), bg);
  image->SetImageAlpha(64);  // a quarter of the background
  // The setter neither repaints nor relayouts: the next layout change does both.
  Canvas->AddDamage(Canvas->ElementRect(image), true);
  auto mix = [](uint32_t s, uint32_t d, int32_t a) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      int32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
      out |= static_cast<uint32_t>((sc + (((dc - sc) * a) >> 8)) & 0xFF) << shift;
    }
    return out;
  };
  EXPECT_EQ(at(10, 10), mix(0xC08040, bg, 64));
  delete image;
}

TEST_F(Controls, ImageWithoutPictureIsAnInvisibleMouseArea) {
  auto* image = Add<TGraphicImage>(10, 10, 32, 32);
  int presses = 0;
  image->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int32_t, int32_t) { ++presses; };
  for (uint32_t p : Shown(image)) ASSERT_EQ(p, ToScreen(kBackground) & 0xFFFFFF);
  Ws.MouseDown(0, 20, 20);
  Ws.MouseUp(0, 20, 20);
  EXPECT_EQ(presses, 1);
}

TEST_F(Controls, ImageAutoSizeTakesThePictureSizeAndForgetsAVanishingContainer) {
  auto* picture = new TGraphicContainer(nullptr);
  Flat(*picture, 20, 12, 0x112233);
  auto* image = Add<TGraphicImage>(10, 10, 32, 32);
  image->SetAutoSize(true);
  image->SetContainer(picture);
  EXPECT_EQ(image->Width(), 20);
  EXPECT_EQ(image->Height(), 12);
  Flat(*picture, 30, 5, 0x112233);  // a new picture
  EXPECT_EQ(image->Width(), 30);
  delete picture;
  EXPECT_EQ(image->Container(), nullptr);
  Shown(image);
}

// ---------------------------------------------------------------- switch

TEST_F(Controls, SwitchTogglesOnLeftPressesOnly) {
  auto* sw = Add<TGraphicSwitch>(10, 10, 80, 22);
  int changes = 0;
  TObject* sender = nullptr;
  sw->OnChange = [&](TObject* s) {
    ++changes;
    sender = s;
  };
  Ws.MouseDown(1, 20, 20);
  Ws.MouseUp(1, 20, 20);
  EXPECT_FALSE(sw->Checked());
  EXPECT_EQ(changes, 0);
  Ws.MouseDown(0, 20, 20);
  Ws.MouseUp(0, 20, 20);
  EXPECT_TRUE(sw->Checked());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sender, sw);
  Ws.MouseDown(0, 20, 20);
  EXPECT_FALSE(sw->Checked());
  EXPECT_EQ(changes, 2);
}

TEST_F(Controls, SwitchDrawsItsImagesOnlyWhenItHasBoth) {
  TGraphicContainer off(nullptr), on(nullptr);
  Flat(off, 80, 22, 0x101080);
  Flat(on, 80, 22, 0x10C010);
  auto* sw = Add<TGraphicSwitch>(10, 10, 80, 22);
  sw->SetColor(0x00808080);
  sw->SetCaption("Link");
  sw->SetFont(White());
  auto face = [&](bool pressed) {
    TLinearBitmap b(80, 22);
    b.Canvas()->SetBrush(kBackground, platform::ui::BrushStyle::Solid);
    b.Canvas()->FillRect(0, 0, 80, 22);
    DrawButtonFace(b, 0, 0, 79, 21, 0x00808080, pressed, true, "Link", taLeftJustify, 0, White());
    b.Canvas()->Flush();
    std::vector<uint32_t> out(b.Bits(), b.Bits() + 80 * 22);
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
  };
  sw->SetContainerOn(&on);  // only one image: the button face
  EXPECT_EQ(Shown(sw), face(false));
  sw->SetChecked(true);
  EXPECT_EQ(Shown(sw), face(true));
  sw->SetContainerOff(&off);
  EXPECT_EQ(Shown(sw), std::vector<uint32_t>(80 * 22, 0x10C010));
  sw->SetChecked(false);
  EXPECT_EQ(Shown(sw), std::vector<uint32_t>(80 * 22, 0x101080));
  sw->SetContainerOn(nullptr);
  sw->SetContainerOff(nullptr);
}

TEST_F(Controls, SwitchForgetsAVanishingImage) {
  auto* on = new TGraphicContainer(nullptr);
  auto* off = new TGraphicContainer(nullptr);
  Flat(*on, 8, 8, 0x00FF00);
  Flat(*off, 8, 8, 0x0000FF);
  auto* sw = Add<TGraphicSwitch>(10, 10, 8, 8);
  sw->SetContainerOn(on);
  sw->SetContainerOff(on);  // one image in both slots
  sw->SetContainerOff(off);
  delete on;
  EXPECT_EQ(sw->ContainerOn(), nullptr);
  EXPECT_EQ(sw->ContainerOff(), off);
  Shown(sw);
  delete sw;
  delete off;  // the switch is gone and left its notifiers
}

TEST_F(Controls, ZeroSizeControlsPaintNothing) {
  TGraphicContainer picture(nullptr);
  Flat(picture, 8, 8, 0xFFFFFF);
  auto* label = Add<TGraphicLabel>(10, 10, 0, 0);
  label->SetCaption("x");
  auto* text = Add<TGraphicText>(10, 10, 0, 22);
  auto* image = Add<TGraphicImage>(10, 10, 0, 0);
  image->SetContainer(&picture);
  auto* sw = Add<TGraphicSwitch>(10, 10, 0, 0);
  Ws.Advance(1);
  EXPECT_EQ(Ws.ScreenPixel(10, 10), ToScreen(kBackground));
  delete label;
  delete text;
  delete image;
  delete sw;
}

}  // namespace
