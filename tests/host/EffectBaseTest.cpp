// TVSTEffectBase through its real AEffect record: construction, the 2.x
// opcode table, programs, chunks in both formats, compare copy, the default
// program in the registry, the process record and handler choice.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "HostFixture.h"

namespace hosttest {
namespace {

TEST_F(HostTest, ConstructionFillsTheRecord) {
  Instance fx;
  AEffect* e = fx.record;
  EXPECT_EQ(e->numPrograms, 4);
  EXPECT_EQ(e->numParams, 3);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->flags, effFlagsCanMono | effFlagsCanReplacing | effFlagsProgramChunks);
  EXPECT_EQ(e->uniqueID, FourCC("KsEf"));
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, 7);
  EXPECT_EQ(fx.Dispatch(effGetProgram), 0);
  Instance withEditor(true, "AB");
  EXPECT_EQ(withEditor.record->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(withEditor.record->uniqueID, FourCC("ABxx"));
  ERect* rect = nullptr;
  EXPECT_EQ(withEditor.Dispatch(effEditGetRect, 0, 0, &rect), 1);  // before any open
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->bottom, 480);
  EXPECT_EQ(rect->right, 600);
  EXPECT_EQ(withEditor.Dispatch(effEditOpen), 0);  // no form handler: refused
}

TEST_F(HostTest, AFailingConstructionFreesTheModuleOnce) {
  auto* module = new TestModule();
  bool destroyed = false;
  module->host->OnSetPreset = [](TPresetObject*) { throw Exception("bad program"); };
  module->host->OnDestroy = [&](TObject*) { destroyed = true; };
  TComponent* m = module;
  EXPECT_THROW(
      {
        auto* fx = new TVSTEffectBase(LogHost, module->host, m);
        (void)fx;
      },
      Exception);
  EXPECT_EQ(m, nullptr);   // the effect had taken it
  EXPECT_TRUE(destroyed);  // and freed it (the sanitizer lane sees any leak)
}

TEST_F(HostTest, VersionTwoOpcodes) {
  Instance fx;
  struct Case {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    const char* text;
    VstIntPtr expected;
  } cases[] = {
      {effCanDo, 0, 0, "receiveVstTimeInfo", 1},
      {effCanDo, 0, 0, "ReceiveVstTimeInfo", 0},
      {effCanDo, 0, 0, "", 0},
      {effCanDo, 0, 0, nullptr, 0},
      {effGetVstVersion, 0, 0, nullptr, 2},
      {effKeysRequired, 0, 0, nullptr, 1},
      {effGetPlugCategory, 0, 0, nullptr, 1},
      {effGetVendorVersion, 0, 0, nullptr, 0x20501},
      {effCanBeAutomated, 99, 0, nullptr, 1},
      {effGetNumProgramCategories, 0, 0, nullptr, 1},
      {effString2Parameter, 0, 0, nullptr, 0},
      {effCopyProgram, 0, 0, nullptr, 0},
      {effConnectOutput, 0, 1, nullptr, 1},
      {effGetTailSize, 0, 0, nullptr, 0},
      {effSetBypass, 0, 1, nullptr, 0},
      {effGetIcon, 0, 0, nullptr, 0},
      {effVendorSpecific, 1, 2, nullptr, 0},
      {effProcessEvents, 0, 0, nullptr, 1},
      {effGetInputProperties, 0, 0, nullptr, 0},
      {effIdle, 0, 0, nullptr, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fx.Dispatch(c.opcode, c.index, c.value, const_cast<char*>(c.text)), c.expected) << c.opcode;
  // The wheel request is answered whether or not an editor exists; 0.0 is a step down.
  EXPECT_EQ(fx.Dispatch(effVendorSpecific, FourCC("stCA"), FourCC("Whee"), nullptr, 0.0f), 1);
  EXPECT_EQ(fx.Text(effGetVendorString), "Kestrune");
  EXPECT_EQ(fx.Text(effGetProductString), "Kestrune Talvern VST");
  fx.module->host->PluginName = "Short Name";
  EXPECT_EQ(fx.Text(effGetProductString), "Short Name");
}

TEST_F(HostTest, BlockSizeAndRateTogetherStoreWithoutTellingTheParameterHost) {
  Instance fx;
  int rates = 0, blocks = 0;
  fx.module->host->OnNewSamplingFrequency = [&](TObject*) { ++rates; };
  fx.module->host->OnNewBlockSize = [&](TObject*) { ++blocks; };
  EXPECT_EQ(fx.Dispatch(effSetBlockSizeAndSampleRate, 0, 64, nullptr, 96000.0f), 1);
  EXPECT_EQ(fx.effect->getBlockSize(), 64);
  EXPECT_EQ(fx.effect->getSampleRate(), 96000.0f);
  EXPECT_EQ(rates + blocks, 0);
  fx.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.4f);
  fx.Dispatch(effSetBlockSize, 0, 128);
  EXPECT_EQ(fx.module->host->SampleRate(), 48000);
  EXPECT_EQ(fx.module->host->BlockSize(), 128);
  // Rates nothing can work with are ignored.
  for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    fx.Dispatch(effSetSampleRate, 0, 0, nullptr, bad);
  EXPECT_EQ(fx.module->host->SampleRate(), 48000);
  EXPECT_EQ(rates, 1);
  EXPECT_EQ(blocks, 1);
}

