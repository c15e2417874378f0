// Staging between host singles and working doubles, and the delay lines.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp/outdelay.h"

namespace {

std::vector<float> noise(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> v(static_cast<size_t>(n));
  for (float& x : v) x = u(rng);
  return v;
}

TVSTProcessRecord makeRecord(float* in0, float* in1, float* out0, float* out1, bool replacing) {
  TVSTProcessRecord r;
  std::memset(&r, 0, sizeof r);
  r.Inputs[0] = in0;
  r.Inputs[1] = in1;
  r.Outputs[0] = out0;
  r.Outputs[1] = out1;
  r.Replacing = replacing ? -1 : 0;
  return r;
}

TEST(OutDelayer, NullInputStagesSilenceAndInputsConvertExactly) {
  TOutDelayer st(4, 0, 1, 128);
  auto in = noise(100, 1);
  for (int b = 0; b < 4; ++b)
    for (int i = 0; i < 128; ++i) st.Buffer(b)[i] = 99.0;
  TVSTProcessRecord r = makeRecord(in.data(), nullptr, nullptr, nullptr, true);
  st.StageInput(&r, 2, 2, 100);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(st.Buffer(2)[i], static_cast<double>(in[static_cast<size_t>(i)]));
    EXPECT_EQ(st.Buffer(3)[i], 0.0);
  }
  EXPECT_EQ(st.Buffer(2)[100], 99.0);  // nothing past n
  EXPECT_EQ(st.Buffer(0)[0], 99.0);    // other buffers untouched
}

struct TOutputCase {
  int channels;
  bool replacing;
  bool applyGain;
};

TEST(OutDelayer, OutputReplacesOrAccumulatesWithAndWithoutGain) {
  const TOutputCase cases[] = {{2, true, false}, {2, true, true}, {2, false, false}, {2, false, true},
                               {1, true, false}, {1, true, true}, {1, false, false}, {1, false, true}};
  const float gain = 0.6f;
  const int n = 77;
  for (const TOutputCase& c : cases) {
    TOutDelayer st(4, 0, 1, 128);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < n; ++i) {
      st.Buffer(0)[i] = u(rng);
      st.Buffer(1)[i] = u(rng);
    }
    auto o0 = noise(n + 4, 11), o1 = noise(n + 4, 12);
    const auto before0 = o0, before1 = o1;
    TVSTProcessRecord r = makeRecord(nullptr, nullptr, o0.data(), o1.data(), c.replacing);
    st.StageOutput(&r, c.channels, n, c.applyGain, gain);
    for (int i = 0; i < n; ++i) {
      const double g = c.applyGain ? double(gain) : 1.0;
      const double s0 = st.Buffer(0)[i];
      const double s1 = c.channels == 2 ? st.Buffer(1)[i] : s0;  // mono feeds both outputs
      const size_t k = static_cast<size_t>(i);
      const float e0 = c.replacing ? float(g * s0) : float(double(before0[k]) + g * s0);
      const float e1 = c.replacing ? float(g * s1) : float(double(before1[k]) + g * s1);
      EXPECT_EQ(o0[k], e0) << c.channels << c.replacing << c.applyGain << " i=" << i;
      EXPECT_EQ(o1[k], e1) << c.channels << c.replacing << c.applyGain << " i=" << i;
    }
    for (int i = n; i < n + 4; ++i) EXPECT_EQ(o0[size_t(i)], before0[size_t(i)]);
    EXPECT_EQ(r.Outputs[0], o0.data() + n);
    EXPECT_EQ(r.Outputs[1], o1.data() + n);
  }
}

