#pragma once
// Port: a registry of keys under HKEY_LOCAL_MACHINE holding typed values.
// Win32: the ANSI registry API. Linux: a file store (see posix/FileRegistry.cpp).
// Tests install an in-memory store with SetRegistryBackend.
//
// The interface mirrors the Win32 calls the registry helpers make: open a key
// for reading, create-or-open it for writing, query a value (size first, then
// data), set, delete, close.

#include <cstdint>
#include <string>

namespace platform {

enum RegValueType : uint32_t { REG_TYPE_NONE = 0, REG_TYPE_SZ = 1, REG_TYPE_BINARY = 3, REG_TYPE_DWORD = 4 };

using RegKey = void*;

class RegistryBackend {
public:
  virtual ~RegistryBackend() = default;
  // Opens an existing key with query access; nullptr when it does not exist.
  virtual RegKey OpenRead(const std::string& path) = 0;
  // Creates or opens the key with full access; nullptr on failure.
  virtual RegKey OpenWrite(const std::string& path) = 0;
  // Like RegQueryValueExA: when data is null only *size and *type are filled.
  // With data, fails (returns false) when *size is smaller than the stored size;
  // *size then receives the stored size. Returns false when the value is missing.
  virtual bool Query(RegKey key, const std::string& name, uint32_t* type, void* data, uint32_t* size) = 0;
  virtual bool Set(RegKey key, const std::string& name, uint32_t type, const void* data, uint32_t size) = 0;
  virtual bool Delete(RegKey key, const std::string& name) = 0;
  virtual void Close(RegKey key) = 0;
};

// The active backend: the OS store unless a test installed another.
RegistryBackend& Registry();
// Installs a backend (nullptr restores the OS store). Returns the previous one.
RegistryBackend* SetRegistryBackend(RegistryBackend* backend);
// The OS store itself.
RegistryBackend& OsRegistry();

}  // namespace platform
