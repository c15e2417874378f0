// The control gallery as the editor of a real effect instance, in the
// headless window system: its controls show and change the instance's
// parameters through the host, as a user would use them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "editor/FrmGallery.h"
#include "host/VSTEditorBase.h"
#include "host/VSTEffectBase.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/PngWriter.h"
#include "platform/ui/HeadlessWindows.h"

using platform::ui::HeadlessWindowSystem;

namespace {

std::vector<VstInt32> gAutomated;  // parameter indexes the host was asked to set

VstIntPtr AutomationHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
  if (opcode == audioMasterAutomate) gAutomated.push_back(index);
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int32_t kHostX = 40, kHostY = 30;

class Gallery : public ::testing::Test {
protected:
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({kHostX, kHostY, kHostX + TFormGallery::kWidth - 1, kHostY + TFormGallery::kHeight - 1});
    auto* module = new TEffParameters(nullptr);
    Params = module->ParamHost;
    Params->OnCreateEditor = [params = Params](void* parent) { return CreateGalleryForm(parent, params); };
    TComponent* owned = module;
    Effect = new TVSTEffectBase(AutomationHost, Params, owned);
    E = Effect->getAeffect();
    ASSERT_EQ(E->dispatcher(E, effEditOpen, 0, 0, reinterpret_cast<void*>(Host), 0), 1);
    auto* editor = dynamic_cast<TVSTEditorBase*>(Effect->getEditor());
    ASSERT_NE(editor, nullptr);
    F = dynamic_cast<TFormGallery*>(editor->Form());
    ASSERT_NE(F, nullptr);
    Idle();
    gAutomated.clear();
  }
  void TearDown() override {
    if (E) {
      E->dispatcher(E, effEditClose, 0, 0, nullptr, 0);
      E->dispatcher(E, effClose, 0, 0, nullptr, 0);
    }
    platform::ui::SetWindowSystem(FPrevious);
  }
  void Idle() {
    Ws.Advance(60);
    E->dispatcher(E, effEditIdle, 0, 0, nullptr, 0);
  }
  TVSTParameter* P(const char* name) { return Params->Parameters().FindByName(name); }
  // Screen point of a point of a control.
  int32_t SX(const TControl* c, int32_t x) { return kHostX + c->Left() + x; }
  int32_t SY(const TControl* c, int32_t y) { return kHostY + c->Top() + y; }
  void Click(const TControl* c, int32_t x, int32_t y) {
    Ws.MouseMove(SX(c, x), SY(c, y));
    Ws.MouseDown(0, SX(c, x), SY(c, y));
    Ws.MouseUp(0, SX(c, x), SY(c, y));
    Idle();
  }
  void Screenshot(const char* name) {
    const char* dir = std::getenv("KES_SCREENSHOT_DIR");
    if (!dir || !*dir) return;
    std::vector<uint32_t> screen = Ws.Screen(), shot;
    for (int32_t y = kHostY; y < kHostY + TFormGallery::kHeight; ++y)
      for (int32_t x = kHostX; x < kHostX + TFormGallery::kWidth; ++x)
        shot.push_back(screen[static_cast<size_t>(y * Ws.ScreenWidth() + x)]);
    EXPECT_TRUE(platform::testing::WritePng(std::string(dir) + "/" + name, shot.data(), TFormGallery::kWidth,
                                            TFormGallery::kHeight));
  }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVSTParameterHost* Params = nullptr;
  TVSTEffectBase* Effect = nullptr;
  AEffect* E = nullptr;
  TFormGallery* F = nullptr;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

TEST_F(Gallery, ValueTextShowsTheParameterModelsText) {
  for (float v : {0.5f, 0.0f, 1.0f, 0.37f}) {
    E->setParameter(E, 0, v);
    EXPECT_EQ(F->ValueText()->Text(), P("MainOut")->ValueText() + " dB") << v;
  }
  E->setParameter(E, 0, 0.5f);
  EXPECT_EQ(F->ValueText()->Text(), "0.0 dB");
}

TEST_F(Gallery, KnobDragTurnsTheParameterAndRedrawsTheDial) {
  TGraphicKnob* k = F->Knob();
  const int32_t frameBefore = k->FrameIndex();
  const uint32_t pixelBefore = Ws.ScreenPixel(SX(k, 24), SY(k, 8));  // on the pointer's path near the top
  Ws.MouseMove(SX(k, 24), SY(k, 24));
  Ws.MouseDown(0, SX(k, 24), SY(k, 24));
  Ws.MouseMove(SX(k, 24), SY(k, 24) - 40);
  Ws.MouseUp(0, SX(k, 24), SY(k, 24) - 40);
  Idle();
  EXPECT_GT(P("MainOut")->CurValue(), 500000);
  ASSERT_FALSE(gAutomated.empty());
  EXPECT_EQ(gAutomated.back(), 0);
  EXPECT_GT(k->FrameIndex(), frameBefore);
  EXPECT_NE(Ws.ScreenPixel(SX(k, 24), SY(k, 8)), pixelBefore) << "the dial still shows the old frame";
  EXPECT_EQ(F->ValueText()->Text(), P("MainOut")->ValueText() + " dB");
}

TEST_F(Gallery, PopupChoiceSetsTheParameter) {
  TGraphicButton* b = F->PopupButton();
  EXPECT_EQ(b->Values().Strings(b->ItemIndex()), "Off");
  Click(b, 30, 10);
  TGraphicList* list = b->PopupList();
  ASSERT_NE(list, nullptr) << "no popup";
  EXPECT_EQ(list->Items().Count(), 3);
  Screenshot("gallery-popup.png");
  // The list opens below the button; its third row is "Side".
  Click(b, 30, b->Height() + 2 * list->ItemHeight() + list->ItemHeight() / 2);
  EXPECT_EQ(b->PopupList(), nullptr);
  EXPECT_EQ(P("MSMode")->CurValue(), 2);
  EXPECT_EQ(P("MSMode")->ValueText(), "Side");
  EXPECT_EQ(b->ItemIndex(), 2);
}

TEST_F(Gallery, ButtonsGroupAndSwitchFollowAndSetTheirParameters) {
  struct Case {
    const char* what;
    TControl* control;
    const char* param;
    int32_t x;
    int32_t want;
  } cases[] = {
      {"values button: a click steps", F->ValuesButton(), "Detectr", 30, 1},
      {"group: the second cell", F->Group(), "CMode", F->Group()->ItemWidth() + 10, 1},
      {"switch: on", F->Switch(), "Fluffy", 30, 1},
      {"switch: off again", F->Switch(), "Fluffy", 30, 0},
  };
  for (const Case& c : cases) {
    Click(c.control, c.x, 10);
    EXPECT_EQ(P(c.param)->CurValue(), c.want) << c.what;
  }
  // The host's changes reach the controls.
  E->setParameter(E, Params->Parameters().IndexOfName("Fluffy"), 1.0f);
  EXPECT_TRUE(F->Switch()->Checked());
  E->setParameter(E, Params->Parameters().IndexOfName("CMode"), 0.0f);
  EXPECT_EQ(F->Group()->ItemIndex(), 0);
  Idle();
  Screenshot("gallery.png");
}

}  // namespace
