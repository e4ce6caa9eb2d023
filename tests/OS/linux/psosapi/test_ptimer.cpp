// Tick timers (the "tmtk" task, event and callback timers, cancelling, the
// pool of 50 blocks, the failure texts) and the clocks and delays.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "OS/linux/psosapi/eErrorT.h"
#include "OS/linux/psosapi/pthreadapi.h"
#include "OS/linux/psosapi/ptimer.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

namespace {

std::atomic<int> gCalls{0}, gRearms{0};

int countAndRearm(void*) { return ++gCalls, gRearms-- > 0 ? 1 : 0; }

int keepGoing(void*) { return 1; }

std::atomic<int> gInsideArm{1}, gInsideCancel{1};
int armAndCancelInside(void*) {
  UInt32 tm = 0;
  gInsideArm = tm_callback_after(5, &tm, keepGoing, nullptr);
  gInsideCancel = tm_cancel(0x1234);
  return 0;
}

std::string notFound(UInt32 tm) {
  return "RemoveTimer: " + pointerText(reinterpret_cast<void*>(static_cast<uintptr_t>(tm))) + " not found\n";
}

}  // namespace

TEST(TickTimers, EventTimerArrivesOnceAfterItsTicksAndPeriodicOnesUntilCancelled) {
  inTask("evaf", [](UInt32) {
    UInt32 once = 0, every = 0, fence = 0, got = 0;
    const UInt32 epoch = GetEpochMillisecs();
    ASSERT_EQ(tm_evafter(20, 0x4, &once) + tm_evevery(5, 0x8, &every), 0);
    ASSERT_EQ(ev_receive(0x4, kEvWaitAll, 0, &got), 0u);
    EXPECT_GE(GetEpochMillisecs() - epoch, 200u) << "twenty ticks of the timer task, however long they took";
    for (int i = 0; i < 2; ++i) ASSERT_EQ(ev_receive(0x8, kEvWaitAll, 0, &got), 0u);  // the second one came later
    EXPECT_EQ(withStdout([&] { return tm_cancel(once); }), std::make_pair(0, notFound(once))) << "fired: gone";
    EXPECT_EQ(withStdout([&] { return tm_cancel(every); }), std::make_pair(0, std::string()));
    ev_receive(0x8, kEvNoWait, 0, &got);  // one may have been on its way
    ASSERT_EQ(tm_evafter(10, 0x10, &fence), 0);
    ASSERT_EQ(ev_receive(0x10, kEvWaitAll, 0, &got), 0u);
    EXPECT_EQ(ev_receive(0xC, kEvNoWait | kEvAny, 0, &got), 60u) << "nothing more in ten ticks";
  });
  EXPECT_EQ(withStdout([] { return tm_cancel(0); }), std::make_pair(0, notFound(0)));
}

TEST(TickTimers, CallbackIsReArmedWhileItReturnsNonZeroOnTheTimerTask) {
  gCalls = 0, gRearms = 2;
  UInt32 tm = 0;
  ASSERT_EQ(tm_callback_after(5, &tm, countAndRearm, nullptr), 0);
  ASSERT_TRUE(waitFor([] { return gCalls.load() == 3; }, 5000));
  EXPECT_EQ(withStdout([&] { return tm_cancel(tm); }), std::make_pair(0, notFound(tm))) << "finished: back in the pool";
  EXPECT_EQ(gCalls.load(), 3);
  UInt32 id = 0;
  ASSERT_EQ(t_ident("tmtk", 0, &id), 0u);
  EXPECT_EQ(reinterpret_cast<TCB*>(static_cast<uintptr_t>(id))->priority, 66);
  EXPECT_EQ(GetEpochMillisecs() % 10, 0u);
}

TEST(TickTimers, ExhaustedPoolRefusesToArm) {
  std::vector<UInt32> ids;
  UInt32 tm = 0;
  while (ids.size() <= static_cast<size_t>(kTimerPoolSize) && tm_callback_after(100000, &tm, keepGoing, nullptr) == 0) ids.push_back(tm);
  EXPECT_LE(ids.size(), static_cast<size_t>(kTimerPoolSize));
  EXPECT_GE(ids.size(), static_cast<size_t>(kTimerPoolSize) - 5);  // earlier tests may hold a few
  LogMark log;
  tm = 0xFFFF;
  EXPECT_EQ(tm_callback_after(100000, &tm, keepGoing, nullptr), kOutOfResources);
  EXPECT_EQ(tm, 0u);
  // The timer task may log its own start line meanwhile, before or after.
  EXPECT_NE(log.text().find(osLine('2', "AllocTimer failed")), std::string::npos) << log.text();
  ASSERT_EQ(tm_cancel(ids.back()), 0);
  ASSERT_EQ(tm_callback_after(100000, &ids.back(), keepGoing, nullptr), 0) << "one back, one more fits";
  for (UInt32 id : ids) EXPECT_EQ(tm_cancel(id), 0);
}

