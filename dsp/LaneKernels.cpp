#include "dsp/LaneKernels.h"

#include <cstring>
#include <string>
#include <vector>

#include "dsp/envelopes.h"

#define KES_ALWAYS_INLINE inline __attribute__((always_inline))

// The lane values never cross a call boundary that is not inlined, so the
// note that their passing convention differs between instruction sets does
// not apply here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

struct TLaneState {
  // Band filter.
  double B0[kLaneCount], K1[kLaneCount], K2[kLaneCount], S1[kLaneCount], S2[kLaneCount];
  // Detector smoothing ("Env").
  double DetState[kLaneCount], DetCoef[kLaneCount];
  // Gain computer (a linked pair's or an M/S pair's second lane runs on a
  // copy of the first lane's).
  double Thresh[kLaneCount], Ratio[kLaneCount], Rise[kLaneCount], Fall[kLaneCount], Wet[kLaneCount], Dry[kLaneCount],
      OutFactor[kLaneCount], Gain[kLaneCount], Energy[kLaneCount];
  double DetEnergy[kLaneCount];
  // Link weight and 1 - weight; linked pairs, first lanes and (M/S) the
  // lane the dynamics act on, as masks.
  double Link[kLaneCount], Rest[kLaneCount];
  long long Linked[kLaneCount], Even[kLaneCount], Chosen[kLaneCount];
  // Every band of the pass is linked (L/R stereo): the gain computer runs once per band.
  bool AllLinked;
  // Stages.
  double OutGain[kLaneCount], WidthMul[kLaneCount], WidthGain[kLaneCount], Pan[kLaneCount], PanOutGain[kLaneCount];
};

using TBandKernel = void (*)(TLaneState& st, const double* inT, double* xT, int n, const TBandPipeline& p);

}  // namespace

// The SSE2 version: the baseline of every build.
#define KES_LANE_WIDTH 2
#define KES_LANE_SLOTS 4
#define KES_LANE_NS lanes_sse2
#include "dsp/LaneKernelsImpl.h"
#undef KES_LANE_WIDTH
#undef KES_LANE_SLOTS
#undef KES_LANE_NS

// On x86-64 Linux, built with GCC, AVX2 and AVX-512 versions as well, one
// chosen once per process from what the CPU has. (Elsewhere the baseline:
// the Windows builds keep to SSE2, whose stack alignment the wider
// registers would need.)
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define KES_LANE_DISPATCH 1
#pragma GCC push_options
#pragma GCC target("avx2")
#define KES_LANE_WIDTH 4
#define KES_LANE_SLOTS 8
#define KES_LANE_NS lanes_avx2
#include "dsp/LaneKernelsImpl.h"
#undef KES_LANE_WIDTH
#undef KES_LANE_SLOTS
#undef KES_LANE_NS
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f")
#define KES_LANE_WIDTH 8
#define KES_LANE_SLOTS 16
#define KES_LANE_NS lanes_avx512
#include "dsp/LaneKernelsImpl.h"
#undef KES_LANE_WIDTH
#undef KES_LANE_SLOTS
#undef KES_LANE_NS
#pragma GCC pop_options
#endif

namespace {

struct TKernelChoice {
  const char* Name;
  TBandKernel Kernel;
  int Slots;  // lanes per pass
};

// The versions this CPU runs, best first.
int availableKernels(TKernelChoice* out) {
  int n = 0;
#if defined(KES_LANE_DISPATCH)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) out[n++] = {"AVX-512", &lanes_avx512::bandKernel, lanes_avx512::W};
  if (__builtin_cpu_supports("avx2")) out[n++] = {"AVX2", &lanes_avx2::bandKernel, lanes_avx2::W};
#endif
  out[n++] = {"SSE2", &lanes_sse2::bandKernel, lanes_sse2::W};
  return n;
}

TKernelChoice chooseKernel() {
  TKernelChoice all[3];
  availableKernels(all);
  return all[0];
}

// Chosen once, when the library is loaded; only tests and benchmarks change it.
TKernelChoice gKernel = chooseKernel();

}  // namespace

const char* LaneKernelName() { return gKernel.Name; }

bool LaneKernelsPreferred() {
  static const bool wide = chooseKernel().Kernel != &lanes_sse2::bandKernel;
  return wide;
}

