// The spectral dynamics engine against references written here: the band
// filters' analytic response, a direct-form filter bank, and a steady-state
// model of the gain computers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TalvernReference.h"
#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"
#include "tests/support/AllocCounter.h"

namespace {

using Vec = std::vector<double>;

Vec noise(size_t n, unsigned seed, double amp = 0.5) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-amp, amp);
  Vec v(n);
  for (double& x : v) x = u(rng);
  return v;
}

Vec sine(size_t n, double f, double fs, double amp) {
  Vec v(n);
  for (size_t i = 0; i < n; ++i) v[i] = amp * std::sin(2 * ref::kPi * f * double(i) / fs);
  return v;
}

void setLine(TTalvern& e, int kind, float y0, float y1) {
  TEnvelope r = *e.EnvelopeRecord(kind);
  r.PointCount = 2;
  r.Points[0] = {0.0f, y0};
  r.Points[1] = {1.0f, y1};
  e.StoreEnvelope(kind, r);
}
void setFlat(TTalvern& e, int kind, float v) { setLine(e, kind, v, v); }

void setOrder(TTalvern& e, std::initializer_list<int> codes) {
  int slot = 0;
  for (int c : codes) e.SetOrdering(slot++, c);
}

// Runs the engine over whole signals in blocks of the given sizes (cycled).
using TMode = TTalvern::TChannelMode;

void runEngine(TTalvern& e, const Vec& in0, const Vec& in1, Vec& out0, Vec& out1, TMode mode,
               std::vector<int> blocks = {128}) {
  out0.assign(in0.size(), 0.0);
  out1.assign(in0.size(), 0.0);
  const bool mono = mode == TMode::Mono;
  size_t done = 0, k = 0;
  while (done < in0.size()) {
    const int n = static_cast<int>(std::min<size_t>(size_t(blocks[k++ % blocks.size()]), in0.size() - done));
    e.Process(in0.data() + done, mono ? nullptr : in1.data() + done, out0.data() + done,
              mono ? nullptr : out1.data() + done, n, mode);
    done += size_t(n);
  }
}

class EngineTest : public ::testing::Test {
protected:
  TSyncObject sync;
};

// ---- band table and filters ---------------------------------------------------

TEST_F(EngineTest, BandTableAndEnabledBandsFollowTheSampleRate) {
  const struct { int fs, lastEnabled; } cases[] = {{44100, 31}, {48000, 31}, {88200, 34}, {96000, 35}, {192000, 38}};
  for (const auto& c : cases) {
    TTalvern e(c.fs, &sync);
    ASSERT_EQ(e.BandCount(), 39);
    EXPECT_EQ(e.EnabledBandCount(), c.lastEnabled + 1) << c.fs;
    for (int i = 0; i < e.BandCount(); ++i) {
      EXPECT_EQ(e.Band(i).Enabled != 0, i <= c.lastEnabled) << c.fs << " band " << i;
      EXPECT_NEAR(e.Band(i).Centre, 25.0 * std::pow(800.0, i / 31.0), 1e-6 * double(e.Band(i).Centre));
      EXPECT_FLOAT_EQ(e.Band(i).Position, i / 31.0f);
    }
  }
  TTalvern e(44100, &sync);
  EXPECT_FLOAT_EQ(e.Band(0).Centre, 25.0f);
  EXPECT_NEAR(e.Band(31).Centre, 20000.0f, 0.01f);
  EXPECT_NEAR(e.Band(0).Bandwidth, 0.466638, 1e-6);
  e.SetSampleRate(192000);
  EXPECT_EQ(e.EnabledBandCount(), 39);
}

// Each enabled band's filter run (with the engine's coefficients) against the
// analytic response of the recursion designed here.
TEST_F(EngineTest, EveryBandFilterMatchesTheAnalyticResponse) {
  for (int fs : {44100, 96000}) {
    TTalvern e(fs, &sync);
    for (int b = 0; b < e.BandCount(); ++b) {
      if (!e.Band(b).Enabled) continue;
      const ref::TBand rb = ref::design(b, fs);
      const double fc = rb.fc;
      for (double f : {fc, 2 * fc, fc / 2, 3.0, 0.49 * fs}) {
        // The band's state in lane 0 of a full set of eight, the others busy
        // with other bands, as the engine runs them.
        TBandChannelState st[kMaxFilterLanes];
        const size_t n = size_t(fs);  // 1 s: the slowest band settles to e^-30
        const Vec x = sine(n, f, fs, 1.0), other = noise(n, 77);
        std::vector<Vec> y(kMaxFilterLanes, Vec(n));
        TFilterLanes lanes;
        for (int c = 0; c < kMaxFilterLanes; ++c) {
          st[c] = *e.Band(c == 0 ? b : (b + c) % 32).StateA;
          lanes.State[c] = &st[c];
          lanes.B0[c] = st[c].B0;
        }
        for (size_t done = 0; done < n; done += 128) {
          for (int c = 0; c < kMaxFilterLanes; ++c) {
            lanes.In[c] = (c == 0 ? x.data() : other.data()) + done;
            lanes.Out[c] = y[size_t(c)].data() + done;
          }
          BandFilterRunLanes(lanes, kMaxFilterLanes, static_cast<int>(std::min<size_t>(128, n - done)));
        }
        const std::complex<double> measured = ref::fitSine(y[0], n / 2, f, fs);
        const std::complex<double> expected = ref::response(rb, f, fs);
        EXPECT_LT(std::abs(measured - expected), 2e-4 * std::abs(expected) + 1e-7)
            << "fs " << fs << " band " << b << " f " << f << " |G| " << std::abs(expected);
      }
      // At its centre a band passes its normalisation gain (the bands overlap).
      if (fc < fs / 16.0) {
        EXPECT_NEAR(std::abs(ref::response(rb, fc, fs)), 0.44514, 0.005) << b;
      }
    }
  }
}

// ---- the filter bank ---------------------------------------------------------------

struct TOrderCase {
  std::vector<int> order;
  bool outGain;  // an "O.Gain" stage is in the order
};

