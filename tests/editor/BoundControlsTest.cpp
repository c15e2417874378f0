// A knob and a value text bound to the parameters of a real effect instance,
// on a form in the headless window system: drags, wheel turns and double
// clicks reach the host as automation and come back as the value shown; the
// synced parameter; host values out of range; sources and hosts that go away.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gfx/GraphicKnob.h"
#include "gfx/GraphicText.h"
#include "host/VSTEffectBase.h"
#include "params/plugin/EffParams.h"
#include "platform/ui/HeadlessWindows.h"
#include "tests/gfx/SpriteSheet.h"

using platform::ui::HeadlessWindowSystem;

namespace {

struct Automation {
  VstInt32 index;
  float value;
};
std::vector<Automation> gAutomation;
std::vector<VstInt32> gOpcodes;

VstIntPtr RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
  gOpcodes.push_back(opcode);
  if (opcode == audioMasterAutomate) gAutomation.push_back({index, opt});
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int32_t kHostX = 60, kHostY = 40, kKnobX = 20, kKnobY = 30;
constexpr VstInt32 kMainOut = 0, kInSlope = 1;

class BoundKnob : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    auto* module = new TEffParameters(nullptr);
    Params = module->ParamHost;
    TComponent* owned = module;
    Effect = new TVSTEffectBase(RecordingHost, Params, owned);
    E = Effect->getAeffect();
    Host = Ws.CreateHostWindow({kHostX, kHostY, kHostX + 299, kHostY + 199});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, 300, 200);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, 300, 200);
    Sheet = new TGraphicContainer(Form);
    testsheet::Fill(*Sheet, new TGraphicContainer(Form));
    Proxy = new TVSTParameterHostProxy(Form);
    Proxy->SetHost(Params);
    Source = Bind("MainOut");
    SyncSource = Bind("InSlope");
    Knob = new TGraphicKnob(Form);
    Knob->SetBounds(kKnobX, kKnobY, 48, 48);
    Knob->SetParent(Form);
    Knob->SetGfxCanvas(Canvas);
    Knob->SetContainer(Sheet);
    Knob->SetIsTransparent(true);
    Knob->SetParamSrc(Source);
    Knob->OnEndDrag = [this](TObject*) { ++EndDrags; };
    Form->Show();
    Ws.Advance(1);
    gAutomation.clear();
    gOpcodes.clear();
  }
  void TearDown() override {
    delete Form;
    if (E) E->dispatcher(E, effClose, 0, 0, nullptr, 0);
    platform::ui::SetWindowSystem(FPrevious);
  }
  TVSTParameterSource* Bind(const char* name) {
    auto* s = new TVSTParameterSource(Form);
    s->SetProxy(Proxy);
    s->SetVSTParamName(name);
    return s;
  }
  TVSTParameter* P(VstInt32 i) { return Params->Parameters().Items(i); }
  int32_t SX(int32_t x) { return kHostX + kKnobX + x; }
  int32_t SY(int32_t y) { return kHostY + kKnobY + y; }
  uint32_t KnobPixel() {
    Ws.Advance(1);
    return Ws.ScreenPixel(SX(24), SY(24));
  }
  void Drag(int32_t dy) {
    Ws.MouseDown(0, SX(24), SY(24));
    Ws.MouseMove(SX(24), SY(24) + dy);
    Ws.MouseUp(0, SX(24), SY(24) + dy);
  }

  HeadlessWindowSystem Ws;
  TVSTParameterHost* Params = nullptr;
  TVSTEffectBase* Effect = nullptr;
  AEffect* E = nullptr;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;
  TGraphicContainer* Sheet = nullptr;
  TVSTParameterHostProxy* Proxy = nullptr;
  TVSTParameterSource* Source = nullptr;
  TVSTParameterSource* SyncSource = nullptr;
  TGraphicKnob* Knob = nullptr;
  int EndDrags = 0;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

