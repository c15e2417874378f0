#include "params/plugin/EffParams.h"

#include <cmath>

#include "dsp/VecOps.h"
#include "host/RegUtils.h"
#include "host/VSTWrapper.h"
#include "params/state/PresetMan.h"
#include "platform/Clock.h"

const int kSpectrumSpeedDb[kSpectrumSpeeds] = {-50, -45, -40, -35, -30, -25, -20, -15, -5, -3};

namespace {

constexpr int kPiece = 128;  // samples per processing piece
constexpr int kLegacyDataSize = 1800;
// Clip detection sees the auditioned band 6.02 dB up.
const float kAuditionGain = static_cast<float>(std::pow(10.0, 0.3));

// Parameter indexes.
enum { piMainOut = 0, piInSlope, piUnused0, piFluffy, piDetectr, piMSMode, piUnused1, piCDisabl, piCMode };

}  // namespace

TEffParameters::TEffParameters(TComponent* owner) : TComponent(owner) {
  ParamHost = new TVSTParameterHost(this);
  ParamHost->SetName("ParamHost");
  ParamHost->BeginLoading();
  Declare();
  ParamHost->EndLoading();  // OnCreate, then every parameter's value once
}

TEffParameters::~TEffParameters() {
  // The host's OnDestroy needs this module whole: destroy it first.
  delete ParamHost;
  ParamHost = nullptr;
  FreeProcessing();
}

void TEffParameters::Declare() {
  TVSTParameterHost& h = *ParamHost;
  h.CanMono = true;
  h.CanProcessReplacing = true;
  h.SetInChannelCount(2);
  h.SetOutChannelCount(2);
  h.MaxInChannelCount = 0;
  h.MaxOutChannelCount = 0;
  h.UniqueId = "KsEf";
  h.EditorWidth = 600;
  h.EditorHeight = 480;
  h.DefaultProgramName = "Default";
  h.SetProgramCount(kProgramCount);
  h.ProductName = "Kestrune Talvern VST";
  h.HasEditor = true;
  h.IsMIDI = false;
  h.IsDynamicIO = false;
  h.CheckConnections = false;

  using Real = double (TEffParameters::*)(TVSTParameter*);
  using Change = void (TEffParameters::*)(TVSTParameter*);
  struct Decl {
    const char* name;
    const char* label;
    int32_t max;
    int32_t def;
    Real real;
    bool realText;  // "%.1f" of the real value
    TVSTParamOnGetStrValue text;
    Change change;
  };
  auto words = [](const char* on, const char* off) {
    return TVSTParamOnGetStrValue([on, off](TVSTParameter* p) { return std::string(p->CurValue() ? on : off); });
  };
  const Decl decls[] = {
      {"MainOut", "dB", 1000000, 500000, &TEffParameters::MainOutReal, true, {}, &TEffParameters::MainOutChange},
      {"InSlope", "dB/o", 1000000, 300000, &TEffParameters::InSlopeReal, true, {}, &TEffParameters::InSlopeChange},
      {"unused0", "", 10, 0, &TEffParameters::PlainReal, false, {}, nullptr},
      {"Fluffy", "", 1, 0, &TEffParameters::PlainReal, false, words("On", "Off"), &TEffParameters::FluffyChange},
      {"Detectr", "", 10, 0, &TEffParameters::PlainReal, false, words("Env", "Peak"), &TEffParameters::DetectorChange},
      {"MSMode", "", 9, 0, &TEffParameters::PlainReal, false, TVSTParamOnGetStrValue([](TVSTParameter* p) {
         return std::string(p->CurValue() == 1 ? "Mid" : p->CurValue() == 2 ? "Side" : "Off");
       }),
       &TEffParameters::MSModeChange},
      {"unused1", "", 1, 0, &TEffParameters::PlainReal, false, {}, nullptr},
      {"CDisabl", "", 1, 0, &TEffParameters::PlainReal, false, {}, nullptr},
      {"CMode", "", 10, 0, &TEffParameters::PlainReal, false, words("Inverted", "Normal"),
       &TEffParameters::CModeChange},
  };
  for (const Decl& d : decls) {
    TVSTParameter* p = h.Parameters().Add();
    p->Tag = 0;
    p->DisplayLabel = d.label;
    p->SetName(d.name);
    p->SetMaxValue(d.max);
    p->SetMinValue(0);
    p->SetDefValue(d.def);
    p->SetCurValue(d.def);
    if (d.realText)
      p->OnGetStrValue = TVSTParamOnGetStrValue::Bind(this, &TEffParameters::RealText);
    else if (d.text.Bound())
      p->OnGetStrValue = d.text;
    p->SetOnGetRealValue(TVSTParamOnGetRealValue::Bind(this, d.real));
    if (d.change) p->OnParamChange = TVSTOnParamChange::Bind(this, d.change);
    p->IsPackaged = false;
  }

  h.OnGetPreset = TVSTOnGetPreset::Bind(this, &TEffParameters::GetPreset);
  h.OnSetPreset = TVSTOnSetPreset::Bind(this, &TEffParameters::SetPreset);
  h.OnSetChunkAlt = TVSTOnSetChunkAlt::Bind(this, &TEffParameters::SetChunkAlt);
  h.OnGetDefaultBank = [] {
    int32_t size;
    return static_cast<const void*>(FactoryBankChunk(size));
  };
  h.OnGetDefaultBankSize = [] {
    int32_t size;
    FactoryBankChunk(size);
    return size;
  };
  h.OnGetLegacyParams = [](int32_t& programs, int32_t& chunkParams, int32_t& params, int32_t& chunkSize) {
    programs = 17;
    chunkParams = 16;
    params = 6;
    chunkSize = kLegacyDataSize;
  };
  h.OnProcessS2S = TVSTOnProcess::Bind(this, &TEffParameters::ProcessS2S);
  h.OnProcessS2Sm = TVSTOnProcess::Bind(this, &TEffParameters::ProcessS2Sm);
  h.OnNewSamplingFrequency = TNotifyEvent::Bind(this, &TEffParameters::NewSamplingFrequency);
  h.OnClear = TNotifyEvent::Bind(this, &TEffParameters::Clear);
  h.OnCreate = TNotifyEvent::Bind(this, &TEffParameters::Create);
  h.OnDestroy = TNotifyEvent::Bind(this, &TEffParameters::Destroy);
  // The plug-in entry binds the editor form; without it opening is refused.
  h.OnCreateEditor = [](void*) -> TComponent* { return nullptr; };
  h.OnGetVersion = [] { return kPluginVersion; };
  h.OnEditorClosed = [this](TObject*) { SetEditorLink(nullptr); };
}

