// What a host sees of the built library: identity, parameters and their
// texts, programs, automation, chunks between instances, hostile calls.
#include <cstdio>
#include <cstdlib>

#include "E2EFixture.h"
#include "hostkit/PresetFile.h"

namespace e2e {
namespace {

TEST(Plugin, IdentityAndCounts) {
  auto h = NewInstance();
  ASSERT_TRUE(h);
  AEffect* e = h->Effect();
  EXPECT_EQ(e->magic, FourCC("VstP"));
  EXPECT_EQ(e->uniqueID, FourCC("KsEf"));
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->numParams, 9);
  EXPECT_EQ(e->numPrograms, 17);
  EXPECT_EQ(e->flags, 0x39);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(h->Text(effGetVendorString, 0, 64), "Kestrune");
  EXPECT_EQ(h->Text(effGetProductString, 0, 64), "Kestrune Talvern VST");
  EXPECT_EQ(h->Dispatch(effGetVendorVersion), 132353);
  EXPECT_EQ(h->Dispatch(effGetPlugCategory), 1);
  EXPECT_EQ(h->Dispatch(effGetVstVersion), 2);
  EXPECT_EQ(h->Dispatch(effIdentify), FourCC("NvEf"));
  char canDo[] = "receiveVstTimeInfo";
  EXPECT_EQ(h->Dispatch(effCanDo, 0, 0, canDo), 1);
  ERect* rect = nullptr;
  EXPECT_EQ(h->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 600);
  EXPECT_EQ(rect->bottom, 480);
  const char* names[] = {
      "Default",          "Radio Mix", "Big Club Mix",    "Club Punch",   "Flat Bass", "Smooth Mix",
      "Tape Compression", "Solidify",  "Better Balance",  "Deeper",       "Lightness", "Mastering Compression",
      "Open Highs",       "Openness",  "Overcompression", "Transparency", "Soft Press"};
  for (int i = 0; i < 17; ++i) EXPECT_EQ(h->Text(effGetProgramNameIndexed, i, 25, -1), names[i]);
  EXPECT_EQ(h->ProgramName(), "Default");
}

TEST(Plugin, ParameterNamesLabelsAndTexts) {
  auto h = NewInstance();
  const char* names[] = {"MainOut", "InSlope", "unused0", "Fluffy", "Detectr", "MSMode", "unused1", "CDisabl", "CMode"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(h->ParamName(i), names[i]);
  EXPECT_EQ(h->ParamLabel(0), "dB");
  EXPECT_EQ(h->ParamLabel(1), "dB/o");
  EXPECT_EQ(h->ParamLabel(3), "");
  struct Case {
    int index;
    float value;
    const char* text;
  } cases[] = {
      {0, 0.5f, "0.0"},      {0, 0.0f, "-48.0"},   {0, 1.0f, "12.0"},     {0, 0.25f, "-24.0"},
      {1, 0.3f, "3.0"},      {3, 1.0f, "On"},      {3, 0.0f, "Off"},      {4, 0.1f, "Env"},
      {4, 0.0f, "Peak"},     {5, 1 / 9.0f, "Mid"}, {5, 2 / 9.0f, "Side"}, {5, 3 / 9.0f, "Off"},
      {8, 0.1f, "Inverted"}, {8, 0.0f, "Normal"},  {2, 0.5f, ""},         {7, 1.0f, ""},
  };
  for (const Case& c : cases) {
    h->SetParameter(c.index, c.value);
    EXPECT_EQ(h->ParamDisplay(c.index), c.text) << names[c.index] << " " << c.value;
  }
  EXPECT_EQ(h->ParamName(9), "");
  EXPECT_EQ(h->ParamDisplay(-1), "");
  EXPECT_EQ(h->GetParameter(42), 0.0f);
}

TEST(Plugin, AutomationOnlyForProgramChangesAfterStartUp) {
  auto h = NewInstance();
  EXPECT_TRUE(h->CallsOf(audioMasterAutomate).empty());  // start-up applied programs silently
  h->Dispatch(effSetProgram, 0, 1);                      // "Radio Mix": MainOut and Fluffy differ
  auto automated = h->CallsOf(audioMasterAutomate);
  ASSERT_FALSE(automated.empty());
  float told = -1;
  for (const auto& c : automated)
    if (c.Index == 0) told = c.Opt;
  ASSERT_GT(told, 0.5f);                // the program raises the output
  EXPECT_EQ(h->GetParameter(0), told);  // the host's answer came back through setParameter
  h->ClearCalls();
  h->Dispatch(effSetProgram, 0, 1);  // the same values again: nothing to tell
  EXPECT_TRUE(h->CallsOf(audioMasterAutomate).empty());
}

TEST(Plugin, ProgramAndBankChunksTravelBetweenInstances) {
  auto a = NewInstance();
  a->Dispatch(effSetProgram, 0, 6);
  a->SetParameter(0, 0.6f);
  char name[] = "Tape, my way";
  a->Dispatch(effSetProgramName, 0, 0, name);
  std::vector<uint8_t> program = a->GetChunk(true);
  std::vector<uint8_t> bank = a->GetChunk(false);
  ASSERT_FALSE(program.empty());
  ASSERT_FALSE(bank.empty());

  auto b = NewInstance();
  EXPECT_EQ(b->SetChunk(program.data(), static_cast<VstInt32>(program.size()), true), 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b->GetParameter(i), a->GetParameter(i)) << i;
  // The same state makes the same sound.
  std::vector<float> l, r, la, ra, lb, rb;
  TestSignal(l, r, 22050);
  Render(*a, l, r, la, ra, 512);
  Render(*b, l, r, lb, rb, 512);
  EXPECT_LE(MaxUlpDiff(la, lb), 1);
  EXPECT_LE(MaxUlpDiff(ra, rb), 1);

  auto c = NewInstance();
  EXPECT_EQ(c->SetChunk(bank.data(), static_cast<VstInt32>(bank.size()), false), 1);
  EXPECT_EQ(c->Text(effGetProgramNameIndexed, 6, 25, -1), "Tape, my way");
  EXPECT_EQ(c->Text(effGetProgramNameIndexed, 16, 25, -1), "Soft Press");
}

TEST(Plugin, ProgramAndBankFilesWrittenByOneInstanceLoadInAnother) {
  auto a = NewInstance();
  a->Dispatch(effSetProgram, 0, 3);
  a->SetParameter(1, 0.8f);
  hostkit::PresetFile program{
      hostkit::PresetKind::Program, 1, a->Effect()->uniqueID, 1, 9, a->ProgramName(), a->GetChunk(true)};
  hostkit::PresetFile bank{hostkit::PresetKind::Bank, 1, a->Effect()->uniqueID, 1, 17, "", a->GetChunk(false)};
  std::vector<uint8_t> fxp = hostkit::EncodePresetFile(program), fxb = hostkit::EncodePresetFile(bank);

  auto b = NewInstance();
  hostkit::PresetFile readBack;
  std::string why;
  ASSERT_TRUE(hostkit::DecodePresetFile(fxp, hostkit::PresetKind::Program, b->Effect()->uniqueID, readBack, why))
      << why;
  EXPECT_EQ(b->SetChunk(readBack.Chunk.data(), static_cast<VstInt32>(readBack.Chunk.size()), true), 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b->GetParameter(i), a->GetParameter(i)) << i;

  auto c = NewInstance();
  ASSERT_TRUE(hostkit::DecodePresetFile(fxb, hostkit::PresetKind::Bank, c->Effect()->uniqueID, readBack, why)) << why;
  EXPECT_EQ(c->SetChunk(readBack.Chunk.data(), static_cast<VstInt32>(readBack.Chunk.size()), false), 1);
  c->Dispatch(effSetProgram, 0, 3);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(c->GetParameter(i), a->GetParameter(i)) << i;
}

// The dispatcher's value is pointer-sized: on 64-bit hosts a program number
// is judged as a whole, never by its low 32 bits.
TEST(Plugin, ProgramNumbersBeyond32BitsAreNotTruncated) {
  if (sizeof(VstIntPtr) < 8) GTEST_SKIP() << "32-bit host: VstIntPtr holds no more than 32 bits";
  const auto high = static_cast<VstIntPtr>(int64_t{1} << 32);  // 0 on 32-bit builds, which skip
  const struct {
    VstIntPtr value;
    VstIntPtr expected;  // program selected afterwards, starting from 3
  } cases[] = {{high + 1, 3}, {-high + 1, 0}, {high, 3}, {-high, 0}};
  for (const auto& c : cases) {
    auto h = NewInstance();
    h->Dispatch(effSetProgram, 0, 3);
    h->Dispatch(effSetProgram, 0, c.value);
    EXPECT_EQ(h->Dispatch(effGetProgram), c.expected) << c.value;
  }
}

TEST(Plugin, HostileCallsNeverCrash) {
  auto h = NewInstance();
  std::vector<uint8_t> junk(5000, 0xC3);
  EXPECT_EQ(h->SetChunk(junk.data(), static_cast<VstInt32>(junk.size()), true), 0);
  EXPECT_EQ(h->SetChunk(junk.data(), 1864, true), 1);  // any 1864 bytes are an old-format program
  EXPECT_EQ(h->SetChunk(junk.data(), 1863, true), 0);
  EXPECT_EQ(h->SetChunk(nullptr, 100, true), 0);
  EXPECT_EQ(h->SetChunk(junk.data(), -5, false), 0);
  for (VstIntPtr p : {VstIntPtr(-100), VstIntPtr(17), VstIntPtr(1) << 30}) h->Dispatch(effSetProgram, 0, p);
  EXPECT_GE(h->Dispatch(effGetProgram), 0);
  EXPECT_LT(h->Dispatch(effGetProgram), 17);
  for (VstInt32 i : {-1, 9, 1000}) {
    h->SetParameter(i, 0.5f);
    EXPECT_EQ(h->ParamName(i), "");
  }
  h->SetParameter(0, std::nanf(""));
  EXPECT_EQ(h->GetParameter(0), 0.0f);
  for (VstIntPtr category : {VstIntPtr(-2), VstIntPtr(1), VstIntPtr(99)})
    EXPECT_EQ(h->Dispatch(effGetProgramNameIndexed, 0, category, nullptr), 0);
  for (VstInt32 op = 0; op < 80; ++op) {
    if (op == effClose || op == effEditOpen || op == effSetChunk || op == effGetChunk || op == effProcessEvents)
      continue;
    char buf[512] = {};
    h->Dispatch(op, 0, 0, buf, 0.0f);  // every opcode with a generous buffer
  }
  // Still alive and processing.
  std::vector<float> l, r, ol, orr;
  TestSignal(l, r, 4096);
  Render(*h, l, r, ol, orr, 256);
  for (float v : ol) ASSERT_TRUE(std::isfinite(v));
}

// An ordinary session shows the user nothing: start-up (which reads the
// registry's default program), program changes, chunks both ways, audio, close.
TEST(Plugin, AnOrdinarySessionShowsNoMessage) {
  ASSERT_STREQ(std::getenv("KESTRUNE_MESSAGE_LOG"), MessageLogPath());
  {
    auto h = NewInstance();
    ASSERT_TRUE(h);
    for (VstIntPtr p : {1, 9, 16, 0}) h->Dispatch(effSetProgram, 0, p);
    std::vector<uint8_t> program = h->GetChunk(true);
    std::vector<uint8_t> bank = h->GetChunk(false);
    EXPECT_EQ(h->SetChunk(program.data(), static_cast<VstInt32>(program.size()), true), 1);
    EXPECT_EQ(h->SetChunk(bank.data(), static_cast<VstInt32>(bank.size()), false), 1);
    std::vector<float> l, r, ol, orr;
    TestSignal(l, r, 4096);
    Render(*h, l, r, ol, orr, 512);
  }
  EXPECT_EQ(MessageLog(), "");
}

}  // namespace
}  // namespace e2e
