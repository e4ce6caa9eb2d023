// The per-task event word: every flag combination and return code, with
// real waiting threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "tests/psos/psos_task_util.h"
#include "tests/psos/psos_test_util.h"

namespace {

// Runs `body` as an attached task and waits for it.
void inTask(const char* name, std::function<void()> body) {
  AttachedThread th(name, std::move(body));
  th.join();
}

}  // namespace

TEST(Events, NoWaitTakesPresentEventsOrReportsSixty) {
  inTask("nowt", [] {
    UInt32 me = 0, got = 0xDEAD;
    ASSERT_EQ(t_ident(nullptr, 0, &me), 0u);
    EXPECT_EQ(ev_receive(0x1, kEvNoWait, 0, &got), 60u);
    ASSERT_EQ(ev_send(me, 0x5), 0);
    // All of 0x3 required, only 0x1 there: nothing taken.
    EXPECT_EQ(ev_receive(0x3, kEvNoWait, 0, &got), 60u);
    EXPECT_EQ(ev_receive(0, 0, 0, &got), 0u);
    EXPECT_EQ(got, 0x5u);
    // Any of 0x3: takes 0x1 only.
    EXPECT_EQ(ev_receive(0x3, kEvNoWait | kEvAny, 0, &got), 0u);
    EXPECT_EQ(got, 0x1u);
    EXPECT_EQ(ev_receive(0x4, kEvNoWait, 0, &got), 0u);
    EXPECT_EQ(got, 0x4u);
    EXPECT_EQ(ev_receive(0, 0, 0, &got), 0u);
    EXPECT_EQ(got, 0u);
  });
}

TEST(Events, ZeroEventsReportsCapturedWithoutConsuming) {
  inTask("zero", [] {
    UInt32 me = 0, got = 0;
    t_ident(nullptr, 0, &me);
    ev_send(me, 0x80000001);
    EXPECT_EQ(ev_receive(0, kEvWaitAll, 0, &got), 0u);
    EXPECT_EQ(got, 0x80000001u);
    EXPECT_EQ(ev_receive(0, kEvNoWait, 0, &got), 0u);
    EXPECT_EQ(got, 0x80000001u);
  });
}

TEST(Events, AnyFlagReturnsOnTheFirstArrivalAndConsumesOnlyThatOne) {
  static std::atomic<int> stage{0};
  static UInt32 got = 0, rc = 99, left = 0;
  static std::atomic<UInt32> me{0};
  AttachedThread th("anyw", [] {
    UInt32 id;
    t_ident(nullptr, 0, &id);
    me = id;
    stage = 1;
    rc = ev_receive(0x3, kEvAny, 0, &got);
    stage = 2;
    while (stage != 3) sleepMs(2);
    ev_receive(0, 0, 0, &left);
  });
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  sleepMs(100);
  EXPECT_EQ(stage.load(), 1);  // still waiting
  ASSERT_EQ(ev_send(me, 0x2), 0);
  ASSERT_TRUE(waitFor([] { return stage.load() == 2; }, 5000));
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(got, 0x2u);
  ASSERT_EQ(ev_send(me, 0x1), 0);
  stage = 3;
  th.join();
  EXPECT_EQ(left, 0x1u);
}

TEST(Events, AllRequiredWaitsForEveryBitAcrossSends) {
  static std::atomic<int> stage{0};
  static UInt32 got = 0, rc = 99;
  static std::atomic<UInt32> me{0};
  AttachedThread th("allw", [] {
    UInt32 id;
    t_ident(nullptr, 0, &id);
    me = id;
    stage = 1;
    rc = ev_receive(0x3, kEvWaitAll, 0, &got);
    stage = 2;
  });
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  ASSERT_EQ(ev_send(me, 0x1), 0);
  sleepMs(150);
  EXPECT_EQ(stage.load(), 1);  // half is not enough
  ASSERT_EQ(ev_send(me, 0x6), 0);
  ASSERT_TRUE(waitFor([] { return stage.load() == 2; }, 5000));
  th.join();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(got, 0x3u);
}

TEST(Events, TimedWaitWithoutTheWholeSetReturnsOneAndKeepsWhatCame) {
  inTask("tmo5", [] {
    UInt32 me = 0, got = 0xDEAD;
    t_ident(nullptr, 0, &me);
    ev_send(me, 0x1);
    auto t0 = SteadyClock::now();
    EXPECT_EQ(ev_receive(0x3, kEvWaitAll, 5, &got), 1u);
    double took = secondsSince(t0);
    EXPECT_GE(took, 0.045);  // five 10-ms ticks
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(got, 0xDEADu);
    EXPECT_EQ(ev_receive(0, 0, 0, &got), 0u);
    EXPECT_EQ(got, 0x1u);
  });
}

