// The envelope set in a program: named entries, and the conversions of the
// older program versions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"
#include "params/state/PresetMan.h"

namespace {

// Rounds half to even; a value that is not a finite number counts as 0.
int32_t roundSwitch(float v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9f) return 0;
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(v)));
}

}  // namespace

void TTalvern::SaveToProgram(TPresetObject& program) {
  TSyncLock lock(FSync);
  const TEnvelopeSet& set = FEnvelopeSet;
  program.Version = static_cast<uint8_t>(set.Version);
  program.SetInteger("_DisplayMode", 0, set.DisplayMode);
  program.SetInteger("_CurEnv", 0, set.CurEnv);
  program.SetInteger("_OvrEnv", 0, set.OvrEnv);
  program.SetInteger("_Weighting", 0, set.Weighting);
  program.SetInteger("_GraphVisible", 0, set.GraphVisible);
  for (int k = 0; k < kEnvelopeKinds; ++k) {
    const TEnvelope& e = set.Envelopes[k];
    const int count = UsablePointCount(e);
    program.SetBlock("_EnvPoints", k, e.Points, static_cast<uint32_t>(count * sizeof(TEnvelopePoint)));
    program.SetSingle("_EnvMinValue", k, e.MinValue);
    program.SetSingle("_EnvMaxValue", k, e.MaxValue);
    program.SetSingle("_EnvDefValue", k, e.DefValue);
  }
  for (int slot = 0; slot < kStageSlots; ++slot) program.SetInteger("_Ordering", slot, set.Ordering[slot]);
}

void TTalvern::LoadFromProgram(TPresetObject& program) {
  TSyncLock lock(FSync);
  TEnvelopeSet& set = FEnvelopeSet;
  const uint8_t version = program.Version;
  if (version == 0) program.SetSingle("WdthEnv", 0, program.GetSingle("WdthEnv", 0, 0.0f) / 10.0f);
  for (int slot = 0; slot < kStageSlots; ++slot) set.Ordering[slot] = program.GetInteger("_Ordering", slot, slot);
  if (version <= 1) {
    // Older programs kept width, pan and the compressor as switches.
    const int32_t w = roundSwitch(10.0f * program.GetSingle("WdthEnv", 0, 0.0f));
    const int32_t p = roundSwitch(program.GetSingle("PanEnv", 0, 0.0f));
    if (w == 0) {
      set.Ordering[2] = scOff;
      if (p == 0) set.Ordering[3] = scOff;
    } else if (w == 1) {
      if (p == 0) set.Ordering[3] = scOff;
    } else {
      set.Ordering[2] = p != 0 ? scPan : scOff;
      set.Ordering[3] = scWidth;
    }
    if (roundSwitch(program.GetSingle("CDisabl", 0, 0.0f)) == 1) {
      set.Ordering[0] = scOff;
      set.Ordering[1] = scOff;
    }
  }
  set.Version = 2;
  set.DisplayMode = program.GetInteger("_DisplayMode", 0, 0);
  set.CurEnv = program.GetInteger("_CurEnv", 0, 0);
  set.OvrEnv = program.GetInteger("_OvrEnv", 0, 0);
  set.Weighting = program.GetInteger("_Weighting", 0, 0);
  set.GraphVisible = program.GetInteger("_GraphVisible", 0, 0);
  SanitizeEnvelopeSetIndices(set);
  for (int k = 0; k < kEnvelopeKinds; ++k) {
    TEnvelope& e = set.Envelopes[k];
    const TEnvelope& def = FDefaultSet.Envelopes[k];
    uint32_t size = 0;
    const void* data = program.GetBlock("_EnvPoints", k, size);
    // A blob holds whole points, at most 32: a longer blob is cut to 32
    // points, a trailing partial point is dropped, and a blob without a
    // single whole point counts as absent.
    const uint32_t count = std::min<uint32_t>(size, sizeof e.Points) / sizeof(TEnvelopePoint);
    if (data && count > 0) {
      std::memset(e.Points, 0, sizeof e.Points);
      std::memcpy(e.Points, data, count * sizeof(TEnvelopePoint));
      e.PointCount = static_cast<int32_t>(count);
    } else {
      std::memcpy(e.Points, def.Points, sizeof e.Points);
      e.PointCount = def.PointCount;
    }
    e.MinValue = program.GetSingle("_EnvMinValue", k, def.MinValue);
    e.MaxValue = program.GetSingle("_EnvMaxValue", k, def.MaxValue);
    e.DefValue = program.GetSingle("_EnvDefValue", k, def.DefValue);
    ClampEnvelopeRecord(e, k);
  }
  // The weighting code may have changed with the program as well.
  FDirtyMask |= ((1u << kEnvelopeKinds) - 1) | (1u << 9);
}
