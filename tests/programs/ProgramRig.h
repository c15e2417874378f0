#pragma once
// Drives the real effect (parameter set, processing chain, engine) on test
// signals generated here, and measures the output with the test's own tools:
// a radix-2 FFT for band levels, mid/side conversion for stereo width, and
// short-window RMS statistics for dynamics. Nothing here reuses plug-in code.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "apps/DemoMix.h"
#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/TestRegistry.h"

namespace programs {

constexpr double kRate = 44100.0;
constexpr double kPi = std::numbers::pi;

inline const char* const kProgramNames[17] = {
    "Default",          "Radio Mix", "Big Club Mix",    "Club Punch",   "Flat Bass", "Smooth Mix",
    "Tape Compression", "Solidify",  "Better Balance",  "Deeper",       "Lightness", "Mastering Compression",
    "Open Highs",       "Openness",  "Overcompression", "Transparency", "Soft Press"};

inline int ProgramIndex(const std::string& name) {
  for (int i = 0; i < 17; ++i)
    if (name == kProgramNames[i]) return i;
  return -1;
}

inline double Db(double power) { return 10.0 * std::log10(std::max(power, 1e-300)); }

struct Stereo {
  std::vector<float> L, R;
  size_t Frames() const { return L.size(); }
};

// Deterministic white noise in -1..1 (xorshift32).
class Noise {
public:
  explicit Noise(uint32_t seed) : s(seed ? seed : 1) {}
  double Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<double>(s) / 2147483648.0 - 1.0;
  }

private:
  uint32_t s;
};

// Pink noise: white noise through a sum of one-pole lowpasses whose poles are
// spread so that the sum falls 3 dB per octave within about 0.5 dB over the
// audio band.
class Pink {
public:
  explicit Pink(uint32_t seed) : w(seed) {}
  double Next() {
    double x = w.Next();
    b[0] = 0.99886 * b[0] + x * 0.0555179;
    b[1] = 0.99332 * b[1] + x * 0.0750759;
    b[2] = 0.96900 * b[2] + x * 0.1538520;
    b[3] = 0.86650 * b[3] + x * 0.3104856;
    b[4] = 0.55000 * b[4] + x * 0.5329522;
    b[5] = -0.7616 * b[5] - x * 0.0168980;
    double y = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + x * 0.5362;
    b[6] = x * 0.115926;
    return y;
  }

private:
  Noise w;
  double b[7] = {};
};

inline double RmsOf(const std::vector<double>& x) {
  double s = 0;
  for (double v : x) s += v * v;
  return std::sqrt(s / std::max<size_t>(1, x.size()));
}

// Stereo pink noise, each channel at the given RMS level: half of each
// channel's power is common to both, half its own, so the image is neither
// mono nor fully wide (side/mid power ratio 1/3, about -4.8 dB).
inline Stereo StereoPink(double seconds, double rmsDb, uint32_t seed) {
  size_t n = static_cast<size_t>(seconds * kRate);
  Pink c(seed), u(seed * 7 + 1), v(seed * 13 + 5);
  std::vector<double> l(n), r(n);
  for (size_t i = 0; i < n; ++i) {
    double common = c.Next();
    l[i] = common + u.Next();
    r[i] = common + v.Next();
  }
  double gl = std::pow(10.0, rmsDb / 20) / RmsOf(l), gr = std::pow(10.0, rmsDb / 20) / RmsOf(r);
  Stereo s;
  s.L.resize(n);
  s.R.resize(n);
  for (size_t i = 0; i < n; ++i) {
    s.L[i] = static_cast<float>(l[i] * gl);
    s.R[i] = static_cast<float>(r[i] * gr);
  }
  return s;
}

// Scales a signal so that its sample peak sits at peakDb.
inline Stereo AtPeak(Stereo s, double peakDb) {
  double p = 0;
  for (size_t i = 0; i < s.Frames(); ++i) p = std::max({p, std::fabs(double(s.L[i])), std::fabs(double(s.R[i]))});
  double g = std::pow(10.0, peakDb / 20) / p;
  for (size_t i = 0; i < s.Frames(); ++i) {
    s.L[i] = static_cast<float>(double(s.L[i]) * g);
    s.R[i] = static_cast<float>(double(s.R[i]) * g);
  }
  return s;
}

