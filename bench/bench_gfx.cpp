// The editor's drawing cost: a full repaint of the spectral display at the
// main editor's size (512 x 286) with a live spectrum, an envelope of 32
// points and an overlay, composed on the canvas and copied to a window of the
// headless window system. The editor refreshes every 50 ms, so a repaint
// must stay well below that.

#include <benchmark/benchmark.h>

#include <cmath>

#include "dsp/envelopes.h"
#include "gfx/GraphicTLScreen.h"
#include "platform/ui/HeadlessWindows.h"

namespace {

struct Display {
  platform::ui::HeadlessWindowSystem Ws;
  platform::ui::WindowSystem* Previous;
  TVCLForm* Form;
  TGraphicCanvas* Canvas;
  TGraphicTLScreen* Screen;

  explicit Display(int32_t mode) {
    Previous = platform::ui::SetWindowSystem(&Ws);
    platform::ui::Handle host = Ws.CreateHostWindow({0, 0, 599, 479});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 600, 480);
    Form->CreateWindowIn(host);
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 600, 480);
    Canvas->SetColor(0x00302820);
    Screen = new TGraphicTLScreen(Form);
    Screen->SetBounds(44, 40, 512, 286);
    Screen->SetParent(Form);
    Screen->SetGfxCanvas(Canvas);
    Screen->SetColor(0x415C69);
    Screen->SetGfxColour(0xEA1515);
    Screen->SetGfxColour2(0xDF9C20);
    Screen->SetLineColour(0x1580EA);
    Screen->SetLineOvrColour(0x0000FF);
    TEnvelope e{}, overlay{};
    ResetEnvelopeRecord(e, 0);
    ResetEnvelopeRecord(overlay, 5);
    e.PointCount = 32;
    for (int i = 0; i < 32; ++i) {
      e.Points[i].x = static_cast<float>(i) / 31.0f;
      e.Points[i].y = 0.5f + 0.4f * std::sin(static_cast<float>(i) * 0.6f);
    }
    Screen->EditEnvelope(e, 0);
    Screen->SetOverlay(overlay);
    Screen->SetDisplayMode(mode);
    for (int b = 0; b < TGraphicTLScreen::kBands; ++b) {
      Screen->SpectrumLevel[b] = -12.0 - 1.5 * b + 6.0 * std::sin(b * 0.9);
      Screen->SpectrumGain[b] = -6.0 * std::sin(b * 0.3);
    }
    Form->Show();
    Ws.Advance(1);
  }
  ~Display() {
    delete Form;
    platform::ui::SetWindowSystem(Previous);
  }
};

void BM_DisplayFullRepaint(benchmark::State& state) {
  Display d(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    d.Screen->Redraw();
    d.Ws.Pump();  // the posted invalidation, then the paint
  }
  state.SetLabel("display mode " + std::to_string(state.range(0)));
}
BENCHMARK(BM_DisplayFullRepaint)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
