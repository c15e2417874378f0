#include <windows.h>

#include <new>

#include "platform/Sync.h"

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage too small");

RecursiveLock::RecursiveLock(unsigned spinCount) {
  auto* cs = reinterpret_cast<CRITICAL_SECTION*>(FStorage);
  InitializeCriticalSection(cs);
  SetCriticalSectionSpinCount(cs, spinCount);
}
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(FStorage)); }
void RecursiveLock::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(FStorage)); }
void RecursiveLock::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(FStorage)); }

int32_t InterlockedExchange32(volatile int32_t* target, int32_t value) {
  return static_cast<int32_t>(InterlockedExchange(reinterpret_cast<volatile LONG*>(target), value));
}

}  // namespace platform