// With the default dynamics (1:1) every order reduces to the filter bank, the
// band output gain where "O.Gain" is in the order, and the main output gain.
TEST_F(EngineTest, DefaultDynamicsReduceToTheFilterBankSum) {
  const TOrderCase cases[] = {
      {{0, 1, 2, 3}, true},    {{-1, -1, -1, -1}, false}, {{1, -1, -1, -1}, true},
      {{-1, 1, -1, -1}, true}, {{2, 1, 3, -1}, true},     {{3, 1, 0, 2}, true},
      {{1, 0, 2, 3}, true},    {{0, 2, 3, -1}, false},    {{-1, -1, -1, 1}, true},
  };
  const float outputGain = 0.7f;
  for (int fs : {44100, 96000}) {
    const size_t n = 700;
    const Vec in0 = noise(n, 1), in1 = noise(n, 2);
    std::vector<Vec> bank0, bank1;
    for (int b = 0; b < 39; ++b) {
      if (!ref::enabled(b, fs)) continue;
      bank0.push_back(ref::run(ref::design(b, fs), in0));
      bank1.push_back(ref::run(ref::design(b, fs), in1));
    }
    for (const TOrderCase& c : cases) {
      for (bool mono : {false, true}) {
        TTalvern e(fs, &sync);
        e.SetOutputGain(outputGain);
        setLine(e, ekOutGain, 0.3f, 0.8f);  // -7.2 dB at 25 Hz rising to +10.8 dB at 20 kHz
        setOrder(e, {c.order[0], c.order[1], c.order[2], c.order[3]});
        Vec out0, out1;
        runEngine(e, in0, in1, out0, out1, mono ? TMode::Mono : TMode::Stereo, {128, 37, 300, 1});
        double worst = 0;
        for (size_t i = 0; i < n; ++i) {
          double e0 = 0, e1 = 0;
          for (size_t b = 0; b < bank0.size(); ++b) {
            const double p = std::min<double>(b, 31) / 31.0;  // bands above 31 copy band 31
            const double v = 0.3 + 0.5 * double(static_cast<float>(p));
            const double g = c.outGain ? std::pow(10.0, (v - 0.5) * 36.0 / 20.0) : 1.0;
            e0 += g * bank0[b][i];
            e1 += g * bank1[b][i];
          }
          worst = std::max(worst, std::fabs(out0[i] - double(outputGain) * e0));
          if (!mono) worst = std::max(worst, std::fabs(out1[i] - double(outputGain) * e1));
        }
        EXPECT_LT(worst, 1e-6) << "fs " << fs << " mono " << mono << " order " << c.order[0] << c.order[1] << c.order[2]
                               << c.order[3];
      }
    }
  }
}

// ---- width and pan -----------------------------------------------------------------

struct TStageCase {
  const char* name;
  int kind;
  float value;
  double ll, lr, rl, rr;  // out L = ll * L + lr * R, out R = rl * L + rr * R
};

TEST_F(EngineTest, WidthAndPanMixTheChannelsAsSpecified) {
  const double p3 = std::pow(10.0, 0.15);  // +3 dB
  const double pHalf = std::pow(10.0, 0.15 * 0.5);
  const TStageCase cases[] = {
      {"width 0 %: mono", ekWidth, 0.0f, 0.5, 0.5, 0.5, 0.5},
      {"width 100 %", ekWidth, 0.5f, 1, 0, 0, 1},
      {"width 200 %: side doubled", ekWidth, 1.0f, 1.5, -0.5, -0.5, 1.5},
      {"pan full left", ekPan, 1.0f, p3, 0, 0, 0},
      {"pan full right", ekPan, 0.0f, 0, 0, 0, p3},
      {"pan half left", ekPan, 0.75f, pHalf, 0, 0, 0.5},
      {"pan centre", ekPan, 0.5f, 1, 0, 0, 1},
  };
  const int fs = 48000;
  const size_t n = 400;
  const Vec in0 = noise(n, 3), in1 = noise(n, 4);
  Vec sum0(n, 0.0), sum1(n, 0.0);
  for (int b = 0; b < 32; ++b) {
    const Vec y0 = ref::run(ref::design(b, fs), in0), y1 = ref::run(ref::design(b, fs), in1);
    for (size_t i = 0; i < n; ++i) {
      sum0[i] += y0[i];
      sum1[i] += y1[i];
    }
  }
  for (const TStageCase& c : cases) {
    for (bool withGain : {false, true}) {
      TTalvern e(fs, &sync);
      setFlat(e, c.kind, c.value);
      setFlat(e, ekOutGain, 0.6f);  // +3.6 dB, applied through the following "O.Gain"
      const int stage = c.kind == ekWidth ? scWidth : scPan;
      if (withGain)
        setOrder(e, {stage, scOutGain, -1, -1});
      else
        setOrder(e, {stage, -1, -1, -1});
      const double g = withGain ? std::pow(10.0, 3.6 / 20.0) : 1.0;
      Vec out0, out1;
      runEngine(e, in0, in1, out0, out1, TMode::Stereo);
      for (size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(out0[i], g * (c.ll * sum0[i] + c.lr * sum1[i]), 1e-6) << c.name << " i " << i;
        ASSERT_NEAR(out1[i], g * (c.rl * sum0[i] + c.rr * sum1[i]), 1e-6) << c.name << " i " << i;
      }
      // Mono: the stage leaves the signal alone apart from the following gain.
      Vec m0, m1;
      TTalvern em(fs, &sync);
      setFlat(em, c.kind, c.value);
      setFlat(em, ekOutGain, 0.6f);
      if (withGain)
        setOrder(em, {stage, scOutGain, -1, -1});
      else
        setOrder(em, {stage, -1, -1, -1});
      runEngine(em, in0, in1, m0, m1, TMode::Mono);
      for (size_t i = 0; i < n; ++i) ASSERT_NEAR(m0[i], g * sum0[i], 1e-6) << c.name << " mono";
    }
  }
}

// ---- dynamics ------------------------------------------------------------------------

struct TDynCase {
  const char* name;
  bool mono = false;
  double rightScale = 0.5;  // right input = rightScale * left input
  float link = 1.0f, ratio = 0.25f, thresh = 0.6f, wet = 1.0f, outGain = 0.5f;
  bool squared = false, inverted = false, env = false, metering = false;
};

