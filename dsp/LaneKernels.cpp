#include "dsp/LaneKernels.h"

// On x86-64 Linux each kernel is built for AVX-512, AVX2 and the SSE2
// baseline, and the loader picks one per process from the CPU. The
// arithmetic is the same in every version: contraction into fused
// multiply-adds is off for the whole build.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KES_LANE_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KES_LANE_CLONES
#endif
#if defined(__GNUC__) || defined(__clang__)
#define KES_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define KES_ALWAYS_INLINE inline
#endif

// The lane values never cross a call boundary that is not inlined, so the
// note that their passing convention differs between instruction sets does
// not apply here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

constexpr int L = kLaneCount;

// src[c][i] -> dst[i * L + c]; lanes past count read as 0.
void gather(const double* const* src, int count, int n, double* dst) {
  for (int c = 0; c < L; ++c) {
    if (c < count) {
      const double* s = src[c];
      for (int i = 0; i < n; ++i) dst[i * L + c] = s[i];
    } else {
      for (int i = 0; i < n; ++i) dst[i * L + c] = 0.0;
    }
  }
}

void scatter(const double* src, int count, int n, double* const* dst) {
  for (int c = 0; c < count; ++c) {
    double* d = dst[c];
    for (int i = 0; i < n; ++i) d[i] = src[i * L + c];
  }
}

// Eight lanes as one value: the compiler maps it onto one AVX-512 register,
// two AVX2 or four SSE2 registers; every operation is element-wise IEEE
// arithmetic, the same in each lane as the scalar code.
using TLanes = double __attribute__((vector_size(L * sizeof(double))));

