// Many threads encode and decode programs and banks at once through the
// shared buffers: every chunk must equal its single-threaded encoding and
// decode to the same contents.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "params/state/PresetMan.h"
#include "tests/state/StateTestUtil.h"

using namespace statetest;

namespace {

constexpr int kSeeds = 12;

void fillBank(TBankObject& b, uint32_t seed) {
  for (uint32_t i = 0; i < 1 + seed % 4; ++i) {
    TBankObjectItem* item = b.Add(nullptr, true);
    item->Name = "P" + std::to_string(seed) + "." + std::to_string(i);
    FillSample(*item->Program(), seed * 10 + i);
  }
}

template <class T>
Bytes encode(const T& object) {
  uint32_t n = 0;
  uint8_t* block = object.WriteChunk(n);
  Bytes out(block, block + n);
  FreeChunk(block);
  return out;
}

TEST(ChunkThreads, ConcurrentEncodeAndDecodeGiveCorrectChunks) {
  std::vector<Bytes> programRef, bankRef, bankTree;
  std::vector<std::vector<Entry>> programEntries;
  for (uint32_t s = 0; s < kSeeds; ++s) {
    TPresetObject p;
    FillSample(p, s);
    for (uint32_t k = 0; k < s * 40; ++k) p.SetSingle("V", static_cast<int>(k), static_cast<float>(k));
    programRef.push_back(encode(p));
    programEntries.push_back(Snapshot(p));
    TBankObject b;
    fillBank(b, s);
    bankRef.push_back(encode(b));
    bankTree.push_back(Describe(b));
  }

  const int threads = std::max(4u, std::min(8u, std::thread::hardware_concurrency() * 2));
  std::atomic<int> failures{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (int iter = 0; iter < 60; ++iter) {
        uint32_t s = static_cast<uint32_t>(t * 7 + iter) % kSeeds;
        TPresetObject p;
        FillSample(p, s);
        for (uint32_t k = 0; k < s * 40; ++k) p.SetSingle("V", static_cast<int>(k), static_cast<float>(k));
        if (encode(p) != programRef[s]) ++failures;
        TPresetObject back;
        if (!back.ReadChunk(programRef[s].data(), programRef[s].size()) || Snapshot(back) != programEntries[s])
          ++failures;

        TBankObject b;
        fillBank(b, s);
        if (encode(b) != bankRef[s]) ++failures;
        TBankObject bb;
        if (!bb.ReadChunk(bankRef[s].data(), bankRef[s].size()) || Describe(bb) != bankTree[s]) ++failures;
      }
    });
  }
  for (auto& th : pool) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
