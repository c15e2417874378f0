#include <atomic>
#include <mutex>
#include <new>

#include "platform/Sync.h"

namespace platform {

static_assert(sizeof(std::recursive_mutex) <= 64, "lock storage too small");

RecursiveLock::RecursiveLock(unsigned) { new (FStorage) std::recursive_mutex(); }
RecursiveLock::~RecursiveLock() { reinterpret_cast<std::recursive_mutex*>(FStorage)->~recursive_mutex(); }
void RecursiveLock::Enter() { reinterpret_cast<std::recursive_mutex*>(FStorage)->lock(); }
void RecursiveLock::Leave() { reinterpret_cast<std::recursive_mutex*>(FStorage)->unlock(); }

int32_t InterlockedExchange32(volatile int32_t* target, int32_t value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

}  // namespace platform