KES_ALWAYS_INLINE TLanes load(const double* p) {
  TLanes v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
KES_ALWAYS_INLINE void store(double* p, TLanes v) { __builtin_memcpy(p, &v, sizeof v); }
KES_ALWAYS_INLINE TLanes splat(double x) {
  TLanes v;
  for (int c = 0; c < L; ++c) v[c] = x;
  return v;
}

struct TFilterLaneState {
  double B0[L], K1[L], K2[L], S1[L], S2[L];
};

KES_ALWAYS_INLINE void filterCore(TFilterLaneState& st, const double* in, double* out, int n) {
  const TLanes b0 = load(st.B0), k1 = load(st.K1), k2 = load(st.K2);
  TLanes s1 = load(st.S1), s2 = load(st.S2);
  for (int i = 0; i < n; ++i) {
    const TLanes x = b0 * load(in + i * L);
    const TLanes y1 = x + s1;
    const TLanes t1 = k1 * y1 + s2;
    const TLanes t2 = -x - k2 * y1;
    s1 = k1 * t1 + t2;
    s2 = -(k2 * t1);
    store(out + i * L, y1 + t1);
  }
  store(st.S1, s1);
  store(st.S2, s2);
}

KES_LANE_CLONES void filterKernel(TFilterLaneState& st, const double* in, double* out, int n) {
  filterCore(st, in, out, n);
}

KES_ALWAYS_INLINE void smoothCore(double* state, const double* coef, double* d, int n) {
  TLanes s = load(state);
  const TLanes k = load(coef);
  for (int i = 0; i < n; ++i) {
    s = s + (load(d + i * L) - s) * k;
    store(d + i * L, s);
  }
  store(state, s);
}

KES_LANE_CLONES void smoothKernel(double* state, const double* coef, double* d, int n) {
  smoothCore(state, coef, d, n);
}

struct TGainLaneState {
  double Thresh[L], Ratio[L], Rise[L], Fall[L], Wet[L], Dry[L], OutFactor[L], Gain[L], Energy[L];
};

// The static law and the gain smoother of TGainStep, per lane; fT receives
// the factor each sample of the lane is multiplied by.
template <bool Squared, bool Metering>
KES_ALWAYS_INLINE void gainCore(TGainLaneState& st, const double* dT, double* fT, int n) {
  const TLanes thresh = load(st.Thresh), ratio = load(st.Ratio), rise = load(st.Rise), fall = load(st.Fall),
               wet = load(st.Wet), dry = load(st.Dry), outFactor = load(st.OutFactor);
  const TLanes one = splat(1.0);
  TLanes gain = load(st.Gain), energy = load(st.Energy);
  for (int i = 0; i < n; ++i) {
    const TLanes d = load(dT + i * L);
    TLanes g = (thresh + (d - thresh) * ratio) / d;
    if constexpr (Squared) g = g * g;
    const TLanes target = d > thresh ? g : one;
    gain = gain + (target - gain) * (target >= gain ? rise : fall);
    TLanes f = gain * wet + dry;
    if constexpr (Metering) {
      energy += f * f;
      f = f * outFactor;
    }
    store(fT + i * L, f);
  }
  store(st.Gain, gain);
  store(st.Energy, energy);
}

KES_LANE_CLONES void gainKernelPlain(TGainLaneState& st, const double* dT, double* fT, int n) {
  gainCore<false, false>(st, dT, fT, n);
}
KES_LANE_CLONES void gainKernelPlainMetering(TGainLaneState& st, const double* dT, double* fT, int n) {
  gainCore<false, true>(st, dT, fT, n);
}
KES_LANE_CLONES void gainKernelSquared(TGainLaneState& st, const double* dT, double* fT, int n) {
  gainCore<true, false>(st, dT, fT, n);
}
KES_LANE_CLONES void gainKernelSquaredMetering(TGainLaneState& st, const double* dT, double* fT, int n) {
  gainCore<true, true>(st, dT, fT, n);
}

using TLaneMask = long long __attribute__((vector_size(L * sizeof(long long))));

// Lane c takes lane c ^ 1: each channel meets the other channel of its band.
KES_ALWAYS_INLINE TLanes swapPairs(TLanes v) {
#if defined(__clang__)
  return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
#else
  return __builtin_shuffle(v, TLaneMask{1, 0, 3, 2, 5, 4, 7, 6});
#endif
}

// The magnitude as fabs has it: the sign bit cleared (so -0 gives +0).
KES_ALWAYS_INLINE TLanes absLanes(TLanes v) {
  TLaneMask bits;
  __builtin_memcpy(&bits, &v, sizeof bits);
  bits &= 0x7FFFFFFFFFFFFFFFLL;
  __builtin_memcpy(&v, &bits, sizeof v);
  return v;
}

struct TDynamicsLaneState {
  // Detector smoothing, each channel's own.
  double DetState[L], DetCoef[L];
  // The gain computer's parameters and state: a linked pair's second lane
  // runs on copies of the first lane's.
  double Thresh[L], Ratio[L], Rise[L], Fall[L], Wet[L], Dry[L], OutFactor[L], Gain[L], Energy[L];
  // Link weight and the rest (1 - weight); linked pairs as a mask.
  double Link[L], Rest[L];
  long long Linked[L], Even[L];
  double DetEnergy[L];
};

KES_LANE_CLONES void dynamicsKernel(TDynamicsLaneState& st, double* xT, double* dT, int n, TDynamicsFlags f) {
  // Detector: the magnitude of the band signal.
  for (int i = 0; i < n; ++i) store(dT + i * L, absLanes(load(xT + i * L)));
  if (f.Env) smoothCore(st.DetState, st.DetCoef, dT, n);
  if (f.Stereo) {
    TLaneMask linked, even;
    __builtin_memcpy(&linked, st.Linked, sizeof linked);
    __builtin_memcpy(&even, st.Even, sizeof even);
    const TLanes l = load(st.Link), rest = load(st.Rest);
    for (int i = 0; i < n; ++i) {
      const TLanes v = load(dT + i * L), other = swapPairs(v);
      const TLanes first = even ? v : other, second = even ? other : v;
      // Unlinked: each channel heeds the louder of the two by the link weight.
      const TLanes m = first > second ? first : second;
      const TLanes mixed = l * m + rest * v;
      // Linked: the first channel's detector holds the second's peak, and
      // both lanes run the first channel's gain computer on it.
      const TLanes held = second > first ? second : first;
      store(dT + i * L, linked ? held : mixed);
    }
  }
  if (f.Metering) {
    TLanes sum = splat(0.0);
    for (int i = 0; i < n; ++i) {
      const TLanes d = load(dT + i * L);
      sum += d * d;
    }
    store(st.DetEnergy, load(st.DetEnergy) + sum);
  }
  if (f.Inverted) {
    const TLanes floor = splat(1e-15);
    for (int i = 0; i < n; ++i) {
      const TLanes d = load(dT + i * L);
      store(dT + i * L, 1.0 / (d > 1e-15 ? d : floor));
    }
  }
  TGainLaneState g;
  for (int c = 0; c < L; ++c) {
    g.Thresh[c] = st.Thresh[c];
    g.Ratio[c] = st.Ratio[c];
    g.Rise[c] = st.Rise[c];
    g.Fall[c] = st.Fall[c];
    g.Wet[c] = st.Wet[c];
    g.Dry[c] = st.Dry[c];
    g.OutFactor[c] = st.OutFactor[c];
    g.Gain[c] = st.Gain[c];
    g.Energy[c] = st.Energy[c];
  }
  if (f.Squared)
    f.Metering ? gainCore<true, true>(g, dT, dT, n) : gainCore<true, false>(g, dT, dT, n);
  else
    f.Metering ? gainCore<false, true>(g, dT, dT, n) : gainCore<false, false>(g, dT, dT, n);
  for (int c = 0; c < L; ++c) {
    st.Gain[c] = g.Gain[c];
    st.Energy[c] = g.Energy[c];
  }
  for (int i = 0; i < n; ++i) store(xT + i * L, load(xT + i * L) * load(dT + i * L));
}

}  // namespace

