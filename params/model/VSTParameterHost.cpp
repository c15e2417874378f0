#include "params/model/VSTParameterHost.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------
// TVSTParameter

TVSTParameter::TVSTParameter(TCollection* collection) : TCollectionItem(collection), FNotifier(this) {}

TVSTParameter::~TVSTParameter() = default;  // the notifier's destruction sends pnFreeing

TVSTParameterHost* TVSTParameter::RequestHost() const {
  auto* params = dynamic_cast<TVSTParameters*>(Collection());
  if (!params) return nullptr;
  auto* host = dynamic_cast<TVSTParameterHost*>(params->Owner());
  if (!host || !host->OnRequestValue.Bound()) return nullptr;
  return host;
}

void TVSTParameter::SetCurValue(int32_t v) {
  if (v > FMaxValue)
    v = FMaxValue;
  else if (v < FMinValue)
    v = FMinValue;
  if (v == FCurValue) return;
  FCurValue = v;
  if (FMaxValue == FMinValue) {
    FNormalizedValue = 0.0f;
  } else {
    long double num = static_cast<long double>(static_cast<int64_t>(FCurValue) - FMinValue);
    long double den = static_cast<long double>(static_cast<int64_t>(FMaxValue) - FMinValue);
    FNormalizedValue = static_cast<float>(num / den);
  }
  ValueChanged();
}

void TVSTParameter::ValueChanged() {
  FRealValue = FOnGetRealValue.Bound() ? FOnGetRealValue(this) : 0.0;
  if (Active && OnParamChange.Bound()) OnParamChange(this);
  FNotifier.Notify(pnValueChanged, Index());
}

void TVSTParameter::SetMinValue(int32_t v) {
  if (v > FMaxValue) v = FMaxValue;
  if (v == FMinValue) return;
  FMinValue = v;
  FNotifier.Notify(pnRangeChanged, Index());
  if (FCurValue < FMinValue) SetCurValue(FMinValue);
  if (FDefValue < FMinValue) FDefValue = FMinValue;
}

void TVSTParameter::SetMaxValue(int32_t v) {
  if (v < FMinValue) v = FMinValue;
  if (v == FMaxValue) return;
  FMaxValue = v;
  FNotifier.Notify(pnRangeChanged, Index());
  if (FCurValue > FMaxValue) SetCurValue(FMaxValue);
  if (FDefValue > FMaxValue) FDefValue = FMaxValue;
}

void TVSTParameter::SetDefValue(int32_t v) {
  if (v > FMaxValue)
    v = FMaxValue;
  else if (v < FMinValue)
    v = FMinValue;
  FDefValue = v;
}

void TVSTParameter::SetName(const std::string& n) {
  bool caseOnly = SameTextAscii(n, FName);
  if (!n.empty() && !caseOnly) {
    if (auto* params = dynamic_cast<TVSTParameters*>(Collection())) {
      for (int i = 0; i < params->Count(); ++i) {
        TVSTParameter* other = params->Items(i);
        if (other != this && SameTextAscii(other->Name(), n))
          throw Exception(Format("Duplicate parameter name '%s' in %s", n.c_str(), params->ClassName()));
      }
    }
  }
  FName = n;
  if (!caseOnly) FNotifier.Notify(pnRenamed, 0);
  Changed();
}

void TVSTParameter::SetOnGetRealValue(TVSTParamOnGetRealValue h) {
  FOnGetRealValue = std::move(h);
  FRealValue = FOnGetRealValue.Bound() ? FOnGetRealValue(this) : 0.0;
}

void TVSTParameter::SetNormalized(float x) {
  if (x > 1.0f)
    x = 1.0f;
  else if (!(x >= 0.0f))
    x = 0.0f;
  // Extended precision product, rounded to nearest with ties to even (the
  // rounding mode the floating-point guard keeps during host calls).
  long double range = static_cast<long double>(static_cast<int64_t>(FMaxValue) - FMinValue);
  long double steps = std::nearbyint(range * static_cast<long double>(x));
  SetCurValue(static_cast<int32_t>(static_cast<int64_t>(FMinValue) + static_cast<int64_t>(steps)));
}

