#pragma once
// Registry helpers over the registry port (keys relative to
// HKEY_LOCAL_MACHINE), the big-endian swap for program files, and the version
// text. Every helper opens and closes its key itself. Failures are silent:
// reads give the empty text or the default, writes do nothing.

#include <cstdint>
#include <string>

#include "platform/Registry.h"

bool RegOpenRead(const std::string& keyPath, platform::RegKey& key);
bool RegOpenWrite(const std::string& keyPath, platform::RegKey& key);
std::string RegReadString(const std::string& keyPath, const std::string& name);
void RegWriteString(const std::string& keyPath, const std::string& name, const std::string& text);
int RegReadInteger(const std::string& keyPath, const std::string& name, int def);
bool RegReadBool(const std::string& keyPath, const std::string& name, bool def);
void RegWriteBool(const std::string& keyPath, const std::string& name, bool flag);
// Succeeds only when the value exists with exactly `size` stored bytes.
bool RegReadBinary(const std::string& keyPath, const std::string& name, void* dest, uint32_t size);
void RegWriteBinary(const std::string& keyPath, const std::string& name, const void* data, uint32_t size);
void RegRemoveValue(const std::string& keyPath, const std::string& name);

void SwapBytes32(uint32_t& v);
// "v" + major + "." + minor [+ "." + build] from major << 16 | minor << 8 | build.
std::string FormatVersion(uint32_t version);
