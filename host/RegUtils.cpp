#include "host/RegUtils.h"

#include <vector>

#include "classlib/SysUtils.h"

using platform::RegKey;

bool RegOpenRead(const std::string& keyPath, RegKey& key) {
  key = platform::Registry().OpenRead(keyPath);
  return key != nullptr;
}

bool RegOpenWrite(const std::string& keyPath, RegKey& key) {
  key = platform::Registry().OpenWrite(keyPath);
  return key != nullptr;
}

std::string RegReadString(const std::string& keyPath, const std::string& name) {
  RegKey key;
  if (!RegOpenRead(keyPath, key)) return std::string();
  auto& reg = platform::Registry();
  std::string result;
  uint32_t type = 0, size = 0;
  if (reg.Query(key, name, &type, nullptr, &size)) {
    // One byte more than stored, so a text stored without its zero still ends.
    std::vector<char> buf(static_cast<size_t>(size) + 1, 0);
    uint32_t got = size;
    if (reg.Query(key, name, &type, buf.data(), &got)) result.assign(buf.data());
  }
  reg.Close(key);
  return result;
}

void RegWriteString(const std::string& keyPath, const std::string& name, const std::string& text) {
  RegKey key;
  if (!RegOpenWrite(keyPath, key)) return;
  platform::Registry().Set(key, name, platform::REG_TYPE_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1));
  platform::Registry().Close(key);
}

int RegReadInteger(const std::string& keyPath, const std::string& name, int def) {
  int v;
  return TryStrToInt(RegReadString(keyPath, name), v) ? v : def;
}

bool RegReadBool(const std::string& keyPath, const std::string& name, bool def) {
  int v;
  return TryStrToInt(RegReadString(keyPath, name), v) ? v != 0 : def;
}

void RegWriteBool(const std::string& keyPath, const std::string& name, bool flag) {
  RegWriteString(keyPath, name, flag ? "1" : "0");
}

bool RegReadBinary(const std::string& keyPath, const std::string& name, void* dest, uint32_t size) {
  RegKey key;
  if (!RegOpenRead(keyPath, key)) return false;
  auto& reg = platform::Registry();
  uint32_t type = 0, stored = 0;
  bool ok = reg.Query(key, name, &type, nullptr, &stored) && stored == size;
  if (ok) {
    uint32_t got = size;
    ok = reg.Query(key, name, &type, dest, &got) && got == size;
  }
  reg.Close(key);
  return ok;
}

void RegWriteBinary(const std::string& keyPath, const std::string& name, const void* data, uint32_t size) {
  RegKey key;
  if (!RegOpenWrite(keyPath, key)) return;
  platform::Registry().Set(key, name, platform::REG_TYPE_BINARY, data, size);
  platform::Registry().Close(key);
}

void RegRemoveValue(const std::string& keyPath, const std::string& name) {
  RegKey key;
  if (!RegOpenWrite(keyPath, key)) return;
  platform::Registry().Delete(key, name);
  platform::Registry().Close(key);
}

void SwapBytes32(uint32_t& v) { v = ((v & 0xFF) << 24) | ((v & 0xFF00) << 8) | ((v >> 8) & 0xFF00) | (v >> 24); }

std::string FormatVersion(uint32_t version) {
  uint32_t major = version >> 16, minor = (version >> 8) & 0xFF, build = version & 0xFF;
  if (build != 0) return Format("v%u.%u.%u", major, minor, build);
  return Format("v%u.%u", major, minor);
}
