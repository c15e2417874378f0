// The engine's lane versions (every one this CPU runs) against its per-band
// reference path: the same output, meters and spectrum, bit for bit, over
// every stage order, the channel modes, the detector and gain variants,
// 39 bands at 192 kHz and host blocks from 1 to 4096 samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp/LaneKernels.h"
#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"

namespace {

using Vec = std::vector<double>;
using TMode = TTalvern::TChannelMode;

// Noise with a loud stretch in the middle, so gains attack and release.
Vec signal(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec v(n);
  for (size_t i = 0; i < n; ++i) v[i] = u(rng) * (i > n / 3 && i < n / 2 ? 0.9 : 0.05);
  return v;
}

void setLine(TTalvern& e, int kind, float y0, float y1) {
  TEnvelope r = *e.EnvelopeRecord(kind);
  r.PointCount = 3;
  r.Points[0] = {0.0f, y0};
  r.Points[1] = {0.5f, y1};
  r.Points[2] = {1.0f, y1};
  e.StoreEnvelope(kind, r);
}

struct TSetup {
  int fs = 44100;
  int32_t order[4] = {0, 1, 2, 3};
  TMode mode = TMode::Stereo;
  int32_t msMode = 1;
  bool inverted = false, env = false, squared = false, metering = false;
  float ratio = 0.2f;  // compressing; above 0.75 expands
  std::vector<int> blocks = {128};
};

struct TResult {
  Vec out0, out1;
  float inLevel, outLevel;
  double energy[32], gain[32];
};

TResult render(const TSetup& c, bool reference, const Vec& in0, const Vec& in1) {
  TSyncObject sync;
  TTalvern e(c.fs, &sync);
  e.UseReferencePath = reference;
  for (int s = 0; s < 4; ++s) e.SetOrdering(s, c.order[s]);
  setLine(e, ekThreshold, 0.3f, 0.6f);
  setLine(e, ekRatio, c.ratio, c.ratio + 0.1f);
  setLine(e, ekAttack, 0.1f, 0.3f);
  setLine(e, ekRelease, 0.2f, 0.5f);
  setLine(e, ekWetMix, 0.7f, 1.0f);
  setLine(e, ekOutGain, 0.6f, 0.45f);
  setLine(e, ekStereoLink, 0.3f, 1.0f);  // the upper bands exactly linked
  setLine(e, ekWidth, 0.3f, 0.8f);
  setLine(e, ekPan, 0.35f, 0.6f);
  e.SetOutputGain(0.8f);
  e.MSMode = c.msMode;
  e.Inverted = c.inverted;
  e.EnvDetector = c.env;
  e.SquareGain = c.squared;
  e.Metering = c.metering;
  const bool mono = c.mode == TMode::Mono;
  TResult r;
  r.out0.assign(in0.size(), 0.0);
  r.out1.assign(in0.size(), 0.0);
  size_t done = 0, k = 0;
  while (done < in0.size()) {
    const int n = static_cast<int>(std::min<size_t>(size_t(c.blocks[k++ % c.blocks.size()]), in0.size() - done));
    e.Process(in0.data() + done, mono ? nullptr : in1.data() + done, r.out0.data() + done,
              mono ? nullptr : r.out1.data() + done, n, c.mode);
    done += size_t(n);
  }
  r.inLevel = e.GetInputLevel();
  r.outLevel = e.GetOutputLevel();
  e.TakeSpectrum(r.energy, r.gain, false, 1.0f, c.mode == TMode::Stereo, nullptr, nullptr);
  return r;
}

bool sameBits(const Vec& a, const Vec& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class LaneKernels : public ::testing::Test {
protected:
  void TearDown() override { SelectLaneKernel(AvailableLaneKernels().front()); }
  // Renders the setup on the reference path and through every lane version.
  void ExpectIdentical(const TSetup& c, const std::string& what) {
    const Vec in0 = signal(3000, 11), in1 = signal(3000, 12);
    const TResult ref = render(c, true, in0, in1);
    for (const std::string& kernel : AvailableLaneKernels()) {
      ASSERT_TRUE(SelectLaneKernel(kernel));
      const TResult lanes = render(c, false, in0, in1);
      EXPECT_TRUE(sameBits(lanes.out0, ref.out0) && sameBits(lanes.out1, ref.out1)) << kernel << ": " << what;
      if (c.metering) {
        EXPECT_EQ(std::memcmp(&lanes.inLevel, &ref.inLevel, sizeof(float)), 0) << kernel << ": " << what;
        EXPECT_EQ(std::memcmp(&lanes.outLevel, &ref.outLevel, sizeof(float)), 0) << kernel << ": " << what;
        EXPECT_EQ(std::memcmp(lanes.energy, ref.energy, sizeof ref.energy), 0) << kernel << ": " << what;
        EXPECT_EQ(std::memcmp(lanes.gain, ref.gain, sizeof ref.gain), 0) << kernel << ": " << what;
      }
    }
  }
};

TEST_F(LaneKernels, EveryStageOrderInEveryChannelMode) {
  const struct {
    TMode mode;
    int32_t msMode;
    const char* name;
  } modes[] = {{TMode::Stereo, 1, "L/R"},
               {TMode::MidSide, 1, "M/S mid"},
               {TMode::MidSide, 2, "M/S side"},
               {TMode::Mono, 1, "mono"}};
  // Every order of the four stages and "Off" over four slots, a stage at most once.
  std::vector<std::array<int32_t, 4>> orders;
  for (int a = -1; a < 4; ++a)
    for (int b = -1; b < 4; ++b)
      for (int c = -1; c < 4; ++c)
        for (int d = -1; d < 4; ++d) {
          const int codes[4] = {a, b, c, d};
          bool unique = true;
          for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j) unique = unique && (codes[i] < 0 || codes[i] != codes[j]);
          if (unique) orders.push_back({a, b, c, d});
        }
  ASSERT_EQ(orders.size(), 209u);
  for (const auto& m : modes)
    for (const auto& o : orders) {
      TSetup c;
      c.mode = m.mode;
      c.msMode = m.msMode;
      std::copy(o.begin(), o.end(), c.order);
      c.metering = true;
      ExpectIdentical(c, std::string(m.name) + " order " + std::to_string(o[0]) + "," + std::to_string(o[1]) + "," +
                             std::to_string(o[2]) + "," + std::to_string(o[3]));
    }
}

TEST_F(LaneKernels, DetectorAndGainVariantsRatesAndBlockSizes) {
  for (int flags = 0; flags < 32; ++flags) {
    TSetup c;
    c.inverted = flags & 1;
    c.env = flags & 2;
    c.squared = flags & 4;
    c.metering = flags & 8;
    c.ratio = flags & 16 ? 0.9f : 0.2f;
    for (TMode mode : {TMode::Stereo, TMode::MidSide, TMode::Mono}) {
      c.mode = mode;
      ExpectIdentical(c, "flags " + std::to_string(flags) + " mode " + std::to_string(int(mode)));
    }
  }
  const struct {
    int fs;
    std::vector<int> blocks;
  } runs[] = {{192000, {128}}, {96000, {1, 7, 64}}, {44100, {129, 1000, 4096}}, {48000, {4096, 3, 127}}};
  for (const auto& r : runs) {
    TSetup c;
    c.fs = r.fs;
    c.blocks = r.blocks;
    c.env = true;
    c.metering = true;
    ExpectIdentical(c, "fs " + std::to_string(r.fs) + " blocks from " + std::to_string(r.blocks[0]));
  }
}

TEST(LaneKernelChoice, TheChosenVersionIsTheBestTheCpuRuns) {
  const std::vector<std::string> all = AvailableLaneKernels();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back(), "SSE2");
  EXPECT_EQ(std::string(LaneKernelName()), all.front());
  EXPECT_EQ(LaneKernelsPreferred(), all.front() != "SSE2");
  EXPECT_FALSE(SelectLaneKernel("no such version"));
  EXPECT_EQ(std::string(LaneKernelName()), all.front());
}

}  // namespace
