#include "hostkit/PluginLibrary.h"

#include <cstdlib>
#include <fstream>

#include "platform/DynamicLibrary.h"

namespace hostkit {

bool PluginLibrary::Load(const std::string& path) {
  Unload();
  FPath = path;
  FError.clear();
  std::string why;
  FHandle = platform::LoadSharedLibrary(path, why);
  if (!FHandle) {
    FError = "cannot load " + path + ": " + why;
    return false;
  }
  FEntry = reinterpret_cast<PluginEntry>(platform::FindLibrarySymbol(FHandle, "VSTPluginMain"));
  if (!FEntry) FEntry = reinterpret_cast<PluginEntry>(platform::FindLibrarySymbol(FHandle, "main"));
  if (!FEntry) {
    FError = path + " has no VST 2.x entry (VSTPluginMain or main)";
    Unload();
    return false;
  }
  return true;
}

void PluginLibrary::Unload() {
  if (!FHandle) return;
  platform::FreeSharedLibrary(FHandle);
  FHandle = nullptr;
  FEntry = nullptr;
}

std::string ExecutableDir() {
  std::string p = platform::ExecutablePath();
  size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}
static bool Exists(const std::string& p) { return std::ifstream(p).good(); }

std::string DefaultPluginPath() {
  if (const char* env = std::getenv("KESTRUNE_PLUGIN"); env && *env) return env;
#if defined(_WIN32)
  const char* name = "Talvern.dll";
#else
  const char* name = "Talvern.so";
#endif
  std::string dir = ExecutableDir();
  for (const std::string& c :
       {dir + name, dir + "../plugin/" + name, dir + "../../plugin/" + name, dir + "../lib/" + name})
    if (Exists(c)) return c;
  return dir + name;
}

}  // namespace hostkit