double ratioOf(float v) {
  return static_cast<float>(v >= 0.75f ? (double(v) - 0.75) / 0.25 * 2.0 + 1.0 : 1.0 / (9.0 - double(v) / 0.75 * 8.0));
}
double threshOf(float v) {
  const float t = static_cast<float>((1.0 - double(v)) * -50.0);
  return static_cast<float>(std::pow(10.0, (double(t) - 10.0) / 20.0));
}
double coefOf(double fs, double seconds) { return 1.0 - std::pow(0.01, 1.0 / (fs * seconds)); }

// Steady-state model of one sine through the whole engine: each band's output
// is the analytic response times the input sine; detector, link, inversion,
// static law, attack/release smoothing and wet mix are applied per sample.
void modelDynamics(const TDynCase& c, double fs, double f, double amp, size_t n, Vec& out0, Vec& out1,
                   float outputGain) {
  out0.assign(n, 0.0);
  out1.assign(n, 0.0);
  const double r = ratioOf(c.ratio);
  double th = threshOf(c.thresh);
  if (c.inverted) th = 1.0 / th;
  const double attack = coefOf(fs, static_cast<float>(0.001 * std::pow(400.0, 0.25f)));
  const double release = coefOf(fs, static_cast<float>(0.001 * std::pow(2000.0, 0.5f)));
  const double rise = r >= 1 ? attack : release, fall = r >= 1 ? release : attack;
  const double bandGain = std::pow(10.0, double(static_cast<float>((double(c.outGain) - 0.5) * 36.0)) / 20.0);
  auto target = [&](double d) {
    if (c.inverted) d = 1.0 / std::max(d, 1e-15);
    if (!(d > th)) return 1.0;
    const double g = (th + (d - th) * r) / d;
    return c.squared ? g * g : g;
  };
  for (int b = 0; b < 32; ++b) {
    const ref::TBand rb = ref::design(b, fs);
    const std::complex<double> h = amp * ref::response(rb, f, fs);
    const double detCoef = 1.0 - std::pow(0.01, 2.0 * rb.fc / fs);
    double gain0 = 1, gain1 = 1, det0 = 0, det1 = 0;
    for (size_t i = 0; i < n; ++i) {
      const double y0 = std::imag(h * std::polar(1.0, 2 * ref::kPi * f * double(i) / fs));
      const double y1 = c.rightScale * y0;
      double d0 = std::fabs(y0), d1 = std::fabs(y1);
      if (c.env) {
        det0 += (d0 - det0) * detCoef;
        det1 += (d1 - det1) * detCoef;
        d0 = det0;
        d1 = det1;
      }
      if (!c.mono) {
        const double m = std::max(d0, d1), l = c.link;
        if (c.link == 1.0f) {
          d0 = d1 = m;
        } else {
          d0 = l * m + (1 - l) * d0;
          d1 = l * m + (1 - l) * d1;
        }
      }
      const double t0 = target(d0), t1 = target(d1);
      gain0 += (t0 - gain0) * (t0 >= gain0 ? rise : fall);
      gain1 += (t1 - gain1) * (t1 >= gain1 ? rise : fall);
      const double wet = c.wet;
      out0[i] += y0 * (gain0 * wet + (1 - wet)) * bandGain * double(outputGain);
      out1[i] += y1 * (gain1 * wet + (1 - wet)) * bandGain * double(outputGain);
    }
  }
}

TEST_F(EngineTest, DynamicsFollowTheStaticLawAttackReleaseAndLink) {
  std::vector<TDynCase> cases;
  auto add = [&](const char* name, auto modify) {
    TDynCase c;
    c.name = name;
    modify(c);
    cases.push_back(c);
  };
  add("compress 6.3:1", [](TDynCase&) {});
  add("compress, metering", [](TDynCase& c) { c.metering = true; });
  add("expand 1:3", [](TDynCase& c) {
    c.ratio = 1.0f;
    c.thresh = 0.7f;
  });
  add("expand 1:2, metering", [](TDynCase& c) {
    c.ratio = 0.875f;
    c.thresh = 0.7f;
    c.metering = true;
  });
  add("squared gains", [](TDynCase& c) { c.squared = true; });
  add("squared, metering", [](TDynCase& c) {
    c.squared = true;
    c.metering = true;
  });
  add("unlinked", [](TDynCase& c) { c.link = 0.0f; });
  add("half linked", [](TDynCase& c) { c.link = 0.5f; });
  add("half linked, metering", [](TDynCase& c) {
    c.link = 0.5f;
    c.metering = true;
  });
  add("inverted", [](TDynCase& c) {
    c.inverted = true;
    c.thresh = 0.9f;
  });
  add("inverted expand", [](TDynCase& c) {
    c.inverted = true;
    c.thresh = 0.9f;
    c.ratio = 1.0f;
  });
  add("env detector", [](TDynCase& c) { c.env = true; });
  add("wet 50 %", [](TDynCase& c) { c.wet = 0.5f; });
  add("band gain after comp", [](TDynCase& c) { c.outGain = 0.6f; });
  add("mono", [](TDynCase& c) { c.mono = true; });
  add("mono, metering, env", [](TDynCase& c) {
    c.mono = true;
    c.metering = true;
    c.env = true;
  });

  const int fs = 44100;
  const double f = ref::centre(20), amp = 0.5;
  const size_t n = 44100;
  const float outputGain = 0.8f;
  const Vec in0 = sine(n, f, fs, amp);
  for (const TDynCase& c : cases) {
    Vec in1(n);
    for (size_t i = 0; i < n; ++i) in1[i] = c.rightScale * in0[i];
    TTalvern e(fs, &sync);
    e.SetOutputGain(outputGain);
    e.SquareGain = c.squared ? 1 : 0;
    e.Inverted = c.inverted ? 1 : 0;
    e.EnvDetector = c.env ? 1 : 0;
    e.Metering = c.metering ? 1 : 0;
    setFlat(e, ekRatio, c.ratio);
    setFlat(e, ekThreshold, c.thresh);
    setFlat(e, ekStereoLink, c.link);
    setFlat(e, ekWetMix, c.wet);
    setFlat(e, ekOutGain, c.outGain);
    Vec out0, out1, m0, m1;
    runEngine(e, in0, in1, out0, out1, c.mono ? TMode::Mono : TMode::Stereo);
    modelDynamics(c, fs, f, amp, n, m0, m1, outputGain);
    double worst = 0, change = 0;
    for (size_t i = n - 4410; i < n; ++i) {  // the last 100 ms
      worst = std::max(worst, std::fabs(out0[i] - m0[i]));
      if (!c.mono) worst = std::max(worst, std::fabs(out1[i] - m1[i]));
      change = std::max(change, std::fabs(out0[i] - in0[i] * 0.89 * double(outputGain)));
    }
    EXPECT_LT(worst, 1e-6) << c.name;
    EXPECT_GT(change, 0.01) << c.name << ": the dynamics did nothing";
  }
}

