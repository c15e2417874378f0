#pragma once
// In-memory registry for tests. Installing it (the constructor does) routes
// every registry access of the process to it; the destructor restores the OS
// store. Keys are case-insensitive as on Windows; value names too.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform::testing {

class TestRegistry : public RegistryBackend {
public:
  TestRegistry();
  ~TestRegistry() override;

  RegKey OpenRead(const std::string& path) override;
  RegKey OpenWrite(const std::string& path) override;
  bool Query(RegKey key, const std::string& name, uint32_t* type, void* data, uint32_t* size) override;
  bool Set(RegKey key, const std::string& name, uint32_t type, const void* data, uint32_t size) override;
  bool Delete(RegKey key, const std::string& name) override;
  void Close(RegKey key) override;

  // Direct access for arranging and checking.
  void Put(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes);
  void PutString(const std::string& path, const std::string& name, const std::string& text);  // with zero
  bool Get(const std::string& path, const std::string& name, uint32_t& type, std::string& bytes) const;
  bool Has(const std::string& path, const std::string& name) const;
  int OpenKeys() const { return FOpen; }
  // When set, OpenWrite fails (a registry that refuses writes).
  bool FailWrites = false;

private:
  struct Val {
    uint32_t Type;
    std::string Bytes;
  };
  using Key = std::map<std::string, Val>;
  static std::string Fold(const std::string& s);
  mutable std::mutex FMutex;
  std::map<std::string, Key> FKeys;
  int FOpen = 0;
  RegistryBackend* FPrevious;
};

}  // namespace platform::testing
