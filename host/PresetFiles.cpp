// The preset menu of TVSTEffectBase: program (.fxp) and bank (.fxb) files in
// the chunk variant of the published format, and the user default program.
// Files are big-endian; every declared size is checked against the file's real
// length before anything is allocated, and a load that fails changes nothing.
#include <cstdio>
#include <cstring>
#include <vector>

#include "classlib/Dialogs.h"
#include "host/RegUtils.h"
#include "host/VSTEffectBase.h"
#include "host/VSTWrapper.h"
#include "platform/ByteOrder.h"
#include "platform/FileDialogs.h"
#include "platform/Files.h"

namespace {

constexpr size_t kProgramHeader = 52;  // kind magic .. chunk size
constexpr size_t kBankHeader = 152;

void FileError(const char* text) { MessageDlg(text, "File error", platform::MB_ICON_ERROR); }

// The folder part of a file name, with its trailing separator.
std::string FolderOf(const std::string& file) {
  size_t cut = file.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

long FileSize(FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  long size = std::ftell(f);
  if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
  return size;
}

struct FileCloser {
  FILE* f;
  ~FileCloser() {
    if (f) std::fclose(f);
  }
};

}  // namespace

void TVSTEffectBase::PresetMenuFill(TObject*, TStringList* items) {
  if (!items) return;
  items->AddObject("Load preset", pcLoadPreset);
  items->AddObject("Save preset", pcSavePreset);
  items->AddObject("Load bank", pcLoadBank);
  items->AddObject("Save bank", pcSaveBank);
  items->AddObject("Set as default", pcSetDefault);
  items->AddObject("Reset default", pcResetDefault);
}

void TVSTEffectBase::PresetMenuCommand(TObject*, intptr_t command) {
  switch (command) {
    case pcSetDefault: StoreDefaultProgram(); return;
    case pcResetDefault: {
      ResetDefaultProgram();
      TVSTParameters& params = FParamHost->Parameters();
      for (int i = 0; i < params.Count(); ++i) params.Items(i)->SetDefValue(params.Items(i)->FactoryDefValue);
      return;
    }
    case pcLoadPreset: LoadFile(false); return;
    case pcSavePreset: SaveFile(false); return;
    case pcLoadBank: LoadFile(true); return;
    case pcSaveBank: SaveFile(true); return;
    default: return;
  }
}

static bool AskFile(bool save, bool bank, const std::string& key, std::string& fileName) {
  platform::FileDialogRequest request;
  request.Save = save;
  const char* kind = bank ? " bank " : " preset ";
  request.Title =
      save ? std::string("Select filename to save") + kind + "to" : std::string("Select which") + kind + "to load";
  request.Filter = bank ? "Program bank (*.fxb)|*.fxb" : "Single program (*.fxp)|*.fxp";
  request.DefaultExt = bank ? "fxb" : "fxp";
  std::string folder = RegReadString(key, "InitPresetFolder");
  if (!folder.empty()) {
    // With or without its trailing separator, the stored folder is the same folder.
    if (folder.back() != '\\' && folder.back() != '/') folder += platform::PathSeparator();
    request.InitialDir = folder;
  }
  if (!platform::RunFileDialog(request, fileName)) return false;
  RegWriteString(key, "InitPresetFolder", FolderOf(fileName));
  return true;
}

void TVSTEffectBase::LoadFile(bool bank) {
  std::string fileName;
  if (!AskFile(false, bank, RegistryKey(), fileName)) return;
  FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return FileError("Error opening file!");
  FileCloser closer{f};
  long fileSize = FileSize(f);
  uint8_t head[8];
  if (fileSize < 8 || std::fread(head, 1, 8, f) != 8) return FileError("Error reading file!");
  if (std::memcmp(head, "CcnK", 4) != 0) return FileError("Unrecognized file format!");
  const size_t headerSize = bank ? kBankHeader : kProgramHeader;
  std::vector<uint8_t> header(headerSize);
  if (std::fread(header.data(), 1, headerSize, f) != headerSize) return FileError("Error reading file!");
  if (std::memcmp(header.data(), bank ? "FBCh" : "FPCh", 4) != 0)
    return FileError(bank ? "Unrecognized bank file signature!" : "Unrecognized preset file signature!");
  // The identifier ends at its first zero byte.
  const char* idBytes = reinterpret_cast<const char*>(header.data() + 8);
  std::string id(idBytes, strnlen(idBytes, 4));
  if (id != FParamHost->UniqueId && id != FParamHost->UniqueIdPrev)
    return FileError(bank ? "Selected bank file is not for this plug-in!"
                          : "Selected preset file is not for this plug-in!");
  uint32_t chunkSize = platform::LoadBE32(header.data() + headerSize - 4);
  uint64_t available = static_cast<uint64_t>(fileSize) - 8 - headerSize;
  if (chunkSize > available || chunkSize > 0x7FFFFFFFu) return FileError("Error reading file!");
  std::vector<uint8_t> chunk(chunkSize);
  if (chunkSize > 0 && std::fread(chunk.data(), 1, chunkSize, f) != chunkSize) return FileError("Error reading file!");
  {
    TSyncLock lock(FProgramLock);
    // A chunk the effect refuses leaves the settings as they were, silently.
    VstInt32 ok = setChunk(chunk.data(), static_cast<VstInt32>(chunkSize), !bank);
    if (!bank && ok) {
      const char* name = reinterpret_cast<const char*>(header.data() + 20);
      std::string text(name, strnlen(name, 28));
      setProgramName(text.data());
    }
  }
  std::fclose(f);
  closer.f = nullptr;
  updateDisplay();
}

void TVSTEffectBase::SaveFile(bool bank) {
  std::string fileName;
  if (!AskFile(true, bank, RegistryKey(), fileName)) return;
  // Written to a temporary file first, so a failed save never spoils an
  // existing file.
  const std::string temp = fileName + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return FileError("Error creating file!");
  FileCloser closer{f};
  const size_t headerSize = bank ? kBankHeader : kProgramHeader;
  std::vector<uint8_t> out;
  {
    TSyncLock lock(FProgramLock);
    void* data = nullptr;
    VstInt32 size = getChunk(&data, !bank);
    out.assign(8 + headerSize + static_cast<size_t>(size), 0);
    uint8_t* h = out.data() + 8;
    std::memcpy(h, bank ? "FBCh" : "FPCh", 4);
    platform::StoreBE32(h + 4, 1);
    std::string id = FParamHost->UniqueId.substr(0, 4);
    std::memcpy(h + 8, id.data(), id.size());
    platform::StoreBE32(h + 12, 1);
    if (bank) {
      platform::StoreBE32(h + 16, static_cast<uint32_t>(FParamHost->ProgramCount()));
    } else {
      platform::StoreBE32(h + 16, static_cast<uint32_t>(FParamHost->Parameters().Count()));
      std::string name;
      if (curProgram >= 0 && curProgram < FBank.ProgramCount()) name = FBank.Root()->Child(curProgram)->Name;
      std::memcpy(h + 20, name.data(), std::min<size_t>(name.size(), 27));
    }
    platform::StoreBE32(h + headerSize - 4, static_cast<uint32_t>(size));
    if (size > 0) std::memcpy(h + headerSize, data, static_cast<size_t>(size));
    std::memcpy(out.data(), "CcnK", 4);
    platform::StoreBE32(out.data() + 4, static_cast<uint32_t>(headerSize + static_cast<size_t>(size)));
  }
  bool ok =
      std::fwrite(out.data(), 1, 8, f) == 8 && std::fwrite(out.data() + 8, 1, out.size() - 8, f) == out.size() - 8;
  ok = std::fclose(f) == 0 && ok;
  closer.f = nullptr;
  std::string why;
  ok = ok && platform::ReplaceFileWith(temp, fileName, why);
  if (!ok) {
    std::remove(temp.c_str());
    FileError("Error writing file!");
  }
}