TEST(TickTimers, ArmingTakesAnyTicksAndCallersButNeedsAnIdPointer) {
  EXPECT_EQ(tm_evafter(5, 0x1, nullptr), kBadParameter);
  UInt32 zero = 0, noCallback = 0, notATask = 0;
  // 0 ticks counts down through 2^32; events from a thread that is no task
  // go to task 0 and are refused there; no callback means no events.
  EXPECT_EQ(tm_evafter(0, 0x1, &zero), 0);
  EXPECT_EQ(tm_callback_after(1, &noCallback, nullptr, nullptr), 0);
  EXPECT_EQ(tm_evevery(1, 0x20, &notATask), 0);
  LogMark log;
  ASSERT_TRUE(waitFor([&] { return log.has("ev_send task ID is 0: event 00000020, from tmtk\n"); }, 5000)) << log.text();
  EXPECT_TRUE(waitFor([&] { return log.has("ev_send task ID is 0: event 00000000, from tmtk\n"); }, 5000)) << log.text();
  for (UInt32 id : {zero, noCallback, notATask}) EXPECT_EQ(withStdout([&] { return tm_cancel(id); }), std::make_pair(0, std::string()));
}

TEST(TickTimers, CallbackThatArmsOrCancelsIsRefusedNotDeadlocked) {
  UInt32 tm = 0;
  ASSERT_EQ(tm_callback_after(1, &tm, armAndCancelInside, nullptr), 0);
  ASSERT_TRUE(waitFor([] { return gInsideCancel.load() != 1; }, 5000));
  EXPECT_EQ(std::make_pair(gInsideArm.load(), gInsideCancel.load()), (std::pair<int, int>(kBadState, kBadState)));
  gCalls = 0, gRearms = 0;
  ASSERT_EQ(tm_callback_after(1, &tm, countAndRearm, nullptr), 0);
  EXPECT_TRUE(waitFor([] { return gCalls.load() == 1; }, 5000)) << "the timer task is still ticking";
}

TEST(TickTimers, FreeTimerReportsMisuseAndKeepsThePoolSound) {
  ASSERT_EQ(StartSystemTimer(), 0);  // its task logs its start once: not in the middle of what is checked
  ASSERT_TRUE(waitFor([] { return psosRec().file_bytes("/dev/crvllog").find(" task:tmtk ") != std::string::npos; }, 5000));
  TMCB* p = AllocTimer();
  ASSERT_NE(p, nullptr);
  FreeTimer(p);
  TMCB* nextFree = p->next;
  LogMark log;
  FreeTimer(nullptr);
  FreeTimer(p);  // already free
  std::string expected = osLine('4', "FreeTimer called with NULL pTimer");
  if (nextFree)
    expected += osLine('3', "FreeTimer pTimer is not consistent pTimer: " + pointerText(p) + " pTimer->next: " + pointerText(nextFree));
  EXPECT_EQ(log.text(), expected + osLine('3', "FreeTimer pList is not consistent pList: " + pointerText(p)));
  TMCB *a = AllocTimer(), *b = AllocTimer();
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b) << "a block freed twice is still handed out once";
  FreeTimer(a), FreeTimer(b);
}

TEST(TickTimers, DeletingATaskCancelsItsEventTimers) {
  static std::atomic<UInt32> tm{0};
  UInt32 task = spawnTask("tmdl", 0, [] {
    UInt32 id = 0;
    tm_evevery(5, 0x1, &id);
    tm = id;
    idleUntilDeleted();
  });
  ASSERT_NE(task, 0u);
  ASSERT_TRUE(waitFor([] { return tm.load() != 0; }, 5000));
  EXPECT_EQ(t_delete(task), 0u);
  EXPECT_EQ(withStdout([&] { return tm_cancel(tm); }), std::make_pair(0, notFound(tm)));
}

TEST(Clock, MillisecondsAndMicrosecondsOfTheMonotonicClockWrapAt2To32) {
  const struct { time_t sec; long nsec; UInt32 ms, us; } cases[] = {
      {1234, 567890123, 1234567u, 1234567890u},
      {4294967, 296000000, 0u, static_cast<UInt32>(4294967296000ull % 4294967296ull)},
      {4294967, 297999999, 1u, static_cast<UInt32>(4294967297999999ull / 1000 % 4294967296ull)},
  };
  for (const auto& c : cases) {
    psosRec().set_monotonic(c.sec, c.nsec);
    psosRec().set_realtime(100);  // the wall clock plays no part
    UInt32 out = 0;  // read after millitime wrote it: a braced list is evaluated in order
    EXPECT_EQ((std::vector<UInt32>{RealTimeMilliSeconds(), millitime(&out), out, CYCLES()}),
              (std::vector<UInt32>{c.ms, c.ms, c.ms, c.us})) << c.sec;
  }
}

TEST(Clock, HardwareClockSetUpAndItsInitialValue) {
  const std::pair<const char*, UInt32> values[] = {{nullptr, 0}, {"12345\n678\n", 12345}, {"junk\n", 0}};
  for (const auto& v : values) {
    if (v.first) psosRec().put_file("/opt/corvale/dat/clocktestval.dat", v.first);
    EXPECT_EQ(GetInitialClockValue(), v.second) << (v.first ? v.first : "no file");
  }
  psosRec().unlink("/dev/mem");
  psosRec().clear();
  LogMark log;
  EXPECT_EQ(init_rtcp(), -1);
  psosRec().put_file("/dev/mem", "");  // not the memory device: cannot be mapped
  EXPECT_EQ(init_rtcp(), -1);
  EXPECT_EQ(log.text(), osLine('3', "init_rtcp open /dev/mem failed") + osLine('3', "init_rtcp mmap failed"));
  EXPECT_EQ(gRtclk, nullptr);
  auto opens = psosRec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1].flags, O_RDWR | O_SYNC | O_CLOEXEC);
  psosRec().unlink("/dev/mem");
}
