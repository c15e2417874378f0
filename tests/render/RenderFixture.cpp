// render_fixture: a tiny VST 2.x effect for the render host's tests, loaded
// only through the binary interface. Stereo gain and pan:
//   left  = in * 2 * Gain * min(1, 2 * (1 - Pan))
//   right = in * 2 * Gain * min(1, 2 * Pan)
// Three programs ("Unity", "Quiet", "Hard Left"), kept as chunks: a program
// chunk "RFP1" + gain + pan + name, a bank chunk "RFB1" + current program +
// every program. setChunk refuses anything else.
//
// Environment, read when an instance is created:
//   RENDER_FIXTURE_LOG=FILE  append one line per host call of interest
//   RENDER_FIXTURE_MODE=nil         main returns no effect
//                      =accumulate  no processReplacing (host must use process)
//                      =mono        one input, one output
//                      =nochunks    no program chunks
//                      =badmagic    a record without the effect magic, whose
//                                   functions abort when called
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/DAEffect.h"
#include "host/DAEffectX.h"

namespace {

constexpr int kNumPrograms = 3;
constexpr int kNumParams = 2;
constexpr size_t kNameSize = 24;

struct Program {
  char Name[kNameSize];
  float Gain;
  float Pan;
};

struct Fixture {
  AEffect Effect;
  Program Programs[kNumPrograms];
  int Current = 0;
  std::vector<unsigned char> Chunk;
  std::FILE* Log = nullptr;
};

Fixture* Of(AEffect* e) { return static_cast<Fixture*>(e->object); }

void Logf(Fixture* f, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void Logf(Fixture* f, const char* fmt, ...) {
  if (!f->Log) return;
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(f->Log, fmt, ap);
  va_end(ap);
  std::fputc('\n', f->Log);
}

void CopyText(void* ptr, const char* text, size_t capacity) {
  if (!ptr || capacity == 0) return;
  size_t n = std::min(std::strlen(text), capacity - 1);
  std::memcpy(ptr, text, n);
  static_cast<char*>(ptr)[n] = 0;
}

void Factors(const Program& p, float& left, float& right) {
  float g = 2.0f * p.Gain;
  left = g * std::min(1.0f, 2.0f * (1.0f - p.Pan));
  right = g * std::min(1.0f, 2.0f * p.Pan);
}

template <typename T>
void Put(std::vector<unsigned char>& b, const T& v) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(&v);
  b.insert(b.end(), p, p + sizeof v);
}

constexpr size_t kProgramChunkSize = 4 + sizeof(Program);
constexpr size_t kBankChunkSize = 4 + sizeof(int32_t) + kNumPrograms * sizeof(Program);

VstIntPtr GetChunk(Fixture* f, bool program, void* ptr) {
  f->Chunk.clear();
  if (program) {
    f->Chunk.insert(f->Chunk.end(), {'R', 'F', 'P', '1'});
    Put(f->Chunk, f->Programs[f->Current]);
  } else {
    f->Chunk.insert(f->Chunk.end(), {'R', 'F', 'B', '1'});
    Put(f->Chunk, static_cast<int32_t>(f->Current));
    for (const Program& p : f->Programs) Put(f->Chunk, p);
  }
  *static_cast<void**>(ptr) = f->Chunk.data();
  return static_cast<VstIntPtr>(f->Chunk.size());
}

VstIntPtr SetChunk(Fixture* f, bool program, const unsigned char* data, VstIntPtr size) {
  if (!data) return 0;
  if (program) {
    if (size != static_cast<VstIntPtr>(kProgramChunkSize) || std::memcmp(data, "RFP1", 4) != 0) return 0;
    std::memcpy(&f->Programs[f->Current], data + 4, sizeof(Program));
    f->Programs[f->Current].Name[kNameSize - 1] = 0;
  } else {
    if (size != static_cast<VstIntPtr>(kBankChunkSize) || std::memcmp(data, "RFB1", 4) != 0) return 0;
    int32_t current;
    std::memcpy(&current, data + 4, sizeof current);
    if (current < 0 || current >= kNumPrograms) return 0;
    f->Current = current;
    std::memcpy(f->Programs, data + 8, sizeof f->Programs);
    for (Program& p : f->Programs) p.Name[kNameSize - 1] = 0;
  }
  return 1;
}

VstIntPtr Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  Fixture* f = Of(e);
  Program& cur = f->Programs[f->Current];
  static const char* const kParamNames[kNumParams] = {"Gain", "Pan"};
  switch (opcode) {
    case effOpen: Logf(f, "open"); return 0;
    case effClose:
      Logf(f, "close");
      if (f->Log) std::fclose(f->Log);
      delete f;
      return 1;
    case effSetProgram:
      if (value < 0 || value >= kNumPrograms) return 0;
      f->Current = static_cast<int>(value);
      Logf(f, "program %d", f->Current);
      return 0;
    case effGetProgram: return f->Current;
    case effSetProgramName:
      if (!ptr) return 0;
      CopyText(cur.Name, static_cast<const char*>(ptr), kNameSize);
      Logf(f, "name %s", static_cast<const char*>(ptr));  // as the host passed it
      return 0;
    case effGetProgramName: CopyText(ptr, cur.Name, kNameSize); return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kNumPrograms) return 0;
      CopyText(ptr, f->Programs[index].Name, kNameSize);
      return 1;
    case effGetParamName:
      if (index >= 0 && index < kNumParams) CopyText(ptr, kParamNames[index], 9);
      return 0;
    case effGetParamLabel: CopyText(ptr, "", 9); return 0;
    case effGetParamDisplay: {
      char text[16];
      std::snprintf(text, sizeof text, "%.3f",
                    index == 0 ? static_cast<double>(cur.Gain) : static_cast<double>(cur.Pan));
      CopyText(ptr, text, 9);
      return 0;
    }
    case effSetSampleRate: Logf(f, "rate %g", static_cast<double>(opt)); return 0;
    case effSetBlockSize: Logf(f, "block %ld", static_cast<long>(value)); return 0;
    case effMainsChanged: Logf(f, "mains %ld", static_cast<long>(value)); return 0;
    case effGetChunk: Logf(f, "getchunk %d", index); return ptr ? GetChunk(f, index != 0, ptr) : 0;
    case effSetChunk: {
      VstIntPtr r = SetChunk(f, index != 0, static_cast<const unsigned char*>(ptr), value);
      Logf(f, "setchunk %d %ld -> %ld", index, static_cast<long>(value), static_cast<long>(r));
      return r;
    }
    case effGetEffectName: CopyText(ptr, "Render Fixture", 32); return 1;
    case effGetProductString: CopyText(ptr, "Render Fixture", 64); return 1;
    case effGetVendorString: CopyText(ptr, "Kestrune Tests", 64); return 1;
    case effGetVendorVersion: return 7;
    case effGetPlugCategory: return 1;  // effect
    case effGetVstVersion: return 2400;
    default: return 0;
  }
}

