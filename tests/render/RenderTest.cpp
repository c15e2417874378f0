// talvern-render tested as the binary users run: every case starts the built
// executable as a subprocess against render_fixture (a stereo gain/pan effect
// with three chunk programs) and checks the files and messages it leaves.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/envelopes.h"
#include "params/state/PresetMan.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- helpers

struct Result {
  int Code = -1;
  std::string Out, Err;
};

std::string ShellQuote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

std::string ReadText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::string s = ReadText(p);
  return std::vector<uint8_t>(s.begin(), s.end());
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> r;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) r.push_back(line);
  return r;
}

int PcmBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
  }
}

// Interleaved samples with their file's values exactly: integer PCM as
// q / 2^(bits-1), float as stored.
struct Sound {
  int Format = 0;
  int Rate = 0;
  int Channels = 0;
  std::vector<double> Samples;
  size_t Frames() const { return Channels ? Samples.size() / static_cast<size_t>(Channels) : 0; }
  double At(size_t frame, int channel) const {
    return Samples[frame * static_cast<size_t>(Channels) + static_cast<size_t>(channel)];
  }
};

// A reproducible noise signal, quantized to the sample type so the file holds
// it exactly.
Sound Noise(int format, int rate, int channels, size_t frames, double amplitude, unsigned seed = 1) {
  Sound s{format, rate, channels, {}};
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-amplitude, amplitude);
  const int bits = PcmBits(format);
  for (size_t i = 0; i < frames * static_cast<size_t>(channels); ++i) {
    double x = dist(gen);
    if (bits)
      x = std::nearbyint(std::ldexp(x, bits - 1)) / std::ldexp(1.0, bits - 1);
    else
      x = static_cast<float>(x);
    s.Samples.push_back(x);
  }
  return s;
}

void WriteSound(const fs::path& p, const Sound& s) {
  SF_INFO info{};
  info.samplerate = s.Rate;
  info.channels = s.Channels;
  info.format = s.Format;
  SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const int bits = PcmBits(s.Format);
  if (bits) {
    std::vector<int> ints;
    for (double x : s.Samples)
      ints.push_back(static_cast<int>(static_cast<int64_t>(std::ldexp(x, bits - 1)) * (int64_t{1} << (32 - bits))));
    EXPECT_EQ(sf_writef_int(f, ints.data(), static_cast<sf_count_t>(s.Frames())), static_cast<sf_count_t>(s.Frames()));
  } else {
    EXPECT_EQ(sf_writef_double(f, s.Samples.data(), static_cast<sf_count_t>(s.Frames())),
              static_cast<sf_count_t>(s.Frames()));
  }
  sf_close(f);
}

Sound ReadSound(const fs::path& p) {
  SF_INFO info{};
  SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info);
  Sound s;
  EXPECT_NE(f, nullptr) << p << ": " << sf_strerror(nullptr);
  if (!f) return s;
  s.Format = info.format;
  s.Rate = info.samplerate;
  s.Channels = info.channels;
  const size_t n = static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels);
  const int bits = PcmBits(info.format);
  if (bits) {
    std::vector<int> ints(n);
    sf_readf_int(f, ints.data(), info.frames);
    for (int v : ints) s.Samples.push_back(static_cast<double>(v >> (32 - bits)) / std::ldexp(1.0, bits - 1));
  } else {
    s.Samples.resize(n);
    sf_readf_double(f, s.Samples.data(), info.frames);
  }
  sf_close(f);
  return s;
}

// What render_fixture does to a channel for a Gain and Pan value, computed in
// single precision as the plug-in's buffers are.
float FixtureFactor(float gain, float pan, int channel) {
  float g = 2.0f * gain;
  return g * std::min(1.0f, 2.0f * (channel == 0 ? 1.0f - pan : pan));
}

void PutBE(std::vector<uint8_t>& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
uint32_t GetBE(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}
uint32_t Tag(const char* t) {
  return (uint32_t(uint8_t(t[0])) << 24) | (uint32_t(uint8_t(t[1])) << 16) | (uint32_t(uint8_t(t[2])) << 8) |
         uint8_t(t[3]);
}

// A program or bank file laid out as the published format has it.
std::vector<uint8_t> PresetBytes(const char* kind, const char* id, uint32_t count, const std::string& name,
                                 const std::vector<uint8_t>& chunk) {
  const bool bank = kind[1] == 'B' || std::string(kind) == "FxBk";
  const size_t header = bank ? 160 : 60;
  std::vector<uint8_t> b;
  PutBE(b, Tag("CcnK"));
  PutBE(b, static_cast<uint32_t>(header - 8 + chunk.size()));
  PutBE(b, Tag(kind));
  PutBE(b, 1);
  PutBE(b, Tag(id));
  PutBE(b, 1);
  PutBE(b, count);
  std::vector<uint8_t> field(bank ? 128 : 28, 0);
  std::copy(name.begin(), name.end(), field.begin());
  b.insert(b.end(), field.begin(), field.end());
  PutBE(b, static_cast<uint32_t>(chunk.size()));
  b.insert(b.end(), chunk.begin(), chunk.end());
  return b;
}

// render_fixture's program chunk: "RFP1", a 24-byte name, gain and pan.
std::vector<uint8_t> FixtureProgramChunk(const std::string& name, float gain, float pan) {
  std::vector<uint8_t> c = {'R', 'F', 'P', '1'};
  std::vector<uint8_t> n(24, 0);
  std::copy(name.begin(), name.end(), n.begin());
  c.insert(c.end(), n.begin(), n.end());
  const uint8_t* g = reinterpret_cast<const uint8_t*>(&gain);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&pan);
  c.insert(c.end(), g, g + 4);
  c.insert(c.end(), p, p + 4);
  return c;
}