// Drum-like material: a quiet pink bed under pink-noise hits every 250 ms
// (kHitPeriod) that rise in 1 ms and decay with a 35 ms time constant, about
// 20 dB above the bed; the bed differs a little between the channels. Scaled
// to a sample peak of -3 dBFS.
constexpr double kHitPeriod = 0.25;
inline Stereo DrumLike(double seconds, uint32_t seed) {
  size_t n = static_cast<size_t>(seconds * kRate);
  Pink bed(seed), hit(seed * 3 + 11), bedR(seed * 5 + 2);
  Stereo s;
  s.L.resize(n);
  s.R.resize(n);
  const double bedGain = 0.1;
  for (size_t i = 0; i < n; ++i) {
    double th = std::fmod(double(i) / kRate, kHitPeriod);
    double env = th < 0.001 ? th / 0.001 : std::exp(-(th - 0.001) / 0.035);
    double common = hit.Next() * env;
    double b = bed.Next(), br = bedR.Next();
    s.L[i] = static_cast<float>(common + bedGain * (0.7 * b + 0.3 * br));
    s.R[i] = static_cast<float>(common + bedGain * (0.3 * b + 0.7 * br));
  }
  return AtPeak(s, -3.0);
}

// Slowly swelling material: stereo pink noise at -18 dBFS RMS whose level
// rises and falls by 8 dB around that (0.8 Hz), as sections of a mix do.
inline Stereo Swelling(double seconds, uint32_t seed) {
  Stereo s = StereoPink(seconds, -18.0, seed);
  for (size_t i = 0; i < s.Frames(); ++i) {
    double g = std::pow(10.0, 8.0 / 20 * std::sin(2 * kPi * 0.8 * double(i) / kRate));
    s.L[i] = static_cast<float>(double(s.L[i]) * g);
    s.R[i] = static_cast<float>(double(s.R[i]) * g);
  }
  return s;
}

// In-place iterative radix-2 FFT.
inline void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    double ang = -2 * kPi / double(len);
    std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k) {
        std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

// Averaged power spectrum (Hann windows of 4096 samples, half overlap).
class Spectrum {
public:
  static constexpr size_t N = 4096;
  Spectrum() = default;
  explicit Spectrum(const std::vector<double>& x) : P(N / 2 + 1, 0.0) {
    std::vector<double> win(N);
    for (size_t i = 0; i < N; ++i) win[i] = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(N));
    std::vector<std::complex<double>> buf(N);
    int frames = 0;
    for (size_t pos = 0; pos + N <= x.size(); pos += N / 2, ++frames) {
      for (size_t i = 0; i < N; ++i) buf[i] = x[pos + i] * win[i];
      Fft(buf);
      for (size_t k = 0; k <= N / 2; ++k) P[k] += std::norm(buf[k]);
    }
    for (double& p : P) p /= std::max(1, frames);
  }
  // Power between lo and hi Hz (bins whose centre lies in [lo, hi)).
  double Band(double lo, double hi) const {
    double s = 0;
    for (size_t k = 1; k < P.size(); ++k) {
      double f = double(k) * kRate / double(N);
      if (f >= lo && f < hi) s += P[k];
    }
    return s;
  }
  std::vector<double> P;
};

// Levels of 10 ms windows in dB, for dynamics statistics.
inline std::vector<double> ShortTermDb(const std::vector<double>& x, size_t window = 441) {
  std::vector<double> out;
  for (size_t pos = 0; pos + window <= x.size(); pos += window) {
    double s = 0;
    for (size_t i = 0; i < window; ++i) s += x[pos + i] * x[pos + i];
    out.push_back(Db(s / double(window)));
  }
  return out;
}

inline double Percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  size_t i = static_cast<size_t>(q * double(v.size() - 1) + 0.5);
  return v[i];
}

// Second-order Butterworth sections for splitting a signal into bands in the
// time domain (for band-wise dynamics).
class Biquad {
public:
  static Biquad LowPass(double f) { return Make(f, true); }
  static Biquad HighPass(double f) { return Make(f, false); }
  std::vector<double> Run(const std::vector<double>& x) const {
    std::vector<double> y(x.size());
    double z1 = 0, z2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      double o = b0 * x[i] + z1;
      z1 = b1 * x[i] - a1 * o + z2;
      z2 = b2 * x[i] - a2 * o;
      y[i] = o;
    }
    return y;
  }

private:
  static Biquad Make(double f, bool low) {
    double w = 2 * kPi * f / kRate, c = std::cos(w), al = std::sin(w) / std::sqrt(2.0);
    Biquad q;
    double a0 = 1 + al;
    q.b0 = (low ? (1 - c) / 2 : (1 + c) / 2) / a0;
    q.b1 = (low ? (1 - c) : -(1 + c)) / a0;
    q.b2 = q.b0;
    q.a1 = -2 * c / a0;
    q.a2 = (1 - al) / a0;
    return q;
  }
  double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// Fourth-order splits (two Butterworth sections in a row).