TEST(Events, TimedWaitSucceedsWhenTheEventsComeInTime) {
  static std::atomic<UInt32> me{0};
  static std::atomic<int> stage{0};
  static UInt32 got = 0, rc = 99;
  AttachedThread th("tmok", [] {
    UInt32 id;
    t_ident(nullptr, 0, &id);
    me = id;
    stage = 1;
    rc = ev_receive(0x10, kEvWaitAll, 500, &got);  // up to 5 s
    stage = 2;
  });
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  sleepMs(50);
  ASSERT_EQ(ev_send(me, 0x10), 0);
  th.join();
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(got, 0x10u);
}

TEST(Events, ReceiveTimeoutWakesATimedWaiterEarly) {
  static std::atomic<UInt32> me{0};
  static std::atomic<int> stage{0};
  static UInt32 rc = 99;
  static double took = 0;
  AttachedThread th("rtmo", [] {
    UInt32 id, got;
    t_ident(nullptr, 0, &id);
    me = id;
    stage = 1;
    auto t0 = SteadyClock::now();
    rc = ev_receive(0x8, kEvWaitAll, 1000, &got);  // up to 10 s
    took = secondsSince(t0);
  });
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  sleepMs(100);
  EXPECT_EQ(ev_receive_timeout(reinterpret_cast<TCB*>(static_cast<uintptr_t>(me.load()))), 0u);
  th.join();
  EXPECT_EQ(rc, 1u);
  EXPECT_LT(took, 8.0);
  EXPECT_EQ(ev_receive_timeout(reinterpret_cast<TCB*>(static_cast<uintptr_t>(0x1234))), 9u);
  EXPECT_EQ(ev_receive_timeout(nullptr), 9u);
}

TEST(Events, SendToZeroOrUnknownFailsWithALogLine) {
  LogMark log;
  EXPECT_EQ(ev_send(0, 0x4), -1);
  EXPECT_EQ(log.text(), "<3>psostest: hd[0]: os: in pthreadapi.c: ev_send task ID is 0: event 00000004, from ????\n");
  inTask("from", [] { EXPECT_EQ(ev_send(0, 0x10), -1); });
  EXPECT_TRUE(log.has("<3>psostest: hd[0]: os: in pthreadapi.c: ev_send task ID is 0: event 00000010, from from\n"))
      << log.text();
  LogMark log2;
  EXPECT_EQ(ev_send(0x1234, 0x1), -1);
  EXPECT_EQ(log2.text(), "<3>psostest: hd[0]: os: ev_send task 00001234 not found: event 00000001\n");
}

TEST(Events, ReceiveOutsideATaskReportsSix) {
  UInt32 got = 0;
  EXPECT_EQ(ev_receive(0x1, kEvNoWait, 0, &got), 6u);
  EXPECT_EQ(ev_receive(0x1, kEvWaitAll, 1, &got), 6u);
}

TEST(Events, ConcurrentSendersLoseNoBits) {
  static std::atomic<UInt32> me{0};
  static std::atomic<int> stage{0};
  static UInt32 seen = 0;
  const UInt32 kStop = 0x80000000u;
  AttachedThread th("conc", [] {
    UInt32 id;
    t_ident(nullptr, 0, &id);
    me = id;
    stage = 1;
    for (;;) {
      UInt32 got = 0;
      if (ev_receive(0xFFFFFFFFu, kEvAny, 0, &got) != 0) break;
      seen |= got;
      if (got & 0x80000000u) break;
    }
  });
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  std::vector<std::thread> senders;
  for (int s = 0; s < 4; ++s)
    senders.emplace_back([s] {
      for (int i = 0; i < 400; ++i) ev_send(me, 1u << ((s * 7 + i) % 31));
    });
  for (auto& s : senders) s.join();
  ASSERT_EQ(ev_send(me, kStop), 0);
  th.join();
  UInt32 expected = kStop;
  for (int s = 0; s < 4; ++s)
    for (int i = 0; i < 400; ++i) expected |= 1u << ((s * 7 + i) % 31);
  // Every bit was sent before the stop bit, so the loop has taken them all
  // by the time it takes the stop bit.
  EXPECT_EQ(seen, expected);
}
