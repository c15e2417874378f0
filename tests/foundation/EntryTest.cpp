// The library entry, the five record entry points and the base dispatcher,
// driven through a real AEffect record with an effect class of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/DAudioEffect.h"
#include "host/VSTWrapper.h"
#include "params/model/VSTParameterHost.h"
#include "platform/Fpu.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/TestRegistry.h"

namespace {

using platform::testing::RecordingMessageBox;
using platform::testing::TestRegistry;

// What the host's floating-point unit looks like: round toward zero, 53-bit
// precision, flush-to-zero in SSE. Exceptions stay masked so nothing traps.
constexpr uint16_t kHostCw = 0x0E7F;
constexpr uint32_t kHostMxcsr = 0xFF80;

struct FpuState {
  uint16_t cw;
  uint32_t mxcsr;
};
FpuState ReadFpu() { return {platform::GetX87ControlWord(), platform::GetMxcsr()}; }

class HostFpu {
public:
  HostFpu() : FSaved(ReadFpu()) {
    platform::SetX87ControlWord(kHostCw);
    platform::SetMxcsr(kHostMxcsr);
  }
  ~HostFpu() {
    platform::SetX87ControlWord(FSaved.cw);
    platform::SetMxcsr(FSaved.mxcsr);
  }

private:
  FpuState FSaved;
};

class TestEditor : public AEffEditor {
public:
  using AEffEditor::AEffEditor;
  VstIntPtr getRect(ERect** r) override {
    rect = {0, 0, 30, 40};
    *r = &rect;
    return 1;
  }
  VstIntPtr open(void* p) override {
    AEffEditor::open(p);
    return 1;
  }
  void close() override { ++closes; }
  void update() override { ++updates; }
  ERect rect{};
  int closes = 0, updates = 0;
};

struct Probe {
  bool throwOnProcess = false, throwOnClose = false, throwOnParam = false;
  int destroyed = 0;
  std::vector<FpuState> inside;  // the state our code ran with
  float lastSet = -1;
};

class TestEffect : public AudioEffect {
public:
  TestEffect(audioMasterCallback cb, Probe& probe) : AudioEffect(cb, 3, 2), FProbe(probe) {}
  ~TestEffect() override { ++FProbe.destroyed; }
  void process(float**, float** out, VstInt32 n) override {
    FProbe.inside.push_back(ReadFpu());
    if (FProbe.throwOnProcess) throw Exception("boom");
    for (VstInt32 i = 0; i < n; ++i) out[0][i] += 1.0f;
  }
  void processReplacing(float**, float** out, VstInt32 n) override {
    FProbe.inside.push_back(ReadFpu());
    if (FProbe.throwOnProcess) throw std::runtime_error("std failure");
    for (VstInt32 i = 0; i < n; ++i) out[0][i] = 2.0f;
  }
  void setParameter(VstInt32, float v) override {
    if (FProbe.throwOnParam) throw 42;  // not an exception class at all
    FProbe.lastSet = v;
  }
  float getParameter(VstInt32 index) override {
    if (FProbe.throwOnParam) throw Exception("bad index " + std::to_string(index));
    return 0.25f;
  }
  void close() override {
    if (FProbe.throwOnClose) throw Exception("cannot close");
  }
  float getVu() override { return 0.5f; }
  void AttachEditor() { setEditor(new TestEditor(this)); }

private:
  Probe& FProbe;
};

std::vector<std::vector<VstIntPtr>> gHostCalls;
VstIntPtr gVersionAnswer = 2400;

VstIntPtr TestHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float) {
  gHostCalls.push_back({opcode, index, value});
  if (opcode == audioMasterVersion) return gVersionAnswer;
  return 0;
}

class EntryTest : public ::testing::Test {
protected:
  void SetUp() override { gHostCalls.clear(); }
  RecordingMessageBox boxes;
  Probe probe;
  AEffect* Make() { return (new TestEffect(TestHost, probe))->getAeffect(); }
};

