#include "params/state/MemoryBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
constexpr uint32_t kMaxSize = 0x7FFFFFFFu;
}

TMemoryBuffer::TMemoryBuffer(uint32_t granularity) : FGranularity(granularity ? granularity : 1) {}

TMemoryBuffer::~TMemoryBuffer() {
  TChunk* c = FFirst;
  while (c) {
    TChunk* next = c->Next;
    delete[] c->Data;
    delete c;
    c = next;
  }
}

int TMemoryBuffer::ChunkCount() const {
  int n = 0;
  for (TChunk* c = FFirst; c; c = c->Next) ++n;
  return n;
}

TMemoryBuffer::TChunk* TMemoryBuffer::ChunkAt(uint32_t p) {
  auto covers = [p](const TChunk* c) { return p >= c->Start && p - c->Start < c->Length; };
  if (FCursor && covers(FCursor)) return FCursor;
  // Streams are read and written front to back: try the next chunk before a
  // walk from the first, which would make a long sequential pass quadratic.
  if (FCursor && FCursor->Next && covers(FCursor->Next)) return FCursor = FCursor->Next;
  for (TChunk* c = FFirst; c; c = c->Next)
    if (covers(c)) return FCursor = c;

  uint32_t start = FLast ? FLast->Start + FLast->Length : 0;
  uint32_t length = std::max(p - start + 1, FGranularity);
  auto* chunk = new (std::nothrow) TChunk{nullptr, start, length, nullptr};
  if (!chunk) throw EOutOfMemory();
  // Zeroed, so bytes skipped by a write beyond the size never show stale heap.
  chunk->Data = new (std::nothrow) uint8_t[length]();
  if (!chunk->Data) {
    delete chunk;  // the half-made chunk goes first
    throw EOutOfMemory();
  }
  (FLast ? FLast->Next : FFirst) = chunk;
  FLast = chunk;
  FCapacity += length;
  return FCursor = chunk;
}

int64_t TMemoryBuffer::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = static_cast<int64_t>(FSize) + offset; break;
  }
  return FPosition;
}

void TMemoryBuffer::SetSize(int64_t n) {
  if (n < 0 || n > kMaxSize) throw EStreamError("Stream size out of range");
  uint32_t size = static_cast<uint32_t>(n);
  if (size > FCapacity) ChunkAt(size - 1);
  FSize = size;
}

int32_t TMemoryBuffer::Read(void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  uint32_t pos = static_cast<uint32_t>(FPosition);
  uint32_t n = std::min(static_cast<uint32_t>(count), FSize - pos);
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    TChunk* c = ChunkAt(pos + done);
    uint32_t at = pos + done - c->Start;
    uint32_t piece = std::min(n - done, c->Length - at);
    std::memcpy(out + done, c->Data + at, piece);
    done += piece;
  }
  FPosition += n;
  return static_cast<int32_t>(n);
}

int32_t TMemoryBuffer::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (FPosition < 0 || FPosition + count > kMaxSize) throw EStreamError("Stream write error");
  uint32_t pos = static_cast<uint32_t>(FPosition);
  uint32_t n = static_cast<uint32_t>(count);
  if (pos + n > FSize) SetSize(pos + n);
  const auto* in = static_cast<const uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    TChunk* c = ChunkAt(pos + done);
    uint32_t at = pos + done - c->Start;
    uint32_t piece = std::min(n - done, c->Length - at);
    std::memcpy(c->Data + at, in + done, piece);
    done += piece;
  }
  FPosition += n;
  return count;
}

int32_t TMemoryBuffer::CopyTo(TStream& dest, int32_t count) {
  if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  uint32_t pos = static_cast<uint32_t>(FPosition);
  uint32_t n = std::min(static_cast<uint32_t>(count), FSize - pos);
  uint32_t done = 0;
  while (done < n) {
    TChunk* c = ChunkAt(pos + done);
    uint32_t at = pos + done - c->Start;
    uint32_t piece = std::min(n - done, c->Length - at);
    dest.WriteBuffer(c->Data + at, static_cast<int32_t>(piece));
    done += piece;
    FPosition = pos + done;
  }
  return static_cast<int32_t>(n);
}
