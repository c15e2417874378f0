#pragma once
// The per-band sample loops of the engine: the two-step band filter, the
// detector smoother and the eight gain computers (plain/squared x
// metering/non-metering x single/linked, plus a two-channel pair form of the
// single one). Plain functions over (state, signals, count) so they can be
// checked one by one; each keeps its state in locals inside the loop and
// writes it back once.
//
// Audio thread only; no allocation, no locks.

#include <cmath>

// One channel of a band: 19 doubles in this order.
struct TBandChannelState {
  double B0;           // band-pass input coefficient
  double K1;           // 2 cos w / (1 + alpha)
  double K2;           // (1 - alpha) / (1 + alpha)
  double S1, S2;       // filter state
  double Gain;         // smoothed gain, 1 after reset
  double Ratio;        // level ratio above threshold
  double AttackCoef;   // 1 - 0.01^(1 / (fs * t_attack))
  double ReleaseCoef;  // 1 - 0.01^(1 / (fs * t_release))
  double RiseCoef;     // used while the target is >= Gain
  double FallCoef;     // used while the target is < Gain
  double DetState;     // detector smoother state
  double DetCoef;      // 1 - 0.01^(2 * Centre / fs)
  double DetEnergy;    // sum of squared detector samples since the last snapshot
  double GainEnergy;   // sum of squared applied gains since the last snapshot
  double Dry;          // applied gain g = Gain * Wet + Dry
  double Wet;
  double OutFactor;  // output factor applied with the gain
  double Thresh;     // effective threshold
};

inline void ResetChannelState(TBandChannelState& s) {
  s.S1 = s.S2 = 0.0;
  s.DetState = 0.0;
  s.DetEnergy = 0.0;
  s.GainEnergy = 0.0;
  s.Gain = 1.0;
}

// States below this are flushed to zero between blocks: far under any audible
// level (-600 dB), far above the denormal range the decaying recursions would
// otherwise reach on silence.
constexpr double kStateFlushLevel = 1e-30;

inline void FlushChannelState(TBandChannelState& s) {
  if (std::fabs(s.S1) < kStateFlushLevel && std::fabs(s.S2) < kStateFlushLevel) s.S1 = s.S2 = 0.0;
  if (std::fabs(s.DetState) < kStateFlushLevel) s.DetState = 0.0;
}

// Band filter: a transposed direct form II band-pass (zeros at DC and
// Nyquist) run twice per input sample, the second input zero, the two outputs
// added. Up to eight independent recursions (channels of several bands) run
// side by side so their latency chains overlap; each lane's result is the
// same as running it alone.
constexpr int kMaxFilterLanes = 8;
struct TFilterLanes {
  TBandChannelState* State[kMaxFilterLanes];
  double B0[kMaxFilterLanes];  // may differ from the state's (band gain folded in)
  const double* In[kMaxFilterLanes];
  double* Out[kMaxFilterLanes];
};

template <int K>
inline void BandFilterRunLanes(TFilterLanes& l, int n) {
  double b0[K], k1[K], k2[K], s1[K], s2[K];
  for (int c = 0; c < K; ++c) {
    b0[c] = l.B0[c];
    k1[c] = l.State[c]->K1;
    k2[c] = l.State[c]->K2;
    s1[c] = l.State[c]->S1;
    s2[c] = l.State[c]->S2;
  }
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < K; ++c) {
      const double x = b0[c] * l.In[c][i];
      const double y1 = x + s1[c];
      const double t1 = k1[c] * y1 + s2[c];
      const double t2 = -x - k2[c] * y1;
      s1[c] = k1[c] * t1 + t2;
      s2[c] = -(k2[c] * t1);
      l.Out[c][i] = y1 + t1;
    }
  }
  for (int c = 0; c < K; ++c) {
    l.State[c]->S1 = s1[c];
    l.State[c]->S2 = s2[c];
  }
}

inline void BandFilterRunLanes(TFilterLanes& l, int lanes, int n) {
  switch (lanes) {
    case 1: BandFilterRunLanes<1>(l, n); break;
    case 2: BandFilterRunLanes<2>(l, n); break;
    case 3: BandFilterRunLanes<3>(l, n); break;
    case 4: BandFilterRunLanes<4>(l, n); break;
    case 5: BandFilterRunLanes<5>(l, n); break;
    case 6: BandFilterRunLanes<6>(l, n); break;
    case 7: BandFilterRunLanes<7>(l, n); break;
    case 8: BandFilterRunLanes<8>(l, n); break;
    default: break;
  }
}

