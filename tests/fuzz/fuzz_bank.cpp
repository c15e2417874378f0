// libFuzzer target for the bank chunk reader. A failed read must leave the
// bank exactly as it was; a successful one must survive a re-encoding.
#include <cstdio>
#include <cstdlib>

#include "params/state/PresetMan.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

void describe(const TBankObjectItem& node, std::string& out) {
  out += node.Name;
  out += '\0';
  out += std::to_string(node.ChildCount());
  if (const TPresetObject* p = node.Program()) {
    out += "P" + std::to_string(p->Version);
    for (int i = 0; i < p->EntryCount(); ++i) {
      out += p->EntryName(i);
      out += std::to_string(p->EntryKind(i)) + ":" + std::to_string(p->EntrySize(i)) + ":";
      out.append(static_cast<const char*>(p->EntryData(i)), p->EntrySize(i));
    }
  }
  for (int i = 0; i < node.ChildCount(); ++i) describe(*node.Child(i), out);
}

std::string describe(const TBankObject& b) {
  std::string out;
  describe(*b.Root(), out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzstate::Bytes chunk = fuzzstate::chunkFromInput(data, size, 16, 1);
  TBankObject bank;
  TBankObjectItem* item = bank.Add(nullptr, true);
  item->Name = "Radio Mix";
  item->Program()->SetInteger("_CurEnv", 0, 4);
  std::string before = describe(bank);
  std::unique_ptr<uint8_t[]> exact(new uint8_t[chunk.size() + 1]);
  if (!chunk.empty()) std::memcpy(exact.get(), chunk.data(), chunk.size());
  if (!bank.ReadChunk(chunk.empty() ? nullptr : exact.get(), chunk.size())) {
    fuzzstate::check(describe(bank) == before, "failed read changed the bank");
    return 0;
  }
  uint32_t n = 0;
  uint8_t* again = bank.WriteChunk(n);
  TBankObject copy;
  fuzzstate::check(copy.ReadChunk(again, n), "re-encoded bank does not read");
  FreeChunk(again);
  fuzzstate::check(describe(copy) == describe(bank), "re-encoded bank differs");
  return 0;
}