TEST_F(BoundKnob, MirrorsTheParameterAndShowsTheHostsValue) {
  EXPECT_EQ(Knob->Minimum(), 0);
  EXPECT_EQ(Knob->Maximum(), 1000000);
  EXPECT_EQ(Knob->Value(), 500000);
  struct Case {
    float host;
    int32_t frame;
  } cases[] = {
      {0.0f, 0},   {1.0f, 134},
      {0.5f, 67},  {1.5f, 134},  // out of range: clamped
      {-0.3f, 0},  {std::numeric_limits<float>::quiet_NaN(), 0},
      {0.25f, 34},  // 33.5 -> 34 (even)
  };
  for (const Case& c : cases) {
    E->setParameter(E, kMainOut, c.host);
    EXPECT_EQ(KnobPixel(), testsheet::FrameColor(c.frame)) << c.host;
  }
}

TEST_F(BoundKnob, DragRequestsAutomationAndTheKnobFollowsTheAcceptedValue) {
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.MouseMove(SX(24), SY(23));  // one pixel up
  ASSERT_EQ(gAutomation.size(), 1u);
  EXPECT_EQ(gAutomation[0].index, kMainOut);
  EXPECT_FLOAT_EQ(gAutomation[0].value, 0.5007f);
  EXPECT_EQ(P(kMainOut)->CurValue(), 500700);
  EXPECT_EQ(Knob->Value(), 500700);
  Ws.MouseMove(SX(24), SY(14));  // ten more, measured from the press point
  ASSERT_EQ(gAutomation.size(), 2u);
  EXPECT_EQ(P(kMainOut)->CurValue(), 507700);
  EXPECT_TRUE(Ws.CursorHidden());
  Ws.MouseUp(0, SX(24), SY(14));
  EXPECT_EQ(EndDrags, 1);
  EXPECT_FALSE(Ws.CursorHidden());
  int32_t x = 0, y = 0;
  Ws.GetCursorPos(x, y);
  EXPECT_EQ(x, SX(24));
  EXPECT_EQ(y, SY(24));
  EXPECT_EQ(gAutomation.size(), 2u);  // the release requests nothing
  // The whole drag is one touch of the parameter for the host.
  const std::vector<VstInt32> gesture = {audioMasterBeginEdit, audioMasterAutomate, audioMasterAutomate,
                                         audioMasterEndEdit};
  EXPECT_EQ(gOpcodes, gesture);
}

TEST_F(BoundKnob, StepScaleRoundingRequestsNothingForLessThanHalfAStep) {
  Knob->SetStepScaleV(3);
  Drag(-1);
  EXPECT_TRUE(gAutomation.empty());  // unchanged value: the parameter asks nothing
  EXPECT_EQ(P(kMainOut)->CurValue(), 500000);
  Drag(-2);
  ASSERT_EQ(gAutomation.size(), 1u);
  EXPECT_EQ(P(kMainOut)->CurValue(), 500700);
}

TEST_F(BoundKnob, WheelNotchRequestsTwentyPixelsOfFastSteps) {
  Ws.MouseMove(SX(24), SY(24));
  Ws.Wheel(120, SX(24), SY(24));
  EXPECT_EQ(P(kMainOut)->CurValue(), 514000);
  Ws.Wheel(-120, SX(24), SY(24));
  Ws.Wheel(-120, SX(24), SY(24));
  EXPECT_EQ(P(kMainOut)->CurValue(), 486000);
  ASSERT_EQ(gAutomation.size(), 3u);
  // Each notch is a whole gesture: begin, automate, end.
  ASSERT_EQ(gOpcodes.size(), 9u);
  const VstInt32 notch[3] = {audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit};
  for (size_t i = 0; i < gOpcodes.size(); ++i) EXPECT_EQ(gOpcodes[i], notch[i % 3]) << i;
  EXPECT_FLOAT_EQ(gAutomation[2].value, 0.486f);
  Ws.MouseDown(0, SX(24), SY(24));
  Ws.Wheel(120, SX(24), SY(24));  // ignored while dragging
  Ws.MouseUp(0, SX(24), SY(24));
  EXPECT_EQ(P(kMainOut)->CurValue(), 486000);
}

