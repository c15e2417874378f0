#include "dsp/envelopes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/ByteOrder.h"

const float kEnvelopeDefaults[kEnvelopeKinds] = {1.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.5f, 1.0f, 0.5f, 0.5f};
const char* const kEnvelopeLabels[kEnvelopeKinds] = {"Thresh",   "Attack",   "Release", "Ratio", "Wet Mix",
                                                     "Out Gain", "St. Link", "Width",   "Pan"};

namespace {

double identity(double v) { return v; }

// A plain number: "%.1f dB" with the unit, "%.0f" without, and so on.
template <int kScale, const char* kUnitFormat, const char* kPlainFormat>
void numberText(double setting, bool withUnit, char* buf, size_t size) {
  std::snprintf(buf, size, withUnit ? kUnitFormat : kPlainFormat, kScale * setting);
}

constexpr char kDbFormat[] = "%.1f dB";
constexpr char kMsFormat[] = "%.0f ms";
constexpr char kPercentFormat[] = "%.0f %%";
constexpr char kWholeFormat[] = "%.0f";

// Ratios at or above 1 expand ("1:r"), below 1 compress ("1/r:1").
void ratioText(double r, bool, char* buf, size_t size) {
  if (r >= 1.0)
    std::snprintf(buf, size, "1:%.2f", r);
  else
    std::snprintf(buf, size, "%.2f:1", 1.0 / r);
}

// 0.5 is the centre; above it the band moves left, below it right.
void panText(double p, bool, char* buf, size_t size) {
  if (p == 0.5)
    std::snprintf(buf, size, "C");
  else if (p > 0.5)
    std::snprintf(buf, size, "L %.0f", (p - 0.5) / 0.5 * 100.0);
  else
    std::snprintf(buf, size, "R %.0f", (0.5 - p) / 0.5 * 100.0);
}

}  // namespace

const TEnvelopeKindInfo kEnvelopeKindInfo[kEnvelopeKinds] = {
    // Threshold: -50 dB at 0 up to 0 dB at 1.
    {[](double v) { return (1.0 - v) * -50.0; }, &numberText<1, kDbFormat, kWholeFormat>},
    // Attack: 1 ms to 400 ms, exponential.
    {[](double v) { return 0.001 * std::pow(400.0, v); }, &numberText<1000, kMsFormat, kWholeFormat>},
    // Release: 1 ms to 2000 ms, exponential.
    {[](double v) { return 0.001 * std::pow(2000.0, v); }, &numberText<1000, kMsFormat, kWholeFormat>},
    // Ratio: 1/9 at 0 rising to 1 at 0.75, then linearly to 3 at 1.
    {[](double v) { return v >= 0.75 ? (v - 0.75) / 0.25 * 2.0 + 1.0 : 1.0 / (9.0 - v / 0.75 * 8.0); }, &ratioText},
    // Wet mix: the fraction of the processed band.
    {&identity, &numberText<100, kPercentFormat, kWholeFormat>},
    // Output gain: -18 dB to +18 dB.
    {[](double v) { return (v - 0.5) * 36.0; }, &numberText<1, kDbFormat, kWholeFormat>},
    // Stereo link: the fraction of the other channel's detector.
    {&identity, &numberText<100, kPercentFormat, kWholeFormat>},
    // Width: the side signal's factor, 0 to 2.
    {[](double v) { return 2.0 * v; }, &numberText<100, kPercentFormat, kWholeFormat>},
    // Pan position, 0.5 centre.
    {&identity, &panText},
};

int UsablePointCount(const TEnvelope& e) { return std::clamp<int32_t>(e.PointCount, 0, kMaxEnvelopePoints); }

TEnvelopeCurve::TEnvelopeCurve(const TEnvelope& e) : FKept(0), FSegment(-1), FHold(e.DefValue) {
  const int count = UsablePointCount(e);
  for (int i = 0; i < count; ++i) {
    double x = e.Points[i].x;
    if (FKept == 0 || x > FX[FKept - 1]) {
      FX[FKept] = x;
      FY[FKept] = e.Points[i].y;
      ++FKept;
    }
  }
  if (FKept == 1) FHold = FY[0];
}

double TEnvelopeCurve::ValueAt(double p) {
  if (FKept < 2) return FHold;
  if (FSegment < 0) FSegment = 0;
  while (p > FX[FSegment + 1] && FSegment < FKept - 2) ++FSegment;
  const int j = FSegment;
  return FY[j] + (p - FX[j]) * (FY[j + 1] - FY[j]) / (FX[j + 1] - FX[j]);
}

