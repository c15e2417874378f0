// The built-in bank: seventeen factory programs, written as a table and turned
// into the bank chunk the effect base starts from (built once, on first use).
//
// Per program: the nine parameters as host values 0..1 (MainOut 0.5 is 0 dB and
// 0.5 + dB/24 above it; InSlope 0.3 is the neutral 3 dB/octave), the nine
// envelopes as points (x: 0 = 25 Hz .. 1 = 20 kHz, logarithmic; an envelope
// without points keeps its flat default), the level weighting and the stage order.
//
// Envelope values: Thresh v -> (1 - v) * -50 dB; Attack 1 ms * 400^v;
// Release 1 ms * 2000^v; Ratio 0.75 is 1:1, below compresses (0.65 ~ 2:1,
// 0.55 ~ 3:1, 0.45 ~ 4:1, 0.1 ~ 8:1), above expands; Out Gain (v - 0.5) * 36 dB;
// Width 2v; Pan 0.5 centre. Handy x positions: 0.2 ~ 100 Hz, 0.35 ~ 270 Hz,
// 0.5 ~ 700 Hz, 0.72 ~ 3 kHz, 0.83 ~ 6 kHz, 0.92 ~ 11 kHz.
#include <mutex>
#include <vector>

#include "dsp/talvern.h"
#include "gfx/core/SyncObject.h"
#include "params/plugin/EffParams.h"
#include "params/state/PresetMan.h"

