#include "host/DAudioEffectX.h"

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  // The opcode table, one case a line.
  // clang-format off
  switch (opcode) {
    case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter: return string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetNumProgramCategories: return getNumCategories();
    case effGetProgramNameIndexed:
      return getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
    case effCopyProgram: return copyProgram(index) ? 1 : 0;
    case effConnectInput: inputConnected(index, value != 0); return 1;
    case effConnectOutput: outputConnected(index, value != 0); return 1;
    case effGetInputProperties: return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties: return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effGetCurrentPosition: return reportCurrentPosition();
    case effGetDestinationBuffer: return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
    case effOfflineNotify: return offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<VstInt32>(value), index != 0) ? 1 : 0;
    case effOfflinePrepare: return offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
    case effOfflineRun: return offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
    case effProcessVarIo: return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
    case effSetSpeakerArrangement:
      return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                   static_cast<VstSpeakerArrangement*>(ptr)) ? 1 : 0;
    case effSetBlockSizeAndSampleRate: setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt); return 1;
    case effSetBypass: return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName: return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetErrorText: return getErrorText(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString: return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString: return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return canDo(static_cast<char*>(ptr));
    case effGetTailSize: return getGetTailSize();
    case effIdle: return fxIdle();
    case effGetIcon: return reinterpret_cast<VstIntPtr>(getIcon());
    case effSetViewPosition: return setViewPosition(index, static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetParameterProperties:
      return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
    case effKeysRequired: return keysRequired() ? 0 : 1;
    case effGetVstVersion: return getVstVersion();
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
  // clang-format on
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}
VstInt32 AudioEffectX::tempoAt(VstInt32 pos) { return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos)); }
VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
}
VstInt32 AudioEffectX::getParameterQuantization() {
  return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
}
bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }
bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle) != 0; }
bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}
double AudioEffectX::updateSampleRate() {
  callHost(audioMasterGetSampleRate);
  return sampleRate;
}
VstInt32 AudioEffectX::updateBlockSize() {
  callHost(audioMasterGetBlockSize);
  return blockSize;
}
VstInt32 AudioEffectX::getInputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetInputLatency)); }
VstInt32 AudioEffectX::getOutputLatency() { return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency)); }
AEffect* AudioEffectX::getPreviousPlug(VstInt32 input) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, 0, input));
}
AEffect* AudioEffectX::getNextPlug(VstInt32 output) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, 0, output));
}
VstInt32 AudioEffectX::willProcessReplacing() {
  return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
}
VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}
VstInt32 AudioEffectX::getAutomationState() { return static_cast<VstInt32>(callHost(audioMasterGetAutomationState)); }
bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}
bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
  return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}
bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 fileCount, VstInt32 newFileCount) {
  return callHost(audioMasterOfflineStart, newFileCount, fileCount, files) != 0;
}
VstInt32 AudioEffectX::offlineGetCurrentPass() { return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0; }
VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}
void AudioEffectX::setOutputSamplerate(float rate) { callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate); }
bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) {
  return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(input), output) != 0;
}
bool AudioEffectX::getHostVendorString(char* text) { return callHost(audioMasterGetVendorString, 0, 0, text) != 0; }
bool AudioEffectX::getHostProductString(char* text) { return callHost(audioMasterGetProductString, 0, 0, text) != 0; }
VstInt32 AudioEffectX::getHostVendorVersion() { return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion)); }
VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return callHost(audioMasterVendorSpecific, index, value, ptr, opt);
}
VstInt32 AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0; }
VstInt32 AudioEffectX::getHostLanguage() { return static_cast<VstInt32>(callHost(audioMasterGetLanguage)); }
void* AudioEffectX::openWindow(void* window) {
  return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}
bool AudioEffectX::closeWindow(void* window) { return callHost(audioMasterCloseWindow, 0, 0, window) != 0; }
void* AudioEffectX::getDirectory() { return reinterpret_cast<void*>(callHost(audioMasterGetDirectory)); }
bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }
void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }
