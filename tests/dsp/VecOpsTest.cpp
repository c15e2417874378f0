// Every vector operation against its plain element-wise loop, bit for bit, at
// lengths 0..16 and odd sizes, on shifted pointers, inside guard zones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "dsp/VecOps.h"

namespace {

constexpr int kGuard = 8;
const int kLengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 33, 127, 128};

// Two double and three single arrays with guard zones, filled from a seed.
struct TVecCtx {
  int n, shift;
  std::vector<double> a, b;
  std::vector<float> f, g, h;
  double* A() { return a.data() + kGuard + shift; }
  double* B() { return b.data() + kGuard + shift; }
  float* F() { return f.data() + kGuard + shift; }
  float* G() { return g.data() + kGuard + shift; }
  float* H() { return h.data() + kGuard + shift; }

  TVecCtx(int n_, int shift_, unsigned seed) : n(n_), shift(shift_) {
    const size_t size = static_cast<size_t>(n + 2 * kGuard + 4);
    a.resize(size);
    b.resize(size);
    f.resize(size);
    g.resize(size);
    h.resize(size);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (size_t i = 0; i < size; ++i) {
      a[i] = u(rng);
      b[i] = u(rng);
      f[i] = static_cast<float>(u(rng));
      g[i] = static_cast<float>(u(rng));
      h[i] = static_cast<float>(u(rng));
    }
    // Ties and signed zeros for the comparisons.
    for (size_t i = 0; i < size; i += 5) b[i] = std::fabs(a[i]);
    if (size > 3) {
      a[kGuard + 1] = 0.0;
      b[kGuard + 1] = -0.0;
    }
  }
};

bool sameBits(const TVecCtx& x, const TVecCtx& y) {
  auto eqD = [](const std::vector<double>& p, const std::vector<double>& q) {
    return std::memcmp(p.data(), q.data(), p.size() * sizeof(double)) == 0;
  };
  auto eqF = [](const std::vector<float>& p, const std::vector<float>& q) {
    return std::memcmp(p.data(), q.data(), p.size() * sizeof(float)) == 0;
  };
  return eqD(x.a, y.a) && eqD(x.b, y.b) && eqF(x.f, y.f) && eqF(x.g, y.g) && eqF(x.h, y.h);
}

struct TVecCase {
  const char* name;
  std::function<void(TVecCtx&)> impl;
  std::function<void(TVecCtx&)> ref;
};

const double kG = 0.7071067811865476;
const float kGs = 1.3f;

