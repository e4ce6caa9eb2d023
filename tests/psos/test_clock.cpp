// The millisecond and microsecond clocks, delays, tick constants and the
// hardware-clock set-up.
#include <gtest/gtest.h>

#include "OS/linux/psosapi/ptimer.h"
#include "platform/sysio/sysio.h"
#include "tests/psos/psos_test_util.h"

TEST(Clock, MillisecondsAndMicrosecondsOfTheMonotonicClock) {
  psosRec().set_monotonic(1234, 567890123);
  EXPECT_EQ(RealTimeMilliSeconds(), 1234567u);
  UInt32 out = 0;
  EXPECT_EQ(millitime(&out), 1234567u);
  EXPECT_EQ(out, 1234567u);
  EXPECT_EQ(millitime(nullptr), 1234567u);
  EXPECT_EQ(CYCLES(), 1234567890u);
}

TEST(Clock, BothClocksWrapAtTwoToTheThirtySecond) {
  psosRec().set_monotonic(4294967, 296000000);  // 2^32 ms
  EXPECT_EQ(RealTimeMilliSeconds(), 0u);
  psosRec().set_monotonic(4294967, 297999999);
  EXPECT_EQ(RealTimeMilliSeconds(), 1u);
  psosRec().set_monotonic(4295, 0);  // 4295000000 us
  EXPECT_EQ(CYCLES(), 4295000000u - 4294967296u);
}

TEST(Clock, SettingTheWallClockDoesNotMoveIt) {
  psosRec().set_monotonic(500, 0);
  UInt32 before = RealTimeMilliSeconds();
  psosRec().set_realtime(100);
  EXPECT_EQ(RealTimeMilliSeconds(), before);
  psosRec().set_realtime(2000000000);
  EXPECT_EQ(RealTimeMilliSeconds(), before);
  psosRec().advance_ms(250);
  EXPECT_EQ(RealTimeMilliSeconds(), before + 250);
}

TEST(Clock, WithTheRealSeamItFollowsTheKernelMonotonicClock) {
  sysio_install(nullptr);
  UInt32 a = RealTimeMilliSeconds();
  UInt32 mono = static_cast<UInt32>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
  sleepMs(200);
  UInt32 b = RealTimeMilliSeconds();
  sysio_install(&psosRec());
  EXPECT_LE(mono - a, 1000u);
  EXPECT_GE(b - a, 190u);
  EXPECT_LE(b - a, 2000u);
}

TEST(Clock, TickConstants) {
  EXPECT_EQ(GetMillisecondsPerTick(), 10u);
  EXPECT_EQ(GetProcessorFrequency(), 1000000.0);
}

TEST(Clock, DelaysSleepAtLeastTheirTime) {
  auto t0 = SteadyClock::now();
  EXPECT_EQ(tm_wkafter(20), 0u);
  double took = secondsSince(t0);
  EXPECT_GE(took, 0.195);
  EXPECT_LT(took, 2.0);
  t0 = SteadyClock::now();
  EXPECT_EQ(tm_wkafter(105), 0u);  // whole seconds and the rest
  took = secondsSince(t0);
  EXPECT_GE(took, 1.045);
  EXPECT_LT(took, 3.0);
  t0 = SteadyClock::now();
  EXPECT_EQ(tm_wkafter(0), 0u);
  EXPECT_LT(secondsSince(t0), 1.0);
  t0 = SteadyClock::now();
  udelay(30000);
  took = secondsSince(t0);
  EXPECT_GE(took, 0.0295);
  EXPECT_LT(took, 2.0);
}

TEST(Clock, InitialClockValueFromItsFile) {
  psosRec().unlink("/opt/corvale/dat/clocktestval.dat");
  EXPECT_EQ(GetInitialClockValue(), 0u);
  psosRec().put_file("/opt/corvale/dat/clocktestval.dat", "12345\n678\n");
  EXPECT_EQ(GetInitialClockValue(), 12345u);
  psosRec().put_file("/opt/corvale/dat/clocktestval.dat", "junk\n");
  EXPECT_EQ(GetInitialClockValue(), 0u);
  psosRec().unlink("/opt/corvale/dat/clocktestval.dat");
}

TEST(Clock, HardwareClockSetUpFailsWithoutTheMemoryDevice) {
  psosRec().unlink("/dev/mem");
  LogMark log;
  EXPECT_EQ(init_rtcp(), -1);
  EXPECT_EQ(log.text(), "<3>psostest: hd[0]: os: init_rtcp open /dev/mem failed\n");
  // Something that is not the memory device cannot be mapped.
  psosRec().put_file("/dev/mem", "");
  LogMark log2;
  EXPECT_EQ(init_rtcp(), -1);
  EXPECT_EQ(log2.text(), "<3>psostest: hd[0]: os: init_rtcp mmap failed\n");
  psosRec().unlink("/dev/mem");
  EXPECT_EQ(gRtclk, nullptr);
}
