#pragma once
// The engine's recursions run eight band channels at a time, one per lane:
// the band filter, the "Env" detector smoother and the gain computers. Each
// lane does exactly the arithmetic the one-channel kernels in bandkernels.h
// do, in the same order, so the results are the same bit for bit; only the
// independent recursions of different channels overlap (in SIMD registers
// where the CPU has them: SSE2 everywhere, AVX2 and AVX-512 chosen once per
// process on x86-64 Linux).
//
// The lanes' samples are transposed into a sample-major scratch block
// (kLaneCount doubles per sample) for the recursion and back afterwards.
// Audio thread only; no allocation, no locks.

#include "dsp/bandkernels.h"

constexpr int kLaneCount = 8;
// Scratch doubles a lane call needs: two blocks of kLaneCount x 128 samples.
constexpr int kLaneScratch = 2 * kLaneCount * 128;

// Band filters: lanes 0 .. count-1 of l (count <= 8), n <= 128 samples.
void RunBandFilterLanes(TFilterLanes& l, int count, int n, double* scratch);

// "Env" detector smoothing in place, d[c] with state st[c].
void RunDetectorSmoothLanes(TBandChannelState* const* st, double* const* d, int count, int n, double* scratch);

// Gain computers: lane c applies State[c] with detector D[c] to X0[c], and
// to X1[c] as well when linked.
struct TGainLanes {
  TBandChannelState* State[kLaneCount];
  const double* D[kLaneCount];
  double* X0[kLaneCount];
  double* X1[kLaneCount];
};
void RunGainLanes(const TGainLanes& l, int count, int n, bool squared, bool metering, bool linked, double* scratch);

// The whole dynamics stage of up to eight band channels outside M/S, on
// their band signals in place: the detector (magnitude; "Env" smoothing with
// each channel's own state), in stereo the link between the two channels of
// a band (lanes 2k and 2k+1 are one band's two channels), metering, the
// inverted mode, the gain computer and the gain applied. Exactly what
// TTalvern's one-band dynamics does, lane by lane.
struct TDynamicsLanes {
  TBandChannelState* Own[kLaneCount];  // the channel's own state
  double* X[kLaneCount];               // its band signal
  float Link[kLaneCount];              // stereo: the band's stereo link
};
struct TDynamicsFlags {
  bool Stereo, Env, Metering, Inverted, Squared;
};
void RunDynamicsLanes(const TDynamicsLanes& l, int count, int n, const TDynamicsFlags& f, double* scratch);
