#pragma once
// TOutDelayer: moves samples between the host's single-precision buffers and
// the double-precision working buffers: StageInput converts a piece of input
// (through an optional delay line per buffer), StageOutput writes buffers 0
// and 1 back to the host outputs, replacing or accumulating, and advances the
// record's pointers so a host block is walked in pieces.
//
// Invariants: BufferCount working buffers of BlockLength * multiplier doubles,
// allocated at creation and never resized; a piece never exceeds that length.
// Null input pointers stage silence; null output pointers are skipped.
//
// Threading: created and destroyed outside the audio path; StageInput and
// StageOutput run on the audio thread and never allocate.

#include <cstdint>
#include <memory>

#include "dsp/ProcessRecord.h"
#include "dsp/delayer1.h"

class TOutDelayer {
public:
  // delay > 0 gives every buffer its own delay line of that many samples,
  // keeping its contents across length changes.
  TOutDelayer(int bufferCount, int delay, int multiplier, int blockLength);
  ~TOutDelayer();
  TOutDelayer(const TOutDelayer&) = delete;
  TOutDelayer& operator=(const TOutDelayer&) = delete;

  // Buffer first + k := input k for k < channels, n samples (n <= BufferLength()).
  void StageInput(TVSTProcessRecord* rec, int channels, int first, int n);
  // Buffers 0 (and 1 when stereo) to the outputs, then advances the pointers by n.
  void StageOutput(TVSTProcessRecord* rec, int channels, int n, bool applyGain, float gain);

  double* Buffer(int i) const { return FBuffers[i]; }
  TDelayer1* Delayer(int i) const { return FDelayers[i].get(); }
  int BufferCount() const { return FBufferCount; }
  int BlockLength() const { return FBlockLength; }
  int BufferLength() const { return FBufferLength; }
  int Delay() const { return FDelay; }

private:
  void freeAll();

  int FBufferCount;
  int FBlockLength;
  int FBufferLength;
  int FDelay;
  double* FBuffers[kMaxChannels] = {};
  std::unique_ptr<TDelayer1> FDelayers[kMaxChannels];
};