void RunBandFilterLanes(TFilterLanes& l, int count, int n, double* scratch) {
  TFilterLaneState st{};
  for (int c = 0; c < count; ++c) {
    st.B0[c] = l.B0[c];
    st.K1[c] = l.State[c]->K1;
    st.K2[c] = l.State[c]->K2;
    st.S1[c] = l.State[c]->S1;
    st.S2[c] = l.State[c]->S2;
  }
  double* in = scratch;
  double* out = scratch + L * 128;
  gather(l.In, count, n, in);
  filterKernel(st, in, out, n);
  scatter(out, count, n, l.Out);
  for (int c = 0; c < count; ++c) {
    l.State[c]->S1 = st.S1[c];
    l.State[c]->S2 = st.S2[c];
  }
}

void RunDetectorSmoothLanes(TBandChannelState* const* st, double* const* d, int count, int n, double* scratch) {
  double state[L] = {}, coef[L] = {};
  for (int c = 0; c < count; ++c) {
    state[c] = st[c]->DetState;
    coef[c] = st[c]->DetCoef;
  }
  gather(d, count, n, scratch);
  smoothKernel(state, coef, scratch, n);
  scatter(scratch, count, n, d);
  for (int c = 0; c < count; ++c) st[c]->DetState = state[c];
}

void RunGainLanes(const TGainLanes& l, int count, int n, bool squared, bool metering, bool linked, double* scratch) {
  TGainLaneState st{};
  for (int c = 0; c < count; ++c) {
    const TBandChannelState& s = *l.State[c];
    st.Thresh[c] = s.Thresh;
    st.Ratio[c] = s.Ratio;
    st.Rise[c] = s.RiseCoef;
    st.Fall[c] = s.FallCoef;
    st.Wet[c] = s.Wet;
    st.Dry[c] = s.Dry;
    st.OutFactor[c] = s.OutFactor;
    st.Gain[c] = s.Gain;
    st.Energy[c] = s.GainEnergy;
  }
  double* dT = scratch;
  double* fT = scratch + L * 128;
  gather(l.D, count, n, dT);
  if (squared)
    metering ? gainKernelSquaredMetering(st, dT, fT, n) : gainKernelSquared(st, dT, fT, n);
  else
    metering ? gainKernelPlainMetering(st, dT, fT, n) : gainKernelPlain(st, dT, fT, n);
  for (int c = 0; c < count; ++c) {
    double* x0 = l.X0[c];
    for (int i = 0; i < n; ++i) x0[i] = x0[i] * fT[i * L + c];
    if (linked) {
      double* x1 = l.X1[c];
      for (int i = 0; i < n; ++i) x1[i] = x1[i] * fT[i * L + c];
    }
    l.State[c]->Gain = st.Gain[c];
    if (metering) l.State[c]->GainEnergy = st.Energy[c];
  }
}

void RunDynamicsLanes(const TDynamicsLanes& l, int count, int n, const TDynamicsFlags& f, double* scratch) {
  TDynamicsLaneState st{};
  for (int c = 0; c < count; ++c) {
    const TBandChannelState& own = *l.Own[c];
    // In a linked pair the second lane computes with the first lane's state.
    const bool linkedSecond = f.Stereo && (c & 1) && l.Link[c] == 1.0f;
    const TBandChannelState& g = linkedSecond ? *l.Own[c - 1] : own;
    st.DetState[c] = own.DetState;
    st.DetCoef[c] = own.DetCoef;
    st.Thresh[c] = g.Thresh;
    st.Ratio[c] = g.Ratio;
    st.Rise[c] = g.RiseCoef;
    st.Fall[c] = g.FallCoef;
    st.Wet[c] = g.Wet;
    st.Dry[c] = g.Dry;
    st.OutFactor[c] = g.OutFactor;
    st.Gain[c] = g.Gain;
    st.Energy[c] = g.GainEnergy;
    st.Link[c] = l.Link[c];
    st.Rest[c] = 1.0 - static_cast<double>(l.Link[c]);
    st.Linked[c] = f.Stereo && l.Link[c] == 1.0f ? -1 : 0;
    st.Even[c] = (c & 1) == 0 ? -1 : 0;
  }
  double* xT = scratch;
  double* dT = scratch + L * 128;
  gather(l.X, count, n, xT);
  dynamicsKernel(st, xT, dT, n, f);
  scatter(xT, count, n, l.X);
  for (int c = 0; c < count; ++c) {
    TBandChannelState& own = *l.Own[c];
    const bool linked = f.Stereo && l.Link[c] == 1.0f;
    if (f.Env) own.DetState = st.DetState[c];
    if (linked && (c & 1)) continue;  // the pair's gain and energies are the first lane's
    own.Gain = st.Gain[c];
    if (f.Metering) {
      own.GainEnergy = st.Energy[c];
      own.DetEnergy += st.DetEnergy[c];
    }
  }
}
