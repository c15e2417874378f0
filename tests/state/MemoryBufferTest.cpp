// CRC-32 and the chunked memory stream.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "params/state/MemoryBuffer.h"
#include "params/state/fcrc.h"
#include "tests/state/StateTestUtil.h"

using namespace statetest;

namespace {

TEST(Crc32, CheckValueEmptyAndAgreementWithZlib) {
  EXPECT_EQ(CRC32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(CRC32(nullptr, 0), 0u);
  Bytes data = Random(5000, 1);
  for (size_t n : {1u, 2u, 255u, 256u, 4999u, 5000u}) EXPECT_EQ(CRC32(data.data(), n), ZCrc(data.data(), n)) << n;
  EXPECT_EQ(CRC32Update(CRC32(data.data(), 1234), data.data() + 1234, 5000 - 1234), ZCrc(data.data(), 5000));
}

TEST(MemoryBuffer, ChunkGrowthFollowsGranularity) {
  struct Case {
    uint32_t secondWrite;
    uint32_t capacity;
    int chunks;
  };
  // One byte first (one 2048-byte chunk), then n bytes at position 1.
  for (Case c : {Case{3000, 4096, 2}, Case{5000, 5001, 2}, Case{2047, 2048, 1}, Case{2048, 4096, 2}}) {
    TMemoryBuffer b(2048);
    uint8_t one = 7;
    b.Write(&one, 1);
    EXPECT_EQ(b.Capacity(), 2048u);
    EXPECT_EQ(b.ChunkCount(), 1);
    Bytes data = Random(c.secondWrite, c.secondWrite);
    EXPECT_EQ(b.Write(data.data(), static_cast<int32_t>(data.size())), static_cast<int32_t>(data.size()));
    EXPECT_EQ(b.Capacity(), c.capacity) << c.secondWrite;
    EXPECT_EQ(b.ChunkCount(), c.chunks) << c.secondWrite;
    EXPECT_EQ(b.Size(), 1 + c.secondWrite);
    // The bytes read back across the chunk border.
    Bytes back(c.secondWrite + 1);
    b.SetPosition(0);
    ASSERT_EQ(b.Read(back.data(), static_cast<int32_t>(back.size()) + 10), static_cast<int32_t>(back.size()));
    EXPECT_EQ(back[0], 7);
    EXPECT_EQ(std::memcmp(back.data() + 1, data.data(), data.size()), 0);
  }
}

TEST(MemoryBuffer, ShrinkKeepsMemoryAndReusesChunks) {
  TMemoryBuffer b(2048);
  Bytes data = Random(10000, 2);
  b.Write(data.data(), 10000);
  uint32_t cap = b.Capacity();
  int chunks = b.ChunkCount();
  b.SetSize(0);
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.Capacity(), cap);
  b.SetPosition(0);
  Bytes other = Random(9000, 3);
  b.Write(other.data(), 9000);
  EXPECT_EQ(b.Capacity(), cap);
  EXPECT_EQ(b.ChunkCount(), chunks);
  Bytes back(9000);
  b.SetPosition(0);
  ASSERT_EQ(b.Read(back.data(), 9000), 9000);
  EXPECT_EQ(back, other);
}

TEST(MemoryBuffer, SeekBeyondSizeAndSparseWrite) {
  TMemoryBuffer b(2048);
  Bytes data = Random(100, 4);
  b.Write(data.data(), 100);
  EXPECT_EQ(b.Seek(10, soEnd), 110);
  uint8_t x;
  EXPECT_EQ(b.Read(&x, 1), 0);
  EXPECT_EQ(b.Seek(-20, soCurrent), 90);
  EXPECT_EQ(b.Read(&x, 1), 1);
  EXPECT_EQ(x, data[90]);
  b.Seek(-5, soBeginning);
  EXPECT_EQ(b.Read(&x, 1), 0);
  EXPECT_THROW(b.Write(&x, 1), EStreamError);
  // A write far beyond the size extends it.
  b.SetPosition(7000);
  b.Write(&x, 1);
  EXPECT_EQ(b.Size(), 7001);
  EXPECT_GE(b.Capacity(), 7001u);
}

// Random writes, seeks and reads agree with a plain byte vector, and CopyTo
// hands over the same bytes across chunk borders.
TEST(MemoryBuffer, AgreesWithAVectorModel) {
  std::mt19937 rng(5);
  TMemoryBuffer b(64);
  Bytes model;
  int64_t pos = 0;
  for (int step = 0; step < 3000; ++step) {
    int op = static_cast<int>(rng() % 3);
    if (op == 0) {
      Bytes data = Random(rng() % 300, static_cast<uint32_t>(step));
      b.SetPosition(pos);
      b.Write(data.data(), static_cast<int32_t>(data.size()));
      if (model.size() < pos + data.size()) model.resize(pos + data.size());
      if (!data.empty()) std::memcpy(model.data() + pos, data.data(), data.size());
      pos += static_cast<int64_t>(data.size());
    } else if (op == 1) {
      pos = static_cast<int64_t>(rng() % (model.size() + 50));
    } else {
      Bytes got(rng() % 400);
      b.SetPosition(pos);
      int32_t n = b.Read(got.data(), static_cast<int32_t>(got.size()));
      int64_t expect = std::max<int64_t>(
          0, std::min<int64_t>(static_cast<int64_t>(got.size()), static_cast<int64_t>(model.size()) - pos));
      ASSERT_EQ(n, expect);
      if (n > 0) {
        ASSERT_EQ(std::memcmp(got.data(), model.data() + pos, static_cast<size_t>(n)), 0);
      }
      pos += n;
    }
    ASSERT_EQ(b.Size(), static_cast<int64_t>(model.size()));
  }
  TMemoryBuffer copy(1000);
  b.SetPosition(3);
  ASSERT_EQ(b.CopyTo(copy, 1 << 30), static_cast<int32_t>(model.size() - 3));
  EXPECT_EQ(b.Position(), static_cast<int64_t>(model.size()));
  Bytes back(model.size() - 3);
  copy.SetPosition(0);
  copy.Read(back.data(), static_cast<int32_t>(back.size()));
  EXPECT_EQ(back, Bytes(model.begin() + 3, model.end()));
}

}  // namespace
