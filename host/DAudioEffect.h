#pragma once
// AudioEffect: the object form of the VST 2.x effect record. It owns the
// AEffect record the host holds (its address is fixed for the object's life),
// answers the base dispatcher opcodes (0..24) through virtual operations, and
// wraps the base host callback opcodes. AEffEditor is the base of the editor
// object the host drives through the editor opcodes.
//
// The five entry functions in the record's slots turn the record back into
// its object, guard the floating-point state and stop every exception at the
// boundary with a message box and a neutral result. This layer takes no lock;
// the host may call the entries from several threads at once.

#include <cstdint>

#include "classlib/Classes.h"
#include "host/DAEffect.h"

class AudioEffect;

class AEffEditor : public TObject {
public:
  explicit AEffEditor(AudioEffect* owner) : effect(owner) {}
  ~AEffEditor() override = default;

  virtual VstIntPtr getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return 0;
  }
  virtual VstIntPtr open(void* ptr) {
    systemWindow = ptr;
    return 0;
  }
  virtual void close() {}
  virtual void idle() {
    if (updateFlag) {
      updateFlag = false;
      update();
    }
  }
  virtual void update() {}
  virtual void postUpdate() { updateFlag = true; }
  const char* ClassName() const override { return "AEffEditor"; }

protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
  bool updateFlag = false;
};

class AudioEffect : public TObject {
public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  ~AudioEffect() override;
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual void setSampleRate(float newRate) { sampleRate = newRate; }
  virtual void setBlockSize(VstInt32 newSize) { blockSize = newSize; }
  virtual void setParameter(VstInt32, float) {}
  virtual float getParameter(VstInt32) { return 0.0f; }
  virtual void setParameterAutomated(VstInt32 index, float value);
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processReplacing(float**, float**, VstInt32) {}
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char*) {}
  virtual void getProgramName(char*) {}
  virtual void getParameterLabel(VstInt32, char*) {}
  virtual void getParameterDisplay(VstInt32, char*) {}
  virtual void getParameterName(VstInt32, char*) {}
  virtual float getVu() { return 0.0f; }
  virtual VstInt32 getChunk(void** data, bool isPreset);
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void hasVu(bool state) { SetFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state) { SetFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state) { SetFlag(effFlagsCanMono, state); }
  virtual void canProcessReplacing(bool state) { SetFlag(effFlagsCanReplacing, state); }
  virtual void programsAreChunks(bool state) { SetFlag(effFlagsProgramChunks, state); }
  virtual void setRealtimeQualities(VstInt32 q) { cEffect.realQualities = q; }
  virtual void setOfflineQualities(VstInt32 q) { cEffect.offQualities = q; }
  virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  void setEditor(AEffEditor* e);
  AEffEditor* getEditor() const { return editor; }
  AEffect* getAeffect() { return &cEffect; }
  float getSampleRate() const { return sampleRate; }
  VstInt32 getBlockSize() const { return blockSize; }
  audioMasterCallback getAudioMaster() const { return audioMaster; }
  const char* ClassName() const override { return "AudioEffect"; }

  // Turns a record the host hands back into its object.
  static AudioEffect* FromRecord(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

protected:
  // Calls the host; 0 without a host callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
  void SetFlag(VstInt32 flag, bool state);

  AEffect cEffect;
  float sampleRate = 44100.0f;
  AEffEditor* editor = nullptr;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 curProgram = 0;
  VstInt32 blockSize = 1024;
  audioMasterCallback audioMaster;
};

// The five entry functions placed in the record's slots.
extern "C" {
VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
float getParameterClass(AEffect* e, VstInt32 index);
void setParameterClass(AEffect* e, VstInt32 index, float value);
void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
}
