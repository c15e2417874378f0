#pragma once
// Element-wise operations on sample arrays and the aligned sample buffers the
// signal path works in.
//
// Every operation is a plain function over (destination, source, count[, gain]).
// A count of 0 (or less) does nothing. Source and destination may be the same
// array wherever an element is read before the same index is written. All
// arithmetic is double; a single-precision destination receives the rounded
// result of the whole expression. Each function gives exactly the result of its
// plain element-wise loop (no fused multiply-add anywhere).
//
// None of these allocate or take locks; any thread may call them.

#include <cstddef>
#include <cstdint>
#include <limits>

// Data pointers handed out by AlignedAlloc are aligned to this many bytes.
constexpr size_t kAlignedBufferAlignment = 16;

// p := a new buffer of `size` bytes (contents undefined), aligned to
// kAlignedBufferAlignment. Heap exhaustion propagates as std::bad_alloc.
void AlignedAlloc(void*& p, size_t size);
// Releases a buffer from AlignedAlloc. p must not be null; the variable is left unchanged.
void AlignedFree(void* p);
// The size requested when the buffer was allocated.
size_t AlignedSize(const void* p);

template <class T>
void AlignedAlloc(T*& p, size_t size) {
  void* raw;
  AlignedAlloc(raw, size);
  p = static_cast<T*>(raw);
}

// dst[i] := dst[i] + src[i]
void VecAdd(const double* src, double* dst, int n);
// dst[i] := g * dst[i]
void VecScale(double* dst, int n, double g);
// dst[i] := 0
void VecZero(double* dst, int n);
// dst[i] := v
void VecFillSingle(float* dst, int n, float v);
// A host sample as the engine takes it: NaN and infinities become 0, so one
// bad sample cannot poison the band recursions for the rest of the stream,
// and magnitudes are limited to 10^6 (+120 dBFS), so no gain the plug-in can
// apply takes a finite sample past the float range.
constexpr float kMaxSampleMagnitude = 1.0e6f;
inline float SanitizeSample(float x) {
  if (!((x < 0 ? -x : x) <= std::numeric_limits<float>::max())) return 0.0f;
  return x > kMaxSampleMagnitude ? kMaxSampleMagnitude : x < -kMaxSampleMagnitude ? -kMaxSampleMagnitude : x;
}
// dst[i] := SanitizeSample(src[i])
void VecSingleToSanitizedDouble(const float* src, double* dst, int n);
void VecDoubleToSingle(const double* src, float* dst, int n);
// dst[i] := g * src[i]
void VecDoubleToSingleGain(const double* src, float* dst, int n, double g);
// dst1[i] := dst2[i] := src[i]
void VecDoubleToSingle2(const double* src, float* dst1, float* dst2, int n);
// dst1[i] := dst2[i] := g * src[i]
void VecDoubleToSingle2Gain(const double* src, float* dst1, float* dst2, int n, float g);
// dst[i] := dst[i] + src[i]
void VecAddToSingle(const double* src, float* dst, int n);
// dst[i] := dst[i] + g * src[i]
void VecAddToSingleGain(const double* src, float* dst, int n, double g);
// dst1[i] += src[i]; dst2[i] += src[i]
void VecAddToSingle2(const double* src, float* dst1, float* dst2, int n);
// dst1[i] += g * src[i]; dst2[i] += g * src[i]
void VecAddToSingle2Gain(const double* src, float* dst1, float* dst2, int n, float g);
// dst[0..n-1] := src[0..n-1], then dst[n..n+m-1] := 0
void VecCopySinglePad(const float* src, float* dst, int n, int m);
// dst[i] := |src[i]|
void VecAbs(const double* src, double* dst, int n);
// dst[i] := |src[i]| where that is strictly greater than dst[i]
void VecPeakHold(const double* src, double* dst, int n);
// Sum of src[i]^2 in index order, accumulated in extended precision.
double VecSumSquares(const double* src, int n);
// In place: a := (L + R) / 2, b := (L - R) / 2, with L = a[i], R = b[i].
void VecLRToMS(double* a, double* b, int n);
// In place: a := M + S, b := M - S, with M = a[i], S = b[i]. Inverse of VecLRToMS.
void VecMSToLR(double* a, double* b, int n);
// VecLRToMS with both results multiplied by g.
void VecLRToMSGain(double* a, double* b, int n, double g);
// Adds one value of a 32-bit linear congruential noise generator (peak 1e-14)
// to dst[0], dst[step], ..., dst[(n-1)*step]; state carries across calls.
void VecAddNoise(double* dst, int n, uint32_t& state, int step);