// ---------------------------------------------------------------------------
// Parameters

double TEffParameters::MainOutReal(TVSTParameter* p) {
  double x = static_cast<double>(p->CurValue()) / p->MaxValue();
  return x > 0.5 ? (x - 0.5) * 2 * 12 : (1 - x / 0.5) * -48;
}

double TEffParameters::InSlopeReal(TVSTParameter* p) { return static_cast<double>(p->CurValue()) / p->MaxValue() * 10; }

double TEffParameters::PlainReal(TVSTParameter* p) { return p->CurValue(); }

std::string TEffParameters::RealText(TVSTParameter* p) {
  std::string s = Format("%.1f", p->RealValue());
  return s == "-0.0" ? "0.0" : s;
}

void TEffParameters::MainOutChange(TVSTParameter* p) {
  FEngine->SetOutputGain(static_cast<float>(std::pow(10.0, p->RealValue() / 20)));
}

void TEffParameters::InSlopeChange(TVSTParameter* p) { FEngine->SetSlope(static_cast<float>(p->RealValue())); }

void TEffParameters::FluffyChange(TVSTParameter* p) {
  TSyncLock lock(*FLock);
  FEngine->SquareGain = p->CurValue() == 0 ? 1 : 0;
  if (FEditor) FEditor->PostToEditor(emRefreshColours, 0);
}

void TEffParameters::DetectorChange(TVSTParameter* p) { FEngine->EnvDetector = p->CurValue(); }

void TEffParameters::MSModeChange(TVSTParameter* p) {
  TSyncLock lock(*FLock);
  FRequestedMSMode = p->CurValue();
  FMSPending = true;
  if (FEditor) FEditor->PostToEditor(emRefreshColours, 0);
}

void TEffParameters::CModeChange(TVSTParameter* p) {
  TSyncLock lock(*FLock);
  FRequestedCurveMode = p->CurValue() != 0;
  FCurvePending = true;
}

// ---------------------------------------------------------------------------
// Programs

void TEffParameters::GetPreset(TPresetObject* p) {
  TSyncLock lock(*FLock);
  FEngine->SaveToProgram(*p);
}

void TEffParameters::SetPreset(TPresetObject* p) {
  TSyncLock lock(*FLock);
  FEngine->LoadFromProgram(*p);
  if (FEditor) RefreshEditor();
}

void TEffParameters::SetChunkAlt(const void* data, PArrayOfSingle) {
  TSyncLock lock(*FLock);
  FEngine->LoadLegacy(data, kLegacyDataSize);
  if (FEditor) RefreshEditor();
}

