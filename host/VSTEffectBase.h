#pragma once
// TVSTEffectBase: the effect object the host talks to. It turns host calls
// into operations on a declared parameter host and a bank of programs, owns
// the plug-in's parameter data module, answers chunk requests (also in the
// older format), keeps the editor's compare copy, stores a user default
// program in the registry, builds the per-call process record and runs the
// preset menu (program and bank files).
//
// Threads: the program lock serialises programs, the bank, the compare copy
// and the chunk buffers (dispatcher calls, editor buttons, preset menu); the
// process lock serialises process calls, sample rate, block size, suspend,
// resume and events. Parameter values are written without either lock.

#include <cstdint>
#include <memory>
#include <string>

#include "gfx/core/SyncObject.h"
#include "host/DAudioEffectX.h"
#include "params/model/VSTParameterHost.h"
#include "params/state/PresetMan.h"

class TVSTEditorBase;

// Set by any instance whose host's vendor string is exactly "Steinberg"; never reset.
extern bool HostIsSteinberg;

// Preset menu commands.
enum TPresetCommand : int {
  pcLoadPreset = 0,
  pcSavePreset = 1,
  pcLoadBank = 2,
  pcSaveBank = 3,
  pcSetDefault = 4,
  pcResetDefault = 5,
};

class TVSTEffectBase : public AudioEffectX {
public:
  // Takes ownership of dataModule and sets the caller's reference to null first.
  TVSTEffectBase(audioMasterCallback audioMaster, TVSTParameterHost* paramHost, TComponent*& dataModule);
  ~TVSTEffectBase() override;

  void setSampleRate(float sampleRate) override;
  void setBlockSize(VstInt32 blockSize) override;
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;
  VstInt32 getChunk(void** data, bool isPreset) override;
  VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
  void suspend() override;
  void resume() override;
  VstInt32 processEvents(VstEvents* events) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  void inputConnected(VstInt32 index, bool state) override;
  void outputConnected(VstInt32 index, bool state) override;
  VstInt32 getPlugCategory() override { return 1; }
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override;
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
  VstInt32 canDo(char* text) override;

  // Compare copy, exchange and reset (the editor's compare buttons).
  void CompareCopy();
  void CompareExchange();
  void CompareReset();
  // The preset menu.
  void PresetMenuFill(TObject* sender, TStringList* items);
  void PresetMenuCommand(TObject* sender, intptr_t command);
  // The user default program in the registry.
  void StoreDefaultProgram();
  bool LoadDefaultProgram(TPresetObject& program);
  void ResetDefaultProgram();

  TVSTParameterHost* ParamHost() const { return FParamHost; }
  TBankObject& Bank() { return FBank; }
  const std::string& HostVendor() const { return FHostVendor; }
  const char* ClassName() const override { return "TVSTEffectBase"; }

private:
  void Construct();
  // Frees, in this order, the editor, the chunk buffers, the compare program,
  // the bank's programs and the data module.
  void ReleaseOwned();
  void Snapshot(TPresetObject& p);
  void InitDefaults(TPresetObject& p);
  void Apply(TPresetObject& p);
  TPresetObject* CurrentSlot();
  bool LoadOldProgram(const uint8_t* data, VstInt32 size);
  bool LoadOldBank(const uint8_t* data, VstInt32 size);
  void FillBankToProgramCount();
  void BuildProcessRecord(TVSTProcessRecord& r, float** inputs, float** outputs, VstInt32 frames, bool replacing);
  std::string RegistryKey() const;
  void LoadFile(bool bank);
  void SaveFile(bool bank);

  TVSTParameterHost* FParamHost;
  std::unique_ptr<TComponent> FDataModule;
  bool FInitialised = false;
  std::unique_ptr<TPresetObject> FCompare;
  TBankObject FBank;
  TSyncObject FProgramLock;
  uint8_t* FProgramChunks[4] = {};
  int FProgramChunkIndex = 0;
  uint8_t* FBankChunks[4] = {};
  int FBankChunkIndex = 0;
  int32_t FOldProgramSize = 0;
  int32_t FOldBankSize = 0;
  int32_t FOldChunkParameterCount = 0;
  int32_t FOldParameterCount = 0;
  int32_t FOldProgramCount = 0;
  TSyncObject FProcessLock;
  std::string FHostVendor;
};
