// talvern-render: a small command-line VST 2.x host. It loads a plug-in
// binary (ours by default, any VST 2.x plug-in by path), renders an audio
// file through it like a DAW would, and loads and saves program and bank
// files. See Usage() for the command line.
//
// Errors are one line on stderr beginning "talvern-render: "; the exit code
// is 2 for a bad command line and 1 for every other failure. Outputs (audio,
// program and bank files) are written to temporary files beside their targets
// and renamed over them only when the whole run has succeeded (all of them,
// or none: see hostkit::CommitAll), so a failed run leaves existing files as
// they were. Every target is checked before any work is done.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "hostkit/FileUtil.h"
#include "hostkit/Host.h"
#include "hostkit/PluginLibrary.h"
#include "hostkit/PresetFile.h"

#if defined(KES_HAVE_SNDFILE)
#include "apps/SoundFile.h"
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultBlock = 512;
constexpr int kMaxBlock = 1 << 20;
constexpr size_t kMaxPresetFileBytes = size_t{256} << 20;
constexpr int kMaxSampleRate = 10'000'000;
constexpr int64_t kMaxFrames = int64_t{1} << 40;  // far beyond any real file
constexpr size_t kTextCapacity = 256;             // host buffer for plug-in texts
constexpr float kStateOnlySampleRate = 44100.0f;

// A failure that ends the run with a message and an exit code.
struct RunError {
  std::string Message;
  int Code = kExitFailure;
};

[[noreturn]] void Fail(const std::string& message, int code = kExitFailure) { throw RunError{message, code}; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

bool ParseInt(const std::string& s, long long& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtoll(s.c_str(), &end, 10);
  return errno == 0 && end && *end == 0 && !std::isspace(static_cast<unsigned char>(s[0]));
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ---------------------------------------------------------------- options

struct ParamSetting {
  std::string Name;
  float Value = 0;
};

struct Options {
  std::string Plugin;
  std::string In, Out;
  std::string Program;
  bool HasProgram = false;
  std::string Fxp, Fxb, SaveFxp, SaveFxb;
  std::vector<ParamSetting> Params;
  int Block = kDefaultBlock;
  std::string OutType;
};

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: talvern-render [--plugin PATH] --in IN --out OUT [options]\n"
               "       talvern-render [--plugin PATH] [--fxb FILE] [--program N|NAME] [--fxp FILE]\n"
               "                      [--param NAME=VALUE ...] (--save-fxp FILE | --save-fxb FILE)\n"
               "       talvern-render --info [PLUGIN]\n"
               "\n"
               "Renders IN through a VST 2.x plug-in into OUT, in IN's format and sample type\n"
               "(or the container OUT's extension names, e.g. .flac, .aiff, .ogg).\n"
               "Mono and stereo files; a mono file is given to a stereo plug-in as the same\n"
               "buffer for both inputs (the plug-in's mono processing), and OUT gets the\n"
               "plug-in's first output.\n"
               "\n"
               "  --plugin PATH       the plug-in library (default: Talvern next to this program,\n"
               "                      or $KESTRUNE_PLUGIN)\n"
               "  --in IN, --out OUT  audio files (any format libsndfile reads and writes)\n"
               "  --out-type TYPE     write OUT as pcm16, pcm24, pcm32, float or double instead\n"
               "  --block N           processing block size in frames, 1..%d (default %d)\n"
               "  --fxb FILE          load a bank file (chunk variant) into the plug-in\n"
               "  --program N|NAME    select a program by index (from 0) or by name (exact,\n"
               "                      else ignoring case)\n"
               "  --fxp FILE          load a program file (chunk variant) into the current program\n"
               "  --param NAME=VALUE  set a parameter, NAME as the plug-in names it (ignoring\n"
               "                      case), VALUE the normalized host value from 0 to 1\n"
               "  --save-fxp FILE     save the current program as a program file\n"
               "  --save-fxb FILE     save all programs as a bank file\n"
               "  --info [PLUGIN]     describe the plug-in: IDs, channels, parameters, programs\n"
               "\n"
               "Settings apply in this order: bank, program, program file, parameters. Which\n"
               "program is current after a bank has been loaded is up to the plug-in; add\n"
               "--program to be sure.\n"
               "The saved files hold the state the audio was rendered with (taken after the\n"
               "settings, before processing). Outputs replace existing files only when the\n"
               "whole run succeeds. The real-time factor (audio seconds per wall-clock second)\n"
               "is printed at the end.\n",
               kMaxBlock, kDefaultBlock);
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) Fail("missing value for " + a, kExitUsage);
      return args[++i];
    };
    if (a == "--plugin")
      o.Plugin = value();
    else if (a == "--in")
      o.In = value();
    else if (a == "--out")
      o.Out = value();
    else if (a == "--fxp")
      o.Fxp = value();
    else if (a == "--fxb")
      o.Fxb = value();
    else if (a == "--save-fxp")
      o.SaveFxp = value();
    else if (a == "--save-fxb")
      o.SaveFxb = value();
    else if (a == "--out-type")
      o.OutType = value();
    else if (a == "--program") {
      o.Program = value();
      o.HasProgram = true;
    } else if (a == "--block") {
      const std::string& v = value();
      long long n = 0;
      if (!ParseInt(v, n) || n < 1 || n > kMaxBlock)
        Fail("--block takes a frame count from 1 to " + std::to_string(kMaxBlock) + ", not " + Quote(v), kExitUsage);
      o.Block = static_cast<int>(n);
    } else if (a == "--param") {
      const std::string& v = value();
      size_t eq = v.rfind('=');
      if (eq == std::string::npos || Trim(v.substr(0, eq)).empty())
        Fail("--param takes NAME=VALUE, not " + Quote(v), kExitUsage);
      std::string num = Trim(v.substr(eq + 1));
      char* end = nullptr;
      double d = num.empty() ? std::numeric_limits<double>::quiet_NaN() : std::strtod(num.c_str(), &end);
      if (num.empty() || !end || *end != 0 || !std::isfinite(d) || d < 0.0 || d > 1.0)
        Fail("--param " + Trim(v.substr(0, eq)) + ": the value must be a number from 0 to 1, not " + Quote(num),
             kExitUsage);
      o.Params.push_back({Trim(v.substr(0, eq)), static_cast<float>(d)});
    } else {
      Fail("unknown option " + Quote(a) + " (see --help)", kExitUsage);
    }
  }
  if (o.In.empty() != o.Out.empty()) Fail("--in and --out go together", kExitUsage);
  if (o.In.empty() && o.SaveFxp.empty() && o.SaveFxb.empty())
    Fail("nothing to do: give --in and --out, or --save-fxp / --save-fxb (see --help)", kExitUsage);
  if (!o.OutType.empty() && o.In.empty()) Fail("--out-type needs --in and --out", kExitUsage);
  if (o.Plugin.empty()) o.Plugin = hostkit::DefaultPluginPath();
  return o;
}

