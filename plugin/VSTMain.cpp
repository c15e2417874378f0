// The exported entry of the plug-in library and its load hooks.
#include "classlib/Dialogs.h"
#include "editor/EffDataModule.h"
#include "editor/FrmToolkitTest.h"
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
  // The editor window: the toolkit's test form until the editor forms exist.
  host->OnCreateEditor = [](void* parent) -> TComponent* { return CreateToolkitTestForm(parent); };
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