// A canonical 44-byte PCM WAV header with any field values.
std::vector<uint8_t> WavHeader(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes) {
  std::vector<uint8_t> b;
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
  tag("RIFF");
  le(36 + dataBytes, 4);
  tag("WAVE");
  tag("fmt ");
  le(16, 4);
  le(1, 2);
  le(channels, 2);
  le(rate, 4);
  le(rate * channels * bits / 8, 4);
  le(channels * bits / 8, 2);
  le(bits, 2);
  tag("data");
  le(dataBytes, 4);
  return b;
}

class RenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device rd;
    Dir = fs::temp_directory_path() / ("talvern-render-test-" + std::to_string(rd()));
    fs::create_directories(Dir);
  }
  void TearDown() override {
    unsetenv("KESTRUNE_CONFIG_DIR");  // a test that runs the real plug-in keeps its settings in Dir
    fs::remove_all(Dir);
  }

  std::string P(const std::string& name) const { return (Dir / name).string(); }

  // Runs talvern-render with the fixture as the default plug-in. `mode` sets
  // RENDER_FIXTURE_MODE; the fixture's call log goes to Log().
  Result Run(const std::vector<std::string>& args, const std::string& mode = "") {
    std::string cmd = "KESTRUNE_PLUGIN=" + ShellQuote(FIXTURE) + " RENDER_FIXTURE_MODE=" + ShellQuote(mode) +
                      " RENDER_FIXTURE_LOG=" + ShellQuote(P("fixture.log")) + " " + ShellQuote(RENDER_EXE);
    for (const std::string& a : args) cmd += " " + ShellQuote(a);
    cmd += " >" + ShellQuote(P("stdout.txt")) + " 2>" + ShellQuote(P("stderr.txt")) + " </dev/null";
    std::error_code ec;
    fs::remove(P("fixture.log"), ec);
    int status = std::system(cmd.c_str());
    Result r;
    r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.Out = ReadText(P("stdout.txt"));
    r.Err = ReadText(P("stderr.txt"));
    fs::remove(P("stdout.txt"), ec);
    fs::remove(P("stderr.txt"), ec);
    return r;
  }

  std::vector<std::string> Log() const { return Lines(ReadText(Dir / "fixture.log")); }

  // Files in the test folder other than the ones a test made on purpose.
  std::vector<std::string> Leftovers(const std::vector<std::string>& expected) const {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(Dir)) {
      std::string n = e.path().filename().string();
      if (n != "fixture.log" && std::find(expected.begin(), expected.end(), n) == expected.end()) r.push_back(n);
    }
    return r;
  }

  // Renders `in` with `args` and returns the output. The file names carry no
  // extension that names a container, so the output keeps the input's.
  Sound Render(const Sound& in, std::vector<std::string> args, const std::string& mode = "") {
    WriteSound(P("in.audio"), in);
    std::error_code ec;
    fs::remove(P("out.audio"), ec);
    args.insert(args.begin(), {"--in", P("in.audio"), "--out", P("out.audio")});
    Result r = Run(args, mode);
    EXPECT_EQ(r.Code, 0) << r.Err;
    if (r.Code != 0) return {};
    return ReadSound(P("out.audio"));
  }

  fs::path Dir;
};

// Output = input * factor per channel, to within half a step of the output's
// sample type.
void ExpectScaled(const Sound& in, const Sound& out, float left, float right, const std::string& what) {
  const int bits = PcmBits(out.Format);
  const double tol = bits ? std::ldexp(1.0, -bits) + 1e-12 : 1e-6;
  ASSERT_EQ(out.Channels, in.Channels) << what;
  ASSERT_EQ(out.Frames(), in.Frames()) << what;
  for (size_t f = 0; f < in.Frames(); ++f)
    for (int c = 0; c < in.Channels; ++c) {
      double want = static_cast<float>(in.At(f, c)) * (c == 0 ? left : right);
      ASSERT_NEAR(out.At(f, c), want, tol) << what << ", frame " << f << ", channel " << c;
    }
}

const int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
const int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// ---------------------------------------------------------------- audio

TEST_F(RenderTest, ParametersAndProgramsShapeTheOutput) {
  struct Case {
    std::vector<std::string> Args;
    float Left, Right;
  };
  const Case cases[] = {
      {{}, 1.0f, 1.0f},  // program 0, "Unity"
      {{"--param", "Gain=0.25"}, 0.5f, 0.5f},
      {{"--param", "gain=0.75", "--param", "PAN=1"}, 0.0f, 1.5f},
      {{"--param", " Pan = 0.25"}, 1.0f, 0.5f},
      {{"--param", "Gain=0.3", "--param", "Pan=0.7"}, FixtureFactor(0.3f, 0.7f, 0), FixtureFactor(0.3f, 0.7f, 1)},
      {{"--program", "1"}, 0.5f, 0.5f},
      {{"--program", "Quiet"}, 0.5f, 0.5f},
      {{"--program", "hard LEFT"}, 1.0f, 0.0f},
      {{"--program", "2", "--param", "Gain=1"}, 2.0f, 0.0f},  // parameters apply after the program
  };
  const Sound in = Noise(kWavFloat, 44100, 2, 700, 0.5);
  for (const Case& c : cases) {
    std::string what = "args:";
    for (const auto& a : c.Args) what += " " + a;
    ExpectScaled(in, Render(in, c.Args), c.Left, c.Right, what);
  }
}

