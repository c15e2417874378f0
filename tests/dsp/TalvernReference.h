#pragma once
// Independent reference for the engine tests: band coefficients from the
// design formulas, the band response from the polyphase form of the filter
// run at twice the rate, and a time-domain run written as a direct-form
// difference equation on the zero-stuffed input.
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace ref {

constexpr double kPi = std::numbers::pi;

struct TBand {
  double fc, b0, k1, k2;
};

inline double centre(int i) { return static_cast<float>(25.0 * std::pow(800.0, i / 31.0)); }

inline TBand design(int i, double fs) {
  TBand b;
  b.fc = centre(i);
  const double bw = static_cast<float>(1.5 * std::log2(800.0) / 31.0);
  const double w = kPi * b.fc / fs;  // at twice the sample rate
  const double alpha = std::sin(w) * std::sinh(std::log(2.0) / 2.0 * bw * w / std::sin(w));
  b.b0 = alpha / (1.0 + alpha) * 0.44514346292011275;
  b.k1 = 2.0 * std::cos(w) / (1.0 + alpha);
  b.k2 = (1.0 - alpha) / (1.0 + alpha);
  return b;
}

inline bool enabled(int i, double fs) { return centre(i) < 0.495 * fs; }

// H(z) = b0 (1 - z^-2) / (1 - k1 z^-1 + k2 z^-2) at twice the rate; the input is
// zero-stuffed and pairs of outputs are added, so the response at w (per input
// sample) is 1/2 [H(z)(1 + z) + H(-z)(1 - z)] with z = e^(jw/2).
inline std::complex<double> response(const TBand& b, double f, double fs) {
  const std::complex<double> z = std::polar(1.0, kPi * f / fs);
  auto h = [&](std::complex<double> zz) {
    const std::complex<double> zi = 1.0 / zz;
    return b.b0 * (1.0 - zi * zi) / (1.0 - b.k1 * zi + b.k2 * zi * zi);
  };
  return 0.5 * (h(z) * (1.0 + z) + h(-z) * (1.0 - z));
}

// y(k) = b0 u(k) - b0 u(k-2) + k1 y(k-1) - k2 y(k-2) on u = x0, 0, x1, 0, ...
inline std::vector<double> run(const TBand& b, const std::vector<double>& x) {
  std::vector<double> out(x.size());
  double u1 = 0, u2 = 0, y1 = 0, y2 = 0;
  for (size_t m = 0; m < x.size(); ++m) {
    double sum = 0;
    for (int phase = 0; phase < 2; ++phase) {
      const double u = phase == 0 ? x[m] : 0.0;
      const double y = b.b0 * u - b.b0 * u2 + b.k1 * y1 - b.k2 * y2;
      u2 = u1;
      u1 = u;
      y2 = y1;
      y1 = y;
      sum += y;
    }
    out[m] = sum;
  }
  return out;
}

// Complex amplitude of the sine at f in x[from..] by least squares.
inline std::complex<double> fitSine(const std::vector<double>& x, size_t from, double f, double fs) {
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t i = from; i < x.size(); ++i) {
    const double s = std::sin(2 * kPi * f * double(i) / fs), c = std::cos(2 * kPi * f * double(i) / fs);
    ss += s * s;
    cc += c * c;
    sc += s * c;
    ys += x[i] * s;
    yc += x[i] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, bb = (yc * ss - ys * sc) / det;
  // x = a sin + b cos = Im((a + j b) e^(j w n))
  return {a, bb};
}

}  // namespace ref
