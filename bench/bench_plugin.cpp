// The plug-in as a host runs it: processReplacing on an instance built as
// the library entry builds it, at host block sizes from 32 to 512 samples,
// with the factory default program and with all four stages compressing.
// per_frame is the time per stereo frame; at the end a table gives each
// block size's cost per frame relative to 512-sample blocks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/TestRegistry.h"

namespace {

VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// args: block size, program (0 "Default", 14 "Overcompression")
void BM_PluginBlocks(benchmark::State& state) {
  platform::testing::TestRegistry reg;
  platform::testing::RecordingMessageBox boxes;
  RegistryRoot = "Software\\Kestrune\\";
  MakerName = "Kestrune";
  HostVersion = 2400;
  auto* module = new TEffParameters(nullptr);
  TComponent* owned = module;
  auto* fx = new TVSTEffectBase(QuietHost, module->ParamHost, owned);
  AEffect* e = fx->getAeffect();
  const int block = static_cast<int>(state.range(0));
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  e->dispatcher(e, effSetBlockSize, 0, block, nullptr, 0);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  e->dispatcher(e, effSetProgram, 0, state.range(1), nullptr, 0);
  const size_t n = 44100 / static_cast<size_t>(block) * static_cast<size_t>(block);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  std::vector<float> l(n), r(n), ol(static_cast<size_t>(block)), orr(static_cast<size_t>(block));
  for (size_t i = 0; i < n; ++i) {
    l[i] = u(rng);
    r[i] = u(rng);
  }
  size_t pos = 0;
  for (auto _ : state) {
    float* in[2] = {l.data() + pos, r.data() + pos};
    float* out[2] = {ol.data(), orr.data()};
    e->processReplacing(e, in, out, block);
    benchmark::DoNotOptimize(ol.data());
    pos = (pos + static_cast<size_t>(block)) % n;
  }
  state.counters["per_frame"] =
      benchmark::Counter(double(state.iterations()) * block, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}
BENCHMARK(BM_PluginBlocks)->ArgNames({"block", "program"})->ArgsProduct({{32, 64, 128, 512}, {0, 14}})->MinTime(0.5);

class TBlockReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const auto it = r.counters.find("per_frame");
      if (it == r.counters.end()) continue;
      const std::string name = r.benchmark_name();
      const int block = std::stoi(name.substr(name.find("block:") + 6));
      const int program = std::stoi(name.substr(name.find("program:") + 8));
      FPerFrame[program][block] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nCost per frame relative to 512-sample blocks:\n");
    for (const auto& [program, blocks] : FPerFrame) {
      const auto ref = blocks.find(512);
      if (ref == blocks.end() || ref->second <= 0) continue;
      std::printf("program %2d:", program);
      for (const auto& [block, t] : blocks) std::printf("  %4d: %.2fx", block, t / ref->second);
      std::printf("\n");
    }
  }

private:
  std::map<int, std::map<int, double>> FPerFrame;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TBlockReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
