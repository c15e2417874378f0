#include "dsp/LaneKernels.h"

#include "dsp/envelopes.h"

// On x86-64 Linux the kernel is built for AVX-512, AVX2 and the SSE2
// baseline, and the loader picks one per process from the CPU. The
// arithmetic is the same in every version: contraction into fused
// multiply-adds is off for the whole build.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KES_LANE_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KES_LANE_CLONES
#endif
#define KES_ALWAYS_INLINE inline __attribute__((always_inline))

// The lane values never cross a call boundary that is not inlined, so the
// note that their passing convention differs between instruction sets does
// not apply here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

constexpr int L = kLaneCount;

// Eight lanes as one value: one AVX-512 register, two AVX2 or four SSE2
// registers; every operation is element-wise IEEE arithmetic.
using TLanes = double __attribute__((vector_size(L * sizeof(double))));
using TMask = long long __attribute__((vector_size(L * sizeof(long long))));

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
KES_ALWAYS_INLINE TMask loadMask(const long long* p) {
  TMask m;
  __builtin_memcpy(&m, p, sizeof m);
  return m;
}

// Lane c takes lane c ^ 1: each channel meets the other channel of its band.
KES_ALWAYS_INLINE TLanes swapPairs(TLanes v) {
#if defined(__clang__)
  return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
#else
  return __builtin_shuffle(v, TMask{1, 0, 3, 2, 5, 4, 7, 6});
#endif
}

// The magnitude as fabs has it: the sign bit cleared (so -0 gives +0).
KES_ALWAYS_INLINE TLanes absLanes(TLanes v) {
  TMask bits;
  __builtin_memcpy(&bits, &v, sizeof bits);
  bits &= 0x7FFFFFFFFFFFFFFFLL;
  __builtin_memcpy(&v, &bits, sizeof v);
  return v;
}

struct TLaneState {
  // Band filter.
  double B0[L], K1[L], K2[L], S1[L], S2[L];
  // Detector smoothing ("Env").
  double DetState[L], DetCoef[L];
  // Gain computer (a linked pair's or an M/S pair's second lane runs on a
  // copy of the first lane's).
  double Thresh[L], Ratio[L], Rise[L], Fall[L], Wet[L], Dry[L], OutFactor[L], Gain[L], Energy[L];
  double DetEnergy[L];
  // Link weight and 1 - weight; linked pairs, first lanes and (M/S) the
  // lane the dynamics act on, as masks.
  double Link[L], Rest[L];
  long long Linked[L], Even[L], Chosen[L];
  // Stages.
  double OutGain[L], WidthMul[L], WidthGain[L], Pan[L], PanOutGain[L];
};

// The first and the second channel of each lane's pair.
KES_ALWAYS_INLINE void pairOf(TLanes v, TMask even, TLanes& first, TLanes& second) {
  const TLanes other = swapPairs(v);
  first = even ? v : other;
  second = even ? other : v;
}

// L/R to M/S on each pair: d = (r - l) * -0.5; left := r + d, right := d.
KES_ALWAYS_INLINE TLanes lrToMs(TLanes v, TMask even) {
  TLanes l, r;
  pairOf(v, even, l, r);
  const TLanes d = (r - l) * -0.5;
  return even ? r + d : d;
}
// M/S to L/R: d = (s - m) * -0.5; left := 2 (s + d), right := 2 d.
KES_ALWAYS_INLINE TLanes msToLr(TLanes v, TMask even) {
  TLanes m, s;
  pairOf(v, even, m, s);
  const TLanes d = (s - m) * -0.5;
  return even ? 2.0 * (s + d) : 2.0 * d;
}
// L/R to M/S with a gain: left := g (r + d), right := g d.
KES_ALWAYS_INLINE TLanes lrToMsGain(TLanes v, TMask even, TLanes g) {
  TLanes l, r;
  pairOf(v, even, l, r);
  const TLanes d = (r - l) * -0.5;
  return even ? g * (r + d) : g * d;
}

KES_ALWAYS_INLINE void scaleAll(double* xT, int n, TLanes f) {
  for (int i = 0; i < n; ++i) store(xT + i * L, load(xT + i * L) * f);
}

