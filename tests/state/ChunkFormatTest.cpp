// Byte layouts and round trips of program and bank chunks. Expected bytes are
// built here from the format, with zlib's own crc32, compress2 and inflate.
#include <gtest/gtest.h>

#include <memory>

#include "params/state/MemoryBuffer.h"
#include "params/state/PresetMan.h"
#include "tests/state/StateTestUtil.h"

using namespace statetest;

namespace {

struct ChunkDeleter {
  void operator()(uint8_t* p) const { FreeChunk(p); }
};
using Chunk = std::unique_ptr<uint8_t[], ChunkDeleter>;

Bytes programChunk(const TPresetObject& p) {
  uint32_t n = 0;
  Chunk c(p.WriteChunk(n));
  return Bytes(c.get(), c.get() + n);
}
Bytes bankChunk(const TBankObject& b) {
  uint32_t n = 0;
  Chunk c(b.WriteChunk(n));
  return Bytes(c.get(), c.get() + n);
}

TEST(ProgramChunk, LayoutHeaderCrcAndLevel9Payload) {
  TPresetObject p;
  p.Version = 2;
  p.SetSingle("MainOut", 0, 0.5f);
  p.SetInteger("_CurEnv", 0, 4);
  const uint8_t pts[] = {0, 0, 0, 0, 0, 0, 0x80, 0x3F};
  p.SetBlock("_EnvPoints", 3, pts, sizeof pts);
  Bytes chunk = programChunk(p);

  std::vector<Entry> expected = {
      {"MAINOUT [0]", 1, F32(0.5f)}, {"_CURENV [0]", 3, I32(4)}, {"_ENVPOINTS [3]", 2, Bytes(pts, pts + sizeof pts)}};
  Bytes plain = EncodeEntries(expected);
  Bytes packed = Deflate(plain, 9);
  ASSERT_EQ(chunk.size(), 1024u);
  Bytes header = ProgramHeader(1024 - 20, 3, 2, 1);
  EXPECT_EQ(Bytes(chunk.begin(), chunk.begin() + 20), header);
  EXPECT_EQ(Bytes(chunk.begin() + 20, chunk.begin() + 20 + static_cast<long>(packed.size())), packed);
  for (size_t i = 20 + packed.size(); i < chunk.size(); ++i) ASSERT_EQ(chunk[i], 0) << i;
}

// Programs whose compressed payload plus header hits a given total exactly:
// one incompressible block, its size searched with zlib's compress2.
TEST(ProgramChunk, BlockSizeRounding) {
  struct Case {
    uint32_t total;
    uint32_t block;
  };
  const Case cases[] = {{799, 1024},  {800, 2048},  {1499, 2048}, {1500, 4096}, {2999, 4096},
                        {3000, 8192}, {5999, 8192}, {6000, 6000}, {6001, 6001}, {20000, 20000}};
  Bytes noise = Random(25000, 77);
  for (Case c : cases) {
    size_t n = 0;
    for (size_t guess = c.total > 60 ? c.total - 60 : 0; guess < c.total; ++guess) {
      std::vector<Entry> e = {{"B [0]", 2, Bytes(noise.begin(), noise.begin() + static_cast<long>(guess))}};
      if (Deflate(EncodeEntries(e), 9).size() + 20 == c.total) {
        n = guess;
        break;
      }
    }
    ASSERT_NE(n, 0u) << "no block size gives total " << c.total;
    TPresetObject p;
    p.SetBlock("B", 0, noise.data(), static_cast<uint32_t>(n));
    Bytes chunk = programChunk(p);
    EXPECT_EQ(chunk.size(), c.block) << c.total;
    EXPECT_EQ(Get32(chunk.data() + 4), c.block - 20) << c.total;

    TPresetObject back;
    EXPECT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
    EXPECT_EQ(Snapshot(back), Snapshot(p));
    // One byte short of the declared payload is refused.
    EXPECT_FALSE(back.ReadChunk(chunk.data(), chunk.size() - 1)) << c.total;
  }
}

TEST(ProgramChunk, RoundTripKeepsEntriesKindsOrderAndVersion) {
  TPresetObject p;
  FillSample(p, 11);
  p.Version = 0xFE;
  for (int i = 0; i < 300; ++i) p.SetSingle("Many", i, static_cast<float>(i) * 0.25f);
  Bytes chunk = programChunk(p);
  TPresetObject back;
  back.SetInteger("Stale", 0, 1);
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(back.Version, 0xFE);
  EXPECT_EQ(Snapshot(back), Snapshot(p));
  EXPECT_EQ(back.GetInteger("Stale", 0, -1), -1);
  EXPECT_EQ(back.GetSingle("many", 299, 0.f), 74.75f);
  // Re-encoding the decoded program gives the same chunk.
  EXPECT_EQ(programChunk(back), chunk);
}

TEST(ProgramChunk, EmptyProgramRoundTrips) {
  TPresetObject p;
  Bytes chunk = programChunk(p);
  EXPECT_EQ(chunk.size(), 1024u);
  TPresetObject back;
  FillSample(back, 1);
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(back.EntryCount(), 0);
  EXPECT_EQ(back.Version, 0);
}

TEST(ProgramChunk, PlainPayloadReads) {
  std::vector<Entry> entries = sampleEntriesFor(3);
  entries.push_back({"ODDKIND [0]", 7, {1, 2, 3}});  // unknown kinds are kept as they are
  Bytes chunk = PlainProgram(entries, 5);
  Append(chunk, Bytes(37, 0xEE));  // bytes after the entries are not looked at
  TPresetObject back;
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(back.Version, 5);
  EXPECT_EQ(Snapshot(back), entries);
  EXPECT_EQ(back.GetInteger("ODDKIND", 0, -9), -9);
}

TEST(ProgramChunk, WriteToStreamIsThePlainFormWithExactSize) {
  TPresetObject p;
  FillSample(p, 4);
  TMemoryBuffer out(2048);
  uint8_t lead = 0x55;
  out.Write(&lead, 1);
  p.WriteToStream(out);
  Bytes got(static_cast<size_t>(out.Size()) - 1);
  out.SetPosition(1);
  out.Read(got.data(), static_cast<int32_t>(got.size()));
  EXPECT_EQ(got, PlainProgram(Snapshot(p), 2));

  // And back through the stream reader, which stops after the entries.
  uint8_t tail[3] = {9, 9, 9};
  out.SetPosition(out.Size());
  out.Write(tail, 3);
  out.SetPosition(1);
  TPresetObject back;
  ASSERT_TRUE(back.ReadFromStream(out));
  EXPECT_EQ(Snapshot(back), Snapshot(p));
  EXPECT_EQ(back.Version, 2);
  EXPECT_EQ(out.Position(), out.Size() - 3);
}

TEST(ProgramChunk, StreamReaderWithBrokenHeaderStopsAfterIt) {
  TPresetObject p;
  FillSample(p, 4);
  Bytes bytes = PlainProgram(Snapshot(p), 2);
  bytes[16] ^= 1;  // CRC
  TMemoryBuffer in(2048);
  in.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  in.SetPosition(0);
  TPresetObject target;
  FillSample(target, 9);
  auto before = Snapshot(target);
  EXPECT_FALSE(target.ReadFromStream(in));
  EXPECT_EQ(in.Position(), 20);
  EXPECT_EQ(Snapshot(target), before);
  EXPECT_EQ(target.Version, 2);
}

// A bank of two programs and a node without one, names kept as given.
struct BankFixture : ::testing::Test {
  TBankObject bank;
  void SetUp() override {
    bank.Root()->Name = "Root bank";
    TBankObjectItem* a = bank.Add(nullptr, true);
    a->Name = "Radio Mix";
    FillSample(*a->Program(), 1);
    TBankObjectItem* b = bank.Add(nullptr, true);
    b->Name = "deeper";
    FillSample(*b->Program(), 2);
    b->Program()->Version = 7;
    TBankObjectItem* folder = bank.Add(b, false);
    folder->Name = "folder";
    bank.Add(folder, true)->Name = "";
  }
};

TEST_F(BankFixture, LayoutIsLevel1StreamOfTheNodeTree) {
  Bytes chunk = bankChunk(bank);
  ASSERT_GE(chunk.size(), 16u);
  Bytes header = {'K', 'S', 'B', 0x1A};
  Put32(header, static_cast<uint32_t>(chunk.size() - 16));
  Put32(header, 0);
  Put32(header, 0);
  Reseal(header, 16);
  EXPECT_EQ(Bytes(chunk.begin(), chunk.begin() + 16), header);

  Bytes nodes = NodeHead(2, "Root bank", false);
  Append(nodes, NodeHead(0, "Radio Mix", true));
  Append(nodes, PlainProgram(Snapshot(*bank.Program(0)), 2));
  Append(nodes, NodeHead(1, "deeper", true));
  Append(nodes, PlainProgram(Snapshot(*bank.Program(1)), 7));
  Append(nodes, NodeHead(1, "folder", false));
  Append(nodes, NodeHead(0, "", true));
  Append(nodes, PlainProgram({}, 0));
  Bytes payload(chunk.begin() + 16, chunk.end());
  EXPECT_EQ(payload, Deflate(nodes, 1));
  bool ended = false;
  EXPECT_EQ(Inflate(payload.data(), payload.size(), &ended), nodes);
  EXPECT_TRUE(ended);
}

TEST_F(BankFixture, RoundTripReproducesTheTree) {
  Bytes chunk = bankChunk(bank);
  TBankObject back;
  back.Add(nullptr, true)->Name = "stale";
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(Describe(back), Describe(bank));
  EXPECT_EQ(back.ProgramCount(), 2);
  EXPECT_EQ(back.Program(1)->Version, 7);
  EXPECT_EQ(bankChunk(back), chunk);
}

TEST_F(BankFixture, NestedProgramWithBrokenHeaderIsEmptyAndReadingGoesOn) {
  Bytes good = PlainProgram(Snapshot(*bank.Program(0)), 2);
  Bytes broken = ProgramHeader(0, 0, 3, 0);
  broken[0] = 'X';  // wrong magic (CRC resealed, so only the magic fails)
  Reseal(broken, 20);
  Bytes nodes = NodeHead(2, "Default", false);
  Append(nodes, NodeHead(0, "broken", true));
  Append(nodes, broken);
  Append(nodes, NodeHead(0, "good", true));
  Append(nodes, good);
  Bytes chunk = BankChunk(nodes);
  TBankObject back;
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  ASSERT_EQ(back.ProgramCount(), 2);
  EXPECT_EQ(back.Root()->Child(0)->Name, "broken");
  ASSERT_NE(back.Program(0), nullptr);
  EXPECT_EQ(back.Program(0)->EntryCount(), 0);
  EXPECT_EQ(back.Program(0)->Version, 0);
  EXPECT_EQ(back.Root()->Child(1)->Name, "good");
  EXPECT_EQ(Snapshot(*back.Program(1)), Snapshot(*bank.Program(0)));
}

TEST(BankChunk, NestedCompressedProgramAndRootProgramRead) {
  // The writers never produce these, but the form allows them: a root with a
  // program, and a nested program carried as its own zlib stream.
  TPresetObject p;
  FillSample(p, 6);
  Bytes packed = Deflate(EncodeEntries(Snapshot(p)), 9);
  Bytes nested = ProgramHeader(static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(p.EntryCount()), 2, 1);
  Append(nested, packed);
  Bytes nodes = NodeHead(2, "Default", true);
  Append(nodes, PlainProgram({{"X [0]", 3, I32(5)}}, 1));
  Append(nodes, NodeHead(0, "zipped", true));
  Append(nodes, nested);
  // Reading goes on right after the nested stream's last byte.
  Append(nodes, NodeHead(0, "after", true));
  Append(nodes, PlainProgram({{"Y [1]", 1, F32(2.5f)}}, 2));
  Bytes chunk = BankChunk(nodes);
  TBankObject back;
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  ASSERT_NE(back.Root()->Program(), nullptr);
  EXPECT_EQ(back.Root()->Program()->GetInteger("x", 0, 0), 5);
  ASSERT_EQ(back.ProgramCount(), 2);
  EXPECT_EQ(Snapshot(*back.Program(0)), Snapshot(p));
  EXPECT_EQ(back.Root()->Child(1)->Name, "after");
  EXPECT_EQ(back.Program(1)->GetSingle("y", 1, 0.f), 2.5f);
}

TEST(BankChunk, EmptyBankRoundTrips) {
  TBankObject bank;
  Bytes chunk = bankChunk(bank);
  TBankObject back;
  back.Add(nullptr, true);
  ASSERT_TRUE(back.ReadChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(back.ProgramCount(), 0);
  EXPECT_EQ(back.Root()->Name, "Default");
  EXPECT_EQ(back.Root()->Program(), nullptr);
}

}  // namespace
