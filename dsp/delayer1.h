#pragma once
// TDelayer1: a single-precision delay line (ring buffer). The output of a line
// of Length L is its input delayed by L samples, starting with L zeros after
// Clear. TDumper1 holds a line's contents while its length changes.
//
// Invariants: 0 <= Position < Length whenever Length > 0; Capacity >= Length;
// the ring and the save buffer grow but never shrink.
//
// Threading: one thread at a time. Run never allocates and may be called on the
// audio thread; SetLength allocates when the line grows and must be called
// outside the audio path (or with lengths it has seen before).

#include <cstdint>
#include <memory>
#include <vector>

class TDumper1 {
public:
  // Saves n samples (grows the buffer when needed).
  void Save(const float* src, int n);
  int SavedCount() const { return FSaved; }
  const float* Data() const { return FBuffer.data(); }
  int Capacity() const { return static_cast<int>(FBuffer.size()); }

private:
  std::vector<float> FBuffer;
  int FSaved = 0;
};

class TDelayer1 {
public:
  explicit TDelayer1(int length = 0);
  ~TDelayer1();
  TDelayer1(const TDelayer1&) = delete;
  TDelayer1& operator=(const TDelayer1&) = delete;

  // Changes the delay. With KeepContents the samples in flight survive: after
  // growing the old samples come out first, then zeros; after shrinking the
  // oldest `length` samples are kept. Without it the line is cleared.
  void SetLength(int length);
  void Clear();
  // out[i] := the sample that entered Length samples earlier; dst may be src.
  void Run(const float* src, float* dst, int n);
  void Run(const float* src, double* dst, int n);

  int Length() const { return FLength; }
  int Position() const { return FPosition; }
  int Capacity() const { return static_cast<int>(FRing.size()); }
  bool KeepContents = false;

private:
  template <class TOut>
  void runPieces(const float* src, TOut* dst, int n);

  std::vector<float> FRing;
  int FPosition = 0;
  int FLength = 0;
  std::unique_ptr<TDumper1> FSaver;
};
