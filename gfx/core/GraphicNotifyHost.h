#pragma once
// TGraphicNotifyHost: the subscriber list through which an object tells its
// dependants that it changed or is going away.
//
// Subscribe/Unsubscribe/Notify hold the host's own lock; callbacks run under
// it on the notifying thread, so a callback must not wait for another thread
// that could be notifying on the same host. A Notify visits the entries that
// existed when it started; a callback may subscribe or unsubscribe (itself or
// others) on the same host: entries removed meanwhile are skipped, entries
// added meanwhile are not visited by that Notify.
// Destruction sends code 0 once to every subscriber still registered.

#include <cstdint>
#include <vector>

#include "classlib/Events.h"
#include "gfx/core/SyncObject.h"

using TNotifyCallback = TEvent<void(TObject* Sender, uint32_t Code, int32_t Param)>;

class TGraphicNotifyHost {
public:
  explicit TGraphicNotifyHost(TObject* owner) : FOwner(owner) {}
  ~TGraphicNotifyHost();
  TGraphicNotifyHost(const TGraphicNotifyHost&) = delete;
  TGraphicNotifyHost& operator=(const TGraphicNotifyHost&) = delete;

  TObject* Owner() const { return FOwner; }
  // An existing entry for the subscriber keeps its first callback.
  void Subscribe(const void* subscriber, TNotifyCallback callback);
  // The subscriber's entry is replaced by the last entry (order not kept).
  void Unsubscribe(const void* subscriber);
  void Notify(uint32_t code, int32_t param);
  int Count();

private:
  struct Entry {
    TNotifyCallback Callback;
    const void* Subscriber;
    bool Dead;
  };
  TObject* FOwner;
  TSyncObject FSync;
  std::vector<Entry*> FEntries;  // live entries in array order
  std::vector<Entry*> FRetired;  // removed while a Notify ran; freed when the outermost one ends
  int FNotifyDepth = 0;
};
