#pragma once
// The parameter model: a plug-in's host-automatable parameters and host-facing
// properties declared as data, and the binding of editor controls to
// parameters by name.
//
// - TVSTParameter: an integer range, a cached single-precision normalized image
//   for the host and a cached real-valued reading, three plug-in handlers.
// - TVSTParameters: the ordered collection; an item's index is its host index.
// - TVSTParameterHost: owns the collection and every property and handler the
//   effect base needs.
// - TVSTParameterHostProxy / TVSTParameterSource: editor-side binding of a
//   control to a parameter through a proxy that refers to one host.
//
// Threads: parameter values change on the host's audio thread (automation) or
// its user-interface thread without a lock; each notifier holds its own lock
// while it delivers, on the thread that changed the value. Listeners must not
// wait for another thread that could be notifying on the same notifier.

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Events.h"
#include "dsp/ProcessRecord.h"
#include "gfx/core/GraphicNotifyHost.h"

class TPresetObject;
class TVSTParameter;
class TVSTParameterHost;
struct VstEvents;

// Notification codes sent by this model.
enum : uint32_t {
  pnFreeing = 0,
  pnRenamed = 3,
  pnRangeChanged = 4,
  pnValueChanged = 5,
  pnSourceRebound = 6,
  pnHostChanged = 7,
};

using TVSTParamOnGetStrValue = TEvent<std::string(TVSTParameter* Param)>;
using TVSTParamOnGetRealValue = TEvent<double(TVSTParameter* Param)>;
using TVSTOnParamChange = TEvent<void(TVSTParameter* Param)>;
using TVSTOnGetPreset = TEvent<void(TPresetObject* Preset)>;
using TVSTOnSetPreset = TEvent<void(TPresetObject* Preset)>;
using PArrayOfSingle = const float*;
using TVSTOnSetChunkAlt = TEvent<void(const void* Data, PArrayOfSingle Params)>;
using TVSTOnGetDefaultBank = TEvent<const void*()>;
using TVSTOnGetDefaultBankSize = TEvent<int32_t()>;
using TVSTOnGetLegacyParams =
    TEvent<void(int32_t& ProgramCount, int32_t& ChunkParameterCount, int32_t& ParameterCount, int32_t& ChunkSize)>;
using TVSTOnProcess = TEvent<void(PVSTProcessRecord ProcessRecord)>;
using TVSTOnProcessEvents = TEvent<void(VstEvents* events)>;
using TVSTOnCreateEditor = TEvent<TComponent*(void* SysWindow)>;
using TVSTOnDelayGet = TEvent<int32_t()>;
using TVSTOnGetVersion = TEvent<int32_t()>;
using TVSTOnRequestValue = TEvent<void(TVSTParameter* Param, float Value)>;
// A user gesture on a parameter begins (true) or ends (false).
using TVSTOnEditGesture = TEvent<void(TVSTParameter* Param, bool Begin)>;
using TSimpleHook = TEvent<void()>;
// The preset button's two events: fill a generated popup, run its command.
using TGenPopupEvent = TEvent<void(TObject* Sender, TStringList* Items)>;
using TGenPopupCommandEvent = TEvent<void(TObject* Sender, intptr_t CmdId)>;

class TVSTParameter : public TCollectionItem {
public:
  explicit TVSTParameter(TCollection* collection);
  ~TVSTParameter() override;