void ResetEnvelopeRecord(TEnvelope& e, int kind) {
  std::memset(&e, 0, sizeof e);
  const float def = (kind >= 0 && kind < kEnvelopeKinds) ? kEnvelopeDefaults[kind] : 0.0f;
  e.MinValue = 0.0f;
  e.MaxValue = 1.0f;
  e.DefValue = def;
  e.Points[0] = {0.0f, def};
  e.Points[1] = {1.0f, def};
  e.PointCount = 2;
}

void ResetEnvelopeSet(TEnvelopeSet& set) {
  std::memset(&set, 0, sizeof set);
  set.Version = 2;
  for (int i = 0; i < kStageSlots; ++i) set.Ordering[i] = i;
  for (int k = 0; k < kEnvelopeKinds; ++k) ResetEnvelopeRecord(set.Envelopes[k], k);
}

void StoreEnvelopeRecord(TEnvelope& target, const TEnvelope& src) {
  const float minValue = target.MinValue, maxValue = target.MaxValue, defValue = target.DefValue;
  if (&target != &src) std::memcpy(&target, &src, sizeof target);
  target.MinValue = minValue;
  target.MaxValue = maxValue;
  target.DefValue = defValue;
  target.PointCount = UsablePointCount(target);
}

void ClampEnvelopeRecord(TEnvelope& e, int kind) {
  const float def = (kind >= 0 && kind < kEnvelopeKinds) ? kEnvelopeDefaults[kind] : 0.0f;
  auto unit = [](float v, float nanValue) { return std::isnan(v) ? nanValue : std::clamp(v, 0.0f, 1.0f); };
  e.PointCount = UsablePointCount(e);
  for (int i = 0; i < e.PointCount; ++i) {
    e.Points[i].x = unit(e.Points[i].x, 0.0f);
    e.Points[i].y = unit(e.Points[i].y, def);
  }
  e.DefValue = unit(e.DefValue, def);
}

void SimplifyEnvelopeRecord(TEnvelope& e) {
  const int count = UsablePointCount(e);
  float first = e.DefValue, last = e.DefValue, mid = e.DefValue;
  if (count > 0) {
    first = e.Points[0].y;
    last = e.Points[count - 1].y;
    TEnvelopeCurve curve(e);
    mid = static_cast<float>(curve.ValueAt(0.5));
  }
  std::memset(e.Points, 0, sizeof e.Points);
  e.PointCount = 3;
  e.Points[0] = {0.0f, first};
  e.Points[1] = {0.5f, mid};
  e.Points[2] = {1.0f, last};
}

void SanitizeEnvelopeSetIndices(TEnvelopeSet& set) {
  set.CurEnv = std::clamp<int32_t>(set.CurEnv, 0, kEnvelopeKinds - 1);
  set.OvrEnv = std::clamp<int32_t>(set.OvrEnv, 0, kEnvelopeKinds);
  set.DisplayMode = std::clamp<int32_t>(set.DisplayMode, 0, 3);
}

namespace {
int32_t readInt32(const uint8_t* p) {
  const uint32_t v = platform::LoadLE32(p);
  int32_t r;
  std::memcpy(&r, &v, sizeof r);
  return r;
}
float readSingle(const uint8_t* p) {
  int32_t bits = readInt32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
}  // namespace

bool LoadLegacyEnvelopeSet(TEnvelopeSet& set, const TEnvelopeSet& defaults, const void* data, size_t size) {
  if (!data || size < kLegacyMinSize) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  TEnvelopeSet loaded;
  std::memcpy(&loaded, &defaults, sizeof loaded);
  loaded.Version = 2;
  loaded.DisplayMode = readInt32(bytes + kLegacyDisplayModeOffset);
  loaded.CurEnv = readInt32(bytes + kLegacyDisplayModeOffset + 4);
  loaded.OvrEnv = readInt32(bytes + kLegacyDisplayModeOffset + 8);
  loaded.Weighting = readInt32(bytes + kLegacyDisplayModeOffset + 12);
  for (int i = 0; i < kStageSlots; ++i) loaded.Ordering[i] = i;
  loaded.GraphVisible = 0;
  for (int k = 0; k < 8; ++k) {
    const uint8_t* rec = bytes + kLegacyRecordSize * static_cast<size_t>(k);
    TEnvelope& e = loaded.Envelopes[k];
    // A legacy record holds at most 16 points; a count beyond that is cut to
    // 16, and an empty or negative count keeps the default curve.
    const int count = std::clamp<int32_t>(readInt32(rec + 128), 0, kLegacyPoints);
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        e.Points[i].x = readSingle(rec + 8 * i);
        e.Points[i].y = readSingle(rec + 8 * i + 4);
      }
      e.PointCount = count;
    }
    e.MinValue = readSingle(rec + 132);
    e.MaxValue = readSingle(rec + 136);
    e.DefValue = readSingle(rec + 140);
    ClampEnvelopeRecord(e, k);
  }
  std::memcpy(&set, &loaded, sizeof set);
  return true;
}