TEST_F(HostTest, ParametersThroughTheRecord) {
  Instance fx;
  AEffect* e = fx.record;
  e->setParameter(e, 1, 0.5f);  // range 0..9: 4.5 rounds to 4
  EXPECT_EQ(fx.Param(1)->CurValue(), 4);
  EXPECT_FLOAT_EQ(e->getParameter(e, 1), 4.0f / 9.0f);
  e->setParameter(e, -1, 1.0f);
  e->setParameter(e, 3, 1.0f);
  EXPECT_EQ(e->getParameter(e, 3), 0.0f);
  EXPECT_EQ(e->getParameter(e, -7), 0.0f);
  EXPECT_EQ(fx.Text(effGetParamName, 0), "Gain");
  EXPECT_EQ(fx.Text(effGetParamLabel, 0), "dB");
  EXPECT_EQ(fx.Text(effGetParamDisplay, 1), "v4");
  EXPECT_EQ(fx.Text(effGetParamName, 3), "");
  EXPECT_EQ(fx.Text(effGetParamDisplay, -1), "");
  // Texts are bounded at 8 characters and a zero.
  fx.Param(0)->DisplayLabel = "a label far too long";
  EXPECT_EQ(fx.Text(effGetParamLabel, 0), "a label ");
}

TEST_F(HostTest, AutomationOnlyAfterStartUp) {
  Instance fx;
  // Start-up applied programs with SetNormalized: the host heard nothing.
  EXPECT_TRUE(log.automated.empty());
  TPresetObject* p2 = fx.effect->Bank().Program(2);
  p2->SetSingle("Gain", 0, 1.0f);
  p2->SetSingle("Mode", 0, 0.0f);  // equal to the live value: no request
  fx.Dispatch(effSetProgram, 0, 2);
  ASSERT_EQ(log.automated.size(), 1u);
  EXPECT_EQ(log.automated[0], 1.0f);
  EXPECT_EQ(fx.Param(0)->CurValue(), 1000000);  // the automation came back through setParameter
}

TEST_F(HostTest, ProgramsSwitchStoreAndName) {
  Instance fx;
  fx.module->state = 11;
  fx.Param(0)->SetCurValue(100);
  fx.Dispatch(effSetProgram, 0, 1);  // program 0 keeps the live settings
  EXPECT_EQ(fx.module->state, -1);   // program 1 holds the declared defaults: no state entry
  fx.Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(fx.module->state, 11);
  EXPECT_EQ(fx.Param(0)->CurValue(), 100);
  for (VstIntPtr v : {VstIntPtr(-5), VstIntPtr(4), VstIntPtr(1000), VstIntPtr(3)}) fx.Dispatch(effSetProgram, 0, v);
  EXPECT_EQ(fx.Dispatch(effGetProgram), 3);

  char longName[] = "A program name longer than twenty-four characters";
  fx.Dispatch(effSetProgramName, 0, 0, longName);
  EXPECT_EQ(fx.Text(effGetProgramName), std::string(longName, 24));
  EXPECT_EQ(fx.Text(effGetProgramNameIndexed, 3, -1), std::string(longName, 24));
  EXPECT_EQ(fx.Text(effGetProgramNameIndexed, 0, 0), "Default");
  for (auto [index, category] : {std::pair{4, 0}, {-1, 0}, {0, 1}, {0, -2}})
    EXPECT_EQ(fx.Dispatch(effGetProgramNameIndexed, index, category, nullptr), 0);
  char buf[32] = "untouched";
  EXPECT_EQ(fx.Dispatch(effGetProgramNameIndexed, 0, 7, buf), 0);
  EXPECT_STREQ(buf, "untouched");
}

