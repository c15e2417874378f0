#include "dsp/talvern.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "dsp/LaneKernels.h"
#include "dsp/VecOps.h"
#include "gfx/core/SyncObject.h"

namespace {

constexpr uint32_t kWeightingDirty = 1u << 9;
constexpr uint32_t kAllEnvelopesDirty = (1u << kEnvelopeKinds) - 1;
constexpr double kMaxBandCentre = 95040.0;
// Band-pass gain normalisation of the two-step filter.
constexpr double kBandGain = 0.44514346292011275;
constexpr double kPi = std::numbers::pi;
constexpr double kLn2 = 0.69314718055994530942;

// The gain computers by [squared][metering].
constexpr TGainSingleProc kGainSingle[2][2] = {{&GainSingle<false, false>, &GainSingle<false, true>},
                                               {&GainSingle<true, false>, &GainSingle<true, true>}};
constexpr TGainLinkedProc kGainLinked[2][2] = {{&GainLinked<false, false>, &GainLinked<false, true>},
                                               {&GainLinked<true, false>, &GainLinked<true, true>}};
constexpr TGainPairProc kGainPair[2][2] = {{&GainPair<false, false>, &GainPair<false, true>},
                                           {&GainPair<true, false>, &GainPair<true, true>}};

// 1 - 0.01^(1 / (fs * t)): the one-pole coefficient that closes 99 % of a step in t seconds.
double settlingCoef(int32_t fs, double t) { return 1.0 - std::pow(0.01, 1.0 / (static_cast<double>(fs) * t)); }

}  // namespace

static_assert(kLaneBlock == kTalvernBlock, "the lanes take one engine piece at a time");

struct TTalvern::TBlockSettings {
  double outputGain;
  bool squareGain;
  bool envDetector;
  int32_t msMode;
  bool metering;
  bool inverted;
  bool stereo;
  bool msActive;
};

TTalvern::TTalvern(int32_t sampleRate, TSyncObject* sync) : UseReferencePath(!LaneKernelsPreferred()), FSync(sync) {
  const double ln25 = std::log(25.0);
  const double spacing = std::log(800.0) / 31.0;  // natural-log step between bands
  const float bandwidth = static_cast<float>(1.5 * std::log2(800.0) / 31.0);
  try {
    for (int i = 0; i < kMaxTalvernBands; ++i) {
      const double f = std::exp(ln25 + i * spacing);
      if (f > kMaxBandCentre) break;
      TTalvernBand& band = FBands[i];
      band.Centre = static_cast<float>(f);
      band.Bandwidth = bandwidth;
      band.Position = static_cast<float>(i / 31.0);
      AlignedAlloc(band.StateA, sizeof(TBandChannelState));
      std::memset(band.StateA, 0, sizeof(TBandChannelState));
      ++FBandCount;
      AlignedAlloc(band.StateB, sizeof(TBandChannelState));
      std::memset(band.StateB, 0, sizeof(TBandChannelState));
    }
    AlignedAlloc(FWorkBuffer, 4 * kTalvernBlock * sizeof(double));
    AlignedAlloc(FBandBuffers, 2 * kMaxTalvernBands * kTalvernBlock * sizeof(double));
    AlignedAlloc(FLaneScratch, kLaneScratch * sizeof(double));
  } catch (...) {
    freeAll();
    throw;
  }
  std::memset(FWorkBuffer, 0, 4 * kTalvernBlock * sizeof(double));
  std::memset(FBandBuffers, 0, 2 * kMaxTalvernBands * kTalvernBlock * sizeof(double));
  FDetA = FWorkBuffer + 2 * kTalvernBlock;
  FDetB = FWorkBuffer + 3 * kTalvernBlock;
  ResetAll();
  FDefaultSet = FEnvelopeSet;
  // The weights are computed with the first block, so no band ever runs with
  // a zero weight before the slope parameter first arrives.
  FDirtyMask |= kWeightingDirty;
  SetSampleRate(sampleRate);
}

TTalvern::~TTalvern() { freeAll(); }

void TTalvern::freeAll() {
  for (int i = 0; i < kMaxTalvernBands; ++i) {
    if (FBands[i].StateA) AlignedFree(FBands[i].StateA);
    if (FBands[i].StateB) AlignedFree(FBands[i].StateB);
    FBands[i].StateA = FBands[i].StateB = nullptr;
  }
  if (FWorkBuffer) AlignedFree(FWorkBuffer);
  FWorkBuffer = nullptr;
  if (FBandBuffers) AlignedFree(FBandBuffers);
  FBandBuffers = nullptr;
  if (FLaneScratch) AlignedFree(FLaneScratch);
  FLaneScratch = nullptr;
}

