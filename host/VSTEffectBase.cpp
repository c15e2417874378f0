#include "host/VSTEffectBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "classlib/Dialogs.h"
#include "host/HostLimits.h"
#include "host/RegUtils.h"
#include "host/VSTEditorBase.h"
#include "host/VSTWrapper.h"

bool HostIsSteinberg = false;

namespace {

// Old chunks and default programs larger than this are refused outright (a
// hostile registry or host cannot make us allocate without bound).
constexpr int32_t kMaxStoredProgram = 16 * 1024 * 1024;
constexpr uint32_t kRegistryPiece = 4096;

// The default program is stored in pieces of at most kRegistryPiece bytes,
// as the values "DefaultPreset0", "DefaultPreset1", ...: calls
// piece(name, offset, length) for each piece of a size-byte program in order,
// and stops (returning false) at the first piece that returns false.
template <class F>
bool forEachRegistryPiece(uint32_t size, F piece) {
  for (uint32_t n = 0, off = 0; off < size; ++n, off += kRegistryPiece)
    if (!piece("DefaultPreset" + std::to_string(n), off, std::min(kRegistryPiece, size - off))) return false;
  return true;
}

}  // namespace

TVSTEffectBase::TVSTEffectBase(audioMasterCallback master, TVSTParameterHost* paramHost, TComponent*& dataModule)
    : AudioEffectX(master, paramHost->ProgramCount(), paramHost->Parameters().Count()),
      FParamHost(paramHost),
      FDataModule(dataModule) {
  dataModule = nullptr;
  try {
    Construct();
  } catch (...) {
    // The destructor will not run: free what is already ours, then report.
    ReleaseOwned();
    throw;
  }
}

void TVSTEffectBase::Construct() {
  TVSTParameterHost& h = *FParamHost;

  h.OnRequestValue = [this](TVSTParameter* p, float v) { setParameterAutomated(p->Index(), v); };
  h.OnEditGesture = [this](TVSTParameter* p, bool begin) {
    if (begin)
      beginEdit(p->Index());
    else
      endEdit(p->Index());
  };
  h.OnCompareCopy = [this] { CompareCopy(); };
  h.OnCompareExchange = [this] { CompareExchange(); };
  h.OnCompareReset = [this] { CompareReset(); };
  h.OnPresetMenuFill = TGenPopupEvent::Bind(this, &TVSTEffectBase::PresetMenuFill);
  h.OnPresetMenuCommand = TGenPopupCommandEvent::Bind(this, &TVSTEffectBase::PresetMenuCommand);

  curProgram = -1;
  if (VST23Mode()) {
    if (h.MaxInChannelCount > 0) h.SetInChannelCount(h.MaxInChannelCount);
    if (h.MaxOutChannelCount > 0) h.SetOutChannelCount(h.MaxOutChannelCount);
  }
  setNumInputs(h.InChannelCount());
  setNumOutputs(h.OutChannelCount());
  canMono(h.CanMono);
  canProcessReplacing(h.CanProcessReplacing);
  programsAreChunks(true);

  std::string id = h.UniqueId;
  while (id.size() < 4) id += 'x';
  setUniqueID(static_cast<VstInt32>((static_cast<uint32_t>(static_cast<unsigned char>(id[0])) << 24) |
                                    (static_cast<uint32_t>(static_cast<unsigned char>(id[1])) << 16) |
                                    (static_cast<uint32_t>(static_cast<unsigned char>(id[2])) << 8) |
                                    static_cast<uint32_t>(static_cast<unsigned char>(id[3]))));

  if (h.HasEditor) setEditor(new TVSTEditorBase(this, FParamHost));

  for (int i = 0; i < h.InChannelCount(); ++i) h.InputConnected[i] = true;
  for (int i = 0; i < h.OutChannelCount(); ++i) h.OutputConnected[i] = true;

  if (h.OnGetLegacyParams.Bound()) {
    int32_t programs = 0, chunkParams = 0, params = 0, chunkSize = 0;
    h.OnGetLegacyParams(programs, chunkParams, params, chunkSize);
    FOldProgramCount = programs;
    FOldChunkParameterCount = chunkParams;
    FOldParameterCount = params;
    FOldProgramSize = chunkSize + 4 * (chunkParams != 0 ? chunkParams : params);
    FOldBankSize = programs * (FOldProgramSize + 41);
  }

  // The initial bank: the built-in one, or fresh defaults.
  bool bankLoaded = false;
  if (h.OnGetDefaultBank.Bound()) {
    const void* bank = h.OnGetDefaultBank();
    if (bank) {
      VstInt32 size = h.OnGetDefaultBankSize.Bound() ? h.OnGetDefaultBankSize() : FOldBankSize;
      bankLoaded = setChunk(const_cast<void*>(bank), size, false) != 0;
    }
  }
  if (!bankLoaded) {
    FBank.Clear();
    for (int i = 0; i < h.ProgramCount(); ++i) FBank.Add(nullptr, true)->Name = h.DefaultProgramName;
    for (int i = 1; i < h.ProgramCount(); ++i) InitDefaults(*FBank.Program(i));
  }
  if (TPresetObject* p0 = FBank.Program(0)) {
    if (!LoadDefaultProgram(*p0)) InitDefaults(*p0);
  }

  setProgram(0);
  TVSTParameters& params = h.Parameters();
  for (int i = 0; i < params.Count(); ++i) params.Items(i)->FactoryDefValue = params.Items(i)->DefValue();
  for (int i = 0; i < params.Count(); ++i) params.Items(i)->SetDefValue(params.Items(i)->CurValue());
  CompareCopy();
  setInitialDelay(h.DoDelayGet());

  char vendor[kHostVendorCapacity] = {};
  if (getHostVendorString(vendor)) {
    vendor[kHostVendorCapacity - 1] = 0;  // a host that forgot the zero
    FHostVendor = vendor;
  }
  if (FHostVendor == "Steinberg") HostIsSteinberg = true;
  FInitialised = true;
}

