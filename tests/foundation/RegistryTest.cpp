// Registry helpers over the in-memory store, and the Linux file store's
// damage handling and concurrency.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/RegUtils.h"
#include "platform/testing/TestRegistry.h"

namespace {

const std::string kKey = "Software\\Kestrune\\Kestrune Talvern VST";

TEST(RegUtils, StringsIntegersAndBoolsWithHostileContents) {
  platform::testing::TestRegistry reg;
  EXPECT_EQ(RegReadString(kKey, "Missing"), "");
  EXPECT_EQ(RegReadInteger(kKey, "Missing", 7), 7);
  RegWriteString(kKey, "Speed", "5");
  EXPECT_EQ(RegReadInteger(kKey, "Speed", 0), 5);
  uint32_t type;
  std::string bytes;
  ASSERT_TRUE(reg.Get(kKey, "Speed", type, bytes));
  EXPECT_EQ(type, platform::REG_TYPE_SZ);
  EXPECT_EQ(bytes, std::string("5\0", 2));  // length + 1
  RegWriteString(kKey, "Empty", "");
  ASSERT_TRUE(reg.Get(kKey, "Empty", type, bytes));
  EXPECT_EQ(bytes, std::string(1, '\0'));

  struct Case {
    std::string stored;
    int asInt;
    bool asBool;
  } cases[] = {
      {std::string("12\0", 3), 12, true},
      {std::string("0\0", 2), 0, false},
      {std::string("-3\0", 3), -3, true},
      {std::string("abc\0", 4), 99, true},
      {std::string("", 0), 99, true},
      {std::string("5x\0", 3), 99, true},
      {std::string("7", 1), 7, true},  // stored without its zero
      {std::string("99999999999\0", 12), 99, true},
  };
  for (const Case& c : cases) {
    reg.Put(kKey, "V", platform::REG_TYPE_SZ, c.stored);
    EXPECT_EQ(RegReadInteger(kKey, "V", 99), c.asInt) << c.stored;
    EXPECT_EQ(RegReadBool(kKey, "V", true), c.asBool) << c.stored;
  }
  // A binary value read as text ends at its first zero.
  reg.Put(kKey, "Bin", platform::REG_TYPE_BINARY, std::string("4\0zz", 4));
  EXPECT_EQ(RegReadInteger(kKey, "Bin", 0), 4);
  RegWriteBool(kKey, "Flag", true);
  EXPECT_EQ(RegReadString(kKey, "Flag"), "1");
  EXPECT_EQ(reg.OpenKeys(), 0);  // every helper closed its key
}

TEST(RegUtils, BinaryNeedsTheExactSize) {
  platform::testing::TestRegistry reg;
  const char data[4] = {1, 2, 3, 4};
  RegWriteBinary(kKey, "Blob", data, 4);
  char out[5] = {};
  EXPECT_TRUE(RegReadBinary(kKey, "Blob", out, 4));
  EXPECT_EQ(std::string(out, 4), std::string(data, 4));
  EXPECT_FALSE(RegReadBinary(kKey, "Blob", out, 3));
  EXPECT_FALSE(RegReadBinary(kKey, "Blob", out, 5));
  EXPECT_FALSE(RegReadBinary(kKey, "None", out, 4));
  RegRemoveValue(kKey, "Blob");
  EXPECT_FALSE(reg.Has(kKey, "Blob"));
  reg.FailWrites = true;  // a store that refuses writes: silent
  RegWriteString(kKey, "X", "1");
  EXPECT_FALSE(reg.Has(kKey, "X"));
  EXPECT_EQ(reg.OpenKeys(), 0);
}

TEST(RegUtils, SwapAndVersionText) {
  uint32_t v = 0x01020304;
  SwapBytes32(v);
  EXPECT_EQ(v, 0x04030201u);
  struct Case {
    uint32_t version;
    const char* text;
  } cases[] = {{0x10203, "v1.2.3"}, {0x10200, "v1.2"}, {0x20A00, "v2.10"}, {0x20A01, "v2.10.1"}, {132353, "v2.5.1"}};
  for (const Case& c : cases) EXPECT_EQ(FormatVersion(c.version), c.text);
}

#if !defined(_WIN32)
// The Linux store lives in files; point it at a fresh folder per test.
class FileStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("kesreg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    setenv("KESTRUNE_CONFIG_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KESTRUNE_CONFIG_DIR");
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path KeyFile() const { return dir / "Software" / "Kestrune" / "Kestrune Talvern VST.reg"; }
  std::filesystem::path dir;
};

TEST_F(FileStoreTest, ValuesPersistAndDamageReadsAsMissingThenIsRepaired) {
  RegWriteString(kKey, "Good", "42");
  const char blob[3] = {0, 1, 2};
  RegWriteBinary(kKey, "Blob", blob, 3);
  ASSERT_TRUE(std::filesystem::exists(KeyFile()));
  EXPECT_EQ(RegReadInteger(kKey, "Good", 0), 42);
  char out[3];
  EXPECT_TRUE(RegReadBinary(kKey, "Blob", out, 3));

  {  // damage: a garbage line in the middle and a truncated last line
    std::ifstream in(KeyFile());
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ofstream outFile(KeyFile(), std::ios::trunc);
    outFile << content << "garbage line without fields\n1 5a7a 3\x01\xff";
  }
  EXPECT_EQ(RegReadInteger(kKey, "Good", 0), 42);
  RegWriteString(kKey, "New", "1");  // rewrites the file without the damage
  EXPECT_EQ(RegReadInteger(kKey, "Good", 0), 42);
  EXPECT_TRUE(RegReadBinary(kKey, "Blob", out, 3));
  EXPECT_EQ(RegReadString(kKey, "New"), "1");

  {  // a wholly foreign file reads as empty and is replaced on the next write
    std::ofstream outFile(KeyFile(), std::ios::trunc | std::ios::binary);
    outFile << std::string("\x00\x01\x02 not a store", 15);
  }
  EXPECT_EQ(RegReadString(kKey, "Good"), "");
  RegWriteString(kKey, "Good", "7");
  EXPECT_EQ(RegReadInteger(kKey, "Good", 0), 7);
}

TEST_F(FileStoreTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) RegWriteString(kKey, "T" + std::to_string(t) + "_" + std::to_string(i), "v");
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i) EXPECT_EQ(RegReadString(kKey, "T" + std::to_string(t) + "_" + std::to_string(i)), "v");
}

