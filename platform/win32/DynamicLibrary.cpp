#include "platform/DynamicLibrary.h"

#include <windows.h>

namespace platform {

LibraryHandle LoadSharedLibrary(const std::string& path, std::string& error) {
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h) error = "error " + std::to_string(GetLastError());
  return reinterpret_cast<LibraryHandle>(h);
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeSharedLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

std::string ExecutablePath() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

}  // namespace platform