TVSTEffectBase::~TVSTEffectBase() { ReleaseOwned(); }

void TVSTEffectBase::ReleaseOwned() {
  delete editor;
  editor = nullptr;
  for (uint8_t*& b : FProgramChunks) {
    FreeChunk(b);
    b = nullptr;
  }
  for (uint8_t*& b : FBankChunks) {
    FreeChunk(b);
    b = nullptr;
  }
  FCompare.reset();
  FBank.Clear();
  FDataModule.reset();
}

// ---------------------------------------------------------------------------
// Programs

void TVSTEffectBase::Snapshot(TPresetObject& p) {
  p.Clear();
  TVSTParameters& params = FParamHost->Parameters();
  for (int i = 0; i < params.Count(); ++i) p.SetSingle(params.Items(i)->Name(), 0, params.Items(i)->NormalizedValue());
  FParamHost->OnGetPreset(&p);
}

void TVSTEffectBase::InitDefaults(TPresetObject& p) {
  p.Clear();
  TVSTParameters& params = FParamHost->Parameters();
  for (int i = 0; i < params.Count(); ++i)
    p.SetSingle(params.Items(i)->Name(), 0, static_cast<float>(params.Items(i)->NormalizedDefault()));
  FParamHost->OnGetDefaultPreset(&p);
}

void TVSTEffectBase::Apply(TPresetObject& p) {
  FParamHost->OnSetPreset(&p);
  TVSTParameters& params = FParamHost->Parameters();
  for (int i = 0; i < params.Count(); ++i) {
    TVSTParameter* par = params.Items(i);
    float v = p.GetSingle(par->Name(), 0, static_cast<float>(par->NormalizedDefault()));
    if (FInitialised)
      par->RequestNormalized(v);
    else
      par->SetNormalized(v);
  }
}

TPresetObject* TVSTEffectBase::CurrentSlot() { return curProgram < 0 ? nullptr : FBank.Program(curProgram); }

void TVSTEffectBase::setProgram(VstInt32 program) {
  TSyncLock lock(FProgramLock);
  if (program < 0) program = 0;
  if (program >= numPrograms) program = numPrograms - 1;
  if (TPresetObject* slot = CurrentSlot()) Snapshot(*slot);
  curProgram = program;
  if (TPresetObject* p = FBank.Program(program)) Apply(*p);
}