TEST_F(RenderTest, OutputKeepsTheInputsFormatAndUnchangedAudioIsBitExact) {
  const int formats[] = {kWav16,    SF_FORMAT_WAV | SF_FORMAT_PCM_24,  SF_FORMAT_WAV | SF_FORMAT_PCM_32,
                         kWavFloat, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24};
  for (int format : formats) {
    Sound in = Noise(format, 48000, 2, 600, 0.9, static_cast<unsigned>(format));
    if (PcmBits(format) && PcmBits(format) < 32) {
      // Both ends of the integer range survive unchanged.
      in.Samples[0] = -1.0;
      in.Samples[1] = 1.0 - std::ldexp(1.0, 1 - PcmBits(format));
    }
    Sound out = Render(in, {});
    EXPECT_EQ(out.Format, format) << std::hex << format;
    EXPECT_EQ(out.Rate, 48000);
    // 32-bit PCM passes a float path, so only 24 bits of it are kept.
    const double tol = PcmBits(format) == 32 ? std::ldexp(1.0, -24) : 0.0;
    ASSERT_EQ(out.Samples.size(), in.Samples.size()) << std::hex << format;
    for (size_t i = 0; i < in.Samples.size(); ++i)
      ASSERT_NEAR(out.Samples[i], in.Samples[i], tol)
          << "format " << std::hex << format << std::dec << ", sample " << i;
  }
}

