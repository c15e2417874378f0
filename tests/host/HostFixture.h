#pragma once
// A small plug-in of the tests' own behind a real TVSTEffectBase and its
// AEffect record: three parameters, four programs, its own preset state, an
// old chunk format, and recording process handlers.

#include <cstring>
#include <string>
#include <vector>

#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/model/VSTParameterHost.h"
#include "params/state/PresetMan.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/TestRegistry.h"

namespace hosttest {

struct HostLog {
  std::vector<std::vector<VstIntPtr>> calls;  // opcode, index, value
  std::vector<float> automated;
  std::string vendor = "Test Vendor";
  bool answerVendor = true;
  int versionAnswer = 2400;
  std::vector<int> pinAnswers;  // per index, for outputs +100
  void Clear() {
    calls.clear();
    automated.clear();
  }
};

inline HostLog* gLog = nullptr;

inline VstIntPtr LogHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!gLog) return 0;
  gLog->calls.push_back({opcode, index, value});
  switch (opcode) {
    case audioMasterAutomate: gLog->automated.push_back(opt); return 0;
    case audioMasterVersion: return gLog->versionAnswer;
    case audioMasterGetVendorString:
      if (!gLog->answerVendor) return 0;
      std::memcpy(ptr, gLog->vendor.data(), std::min<size_t>(gLog->vendor.size(), 64));
      if (gLog->vendor.size() < 64) static_cast<char*>(ptr)[gLog->vendor.size()] = 0;
      return 1;
    case audioMasterPinConnected: {
      size_t i = static_cast<size_t>(index + (value ? 100 : 0));
      return i < gLog->pinAnswers.size() ? gLog->pinAnswers[i] : 0;
    }
    default: return 0;
  }
}

// The plug-in's data module.
class TestModule : public TComponent {
public:
  explicit TestModule(bool editor = false, const std::string& id = "KsEf") : TComponent(nullptr) {
    host = new TVSTParameterHost(this);
    host->BeginLoading();
    host->UniqueId = id;
    host->ProductName = "Kestrune Talvern VST";
    host->SetProgramCount(4);
    host->HasEditor = editor;
    host->EditorWidth = 600;
    host->EditorHeight = 480;
    struct Decl {
      const char* name;
      int32_t max, def;
      const char* label;
    } decls[] = {{"Gain", 1000000, 500000, "dB"}, {"Mode", 9, 0, ""}, {"Flag", 1, 0, ""}};
    for (const Decl& d : decls) {
      TVSTParameter* p = host->Parameters().Add();
      p->SetName(d.name);
      p->DisplayLabel = d.label;
      p->SetMaxValue(d.max);
      p->SetDefValue(d.def);
      p->SetCurValue(d.def);
      p->OnGetStrValue = [](TVSTParameter* q) { return "v" + std::to_string(q->CurValue()); };
      p->SetOnGetRealValue([](TVSTParameter* q) { return double(q->CurValue()); });
      p->OnParamChange = [this](TVSTParameter*) { ++changes; };
    }
    host->OnGetPreset = [this](TPresetObject* p) {
      p->SetInteger("_State", 0, state);
      if (!bigBlock.empty()) p->SetBlock("_Big", 0, bigBlock.data(), static_cast<uint32_t>(bigBlock.size()));
      p->Version = 2;
    };
    host->OnSetPreset = [this](TPresetObject* p) { state = p->GetInteger("_State", 0, -1); };
    host->OnGetLegacyParams = [](int32_t& programs, int32_t& chunkParams, int32_t& params, int32_t& chunkSize) {
      programs = 4;
      chunkParams = 3;
      params = 2;
      chunkSize = 40;
    };
    host->OnSetChunkAlt = [this](const void* data, PArrayOfSingle params) {
      legacyFirstByte = *static_cast<const uint8_t*>(data);
      legacyParam0 = params[0];
    };
    auto record = [this](const char* which) {
      return [this, which](PVSTProcessRecord r) {
        handler = which;
        lastRecord = *r;
      };
    };
    host->OnProcessS2S = record("S2S");
    host->OnProcessS2Sm = record("S2Sm");
    host->OnProcessM2M = record("M2M");
    host->OnProcessAny = record("Any");
    host->OnClear = [this](TObject*) { ++clears; };
    host->OnDelayGet = [] { return 7; };
    host->OnGetVersion = [] { return 0x20501; };
    host->OnCreate = [](TObject*) {};
    host->EndLoading();
  }
  TVSTParameterHost* host;
  int32_t state = 0;
  int changes = 0, clears = 0;
  uint8_t legacyFirstByte = 0;
  float legacyParam0 = -1;
  std::vector<uint8_t> bigBlock;
  std::string handler;
  TVSTProcessRecord lastRecord{};
};

class Instance {
public:
  explicit Instance(bool editor = false, const std::string& id = "KsEf") {
    module = new TestModule(editor, id);
    TComponent* m = module;
    effect = new TVSTEffectBase(LogHost, module->host, m);
    record = effect->getAeffect();
  }
  ~Instance() {
    if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0);
  }
  VstIntPtr Dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
    return record->dispatcher(record, op, index, value, ptr, opt);
  }
  std::string Text(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0) {
    char buf[128];
    std::memset(buf, 'Z', sizeof buf);
    buf[0] = 0;
    Dispatch(op, index, value, buf);
    return buf;
  }
  std::vector<uint8_t> Chunk(bool program) {
    void* data = nullptr;
    VstIntPtr n = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    auto* p = static_cast<uint8_t*>(data);
    return std::vector<uint8_t>(p, p + n);
  }
  TVSTParameter* Param(int i) { return module->host->Parameters().Items(i); }
  TestModule* module;
  TVSTEffectBase* effect;
  AEffect* record;
};

// Environment every host test needs: an in-memory registry, recorded message
// boxes, a recording host and the process-wide start-up state.
class HostTest : public ::testing::Test {
protected:
  void SetUp() override {
    gLog = &log;
    HostVersion = 2400;
    ForceVST23 = DisableVST23 = false;
    RegistryRoot = "Software\\Kestrune\\";
    MakerName = "Kestrune";
  }
  void TearDown() override { gLog = nullptr; }
  const std::string key = "Software\\Kestrune\\Kestrune Talvern VST";
  platform::testing::TestRegistry reg;
  platform::testing::RecordingMessageBox boxes;
  HostLog log;
};

}  // namespace hosttest
