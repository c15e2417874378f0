// What each factory program does to the sound. Every program is measured on
// the same generated signals as "Default" (the plain filter bank), and its
// promise is checked on the difference, so the filter bank's own colour
// cancels. Margins follow from what each program sets out to do (its intent
// in the bank), not from the engine's output.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "ProgramRig.h"

namespace programs {
namespace {

// Program minus Default, in dB.
struct Versus {
  const Measures& P;
  const Measures& D;
  double Rms() const { return P.RmsDb - D.RmsDb; }
  double Level(double lo, double hi) const { return P.LevelDb(lo, hi) - D.LevelDb(lo, hi); }
  double Low() const { return P.LowDb() - D.LowDb(); }
  double Mid() const { return P.MidDb() - D.MidDb(); }
  double High() const { return P.HighDb() - D.HighDb(); }
  // Change of a range's level relative to the mids (a tilt, independent of
  // the overall gain).
  double OverMid(double lo, double hi) const { return Level(lo, hi) - Mid(); }
  double SideMid(double lo, double hi) const { return P.SideMidDb(lo, hi) - D.SideMidDb(lo, hi); }
  double Spread() const { return P.SpreadDb - D.SpreadDb; }
  double LowSpread() const { return P.LowSpreadDb - D.LowSpreadDb; }
  double MidSpread() const { return P.MidSpreadDb - D.MidSpreadDb; }
  double HighSpread() const { return P.HighSpreadDb - D.HighSpreadDb; }
  double Swell() const { return P.SwellDb - D.SwellDb; }
  double HitContrast() const { return P.HitContrastDb - D.HitContrastDb; }
  double DrumCrest() const { return P.CrestDb - D.CrestDb; }
  double DemoCrest() const { return P.DemoCrestDb - D.DemoCrestDb; }
};

const Measures& Default() { return Measured("Default"); }
Versus Vs(const char* name) { return {Measured(name), Default()}; }

constexpr double kOctaves[10] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
double OctaveLo(double fc) { return fc / std::sqrt(2.0); }
double OctaveHi(double fc) { return std::min(fc * std::sqrt(2.0), 20000.0); }

std::string Summary(const Versus& v) {
  char buf[640];
  std::snprintf(buf, sizeof buf,
                "vs Default: rms %+.2f, low %+.2f, mid %+.2f, high %+.2f, side/mid low %+.2f mid %+.2f high %+.2f, "
                "drum spread %+.2f (low %+.2f mid %+.2f high %+.2f), swell %+.2f, hit contrast %+.2f, "
                "crest drums %+.2f demo mix %+.2f; peak %.2f dBFS, peak on -12 dBFS pink %.2f dBFS",
                v.Rms(), v.Low(), v.Mid(), v.High(), v.SideMid(20, kLowEdge), v.SideMid(kLowEdge, kHighEdge),
                v.SideMid(kHighEdge, 20000), v.Spread(), v.LowSpread(), v.MidSpread(), v.HighSpread(), v.Swell(),
                v.HitContrast(), v.DrumCrest(), v.DemoCrest(), v.P.PeakDb, v.P.QuietPeakDb);
  return buf;
}

struct ProgramCase {
  const char* Name;
  const char* Promise;
  std::function<void(const Versus&)> Check;
};

void PrintTo(const ProgramCase& c, std::ostream* os) { *os << c.Name; }

// One or two assertions per program: the direction its name promises, with
// margins taken from its intended settings.
const ProgramCase kCases[] = {
    {"Radio Mix", "denser and louder",
     [](const Versus& v) {
       EXPECT_GE(v.Rms(), 3.0);      // +7 dB out, less what the compression takes
       EXPECT_LE(v.Swell(), -4.0);   // fast 4:1 from a low threshold evens out sections
       EXPECT_LE(v.Spread(), -2.0);  // and hits
     }},
    {"Big Club Mix", "more low end, a wider top",
     [](const Versus& v) {
       EXPECT_GE(v.OverMid(20, kLowEdge), 2.5);  // +4 dB shelf below 100 Hz
       EXPECT_GE(v.SideMid(6000, 20000), 1.0);   // 120 % width above 6 kHz: +1.6 dB side
       EXPECT_NEAR(v.SideMid(20, kLowEdge), 0.0, 0.5);
     }},
    {"Club Punch", "kick and bass forward, transients kept",
     [](const Versus& v) {
       EXPECT_GE(v.OverMid(50, 130), 2.0);  // +3 dB around 60-120 Hz
       // The slow attack lets the start of each hit through: the hits keep
       // their contrast, where the fast "Radio Mix" flattens them.
       EXPECT_GE(v.HitContrast(), -0.75);
       EXPECT_GT(v.HitContrast(), Vs("Radio Mix").HitContrast() + 1.0);
     }},
    {"Flat Bass", "even bass, the rest untouched",
     [](const Versus& v) {
       EXPECT_LE(v.LowSpread(), -2.5);  // about 6:1 below 200 Hz
       EXPECT_NEAR(v.MidSpread(), 0.0, 0.5);
       EXPECT_NEAR(v.HighSpread(), 0.0, 0.5);
       EXPECT_NEAR(v.Level(400, 20000), 0.0, 0.5);
     }},
    {"Smooth Mix", "gently compressed, softer top",
     [](const Versus& v) {
       EXPECT_LE(v.OverMid(6000, 20000), -1.0);  // -2 dB above 6 kHz
       EXPECT_LE(v.Swell(), -1.0);               // 2:1 ...
       EXPECT_GE(v.Swell(), -5.0);               // ... and gentle
     }},
    {"Tape Compression", "glued, highs rolled off",
     [](const Versus& v) {
       EXPECT_LE(v.OverMid(10000, 20000), -1.0);  // falling to -4 dB at 20 kHz
       EXPECT_GE(v.OverMid(50, 130), 0.5);        // the small low bump (+1.5 dB)
       EXPECT_LE(v.Swell(), -1.5);                // about 2.6:1
     }},
    {"Solidify", "narrower, firmer lows",
     [](const Versus& v) {
       EXPECT_LE(v.SideMid(20, kLowEdge), -4.0);  // 40-50 % width: -6 to -8 dB side
       EXPECT_NEAR(v.SideMid(kHighEdge, 20000), 0.0, 1.0);
     }},
    {"Better Balance", "extremes tamed more than the mids",
     [](const Versus& v) {
       EXPECT_LE(v.LowSpread(), v.MidSpread() - 1.5);
       EXPECT_LE(v.HighSpread(), v.MidSpread() - 1.5);
     }},
    {"Deeper", "more low end, nothing else",
     [](const Versus& v) {
       EXPECT_GE(v.Low(), 3.0);  // +4 dB below 150 Hz
       EXPECT_NEAR(v.Mid(), 0.0, 1.0);
       EXPECT_NEAR(v.High(), 0.0, 1.0);
       EXPECT_NEAR(v.Spread(), 0.0, 0.75);  // no dynamics
     }},
    {"Lightness", "less low end, more air",
     [](const Versus& v) {
       EXPECT_LE(v.Low(), -2.0);              // -3 dB low end
       EXPECT_GE(v.Level(8000, 20000), 1.0);  // +2 dB above 8 kHz
       EXPECT_NEAR(v.Mid(), 0.0, 1.0);
     }},
    {"Mastering Compression", "gentle, even compression",
     [](const Versus& v) {
       EXPECT_LE(v.Swell(), -1.0);  // 1.5:1 with a slow release acts on sections
       EXPECT_GE(v.Swell(), -5.0);
       EXPECT_NEAR(v.OverMid(20, kLowEdge), 0.0, 1.0);  // the balance stays
       EXPECT_NEAR(v.OverMid(kHighEdge, 20000), 0.0, 1.0);
     }},
    {"Open Highs", "more presence and air",
     [](const Versus& v) {
       EXPECT_GE(v.High(), 3.0);  // +4 dB above 6 kHz
       EXPECT_NEAR(v.Low(), 0.0, 0.5);
       EXPECT_NEAR(v.Mid(), 0.0, 1.0);
     }},
    {"Openness", "wider image",
     [](const Versus& v) {
       EXPECT_GE(v.SideMid(500, 20000), 1.5);  // 130 % width: +2.3 dB side
       EXPECT_LE(v.SideMid(500, 20000), 4.0);
       EXPECT_NEAR(v.SideMid(20, kLowEdge), 0.0, 0.5);
     }},
    {"Overcompression", "squashed well beyond Radio Mix",
     [](const Versus& v) {
       Versus radio = Vs("Radio Mix");
       EXPECT_LE(v.Swell(), radio.Swell() - 3.0);
       EXPECT_LE(v.Spread(), radio.Spread() - 3.0);
     }},
    {"Transparency", "the sound stays itself",
     [](const Versus& v) {
       for (double fc : kOctaves) EXPECT_NEAR(v.Level(OctaveLo(fc), OctaveHi(fc)), 0.0, 1.5) << fc << " Hz octave";
       EXPECT_NEAR(v.SideMid(20, 20000), 0.0, 0.5);
       EXPECT_NEAR(v.Swell(), 0.0, 1.0);
       EXPECT_NEAR(v.Spread(), 0.0, 1.0);
     }},
    {"Soft Press", "a little compression, far less than Radio Mix",
     [](const Versus& v) {
       EXPECT_LE(v.Swell(), -0.75);
       EXPECT_GE(v.Swell(), Vs("Radio Mix").Swell() + 2.0);
       EXPECT_NEAR(v.OverMid(20, kLowEdge), 0.0, 1.0);
       EXPECT_NEAR(v.OverMid(kHighEdge, 20000), 0.0, 1.0);
     }},
};

class ProgramSound : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramSound, KeepsItsPromise) {
  const ProgramCase& c = GetParam();
  Versus v = Vs(c.Name);
  SCOPED_TRACE(std::string(c.Name) + " (" + c.Promise + ") " + Summary(v));
  c.Check(v);
}

// Every program stays usable: finite output, no error, no clipping on
// -12 dBFS pink noise nor on pink noise at a mix level of -18 dBFS RMS,
// a level within 6 dB of Default (except the two loud-by-design programs),
// and no octave band or stereo width pushed to an absurd extreme.
TEST_P(ProgramSound, StaysMusical) {
  const ProgramCase& c = GetParam();
  Versus v = Vs(c.Name);
  SCOPED_TRACE(std::string(c.Name) + " " + Summary(v));
  EXPECT_TRUE(v.P.Finite);
  EXPECT_EQ(v.P.MessageBoxes, 0);
  EXPECT_LT(v.P.QuietPeakDb, 0.0);
  EXPECT_LT(v.P.PeakDb, 0.0);
  bool loudByDesign = std::string(c.Name) == "Radio Mix" || std::string(c.Name) == "Overcompression";
  EXPECT_NEAR(v.Rms(), 0.0, loudByDesign ? 9.0 : 6.0);
  for (double fc : kOctaves) {
    EXPECT_NEAR(v.Level(OctaveLo(fc), OctaveHi(fc)), 0.0, 9.0) << fc << " Hz octave";
    EXPECT_NEAR(v.SideMid(OctaveLo(fc), OctaveHi(fc)), 0.0, 9.0) << fc << " Hz octave";
  }
}

INSTANTIATE_TEST_SUITE_P(Factory, ProgramSound, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ProgramCase>& param_info) {
                           std::string n;
                           for (const char* p = param_info.param.Name; *p; ++p)
                             if (std::isalnum(static_cast<unsigned char>(*p))) n += *p;
                           return n;
                         });