void TTalvern::markDirty(uint32_t bits) {
  TSyncLock lock(FSync);
  FDirtyMask |= bits;
}

int32_t TTalvern::DirtyMask() {
  TSyncLock lock(FSync);
  return static_cast<int32_t>(FDirtyMask);
}

float TTalvern::Slope() {
  TSyncLock lock(FSync);
  return FSlope;
}

int TTalvern::EnabledBandCount() const {
  int count = 0;
  for (int i = 0; i < FBandCount; ++i) count += FBands[i].Enabled;
  return count;
}

// ---- band filters and settings ---------------------------------------------

void TTalvern::designBand(TTalvernBand& band) {
  const double fs = band.SampleRate;
  const double centre = band.Centre;
  if (!(fs * 0.5 * 0.99 > centre)) {
    band.Enabled = 0;
    return;
  }
  band.Enabled = 1;
  // The filter runs at twice the sample rate.
  const double w = 2.0 * kPi * centre / (2.0 * fs);
  const double sw = std::sin(w);
  const double alpha = sw * std::sinh(kLn2 / 2.0 * static_cast<double>(band.Bandwidth) * w / sw);
  const double b0 = alpha / (1.0 + alpha) * kBandGain;
  const double k1 = 2.0 * std::cos(w) / (1.0 + alpha);
  const double k2 = (1.0 - alpha) / (1.0 + alpha);
  const double detCoef = 1.0 - std::pow(0.01, 2.0 * centre / fs);
  for (TBandChannelState* s : {band.StateA, band.StateB}) {
    s->B0 = b0;
    s->K1 = k1;
    s->K2 = k2;
    s->DetCoef = detCoef;
    ResetChannelState(*s);
  }
}

void TTalvern::SetSampleRate(int32_t sampleRate) {
  FSampleRate = sampleRate;
  for (int i = 0; i < FBandCount; ++i) {
    FBands[i].SampleRate = sampleRate;
    designBand(FBands[i]);
  }
  // Attack and release coefficients depend on the sample rate.
  markDirty((1u << ekAttack) | (1u << ekRelease));
}

void TTalvern::Clear() {
  for (int i = 0; i < FBandCount; ++i) {
    if (!FBands[i].Enabled) continue;
    ResetChannelState(*FBands[i].StateA);
    ResetChannelState(*FBands[i].StateB);
  }
  ResetMeters();
}

void TTalvern::ResetMeters() {
  FInEnergy = 0.0;
  FOutEnergy = 0.0;
  FMeterCount = 0;
}

void TTalvern::setBandValue(int kind, int b, double v) {
  TTalvernBand& band = FBands[b];
  TBandChannelState& a = *band.StateA;
  TBandChannelState& c = *band.StateB;
  const double setting = kEnvelopeKindInfo[kind].Setting(v);
  switch (kind) {
    case ekThreshold: {
      // The detector runs 10 dB below the displayed threshold.
      const float t = static_cast<float>(setting);
      band.Threshold = static_cast<float>(std::pow(10.0, (static_cast<double>(t) - 10.0) / 20.0));
      break;
    }
    case ekAttack: a.AttackCoef = c.AttackCoef = settlingCoef(band.SampleRate, static_cast<float>(setting)); break;
    case ekRelease: a.ReleaseCoef = c.ReleaseCoef = settlingCoef(band.SampleRate, static_cast<float>(setting)); break;
    case ekRatio: a.Ratio = c.Ratio = static_cast<float>(setting); break;
    case ekWetMix: band.WetMix = static_cast<float>(setting); break;
    case ekOutGain: {
      const float g = static_cast<float>(setting);
      band.OutGain = static_cast<float>(std::pow(10.0, static_cast<double>(g) / 20.0));
      break;
    }
    case ekStereoLink: band.StereoLink = static_cast<float>(setting); break;
    case ekWidth: band.Width = static_cast<float>(setting); break;
    case ekPan: {
      band.Pan = static_cast<float>(setting);
      const double p = band.Pan;
      if (p >= 0.5) {
        const double d = 2.0 * (p - 0.5);
        band.PanGainA = static_cast<float>(std::pow(10.0, 0.15 * d));
        band.PanGainB = static_cast<float>(1.0 - d);
      } else {
        const double d = 2.0 * (0.5 - p);
        band.PanGainB = static_cast<float>(std::pow(10.0, 0.15 * d));
        band.PanGainA = static_cast<float>(1.0 - d);
      }
      break;
    }
    default: break;
  }
}

