#pragma once
// TEffParameters: the plug-in's parameter data module. It owns the one
// TVSTParameterHost, declares the nine host parameters and the host-facing
// properties on it, and implements every handler: value mapping and change
// handling, programs and chunks, the legacy format description, the version,
// the built-in bank, and the processing chain (staging, denormal noise,
// audition filter, engine, output staging, clip statistics, analysis).
//
// Threads: parameter handlers run on whichever host thread changes a value;
// processing runs on the host's audio thread, one call at a time (the effect
// base's process lock). The module lock guards the editor link, the pending
// requests the audio thread takes over at the start of each block, and the
// engine's envelope state. Nothing on the audio path allocates.

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "dsp/chstats.h"
#include "dsp/kesfilter.h"
#include "dsp/outdelay.h"
#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"
#include "params/model/VSTParameterHost.h"

// What the processing side publishes to an open editor. The editor form
// implements it; messages are posted, never handled on the audio thread.
class TEffEditorLink {
public:
  virtual ~TEffEditorLink() = default;
  virtual void PostToEditor(int message, intptr_t value) = 0;
  // The display's spectrum arrays (32 bands, dB), written under the module lock.
  virtual void SetSpectrum(const double* levelDb, const double* gainDb) = 0;
  virtual void ClearSpectrum() = 0;
};

// Messages posted to the editor form.
enum : int {
  emRepaintDisplay = 5120,
  emRefreshColours = 5121,
  emRefreshModes = 5122,
  emRmsDifference = 5124,
  emClearRms = 5125,
  emSampleRate = 5126,
  emClipIndicator = 5127,
  emRefreshOrder = 5128,
  emRefreshKnobs = 5129,
};

constexpr int kSpectrumSpeeds = 10;
extern const int kSpectrumSpeedDb[kSpectrumSpeeds];
constexpr int32_t kPluginVersion = 132353;  // 2.5.1
// Programs the plug-in has: the factory bank's seventeen.
constexpr int kProgramCount = 17;

class TEffParameters : public TComponent {
public:
  explicit TEffParameters(TComponent* owner);
  ~TEffParameters() override;

  TVSTParameterHost* ParamHost = nullptr;

  // Module state (see the class comment for which lock guards what).
  TSyncObject* Lock() const { return FLock.get(); }
  TTalvern* Engine() const { return FEngine.get(); }
  TKesFilter* Filter() const { return FFilter.get(); }
  TChannelStats* Stats() const { return FStats.get(); }
  // Attaches or detaches the editor (under the module lock).
  void SetEditorLink(TEffEditorLink* link);
  TEffEditorLink* EditorLink() const { return FEditor; }
  int32_t DisplayInterval() const { return FDisplayInterval; }

  // User-interface requests, taken over by the audio thread at the next block.
  void RequestFilter(bool enabled, float frequency, float bandwidth);
  void RequestMeterReset();
  void RequestClipReset();

  // The four registry settings.
  int32_t SpectrumSpeed = 5;
  bool Snapping = false;
  bool AutoOverlay = true;
  bool PreOutGain = true;

  // Smoothed analysis (per display band), for the editor and for tests.
  const double* SmoothedLevels() const { return FLevel; }
  const double* SmoothedGains() const { return FGain; }
  const char* ClassName() const override { return "TEffParameters"; }

private:
  void Declare();
  // Parameter handlers.
  double MainOutReal(TVSTParameter* p);
  double InSlopeReal(TVSTParameter* p);
  double PlainReal(TVSTParameter* p);
  std::string RealText(TVSTParameter* p);
  void MainOutChange(TVSTParameter* p);
  void InSlopeChange(TVSTParameter* p);
  void FluffyChange(TVSTParameter* p);
  void DetectorChange(TVSTParameter* p);
  void MSModeChange(TVSTParameter* p);
  void CModeChange(TVSTParameter* p);
  // Program handlers.
  void GetPreset(TPresetObject* p);
  void SetPreset(TPresetObject* p);
  void SetChunkAlt(const void* data, PArrayOfSingle params);
  void RefreshEditor();
  // Processing side.
  void Create(TObject* sender);
  void Destroy(TObject* sender);
  void NewSamplingFrequency(TObject* sender);
  void Clear(TObject* sender);
  void ProcessS2S(PVSTProcessRecord r);
  void ProcessS2Sm(PVSTProcessRecord r);
  void ProcessBlock(PVSTProcessRecord r, bool stereo);
  void TakeOverRequests();
  void AnalysisUpdate(int32_t frames, bool stereo);
  void FreeProcessing();

  std::unique_ptr<TSyncObject> FLock;
  std::unique_ptr<TTalvern> FEngine;
  std::unique_ptr<TKesFilter> FFilter;
  std::unique_ptr<TOutDelayer> FStaging;
  std::unique_ptr<TChannelStats> FStats;
  TEffEditorLink* FEditor = nullptr;

  // Pending requests (module lock).
  int32_t FRequestedMSMode = 0;
  bool FMSPending = false;
  bool FRequestedCurveMode = false;
  bool FCurvePending = false;
  bool FMeterResetPending = false;
  bool FClipResetPending = false;
  bool FFilterPending = false;
  bool FFilterEnabledRequest = false;
  float FFilterFreq = 1000.0f;
  float FFilterBW = 0.7f;

  // Audio side.
  bool FFilterEnabled = false;
  int32_t FDisplayInterval = 2940;
  int32_t FSamplesSinceUpdate = 0;
  int32_t FSamplesSinceCollection = 0;
  uint32_t FNoiseState = 0;
  double FLevel[kEnvelopeBands] = {};
  double FGain[kEnvelopeBands] = {};
};

// The built-in bank of factory programs as a bank chunk (built once).
const uint8_t* FactoryBankChunk(int32_t& size);
