#include "dsp/delayer1.h"

#include <algorithm>

#include "dsp/VecOps.h"

void TDumper1::Save(const float* src, int n) {
  if (n < 0) n = 0;
  if (static_cast<int>(FBuffer.size()) < n) FBuffer.resize(static_cast<size_t>(n));
  std::copy(src, src + n, FBuffer.begin());
  FSaved = n;
}

TDelayer1::TDelayer1(int length) { SetLength(length); }

TDelayer1::~TDelayer1() = default;

void TDelayer1::SetLength(int length) {
  if (length < 0) length = 0;
  if (KeepContents) {
    if (!FSaver) FSaver = std::make_unique<TDumper1>();
    // Oldest first: the samples from Position to the end, then from the start.
    std::vector<float> ordered(static_cast<size_t>(FLength));
    for (int i = 0; i < FLength; ++i)
      ordered[static_cast<size_t>(i)] = FRing[static_cast<size_t>((FPosition + i) % FLength)];
    FSaver->Save(ordered.data(), FLength);
  }
  FLength = length;
  if (static_cast<int>(FRing.size()) < length) FRing.resize(static_cast<size_t>(length));
  if (length != 0) {
    if (FSaver) {
      int saved = FSaver->SavedCount();
      int kept = std::min(saved, length);
      std::fill(FRing.begin() + kept, FRing.begin() + length, 0.0f);
      std::copy(FSaver->Data(), FSaver->Data() + kept, FRing.begin());
    } else {
      Clear();
    }
  }
  FPosition = 0;
}

void TDelayer1::Clear() {
  std::fill(FRing.begin(), FRing.begin() + FLength, 0.0f);
  FPosition = 0;
}

template <class TOut>
void TDelayer1::runPieces(const float* src, TOut* dst, int n) {
  if (FLength <= 0) {
    for (int i = 0; i < n; ++i) dst[i] = static_cast<TOut>(SanitizeSample(src[i]));
    return;
  }
  float* ring = FRing.data();
  int done = 0;
  while (done < n) {
    int piece = std::min(n - done, FLength - FPosition);
    for (int i = 0; i < piece; ++i) {
      float in = SanitizeSample(src[done + i]);
      float out = ring[FPosition + i];
      ring[FPosition + i] = in;
      dst[done + i] = static_cast<TOut>(out);
    }
    done += piece;
    FPosition += piece;
    if (FPosition >= FLength) FPosition = 0;
  }
}

void TDelayer1::Run(const float* src, float* dst, int n) { runPieces(src, dst, n); }
void TDelayer1::Run(const float* src, double* dst, int n) { runPieces(src, dst, n); }