TEST_F(EngineTest, FullLinkAppliesOneGainToBothChannels) {
  const int fs = 44100;
  const size_t n = 8000;
  const Vec in0 = noise(n, 9, 0.9);
  Vec in1(n);
  for (size_t i = 0; i < n; ++i) in1[i] = 0.25 * in0[i];
  for (float link : {1.0f, 0.0f}) {
    TTalvern e(fs, &sync);
    setFlat(e, ekRatio, 0.0f);
    setFlat(e, ekThreshold, 0.5f);
    setFlat(e, ekStereoLink, link);
    Vec out0, out1;
    runEngine(e, in0, in1, out0, out1, TMode::Stereo);
    double worst = 0;
    for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(out1[i] - 0.25 * out0[i]));
    if (link == 1.0f) {
      EXPECT_LT(worst, 1e-12);
    } else {
      EXPECT_GT(worst, 1e-3);  // unlinked: the quieter channel is compressed less
    }
  }
}

// The gain computer on a constant detector: it settles on the static law, and
// the attack and release times are the times to close 99 % of the step.
TEST_F(EngineTest, GainComputerSettlesOnTheStaticLawWithinTheAttackAndReleaseTimes) {
  const struct {
    float ratio, attack, release;
    bool squared;
  } cases[] = {{0.25f, 0.5f, 0.5f, false}, {1.0f, 0.3f, 0.6f, false}, {0.1f, 0.8f, 0.2f, true}};
  const int fs = 48000;
  for (const auto& c : cases) {
    TTalvern e(fs, &sync);
    setFlat(e, ekRatio, c.ratio);
    setFlat(e, ekAttack, c.attack);
    setFlat(e, ekRelease, c.release);
    setFlat(e, ekThreshold, 0.6f);
    e.SquareGain = c.squared;
    Vec buf(128, 0.0), out(128);
    e.Process(buf.data(), buf.data(), out.data(), out.data() + 0, 64, TMode::Mono);
    TBandChannelState s = *e.Band(10).StateA;
    const double th = s.Thresh, r = s.Ratio;
    EXPECT_DOUBLE_EQ(r, ratioOf(c.ratio));
    EXPECT_DOUBLE_EQ(th, threshOf(0.6f));
    const double d = 4 * th;
    double law = (th + (d - th) * r) / d;
    if (c.squared) law *= law;
    const double tAttack = static_cast<float>(0.001 * std::pow(400.0, c.attack));
    const double tRelease = static_cast<float>(0.001 * std::pow(2000.0, c.release));
    // Step into the loud phase: compression falls with the attack time,
    // expansion rises with it; then back below the threshold with the release.
    TGainSingleProc kernel = c.squared ? &GainSingle<true, false> : &GainSingle<false, false>;
    double x = 1.0, det = d;
    auto settle = [&](double detector, double goal) {
      const double from = s.Gain;
      det = detector;
      for (int i = 1; i < 20 * fs; ++i) {
        x = 1.0;
        kernel(s, &x, &det, 1);
        if (std::fabs(s.Gain - goal) <= 0.01 * std::fabs(from - goal)) return i;
      }
      return -1;
    };
    s.Gain = 1.0;
    EXPECT_NEAR(settle(d, law), fs * tAttack, 1.0) << "attack";
    for (int i = 0; i < 20 * fs; ++i) kernel(s, &x, &det, 1);
    EXPECT_NEAR(s.Gain, law, 1e-12) << "static law";
    EXPECT_NEAR(settle(0.5 * th, 1.0), fs * tRelease, 1.0) << "release";
  }
}

TEST_F(EngineTest, DetectorEqualToTheThresholdGivesUnityTarget) {
  EXPECT_EQ(TargetGain<false>(0.25, 0.25, 0.1), 1.0);
  EXPECT_EQ(TargetGain<true>(0.25, 0.25, 3.0), 1.0);
  EXPECT_DOUBLE_EQ(TargetGain<false>(0.5, 0.25, 0.1), (0.25 + 0.25 * 0.1) / 0.5);
  EXPECT_DOUBLE_EQ(TargetGain<true>(0.5, 0.25, 3.0), std::pow((0.25 + 0.25 * 3.0) / 0.5, 2));
}

// ---- mid/side ------------------------------------------------------------------------

TEST_F(EngineTest, MidSideDynamicsLeaveTheOtherComponentUntouched) {
  const int fs = 44100;
  const size_t n = 6000;
  const Vec in0 = noise(n, 5, 0.9), in1 = noise(n, 6, 0.9);
  Vec plain0(n, 0.0), plain1(n, 0.0);
  for (int b = 0; b < 32; ++b) {
    const Vec y0 = ref::run(ref::design(b, fs), in0), y1 = ref::run(ref::design(b, fs), in1);
    for (size_t i = 0; i < n; ++i) {
      plain0[i] += y0[i];
      plain1[i] += y1[i];
    }
  }
  for (int mode : {1, 2}) {
    TTalvern e(fs, &sync);
    const float og = 0.9f;
    e.SetOutputGain(og);
    e.MSMode = mode;
    setFlat(e, ekRatio, 0.0f);
    setFlat(e, ekThreshold, 0.3f);
    Vec out0, out1;
    runEngine(e, in0, in1, out0, out1, TMode::MidSide);
    double untouched = 0, processed = 0;
    for (size_t i = 0; i < n; ++i) {
      const double mid = (out0[i] + out1[i]) / 2, side = (out0[i] - out1[i]) / 2;
      const double pmid = double(og) * (plain0[i] + plain1[i]) / 2, pside = double(og) * (plain0[i] - plain1[i]) / 2;
      untouched = std::max(untouched, std::fabs(mode == 1 ? side - pside : mid - pmid));
      processed = std::max(processed, std::fabs(mode == 1 ? mid - pmid : side - pside));
    }
    EXPECT_LT(untouched, 1e-6) << "mode " << mode;
    EXPECT_GT(processed, 1e-2) << "mode " << mode;
  }
}

