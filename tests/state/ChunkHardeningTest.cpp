// Hostile and damaged chunks: every reader returns false, reads nothing
// outside the block, allocates boundedly and leaves its object as it was.
#include <gtest/gtest.h>

#include <memory>

#include "params/state/PresetMan.h"
#include "tests/state/StateTestUtil.h"

using namespace statetest;

namespace {

struct ProgramTarget : ::testing::Test {
  TPresetObject target;
  std::vector<Entry> before;
  void SetUp() override {
    FillSample(target, 21);
    target.Version = 9;
    before = Snapshot(target);
  }
  // Reads a copy of exactly the given bytes (so ASan sees any overread).
  bool Read(const Bytes& chunk, size_t length) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[length ? length : 1]);
    std::memcpy(exact.get(), chunk.data(), length);
    return target.ReadChunk(exact.get(), length);
  }
  bool Read(const Bytes& chunk) { return Read(chunk, chunk.size()); }
  void ExpectUnchanged() {
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_EQ(target.Version, 9);
  }
};

Bytes writtenProgram() {
  TPresetObject p;
  FillSample(p, 5);
  uint32_t n = 0;
  uint8_t* c = p.WriteChunk(n);
  Bytes out(c, c + n);
  FreeChunk(c);
  return out;
}

TEST_F(ProgramTarget, TruncatedAtEveryLength) {
  Bytes compressed = writtenProgram();
  Bytes plain = PlainProgram(sampleEntriesFor(5), 2);
  for (const Bytes* chunk : {&compressed, &plain}) {
    ASSERT_TRUE(TPresetObject().ReadChunk(chunk->data(), chunk->size()));
    for (size_t len = 0; len < chunk->size(); ++len) ASSERT_FALSE(Read(*chunk, len)) << len;
  }
  EXPECT_FALSE(target.ReadChunk(nullptr, 100));
  ExpectUnchanged();
}

// Header fields changed with the CRC resealed (so only the field's check can
// refuse it), and damaged CRCs.
TEST_F(ProgramTarget, BadHeaders) {
  Bytes good = PlainProgram(sampleEntriesFor(5), 2);
  const uint32_t payload = static_cast<uint32_t>(good.size() - 20);
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;  // 32-bit little-endian field at `at`, or one byte when at >= 12
  };
  const Case cases[] = {
      {"magic", 0, 0x1A53454B ^ 0x20},  // "kES"
      {"magic terminator", 0, 0x0053454B},
      {"payload one past the block", 4, payload + 1},
      {"payload 2^31", 4, 0x80000000u},
      {"payload 2^32-1", 4, 0xFFFFFFFFu},
      {"one entry too many", 8, 6},
      {"entry count 2^31", 8, 0x80000000u},
      {"entry count 2^32-1", 8, 0xFFFFFFFFu},
      {"compressed flag 2", 15, 2},
      {"compressed flag set on plain data", 15, 1},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    if (c.at >= 12)
      bad[c.at] = static_cast<uint8_t>(c.value);
    else
      Set32(bad, c.at, c.value);
    Reseal(bad, 20);
    EXPECT_FALSE(Read(bad)) << c.what;
  }
  for (size_t byte = 0; byte < 20; ++byte) {
    Bytes bad = good;
    bad[byte] ^= 0x10;  // no reseal: the CRC no longer matches
    EXPECT_FALSE(Read(bad)) << byte;
  }
  ExpectUnchanged();
  // The reserved field is covered by the CRC but otherwise ignored.
  Bytes reserved = good;
  reserved[12] = 0xAB;
  Reseal(reserved, 20);
  EXPECT_TRUE(Read(reserved));
}

// Entries whose sizes point past the data, plain and compressed.
TEST_F(ProgramTarget, EntrySizesPastTheData) {
  struct Case {
    const char* what;
    uint16_t nameLength;
    uint32_t dataSize;
    size_t nameBytes;
    size_t dataBytes;
  };
  const Case cases[] = {
      {"data one past", 5, 5, 5, 4},         {"data 2^31", 5, 0x80000000u, 5, 4},
      {"data 2^32-1", 5, 0xFFFFFFFFu, 5, 4}, {"name longer than the data", 0xFFFF, 4, 5, 4},
      {"name one past", 6, 0, 5, 0},
  };
  for (const Case& c : cases) {
    Bytes entries;
    Append(entries, EncodeEntries({{"A [0]", 3, I32(1)}}));
    Put16(entries, c.nameLength);
    Put16(entries, 2);
    Put32(entries, c.dataSize);
    Append(entries, Bytes(c.nameBytes, 'N'));
    Append(entries, Bytes(c.dataBytes, 0xDD));
    for (bool zipped : {false, true}) {
      Bytes payload = zipped ? Deflate(entries, 9) : entries;
      Bytes chunk = ProgramHeader(static_cast<uint32_t>(payload.size()), 2, 2, zipped ? 1 : 0);
      Append(chunk, payload);
      EXPECT_FALSE(Read(chunk)) << c.what << (zipped ? " (compressed)" : "");
    }
  }
  ExpectUnchanged();
}

TEST_F(ProgramTarget, BrokenZlibStreams) {
  Bytes entries = EncodeEntries(sampleEntriesFor(5));
  Bytes packed = Deflate(entries, 9);
  auto chunkOf = [](const Bytes& payload, uint32_t count) {
    Bytes chunk = ProgramHeader(static_cast<uint32_t>(payload.size()), count, 2, 1);
    Append(chunk, payload);
    return chunk;
  };
  const uint32_t count = static_cast<uint32_t>(sampleEntriesFor(5).size());
  ASSERT_TRUE(TPresetObject().ReadChunk(chunkOf(packed, count).data(), chunkOf(packed, count).size()));

  // Ends early, the rest of the declared payload zero padding.
  for (size_t keep : {size_t{0}, size_t{2}, packed.size() / 2, packed.size() - 4, packed.size() - 1}) {
    Bytes cut(packed.begin(), packed.begin() + static_cast<long>(keep));
    cut.resize(packed.size() + 64, 0);
    EXPECT_FALSE(Read(chunkOf(cut, count))) << keep;
  }
  // Garbage: random bytes, a damaged trailer, a damaged zlib header.
  EXPECT_FALSE(Read(chunkOf(Random(600, 3), count)));
  Bytes trailer = packed;
  trailer.back() ^= 1;
  EXPECT_FALSE(Read(chunkOf(trailer, count)));
  Bytes zheader = packed;
  zheader[1] ^= 0x20;
  EXPECT_FALSE(Read(chunkOf(zheader, count)));
  // A stored (level 0) stream is still zlib: read.
  EXPECT_TRUE(Read(chunkOf(Deflate(entries, 0), count)));
}

TEST_F(ProgramTarget, InflationBombIsRefusedWithinTheBudget) {
  // 40 MiB of zeros in one block entry compress to about 40 KB.
  Bytes entries;
  Put16(entries, 5);
  Put16(entries, 2);
  Put32(entries, 40u << 20);
  Append(entries, std::string("B [0]"));
  entries.resize(entries.size() + (40u << 20), 0);
  Bytes packed = Deflate(entries, 9);
  Bytes chunk = ProgramHeader(static_cast<uint32_t>(packed.size()), 1, 2, 1);
  Append(chunk, packed);
  EXPECT_FALSE(Read(chunk));
  ExpectUnchanged();
}

// ---------------------------------------------------------------------------

struct BankTarget : ::testing::Test {
  TBankObject target;
  Bytes before;
  void SetUp() override {
    FillSample(*target.Add(nullptr, true)->Program(), 1);
    target.Add(nullptr, false)->Name = "keep me";
    before = Describe(target);
  }
  bool Read(const Bytes& chunk, size_t length) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[length ? length : 1]);
    std::memcpy(exact.get(), chunk.data(), length);
    return target.ReadChunk(exact.get(), length);
  }
  bool Read(const Bytes& chunk) { return Read(chunk, chunk.size()); }
};

Bytes writtenBank() {
  TBankObject b;
  for (uint32_t i = 0; i < 3; ++i) FillSample(*b.Add(nullptr, true)->Program(), i);
  uint32_t n = 0;
  uint8_t* c = b.WriteChunk(n);
  Bytes out(c, c + n);
  FreeChunk(c);
  return out;
}

TEST_F(BankTarget, TruncatedAtEveryLengthAndBadHeaders) {
  Bytes good = writtenBank();
  ASSERT_TRUE(TBankObject().ReadChunk(good.data(), good.size()));
  for (size_t len = 0; len < good.size(); ++len) ASSERT_FALSE(Read(good, len)) << len;
  for (size_t byte = 0; byte < 16; ++byte) {
    Bytes bad = good;
    bad[byte] ^= 0x01;
    EXPECT_FALSE(Read(bad)) << byte;
  }
  for (uint32_t payload : {static_cast<uint32_t>(good.size() - 15), 0x80000000u, 0xFFFFFFFFu}) {
    Bytes bad = good;
    Set32(bad, 4, payload);
    Reseal(bad, 16);
    EXPECT_FALSE(Read(bad)) << payload;
  }
  Bytes magic = good;
  magic[1] = 'X';
  Reseal(magic, 16);
  EXPECT_FALSE(Read(magic));
  // Every payload byte damaged in turn: never a crash; the bank changes only
  // when the whole chunk decoded.
  ASSERT_TRUE(Read(good));
  before = Describe(target);
  for (size_t at = 16; at < good.size(); ++at) {
    Bytes bad = good;
    bad[at] ^= 0x5A;
    if (Read(bad))
      ASSERT_TRUE(Read(good));  // back to the known state
    else
      ASSERT_EQ(Describe(target), before) << at;
  }
}