void TTalvern::copyBand31(int kind, int b) {
  const TTalvernBand& src = FBands[kEnvelopeBands - 1];
  TTalvernBand& dst = FBands[b];
  switch (kind) {
    case ekThreshold: dst.Threshold = src.Threshold; break;
    case ekAttack:
      dst.StateA->AttackCoef = src.StateA->AttackCoef;
      dst.StateB->AttackCoef = src.StateB->AttackCoef;
      break;
    case ekRelease:
      dst.StateA->ReleaseCoef = src.StateA->ReleaseCoef;
      dst.StateB->ReleaseCoef = src.StateB->ReleaseCoef;
      break;
    case ekRatio:
      dst.StateA->Ratio = src.StateA->Ratio;
      dst.StateB->Ratio = src.StateB->Ratio;
      break;
    case ekWetMix: dst.WetMix = src.WetMix; break;
    case ekOutGain: dst.OutGain = src.OutGain; break;
    case ekStereoLink: dst.StereoLink = src.StereoLink; break;
    case ekWidth: dst.Width = src.Width; break;
    case ekPan:
      dst.Pan = src.Pan;
      dst.PanGainA = src.PanGainA;
      dst.PanGainB = src.PanGainB;
      break;
    default: break;
  }
}

void TTalvern::applyEnvelope(int kind) {
  const TEnvelope& e = FEnvelopeSet.Envelopes[kind];
  TEnvelopeCurve curve(e);
  for (int b = 0; b < FBandCount; ++b) {
    if (b >= kEnvelopeBands) {
      copyBand31(kind, b);
      continue;
    }
    double v = curve.ValueAt(FBands[b].Position);
    // A curve whose points are not finite numbers gives the kind's default;
    // a value the end segments extrapolate past 0 .. 1 (a steep segment near
    // an end) is held at the range's end.
    if (!std::isfinite(v)) v = std::isfinite(e.DefValue) ? e.DefValue : kEnvelopeDefaults[kind];
    setBandValue(kind, b, std::clamp(v, 0.0, 1.0));
  }
}

double TTalvern::WeightingDb(int code, double f, double slope) {
  auto weightA = [](double hz) {
    const double f2 = hz * hz;
    const double r =
        1.4884e8 * f2 * f2 /
        ((f2 + 20.6 * 20.6) * (f2 + 1.4884e8) * std::sqrt(f2 + 107.7 * 107.7) * std::sqrt(f2 + 737.9 * 737.9));
    return -20.0 * std::log10(r);
  };
  auto weightC = [](double hz) {
    const double f2 = hz * hz;
    const double r = 1.4884e8 * f2 / ((f2 + 1.4884e8) * (f2 + 20.6 * 20.6));
    return -20.0 * std::log10(r);
  };
  switch (code) {
    case 1: {
      const double g = std::log2(f / 700.0);
      // Least-squares quadratic through (-5, 1), (0, 0), (5, 1).
      const double p = 0.04 * g * g;
      const double k = 5.0 * kLn2 * (slope + 3.0);
      return 0.5 * k * (p + p * p * p * p);
    }
    case 2: return weightA(f);
    case 3: return weightC(f);
    case 4: return 0.15 * weightA(f) + 0.85 * weightC(f);
    default: return 0.0;
  }
}

void TTalvern::computeWeighting() {
  const int code = FEnvelopeSet.Weighting;
  const double slope = FSlope;
  for (int b = 0; b < FBandCount; ++b) {
    TTalvernBand& band = FBands[b];
    const double f = band.Centre;
    const double w = WeightingDb(code, f, slope);
    band.Weight = static_cast<float>(std::pow(10.0, (slope * std::log(f / 700.0) + w) / 20.0));
    band.InvWeight = 1.0f / band.Weight;
  }
}

void TTalvern::SetSlope(float dbPerOctave) {
  TSyncLock lock(FSync);
  FSlope = static_cast<float>((static_cast<double>(dbPerOctave) - 3.0) / kLn2);
  FDirtyMask |= kWeightingDirty;
}

void TTalvern::MarkWeightingChanged() { markDirty(kWeightingDirty); }

