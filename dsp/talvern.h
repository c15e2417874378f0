#pragma once
// TTalvern: the spectral dynamics engine. A bank of constant-Q band-pass
// filters (bands at 25 * 800^(i/31) Hz, run at twice the sample rate) whose
// outputs pass through per-band stages (dynamics, band output gain, stereo
// width, pan) in a user-chosen order and are summed; no latency. Every per-band
// setting comes from an envelope of the envelope set the engine owns.
//
// Threading:
// - Process, Clear, ResetMeters, SetSampleRate and TakeSpectrum belong to the
//   audio side: the caller runs them one at a time (the chain's process lock).
//   Process takes the engine lock once per block, to copy the stage order and
//   re-apply changed envelopes; nothing else on that path locks or allocates.
// - The envelope set, the stage order and the dirty mask are shared with the
//   editor and the program calls: every operation on them (SetSlope,
//   Mark..., the envelope operations and accessors) takes the lock itself.
// - OutputGain, SquareGain, EnvDetector, MSMode, Metering and Inverted are
//   single words written by any thread without a lock and read once per block.
//
// Invariants: bands 0 .. 31 take envelope values, bands 32 .. 38 copy band
// 31's settings; only bands with Centre below 0.495 * SampleRate are enabled
// and processed; a block never exceeds kTalvernBlock samples inside (longer
// calls are split); inputs and outputs of Process must not overlap.

#include <atomic>
#include <cstdint>
#include <string>

#include "dsp/bandkernels.h"
#include "dsp/envelopes.h"

class TSyncObject;
class TPresetObject;

constexpr int kTalvernBlock = 128;
constexpr int kMaxTalvernBands = 64;
constexpr int kEnvelopeBands = 32;

// A word written by one thread and read by another without ordering: a plain
// store and load on every target, yet visible to the race detectors as atomic.
template <class T>
class TRelaxed {
public:
  TRelaxed(T v = T()) : FValue(v) {}
  TRelaxed& operator=(T v) {
    FValue.store(v, std::memory_order_relaxed);
    return *this;
  }
  operator T() const { return FValue.load(std::memory_order_relaxed); }

private:
  std::atomic<T> FValue;
};

struct TTalvernBand {
  int32_t SampleRate = 0;
  float Centre = 0;     // Hz
  float Bandwidth = 0;  // octaves
  float Position = 0;   // i / 31 on the envelope axis
  uint8_t Enabled = 0;
  TBandChannelState* StateA = nullptr;  // left, mono, or mid/side carrier
  TBandChannelState* StateB = nullptr;  // right
  float WetMix = 0;
  float OutGain = 0;    // linear
  float Threshold = 0;  // linear level
  float Weight = 0;
  float InvWeight = 0;
  float StereoLink = 0;  // 0 .. 1
  float Width = 0;       // 0 .. 2
  float Pan = 0;         // 0 .. 1, 0.5 centre
  float PanGainA = 1;
  float PanGainB = 1;
  TGainSingleProc GainSingle = nullptr;
  TGainLinkedProc GainLinked = nullptr;
  TGainPairProc GainPair = nullptr;
};

class TTalvern {
public:
  TTalvern(int32_t sampleRate, TSyncObject* sync);
  ~TTalvern();
  TTalvern(const TTalvern&) = delete;
  TTalvern& operator=(const TTalvern&) = delete;

  // Redesigns every band (resetting its states) and re-applies attack and release.
  void SetSampleRate(int32_t sampleRate);
  // Resets the channel states of every enabled band and the meters.
  void Clear();
  void ResetMeters();
  // How a block's channels are processed: one channel; two; or two whose
  // dynamics act on the mid or side component only (MSMode != 0).
  enum class TChannelMode { Mono, Stereo, MidSide };
  // One block: reads in0 (and in1 unless mono), writes out0 (and out1). A
  // stereo mode without a second input or output runs mono.
  void Process(const double* in0, const double* in1, double* out0, double* out1, int n, TChannelMode mode);

  void SetOutputGain(float gain) { OutputGain = gain; }
  // Input slope in dB per octave; pivots at 700 Hz.
  void SetSlope(float dbPerOctave);
  void MarkWeightingChanged();
  void MarkEnvelopeChanged(int kind);

  // Levels in dB of the metered input and output; -1000 when nothing was counted.
  float GetInputLevel() const;
  float GetOutputLevel() const;
  // Display snapshot of bands 0 .. 31 (arrays of 32); zeroes the band energies.
  void TakeSpectrum(double* energy, double* gainPow, bool preGain, float scale, bool stereoSum, double* outFactor,
                    double* weight);
  // The editor's text for envelope value v of kind; other kinds leave text unchanged.
  static void FormatEnvelopeValue(int kind, bool withUnit, float v, std::string& text);
  // Weighting level in dB at f Hz for a weighting code; slope as held in Slope.
  static double WeightingDb(int code, double f, double slope);