void TEffParameters::RefreshEditor() {
  FEditor->PostToEditor(emRefreshColours, 0);
  FEditor->PostToEditor(emRefreshModes, 0);
  FEditor->PostToEditor(emRefreshOrder, 0);
  FEditor->PostToEditor(emRefreshKnobs, 0);
}

void TEffParameters::SetEditorLink(TEffEditorLink* link) {
  TSyncLock lock(*FLock);
  FEditor = link;
  if (link) FMeterResetPending = true;  // the meters restart when the editor opens
}

void TEffParameters::RequestFilter(bool enabled, float frequency, float bandwidth) {
  TSyncLock lock(*FLock);
  FFilterPending = true;
  FFilterEnabledRequest = enabled;
  FFilterFreq = frequency;
  FFilterBW = bandwidth;
}

void TEffParameters::RequestMeterReset() {
  TSyncLock lock(*FLock);
  FMeterResetPending = true;
}

void TEffParameters::RequestClipReset() {
  TSyncLock lock(*FLock);
  FClipResetPending = true;
}

// ---------------------------------------------------------------------------
// Processing objects

void TEffParameters::Create(TObject*) {
  FLock = std::make_unique<TSyncObject>();
  const std::string key = RegistryRoot + ParamHost->ProductName;
  SpectrumSpeed = RegReadInteger(key, "SpectrumSpeed", 5);
  if (SpectrumSpeed < 0 || SpectrumSpeed >= kSpectrumSpeeds) SpectrumSpeed = 5;  // hostile values
  Snapping = RegReadBool(key, "Snapping", false);
  AutoOverlay = RegReadBool(key, "AutoOverlay", true);
  PreOutGain = RegReadBool(key, "PreOutGain", true);
  const int32_t fs = ParamHost->SampleRate();
  FEngine = std::make_unique<TTalvern>(fs, FLock.get());
  FFilter = std::make_unique<TKesFilter>(fs);
  FFilter->SetType(kFilterBandPass);
  FStaging = std::make_unique<TOutDelayer>(4, 0, 1, kPiece);
  FStats = std::make_unique<TChannelStats>(2, fs);
  // Seed: the time of day as a fraction of a day, in billionths.
  double dayFraction = platform::LocalSecondsOfDay() / 86400.0;
  FNoiseState = static_cast<uint32_t>(std::lround(dayFraction * 1000000000.0));
  FDisplayInterval = static_cast<int32_t>(std::lround(fs / 15.0));
  for (double& g : FGain) g = 1.0;
}

void TEffParameters::Destroy(TObject*) { FreeProcessing(); }

void TEffParameters::FreeProcessing() {
  // In reverse order of creation: the engine holds the lock.
  FStats.reset();
  FStaging.reset();
  FFilter.reset();
  FEngine.reset();
  FLock.reset();
}

void TEffParameters::NewSamplingFrequency(TObject*) {
  const int32_t fs = ParamHost->SampleRate();
  FEngine->SetSampleRate(fs);
  FFilter->SetSampleRate(fs);
  FStats->SetSampleRate(fs);
  FDisplayInterval = static_cast<int32_t>(std::lround(fs / 15.0));
  if (FDisplayInterval < 1) FDisplayInterval = 1;
  TSyncLock lock(*FLock);
  if (FEditor) FEditor->PostToEditor(emSampleRate, fs);
}

void TEffParameters::Clear(TObject*) {
  FEngine->Clear();
  FFilter->Clear();
  FStats->Reset();
  FSamplesSinceCollection = 0;
  for (int i = 0; i < kEnvelopeBands; ++i) {
    FLevel[i] = 0.0;
    FGain[i] = 1.0;
  }
  TSyncLock lock(*FLock);
  if (FEditor) {
    FEditor->ClearSpectrum();
    FEditor->PostToEditor(emClearRms, 0);
    FEditor->PostToEditor(emClipIndicator, 0);
  }
}

// ---------------------------------------------------------------------------
// The block chain

void TEffParameters::ProcessS2S(PVSTProcessRecord r) { ProcessBlock(r, true); }
void TEffParameters::ProcessS2Sm(PVSTProcessRecord r) { ProcessBlock(r, false); }

