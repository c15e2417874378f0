// libFuzzer target: program, bank and old-format chunks loaded into a real
// instance through setChunk, which then processes a block of finite and
// non-finite input. Any output that is not a finite number, and any
// sanitizer report, fails the run.
//
// Input: a mode byte, then the body.
//   mode % 5 == 0, 1, 2: a program chunk as in fuzz_program (raw, resealed,
//                        deflated payload);
//   3: a bank chunk with its header resealed and payload deflated;
//   4: an old-format program: the body cut or zero-padded to that size.
#include "tests/fuzz/FuzzPlugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzplugin::TInstance instance;
  if (size == 0) return 0;
  const uint8_t mode = data[0] % 5;
  fuzzstate::Bytes chunk;
  bool preset = true;
  if (mode < 3) {
    chunk = fuzzstate::chunkFromInput(data, size, 20, 6);
  } else if (mode == 3) {
    fuzzstate::Bytes shifted(data, data + size);
    shifted[0] = 2;
    chunk = fuzzstate::chunkFromInput(shifted.data(), shifted.size(), 16, 6);
    preset = false;
  } else {
    chunk.assign(data + 1, data + size);
    chunk.resize(static_cast<size_t>(instance.LegacyProgramSize()), 0);
  }
  if (chunk.empty()) return 0;
  // An exact-size heap copy, so any read past the chunk is caught.
  std::vector<uint8_t> exact(chunk);
  AEffect* e = instance.E;
  e->dispatcher(e, effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(exact.size()), exact.data(), 0);
  instance.ProcessAndCheck();
  // Whatever was loaded must save again.
  void* saved = nullptr;
  const VstIntPtr n = e->dispatcher(e, effGetChunk, 0, 0, &saved, 0);
  fuzzstate::check(n > 0 && saved, "the loaded state does not save");
  return 0;
}