TEST_F(RenderTest, OutputExtensionChoosesTheContainer) {
  const int aiff16 = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
  struct Case {
    int InFormat;
    std::string Out;
    std::vector<std::string> Extra;
    int OutFormat;  // 0: the run fails
    bool Exact;     // the samples come out unchanged
  };
  const Case cases[] = {
      {kWav16, "out.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
      {kWavFloat, "out.FLAC", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, false},  // FLAC holds no floats
      {kWav16, "out.aif", {}, aiff16, true},
      {aiff16, "out.wav", {}, kWav16, true},
      {kWav16, "out.ogg", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
      {kWav16, "out.unknown", {}, kWav16, true},
      {kWav16, "out.flac", {"--out-type", "pcm24"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
      {kWavFloat, "out.flac", {"--out-type", "float"}, 0, false},
  };
  for (const Case& c : cases) {
    const Sound in = Noise(c.InFormat, 44100, 2, 2000, 0.5);
    WriteSound(P("in.snd"), in);
    std::vector<std::string> args = {"--in", P("in.snd"), "--out", P(c.Out)};
    args.insert(args.end(), c.Extra.begin(), c.Extra.end());
    Result r = Run(args);
    if (!c.OutFormat) {
      EXPECT_EQ(r.Code, 1) << c.Out;
      EXPECT_NE(r.Err.find("talvern-render: cannot write FLAC"), std::string::npos) << r.Err;
      EXPECT_FALSE(fs::exists(Dir / c.Out));
      continue;
    }
    ASSERT_EQ(r.Code, 0) << c.Out << ": " << r.Err;
    Sound out = ReadSound(Dir / c.Out);
    EXPECT_EQ(out.Format, c.OutFormat) << c.Out << std::hex << " " << out.Format;
    ASSERT_EQ(out.Frames(), in.Frames()) << c.Out;
    if (c.Exact) {
      EXPECT_EQ(out.Samples, in.Samples) << c.Out;
    }
    fs::remove(Dir / c.Out);
  }
}

TEST_F(RenderTest, FloatOutputIsNotClippedButIntegerOutputClipsInsteadOfWrapping) {
  struct Case {
    int Format;
    std::string OutType;
    int OutFormat;
    double Expected;  // of an input sample 0.75 doubled
  };
  const Case cases[] = {
      {kWavFloat, "", kWavFloat, 1.5},
      {kWav16, "", kWav16, 32767.0 / 32768.0},
      {kWav16, "float", kWavFloat, 1.5},
      {kWavFloat, "pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 8388607.0 / 8388608.0},
  };
  for (const Case& c : cases) {
    Sound in{c.Format, 44100, 1, std::vector<double>(64, 0.75)};
    in.Samples[1] = -0.75;
    std::vector<std::string> args = {"--param", "Gain=1"};
    if (!c.OutType.empty()) args.insert(args.end(), {"--out-type", c.OutType});
    Sound out = Render(in, args);
    EXPECT_EQ(out.Format, c.OutFormat) << c.OutType;
    ASSERT_EQ(out.Samples.size(), 64u);
    EXPECT_EQ(out.Samples[0], c.Expected) << std::hex << c.Format << " " << c.OutType;
    EXPECT_EQ(out.Samples[1], c.OutFormat == kWavFloat ? -1.5 : -1.0) << std::hex << c.Format << " " << c.OutType;
  }
}

TEST_F(RenderTest, MonoFileFeedsBothInputsAndKeepsTheFirstOutput) {
  struct Case {
    std::vector<std::string> Args;
    std::string Mode;
    float Factor;
  };
  const Case cases[] = {
      {{"--param", "Gain=0.25"}, "", 0.5f},
      {{"--program", "Hard Left"}, "", 1.0f},
      {{"--param", "Pan=1"}, "", 0.0f},          // left output silent: the right one is not used
      {{"--param", "Gain=0.75"}, "mono", 1.5f},  // a one-input plug-in
  };
  const Sound in = Noise(kWav16, 22050, 1, 500, 0.4);
  for (const Case& c : cases) {
    Sound out = Render(in, c.Args, c.Mode);
    EXPECT_EQ(out.Format, kWav16);
    ExpectScaled(in, out, c.Factor, c.Factor, c.Mode + " " + c.Args.back());
  }
}

// The real plug-in pans only in stereo: a mono file with the pan curve full
// right must come out of its mono path (both inputs the same buffer), not as
// the silent left half of a stereo render.
TEST_F(RenderTest, MonoFileRunsTheRealPlugInsMonoPath) {
  setenv("KESTRUNE_CONFIG_DIR", P("config").c_str(), 1);
  Result saved = Run({"--plugin", TALVERN, "--save-fxp", P("plain.fxp")});
  ASSERT_EQ(saved.Code, 0) << saved.Err;
  const std::vector<uint8_t> plain = ReadBytes(Dir / "plain.fxp");
  ASSERT_GT(plain.size(), 60u);
  TPresetObject program;
  ASSERT_TRUE(program.ReadChunk(plain.data() + 60, plain.size() - 60));
  const TEnvelopePoint fullRight[2] = {{0, 0}, {1, 0}};
  program.SetBlock("_EnvPoints", ekPan, fullRight, sizeof fullRight);
  program.SetInteger("_Ordering", 2, scPan);
  uint32_t length = 0;
  uint8_t* chunk = program.WriteChunk(length);
  ASSERT_NE(chunk, nullptr);
  WriteBytes(Dir / "right.fxp",
             PresetBytes("FPCh", "KsEf", GetBE(plain, 24), "Right", std::vector<uint8_t>(chunk, chunk + length)));
  FreeChunk(chunk);

  auto rms = [](const Sound& s, int channel) {
    double sum = 0;
    for (size_t f = 0; f < s.Frames(); ++f) sum += s.At(f, channel) * s.At(f, channel);
    return s.Frames() ? std::sqrt(sum / static_cast<double>(s.Frames())) : 0.0;
  };
  const Sound mono = Noise(kWavFloat, 44100, 1, 8192, 0.3);
  Sound twin = mono;  // the same signal as a stereo file
  twin.Channels = 2;
  twin.Samples.clear();
  for (double x : mono.Samples) twin.Samples.insert(twin.Samples.end(), {x, x});

  const Sound stereoOut = Render(twin, {"--plugin", TALVERN, "--fxp", P("right.fxp")});
  ASSERT_EQ(stereoOut.Channels, 2);
  EXPECT_LT(rms(stereoOut, 0), 1e-3 * rms(twin, 0));  // the program does pan full right
  EXPECT_GT(rms(stereoOut, 1), 0.5 * rms(twin, 1));

  const Sound panned = Render(mono, {"--plugin", TALVERN, "--fxp", P("right.fxp")});
  const Sound centred = Render(mono, {"--plugin", TALVERN, "--fxp", P("plain.fxp")});
  ASSERT_EQ(panned.Frames(), mono.Frames());
  ASSERT_EQ(centred.Frames(), mono.Frames());
  EXPECT_GT(rms(panned, 0), 0.5 * rms(mono, 0));
  for (size_t f = 0; f < mono.Frames(); ++f) ASSERT_NEAR(panned.Samples[f], centred.Samples[f], 1e-6) << "frame " << f;
  unsetenv("KESTRUNE_CONFIG_DIR");
}

TEST_F(RenderTest, BlockSizesGiveIdenticalOutputAndTheHostCallsRunInDawOrder) {
  const size_t frames = 1000;
  const Sound in = Noise(kWavFloat, 48000, 2, frames, 0.5);
  std::vector<double> first;
  for (int block : {1, 127, 512, 4096}) {
    Sound out = Render(in, {"--block", std::to_string(block), "--param", "Gain=0.3", "--param", "Pan=0.6"});
    ExpectScaled(in, out, FixtureFactor(0.3f, 0.6f, 0), FixtureFactor(0.3f, 0.6f, 1), "block " + std::to_string(block));
    if (first.empty()) first = out.Samples;
    EXPECT_EQ(out.Samples, first) << "block " << block;

    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 8u);
    const std::vector<std::string> start = {"open", "rate 48000", "block " + std::to_string(block), "mains 1"};
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4), start);
    EXPECT_EQ(log[log.size() - 2], "mains 0");
    EXPECT_EQ(log.back(), "close");
    // Full blocks, the last one shorter, and nothing processed twice.
    std::vector<int> sizes;
    for (const std::string& l : log)
      if (l.rfind("replacing ", 0) == 0) sizes.push_back(std::stoi(l.substr(10)));
    size_t full = frames / static_cast<size_t>(block), rest = frames % static_cast<size_t>(block);
    ASSERT_EQ(sizes.size(), full + (rest ? 1 : 0)) << "block " << block;
    for (size_t i = 0; i < full; ++i) EXPECT_EQ(sizes[i], block) << "call " << i;
    if (rest) {
      EXPECT_EQ(sizes.back(), static_cast<int>(rest));
    }
  }
}

TEST_F(RenderTest, PlugInWithoutReplacingGetsClearedOutputsForProcess) {
  const Sound in = Noise(kWavFloat, 44100, 2, 300, 0.5);
  Sound out = Render(in, {"--block", "64", "--param", "Gain=0.25"}, "accumulate");
  ExpectScaled(in, out, 0.5f, 0.5f, "accumulate");
  std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "process 64"), 4);
  EXPECT_EQ(std::count(log.begin(), log.end(), "process 44"), 1);
}

TEST_F(RenderTest, EmptyInputGivesAnEmptyOutputOfTheSameFormat) {
  Sound in{kWav16, 44100, 2, {}};
  Sound out = Render(in, {});
  EXPECT_EQ(out.Format, kWav16);
  EXPECT_EQ(out.Channels, 2);
  EXPECT_EQ(out.Frames(), 0u);
}