// M/S compression with "O.Gain" in the next slot: the band gain scales mid
// and side alike after the compressor, so +9 dB of band gain is the 0 dB
// output times 10^(9/20), sample by sample, in both M/S modes.
TEST_F(EngineTest, MidSideCompressionFollowedByOutGainScalesTheResult) {
  const size_t n = 6000;
  const Vec in0 = noise(n, 7, 0.9), in1 = noise(n, 8, 0.6);
  for (int mode : {1, 2}) {
    Vec out[2][2];
    for (int g = 0; g < 2; ++g) {
      TTalvern e(44100, &sync);
      e.MSMode = mode;
      setOrder(e, {scComp, scOutGain, scOff, scOff});
      setFlat(e, ekRatio, 0.0f);
      setFlat(e, ekThreshold, 0.3f);
      setFlat(e, ekOutGain, g == 0 ? 0.5f : 0.75f);
      runEngine(e, in0, in1, out[g][0], out[g][1], TMode::MidSide);
    }
    const double k = static_cast<float>(std::pow(10.0, 9.0 / 20.0));
    double worst = 0, level = 0;
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 0; i < n; ++i) {
        worst = std::max(worst, std::fabs(out[1][ch][i] - k * out[0][ch][i]));
        level = std::max(level, std::fabs(out[0][ch][i]));
      }
    EXPECT_GT(level, 0.05) << "mode " << mode;
    EXPECT_LT(worst, 1e-12) << "mode " << mode;
  }
}

// ---- meters and display snapshot ---------------------------------------------------------

TEST_F(EngineTest, MetersAndSpectrumReportTheMeasuredEnergies) {
  const int fs = 44100;
  TTalvern e(fs, &sync);
  EXPECT_EQ(e.GetInputLevel(), -1000.0f);
  EXPECT_EQ(e.GetOutputLevel(), -1000.0f);
  e.Metering = 1;
  e.SetOutputGain(0.5f);
  const size_t n = 44100;
  const double f = ref::centre(18);
  const Vec in0 = sine(n, f, fs, 0.5), in1 = sine(n, f, fs, 0.25);
  Vec out0, out1;
  runEngine(e, in0, in1, out0, out1, TMode::Stereo);
  double inE = 0, outE = 0;
  for (size_t i = 0; i < n; ++i) {
    inE += in0[i] * in0[i] + in1[i] * in1[i];
    outE += out0[i] * out0[i] + out1[i] * out1[i];
  }
  EXPECT_NEAR(e.GetInputLevel(), 10 * std::log10(inE / (2.0 * n)), 1e-4);
  EXPECT_NEAR(e.GetOutputLevel(), 10 * std::log10(outE / (2.0 * n)), 1e-4);

  double energy[32], gainPow[32], outFactor[32], weight[32];
  e.TakeSpectrum(energy, gainPow, false, 1.0f / n, true, outFactor, weight);
  // Band 18 sees the sine at its centre. Linked, both channels show the
  // shared detector (the louder left one): mean square of |G| * A sin.
  const double g = std::abs(ref::response(ref::design(18, fs), f, fs));
  const double expected = std::pow(g * 0.5, 2) / 2;
  EXPECT_NEAR(energy[18], expected, 0.01 * expected);
  EXPECT_LT(energy[5], 1e-3 * expected);
  for (int b = 0; b < 32; ++b) {
    EXPECT_NEAR(gainPow[b], 1.0, 1e-7) << b;                  // 1:1: every applied gain is 1 (scale is single)
    EXPECT_FLOAT_EQ(static_cast<float>(outFactor[b]), 0.5f);  // default band gain 0 dB
    EXPECT_FLOAT_EQ(static_cast<float>(weight[b]), 1.0f);
  }
  // The snapshot cleared the accumulators: nothing gathered gives energy 0 and gain power 1.
  e.TakeSpectrum(energy, gainPow, true, 1.0f, false, outFactor, weight);
  for (int b = 0; b < 32; ++b) {
    EXPECT_EQ(energy[b], 0.0);
    EXPECT_EQ(gainPow[b], 1.0);
    EXPECT_EQ(outFactor[b], 1.0);
  }
  e.ResetMeters();
  EXPECT_EQ(e.GetInputLevel(), -1000.0f);
}

// ---- envelopes to band settings -------------------------------------------------------------

TEST_F(EngineTest, EnvelopesInterpolateAtBandPositionsAndExtrapolateAtTheEnds) {
  TTalvern e(192000, &sync);
  TEnvelope r = *e.EnvelopeRecord(ekWetMix);
  r.PointCount = 5;
  r.Points[0] = {0.2f, 0.1f};
  r.Points[1] = {0.4f, 0.5f};
  r.Points[2] = {0.4f, 0.9f};  // same x: skipped
  r.Points[3] = {0.3f, 0.0f};  // going back: skipped
  r.Points[4] = {0.8f, 0.7f};
  e.StoreEnvelope(ekWetMix, r);
  Vec z(16, 0.0), o(16);
  e.Process(z.data(), z.data(), o.data(), o.data(), 16, TMode::Mono);
  // The end segments extrapolate, held within 0 .. 1 (the low end here
  // would reach -0.3 at 25 Hz).
  auto expected = [](double p) {
    if (p <= 0.4) return std::max(0.0, 0.1 + (p - 0.2) * (0.5 - 0.1) / (0.4 - 0.2));
    return std::min(1.0, 0.5 + (p - 0.4) * (0.7 - 0.5) / (0.8 - 0.4));
  };
  for (int b = 0; b < 39; ++b) {
    const double p = std::min(b, 31) / 31.0;
    EXPECT_NEAR(e.Band(b).WetMix, expected(static_cast<float>(p)), 1e-6) << b;
  }
  // One usable point holds its y; none holds the default; non-numbers give the default.
  struct {
    int count;
    float x0, y0, x1;
    double value;
  } holds[] = {{1, 0.5f, 0.3f, 0.0f, 0.3}, {2, 0.5f, 0.3f, 0.5f, 0.3}, {0, 0, 0, 0, 1.0}, {2, 0.0f, NAN, 0.0f, 1.0}};
  for (const auto& h : holds) {
    r = *e.EnvelopeRecord(ekWetMix);
    r.PointCount = h.count;
    r.Points[0] = {h.x0, h.y0};
    r.Points[1] = {h.x1, 0.9f};
    e.StoreEnvelope(ekWetMix, r);
    e.Process(z.data(), z.data(), o.data(), o.data(), 16, TMode::Mono);
    for (int b = 0; b < 39; ++b) ASSERT_NEAR(e.Band(b).WetMix, h.value, 1e-7) << h.count << " band " << b;
  }
}