void TTalvern::MarkEnvelopeChanged(int kind) {
  if (kind < 0 || kind >= kEnvelopeKinds) return;
  markDirty(1u << kind);
}

void TTalvern::updateParameters() {
  TSyncLock lock(FSync);
  // Each stage runs at most once: a code that is unknown or already used by
  // an earlier slot counts as "Off".
  bool used[4] = {};
  for (int j = 0; j < kStageSlots; ++j) {
    int32_t c = FEnvelopeSet.Ordering[j];
    if (c < 0 || c > 3 || used[c])
      c = scOff;
    else
      used[c] = true;
    FActiveOrder[j] = c;
  }
  const uint32_t dirty = FDirtyMask;
  for (int k = 0; k < kEnvelopeKinds; ++k)
    if (dirty & (1u << k)) applyEnvelope(k);
  if (dirty & kWeightingDirty) computeWeighting();
  FDirtyMask = 0;
}

// ---- processing ------------------------------------------------------------

void TTalvern::Process(const double* in0, const double* in1, double* out0, double* out1, int n, TChannelMode mode) {
  if (!in1 || !out1) mode = TChannelMode::Mono;
  const bool mono = mode == TChannelMode::Mono;
  updateParameters();
  TBlockSettings s;
  s.outputGain = static_cast<float>(OutputGain);
  s.squareGain = SquareGain != 0;
  s.envDetector = EnvDetector != 0;
  s.msMode = MSMode;
  s.metering = Metering != 0;
  s.inverted = Inverted != 0;
  s.stereo = !mono;
  s.msActive = mode == TChannelMode::MidSide;
  for (int done = 0; done < n; done += kTalvernBlock) {
    const int piece = std::min(kTalvernBlock, n - done);
    processPiece(in0 + done, mono ? nullptr : in1 + done, out0 + done, mono ? nullptr : out1 + done, piece, s);
  }
}

void TTalvern::processPiece(const double* in0, const double* in1, double* out0, double* out1, int n,
                            const TBlockSettings& s) {
  const bool stereo = s.stereo;
  if (s.metering) {
    FInEnergy += VecSumSquares(in0, n);
    if (stereo) FInEnergy += VecSumSquares(in1, n);
  }
  // The first enabled band writes straight into the outputs, every later band
  // into its own pair of buffers that is added to them in band order.
  int firstBand = -1;
  for (int b = 0; b < FBandCount && firstBand < 0; ++b)
    if (FBands[b].Enabled) firstBand = b;
  auto target = [&](int b, int ch) { return bandBuffer(b, ch, firstBand, out0, out1); };
  if (UseReferencePath)
    processBandsOneByOne(in0, in1, out0, out1, n, s, firstBand);
  else
    processBandsInLanes(in0, in1, out0, out1, n, s, firstBand);
  for (int b = 0; b < FBandCount; ++b) {
    TTalvernBand& band = FBands[b];
    if (!band.Enabled) continue;
    if (b != firstBand) {
      VecAdd(target(b, 0), out0, n);
      if (stereo) VecAdd(target(b, 1), out1, n);
    }
    FlushChannelState(*band.StateA);
    FlushChannelState(*band.StateB);
  }
  if (firstBand < 0) {
    // No band below the Nyquist limit: silence.
    VecZero(out0, n);
    if (stereo) VecZero(out1, n);
  }
  if (s.metering) {
    FOutEnergy += VecSumSquares(out0, n);
    if (stereo) FOutEnergy += VecSumSquares(out1, n);
    FMeterCount += stereo ? 2 * n : n;
  }
}

