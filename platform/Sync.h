#pragma once
// Port: recursive lock with spin count and interlocked exchange.
// Win32: CRITICAL_SECTION / InterlockedExchange. Linux: std::recursive_mutex / std::atomic.

#include <cstdint>

namespace platform {

class RecursiveLock {
public:
  explicit RecursiveLock(unsigned spinCount);
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  void Enter();
  void Leave();

private:
  alignas(16) unsigned char FStorage[64];
};

// Atomically stores value into *target (4-byte aligned) and returns the old value.
int32_t InterlockedExchange32(volatile int32_t* target, int32_t value);

}  // namespace platform
