// libFuzzer target for the program chunk reader. A failed read must leave the
// program exactly as it was; a successful one must survive a re-encoding.
#include <cstdio>
#include <cstdlib>

#include "params/state/PresetMan.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

struct Snapshot {
  std::vector<std::string> names;
  std::vector<uint16_t> kinds;
  std::vector<fuzzstate::Bytes> data;
  uint8_t version;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const TPresetObject& p) {
  Snapshot s;
  for (int i = 0; i < p.EntryCount(); ++i) {
    s.names.push_back(p.EntryName(i));
    s.kinds.push_back(p.EntryKind(i));
    const auto* d = static_cast<const uint8_t*>(p.EntryData(i));
    s.data.emplace_back(d, d + p.EntrySize(i));
  }
  s.version = p.Version;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzstate::Bytes chunk = fuzzstate::chunkFromInput(data, size, 20, 9);
  TPresetObject p;
  p.Version = 3;
  p.SetSingle("MainOut", 0, 0.5f);
  p.SetBlock("_EnvPoints", 1, "abcdefgh", 8);
  Snapshot before = snapshot(p);
  // An exact-size heap copy, so any read past the chunk is caught.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[chunk.size() + 1]);
  if (!chunk.empty()) std::memcpy(exact.get(), chunk.data(), chunk.size());
  if (!p.ReadChunk(chunk.empty() ? nullptr : exact.get(), chunk.size())) {
    fuzzstate::check(snapshot(p) == before, "failed read changed the program");
    return 0;
  }
  uint32_t n = 0;
  uint8_t* again = p.WriteChunk(n);
  TPresetObject q;
  fuzzstate::check(q.ReadChunk(again, n), "re-encoded program does not read");
  FreeChunk(again);
  // Names are compared as stored: the reader upper-cases, so duplicates that
  // differ in case collapse the same way in both.
  fuzzstate::check(snapshot(q) == snapshot(p), "re-encoded program differs");
  return 0;
}