// A host block walked in pieces: input staged, copied through, written back.
TEST(OutDelayer, PiecesWalkTheWholeHostBlock) {
  const int total = 300;
  auto in0 = noise(total, 21), in1 = noise(total, 22);
  std::vector<float> out0(total, 0.0f), out1(total, 0.0f);
  TOutDelayer st(4, 0, 1, 128);
  TVSTProcessRecord r = makeRecord(in0.data(), in1.data(), out0.data(), out1.data(), true);
  for (int done = 0; done < total;) {
    const int piece = std::min(128, total - done);
    st.StageInput(&r, 2, 2, piece);
    std::memcpy(st.Buffer(0), st.Buffer(2), sizeof(double) * size_t(piece));
    std::memcpy(st.Buffer(1), st.Buffer(3), sizeof(double) * size_t(piece));
    st.StageOutput(&r, 2, piece, false, 0.0f);
    done += piece;
  }
  EXPECT_EQ(out0, in0);
  EXPECT_EQ(out1, in1);
  EXPECT_EQ(r.Inputs[0], in0.data() + total);
  EXPECT_EQ(r.Inputs[1], in1.data() + total);
}

TEST(OutDelayer, DelayLinesDelayTheStagedInput) {
  const int delay = 5;
  TOutDelayer st(4, delay, 1, 16);
  auto in = noise(40, 31);
  std::vector<double> staged;
  TVSTProcessRecord r = makeRecord(in.data(), nullptr, nullptr, nullptr, true);
  for (int done = 0; done < 40; done += 8) {
    r.Inputs[0] = in.data() + done;
    st.StageInput(&r, 1, 1, 8);
    staged.insert(staged.end(), st.Buffer(1), st.Buffer(1) + 8);
  }
  for (int i = 0; i < 40; ++i) EXPECT_EQ(staged[size_t(i)], i < delay ? 0.0 : double(in[size_t(i - delay)])) << i;
}

std::vector<float> runLine(TDelayer1& d, const std::vector<float>& in) {
  std::vector<float> out(in.size());
  d.Run(in.data(), out.data(), static_cast<int>(in.size()));
  return out;
}

TEST(Delayer1, OutputIsTheInputDelayedAcrossRingWraps) {
  TDelayer1 d(3);
  d.Clear();
  auto in = noise(50, 41);
  // Pieces of odd sizes cross the ring's end at different points.
  std::vector<float> out;
  size_t pos = 0;
  for (int piece : {1, 2, 7, 3, 11, 5, 21}) {
    std::vector<float> part(in.begin() + long(pos), in.begin() + long(pos + size_t(piece)));
    auto o = runLine(d, part);
    out.insert(out.end(), o.begin(), o.end());
    pos += size_t(piece);
  }
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], i < 3 ? 0.0f : in[i - 3]) << i;
  // In place, into doubles as well.
  std::vector<float> x = {1, 2, 3, 4};
  d.Clear();
  d.Run(x.data(), x.data(), 4);
  EXPECT_EQ(x, (std::vector<float>{0, 0, 0, 1}));
  std::vector<double> y(2);
  const float more[2] = {5, 6};
  d.Run(more, y.data(), 2);
  EXPECT_EQ(y, (std::vector<double>{2, 3}));
}

TEST(Delayer1, SetLengthKeepsTheSamplesInFlight) {
  TDelayer1 d(4);
  d.KeepContents = true;
  runLine(d, {1, 2, 3, 4, 5, 6});  // in flight, oldest first: 3 4 5 6
  d.SetLength(6);
  EXPECT_EQ(runLine(d, {7, 8, 9, 10, 11, 12, 13, 14}), (std::vector<float>{3, 4, 5, 6, 0, 0, 7, 8}));
  // Shrinking keeps the oldest samples: in flight 9..14, keep 9 10.
  d.SetLength(2);
  EXPECT_EQ(runLine(d, {20, 21, 22}), (std::vector<float>{9, 10, 20}));
  EXPECT_GE(d.Capacity(), 6);

  // Without KeepContents a length change clears the line.
  TDelayer1 plain(2);
  runLine(plain, {1, 2});
  plain.SetLength(3);
  EXPECT_EQ(runLine(plain, {5, 6, 7, 8}), (std::vector<float>{0, 0, 0, 5}));
}

}  // namespace
