// talvern-demo: the demo's signal generator and before/after analysis.
//
//   talvern-demo --make FILE [SECONDS]   write a stereo 44.1 kHz demo mix (float WAV)
//   talvern-demo --compare IN OUT        print what processing changed
//
// The demo mix itself is made by apps/DemoMix.cpp.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "apps/DemoMix.h"

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
  const demo::TDemoMix mix = demo::MakeDemoMix(seconds, rate);
  const size_t n = mix.L.size();
  std::vector<float> inter(n * 2);
  for (size_t i = 0; i < n; ++i) {
    inter[2 * i] = mix.L[i];
    inter[2 * i + 1] = mix.R[i];
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
