#include "hostkit/PluginLibrary.h"

#include <cstdlib>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace hostkit {

bool PluginLibrary::Load(const std::string& path) {
  Unload();
  FPath = path;
  FError.clear();
#if defined(_WIN32)
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h) {
    FError = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  FHandle = h;
  FEntry = reinterpret_cast<PluginEntry>(reinterpret_cast<void*>(GetProcAddress(h, "VSTPluginMain")));
  if (!FEntry) FEntry = reinterpret_cast<PluginEntry>(reinterpret_cast<void*>(GetProcAddress(h, "main")));
#else
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    FError = "cannot load " + path + (e ? std::string(": ") + e : std::string());
    return false;
  }
  FHandle = h;
  FEntry = reinterpret_cast<PluginEntry>(dlsym(h, "VSTPluginMain"));
  if (!FEntry) FEntry = reinterpret_cast<PluginEntry>(dlsym(h, "main"));
#endif
  if (!FEntry) {
    FError = path + " has no VST 2.x entry (VSTPluginMain or main)";
    Unload();
    return false;
  }
  return true;
}

void PluginLibrary::Unload() {
  if (!FHandle) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(FHandle));
#else
  dlclose(FHandle);
#endif
  FHandle = nullptr;
  FEntry = nullptr;
}

std::string ExecutableDir() {
#if defined(_WIN32)
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string p(buf, n);
  size_t cut = p.find_last_of("\\/");
#else
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  size_t cut = p.find_last_of('/');
#endif
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
  for (const std::string& c : {dir + name, dir + "../plugin/" + name, dir + "../../plugin/" + name,
                               dir + "../lib/" + name})
    if (Exists(c)) return c;
  return dir + name;
}

}  // namespace hostkit