// ---- weighting and slope ----------------------------------------------------------------------

// Standard A and C weighting (normalised to 0 dB at 1 kHz), written independently.
double standardA(double f) {
  const double f2 = f * f, c4 = 12194.0 * 12194.0;
  const double ra =
      c4 * f2 * f2 / ((f2 + 20.6 * 20.6) * std::sqrt((f2 + 107.7 * 107.7) * (f2 + 737.9 * 737.9)) * (f2 + c4));
  return 20 * std::log10(ra) + 2.00;
}
double standardC(double f) {
  const double f2 = f * f, c4 = 12194.0 * 12194.0;
  return 20 * std::log10(c4 * f2 / ((f2 + 20.6 * 20.6) * (f2 + c4))) + 0.06;
}

TEST_F(EngineTest, WeightingCurvesAndSlope) {
  // The weight is the inverse of the hearing curve, without its 1 kHz normalisation.
  EXPECT_NEAR(standardA(1000), 0.0, 0.01);
  EXPECT_NEAR(standardA(100), -19.1, 0.05);
  for (double f : {25.0, 100.0, 1000.0, 4000.0, 16000.0}) {
    EXPECT_NEAR(TTalvern::WeightingDb(2, f, 0), -(standardA(f) - 2.00), 0.01) << f;
    EXPECT_NEAR(TTalvern::WeightingDb(3, f, 0), -(standardC(f) - 0.06), 0.01) << f;
    EXPECT_NEAR(TTalvern::WeightingDb(4, f, 0), -(0.15 * (standardA(f) - 2.0) + 0.85 * (standardC(f) - 0.06)), 0.01);
  }
  // "Internal": quadratic in octaves from 700 Hz, 0 there, 1 + 1 at five octaves scaled by K.
  EXPECT_EQ(TTalvern::WeightingDb(1, 700, 2.0), 0.0);
  EXPECT_NEAR(TTalvern::WeightingDb(1, 700 * 32, 2.0), 5 * std::log(2.0) * 5.0 * 0.5 * 2, 1e-9);
  EXPECT_EQ(TTalvern::WeightingDb(9, 1000, 0), 0.0);

  // Slope: a tilt of s - 3 dB per octave pivoting at 700 Hz.
  for (float s : {0.0f, 3.0f, 6.0f, 10.0f}) {
    TTalvern e(44100, &sync);
    e.SetSlope(s);
    Vec z(8, 0.0), o(8);
    e.Process(z.data(), z.data(), o.data(), o.data(), 8, TMode::Mono);
    for (int b = 0; b < 32; ++b) {
      const double f = e.Band(b).Centre;
      const double db = 20 * std::log10(e.Band(b).Weight);
      EXPECT_NEAR(db, (double(s) - 3.0) * std::log2(f / 700.0), 1e-4) << s << " band " << b;
      EXPECT_FLOAT_EQ(e.Band(b).InvWeight, 1.0f / e.Band(b).Weight);
    }
  }
  // A weighting on the bands; the threshold follows the inverse weight.
  TTalvern e(44100, &sync);
  e.SetWeighting(2);
  Vec z(8, 0.0), o(8);
  e.Process(z.data(), z.data(), o.data(), o.data(), 8, TMode::Mono);
  for (int b = 0; b < 32; ++b)
    EXPECT_NEAR(20 * std::log10(e.Band(b).Weight), -(standardA(e.Band(b).Centre) - 2.0), 0.01) << b;
  for (int b : {0, 12, 31})
    EXPECT_DOUBLE_EQ(e.Band(b).StateA->Thresh, double(e.Band(b).Threshold) * double(e.Band(b).InvWeight));
}

// ---- the "Env" detector ---------------------------------------------------------------------------

// The smoother closes 99 % of a step in half a period of the band's centre:
// ceil(fs / (2 fc)) samples, from about 880 at 25 Hz to 1 or 2 at 20 kHz.
TEST_F(EngineTest, EnvDetectorSettlesInHalfABandPeriod) {
  for (int fs : {44100, 96000}) {
    TTalvern e(fs, &sync);
    for (int b : {0, 5, 17, 31}) {
      TBandChannelState s = *e.Band(b).StateA;
      s.DetState = 0.0;
      const double halfPeriod = fs / (2.0 * double(e.Band(b).Centre));
      Vec d(size_t(4 * halfPeriod) + 4, 1.0);
      SmoothDetector(s, d.data(), int(d.size()));
      const int reached = int(std::find_if(d.begin(), d.end(), [](double v) { return v >= 0.99; }) - d.begin()) + 1;
      EXPECT_NEAR(reached, std::ceil(halfPeriod), 1.0) << fs << " band " << b;
    }
  }
}

