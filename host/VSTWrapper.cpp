#include "host/VSTWrapper.h"

#include <exception>

#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "host/DAudioEffect.h"
#include "host/RegUtils.h"
#include "params/model/VSTParameterHost.h"
#include "platform/Fpu.h"

TComponent* SkinModule = nullptr;
int32_t HostVersion = 0;
std::string RegistryRoot;
std::string MakerName;
bool ForceVST23 = false;
bool DisableVST23 = false;

bool VST23Mode() { return (HostVersion >= 2300 || ForceVST23) && !DisableVST23; }

// A start-up option: a parse failure (missing, empty, not a number) gives 0,
// above 1 gives 1, negative gives 0.
static bool ReadOption(const std::string& key, const char* name) {
  int v;
  if (!TryStrToInt(RegReadString(key, name), v)) v = 0;
  if (v > 1) v = 1;
  if (v < 0) v = 0;
  return v != 0;
}

static platform::FPUStateArea gLoadFpuArea;

void LibraryAttachWith(TComponent* (*createSkin)()) {
  platform::SaveFPUState(gLoadFpuArea);
  SkinModule = nullptr;
  try {
    SkinModule = createSkin();
  } catch (const std::exception& e) {
    ShowMessage(std::string("Exception during creation of plug-in data module: ") + e.what());
    SkinModule = nullptr;
  } catch (...) {
    ShowMessage("Exception during creation of plug-in data module: unknown exception");
    SkinModule = nullptr;
  }
  platform::RestoreFPUState(gLoadFpuArea);
}

void LibraryDetach() {
  delete SkinModule;
  SkinModule = nullptr;
}

AEffect* PluginMainWith(audioMasterCallback audioMaster, const TPluginFactory& factory) {
  platform::FpuGuard guard;
  if (!audioMaster) return nullptr;
  HostVersion = static_cast<int32_t>(audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f));
  if (HostVersion == 0) return nullptr;
  RegistryRoot = "Software\\Kestrune\\";
  MakerName = "Kestrune";
  if (!SkinModule) {
    ShowMessage("Cannot initialize plug-in because its data module was not created");
    return nullptr;
  }

  TComponent* module = nullptr;
  TVSTParameterHost* host = nullptr;
  try {
    module = factory.CreateParameters(host);
  } catch (const std::exception& e) {
    ShowMessage(std::string("Exception during plug-in's params creation: ") + e.what());
    return nullptr;
  } catch (...) {
    ShowMessage("Exception during plug-in's params creation: unknown exception");
    return nullptr;
  }

  const std::string key = RegistryRoot + host->ProductName;
  ForceVST23 = ReadOption(key, "ForceVST23");
  DisableVST23 = ReadOption(key, "DisableVST23");

  std::string failure;
  try {
    AudioEffect* effect = factory.CreateEffect(audioMaster, host, module);
    return effect->getAeffect();
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  ShowMessage("Exception during plug-in creation: " + failure);
  delete module;  // still ours when the effect never took it
  return nullptr;
}
