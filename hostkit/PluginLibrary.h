#pragma once
// The host side of the VST 2.x interface: load a plug-in library, find its
// entry (VSTPluginMain, then main), and unload it. Works with any VST 2.x
// plug-in binary for this platform.

#include <string>

#include "host/DAEffect.h"

namespace hostkit {

using PluginEntry = AEffect* (*)(audioMasterCallback);

class PluginLibrary {
public:
  PluginLibrary() = default;
  ~PluginLibrary() { Unload(); }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the library; false with Error() set when it cannot be loaded or has
  // no entry.
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
