// Interval timer: real POSIX timers and the real shared timer thread. No
// assertion depends on how long anything took: what the kernel has armed is
// read back with timer_gettime, and calls are checked by order and count.
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>

#include "tests/OS/os_test_util.h"
#include "tests/arch/exec_wrapper.h"
#include "util/timerUtil.h"

namespace {

std::atomic<int> gSeq{0};  // orders the beginnings and ends of all calls

// The calls of one timer's function: thread, and where each began and ended
// in gSeq. Written by the timer thread only, published by `n`.
struct Calls {
  std::atomic<size_t> started{0}, n{0};
  int tid[64], begin[64], end[64];
  int sleepMsInCall = 0;
  size_t count() { return n.load(); }
};

void record(void* arg) {
  Calls* c = static_cast<Calls*>(arg);
  size_t i = c->started++ % 64;
  c->tid[i] = callerTid();
  c->begin[i] = ++gSeq;
  if (c->sleepMsInCall) sleepMs(c->sleepMsInCall);
  c->end[i] = ++gSeq;
  ++c->n;
}

struct ProbeTimer : Timer {
  void forceRunning(bool r) { m_running = r; }
  // What the kernel has armed, in nanoseconds: {value left, interval}.
  std::pair<long long, long long> armed() {
    itimerspec its = {};
    timer_gettime(reinterpret_cast<timer_t>(static_cast<intptr_t>(static_cast<int32_t>(m_timerID))), &its);
    auto ns = [](const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; };
    return {ns(its.it_value), ns(its.it_interval)};
  }
};

// POSIX timers of this process, -1 when the kernel does not list them.
int posixTimerCount() {
  std::ifstream f("/proc/self/timers");
  int n = 0;
  for (std::string line; std::getline(f, line);) n += line.compare(0, 3, "ID:") == 0;
  return f.eof() ? n : -1;
}

}  // namespace

// qemu-arm cannot deliver real-time signals 63 and 64, so under emulation no
// timer can be armed: the tests that need one are skipped there, and only
// there (EmulatorRefusesTheExpirySignal proves the condition).
#define SKIP_WITHOUT_EXPIRY_SIGNAL() \
  if (archUnderEmulation()) GTEST_SKIP() << "qemu-arm cannot deliver signal 64"

TEST(IntervalTimer, EmulatorRefusesTheExpirySignal) {
  Timer first, t;
  first.TimerInit(record, nullptr, 100, false);  // starts the timer thread, which prints a line
  auto out = withStdout([&] { return t.TimerInit(record, nullptr, 100, false); });
  EXPECT_EQ(out, archUnderEmulation() ? std::make_pair(-1, std::string("TimerInit: timer_create failed, errno 22\n"))
                                      : std::make_pair(0, std::string()));
}

TEST(IntervalTimer, OneShotFiresOnceAndPeriodicUntilStoppedOnTheTimerThread) {
  SKIP_WITHOUT_EXPIRY_SIGNAL();
  bool threadExisted = timerThreadTid() != 0;
  Calls once, every;
  once.sleepMsInCall = 150;
  ProbeTimer t, p;
  auto out = withStdout([&] {
    return t.TimerInit(record, &once, 1500, false) + p.TimerInit(record, &every, 1500, true) + p.TimerStartThread();
  });
  EXPECT_EQ(out, std::make_pair(0, std::string(threadExisted ? "" : "timerTask: Thread started\n")));
  ASSERT_EQ(t.TimerStart() + p.TimerStart(), 0);
  EXPECT_TRUE(t.TimerRunning());
  EXPECT_EQ(p.armed().second, 1500000000LL) << "seconds and nanoseconds of the period";
  EXPECT_EQ(t.armed().second, 0LL);
  EXPECT_GT(t.armed().first, 0LL);
  // Armed second, expires first; the periodic one expires while it runs.
  ASSERT_EQ(p.TimerStart(100, true) + t.TimerStart(5, false), 0);
  ASSERT_TRUE(waitFor([&] { return once.count() == 1 && every.count() >= 3; }, 5000));
  EXPECT_GT(every.begin[0], once.end[0]) << "one call at a time, in expiry order";
  EXPECT_EQ(t.armed(), std::make_pair(0LL, 0LL)) << "a one-shot is not re-armed";
  EXPECT_EQ(std::make_pair(t.TimerRunning(), p.TimerRunning()), std::make_pair(false, true));
  ASSERT_EQ(p.TimerStop(), 0);
  EXPECT_EQ(std::make_pair(p.TimerRunning(), p.armed().first), std::make_pair(false, 0LL));
  EXPECT_EQ(std::make_pair(once.tid[0], every.tid[2]), std::make_pair(timerThreadTid(), timerThreadTid()));
  EXPECT_NE(timerThreadTid(), callerTid());
}