void TVSTEffectBase::setProgramName(char* name) {
  if (!name) return;
  TSyncLock lock(FProgramLock);
  if (curProgram >= 0 && curProgram < FBank.ProgramCount())
    FBank.Root()->Child(curProgram)->Name = std::string(name, strnlen(name, 4096));
}

void TVSTEffectBase::getProgramName(char* name) {
  TSyncLock lock(FProgramLock);
  std::string n;
  if (curProgram >= 0 && curProgram < FBank.ProgramCount()) n = FBank.Root()->Child(curProgram)->Name;
  CopyText(name, kProgramNameCapacity, n);
}

bool TVSTEffectBase::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
  if ((category != -1 && category != 0) || index < 0 || index >= numPrograms) return false;
  TSyncLock lock(FProgramLock);
  std::string n = index < FBank.ProgramCount() ? FBank.Root()->Child(index)->Name : std::string();
  CopyText(text, kProgramNameCapacity, n);
  return true;
}

// ---------------------------------------------------------------------------
// Parameters

void TVSTEffectBase::setParameter(VstInt32 index, float value) {
  if (index < 0 || index >= FParamHost->Parameters().Count()) return;
  FParamHost->Parameters().Items(index)->SetNormalized(value);
}

float TVSTEffectBase::getParameter(VstInt32 index) {
  if (index < 0 || index >= FParamHost->Parameters().Count()) return 0.0f;
  return FParamHost->Parameters().Items(index)->NormalizedValue();
}

void TVSTEffectBase::getParameterLabel(VstInt32 index, char* label) {
  bool ok = index >= 0 && index < FParamHost->Parameters().Count();
  CopyText(label, kParamTextCapacity, ok ? FParamHost->Parameters().Items(index)->DisplayLabel : std::string());
}

void TVSTEffectBase::getParameterDisplay(VstInt32 index, char* text) {
  bool ok = index >= 0 && index < FParamHost->Parameters().Count();
  CopyText(text, kParamTextCapacity, ok ? FParamHost->Parameters().Items(index)->ValueText() : std::string());
}

void TVSTEffectBase::getParameterName(VstInt32 index, char* text) {
  bool ok = index >= 0 && index < FParamHost->Parameters().Count();
  CopyText(text, kParamTextCapacity, ok ? FParamHost->Parameters().Items(index)->Name() : std::string());
}

// ---------------------------------------------------------------------------
// Chunks

VstInt32 TVSTEffectBase::getChunk(void** data, bool isPreset) {
  TSyncLock lock(FProgramLock);
  if (TPresetObject* slot = CurrentSlot()) Snapshot(*slot);
  uint8_t** buffers = isPreset ? FProgramChunks : FBankChunks;
  int& index = isPreset ? FProgramChunkIndex : FBankChunkIndex;
  index = index == 0 ? 3 : index - 1;
  FreeChunk(buffers[index]);
  buffers[index] = nullptr;
  uint32_t length = 0;
  if (isPreset) {
    TPresetObject* slot = CurrentSlot();
    TPresetObject empty;
    buffers[index] = (slot ? *slot : empty).WriteChunk(length);
  } else {
    buffers[index] = FBank.WriteChunk(length);
  }
  if (data) *data = buffers[index];
  return static_cast<VstInt32>(length);
}

bool TVSTEffectBase::LoadOldProgram(const uint8_t* data, VstInt32 size) {
  if (FOldProgramSize <= 0 || size != FOldProgramSize) return false;
  TVSTParameters& params = FParamHost->Parameters();
  // The values are an array of singles, followed by the plug-in's own bytes.
  std::vector<float> values(
      static_cast<size_t>(FOldChunkParameterCount != 0 ? FOldChunkParameterCount : FOldParameterCount));
  if (!values.empty()) std::memcpy(values.data(), data, values.size() * sizeof(float));
  const uint8_t* own = data + values.size() * sizeof(float);
  FParamHost->OnSetChunkAlt(own, values.data());
  int n = FOldChunkParameterCount;
  if (n == 0 || n >= FOldParameterCount) n = FOldParameterCount;
  if (n > static_cast<int>(values.size())) n = static_cast<int>(values.size());
  for (int i = 0; i < params.Count(); ++i) {
    TVSTParameter* p = params.Items(i);
    if (i < n)
      p->SetNormalized(values[static_cast<size_t>(i)]);
    else
      p->SetCurValue(p->DefValue());
  }
  if (TPresetObject* slot = CurrentSlot()) Snapshot(*slot);
  return true;
}

