#include "params/state/ZlibStreams.h"

#include <cstdlib>
#include <cstring>

namespace {

// zlib allocates through the library's zeroing allocator.
voidpf zAlloc(voidpf, uInt items, uInt size) { return std::calloc(items, size); }
void zFree(voidpf, voidpf p) { std::free(p); }

const char kInvalidOperation[] = "Invalid stream operation";

}  // namespace

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case clNone: return Z_NO_COMPRESSION;
    case clFastest: return Z_BEST_SPEED;
    case clDefault: return Z_DEFAULT_COMPRESSION;
    case clMax: return Z_BEST_COMPRESSION;
  }
  return Z_DEFAULT_COMPRESSION;
}

TCustomZlibStream::TCustomZlibStream(TStream& other) : FStrm(other), FStrmPos(other.Position()) {
  std::memset(&FZRec, 0, sizeof FZRec);
  FZRec.zalloc = zAlloc;
  FZRec.zfree = zFree;
}

// ---------------------------------------------------------------------------
// TCompressionStream

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream& dest) : TCustomZlibStream(dest) {
  FZRec.next_out = FBuffer;
  FZRec.avail_out = kTransferSize;
  if (deflateInit2(&FZRec, ZlibLevel(level), Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw ECompressionError("Error");
}

TCompressionStream::~TCompressionStream() {
  if (!FFinished) {
    try {
      Finish();
    } catch (...) {
      // A destructor must not throw; Finish has ended the deflate state.
    }
  }
}

void TCompressionStream::flushTransfer(int32_t n) {
  FStrm.WriteBuffer(FBuffer, n);
  FZRec.next_out = FBuffer;
  FZRec.avail_out = kTransferSize;
  FStrmPos = FStrm.Position();
}

int32_t TCompressionStream::Write(const void* buffer, int32_t count) {
  if (FFinished) throw ECompressionError(kInvalidOperation);
  if (count <= 0) return 0;
  FZRec.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  FZRec.avail_in = static_cast<uInt>(count);
  if (FStrm.Position() != FStrmPos) FStrm.Seek(FStrmPos, soBeginning);
  while (FZRec.avail_in > 0) {
    int ret = deflate(&FZRec, Z_NO_FLUSH);
    if (ret != Z_OK && ret != Z_BUF_ERROR) throw ECompressionError("Error");
    if (FZRec.avail_out == 0) flushTransfer(kTransferSize);
  }
  return count;
}

void TCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  try {
    FZRec.next_in = nullptr;
    FZRec.avail_in = 0;
    if (FStrm.Position() != FStrmPos) FStrm.Seek(FStrmPos, soBeginning);
    for (;;) {
      int ret = deflate(&FZRec, Z_FINISH);
      if (ret == Z_STREAM_END) break;
      if (ret != Z_OK && ret != Z_BUF_ERROR) throw ECompressionError("Error");
      if (FZRec.avail_out != 0) throw ECompressionError("Error");  // no progress possible
      flushTransfer(kTransferSize);
    }
    if (FZRec.avail_out < static_cast<uInt>(kTransferSize))
      flushTransfer(kTransferSize - static_cast<int32_t>(FZRec.avail_out));
  } catch (...) {
    deflateEnd(&FZRec);
    throw;
  }
  deflateEnd(&FZRec);
}

int32_t TCompressionStream::Read(void*, int32_t) { throw ECompressionError(kInvalidOperation); }

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == soCurrent) return static_cast<int64_t>(FZRec.total_in);
  throw ECompressionError(kInvalidOperation);
}

// ---------------------------------------------------------------------------
// TDecompressionStream

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source) {
  FZRec.next_in = FBuffer;
  FZRec.avail_in = 0;
  if (inflateInit(&FZRec) != Z_OK) throw EDecompressionError("Error");
}

TDecompressionStream::~TDecompressionStream() {
  try {
    // Give back what zlib read ahead: the source then stands right after the
    // compressed bytes actually consumed.
    FStrm.Seek(FStrmPos - static_cast<int64_t>(FZRec.avail_in), soBeginning);
  } catch (...) {
  }
  inflateEnd(&FZRec);
}

int32_t TDecompressionStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  FZRec.next_out = static_cast<Bytef*>(buffer);
  FZRec.avail_out = static_cast<uInt>(count);
  if (FStrm.Position() != FStrmPos) FStrm.Seek(FStrmPos, soBeginning);
  while (FZRec.avail_out > 0 && !FEnded) {
    if (FZRec.avail_in == 0) {
      int32_t n = FStrm.Read(FBuffer, kTransferSize);
      if (n <= 0) break;  // source exhausted: short read
      FZRec.next_in = FBuffer;
      FZRec.avail_in = static_cast<uInt>(n);
      FStrmPos = FStrm.Position();
    }
    int ret = inflate(&FZRec, Z_NO_FLUSH);
    if (ret == Z_STREAM_END) {
      FEnded = true;
    } else if (ret != Z_OK) {
      // Z_BUF_ERROR here means no progress with input and room: corrupt data.
      throw ECompressionError("Error");
    }
  }
  return count - static_cast<int32_t>(FZRec.avail_out);
}

int32_t TDecompressionStream::Write(const void*, int32_t) { throw EDecompressionError(kInvalidOperation); }

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t produced = static_cast<int64_t>(FZRec.total_out);
  int64_t skip;
  if (offset == 0 && origin == soBeginning) {
    if (inflateReset(&FZRec) != Z_OK) throw EDecompressionError("Error");
    FZRec.next_in = FBuffer;
    FZRec.avail_in = 0;
    FEnded = false;
    FStrm.Seek(0, soBeginning);
    FStrmPos = 0;
    return 0;
  } else if (origin == soCurrent && offset >= 0) {
    skip = offset;
  } else if (origin == soBeginning && offset >= produced) {
    skip = offset - produced;
  } else {
    throw EDecompressionError(kInvalidOperation);
  }
  uint8_t discard[4096];
  while (skip > 0) {
    int32_t n = Read(discard, static_cast<int32_t>(skip < 4096 ? skip : 4096));
    if (n <= 0) break;
    skip -= n;
  }
  return static_cast<int64_t>(FZRec.total_out);
}
