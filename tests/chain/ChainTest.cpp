// The plug-in's processing chain as the editor sees it: the analysis
// interval, what is published and posted while an editor is attached (and
// nothing while it is not), the requests taken over at block start, and the
// settings read from the registry at start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "params/plugin/EffParams.h"
#include "platform/testing/RecordingMessageBox.h"
#include "platform/testing/TestRegistry.h"

namespace {

constexpr double kPi = std::numbers::pi;

VstIntPtr QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Stands in for the editor form: records what the chain hands over.
class FakeEditor : public TEffEditorLink {
public:
  void PostToEditor(int message, intptr_t value) override {
    std::lock_guard<std::mutex> g(FMutex);
    Posts.push_back({message, value});
  }
  void SetSpectrum(const double* levelDb, const double* gainDb) override {
    Level.assign(levelDb, levelDb + kEnvelopeBands);
    Gain.assign(gainDb, gainDb + kEnvelopeBands);
    ++Spectra;
  }
  void ClearSpectrum() override { ++Clears; }
  int Count(int message) const {
    int n = 0;
    for (auto& p : Posts) n += p.first == message;
    return n;
  }
  std::vector<std::pair<int, intptr_t>> Posts;
  std::vector<double> Level, Gain;
  int Spectra = 0, Clears = 0;

private:
  std::mutex FMutex;
};

class ChainTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegistryRoot = "Software\\Kestrune\\";
    MakerName = "Kestrune";
    HostVersion = 2400;
  }
  void TearDown() override {
    if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0);
  }
  void Make(float rate = 44100.0f) {
    module = new TEffParameters(nullptr);
    TComponent* owned = module;
    auto* fx = new TVSTEffectBase(QuietHost, module->ParamHost, owned);
    e = fx->getAeffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
  }
  // Processes `blocks` host blocks of `frames` samples of a 1 kHz sine.
  void Run(int blocks, int frames, double amplitude = 0.25) {
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames)), ol(l.size()), orr(l.size());
    for (int b = 0; b < blocks; ++b) {
      for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(phase++) / 44100.0;
        l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2 * kPi * 1000 * t));
      }
      float* in[2] = {l.data(), r.data()};
      float* out[2] = {ol.data(), orr.data()};
      e->processReplacing(e, in, out, frames);
    }
  }
  platform::testing::TestRegistry reg;
  platform::testing::RecordingMessageBox boxes;
  TEffParameters* module = nullptr;
  AEffect* e = nullptr;
  long phase = 0;
  const std::string key = "Software\\Kestrune\\Kestrune Talvern VST";
};

TEST_F(ChainTest, DisplayIntervalFollowsTheSampleRate) {
  Make(44100.0f);
  EXPECT_EQ(module->DisplayInterval(), 2940);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(module->DisplayInterval(), 3200);
  EXPECT_FLOAT_EQ(static_cast<float>(std::pow(10.0, kSpectrumSpeedDb[5] / 20.0)), 0.056234132f);
}

TEST_F(ChainTest, NothingIsPostedWhileTheEditorIsClosed) {
  Make();
  FakeEditor editor;
  module->SetEditorLink(&editor);
  Run(20, 512);
  ASSERT_GT(editor.Count(emRepaintDisplay), 0);
  module->ParamHost->OnEditorClosed(nullptr);  // the editor closes
  editor.Posts.clear();
  Run(20, 512);
  e->setParameter(e, 5, 1 / 9.0f);
  e->setParameter(e, 3, 1.0f);
  e->dispatcher(e, effSetProgram, 0, 2, nullptr, 0);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
  EXPECT_TRUE(editor.Posts.empty());
  EXPECT_EQ(editor.Clears, 0);
}

