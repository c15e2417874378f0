#pragma once
// The VST 2.x plug-in interface records and opcodes, as the interface
// publishes them: the effect record the host holds, the dispatcher and host
// callback opcodes, the effect flags and the editor rectangle.
// 32-bit fields everywhere; pointer-sized fields (VstIntPtr, pointers) are 4
// bytes on i686 and 8 on x86-64, with natural alignment, as hosts lay them out.

#include <cstddef>
#include <cstdint>

using VstInt32 = int32_t;
using VstInt16 = int16_t;
using VstIntPtr = intptr_t;

struct AEffect;

extern "C" {
using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);
}

// Four-character codes: first character in the most significant byte.
constexpr VstInt32 FourCC(const char (&c)[5]) {
  return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<unsigned char>(c[0])) << 24) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(c[1])) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(c[2])) << 8) |
                               static_cast<uint32_t>(static_cast<unsigned char>(c[3])));
}

constexpr VstInt32 kEffectMagic = FourCC("VstP");

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;
  VstInt32 offQualities;
  float ioRatio;
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  char future[60];
};

// The offsets a host reads directly, for both pointer sizes: a field out of
// place here means a host reads garbage counts or calls a wrong address.
static_assert(sizeof(VstIntPtr) == sizeof(void*));
static_assert(offsetof(AEffect, dispatcher) == sizeof(void*));
static_assert(offsetof(AEffect, numPrograms) == 5 * sizeof(void*));
static_assert(offsetof(AEffect, flags) == 5 * sizeof(void*) + 16);
static_assert(offsetof(AEffect, resvd1) == (sizeof(void*) == 8 ? 64 : 40));
static_assert(offsetof(AEffect, initialDelay) == (sizeof(void*) == 8 ? 80 : 48));
static_assert(offsetof(AEffect, object) == (sizeof(void*) == 8 ? 96 : 64));
static_assert(offsetof(AEffect, uniqueID) == (sizeof(void*) == 8 ? 112 : 72));
static_assert(offsetof(AEffect, processReplacing) == (sizeof(void*) == 8 ? 120 : 80));
static_assert(sizeof(AEffect) == (sizeof(void*) == 8 ? 192 : 144));

struct ERect {
  VstInt16 top, left, bottom, right;
};

enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 1 << 0,
  effFlagsHasClip = 1 << 1,
  effFlagsHasVu = 1 << 2,
  effFlagsCanMono = 1 << 3,
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsExtIsAsync = 1 << 10,
  effFlagsExtHasBuffer = 1 << 11,
};

// Dispatcher opcodes of the base range (0..24).
enum AEffectOpcodes : VstInt32 {
  effOpen = 0,
  effClose,
  effSetProgram,
  effGetProgram,
  effSetProgramName,
  effGetProgramName,
  effGetParamLabel,
  effGetParamDisplay,
  effGetParamName,
  effGetVu,
  effSetSampleRate,
  effSetBlockSize,
  effMainsChanged,
  effEditGetRect,
  effEditOpen,
  effEditClose,
  effEditDraw,
  effEditMouse,
  effEditKey,
  effEditIdle,
  effEditTop,
  effEditSleep,
  effIdentify,
  effGetChunk,
  effSetChunk,
  effNumOpcodes
};

// Host callback opcodes of the base range.
enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion,
  audioMasterCurrentId,
  audioMasterIdle,
  audioMasterPinConnected,
};