TEST(ProgramSoundTable, CoversEveryProgramButDefault) {
  ASSERT_EQ(sizeof kCases / sizeof kCases[0], 16u);
  for (int i = 1; i < 17; ++i) EXPECT_STREQ(kCases[i - 1].Name, kProgramNames[i]);
}

// "Default" is the plain filter bank: close to the dry signal in level (the
// bank passes nothing below 20 Hz, where pink noise holds some power), in
// spectral balance, width and dynamics. The comparisons above rest on this.
TEST(DefaultProgram, IsTheNeutralFilterBank) {
  const Measures& d = Default();
  const Measures& in = MeasuredInput();
  EXPECT_TRUE(d.Finite);
  EXPECT_NEAR(d.RmsDb, in.RmsDb, 2.0);
  EXPECT_NEAR(d.MidDb(), in.MidDb(), 1.0);
  for (double fc : kOctaves) {
    double lo = OctaveLo(fc), hi = OctaveHi(fc);
    EXPECT_NEAR(d.LevelDb(lo, hi) - in.LevelDb(lo, hi), d.MidDb() - in.MidDb(), 1.5) << fc << " Hz octave";
    EXPECT_NEAR(d.SideMidDb(lo, hi), in.SideMidDb(lo, hi), 0.5) << fc << " Hz octave";
  }
  EXPECT_NEAR(d.SpreadDb, in.SpreadDb, 1.5);
  EXPECT_NEAR(d.SwellDb, in.SwellDb, 1.0);
}

}  // namespace
}  // namespace programs
