// libFuzzer target: .fxp and .fxb files, read by the effect itself (its preset
// menu's "Load preset" / "Load bank", through a scripted file dialog) and by
// the host side's reader. The instance then processes a block, whose output
// must be finite; any sanitizer report fails the run.
//
// Input: a mode byte (even: program file, odd: bank file), then the file.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hostkit/PresetFile.h"
#include "tests/fuzz/FuzzPlugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzplugin::TInstance instance;
  static const std::string path = "/tmp/fuzz_presetfile." + std::to_string(getpid()) + ".fxp";
  if (size == 0) return 0;
  const bool bank = (data[0] & 1) != 0;
  const std::vector<uint8_t> file(data + 1, data + size);

  hostkit::PresetFile decoded;
  std::string error;
  const bool ok = hostkit::DecodePresetFile(file, bank ? hostkit::PresetKind::Bank : hostkit::PresetKind::Program,
                                            instance.E->uniqueID, decoded, error);
  fuzzstate::check(ok || !error.empty(), "a refused file without a reason");

  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (!file.empty()) std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  instance.Dialogs.Choose(path);
  instance.Effect->PresetMenuCommand(nullptr, bank ? pcLoadBank : pcLoadPreset);
  instance.Dialogs.Requests.clear();
  std::remove(path.c_str());
  instance.ProcessAndCheck();
  return 0;
}
