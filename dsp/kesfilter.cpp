#include "dsp/kesfilter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "dsp/VecOps.h"

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kLn2 = 0.69314718055994530942;
}  // namespace

TKesFilter::TKesFilter(int32_t sampleRate) {
  try {
    AlignedAlloc(FDesign, sizeof(TKesFilterDesign));
    for (auto& c : FChannels) AlignedAlloc(c, sizeof(TKesFilterChannel));
  } catch (...) {
    if (FDesign) AlignedFree(FDesign);
    for (auto& c : FChannels)
      if (c) AlignedFree(c);
    throw;
  }
  std::memset(FDesign, 0, sizeof(TKesFilterDesign));
  FDesign->FilterType = kFilterBypass;
  FDesign->Frequency = 100.0f;
  FDesign->GainDb = 0.0f;
  FDesign->Bandwidth = 1.0f;
  FDesign->B0 = 1.0;
  Clear();
  SetSampleRate(sampleRate);
}

TKesFilter::~TKesFilter() {
  AlignedFree(FDesign);
  for (auto& c : FChannels) AlignedFree(c);
}

void TKesFilter::SetSampleRate(int32_t sampleRate) {
  FDesign->SampleRate = static_cast<float>(sampleRate);
  FDesignDirty = true;
  FResetPending = true;
}

void TKesFilter::SetFrequency(float hz) {
  if (hz == FDesign->Frequency) return;
  FDesign->Frequency = hz;
  FDesignDirty = true;
}

void TKesFilter::SetBandwidth(float octaves) {
  if (octaves == FDesign->Bandwidth) return;
  FDesign->Bandwidth = octaves;
  FDesignDirty = true;
}

void TKesFilter::SetType(int32_t type) {
  if (type == FDesign->FilterType) return;
  FDesign->FilterType = type;
  FDesignDirty = true;
  if (type > 0) FResetPending = true;
}

void TKesFilter::Clear() {
  for (auto* c : FChannels) std::memset(c, 0, sizeof(TKesFilterChannel));
}

void TKesFilter::DesignBandPass(double fs, double frequency, double bandwidth, double& b0, double& b1, double& b2,
                                double& a1, double& a2) {
  const double w = 2.0 * kPi * frequency / fs;
  const double t = std::tan(w / 2.0);
  const double k = t * std::sinh(kLn2 / 2.0 * bandwidth);
  const double a0 = t * t + k + 1.0;
  b0 = k / a0;
  b1 = 0.0;
  b2 = -k / a0;
  a1 = 2.0 * (t * t - 1.0) / a0;
  a2 = (t * t - k + 1.0) / a0;
}

void TKesFilter::ResponseDb(const double* x, float* db, int n, double b0, double b1, double b2, double a1, double a2) {
  for (int i = 0; i < n; ++i) {
    const std::complex<double> z1 = std::polar(1.0, -kPi * x[i]);
    const std::complex<double> z2 = z1 * z1;
    const double num = std::norm(b0 + b1 * z1 + b2 * z2);
    const double den = std::norm(1.0 + a1 * z1 + a2 * z2);
    db[i] = static_cast<float>(10.0 * std::log10(num / den));
  }
}

void TKesFilter::update() {
  TKesFilterDesign& d = *FDesign;
  if (FDesignDirty) {
    if (d.FilterType == kFilterBandPass) {
      // Keep the design stable: a centre at or past Nyquist or a bandwidth of
      // zero would put the poles on or outside the unit circle.
      const double fs = d.SampleRate > 0 ? static_cast<double>(d.SampleRate) : 1.0;
      const double f = std::clamp<double>(d.Frequency, 1e-3 * fs, 0.49 * fs);
      const double bw = std::isfinite(d.Bandwidth) ? std::clamp<double>(d.Bandwidth, 1e-3, 10.0) : 1.0;
      DesignBandPass(fs, std::isfinite(f) ? f : 0.1 * fs, bw, d.B0, d.B1, d.B2, d.A1, d.A2);
      d.A1 = -d.A1;
    }
    ++FDesignCount;
    FDesignDirty = false;
  }
  if (FResetPending) {
    Clear();
    FResetPending = false;
  }
  d.ActiveType = d.FilterType;
}

void TKesFilter::run(TKesFilterChannel& c, double* x, int n) const {
  const TKesFilterDesign& d = *FDesign;
  if (d.ActiveType != kFilterBandPass) return;
  const double b0 = d.B0, a1 = d.A1, a2 = d.A2;
  double s1 = c.S1, s2 = c.S2;
  for (int i = 0; i < n; ++i) {
    const double a = b0 * x[i];
    const double y = a + s1;
    s1 = a1 * y + s2;
    s2 = -a - a2 * y;
    x[i] = y;
  }
  c.S1 = s1;
  c.S2 = s2;
}

void TKesFilter::ProcessStereo(double* left, double* right, int n) {
  update();
  run(*FChannels[0], left, n);
  run(*FChannels[1], right, n);
}

void TKesFilter::ProcessMono(double* samples, int n) {
  update();
  run(*FChannels[0], samples, n);
}