TEST(IntervalTimer, ArmingAndStopFailuresPrintTheirTextsAndStartZeroDisarms) {
  ProbeTimer u;  // no POSIX timer: every kernel call fails
  EXPECT_EQ(withStdout([&] { return u.TimerStart(100); }),
            std::make_pair(-3, std::string("TimerStart: time_settime error! 22\n")));
  EXPECT_FALSE(u.TimerRunning());
  u.forceRunning(true);
  EXPECT_EQ(withStdout([&] { return u.TimerStop(); }),
            std::make_pair(-3, std::string("TimerStop: time_settime error 22!\n")));
  EXPECT_TRUE(u.TimerRunning()) << "a failed stop leaves the timer marked running";
  SKIP_WITHOUT_EXPIRY_SIGNAL();
  Calls c;
  ProbeTimer t;
  ASSERT_EQ(t.TimerInit(record, &c, 10000, false), 0);
  ASSERT_EQ(t.TimerStart(), 0);
  // -5 ms: negative nanoseconds, EINVAL; the int is sign-extended.
  EXPECT_EQ(withStdout([&] { return t.TimerStart(-5); }),
            std::make_pair(-3, std::string("TimerStart: time_settime error! 22\n")));
  EXPECT_FALSE(t.TimerRunning());
  ASSERT_EQ(t.TimerStart(10000), 0);
  ASSERT_EQ(t.TimerStart(0), 0);  // replaces the armed 10 s with "disarmed"
  EXPECT_TRUE(t.TimerRunning()) << "and still reports running";
  EXPECT_EQ(t.armed(), std::make_pair(0LL, 0LL));
}

TEST(IntervalTimer, DestroyedOrReInitialisedTimersLeaveNoPosixTimersAndNeverFire) {
  SKIP_WITHOUT_EXPIRY_SIGNAL();
  Calls c, second, running;
  int before = posixTimerCount();
  for (int i = 0; i < 100; ++i) {  // each at the same address as the one before
    Timer t;
    ASSERT_EQ(t.TimerInit(record, &c, 10, false), 0);
    ASSERT_EQ(t.TimerStart(), 0);
  }
  Timer t;
  ASSERT_EQ(t.TimerInit(record, &c, 10, false), 0);
  ASSERT_EQ(t.TimerInit(record, &second, 10, false), 0);
  EXPECT_TRUE(before < 0 || posixTimerCount() == before + 1) << before;
  ASSERT_EQ(t.TimerStart(), 0);
  running.sleepMsInCall = 100;
  auto* r = new Timer();
  ASSERT_EQ(r->TimerInit(record, &running, 10, true), 0);
  ASSERT_EQ(r->TimerStart(), 0);
  ASSERT_TRUE(waitFor([&] { return second.count() == 1 && running.started.load() >= 2; }, 3000));
  delete r;  // must not return while its function still runs
  EXPECT_EQ(running.count(), running.started.load());
  EXPECT_EQ(c.count(), 0u);
}

TEST(IntervalTimer, ExpirySignalStaysUnblockedOutsideTheTimerThreadAndOnlyExpiriesQueue) {
  SKIP_WITHOUT_EXPIRY_SIGNAL();
  Calls c, handed;
  Timer t, h;
  ASSERT_EQ(t.TimerInit(record, &c, 10, false) + h.TimerInit(record, &handed, 10, false), 0);
  sigset_t mask;  // what a command started with system() from here inherits
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &mask), 0);
  EXPECT_EQ(sigismember(&mask, kTimerSignal), 0);
  // A stray process-directed signal 64, or one handed to the handler by
  // hand, carries no timer: dropped, and it does not end the process. An
  // expiry handed over from this thread reaches the timer thread (after
  // anything queued before it), and so does a real one.
  ASSERT_EQ(kill(getpid(), kTimerSignal), 0);
  siginfo_t info = {};
  for (auto [timer, code] : {std::make_pair<Timer*, int>(&t, SI_USER), std::make_pair<Timer*, int>(&h, SI_TIMER)}) {
    info.si_signo = kTimerSignal, info.si_value.sival_ptr = timer, info.si_code = code;
    timerHandler(kTimerSignal, &info, nullptr);
  }
  ASSERT_TRUE(waitFor([&] { return handed.count() == 1; }, 3000));
  EXPECT_EQ(c.count(), 0u);
  ASSERT_EQ(t.TimerStart(), 0);
  ASSERT_TRUE(waitFor([&] { return c.count() == 1; }, 3000));
  EXPECT_EQ(std::make_pair(c.tid[0], handed.tid[0]), std::make_pair(timerThreadTid(), timerThreadTid()));
}
