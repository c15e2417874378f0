// The editor window of a real effect instance, in the headless window
// system: the host's editor opcodes open the form in the host's window, the
// form paints, takes clicks and wheel steps, and closes cleanly, any number
// of times; bad parents are refused.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "editor/FrmToolkitTest.h"
#include "host/VSTEditorBase.h"
#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/PngWriter.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/ui/HeadlessWindows.h"
#include "tests/support/AllocCounter.h"

using platform::ui::HeadlessWindowSystem;

namespace {

VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Screen pixel of a Windows colour value (0x00BBGGRR -> 0x00RRGGBB).
uint32_t Screen(uint32_t colorRef) {
  return ((colorRef & 0xFF) << 16) | (colorRef & 0xFF00) | ((colorRef >> 16) & 0xFF);
}

constexpr int32_t kHostX = 50, kHostY = 30;
// The vendor-specific wheel request: index "stCA", value "Whee", opt the direction.
constexpr VstInt32 kStCA = FourCC("stCA");
constexpr VstIntPtr kWhee = FourCC("Whee");

class EditorWindow : public ::testing::Test {
protected:
  void SetUp() override {
    RegistryRoot = "Software\\Kestrune\\";
    MakerName = "Kestrune";
    HostVersion = 2400;
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({kHostX, kHostY, kHostX + 599, kHostY + 479});
    auto* module = new TEffParameters(nullptr);
    module->ParamHost->OnCreateEditor = [](void* parent) { return CreateToolkitTestForm(parent); };
    TComponent* owned = module;
    Effect = new TVSTEffectBase(QuietHost, module->ParamHost, owned);
    E = Effect->getAeffect();
  }
  void TearDown() override {
    if (E) E->dispatcher(E, effClose, 0, 0, nullptr, 0);
    platform::ui::SetWindowSystem(FPrevious);
  }
  VstIntPtr Dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
    return E->dispatcher(E, op, index, value, ptr, opt);
  }
  VstIntPtr Open(platform::ui::Handle parent) { return Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)); }
  TFormToolkitTest* Form() {
    auto* ed = dynamic_cast<TVSTEditorBase*>(Effect->getEditor());
    return ed ? dynamic_cast<TFormToolkitTest*>(ed->Form()) : nullptr;
  }
  void Idle(int times = 1) {
    for (int i = 0; i < times; ++i) {
      Ws.Advance(20);
      Dispatch(effEditIdle);
    }
  }
  // Screen point in the middle of a pad.
  std::pair<int32_t, int32_t> PadCentre(TToolkitPad* p) {
    return {kHostX + p->Left() + p->Width() / 2, kHostY + p->Top() + p->Height() / 2};
  }

  HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVSTEffectBase* Effect = nullptr;
  AEffect* E = nullptr;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

TEST_F(EditorWindow, RectIsKnownBeforeOpening) {
  ERect* r = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, &r), 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->top, 0);
  EXPECT_EQ(r->left, 0);
  EXPECT_EQ(r->bottom, 480);
  EXPECT_EQ(r->right, 600);
}

TEST_F(EditorWindow, OpensInTheHostWindowAndPaintsTheForm) {
  ASSERT_EQ(Open(Host), 1);
  Idle();
  TFormToolkitTest* f = Form();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Application().Handle, f->Handle());
  EXPECT_EQ(f->Width(), 600);
  EXPECT_EQ(f->Height(), 480);
  TToolkitPad* pad = f->Pad(0);
  // A point inside the pad away from its text and frame shows the pad's colour.
  EXPECT_EQ(Ws.ScreenPixel(kHostX + pad->Left() + pad->Width() - 8, kHostY + pad->Top() + pad->Height() - 20),
            Screen(pad->BaseColor()));
  // Outside the pads: the background picture, never black.
  EXPECT_NE(Ws.ScreenPixel(kHostX + 5, kHostY + 5), 0u);
  if (const char* dir = std::getenv("KES_SCREENSHOT_DIR")) {
    // What a person would see: the host window's area of the screen.
    std::vector<uint32_t> screen = Ws.Screen(), shot;
    for (int32_t y = kHostY; y < kHostY + 480; ++y)
      for (int32_t x = kHostX; x < kHostX + 600; ++x)
        shot.push_back(screen[static_cast<size_t>(y * Ws.ScreenWidth() + x)]);
    EXPECT_TRUE(platform::testing::WritePng(std::string(dir) + "/editor-headless.png", shot.data(), 600, 480));
  }
  EXPECT_EQ(Open(Host), 0) << "a second open is refused";
  EXPECT_EQ(Form(), f);
}