// ---------------------------------------------------------------- plug-in

// One loaded and opened plug-in instance, suspended and closed on every path.
class Session {
public:
  ~Session() { Stop(); }

  void Load(const std::string& path) {
    FPath = path;
    if (!FLib.Load(path)) Fail(FLib.Error());
    FHost.RecordCalls = false;
    FEffect = FHost.Instantiate(FLib.Entry());
    if (!FEffect) Fail(path + ": the plug-in's entry returned no effect");
    if (FEffect->magic != kEffectMagic) {
      FHost.Detach();  // nothing in it can be called
      Fail(path + ": not a VST 2.x effect record");
    }
  }

  void Start(float sampleRate, int block) {
    FHost.Answers.SampleRate = static_cast<VstIntPtr>(sampleRate);
    FHost.Answers.BlockSize = block;
    FHost.Start(sampleRate, block);
    FStarted = true;
  }

  void Stop() {
    if (FStarted) FHost.Dispatch(effMainsChanged, 0, 0);
    FStarted = false;
    FHost.Close();
  }

  AEffect* Effect() const { return FEffect; }
  hostkit::Host& Host() { return FHost; }
  const std::string& Path() const { return FPath; }
  std::string Text(VstInt32 opcode, VstInt32 index, VstIntPtr value = 0) {
    return FHost.Text(opcode, index, kTextCapacity, value);
  }

private:
  hostkit::PluginLibrary FLib;  // declared first: outlives the instance
  hostkit::Host FHost;
  AEffect* FEffect = nullptr;
  bool FStarted = false;
  std::string FPath;
};