TEST_F(FileStoreTest, MissingParentFoldersAreCreated) {
  struct Case {
    const char* variable;  // the one variable that names the store
    std::filesystem::path value;
    std::filesystem::path store;  // where the store's folder is then
    std::filesystem::path firstMissing;
  } cases[] = {
      {"KESTRUNE_CONFIG_DIR", dir / "a" / "b" / "store", dir / "a" / "b" / "store", dir / "a"},
      {"XDG_CONFIG_HOME", dir / "x" / "config", dir / "x" / "config" / "kestrune", dir / "x"},
      {"HOME", dir / "home" / "user", dir / "home" / "user" / ".config" / "kestrune", dir / "home"},
  };
  const char* names[] = {"KESTRUNE_CONFIG_DIR", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::pair<std::string, std::string>> saved;
  for (const char* n : names)
    if (const char* v = std::getenv(n)) saved.emplace_back(n, v);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable);
    std::filesystem::remove_all(dir);
    for (const char* n : names) unsetenv(n);
    setenv(c.variable, c.value.c_str(), 1);
    RegWriteString(kKey, "Value", "3");
    EXPECT_EQ(RegReadInteger(kKey, "Value", 0), 3);
    EXPECT_TRUE(std::filesystem::is_regular_file(c.store / "Software" / "Kestrune" / "Kestrune Talvern VST.reg"));
    EXPECT_EQ(std::filesystem::status(c.firstMissing).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
  }
  for (const char* n : names) unsetenv(n);
  for (const auto& [n, v] : saved) setenv(n.c_str(), v.c_str(), 1);
}

TEST_F(FileStoreTest, UnparseableFilesAreKeptAsideBeforeAWrite) {
  // "Good" = "42" as a string value, in the store's own line format.
  const std::string good = "1 476f6f64 343200";
  struct Case {
    const char* what;
    std::string content;
    bool earlierCopy;       // a "<file>.damaged" from an earlier repair exists
    const char* goodValue;  // what "Good" reads before and after the write
    const char* keptAs;     // the copy of the old content, or none
  } cases[] = {
      {"valid", "KESREG 1\n" + good + "\n", false, "42", nullptr},
      {"crlf", "KESREG 1\r\n" + good + "\r\n", false, "42", nullptr},
      {"crlf without last break", "KESREG 1\r\n" + good, false, "42", nullptr},
      {"damaged header", "KESREG 9\n" + good + "\n", false, "", ".damaged"},
      {"damaged header, earlier copy", "KESREG\n" + good + "\n", true, "", ".damaged.1"},
      {"damaged line", "KESREG 1\n" + good + "\nnot a value\n", false, "42", ".damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(KeyFile().parent_path());
    auto put = [](const std::filesystem::path& f, const std::string& text) {
      std::ofstream(f, std::ios::binary | std::ios::trunc) << text;
    };
    auto get = [](const std::filesystem::path& f) {
      std::ifstream in(f, std::ios::binary);
      return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    auto countCopies = [this] {
      int n = 0;
      for (const auto& e : std::filesystem::directory_iterator(KeyFile().parent_path()))
        n += e.path().filename().string().find(".damaged") != std::string::npos;
      return n;
    };
    const std::string earlier = "an earlier kept copy";
    put(KeyFile(), c.content);
    if (c.earlierCopy) put(KeyFile().string() + ".damaged", earlier);
    EXPECT_EQ(RegReadString(kKey, "Good"), c.goodValue);

    RegWriteString(kKey, "New", "1");
    EXPECT_EQ(RegReadString(kKey, "New"), "1");
    EXPECT_EQ(RegReadString(kKey, "Good"), c.goodValue);
    if (c.earlierCopy) {
      EXPECT_EQ(get(KeyFile().string() + ".damaged"), earlier);
    }
    const int copies = countCopies();
    if (c.keptAs) {
      EXPECT_EQ(get(KeyFile().string() + c.keptAs), c.content);
      EXPECT_EQ(copies, c.earlierCopy ? 2 : 1);
    } else {
      EXPECT_EQ(copies, 0);
    }
    RegWriteString(kKey, "New", "2");  // the repaired file needs no further copy
    EXPECT_EQ(RegReadString(kKey, "New"), "2");
    EXPECT_EQ(countCopies(), copies);
  }
}

TEST_F(FileStoreTest, KeyPathsCannotEscapeTheStore) {
  RegWriteString("Software\\..\\..\\Escape", "X", "1");
  RegWriteString("Software\\\\Empty", "X", "1");
  EXPECT_FALSE(std::filesystem::exists(dir.parent_path() / "Escape.reg"));
  EXPECT_EQ(RegReadString("Software\\..\\..\\Escape", "X"), "");
}
#endif

}  // namespace