double TVSTParameter::NormalizedDefault() const {
  if (FMaxValue == FMinValue) return 0.0;
  return static_cast<double>(static_cast<int64_t>(FDefValue) - FMinValue) /
         static_cast<double>(static_cast<int64_t>(FMaxValue) - FMinValue);
}

std::string TVSTParameter::ValueText() const {
  if (OnGetStrValue.Bound() && FOnGetRealValue.Bound()) return OnGetStrValue(const_cast<TVSTParameter*>(this));
  return std::string();
}

void TVSTParameter::RequestValue(int32_t v) {
  TVSTParameterHost* host = RequestHost();
  if (!host) return;
  if (v > FMaxValue)
    v = FMaxValue;
  else if (v < FMinValue)
    v = FMinValue;
  if (v == FCurValue) return;
  float n = 0.0f;
  if (FMaxValue != FMinValue)
    n = static_cast<float>(static_cast<long double>(static_cast<int64_t>(v) - FMinValue) /
                           static_cast<long double>(static_cast<int64_t>(FMaxValue) - FMinValue));
  host->OnRequestValue(this, n);
}

void TVSTParameter::BeginEdit() {
  if (TVSTParameterHost* host = RequestHost()) host->OnEditGesture(this, true);
}

void TVSTParameter::EndEdit() {
  if (TVSTParameterHost* host = RequestHost()) host->OnEditGesture(this, false);
}

void TVSTParameter::RequestEdit(int32_t v) {
  if (std::clamp(v, FMinValue, FMaxValue) == FCurValue) return;
  BeginEdit();
  RequestValue(v);
  EndEdit();
}

void TVSTParameter::RequestNormalized(float x) {
  TVSTParameterHost* host = RequestHost();
  if (!host) return;
  if (!(x >= 0.0f))
    x = 0.0f;
  else if (x > 1.0f)
    x = 1.0f;
  if (x != FNormalizedValue) host->OnRequestValue(this, x);
}

// ---------------------------------------------------------------------------
// TVSTParameters

TVSTParameter* TVSTParameters::Add() {
  auto* p = new TVSTParameter(this);
  if (p->Name().empty()) {
    try {
      p->SetName("param" + std::to_string(p->ID() + 1));
    } catch (...) {
      delete p;
      throw;
    }
  }
  return p;
}

int TVSTParameters::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameTextAscii(Items(i)->Name(), name)) return i;
  return -1;
}

TVSTParameter* TVSTParameters::FindByName(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? nullptr : Items(i);
}

void TVSTParameters::Assign(const TVSTParameters& other) {
  Clear();
  for (int i = 0; i < other.Count(); ++i) {
    const TVSTParameter* src = other.Items(i);
    TVSTParameter* p = new TVSTParameter(this);
    p->Tag = src->Tag;
    p->DisplayLabel = src->DisplayLabel;
    p->SetName(src->Name());
    p->SetMaxValue(src->MaxValue());
    p->SetMinValue(src->MinValue());
    p->SetDefValue(src->DefValue());
    p->SetCurValue(src->CurValue());
    p->OnGetStrValue = src->OnGetStrValue;
    p->SetOnGetRealValue(src->OnGetRealValue());
    p->OnParamChange = src->OnParamChange;
    p->IsPackaged = src->IsPackaged;
  }
}

// ---------------------------------------------------------------------------
// TVSTParameterHost

TVSTParameterHost::TVSTParameterHost(TComponent* owner)
    : TComponent(owner),
      FNotifier(std::make_unique<TGraphicNotifyHost>(this)),
      FParameters(std::make_unique<TVSTParameters>(this)) {}

TVSTParameterHost::~TVSTParameterHost() {
  MarkDestroying();
  if (Active && OnDestroy.Bound()) OnDestroy(this);
  FNotifier.reset();
  FParameters.reset();
}

void TVSTParameterHost::SetInChannelCount(int32_t v) {
  FInChannelCount = v < 1 ? 1 : v > kMaxChannels ? kMaxChannels : v;
}
void TVSTParameterHost::SetOutChannelCount(int32_t v) {
  FOutChannelCount = v < 1 ? 1 : v > kMaxChannels ? kMaxChannels : v;
}