// Node trees whose counts, names and flags point past the data.
TEST_F(BankTarget, BadNodeForms) {
  Bytes program = PlainProgram(sampleEntriesFor(2), 2);
  auto nested = [&](uint32_t children, const std::string& name, bool hasProgram) {
    Bytes b = NodeHead(children, name, hasProgram);
    if (hasProgram) Append(b, program);
    return b;
  };
  struct Case {
    const char* what;
    Bytes nodes;
  };
  std::vector<Case> cases;
  {
    Bytes b = nested(2, "Default", false);
    Append(b, nested(0, "one", true));  // the second child is missing
    cases.push_back({"child count past the data", b});
  }
  cases.push_back({"child count 2^31", nested(0x80000000u, "Default", false)});
  cases.push_back({"child count 2^32-1", nested(0xFFFFFFFFu, "Default", false)});
  {
    Bytes b = NodeHead(0, "Default", false);
    b[4] = 0xFF;
    b[5] = 0xFF;  // name length 65535
    cases.push_back({"name longer than the data", b});
  }
  {
    Bytes b = NodeHead(0, "Default", false);
    b[6] = 2;
    cases.push_back({"has-program flag 2", b});
  }
  cases.push_back({"program header cut", [&] {
                     Bytes b = NodeHead(0, "Default", true);
                     Append(b, Bytes(program.begin(), program.begin() + 12));
                     return b;
                   }()});
  {
    Bytes bad = program;
    Set32(bad, 8, 0x40000000u);  // nested entry count beyond the data
    Reseal(bad, 20);
    Bytes b = NodeHead(1, "Default", false);
    Append(b, NodeHead(0, "p", true));
    Append(b, bad);
    cases.push_back({"nested entry count past the data", b});
  }
  {
    Bytes bad = program;
    bad.pop_back();  // last entry's data one byte short
    Bytes b = NodeHead(1, "Default", false);
    Append(b, NodeHead(0, "p", true));
    Append(b, bad);
    cases.push_back({"nested entry data cut", b});
  }
  {
    // 100 levels of single children: deeper than any real bank.
    Bytes b;
    for (int i = 0; i < 100; ++i) Append(b, NodeHead(i < 99 ? 1 : 0, "n", false));
    cases.push_back({"depth bomb", b});
  }
  cases.push_back({"empty node stream", Bytes{}});
  for (const Case& c : cases) {
    EXPECT_FALSE(Read(BankChunk(c.nodes))) << c.what;
    EXPECT_EQ(Describe(target), before) << c.what;
  }
  // A tree of 60 levels is fine.
  Bytes deep;
  for (int i = 0; i < 60; ++i) Append(deep, NodeHead(i < 59 ? 1 : 0, "n", false));
  EXPECT_TRUE(Read(BankChunk(deep)));
}

TEST_F(BankTarget, BrokenZlibPayloads) {
  Bytes nodes = NodeHead(1, "Default", false);
  Append(nodes, NodeHead(0, "p", true));
  Append(nodes, PlainProgram(sampleEntriesFor(4), 2));
  Bytes good = BankChunk(nodes);
  ASSERT_TRUE(TBankObject().ReadChunk(good.data(), good.size()));
  auto withPayload = [](const Bytes& payload) {
    Bytes b = {'K', 'S', 'B', 0x1A};
    Put32(b, static_cast<uint32_t>(payload.size()));
    Put32(b, 0);
    Put32(b, 0);
    Reseal(b, 16);
    Append(b, payload);
    return b;
  };
  Bytes payload(good.begin() + 16, good.end());
  for (size_t keep : {size_t{0}, size_t{1}, payload.size() / 2, payload.size() - 1}) {
    Bytes cut(payload.begin(), payload.begin() + static_cast<long>(keep));
    EXPECT_FALSE(Read(withPayload(cut))) << keep;
  }
  EXPECT_FALSE(Read(withPayload(Random(500, 8))));
  Bytes trailer = payload;
  trailer.back() ^= 0x80;
  EXPECT_FALSE(Read(withPayload(trailer)));
  EXPECT_EQ(Describe(target), before);
}

}  // namespace

// A program with hundreds of thousands of distinct entries (far more than any
// real one holds, but within the decode budget) loads whole; lookups stay
// cheap however many entries there are (bench_state measures the load).
TEST_F(ProgramTarget, HundredsOfThousandsOfDistinctEntriesLoad) {
  const int count = 200000;
  std::vector<Entry> entries;
  entries.reserve(count);
  for (int i = 0; i < count; ++i) entries.push_back({"E" + std::to_string(i) + " [0]", 3, I32(i)});
  ASSERT_TRUE(Read(PlainProgram(entries, 2)));
  ASSERT_EQ(target.EntryCount(), count);
  for (int i : {0, 1, 101, 99999, count - 1}) EXPECT_EQ(target.GetInteger("E" + std::to_string(i), 0, -7), i);
  EXPECT_EQ(target.GetInteger("E200000", 0, -7), -7);
}
