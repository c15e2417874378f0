// The preset menu: program and bank files, their exact header bytes, every
// failure message, and the remembered folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "HostFixture.h"
#include "host/RegUtils.h"
#include "hostkit/FileUtil.h"
#include "hostkit/PresetFile.h"
#include "platform/Files.h"
#include "platform/testing/ScriptedFileDialog.h"

namespace hosttest {
namespace {

namespace fs = std::filesystem;

class PresetFileTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    dir = fs::temp_directory_path() /
          ("kesfiles-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::remove_all(dir);
    HostTest::TearDown();
  }
  std::string File(const std::string& name) const { return (dir / name).string(); }
  static std::vector<uint8_t> Read(const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& f, const std::vector<uint8_t>& bytes) {
    std::ofstream out(f, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static uint32_t BE(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
  }
  static void PutBE(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
  }
  fs::path dir;
  platform::testing::ScriptedFileDialog dialogs;
};

TEST_F(PresetFileTest, MenuListsSixCommands) {
  Instance fx;
  TStringList items;
  fx.module->host->OnPresetMenuFill(nullptr, &items);
  ASSERT_EQ(items.Count(), 6);
  const char* texts[] = {"Load preset", "Save preset", "Load bank", "Save bank", "Set as default", "Reset default"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(items.Strings(i), texts[i]);
    EXPECT_EQ(items.Objects(i), i);
  }
}

TEST_F(PresetFileTest, ProgramFileHasTheExactHeaderAndLoadsElsewhere) {
  Instance a;
  char name[] = "My Program";
  a.Dispatch(effSetProgramName, 0, 0, name);
  a.module->state = 17;
  a.Param(0)->SetCurValue(654321);
  dialogs.Choose(File("p.fxp"));
  a.effect->PresetMenuCommand(nullptr, pcSavePreset);
  ASSERT_EQ(dialogs.Requests.size(), 1u);
  EXPECT_TRUE(dialogs.Requests[0].Save);
  EXPECT_EQ(dialogs.Requests[0].Title, "Select filename to save preset to");
  EXPECT_EQ(dialogs.Requests[0].Filter, "Single program (*.fxp)|*.fxp");
  EXPECT_EQ(dialogs.Requests[0].DefaultExt, "fxp");
  EXPECT_TRUE(boxes.Boxes().empty());

  std::vector<uint8_t> f = Read(File("p.fxp"));
  ASSERT_GE(f.size(), 60u);
  const uint8_t head[] = {'C', 'c', 'n', 'K'};
  EXPECT_EQ(std::memcmp(f.data(), head, 4), 0);
  EXPECT_EQ(BE(f, 4), f.size() - 8);
  EXPECT_EQ(std::memcmp(f.data() + 8, "FPCh", 4), 0);
  EXPECT_EQ(BE(f, 12), 1u);
  EXPECT_EQ(std::memcmp(f.data() + 16, "KsEf", 4), 0);
  EXPECT_EQ(BE(f, 20), 1u);
  EXPECT_EQ(BE(f, 24), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + 28)), "My Program");
  for (size_t i = 28 + 10; i < 56; ++i) EXPECT_EQ(f[i], 0) << i;
  EXPECT_EQ(BE(f, 56), f.size() - 60);
  EXPECT_EQ(RegReadString(key, "InitPresetFolder"), (dir / "").string());
  // An independent reader of the format agrees.
  hostkit::PresetFile parsed;
  std::string why;
  ASSERT_TRUE(hostkit::DecodePresetFile(f, hostkit::PresetKind::Program, FourCC("KsEf"), parsed, why)) << why;
  EXPECT_EQ(parsed.ProgramName, "My Program");
  EXPECT_EQ(parsed.Count, 3);

