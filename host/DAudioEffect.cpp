#include "host/DAudioEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>

#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "platform/Fpu.h"

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programCount, VstInt32 paramCount)
    : numPrograms(programCount), numParams(paramCount), audioMaster(master) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffectClass;
  cEffect.process = processClass;
  cEffect.setParameter = setParameterClass;
  cEffect.getParameter = getParameterClass;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.user = nullptr;
  cEffect.uniqueID = FourCC("NoEf");
  cEffect.version = 1;
  cEffect.processReplacing = processClassReplacing;
}

AudioEffect::~AudioEffect() {
  delete editor;
  editor = nullptr;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!audioMaster) return 0;
  return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::SetFlag(VstInt32 flag, bool state) {
  if (state)
    cEffect.flags |= flag;
  else
    cEffect.flags &= ~flag;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getChunk(void**, bool) { return 0; }
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) { return 0; }

VstInt32 AudioEffect::getMasterVersion() {
  if (!audioMaster) return 1;
  VstInt32 v = static_cast<VstInt32>(callHost(audioMasterVersion));
  return v == 0 ? 1 : v;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
  if (!audioMaster) return true;
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  if (!audioMaster) return true;
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

void AudioEffect::setEditor(AEffEditor* e) {
  editor = e;
  SetFlag(effFlagsHasEditor, e != nullptr);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  // The opcode table, one case a line.
  // clang-format off
  switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
      // A value below the 32-bit range is held at its bottom rather than cut
      // to its low 32 bits (on 64-bit hosts -2^32 + 1 would name program 1).
      if (value < numPrograms) setProgram(static_cast<VstInt32>(std::max<VstIntPtr>(value, INT32_MIN)));
      return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
    case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
    case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
    case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
    case effGetVu: return static_cast<VstIntPtr>(std::lround(static_cast<double>(getVu()) * 32767.0));
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
      if (value == 0) suspend();
      else resume();
      return 0;
    case effEditGetRect: {
      if (!editor) return 0;
      ERect* rect = ptr ? *static_cast<ERect**>(ptr) : nullptr;
      VstIntPtr r = editor->getRect(&rect);
      if (ptr) *static_cast<ERect**>(ptr) = rect;
      return r;
    }
    case effEditOpen: return editor ? editor->open(ptr) : 0;
    case effEditClose:
      if (editor) editor->close();
      return 0;
    case effEditIdle:
      if (editor) editor->idle();
      return 0;
    case effIdentify: return FourCC("NvEf");
    case effGetChunk:
      // A host that passes no place for the data pointer gets nothing.
      return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;  // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep, others
  }
  // clang-format on
}

// ---------------------------------------------------------------------------
// Entry functions. Each guards the floating-point state and stops every
// exception: the host never sees one, and gets the neutral result.

namespace {

template <class R, class Body, class Message>
R RunGuarded(R neutral, Body&& body, Message&& message) {
  std::string failure;
  try {
    return body();
  } catch (const std::exception& x) {
    failure = x.what();
  } catch (...) {
    failure = "unknown exception";
  }
  ShowMessage(message(failure));
  return neutral;
}

std::string EntryMessage(const char* entry, const std::string& failure) {
  return std::string("Exception during \"") + entry + "\": " + failure;
}

}  // namespace

extern "C" VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt) {
  platform::FpuGuard guard;
  AudioEffect* effect = AudioEffect::FromRecord(e);
  if (!effect) return 0;
  return RunGuarded<VstIntPtr>(
      0,
      [&]() -> VstIntPtr {
        VstIntPtr result = effect->dispatcher(opcode, index, value, ptr, opt);
        if (opcode != effClose) return result;
        // The record must not be used again after this.
        delete effect;
        return 1;
      },
      [&](const std::string& failure) {
        return Format("Exception during \"dispatchEffectClass\": %s (%d %d %d)", failure.c_str(),
                      static_cast<int>(opcode), static_cast<int>(index), static_cast<int>(value));
      });
}

extern "C" float getParameterClass(AEffect* e, VstInt32 index) {
  platform::FpuGuard guard;
  AudioEffect* effect = AudioEffect::FromRecord(e);
  if (!effect) return 0.0f;
  return RunGuarded<float>(
      0.0f, [&] { return effect->getParameter(index); },
      [](const std::string& f) { return EntryMessage("getParameterClass", f); });
}

extern "C" void setParameterClass(AEffect* e, VstInt32 index, float value) {
  platform::FpuGuard guard;
  AudioEffect* effect = AudioEffect::FromRecord(e);
  if (!effect) return;
  RunGuarded<int>(
      0, [&] { return effect->setParameter(index, value), 0; },
      [](const std::string& f) { return EntryMessage("setParameterClass", f); });
}

extern "C" void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  platform::FpuGuard guard;
  AudioEffect* effect = AudioEffect::FromRecord(e);
  if (!effect) return;
  RunGuarded<int>(
      0, [&] { return effect->process(inputs, outputs, sampleFrames), 0; },
      [](const std::string& f) { return EntryMessage("processClass", f); });
}

extern "C" void processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  platform::FpuGuard guard;
  AudioEffect* effect = AudioEffect::FromRecord(e);
  if (!effect) return;
  RunGuarded<int>(
      0, [&] { return effect->processReplacing(inputs, outputs, sampleFrames), 0; },
      [](const std::string& f) { return EntryMessage("processClassReplacing", f); });
}