void TVSTParameterHost::SetSampleRate(int32_t v) {
  if (v == FSampleRate) return;
  FSampleRate = v;
  OnNewSamplingFrequency(this);
}

void TVSTParameterHost::SetBlockSize(int32_t v) {
  if (v == FBlockSize) return;
  FBlockSize = v;
  OnNewBlockSize(this);
}

void TVSTParameterHost::Loaded() {
  TComponent::Loaded();
  if (!OnCreate.Bound()) return;
  Active = true;
  OnCreate(this);
  for (int i = 0; i < FParameters->Count(); ++i) {
    TVSTParameter* p = FParameters->Items(i);
    p->Active = true;
    if (p->OnParamChange.Bound()) p->OnParamChange(p);
  }
}

// ---------------------------------------------------------------------------
// TVSTParameterHostProxy

TVSTParameterHostProxy::TVSTParameterHostProxy(TComponent* owner) : TComponent(owner), FNotifier(this) {}

TVSTParameterHostProxy::~TVSTParameterHostProxy() {
  if (FHost) FHost->Notifier().Unsubscribe(this);
}

void TVSTParameterHostProxy::SetHost(TVSTParameterHost* host) {
  if (host == FHost) return;
  if (FHost) FHost->Notifier().Unsubscribe(this);
  if (host) host->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TVSTParameterHostProxy::HostNotify));
  FHost = host;
  FNotifier.Notify(pnHostChanged, 0);
}

void TVSTParameterHostProxy::HostNotify(TObject*, uint32_t code, int32_t) {
  if (code != pnFreeing) return;
  FHost = nullptr;
  FNotifier.Notify(pnHostChanged, 0);
}

// ---------------------------------------------------------------------------
// TVSTParameterSource

TVSTParameterSource::TVSTParameterSource(TComponent* owner) : TComponent(owner), FNotifier(this) {}

TVSTParameterSource::~TVSTParameterSource() {
  if (FParam) FParam->Notifier().Unsubscribe(this);
  if (FProxy) FProxy->Notifier().Unsubscribe(this);
}

void TVSTParameterSource::SetProxy(TVSTParameterHostProxy* proxy) {
  if (proxy == FProxy) return;
  if (FProxy) FProxy->Notifier().Unsubscribe(this);
  FProxy = proxy;
  if (FProxy) FProxy->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TVSTParameterSource::ProxyNotify));
  Rebind();
}

void TVSTParameterSource::SetVSTParamName(const std::string& name) {
  bool caseOnly = SameTextAscii(name, FVSTParamName);
  FVSTParamName = name;
  if (!caseOnly) Rebind();
}

void TVSTParameterSource::Rebind() {
  bool changed = false;
  if (FParam) {
    FParam->Notifier().Unsubscribe(this);
    FParam = nullptr;
    changed = true;
  }
  if (!FVSTParamName.empty() && FProxy && FProxy->Host()) {
    if (TVSTParameter* p = FProxy->Host()->Parameters().FindByName(FVSTParamName)) {
      FParam = p;
      p->Notifier().Subscribe(this, TNotifyCallback::Bind(this, &TVSTParameterSource::ParamNotify));
      changed = true;
    }
  }
  if (changed) FNotifier.Notify(pnSourceRebound, 0);
}

void TVSTParameterSource::ParamNotify(TObject*, uint32_t code, int32_t param) {
  switch (code) {
    case pnFreeing:
      FParam = nullptr;
      FNotifier.Notify(pnSourceRebound, 0);
      break;
    case pnRenamed:
      if (FParam) FVSTParamName = FParam->Name();
      break;
    case pnRangeChanged:
    case pnValueChanged:
      if (!IsLoading()) FNotifier.Notify(code, param);
      break;
    default: break;
  }
}

void TVSTParameterSource::ProxyNotify(TObject*, uint32_t code, int32_t) {
  if (code == pnFreeing) {
    FProxy = nullptr;
    Rebind();
  } else if (code == pnHostChanged) {
    Rebind();
  }
}