inline std::vector<double> Low(const std::vector<double>& x, double f) {
  Biquad q = Biquad::LowPass(f);
  return q.Run(q.Run(x));
}
inline std::vector<double> High(const std::vector<double>& x, double f) {
  Biquad q = Biquad::HighPass(f);
  return q.Run(q.Run(x));
}

// Band edges of the coarse measurements, in Hz.
constexpr double kLowEdge = 200, kHighEdge = 5000;

// What one program did to the two test signals.
struct Measures {
  // Steady stereo pink noise.
  double RmsDb = 0;   // both channels
  double PeakDb = 0;  // sample peak, both channels
  Spectrum Mid, Side, Left, Right;
  double LevelDb(double lo, double hi) const { return Db(Left.Band(lo, hi) + Right.Band(lo, hi)); }
  double LowDb() const { return LevelDb(20, kLowEdge); }
  double MidDb() const { return LevelDb(kLowEdge, kHighEdge); }
  double HighDb() const { return LevelDb(kHighEdge, 20000); }
  // Side power over mid power in a frequency range, dB.
  double SideMidDb(double lo, double hi) const { return Db(Side.Band(lo, hi)) - Db(Mid.Band(lo, hi)); }
  // Drum-like signal: spread of 10 ms levels (90th minus 10th percentile) of
  // the whole signal and of its low, mid and high parts, and the crest factor.
  double SpreadDb = 0, LowSpreadDb = 0, MidSpreadDb = 0, HighSpreadDb = 0;
  double CrestDb = 0;
  double DrumRmsDb = 0, DrumPeakDb = 0;
  // Level of the first 10 ms of each hit over the level 40..100 ms after it.
  double HitContrastDb = 0;
  // Swelling signal: spread of 50 ms levels (95th minus 5th percentile).
  double SwellDb = 0;
  // Peak on pink noise whose sample peak is -12 dBFS.
  double QuietPeakDb = 0;
  // The demo mix (scripts/demo.sh): sample peak over RMS, both channels.
  double DemoCrestDb = 0;
  bool Finite = true;
  int MessageBoxes = 0;
};

inline double Spread(const std::vector<double>& x) {
  std::vector<double> st = ShortTermDb(x);
  return Percentile(st, 0.9) - Percentile(st, 0.1);
}

// Hits start at multiples of kHitPeriod; x starts at sample `from`.
inline double HitContrast(const std::vector<double>& x, size_t from) {
  double front = 0, tail = 0;
  size_t nf = 0, nt = 0;
  for (int k = 0;; ++k) {
    double onset = k * kHitPeriod * kRate - double(from);
    if (onset < 0) continue;
    size_t o = static_cast<size_t>(onset + 0.5);
    size_t f1 = o + static_cast<size_t>(0.010 * kRate), t0 = o + static_cast<size_t>(0.040 * kRate),
           t1 = o + static_cast<size_t>(0.100 * kRate);
    if (t1 > x.size()) break;
    for (size_t i = o; i < f1; ++i, ++nf) front += x[i] * x[i];
    for (size_t i = t0; i < t1; ++i, ++nt) tail += x[i] * x[i];
  }
  return Db(front / double(std::max<size_t>(nf, 1))) - Db(tail / double(std::max<size_t>(nt, 1)));
}

inline VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One instance of the effect, created as the library entry does.
class Instance {
public:
  explicit Instance(int program) {
    RegistryRoot = "Software\\Kestrune\\";
    MakerName = "Kestrune";
    HostVersion = 2400;
    TComponent* module = new TEffParameters(nullptr);
    TVSTParameterHost* host = static_cast<TEffParameters*>(module)->ParamHost;
    auto* fx = new TVSTEffectBase(HostCallback, host, module);
    e = fx->getAeffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
    e->dispatcher(e, effSetProgram, 0, program, nullptr, 0);
  }
  ~Instance() { e->dispatcher(e, effClose, 0, 0, nullptr, 0); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // Starts over with cleared states (suspend, resume).
  void Restart() {
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  }
  Stereo Render(const Stereo& in, size_t block = 512) {
    Stereo out;
    out.L.assign(in.Frames(), 0.0f);
    out.R.assign(in.Frames(), 0.0f);
    for (size_t pos = 0; pos < in.Frames(); pos += block) {
      size_t n = std::min(block, in.Frames() - pos);
      float* ins[2] = {const_cast<float*>(in.L.data() + pos), const_cast<float*>(in.R.data() + pos)};
      float* outs[2] = {out.L.data() + pos, out.R.data() + pos};
      e->processReplacing(e, ins, outs, static_cast<VstInt32>(n));
    }
    return out;
  }
  AEffect* Effect() const { return e; }

private:
  AEffect* e;
};

// Measurements skip the first half second, where slow release times and the
// program change are still settling.
constexpr size_t kSkip = static_cast<size_t>(0.5 * kRate);

struct Signals {
  Stereo Steady = StereoPink(2.5, -18.0, 1234);
  Stereo Drums = DrumLike(3.0, 77);
  Stereo Swell = Swelling(3.0, 99);
  Stereo Quiet = AtPeak(StereoPink(1.0, -18.0, 4321), -12.0);
  Stereo Demo = DemoMix(8.0);

