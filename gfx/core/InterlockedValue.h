#pragma once
// TInterlockedValue: a 32-bit cell changed only by an interlocked exchange.
// The value lives at the first 4-byte-aligned address of an 8-byte area so the
// exchange always works on an aligned word. Any thread may exchange.

#include <cstdint>
#include <cstring>

#include "platform/Sync.h"

class TInterlockedValue {
public:
  explicit TInterlockedValue(int32_t initial = 0) {
    uintptr_t p = reinterpret_cast<uintptr_t>(FArea);
    FCell = reinterpret_cast<volatile int32_t*>((p + 3) & ~uintptr_t(3));
    platform::InterlockedExchange32(FCell, initial);
  }
  TInterlockedValue(const TInterlockedValue&) = delete;
  TInterlockedValue& operator=(const TInterlockedValue&) = delete;
  // Stores v and returns the previous value.
  int32_t Exchange(int32_t v) { return platform::InterlockedExchange32(FCell, v); }

private:
  unsigned char FArea[8];
  volatile int32_t* FCell;
};
