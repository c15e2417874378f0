// The exported entry of the plug-in library and its load hooks.
#include "classlib/Dialogs.h"
#include "editor/EffDataModule.h"
#include "host/DAudioEffect.h"
#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/model/VSTParameterHost.h"
#include "params/plugin/EffParams.h"
#include "platform/LibraryHooks.h"

namespace {

TComponent* CreateSkinModule() { return new TEffectDataModule(nullptr); }

TComponent* CreateParameters(TVSTParameterHost*& host) {
  auto* module = new TEffParameters(nullptr);
  host = module->ParamHost;
  return module;
}

AudioEffect* CreateEffect(audioMasterCallback audioMaster, TVSTParameterHost* host, TComponent*& module) {
  return new TVSTEffectBase(audioMaster, host, module);
}

const TPluginFactory kFactory{CreateParameters, CreateEffect};

}  // namespace

extern "C" void KesLibraryAttach() {
  SetApplicationTitle("Kestrune Talvern VST");
  LibraryAttachWith(CreateSkinModule);
}

extern "C" void KesLibraryDetach() { LibraryDetach(); }

// Exported as `main` (a .def file on Windows, an assembler name on Linux):
// C++ does not allow a function called main with this signature.
#if defined(_WIN32)
extern "C" AEffect* KesPluginMain(audioMasterCallback audioMaster);
#else
extern "C" __attribute__((visibility("default"))) AEffect* KesPluginMain(audioMasterCallback audioMaster) __asm__(
    "main");
#endif

extern "C" AEffect* KesPluginMain(audioMasterCallback audioMaster) { return PluginMainWith(audioMaster, kFactory); }