  static Stereo DemoMix(double seconds) {
    demo::TDemoMix mix = demo::MakeDemoMix(seconds, static_cast<int>(kRate));
    return {std::move(mix.L), std::move(mix.R)};
  }
};

inline const Signals& TestSignals() {
  static const Signals s;
  return s;
}

inline void Channels(const Stereo& s, std::vector<double>& l, std::vector<double>& r, std::vector<double>& m,
                     std::vector<double>& sd, bool& finite, size_t from = kSkip) {
  size_t n = s.Frames() - from;
  l.resize(n), r.resize(n), m.resize(n), sd.resize(n);
  for (size_t i = 0; i < n; ++i) {
    l[i] = s.L[from + i];
    r[i] = s.R[from + i];
    if (!std::isfinite(l[i]) || !std::isfinite(r[i])) {
      finite = false;
      l[i] = r[i] = 0;
    }
    m[i] = 0.5 * (l[i] + r[i]);
    sd[i] = 0.5 * (l[i] - r[i]);
  }
}

inline double PeakDbOf(const std::vector<double>& a, const std::vector<double>& b) {
  double p = 0;
  for (double v : a) p = std::max(p, std::fabs(v));
  for (double v : b) p = std::max(p, std::fabs(v));
  return 20 * std::log10(std::max(p, 1e-300));
}

inline double RmsDbOf(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0;
  for (double v : a) s += v * v;
  for (double v : b) s += v * v;
  return Db(s / double(a.size() + b.size()));
}

// Measures the outputs (or inputs) that belong to the test signals.
template <typename Process>
Measures Analyse(Process&& process) {
  const Signals& sig = TestSignals();
  Measures m;
  std::vector<double> l, r, mid, side;

  Channels(process(sig.Steady), l, r, mid, side, m.Finite);
  m.RmsDb = RmsDbOf(l, r);
  m.PeakDb = PeakDbOf(l, r);
  m.Left = Spectrum(l);
  m.Right = Spectrum(r);
  m.Mid = Spectrum(mid);
  m.Side = Spectrum(side);

  Channels(process(sig.Drums), l, r, mid, side, m.Finite);
  m.SpreadDb = Spread(mid);
  m.LowSpreadDb = Spread(Low(mid, kLowEdge));
  m.MidSpreadDb = Spread(Low(High(mid, kLowEdge), kHighEdge));
  m.HighSpreadDb = Spread(High(mid, kHighEdge));
  m.DrumRmsDb = RmsDbOf(l, r);
  m.DrumPeakDb = PeakDbOf(l, r);
  m.CrestDb = m.DrumPeakDb - m.DrumRmsDb;
  m.HitContrastDb = HitContrast(mid, kSkip);

  Channels(process(sig.Swell), l, r, mid, side, m.Finite);
  std::vector<double> st = ShortTermDb(mid, 2205);
  m.SwellDb = Percentile(st, 0.95) - Percentile(st, 0.05);

  Channels(process(sig.Quiet), l, r, mid, side, m.Finite, kSkip / 2);
  m.QuietPeakDb = PeakDbOf(l, r);

  Channels(process(sig.Demo), l, r, mid, side, m.Finite);
  m.DemoCrestDb = PeakDbOf(l, r) - RmsDbOf(l, r);
  return m;
}

// One instance per program; each signal starts from cleared states.
inline Measures Measure(int program) {
  platform::testing::TestRegistry reg;
  platform::testing::RecordingMessageBox boxes;
  Instance fx(program);
  Measures m = Analyse([&](const Stereo& in) {
    fx.Restart();
    return fx.Render(in);
  });
  m.MessageBoxes = static_cast<int>(boxes.Boxes().size());
  return m;
}

// The test signals themselves, measured the same way.
inline const Measures& MeasuredInput() {
  static const Measures m = Analyse([](const Stereo& in) { return in; });
  return m;
}

// Each program is rendered once per test binary.
inline const Measures& Measured(const std::string& name) {
  static std::map<std::string, Measures> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, Measure(ProgramIndex(name))).first;
  return it->second;
}

}  // namespace programs
