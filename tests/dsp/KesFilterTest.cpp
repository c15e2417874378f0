// The audition band-pass against the analogue prototype it is mapped from.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "dsp/kesfilter.h"

namespace {

const double kPi = std::numbers::pi;

// Band-pass prototype 1/Q = sinh(ln2/2 * bw) at the pre-warped frequency: the
// bilinear transform maps tan(w/2)/tan(w0/2) onto the analogue axis exactly.
double prototypeDb(double f, double f0, double fs, double bw) {
  const double invQ = std::sinh(std::log(2.0) / 2.0 * bw);
  const double omega = std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs);
  const std::complex<double> jw(0.0, omega);
  const std::complex<double> h = jw * invQ / (1.0 + jw * invQ + jw * jw);
  return 20.0 * std::log10(std::abs(h));
}

// Steady-state gain in dB of a sine through the filter (least-squares fit).
double measuredDb(TKesFilter& filter, double f, double fs) {
  const int n = static_cast<int>(fs);  // 1 s
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[size_t(i)] = std::sin(2 * kPi * f * i / fs);
  for (int done = 0; done < n; done += 128) filter.ProcessMono(x.data() + done, std::min(128, n - done));
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (int i = n / 2; i < n; ++i) {
    const double s = std::sin(2 * kPi * f * i / fs), c = std::cos(2 * kPi * f * i / fs), y = x[size_t(i)];
    ss += s * s;
    cc += c * c;
    sc += s * c;
    ys += y * s;
    yc += y * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  return 20.0 * std::log10(std::hypot(a, b));
}

TEST(KesFilter, BandPassMatchesItsPrototypeInDesignAndInTheSampleLoop) {
  const double fs = 44100, f0 = 1000, bw = 0.7;
  double b0, b1, b2, a1, a2;
  TKesFilter::DesignBandPass(fs, f0, bw, b0, b1, b2, a1, a2);
  const std::vector<double> freqs = {100, 500, 800, 1000, 1250, 2000, 10000};
  std::vector<double> x;
  for (double f : freqs) x.push_back(f / (fs / 2));
  std::vector<float> db(freqs.size());
  TKesFilter::ResponseDb(x.data(), db.data(), static_cast<int>(x.size()), b0, b1, b2, a1, a2);
  for (size_t i = 0; i < freqs.size(); ++i) {
    const double expected = prototypeDb(freqs[i], f0, fs, bw);
    EXPECT_NEAR(db[i], expected, 1e-4) << freqs[i];
    TKesFilter filter(44100);
    filter.SetType(kFilterBandPass);
    filter.SetFrequency(1000);
    filter.SetBandwidth(0.7f);
    EXPECT_NEAR(measuredDb(filter, freqs[i], fs), expected, 1e-3) << freqs[i];
  }
  EXPECT_NEAR(db[3], 0.0, 1e-6);
  EXPECT_LT(db[0], -20.0f);
  EXPECT_LT(db[6], -20.0f);
}

TEST(KesFilter, RedesignsOnlyOnChangeAndBypassLeavesTheSignal) {
  TKesFilter filter(48000);
  std::vector<double> x = {0.5, -0.25, 1.0, 0.0, 0.125};
  const auto original = x;
  filter.ProcessMono(x.data(), 5);  // type 0: bypass
  EXPECT_EQ(x, original);
  filter.SetType(kFilterBandPass);
  filter.SetFrequency(2000);
  filter.ProcessMono(x.data(), 5);
  const int designs = filter.DesignCount();
  filter.SetFrequency(2000);
  filter.SetBandwidth(1.0f);  // unchanged from creation
  EXPECT_FALSE(filter.DesignDirty());
  filter.ProcessMono(x.data(), 5);
  EXPECT_EQ(filter.DesignCount(), designs);
  filter.SetFrequency(2500);
  EXPECT_TRUE(filter.DesignDirty());
}

TEST(KesFilter, StereoChannelsKeepSeparateStatesAndOutOfRangeCentresStayStable) {
  TKesFilter filter(44100);
  filter.SetType(kFilterBandPass);
  filter.SetFrequency(30000.0f);  // past Nyquist: held inside the band
  std::vector<double> l(4096), r(4096, 0.0);
  for (size_t i = 0; i < l.size(); ++i) l[i] = (i % 7) * 0.3 - 0.9;
  filter.ProcessStereo(l.data(), r.data(), 4096);
  for (size_t i = 0; i < l.size(); ++i) {
    ASSERT_TRUE(std::isfinite(l[i]));
    ASSERT_LT(std::fabs(l[i]), 10.0);
    ASSERT_EQ(r[i], 0.0);  // silence in, silence out: no state shared with the left channel
  }
}

}  // namespace
