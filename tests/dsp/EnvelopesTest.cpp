// The envelope set: reset, store, knob simplification, program storage and
// the older chunk layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"
#include "params/state/PresetMan.h"

namespace {

class EnvelopeSetTest : public ::testing::Test {
protected:
  TSyncObject sync;
  TTalvern engine{44100, &sync};
};

TEST_F(EnvelopeSetTest, ResetGivesFlatDefaultsAndMarksEveryKind) {
  const float defaults[9] = {1.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.5f, 1.0f, 0.5f, 0.5f};
  engine.SetCurEnv(4);
  engine.ChooseStage(0, scOff);
  engine.ResetAll();
  const TEnvelopeSet set = engine.CurrentSet();
  EXPECT_EQ(set.Version, 2);
  EXPECT_EQ(set.CurEnv, 0);
  EXPECT_EQ(set.DisplayMode, 0);
  EXPECT_EQ(set.OvrEnv, 0);
  EXPECT_EQ(set.Weighting, 0);
  EXPECT_EQ(set.GraphVisible, 0);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(set.Ordering[s], s);
  for (int k = 0; k < 9; ++k) {
    const TEnvelope& e = set.Envelopes[k];
    EXPECT_EQ(e.PointCount, 2);
    EXPECT_EQ(e.DefValue, defaults[k]);
    EXPECT_EQ(e.MinValue, 0.0f);
    EXPECT_EQ(e.MaxValue, 1.0f);
    EXPECT_EQ(e.Points[0].x, 0.0f);
    EXPECT_EQ(e.Points[1].x, 1.0f);
    EXPECT_EQ(e.Points[0].y, defaults[k]);
    EXPECT_EQ(e.Points[1].y, defaults[k]);
  }
  EXPECT_EQ(engine.DirtyMask() & 0x1FF, 0x1FF);
}

TEST_F(EnvelopeSetTest, StoreKeepsTheTargetsLimitsAndClampsThePointCount) {
  TEnvelope e = *engine.EnvelopeRecord(0);
  e.MinValue = -5;
  e.MaxValue = 7;
  e.DefValue = 0.3f;
  e.PointCount = 3;
  e.Points[2] = {0.7f, 0.1f};
  engine.StoreEnvelope(2, e);
  TEnvelopeSet set = engine.CurrentSet();
  EXPECT_EQ(set.Envelopes[2].MinValue, 0.0f);
  EXPECT_EQ(set.Envelopes[2].MaxValue, 1.0f);
  EXPECT_EQ(set.Envelopes[2].DefValue, 0.5f);
  EXPECT_EQ(set.Envelopes[2].PointCount, 3);
  EXPECT_EQ(set.Envelopes[2].Points[2].x, 0.7f);
  e.PointCount = 1000;
  engine.StoreEnvelope(3, e);
  EXPECT_EQ(engine.CurrentSet().Envelopes[3].PointCount, 32);
  e.PointCount = -4;
  engine.StoreEnvelope(3, e);
  EXPECT_EQ(engine.CurrentSet().Envelopes[3].PointCount, 0);
  EXPECT_EQ(engine.EnvelopeRecord(9), nullptr);
  EXPECT_EQ(engine.EnvelopeRecord(-1), nullptr);
}

TEST_F(EnvelopeSetTest, SimplifyForKnobsKeepsEndsAndTheCurveValueAtTheMiddle) {
  TEnvelope e = *engine.EnvelopeRecord(4);
  e.PointCount = 4;
  e.Points[0] = {0.0f, 0.2f};
  e.Points[1] = {0.4f, 0.6f};
  e.Points[2] = {0.3f, 0.9f};  // not beyond the last kept x: ignored by the curve
  e.Points[3] = {0.8f, 1.0f};
  engine.StoreEnvelope(4, e);
  engine.SimplifyForKnobs();
  const TEnvelopeSet set = engine.CurrentSet();
  const TEnvelope& s = set.Envelopes[4];
  ASSERT_EQ(s.PointCount, 3);
  EXPECT_EQ(s.Points[0].x, 0.0f);
  EXPECT_EQ(s.Points[0].y, 0.2f);
  EXPECT_EQ(s.Points[1].x, 0.5f);
  EXPECT_FLOAT_EQ(s.Points[1].y, 0.6f + (0.5f - 0.4f) * (1.0f - 0.6f) / (0.8f - 0.4f));
  EXPECT_EQ(s.Points[2].x, 1.0f);
  EXPECT_EQ(s.Points[2].y, 1.0f);
  // A flat default curve gives three equal values.
  for (int k : {0, 3, 8}) {
    const TEnvelope& f = set.Envelopes[k];
    EXPECT_EQ(f.PointCount, 3);
    EXPECT_EQ(f.Points[0].y, f.DefValue);
    EXPECT_EQ(f.Points[1].y, f.DefValue);
    EXPECT_EQ(f.Points[2].y, f.DefValue);
  }
}

TEST_F(EnvelopeSetTest, ChoosingAStageMovesItOutOfItsOldSlot) {
  engine.ChooseStage(0, scPan);  // 0,1,2,3 -> 3,1,2,0
  EXPECT_EQ(engine.Ordering(0), 3);
  EXPECT_EQ(engine.Ordering(3), 0);
  engine.ChooseStage(1, scOff);
  EXPECT_EQ(engine.Ordering(1), -1);
  engine.ChooseStage(2, scOutGain);  // nobody holds 1 any more
  EXPECT_EQ(engine.Ordering(2), 1);
  int seen[4] = {};
  for (int s = 0; s < 4; ++s)
    if (engine.Ordering(s) >= 0) ++seen[engine.Ordering(s)];
  for (int c = 0; c < 4; ++c) EXPECT_LE(seen[c], 1);
}

// ---- programs ----------------------------------------------------------------

TEST_F(EnvelopeSetTest, ProgramRoundTripIsExactIncludingPointCounts) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0, 1);
  for (int k = 0; k < 9; ++k) {
    TEnvelope e = *engine.EnvelopeRecord(k);
    e.PointCount = 1 + (k * 5) % 32;
    for (int i = 0; i < e.PointCount; ++i) e.Points[i] = {i / 32.0f, u(rng)};
    engine.StoreEnvelope(k, e);
    engine.EnvelopeRecord(k)->MinValue = -0.25f * k;
    engine.EnvelopeRecord(k)->MaxValue = 1.0f + k;
    engine.EnvelopeRecord(k)->DefValue = u(rng);
  }
  engine.SetDisplayMode(3);
  engine.SetCurEnv(7);
  engine.SetOvrEnv(2);
  engine.SetWeighting(4);
  engine.SetGraphVisible(1);
  engine.ChooseStage(0, scPan);
  engine.ChooseStage(2, scOff);
  const TEnvelopeSet saved = engine.CurrentSet();

  TPresetObject program;
  engine.SaveToProgram(program);
  EXPECT_EQ(program.Version, 2);
  uint32_t size = 0;
  ASSERT_NE(program.GetBlock("_EnvPoints", 3, size), nullptr);
  EXPECT_EQ(size, 8u * static_cast<uint32_t>(saved.Envelopes[3].PointCount));

  TSyncObject sync2;
  TTalvern other(48000, &sync2);
  other.LoadFromProgram(program);
  const TEnvelopeSet loaded = other.CurrentSet();
  EXPECT_EQ(loaded.Version, 2);
  EXPECT_EQ(loaded.DisplayMode, 3);
  EXPECT_EQ(loaded.CurEnv, 7);
  EXPECT_EQ(loaded.OvrEnv, 2);
  EXPECT_EQ(loaded.Weighting, 4);
  EXPECT_EQ(loaded.GraphVisible, 1);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(loaded.Ordering[s], saved.Ordering[s]);
  for (int k = 0; k < 9; ++k) {
    const TEnvelope &a = saved.Envelopes[k], &b = loaded.Envelopes[k];
    ASSERT_EQ(a.PointCount, b.PointCount) << k;
    EXPECT_EQ(std::memcmp(a.Points, b.Points, sizeof(TEnvelopePoint) * size_t(a.PointCount)), 0) << k;
    EXPECT_EQ(a.MinValue, b.MinValue);
    EXPECT_EQ(a.MaxValue, b.MaxValue);
    EXPECT_EQ(a.DefValue, b.DefValue);
  }
  // Every kind and the weighting are re-applied with the next block.
  EXPECT_EQ(other.DirtyMask() & 0x3FF, 0x3FF);
}

