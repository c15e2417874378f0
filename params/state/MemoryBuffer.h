#pragma once
// TMemoryBuffer: a growable in-memory stream made of a linked list of chunks.
//
// Invariants: the chunks cover the offsets 0 .. Capacity() - 1 without gaps,
// in list order; Size() <= Capacity() except transiently inside SetSize. Memory
// is only added, never returned or moved, until the buffer is destroyed, so
// growing never copies earlier data and repeated use does not reallocate.
// A new chunk is at least Granularity() bytes long.
//
// Positions beyond the size are allowed: reads there return nothing, writes
// there extend the size (the bytes in between are whatever the chunk held:
// zero in a chunk never written before).
// Sizes are limited to 2^31 - 1 bytes; a negative position reads nothing and
// cannot be written at.
//
// No locking: the owner serialises access.

#include <cstdint>

#include "classlib/Classes.h"

class TMemoryBuffer : public TStream {
public:
  explicit TMemoryBuffer(uint32_t granularity);
  ~TMemoryBuffer() override;
  TMemoryBuffer(const TMemoryBuffer&) = delete;
  TMemoryBuffer& operator=(const TMemoryBuffer&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Origin soBeginning sets, soCurrent adds, soEnd sets size + offset. No
  // bounds check. Returns the new position.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }
  // Growing makes sure a chunk covers offset n - 1; shrinking keeps the memory.
  void SetSize(int64_t n) override;
  // Like Read, but hands each contiguous piece to dest.WriteBuffer.
  int32_t CopyTo(TStream& dest, int32_t count);

  uint32_t Capacity() const { return FCapacity; }
  uint32_t Granularity() const { return FGranularity; }
  int ChunkCount() const;
  const char* ClassName() const override { return "TMemoryBuffer"; }

private:
  struct TChunk {
    uint8_t* Data;
    uint32_t Start;
    uint32_t Length;
    TChunk* Next;
  };
  // The chunk covering offset p; appends one when p is beyond the capacity.
  TChunk* ChunkAt(uint32_t p);

  TChunk* FFirst = nullptr;
  TChunk* FLast = nullptr;
  TChunk* FCursor = nullptr;  // chunk of the last access, tried first
  uint32_t FCapacity = 0;
  uint32_t FSize = 0;
  uint32_t FGranularity;
  int64_t FPosition = 0;
};