void TEffParameters::TakeOverRequests() {
  TSyncLock lock(*FLock);
  if (FMSPending) {
    FEngine->Clear();
    FSamplesSinceCollection = 0;
    FEngine->MSMode = FRequestedMSMode;
    FMSPending = false;
  }
  if (FMeterResetPending) {
    FEngine->ResetMeters();
    FMeterResetPending = false;
  }
  FEngine->Metering = FEditor ? 1 : 0;
  if (FFilterPending) {
    FFilterEnabled = FFilterEnabledRequest;
    if (FFilterEnabled) {
      FFilter->SetFrequency(FFilterFreq);
      FFilter->SetBandwidth(FFilterBW);
    }
    FFilterPending = false;
  }
  if (FClipResetPending) {
    FStats->Reset();
    FClipResetPending = false;
  }
  if (FCurvePending) {
    FEngine->Inverted = FRequestedCurveMode ? 1 : 0;
    FCurvePending = false;
  }
}

void TEffParameters::ProcessBlock(PVSTProcessRecord r, bool stereo) {
  TakeOverRequests();
  const int count = stereo ? 2 : 1;
  const bool msActive = stereo && FEngine->MSMode != 0;
  const bool metering = FEngine->Metering != 0;
  const float statsGain = FFilterEnabled ? kAuditionGain : 1.0f;
  double* const out0 = FStaging->Buffer(0);
  double* const out1 = FStaging->Buffer(1);
  for (int32_t done = 0; done < r->SampleFrames;) {
    const int n = static_cast<int>(std::min<int32_t>(r->SampleFrames - done, kPiece));
    FStaging->StageInput(r, count, count, n);
    for (int i = 0; i < count; ++i) VecAddNoise(FStaging->Buffer(count + i), (n + 15) / 16, FNoiseState, 16);
    if (FFilterEnabled) {
      if (stereo)
        FFilter->ProcessStereo(FStaging->Buffer(2), FStaging->Buffer(3), n);
      else
        FFilter->ProcessMono(FStaging->Buffer(1), n);
    }
    const TTalvern::TChannelMode mode = !stereo    ? TTalvern::TChannelMode::Mono
                                        : msActive ? TTalvern::TChannelMode::MidSide
                                                   : TTalvern::TChannelMode::Stereo;
    FEngine->Process(FStaging->Buffer(count), FStaging->Buffer(count + 1), out0, out1, n, mode);
    FStaging->StageOutput(r, count, n, false, statsGain);
    if (metering) {
      const double* buffers[2] = {out0, out1};
      FStats->Analyse(buffers, count, statsGain, n);
    }
    done += n;
  }
  AnalysisUpdate(r->SampleFrames, stereo);
}

void TEffParameters::AnalysisUpdate(int32_t frames, bool stereo) {
  FSamplesSinceUpdate += frames;
  FSamplesSinceCollection += frames;
  if (FSamplesSinceUpdate < FDisplayInterval) return;
  FSamplesSinceUpdate %= FDisplayInterval;
  const double c = static_cast<float>(std::pow(10.0, kSpectrumSpeedDb[SpectrumSpeed] / 20.0));
  double energy[kEnvelopeBands], gainPow[kEnvelopeBands], outFactor[kEnvelopeBands], weight[kEnvelopeBands];
  const float scale = FSamplesSinceCollection > 0 ? 1.0f / static_cast<float>(FSamplesSinceCollection) : 0.0f;
  FEngine->TakeSpectrum(energy, gainPow, PreOutGain, scale, stereo && FEngine->MSMode == 0, outFactor, weight);
  FSamplesSinceCollection = 0;
  for (int i = 0; i < kEnvelopeBands; ++i) {
    FLevel[i] = c * std::sqrt(std::fabs(energy[i])) + (1 - c) * FLevel[i];
    FGain[i] = c * std::sqrt(std::fabs(gainPow[i])) + (1 - c) * FGain[i];
  }
  TSyncLock lock(*FLock);
  if (!FEditor) return;
  constexpr double kDbPerNeper = 8.685889638065037;  // 20 / ln 10
  double levelDb[kEnvelopeBands], gainDb[kEnvelopeBands];
  for (int i = 0; i < kEnvelopeBands; ++i) {
    levelDb[i] = kDbPerNeper * std::log(FLevel[i] * weight[i] + 1e-15) + 10;
    gainDb[i] = kDbPerNeper * std::log(FGain[i] * outFactor[i] + 1e-15);
  }
  FEditor->SetSpectrum(levelDb, gainDb);
  FEditor->PostToEditor(emRepaintDisplay, 0);
  FEditor->PostToEditor(
      emRmsDifference,
      static_cast<intptr_t>(std::lround((FEngine->GetOutputLevel() - FEngine->GetInputLevel()) * 1000)));
  FEditor->PostToEditor(emClipIndicator, (FStats->ClipCount(0) > 0 || FStats->ClipCount(1) > 0) ? 1 : 0);
}