TEST_F(EnvelopeSetTest, ProgramWithoutEntriesLoadsTheDefaults) {
  engine.SetCurEnv(5);
  engine.ChooseStage(1, scOff);
  TEnvelope e = *engine.EnvelopeRecord(0);
  e.Points[0].y = 0.1f;
  engine.StoreEnvelope(0, e);
  TPresetObject empty;
  empty.Version = 2;
  engine.LoadFromProgram(empty);
  const TEnvelopeSet set = engine.CurrentSet();
  EXPECT_EQ(set.CurEnv, 0);
  EXPECT_EQ(set.DisplayMode, 0);
  EXPECT_EQ(set.OvrEnv, 0);
  EXPECT_EQ(set.Weighting, 0);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(set.Ordering[s], s);
  EXPECT_EQ(std::memcmp(set.Envelopes, engine.DefaultSet().Envelopes, sizeof set.Envelopes), 0);
}

struct TVersionCase {
  int version;
  float width, pan, disabled;
  bool withWidth, withPan, withDisabled;
  int32_t order[4];
};

TEST_F(EnvelopeSetTest, OlderProgramsDeriveTheStageOrderFromTheirSwitches) {
  const TVersionCase cases[] = {
      {1, 0.2f, 1.0f, 0, true, true, false, {0, 1, 3, 2}},
      {1, 0.2f, 1.0f, 1, true, true, true, {-1, -1, 3, 2}},
      {1, 0.2f, 0.0f, 0, true, true, false, {0, 1, -1, 2}},
      {1, 0.1f, 0.0f, 0, true, true, false, {0, 1, 2, -1}},
      {1, 0.1f, 1.0f, 0, true, true, false, {0, 1, 2, 3}},
      {1, 0.0f, 0.0f, 0, true, true, false, {0, 1, -1, -1}},
      {1, 0.0f, 1.0f, 0, true, true, false, {0, 1, -1, 3}},
      {1, 0, 0, 0, false, false, false, {0, 1, -1, -1}},    // no switches at all
      {0, 2.0f, 1.0f, 0, true, true, false, {0, 1, 3, 2}},  // version 0 stores width x10
      {2, 0.2f, 1.0f, 1, true, true, true, {0, 1, 2, 3}},   // version 2 ignores the switches
  };
  for (const TVersionCase& c : cases) {
    TPresetObject p;
    p.Version = static_cast<uint8_t>(c.version);
    if (c.withWidth) p.SetSingle("WdthEnv", 0, c.width);
    if (c.withPan) p.SetSingle("PanEnv", 0, c.pan);
    if (c.withDisabled) p.SetSingle("CDisabl", 0, c.disabled);
    engine.LoadFromProgram(p);
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(engine.Ordering(s), c.order[s]) << "version " << c.version << " w " << c.width << " slot " << s;
    if (c.version == 0) {
      EXPECT_FLOAT_EQ(p.GetSingle("WdthEnv", 0, -1), c.width / 10);
    }
  }
}