  // Published properties, in declaration order.
  int32_t Tag = 0;
  std::string DisplayLabel;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& n);
  int32_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int32_t v);
  int32_t MinValue() const { return FMinValue; }
  void SetMinValue(int32_t v);
  int32_t DefValue() const { return FDefValue; }
  void SetDefValue(int32_t v);
  int32_t CurValue() const { return FCurValue; }
  void SetCurValue(int32_t v);
  TVSTParamOnGetStrValue OnGetStrValue;
  const TVSTParamOnGetRealValue& OnGetRealValue() const { return FOnGetRealValue; }
  void SetOnGetRealValue(TVSTParamOnGetRealValue h);
  TVSTOnParamChange OnParamChange;
  bool IsPackaged = false;

  // Unpublished state.
  int32_t FactoryDefValue = 0;
  float NormalizedValue() const { return FNormalizedValue; }
  double RealValue() const { return FRealValue; }
  bool Active = false;
  TGraphicNotifyHost& Notifier() { return FNotifier; }

  // The host's way in: x above 1 is 1, negative or NaN is 0; the value is
  // MinValue + the range times x, rounded to nearest with ties to even.
  void SetNormalized(float x);
  double NormalizedDefault() const;
  std::string ValueText() const;
  // The editor's way in: asks the host (through OnRequestValue) to set v.
  void RequestValue(int32_t v);
  // Program loading after start-up: asks the host to set x as automation.
  void RequestNormalized(float x);
  // Bracket the requests of one user gesture (a drag, a click) for the host.
  void BeginEdit();
  void EndEdit();
  // One complete gesture: BeginEdit, RequestValue(v), EndEdit; nothing when
  // v (clamped) is the current value.
  void RequestEdit(int32_t v);
  const char* ClassName() const override { return "TVSTParameter"; }

private:
  void ValueChanged();
  TVSTParameterHost* RequestHost() const;

  std::string FName;
  int32_t FMaxValue = 1000000;
  int32_t FMinValue = 0;
  int32_t FDefValue = 0;
  int32_t FCurValue = 0;
  float FNormalizedValue = 0.0f;
  double FRealValue = 0.0;
  TVSTParamOnGetRealValue FOnGetRealValue;
  TGraphicNotifyHost FNotifier;
};

class TVSTParameters : public TCollection {
public:
  explicit TVSTParameters(TObject* owner) : TCollection(owner) {}
  // Adds a parameter; an empty Name becomes "param" + (ID + 1).
  TVSTParameter* Add();
  TVSTParameter* Items(int i) const { return static_cast<TVSTParameter*>(Item(i)); }
  int IndexOfName(const std::string& name) const;
  TVSTParameter* FindByName(const std::string& name) const;
  // Replaces the items with copies of other's (published properties).
  void Assign(const TVSTParameters& other);
  const char* ClassName() const override { return "TVSTParameters"; }
};

class TVSTParameterHost : public TComponent {
public:
  explicit TVSTParameterHost(TComponent* owner);
  ~TVSTParameterHost() override;

  // Published properties, in declaration order.
  TVSTParameters& Parameters() { return *FParameters; }
  const TVSTParameters& Parameters() const { return *FParameters; }
  bool CanMono = true;
  bool CanProcessReplacing = true;
  int32_t InChannelCount() const { return FInChannelCount; }
  void SetInChannelCount(int32_t v);
  int32_t OutChannelCount() const { return FOutChannelCount; }
  void SetOutChannelCount(int32_t v);
  int32_t MaxInChannelCount = 0;
  int32_t MaxOutChannelCount = 0;
  std::string UniqueId = "FX99";
  std::string UniqueIdPrev;
  int32_t EditorWidth = 100;
  int32_t EditorHeight = 100;
  std::string DefaultProgramName = "Default";
  TVSTOnGetPreset OnGetPreset;
  TVSTOnGetPreset OnGetDefaultPreset;
  TVSTOnSetPreset OnSetPreset;
  TVSTOnSetChunkAlt OnSetChunkAlt;
  TVSTOnGetDefaultBank OnGetDefaultBank;
  TVSTOnGetDefaultBankSize OnGetDefaultBankSize;
  TVSTOnGetLegacyParams OnGetLegacyParams;
  int32_t ProgramCount() const { return FProgramCount; }
  void SetProgramCount(int32_t v) { FProgramCount = v < 1 ? 1 : v; }
  std::string ProductName;
  std::string PluginName;
  TVSTOnProcess OnProcessAny, OnProcessM2M, OnProcessS2S, OnProcessS2Sm;
  TVSTOnProcessEvents OnProcessEvents;
  TNotifyEvent OnNewSamplingFrequency;
  TNotifyEvent OnNewBlockSize;
  TNotifyEvent OnClear;
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TVSTOnCreateEditor OnCreateEditor;
  TVSTOnGetVersion OnGetVersion;
  bool HasEditor = false;
  bool IsMIDI = false;
  TVSTOnDelayGet OnDelayGet;
  TNotifyEvent OnEditorClosed;
  bool IsDynamicIO = false;
  bool CheckConnections = false;