namespace {

struct TFactoryEnvelope {
  int Count;  // 0: the kind's flat default
  TEnvelopePoint Points[6];
};

struct TFactoryProgram {
  const char* Name;
  const char* Intent;
  float Params[9];  // MainOut, InSlope, unused0, Fluffy, Detectr, MSMode, unused1, CDisabl, CMode
  // Thresh, Attack, Release, Ratio, Wet Mix, Out Gain, St. Link, Width, Pan
  TFactoryEnvelope Envelopes[kEnvelopeKinds];
  int32_t Weighting;
  int32_t Ordering[kStageSlots];
};

constexpr TFactoryEnvelope Keep{0, {}};
constexpr TFactoryEnvelope Flat(float v) { return {2, {{0, v}, {1, v}}}; }

constexpr float kSlope = 0.3f;  // 3 dB/octave: no tilt

// One program per entry, laid out as a table.
// clang-format off
const TFactoryProgram kPrograms[] = {
    {"Default", "Neutral: the plain filter bank, nothing changed.",
     {0.5f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Keep, Keep, Keep, Keep, Keep, Keep, Keep, Keep, Keep}, 0, {0, 1, -1, -1}},

    {"Radio Mix", "Dense and loud like broadcast: fast 4:1 from a low threshold everywhere, mids forward, +7 dB out.",
     {0.79f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {Flat(0.45f), Flat(0.15f), Flat(0.55f), Flat(0.45f), Keep,
      {5, {{0, 0.5f}, {0.4f, 0.5f}, {0.6f, 0.555f}, {0.8f, 0.5f}, {1, 0.5f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Big Club Mix", "Big low end and a wider top for club systems: +4 dB lows, 3:1, 120 % width above 6 kHz.",
     {0.625f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {Flat(0.6f), Flat(0.3f), Flat(0.55f), Flat(0.55f), Keep,
      {4, {{0, 0.61f}, {0.2f, 0.61f}, {0.35f, 0.5f}, {1, 0.5f}}}, Keep,
      {4, {{0, 0.5f}, {0.72f, 0.5f}, {0.83f, 0.6f}, {1, 0.6f}}}, Keep},
     0, {0, 1, 2, -1}},

    {"Club Punch", "Punchy kick and bass: 3.7:1, slow attack lets transients through, +3 dB around 60-120 Hz.",
     {0.667f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {Flat(0.45f), Flat(0.7f), Flat(0.6f), Flat(0.5f), Keep,
      {5, {{0, 0.53f}, {0.1f, 0.583f}, {0.22f, 0.583f}, {0.35f, 0.5f}, {1, 0.5f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Flat Bass", "Even, controlled bass: hard 6:1 below 200 Hz with +2 dB make-up, everything above untouched.",
     {0.5f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {{4, {{0, 0.35f}, {0.28f, 0.35f}, {0.4f, 1.0f}, {1, 1.0f}}}, Flat(0.3f), Flat(0.6f),
      {4, {{0, 0.3f}, {0.28f, 0.3f}, {0.4f, 0.75f}, {1, 0.75f}}}, Keep,
      {4, {{0, 0.555f}, {0.28f, 0.555f}, {0.4f, 0.5f}, {1, 0.5f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Smooth Mix", "Gentle 2:1 with slow attack and a softened top (-2 dB above 6 kHz).",
     {0.54f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {Flat(0.6f), Flat(0.45f), Flat(0.7f), Flat(0.65f), Keep,
      {4, {{0, 0.5f}, {0.72f, 0.5f}, {0.86f, 0.444f}, {1, 0.444f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Tape Compression", "Tape-like glue: soft 2.6:1, a little low bump, highs rolling off from 5 kHz (-2 dB at 10k).",
     {0.56f, kSlope, 0, 1, 1, 0, 0, 0, 0},
     {Flat(0.55f), Flat(0.3f), Flat(0.65f), Flat(0.6f), Keep,
      {5, {{0, 0.5f}, {0.16f, 0.542f}, {0.35f, 0.5f}, {0.8f, 0.5f}, {1, 0.39f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Solidify", "A firm, centred foundation: lows and low mids narrowed towards mono, mild 2:1.",
     {0.5f, kSlope, 0, 1, 0, 0, 0, 0, 0},
     {Flat(0.65f), Flat(0.35f), Flat(0.6f), Flat(0.65f), Keep, Keep, Keep,
      {4, {{0, 0.2f}, {0.35f, 0.3f}, {0.6f, 0.45f}, {1, 0.5f}}}, Keep},
     0, {0, 1, 2, -1}},

    {"Better Balance", "Tames the extremes: compresses lows and highs more than the mids, A+C weighted.",
     {0.52f, kSlope, 0, 1, 1, 0, 0, 0, 0},
     {{5, {{0, 0.45f}, {0.3f, 0.6f}, {0.5f, 0.75f}, {0.75f, 0.6f}, {1, 0.45f}}}, Flat(0.35f), Flat(0.65f),
      {3, {{0, 0.5f}, {0.5f, 0.7f}, {1, 0.5f}}}, Keep, Keep, Keep, Keep, Keep},
     4, {0, 1, -1, -1}},

    {"Deeper", "More weight: +4 dB below 150 Hz, shelving back to flat by 400 Hz; no dynamics.",
     {0.5f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Keep, Keep, Keep, Keep, Keep, {4, {{0, 0.61f}, {0.25f, 0.61f}, {0.4f, 0.5f}, {1, 0.5f}}}, Keep, Keep, Keep},
     0, {1, -1, -1, -1}},

    {"Lightness", "Lighter and airier: -3 dB in the low end, +2 dB above 8 kHz.",
     {0.5f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Keep, Keep, Keep, Keep, Keep,
      {6, {{0, 0.417f}, {0.25f, 0.417f}, {0.42f, 0.5f}, {0.8f, 0.5f}, {0.9f, 0.555f}, {1, 0.555f}}},
      Keep, Keep, Keep},
     0, {1, -1, -1, -1}},

    {"Mastering Compression", "Gentle 1.5:1 bus compression from a low threshold, 15 ms attack, slow release, +1.5 dB.",
     {0.5625f, kSlope, 0, 1, 1, 0, 0, 0, 0},
     {Flat(0.5f), Flat(0.45f), Flat(0.8f), Flat(0.7f), Keep, Keep, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Open Highs", "Presence and air: +4 dB above 6 kHz, no dynamics.",
     {0.5f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Keep, Keep, Keep, Keep, Keep, {4, {{0, 0.5f}, {0.7f, 0.5f}, {0.83f, 0.61f}, {1, 0.61f}}}, Keep, Keep, Keep},
     0, {1, -1, -1, -1}},

    {"Openness", "A wider, more open image: 130 % width above 300 Hz and +1.5 dB air.",
     {0.5f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Keep, Keep, Keep, Keep, Keep, {3, {{0, 0.5f}, {0.8f, 0.5f}, {1, 0.542f}}}, Keep,
      {4, {{0, 0.5f}, {0.36f, 0.5f}, {0.5f, 0.65f}, {1, 0.65f}}}, Keep},
     0, {2, 1, -1, -1}},

    {"Overcompression", "Deliberately squashed: 8:1 from low thresholds, squared gains, +9 dB out.",
     {0.875f, kSlope, 0, 0, 0, 0, 0, 0, 0},
     {Flat(0.4f), Flat(0.05f), Flat(0.5f), Flat(0.1f), Keep, Keep, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Transparency", "Barely there: 1.2:1 at half wet, a touch of air; the sound stays itself.",
     {0.5f, kSlope, 0, 1, 1, 0, 0, 0, 0},
     {Flat(0.7f), Flat(0.4f), Flat(0.7f), Flat(0.72f), Flat(0.5f),
      {3, {{0, 0.5f}, {0.85f, 0.5f}, {1, 0.514f}}}, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},

    {"Soft Press", "A soft hand on the dynamics: 1.75:1 from a low threshold at 70 % wet, slow attack and release.",
     {0.52f, kSlope, 0, 1, 1, 0, 0, 0, 0},
     {Flat(0.5f), Flat(0.5f), Flat(0.75f), Flat(0.68f), Flat(0.7f), Keep, Keep, Keep, Keep},
     0, {0, 1, -1, -1}},
};
// clang-format on

static_assert(sizeof kPrograms / sizeof kPrograms[0] == kProgramCount, "the bank holds a program for every slot");

const char* const kParamNames[9] = {"MainOut", "InSlope", "unused0", "Fluffy", "Detectr",
                                    "MSMode",  "unused1", "CDisabl", "CMode"};

std::vector<uint8_t> BuildBank() {
  TSyncObject lock;
  TTalvern engine(44100, &lock);
  TBankObject bank;
  for (const TFactoryProgram& fp : kPrograms) {
    engine.ResetAll();
    for (int k = 0; k < kEnvelopeKinds; ++k) {
      const TFactoryEnvelope& fe = fp.Envelopes[k];
      if (fe.Count == 0) continue;
      TEnvelope e = *engine.EnvelopeRecord(k);
      e.PointCount = fe.Count;
      for (int i = 0; i < fe.Count; ++i) e.Points[i] = fe.Points[i];
      engine.StoreEnvelope(k, e);
    }
    engine.SetWeighting(fp.Weighting);
    for (int s = 0; s < kStageSlots; ++s) engine.SetOrdering(s, fp.Ordering[s]);
    TBankObjectItem* item = bank.Add(nullptr, true);
    item->Name = fp.Name;
    TPresetObject& p = *item->Program();
    for (int i = 0; i < 9; ++i) p.SetSingle(kParamNames[i], 0, fp.Params[i]);
    TSyncLock hold(lock);
    engine.SaveToProgram(p);
  }
  uint32_t length = 0;
  uint8_t* chunk = bank.WriteChunk(length);
  std::vector<uint8_t> bytes(chunk, chunk + length);
  FreeChunk(chunk);
  return bytes;
}

}  // namespace

const uint8_t* FactoryBankChunk(int32_t& size) {
  static const std::vector<uint8_t> bank = BuildBank();
  size = static_cast<int32_t>(bank.size());
  return bank.data();
}
