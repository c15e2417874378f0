// The lane kernel, included once per instruction set by LaneKernels.cpp with
// KES_LANE_WIDTH (doubles per vector register: 2 SSE2, 4 AVX2, 8 AVX-512),
// KES_LANE_SLOTS (lanes per pass: a few registers' worth, so the state stays
// in registers while several recursions overlap) and
// KES_LANE_NS (the namespace of that version) defined. Every version does the
// same element-wise IEEE arithmetic; only the register width differs.
// No include guard: meant to be included several times.

// Lane permutations, spelled the way each compiler takes them.
#ifndef KES_PERMUTE
#if defined(__clang__)
#define KES_PERMUTE(v, ...) __builtin_shufflevector(v, v, __VA_ARGS__)
#define KES_MERGE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define KES_PERMUTE(v, ...) __builtin_shuffle(v, TMask{__VA_ARGS__})
#define KES_MERGE(a, b, ...) __builtin_shuffle(a, b, TMask{__VA_ARGS__})
#endif
#endif

namespace KES_LANE_NS {

constexpr int L = KES_LANE_WIDTH;
constexpr int W = KES_LANE_SLOTS;  // lanes per pass: slots per sample in the blocks
constexpr int G = W / L;           // vectors per sample, run side by side
static_assert(W % L == 0 && L % 2 == 0 && W <= kLaneCount, "whole vectors, whole pairs, within the state");

// L lanes as one value; every operation is element-wise IEEE arithmetic.
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
#if KES_LANE_WIDTH == 2
  return KES_PERMUTE(v, 1, 0);
#elif KES_LANE_WIDTH == 4
  return KES_PERMUTE(v, 1, 0, 3, 2);
#else
  return KES_PERMUTE(v, 1, 0, 3, 2, 5, 4, 7, 6);
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

// Group g's lanes of sample i in a block.
KES_ALWAYS_INLINE double* at(double* block, int i, int g) { return block + i * W + g * L; }
KES_ALWAYS_INLINE const double* at(const double* block, int i, int g) { return block + i * W + g * L; }

KES_ALWAYS_INLINE void scaleAll(double* xT, int n, const double* factors) {
  TLanes f[G];
  for (int g = 0; g < G; ++g) f[g] = load(factors + g * L);
  for (int i = 0; i < n; ++i)
    for (int g = 0; g < G; ++g) store(at(xT, i, g), load(at(xT, i, g)) * f[g]);
}

// The first lanes of the pairs of a and then of b, in order: lane k of the
// result is lane 2k of a (k < L/2) or lane 2k - L of b.
KES_ALWAYS_INLINE TLanes firstLanes(TLanes a, TLanes b) {
#if KES_LANE_WIDTH == 2
  return KES_MERGE(a, b, 0, 2);
#elif KES_LANE_WIDTH == 4
  return KES_MERGE(a, b, 0, 2, 4, 6);
#else
  return KES_MERGE(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
#endif
}

// The inverse for values that are the same on both lanes of a pair: each
// lane of the first (low) or second (high) half of c on both lanes of a pair.
KES_ALWAYS_INLINE TLanes pairsFromLow(TLanes c) {
#if KES_LANE_WIDTH == 2
  return KES_PERMUTE(c, 0, 0);
#elif KES_LANE_WIDTH == 4
  return KES_PERMUTE(c, 0, 0, 1, 1);
#else
  return KES_PERMUTE(c, 0, 0, 1, 1, 2, 2, 3, 3);
#endif
}
KES_ALWAYS_INLINE TLanes pairsFromHigh(TLanes c) {
#if KES_LANE_WIDTH == 2
  return KES_PERMUTE(c, 1, 1);
#elif KES_LANE_WIDTH == 4
  return KES_PERMUTE(c, 2, 2, 3, 3);
#else
  return KES_PERMUTE(c, 4, 4, 5, 5, 6, 6, 7, 7);
#endif
}

// L/R dynamics when every band of the pass is linked: both lanes of a pair
// would run the same gain computer on the same detector, so it runs once per
// band, on the first lanes of two vectors packed into one, and its factor
// goes back to both channels. Lane for lane the arithmetic of dynamicsFused.
template <bool Env, bool Metering>
KES_ALWAYS_INLINE void dynamicsLinkedPairs(TLaneState& st, double* xT, int n, const TBandPipeline& p) {
  static_assert(G % 2 == 0, "vectors are packed two into one");
  constexpr int H = G / 2;
  const bool squared = p.Squared, inverted = p.Inverted;
  TMask even[G];
  TLanes s[G], k[G], sum[G];
  TLanes thresh[H], ratio[H], rise[H], fall[H], wet[H], dry[H], outFactor[H], gain[H], energy[H];
  for (int g = 0; g < G; ++g) {
    even[g] = loadMask(st.Even + g * L);
    s[g] = load(st.DetState + g * L);
    k[g] = load(st.DetCoef + g * L);
    sum[g] = splat(0.0);
  }
  auto packed = [&](const double* field, int h) {
    return firstLanes(load(field + 2 * h * L), load(field + (2 * h + 1) * L));
  };
  for (int h = 0; h < H; ++h) {
    thresh[h] = packed(st.Thresh, h);
    ratio[h] = packed(st.Ratio, h);
    rise[h] = packed(st.Rise, h);
    fall[h] = packed(st.Fall, h);
    wet[h] = packed(st.Wet, h);
    dry[h] = packed(st.Dry, h);
    outFactor[h] = packed(st.OutFactor, h);
    gain[h] = packed(st.Gain, h);
    energy[h] = packed(st.Energy, h);
  }
  const TLanes one = splat(1.0), floor = splat(1e-15);
  for (int i = 0; i < n; ++i) {
    for (int h = 0; h < H; ++h) {
      TLanes x[2], d[2];
      for (int j = 0; j < 2; ++j) {
        const int g = 2 * h + j;
        x[j] = load(at(xT, i, g));
        TLanes v = absLanes(x[j]);
        if constexpr (Env) {
          s[g] = s[g] + (v - s[g]) * k[g];
          v = s[g];
        }
        TLanes first, second;
        pairOf(v, even[g], first, second);
        // The first channel's detector holds the second's peak.
        v = second > first ? second : first;
        if constexpr (Metering) sum[g] += v * v;
        if (inverted) v = 1.0 / (v > 1e-15 ? v : floor);
        d[j] = v;
      }
      const TLanes dc = firstLanes(d[0], d[1]);
      TLanes q = (thresh[h] + (dc - thresh[h]) * ratio[h]) / dc;
      if (squared) q = q * q;
      const TLanes target = dc > thresh[h] ? q : one;
      gain[h] = gain[h] + (target - gain[h]) * (target >= gain[h] ? rise[h] : fall[h]);
      TLanes f = gain[h] * wet[h] + dry[h];
      if constexpr (Metering) {
        energy[h] += f * f;
        f = f * outFactor[h];
      }
      store(at(xT, i, 2 * h), x[0] * pairsFromLow(f));
      store(at(xT, i, 2 * h + 1), x[1] * pairsFromHigh(f));
    }
  }
  for (int g = 0; g < G; ++g) {
    store(st.DetState + g * L, s[g]);
    store(st.DetEnergy + g * L, sum[g]);
  }
  for (int h = 0; h < H; ++h) {
    store(st.Gain + 2 * h * L, pairsFromLow(gain[h]));
    store(st.Gain + (2 * h + 1) * L, pairsFromHigh(gain[h]));
    store(st.Energy + 2 * h * L, pairsFromLow(energy[h]));
    store(st.Energy + (2 * h + 1) * L, pairsFromHigh(energy[h]));
  }
}

// The dynamics stage in one pass over the samples: the detector (the band
// signal's magnitude; in M/S that of the mid or side signal, on both lanes of
// the pair), its smoothing, the link, metering and inversion feeding the gain
// computer, and the gain applied (in M/S to the mid or side signal only,
// then back to L/R, then the band gain when "O.Gain" follows).
template <bool Stereo, bool MidSide, bool Env, bool Metering>
KES_ALWAYS_INLINE void dynamicsFused(TLaneState& st, double* xT, int n, const TBandPipeline& p, bool gainNext) {
  const bool squared = p.Squared, inverted = p.Inverted, mid = p.MSMode == 1;
  TMask even[G], linked[G], chosen[G];
  TLanes outGain[G];
  TLanes s[G], k[G], link[G], rest[G], sum[G];
  TLanes thresh[G], ratio[G], rise[G], fall[G], wet[G], dry[G], outFactor[G], gain[G], energy[G];
  for (int g = 0; g < G; ++g) {
    even[g] = loadMask(st.Even + g * L);
    linked[g] = loadMask(st.Linked + g * L);
    chosen[g] = loadMask(st.Chosen + g * L);
    outGain[g] = load(st.OutGain + g * L);
    s[g] = load(st.DetState + g * L);
    k[g] = load(st.DetCoef + g * L);
    link[g] = load(st.Link + g * L);
    rest[g] = load(st.Rest + g * L);
    sum[g] = splat(0.0);
    thresh[g] = load(st.Thresh + g * L);
    ratio[g] = load(st.Ratio + g * L);
    rise[g] = load(st.Rise + g * L);
    fall[g] = load(st.Fall + g * L);
    wet[g] = load(st.Wet + g * L);
    dry[g] = load(st.Dry + g * L);
    outFactor[g] = load(st.OutFactor + g * L);
    gain[g] = load(st.Gain + g * L);
    energy[g] = load(st.Energy + g * L);
  }
  const TLanes one = splat(1.0), floor = splat(1e-15);
  for (int i = 0; i < n; ++i) {
    for (int g = 0; g < G; ++g) {
      TLanes x = load(at(xT, i, g)), d;
      if constexpr (MidSide) {
        x = lrToMs(x, even[g]);
        TLanes m, side;
        pairOf(x, even[g], m, side);
        d = absLanes(mid ? m : side);
      } else {
        d = absLanes(x);
      }
      if constexpr (Env) {
        s[g] = s[g] + (d - s[g]) * k[g];
        d = s[g];
      }
      if constexpr (Stereo && !MidSide) {
        TLanes first, second;
        pairOf(d, even[g], first, second);
        // Unlinked: each channel heeds the louder of the two by the link
        // weight. Linked: the first channel's detector holds the second's
        // peak, and both lanes run the first channel's gain computer on it.
        const TLanes m = first > second ? first : second;
        const TLanes mixed = link[g] * m + rest[g] * d;
        const TLanes held = second > first ? second : first;
        d = linked[g] ? held : mixed;
      }
      if constexpr (Metering) sum[g] += d * d;
      if (inverted) d = 1.0 / (d > 1e-15 ? d : floor);
      TLanes q = (thresh[g] + (d - thresh[g]) * ratio[g]) / d;
      if (squared) q = q * q;
      const TLanes target = d > thresh[g] ? q : one;
      gain[g] = gain[g] + (target - gain[g]) * (target >= gain[g] ? rise[g] : fall[g]);
      TLanes f = gain[g] * wet[g] + dry[g];
      if constexpr (Metering) {
        energy[g] += f * f;
        f = f * outFactor[g];
      }
      if constexpr (MidSide) {
        const TLanes y = msToLr(chosen[g] ? x * f : x, even[g]);
        store(at(xT, i, g), gainNext ? y * outGain[g] : y);
      } else {
        store(at(xT, i, g), x * f);
      }
    }
  }
  for (int g = 0; g < G; ++g) {
    store(st.DetState + g * L, s[g]);
    store(st.DetEnergy + g * L, sum[g]);
    store(st.Gain + g * L, gain[g]);
    store(st.Energy + g * L, energy[g]);
  }
}

KES_ALWAYS_INLINE void dynamics(TLaneState& st, double* xT, int n, const TBandPipeline& p, bool gainNext) {
  if (p.Stereo && !p.MidSide && st.AllLinked) {
    if (p.Env)
      p.Metering ? dynamicsLinkedPairs<true, true>(st, xT, n, p) : dynamicsLinkedPairs<true, false>(st, xT, n, p);
    else
      p.Metering ? dynamicsLinkedPairs<false, true>(st, xT, n, p) : dynamicsLinkedPairs<false, false>(st, xT, n, p);
    return;
  }
  const int variant = (p.MidSide ? 8 : p.Stereo ? 4 : 0) | (p.Env ? 2 : 0) | (p.Metering ? 1 : 0);
  switch (variant) {
    case 0: dynamicsFused<false, false, false, false>(st, xT, n, p, gainNext); break;
    case 1: dynamicsFused<false, false, false, true>(st, xT, n, p, gainNext); break;
    case 2: dynamicsFused<false, false, true, false>(st, xT, n, p, gainNext); break;
    case 3: dynamicsFused<false, false, true, true>(st, xT, n, p, gainNext); break;
    case 4: dynamicsFused<true, false, false, false>(st, xT, n, p, gainNext); break;
    case 5: dynamicsFused<true, false, false, true>(st, xT, n, p, gainNext); break;
    case 6: dynamicsFused<true, false, true, false>(st, xT, n, p, gainNext); break;
    case 7: dynamicsFused<true, false, true, true>(st, xT, n, p, gainNext); break;
    case 8: dynamicsFused<true, true, false, false>(st, xT, n, p, gainNext); break;
    case 9: dynamicsFused<true, true, false, true>(st, xT, n, p, gainNext); break;
    case 10: dynamicsFused<true, true, true, false>(st, xT, n, p, gainNext); break;
    default: dynamicsFused<true, true, true, true>(st, xT, n, p, gainNext); break;
  }
}

void bandKernel(TLaneState& st, const double* inT, double* xT, int n, const TBandPipeline& p) {
  {
    TLanes b0[G], k1[G], k2[G], s1[G], s2[G];
    for (int g = 0; g < G; ++g) {
      b0[g] = load(st.B0 + g * L);
      k1[g] = load(st.K1 + g * L);
      k2[g] = load(st.K2 + g * L);
      s1[g] = load(st.S1 + g * L);
      s2[g] = load(st.S2 + g * L);
    }
    for (int i = 0; i < n; ++i) {
      // Every group sees the same input pattern (left, right, left, ...).
      const TLanes in = load(inT + i * 8);
      for (int g = 0; g < G; ++g) {
        const TLanes x = b0[g] * in;
        const TLanes y1 = x + s1[g];
        const TLanes t1 = k1[g] * y1 + s2[g];
        const TLanes t2 = -x - k2[g] * y1;
        s1[g] = k1[g] * t1 + t2;
        s2[g] = -(k2[g] * t1);
        store(at(xT, i, g), y1 + t1);
      }
    }
    for (int g = 0; g < G; ++g) {
      store(st.S1 + g * L, s1[g]);
      store(st.S2 + g * L, s2[g]);
    }
  }
  TMask even[G];
  for (int g = 0; g < G; ++g) even[g] = loadMask(st.Even + g * L);
  for (int j = 0; j < p.StageCount; ++j) {
    const bool gainNext = p.GainNext[j];
    switch (p.Codes[j]) {
      case scComp: dynamics(st, xT, n, p, gainNext); break;
      case scWidth:
        if (!p.Stereo) {
          if (gainNext) scaleAll(xT, n, st.OutGain);
          break;
        }
        {
          TLanes w[G], wg[G];
          for (int g = 0; g < G; ++g) {
            w[g] = load(st.WidthMul + g * L);
            wg[g] = load(st.WidthGain + g * L);
          }
          for (int i = 0; i < n; ++i)
            for (int g = 0; g < G; ++g) {
              const TLanes ms = lrToMs(load(at(xT, i, g)), even[g]) * w[g];
              store(at(xT, i, g), gainNext ? lrToMsGain(ms, even[g], wg[g]) : msToLr(ms, even[g]));
            }
        }
        break;
      case scPan:
        if (!p.Stereo) {
          if (gainNext) scaleAll(xT, n, st.OutGain);
          break;
        }
        scaleAll(xT, n, gainNext ? st.PanOutGain : st.Pan);
        break;
      default:
        if (gainNext) scaleAll(xT, n, st.OutGain);
        break;
    }
  }
  if (p.MainOutPending) {
    double main[W];
    for (int c = 0; c < W; ++c) main[c] = p.OutputGain;
    scaleAll(xT, n, main);
  }
}

}  // namespace KES_LANE_NS