TEST_F(HostTest, FourMostRecentChunksStayValid) {
  Instance fx;
  std::vector<std::vector<uint8_t>> copies;
  std::vector<uint8_t*> pointers;
  for (int i = 0; i < 7; ++i) {
    fx.module->state = i;
    void* data = nullptr;
    VstIntPtr n = fx.Dispatch(effGetChunk, 1, 0, &data);
    ASSERT_GT(n, 0);
    pointers.push_back(static_cast<uint8_t*>(data));
    copies.emplace_back(pointers.back(), pointers.back() + n);
  }
  for (int i = 3; i < 7; ++i)
    EXPECT_EQ(std::memcmp(pointers[static_cast<size_t>(i)], copies[static_cast<size_t>(i)].data(),
                          copies[static_cast<size_t>(i)].size()),
              0);
  // Each chunk carries the state of its moment.
  TPresetObject p;
  ASSERT_TRUE(p.ReadChunk(copies[5].data(), copies[5].size()));
  EXPECT_EQ(p.GetInteger("_State", 0, -1), 5);
  EXPECT_EQ(fx.Dispatch(effGetChunk, 1, 0, nullptr), 0);  // no place for the pointer
}

TEST_F(HostTest, ChunksTravelBetweenInstances) {
  Instance a, b;
  a.module->state = 42;
  a.Param(0)->SetCurValue(123456);
  a.Param(2)->SetCurValue(1);
  std::vector<uint8_t> program = a.Chunk(true);
  EXPECT_EQ(b.Dispatch(effSetChunk, 1, static_cast<VstIntPtr>(program.size()), program.data()), 1);
  EXPECT_EQ(b.module->state, 42);
  EXPECT_EQ(b.Param(0)->CurValue(), 123456);
  EXPECT_EQ(b.Param(2)->CurValue(), 1);

  char name[] = "Renamed";
  a.Dispatch(effSetProgram, 0, 2);
  a.Dispatch(effSetProgramName, 0, 0, name);
  a.module->state = 7;
  std::vector<uint8_t> bank = a.Chunk(false);
  Instance c;
  EXPECT_EQ(c.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data()), 1);
  EXPECT_EQ(c.Text(effGetProgramNameIndexed, 2, -1), "Renamed");
  c.Dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(c.module->state, 7);
}

TEST_F(HostTest, JunkChunksAreRefusedAndChangeNothing) {
  Instance fx;
  fx.module->state = 5;
  fx.Param(0)->SetCurValue(777);
  std::vector<uint8_t> good = fx.Chunk(true);
  std::vector<uint8_t> junk(300, 0x5A);
  struct Case {
    void* data;
    VstIntPtr size;
    VstInt32 program;
  } cases[] = {
      {nullptr, 100, 1},
      {junk.data(), -1, 1},
      {junk.data(), 0, 0},
      {junk.data(), static_cast<VstIntPtr>(junk.size()), 1},
      {junk.data(), static_cast<VstIntPtr>(junk.size()), 0},
      {good.data(), static_cast<VstIntPtr>(good.size() / 2), 1},
      {good.data(), 51, 1},  // one byte short of the old program size
      {good.data(), 20, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(fx.Dispatch(effSetChunk, c.program, c.size, c.data), 0) << c.size;
  EXPECT_EQ(fx.module->state, 5);
  EXPECT_EQ(fx.Param(0)->CurValue(), 777);
}

TEST_F(HostTest, OldFormatProgramAndBank) {
  Instance fx;
  // Old program: 3 singles, then 40 bytes of the plug-in's own.
  std::vector<uint8_t> old(52, 0);
  float values[3] = {0.25f, 1.0f, 1.0f};
  std::memcpy(old.data(), values, sizeof values);
  old[12] = 0xAB;
  fx.Param(2)->SetCurValue(1);  // not among the first two: goes back to its DefValue (0)
  EXPECT_EQ(fx.Dispatch(effSetChunk, 1, 52, old.data()), 1);
  EXPECT_EQ(fx.module->legacyFirstByte, 0xAB);
  EXPECT_EQ(fx.module->legacyParam0, 0.25f);
  EXPECT_EQ(fx.Param(0)->CurValue(), 250000);
  EXPECT_EQ(fx.Param(1)->CurValue(), 9);
  EXPECT_EQ(fx.Param(2)->CurValue(), 0);

  // Old bank: four programs, then one 41-byte name field per program.
  std::vector<uint8_t> bank(4 * (52 + 41), 0);
  for (int i = 0; i < 4; ++i) {
    float v[3] = {0.1f * static_cast<float>(i), 0.0f, 0.0f};
    std::memcpy(bank.data() + i * 52, v, sizeof v);
    std::string name = "Old " + std::to_string(i);
    std::memcpy(bank.data() + 4 * 52 + i * 41, name.data(), name.size());
  }
  std::memset(bank.data() + 4 * 52 + 3 * 41, 'N', 41);  // a name field without any zero
  EXPECT_EQ(fx.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data()), 1);
  EXPECT_EQ(fx.Text(effGetProgramNameIndexed, 1, -1), "Old 1");
  EXPECT_EQ(fx.Text(effGetProgramNameIndexed, 3, -1), std::string(24, 'N'));
  fx.Dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(fx.Param(0)->CurValue(), 200000);
  fx.Dispatch(effSetProgram, 0, 3);  // the last program of the block is read too
  EXPECT_EQ(fx.Param(0)->CurValue(), 300000);
  EXPECT_EQ(fx.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size() - 1), bank.data()), 0);
}