TEST_F(BoundKnob, DoubleClickRequestsTheDefault) {
  E->setParameter(E, kMainOut, 0.9f);
  Ws.DoubleClick(0, SX(24), SY(24));
  ASSERT_EQ(gAutomation.size(), 1u);
  EXPECT_FLOAT_EQ(gAutomation[0].value, 0.5f);
  EXPECT_EQ(Knob->Value(), 500000);
  EXPECT_FALSE(Knob->Dragging());
  EXPECT_FALSE(Ws.CursorHidden());
  Ws.DoubleClick(0, SX(24), SY(24));  // already there: the parameter ignores it
  EXPECT_EQ(gAutomation.size(), 1u);
}

TEST_F(BoundKnob, CtrlAndAltMoveTheSyncedParameterAlong) {
  Knob->SetSyncParamSrc(SyncSource);
  struct Case {
    const char* what;
    uint32_t keys;
    bool invert;
    int32_t syncAfter;
  } cases[] = {
      {"Ctrl: the main value before the step", platform::ui::keys::Control, false, 200000},
      {"Ctrl, inverted: maximum minus that", platform::ui::keys::Control, true, 800000},
      {"Alt: its own value plus the step", platform::ui::keys::Alt, false, 302100},
      {"Alt, inverted: minus the step", platform::ui::keys::Alt, true, 297900},
      {"no key: left alone", 0, false, 300000},
  };
  for (const Case& c : cases) {
    E->setParameter(E, kMainOut, 0.2f);
    E->setParameter(E, kInSlope, 0.3f);
    Knob->SetInvertSync(c.invert);
    Ws.SetKeys(c.keys);
    Drag(-3);
    Ws.SetKeys(0);
    EXPECT_EQ(P(kMainOut)->CurValue(), 202100) << c.what;
    EXPECT_EQ(P(kInSlope)->CurValue(), c.syncAfter) << c.what;
  }
  Knob->SetSyncParamSrc(Source);  // the same parameter: never synced
  E->setParameter(E, kMainOut, 0.2f);
  Ws.SetKeys(platform::ui::keys::Control);
  Drag(-1);
  Ws.SetKeys(0);
  EXPECT_EQ(P(kMainOut)->CurValue(), 200700);
}

TEST_F(BoundKnob, ASourceThatGoesAwayIsForgotten) {
  Knob->SetSyncParamSrc(SyncSource);
  delete SyncSource;
  EXPECT_EQ(Knob->SyncParamSrc(), nullptr);
  delete Source;
  EXPECT_EQ(Knob->ParamSrc(), nullptr);
  Ws.SetKeys(platform::ui::keys::Control);
  Drag(-5);  // now an unbound knob with its last range
  Ws.SetKeys(0);
  Ws.Wheel(120, SX(24), SY(24));
  EXPECT_TRUE(gAutomation.empty());
  EXPECT_EQ(P(kMainOut)->CurValue(), 500000);
}

TEST_F(BoundKnob, AKnobWhoseHostWentAwayTakesNoPress) {
  E->dispatcher(E, effClose, 0, 0, nullptr, 0);
  E = nullptr;
  EXPECT_EQ(Source->Param(), nullptr);
  Ws.MouseDown(0, SX(24), SY(24));
  EXPECT_FALSE(Knob->Dragging());
  Ws.MouseMove(SX(24), SY(10));
  Ws.MouseUp(0, SX(24), SY(10));
  EXPECT_FALSE(Ws.CursorHidden());
  KnobPixel();
}

TEST_F(BoundKnob, ValueTextEqualsTheParameterModelsText) {
  auto* text = new TGraphicText(Form);
  text->SetParent(Form);
  text->SetGfxCanvas(Canvas);
  text->SetParamSrc(Source);
  E->setParameter(E, kMainOut, 0.5f);
  EXPECT_EQ(P(kMainOut)->ValueText(), "0.0");
  EXPECT_EQ(text->Text(), "0.0 dB");
  E->setParameter(E, kMainOut, 0.0f);
  EXPECT_EQ(text->Text(), P(kMainOut)->ValueText() + " dB");
  text->SetParamSrc(Bind("Fluffy"));
  EXPECT_EQ(text->Text(), "Off");  // no unit: no trailing space
  Ws.Advance(1);
}

}  // namespace
