// The per-task event word: flag combinations and return codes, with real
// waiting threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

namespace {

// A task that waits once with the given arguments; the test sends to it.
struct Waiter {
  std::atomic<UInt32> id{0};
  std::atomic<int> stage{0};
  UInt32 got = 0xDEAD, rc = 99, left = 0;
  double took = 0;
  std::thread th;
  Waiter(const char* name, UInt32 events, UInt32 flags, UInt32 ticks) {
    th = std::thread([=] {
      UInt32 me = 0;
      t_attach(name, -1, &me);
      id = me;
      stage = 1;
      auto t0 = SteadyClock::now();
      rc = ev_receive(events, flags, ticks, &got);
      took = secondsSince(t0);
      stage = 2;
      while (stage != 3) sleepMs(2);
      ev_receive(0, 0, 0, &left);
      t_delete(0);
    });
    waitFor([&] { return stage.load() == 1; }, 5000);
  }
  ~Waiter() {
    if (!th.joinable()) return;
    ev_send(id, 0xFFFFFFFF);  // a failed test must not leave it waiting
    finish();
  }
  bool returned() { return waitFor([&] { return stage.load() == 2; }, 5000); }
  void finish() {
    stage = 3;
    th.join();
  }
};

}  // namespace

TEST(Events, NoWaitTakesPresentEventsOrReportsSixty) {
  inTask("nowt", [](UInt32 me) {
    UInt32 got = 0xDEAD;
    EXPECT_EQ(ev_receive(0x1, kEvNoWait, 0, &got), 60u);
    ASSERT_EQ(ev_send(me, 0x80000005), 0);
    EXPECT_EQ(ev_receive(0x3, kEvNoWait, 0, &got), 60u) << "all of 0x3 required, only 0x1 there";
    EXPECT_EQ(ev_receive(0, kEvWaitAll, 0, &got), 0u);
    EXPECT_EQ(got, 0x80000005u) << "no events asked: what is captured, nothing consumed";
    EXPECT_EQ(ev_receive(0x3, kEvNoWait | kEvAny, 0, &got), 0u);
    EXPECT_EQ(got, 0x1u);
    EXPECT_EQ(ev_receive(0x80000004, kEvNoWait, 0, &got), 0u);
    EXPECT_EQ(got, 0x80000004u);
    EXPECT_EQ(ev_receive(0, 0, 0, &got), 0u);
    EXPECT_EQ(got, 0u);
  });
  UInt32 got = 0;
  EXPECT_EQ(ev_receive(0x1, kEvNoWait, 0, &got), 6u) << "not a task";
}

TEST(Events, AnyReturnsOnTheFirstArrivalAndConsumesOnlyThatOne) {
  Waiter any("anyw", 0x3, kEvAny, 0);
  sleepMs(50);
  EXPECT_EQ(any.stage.load(), 1) << "still waiting";
  ASSERT_EQ(ev_send(any.id, 0x2), 0);
  ASSERT_TRUE(any.returned());
  ASSERT_EQ(ev_send(any.id, 0x1), 0);
  any.finish();
  EXPECT_EQ(any.rc, 0u);
  EXPECT_EQ(any.got, 0x2u);
  EXPECT_EQ(any.left, 0x1u) << "only the present event is consumed";
}

TEST(Events, TimedWaitWithoutTheWholeSetReturnsOneAndKeepsWhatCame) {
  Waiter w("tmo5", 0x3, kEvWaitAll, 5);
  ASSERT_EQ(ev_send(w.id, 0x1), 0);
  ASSERT_TRUE(w.returned());
  w.finish();
  EXPECT_EQ(w.rc, 1u);
  EXPECT_GE(w.took, 0.045);  // five 10-ms ticks
  EXPECT_EQ(w.got, 0xDEADu);
  EXPECT_EQ(w.left, 0x1u);
}

TEST(Events, SendToZeroOrUnknownFailsWithALogLine) {
  LogMark log;
  EXPECT_EQ(ev_send(0, 0x4), -1);
  inTask("from", [](UInt32) { EXPECT_EQ(ev_send(0, 0x10), -1); });
  LogMark log2;
  EXPECT_EQ(ev_send(0x1234, 0x1), -1);
  EXPECT_EQ(log2.text(), "<3>psostest: hd[0]: os: ev_send task 00001234 not found: event 00000001\n");
  EXPECT_EQ(log.text().find("<3>psostest: hd[0]: os: in pthreadapi.c: ev_send task ID is 0: event 00000004, from ????\n"),
            0u)
      << log.text();
  EXPECT_TRUE(log.has("<3>psostest: hd[0]: os: in pthreadapi.c: ev_send task ID is 0: event 00000010, from from\n"));
}

TEST(Events, ConcurrentSendersLoseNoBits) {
  static std::atomic<UInt32> me{0};
  static UInt32 seen = 0;
  const UInt32 kStop = 0x80000000u;
  std::thread th([] {
    UInt32 id;
    t_attach("conc", -1, &id);
    me = id;
    UInt32 got = 0;
    while (!(seen & 0x80000000u) && ev_receive(0xFFFFFFFFu, kEvAny, 0, &got) == 0) seen |= got;
    t_delete(0);
  });
  ASSERT_TRUE(waitFor([] { return me.load() != 0; }, 5000));
  std::vector<std::thread> senders;
  UInt32 expected = kStop;
  for (int s = 0; s < 4; ++s) {
    for (int i = 0; i < 400; ++i) expected |= 1u << ((s * 7 + i) % 31);
    senders.emplace_back([s] {
      for (int i = 0; i < 400; ++i) ev_send(me, 1u << ((s * 7 + i) % 31));
    });
  }
  for (auto& s : senders) s.join();
  ASSERT_EQ(ev_send(me, kStop), 0);
  th.join();
  EXPECT_EQ(seen, expected) << "every bit was sent before the stop bit";
}