TEST_F(HostTest, CompareCopyAndExchange) {
  Instance fx;
  fx.module->state = 1;
  fx.Param(0)->SetCurValue(10);
  fx.effect->CompareCopy();
  fx.module->state = 2;
  fx.Param(0)->SetCurValue(20);
  fx.effect->CompareExchange();  // live <- copy, copy <- live
  EXPECT_EQ(fx.module->state, 1);
  EXPECT_EQ(fx.Param(0)->CurValue(), 10);
  fx.module->host->CompareExchangeClick(nullptr);  // the editor button's way
  EXPECT_EQ(fx.module->state, 2);
  EXPECT_EQ(fx.Param(0)->CurValue(), 20);
}

TEST_F(HostTest, DefaultProgramInTheRegistry) {
  {
    Instance fx;
    fx.module->state = 99;
    fx.module->bigBlock.resize(9000);
    uint32_t x = 2463534242u;  // xorshift noise: incompressible, so the chunk spans three pieces
    for (uint8_t& byte : fx.module->bigBlock) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      byte = static_cast<uint8_t>(x);
    }
    fx.Param(0)->SetCurValue(4242);
    fx.effect->PresetMenuCommand(nullptr, pcSetDefault);
    uint32_t type;
    std::string len, piece;
    ASSERT_TRUE(reg.Get(key, "KsEfDefaultPresetLen", type, len));
    int size = std::stoi(len);
    EXPECT_GT(size, 8192);
    ASSERT_TRUE(reg.Get(key, "KsEfDefaultPreset0", type, piece));
    EXPECT_EQ(type, platform::REG_TYPE_BINARY);
    EXPECT_EQ(piece.size(), 4096u);
    ASSERT_TRUE(reg.Get(key, "KsEfDefaultPreset2", type, piece));
    EXPECT_EQ(piece.size(), static_cast<size_t>(size - 8192));
    EXPECT_EQ(boxes.Boxes().back().Caption, "Default preset");
    EXPECT_EQ(boxes.Boxes().back().Icon, platform::MB_ICON_WARNING);
    EXPECT_EQ(boxes.Texts().back(),
              "Current program has been stored as a default program.\r\rEach newly created instance of this "
              "plug-in will use it as its initial program.");
  }
  {
    Instance fresh;  // starts from the stored program
    EXPECT_EQ(fresh.module->state, 99);
    EXPECT_EQ(fresh.Param(0)->CurValue(), 4242);
    EXPECT_EQ(fresh.Param(0)->DefValue(), 4242);  // the starting program is the default
    fresh.effect->PresetMenuCommand(nullptr, pcResetDefault);
    EXPECT_EQ(boxes.Texts().back(), "Default preset has been reset to its original state.");
    EXPECT_EQ(fresh.Param(0)->DefValue(), 500000);  // back to the factory default
    EXPECT_FALSE(reg.Has(key, "KsEfDefaultPreset0"));
    EXPECT_FALSE(reg.Has(key, "KsEfDefaultPreset2"));
    EXPECT_TRUE(reg.Has(key, "KsEfDefaultPresetLen"));  // the length values stay
  }
  // The stored length now names missing pieces: the declared defaults are used.
  Instance after;
  EXPECT_EQ(after.Param(0)->CurValue(), 500000);
}