bool TVSTEffectBase::LoadOldBank(const uint8_t* data, VstInt32 size) {
  if (FOldBankSize <= 0 || size != FOldBankSize || FOldProgramCount <= 0) return false;
  FBank.Clear();
  const uint8_t* names = data + static_cast<size_t>(FOldProgramCount) * static_cast<size_t>(FOldProgramSize);
  // Every program the block holds is read (the last one included).
  for (int i = 0; i < FOldProgramCount; ++i) {
    TBankObjectItem* item = FBank.Add(nullptr, true);
    const char* name = reinterpret_cast<const char*>(names + static_cast<size_t>(i) * 41);
    item->Name = std::string(name, strnlen(name, 41));
    VstInt32 saved = curProgram;
    curProgram = i;  // the snapshot of the old program goes into the new slot
    LoadOldProgram(data + static_cast<size_t>(i) * static_cast<size_t>(FOldProgramSize), FOldProgramSize);
    curProgram = saved;
  }
  return true;
}

void TVSTEffectBase::FillBankToProgramCount() {
  while (FBank.ProgramCount() < FParamHost->ProgramCount()) {
    TBankObjectItem* item = FBank.Add(nullptr, true);
    item->Name = FParamHost->DefaultProgramName;
    InitDefaults(*item->Program());
  }
}

VstInt32 TVSTEffectBase::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
  if (!data || byteSize <= 0) return 0;
  TSyncLock lock(FProgramLock);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (isPreset) {
    TPresetObject* slot = CurrentSlot();
    bool ok = slot && slot->ReadChunk(bytes, static_cast<size_t>(byteSize));
    if (!ok) ok = LoadOldProgram(bytes, byteSize);
    if (!ok) return 0;
  } else {
    bool ok = FBank.ReadChunk(bytes, static_cast<size_t>(byteSize));
    if (!ok) ok = LoadOldBank(bytes, byteSize);
    if (!ok) return 0;
    FillBankToProgramCount();
  }
  if (TPresetObject* slot = CurrentSlot()) Apply(*slot);
  return 1;
}

// ---------------------------------------------------------------------------
// Compare copy

void TVSTEffectBase::CompareCopy() {
  TSyncLock lock(FProgramLock);
  if (!FCompare) FCompare = std::make_unique<TPresetObject>();
  FCompare->Clear();
  Snapshot(*FCompare);
}

void TVSTEffectBase::CompareExchange() {
  TSyncLock lock(FProgramLock);
  auto live = std::make_unique<TPresetObject>();
  Snapshot(*live);
  if (FCompare) Apply(*FCompare);
  FCompare = std::move(live);
}

void TVSTEffectBase::CompareReset() {
  TSyncLock lock(FProgramLock);
  TPresetObject* slot = CurrentSlot();
  if (!slot) return;
  if (!LoadDefaultProgram(*slot)) InitDefaults(*slot);
  Apply(*slot);
  TVSTParameters& params = FParamHost->Parameters();
  for (int i = 0; i < params.Count(); ++i) params.Items(i)->SetDefValue(params.Items(i)->CurValue());
}

// ---------------------------------------------------------------------------
// The user default program in the registry

std::string TVSTEffectBase::RegistryKey() const { return RegistryRoot + FParamHost->ProductName; }