  // Envelope set (all lock).
  void ResetAll();
  void ResetEnvelope(int kind);
  // The kind's record in the current set (nullptr for a kind outside 0 .. 8).
  // Read it only while holding the lock.
  TEnvelope* EnvelopeRecord(int kind);
  void StoreEnvelope(int kind, const TEnvelope& record);
  void SimplifyForKnobs();
  void SaveToProgram(TPresetObject& program);
  void LoadFromProgram(TPresetObject& program);
  // Reads the older chunk layout; false (nothing changed) when it is too short.
  bool LoadLegacy(const void* data, size_t size);

  int32_t DisplayMode();
  void SetDisplayMode(int32_t v);
  int32_t CurEnv();
  void SetCurEnv(int32_t v);
  int32_t OvrEnv();
  void SetOvrEnv(int32_t v);
  int32_t Weighting();
  // Also marks the weighting changed.
  void SetWeighting(int32_t v);
  int32_t Ordering(int slot);
  void SetOrdering(int slot, int32_t code);
  // The editor's choice of code for a slot: a code >= 0 moves out of the slot
  // that held it (which takes this slot's old code); "Off" just clears the slot.
  void ChooseStage(int slot, int32_t code);
  int32_t GraphVisible();
  void SetGraphVisible(int32_t v);
  // Copies of the sets, taken under the lock.
  TEnvelopeSet CurrentSet();
  const TEnvelopeSet& DefaultSet() const { return FDefaultSet; }

  // Band table (audio side; read between blocks).
  int BandCount() const { return FBandCount; }
  int EnabledBandCount() const;
  const TTalvernBand& Band(int i) const { return FBands[i]; }
  int32_t SampleRate() const { return FSampleRate; }
  float Slope();
  int32_t DirtyMask();

  TRelaxed<float> OutputGain{1.0f};
  TRelaxed<uint8_t> SquareGain{0};
  TRelaxed<int32_t> EnvDetector{0};
  TRelaxed<int32_t> MSMode{0};
  TRelaxed<uint8_t> Metering{0};
  TRelaxed<uint8_t> Inverted{0};

  // Runs the bands one after another through the per-band kernels (the
  // original form of the processing) instead of in lanes; the output is the
  // same, bit for bit. Set at creation to what is faster on this CPU (see
  // LaneKernelsPreferred); tests and benchmarks switch it to compare.
  bool UseReferencePath;

private:
  struct TBlockSettings;

  void designBand(TTalvernBand& band);
  void applyEnvelope(int kind);
  void setBandValue(int kind, int b, double v);
  void copyBand31(int kind, int b);
  void computeWeighting();
  void updateParameters();
  void processPiece(const double* in0, const double* in1, double* out0, double* out1, int n, const TBlockSettings& s);
  void freeAll();
  void prepareBand(TTalvernBand& band, bool useOutGain, bool withMainOut, const TBlockSettings& s);
  void runStage(TTalvernBand& band, int code, bool gainNext, double* t0, double* t1, int n, const TBlockSettings& s,
                bool& mainOutPending);
  void dynamicsLR(TTalvernBand& band, double* t0, double* t1, int n, const TBlockSettings& s);
  void dynamicsMS(TTalvernBand& band, double* t0, double* t1, int n, const TBlockSettings& s);
  // The filters and stages of every band, eight band channels at a time.
  void processBandsInLanes(const double* in0, const double* in1, double* out0, double* out1, int n,
                           const TBlockSettings& s, int firstBand);
  // The same, band by band through the one-band kernels.
  void processBandsOneByOne(const double* in0, const double* in1, double* out0, double* out1, int n,
                            const TBlockSettings& s, int firstBand);
  double* bandBuffer(int b, int ch, int firstBand, double* out0, double* out1) {
    if (b == firstBand) return ch == 0 ? out0 : out1;
    return FBandBuffers + (2 * b + ch) * kTalvernBlock;
  }
  void markDirty(uint32_t bits);

  TSyncObject* FSync;
  int32_t FSampleRate = 0;
  TTalvernBand FBands[kMaxTalvernBands];
  int FBandCount = 0;
  uint32_t FDirtyMask = 0;
  double* FWorkBuffer = nullptr;  // the detector vectors DetA, DetB (and two spare)
  double* FDetA = nullptr;
  double* FDetB = nullptr;
  // Band outputs awaiting summation: two vectors of kTalvernBlock per band.
  double* FBandBuffers = nullptr;
  // Sample-major blocks for the lane kernels.
  double* FLaneScratch = nullptr;
  double FInEnergy = 0;
  double FOutEnergy = 0;
  int64_t FMeterCount = 0;
  int32_t FActiveOrder[kStageSlots] = {0, 1, 2, 3};
  float FSlope = 0;
  TEnvelopeSet FEnvelopeSet;
  TEnvelopeSet FDefaultSet;
};