TEST_F(EnvelopeSetTest, PointBlobsThatWouldOverrunARecordAreCutToWholePoints) {
  struct TBlobCase {
    uint32_t bytes;
    int32_t count;  // -1: the default curve
  } cases[] = {{16, 2}, {20, 2}, {8, 1}, {256, 32}, {300, 32}, {1024, 32}, {4, -1}, {0, -1}};
  for (const TBlobCase& c : cases) {
    std::vector<float> blob(c.bytes / 4 + 1);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = 0.003f * float(i);
    TPresetObject p;
    p.Version = 2;
    p.SetBlock("_EnvPoints", 6, blob.data(), c.bytes);
    engine.LoadFromProgram(p);
    const TEnvelopeSet set = engine.CurrentSet();
    const TEnvelope& e = set.Envelopes[6];
    if (c.count < 0) {
      EXPECT_EQ(std::memcmp(&e, &engine.DefaultSet().Envelopes[6], sizeof e), 0) << c.bytes;
      continue;
    }
    ASSERT_EQ(e.PointCount, c.count) << c.bytes;
    for (int i = 0; i < c.count; ++i) {
      EXPECT_EQ(e.Points[i].x, blob[size_t(2 * i)]);
      EXPECT_EQ(e.Points[i].y, blob[size_t(2 * i + 1)]);
    }
  }
}

