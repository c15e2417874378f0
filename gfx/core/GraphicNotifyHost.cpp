#include "gfx/core/GraphicNotifyHost.h"

TGraphicNotifyHost::~TGraphicNotifyHost() {
  Notify(0, 0);
  for (Entry* e : FEntries) delete e;
  for (Entry* e : FRetired) delete e;
}

void TGraphicNotifyHost::Subscribe(const void* subscriber, TNotifyCallback callback) {
  TSyncLock lock(FSync);
  for (const Entry* e : FEntries)
    if (e->Subscriber == subscriber) return;
  if (FEntries.size() == FEntries.capacity()) FEntries.reserve(FEntries.size() + 16);
  FEntries.push_back(new Entry{std::move(callback), subscriber, false});
}

void TGraphicNotifyHost::Unsubscribe(const void* subscriber) {
  TSyncLock lock(FSync);
  for (size_t i = 0; i < FEntries.size(); ++i) {
    Entry* e = FEntries[i];
    if (e->Subscriber != subscriber) continue;
    FEntries[i] = FEntries.back();
    FEntries.pop_back();
    if (FNotifyDepth > 0) {
      // A Notify may be running this very callback: keep it alive until then.
      e->Dead = true;
      FRetired.push_back(e);
    } else {
      delete e;
    }
    return;
  }
}

int TGraphicNotifyHost::Count() {
  TSyncLock lock(FSync);
  return static_cast<int>(FEntries.size());
}

void TGraphicNotifyHost::Notify(uint32_t code, int32_t param) {
  TSyncLock lock(FSync);
  const size_t count = FEntries.size();
  if (count == 0) return;
  // The walk covers the entries present at its start, in array order, even
  // when callbacks subscribe or unsubscribe meanwhile. No allocation for the
  // usual handful of subscribers (this runs on the audio thread for automation).
  Entry* local[32];
  std::vector<Entry*> heap;
  Entry** walk = local;
  if (count > 32) {
    heap.assign(FEntries.begin(), FEntries.end());
    walk = heap.data();
  } else {
    for (size_t i = 0; i < count; ++i) local[i] = FEntries[i];
  }
  ++FNotifyDepth;
  for (size_t i = 0; i < count; ++i)
    if (!walk[i]->Dead) walk[i]->Callback(FOwner, code, param);
  if (--FNotifyDepth == 0 && !FRetired.empty()) {
    for (Entry* e : FRetired) delete e;
    FRetired.clear();
  }
}