std::vector<TVecCase> vecCases() {
  return {
      {"VecAdd", [](TVecCtx& c) { VecAdd(c.B(), c.A(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.A()[i] = c.A()[i] + c.B()[i];
       }},
      {"VecAddSelf", [](TVecCtx& c) { VecAdd(c.A(), c.A(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.A()[i] = c.A()[i] + c.A()[i];
       }},
      {"VecScale", [](TVecCtx& c) { VecScale(c.A(), c.n, kG); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.A()[i] = kG * c.A()[i];
       }},
      {"VecZero", [](TVecCtx& c) { VecZero(c.A(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.A()[i] = 0.0;
       }},
      {"VecFillSingle", [](TVecCtx& c) { VecFillSingle(c.F(), c.n, kGs); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = kGs;
       }},
      {"VecSingleToSanitizedDouble", [](TVecCtx& c) { VecSingleToSanitizedDouble(c.F(), c.A(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.A()[i] = c.F()[i];
       }},
      {"VecDoubleToSingle", [](TVecCtx& c) { VecDoubleToSingle(c.A(), c.F(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = static_cast<float>(c.A()[i]);
       }},
      {"VecDoubleToSingleGain", [](TVecCtx& c) { VecDoubleToSingleGain(c.A(), c.F(), c.n, kG); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = static_cast<float>(kG * c.A()[i]);
       }},
      {"VecDoubleToSingle2", [](TVecCtx& c) { VecDoubleToSingle2(c.A(), c.F(), c.G(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = c.G()[i] = static_cast<float>(c.A()[i]);
       }},
      {"VecDoubleToSingle2Gain", [](TVecCtx& c) { VecDoubleToSingle2Gain(c.A(), c.F(), c.G(), c.n, kGs); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = c.G()[i] = static_cast<float>(double(kGs) * c.A()[i]);
       }},
      {"VecAddToSingle", [](TVecCtx& c) { VecAddToSingle(c.A(), c.F(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = static_cast<float>(double(c.F()[i]) + c.A()[i]);
       }},
      {"VecAddToSingleGain", [](TVecCtx& c) { VecAddToSingleGain(c.A(), c.F(), c.n, kG); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.F()[i] = static_cast<float>(double(c.F()[i]) + kG * c.A()[i]);
       }},
      {"VecAddToSingle2", [](TVecCtx& c) { VecAddToSingle2(c.A(), c.F(), c.G(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) {
           c.F()[i] = static_cast<float>(double(c.F()[i]) + c.A()[i]);
           c.G()[i] = static_cast<float>(double(c.G()[i]) + c.A()[i]);
         }
       }},
      {"VecAddToSingle2Gain", [](TVecCtx& c) { VecAddToSingle2Gain(c.A(), c.F(), c.G(), c.n, kGs); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) {
           c.F()[i] = static_cast<float>(double(c.F()[i]) + double(kGs) * c.A()[i]);
           c.G()[i] = static_cast<float>(double(c.G()[i]) + double(kGs) * c.A()[i]);
         }
       }},
      {"VecCopySinglePad", [](TVecCtx& c) { VecCopySinglePad(c.F(), c.G(), c.n, 3); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.G()[i] = c.F()[i];
         for (int i = 0; i < 3; ++i) c.G()[c.n + i] = 0.0f;
       }},
      {"VecAbs", [](TVecCtx& c) { VecAbs(c.A(), c.B(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) c.B()[i] = std::fabs(c.A()[i]);
       }},
      {"VecPeakHold", [](TVecCtx& c) { VecPeakHold(c.A(), c.B(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i)
           if (std::fabs(c.A()[i]) > c.B()[i]) c.B()[i] = std::fabs(c.A()[i]);
       }},
      {"VecLRToMS", [](TVecCtx& c) { VecLRToMS(c.A(), c.B(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) {
           double l = c.A()[i], r = c.B()[i], d = (r - l) * -0.5;
           c.B()[i] = d;
           c.A()[i] = r + d;
         }
       }},
      {"VecMSToLR", [](TVecCtx& c) { VecMSToLR(c.A(), c.B(), c.n); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) {
           double m = c.A()[i], s = c.B()[i], d = (s - m) * -0.5;
           c.B()[i] = 2.0 * d;
           c.A()[i] = 2.0 * (s + d);
         }
       }},
      {"VecLRToMSGain", [](TVecCtx& c) { VecLRToMSGain(c.A(), c.B(), c.n, kG); },
       [](TVecCtx& c) {
         for (int i = 0; i < c.n; ++i) {
           double l = c.A()[i], r = c.B()[i], d = (r - l) * -0.5;
           c.B()[i] = kG * d;
           c.A()[i] = kG * (r + d);
         }
       }},
  };
}

TEST(VecOps, EveryOperationEqualsItsElementwiseLoop) {
  for (const TVecCase& vc : vecCases()) {
    for (int n : kLengths) {
      for (int shift : {0, 1, 3}) {
        TVecCtx impl(n, shift, 1234u + static_cast<unsigned>(n));
        TVecCtx ref(n, shift, 1234u + static_cast<unsigned>(n));
        TVecCtx untouched(n, shift, 1234u + static_cast<unsigned>(n));
        vc.impl(impl);
        vc.ref(ref);
        EXPECT_TRUE(sameBits(impl, ref)) << vc.name << " n=" << n << " shift=" << shift;
        if (n == 0 && std::strcmp(vc.name, "VecCopySinglePad") != 0) {  // the pad is written even then
          EXPECT_TRUE(sameBits(impl, untouched)) << vc.name << " changed something at n=0";
        }
      }
    }
  }
}

TEST(VecOps, SumSquaresAccumulatesInIndexOrderInExtendedPrecision) {
  for (int n : kLengths) {
    TVecCtx c(n, 1, 99u);
    long double sum = 0.0L;
    for (int i = 0; i < n; ++i) sum += static_cast<long double>(c.A()[i]) * c.A()[i];
    EXPECT_EQ(VecSumSquares(c.A(), n), static_cast<double>(sum)) << n;
  }
  EXPECT_EQ(VecSumSquares(nullptr, 0), 0.0);
}

TEST(VecOps, MidSideRoundTripReturnsTheInputPair) {
  TVecCtx c(33, 1, 7u);
  std::vector<double> l(c.A(), c.A() + 33), r(c.B(), c.B() + 33);
  VecLRToMS(c.A(), c.B(), 33);
  for (int i = 0; i < 33; ++i) {
    EXPECT_NEAR(c.A()[i], (l[i] + r[i]) / 2, 1e-15);
    EXPECT_NEAR(c.B()[i], (l[i] - r[i]) / 2, 1e-15);
  }
  VecMSToLR(c.A(), c.B(), 33);
  for (int i = 0; i < 33; ++i) {
    EXPECT_NEAR(c.A()[i], l[i], 4e-16 * 4);
    EXPECT_NEAR(c.B()[i], r[i], 4e-16 * 4);
  }
}

TEST(VecOps, NoiseTouchesEverySixteenthSampleAndCarriesItsState) {
  const double c = -1e-14 / 2147483648.0;
  std::vector<double> buf(128 + 16, 0.5);
  uint32_t state = 12345u, ref = 12345u;
  VecAddNoise(buf.data(), 8, state, 16);
  for (int i = 0; i < 128 + 16; ++i) {
    if (i % 16 == 0 && i < 128) {
      ref = ref * 2207u + 2879u;
      EXPECT_EQ(buf[i], 0.5 + static_cast<int32_t>(ref) * c) << i;
    } else {
      EXPECT_EQ(buf[i], 0.5) << i;
    }
  }
  EXPECT_EQ(state, ref);

  // Split calls give the same sequence as one call.
  std::vector<double> one(40, 0.0), split(40, 0.0);
  uint32_t s1 = 777u, s2 = 777u;
  VecAddNoise(one.data(), 40, s1, 1);
  VecAddNoise(split.data(), 13, s2, 1);
  VecAddNoise(split.data() + 13, 27, s2, 1);
  EXPECT_EQ(one, split);
  EXPECT_EQ(s1, s2);
  // Peak amplitude 1e-14.
  for (double v : one) EXPECT_LE(std::fabs(v), 1e-14);
}

TEST(AlignedBuffer, DataIsAlignedAndSizedAsRequested) {
  std::vector<void*> blocks;
  for (size_t size : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(24), size_t(1000), size_t(4096)}) {
    for (int rep = 0; rep < 5; ++rep) {
      void* p = nullptr;
      AlignedAlloc(p, size);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % kAlignedBufferAlignment, 0u);
      EXPECT_EQ(AlignedSize(p), size);
      std::memset(p, 0xA5, size);  // the whole block is writable (checked under ASan)
      blocks.push_back(p);
      // Unaligned heap blocks in between shift the next raw start.
      blocks.push_back(nullptr);
      void* q = new char[static_cast<size_t>(rep) + 1];
      delete[] static_cast<char*>(q);
    }
  }
  for (void* p : blocks)
    if (p) AlignedFree(p);
}

}  // namespace
