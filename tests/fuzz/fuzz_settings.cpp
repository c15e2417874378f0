// libFuzzer target: the Linux settings store's file parser. The input is one
// key's file as it may lie on disk (damaged, truncated, CRLF, anything); the
// target reads values from it, then writes one. The written value must read
// back, and when the store kept a copy of a damaged file aside, that copy
// must hold the file exactly as it was.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Registry.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

std::string makeDir() {
  char tmpl[] = "/tmp/fuzz_settings.XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) std::abort();
  setenv("KESTRUNE_CONFIG_DIR", dir, 1);
  return dir;
}

std::string slurp(const std::string& path, bool& exists) {
  std::ifstream in(path, std::ios::binary);
  exists = static_cast<bool>(in);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = makeDir();
  const std::string file = dir + "/Fuzz.reg", damaged = file + ".damaged";
  std::remove(damaged.c_str());
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  platform::RegistryBackend& reg = platform::OsRegistry();
  if (platform::RegKey k = reg.OpenRead("Fuzz")) {
    for (const char* name : {"A", "DefaultPresetLen", "InitPresetFolder", ""}) {
      uint32_t type = 0, n = 0;
      if (reg.Query(k, name, &type, nullptr, &n) && n <= (1u << 20)) {
        std::string value(n, '\0');
        reg.Query(k, name, &type, value.data(), &n);
      }
    }
    reg.Close(k);
  }
  platform::RegKey w = reg.OpenWrite("Fuzz");
  fuzzstate::check(w != nullptr, "the store cannot open its own key for writing");
  const char written[] = "new value";
  const bool stored = reg.Set(w, "FuzzNew", platform::REG_TYPE_SZ, written, sizeof written);
  reg.Close(w);
  bool kept = false;
  const std::string copy = slurp(damaged, kept);
  if (kept)
    fuzzstate::check(copy.size() == size && std::memcmp(copy.data(), data, size) == 0,
                     "the copy of a damaged file differs from it");
  if (stored) {
    platform::RegKey r = reg.OpenRead("Fuzz");
    fuzzstate::check(r != nullptr, "a written key does not open");
    char back[sizeof written] = {};
    uint32_t type = 0, n = sizeof back;
    fuzzstate::check(
        reg.Query(r, "FuzzNew", &type, back, &n) && n == sizeof written && std::memcmp(back, written, n) == 0,
        "a written value does not read back");
    reg.Close(r);
  }
  return 0;
}
