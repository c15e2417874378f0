#include "platform/testing/TestRegistry.h"

#include <cstring>

namespace platform::testing {

namespace {
struct Handle {
  std::string Path;
};
}  // namespace

TestRegistry::TestRegistry() { FPrevious = SetRegistryBackend(this); }
TestRegistry::~TestRegistry() { SetRegistryBackend(FPrevious); }

std::string TestRegistry::Fold(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

RegKey TestRegistry::OpenRead(const std::string& path) {
  std::lock_guard<std::mutex> g(FMutex);
  if (!FKeys.count(Fold(path))) return nullptr;
  ++FOpen;
  return new Handle{Fold(path)};
}

RegKey TestRegistry::OpenWrite(const std::string& path) {
  std::lock_guard<std::mutex> g(FMutex);
  if (FailWrites) return nullptr;
  FKeys[Fold(path)];
  ++FOpen;
  return new Handle{Fold(path)};
}

bool TestRegistry::Query(RegKey key, const std::string& name, uint32_t* type, void* data, uint32_t* size) {
  std::lock_guard<std::mutex> g(FMutex);
  auto k = FKeys.find(static_cast<Handle*>(key)->Path);
  if (k == FKeys.end()) return false;
  auto v = k->second.find(Fold(name));
  if (v == k->second.end()) return false;
  uint32_t stored = static_cast<uint32_t>(v->second.Bytes.size());
  if (type) *type = v->second.Type;
  if (!data) {
    if (size) *size = stored;
    return true;
  }
  if (!size || *size < stored) {
    if (size) *size = stored;
    return false;
  }
  std::memcpy(data, v->second.Bytes.data(), stored);
  *size = stored;
  return true;
}

bool TestRegistry::Set(RegKey key, const std::string& name, uint32_t type, const void* data, uint32_t size) {
  std::lock_guard<std::mutex> g(FMutex);
  FKeys[static_cast<Handle*>(key)->Path][Fold(name)] = Val{type, std::string(static_cast<const char*>(data), size)};
  return true;
}

bool TestRegistry::Delete(RegKey key, const std::string& name) {
  std::lock_guard<std::mutex> g(FMutex);
  return FKeys[static_cast<Handle*>(key)->Path].erase(Fold(name)) > 0;
}

void TestRegistry::Close(RegKey key) {
  std::lock_guard<std::mutex> g(FMutex);
  --FOpen;
  delete static_cast<Handle*>(key);
}

void TestRegistry::Put(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes) {
  std::lock_guard<std::mutex> g(FMutex);
  FKeys[Fold(path)][Fold(name)] = Val{type, bytes};
}

void TestRegistry::PutString(const std::string& path, const std::string& name, const std::string& text) {
  Put(path, name, REG_TYPE_SZ, text + std::string(1, '\0'));
}

bool TestRegistry::Get(const std::string& path, const std::string& name, uint32_t& type, std::string& bytes) const {
  std::lock_guard<std::mutex> g(FMutex);
  auto k = FKeys.find(Fold(path));
  if (k == FKeys.end()) return false;
  auto v = k->second.find(Fold(name));
  if (v == k->second.end()) return false;
  type = v->second.Type;
  bytes = v->second.Bytes;
  return true;
}

bool TestRegistry::Has(const std::string& path, const std::string& name) const {
  uint32_t t;
  std::string b;
  return Get(path, name, t, b);
}

}  // namespace platform::testing