// Whatever a file or a caller says, the engine sees points and defaults in
// 0 .. 1, with NaN taking the kind's default; values in range stay as given.
TEST_F(EnvelopeSetTest, EnvelopeValuesOutOfRangeAreClampedOnLoadAndStore) {
  const float nan = std::nanf("");
  const struct {
    int kind;
    TEnvelopePoint in, out;
    float def, defOut;
  } cases[] = {
      {ekPan, {0.5f, 1e30f}, {0.5f, 1.0f}, 0.5f, 0.5f},
      {ekOutGain, {0.2f, 5.0f}, {0.2f, 1.0f}, 0.5f, 0.5f},
      {ekThreshold, {-3.0f, -0.5f}, {0.0f, 0.0f}, 2.0f, 1.0f},
      {ekWidth, {nan, nan}, {0.0f, kEnvelopeDefaults[ekWidth]}, nan, kEnvelopeDefaults[ekWidth]},
      {ekRatio, {0.3f, -INFINITY}, {0.3f, 0.0f}, INFINITY, 1.0f},
      {ekAttack, {0.25f, 0.7f}, {0.25f, 0.7f}, 0.25f, 0.25f},  // in range: unchanged
  };
  for (const auto& c : cases) {
    const TEnvelopePoint points[2] = {c.in, {1.0f, 0.5f}};
    auto check = [&](const char* how) {
      const TEnvelope& e = engine.CurrentSet().Envelopes[c.kind];
      ASSERT_EQ(e.PointCount, 2) << how;
      EXPECT_EQ(e.Points[0].x, c.out.x) << how << " kind " << c.kind;
      EXPECT_EQ(e.Points[0].y, c.out.y) << how << " kind " << c.kind;
      EXPECT_EQ(e.Points[1].y, 0.5f) << how;
    };
    TPresetObject p;
    p.Version = 2;
    p.SetBlock("_EnvPoints", c.kind, points, sizeof points);
    p.SetSingle("_EnvDefValue", c.kind, c.def);
    engine.LoadFromProgram(p);
    check("program");
    EXPECT_EQ(engine.CurrentSet().Envelopes[c.kind].DefValue, c.defOut) << c.kind;

    TEnvelope record = engine.DefaultSet().Envelopes[c.kind];
    record.Points[0] = c.in;
    record.Points[1] = points[1];
    record.PointCount = 2;
    engine.StoreEnvelope(c.kind, record);
    check("store");

    if (c.kind < 8) {
      std::vector<uint8_t> chunk(1700, 0);
      const size_t rec = 208 * size_t(c.kind);
      std::memcpy(chunk.data() + rec, points, sizeof points);
      const int32_t count = 2;
      std::memcpy(chunk.data() + rec + 128, &count, 4);
      std::memcpy(chunk.data() + rec + 140, &c.def, 4);
      ASSERT_TRUE(engine.LoadLegacy(chunk.data(), chunk.size()));
      check("legacy");
      EXPECT_EQ(engine.CurrentSet().Envelopes[c.kind].DefValue, c.defOut) << c.kind;
    }
  }
}