void SetParameter(AEffect* e, VstInt32 index, float v) {
  Fixture* f = Of(e);
  Program& cur = f->Programs[f->Current];
  if (index == 0) cur.Gain = v;
  if (index == 1) cur.Pan = v;
  Logf(f, "param %d %g", index, static_cast<double>(v));
}

float GetParameter(AEffect* e, VstInt32 index) {
  const Program& cur = Of(e)->Programs[Of(e)->Current];
  return index == 0 ? cur.Gain : index == 1 ? cur.Pan : 0.0f;
}

template <bool Replacing>
void Run(AEffect* e, float** in, float** out, VstInt32 frames) {
  Fixture* f = Of(e);
  Logf(f, "%s %d", Replacing ? "replacing" : "process", frames);
  float factor[2];
  Factors(f->Programs[f->Current], factor[0], factor[1]);
  for (int c = 0; c < e->numOutputs; ++c) {
    const float* src = in[std::min(c, e->numInputs - 1)];
    for (VstInt32 i = 0; i < frames; ++i) {
      float y = src[i] * factor[c];
      out[c][i] = Replacing ? y : out[c][i] + y;
    }
  }
}

[[noreturn]] VstIntPtr AbortingDispatcher(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { std::abort(); }

AEffect* Create() {
  const char* mode = std::getenv("RENDER_FIXTURE_MODE");
  const std::string m = mode ? mode : "";
  if (m == "nil") return nullptr;
  if (m == "badmagic") {
    // Never closed by a careful host, so it must not own anything.
    static AEffect bad{};
    bad.magic = 0;
    bad.dispatcher = AbortingDispatcher;
    return &bad;
  }
  Fixture* f = new Fixture();
  const Program programs[kNumPrograms] = {{"Unity", 0.5f, 0.5f}, {"Quiet", 0.25f, 0.5f}, {"Hard Left", 0.5f, 0.0f}};
  std::copy(programs, programs + kNumPrograms, f->Programs);
  if (const char* log = std::getenv("RENDER_FIXTURE_LOG"); log && *log) f->Log = std::fopen(log, "a");
  AEffect& e = f->Effect;
  std::memset(&e, 0, sizeof e);
  e.magic = kEffectMagic;
  e.dispatcher = Dispatcher;
  e.process = Run<false>;
  e.processReplacing = m == "accumulate" ? nullptr : Run<true>;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = kNumPrograms;
  e.numParams = kNumParams;
  e.numInputs = e.numOutputs = m == "mono" ? 1 : 2;
  e.flags = (m == "accumulate" ? 0 : effFlagsCanReplacing) | (m == "nochunks" ? 0 : effFlagsProgramChunks);
  e.object = f;
  e.uniqueID = FourCC("RfxT");
  e.version = 3;
  e.ioRatio = 1.0f;
  return &e;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* FixtureMain(audioMasterCallback) __asm__("main");

extern "C" AEffect* FixtureMain(audioMasterCallback) { return Create(); }