std::string ProgramNameAt(Session& s, int index) {
  std::string name = s.Text(effGetProgramNameIndexed, index, -1);
  if (!name.empty()) return name;
  // Plug-ins without indexed names: select the program and ask its name.
  VstIntPtr current = s.Host().Dispatch(effGetProgram);
  s.Host().Dispatch(effSetProgram, 0, index);
  name = s.Text(effGetProgramName, 0);
  s.Host().Dispatch(effSetProgram, 0, current);
  return name;
}

void SelectProgram(Session& s, const std::string& which) {
  const int count = s.Effect()->numPrograms;
  int index = -1;
  if (AllDigits(which)) {
    long long n = 0;
    if (!ParseInt(which, n) || n >= count)
      Fail("program " + which + " does not exist (the plug-in has " + std::to_string(count) + " programs, from 0)");
    index = static_cast<int>(n);
  } else {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(ProgramNameAt(s, i));
    for (int i = 0; i < count && index < 0; ++i)
      if (names[static_cast<size_t>(i)] == which) index = i;
    for (int i = 0; i < count && index < 0; ++i)
      if (Lower(Trim(names[static_cast<size_t>(i)])) == Lower(Trim(which))) index = i;
    if (index < 0) Fail("no program named " + Quote(which));
  }
  s.Host().Dispatch(effSetProgram, 0, index);
}

void SetParameters(Session& s, const std::vector<ParamSetting>& params) {
  std::vector<std::string> names;
  for (int i = 0; i < s.Effect()->numParams; ++i) names.push_back(Lower(Trim(s.Text(effGetParamName, i))));
  for (const ParamSetting& p : params) {
    auto it = std::find(names.begin(), names.end(), Lower(p.Name));
    if (it == names.end()) Fail("no parameter named " + Quote(p.Name) + " (--info lists them)");
    s.Host().SetParameter(static_cast<int>(it - names.begin()), p.Value);
  }
}

void RequireChunks(Session& s, const std::string& what) {
  if (!(s.Effect()->flags & effFlagsProgramChunks))
    Fail(s.Path() + " does not keep its state as chunks; " + what + " needs a plug-in that does");
}

// Reads and checks a program or bank file; the plug-in is not touched yet.
std::vector<uint8_t> ReadPresetBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!hostkit::ReadWholeFile(path, kMaxPresetFileBytes, bytes, error)) Fail(error);
  return bytes;
}

void LoadPresetFile(Session& s, const std::string& path, const std::vector<uint8_t>& bytes, hostkit::PresetKind kind) {
  const bool program = kind == hostkit::PresetKind::Program;
  RequireChunks(s, program ? "--fxp" : "--fxb");
  hostkit::PresetFile file;
  std::string error;
  if (!hostkit::DecodePresetFile(bytes, kind, s.Effect()->uniqueID, file, error)) Fail(path + ": " + error);
  if (file.Chunk.empty()) Fail(path + ": the " + std::string(program ? "program" : "bank") + " file holds no chunk");
  VstIntPtr accepted = s.Host().SetChunk(file.Chunk.data(), static_cast<VstInt32>(file.Chunk.size()), program);
  if (accepted == 0) Fail(path + ": the plug-in rejected the " + (program ? "program" : "bank") + " file");
  if (program) {
    std::vector<char> name(file.ProgramName.begin(), file.ProgramName.end());
    name.push_back(0);
    s.Host().Dispatch(effSetProgramName, 0, 0, name.data());
  }
}

std::vector<uint8_t> EncodeState(Session& s, hostkit::PresetKind kind) {
  const bool program = kind == hostkit::PresetKind::Program;
  RequireChunks(s, program ? "--save-fxp" : "--save-fxb");
  hostkit::PresetFile file;
  file.Kind = kind;
  file.PluginId = s.Effect()->uniqueID;
  file.PluginVersion = s.Effect()->version;
  file.Count = program ? s.Effect()->numParams : s.Effect()->numPrograms;
  if (program) file.ProgramName = s.Text(effGetProgramName, 0);
  file.Chunk = s.Host().GetChunk(program);
  if (file.Chunk.empty()) Fail(s.Path() + ": the plug-in returned no " + (program ? "program" : "bank") + " chunk");
  return hostkit::EncodePresetFile(file);
}