TEST_F(EntryTest, RecordIsFilledAsPublished) {
  AEffect* e = Make();
  EXPECT_EQ(e->magic, FourCC("VstP"));
  EXPECT_EQ(e->numPrograms, 3);
  EXPECT_EQ(e->numParams, 2);
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, 0);
  EXPECT_EQ(e->uniqueID, FourCC("NoEf"));
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->dispatcher, &dispatchEffectClass);
  EXPECT_EQ(e->processReplacing, &processClassReplacing);
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(probe.destroyed, 1);
}

TEST_F(EntryTest, BaseDispatcherTable) {
  AEffect* e = Make();
  struct Case {
    VstInt32 opcode;
    VstIntPtr value;
    VstIntPtr expected;
  } cases[] = {
      {effIdentify, 0, FourCC("NvEf")},
      {effGetVu, 0, 16384},  // 0.5 * 32767 rounded
      {effGetProgram, 0, 0},
      {effEditGetRect, 0, 0},
      {effEditOpen, 0, 0},
      {effEditClose, 0, 0},
      {effEditIdle, 0, 0},
      {effEditDraw, 0, 0},
      {effEditMouse, 0, 0},
      {effEditKey, 0, 0},
      {effEditTop, 0, 0},
      {effEditSleep, 0, 0},
      {effGetChunk, 0, 0},
      {effSetChunk, 0, 0},
      {24 + 1000, 0, 0},
  };
  for (const Case& c : cases) {
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(e->dispatcher(e, c.opcode, 0, c.value, &rect, 0), c.expected) << "opcode " << c.opcode;
  }
  // Program switch only below the program count; negative values pass the test.
  e->dispatcher(e, effSetProgram, 0, 2, nullptr, 0);
  EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0), 2);
  e->dispatcher(e, effSetProgram, 0, 3, nullptr, 0);
  EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0), 2);
  e->dispatcher(e, effSetProgram, 0, -1, nullptr, 0);
  EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0), -1);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0);
  auto* fx = static_cast<TestEffect*>(e->object);
  EXPECT_EQ(fx->getSampleRate(), 48000.0f);
  EXPECT_EQ(fx->getBlockSize(), 256);
  EXPECT_TRUE(boxes.Boxes().empty());
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}

TEST_F(EntryTest, EditorOpcodesReachTheEditor) {
  AEffect* e = Make();
  auto* fx = static_cast<TestEffect*>(e->object);
  fx->AttachEditor();
  EXPECT_EQ(e->flags & effFlagsHasEditor, effFlagsHasEditor);
  ERect* rect = nullptr;
  EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->bottom, 30);
  EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, nullptr, 0), 1);  // no place to write: no crash
  EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0), 1);
  auto* ed = static_cast<TestEditor*>(fx->getEditor());
  ed->postUpdate();
  e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
  e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
  EXPECT_EQ(ed->updates, 1);
  EXPECT_EQ(ed->closes, 1);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}

TEST_F(EntryTest, ExceptionsBecomeMessagesAndNeutralResults) {
  AEffect* e = Make();
  probe.throwOnProcess = true;
  probe.throwOnParam = true;
  float buf[4] = {5, 5, 5, 5};
  float* outs[2] = {buf, buf};
  e->process(e, outs, outs, 4);
  e->processReplacing(e, outs, outs, 4);
  EXPECT_EQ(e->getParameter(e, 7), 0.0f);
  e->setParameter(e, 1, 0.5f);
  EXPECT_EQ(buf[0], 5.0f);  // the block is left as it was
  probe.throwOnClose = true;
  EXPECT_EQ(e->dispatcher(e, effClose, 3, -2, nullptr, 0), 0);
  EXPECT_EQ(probe.destroyed, 0);  // survives a failing close
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{
                               "Exception during \"processClass\": boom",
                               "Exception during \"processClassReplacing\": std failure",
                               "Exception during \"getParameterClass\": bad index 7",
                               "Exception during \"setParameterClass\": unknown exception",
                               "Exception during \"dispatchEffectClass\": cannot close (1 3 -2)",
                           }));
  probe.throwOnClose = false;
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(probe.destroyed, 1);
}