TEST_F(RenderTest, ReportsTheRealTimeFactor) {
  WriteSound(P("in.wav"), Noise(kWavFloat, 44100, 2, 44100, 0.5));
  Result r = Run({"--in", P("in.wav"), "--out", P("out.wav")});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("rendered 1.000 s of audio in "), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("real-time factor "), std::string::npos) << r.Out;
  EXPECT_EQ(r.Err, "");  // no progress bar when stderr is not a terminal
}

// ---------------------------------------------------------------- program and bank files

TEST_F(RenderTest, ProgramFileRoundTripAndLayout) {
  const Sound in = Noise(kWavFloat, 44100, 2, 400, 0.5);
  Sound first = Render(in, {"--param", "Gain=0.3", "--param", "Pan=0.2", "--save-fxp", P("p.fxp")});
  Sound second = Render(in, {"--fxp", P("p.fxp")});
  ExpectScaled(in, first, FixtureFactor(0.3f, 0.2f, 0), FixtureFactor(0.3f, 0.2f, 1), "first run");
  EXPECT_EQ(second.Samples, first.Samples);
  std::vector<std::string> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "setchunk 1 36 -> 1"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "name Unity"), log.end());

  const std::vector<uint8_t> b = ReadBytes(Dir / "p.fxp");
  ASSERT_EQ(b.size(), 60u + 36u);
  EXPECT_EQ(GetBE(b, 0), Tag("CcnK"));
  EXPECT_EQ(GetBE(b, 4), b.size() - 8);
  EXPECT_EQ(GetBE(b, 8), Tag("FPCh"));
  EXPECT_EQ(GetBE(b, 12), 1u);
  EXPECT_EQ(GetBE(b, 16), Tag("RfxT"));
  EXPECT_EQ(GetBE(b, 20), 3u);  // the plug-in's version
  EXPECT_EQ(GetBE(b, 24), 2u);  // parameters
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[28])), "Unity");
  EXPECT_TRUE(std::all_of(b.begin() + 28 + 5, b.begin() + 56, [](uint8_t x) { return x == 0; }));
  EXPECT_EQ(GetBE(b, 56), 36u);
  EXPECT_EQ(std::string(b.begin() + 60, b.begin() + 64), "RFP1");
}

TEST_F(RenderTest, BankFileRoundTripAndLayout) {
  const Sound in = Noise(kWav16, 44100, 2, 400, 0.5);
  Sound first = Render(in, {"--program", "2", "--param", "Gain=0.4", "--save-fxb", P("b.fxb")});
  ExpectScaled(in, first, FixtureFactor(0.4f, 0.0f, 0), 0.0f, "first run");
  // The bank brings back the current program and its changed gain.
  Sound second = Render(in, {"--fxb", P("b.fxb")});
  EXPECT_EQ(second.Samples, first.Samples);
  // A program chosen after the bank comes from the loaded bank.
  Sound third = Render(in, {"--fxb", P("b.fxb"), "--program", "Quiet"});
  ExpectScaled(in, third, 0.5f, 0.5f, "program after bank");

  const std::vector<uint8_t> b = ReadBytes(Dir / "b.fxb");
  const size_t chunk = 4 + 4 + 3 * 32;
  ASSERT_EQ(b.size(), 160u + chunk);
  EXPECT_EQ(GetBE(b, 0), Tag("CcnK"));
  EXPECT_EQ(GetBE(b, 4), b.size() - 8);
  EXPECT_EQ(GetBE(b, 8), Tag("FBCh"));
  EXPECT_EQ(GetBE(b, 12), 1u);
  EXPECT_EQ(GetBE(b, 16), Tag("RfxT"));
  EXPECT_EQ(GetBE(b, 24), 3u);  // programs
  EXPECT_TRUE(std::all_of(b.begin() + 28, b.begin() + 156, [](uint8_t x) { return x == 0; }));
  EXPECT_EQ(GetBE(b, 156), chunk);
  EXPECT_EQ(std::string(b.begin() + 160, b.begin() + 164), "RFB1");
}

TEST_F(RenderTest, HandMadeProgramFileSetsItsChunkAndName) {
  const Sound in = Noise(kWavFloat, 44100, 2, 200, 0.5);
  // Any version values are accepted; the name fills all 28 bytes of its field.
  std::vector<uint8_t> fxp =
      PresetBytes("FPCh", "RfxT", 2, "Twenty-Eight Characters Long", FixtureProgramChunk("Inside", 0.125f, 0.5f));
  fxp[15] = 9;
  fxp[23] = 42;
  WriteBytes(Dir / "hand.fxp", fxp);
  Sound out = Render(in, {"--fxp", P("hand.fxp")});
  ExpectScaled(in, out, 0.25f, 0.25f, "hand-made fxp");
  std::vector<std::string> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "setchunk 1 36 -> 1"), log.end());
  // All 28 characters of the unterminated field reach the plug-in.
  EXPECT_NE(std::find(log.begin(), log.end(), "name Twenty-Eight Characters Long"), log.end())
      << ReadText(Dir / "fixture.log");
}

