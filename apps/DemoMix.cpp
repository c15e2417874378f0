#include "apps/DemoMix.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace demo {

TDemoMix MakeDemoMix(double seconds, int rate) {
  constexpr double kPi = std::numbers::pi;
  const size_t n = seconds > 0 ? static_cast<size_t>(seconds * rate) : 0;
  TDemoMix mix;
  mix.L.resize(n);
  mix.R.resize(n);
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
    mix.L[i] = static_cast<float>(kick + bass + hat + 0.05 * swell * padL + air);
    mix.R[i] = static_cast<float>(kick + bass + hat * 0.8 + 0.05 * swell * padR - air);
  }
  return mix;
}

}  // namespace demo
