#pragma once
// Audio files for the render host, through libsndfile: any format it reads,
// written back in the same container and sample type unless asked otherwise.
//
// Integer PCM goes through this module's own conversion rather than
// libsndfile's float scaling (which by default writes by 32767 after reading
// by 1/32768, and wraps around on overflow): a sample q of a B-bit file
// becomes q / 2^(B-1) and is written back as round(x * 2^(B-1)), clipped to
// the B-bit range, so an unchanged signal comes out bit for bit. Float files
// are neither scaled nor clipped.

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace render {

struct SoundInfo {
  int64_t Frames = 0;  // as the header declares it
  int SampleRate = 0;
  int Channels = 0;
  int Format = 0;  // libsndfile's container | sample type
};

class SoundReader {
public:
  SoundReader() = default;
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  bool Open(const std::string& path, std::string& error);
  const SoundInfo& Info() const { return FInfo; }
  // Reads up to `frames` interleaved frames; fewer only at the end of the
  // file or on a read error (see Error()).
  size_t Read(float* interleaved, size_t frames);
  // Non-empty once a read has failed.
  std::string Error() const;
  // Non-empty when the header declares more audio data than the file holds.
  // libsndfile reads such a file up to its end without an error.
  const std::string& Truncation() const { return FTruncation; }
  // True when Info().Frames is exact (PCM and float data); coded formats
  // may only estimate their length.
  bool ExactLength() const;

private:
  sf_private_tag* FFile = nullptr;
  SoundInfo FInfo;
  int FBits = 0;  // integer PCM width, 0 for float and coded formats
  std::vector<int32_t> FInts;
  std::string FTruncation;
};

class SoundWriter {
public:
  SoundWriter() = default;
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  // Creates (truncates) `path` with the format, rate and channels of `info`.
  bool Open(const std::string& path, const SoundInfo& info, std::string& error);
  bool Write(const float* interleaved, size_t frames, std::string& error);
  // Flushes and closes; false when the file could not be completed.
  bool Close(std::string& error);

private:
  sf_private_tag* FFile = nullptr;
  int FChannels = 0;
  int FBits = 0;
  std::vector<int32_t> FInts;
};

// The output's format for input `in`: the container named by the output
// path's extension (".flac", ".aiff", ".ogg", ...; the input's own container
// for its own extensions, an unknown one or none), with the sample type
// `outType` ("pcm16", "pcm24", "pcm32", "float", "double") or else the
// input's, or, when the container cannot hold that, the nearest it can
// (24-bit PCM for float input, 16-bit PCM, or the container's codec).
// False with a one-line reason when no such file can be written; `usage` is
// set when the reason is a bad --out-type.
bool ChooseOutputFormat(const SoundInfo& in, const std::string& outPath, const std::string& outType, SoundInfo& out,
                        std::string& error, bool& usage);
// "WAV (Microsoft), Signed 16 bit PCM"-like description of a format.
std::string DescribeFormat(int format);

}  // namespace render