void TTalvern::processBandsInLanes(const double* in0, const double* in1, double* out0, double* out1, int n,
                                   const TBlockSettings& s, int firstBand) {
  const bool stereo = s.stereo;
  TBandPipeline p{};
  bool compGainNext = false, hasComp = false;
  for (int j = 0; j < kStageSlots; ++j) {
    const int32_t code = FActiveOrder[j];
    if (code == scOutGain) continue;
    const bool gainNext = j < kStageSlots - 1 && FActiveOrder[j + 1] == scOutGain;
    p.Codes[p.StageCount] = code;
    p.GainNext[p.StageCount] = gainNext;
    ++p.StageCount;
    if (code == scComp) {
      hasComp = true;
      compGainNext = gainNext;
    }
  }
  p.Stereo = stereo;
  p.MidSide = s.msActive;
  p.Env = s.envDetector;
  p.Metering = s.metering;
  p.Inverted = s.inverted;
  p.Squared = s.squareGain;
  p.MSMode = s.msMode;
  // The L/R gain computers apply the main output gain themselves.
  p.MainOutPending = !hasComp || s.msActive;
  p.OutputGain = s.outputGain;
  const bool fold = FActiveOrder[0] == scOutGain;

  // The input as the lanes take it: left on even lanes, right on odd ones.
  double* inT = FLaneScratch + kLaneInputOffset;
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < 8; ++c) inT[i * 8 + c] = stereo && (c & 1) ? in1[i] : in0[i];

  TBandLanes lanes;
  int count = 0;
  auto add = [&](TTalvernBand& band, TBandChannelState* st, double* out, bool second) {
    lanes.Own[count] = st;
    lanes.B0[count] = fold ? st->B0 * static_cast<double>(band.OutGain) : st->B0;
    lanes.Out[count] = out;
    lanes.Link[count] = band.StereoLink;
    lanes.OutGain[count] = band.OutGain;
    lanes.Width[count] = band.Width;
    lanes.Pan[count] = second ? band.PanGainB : band.PanGainA;
    if (++count == kLaneCount) {
      RunBandLanes(lanes, count, n, p, inT, FLaneScratch);
      count = 0;
    }
  };
  for (int b = 0; b < FBandCount; ++b) {
    TTalvernBand& band = FBands[b];
    if (!band.Enabled) continue;
    if (hasComp) prepareBand(band, compGainNext && !s.msActive, !s.msActive, s);
    add(band, band.StateA, bandBuffer(b, 0, firstBand, out0, out1), false);
    if (stereo) add(band, band.StateB, bandBuffer(b, 1, firstBand, out0, out1), true);
  }
  if (count > 0) RunBandLanes(lanes, count, n, p, inT, FLaneScratch);
}

void TTalvern::processBandsOneByOne(const double* in0, const double* in1, double* out0, double* out1, int n,
                                    const TBlockSettings& s, int firstBand) {
  const bool stereo = s.stereo;
  const int32_t first = FActiveOrder[0];
  auto target = [&](int b, int ch) { return bandBuffer(b, ch, firstBand, out0, out1); };

  // Band filters, up to eight channel recursions side by side. "O.Gain" in the
  // first slot is folded into the input coefficient.
  TFilterLanes lanes;
  int laneCount = 0;
  for (int b = 0; b < FBandCount; ++b) {
    TTalvernBand& band = FBands[b];
    if (!band.Enabled) continue;
    const bool fold = first == scOutGain;
    lanes.State[laneCount] = band.StateA;
    lanes.B0[laneCount] = fold ? band.StateA->B0 * static_cast<double>(band.OutGain) : band.StateA->B0;
    lanes.In[laneCount] = in0;
    lanes.Out[laneCount] = target(b, 0);
    ++laneCount;
    if (stereo) {
      lanes.State[laneCount] = band.StateB;
      lanes.B0[laneCount] = fold ? band.StateB->B0 * static_cast<double>(band.OutGain) : band.StateB->B0;
      lanes.In[laneCount] = in1;
      lanes.Out[laneCount] = target(b, 1);
      ++laneCount;
    }
    if (laneCount == kMaxFilterLanes) {
      BandFilterRunLanes(lanes, laneCount, n);
      laneCount = 0;
    }
  }
  if (laneCount > 0) BandFilterRunLanes(lanes, laneCount, n);

  for (int b = 0; b < FBandCount; ++b) {
    TTalvernBand& band = FBands[b];
    if (!band.Enabled) continue;
    double* t0 = target(b, 0);
    double* t1 = stereo ? target(b, 1) : nullptr;
    bool mainOutPending = true;
    for (int j = 0; j < kStageSlots; ++j) {
      const int32_t code = FActiveOrder[j];
      if (code == scOutGain) continue;
      const bool gainNext = j < kStageSlots - 1 && FActiveOrder[j + 1] == scOutGain;
      runStage(band, code, gainNext, t0, t1, n, s, mainOutPending);
    }
    if (mainOutPending) {
      VecScale(t0, n, s.outputGain);
      if (stereo) VecScale(t1, n, s.outputGain);
    }
  }
}