// A 50 Hz tone compressed with fast attack and release: the rectified band
// signal ripples at 100 Hz and the gain follows it; "Env" smooths that away.
TEST_F(EngineTest, EnvDetectorSmoothsALowBandsGainRipple) {
  const int fs = 44100, band = 3;  // band 3 is centred near 47 Hz
  auto gainRipple = [&](bool env) {
    TTalvern e(fs, &sync);
    setFlat(e, ekThreshold, 0.2f);
    setFlat(e, ekRatio, 0.0f);
    setFlat(e, ekAttack, 0.0f);
    setFlat(e, ekRelease, 0.0f);
    e.EnvDetector = env ? 1 : 0;
    double lo = 1e9, hi = -1e9, x = 0, y = 0;
    for (int i = 0; i < fs; ++i) {
      x = 0.5 * std::sin(2 * ref::kPi * 50.0 * i / fs);
      e.Process(&x, nullptr, &y, nullptr, 1, TMode::Mono);
      if (i >= fs / 2) {
        const double g = e.Band(band).StateA->Gain;
        lo = std::min(lo, g);
        hi = std::max(hi, g);
      }
    }
    return 20 * std::log10(hi / lo);  // peak-to-peak ripple in dB
  };
  const double off = gainRipple(false), on = gainRipple(true);
  EXPECT_GT(off, 3.0);
  EXPECT_LT(on, 0.25 * off) << "off " << off << " dB, on " << on << " dB";
}

// ---- envelope values to band settings -------------------------------------------------------

// Each kind's mapping at a few values, checked against numbers worked out by
// hand from the documented ranges (threshold -50..0 dB with the detector
// 10 dB lower, attack 1..400 ms and release 1..2000 ms exponential, ratio 1/9
// .. 1 .. 3, gain -18..+18 dB, width 0..2, pan +1.5 dB / linear cut).
TEST_F(EngineTest, EnvelopeValuesMapToTheDocumentedBandSettings) {
  enum TField { Threshold, AttackCoef, ReleaseCoef, Ratio, WetMix, OutGain, Link, Width, PanA, PanB };
  const struct {
    int kind;
    float v;
    TField field;
    double expected;
  } cases[] = {
      {ekThreshold, 1.0f, Threshold, 0.31622776601683794},    // 0 dB shown, -10 dB detected
      {ekThreshold, 0.6f, Threshold, 0.03162277660168379},    // -20 dB shown
      {ekThreshold, 0.0f, Threshold, 0.001},                  // -50 dB shown
      {ekAttack, 0.0f, AttackCoef, 0.09148242434831322},      // 1 ms at 48 kHz
      {ekAttack, 0.5f, AttackCoef, 0.004785564797816555},     // 20 ms
      {ekAttack, 1.0f, AttackCoef, 0.00023982385151499752},   // 400 ms
      {ekRelease, 0.5f, ReleaseCoef, 0.0021430074702658564},  // 44.7 ms
      {ekRelease, 1.0f, ReleaseCoef, 4.796937220352682e-05},  // 2 s
      {ekRatio, 0.0f, Ratio, 1.0 / 9.0},
      {ekRatio, 0.375f, Ratio, 0.2},
      {ekRatio, 0.75f, Ratio, 1.0},
      {ekRatio, 0.875f, Ratio, 2.0},
      {ekRatio, 1.0f, Ratio, 3.0},
      {ekWetMix, 0.3f, WetMix, 0.3},
      {ekOutGain, 1.0f, OutGain, 7.943282347242816},    // +18 dB
      {ekOutGain, 0.75f, OutGain, 2.8183829312644537},  // +9 dB
      {ekOutGain, 0.0f, OutGain, 0.12589254117941673},  // -18 dB
      {ekStereoLink, 0.4f, Link, 0.4},
      {ekWidth, 0.25f, Width, 0.5},
      {ekWidth, 1.0f, Width, 2.0},
      {ekPan, 0.5f, PanA, 1.0},
      {ekPan, 0.5f, PanB, 1.0},
      {ekPan, 1.0f, PanA, 1.4125375446227544},  // +1.5 dB
      {ekPan, 1.0f, PanB, 0.0},
      {ekPan, 0.75f, PanA, 1.1885022274370185},  // +0.75 dB
      {ekPan, 0.75f, PanB, 0.5},
      {ekPan, 0.25f, PanA, 0.5},
      {ekPan, 0.25f, PanB, 1.1885022274370185},
  };
  for (const auto& c : cases) {
    TTalvern e(48000, &sync);
    setFlat(e, c.kind, c.v);
    Vec buf(64, 0.0), out(64);
    e.Process(buf.data(), nullptr, out.data(), nullptr, 64, TMode::Mono);
    for (int b : {0, 17, 31, 35}) {  // bands above 31 copy band 31
      const TTalvernBand& band = e.Band(b);
      const TBandChannelState& st = *band.StateA;
      const double got[] = {band.Threshold, st.AttackCoef,   st.ReleaseCoef, st.Ratio,      band.WetMix,
                            band.OutGain,   band.StereoLink, band.Width,     band.PanGainA, band.PanGainB};
      EXPECT_NEAR(got[c.field], c.expected, 1e-6 * std::fabs(c.expected) + 1e-9) << "kind " << c.kind << " v " << c.v;
    }
  }
}

// ---- texts ------------------------------------------------------------------------------------

TEST(EngineTexts, FormatEnvelopeValue) {
  const struct {
    int kind;
    bool unit;
    float v;
    const char* text;
  } cases[] = {
      {0, true, 1.0f, "0.0 dB"},  {0, true, 0.5f, "-25.0 dB"}, {0, false, 0.5f, "-25"},    {1, true, 0.0f, "1 ms"},
      {1, true, 1.0f, "400 ms"},  {1, false, 0.25f, "4"},      {2, true, 1.0f, "2000 ms"}, {2, true, 0.5f, "45 ms"},
      {3, true, 0.75f, "1:1.00"}, {3, false, 1.0f, "1:3.00"},  {3, true, 0.0f, "9.00:1"},  {3, true, 0.375f, "5.00:1"},
      {4, true, 0.5f, "50 %"},    {4, false, 0.5f, "50"},      {5, true, 1.0f, "18.0 dB"}, {5, true, 0.0f, "-18.0 dB"},
      {5, true, 0.5f, "0.0 dB"},  {6, true, 1.0f, "100 %"},    {7, true, 1.0f, "200 %"},   {7, false, 0.25f, "50"},
      {8, true, 0.5f, "C"},       {8, true, 1.0f, "L 100"},    {8, false, 0.0f, "R 100"},  {8, true, 0.75f, "L 50"},
  };
  for (const auto& c : cases) {
    std::string text = "unchanged";
    TTalvern::FormatEnvelopeValue(c.kind, c.unit, c.v, text);
    EXPECT_EQ(text, c.text) << c.kind << " " << c.v;
  }
  std::string text = "keep";
  TTalvern::FormatEnvelopeValue(9, true, 0.5f, text);
  TTalvern::FormatEnvelopeValue(-1, true, 0.5f, text);
  EXPECT_EQ(text, "keep");
}

