#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace platform {

LibraryHandle LoadSharedLibrary(const std::string& path, std::string& error) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    error = e ? e : "unknown error";
  }
  return h;
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void FreeSharedLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace platform