void TTalvern::runStage(TTalvernBand& band, int code, bool gainNext, double* t0, double* t1, int n,
                        const TBlockSettings& s, bool& mainOutPending) {
  const double outGain = band.OutGain;
  switch (code) {
    case scComp:
      prepareBand(band, gainNext && !s.msActive, !s.msActive, s);
      if (!s.msActive) {
        dynamicsLR(band, t0, t1, n, s);
      } else {
        dynamicsMS(band, t0, t1, n, s);
        if (gainNext) {
          VecScale(t0, n, outGain);
          VecScale(t1, n, outGain);
        }
      }
      // The L/R gain computers already applied the main output gain.
      mainOutPending = s.msActive;
      break;
    case scWidth:
      if (!s.stereo) {
        if (gainNext) VecScale(t0, n, outGain);
        break;
      }
      VecLRToMS(t0, t1, n);
      VecScale(t1, n, band.Width);
      if (gainNext)
        VecLRToMSGain(t0, t1, n, 2.0 * outGain);
      else
        VecMSToLR(t0, t1, n);
      break;
    case scPan:
      if (!s.stereo) {
        if (gainNext) VecScale(t0, n, outGain);
        break;
      }
      VecScale(t0, n, gainNext ? static_cast<double>(band.PanGainA) * outGain : static_cast<double>(band.PanGainA));
      VecScale(t1, n, gainNext ? static_cast<double>(band.PanGainB) * outGain : static_cast<double>(band.PanGainB));
      break;
    default:
      if (gainNext) {
        VecScale(t0, n, outGain);
        if (s.stereo) VecScale(t1, n, outGain);
      }
      break;
  }
}

void TTalvern::prepareBand(TTalvernBand& band, bool useOutGain, bool withMainOut, const TBlockSettings& s) {
  TBandChannelState& a = *band.StateA;
  TBandChannelState& b = *band.StateB;
  a.OutFactor = useOutGain ? static_cast<double>(band.OutGain) : 1.0;
  if (withMainOut) a.OutFactor = a.OutFactor * s.outputGain;
  a.Dry = 1.0 - static_cast<double>(band.WetMix);
  a.Wet = band.WetMix;
  const double thresh = static_cast<double>(band.Threshold) * static_cast<double>(band.InvWeight);
  a.Thresh = s.inverted ? 1.0 / thresh : thresh;
  if (!s.metering) {
    // The non-metering gain computers leave the output factor to Dry and Wet.
    a.Dry = a.Dry * a.OutFactor;
    a.Wet = a.Wet * a.OutFactor;
  }
  b.OutFactor = a.OutFactor;
  b.Dry = a.Dry;
  b.Wet = a.Wet;
  b.Thresh = a.Thresh;
  if (a.Ratio >= 1.0) {
    a.RiseCoef = a.AttackCoef;
    a.FallCoef = a.ReleaseCoef;
  } else {
    a.RiseCoef = a.ReleaseCoef;
    a.FallCoef = a.AttackCoef;
  }
  b.RiseCoef = a.RiseCoef;
  b.FallCoef = a.FallCoef;
  band.GainSingle = kGainSingle[s.squareGain][s.metering];
  band.GainLinked = kGainLinked[s.squareGain][s.metering];
  band.GainPair = kGainPair[s.squareGain][s.metering];
}

// The band signals are already filtered: the detector is their magnitude.
void TTalvern::dynamicsLR(TTalvernBand& band, double* t0, double* t1, int n, const TBlockSettings& s) {
  TBandChannelState& a = *band.StateA;
  TBandChannelState& b = *band.StateB;
  double* d0 = FDetA;
  double* d1 = FDetB;
  if (!s.stereo) {
    VecAbs(t0, d0, n);
    if (s.envDetector) SmoothDetector(a, d0, n);
    if (s.metering) a.DetEnergy += SumOfSquares(d0, n);
    if (s.inverted) ReciprocalDetector(d0, n);
    band.GainSingle(a, t0, d0, n);
    return;
  }
  VecAbs(t0, d0, n);
  VecAbs(t1, d1, n);
  if (s.envDetector) {
    SmoothDetector(a, d0, n);
    SmoothDetector(b, d1, n);
  }
  const float link = band.StereoLink;
  if (link != 1.0f) {
    const double l = link, rest = 1.0 - l;
    for (int i = 0; i < n; ++i) {
      const double v0 = d0[i], v1 = d1[i];
      const double m = v0 > v1 ? v0 : v1;
      d0[i] = l * m + rest * v0;
      d1[i] = l * m + rest * v1;
    }
    if (s.metering) {
      a.DetEnergy += SumOfSquares(d0, n);
      b.DetEnergy += SumOfSquares(d1, n);
    }
    if (s.inverted) {
      ReciprocalDetector(d0, n);
      ReciprocalDetector(d1, n);
    }
    band.GainPair(a, t0, d0, b, t1, d1, n);
  } else {
    VecPeakHold(d1, d0, n);
    if (s.metering) a.DetEnergy += SumOfSquares(d0, n);
    if (s.inverted) ReciprocalDetector(d0, n);
    band.GainLinked(a, t0, d0, t1, n);
    // Both channels carry the shared detector and gain, so the display's
    // two-channel average shows the same level as when unlinked.
    b.DetEnergy = a.DetEnergy;
    b.GainEnergy = a.GainEnergy;
  }
}