void TVSTEffectBase::StoreDefaultProgram() {
  {
    TSyncLock lock(FProgramLock);
    void* data = nullptr;
    VstInt32 size = getChunk(&data, true);
    const std::string key = RegistryKey(), u = FParamHost->UniqueId;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    forEachRegistryPiece(static_cast<uint32_t>(size), [&](const std::string& name, uint32_t off, uint32_t length) {
      RegWriteBinary(key, u + name, bytes + off, length);
      return true;
    });
    RegWriteString(key, u + "DefaultPresetLen", std::to_string(size));
  }
  MessageDlg(
      "Current program has been stored as a default program.\r\rEach newly created instance of this plug-in will "
      "use it as its initial program.",
      "Default preset", platform::MB_ICON_WARNING);
}

bool TVSTEffectBase::LoadDefaultProgram(TPresetObject& program) {
  const std::string key = RegistryKey(), u = FParamHost->UniqueId;
  int size = RegReadInteger(key, u + "DefaultPresetLen", FOldProgramSize);
  if (size == 0 || size == FOldProgramSize) size = RegReadInteger(key, "DefaultPresetLen", FOldProgramSize);
  if (size <= 0 || size > kMaxStoredProgram) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  // Each piece under the plug-in's own name, else under the older shared one.
  const bool read =
      forEachRegistryPiece(static_cast<uint32_t>(size), [&](const std::string& name, uint32_t off, uint32_t length) {
        return RegReadBinary(key, u + name, bytes.data() + off, length) ||
               RegReadBinary(key, name, bytes.data() + off, length);
      });
  if (!read) return false;
  if (program.ReadChunk(bytes.data(), bytes.size())) return true;
  // An old-format default program sets the live parameters; keep its snapshot.
  if (size != FOldProgramSize) return false;
  TSyncLock lock(FProgramLock);
  if (!LoadOldProgram(bytes.data(), size)) return false;
  Snapshot(program);
  return true;
}

void TVSTEffectBase::ResetDefaultProgram() {
  const std::string key = RegistryKey(), u = FParamHost->UniqueId;
  int size = RegReadInteger(key, u + "DefaultPresetLen", -1);
  if (size == -1) size = RegReadInteger(key, "DefaultPresetLen", FOldProgramSize);
  if (size > kMaxStoredProgram) size = kMaxStoredProgram;
  forEachRegistryPiece(size > 0 ? static_cast<uint32_t>(size) : 0, [&](const std::string& name, uint32_t, uint32_t) {
    RegRemoveValue(key, u + name);
    RegRemoveValue(key, name);
    return true;
  });
  MessageDlg("Default preset has been reset to its original state.", "Default preset", platform::MB_ICON_WARNING);
}

// ---------------------------------------------------------------------------
// Processing side

void TVSTEffectBase::setSampleRate(float rate) {
  // A rate that is not a positive finite number of samples per second is
  // ignored: nothing downstream can work with it.
  if (!(rate >= 1.0f && rate <= 1.0e7f)) return;
  TSyncLock lock(FProcessLock);
  sampleRate = rate;
  FParamHost->SetSampleRate(static_cast<int32_t>(std::nearbyint(rate)));
}

void TVSTEffectBase::setBlockSize(VstInt32 size) {
  TSyncLock lock(FProcessLock);
  blockSize = size;
  FParamHost->SetBlockSize(size);
}

void TVSTEffectBase::suspend() {
  TSyncLock lock(FProcessLock);
  FParamHost->DoClear();
}

void TVSTEffectBase::resume() {
  TSyncLock lock(FProcessLock);
  setInitialDelay(FParamHost->DoDelayGet());
  if (VST23Mode()) {
    for (int i = 0; i < FParamHost->InChannelCount(); ++i) FParamHost->InputConnected[i] = isInputConnected(i);
    for (int i = 0; i < FParamHost->OutChannelCount(); ++i) FParamHost->OutputConnected[i] = isOutputConnected(i);
  }
  if (FParamHost->IsMIDI) wantEvents(1);
}

VstInt32 TVSTEffectBase::processEvents(VstEvents* events) {
  TSyncLock lock(FProcessLock);
  FParamHost->DoProcessEvents(events);
  return 1;
}

void TVSTEffectBase::inputConnected(VstInt32 index, bool state) {
  if (index >= 0 && index < kMaxChannels) FParamHost->InputConnected[index] = state;
}

