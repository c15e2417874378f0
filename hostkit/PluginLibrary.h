#pragma once
// The host side of the VST 2.x interface: load a plug-in library, find its
// entry (VSTPluginMain, then main), and unload it. Works with any VST 2.x
// plug-in binary for this platform.

#include <cstdint>
#include <string>
#include <vector>

#include "host/DAEffect.h"

namespace hostkit {

// What a binary's header says it runs on: the format's OS, pointer size and
// processor ("x86" for i386 and x86-64 alike).
struct BinaryArch {
  std::string Os;  // "Windows", "Linux" (any ELF), "macOS"; empty when unknown
  int Bits = 0;
  std::string Cpu;
  bool operator==(const BinaryArch&) const = default;
};

// Reads an ELF (class, machine), PE (machine field behind the DOS header)
// or Mach-O header from the first bytes of a file; Os stays empty for
// anything else.
BinaryArch ReadBinaryArch(const std::vector<uint8_t>& head);
// The architecture this program was built for.
BinaryArch HostArch();
// "32-bit Windows", "64-bit Linux", "64-bit Linux (ARM)".
std::string DescribeArch(const BinaryArch& a);

using PluginEntry = AEffect* (*)(audioMasterCallback);

class PluginLibrary {
public:
  PluginLibrary() = default;
  ~PluginLibrary() { Unload(); }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the library; false with Error() set when it cannot be loaded or has
  // no entry. A binary built for another OS or processor fails with an error
  // that says so and ends in "wrong architecture".
  bool Load(const std::string& path);
  void Unload();
  bool Loaded() const { return FHandle != nullptr; }
  PluginEntry Entry() const { return FEntry; }
  const std::string& Error() const { return FError; }
  const std::string& Path() const { return FPath; }

private:
  void* FHandle = nullptr;
  PluginEntry FEntry = nullptr;
  std::string FError;
  std::string FPath;
};

// The folder of the running program (with a trailing separator).
std::string ExecutableDir();
// The plug-in next to the program or in the build tree's plugin folder;
// $KESTRUNE_PLUGIN wins when set.
std::string DefaultPluginPath();

}  // namespace hostkit