  Instance b;
  dialogs.Choose(File("p.fxp"));
  b.effect->PresetMenuCommand(nullptr, pcLoadPreset);
  EXPECT_EQ(dialogs.Requests[1].Title, "Select which preset to load");
  EXPECT_EQ(dialogs.Requests[1].InitialDir, (dir / "").string());
  EXPECT_EQ(b.module->state, 17);
  EXPECT_EQ(b.Param(0)->CurValue(), 654321);
  EXPECT_EQ(b.Text(effGetProgramName), "My Program");
  bool refreshed = false;
  for (const auto& c : log.calls) refreshed |= c[0] == audioMasterUpdateDisplay;
  EXPECT_TRUE(refreshed);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PresetFileTest, BankFileRoundTrip) {
  Instance a;
  a.Dispatch(effSetProgram, 0, 3);
  a.module->state = 23;
  dialogs.Choose(File("b.fxb"));
  a.effect->PresetMenuCommand(nullptr, pcSaveBank);
  std::vector<uint8_t> f = Read(File("b.fxb"));
  ASSERT_GE(f.size(), 160u);
  EXPECT_EQ(std::memcmp(f.data() + 8, "FBCh", 4), 0);
  EXPECT_EQ(BE(f, 24), 4u);
  for (size_t i = 28; i < 156; ++i) EXPECT_EQ(f[i], 0);
  EXPECT_EQ(BE(f, 156), f.size() - 160);
  EXPECT_EQ(BE(f, 4), f.size() - 8);
  hostkit::PresetFile parsed;
  std::string why;
  ASSERT_TRUE(hostkit::DecodePresetFile(f, hostkit::PresetKind::Bank, FourCC("KsEf"), parsed, why)) << why;
  EXPECT_EQ(parsed.Count, 4);
  Instance b;
  dialogs.Choose(File("b.fxb"));
  b.effect->PresetMenuCommand(nullptr, pcLoadBank);
  b.Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(b.module->state, 23);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PresetFileTest, BrokenFilesGiveTheirMessageAndChangeNothing) {
  std::vector<uint8_t> good;
  {
    Instance a;
    a.module->state = 3;
    dialogs.Choose(File("good.fxp"));
    a.effect->PresetMenuCommand(nullptr, pcSavePreset);
    good = Read(File("good.fxp"));
  }
  auto with = [&](auto edit) {
    std::vector<uint8_t> b = good;
    edit(b);
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {"empty", {}, "Error reading file!"},
      {"7 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 7), "Error reading file!"},
      {"cut in header", std::vector<uint8_t>(good.begin(), good.begin() + 30), "Error reading file!"},
      {"cut in chunk", std::vector<uint8_t>(good.begin(), good.end() - 1), "Error reading file!"},
      {"chunk size beyond file", with([&](auto& b) { PutBE(b, 56, BE(b, 56) + 1); }), "Error reading file!"},
      {"chunk size 2^31", with([&](auto& b) { PutBE(b, 56, 0x80000000u); }), "Error reading file!"},
      {"chunk size 4G", with([&](auto& b) { PutBE(b, 56, 0xFFFFFFFFu); }), "Error reading file!"},
      {"wrong magic", with([](auto& b) { b[0] = 'X'; }), "Unrecognized file format!"},
      {"params variant", with([](auto& b) { std::memcpy(b.data() + 8, "FxCk", 4); }),
       "Unrecognized preset file signature!"},
      {"bank kind", with([](auto& b) { std::memcpy(b.data() + 8, "FBCh", 4); }), "Unrecognized preset file signature!"},
      {"other plug-in", with([](auto& b) { std::memcpy(b.data() + 16, "Abcd", 4); }),
       "Selected preset file is not for this plug-in!"},
      {"empty identifier", with([](auto& b) { b[16] = 0; }), nullptr},  // accepted: UniqueIdPrev is empty
      {"all-zero identifier", with([](auto& b) { std::memset(b.data() + 16, 0, 4); }), nullptr},
      {"byte size beyond file", with([](auto& b) { PutBE(b, 4, 0xFFFFFFF0u); }), nullptr},
      {"byte size 0", with([](auto& b) { PutBE(b, 4, 0); }), nullptr},
  };
  for (const Case& c : cases) {
    Write(File("broken.fxp"), c.bytes);
    Instance fx;
    fx.module->state = 77;
    boxes.Clear();
    dialogs.Choose(File("broken.fxp"));
    fx.effect->PresetMenuCommand(nullptr, pcLoadPreset);
    // The render host's reader takes exactly the files the effect takes.
    hostkit::PresetFile parsed;
    std::string why;
    EXPECT_EQ(hostkit::DecodePresetFile(c.bytes, hostkit::PresetKind::Program, FourCC("KsEf"), parsed, why),
              c.message == nullptr)
        << c.what << ": " << why;
    if (!c.message) {
      EXPECT_TRUE(boxes.Boxes().empty()) << c.what;
      EXPECT_EQ(fx.module->state, 3) << c.what;
      continue;
    }
    ASSERT_EQ(boxes.Boxes().size(), 1u) << c.what;
    EXPECT_EQ(boxes.Texts()[0], c.message) << c.what;
    EXPECT_EQ(boxes.Boxes()[0].Caption, "File error");
    EXPECT_EQ(boxes.Boxes()[0].Icon, platform::MB_ICON_ERROR);
    EXPECT_EQ(fx.module->state, 77) << c.what;
  }
  // A bank file's own messages.
  Write(File("broken.fxb"), with([](auto& b) { std::memcpy(b.data() + 8, "FxBk", 4); }));
  Instance fx;
  boxes.Clear();
  dialogs.Choose(File("broken.fxb"));
  fx.effect->PresetMenuCommand(nullptr, pcLoadBank);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Unrecognized bank file signature!"}));
  boxes.Clear();
  dialogs.Choose(File("does-not-exist.fxb"));
  fx.effect->PresetMenuCommand(nullptr, pcLoadBank);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error opening file!"}));
}

TEST_F(PresetFileTest, CancelKeepsTheFolderAndBadTargetsFailCleanly) {
  Instance fx;
  RegWriteString(key, "InitPresetFolder", "C:\\Presets");
  dialogs.Cancel();
  fx.effect->PresetMenuCommand(nullptr, pcLoadPreset);
  EXPECT_EQ(RegReadString(key, "InitPresetFolder"), "C:\\Presets");
  EXPECT_EQ(dialogs.Requests.back().InitialDir, std::string("C:\\Presets") + platform::PathSeparator());
  EXPECT_TRUE(boxes.Boxes().empty());

  dialogs.Choose(File("no-such-folder/x.fxp"));
  fx.effect->PresetMenuCommand(nullptr, pcSavePreset);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error creating file!"}));

  // A failed save never spoils the file that was there.
  Write(File("keep.fxp"), {1, 2, 3});
  fs::create_directories(File("keep.fxp.tmp"));  // the temporary cannot be created
  boxes.Clear();
  dialogs.Choose(File("keep.fxp"));
  fx.effect->PresetMenuCommand(nullptr, pcSavePreset);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error creating file!"}));
  EXPECT_EQ(Read(File("keep.fxp")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(PresetFileTest, ReplacingAFileKeepsTheOldOneWhenTheMoveFails) {
  struct Case {
    const char* what;
    bool sourceExists;
    bool targetExists;
    bool replaced;
  } cases[] = {
      {"over an existing file", true, true, true},
      {"to a new name", true, false, true},
      {"from a missing file", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(File("new"));
    fs::remove(File("old"));
    if (c.sourceExists) Write(File("new"), {4, 5});
    if (c.targetExists) Write(File("old"), {1, 2, 3});
    std::string why;
    EXPECT_EQ(platform::ReplaceFileWith(File("new"), File("old"), why), c.replaced);
    EXPECT_EQ(why.empty(), c.replaced);
    const std::vector<uint8_t> expected = c.replaced ? std::vector<uint8_t>{4, 5} : std::vector<uint8_t>{1, 2, 3};
    EXPECT_EQ(Read(File("old")), expected);
    EXPECT_FALSE(c.replaced && fs::exists(File("new")));
  }
}

TEST_F(PresetFileTest, SeveralOutputsAreCommittedAllOrNone) {
  Write(File("a"), {1});
  Write(File("b"), {2});
  auto stage = [this](hostkit::PendingFile& f, const char* target, uint8_t byte) {
    std::string why;
    ASSERT_TRUE(f.Create(File(target), why)) << why;
    ASSERT_TRUE(f.Write({byte}, why)) << why;
  };
  auto names = [this] {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(dir)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  };
  {
    // "a" over an old file, "new" to a fresh name, then "c", which became a
    // folder after its temporary file was made: nothing stays replaced.
    hostkit::PendingFile a, fresh, c;
    stage(a, "a", 10);
    stage(fresh, "new", 11);
    stage(c, "c", 12);
    fs::create_directories(File("c/inside"));
    std::string why;
    EXPECT_FALSE(hostkit::CommitAll({&a, &fresh, &c}, why));
    EXPECT_NE(why.find(File("c")), std::string::npos) << why;
  }
  EXPECT_EQ(Read(File("a")), (std::vector<uint8_t>{1}));
  EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "c"}));
  {
    hostkit::PendingFile a, b;
    stage(a, "a", 10);
    stage(b, "b", 20);
    std::string why;
    EXPECT_TRUE(hostkit::CommitAll({&a, &b}, why)) << why;
  }
  EXPECT_EQ(Read(File("a")), (std::vector<uint8_t>{10}));
  EXPECT_EQ(Read(File("b")), (std::vector<uint8_t>{20}));
  EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "c"}));  // no kept copies left
}

TEST_F(PresetFileTest, SavingOverAFileReplacesItOrLeavesItAlone) {
  Instance fx;
  dialogs.Choose(File("fresh.fxp"));
  fx.effect->PresetMenuCommand(nullptr, pcSavePreset);
  Write(File("over.fxp"), {1, 2, 3});
  dialogs.Choose(File("over.fxp"));
  fx.effect->PresetMenuCommand(nullptr, pcSavePreset);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(Read(File("over.fxp")), Read(File("fresh.fxp")));
  EXPECT_FALSE(fs::exists(File("over.fxp.tmp")));

  // A target the new file cannot replace: the save fails and leaves it alone.
  fs::create_directories(File("busy.fxp"));
  Write(File("busy.fxp/inside"), {7});
  dialogs.Choose(File("busy.fxp"));
  fx.effect->PresetMenuCommand(nullptr, pcSavePreset);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Error writing file!"}));
  EXPECT_EQ(Read(File("busy.fxp/inside")), (std::vector<uint8_t>{7}));
  EXPECT_FALSE(fs::exists(File("busy.fxp.tmp")));
}

}  // namespace
}  // namespace hosttest
