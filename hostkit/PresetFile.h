#pragma once
// Program (.fxp) and bank (.fxb) files of the VST 2.x interface, chunk
// variant only: a big-endian header followed by the plug-in's opaque chunk.
//
//   0   "CcnK"                      4   byte size (bytes after this field)
//   8   "FPCh" / "FBCh"             12  format version
//   16  plug-in unique ID           20  plug-in version
//   24  parameter / program count
//   28  program: 28-byte name       bank: 128 reserved bytes
//   56 / 156  chunk size            60 / 160  chunk
//
// Reading trusts no size in the file: the chunk size is checked against the
// bytes actually there before anything is copied. It accepts what a plug-in's
// own loader accepts: the byte size field is not used, and an identifier
// whose first byte is zero matches any plug-in.

#include <cstdint>
#include <string>
#include <vector>

#include "host/DAEffect.h"

namespace hostkit {

enum class PresetKind { Program, Bank };

struct PresetFile {
  PresetKind Kind = PresetKind::Program;
  VstInt32 FormatVersion = 1;
  VstInt32 PluginId = 0;
  VstInt32 PluginVersion = 1;
  VstInt32 Count = 0;       // parameters (program) or programs (bank)
  std::string ProgramName;  // programs only; at most 28 characters
  std::vector<uint8_t> Chunk;
};

constexpr size_t kProgramHeaderSize = 60;  // bytes before the chunk
constexpr size_t kBankHeaderSize = 160;
constexpr size_t kProgramNameField = 28;

// The file's bytes. The name is cut to 27 characters so that it stays
// zero-terminated.
std::vector<uint8_t> EncodePresetFile(const PresetFile& file);

// Parses `bytes` as a file of kind `expected` for the plug-in `pluginId`.
// False with a one-line reason in `error` (and `out` untouched) when the file
// is malformed, of the other kind or the parameter-list variant, or made for
// another plug-in. `out.PluginId` keeps the file's identifier.
bool DecodePresetFile(const std::vector<uint8_t>& bytes, PresetKind expected, VstInt32 pluginId, PresetFile& out,
                      std::string& error);

// The four characters of a unique ID, non-printable bytes as '?'.
std::string FourCCText(VstInt32 id);

}  // namespace hostkit
