// Speed of loading program chunks (Google Benchmark): a real-sized program and
// hostile ones with very many distinct entries, which must load in time
// linear in their size.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "params/state/PresetMan.h"

namespace {

// A program chunk with `count` integer entries, written by the program itself.
std::vector<uint8_t> programChunk(int count) {
  TPresetObject p;
  for (int i = 0; i < count; ++i) p.SetInteger("Entry" + std::to_string(i), 0, i);
  uint32_t n = 0;
  uint8_t* c = p.WriteChunk(n);
  std::vector<uint8_t> out(c, c + n);
  FreeChunk(c);
  return out;
}

void BM_ReadProgramChunk(benchmark::State& state) {
  const std::vector<uint8_t> chunk = programChunk(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TPresetObject p;
    benchmark::DoNotOptimize(p.ReadChunk(chunk.data(), chunk.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(chunk.size()));
  state.counters["entries"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ReadProgramChunk)->Arg(100)->Arg(10000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
