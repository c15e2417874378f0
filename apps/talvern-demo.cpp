// talvern-demo: the demo's signal generator and before/after analysis.
//
//   talvern-demo --make FILE [SECONDS]   write a stereo 44.1 kHz demo mix (float WAV)
//   talvern-demo --compare IN OUT        print what processing changed
//
// The demo mix: a four-on-the-floor kick, a bass line, a hi-hat, a chord pad
// panned wide and a little noise, so level, dynamics, band balance and width
// all have something to show.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

bool ReadStereo(const char* path, std::vector<float>& l, std::vector<float>& r, int& rate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (!f) {
    std::fprintf(stderr, "talvern-demo: cannot read %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  if (info.channels < 1 || info.channels > 2 || info.frames <= 0) {
    std::fprintf(stderr, "talvern-demo: %s: need a mono or stereo file\n", path);
    sf_close(f);
    return false;
  }
  std::vector<float> inter(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  sf_count_t got = sf_readf_float(f, inter.data(), info.frames);
  sf_close(f);
  l.resize(static_cast<size_t>(got));
  r.resize(static_cast<size_t>(got));
  for (sf_count_t i = 0; i < got; ++i) {
    l[static_cast<size_t>(i)] = inter[static_cast<size_t>(i * info.channels)];
    r[static_cast<size_t>(i)] = inter[static_cast<size_t>(i * info.channels + info.channels - 1)];
  }
  rate = info.samplerate;
  return true;
}

int Make(const char* path, double seconds) {
  const int rate = 44100;
  const size_t n = static_cast<size_t>(seconds * rate);
  std::vector<float> inter(n * 2);
  uint32_t s = 2024;
  auto noise = [&] {
    s = s * 1664525u + 1013904223u;
    return static_cast<double>(static_cast<int32_t>(s)) / 2147483648.0;
  };
  const double bpm = 124, beat = 60.0 / bpm;
  const double bassNotes[4] = {55.0, 55.0, 65.41, 49.0};
  const double chords[4][3] = {
      {220.0, 261.63, 329.63}, {220.0, 261.63, 329.63}, {261.63, 329.63, 392.0}, {196.0, 246.94, 293.66}};
  double hatState = 0;
  for (size_t i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / rate;
    double inBeat = std::fmod(t, beat);
    int bar = static_cast<int>(t / (4 * beat)) % 4;
    // Kick: a falling sine with a fast decay on every beat.
    double kick = std::sin(2 * kPi * (45 + 120 * std::exp(-inBeat * 30)) * inBeat) * std::exp(-inBeat * 9) * 0.55;
    // Bass: eighth notes.
    double inEighth = std::fmod(t, beat / 2);
    double bass = std::sin(2 * kPi * bassNotes[bar] * t) * std::exp(-inEighth * 6) * 0.25;
    // Hi-hat: high-passed noise bursts on the off-beats.
    double w = noise();
    double hp = w - hatState;
    hatState = w;
    double offBeat = std::fmod(t + beat / 2, beat);
    double hat = hp * std::exp(-offBeat * 60) * 0.12;
    // Pad: three detuned voices per side, wide.
    double padL = 0, padR = 0;
    for (double f : chords[bar]) {
      padL += std::sin(2 * kPi * f * t) + 0.3 * std::sin(2 * kPi * 2 * f * 1.003 * t);
      padR += std::sin(2 * kPi * f * 1.004 * t + 0.7) + 0.3 * std::sin(2 * kPi * 2 * f * t);
    }
    double swell = 0.6 + 0.4 * std::sin(2 * kPi * t / (8 * beat));
    double air = noise() * 0.01;
    inter[2 * i] = static_cast<float>(kick + bass + hat + 0.05 * swell * padL + air);
    inter[2 * i + 1] = static_cast<float>(kick + bass + hat * 0.8 + 0.05 * swell * padR - air);
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "talvern-demo: cannot write %s: %s\n", path, sf_strerror(nullptr));
    return 1;
  }
  sf_writef_float(f, inter.data(), static_cast<sf_count_t>(n));
  sf_close(f);
  return 0;
}

// Second-order sections for the band split (bilinear Butterworth).
struct Biquad {
  double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
  double Run(double x) {
    double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

Biquad LowPass(double f, double fs) {
  double k = std::tan(kPi * f / fs), q = std::sqrt(0.5), norm = 1 / (1 + k / q + k * k);
  return {k * k * norm, 2 * k * k * norm, k * k * norm, 2 * (k * k - 1) * norm, (1 - k / q + k * k) * norm};
}

Biquad HighPass(double f, double fs) {
  double k = std::tan(kPi * f / fs), q = std::sqrt(0.5), norm = 1 / (1 + k / q + k * k);
  return {norm, -2 * norm, norm, 2 * (k * k - 1) * norm, (1 - k / q + k * k) * norm};
}

struct Measures {
  double rms, crest, low, mid, high, sideToMid;
};

double Db(double x) { return 20 * std::log10(std::max(x, 1e-12)); }

Measures Measure(const std::vector<float>& l, const std::vector<float>& r, int rate) {
  Biquad lowL = LowPass(200, rate), lowR = LowPass(200, rate);
  Biquad highL = HighPass(5000, rate), highR = HighPass(5000, rate);
  Biquad midHpL = HighPass(200, rate), midHpR = HighPass(200, rate), midLpL = LowPass(5000, rate),
         midLpR = LowPass(5000, rate);
  double sum = 0, sumLow = 0, sumBand = 0, sumHigh = 0, sumMid = 0, sumSide = 0, peak = 0;
  // Skip the first half second: filters and release times settle.
  const size_t from = std::min(l.size(), static_cast<size_t>(rate / 2));
  for (size_t i = 0; i < l.size(); ++i) {
    double a = l[i], b = r[i];
    double lo = lowL.Run(a) + lowR.Run(b), hi = highL.Run(a) + highR.Run(b);
    double md = midLpL.Run(midHpL.Run(a)) + midLpR.Run(midHpR.Run(b));
    if (i < from) continue;
    sumBand += md * md;
    sum += a * a + b * b;
    sumLow += lo * lo;
    sumHigh += hi * hi;
    double m = (a + b) / 2, s = (a - b) / 2;
    sumMid += m * m;
    sumSide += s * s;
    peak = std::max(peak, std::max(std::fabs(a), std::fabs(b)));
  }
  double count = static_cast<double>(l.size() - from);
  double rms = std::sqrt(sum / (2 * count));
  return {rms,
          peak / std::max(rms, 1e-12),
          std::sqrt(sumLow / count),
          std::sqrt(sumBand / count),
          std::sqrt(sumHigh / count),
          std::sqrt(sumSide / std::max(sumMid, 1e-24))};
}

int Compare(const char* before, const char* after) {
  std::vector<float> l0, r0, l1, r1;
  int rate0 = 0, rate1 = 0;
  if (!ReadStereo(before, l0, r0, rate0) || !ReadStereo(after, l1, r1, rate1)) return 1;
  Measures a = Measure(l0, r0, rate0), b = Measure(l1, r1, rate1);
  double level = Db(b.rms) - Db(a.rms);
  std::printf("level %+5.1f dB  crest %+5.1f dB  lows %+5.1f  mids %+5.1f  highs %+5.1f dB  width %+5.1f dB\n", level,
              Db(b.crest) - Db(a.crest), Db(b.low) - Db(a.low), Db(b.mid) - Db(a.mid), Db(b.high) - Db(a.high),
              Db(b.sideToMid) - Db(a.sideToMid));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--make") == 0) return Make(argv[2], argc > 3 ? std::atof(argv[3]) : 8.0);
  if (argc == 4 && std::strcmp(argv[1], "--compare") == 0) return Compare(argv[2], argv[3]);
  std::fprintf(stderr, "usage: talvern-demo --make FILE [SECONDS] | --compare IN OUT\n");
  return 2;
}
