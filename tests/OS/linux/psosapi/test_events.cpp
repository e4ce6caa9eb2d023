// The per-task event word: flag combinations and return codes, with real
// waiting threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

// ev_receive's result and what it wrote to its out-parameter (0xDEAD: nothing).
static std::pair<UInt32, UInt32> receive(UInt32 events, UInt32 flags, UInt32 ticks) {
  UInt32 got = 0xDEAD;
  UInt32 rc = ev_receive(events, flags, ticks, &got);
  return {rc, got};
}

TEST(Events, NoWaitTakesPresentEventsOrReportsSixty) {
  inTask("nowt", [](UInt32 me) {
    EXPECT_EQ(receive(0x1, kEvNoWait, 0).first, 60u);
    ASSERT_EQ(ev_send(me, 0x80000005), 0);
    EXPECT_EQ(receive(0x3, kEvNoWait, 0).first, 60u) << "all of 0x3 required, only 0x1 there";
    // No events asked: what is captured comes back, nothing is taken.
    EXPECT_EQ(receive(0, kEvWaitAll, 0), std::make_pair(0u, 0x80000005u));
    EXPECT_EQ(receive(0x3, kEvNoWait | kEvAny, 0), std::make_pair(0u, 0x1u));
    EXPECT_EQ(receive(0x80000004, kEvNoWait, 0), std::make_pair(0u, 0x80000004u));
    EXPECT_EQ(receive(0, 0, 0), std::make_pair(0u, 0u));
  });
  EXPECT_EQ(receive(0x1, kEvNoWait, 0).first, 6u) << "not a task";
}

TEST(Events, WaitsEndOnTheFirstOfAnyOrAfterTheirTicksAndConsumeOnlyWhatMatched) {
  inTask("anyw", [](UInt32 me) {
    std::thread sender([me] { sleepMs(20), ev_send(me, 0x2); });
    EXPECT_EQ(receive(0x3, kEvAny, 500), std::make_pair(0u, 0x2u)) << "woken by the sender";
    sender.join();
    ev_send(me, 0x1);
    EXPECT_EQ(receive(0x3, kEvWaitAll, 5), std::make_pair(1u, 0xDEADu)) << "all of 0x3 required";
    EXPECT_EQ(receive(0, 0, 0), std::make_pair(0u, 0x1u)) << "what came stays captured";
  });
}

TEST(Events, SendToZeroOrUnknownFailsWithALogLine) {
  LogMark log;
  EXPECT_EQ(ev_send(0, 0x4), -1);
  inTask("from", [](UInt32) { EXPECT_EQ(ev_send(0, 0x10), -1); });
  EXPECT_EQ(ev_send(0x1234, 0x1), -1);
  for (const char* line : {"in pthreadapi.c: ev_send task ID is 0: event 00000004, from ????",
                           "in pthreadapi.c: ev_send task ID is 0: event 00000010, from from",
                           "ev_send task 00001234 not found: event 00000001"})
    EXPECT_TRUE(log.has(osLine('3', line))) << log.text();
}

TEST(Events, ConcurrentSendersLoseNoBits) {
  static std::atomic<UInt32> me{0};
  static UInt32 seen = 0;
  std::thread th([] {
    me = inTask("conc", [](UInt32 self) {
      me = self;
      UInt32 got = 0;
      while (!(seen & 0x80000000u) && ev_receive(0xFFFFFFFFu, kEvAny, 0, &got) == 0) seen |= got;
    });
  });
  ASSERT_TRUE(waitFor([] { return me.load() != 0; }, 5000));
  std::vector<std::thread> senders;
  for (int s = 0; s < 4; ++s)  // each sender owns every fourth bit and sends it 100 times
    senders.emplace_back([s] { for (int i = 0; i < 800; ++i) ev_send(me, 1u << (s + 4 * (i % 8)) % 31); });
  for (auto& s : senders) s.join();
  ASSERT_EQ(ev_send(me, 0x80000000u), 0);
  th.join();
  EXPECT_EQ(seen, 0xFFFFFFFFu) << "every bit was sent before the stop bit";
}
