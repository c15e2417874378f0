// Writes the seed corpus for the fuzz targets: programs and banks made by the
// writers, in each of the input modes (see FuzzCommon.h).
// Usage: make_corpus <dir>   (creates <dir>/program and <dir>/bank)
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "params/state/MemoryBuffer.h"
#include "params/state/PresetMan.h"
#include "params/state/ZlibStreams.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

using fuzzstate::Bytes;

void save(const std::string& path, uint8_t mode, const Bytes& body) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fputc(mode, f);
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
}

Bytes contents(TMemoryBuffer& b) {
  Bytes out(static_cast<size_t>(b.Size()));
  b.SetPosition(0);
  b.Read(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

void fill(TPresetObject& p, int variant) {
  p.Version = 2;
  p.SetSingle("MainOut", 0, 0.5f);
  p.SetSingle("InSlope", 0, 0.3f);
  p.SetInteger("_CurEnv", 0, variant);
  float pts[4] = {0.f, 1.f, 1.f, 0.25f * static_cast<float>(variant)};
  for (int i = 0; i < 1 + variant; ++i) p.SetBlock("_EnvPoints", i, pts, sizeof pts);
  p.SetInteger("_Ordering", 2, -1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <dir>\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/program").c_str(), 0755);
  mkdir((dir + "/bank").c_str(), 0755);

  for (int v = 0; v < 3; ++v) {
    TPresetObject p;
    if (v > 0) fill(p, v);
    uint32_t n = 0;
    uint8_t* c = p.WriteChunk(n);
    // The stand-alone chunk is 1024 bytes or more; its zlib part is short.
    Bytes chunk(c, c + n);
    FreeChunk(c);
    std::string base = dir + "/program/p" + std::to_string(v);
    save(base + "-chunk", 0, chunk);
    save(base + "-resealed", 1, chunk);
    TMemoryBuffer plain(2048);
    p.WriteToStream(plain);
    Bytes form = contents(plain);
    save(base + "-plain", 0, form);
    save(base + "-deflate", 2, form);
  }

  TBankObject bank;
  for (int v = 0; v < 3; ++v) {
    TBankObjectItem* item = bank.Add(nullptr, v != 1);
    item->Name = "Program " + std::to_string(v);
    if (item->Program()) fill(*item->Program(), v);
  }
  bank.Add(bank.Root()->Child(1), true)->Name = "nested";
  uint32_t n = 0;
  uint8_t* c = bank.WriteChunk(n);
  Bytes chunk(c, c + n);
  FreeChunk(c);
  save(dir + "/bank/b-chunk", 0, chunk);
  save(dir + "/bank/b-resealed", 1, chunk);
  // Header plus the inflated node stream, for mode 2.
  TMemoryBuffer packed(2048);
  packed.Write(chunk.data() + 16, static_cast<int32_t>(chunk.size() - 16));
  packed.SetPosition(0);
  TMemoryBuffer nodes(2048);
  {
    TDecompressionStream z(packed);
    uint8_t piece[4096];
    int32_t got;
    while ((got = z.Read(piece, sizeof piece)) > 0) nodes.Write(piece, got);
  }
  Bytes form(chunk.begin(), chunk.begin() + 16);
  Bytes tree = contents(nodes);
  form.insert(form.end(), tree.begin(), tree.end());
  save(dir + "/bank/b-deflate", 2, form);
  TBankObject empty;
  c = empty.WriteChunk(n);
  save(dir + "/bank/empty-chunk", 0, Bytes(c, c + n));
  FreeChunk(c);
  return 0;
}
