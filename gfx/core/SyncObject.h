#pragma once
// TSyncObject: a recursive lock (spin count 4000) shared by the effect, the
// parameter module, the engine, the presets and the editor. The same thread may
// enter again while it holds the lock; each Enter needs its own Leave.
// Any thread may enter.

#include "platform/Sync.h"

class TSyncObject {
public:
  TSyncObject() : FLock(4000) {}
  void Enter() { FLock.Enter(); }
  void Leave() { FLock.Leave(); }

private:
  platform::RecursiveLock FLock;
};

// Scope guard: enters on construction, leaves on every exit path.
class TSyncLock {
public:
  explicit TSyncLock(TSyncObject& s) : FSync(s) { FSync.Enter(); }
  explicit TSyncLock(TSyncObject* s) : TSyncLock(*s) {}
  ~TSyncLock() { FSync.Leave(); }
  TSyncLock(const TSyncLock&) = delete;
  TSyncLock& operator=(const TSyncLock&) = delete;

private:
  TSyncObject& FSync;
};