void TVSTEffectBase::outputConnected(VstInt32 index, bool state) {
  if (index >= 0 && index < kMaxChannels) FParamHost->OutputConnected[index] = state;
}

void TVSTEffectBase::BuildProcessRecord(TVSTProcessRecord& r, float** inputs, float** outputs, VstInt32 frames,
                                        bool replacing) {
  std::memset(&r, 0, sizeof r);
  r.Replacing = replacing ? -1 : 0;
  r.SampleFrames = frames;
  r.InCount = FParamHost->InChannelCount();
  r.OutCount = FParamHost->OutChannelCount();
  // The parameter model's connection flags fill the record's one for one.
  static_assert(std::extent_v<decltype(TVSTProcessRecord::InConnected)> ==
                std::extent_v<decltype(TVSTParameterHost::InputConnected)>);
  static_assert(std::extent_v<decltype(TVSTProcessRecord::OutConnected)> ==
                std::extent_v<decltype(TVSTParameterHost::OutputConnected)>);
  for (int i = 0; i < kMaxChannels; ++i) {
    r.InConnected[i] = FParamHost->InputConnected[i] ? 1 : 0;
    r.OutConnected[i] = FParamHost->OutputConnected[i] ? 1 : 0;
  }
  for (int i = 0; i < r.InCount; ++i) r.Inputs[i] = inputs ? inputs[i] : nullptr;
  for (int i = 0; i < r.OutCount; ++i) r.Outputs[i] = outputs ? outputs[i] : nullptr;
  for (int i = 0; i < kMaxChannels; ++i) {
    if (!r.Inputs[i]) r.InConnected[i] = 0;
    if (!r.Outputs[i]) r.OutConnected[i] = 0;
  }
  if (r.Inputs[1] == r.Inputs[0]) r.InConnected[1] = 0;
}

static const TVSTOnProcess* ChooseHandler(TVSTParameterHost& h, const TVSTProcessRecord& r) {
  int in = h.InChannelCount(), out = h.OutChannelCount();
  if (in == 1 && out == 1) return &h.OnProcessM2M;
  if (in == 1 && out == 2) return &h.OnProcessS2Sm;
  if (in == 1) return nullptr;
  if (in == 2 && out == 2) return (r.Inputs[1] && r.Inputs[1] != r.Inputs[0]) ? &h.OnProcessS2S : &h.OnProcessS2Sm;
  return &h.OnProcessAny;
}

void TVSTEffectBase::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
  TSyncLock lock(FProcessLock);
  TVSTProcessRecord r;
  BuildProcessRecord(r, inputs, outputs, sampleFrames, false);
  if (const TVSTOnProcess* handler = ChooseHandler(*FParamHost, r)) FParamHost->DoProcess(*handler, &r);
}

void TVSTEffectBase::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  TSyncLock lock(FProcessLock);
  TVSTProcessRecord r;
  BuildProcessRecord(r, inputs, outputs, sampleFrames, true);
  if (const TVSTOnProcess* handler = ChooseHandler(*FParamHost, r)) FParamHost->DoProcess(*handler, &r);
}

// ---------------------------------------------------------------------------
// Identity

bool TVSTEffectBase::getVendorString(char* text) {
  CopyText(text, kVendorTextCapacity, MakerName);
  return true;
}

bool TVSTEffectBase::getProductString(char* text) {
  CopyText(text, kVendorTextCapacity,
           FParamHost->PluginName.empty() ? FParamHost->ProductName : FParamHost->PluginName);
  return true;
}

VstInt32 TVSTEffectBase::getVendorVersion() { return FParamHost->DoGetVersion(); }

VstIntPtr TVSTEffectBase::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float opt) {
  if (index == FourCC("stCA") && value == FourCC("Whee")) {
    if (auto* ed = dynamic_cast<TVSTEditorBase*>(editor)) ed->WheelStep(opt > 0.0f);
    return 1;
  }
  return 0;
}

VstInt32 TVSTEffectBase::canDo(char* text) { return text && std::strcmp(text, "receiveVstTimeInfo") == 0 ? 1 : 0; }