// A program holding absurd values renders finite output within the
// plug-in's own range (pan and gain at their limits).
TEST_F(EnvelopeSetTest, AProgramWithAbsurdValuesRendersFiniteBoundedOutput) {
  TPresetObject p;
  p.Version = 2;
  const TEnvelopePoint pan[2] = {{0.0f, 1e30f}, {1.0f, 1e30f}}, width[2] = {{0.0f, 5.0f}, {1.0f, 5.0f}};
  // A steep last segment near the low end extrapolates far past 1 over the bands.
  const TEnvelopePoint gain[2] = {{0.0f, 0.5f}, {1.17549435e-38f, 0.500004f}};
  p.SetBlock("_EnvPoints", ekPan, pan, sizeof pan);
  p.SetBlock("_EnvPoints", ekOutGain, gain, sizeof gain);
  p.SetBlock("_EnvPoints", ekWidth, width, sizeof width);
  engine.LoadFromProgram(p);
  std::vector<double> in0(4096), in1(4096), out0(4096), out1(4096);
  for (size_t i = 0; i < in0.size(); ++i) in0[i] = in1[i] = 0.25 * std::sin(0.05 * double(i));
  for (size_t at = 0; at < in0.size(); at += kTalvernBlock)
    engine.Process(in0.data() + at, in1.data() + at, out0.data() + at, out1.data() + at, kTalvernBlock,
                   TTalvern::TChannelMode::Stereo);
  double peak = 0;
  for (size_t i = 0; i < out0.size(); ++i) {
    ASSERT_TRUE(std::isfinite(out0[i]) && std::isfinite(out1[i])) << i;
    peak = std::max({peak, std::fabs(out0[i]), std::fabs(out1[i])});
  }
  // +18 dB band gain, +1.5 dB pan and width 2 on a 0.25 sine stay well below 10.
  EXPECT_LT(peak, 10.0);
}

// ---- older chunk layout ----------------------------------------------------------

void putInt(std::vector<uint8_t>& b, size_t at, int32_t v) { std::memcpy(b.data() + at, &v, 4); }
void putSingle(std::vector<uint8_t>& b, size_t at, float v) { std::memcpy(b.data() + at, &v, 4); }

TEST_F(EnvelopeSetTest, LegacyChunkLoadsEightCurvesAndCutsImpossibleCounts) {
  std::vector<uint8_t> chunk(1800, 0);
  for (int k = 0; k < 8; ++k) {
    const size_t rec = 208 * size_t(k);
    for (int i = 0; i < 16; ++i) {
      putSingle(chunk, rec + 8 * size_t(i), i / 15.0f);
      putSingle(chunk, rec + 8 * size_t(i) + 4, 0.04f * float(k + i));
    }
    putInt(chunk, rec + 128, k == 3 ? 40 : k == 5 ? -3 : k + 2);
    putSingle(chunk, rec + 132, -1.0f);
    putSingle(chunk, rec + 136, 2.0f);
    putSingle(chunk, rec + 140, 0.125f);
  }
  putInt(chunk, 1668, 2);
  putInt(chunk, 1672, 6);
  putInt(chunk, 1676, 3);
  putInt(chunk, 1680, 1);
  engine.ChooseStage(0, scOff);
  ASSERT_TRUE(engine.LoadLegacy(chunk.data(), chunk.size()));
  const TEnvelopeSet set = engine.CurrentSet();
  EXPECT_EQ(set.DisplayMode, 2);
  EXPECT_EQ(set.CurEnv, 6);
  EXPECT_EQ(set.OvrEnv, 3);
  EXPECT_EQ(set.Weighting, 1);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(set.Ordering[s], s);
  for (int k = 0; k < 8; ++k) {
    const TEnvelope& e = set.Envelopes[k];
    EXPECT_EQ(e.MinValue, -1.0f);
    EXPECT_EQ(e.MaxValue, 2.0f);
    EXPECT_EQ(e.DefValue, 0.125f);
    if (k == 5) {  // negative count: the default curve
      EXPECT_EQ(e.PointCount, 2);
      EXPECT_EQ(std::memcmp(e.Points, engine.DefaultSet().Envelopes[5].Points, sizeof e.Points), 0);
      continue;
    }
    const int count = k == 3 ? 16 : k + 2;
    ASSERT_EQ(e.PointCount, count) << k;
    for (int i = 0; i < count; ++i) EXPECT_EQ(e.Points[i].y, 0.04f * float(k + i));
    for (int i = count; i < 32; ++i) EXPECT_EQ(e.Points[i].y, engine.DefaultSet().Envelopes[k].Points[i].y);
  }
  EXPECT_EQ(std::memcmp(&set.Envelopes[8], &engine.DefaultSet().Envelopes[8], sizeof(TEnvelope)), 0);

  // A chunk too short for its layout is refused and changes nothing.
  const TEnvelopeSet before = engine.CurrentSet();
  EXPECT_FALSE(engine.LoadLegacy(chunk.data(), 1683));
  EXPECT_FALSE(engine.LoadLegacy(nullptr, 1800));
  const TEnvelopeSet after = engine.CurrentSet();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

}  // namespace
