#include "platform/ui/MessageQueue.h"

#include <algorithm>

namespace platform::ui {

MessageQueue::MessageQueue() : FRing(kCapacity) {}

bool MessageQueue::Post(const PostedMessage& m) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FCount == kCapacity) return false;
  FRing[(FHead + FCount) % kCapacity] = m;
  ++FCount;
  return true;
}

bool MessageQueue::Take(PostedMessage& m) {
  std::lock_guard<std::mutex> guard(FLock);
  while (FCount > 0) {
    m = FRing[FHead];
    FHead = (FHead + 1) % kCapacity;
    --FCount;
    if (m.Window != 0) return true;  // forgotten entries have window 0
  }
  return false;
}

void MessageQueue::Forget(Handle window) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    for (size_t i = 0; i < FCount; ++i) {
      PostedMessage& m = FRing[(FHead + i) % kCapacity];
      if (m.Window == window) m.Window = 0;
    }
  }
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(), [&](const TimerEntry& t) { return t.Window == window; }),
                FTimers.end());
}

size_t MessageQueue::Waiting() {
  std::lock_guard<std::mutex> guard(FLock);
  return FCount;
}

void MessageQueue::SetTimer(Handle window, uintptr_t id, uint32_t ms, uint64_t now) {
  if (ms == 0) ms = 1;
  for (TimerEntry& t : FTimers)
    if (t.Window == window && t.Id == id) {
      t.Interval = ms;
      t.Due = now + ms;
      return;
    }
  FTimers.push_back({window, id, ms, now + ms});
}

void MessageQueue::KillTimer(Handle window, uintptr_t id) {
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(),
                               [&](const TimerEntry& t) { return t.Window == window && t.Id == id; }),
                FTimers.end());
}

bool MessageQueue::TakeDueTimer(uint64_t now, Handle& window, uintptr_t& id) {
  TimerEntry* first = nullptr;
  for (TimerEntry& t : FTimers)
    if (t.Due <= now && (!first || t.Due < first->Due)) first = &t;
  if (!first) return false;
  window = first->Window;
  id = first->Id;
  // Like WM_TIMER, expiries missed while busy fold into one tick.
  first->Due += first->Interval * ((now - first->Due) / first->Interval + 1);
  return true;
}

uint64_t MessageQueue::NextDue(uint64_t now) {
  uint64_t best = UINT64_MAX;
  for (const TimerEntry& t : FTimers) best = std::min(best, t.Due <= now ? 0 : t.Due - now);
  return best;
}

}  // namespace platform::ui