TEST_F(ChainTest, AnAttachedEditorGetsTheSpectrumAboutFifteenTimesASecond) {
  Make();
  FakeEditor editor;
  module->SetEditorLink(&editor);
  Run(9, 300);  // 2700 samples: below the 2940-sample interval
  EXPECT_EQ(editor.Count(emRepaintDisplay), 0);
  Run(1, 300);  // 3000: one update, the remainder carries over
  EXPECT_EQ(editor.Count(emRepaintDisplay), 1);
  EXPECT_EQ(editor.Count(emRmsDifference), 1);
  EXPECT_EQ(editor.Count(emClipIndicator), 1);
  ASSERT_EQ(editor.Spectra, 1);
  Run(44100 / 300, 300);  // one second more
  EXPECT_NEAR(editor.Count(emRepaintDisplay), 16, 1);
  // The 1 kHz tone sits in band 17 (25 * 800^(17/31) = 993 Hz): the loudest.
  auto loudest = std::max_element(editor.Level.begin(), editor.Level.end()) - editor.Level.begin();
  EXPECT_EQ(loudest, 17);
  // Default settings: unity gain in every band, shown as 0 dB.
  for (double g : editor.Gain) EXPECT_NEAR(g, 0.0, 0.01);
  // Clip indicator dark, RMS difference small for the filter bank.
  EXPECT_EQ(editor.Posts.back().first, emClipIndicator);
  EXPECT_EQ(editor.Posts.back().second, 0);
  module->SetEditorLink(nullptr);
}

TEST_F(ChainTest, ParameterProgramRateAndClearMessages) {
  Make();
  FakeEditor editor;
  module->SetEditorLink(&editor);
  e->setParameter(e, 5, 2 / 9.0f);  // MSMode: refresh colours
  e->setParameter(e, 3, 1.0f);      // Fluffy: refresh colours
  EXPECT_EQ(editor.Count(emRefreshColours), 2);
  e->dispatcher(e, effSetProgram, 0, 3, nullptr, 0);  // program load: the editor refresh
  EXPECT_GE(editor.Count(emRefreshModes), 1);
  EXPECT_GE(editor.Count(emRefreshOrder), 1);
  EXPECT_GE(editor.Count(emRefreshKnobs), 1);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
  ASSERT_EQ(editor.Count(emSampleRate), 1);
  for (auto& p : editor.Posts)
    if (p.first == emSampleRate) {
      EXPECT_EQ(p.second, 96000);
    }
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);  // clear
  EXPECT_EQ(editor.Clears, 1);
  EXPECT_EQ(editor.Count(emClearRms), 1);
  module->SetEditorLink(nullptr);
}

TEST_F(ChainTest, ClipIndicatorLightsAndResetsOnRequest) {
  Make();
  FakeEditor editor;
  module->SetEditorLink(&editor);
  e->setParameter(e, 0, 1.0f);  // +12 dB out: a 0.9 sine clips
  Run(12, 512, 0.9);
  ASSERT_GT(editor.Count(emClipIndicator), 0);
  EXPECT_EQ(editor.Posts.back().second, 1);
  EXPECT_GT(module->Stats()->ClipCount(0), 0);
  module->RequestClipReset();
  e->setParameter(e, 0, 0.5f);
  Run(12, 512, 0.1);
  EXPECT_EQ(module->Stats()->ClipCount(0), 0);
  EXPECT_EQ(editor.Posts.back().second, 0);
  module->SetEditorLink(nullptr);
}

TEST_F(ChainTest, AuditionFilterRequestTakesEffectAtTheNextBlock) {
  Make();
  std::vector<float> l(512), r(512), ol(512), orr(512);
  auto energyAt = [&](double hz) {
    double sum = 0;
    for (int b = 0; b < 40; ++b) {
      for (int i = 0; i < 512; ++i) {
        double t = static_cast<double>(phase++) / 44100.0;
        l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] = static_cast<float>(0.25 * std::sin(2 * kPi * hz * t));
      }
      float* in[2] = {l.data(), r.data()};
      float* out[2] = {ol.data(), orr.data()};
      e->processReplacing(e, in, out, 512);
      if (b >= 20)
        for (float v : ol) sum += double(v) * double(v);
    }
    return sum;
  };
  double open100 = energyAt(100);
  module->RequestFilter(true, 1000.0f, 0.7f);
  double filtered100 = energyAt(100), filtered1k = energyAt(1000);
  module->RequestFilter(false, 0, 0);
  double reopened100 = energyAt(100);
  EXPECT_LT(filtered100, open100 * 0.05);  // 100 Hz is far outside a band around 1 kHz
  EXPECT_GT(filtered1k, filtered100 * 50);
  EXPECT_NEAR(reopened100 / open100, 1.0, 0.05);
}

