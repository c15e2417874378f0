#pragma once
// The engine's band processing, eight band channels at a time, one per lane:
// the band filter, then the stages in the block's order (dynamics with its
// detector, "Env" smoothing, link, metering, inversion and gain computer;
// width; pan; the band output gain), then the main output gain. Each lane
// does exactly the arithmetic the per-band kernels (bandkernels.h, VecOps.h)
// do, in the same order, so the results are the same bit for bit; only the
// independent recursions of different channels overlap, in SIMD registers
// (SSE2 everywhere, AVX2 or AVX-512 chosen once per process on x86-64 Linux).
//
// In stereo, lanes 2k and 2k + 1 are the two channels of one band. The lanes
// run on a sample-major block (kLaneCount doubles per sample) and the band
// signals are written out at the end.
// Audio thread only; no allocation, no locks.

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/bandkernels.h"

// Band channels per call: up to four groups of eight lanes, run side by side
// so one group's recursions overlap with the others'.
constexpr int kLaneCount = 16;
constexpr int kLaneBlock = 128;  // samples per call at most
// Scratch doubles a call needs: the signal block (kLaneCount per sample) and
// the input pattern (eight per sample), which starts at kLaneInputOffset.
constexpr int kLaneInputOffset = kLaneCount * kLaneBlock;
constexpr int kLaneScratch = kLaneInputOffset + 8 * kLaneBlock;

struct TBandPipeline {
  int32_t Codes[4];  // the stages in order, "O.Gain" left out
  bool GainNext[4];  // "O.Gain" follows the stage
  int StageCount;
  bool Stereo, MidSide, Env, Metering, Inverted, Squared;
  int32_t MSMode;       // 1 mid, 2 side
  bool MainOutPending;  // the main output gain is still to apply at the end
  double OutputGain;
};

struct TBandLanes {
  TBandChannelState* Own[kLaneCount];  // the lane's channel: filter, detector and gain state
  double B0[kLaneCount];               // filter input coefficient (band gain folded in when "O.Gain" leads)
  double* Out[kLaneCount];             // where the lane's band signal goes
  float Link[kLaneCount];              // the band's stereo link
  double OutGain[kLaneCount];          // the band's output gain
  double Width[kLaneCount];            // the band's width (read on a pair's second lane)
  double Pan[kLaneCount];              // pan gain: A on a pair's first lane, B on its second
};

// The instruction set the lanes run on in this process: "SSE2", "AVX2" or
// "AVX-512", the best the CPU has, chosen when the library is loaded.
const char* LaneKernelName();
// True when the CPU has a version wider than SSE2 (AVX2 or AVX-512). With
// SSE2 alone the lanes are no faster than the engine's per-band path on the
// common linked settings, so engines then take that path.
bool LaneKernelsPreferred();
// For tests and benchmarks, which compare the versions: the ones this CPU
// runs (best first), and a switch to one of them (false: not available).
// Not for use while another thread processes.
std::vector<std::string> AvailableLaneKernels();
bool SelectLaneKernel(const std::string& name);

// inT: the input, eight values per sample (stereo: left on even lanes,
// right on odd), the same for every group of eight lanes.
void RunBandLanes(const TBandLanes& l, int count, int n, const TBandPipeline& p, const double* inT, double* scratch);