void TTalvern::dynamicsMS(TTalvernBand& band, double* t0, double* t1, int n, const TBlockSettings& s) {
  TBandChannelState& a = *band.StateA;
  VecLRToMS(t0, t1, n);
  double* x = s.msMode == 1 ? t0 : t1;
  double* d0 = FDetA;
  VecAbs(x, d0, n);
  if (s.envDetector) SmoothDetector(a, d0, n);
  if (s.metering) a.DetEnergy += SumOfSquares(d0, n);
  if (s.inverted) ReciprocalDetector(d0, n);
  band.GainSingle(a, x, d0, n);
  VecMSToLR(t0, t1, n);
}

// ---- meters and display ------------------------------------------------------

namespace {
float levelDb(double energy, int64_t count) {
  if (count <= 0 || !(energy > 0.0)) return -1000.0f;
  return static_cast<float>(10.0 * std::log10(energy / static_cast<double>(count)));
}
}  // namespace

float TTalvern::GetInputLevel() const { return levelDb(FInEnergy, FMeterCount); }
float TTalvern::GetOutputLevel() const { return levelDb(FOutEnergy, FMeterCount); }

void TTalvern::TakeSpectrum(double* energy, double* gainPow, bool preGain, float scale, bool stereoSum,
                            double* outFactor, double* weight) {
  bool anyOutGain = false;
  for (int j = 0; j < kStageSlots; ++j) anyOutGain = anyOutGain || FActiveOrder[j] == scOutGain;
  const double mainOut = static_cast<float>(OutputGain);
  const int bands = std::min(kEnvelopeBands, FBandCount);
  for (int b = 0; b < bands; ++b) {
    const TTalvernBand& band = FBands[b];
    const TBandChannelState& a = *band.StateA;
    const TBandChannelState& c = *band.StateB;
    double e, g;
    if (stereoSum) {
      e = 0.5 * static_cast<double>(scale) * (a.DetEnergy + c.DetEnergy);
      g = 0.5 * static_cast<double>(scale) * (a.GainEnergy + c.GainEnergy);
    } else {
      e = static_cast<double>(scale) * a.DetEnergy;
      g = static_cast<double>(scale) * a.GainEnergy;
    }
    if (g == 0.0) g = 1.0;
    if (energy) energy[b] = e;
    if (gainPow) gainPow[b] = g;
    if (outFactor) outFactor[b] = preGain ? 1.0 : anyOutGain ? mainOut * static_cast<double>(band.OutGain) : mainOut;
    if (weight) weight[b] = band.Weight;
  }
  for (int b = 0; b < FBandCount; ++b) {
    for (TBandChannelState* st : {FBands[b].StateA, FBands[b].StateB}) {
      st->DetEnergy = 0.0;
      st->GainEnergy = 0.0;
    }
  }
}

void TTalvern::FormatEnvelopeValue(int kind, bool withUnit, float v, std::string& text) {
  if (kind < 0 || kind >= kEnvelopeKinds) return;
  char buf[64];
  const TEnvelopeKindInfo& info = kEnvelopeKindInfo[kind];
  info.Text(info.Setting(v), withUnit, buf, sizeof buf);
  // A value that rounds to zero reads "0", never "-0".
  if (buf[0] == '-') {
    bool zero = true;
    for (const char* p = buf + 1; *p && *p != ' '; ++p)
      if (*p >= '1' && *p <= '9') zero = false;
    if (zero) std::memmove(buf, buf + 1, std::strlen(buf));
  }
  text = buf;
}

// ---- envelope set -------------------------------------------------------------

void TTalvern::ResetAll() {
  TSyncLock lock(FSync);
  ResetEnvelopeSet(FEnvelopeSet);
  FDirtyMask |= kAllEnvelopesDirty;
}

