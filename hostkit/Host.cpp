#include "hostkit/Host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostkit {
namespace {

std::mutex gRegistryMutex;
std::map<AEffect*, Host*> gHosts;
thread_local Host* gInstantiating = nullptr;

Host* HostOf(AEffect* effect) {
  if (!effect) return gInstantiating;
  std::lock_guard<std::mutex> g(gRegistryMutex);
  auto it = gHosts.find(effect);
  if (it != gHosts.end()) return it->second;
  return gInstantiating;  // calls made by the plug-in's constructor
}

}  // namespace

Host::~Host() {
  if (FEffect) Close();
}

AEffect* Host::Instantiate(PluginEntry entry) {
  gInstantiating = this;
  AEffect* e = entry ? entry(&Host::Callback) : nullptr;
  gInstantiating = nullptr;
  if (e) {
    std::lock_guard<std::mutex> g(gRegistryMutex);
    gHosts[e] = this;
  }
  FEffect = e;
  return e;
}

VstIntPtr Host::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  Host* h = HostOf(effect);
  if (!h) return 0;
  return h->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr Host::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (RecordCalls) {
    HostCall call{opcode, index, value, opt, {}};
    if (opcode == audioMasterCanDo && ptr) call.Text = static_cast<const char*>(ptr);
    std::lock_guard<std::mutex> g(FMutex);
    FCalls.push_back(call);
  }
  switch (opcode) {
    case audioMasterVersion: return Answers.Version;
    case audioMasterPinConnected: {
      auto it = Answers.PinAnswers.find({value != 0 ? 1 : 0, index});
      return it == Answers.PinAnswers.end() ? 0 : it->second;
    }
    case audioMasterGetSampleRate: return Answers.SampleRate;
    case audioMasterGetBlockSize: return Answers.BlockSize;
    case audioMasterGetVendorString:
      if (!Answers.AnswerVendor || !ptr) return 0;
      if (!Answers.RawVendorBytes.empty()) {
        std::memcpy(ptr, Answers.RawVendorBytes.data(), Answers.RawVendorBytes.size());
      } else {
        std::snprintf(static_cast<char*>(ptr), 64, "%s", Answers.Vendor.c_str());
      }
      return 1;
    case audioMasterGetProductString:
      if (!ptr) return 0;
      std::snprintf(static_cast<char*>(ptr), 64, "%s", Answers.Product.c_str());
      return 1;
    case audioMasterGetVendorVersion: return Answers.VendorVersion;
    default: return 0;
  }
}

VstIntPtr Host::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!FEffect) return 0;
  return FEffect->dispatcher(FEffect, opcode, index, value, ptr, opt);
}

void Host::Start(float sampleRate, VstInt32 blockSize) {
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  Dispatch(effSetBlockSize, 0, blockSize);
  Dispatch(effMainsChanged, 0, 1);
}

VstIntPtr Host::Close() {
  if (!FEffect) return 0;
  AEffect* e = FEffect;
  VstIntPtr r = e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  if (r == 1) {
    std::lock_guard<std::mutex> g(gRegistryMutex);
    gHosts.erase(e);
    FEffect = nullptr;
  }
  return r;
}

void Host::Detach() {
  if (!FEffect) return;
  std::lock_guard<std::mutex> g(gRegistryMutex);
  gHosts.erase(FEffect);
  FEffect = nullptr;
}

std::string Host::Text(VstInt32 opcode, VstInt32 index, size_t capacity, VstIntPtr value) {
  constexpr size_t kGuard = 64;
  std::vector<char> buf(capacity + kGuard, static_cast<char>(0xA5));
  buf[0] = 0;
  Dispatch(opcode, index, value, buf.data());
  for (size_t i = capacity; i < buf.size(); ++i) {
    if (buf[i] != static_cast<char>(0xA5)) {
      std::fprintf(stderr, "plug-in wrote past the %zu-byte buffer of opcode %d\n", capacity, opcode);
      std::abort();
    }
  }
  size_t n = strnlen(buf.data(), capacity);
  if (n == capacity) {
    std::fprintf(stderr, "plug-in left opcode %d's text without a terminating zero\n", opcode);
    std::abort();
  }
  return std::string(buf.data(), n);
}

float Host::GetParameter(int i) { return FEffect ? FEffect->getParameter(FEffect, i) : 0.0f; }
void Host::SetParameter(int i, float v) {
  if (FEffect) FEffect->setParameter(FEffect, i, v);
}
void Host::ProcessReplacing(float** in, float** out, VstInt32 frames) {
  if (FEffect) FEffect->processReplacing(FEffect, in, out, frames);
}
void Host::Process(float** in, float** out, VstInt32 frames) {
  if (FEffect) FEffect->process(FEffect, in, out, frames);
}

std::vector<uint8_t> Host::GetChunk(bool program) {
  void* data = nullptr;
  VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (!data || size <= 0) return {};
  const uint8_t* p = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(p, p + size);
}

VstIntPtr Host::SetChunk(const void* data, VstInt32 size, bool program) {
  return Dispatch(effSetChunk, program ? 1 : 0, size, const_cast<void*>(data));
}

std::vector<HostCall> Host::Calls() {
  std::lock_guard<std::mutex> g(FMutex);
  return FCalls;
}

std::vector<HostCall> Host::CallsOf(VstInt32 opcode) {
  std::lock_guard<std::mutex> g(FMutex);
  std::vector<HostCall> r;
  for (const HostCall& c : FCalls)
    if (c.Opcode == opcode) r.push_back(c);
  return r;
}

void Host::ClearCalls() {
  std::lock_guard<std::mutex> g(FMutex);
  FCalls.clear();
}

}  // namespace hostkit