// Bank, program, program file, parameters: each later step refines the one
// before (a program is chosen from the loaded bank, and so on).
void ApplySettings(Session& s, const Options& o, const std::vector<uint8_t>& fxb, const std::vector<uint8_t>& fxp) {
  if (!o.Fxb.empty()) LoadPresetFile(s, o.Fxb, fxb, hostkit::PresetKind::Bank);
  if (o.HasProgram) SelectProgram(s, o.Program);
  if (!o.Fxp.empty()) LoadPresetFile(s, o.Fxp, fxp, hostkit::PresetKind::Program);
  SetParameters(s, o.Params);
}

// The program and bank files asked for, encoded from the current state and
// written to their temporary files.
struct StateOutputs {
  std::vector<std::unique_ptr<hostkit::PendingFile>> Files;

  void Capture(Session& s, const Options& o) {
    if (!o.SaveFxp.empty()) Add(o.SaveFxp, EncodeState(s, hostkit::PresetKind::Program));
    if (!o.SaveFxb.empty()) Add(o.SaveFxb, EncodeState(s, hostkit::PresetKind::Bank));
  }
  void Add(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto f = std::make_unique<hostkit::PendingFile>();
    std::string error;
    if (!f->Create(path, error) || !f->Write(bytes, error)) Fail(error);
    Files.push_back(std::move(f));
  }
  // Replaces every target, the audio output `also` with them, or none.
  void Commit(hostkit::PendingFile* also = nullptr) {
    std::vector<hostkit::PendingFile*> all;
    for (auto& f : Files) all.push_back(f.get());
    if (also) all.push_back(also);
    std::string error;
    if (!hostkit::CommitAll(all, error)) Fail(error);
  }
};

// Every output target is checked before the plug-in is loaded, so that a run
// does not do all its work and then fail on a target it could never write.
void CheckOutputs(const Options& o) {
  std::vector<std::string> targets;
  for (const std::string* t : {&o.Out, &o.SaveFxp, &o.SaveFxb})
    if (!t->empty()) targets.push_back(*t);
  std::string error;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (!hostkit::CheckOutputTarget(targets[i], error)) Fail(error);
    for (size_t j = 0; j < i; ++j) {
      std::error_code ea, eb;
      if (std::filesystem::weakly_canonical(targets[i], ea) == std::filesystem::weakly_canonical(targets[j], eb) &&
          !ea && !eb)
        Fail(targets[i] + " is named for two outputs");
    }
  }
}

// ---------------------------------------------------------------- rendering

class Progress {
public:
  Progress(int64_t total, bool show) : FTotal(total), FShow(show && total > 0) {}
  ~Progress() { Finish(); }
  void Update(int64_t done) {
    if (!FShow) return;
    int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / FTotal));
    if (percent == FLast) return;
    FLast = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = 0;
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }
  void Finish() {
    if (FShow && FLast >= 0) std::fprintf(stderr, "\n");
    FShow = false;
  }

private:
  int64_t FTotal;
  bool FShow;
  int FLast = -1;
};

#if defined(KES_HAVE_SNDFILE)

// Opens and checks the input; fills the output's format.
void OpenInput(const Options& o, render::SoundReader& reader, render::SoundInfo& outInfo) {
  std::string error;
  if (!reader.Open(o.In, error)) Fail(error);
  const render::SoundInfo& in = reader.Info();
  if (in.Channels < 1 || in.Channels > 2)
    Fail(o.In + " has " + std::to_string(in.Channels) + " channels; only mono and stereo files are supported");
  if (in.SampleRate <= 0 || in.SampleRate > kMaxSampleRate)
    Fail(o.In + " declares an impossible sample rate of " + std::to_string(in.SampleRate) + " Hz");
  if (!reader.Truncation().empty()) Fail(o.In + " is truncated: " + reader.Truncation());
  if (in.Frames < 0 || in.Frames > kMaxFrames)
    Fail(o.In + " declares an impossible length of " + std::to_string(in.Frames) + " frames");
  bool usage = false;
  if (!render::ChooseOutputFormat(in, o.Out, o.OutType, outInfo, error, usage))
    Fail(error, usage ? kExitUsage : kExitFailure);
}