// The static law and the gain smoother, per lane; dT holds the detector and
// receives the factor each sample is multiplied by.
template <bool Squared, bool Metering>
KES_ALWAYS_INLINE void gainCore(TLaneState& st, double* dT, int n) {
  const TLanes thresh = load(st.Thresh), ratio = load(st.Ratio), rise = load(st.Rise), fall = load(st.Fall),
               wet = load(st.Wet), dry = load(st.Dry), outFactor = load(st.OutFactor), one = splat(1.0);
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
    store(dT + i * L, f);
  }
  store(st.Gain, gain);
  store(st.Energy, energy);
}

KES_ALWAYS_INLINE void dynamics(TLaneState& st, double* xT, double* dT, int n, const TBandPipeline& p, bool gainNext) {
  const TMask even = loadMask(st.Even);
  // Detector: the magnitude of the band signal (in M/S, of the mid or side
  // signal, on both lanes of the pair).
  if (p.MidSide) {
    for (int i = 0; i < n; ++i) {
      const TLanes ms = lrToMs(load(xT + i * L), even);
      store(xT + i * L, ms);
      TLanes m, s;
      pairOf(ms, even, m, s);
      store(dT + i * L, absLanes(p.MSMode == 1 ? m : s));
    }
  } else {
    for (int i = 0; i < n; ++i) store(dT + i * L, absLanes(load(xT + i * L)));
  }
  if (p.Env) {
    TLanes s = load(st.DetState);
    const TLanes k = load(st.DetCoef);
    for (int i = 0; i < n; ++i) {
      s = s + (load(dT + i * L) - s) * k;
      store(dT + i * L, s);
    }
    store(st.DetState, s);
  }
  if (p.Stereo && !p.MidSide) {
    const TMask linked = loadMask(st.Linked);
    const TLanes l = load(st.Link), rest = load(st.Rest);
    for (int i = 0; i < n; ++i) {
      const TLanes v = load(dT + i * L);
      TLanes first, second;
      pairOf(v, even, first, second);
      // Unlinked: each channel heeds the louder of the two by the link weight.
      const TLanes m = first > second ? first : second;
      const TLanes mixed = l * m + rest * v;
      // Linked: the first channel's detector holds the second's peak, and
      // both lanes run the first channel's gain computer on it.
      const TLanes held = second > first ? second : first;
      store(dT + i * L, linked ? held : mixed);
    }
  }
  if (p.Metering) {
    TLanes sum = splat(0.0);
    for (int i = 0; i < n; ++i) {
      const TLanes d = load(dT + i * L);
      sum += d * d;
    }
    store(st.DetEnergy, sum);
  }
  if (p.Inverted) {
    const TLanes floor = splat(1e-15);
    for (int i = 0; i < n; ++i) {
      const TLanes d = load(dT + i * L);
      store(dT + i * L, 1.0 / (d > 1e-15 ? d : floor));
    }
  }
  if (p.Squared)
    p.Metering ? gainCore<true, true>(st, dT, n) : gainCore<true, false>(st, dT, n);
  else
    p.Metering ? gainCore<false, true>(st, dT, n) : gainCore<false, false>(st, dT, n);
  if (p.MidSide) {
    // The gain on the mid or side signal only, then back to L/R.
    const TMask chosen = loadMask(st.Chosen);
    for (int i = 0; i < n; ++i) {
      const TLanes x = load(xT + i * L);
      store(xT + i * L, msToLr(chosen ? x * load(dT + i * L) : x, even));
    }
    if (gainNext) scaleAll(xT, n, load(st.OutGain));
  } else {
    for (int i = 0; i < n; ++i) store(xT + i * L, load(xT + i * L) * load(dT + i * L));
  }
}

