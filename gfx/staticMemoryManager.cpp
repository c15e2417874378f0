#include "gfx/staticMemoryManager.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
unsigned char* LoadLink(const unsigned char* at) {
  unsigned char* p;
  std::memcpy(&p, at, sizeof p);
  return p;
}
void StoreLink(unsigned char* at, unsigned char* p) { std::memcpy(at, &p, sizeof p); }
}  // namespace

TStaticMemoryManager::TStaticMemoryManager(int32_t blockSize, int32_t shift) {
  FBlockSize = blockSize > 3 ? (blockSize + 3) & ~3 : 4;
  // A block must hold the free-list link.
  if (static_cast<size_t>(FBlockSize) < kLink) FBlockSize = static_cast<int32_t>(kLink);
  FShift = shift > 3 ? shift : 4;
  FBlocksPerChunk = 1 << FShift;
  FChunkBytes = static_cast<size_t>(FBlockSize) << FShift;
}

TStaticMemoryManager::~TStaticMemoryManager() {
  while (FChunks) {
    unsigned char* next = LoadLink(FChunks);
    std::free(FChunks);
    FChunks = next;
  }
}

void* TStaticMemoryManager::Alloc() {
  if (FFree) {
    unsigned char* b = FFree;
    FFree = LoadLink(b);
    return b;
  }
  if (FUnused <= 0) {
    auto* chunk = static_cast<unsigned char*>(std::malloc(FChunkBytes + kLink));
    if (!chunk) throw std::bad_alloc();
    StoreLink(chunk, FChunks);
    FChunks = chunk;
    ++FChunkCount;
    FUnused = FBlocksPerChunk - 1;
    FBump = chunk + kLink + FBlockSize;
    return chunk + kLink;
  }
  unsigned char* b = FBump;
  FBump += FBlockSize;
  --FUnused;
  return b;
}

void TStaticMemoryManager::Release(void* block) {
  if (!block) return;
  auto* b = static_cast<unsigned char*>(block);
  StoreLink(b, FFree);
  FFree = b;
}
