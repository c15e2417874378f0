#pragma once
// The posted-message queue and timer list of the backends that have no
// message loop of their own (X11, headless). Posting takes one mutex and
// never allocates: messages live in a fixed ring. Timers and taking messages
// run on the thread that owns the windows.

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/ui/UiTypes.h"

namespace platform::ui {

struct PostedMessage {
  Handle Window = 0;
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

class MessageQueue {
public:
  static constexpr size_t kCapacity = 8192;
  MessageQueue();

  // Any thread. False when the ring is full.
  bool Post(const PostedMessage& m);
  // The oldest posted message; false when none is waiting.
  bool Take(PostedMessage& m);
  // Drops the waiting messages and timers of a window (it is being destroyed).
  void Forget(Handle window);
  size_t Waiting();

  // Timers, in milliseconds of the caller's clock.
  void SetTimer(Handle window, uintptr_t id, uint32_t ms, uint64_t now);
  void KillTimer(Handle window, uintptr_t id);
  // The first timer due at now (its next expiry moves on by whole periods);
  // false when none is due. Call repeatedly to get them all.
  bool TakeDueTimer(uint64_t now, Handle& window, uintptr_t& id);
  // Milliseconds until the next timer is due (UINT64_MAX: none).
  uint64_t NextDue(uint64_t now);

private:
  struct TimerEntry {
    Handle Window;
    uintptr_t Id;
    uint32_t Interval;
    uint64_t Due;
  };
  std::mutex FLock;
  std::vector<PostedMessage> FRing;  // sized once, never grown
  size_t FHead = 0, FCount = 0;
  std::vector<TimerEntry> FTimers;  // editor thread only
};

}  // namespace platform::ui