TEST_F(ChainTest, RegistrySettingsAreReadAtStartUpWithSafeDefaults) {
  struct Case {
    const char* speed;
    const char* snapping;
    const char* overlay;
    int32_t expectSpeed;
    bool expectSnapping, expectOverlay;
  } cases[] = {
      {nullptr, nullptr, nullptr, 5, false, true},
      {"7", "1", "0", 7, true, false},
      {"42", "yes", "", 5, false, true},
      {"-1", "0", "1", 5, false, true},
      {"9", "2", "x", 9, true, true},
  };
  for (const Case& c : cases) {
    platform::testing::TestRegistry fresh;
    if (c.speed) fresh.PutString(key, "SpectrumSpeed", c.speed);
    if (c.snapping) fresh.PutString(key, "Snapping", c.snapping);
    if (c.overlay) fresh.PutString(key, "AutoOverlay", c.overlay);
    TEffParameters m(nullptr);
    EXPECT_EQ(m.SpectrumSpeed, c.expectSpeed) << (c.speed ? c.speed : "-");
    EXPECT_EQ(m.Snapping, c.expectSnapping);
    EXPECT_EQ(m.AutoOverlay, c.expectOverlay);
    EXPECT_TRUE(m.PreOutGain);
  }
}

}  // namespace

// A host that hands over NaN or infinite samples gets finite output, and the
// stream recovers at once: the output is what it would have been had those
// samples been silence. Absurdly large finite samples give finite output too.
TEST_F(ChainTest, NonFiniteInputSamplesCountAsSilence) {
  const struct {
    float value;
    bool asSilence;
  } bad[] = {{std::nanf(""), true}, {INFINITY, true}, {-INFINITY, true}, {3e38f, false}, {-1e30f, false}};
  const int frames = 2048, from = 100, to = 200;
  auto render = [&](float badValue, bool poison, int channel) {
    module = nullptr;
    if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0);
    Make();
    std::vector<float> l(frames), r(frames), ol(frames), orr(frames);
    for (int i = 0; i < frames; ++i) {
      l[size_t(i)] = static_cast<float>(0.25 * std::sin(2 * kPi * 1000 * i / 44100.0));
      r[size_t(i)] = static_cast<float>(0.25 * std::sin(2 * kPi * 300 * i / 44100.0));
      if (i >= from && i < to) (channel == 0 ? l : r)[size_t(i)] = poison ? badValue : 0.0f;
    }
    std::vector<float> out;
    for (int done = 0; done < frames; done += 256) {  // several host blocks
      float* in[2] = {l.data() + done, r.data() + done};
      float* o[2] = {ol.data() + done, orr.data() + done};
      e->processReplacing(e, in, o, 256);
    }
    out = ol;
    out.insert(out.end(), orr.begin(), orr.end());
    return out;
  };
  for (const auto& [v, asSilence] : bad) {
    for (int channel : {0, 1}) {
      const std::vector<float> poisoned = render(v, true, channel), silent = render(v, false, channel);
      double worst = 0;
      for (size_t i = 0; i < poisoned.size(); ++i) {
        ASSERT_TRUE(std::isfinite(poisoned[i])) << v << " channel " << channel << " sample " << i;
        worst = std::max(worst, double(std::fabs(poisoned[i] - silent[i])));
      }
      if (asSilence) {
        EXPECT_LT(worst, 1e-6) << v << " channel " << channel;
      }
    }
  }
}
