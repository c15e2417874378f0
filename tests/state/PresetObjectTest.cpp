// Typed entry access of programs and the bank tree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "params/state/PresetMan.h"

namespace {

TEST(PresetObject, TypedRoundTripAndInsertionOrder) {
  TPresetObject p;
  p.SetSingle("MainOut", 0, 0.5f);
  p.SetInteger("_Ordering", 3, -1);
  const uint8_t blob[] = {1, 2, 3, 4, 5};
  p.SetBlock("_EnvPoints", 7, blob, sizeof blob);

  EXPECT_EQ(p.GetSingle("MainOut", 0, -1.f), 0.5f);
  EXPECT_EQ(p.GetInteger("_Ordering", 3, 99), -1);
  uint32_t size = 0;
  const void* data = p.GetBlock("_EnvPoints", 7, size);
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(std::memcmp(data, blob, size), 0);

  ASSERT_EQ(p.EntryCount(), 3);
  EXPECT_EQ(p.EntryName(0), "MAINOUT [0]");
  EXPECT_EQ(p.EntryName(1), "_ORDERING [3]");
  EXPECT_EQ(p.EntryName(2), "_ENVPOINTS [7]");
  EXPECT_EQ(p.EntryKind(0), pekSingle);
  EXPECT_EQ(p.EntryKind(1), pekInteger);
  EXPECT_EQ(p.EntryKind(2), pekBlock);
}

TEST(PresetObject, KindMismatchReadsAsAbsent) {
  TPresetObject p;
  p.SetSingle("MainOut", 0, 0.25f);
  EXPECT_EQ(p.GetInteger("MAINOUT", 0, 1234), 1234);
  uint32_t size = 77;
  EXPECT_EQ(p.GetBlock("mainout", 0, size), nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(p.GetSingle("mainOUT", 0, -1.f), 0.25f);
  // Another index is another entry.
  EXPECT_EQ(p.GetSingle("MainOut", 1, -1.f), -1.f);
}

TEST(PresetObject, SetterOfAnotherKindOverwritesInPlace) {
  TPresetObject p;
  p.SetSingle("A", 0, 1.f);
  p.SetInteger("B", 0, 2);
  p.SetInteger("a", 0, 7);
  ASSERT_EQ(p.EntryCount(), 2);
  EXPECT_EQ(p.EntryName(0), "A [0]");
  EXPECT_EQ(p.EntryKind(0), pekInteger);
  EXPECT_EQ(p.GetInteger("A", 0, 0), 7);
  EXPECT_EQ(p.GetSingle("A", 0, -1.f), -1.f);
}

TEST(PresetObject, CaseFoldingChangesOnlyAsciiLetters) {
  struct Case {
    const char* set;
    const char* get;
    bool same;
  };
  const Case cases[] = {
      {"abcxyz", "ABCXYZ", true}, {"Env_Pts", "ENV_PTS", true},
      {"a@", "A@", true},         {"a`", "A@", false},  // 0x60 is not a letter; 0x40 is its upper neighbour
      {"a{", "A[", false},                              // 0x7B vs 0x5B
      {"\xE4x", "\xC4X", false},                        // 8-bit letters are not folded
      {"key1", "KEY 1", false},
  };
  for (const Case& c : cases) {
    TPresetObject p;
    p.SetInteger(c.set, 0, 42);
    EXPECT_EQ(p.GetInteger(c.get, 0, -1) == 42, c.same) << c.set << " / " << c.get;
  }
  TPresetObject p;
  p.SetInteger("\xE4x", 0, 1);
  EXPECT_EQ(p.EntryName(0), "\xE4X [0]");
}

TEST(PresetObject, ManyEntriesShareBucketsWithoutLoss) {
  // 1000 entries over 101 buckets: every chain holds several entries.
  auto key = [](int i, const char* prefix) { return Format("%s%d", prefix, i % 37); };
  TPresetObject p;
  for (int i = 0; i < 1000; ++i) p.SetInteger(key(i, "K"), i, i * 3);
  ASSERT_EQ(p.EntryCount(), 1000);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(p.GetInteger(key(i, "k"), i, -1), i * 3) << i;
    ASSERT_EQ(p.EntryName(i), Format("K%d [%d]", i % 37, i));
  }
}

TEST(PresetObject, BlockGrowsAndShrinksSizeAndEmptyBlockExists) {
  TPresetObject p;
  std::vector<uint8_t> big(5000, 0xAB);
  p.SetBlock("B", 0, big.data(), 5000);
  const uint8_t small[] = {9, 8};
  p.SetBlock("B", 0, small, 2);
  uint32_t size = 0;
  const auto* d = static_cast<const uint8_t*>(p.GetBlock("B", 0, size));
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(d[0], 9);
  EXPECT_EQ(d[1], 8);

  p.SetBlock("E", 0, nullptr, 0);
  size = 5;
  EXPECT_NE(p.GetBlock("E", 0, size), nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(PresetObject, ClearAndAssign) {
  TPresetObject p;
  p.Version = 2;
  p.SetSingle("X", 0, 1.5f);
  p.SetBlock("Y", 1, "abc", 3);

  TPresetObject q;
  q.SetInteger("Z", 0, 5);
  q.Assign(p);
  EXPECT_EQ(q.Version, 2);
  ASSERT_EQ(q.EntryCount(), 2);
  EXPECT_EQ(q.GetSingle("X", 0, 0.f), 1.5f);
  EXPECT_EQ(q.GetInteger("Z", 0, -1), -1);
  uint32_t size = 0;
  const void* y = q.GetBlock("Y", 1, size);
  ASSERT_EQ(size, 3u);
  EXPECT_NE(y, p.GetBlock("Y", 1, size));  // a copy, not shared

  p.Clear();
  EXPECT_EQ(p.EntryCount(), 0);
  EXPECT_EQ(p.Version, 0);
  EXPECT_EQ(p.GetSingle("X", 0, -2.f), -2.f);
  p.SetSingle("X", 0, 3.f);  // buckets really emptied: no stale chain
  EXPECT_EQ(p.EntryCount(), 1);
  EXPECT_EQ(p.GetSingle("X", 0, 0.f), 3.f);
}

TEST(BankObject, TreeAndPrograms) {
  TBankObject bank;
  EXPECT_EQ(bank.Root()->Program(), nullptr);
  EXPECT_EQ(bank.Root()->Name, "Default");
  TBankObjectItem* a = bank.Add(nullptr, true);
  TBankObjectItem* b = bank.Add(nullptr, false);
  bank.Add(a, true)->Name = "nested";
  EXPECT_EQ(bank.ProgramCount(), 2);
  ASSERT_NE(bank.Program(0), nullptr);
  EXPECT_EQ(bank.Program(0)->EntryCount(), 0);
  EXPECT_EQ(bank.Program(1), nullptr);
  EXPECT_EQ(bank.Program(2), nullptr);
  EXPECT_EQ(bank.Program(-1), nullptr);
  EXPECT_EQ(b->Name, "Default");
  EXPECT_EQ(a->ChildCount(), 1);
  bank.Clear();
  EXPECT_EQ(bank.ProgramCount(), 0);
}

}  // namespace
