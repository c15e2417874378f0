#pragma once
// Loads the built plug-in once per test binary and hands out instances, each
// with its own recording host.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "hostkit/Host.h"
#include "hostkit/PluginLibrary.h"

namespace e2e {

// The plug-in's message-box log (emptied before each test) and what it holds.
const char* MessageLogPath();
std::string MessageLog();

inline hostkit::PluginLibrary& Library() {
  static hostkit::PluginLibrary lib;
  if (!lib.Loaded()) {
    std::string path = hostkit::DefaultPluginPath();
    if (!lib.Load(path)) {
      std::fprintf(stderr, "%s\n", lib.Error().c_str());
      std::abort();
    }
  }
  return lib;
}

inline std::unique_ptr<hostkit::Host> NewInstance(float rate = 44100.0f, int block = 512) {
  auto h = std::make_unique<hostkit::Host>();
  if (!h->Instantiate(Library().Entry())) return nullptr;
  h->Start(rate, block);
  return h;
}

// A deterministic stereo test signal: pink-ish noise plus a few tones with a
// slow level swell, so dynamics stages have something to do.
inline void TestSignal(std::vector<float>& left, std::vector<float>& right, size_t frames, double rate = 44100.0) {
  left.resize(frames);
  right.resize(frames);
  uint32_t s = 12345;
  double b0 = 0, b1 = 0, b2 = 0, c0 = 0, c1 = 0, c2 = 0;
  const double pi = std::numbers::pi;
  for (size_t i = 0; i < frames; ++i) {
    auto white = [&] {
      s = s * 1664525u + 1013904223u;
      return (static_cast<double>(s >> 8) / 8388608.0) - 1.0;
    };
    double w = white(), v = white();
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    c0 = 0.99765 * c0 + v * 0.0990460;
    c1 = 0.96300 * c1 + v * 0.2965164;
    c2 = 0.57000 * c2 + v * 1.0526913;
    double t = static_cast<double>(i) / rate;
    double swell = 0.5 + 0.5 * std::sin(2 * pi * 1.3 * t);
    double tones = 0.2 * std::sin(2 * pi * 110 * t) + 0.1 * std::sin(2 * pi * 2500 * t);
    left[i] = static_cast<float>(0.05 * (b0 + b1 + b2 + w * 0.1848) + swell * tones);
    right[i] = static_cast<float>(0.05 * (c0 + c1 + c2 + v * 0.1848) + swell * tones * 0.8);
  }
}

// Runs the whole signal through an instance in blocks of `block` samples.
inline void Render(hostkit::Host& h, const std::vector<float>& inL, const std::vector<float>& inR,
                   std::vector<float>& outL, std::vector<float>& outR, size_t block, bool mono = false) {
  outL.assign(inL.size(), 0.0f);
  outR.assign(inL.size(), 0.0f);
  for (size_t pos = 0; pos < inL.size(); pos += block) {
    size_t n = std::min(block, inL.size() - pos);
    float* in[2] = {const_cast<float*>(inL.data() + pos), const_cast<float*>((mono ? inL : inR).data() + pos)};
    float* out[2] = {outL.data() + pos, outR.data() + pos};
    h.ProcessReplacing(in, out, static_cast<VstInt32>(n));
  }
}

inline double MaxDiff(const std::vector<float>& a, const std::vector<float>& b, size_t from = 0) {
  double m = 0;
  for (size_t i = from; i < a.size() && i < b.size(); ++i) m = std::max(m, std::fabs(double(a[i]) - double(b[i])));
  return m;
}

// The largest distance in single-precision steps: differences of the order of
// the denormal noise (about 1e-14) may flip the last bit of a stored single.
inline int MaxUlpDiff(const std::vector<float>& a, const std::vector<float>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    float x = a[i];
    int steps = 0;
    while (x != b[i] && steps < 1000) {
      x = std::nextafter(x, b[i]);
      ++steps;
    }
    worst = std::max(worst, steps);
  }
  return worst;
}

inline double Rms(const std::vector<float>& a, size_t from = 0) {
  double s = 0;
  for (size_t i = from; i < a.size(); ++i) s += double(a[i]) * double(a[i]);
  return std::sqrt(s / std::max<size_t>(1, a.size() - from));
}

}  // namespace e2e