std::vector<std::string> AvailableLaneKernels() {
  TKernelChoice all[3];
  const int n = availableKernels(all);
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back(all[i].Name);
  return names;
}

bool SelectLaneKernel(const std::string& name) {
  TKernelChoice all[3];
  const int n = availableKernels(all);
  for (int i = 0; i < n; ++i)
    if (name == all[i].Name) {
      gKernel = all[i];
      return true;
    }
  return false;
}

void RunBandLanes(const TBandLanes& l, int count, int n, const TBandPipeline& p, const double* inT, double* scratch) {
  const bool stereo = p.Stereo;
  bool hasComp = false;
  for (int j = 0; j < p.StageCount; ++j) hasComp = hasComp || p.Codes[j] == scComp;
  // The version's own number of lanes per pass (whole pairs).
  const int slots = gKernel.Slots;
  for (int base = 0; base < count; base += slots) {
    const int lanes = count - base < slots ? count - base : slots;
    // Every field of a used lane is set below; a partial pass zeroes the
    // lanes it leaves unused, so they compute on zeros.
    TLaneState st;
    if (lanes < slots) std::memset(&st, 0, sizeof st);
    st.AllLinked = stereo && !p.MidSide;
    for (int k = 0; k < lanes; ++k) {
      const int c = base + k;
      const TBandChannelState& own = *l.Own[c];
      const bool second = stereo && (c & 1) != 0;
      const bool linked = stereo && !p.MidSide && l.Link[c] == 1.0f;
      // A linked pair's and an M/S pair's second lane computes with the first's state.
      const TBandChannelState& g = second && (linked || p.MidSide) ? *l.Own[c - 1] : own;
      st.B0[k] = l.B0[c];
      st.K1[k] = own.K1;
      st.K2[k] = own.K2;
      st.S1[k] = own.S1;
      st.S2[k] = own.S2;
      const TBandChannelState& det = second && p.MidSide ? g : own;
      st.DetState[k] = det.DetState;
      st.DetCoef[k] = det.DetCoef;
      st.Thresh[k] = g.Thresh;
      st.Ratio[k] = g.Ratio;
      st.Rise[k] = g.RiseCoef;
      st.Fall[k] = g.FallCoef;
      st.Wet[k] = g.Wet;
      st.Dry[k] = g.Dry;
      st.OutFactor[k] = g.OutFactor;
      st.Gain[k] = g.Gain;
      st.Energy[k] = g.GainEnergy;
      st.Link[k] = l.Link[c];
      st.Rest[k] = 1.0 - static_cast<double>(l.Link[c]);
      st.Linked[k] = linked ? -1 : 0;
      st.AllLinked = st.AllLinked && linked;
      st.Even[k] = (c & 1) == 0 ? -1 : 0;
      st.Chosen[k] = second == (p.MSMode != 1) ? -1 : 0;
      st.OutGain[k] = l.OutGain[c];
      st.WidthMul[k] = second ? l.Width[c] : 1.0;
      st.WidthGain[k] = 2.0 * l.OutGain[c];
      st.Pan[k] = l.Pan[c];
      st.PanOutGain[k] = l.Pan[c] * l.OutGain[c];
    }
    double* xT = scratch;
    gKernel.Kernel(st, inT, xT, n, p);
    for (int k = 0; k < lanes; ++k) {
      const int c = base + k;
      double* out = l.Out[c];
      for (int i = 0; i < n; ++i) out[i] = xT[i * slots + k];
      TBandChannelState& own = *l.Own[c];
      own.S1 = st.S1[k];
      own.S2 = st.S2[k];
      if (!hasComp) continue;
      const bool second = stereo && (c & 1) != 0;
      const bool linked = stereo && !p.MidSide && l.Link[c] == 1.0f;
      if (second && p.MidSide) continue;  // the pair's state is the first lane's
      if (p.Env) own.DetState = st.DetState[k];
      if (second && linked) {
        // Both channels carry the shared detector and gain, so the display's
        // two-channel average shows the same level as when unlinked.
        own.DetEnergy = l.Own[c - 1]->DetEnergy;
        own.GainEnergy = l.Own[c - 1]->GainEnergy;
        continue;
      }
      own.Gain = st.Gain[k];
      if (p.Metering) {
        own.GainEnergy = st.Energy[k];
        own.DetEnergy += st.DetEnergy[k];
      }
    }
  }
}