KES_LANE_CLONES void bandKernel(TLaneState& st, const double* inT, double* xT, double* dT, int n,
                                const TBandPipeline& p) {
  {
    const TLanes b0 = load(st.B0), k1 = load(st.K1), k2 = load(st.K2);
    TLanes s1 = load(st.S1), s2 = load(st.S2);
    for (int i = 0; i < n; ++i) {
      const TLanes x = b0 * load(inT + i * L);
      const TLanes y1 = x + s1;
      const TLanes t1 = k1 * y1 + s2;
      const TLanes t2 = -x - k2 * y1;
      s1 = k1 * t1 + t2;
      s2 = -(k2 * t1);
      store(xT + i * L, y1 + t1);
    }
    store(st.S1, s1);
    store(st.S2, s2);
  }
  const TMask even = loadMask(st.Even);
  for (int j = 0; j < p.StageCount; ++j) {
    const bool gainNext = p.GainNext[j];
    switch (p.Codes[j]) {
      case scComp: dynamics(st, xT, dT, n, p, gainNext); break;
      case scWidth:
        if (!p.Stereo) {
          if (gainNext) scaleAll(xT, n, load(st.OutGain));
          break;
        }
        {
          const TLanes w = load(st.WidthMul), g = load(st.WidthGain);
          for (int i = 0; i < n; ++i) {
            const TLanes ms = lrToMs(load(xT + i * L), even) * w;
            store(xT + i * L, gainNext ? lrToMsGain(ms, even, g) : msToLr(ms, even));
          }
        }
        break;
      case scPan:
        if (!p.Stereo) {
          if (gainNext) scaleAll(xT, n, load(st.OutGain));
          break;
        }
        scaleAll(xT, n, load(gainNext ? st.PanOutGain : st.Pan));
        break;
      default:
        if (gainNext) scaleAll(xT, n, load(st.OutGain));
        break;
    }
  }
  if (p.MainOutPending) scaleAll(xT, n, splat(p.OutputGain));
}

}  // namespace

void RunBandLanes(const TBandLanes& l, int count, int n, const TBandPipeline& p, const double* inT, double* scratch) {
  TLaneState st{};
  const bool stereo = p.Stereo;
  for (int c = 0; c < count; ++c) {
    const TBandChannelState& own = *l.Own[c];
    const bool second = stereo && (c & 1) != 0;
    const bool linked = stereo && !p.MidSide && l.Link[c] == 1.0f;
    // A linked pair's and an M/S pair's second lane computes with the first's state.
    const TBandChannelState& g = second && (linked || p.MidSide) ? *l.Own[c - 1] : own;
    st.B0[c] = l.B0[c];
    st.K1[c] = own.K1;
    st.K2[c] = own.K2;
    st.S1[c] = own.S1;
    st.S2[c] = own.S2;
    const TBandChannelState& det = second && p.MidSide ? g : own;
    st.DetState[c] = det.DetState;
    st.DetCoef[c] = det.DetCoef;
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
    st.Linked[c] = linked ? -1 : 0;
    st.Even[c] = (c & 1) == 0 ? -1 : 0;
    st.Chosen[c] = second == (p.MSMode != 1) ? -1 : 0;
    st.OutGain[c] = l.OutGain[c];
    st.WidthMul[c] = second ? l.Width[c] : 1.0;
    st.WidthGain[c] = 2.0 * l.OutGain[c];
    st.Pan[c] = l.Pan[c];
    st.PanOutGain[c] = l.Pan[c] * l.OutGain[c];
  }
  double* xT = scratch;
  double* dT = scratch + L * kLaneBlock;
  bandKernel(st, inT, xT, dT, n, p);
  bool hasComp = false;
  for (int j = 0; j < p.StageCount; ++j) hasComp = hasComp || p.Codes[j] == scComp;
  for (int c = 0; c < count; ++c) {
    double* out = l.Out[c];
    for (int i = 0; i < n; ++i) out[i] = xT[i * L + c];
    TBandChannelState& own = *l.Own[c];
    own.S1 = st.S1[c];
    own.S2 = st.S2[c];
    if (!hasComp) continue;
    const bool second = stereo && (c & 1) != 0;
    const bool linked = stereo && !p.MidSide && l.Link[c] == 1.0f;
    if (second && p.MidSide) continue;  // the pair's state is the first lane's
    if (p.Env) own.DetState = st.DetState[c];
    if (second && linked) {
      // Both channels carry the shared detector and gain, so the display's
      // two-channel average shows the same level as when unlinked.
      own.DetEnergy = l.Own[c - 1]->DetEnergy;
      own.GainEnergy = l.Own[c - 1]->GainEnergy;
      continue;
    }
    own.Gain = st.Gain[c];
    if (p.Metering) {
      own.GainEnergy = st.Energy[c];
      own.DetEnergy += st.DetEnergy[c];
    }
  }
}
