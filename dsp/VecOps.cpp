#include "dsp/VecOps.h"

#include <cmath>
#include <cstring>
#include <new>

// Buffer layout: the raw block is size + 32 bytes from the general heap. The
// data pointer is the first 16-byte boundary at least 16 bytes above the raw
// start; the 8 bytes below it hold the requested size (64-bit, little-endian:
// the size word followed by a zero word for any size below 4 GiB) and the
// 32-bit word below that the distance back to the raw start.
namespace {
constexpr size_t kHeaderRoom = 16;

inline uint64_t* sizeSlot(void* data) { return reinterpret_cast<uint64_t*>(static_cast<char*>(data) - 8); }
inline uint32_t* offsetSlot(void* data) { return reinterpret_cast<uint32_t*>(static_cast<char*>(data) - 12); }
}  // namespace

void AlignedAlloc(void*& p, size_t size) {
  char* raw = static_cast<char*>(::operator new(size + kHeaderRoom + kAlignedBufferAlignment));
  uintptr_t start = reinterpret_cast<uintptr_t>(raw) + kHeaderRoom;
  uintptr_t aligned = (start + kAlignedBufferAlignment - 1) & ~uintptr_t(kAlignedBufferAlignment - 1);
  void* data = reinterpret_cast<void*>(aligned);
  *sizeSlot(data) = size;
  *offsetSlot(data) = static_cast<uint32_t>(aligned - reinterpret_cast<uintptr_t>(raw));
  p = data;
}

void AlignedFree(void* p) {
  char* raw = static_cast<char*>(p) - *offsetSlot(p);
  ::operator delete(raw);
}

size_t AlignedSize(const void* p) { return static_cast<size_t>(*sizeSlot(const_cast<void*>(p))); }

void VecAdd(const double* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = dst[i] + src[i];
}

void VecScale(double* dst, int n, double g) {
  for (int i = 0; i < n; ++i) dst[i] = g * dst[i];
}

void VecZero(double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = 0.0;
}

void VecFillSingle(float* dst, int n, float v) {
  for (int i = 0; i < n; ++i) dst[i] = v;
}

void VecSingleToSanitizedDouble(const float* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = SanitizeSample(src[i]);
}

void VecDoubleToSingle(const double* src, float* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}

void VecDoubleToSingleGain(const double* src, float* dst, int n, double g) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(g * src[i]);
}

void VecDoubleToSingle2(const double* src, float* dst1, float* dst2, int n) {
  for (int i = 0; i < n; ++i) {
    float v = static_cast<float>(src[i]);
    dst1[i] = v;
    dst2[i] = v;
  }
}

void VecDoubleToSingle2Gain(const double* src, float* dst1, float* dst2, int n, float g) {
  const double gd = g;
  for (int i = 0; i < n; ++i) {
    float v = static_cast<float>(gd * src[i]);
    dst1[i] = v;
    dst2[i] = v;
  }
}

void VecAddToSingle(const double* src, float* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(static_cast<double>(dst[i]) + src[i]);
}

void VecAddToSingleGain(const double* src, float* dst, int n, double g) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(static_cast<double>(dst[i]) + g * src[i]);
}

void VecAddToSingle2(const double* src, float* dst1, float* dst2, int n) {
  for (int i = 0; i < n; ++i) {
    double v = src[i];
    dst1[i] = static_cast<float>(static_cast<double>(dst1[i]) + v);
    dst2[i] = static_cast<float>(static_cast<double>(dst2[i]) + v);
  }
}

void VecAddToSingle2Gain(const double* src, float* dst1, float* dst2, int n, float g) {
  const double gd = g;
  for (int i = 0; i < n; ++i) {
    double v = gd * src[i];
    dst1[i] = static_cast<float>(static_cast<double>(dst1[i]) + v);
    dst2[i] = static_cast<float>(static_cast<double>(dst2[i]) + v);
  }
}

void VecCopySinglePad(const float* src, float* dst, int n, int m) {
  for (int i = 0; i < n; ++i) dst[i] = src[i];
  float* pad = dst + (n > 0 ? n : 0);
  for (int i = 0; i < m; ++i) pad[i] = 0.0f;
}

void VecAbs(const double* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = std::fabs(src[i]);
}

void VecPeakHold(const double* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) {
    double a = std::fabs(src[i]);
    dst[i] = a > dst[i] ? a : dst[i];
  }
}

double VecSumSquares(const double* src, int n) {
  long double sum = 0.0L;
  for (int i = 0; i < n; ++i) {
    long double v = src[i];
    sum += v * v;
  }
  return static_cast<double>(sum);
}

void VecLRToMS(double* a, double* b, int n) {
  for (int i = 0; i < n; ++i) {
    double l = a[i], r = b[i];
    double d = (r - l) * -0.5;
    b[i] = d;
    a[i] = r + d;
  }
}

void VecMSToLR(double* a, double* b, int n) {
  for (int i = 0; i < n; ++i) {
    double m = a[i], s = b[i];
    double d = (s - m) * -0.5;
    b[i] = 2.0 * d;
    a[i] = 2.0 * (s + d);
  }
}

void VecLRToMSGain(double* a, double* b, int n, double g) {
  for (int i = 0; i < n; ++i) {
    double l = a[i], r = b[i];
    double d = (r - l) * -0.5;
    b[i] = g * d;
    a[i] = g * (r + d);
  }
}

void VecAddNoise(double* dst, int n, uint32_t& state, int step) {
  // -1e-14 / 2^31: the signed state scaled to a peak of 1e-14.
  const double c = -1e-14 / 2147483648.0;
  uint32_t s = state;
  for (int k = 0; k < n; ++k) {
    s = s * 2207u + 2879u;
    int32_t signedState;
    std::memcpy(&signedState, &s, sizeof signedState);
    double* p = dst + static_cast<ptrdiff_t>(k) * step;
    *p = *p + signedState * c;
  }
  state = s;
}
