#pragma once
// TStaticMemoryManager: a fixed-size block allocator. Blocks come from chunks
// of (1 << shift) blocks taken from the heap and never go back to it before
// destruction; a released block is the next one handed out. The rectangle
// nodes of the canvas and of posted invalidations come from here, so an
// invalidation takes no heap call in the steady state.
//
// Each chunk starts with a pointer-sized link to the next chunk; a free
// block's first pointer-sized bytes link to the next free block (so the block
// size is at least a pointer). No lock: the owner serialises access.

#include <cstddef>
#include <cstdint>

class TStaticMemoryManager {
public:
  TStaticMemoryManager(int32_t blockSize, int32_t shift);
  ~TStaticMemoryManager();
  TStaticMemoryManager(const TStaticMemoryManager&) = delete;
  TStaticMemoryManager& operator=(const TStaticMemoryManager&) = delete;

  void* Alloc();
  void Release(void* block);

  int32_t BlockSize() const { return FBlockSize; }
  int32_t BlocksPerChunk() const { return FBlocksPerChunk; }
  int32_t ChunkCount() const { return FChunkCount; }

private:
  static constexpr size_t kLink = sizeof(void*);
  int32_t FBlockSize;
  int32_t FShift;
  size_t FChunkBytes;
  int32_t FBlocksPerChunk;
  unsigned char* FChunks = nullptr;  // newest chunk; its first bytes link to the next
  unsigned char* FBump = nullptr;
  int32_t FUnused = 0;
  unsigned char* FFree = nullptr;
  int32_t FChunkCount = 0;
};