// Files the plug-ins' own loaders take, though their headers are loose: the
// byte size field is not used, and an identifier starting with a zero byte
// matches any plug-in.
TEST_F(RenderTest, LooseHeadersArePassedToThePlugIn) {
  ASSERT_EQ(Run({"--param", "Gain=0.25", "--save-fxp", P("quiet.fxp"), "--save-fxb", P("quiet.fxb")}).Code, 0);
  const std::vector<uint8_t> program = ReadBytes(Dir / "quiet.fxp"), bank = ReadBytes(Dir / "quiet.fxb");
  struct Case {
    const char* what;
    size_t at;  // the header field changed
    uint32_t value;
  } cases[] = {
      {"all-zero identifier", 16, 0},
      {"identifier starting with zero", 16, 0x00664566},
      {"byte size beyond the file", 4, 0x7FFFFFFF},
      {"byte size 0", 4, 0},
  };
  const Sound in = Noise(kWavFloat, 44100, 2, 300, 0.5);
  for (const Case& c : cases) {
    for (bool isBank : {false, true}) {
      std::vector<uint8_t> b = isBank ? bank : program;
      for (int i = 0; i < 4; ++i) b[c.at + static_cast<size_t>(i)] = static_cast<uint8_t>(c.value >> (24 - 8 * i));
      WriteBytes(Dir / "loose", b);
      Sound out = Render(in, {isBank ? "--fxb" : "--fxp", P("loose")});
      ExpectScaled(in, out, 0.5f, 0.5f, std::string(c.what) + (isBank ? " (bank)" : " (program)"));
    }
  }
}

TEST_F(RenderTest, StateOnlyRunConvertsBetweenProgramAndBankFiles) {
  Result r = Run({"--program", "Quiet", "--param", "Pan=0", "--save-fxp", P("q.fxp"), "--save-fxb", P("q.fxb")});
  ASSERT_EQ(r.Code, 0) << r.Err;
  const Sound in = Noise(kWavFloat, 44100, 2, 200, 0.5);
  ExpectScaled(in, Render(in, {"--fxp", P("q.fxp")}), 0.5f, 0.0f, "program file");
  ExpectScaled(in, Render(in, {"--fxb", P("q.fxb")}), 0.5f, 0.0f, "bank file");
}

// ---------------------------------------------------------------- failures

