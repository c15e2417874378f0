#pragma once
// Counts global operator new calls while a counting scope is active.
#include <atomic>

extern std::atomic<long> gAllocCount;
extern std::atomic<bool> gAllocCounting;

struct TAllocCountScope {
  TAllocCountScope() {
    gAllocCount = 0;
    gAllocCounting = true;
  }
  ~TAllocCountScope() { gAllocCounting = false; }
  long Count() const { return gAllocCount; }
};
