// talvern-render: a small command-line VST 2.x host. It loads a plug-in
// binary (ours by default, any VST 2.x plug-in by path) and reports what the
// plug-in says about itself.
//
//   talvern-render --info [PLUGIN]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hostkit/Host.h"
#include "hostkit/PluginLibrary.h"

namespace {

std::string FourCCText(VstInt32 id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

std::string FlagNames(VstInt32 flags) {
  static const std::pair<VstInt32, const char*> names[] = {
      {effFlagsHasEditor, "editor"},         {effFlagsHasClip, "clip"},
      {effFlagsHasVu, "vu"},                 {effFlagsCanMono, "mono"},
      {effFlagsCanReplacing, "replacing"},   {effFlagsProgramChunks, "chunks"},
      {effFlagsIsSynth, "synth"},            {effFlagsNoSoundInStop, "no-sound-in-stop"},
  };
  std::string s;
  for (auto [bit, name] : names)
    if (flags & bit) s += std::string(s.empty() ? "" : ", ") + name;
  return s.empty() ? "none" : s;
}

int Info(const std::string& path) {
  hostkit::PluginLibrary lib;
  if (!lib.Load(path)) {
    std::fprintf(stderr, "talvern-render: %s\n", lib.Error().c_str());
    return 1;
  }
  hostkit::Host host;
  AEffect* e = host.Instantiate(lib.Entry());
  if (!e) {
    std::fprintf(stderr, "talvern-render: %s: the plug-in's entry returned no effect\n", path.c_str());
    return 1;
  }
  if (e->magic != FourCC("VstP")) {
    std::fprintf(stderr, "talvern-render: %s: not a VST 2.x effect record\n", path.c_str());
    return 1;
  }
  host.Start();
  std::printf("plug-in:    %s\n", path.c_str());
  std::printf("product:    %s\n", host.Text(effGetProductString, 0, 256).c_str());
  std::printf("vendor:     %s\n", host.Text(effGetVendorString, 0, 256).c_str());
  std::printf("unique id:  %s\n", FourCCText(e->uniqueID).c_str());
  std::printf("version:    %d (vendor version %ld)\n", e->version,
              static_cast<long>(host.Dispatch(effGetVendorVersion)));
  std::printf("channels:   %d in, %d out\n", e->numInputs, e->numOutputs);
  std::printf("flags:      0x%X (%s)\n", static_cast<unsigned>(e->flags), FlagNames(e->flags).c_str());
  std::printf("latency:    %d samples\n", e->initialDelay);
  std::printf("parameters: %d\n", e->numParams);
  for (int i = 0; i < e->numParams; ++i) {
    std::printf("  %2d  %-8s %-10s %-5s (%.6f)\n", i, host.Text(effGetParamName, i, 256).c_str(),
                host.Text(effGetParamDisplay, i, 256).c_str(), host.Text(effGetParamLabel, i, 256).c_str(),
                static_cast<double>(host.GetParameter(i)));
  }
  std::printf("programs:   %d\n", e->numPrograms);
  for (int i = 0; i < e->numPrograms; ++i) {
    std::string name = host.Text(effGetProgramNameIndexed, i, 256, -1);
    std::printf("  %2d  %s\n", i, name.c_str());
  }
  host.Close();
  return 0;
}

void Usage() {
  std::fprintf(stderr, "usage: talvern-render --info [PLUGIN]\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    Usage();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--info") return Info(args.size() > 1 ? args[1] : hostkit::DefaultPluginPath());
  std::fprintf(stderr, "talvern-render: unknown option %s\n", args[0].c_str());
  Usage();
  return 2;
}