TEST_F(EditorWindow, ClicksHoverAndWheelReachThePadUnderTheMouse) {
  ASSERT_EQ(Open(Host), 1);
  Idle();
  TToolkitPad* pad = Form()->Pad(1);
  auto [x, y] = PadCentre(pad);
  int32_t sx = kHostX + pad->Left() + pad->Width() - 8, sy = kHostY + pad->Top() + pad->Height() - 20;
  Ws.MouseMove(x, y);
  Idle();
  EXPECT_TRUE(pad->Hot());
  EXPECT_EQ(Ws.ScreenPixel(sx, sy), Screen(TToolkitPad::HotColor(pad->BaseColor())));
  Ws.MouseDown(0, x, y);
  Ws.MouseUp(0, x, y);
  Idle();
  EXPECT_EQ(pad->Clicks(), 1);
  EXPECT_EQ(Ws.ScreenPixel(sx, sy), Screen(TToolkitPad::kOnColor));
  // Wheel steps from the host's vendor-specific call reach the hovered pad.
  for (int i = 0; i < 3; ++i) Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
  Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, -1.0f);
  Idle();
  EXPECT_EQ(pad->Wheel(), 2);
  int32_t barY = kHostY + pad->Top() + pad->Height() - 4;
  EXPECT_EQ(Ws.ScreenPixel(kHostX + pad->Left() + 5, barY), Screen(TToolkitPad::kBarColor));
  EXPECT_NE(Ws.ScreenPixel(kHostX + pad->Left() + pad->Width() - 5, barY), Screen(TToolkitPad::kBarColor));
  Ws.MouseMove(kHostX + 590, kHostY + 470);
  Idle();
  EXPECT_FALSE(pad->Hot());
}

TEST_F(EditorWindow, CloseAndReopenAnyNumberOfTimes) {
  size_t windows = Ws.WindowCount();
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Open(Host), 1) << "cycle " << i;
    Idle();
    Dispatch(effEditClose);
    EXPECT_EQ(Form(), nullptr);
    EXPECT_EQ(Application().Handle, 0u);
    ASSERT_EQ(Ws.WindowCount(), windows) << "windows left behind in cycle " << i;
  }
  // Idle and wheel steps from another thread while open only post; the
  // window system is pumped on the editor's thread alone.
  ASSERT_EQ(Open(Host), 1);
  std::thread other([&] {
    Dispatch(effEditIdle);
    Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
  });
  other.join();
  Dispatch(effEditClose);
  // Idle, close and wheel steps while closed do nothing.
  Dispatch(effEditIdle);
  Dispatch(effEditClose);
  Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
  Idle();
}

TEST_F(EditorWindow, BadParentsAreRefusedAndTheEffectKeepsWorking) {
  platform::testing::RecordingMessageBox boxes;
  size_t windows = Ws.WindowCount();
  platform::ui::Handle gone = Ws.CreateHostWindow({0, 0, 99, 99});
  Ws.DestroyWindow(gone);
  for (platform::ui::Handle bad : {platform::ui::Handle{0}, gone, platform::ui::Handle{0x7FFFFFFF}}) {
    EXPECT_EQ(Open(bad), 0);
    EXPECT_EQ(Form(), nullptr);
    EXPECT_EQ(Application().Handle, 0u);
    EXPECT_EQ(Ws.WindowCount(), windows);
  }
  EXPECT_TRUE(boxes.Texts().empty()) << "a refused open shows nothing";
  EXPECT_EQ(Open(Host), 1);
}

TEST_F(EditorWindow, DestroyingTheEffectWithTheEditorOpenClosesIt) {
  size_t windows = Ws.WindowCount();
  ASSERT_EQ(Open(Host), 1);
  Idle();
  Dispatch(effClose);
  E = nullptr;
  EXPECT_EQ(Ws.WindowCount(), windows);
  Ws.Advance(100);  // nothing left to deliver to a freed form
}

// Processing goes on while the editor opens, paints, takes input and
// closes on another thread (the ThreadSanitizer lane watches the hand-over).
TEST_F(EditorWindow, ProcessingRunsWhileTheEditorOpensAndCloses) {
  Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(effMainsChanged, 0, 1);
  std::atomic<bool> stop{false}, finite{true};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::vector<float> l(256), r(256), ol(256), orr(256);
    for (size_t i = 0; i < l.size(); ++i) l[i] = r[i] = 0.3f * std::sin(0.05f * static_cast<float>(i));
    while (!stop) {
      float* in[2] = {l.data(), r.data()};
      float* out[2] = {ol.data(), orr.data()};
      E->processReplacing(E, in, out, 256);
      for (size_t i = 0; i < ol.size(); ++i)
        if (!std::isfinite(ol[i]) || !std::isfinite(orr[i])) finite = false;
      ++blocks;
    }
  });
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Open(Host), 1);
    Idle(2);
    auto [x, y] = PadCentre(Form()->Pad(0));
    Ws.MouseDown(0, x, y);
    Ws.MouseUp(0, x, y);
    Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
    Idle();
    Dispatch(effEditClose);
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  EXPECT_TRUE(finite.load());
}

TEST_F(EditorWindow, ProcessingAllocatesNothingWithTheEditorOpen) {
  Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(effMainsChanged, 0, 1);
  ASSERT_EQ(Open(Host), 1);
  Idle();
  std::vector<float> l(4096, 0.25f), r(4096, -0.25f), ol(4096), orr(4096);
  for (VstInt32 n : {32, 512, 4096}) {
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    TAllocCountScope scope;
    E->processReplacing(E, in, out, n);
    EXPECT_EQ(scope.Count(), 0) << "block " << n;
  }
  Idle();
}

}  // namespace
