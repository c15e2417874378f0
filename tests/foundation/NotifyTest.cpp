// Locks and change notification.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "classlib/Classes.h"
#include "gfx/core/GraphicNotifyHost.h"
#include "gfx/core/InterlockedValue.h"
#include "gfx/core/SyncObject.h"

namespace {

struct Log {
  std::vector<std::pair<int, uint32_t>> calls;  // (subscriber tag, code)
};

TNotifyCallback Recorder(Log& log, int tag) {
  return [&log, tag](TObject*, uint32_t code, int32_t) { log.calls.push_back({tag, code}); };
}

TEST(NotifyHost, SubscribeTwiceKeepsFirstCallbackAndOrderIsArrayOrder) {
  TObject owner;
  Log log;
  int a, b, c;
  {
    TGraphicNotifyHost host(&owner);
    host.Subscribe(&a, Recorder(log, 1));
    host.Subscribe(&a, Recorder(log, 99));  // ignored: a already has an entry
    host.Subscribe(&b, Recorder(log, 2));
    host.Subscribe(&c, Recorder(log, 3));
    EXPECT_EQ(host.Count(), 3);
    host.Notify(5, 7);
    ASSERT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(log.calls[0].first, 1);
    EXPECT_EQ(log.calls[1].first, 2);
    EXPECT_EQ(log.calls[2].first, 3);

    // Removing the first entry moves the last one into its place.
    host.Unsubscribe(&a);
    host.Unsubscribe(&a);  // unknown now: ignored
    log.calls.clear();
    host.Notify(5, 0);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].first, 3);
    EXPECT_EQ(log.calls[1].first, 2);
    log.calls.clear();
  }
  // Destruction sends code 0 once to each remaining subscriber.
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[0].second, 0u);
  EXPECT_EQ(log.calls[1].second, 0u);
}

TEST(NotifyHost, SenderIsTheOwnerAndParamIsPassed) {
  TObject owner;
  TGraphicNotifyHost host(&owner);
  TObject* seen = nullptr;
  int32_t param = 0;
  int s;
  host.Subscribe(&s, [&](TObject* sender, uint32_t, int32_t p) {
    seen = sender;
    param = p;
  });
  host.Notify(4, -12);
  EXPECT_EQ(seen, &owner);
  EXPECT_EQ(param, -12);
}

TEST(NotifyHost, CallbacksMayUnsubscribeAndSubscribeDuringNotify) {
  std::vector<int> order;  // outlives the host: its destruction notifies too
  TObject owner;
  TGraphicNotifyHost host(&owner);
  int a, b, c, d;
  host.Subscribe(&a, [&](TObject*, uint32_t, int32_t) {
    order.push_back(1);
    host.Unsubscribe(&a);  // itself
    host.Unsubscribe(&b);  // a later one: must not be called any more
    host.Subscribe(&d, [&](TObject*, uint32_t, int32_t) { order.push_back(4); });
  });
  host.Subscribe(&b, [&](TObject*, uint32_t, int32_t) { order.push_back(2); });
  host.Subscribe(&c, [&](TObject*, uint32_t, int32_t) { order.push_back(3); });
  host.Notify(1, 0);
  EXPECT_EQ(order, (std::vector<int>{1, 3}));  // d was added during the walk: not visited
  order.clear();
  host.Notify(1, 0);
  ASSERT_EQ(order.size(), 2u);  // c and d
}

TEST(InterlockedValue, ExchangeReturnsPrevious) {
  TInterlockedValue v(1);
  EXPECT_EQ(v.Exchange(0), 1);
  EXPECT_EQ(v.Exchange(0), 0);
  EXPECT_EQ(v.Exchange(-5), 0);
  EXPECT_EQ(v.Exchange(0), -5);
}

TEST(SyncObject, IsRecursiveAndExcludesOtherThreads) {
  TSyncObject sync;
  long counter = 0;
  {
    TSyncLock outer(sync);
    TSyncLock inner(sync);  // the same thread enters again
    ++counter;
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        TSyncLock lock(sync);
        long v = counter;
        counter = v + 1;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 1 + 4 * 20000);
}

}  // namespace