std::string Count(int n, const char* noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

void CheckChannels(Session& s, const Options& o, int channels) {
  const AEffect* e = s.Effect();
  if (e->numInputs < channels)
    Fail(s.Path() + " has " + Count(e->numInputs, "input") + "; " + o.In + " has " + Count(channels, "channel"));
  if (e->numOutputs < channels)
    Fail(s.Path() + " has " + Count(e->numOutputs, "output") + "; " + o.In + " has " + Count(channels, "channel"));
}

struct RenderStats {
  int64_t Frames = 0;
  double Seconds = 0;
};

// Streams the input through the plug-in in blocks of o.Block frames (the last
// one shorter) into the writer.
RenderStats Process(Session& s, const Options& o, render::SoundReader& reader, render::SoundWriter& writer) {
  const AEffect* e = s.Effect();
  const size_t channels = static_cast<size_t>(reader.Info().Channels);
  const size_t block = static_cast<size_t>(o.Block);
  const size_t numIn = static_cast<size_t>(std::max(e->numInputs, 0));
  const size_t numOut = static_cast<size_t>(e->numOutputs);
  std::vector<std::vector<float>> ins(std::max<size_t>(numIn, 1), std::vector<float>(block, 0.0f));
  std::vector<std::vector<float>> outs(std::max<size_t>(numOut, 1), std::vector<float>(block, 0.0f));
  std::vector<float*> inPtrs, outPtrs;
  for (auto& b : ins) inPtrs.push_back(b.data());
  for (auto& b : outs) outPtrs.push_back(b.data());
  // A mono file is one buffer given as both inputs: a plug-in that can process
  // mono (VST 2.x hosts signal it this way) then runs its mono path.
  const bool monoPair = channels == 1 && numIn >= 2;
  if (monoPair) inPtrs[1] = inPtrs[0];
  std::vector<float> frame(block * channels);
  const bool replacing = (e->flags & effFlagsCanReplacing) && e->processReplacing;
  if (!replacing && !e->process) Fail(s.Path() + " has no process function");

  const int64_t total = reader.Info().Frames;
  Progress progress(total, hostkit::IsTerminal(stderr) && total > int64_t{10} * reader.Info().SampleRate);
  RenderStats stats;
  std::string error;
  for (;;) {
    const size_t n = reader.Read(frame.data(), block);
    if (n == 0) break;
    // Inputs beyond the file's channels stay silent.
    for (size_t i = 0; i < numIn; ++i) {
      float* dst = ins[i].data();
      if (monoPair && i == 1) continue;  // the same buffer as input 0
      if (i < channels) {
        for (size_t f = 0; f < n; ++f) dst[f] = frame[f * channels + i];
      } else {
        std::fill(dst, dst + n, 0.0f);
      }
    }
    if (replacing) {
      s.Host().ProcessReplacing(inPtrs.data(), outPtrs.data(), static_cast<VstInt32>(n));
    } else {
      for (auto& b : outs) std::fill(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
      s.Host().Process(inPtrs.data(), outPtrs.data(), static_cast<VstInt32>(n));
    }
    for (size_t c = 0; c < channels; ++c)
      for (size_t f = 0; f < n; ++f) frame[f * channels + c] = outs[c][f];
    if (!writer.Write(frame.data(), n, error)) Fail(error);
    stats.Frames += static_cast<int64_t>(n);
    progress.Update(stats.Frames);
    if (n < block) break;
  }
  progress.Finish();
  if (std::string e2 = reader.Error(); !e2.empty()) Fail("cannot read " + o.In + ": " + e2);
  if (reader.ExactLength() && stats.Frames != total)
    Fail(o.In + " ended after " + std::to_string(stats.Frames) + " of its " + std::to_string(total) +
         " frames (truncated file?)");
  return stats;
}

int Render(const Options& o) {
  CheckOutputs(o);
  render::SoundReader reader;
  render::SoundInfo outInfo;
  OpenInput(o, reader, outInfo);
  std::vector<uint8_t> fxb = o.Fxb.empty() ? std::vector<uint8_t>() : ReadPresetBytes(o.Fxb);
  std::vector<uint8_t> fxp = o.Fxp.empty() ? std::vector<uint8_t>() : ReadPresetBytes(o.Fxp);

  Session session;
  session.Load(o.Plugin);
  CheckChannels(session, o, reader.Info().Channels);
  session.Start(static_cast<float>(reader.Info().SampleRate), o.Block);
  ApplySettings(session, o, fxb, fxp);
  StateOutputs state;
  state.Capture(session, o);

  hostkit::PendingFile output;
  std::string error;
  if (!output.Create(o.Out, error)) Fail(error);
  render::SoundWriter writer;
  if (!writer.Open(output.TempPath(), outInfo, error)) Fail(error);
  const auto t0 = std::chrono::steady_clock::now();
  RenderStats stats = Process(session, o, reader, writer);
  if (!writer.Close(error)) Fail(error);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  session.Stop();

  state.Commit(&output);
  const double audio = static_cast<double>(stats.Frames) / reader.Info().SampleRate;
  std::printf("rendered %.3f s of audio in %.3f s (real-time factor %.1f)\n", audio, wall,
              audio / std::max(wall, 1e-6));
  return 0;
}

#else

int Render(const Options&) { Fail("rendering needs libsndfile; this build has none"); }

#endif

// Loads settings and saves program or bank files, without audio.
int SaveStateOnly(const Options& o) {
  CheckOutputs(o);
  std::vector<uint8_t> fxb = o.Fxb.empty() ? std::vector<uint8_t>() : ReadPresetBytes(o.Fxb);
  std::vector<uint8_t> fxp = o.Fxp.empty() ? std::vector<uint8_t>() : ReadPresetBytes(o.Fxp);
  Session session;
  session.Load(o.Plugin);
  session.Start(kStateOnlySampleRate, o.Block);
  ApplySettings(session, o, fxb, fxp);
  StateOutputs state;
  state.Capture(session, o);
  session.Stop();
  state.Commit();
  return 0;
}

// ---------------------------------------------------------------- --info

std::string FlagNames(VstInt32 flags) {
  static const std::pair<VstInt32, const char*> names[] = {
      {effFlagsHasEditor, "editor"},
      {effFlagsHasClip, "clip"},
      {effFlagsHasVu, "vu"},
      {effFlagsCanMono, "mono"},
      {effFlagsCanReplacing, "replacing"},
      {effFlagsProgramChunks, "chunks"},
      {effFlagsIsSynth, "synth"},
      {effFlagsNoSoundInStop, "no-sound-in-stop"},
  };
  std::string s;
  for (auto [bit, name] : names)
    if (flags & bit) s += std::string(s.empty() ? "" : ", ") + name;
  return s.empty() ? "none" : s;
}

int Info(const std::string& path) {
  Session s;
  s.Load(path);
  s.Start(kStateOnlySampleRate, kDefaultBlock);
  AEffect* e = s.Effect();
  std::printf("plug-in:    %s\n", path.c_str());
  std::printf("product:    %s\n", s.Text(effGetProductString, 0).c_str());
  std::printf("vendor:     %s\n", s.Text(effGetVendorString, 0).c_str());
  std::printf("unique id:  %s\n", hostkit::FourCCText(e->uniqueID).c_str());
  std::printf("version:    %d (vendor version %ld)\n", e->version,
              static_cast<long>(s.Host().Dispatch(effGetVendorVersion)));
  std::printf("channels:   %d in, %d out\n", e->numInputs, e->numOutputs);
  std::printf("flags:      0x%X (%s)\n", static_cast<unsigned>(e->flags), FlagNames(e->flags).c_str());
  std::printf("latency:    %d samples\n", e->initialDelay);
  std::printf("parameters: %d\n", e->numParams);
  for (int i = 0; i < e->numParams; ++i) {
    std::printf("  %2d  %-8s %-10s %-5s (%.6f)\n", i, s.Text(effGetParamName, i).c_str(),
                s.Text(effGetParamDisplay, i).c_str(), s.Text(effGetParamLabel, i).c_str(),
                static_cast<double>(s.Host().GetParameter(i)));
  }
  std::printf("programs:   %d\n", e->numPrograms);
  for (int i = 0; i < e->numPrograms; ++i)
    std::printf("  %2d  %s\n", i, s.Text(effGetProgramNameIndexed, i, -1).c_str());
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) {
    Usage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    Usage(stdout);
    return 0;
  }
  if (args[0] == "--info") {
    if (args.size() > 2) Fail("--info takes at most one plug-in path", kExitUsage);
    return Info(args.size() > 1 ? args[1] : hostkit::DefaultPluginPath());
  }
  Options o = ParseOptions(args);
  return o.In.empty() ? SaveStateOnly(o) : Render(o);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const RunError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "talvern-render: %s\n", e.Message.c_str());
    return e.Code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "talvern-render: %s\n", e.what());
    return kExitFailure;
  }
}
