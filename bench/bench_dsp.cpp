// Engine and chunk throughput. Counters: per_frame (time per stereo sample
// frame) and rt_factor (seconds of audio processed per second).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "dsp/VecOps.h"
#include "dsp/chstats.h"
#include "dsp/outdelay.h"
#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"

namespace {

constexpr int kBlock = 128;

void setFlat(TTalvern& e, int kind, float v) {
  TEnvelope r = *e.EnvelopeRecord(kind);
  r.PointCount = 2;
  r.Points[0] = {0.0f, v};
  r.Points[1] = {1.0f, v};
  e.StoreEnvelope(kind, r);
}

// 0: default settings; 1: all four stages with compression in every band.
void configure(TTalvern& e, int config, bool metering) {
  e.SetSlope(3.0f);
  e.Metering = metering ? 1 : 0;
  if (config == 1) {
    setFlat(e, ekThreshold, 0.5f);  // -25 dB
    setFlat(e, ekRatio, 0.25f);     // about 6:1
    setFlat(e, ekStereoLink, 0.5f);
    setFlat(e, ekOutGain, 0.55f);
    setFlat(e, ekWidth, 0.6f);
    setFlat(e, ekPan, 0.6f);
    e.EnvDetector = 1;
  }
}

std::vector<float> hostNoise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

void setCounters(benchmark::State& state, int fs) {
  const double frames = double(state.iterations()) * kBlock;
  // Seconds per frame, shown with an SI prefix (e.g. "400ns").
  state.counters["per_frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["rt_factor"] = benchmark::Counter(frames / fs, benchmark::Counter::kIsRate);
}

// args: sample rate, config, metering
void BM_Engine(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0));
  TSyncObject sync;
  TTalvern engine(fs, &sync);
  configure(engine, static_cast<int>(state.range(1)), state.range(2) != 0);
  const auto h0 = hostNoise(kBlock * 64, 1), h1 = hostNoise(kBlock * 64, 2);
  std::vector<double> in0(h0.begin(), h0.end()), in1(h1.begin(), h1.end());
  std::vector<double> out0(kBlock), out1(kBlock);
  size_t pos = 0;
  for (auto _ : state) {
    engine.Process(in0.data() + pos, in1.data() + pos, out0.data(), out1.data(), kBlock,
                   TTalvern::TChannelMode::Stereo);
    benchmark::DoNotOptimize(out0.data());
    pos = (pos + kBlock) % in0.size();
  }
  setCounters(state, fs);
}

// The whole chunk as the processing chain runs it: stage the host singles,
// add the anti-denormal noise, run the engine, write back, count clips.
void BM_Chunk(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0));
  const bool metering = state.range(2) != 0;
  TSyncObject sync;
  TTalvern engine(fs, &sync);
  configure(engine, static_cast<int>(state.range(1)), metering);
  TOutDelayer staging(4, 0, 1, kBlock);
  TChannelStats stats(2, fs);
  auto h0 = hostNoise(kBlock * 64, 1), h1 = hostNoise(kBlock * 64, 2);
  std::vector<float> o0(kBlock), o1(kBlock);
  uint32_t noiseState = 0;
  size_t pos = 0;
  for (auto _ : state) {
    TVSTProcessRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Inputs[0] = h0.data() + pos;
    rec.Inputs[1] = h1.data() + pos;
    rec.Outputs[0] = o0.data();
    rec.Outputs[1] = o1.data();
    rec.Replacing = -1;
    staging.StageInput(&rec, 2, 2, kBlock);
    VecAddNoise(staging.Buffer(2), (kBlock + 15) / 16, noiseState, 16);
    VecAddNoise(staging.Buffer(3), (kBlock + 15) / 16, noiseState, 16);
    engine.Process(staging.Buffer(2), staging.Buffer(3), staging.Buffer(0), staging.Buffer(1), kBlock,
                   TTalvern::TChannelMode::Stereo);
    staging.StageOutput(&rec, 2, kBlock, false, 1.0f);
    if (metering) {
      const double* bufs[2] = {staging.Buffer(0), staging.Buffer(1)};
      stats.Analyse(bufs, 2, 1.0f, kBlock);
    }
    benchmark::DoNotOptimize(o0.data());
    pos = (pos + kBlock) % h0.size();
  }
  setCounters(state, fs);
}

// Silence after loud input: the band states decay; they must not slow down.
void BM_EngineSilenceAfterLoud(benchmark::State& state) {
  const int fs = 44100;
  TSyncObject sync;
  TTalvern engine(fs, &sync);
  configure(engine, 1, false);
  const auto h = hostNoise(kBlock, 3);
  std::vector<double> loud(h.begin(), h.end()), zero(kBlock, 0.0), out0(kBlock), out1(kBlock);
  for (int i = 0; i < 100; ++i)
    engine.Process(loud.data(), loud.data(), out0.data(), out1.data(), kBlock, TTalvern::TChannelMode::Stereo);
  // Skip ahead so every band is deep in its decay.
  for (int i = 0; i < 20 * fs / kBlock; ++i)
    engine.Process(zero.data(), zero.data(), out0.data(), out1.data(), kBlock, TTalvern::TChannelMode::Stereo);
  for (auto _ : state) {
    engine.Process(zero.data(), zero.data(), out0.data(), out1.data(), kBlock, TTalvern::TChannelMode::Stereo);
    benchmark::DoNotOptimize(out0.data());
  }
  setCounters(state, fs);
}

void engineArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"fs", "allstages", "metering"});
  for (int fs : {44100, 96000})
    for (int config : {0, 1})
      for (int metering : {0, 1}) b->Args({fs, config, metering});
}

}  // namespace

BENCHMARK(BM_Engine)->Apply(engineArgs);
BENCHMARK(BM_Chunk)->Apply(engineArgs);
BENCHMARK(BM_EngineSilenceAfterLoud);
BENCHMARK_MAIN();
