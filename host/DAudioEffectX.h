#pragma once
// AudioEffectX: the version 2 range of the VST 2.x interface on top of
// AudioEffect: dispatcher opcodes 25..58, the second range of host calls and
// further effect flags. It adds no fields. Every host call is skipped, with
// result 0 or false, when there is no host callback.

#include "host/DAEffectX.h"
#include "host/DAudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  virtual VstInt32 tempoAt(VstInt32 pos);
  virtual VstInt32 processEvents(VstEvents*) { return 0; }
  virtual VstInt32 getNumAutomatableParameters();
  virtual VstInt32 getParameterQuantization();
  virtual bool canParameterBeAutomated(VstInt32) { return true; }
  virtual bool string2parameter(VstInt32, char*) { return false; }
  virtual float getChannelParameter(VstInt32, VstInt32) { return 0.0f; }
  virtual VstInt32 getNumCategories() { return 1; }
  virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
  virtual bool copyProgram(VstInt32) { return false; }
  virtual bool ioChanged();
  virtual bool needIdle();
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual VstInt32 getInputLatency();
  virtual VstInt32 getOutputLatency();
  virtual AEffect* getPreviousPlug(VstInt32 input);
  virtual AEffect* getNextPlug(VstInt32 output);
  virtual void inputConnected(VstInt32, bool) {}
  virtual void outputConnected(VstInt32, bool) {}
  virtual bool getInputProperties(VstInt32, VstPinProperties*) { return false; }
  virtual bool getOutputProperties(VstInt32, VstPinProperties*) { return false; }
  virtual VstInt32 getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) ? 2 : 0; }
  virtual VstInt32 willProcessReplacing();
  virtual VstInt32 getCurrentProcessLevel();
  virtual VstInt32 getAutomationState();
  virtual void wantAsyncOperation(bool state) { SetFlag(effFlagsExtIsAsync, state); }
  virtual void hasExternalBuffer(bool state) { SetFlag(effFlagsExtHasBuffer, state); }
  virtual VstInt32 reportCurrentPosition() { return 0; }
  virtual float* reportDestinationBuffer() { return nullptr; }
  virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource);
  virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option);
  virtual bool offlineStart(VstAudioFile* files, VstInt32 fileCount, VstInt32 newFileCount);
  virtual VstInt32 offlineGetCurrentPass();
  virtual VstInt32 offlineGetCurrentMetaPass();
  virtual bool offlineNotify(VstAudioFile*, VstInt32, bool) { return false; }
  virtual bool offlinePrepare(VstOfflineTask*, VstInt32) { return false; }
  virtual bool offlineRun(VstOfflineTask*, VstInt32) { return false; }
  virtual VstInt32 offlineGetNumPasses() { return 0; }
  virtual VstInt32 offlineGetNumMetaPasses() { return 0; }
  virtual void setOutputSamplerate(float rate);
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output);
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual VstInt32 getHostVendorVersion();
  virtual VstIntPtr hostVendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual VstInt32 canHostDo(char* text);
  virtual void isSynth(bool state) { SetFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state) { SetFlag(effFlagsNoSoundInStop, state); }
  virtual VstInt32 getHostLanguage();
  virtual void* openWindow(void* window);
  virtual bool closeWindow(void* window);
  virtual void* getDirectory();
  virtual bool updateDisplay();
  // Brackets a user gesture on a parameter (a knob drag) so hosts record
  // touch automation as one edit.
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual bool processVariableIo(VstVariableIo*) { return false; }
  virtual bool setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) { return false; }
  virtual void setBlockSizeAndSampleRate(VstInt32 newSize, float newRate) {
    blockSize = newSize;
    sampleRate = newRate;
  }
  virtual bool setBypass(bool) { return false; }
  virtual bool getEffectName(char*) { return false; }
  virtual bool getErrorText(char*) { return false; }
  virtual bool getVendorString(char*) { return false; }
  virtual bool getProductString(char*) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32, VstIntPtr, void*, float) { return 0; }
  virtual VstInt32 canDo(char*) { return 0; }
  virtual void* getIcon() { return nullptr; }
  virtual bool setViewPosition(VstInt32, VstInt32) { return false; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual VstInt32 fxIdle() { return 0; }
  virtual bool getParameterProperties(VstInt32, VstParameterProperties*) { return false; }
  virtual bool keysRequired() { return false; }
  virtual VstInt32 getVstVersion() { return 2; }

  void wantEvents(VstInt32 filter = 1);
  const char* ClassName() const override { return "AudioEffectX"; }
};