// Detector smoothing ("Env"), in place: y := DetState + (d - DetState) * DetCoef,
// a one-pole follower that closes 99 % of a step in half a period of the
// band's centre (the ripple period of the rectified band signal).
inline void SmoothDetector(TBandChannelState& s, double* d, int n) {
  const double coef = s.DetCoef;
  double state = s.DetState;
  for (int i = 0; i < n; ++i) {
    const double v = d[i];
    state = state + (v - state) * coef;
    d[i] = state;
  }
  s.DetState = state;
}

inline double SumOfSquares(const double* d, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += d[i] * d[i];
  return sum;
}

// Detector reciprocal for the inverted mode, floored at 1e-15.
inline void ReciprocalDetector(double* d, int n) {
  for (int i = 0; i < n; ++i) d[i] = 1.0 / (d[i] > 1e-15 ? d[i] : 1e-15);
}

// The static law: target gain (Thresh + (d - Thresh) * Ratio) / d above the
// threshold (strictly), 1 at or below it; squared in the squared variants.
// Computed on both sides and then selected, so the per-sample loop has no
// data-dependent branch (a zero detector gives a discarded 0/0).
template <bool Squared>
inline double TargetGain(double d, double thresh, double ratio) {
  double g = (thresh + (d - thresh) * ratio) / d;
  if constexpr (Squared) g = g * g;
  return d > thresh ? g : 1.0;
}

// One gain step of state s for detector value d; returns the factor to apply.
template <bool Squared, bool Metering>
struct TGainStep {
  double thresh, ratio, rise, fall, wet, dry, outFactor, gain, energy;
  explicit TGainStep(const TBandChannelState& s)
      : thresh(s.Thresh),
        ratio(s.Ratio),
        rise(s.RiseCoef),
        fall(s.FallCoef),
        wet(s.Wet),
        dry(s.Dry),
        outFactor(s.OutFactor),
        gain(s.Gain),
        energy(s.GainEnergy) {}
  double operator()(double d) {
    const double target = TargetGain<Squared>(d, thresh, ratio);
    gain = gain + (target - gain) * (target >= gain ? rise : fall);
    const double g = gain * wet + dry;
    if constexpr (Metering) {
      energy += g * g;
      return g * outFactor;
    } else {
      return g;
    }
  }
  void store(TBandChannelState& s) const {
    s.Gain = gain;
    if constexpr (Metering) s.GainEnergy = energy;
  }
};

using TGainSingleProc = void (*)(TBandChannelState& s, double* x, const double* d, int n);
using TGainLinkedProc = void (*)(TBandChannelState& s, double* x0, const double* d, double* x1, int n);
using TGainPairProc = void (*)(TBandChannelState& a, double* x0, const double* d0, TBandChannelState& b, double* x1,
                               const double* d1, int n);

template <bool Squared, bool Metering>
void GainSingle(TBandChannelState& s, double* x, const double* d, int n) {
  TGainStep<Squared, Metering> step(s);
  for (int i = 0; i < n; ++i) x[i] = x[i] * step(d[i]);
  step.store(s);
}

template <bool Squared, bool Metering>
void GainLinked(TBandChannelState& s, double* x0, const double* d, double* x1, int n) {
  TGainStep<Squared, Metering> step(s);
  for (int i = 0; i < n; ++i) {
    const double f = step(d[i]);
    x0[i] = x0[i] * f;
    x1[i] = x1[i] * f;
  }
  step.store(s);
}

// GainSingle on two channels at once (same result as two separate calls).
template <bool Squared, bool Metering>
void GainPair(TBandChannelState& a, double* x0, const double* d0, TBandChannelState& b, double* x1, const double* d1,
              int n) {
  TGainStep<Squared, Metering> stepA(a), stepB(b);
  for (int i = 0; i < n; ++i) {
    const double fa = stepA(d0[i]);
    const double fb = stepB(d1[i]);
    x0[i] = x0[i] * fa;
    x1[i] = x1[i] * fb;
  }
  stepA.store(a);
  stepB.store(b);
}