  // Unpublished state.
  int32_t SampleRate() const { return FSampleRate; }
  int32_t BlockSize() const { return FBlockSize; }
  // Store the value; a different value fires OnNewSamplingFrequency / OnNewBlockSize.
  void SetSampleRate(int32_t v);
  void SetBlockSize(int32_t v);
  bool InputConnected[kMaxChannels] = {};
  bool OutputConnected[kMaxChannels] = {};
  bool Active = false;
  TVSTOnRequestValue OnRequestValue;
  TVSTOnEditGesture OnEditGesture;
  TSimpleHook OnCompareCopy, OnCompareExchange, OnCompareReset;
  TGenPopupEvent OnPresetMenuFill;
  TGenPopupCommandEvent OnPresetMenuCommand;
  TGraphicNotifyHost& Notifier() { return *FNotifier; }

  // Dispatchers used by the effect base; unbound handlers do nothing / give 0.
  void DoProcess(const TVSTOnProcess& handler, PVSTProcessRecord record) { handler(record); }
  void DoProcessEvents(VstEvents* events) { OnProcessEvents(events); }
  void DoClear() { OnClear(this); }
  TComponent* DoCreateEditor(void* sysWindow) { return OnCreateEditor(sysWindow); }
  int32_t DoDelayGet() { return OnDelayGet(); }
  int32_t DoGetVersion() { return OnGetVersion(); }

  // Click handlers for the editor's compare buttons.
  void CompareCopyClick(TObject*) { OnCompareCopy(); }
  void CompareExchangeClick(TObject*) { OnCompareExchange(); }
  void CompareResetClick(TObject*) { OnCompareReset(); }

  const char* ClassName() const override { return "TVSTParameterHost"; }

protected:
  // Completion of loading: activates the host, runs OnCreate, then activates
  // every parameter and hands it its value once through OnParamChange.
  void Loaded() override;

private:
  int32_t FInChannelCount = 2;
  int32_t FOutChannelCount = 2;
  int32_t FProgramCount = 1;
  int32_t FSampleRate = 44100;
  int32_t FBlockSize = 1024;
  // Destroyed explicitly in this order: the notifier (proxies drop the host),
  // then the parameters (sources drop their parameter).
  std::unique_ptr<TGraphicNotifyHost> FNotifier;
  std::unique_ptr<TVSTParameters> FParameters;
};

class TVSTParameterHostProxy : public TComponent {
public:
  explicit TVSTParameterHostProxy(TComponent* owner);
  ~TVSTParameterHostProxy() override;
  TVSTParameterHost* Host() const { return FHost; }
  void SetHost(TVSTParameterHost* host);
  TGraphicNotifyHost& Notifier() { return FNotifier; }
  const char* ClassName() const override { return "TVSTParameterHostProxy"; }

private:
  void HostNotify(TObject* sender, uint32_t code, int32_t param);
  TVSTParameterHost* FHost = nullptr;
  TGraphicNotifyHost FNotifier;
};

class TVSTParameterSource : public TComponent {
public:
  explicit TVSTParameterSource(TComponent* owner);
  ~TVSTParameterSource() override;
  TVSTParameterHostProxy* Proxy() const { return FProxy; }
  void SetProxy(TVSTParameterHostProxy* proxy);
  const std::string& VSTParamName() const { return FVSTParamName; }
  void SetVSTParamName(const std::string& name);
  TVSTParameter* Param() const { return FParam; }
  TGraphicNotifyHost& Notifier() { return FNotifier; }
  const char* ClassName() const override { return "TVSTParameterSource"; }

private:
  void Rebind();
  void ParamNotify(TObject* sender, uint32_t code, int32_t param);
  void ProxyNotify(TObject* sender, uint32_t code, int32_t param);
  TVSTParameterHostProxy* FProxy = nullptr;
  std::string FVSTParamName;
  TVSTParameter* FParam = nullptr;
  TGraphicNotifyHost FNotifier;
};
