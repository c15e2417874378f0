#include "hostkit/PresetFile.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace hostkit {
namespace {

constexpr uint32_t Tag(const char (&c)[5]) { return static_cast<uint32_t>(FourCC(c)); }

}  // namespace

std::string FourCCText(VstInt32 id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

std::vector<uint8_t> EncodePresetFile(const PresetFile& file) {
  const bool program = file.Kind == PresetKind::Program;
  const size_t header = program ? kProgramHeaderSize : kBankHeaderSize;
  std::vector<uint8_t> b(header + file.Chunk.size(), 0);
  platform::StoreBE32(b.data() + 0, Tag("CcnK"));
  platform::StoreBE32(b.data() + 4, static_cast<uint32_t>(b.size() - 8));
  platform::StoreBE32(b.data() + 8, Tag(program ? "FPCh" : "FBCh"));
  platform::StoreBE32(b.data() + 12, static_cast<uint32_t>(file.FormatVersion));
  platform::StoreBE32(b.data() + 16, static_cast<uint32_t>(file.PluginId));
  platform::StoreBE32(b.data() + 20, static_cast<uint32_t>(file.PluginVersion));
  platform::StoreBE32(b.data() + 24, static_cast<uint32_t>(file.Count));
  if (program) {
    size_t n = std::min(file.ProgramName.size(), kProgramNameField - 1);
    std::memcpy(b.data() + 28, file.ProgramName.data(), n);
  }
  platform::StoreBE32(b.data() + header - 4, static_cast<uint32_t>(file.Chunk.size()));
  if (!file.Chunk.empty()) std::memcpy(b.data() + header, file.Chunk.data(), file.Chunk.size());
  return b;
}

bool DecodePresetFile(const std::vector<uint8_t>& bytes, PresetKind expected, VstInt32 pluginId, PresetFile& out,
                      std::string& error) {
  const bool program = expected == PresetKind::Program;
  const char* what = program ? "program file" : "bank file";
  const size_t header = program ? kProgramHeaderSize : kBankHeaderSize;
  if (bytes.size() < 12) {
    error = std::string("not a ") + what + " (only " + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  if (platform::LoadBE32(bytes.data() + 0) != Tag("CcnK")) {
    error = std::string("not a ") + what + " (no CcnK magic)";
    return false;
  }
  const uint32_t kind = platform::LoadBE32(bytes.data() + 8);
  if (kind == Tag("FxCk") || kind == Tag("FxBk")) {
    error = std::string("a ") + (kind == Tag("FxCk") ? "program" : "bank") +
            " file of parameter values; only chunk files (FPCh, FBCh) are supported";
    return false;
  }
  if (kind != Tag(program ? "FPCh" : "FBCh")) {
    if (kind == Tag(program ? "FBCh" : "FPCh"))
      error = std::string("a ") + (program ? "bank" : "program") + " file, not a " + what;
    else
      error = std::string("not a ") + what + " (kind " + FourCCText(static_cast<VstInt32>(kind)) + ")";
    return false;
  }
  if (bytes.size() < header) {
    error = std::string("truncated ") + what + " (header needs " + std::to_string(header) + " bytes, file has " +
            std::to_string(bytes.size()) + ")";
    return false;
  }
  // The byte size at offset 4 is not checked: writers fill it carelessly, and
  // plug-ins read the file by the chunk size alone. An identifier whose first
  // byte is zero is no identifier (it reads as empty text, as plug-ins compare
  // it): such a file is for any plug-in.
  const VstInt32 id = static_cast<VstInt32>(platform::LoadBE32(bytes.data() + 16));
  if (id != pluginId && bytes[16] != 0) {
    error = std::string(what) + " is for plug-in " + FourCCText(id) + ", not " + FourCCText(pluginId);
    return false;
  }
  const uint32_t chunkSize = platform::LoadBE32(bytes.data() + header - 4);
  if (chunkSize > bytes.size() - header) {
    error = std::string("truncated ") + what + " (chunk size " + std::to_string(chunkSize) + " but only " +
            std::to_string(bytes.size() - header) + " bytes follow)";
    return false;
  }
  PresetFile f;
  f.Kind = expected;
  f.FormatVersion = static_cast<VstInt32>(platform::LoadBE32(bytes.data() + 12));
  f.PluginId = id;
  f.PluginVersion = static_cast<VstInt32>(platform::LoadBE32(bytes.data() + 20));
  f.Count = static_cast<VstInt32>(platform::LoadBE32(bytes.data() + 24));
  if (program) {
    const char* name = reinterpret_cast<const char*>(bytes.data() + 28);
    f.ProgramName.assign(name, strnlen(name, kProgramNameField));
  }
  f.Chunk.assign(bytes.begin() + static_cast<std::ptrdiff_t>(header),
                 bytes.begin() + static_cast<std::ptrdiff_t>(header + chunkSize));
  out = std::move(f);
  return true;
}

}  // namespace hostkit
