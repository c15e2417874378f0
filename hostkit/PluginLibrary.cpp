#include "hostkit/PluginLibrary.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/DynamicLibrary.h"

namespace hostkit {

namespace {

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return at + 2 <= b.size() ? static_cast<uint16_t>(b[at] | b[at + 1] << 8) : 0;
}
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return at + 4 <= b.size() ? static_cast<uint32_t>(Le16(b, at)) | static_cast<uint32_t>(Le16(b, at + 2)) << 16 : 0;
}

// Enough of the file for an ELF header and a PE header behind a DOS stub.
constexpr size_t kHeadBytes = 4096;

std::vector<uint8_t> ReadHead(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> head(kHeadBytes);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  return head;
}

}  // namespace

BinaryArch ReadBinaryArch(const std::vector<uint8_t>& b) {
  BinaryArch a;
  if (b.size() >= 20 && b[0] == 0x7F && b[1] == 'E' && b[2] == 'L' && b[3] == 'F' && (b[4] == 1 || b[4] == 2)) {
    // e_machine follows e_ident, e_type; read in the file's byte order.
    uint16_t machine = b[5] == 2 ? static_cast<uint16_t>(b[18] << 8 | b[19]) : Le16(b, 18);
    a.Os = "Linux";
    a.Bits = b[4] == 1 ? 32 : 64;
    switch (machine) {
      case 3:
      case 62: a.Cpu = "x86"; break;
      case 40:
      case 183: a.Cpu = "ARM"; break;
      default: a.Cpu = "machine " + std::to_string(machine);
    }
    return a;
  }
  if (b.size() >= 0x40 && b[0] == 'M' && b[1] == 'Z') {
    uint32_t pe = Le32(b, 0x3C);
    if (pe > b.size() - 6 || Le32(b, pe) != 0x00004550) return a;  // "PE\0\0"
    uint16_t machine = Le16(b, pe + 4);
    switch (machine) {
      case 0x014C:
        a.Bits = 32;
        a.Cpu = "x86";
        break;
      case 0x8664:
        a.Bits = 64;
        a.Cpu = "x86";
        break;
      case 0x01C4:
        a.Bits = 32;
        a.Cpu = "ARM";
        break;
      case 0xAA64:
        a.Bits = 64;
        a.Cpu = "ARM";
        break;
      default: return a;
    }
    a.Os = "Windows";
    return a;
  }
  if (b.size() >= 8) {
    uint32_t magic = Le32(b, 0);
    if (magic == 0xFEEDFACE || magic == 0xFEEDFACF) {
      a.Os = "macOS";
      a.Bits = magic == 0xFEEDFACF ? 64 : 32;
      uint32_t cpu = Le32(b, 4);
      a.Cpu = (cpu & 0xFFFFFF) == 7 ? "x86" : (cpu & 0xFFFFFF) == 12 ? "ARM" : "machine " + std::to_string(cpu);
      return a;
    }
    if (b[0] == 0xCA && b[1] == 0xFE && b[2] == 0xBA && b[3] == 0xBE) {
      // A universal binary holds several architectures; none of them loads here.
      a.Os = "macOS";
      a.Cpu = "universal";
    }
  }
  return a;
}

BinaryArch HostArch() {
#if defined(_WIN32)
  const char* os = "Windows";
#elif defined(__APPLE__)
  const char* os = "macOS";
#else
  const char* os = "Linux";
#endif
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
  const char* cpu = "x86";
#elif defined(__aarch64__) || defined(__arm__)
  const char* cpu = "ARM";
#else
  const char* cpu = "unknown";
#endif
  return {os, static_cast<int>(sizeof(void*) * 8), cpu};
}

std::string DescribeArch(const BinaryArch& a) {
  std::string s = a.Bits ? std::to_string(a.Bits) + "-bit " + a.Os : a.Os;
  if (a.Cpu != "x86") s += " (" + a.Cpu + ")";
  return s;
}

bool PluginLibrary::Load(const std::string& path) {
  Unload();
  FPath = path;
  FError.clear();
  std::string why;
  FHandle = platform::LoadSharedLibrary(path, why);
  if (!FHandle) {
    // The system's reason for a binary of another platform is vague ("error
    // 193", "invalid ELF header"): say what the file is instead.
    BinaryArch file = ReadBinaryArch(ReadHead(path));
    BinaryArch host = HostArch();
    if (!file.Os.empty() && !(file == host))
      FError = path + " is a " + DescribeArch(file) + " plug-in; this host is " + DescribeArch(host) +
               ": wrong architecture";
    else
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
#if defined(_WIN64)
  const char* name = "Talvern-x64.dll";
#elif defined(_WIN32)
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
