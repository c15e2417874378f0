#include "apps/SoundFile.h"

#include <sndfile.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace render {
namespace {

// Width of an integer PCM sample type, 0 for everything else.
int PcmBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
  }
}

bool IsFloat(int format) {
  int sub = format & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

// A float sample as a B-bit integer, left-justified in 32 bits the way
// libsndfile's int interface expects it.
int32_t ToInt(float x, int bits) {
  if (std::isnan(x)) return 0;
  const double scale = std::ldexp(1.0, bits - 1);
  double q = std::nearbyint(static_cast<double>(x) * scale);
  if (q > scale - 1) q = scale - 1;
  if (q < -scale) q = -scale;
  return static_cast<int32_t>(static_cast<int64_t>(q) * (int64_t{1} << (32 - bits)));
}

// libsndfile notes a data chunk longer than the file in its log as
// "data : 12000 (should be 10000)" (WAV, RF64) or "SSND : ..." (AIFF). Sizes
// of 0 and 0xFFFFFFFF are placeholders of writers that never finished the
// header, not truncation.
std::string FindTruncation(sf_private_tag* file) {
  char log[8192] = {0};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
  const char* p = log;
  while (*p) {
    const char* end = std::strchr(p, '\n');
    std::string line(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
    p = end ? end + 1 : p + line.size();
    size_t tag = line.find_first_not_of(' ');
    if (tag == std::string::npos || (line.compare(tag, 4, "data") != 0 && line.compare(tag, 4, "SSND") != 0)) continue;
    unsigned long long declared = 0, actual = 0;
    if (std::sscanf(line.c_str() + tag + 4, " : %llu (should be %llu)", &declared, &actual) != 2) continue;
    if (declared > actual && declared != 0xFFFFFFFFull)
      return "its header declares " + std::to_string(declared) + " bytes of audio data, the file holds " +
             std::to_string(actual);
  }
  return {};
}

}  // namespace

SoundReader::~SoundReader() {
  if (FFile) sf_close(FFile);
}

bool SoundReader::Open(const std::string& path, std::string& error) {
  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  FFile = sf_open(path.c_str(), SFM_READ, &info);
  if (!FFile) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  FInfo.Frames = info.frames;
  FInfo.SampleRate = info.samplerate;
  FInfo.Channels = info.channels;
  FInfo.Format = info.format;
  FBits = PcmBits(info.format);
  FTruncation = FindTruncation(FFile);
  return true;
}

size_t SoundReader::Read(float* interleaved, size_t frames) {
  const size_t channels = static_cast<size_t>(FInfo.Channels);
  size_t done = 0;
  // libsndfile may return short counts before the end; loop until the block
  // is full or nothing more comes.
  while (done < frames) {
    sf_count_t want = static_cast<sf_count_t>(frames - done);
    sf_count_t got;
    if (FBits) {
      FInts.resize((frames - done) * channels);
      got = sf_readf_int(FFile, FInts.data(), want);
      if (got <= 0) break;
      const float scale = 1.0f / 2147483648.0f;
      float* out = interleaved + done * channels;
      for (size_t i = 0; i < static_cast<size_t>(got) * channels; ++i) out[i] = static_cast<float>(FInts[i]) * scale;
    } else {
      got = sf_readf_float(FFile, interleaved + done * channels, want);
      if (got <= 0) break;
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

bool SoundReader::ExactLength() const { return FBits != 0 || IsFloat(FInfo.Format); }

std::string SoundReader::Error() const {
  if (!FFile || sf_error(FFile) == SF_ERR_NO_ERROR) return {};
  return sf_strerror(FFile);
}

SoundWriter::~SoundWriter() {
  if (FFile) sf_close(FFile);
}

bool SoundWriter::Open(const std::string& path, const SoundInfo& info, std::string& error) {
  SF_INFO sf;
  std::memset(&sf, 0, sizeof sf);
  sf.samplerate = info.SampleRate;
  sf.channels = info.Channels;
  sf.format = info.Format;
  FFile = sf_open(path.c_str(), SFM_WRITE, &sf);
  if (!FFile) {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  FChannels = info.Channels;
  FBits = PcmBits(info.Format);
  // Coded formats take floats; never let them wrap around.
  if (!FBits && !IsFloat(info.Format)) sf_command(FFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return true;
}

bool SoundWriter::Write(const float* interleaved, size_t frames, std::string& error) {
  const size_t n = frames * static_cast<size_t>(FChannels);
  sf_count_t wrote;
  if (FBits) {
    FInts.resize(n);
    for (size_t i = 0; i < n; ++i) FInts[i] = ToInt(interleaved[i], FBits);
    wrote = sf_writef_int(FFile, FInts.data(), static_cast<sf_count_t>(frames));
  } else {
    wrote = sf_writef_float(FFile, interleaved, static_cast<sf_count_t>(frames));
  }
  if (wrote != static_cast<sf_count_t>(frames)) {
    error = std::string("cannot write the output: ") + sf_strerror(FFile);
    return false;
  }
  return true;
}

bool SoundWriter::Close(std::string& error) {
  if (!FFile) return true;
  int r = sf_close(FFile);
  FFile = nullptr;
  if (r != 0) {
    error = std::string("cannot complete the output: ") + sf_error_number(r);
    return false;
  }
  return true;
}

namespace {

bool ParseSampleType(const std::string& name, int& subformat) {
  static const std::pair<const char*, int> types[] = {
      {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24},  {"pcm32", SF_FORMAT_PCM_32},
      {"float", SF_FORMAT_FLOAT},  {"double", SF_FORMAT_DOUBLE},
  };
  for (auto [n, f] : types)
    if (name == n) {
      subformat = f;
      return true;
    }
  return false;
}

std::string LowerExtension(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// Every container libsndfile knows with its usual file extension, plus the
// common spellings it does not list.
std::vector<std::pair<std::string, int>> Containers() {
  std::vector<std::pair<std::string, int>> r = {
      {"aif", SF_FORMAT_AIFF}, {"ogg", SF_FORMAT_OGG}, {"opus", SF_FORMAT_OGG}, {"mp3", SF_FORMAT_MPEG}};
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO f{};
    f.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &f, sizeof f) == 0 && f.extension)
      r.push_back({f.extension, f.format & SF_FORMAT_TYPEMASK});
  }
  return r;
}

bool Writable(int format, int rate, int channels) {
  SF_INFO sf;
  std::memset(&sf, 0, sizeof sf);
  sf.samplerate = rate;
  sf.channels = channels;
  sf.format = format;
  return sf_format_check(&sf) != 0;
}

}  // namespace

bool ChooseOutputFormat(const SoundInfo& in, const std::string& outPath, const std::string& outType, SoundInfo& out,
                        std::string& error, bool& usage) {
  usage = false;
  out = in;
  int container = in.Format & SF_FORMAT_TYPEMASK;
  const std::string ext = LowerExtension(outPath);
  if (!ext.empty()) {
    const auto all = Containers();
    bool own = false;
    int named = 0;
    for (const auto& [e, c] : all)
      if (e == ext) {
        own = own || c == container;
        if (!named) named = c;
      }
    if (!own && named) container = named;
  }
  int sub = in.Format & SF_FORMAT_SUBMASK;
  if (!outType.empty() && !ParseSampleType(outType, sub)) {
    error = "--out-type takes pcm16, pcm24, pcm32, float or double, not \"" + outType + "\"";
    usage = true;
    return false;
  }
  out.Format = container | sub;
  if (!Writable(out.Format, in.SampleRate, in.Channels) && outType.empty()) {
    const bool wide = IsFloat(in.Format) || PcmBits(in.Format) > 16;
    const int fallbacks[] = {wide ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS,
                             SF_FORMAT_MPEG_LAYER_III};
    for (int f : fallbacks)
      if (Writable(container | f, in.SampleRate, in.Channels)) {
        out.Format = container | f;
        break;
      }
  }
  if (!Writable(out.Format, in.SampleRate, in.Channels)) {
    error = "cannot write " + DescribeFormat(out.Format) + " at " + std::to_string(in.SampleRate) + " Hz with " +
            std::to_string(in.Channels) + " channels";
    return false;
  }
  return true;
}

std::string DescribeFormat(int format) {
  SF_FORMAT_INFO major{}, minor{};
  major.format = format & SF_FORMAT_TYPEMASK;
  minor.format = format & SF_FORMAT_SUBMASK;
  std::string s = sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name
                      ? major.name
                      : "unknown container";
  s += ", ";
  s += sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor) == 0 && minor.name ? minor.name
                                                                                         : "unknown sample type";
  return s;
}

}  // namespace render
