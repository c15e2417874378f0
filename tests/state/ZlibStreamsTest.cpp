// The zlib stream adapters against zlib's own one-shot calls.
#include <gtest/gtest.h>

#include <memory>

#include "params/state/MemoryBuffer.h"
#include "params/state/ZlibStreams.h"
#include "tests/state/StateTestUtil.h"

using namespace statetest;

namespace {

Bytes contents(TMemoryBuffer& b) {
  Bytes out(static_cast<size_t>(b.Size()));
  b.SetPosition(0);
  b.Read(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

// Text-like data that compresses, long enough for several 64 KB transfers.
Bytes compressible(size_t n) {
  Bytes b = Random(n, 9);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>('a' + (b[i] % 4));
  return b;
}

TEST(CompressionStream, SameBytesAsZlibAtEachLevel) {
  struct Case {
    TCompressionLevel kind;
    int zlevel;
  };
  Bytes plain = compressible(300000);
  Append(plain, Random(150000, 10));  // incompressible tail: > 64 KB of output
  for (Case c : {Case{clNone, 0}, Case{clFastest, 1}, Case{clDefault, -1}, Case{clMax, 9}}) {
    TMemoryBuffer out(2048);
    {
      auto z = std::make_unique<TCompressionStream>(c.kind, out);
      // Odd pieces: the output must not depend on how the input is cut.
      size_t at = 0, piece = 1;
      while (at < plain.size()) {
        size_t n = std::min(piece, plain.size() - at);
        z->Write(plain.data() + at, static_cast<int32_t>(n));
        at += n;
        piece = piece * 3 + 1;
      }
      EXPECT_EQ(z->Seek(0, soCurrent), static_cast<int64_t>(plain.size()));
      z->Finish();
    }
    Bytes got = contents(out);
    bool ended = false;
    EXPECT_EQ(Inflate(got.data(), got.size(), &ended), plain) << c.zlevel;
    EXPECT_TRUE(ended);
    // Stored blocks (level 0) are cut where the input arrives; compressing
    // levels give zlib's one-shot bytes whatever the input pieces.
    if (c.zlevel != 0) {
      EXPECT_EQ(got, Deflate(plain, c.zlevel)) << c.zlevel;
    }
  }
}

TEST(CompressionStream, HeaderBytesOfProgramAndBankLevels) {
  // zlib header: CMF 0x78 (deflate, 32 KB window); FLEVEL 3 at 9, 0 at 1.
  for (auto [kind, flg] : {std::pair{clMax, 0xDA}, std::pair{clFastest, 0x01}}) {
    TMemoryBuffer out(2048);
    {
      TCompressionStream z(kind, out);
      z.Write("abc", 3);
    }  // destruction finishes the stream
    Bytes b = contents(out);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[1], flg);
    bool ok = false;
    EXPECT_EQ(Inflate(b.data(), b.size(), &ok), (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(ok);
  }
}

TEST(ZlibStreams, InvalidOperations) {
  TMemoryBuffer buf(2048);
  auto c = std::make_unique<TCompressionStream>(clMax, buf);
  uint8_t x = 0;
  try {
    c->Read(&x, 1);
    FAIL();
  } catch (const ECompressionError& e) {
    EXPECT_STREQ(e.what(), "Invalid stream operation");
  }
  EXPECT_THROW(c->Seek(1, soCurrent), ECompressionError);
  EXPECT_THROW(c->Seek(0, soBeginning), ECompressionError);
  c.reset();

  buf.SetPosition(0);
  auto d = std::make_unique<TDecompressionStream>(buf);
  try {
    d->Write(&x, 1);
    FAIL();
  } catch (const EDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Invalid stream operation");
  }
  EXPECT_THROW(d->Seek(0, soEnd), EDecompressionError);
}

struct SourceFixture : ::testing::Test {
  // Incompressible: the compressed bytes span several 64 KB transfers.
  Bytes plain = Random(200000, 12);
  Bytes packed = Deflate(plain, 9);
  TMemoryBuffer source{2048};
  void SetUp() override {
    Bytes all = {'H', 'D', 'R'};
    Append(all, packed);
    Append(all, Bytes(5000, 0));  // zero padding after the stream
    source.Write(all.data(), static_cast<int32_t>(all.size()));
    source.SetPosition(3);
  }
};

TEST_F(SourceFixture, ReadsAllThenShortReadOverPadding) {
  auto d = std::make_unique<TDecompressionStream>(source);
  Bytes got(plain.size() + 1000);
  // More than the stream holds: ends with what was produced, no hang.
  ASSERT_EQ(d->Read(got.data(), static_cast<int32_t>(got.size())), static_cast<int32_t>(plain.size()));
  got.resize(plain.size());
  EXPECT_EQ(got, plain);
  EXPECT_TRUE(d->StreamEnded());
  EXPECT_EQ(d->Read(got.data(), 10), 0);
  d.reset();
  // The source stands right after the compressed bytes, not after the padding
  // that the last transfer took in.
  EXPECT_EQ(source.Position(), static_cast<int64_t>(3 + packed.size()));
}

TEST_F(SourceFixture, PartialReadLeavesSourceAfterConsumedInput) {
  auto d = std::make_unique<TDecompressionStream>(source);
  Bytes got(1000);
  ASSERT_EQ(d->Read(got.data(), 1000), 1000);
  EXPECT_EQ(got, Bytes(plain.begin(), plain.begin() + 1000));
  uint64_t consumed = d->TotalIn();
  // The first transfer read 64 KB; zlib has used only part of it.
  EXPECT_LT(consumed, 65536u);
  EXPECT_EQ(source.Position(), 3 + 65536);
  d.reset();
  EXPECT_EQ(source.Position(), static_cast<int64_t>(3 + consumed));
}

TEST_F(SourceFixture, SourceMovedInBetweenIsPutBack) {
  auto d = std::make_unique<TDecompressionStream>(source);
  Bytes a(70000), b(plain.size() - 70000);
  ASSERT_EQ(d->Read(a.data(), 70000), 70000);
  source.SetPosition(0);  // someone else uses the source meanwhile
  ASSERT_EQ(d->Read(b.data(), static_cast<int32_t>(b.size())), static_cast<int32_t>(b.size()));
  Append(a, b);
  EXPECT_EQ(a, plain);
}

TEST_F(SourceFixture, SeekSkipsForwardAndRestarts) {
  auto d = std::make_unique<TDecompressionStream>(source);
  EXPECT_EQ(d->Seek(10000, soCurrent), 10000);
  uint8_t x;
  ASSERT_EQ(d->Read(&x, 1), 1);
  EXPECT_EQ(x, plain[10000]);
  EXPECT_EQ(d->Seek(20000, soBeginning), 20000);
  ASSERT_EQ(d->Read(&x, 1), 1);
  EXPECT_EQ(x, plain[20000]);
  EXPECT_THROW(d->Seek(5, soBeginning), EDecompressionError);
  EXPECT_THROW(d->Seek(-1, soCurrent), EDecompressionError);
}

TEST(DecompressionStream, GarbageRaisesCompressionError) {
  Bytes plain = compressible(5000);
  Bytes packed = Deflate(plain, 9);
  for (size_t at : std::initializer_list<size_t>{0, 1, 10, packed.size() / 2}) {
    Bytes bad = packed;
    bad[at] ^= 0xFF;
    TMemoryBuffer src(2048);
    src.Write(bad.data(), static_cast<int32_t>(bad.size()));
    src.SetPosition(0);
    TDecompressionStream d(src);
    Bytes out(plain.size());
    bool raised = false, ended = false;
    try {
      int32_t n = d.Read(out.data(), static_cast<int32_t>(out.size()));
      ended = d.StreamEnded() && n == static_cast<int32_t>(plain.size()) && out == plain;
    } catch (const ECompressionError& e) {
      EXPECT_STREQ(e.what(), "Error");
      raised = true;
    }
    // A flipped byte is either detected or (never) yields the original data.
    EXPECT_TRUE(raised || !ended) << at;
  }
}

}  // namespace
