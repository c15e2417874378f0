// The built-in bank as stored: seventeen programs with the fixed names, each
// holding the same 54 entries in the same order, "Default" holding the neutral
// settings, and every other program holding values the engine can use.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ProgramRig.h"
#include "params/state/PresetMan.h"

namespace programs {
namespace {

struct Entry {
  std::string Name;
  TPresetEntryKind Kind;
};

// The entry layout every program of the bank carries, in order.
std::vector<Entry> ExpectedLayout() {
  std::vector<Entry> e;
  for (const char* p : {"MAINOUT", "INSLOPE", "UNUSED0", "FLUFFY", "DETECTR", "MSMODE", "UNUSED1", "CDISABL", "CMODE"})
    e.push_back({std::string(p) + " [0]", pekSingle});
  for (const char* m : {"_DISPLAYMODE", "_CURENV", "_OVRENV", "_WEIGHTING", "_GRAPHVISIBLE"})
    e.push_back({std::string(m) + " [0]", pekInteger});
  for (int k = 0; k < 9; ++k) {
    std::string i = " [" + std::to_string(k) + "]";
    e.push_back({"_ENVPOINTS" + i, pekBlock});
    e.push_back({"_ENVMINVALUE" + i, pekSingle});
    e.push_back({"_ENVMAXVALUE" + i, pekSingle});
    e.push_back({"_ENVDEFVALUE" + i, pekSingle});
  }
  for (int s = 0; s < 4; ++s) e.push_back({"_ORDERING [" + std::to_string(s) + "]", pekInteger});
  return e;
}

constexpr float kDefaultLevels[9] = {1.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.5f, 1.0f, 0.5f, 0.5f};

struct Point {
  float x, y;
};

std::vector<Point> Points(const TPresetObject& p, int kind) {
  uint32_t size = 0;
  const void* data = p.GetBlock("_EnvPoints", kind, size);
  std::vector<Point> pts(size / 8);
  if (data && size) std::memcpy(pts.data(), data, pts.size() * 8);
  return pts;
}

class FactoryBank : public ::testing::Test {
protected:
  void SetUp() override {
    int32_t size = 0;
    const uint8_t* chunk = FactoryBankChunk(size);
    ASSERT_NE(chunk, nullptr);
    ASSERT_GT(size, 16);
    ASSERT_TRUE(bank.ReadChunk(chunk, static_cast<size_t>(size)));
  }
  TBankObject bank;
};

TEST_F(FactoryBank, HoldsTheSeventeenNamedProgramsWithTheFullLayout) {
  EXPECT_EQ(bank.Root()->Name, "Default");
  ASSERT_EQ(bank.ProgramCount(), 17);
  const std::vector<Entry> layout = ExpectedLayout();
  ASSERT_EQ(layout.size(), 54u);
  for (int i = 0; i < 17; ++i) {
    SCOPED_TRACE(kProgramNames[i]);
    EXPECT_EQ(bank.Root()->Child(i)->Name, kProgramNames[i]);
    const TPresetObject* p = bank.Program(i);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Version, 2);
    ASSERT_EQ(p->EntryCount(), 54);
    for (int k = 0; k < 54; ++k) {
      EXPECT_EQ(p->EntryName(k), layout[k].Name) << "entry " << k;
      EXPECT_EQ(p->EntryKind(k), layout[k].Kind) << layout[k].Name;
    }
  }
}

TEST_F(FactoryBank, DefaultIsTheNeutralProgram) {
  const TPresetObject& p = *bank.Program(0);
  EXPECT_EQ(p.GetSingle("MainOut", 0, -1), 0.5f);
  EXPECT_EQ(p.GetSingle("InSlope", 0, -1), 0.3f);  // the single nearest 0.3
  for (const char* name : {"unused0", "Fluffy", "Detectr", "MSMode", "unused1", "CDisabl", "CMode"})
    EXPECT_EQ(p.GetSingle(name, 0, -1), 0.0f) << name;
  for (const char* name : {"_DisplayMode", "_CurEnv", "_OvrEnv", "_Weighting", "_GraphVisible"})
    EXPECT_EQ(p.GetInteger(name, 0, -1), 0) << name;
  for (int k = 0; k < 9; ++k) {
    SCOPED_TRACE("envelope " + std::to_string(k));
    std::vector<Point> pts = Points(p, k);
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(pts[0].x, 0.0f);
    EXPECT_EQ(pts[1].x, 1.0f);
    EXPECT_EQ(pts[0].y, kDefaultLevels[k]);
    EXPECT_EQ(pts[1].y, kDefaultLevels[k]);
    EXPECT_EQ(p.GetSingle("_EnvMinValue", k, -1), 0.0f);
    EXPECT_EQ(p.GetSingle("_EnvMaxValue", k, -1), 1.0f);
    EXPECT_EQ(p.GetSingle("_EnvDefValue", k, -1), kDefaultLevels[k]);
  }
  const int32_t order[4] = {0, 1, -1, -1};
  for (int s = 0; s < 4; ++s) EXPECT_EQ(p.GetInteger("_Ordering", s, -9), order[s]) << "slot " << s;
}

// Every factory program must be usable as it stands: parameters within the
// host range, envelopes with at least two points strictly increasing in x
// (the engine drops points that are not) inside the editor's 0..1 box and
// spanning the whole axis, the flat defaults' limits, a known weighting and
// a valid stage order.
TEST_F(FactoryBank, EveryProgramHoldsUsableValues) {
  for (int i = 0; i < 17; ++i) {
    SCOPED_TRACE(kProgramNames[i]);
    const TPresetObject& p = *bank.Program(i);
    for (int k = 0; k < p.EntryCount() && k < 9; ++k) {
      float v = 0;
      std::memcpy(&v, p.EntryData(k), sizeof v);
      EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << p.EntryName(k) << " = " << v;
    }
    // Mid/side processing and the inverted curve would make a different
    // effect of every program; the factory programs use neither.
    EXPECT_EQ(p.GetSingle("MSMode", 0, -1), 0.0f);
    EXPECT_EQ(p.GetSingle("CMode", 0, -1), 0.0f);
    for (int k = 0; k < 9; ++k) {
      SCOPED_TRACE("envelope " + std::to_string(k));
      std::vector<Point> pts = Points(p, k);
      ASSERT_GE(pts.size(), 2u);
      ASSERT_LE(pts.size(), 32u);
      for (size_t j = 0; j < pts.size(); ++j) {
        EXPECT_TRUE(pts[j].x >= 0.0f && pts[j].x <= 1.0f) << "point " << j;
        EXPECT_TRUE(pts[j].y >= 0.0f && pts[j].y <= 1.0f) << "point " << j;
        if (j > 0) {
          EXPECT_GT(pts[j].x, pts[j - 1].x) << "point " << j;
        }
      }
      // The engine extends the first and last segments beyond the end
      // points, so a curve that stops short of either end keeps rising or
      // falling out to 25 Hz or 20 kHz; the factory curves span the axis.
      EXPECT_EQ(pts.front().x, 0.0f);
      EXPECT_EQ(pts.back().x, 1.0f);
      EXPECT_EQ(p.GetSingle("_EnvMinValue", k, -1), 0.0f);
      EXPECT_EQ(p.GetSingle("_EnvMaxValue", k, -1), 1.0f);
      EXPECT_EQ(p.GetSingle("_EnvDefValue", k, -1), kDefaultLevels[k]);
    }
    int32_t w = p.GetInteger("_Weighting", 0, -1);
    EXPECT_TRUE(w >= 0 && w <= 4) << w;
    std::set<int32_t> used;
    for (int s = 0; s < 4; ++s) {
      int32_t c = p.GetInteger("_Ordering", s, -9);
      EXPECT_TRUE(c >= -1 && c <= 3) << "slot " << s << ": " << c;
      if (c >= 0) {
        EXPECT_TRUE(used.insert(c).second) << "stage " << c << " twice";
      }
    }
  }
}

// The effect starts from this bank: its programs carry the same names.
TEST(FactoryBankInEffect, ProgramNamesReachTheHost) {
  platform::testing::TestRegistry reg;
  platform::testing::RecordingMessageBox boxes;
  Instance fx(0);
  AEffect* e = fx.Effect();
  EXPECT_EQ(e->numPrograms, 17);
  for (int i = 0; i < 17; ++i) {
    char name[64] = {};
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, i, 0, name, 0), 1);
    EXPECT_STREQ(name, kProgramNames[i]);
    e->dispatcher(e, effSetProgram, 0, i, nullptr, 0);
    char current[64] = {};
    e->dispatcher(e, effGetProgramName, 0, 0, current, 0);
    EXPECT_STREQ(current, kProgramNames[i]);
  }
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
}  // namespace programs
