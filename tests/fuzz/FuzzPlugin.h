#pragma once
// A real plug-in instance for the fuzz targets: the parameter set and effect
// base as the library entry builds them, with an in-memory registry, recorded
// message boxes and scripted file dialogs, so nothing reaches the user's
// settings or screen.

#include <cmath>
#include <vector>

#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/ScriptedFileDialog.h"
#include "platform/testing/TestRegistry.h"
#include "tests/fuzz/FuzzCommon.h"

namespace fuzzplugin {

inline VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

struct TInstance {
  platform::testing::TestRegistry Registry;
  platform::testing::RecordingMessageBox Boxes;
  platform::testing::ScriptedFileDialog Dialogs;
  TEffParameters* Module = nullptr;
  TVSTEffectBase* Effect = nullptr;
  AEffect* E = nullptr;

  TInstance() {
    RegistryRoot = "Software\\Kestrune\\";
    MakerName = "Kestrune";
    HostVersion = 2400;
    Module = new TEffParameters(nullptr);
    TComponent* owned = Module;
    Effect = new TVSTEffectBase(QuietHost, Module->ParamHost, owned);
    E = Effect->getAeffect();
    E->dispatcher(E, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    E->dispatcher(E, effMainsChanged, 0, 1, nullptr, 0);
  }
  ~TInstance() { E->dispatcher(E, effClose, 0, 0, nullptr, 0); }
  TInstance(const TInstance&) = delete;
  TInstance& operator=(const TInstance&) = delete;

  // The size of an old-format program chunk (its data and the parameters).
  int32_t LegacyProgramSize() const {
    int32_t programs = 0, chunkParams = 0, params = 0, chunkSize = 0;
    Module->ParamHost->OnGetLegacyParams(programs, chunkParams, params, chunkSize);
    return chunkSize + 4 * (chunkParams != 0 ? chunkParams : params);
  }

  // Processes a stereo and a mono-routed block of a tone with NaN, infinite
  // and huge samples in it; stops the run when any output is not finite.
  void ProcessAndCheck() {
    constexpr int kFrames = 300;  // more than one internal piece
    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    for (int i = 0; i < kFrames; ++i) {
      l[size_t(i)] = static_cast<float>(0.5 * std::sin(0.07 * i));
      r[size_t(i)] = static_cast<float>(0.3 * std::sin(0.011 * i));
    }
    l[10] = std::nanf("");
    r[11] = INFINITY;
    l[150] = -INFINITY;
    r[200] = 3e38f;
    for (bool mono : {false, true}) {
      float* in[2] = {l.data(), mono ? l.data() : r.data()};
      float* out[2] = {ol.data(), orr.data()};
      E->processReplacing(E, in, out, kFrames);
      for (int i = 0; i < kFrames; ++i)
        fuzzstate::check(std::isfinite(ol[size_t(i)]) && std::isfinite(orr[size_t(i)]), "output is not finite");
    }
    Boxes.Clear();
  }
};

}  // namespace fuzzplugin