TEST_F(EntryTest, HostFloatingPointStateIsRestoredOnEveryPath) {
  AEffect* e = Make();
  float buf[4] = {};
  float* outs[1] = {buf};
  for (bool fail : {false, true}) {
    probe.throwOnProcess = fail;
    probe.throwOnParam = fail;
    HostFpu host;
    e->processReplacing(e, outs, outs, 4);
    e->process(e, outs, outs, 4);
    e->getParameter(e, 0);
    e->setParameter(e, 0, 0.1f);
    e->dispatcher(e, effIdentify, 0, 0, nullptr, 0);
    FpuState after = ReadFpu();
    EXPECT_EQ(after.cw, kHostCw) << "fail=" << fail;
    EXPECT_EQ(after.mxcsr, kHostMxcsr) << "fail=" << fail;
  }
  ASSERT_FALSE(probe.inside.empty());
  for (const FpuState& s : probe.inside) {
    EXPECT_EQ(s.cw & 0x0F3F, 0x033F);  // masked, 64-bit precision, nearest
    EXPECT_EQ(s.mxcsr & 0xFFC0, 0x1F80u);
  }
  probe.throwOnProcess = probe.throwOnParam = false;
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}

TEST_F(EntryTest, AutomationAndPinQueriesCallTheHost) {
  AEffect* e = Make();
  auto* fx = static_cast<TestEffect*>(e->object);
  fx->setParameterAutomated(1, 0.75f);
  EXPECT_EQ(probe.lastSet, 0.75f);
  ASSERT_EQ(gHostCalls.size(), 1u);
  EXPECT_EQ(gHostCalls[0][0], audioMasterAutomate);
  EXPECT_EQ(gHostCalls[0][1], 1);
  EXPECT_TRUE(fx->isInputConnected(1));  // the host answers 0: connected
  EXPECT_EQ(gHostCalls.back(), (std::vector<VstIntPtr>{audioMasterPinConnected, 1, 0}));
  fx->isOutputConnected(0);
  EXPECT_EQ(gHostCalls.back(), (std::vector<VstIntPtr>{audioMasterPinConnected, 0, 1}));
  gVersionAnswer = 0;
  EXPECT_EQ(fx->getMasterVersion(), 1);
  gVersionAnswer = 2400;
  EXPECT_EQ(fx->getMasterVersion(), 2400);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);

  TestEffect lonely(nullptr, probe);  // no host callback: every host call skipped
  lonely.setParameterAutomated(0, 0.5f);
  EXPECT_TRUE(lonely.isInputConnected(0));
  EXPECT_EQ(lonely.getMasterVersion(), 1);
}

// ---------------------------------------------------------------------------
// main

Probe* gMainProbe = nullptr;
int gModulesFreed = 0;
bool gParamsThrow = false, gEffectThrow = false;

class TestModule : public TComponent {
public:
  TestModule() : TComponent(nullptr), host(new TVSTParameterHost(this)) { host->ProductName = "Kestrune Talvern VST"; }
  ~TestModule() override { ++gModulesFreed; }
  TVSTParameterHost* host;
};

TComponent* TestParams(TVSTParameterHost*& host) {
  if (gParamsThrow) throw Exception("no params");
  auto* m = new TestModule();
  host = m->host;
  return m;
}

AudioEffect* TestCreateEffect(audioMasterCallback cb, TVSTParameterHost*, TComponent*& module) {
  if (gEffectThrow) throw Exception("no effect");
  delete module;
  module = nullptr;
  return new TestEffect(cb, *gMainProbe);
}

