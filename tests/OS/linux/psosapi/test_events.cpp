// The per-task event word: flag combinations and return codes, with real
// waiting threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

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

TEST(Events, WaitsEndOnTheFirstOfAnyOrAfterTheirTicksAndConsumeOnlyWhatMatched) {
  inTask("anyw", [](UInt32 me) {
    std::thread sender([me] {
      sleepMs(20);
      ev_send(me, 0x2);
    });
    UInt32 got = 0xDEAD, left = 0;
    EXPECT_EQ(ev_receive(0x3, kEvAny, 500, &got), 0u) << "woken by the sender, well before the 5 s limit";
    sender.join();
    EXPECT_EQ(got, 0x2u);
    ev_send(me, 0x1);
    got = 0xDEAD;
    EXPECT_EQ(ev_receive(0x3, kEvWaitAll, 5, &got), 1u) << "all of 0x3 required";
    EXPECT_EQ(got, 0xDEADu);
    EXPECT_EQ(ev_receive(0, 0, 0, &left), 0u);
    EXPECT_EQ(left, 0x1u) << "what came stays captured";
  });
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
    senders.emplace_back([s] {
      for (int i = 0; i < 800; ++i) ev_send(me, 1u << (s + 4 * (i % 8)) % 31);
    });
  for (auto& s : senders) s.join();
  ASSERT_EQ(ev_send(me, 0x80000000u), 0);
  th.join();
  EXPECT_EQ(seen, 0xFFFFFFFFu) << "every bit was sent before the stop bit";
}
