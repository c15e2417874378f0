// The spectral display with a real spectrum: pink noise rendered through a
// real instance running a factory program, its smoothed band analysis shown
// behind the program's "Thresh" curve in each display mode. Writes a PNG per
// mode when KES_SCREENSHOT_DIR is set, so a person can look at it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/GraphicTLScreen.h"
#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/PngWriter.h"
#include "platform/ui/HeadlessWindows.h"

namespace {

VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Takes what the chain publishes for an open editor.
class SpectrumCatcher : public TEffEditorLink {
public:
  void PostToEditor(int, intptr_t) override {}
  void SetSpectrum(const double* levelDb, const double* gainDb) override {
    Level.assign(levelDb, levelDb + kEnvelopeBands);
    Gain.assign(gainDb, gainDb + kEnvelopeBands);
  }
  void ClearSpectrum() override {}
  std::vector<double> Level, Gain;
};

TEST(SpectrumPicture, PinkNoiseThroughAFactoryProgramShowsInEveryMode) {
  RegistryRoot = "Software\\Kestrune\\";
  MakerName = "Kestrune";
  HostVersion = 2400;
  auto* module = new TEffParameters(nullptr);
  TComponent* owned = module;
  auto* fx = new TVSTEffectBase(QuietHost, module->ParamHost, owned);
  AEffect* e = fx->getAeffect();
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  e->dispatcher(e, effSetProgram, 0, 1, nullptr, 0);  // "Radio Mix": every band compressing
  SpectrumCatcher catcher;
  module->SetEditorLink(&catcher);

  // Two seconds of stereo pink noise at about -12 dBFS (filtered white noise).
  std::vector<float> l(512), r(512), ol(512), orr(512);
  uint32_t seed = 12345;
  double b[2][3] = {};
  for (int block = 0; block < 172; ++block) {
    for (size_t i = 0; i < l.size(); ++i)
      for (int c = 0; c < 2; ++c) {
        seed = seed * 1664525u + 1013904223u;
        double w = (static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * 0.35;
        b[c][0] = 0.99765 * b[c][0] + w * 0.0990460;
        b[c][1] = 0.96300 * b[c][1] + w * 0.2965164;
        b[c][2] = 0.57000 * b[c][2] + w * 1.0526913;
        (c == 0 ? l : r)[i] = static_cast<float>(b[c][0] + b[c][1] + b[c][2] + w * 0.1848);
      }
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    e->processReplacing(e, in, out, 512);
  }
  module->SetEditorLink(nullptr);
  ASSERT_EQ(catcher.Level.size(), static_cast<size_t>(kEnvelopeBands));
  int heard = 0;
  for (double v : catcher.Level) heard += std::isfinite(v) && v > -80.0;
  EXPECT_GE(heard, 28) << "pink noise reaches nearly every band";

  platform::ui::HeadlessWindowSystem ws;
  platform::ui::WindowSystem* previous = platform::ui::SetWindowSystem(&ws);
  platform::ui::Handle host = ws.CreateHostWindow({0, 0, 551, 325});
  auto* form = new TVCLForm(nullptr);
  form->SetBounds(0, 0, 552, 326);
  ASSERT_TRUE(form->CreateWindowIn(host));
  auto* canvas = new TGraphicCanvas(form);
  canvas->SetParent(form);
  canvas->SetBounds(0, 0, 552, 326);
  canvas->SetColor(0x00302820);
  auto* screen = new TGraphicTLScreen(form);
  screen->SetBounds(20, 20, 512, 286);
  screen->SetParent(form);
  screen->SetGfxCanvas(canvas);
  screen->SetColor(0x415C69);
  screen->SetGfxColour(0xEA1515);
  screen->SetGfxColour2(0xDF9C20);
  screen->SetLineColour(0x1580EA);
  screen->SetLineOvrColour(0x0000FF);
  TEnvelopeSet set = module->Engine()->CurrentSet();
  screen->EditEnvelope(set.Envelopes[0], 0);
  for (int i = 0; i < kEnvelopeBands && i < TGraphicTLScreen::kBands; ++i) {
    screen->SpectrumLevel[i] = catcher.Level[static_cast<size_t>(i)];
    screen->SpectrumGain[i] = catcher.Gain[static_cast<size_t>(i)];
  }
  form->Show();
  const char* dir = std::getenv("KES_SCREENSHOT_DIR");
  for (int mode = 0; mode < 4; ++mode) {
    screen->SetDisplayMode(mode);
    ws.Advance(60);
    std::vector<uint32_t> shot = ws.Screen(), crop;
    for (int32_t y = 0; y < 326; ++y)
      for (int32_t x = 0; x < 552; ++x) crop.push_back(shot[static_cast<size_t>(y * ws.ScreenWidth() + x)]);
    // Something besides the canvas colour and the grid is drawn inside the display.
    int drawn = 0;
    for (int32_t y = 20; y < 306; ++y)
      for (int32_t x = 20; x < 532; ++x) drawn += crop[static_cast<size_t>(y * 552 + x)] != 0x00202830;
    EXPECT_GT(drawn, 512 * 286 / 20) << "mode " << mode;
    if (dir) {
      EXPECT_TRUE(platform::testing::WritePng(std::string(dir) + "/spectrum-mode" + std::to_string(mode) + ".png",
                                              crop.data(), 552, 326));
    }
  }
  delete form;
  platform::ui::SetWindowSystem(previous);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}

}  // namespace