void TTalvern::ResetEnvelope(int kind) {
  if (kind < 0 || kind >= kEnvelopeKinds) return;
  TSyncLock lock(FSync);
  ResetEnvelopeRecord(FEnvelopeSet.Envelopes[kind], kind);
  FDirtyMask |= 1u << kind;
}

TEnvelope* TTalvern::EnvelopeRecord(int kind) {
  if (kind < 0 || kind >= kEnvelopeKinds) return nullptr;
  return &FEnvelopeSet.Envelopes[kind];
}

void TTalvern::StoreEnvelope(int kind, const TEnvelope& record) {
  if (kind < 0 || kind >= kEnvelopeKinds) return;
  TSyncLock lock(FSync);
  StoreEnvelopeRecord(FEnvelopeSet.Envelopes[kind], record);
  ClampEnvelopeRecord(FEnvelopeSet.Envelopes[kind], kind);
  FDirtyMask |= 1u << kind;
}

void TTalvern::SimplifyForKnobs() {
  TSyncLock lock(FSync);
  for (int k = 0; k < kEnvelopeKinds; ++k) SimplifyEnvelopeRecord(FEnvelopeSet.Envelopes[k]);
  FDirtyMask |= kAllEnvelopesDirty;
}

bool TTalvern::LoadLegacy(const void* data, size_t size) {
  TSyncLock lock(FSync);
  if (!LoadLegacyEnvelopeSet(FEnvelopeSet, FDefaultSet, data, size)) return false;
  SanitizeEnvelopeSetIndices(FEnvelopeSet);
  // "Pan" took the default curve as well, so it is re-applied with the rest.
  FDirtyMask |= kAllEnvelopesDirty | kWeightingDirty;
  return true;
}

int32_t TTalvern::DisplayMode() {
  TSyncLock lock(FSync);
  return FEnvelopeSet.DisplayMode;
}
void TTalvern::SetDisplayMode(int32_t v) {
  TSyncLock lock(FSync);
  FEnvelopeSet.DisplayMode = v;
}
int32_t TTalvern::CurEnv() {
  TSyncLock lock(FSync);
  return FEnvelopeSet.CurEnv;
}
void TTalvern::SetCurEnv(int32_t v) {
  TSyncLock lock(FSync);
  FEnvelopeSet.CurEnv = std::clamp<int32_t>(v, 0, kEnvelopeKinds - 1);
}
int32_t TTalvern::OvrEnv() {
  TSyncLock lock(FSync);
  return FEnvelopeSet.OvrEnv;
}
void TTalvern::SetOvrEnv(int32_t v) {
  TSyncLock lock(FSync);
  FEnvelopeSet.OvrEnv = std::clamp<int32_t>(v, 0, kEnvelopeKinds);
}
int32_t TTalvern::Weighting() {
  TSyncLock lock(FSync);
  return FEnvelopeSet.Weighting;
}
void TTalvern::SetWeighting(int32_t v) {
  TSyncLock lock(FSync);
  FEnvelopeSet.Weighting = v;
  FDirtyMask |= kWeightingDirty;
}
int32_t TTalvern::Ordering(int slot) {
  if (slot < 0 || slot >= kStageSlots) return scOff;
  TSyncLock lock(FSync);
  return FEnvelopeSet.Ordering[slot];
}
void TTalvern::SetOrdering(int slot, int32_t code) {
  if (slot < 0 || slot >= kStageSlots) return;
  TSyncLock lock(FSync);
  FEnvelopeSet.Ordering[slot] = code;
}
void TTalvern::ChooseStage(int slot, int32_t code) {
  if (slot < 0 || slot >= kStageSlots) return;
  TSyncLock lock(FSync);
  int32_t* order = FEnvelopeSet.Ordering;
  if (code < 0) {
    order[slot] = scOff;
    return;
  }
  for (int i = 0; i < kStageSlots; ++i)
    if (i != slot && order[i] == code) order[i] = order[slot];
  order[slot] = code;
}
int32_t TTalvern::GraphVisible() {
  TSyncLock lock(FSync);
  return FEnvelopeSet.GraphVisible;
}
void TTalvern::SetGraphVisible(int32_t v) {
  TSyncLock lock(FSync);
  FEnvelopeSet.GraphVisible = v;
}
TEnvelopeSet TTalvern::CurrentSet() {
  TSyncLock lock(FSync);
  return FEnvelopeSet;
}