TEST_F(HostTest, DefaultProgramUnderTheOlderNamesAndHostileValues) {
  std::vector<uint8_t> chunk;
  {
    Instance fx;
    fx.module->state = 31;
    chunk = fx.Chunk(true);
  }
  reg.PutString(key, "DefaultPresetLen", std::to_string(chunk.size()));
  reg.Put(key, "DefaultPreset0", platform::REG_TYPE_BINARY, std::string(chunk.begin(), chunk.end()));
  {
    Instance fx;
    EXPECT_EQ(fx.module->state, 31);
  }
  struct Case {
    std::string len;
    std::string piece;
  } cases[] = {
      {"-5", ""},
      {"abc", ""},
      {"2147483647", ""},
      {std::to_string(chunk.size()), "short"},
      {std::to_string(chunk.size()), std::string(chunk.size(), '\xEE')},
  };
  for (const Case& c : cases) {
    platform::testing::TestRegistry hostile;
    hostile.PutString(key, "KsEfDefaultPresetLen", c.len);
    if (!c.piece.empty()) hostile.Put(key, "KsEfDefaultPreset0", platform::REG_TYPE_BINARY, c.piece);
    Instance fx;
    EXPECT_EQ(fx.module->state, -1) << c.len;  // declared defaults: no state entry
    EXPECT_EQ(fx.Param(0)->CurValue(), 500000);
    fx.effect->ResetDefaultProgram();  // never loops over absurd piece counts
  }
}

TEST_F(HostTest, ProcessRecordAndHandlerChoice) {
  Instance fx;
  float a[4] = {}, b[4] = {}, o0[4] = {}, o1[4] = {};
  float* in[2] = {a, b};
  float* same[2] = {a, a};
  float* missing[2] = {a, nullptr};
  float* out[2] = {o0, o1};
  AEffect* e = fx.record;
  e->processReplacing(e, in, out, 4);
  EXPECT_EQ(fx.module->handler, "S2S");
  const TVSTProcessRecord& r = fx.module->lastRecord;
  EXPECT_EQ(r.Replacing, -1);
  EXPECT_EQ(r.SampleFrames, 4);
  EXPECT_EQ(r.InCount, 2);
  EXPECT_EQ(r.Inputs[1], b);
  EXPECT_EQ(r.Inputs[2], nullptr);
  EXPECT_EQ(r.InConnected[1], 1);
  e->process(e, same, out, 3);
  EXPECT_EQ(fx.module->handler, "S2Sm");
  EXPECT_EQ(fx.module->lastRecord.Replacing, 0);
  EXPECT_EQ(fx.module->lastRecord.InConnected[1], 0);
  e->processReplacing(e, missing, out, 2);
  EXPECT_EQ(fx.module->handler, "S2Sm");
  fx.Dispatch(effConnectInput, 1, 0);  // the host disconnects input 1
  e->processReplacing(e, in, out, 1);
  EXPECT_EQ(fx.module->lastRecord.InConnected[1], 0);
  EXPECT_EQ(fx.module->lastRecord.InConnected[0], 1);

  struct Layout {
    int in, out;
    const char* handler;
  } layouts[] = {{1, 1, "M2M"}, {1, 2, "S2Sm"}, {1, 3, ""}, {3, 2, "Any"}, {2, 4, "Any"}};
  for (const Layout& l : layouts) {
    fx.module->host->SetInChannelCount(l.in);
    fx.module->host->SetOutChannelCount(l.out);
    fx.module->handler.clear();
    float* many[4] = {a, b, a, b};
    e->processReplacing(e, many, many, 1);
    EXPECT_EQ(fx.module->handler, l.handler) << l.in << "x" << l.out;
  }
}

TEST_F(HostTest, ResumeAsksForConnectionsInVersion23ModeAndSuspendClears) {
  log.pinAnswers = {0, 1};  // input 1 is not connected
  Instance fx;
  fx.Dispatch(effMainsChanged, 0, 1);
  EXPECT_TRUE(fx.module->host->InputConnected[0]);
  EXPECT_FALSE(fx.module->host->InputConnected[1]);
  fx.Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(fx.module->clears, 1);
  HostVersion = 2200;  // below 2.3: no connection queries
  log.Clear();
  fx.Dispatch(effMainsChanged, 0, 1);
  for (const auto& c : log.calls) EXPECT_NE(c[0], audioMasterPinConnected);
}

TEST_F(HostTest, HostVendorDecidesHostIsSteinberg) {
  HostIsSteinberg = false;
  log.vendor = "SteinbergX";
  { Instance fx; }
  EXPECT_FALSE(HostIsSteinberg);
  log.vendor = std::string(64, 'V');  // no terminating zero within 64 bytes
  {
    Instance fx;
    EXPECT_EQ(fx.effect->HostVendor(), std::string(64, 'V'));
  }
  log.answerVendor = false;
  {
    Instance fx;
    EXPECT_EQ(fx.effect->HostVendor(), "");
  }
  log.answerVendor = true;
  log.vendor = "Steinberg";
  { Instance fx; }
  EXPECT_TRUE(HostIsSteinberg);
  log.vendor = "Other";
  { Instance fx; }
  EXPECT_TRUE(HostIsSteinberg);  // never reset
  HostIsSteinberg = false;
}

}  // namespace
}  // namespace hosttest
