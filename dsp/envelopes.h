#pragma once
// The envelope set: nine curves over frequency (threshold, attack, release,
// ratio, wet mix, output gain, stereo link, width, pan) plus the view and
// routing settings stored with them, and the curve evaluation the engine and
// the knob mode share.
//
// Invariants kept by every function here: 0 <= PointCount <= 32, so no reader
// ever looks past a record's points; a curve with one usable point holds that
// point's y, a curve with none holds the kind's DefValue.
//
// These are plain data and functions without locks. TTalvern owns the sets and
// calls them under its lock; nothing here may be used on a shared set without it.

#include <cstddef>
#include <cstdint>

constexpr int kEnvelopeKinds = 9;
constexpr int kMaxEnvelopePoints = 32;
constexpr int kStageSlots = 4;

enum TEnvelopeKind : int {
  ekThreshold = 0,
  ekAttack,
  ekRelease,
  ekRatio,
  ekWetMix,
  ekOutGain,
  ekStereoLink,
  ekWidth,
  ekPan
};

// Stage codes of the processing order.
enum TStageCode : int { scOff = -1, scComp = 0, scOutGain = 1, scWidth = 2, scPan = 3 };

struct TEnvelopePoint {
  float x;
  float y;
};

struct TEnvelope {
  TEnvelopePoint Points[kMaxEnvelopePoints];
  int32_t PointCount;
  float MinValue;
  float MaxValue;
  float DefValue;
  uint8_t Reserved[512];
};

struct TEnvelopeSet {
  TEnvelope Envelopes[kEnvelopeKinds];
  int32_t Version;
  int32_t DisplayMode;  // 0 "In+Out", 1 "Input", 2 "Output", 3 "Gains"
  int32_t CurEnv;       // 0 .. 8
  int32_t OvrEnv;       // 0 none, k + 1 envelope k
  int32_t Weighting;    // 0 "Off", 1 "Internal", 2 "A", 3 "C", 4 "A+C"
  int32_t Ordering[kStageSlots];
  int32_t GraphVisible;  // 1 in knob mode
};

extern const float kEnvelopeDefaults[kEnvelopeKinds];
extern const char* const kEnvelopeLabels[kEnvelopeKinds];

// What a value v (0 .. 1) of one envelope kind means, in one place for the
// engine and the editor's texts: the band setting it maps to, in the kind's
// own unit (threshold dB, attack and release seconds, ratio, fractions, output
// gain dB, width factor, pan position), and how that setting reads.
struct TEnvelopeKindInfo {
  double (*Setting)(double v);
  // Writes the setting's text, with or without its unit, into buf.
  void (*Text)(double setting, bool withUnit, char* buf, size_t size);
};
extern const TEnvelopeKindInfo kEnvelopeKindInfo[kEnvelopeKinds];

// Point count clamped to what a record holds.
int UsablePointCount(const TEnvelope& e);

// Piecewise-linear evaluation of an envelope. Points are filtered so that x
// strictly increases (point 0, then each point beyond the last kept x);
// positions outside the kept range extrapolate the first or last segment.
// The segment cursor only moves forward: call ValueAt with non-decreasing
// positions (as the band table does) or use a fresh curve.
class TEnvelopeCurve {
public:
  explicit TEnvelopeCurve(const TEnvelope& e);
  double ValueAt(double p);
  int Kept() const { return FKept; }

private:
  double FX[kMaxEnvelopePoints];
  double FY[kMaxEnvelopePoints];
  int FKept;
  int FSegment;
  double FHold;
};

// Zeroes the record; MinValue 0, MaxValue 1, the kind's default as DefValue
// and a flat two-point curve at that value.
void ResetEnvelopeRecord(TEnvelope& e, int kind);
// Zeroes the set; Version 2, order 0, 1, 2, 3, all nine records reset.
void ResetEnvelopeSet(TEnvelopeSet& set);
// Copies src into target except target's MinValue, MaxValue and DefValue.
void StoreEnvelopeRecord(TEnvelope& target, const TEnvelope& src);
// Brings a record from a file or a caller into range: each usable point's x
// and y into 0 .. 1, DefValue as well, with a NaN taking the kind's default
// (0 for an x). A record already in range is left as it is.
void ClampEnvelopeRecord(TEnvelope& e, int kind);
// Three points: (0, first y), (0.5, curve value at 0.5), (1, last y).
void SimplifyEnvelopeRecord(TEnvelope& e);

// Brings the view indices of a loaded set into range (CurEnv 0 .. 8, OvrEnv
// 0 .. 9, DisplayMode 0 .. 3) so no reader indexes past the records.
void SanitizeEnvelopeSetIndices(TEnvelopeSet& set);

// The older chunk layout: eight 208-byte records (16 points, count, min, max,
// default) and four words at 1668.
constexpr size_t kLegacyRecordSize = 208;
constexpr int kLegacyPoints = 16;
constexpr size_t kLegacyDisplayModeOffset = 1668;
constexpr size_t kLegacyMinSize = 1684;
// set := defaults with the legacy chunk's settings and curves of kinds 0 .. 7.
// Returns false, leaving set unchanged, when the chunk is shorter than its layout.
bool LoadLegacyEnvelopeSet(TEnvelopeSet& set, const TEnvelopeSet& defaults, const void* data, size_t size);
