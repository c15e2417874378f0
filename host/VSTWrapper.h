#pragma once
// The library's outer shell: the load and unload sequences, the exported
// entry `main` (one call per plug-in instance) and the process-wide start-up
// state every instance shares. `main` and library load run on whatever thread
// the host loads with; the process-wide variables are written without a lock
// and the last instance created decides them for all.

#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "host/DAEffect.h"

class AudioEffect;
class TVSTParameterHost;

// Process-wide state.
extern TComponent* SkinModule;
extern int32_t HostVersion;
extern std::string RegistryRoot;
extern std::string MakerName;
extern bool ForceVST23;
extern bool DisableVST23;

// HostVersion at least 2300 (interface level 2.3) or ForceVST23, and not DisableVST23.
bool VST23Mode();

// What `main` creates, so the same sequence serves the plug-in and the tests.
struct TPluginFactory {
  // The parameter data module; its parameter host is returned through host.
  TComponent* (*CreateParameters)(TVSTParameterHost*& host);
  // The effect object; takes ownership of module and clears the reference first.
  AudioEffect* (*CreateEffect)(audioMasterCallback audioMaster, TVSTParameterHost* host, TComponent*& module);
};

// The whole `main` sequence with the given factory.
AEffect* PluginMainWith(audioMasterCallback audioMaster, const TPluginFactory& factory);

// Load and unload sequences; createSkin builds the skin module.
void LibraryAttachWith(TComponent* (*createSkin)());
void LibraryDetach();
