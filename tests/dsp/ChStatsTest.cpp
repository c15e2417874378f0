#include <gtest/gtest.h>

#include <vector>

#include "dsp/chstats.h"

namespace {

struct TClipCase {
  const char* name;
  std::vector<std::vector<double>> blocks;  // fed one after another to channel 0
  float gain;
  int clips;
};

TEST(ChannelStats, CountsRunsOfThreeFullScaleSamples) {
  const double fs = 32767.0 / 32768.0;
  const TClipCase cases[] = {
      {"two then normal", {{1.0, -1.0, 0.5}}, 1.0f, 0},
      {"three", {{1.0, 1.0, 1.0, 0.0}}, 1.0f, 1},
      {"ten", {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}, 1.0f, 1},
      {"two runs", {{1, 1, 1, 0, -1, -1, -1}}, 1.0f, 2},
      {"just at full scale", {{fs, fs, fs}}, 1.0f, 1},
      {"just below (rounds to 32766)", {{32766.4 / 32768, 32766.4 / 32768, 32766.4 / 32768}}, 1.0f, 0},
      {"negative full scale", {{-1.0, -1.0, -1.0}}, 1.0f, 1},
      {"run across blocks", {{0.0, 1.0, 1.0}, {1.0, 1.0}, {0.0}}, 1.0f, 1},
      {"gain +6 dB", {{0.6, 0.6, 0.6}}, 1.9952623f, 1},
      {"gain 1: 0.6 is fine", {{0.6, 0.6, 0.6}}, 1.0f, 0},
  };
  for (const TClipCase& c : cases) {
    TChannelStats stats(2, 44100);
    for (const auto& block : c.blocks) {
      const double* bufs[2] = {block.data(), nullptr};
      stats.Analyse(bufs, 2, c.gain, static_cast<int>(block.size()));
    }
    EXPECT_EQ(stats.ClipCount(0), c.clips) << c.name;
    EXPECT_EQ(stats.ClipCount(1), 0) << c.name;
  }
}

TEST(ChannelStats, ResetClearsCountsAndTheRunInProgress) {
  TChannelStats stats(2, 44100);
  const double loud[3] = {1, 1, 1};
  const double* bufs[2] = {loud, loud};
  stats.Analyse(bufs, 2, 1.0f, 3);
  EXPECT_EQ(stats.ClipCount(1), 1);
  stats.Analyse(bufs, 2, 1.0f, 2);  // run of five in progress
  stats.Reset();
  EXPECT_EQ(stats.ClipCount(0), 0);
  stats.Analyse(bufs, 2, 1.0f, 2);  // a fresh run of two: nothing yet
  EXPECT_EQ(stats.ClipCount(0), 0);
  stats.Analyse(bufs, 2, 1.0f, 1);
  EXPECT_EQ(stats.ClipCount(0), 1);
  EXPECT_EQ(stats.ClipCount(5), 0);  // out of range
}

}  // namespace
