// Windows registry: the ANSI API under HKEY_LOCAL_MACHINE.
#include <windows.h>

#include "platform/Registry.h"

namespace platform {
namespace {

class Win32Registry : public RegistryBackend {
public:
  RegKey OpenRead(const std::string& path) override {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return nullptr;
    return k;
  }
  RegKey OpenWrite(const std::string& path) override {
    HKEY k = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &k, &disposition) != ERROR_SUCCESS)
      return nullptr;
    return k;
  }
  bool Query(RegKey key, const std::string& name, uint32_t* type, void* data, uint32_t* size) override {
    DWORD t = 0, s = size ? *size : 0;
    LONG r = RegQueryValueExA(static_cast<HKEY>(key), name.c_str(), nullptr, &t, static_cast<BYTE*>(data), &s);
    if (type) *type = t;
    if (size) *size = s;
    return r == ERROR_SUCCESS;
  }
  bool Set(RegKey key, const std::string& name, uint32_t type, const void* data, uint32_t size) override {
    return RegSetValueExA(static_cast<HKEY>(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
  }
  bool Delete(RegKey key, const std::string& name) override {
    return RegDeleteValueA(static_cast<HKEY>(key), name.c_str()) == ERROR_SUCCESS;
  }
  void Close(RegKey key) override { RegCloseKey(static_cast<HKEY>(key)); }
};

}  // namespace

RegistryBackend& OsRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace platform
