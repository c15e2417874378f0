// Writes the seed corpus for the fuzz targets: programs and banks made by the
// writers, in each of the input modes (see FuzzCommon.h); chunks, .fxp and
// .fxb files saved by a real instance; a settings file written by the store.
// Usage: make_corpus <dir>   (creates <dir>/program, bank, render, presetfile
// and settings)
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "params/state/MemoryBuffer.h"
#include "params/state/PresetMan.h"
#include "params/state/ZlibStreams.h"
#include "platform/Registry.h"
#include "tests/fuzz/FuzzCommon.h"
#include "tests/fuzz/FuzzPlugin.h"

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

Bytes slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A chunk's header followed by its payload inflated: the form of input mode 2.
Bytes inflatedForm(const Bytes& chunk, size_t headerSize) {
  TMemoryBuffer packed(2048);
  packed.Write(chunk.data() + headerSize, static_cast<int32_t>(chunk.size() - headerSize));
  packed.SetPosition(0);
  TMemoryBuffer plain(2048);
  {
    TDecompressionStream z(packed);
    uint8_t piece[4096];
    int32_t got;
    while ((got = z.Read(piece, sizeof piece)) > 0) plain.Write(piece, got);
  }
  Bytes form(chunk.begin(), chunk.begin() + static_cast<long>(headerSize));
  Bytes tail = contents(plain);
  form.insert(form.end(), tail.begin(), tail.end());
  return form;
}

// Chunks and files saved by a real instance, for fuzz_render and fuzz_presetfile.
void instanceSeeds(const std::string& dir) {
  fuzzplugin::TInstance instance;
  AEffect* e = instance.E;
  for (int program : {0, 3, 7, 12}) {
    e->dispatcher(e, effSetProgram, 0, program, nullptr, 0);
    void* data = nullptr;
    VstIntPtr n = e->dispatcher(e, effGetChunk, 1, 0, &data, 0);
    const std::string name = dir + "/render/program" + std::to_string(program);
    save(name, 0, Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n));
    const std::string fxp = dir + "/presetfile/program" + std::to_string(program) + ".fxp";
    instance.Dialogs.Choose(fxp);
    instance.Effect->PresetMenuCommand(nullptr, pcSavePreset);
    save(fxp + ".seed", 0, slurp(fxp));
    std::remove(fxp.c_str());
  }
  void* data = nullptr;
  VstIntPtr n = e->dispatcher(e, effGetChunk, 0, 0, &data, 0);
  save(dir + "/render/bank", 3, inflatedForm(Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n), 16));
  save(dir + "/render/legacy", 4, Bytes(static_cast<size_t>(instance.LegacyProgramSize()), 0));
  const std::string fxb = dir + "/presetfile/bank.fxb";
  instance.Dialogs.Choose(fxb);
  instance.Effect->PresetMenuCommand(nullptr, pcSaveBank);
  save(fxb + ".seed", 1, slurp(fxb));
  std::remove(fxb.c_str());
}

// A key's file as the settings store writes it, and the same with CRLF lines.
void settingsSeeds(const std::string& dir) {
  const std::string store = dir + "/settings-store";
  mkdir(store.c_str(), 0700);
  setenv("KESTRUNE_CONFIG_DIR", store.c_str(), 1);
  platform::RegistryBackend& reg = platform::OsRegistry();
  platform::RegKey k = reg.OpenWrite("Fuzz");
  if (!k) std::exit(1);
  const uint32_t len = 1234;
  reg.Set(k, "DefaultPresetLen", platform::REG_TYPE_DWORD, &len, sizeof len);
  reg.Set(k, "InitPresetFolder", platform::REG_TYPE_SZ, "/home/u/presets/", 17);
  reg.Set(k, "A", platform::REG_TYPE_BINARY, "\x01\x02\x03", 3);
  reg.Close(k);
  const Bytes file = slurp(store + "/Fuzz.reg");
  FILE* f = std::fopen((dir + "/settings/valid").c_str(), "wb");
  FILE* g = std::fopen((dir + "/settings/crlf").c_str(), "wb");
  if (!f || !g) std::exit(1);
  for (uint8_t c : file) {
    std::fputc(c, f);
    if (c == '\n') std::fputc('\r', g);
    std::fputc(c, g);
  }
  std::fclose(f);
  std::fclose(g);
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
  for (const char* sub : {"/render", "/presetfile", "/settings"}) mkdir((dir + sub).c_str(), 0755);
  instanceSeeds(dir);
  settingsSeeds(dir);

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
  save(dir + "/bank/b-deflate", 2, inflatedForm(chunk, 16));
  TBankObject empty;
  c = empty.WriteChunk(n);
  save(dir + "/bank/empty-chunk", 0, Bytes(c, c + n));
  FreeChunk(c);
  return 0;
}
