// Plug-in binaries of another OS or processor: the header tells what they
// are, and loading one says "wrong architecture" instead of the system's
// bare reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostkit/PluginLibrary.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// An ELF header of a shared object: class (1 = 32-bit, 2 = 64-bit), byte
// order (1 = little, 2 = big endian), machine.
Bytes Elf(uint8_t cls, uint8_t order, uint16_t machine) {
  Bytes b(64, 0);
  b[0] = 0x7F, b[1] = 'E', b[2] = 'L', b[3] = 'F', b[4] = cls, b[5] = order, b[6] = 1;
  if (order == 2) {
    b[17] = 3;
    b[18] = static_cast<uint8_t>(machine >> 8), b[19] = static_cast<uint8_t>(machine);
  } else {
    b[16] = 3;
    Put16(b, 18, machine);
  }
  return b;
}

// A DOS stub whose e_lfanew points at a PE signature and machine field.
Bytes Pe(uint16_t machine, uint32_t peOffset = 0x80) {
  Bytes b(0x200, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, peOffset);
  if (peOffset + 6 <= b.size()) {
    b[peOffset] = 'P', b[peOffset + 1] = 'E';
    Put16(b, peOffset + 4, machine);
  }
  return b;
}

Bytes MachO(uint32_t magic, uint32_t cpu) {
  Bytes b(32, 0);
  Put32(b, 0, magic);
  Put32(b, 4, cpu);
  return b;
}

Bytes Cut(Bytes b, size_t n) {
  b.resize(n);
  return b;
}

struct HeaderCase {
  const char* what;
  Bytes head;
  std::string arch;  // empty: not a binary we can name
};

const std::vector<HeaderCase>& Cases() {
  static const std::vector<HeaderCase> cases = {
      {"32-bit Windows DLL", Pe(0x014C), "32-bit Windows"},
      {"64-bit Windows DLL", Pe(0x8664), "64-bit Windows"},
      {"Windows on ARM64 DLL", Pe(0xAA64), "64-bit Windows (ARM)"},
      {"PE signature far into the stub", Pe(0x8664, 0x1F0), "64-bit Windows"},
      {"32-bit x86 ELF", Elf(1, 1, 3), "32-bit Linux"},
      {"64-bit x86 ELF", Elf(2, 1, 62), "64-bit Linux"},
      {"AArch64 ELF", Elf(2, 1, 183), "64-bit Linux (ARM)"},
      {"big-endian ELF (PowerPC64)", Elf(2, 2, 21), "64-bit Linux (machine 21)"},
      {"64-bit x86 Mach-O", MachO(0xFEEDFACF, 0x01000007), "64-bit macOS"},
      {"64-bit ARM Mach-O", MachO(0xFEEDFACF, 0x0100000C), "64-bit macOS (ARM)"},
      {"DOS program without PE header", Pe(0x8664, 0x400), ""},
      {"MZ with an unknown machine", Pe(0x1234), ""},
      {"ELF cut before its machine field", Cut(Elf(2, 1, 62), 12), ""},
      {"empty file", Bytes{}, ""},
  };
  return cases;
}

// What this test binary was built as, written out independently of HostArch.
#if defined(_WIN64)
const char* const kHost = "64-bit Windows";
#elif defined(_WIN32)
const char* const kHost = "32-bit Windows";
#elif defined(__x86_64__)
const char* const kHost = "64-bit Linux";
#else
const char* const kHost = "";
#endif

TEST(PluginLibraryArch, HeadersNameTheirPlatform) {
  for (const HeaderCase& c : Cases()) {
    hostkit::BinaryArch a = hostkit::ReadBinaryArch(c.head);
    EXPECT_EQ(a.Os.empty() ? std::string() : hostkit::DescribeArch(a), c.arch) << c.what;
  }
  EXPECT_EQ(hostkit::DescribeArch(hostkit::HostArch()), kHost);
}

TEST(PluginLibraryArch, LoadingAForeignBinarySaysWrongArchitecture) {
  fs::path dir = fs::temp_directory_path() / "kes-plugin-arch";
  fs::remove_all(dir);
  fs::create_directories(dir);
  int i = 0;
  for (const HeaderCase& c : Cases()) {
    std::string path = (dir / ("case" + std::to_string(i++) + ".bin")).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.head.data()), static_cast<std::streamsize>(c.head.size()));
    hostkit::PluginLibrary lib;
    ASSERT_FALSE(lib.Load(path)) << c.what;
    if (!c.arch.empty() && c.arch != kHost)
      EXPECT_EQ(lib.Error(), path + " is a " + c.arch + " plug-in; this host is " + kHost + ": wrong architecture")
          << c.what;
    else  // unknown or our own platform: the system's reason stands
      EXPECT_EQ(lib.Error().rfind("cannot load " + path + ": ", 0), 0u) << c.what << ": " << lib.Error();
  }
  hostkit::PluginLibrary lib;
  EXPECT_FALSE(lib.Load((dir / "missing.dll").string()));
  EXPECT_EQ(lib.Error().find("wrong architecture"), std::string::npos) << lib.Error();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace hosttest
