// Files that travel between builds: a program (.fxp) and a bank (.fxb)
// written by the 32-bit Windows build are committed under golden/. Every
// build (Linux, 32- and 64-bit Windows) must read them to the same parameters
// and names, write the very same bytes for the same program, and render the
// stored program to the samples the Linux build rendered, within rounding.
// With KES_E2E_WRITE_GOLDEN=1 the tests write the files instead of checking.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "E2EFixture.h"
#include "hostkit/PresetFile.h"

namespace e2e {
namespace {

using Bytes = std::vector<uint8_t>;

std::string GoldenPath(const char* name) { return std::string(KES_E2E_GOLDEN_DIR) + "/" + name; }
bool WritingGolden() {
  const char* v = std::getenv("KES_E2E_WRITE_GOLDEN");
  return v && *v == '1';
}
Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The program stored in the files: a factory program edited in every
// parameter kind (level, slope, switches, detector, M/S mode) and renamed.
constexpr int kSlot = 6;
const char kName[] = "Golden tape";
const struct {
  int index;
  float value;
} kEdits[] = {{0, 0.6f}, {1, 0.8f}, {3, 1.0f}, {4, 0.1f}, {5, 1 / 9.0f}, {8, 0.1f}};

std::unique_ptr<hostkit::Host> EditedInstance() {
  auto h = NewInstance();
  h->Dispatch(effSetProgram, 0, kSlot);
  for (const auto& e : kEdits) h->SetParameter(e.index, e.value);
  char name[sizeof kName];
  std::memcpy(name, kName, sizeof kName);
  h->Dispatch(effSetProgramName, 0, 0, name);
  return h;
}

Bytes ProgramFile(hostkit::Host& h) {
  return hostkit::EncodePresetFile(
      {hostkit::PresetKind::Program, 1, h.Effect()->uniqueID, 1, 9, h.ProgramName(), h.GetChunk(true)});
}
Bytes BankFile(hostkit::Host& h) {
  return hostkit::EncodePresetFile({hostkit::PresetKind::Bank, 1, h.Effect()->uniqueID, 1, 17, "", h.GetChunk(false)});
}

// Loads a golden file into `h` as a host does: the chunk, and for a program
// the name from the file's header.
void LoadGolden(hostkit::Host& h, const char* file, hostkit::PresetKind kind) {
  Bytes bytes = ReadBytes(GoldenPath(file));
  ASSERT_FALSE(bytes.empty()) << GoldenPath(file);
  hostkit::PresetFile f;
  std::string why;
  ASSERT_TRUE(hostkit::DecodePresetFile(bytes, kind, h.Effect()->uniqueID, f, why)) << why;
  const bool program = kind == hostkit::PresetKind::Program;
  ASSERT_EQ(h.SetChunk(f.Chunk.data(), static_cast<VstInt32>(f.Chunk.size()), program), 1);
  if (program) {
    std::vector<char> name(f.ProgramName.begin(), f.ProgramName.end());
    name.push_back(0);
    h.Dispatch(effSetProgramName, 0, 0, name.data());
  }
}

struct GoldenFile {
  const char* name;
  hostkit::PresetKind kind;
  Bytes (*write)(hostkit::Host&);
};
const GoldenFile kFiles[] = {{"edited.fxp", hostkit::PresetKind::Program, ProgramFile},
                             {"edited.fxb", hostkit::PresetKind::Bank, BankFile}};

TEST(Golden, EveryBuildWritesTheSameBytes) {
  auto h = EditedInstance();
  for (const GoldenFile& f : kFiles) {
    Bytes written = f.write(*h);
    if (WritingGolden()) {
      WriteBytes(GoldenPath(f.name), written);
      continue;
    }
    Bytes golden = ReadBytes(GoldenPath(f.name));
    ASSERT_FALSE(golden.empty()) << GoldenPath(f.name);
    EXPECT_EQ(written.size(), golden.size()) << f.name;
    EXPECT_TRUE(written == golden) << f.name << " differs from the committed file";
  }
}

TEST(Golden, EveryBuildReadsTheSameProgram) {
  if (WritingGolden()) GTEST_SKIP() << "writing the golden files";
  auto edited = EditedInstance();
  for (const GoldenFile& f : kFiles) {
    auto h = NewInstance();
    LoadGolden(*h, f.name, f.kind);
    if (f.kind == hostkit::PresetKind::Bank) {
      EXPECT_EQ(h->Text(effGetProgramNameIndexed, 16, 25, -1), "Soft Press") << "an unedited slot";
      h->Dispatch(effSetProgram, 0, kSlot);
    }
    EXPECT_EQ(h->ProgramName(), kName) << f.name;
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(h->GetParameter(i), edited->GetParameter(i)) << f.name << " parameter " << i;
      EXPECT_EQ(h->ParamDisplay(i), edited->ParamDisplay(i)) << f.name << " parameter " << i;
    }
    // What it stores again is what it read.
    EXPECT_TRUE(f.write(*h) == ReadBytes(GoldenPath(f.name))) << f.name;
  }
}

// The golden program's output at a few samples, as the Linux build rendered
// it. The builds may differ in their maths libraries' last bits (the test
// signal's sines, the engine's exp and log), so the samples must agree to
// float rounding, not bit for bit.
TEST(Golden, EveryBuildRendersTheStoredProgramAlike) {
  constexpr size_t kFrames = 44100, kStep = 2939;
  constexpr double kTolerance = 1e-6;
  auto h = NewInstance();
  LoadGolden(*h, "edited.fxp", hostkit::PresetKind::Program);
  std::vector<float> l, r, ol, orr;
  TestSignal(l, r, kFrames);
  Render(*h, l, r, ol, orr, 512);
  ASSERT_GT(Rms(ol), 1e-3);
  const std::string path = GoldenPath("edited-render.txt");
  if (WritingGolden()) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fprintf(out, "# sample left right: edited.fxp over the e2e test signal, 44.1 kHz, blocks of 512\n");
    for (size_t i = kStep; i < kFrames; i += kStep)
      std::fprintf(out, "%zu %.9g %.9g\n", i, static_cast<double>(ol[i]), static_cast<double>(orr[i]));
    std::fclose(out);
    return;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::string line;
  int compared = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t i = 0;
    double left = 0, right = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%zu %lf %lf", &i, &left, &right), 3) << line;
    ASSERT_LT(i, kFrames);
    EXPECT_NEAR(ol[i], left, kTolerance) << "left, sample " << i;
    EXPECT_NEAR(orr[i], right, kTolerance) << "right, sample " << i;
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>((kFrames - 1) / kStep));
}

}  // namespace
}  // namespace e2e
