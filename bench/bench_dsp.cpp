// Engine and chunk throughput. Counters: per_frame (time per stereo sample
// frame) and rt_factor (seconds of audio processed per second).
//
// Each case runs on the per-band reference path ("kernel:0", the engine's
// original form) and on each lane version this CPU has ("kernel:1" the best,
// then the others); at the end a table gives each version's speed-up over
// the reference, measured in this run. Signals: white noise ("signal:0")
// and music-like material ("signal:1": pink noise with sines and a
// drum-like pattern of hits).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/LaneKernels.h"
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

// Music-like host samples: pink noise (sum of one-pole lowpasses of white
// noise) at about -20 dBFS, three sines, and a hit every 250 ms that decays
// over 60 ms.
std::vector<float> hostMusic(size_t n, unsigned seed, int fs) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  double p1 = 0, p2 = 0, p3 = 0;
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) {
    const double w = u(rng);
    p1 = 0.997 * p1 + 0.03 * w;
    p2 = 0.96 * p2 + 0.1 * w;
    p3 = 0.6 * p3 + 0.2 * w;
    const double t = double(i) / fs;
    const double pink = 0.1 * (p1 + p2 + p3);
    const double sines = 0.1 * std::sin(2 * std::numbers::pi * 110 * t) +
                         0.05 * std::sin(2 * std::numbers::pi * 440 * t) +
                         0.02 * std::sin(2 * std::numbers::pi * 3000 * t);
    const double inHit = std::fmod(t, 0.25);
    const double hit = 0.5 * u(rng) * std::exp(-inHit / 0.06);
    v[i] = static_cast<float>(pink + sines + hit);
  }
  return v;
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

// Kernel argument k: 0 the reference path, 1.. the lane versions this CPU
// runs, best first. False when this CPU has no version k.
bool useKernel(TTalvern& engine, int64_t k) {
  engine.UseReferencePath = k == 0;
  if (k == 0) return SelectLaneKernel(AvailableLaneKernels().front());
  const std::vector<std::string> all = AvailableLaneKernels();
  return k <= static_cast<int64_t>(all.size()) && SelectLaneKernel(all[static_cast<size_t>(k - 1)]);
}

// Two seconds of the chosen signal, per channel.
std::vector<float> hostSignal(int64_t kind, unsigned seed, int fs) {
  const size_t n = static_cast<size_t>(2 * fs) / kBlock * kBlock;
  return kind == 0 ? hostNoise(n, seed) : hostMusic(n, seed, fs);
}

// args: sample rate, config, metering, kernel, signal
void BM_Engine(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0));
  TSyncObject sync;
  TTalvern engine(fs, &sync);
  if (!useKernel(engine, state.range(3))) return state.SkipWithError("kernel not available on this CPU");
  configure(engine, static_cast<int>(state.range(1)), state.range(2) != 0);
  const auto h0 = hostSignal(state.range(4), 1, fs), h1 = hostSignal(state.range(4), 2, fs);
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
  if (!useKernel(engine, state.range(3))) return state.SkipWithError("kernel not available on this CPU");
  configure(engine, static_cast<int>(state.range(1)), metering);
  TOutDelayer staging(4, 0, 1, kBlock);
  TChannelStats stats(2, fs);
  auto h0 = hostSignal(state.range(4), 1, fs), h1 = hostSignal(state.range(4), 2, fs);
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
// args: kernel
void BM_EngineSilenceAfterLoud(benchmark::State& state) {
  const int fs = 44100;
  TSyncObject sync;
  TTalvern engine(fs, &sync);
  if (!useKernel(engine, state.range(0))) return state.SkipWithError("kernel not available on this CPU");
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

int kernelCount() { return 1 + static_cast<int>(AvailableLaneKernels().size()); }

void engineArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"fs", "allstages", "metering", "kernel", "signal"});
  for (int fs : {44100, 96000})
    for (int config : {0, 1})
      for (int metering : {0, 1})
        for (int signal : {0, 1})
          for (int k = 0; k < kernelCount(); ++k) b->Args({fs, config, metering, k, signal});
}

void silenceArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"kernel"});
  for (int k = 0; k < kernelCount(); ++k) b->Args({k});
}

// Prints the runs as usual, then each lane version's speed-up over the
// reference path of the same case.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.benchmark_name();
      const size_t at = name.find("kernel:");
      if (at == std::string::npos) continue;
      const size_t end = name.find('/', at);
      const int k = std::stoi(name.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7));
      const std::string key = name.substr(0, at) + (end == std::string::npos ? "" : name.substr(end + 1));
      FTimes[key].resize(static_cast<size_t>(kernelCount()), 0.0);
      FTimes[key][static_cast<size_t>(k)] = r.GetAdjustedCPUTime();
      FOrder.push_back(key);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::vector<std::string> names = AvailableLaneKernels();
    std::printf("\nSpeed-up over the reference path (same run):\n%-58s", "case");
    for (const std::string& n : names) std::printf(" %9s", n.c_str());
    std::printf("\n");
    std::map<std::string, bool> done;
    for (const std::string& key : FOrder) {
      if (done[key]) continue;
      done[key] = true;
      const std::vector<double>& t = FTimes[key];
      std::printf("%-58s", key.c_str());
      for (size_t k = 1; k < t.size(); ++k)
        if (t[0] > 0 && t[k] > 0)
          std::printf(" %8.2fx", t[0] / t[k]);
        else
          std::printf(" %9s", "-");
      std::printf("\n");
    }
  }

private:
  std::map<std::string, std::vector<double>> FTimes;
  std::vector<std::string> FOrder;
};

}  // namespace

BENCHMARK(BM_Engine)->Apply(engineArgs);
BENCHMARK(BM_Chunk)->Apply(engineArgs);
BENCHMARK(BM_EngineSilenceAfterLoud)->Apply(silenceArgs);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("lane kernels on this CPU: ");
  for (const std::string& n : AvailableLaneKernels()) std::printf("%s ", n.c_str());
  std::printf("\n");
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