const TPluginFactory kTestFactory{TestParams, TestCreateEffect};

class MainTest : public ::testing::Test {
protected:
  void SetUp() override {
    gMainProbe = &probe;
    gHostCalls.clear();
    gModulesFreed = 0;
    gParamsThrow = gEffectThrow = false;
    gVersionAnswer = 2400;
    LibraryAttachWith([]() -> TComponent* { return new TComponent(nullptr); });
  }
  void TearDown() override { LibraryDetach(); }
  AEffect* Main() { return PluginMainWith(TestHost, kTestFactory); }
  void Close(AEffect* e) {
    if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0);
  }
  const std::string key = "Software\\Kestrune\\Kestrune Talvern VST";
  TestRegistry reg;
  RecordingMessageBox boxes;
  Probe probe;
};

TEST_F(MainTest, HostWithoutVersionGetsNothingAndNoMessage) {
  gVersionAnswer = 0;
  EXPECT_EQ(Main(), nullptr);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(gModulesFreed, 0);
}

TEST_F(MainTest, CreatesAnInstanceAndSetsTheProcessWideNames) {
  HostFpu host;
  AEffect* e = Main();
  FpuState after = ReadFpu();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(after.cw, kHostCw);
  EXPECT_EQ(after.mxcsr, kHostMxcsr);
  EXPECT_EQ(HostVersion, 2400);
  EXPECT_EQ(RegistryRoot, "Software\\Kestrune\\");
  EXPECT_EQ(MakerName, "Kestrune");
  EXPECT_TRUE(VST23Mode());
  EXPECT_EQ(gHostCalls.front(), (std::vector<VstIntPtr>{audioMasterVersion, 0, 0}));
  Close(e);
}

TEST_F(MainTest, StartUpOptionsParse) {
  struct Case {
    const char* force;  // nullptr: missing
    const char* disable;
    VstIntPtr version;
    bool force23, disable23, mode;
  } cases[] = {
      {"5", nullptr, 2000, true, false, true},     {"-3", nullptr, 2000, false, false, false},
      {"abc", nullptr, 2000, false, false, false}, {nullptr, nullptr, 2000, false, false, false},
      {"1", "1", 2400, true, true, false},         {nullptr, "7", 2400, false, true, false},
      {"", "0", 2300, false, false, true},         {"0", "x", 2299, false, false, false},
  };
  for (const Case& c : cases) {
    TestRegistry fresh;
    if (c.force) fresh.PutString(key, "ForceVST23", c.force);
    if (c.disable) fresh.PutString(key, "DisableVST23", c.disable);
    gVersionAnswer = c.version;
    AEffect* e = Main();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(ForceVST23, c.force23) << (c.force ? c.force : "-");
    EXPECT_EQ(DisableVST23, c.disable23) << (c.disable ? c.disable : "-");
    EXPECT_EQ(VST23Mode(), c.mode);
    Close(e);
  }
}

TEST_F(MainTest, FailuresAreReportedWithTheirExactTexts) {
  gParamsThrow = true;
  EXPECT_EQ(Main(), nullptr);
  gParamsThrow = false;
  gEffectThrow = true;
  EXPECT_EQ(Main(), nullptr);
  EXPECT_EQ(gModulesFreed, 1);  // freed once, by main
  LibraryDetach();
  gEffectThrow = false;
  EXPECT_EQ(Main(), nullptr);
  LibraryAttachWith([]() -> TComponent* { throw Exception("no skin"); });
  EXPECT_EQ(SkinModule, nullptr);
  EXPECT_EQ(Main(), nullptr);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{
                               "Exception during plug-in's params creation: no params",
                               "Exception during plug-in creation: no effect",
                               "Cannot initialize plug-in because its data module was not created",
                               "Exception during creation of plug-in data module: no skin",
                               "Cannot initialize plug-in because its data module was not created",
                           }));
}

}  // namespace