TEST_F(RenderTest, FailuresGiveOneClearLineAndTheirExitCode) {
  WriteSound(P("stereo.wav"), Noise(kWav16, 44100, 2, 100, 0.5));
  WriteSound(P("three.wav"), Noise(kWav16, 44100, 3, 100, 0.5));
  WriteBytes(Dir / "text.wav", std::vector<uint8_t>(200, 'x'));
  {
    std::vector<uint8_t> full = ReadBytes(Dir / "stereo.wav");
    WriteBytes(Dir / "cut-header.wav", std::vector<uint8_t>(full.begin(), full.begin() + 30));
    std::vector<uint8_t> zero = WavHeader(0, 44100, 16, 400);
    zero.resize(zero.size() + 400);
    WriteBytes(Dir / "zero-channels.wav", zero);
    std::vector<uint8_t> rate = WavHeader(2, 0, 16, 400);
    rate.resize(rate.size() + 400);
    WriteBytes(Dir / "zero-rate.wav", rate);
    std::vector<uint8_t> cut = WavHeader(2, 44100, 16, 400);
    cut.resize(cut.size() + 300);
    WriteBytes(Dir / "cut-data.wav", cut);
  }
  const std::vector<uint8_t> good = FixtureProgramChunk("Good", 0.5f, 0.5f);
  auto fxp = [&](const std::string& name, std::vector<uint8_t> b) { WriteBytes(Dir / name, b); };
  fxp("bad-magic.fxp", [&] {
    auto b = PresetBytes("FPCh", "RfxT", 2, "x", good);
    b[0] = 'X';
    return b;
  }());
  fxp("bank-as-program.fxp", PresetBytes("FBCh", "RfxT", 3, "", good));
  fxp("params.fxp", PresetBytes("FxCk", "RfxT", 2, "x", good));
  fxp("other-id.fxp", PresetBytes("FPCh", "Othr", 2, "x", good));
  fxp("long-chunk.fxp", [&] {
    auto b = PresetBytes("FPCh", "RfxT", 2, "x", good);
    b[59] += 1;
    return b;
  }());
  fxp("huge-chunk.fxp", [&] {
    auto b = PresetBytes("FPCh", "RfxT", 2, "x", good);
    for (int i = 56; i < 60; ++i) b[static_cast<size_t>(i)] = 0xFF;
    return b;
  }());
  fxp("cut-header.fxp", [&] {
    auto b = PresetBytes("FPCh", "RfxT", 2, "x", good);
    b.resize(40);
    return b;
  }());
  fxp("empty.fxp", {});
  fs::create_directories(Dir / "folder");
  fxp("rejected.fxp", PresetBytes("FPCh", "RfxT", 2, "x", std::vector<uint8_t>(36, 'X')));
  fxp("no-chunk.fxp", PresetBytes("FPCh", "RfxT", 2, "x", {}));
  fxp("good.fxp", PresetBytes("FPCh", "RfxT", 2, "x", good));
  fxp("rejected.fxb", PresetBytes("FBCh", "RfxT", 3, "", good));
  fxp("program-as-bank.fxb", PresetBytes("FPCh", "RfxT", 2, "x", good));
  fxp("cut.fxb", [&] {
    auto b = PresetBytes("FBCh", "RfxT", 3, "", good);
    b.resize(150);
    return b;
  }());

  struct Case {
    std::vector<std::string> Args;  // "@IN" is replaced by the input, "@" + name by a file of the folder
    std::string Mode;
    int Code;
    std::string Message;  // expected in the line
  };
  const std::string missing = P("missing.wav");
  const Case cases[] = {
      // input files
      {{"--in", "@missing.wav"}, "", 1, "cannot read " + missing},
      {{"--in", "@text.wav"}, "", 1, "cannot read"},
      {{"--in", "@three.wav"}, "", 1, "has 3 channels; only mono and stereo files are supported"},
      {{"--in", "@cut-header.wav"}, "", 1, "cut-header.wav"},
      {{"--in", "@zero-channels.wav"}, "", 1, "zero-channels.wav"},
      {{"--in", "@zero-rate.wav"}, "", 1, "zero-rate.wav"},
      {{"--in", "@cut-data.wav"},
       "",
       1,
       "cut-data.wav is truncated: its header declares 400 bytes of audio data, the file holds 300"},
      // plug-ins
      {{"--plugin", "@missing.so"}, "", 1, "cannot load " + P("missing.so")},
      {{"--plugin", "@text.wav"}, "", 1, "cannot load"},
      {{}, "nil", 1, "the plug-in's entry returned no effect"},
      {{}, "badmagic", 1, "not a VST 2.x effect record"},  // and nothing in it is called
      {{}, "mono", 1, "has 1 input; " + P("stereo.wav") + " has 2 channels"},
      // programs and parameters
      {{"--program", "Loud"}, "", 1, "no program named \"Loud\""},
      {{"--program", "3"}, "", 1, "program 3 does not exist (the plug-in has 3 programs, from 0)"},
      {{"--program", "99999999999999999999"}, "", 1, "does not exist"},
      {{"--param", "Volume=0.5"}, "", 1, "no parameter named \"Volume\""},
      {{"--param", "Gain=1.5"}, "", 2, "Gain: the value must be a number from 0 to 1, not \"1.5\""},
      {{"--param", "Gain=-0.1"}, "", 2, "must be a number from 0 to 1"},
      {{"--param", "Gain=abc"}, "", 2, "must be a number from 0 to 1"},
      {{"--param", "Gain=nan"}, "", 2, "must be a number from 0 to 1"},
      {{"--param", "Gain="}, "", 2, "must be a number from 0 to 1"},
      {{"--param", "Gain"}, "", 2, "--param takes NAME=VALUE"},
      // other options
      {{"--block", "0"}, "", 2, "--block takes a frame count from 1 to"},
      {{"--block", "12x"}, "", 2, "--block takes a frame count"},
      {{"--block", "-5"}, "", 2, "--block takes a frame count"},
      {{"--out-type", "pcm12"}, "", 2, "--out-type takes"},
      {{"--frobnicate"}, "", 2, "unknown option \"--frobnicate\""},
      {{"--block"}, "", 2, "missing value for --block"},
      // program and bank files
      {{"--fxp", "@missing.fxp"}, "", 1, "cannot open " + P("missing.fxp")},
      {{"--fxp", "@bad-magic.fxp"}, "", 1, "not a program file (no CcnK magic)"},
      {{"--fxp", "@bank-as-program.fxp"}, "", 1, "a bank file, not a program file"},
      {{"--fxp", "@params.fxp"}, "", 1, "only chunk files"},
      {{"--fxp", "@other-id.fxp"}, "", 1, "program file is for plug-in Othr, not RfxT"},
      {{"--fxp", "@long-chunk.fxp"}, "", 1, "truncated program file (chunk size 37 but only 36 bytes follow)"},
      {{"--fxp", "@huge-chunk.fxp"}, "", 1, "truncated program file (chunk size 4294967295"},
      {{"--fxp", "@cut-header.fxp"}, "", 1, "truncated program file (header needs 60 bytes, file has 40)"},
      {{"--fxp", "@empty.fxp"}, "", 1, "not a program file"},
      {{"--fxp", "@rejected.fxp"}, "", 1, "the plug-in rejected the program file"},
      {{"--fxp", "@no-chunk.fxp"}, "", 1, "the program file holds no chunk"},
      {{"--fxp", "@good.fxp"}, "nochunks", 1, "does not keep its state as chunks"},
      {{"--save-fxb", "@x.fxb"}, "nochunks", 1, "does not keep its state as chunks"},
      {{"--fxb", "@rejected.fxb"}, "", 1, "the plug-in rejected the bank file"},
      {{"--fxb", "@program-as-bank.fxb"}, "", 1, "a program file, not a bank file"},
      {{"--fxb", "@cut.fxb"}, "", 1, "truncated bank file (header needs 160 bytes, file has 150)"},
      // output targets
      {{"--save-fxb", "@folder"}, "", 1, "cannot write " + P("folder") + ": it is a folder"},
      {{"--save-fxp", "@no-folder/x.fxp"}, "", 1, "cannot write " + P("no-folder/x.fxp") + ": no folder"},
      {{"--save-fxp", "@out.wav"}, "", 1, P("out.wav") + " is named for two outputs"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--in", P("stereo.wav"), "--out", P("out.wav")};
    for (const std::string& a : c.Args) args.push_back(a[0] == '@' ? P(a.substr(1)) : a);
    std::string what;
    for (const std::string& a : c.Args) what += " " + a;
    what += c.Mode.empty() ? "" : " (mode " + c.Mode + ")";
    Result r = Run(args, c.Mode);
    EXPECT_EQ(r.Code, c.Code) << what << "\n" << r.Err;
    std::vector<std::string> lines = Lines(r.Err);
    ASSERT_EQ(lines.size(), 1u) << what << "\n" << r.Err;
    EXPECT_EQ(lines[0].rfind("talvern-render: ", 0), 0u) << what << "\n" << r.Err;
    EXPECT_NE(lines[0].find(c.Message), std::string::npos) << what << "\n" << r.Err;
    EXPECT_FALSE(fs::exists(Dir / "out.wav")) << what;
    EXPECT_FALSE(fs::exists(Dir / "x.fxb")) << what;
  }
}

TEST_F(RenderTest, CommandLineShapeErrors) {
  const struct {
    std::vector<std::string> Args;
    std::string Message;
  } cases[] = {
      {{"--in", "a.wav"}, "--in and --out go together"},
      {{"--out", "b.wav"}, "--in and --out go together"},
      {{"--program", "1"}, "nothing to do"},
      {{"--out-type", "float", "--save-fxp", "x.fxp"}, "--out-type needs --in and --out"},
      {{"--info", "a", "b"}, "--info takes at most one plug-in path"},
  };
  for (const auto& c : cases) {
    Result r = Run(c.Args);
    EXPECT_EQ(r.Code, 2) << c.Message;
    EXPECT_NE(r.Err.find("talvern-render: " + c.Message), std::string::npos) << r.Err;
  }
  Result none = Run({});
  EXPECT_EQ(none.Code, 2);
  EXPECT_NE(none.Err.find("usage:"), std::string::npos);
  Result help = Run({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_NE(help.Out.find("normalized host value from 0 to 1"), std::string::npos) << help.Out;
}

TEST_F(RenderTest, FailedRunLeavesExistingOutputsUntouched) {
  const Sound in = Noise(kWav16, 44100, 2, 3000, 0.5);
  WriteSound(P("in.wav"), in);
  {
    // Data chunk cut short: the header promises more frames than there are.
    std::vector<uint8_t> full = ReadBytes(Dir / "in.wav");
    WriteBytes(Dir / "cut-data.wav", std::vector<uint8_t>(full.begin(), full.end() - 2000));
  }
  WriteBytes(Dir / "rejected.fxp", PresetBytes("FPCh", "RfxT", 2, "x", std::vector<uint8_t>(36, 'X')));
  const std::vector<uint8_t> precious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
  const struct {
    std::vector<std::string> Args;
    std::string Mode;
  } cases[] = {
      {{"--in", P("cut-data.wav")}, ""},
      {{"--fxp", P("rejected.fxp")}, ""},
      {{"--program", "Loud"}, ""},
      {{"--param", "Volume=1"}, ""},
      {{}, "nil"},
      {{"--save-fxb", P("folder")}, ""},  // a target that cannot be written
  };
  fs::create_directories(Dir / "folder");
  const std::vector<std::string> files = {"in.wav",   "cut-data.wav", "rejected.fxp", "out.wav",
                                          "keep.fxp", "keep.fxb",     "folder"};
  for (const auto& c : cases) {
    WriteBytes(Dir / "out.wav", precious);
    WriteBytes(Dir / "keep.fxp", precious);
    WriteBytes(Dir / "keep.fxb", precious);
    std::vector<std::string> args = {"--in",       P("in.wav"),   "--out",      P("out.wav"),
                                     "--save-fxp", P("keep.fxp"), "--save-fxb", P("keep.fxb")};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    Result r = Run(args, c.Mode);
    EXPECT_NE(r.Code, 0) << c.Args.size();
    EXPECT_EQ(ReadBytes(Dir / "out.wav"), precious) << r.Err;
    EXPECT_EQ(ReadBytes(Dir / "keep.fxp"), precious) << r.Err;
    EXPECT_EQ(ReadBytes(Dir / "keep.fxb"), precious) << r.Err;
    EXPECT_EQ(Leftovers(files), std::vector<std::string>()) << r.Err;
  }
  {
    // Without audio as well: the program file is not replaced when the bank
    // file cannot be written.
    WriteBytes(Dir / "keep.fxp", precious);
    Result r = Run({"--save-fxp", P("keep.fxp"), "--save-fxb", P("folder")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Err, "talvern-render: cannot write " + P("folder") + ": it is a folder\n");
    EXPECT_EQ(ReadBytes(Dir / "keep.fxp"), precious);
    EXPECT_EQ(Leftovers(files), std::vector<std::string>()) << r.Err;
  }
  // A run that succeeds replaces all three and leaves no temporary file.
  Result ok =
      Run({"--in", P("in.wav"), "--out", P("out.wav"), "--save-fxp", P("keep.fxp"), "--save-fxb", P("keep.fxb")});
  ASSERT_EQ(ok.Code, 0) << ok.Err;
  EXPECT_EQ(ReadSound(Dir / "out.wav").Samples, in.Samples);
  EXPECT_EQ(GetBE(ReadBytes(Dir / "keep.fxp"), 8), Tag("FPCh"));
  EXPECT_EQ(GetBE(ReadBytes(Dir / "keep.fxb"), 8), Tag("FBCh"));
  EXPECT_EQ(Leftovers(files), std::vector<std::string>());
}

TEST_F(RenderTest, InfoDescribesAnyPlugIn) {
  Result r = Run({"--info", FIXTURE});
  ASSERT_EQ(r.Code, 0) << r.Err;
  for (const char* line : {"product:    Render Fixture", "vendor:     Kestrune Tests", "unique id:  RfxT",
                           "version:    3 (vendor version 7)", "channels:   2 in, 2 out", "parameters: 2",
                           "programs:   3", "   2  Hard Left"})
    EXPECT_NE(r.Out.find(line), std::string::npos) << line << "\n" << r.Out;
  Result nil = Run({"--info", FIXTURE}, "nil");
  EXPECT_EQ(nil.Code, 1);
  EXPECT_NE(nil.Err.find("the plug-in's entry returned no effect"), std::string::npos) << nil.Err;
}

}  // namespace
