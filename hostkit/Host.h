#pragma once
// A small VST 2.x host: it answers the plug-in's host calls from settings a
// test or the command line chooses, records every call it receives, and
// drives the dispatcher and the other four entry points of one instance.
//
// One Host serves one plug-in instance. The recorded call list is guarded by a
// mutex, so a plug-in may call back from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/DAEffect.h"
#include "host/DAEffectX.h"
#include "hostkit/PluginLibrary.h"

namespace hostkit {

struct HostCall {
  VstInt32 Opcode;
  VstInt32 Index;
  VstIntPtr Value;
  float Opt;
  std::string Text;  // the text passed in ptr for text-taking opcodes (canDo)
};

struct HostAnswers {
  VstIntPtr Version = 2400;
  std::string Vendor = "Kestrune Test Host";
  bool AnswerVendor = true;  // false: the vendor query answers 0
  std::string Product = "hostkit";
  VstIntPtr VendorVersion = 1;
  // audioMasterPinConnected: 0 means connected. Per (isOutput, index).
  std::map<std::pair<int, int>, VstIntPtr> PinAnswers;
  VstIntPtr SampleRate = 44100;
  VstIntPtr BlockSize = 512;
  // Raw bytes copied into the vendor-string buffer (for hostile hosts); used
  // instead of Vendor when non-empty. Copied with exactly this length.
  std::string RawVendorBytes;
};

class Host {
public:
  Host() = default;
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  HostAnswers Answers;
  // False: host calls are answered but not recorded (long renders, where a
  // plug-in may call back on every block).
  bool RecordCalls = true;

  // Calls the entry with this host's callback. Returns the record or null.
  AEffect* Instantiate(PluginEntry entry);
  AEffect* Effect() const { return FEffect; }

  // Dispatcher helpers.
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0);
  // Standard start: open, sample rate, block size, resume.
  void Start(float sampleRate = 44100.0f, VstInt32 blockSize = 512);
  // effClose; the record is gone afterwards.
  VstIntPtr Close();
  // Forgets the record without calling it (one that is not an effect record).
  void Detach();
  // Text opcodes into a guarded buffer: fails the process loudly (abort with a
  // message) when the plug-in writes past `capacity` bytes.
  std::string Text(VstInt32 opcode, VstInt32 index, size_t capacity, VstIntPtr value = 0);
  std::string ParamName(int i) { return Text(effGetParamName, i, 9); }
  std::string ParamLabel(int i) { return Text(effGetParamLabel, i, 9); }
  std::string ParamDisplay(int i) { return Text(effGetParamDisplay, i, 9); }
  std::string ProgramName() { return Text(effGetProgramName, 0, 25); }
  float GetParameter(int i);
  void SetParameter(int i, float v);
  void ProcessReplacing(float** in, float** out, VstInt32 frames);
  void Process(float** in, float** out, VstInt32 frames);
  std::vector<uint8_t> GetChunk(bool program);
  VstIntPtr SetChunk(const void* data, VstInt32 size, bool program);

  std::vector<HostCall> Calls();
  std::vector<HostCall> CallsOf(VstInt32 opcode);
  void ClearCalls();

  // The callback every instance is created with.
  static VstIntPtr Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
  VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  AEffect* FEffect = nullptr;
  std::mutex FMutex;
  std::vector<HostCall> FCalls;
};

}  // namespace hostkit