// ---- real-time safety ---------------------------------------------------------------------------

TEST_F(EngineTest, ProcessAllocatesNothingInAnyMode) {
  TTalvern e(96000, &sync);
  Vec in0 = noise(128, 1), in1 = noise(128, 2), o0(128), o1(128);
  setFlat(e, ekRatio, 0.1f);
  setFlat(e, ekThreshold, 0.4f);
  for (int mode = 0; mode < 16; ++mode) {
    e.Metering = mode & 1;
    e.SquareGain = (mode >> 1) & 1;
    e.Inverted = (mode >> 2) & 1;
    e.EnvDetector = (mode >> 3) & 1;
    e.MarkEnvelopeChanged(mode % 9);  // envelopes are re-applied inside the call
    e.SetSlope(float(mode));
    setFlat(e, ekStereoLink, mode % 3 * 0.5f);
    long count;
    {
      TAllocCountScope scope;
      e.Process(in0.data(), in1.data(), o0.data(), o1.data(), 128, TMode::Stereo);
      e.Process(in0.data(), in1.data(), o0.data(), o1.data(), 128, TMode::MidSide);
      e.Process(in0.data(), nullptr, o0.data(), nullptr, 128, TMode::Mono);
      double energy[32], gp[32], of[32], w[32];
      e.TakeSpectrum(energy, gp, false, 1.0f, true, of, w);
      count = scope.Count();
    }
    EXPECT_EQ(count, 0) << "mode " << mode;
  }
}

TEST_F(EngineTest, SilenceAfterLoudInputNeverLeavesDenormalsBehind) {
  TTalvern e(44100, &sync);
  e.EnvDetector = 1;
  setFlat(e, ekRatio, 0.2f);
  Vec loud = noise(128, 3, 1.0), zero(128, 0.0), o0(128), o1(128);
  for (int i = 0; i < 50; ++i) e.Process(loud.data(), loud.data(), o0.data(), o1.data(), 128, TMode::Stereo);
  for (int block = 0; block < 44100 * 20 / 128; ++block) {
    e.Process(zero.data(), zero.data(), o0.data(), o1.data(), 128, TMode::Stereo);
    for (int i = 0; i < 128; ++i) {
      ASSERT_NE(std::fpclassify(o0[size_t(i)]), FP_SUBNORMAL) << block;
      ASSERT_NE(std::fpclassify(o1[size_t(i)]), FP_SUBNORMAL) << block;
    }
  }
  for (int b = 0; b < e.BandCount(); ++b) {
    for (const TBandChannelState* s : {e.Band(b).StateA, e.Band(b).StateB}) {
      EXPECT_NE(std::fpclassify(s->S1), FP_SUBNORMAL) << b;
      EXPECT_NE(std::fpclassify(s->S2), FP_SUBNORMAL) << b;
      EXPECT_NE(std::fpclassify(s->DetState), FP_SUBNORMAL) << b;
    }
  }
}

// The editor edits envelopes and the host changes parameters while the audio
// thread processes: everything shared goes through the lock or single words
// (run under ThreadSanitizer in the sanitizer lane).
TEST_F(EngineTest, EditsFromAnotherThreadReachTheNextBlock) {
  TTalvern e(44100, &sync);
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    for (int i = 0; !stop; ++i) {
      setLine(e, i % 9, 0.1f * float(i % 10), 0.5f);
      e.SetSlope(float(i % 7));
      e.SetOutputGain(0.5f + 0.01f * float(i % 20));
      e.Metering = i & 1;
      e.SquareGain = (i >> 1) & 1;
      e.EnvDetector = (i >> 2) & 1;
      e.Inverted = (i >> 3) & 1;
      e.ChooseStage(i % 4, i % 5 - 1);
      if (i % 50 == 0) e.SimplifyForKnobs();
    }
  });
  Vec in = noise(128, 4), o0(128), o1(128);
  bool finite = true;
  for (int block = 0; block < 300; ++block) {
    e.Process(in.data(), in.data(), o0.data(), o1.data(), 128, TMode::Stereo);
    double energy[32], gp[32], of[32], w[32];
    if (block % 10 == 0) e.TakeSpectrum(energy, gp, false, 1.0f / 1280, true, of, w);
    for (int i = 0; i < 128; ++i) finite = finite && std::isfinite(o0[size_t(i)]) && std::isfinite(o1[size_t(i)]);
  }
  stop = true;
  editor.join();
  EXPECT_TRUE(finite);
  setFlat(e, ekWetMix, 0.25f);
  e.Process(in.data(), in.data(), o0.data(), o1.data(), 128, TMode::Stereo);
  EXPECT_EQ(e.Band(7).WetMix, 0.25f);
  EXPECT_EQ(e.DirtyMask(), 0);
}

TEST_F(EngineTest, ClearResetsTheBandsAndNoEnabledBandGivesSilence) {
  TTalvern e(44100, &sync);
  Vec in = noise(256, 8), o0, o1, again0, again1;
  runEngine(e, in, in, o0, o1, TMode::Stereo);
  e.Clear();
  runEngine(e, in, in, again0, again1, TMode::Stereo);
  EXPECT_EQ(o0, again0);
  EXPECT_EQ(o1, again1);
  e.SetSampleRate(40);  // below every band: nothing enabled
  EXPECT_EQ(e.EnabledBandCount(), 0);
  Vec out(64, 7.0), out1(64, 7.0);
  e.Process(in.data(), in.data(), out.data(), out1.data(), 64, TMode::Stereo);
  for (double v : out) EXPECT_EQ(v, 0.0);
}

}  // namespace
