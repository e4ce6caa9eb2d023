// Task control blocks on real threads: create, start, attach, delete,
// lookup, priorities, names, reference values and the task listing.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "OS/linux/psosapi/pthreadapi.h"
#include "OS/linux/psosapi/ptimer.h"
#include "tests/psos/psos_task_util.h"
#include "tests/psos/psos_test_util.h"

namespace {

std::string logLine(char level, const std::string& text) {
  return std::string("<") + level + ">psostest: hd[0]: os: " + text + "\n";
}

void noop(UInt32, UInt32, UInt32, UInt32) {}

}  // namespace

TEST(Tasks, StartedTaskRunsWithItsArgumentsNameAndBinding) {
  os_init();
  os_init();  // a second call changes nothing
  static std::atomic<int> done{0};
  static UInt32 seen[4];
  static char threadName[16];
  static char ownName[8];
  static int tid;
  static UInt32 selfId;
  LogMark log;
  UInt32 id = 0;
  ASSERT_EQ(t_create("abcd", 0, 4096, 4096, 0, &id), 0u);
  ASSERT_NE(id, 0u);
  // The id is the address of the block, whose first bytes are the name.
  EXPECT_EQ(memcmp(reinterpret_cast<TCB*>(static_cast<uintptr_t>(id))->taskname, "abcd", 4), 0);
  UInt32 args[4] = {11, 22, 33, 0xFFFFFFFF};
  ASSERT_EQ(t_start(id, 0, [](UInt32 a, UInt32 b, UInt32 c, UInt32 d) {
              seen[0] = a, seen[1] = b, seen[2] = c, seen[3] = d;
              pthread_getname_np(pthread_self(), threadName, sizeof threadName);
              strncpy(ownName, t_name(0), sizeof ownName - 1);
              tid = callerTid();
              t_ident(nullptr, 0, &selfId);
              done = 1;
              while (done != 2) usleep(1000);
            },
                    args),
            0u);
  ASSERT_TRUE(waitFor([] { return done.load() == 1; }, 5000));
  EXPECT_EQ(seen[0], 11u);
  EXPECT_EQ(seen[1], 22u);
  EXPECT_EQ(seen[2], 33u);
  EXPECT_EQ(seen[3], 0xFFFFFFFFu);
  EXPECT_STREQ(threadName, "abcd");
  EXPECT_STREQ(ownName, "abcd");
  EXPECT_EQ(selfId, id);
  UInt32 found = 0;
  EXPECT_EQ(t_ident("abcd", 0, &found), 0u);
  EXPECT_EQ(found, id);
  char thr[32];
  TCB* tcb = reinterpret_cast<TCB*>(static_cast<uintptr_t>(id));
  snprintf(thr, sizeof thr, "%08lx", static_cast<unsigned long>(tcb->thread));
  EXPECT_TRUE(log.has(logLine('7', "task:abcd pid:" + std::to_string(getpid()) + " thread " + thr + " " +
                                       std::to_string(tid) + " " + pointerText(tcb))))
      << log.text();

  // Returning from the entry deletes the task.
  done = 2;
  ASSERT_TRUE(waitFor([] { UInt32 x; return t_ident("abcd", 0, &x) == 9u; }, 5000));
  EXPECT_TRUE(waitFor([&] { return log.has(logLine('4', "task abcd deleted task:abcd, pid " + std::to_string(tid))); },
                      2000))
      << log.text();
}

TEST(Tasks, IdentFindsTheFirstOfANameAndShortNames) {
  UInt32 a = 0, b = 0, c = 0, got = 0;
  ASSERT_EQ(t_create("dupe", 1, 0, 0, 0, &a), 0u);
  ASSERT_EQ(t_create("dupe", 2, 0, 0, 0, &b), 0u);
  ASSERT_EQ(t_create("ab", 3, 0, 0, 0, &c), 0u);
  EXPECT_EQ(t_ident("dupe", 0, &got), 0u);
  EXPECT_EQ(got, a);
  EXPECT_EQ(t_ident("ab", 0, &got), 0u);
  EXPECT_EQ(got, c);
  EXPECT_EQ(t_ident("nope", 0, &got), 9u);
  // A thread that is not a task has no "own" task.
  EXPECT_EQ(t_ident(nullptr, 0, &got), 9u);
  EXPECT_EQ(t_delete(a), 0u);  // never started: just freed
  EXPECT_EQ(t_ident("dupe", 0, &got), 0u);
  EXPECT_EQ(got, b);
  EXPECT_EQ(t_delete(b), 0u);
  EXPECT_EQ(t_delete(c), 0u);
}

TEST(Tasks, StartRejectsUnknownAndRepeatedStarts) {
  EXPECT_EQ(t_start(0x1234, 0, noop, nullptr), 9u);
  EXPECT_EQ(t_start(0, 0, noop, nullptr), 9u);
  UInt32 id = spawnTask("twic", 0, [] {
    for (;;) usleep(1000);  // until deleted
  });
  ASSERT_NE(id, 0u);
  LogMark log;
  UInt32 args[4] = {0, 0, 0, 0};
  EXPECT_EQ(t_start(id, 0, noop, args), 1u);
  EXPECT_TRUE(log.has("t_start task twic: already started or no entry")) << log.text();
  EXPECT_EQ(t_delete(id), 0u);  // ends the task before what it uses goes
}

TEST(Tasks, OutOfRangePriorityStartsAtZeroWithWarning) {
  LogMark log;
  UInt32 id = spawnTask("hipr", 120, [] {
    for (;;) usleep(1000);  // until deleted
  });
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(log.has(logLine('4', "t_start priority 120 out of range, setting to 0"))) << log.text();
  UInt32 old = 77;
  EXPECT_EQ(t_setpri(id, 0, &old), 0u);  // unchanged: nothing to do
  EXPECT_EQ(old, 0u);
  EXPECT_EQ(t_delete(id), 0u);  // ends the task before what it uses goes
}

TEST(Tasks, RealtimePriorityIsAppliedOrCreationFailsForLackOfPrivilege) {
  set_sched_policy(SCHED_FIFO);
  EXPECT_EQ(get_sched_policy(), SCHED_FIFO);
  static std::atomic<int> policy{-1}, prio{-1};
  UInt32 rc = 99;
  UInt32 id = spawnTask("rtpr", 10,
                        [&] {
                          int pol;
                          struct sched_param sp;
                          pthread_getschedparam(pthread_self(), &pol, &sp);
                          policy = pol;
                          prio = sp.sched_priority;
                          for (;;) usleep(1000);  // until deleted
                        },
                        &rc);
  set_sched_policy(0);
  if (rc == 0) {
    // Privileged: the thread really runs under the real-time policy.
    EXPECT_NE(id, 0u);
    ASSERT_TRUE(waitFor([] { return policy.load() != -1; }, 5000));
    EXPECT_EQ(policy.load(), SCHED_FIFO);
    EXPECT_EQ(prio.load(), 10);
    EXPECT_EQ(t_delete(id), 0u);
  } else {
    // Without the privilege the thread cannot be created; the block stays.
    EXPECT_EQ(rc, 1u);
    UInt32 got;
    EXPECT_EQ(t_ident("rtpr", 0, &got), 0u);
    EXPECT_EQ(t_delete(got), 0u);
  }
}

TEST(Tasks, SetPriorityUnderTheDefaultPolicy) {
  static std::atomic<int> tid{0};
  UInt32 id = spawnTask("setp", 5, [] {
    tid = callerTid();
    for (;;) usleep(1000);  // until deleted
  });
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(waitFor([] { return tid.load() != 0; }, 5000));
  std::string t = std::to_string(tid.load());
  UInt32 old = 0;
  // The time-sharing policy has no static priorities: the kernel refuses.
  auto out = withStdout([&] { return t_setpri(id, 50, &old); });
  EXPECT_EQ(out.first, 22u);
  EXPECT_EQ(old, 5u);
  EXPECT_EQ(out.second, "t_setpri error 22 " + t + " 5 50\n");
  // Back to 0 is always allowed.
  auto out2 = withStdout([&] { return t_setpri(id, 0, &old); });
  EXPECT_EQ(out2.first, 0u);
  EXPECT_EQ(out2.second, "t_setpri " + t + " 5 0\n");
  LogMark log;
  auto out3 = withStdout([&] { return t_setpri(id, 150, &old); });  // out of range becomes 0, unchanged
  EXPECT_EQ(out3.first, 0u);
  EXPECT_EQ(out3.second, "t_setpri " + t + " 0 0\n");
  EXPECT_TRUE(log.has(logLine('4', "t_setpri priority 150 out of range, setting to 0"))) << log.text();
  EXPECT_EQ(t_setpri(0x4321, 1, &old), 9u);
  EXPECT_EQ(t_setpri(0, 1, &old), 6u);
  EXPECT_EQ(t_delete(id), 0u);  // ends the task before what it uses goes
}

TEST(Tasks, SetPriorityUnderARealtimePolicyAppliesOrReportsThePermissionError) {
  static std::atomic<int> tid{0};
  UInt32 id = spawnTask("rtsp", 0, [] {
    tid = callerTid();
    for (;;) usleep(1000);  // until deleted
  });
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(waitFor([] { return tid.load() != 0; }, 5000));
  std::string t = std::to_string(tid.load());
  set_sched_policy(SCHED_RR);
  UInt32 old = 9;
  StdoutCapture out;
  UInt32 rc = t_setpri(id, 20, &old);
  std::string printed = out.stop();
  set_sched_policy(0);
  EXPECT_EQ(old, 0u);
  if (rc == 0) {
    EXPECT_EQ(printed, "t_setpri " + t + " 0 20\n");
    int pol;
    struct sched_param sp;
    TCB* tcb = reinterpret_cast<TCB*>(static_cast<uintptr_t>(id));
    ASSERT_EQ(pthread_getschedparam(tcb->thread, &pol, &sp), 0);
    EXPECT_EQ(pol, SCHED_RR);
    EXPECT_EQ(sp.sched_priority, 20);
  } else {
    EXPECT_EQ(rc, static_cast<UInt32>(EPERM));
    EXPECT_EQ(printed, "t_setpri error 1 " + t + " 0 20\n");
  }
  EXPECT_EQ(t_delete(id), 0u);  // ends the task before what it uses goes
}

TEST(Tasks, NotYetStartedTaskTakesThePriorityLater) {
  UInt32 id = 0, old = 0;
  ASSERT_EQ(t_create("late", 3, 0, 0, 0, &id), 0u);
  auto out = withStdout([&] { return t_setpri(id, 7, &old); });
  EXPECT_EQ(out.first, 0u);
  EXPECT_EQ(out.second, "t_setpri 0 3 7\n");
  EXPECT_EQ(old, 3u);
  EXPECT_EQ(t_delete(id), 0u);
}

TEST(Tasks, AttachMakesTheCallingThreadATask) {
  LogMark log;
  static UInt32 attached = 0, again = 0, self = 0;
  static char name[8];
  static int tid = 0;
  AttachedThread th("atch", [] {
    UInt32 x = 0;
    t_ident(nullptr, 0, &self);
    t_attach("zzzz", -1, &again);  // already a task: the same block
    strncpy(name, t_name(0), sizeof name - 1);
    tid = callerTid();
    t_ident("atch", 0, &x);
    attached = x;
  });
  th.join();
  EXPECT_EQ(self, th.tid());
  EXPECT_EQ(again, th.tid());
  EXPECT_EQ(attached, th.tid());
  EXPECT_STREQ(name, "atch");
  EXPECT_TRUE(log.has(" pid:" + std::to_string(getpid()) + " thread ")) << log.text();
  EXPECT_TRUE(log.has("task:atch pid:")) << log.text();
  // The thread deleted itself on the way out.
  EXPECT_TRUE(log.has(logLine('4', "task atch deleted task:atch, pid " + std::to_string(tid)))) << log.text();
  UInt32 x;
  EXPECT_EQ(t_ident("atch", 0, &x), 9u);
}

TEST(Tasks, AttachWarnsAboutPrioritiesItCannotSet) {
  LogMark log;
  AttachedThread th("hold", [] {});
  th.join();
  std::thread other([] {
    UInt32 id = 0;
    EXPECT_EQ(t_attach("pr50", 50, &id), 0u);  // time-sharing policy: refused
    EXPECT_EQ(t_delete(0), 0u);                // not reached: the thread ends
  });
  other.join();
  std::thread third([] {
    UInt32 id = 0;
    EXPECT_EQ(t_attach("p120", 120, &id), 0u);
    EXPECT_EQ(reinterpret_cast<TCB*>(static_cast<uintptr_t>(id))->priority, 0);
    t_delete(0);
  });
  third.join();
  EXPECT_TRUE(log.has(logLine('4', "t_attach pthread_setschedparam failed 22"))) << log.text();
  EXPECT_TRUE(log.has(logLine('4', "t_attach priority 120 out of range, setting to 0"))) << log.text();
}

TEST(Tasks, DeletingAWaitingOrSleepingTaskEndsItPromptly) {
  static std::atomic<int> stage{0};
  UInt32 waiter = spawnTask("wait", 0, [] {
    stage = 1;
    UInt32 got;
    ev_receive(0x1, kEvWaitAll, 0, &got);  // forever
    stage = 99;
  });
  UInt32 sleeper = spawnTask("slep", 0, [] {
    tm_wkafter(100000);  // 1000 s
  });
  ASSERT_NE(waiter, 0u);
  ASSERT_NE(sleeper, 0u);
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  sleepMs(100);
  LogMark log;
  auto t0 = SteadyClock::now();
  EXPECT_EQ(t_delete(waiter), 0u);
  EXPECT_EQ(t_delete(sleeper), 0u);
  EXPECT_LT(secondsSince(t0), 5.0);
  EXPECT_NE(stage.load(), 99);
  EXPECT_TRUE(log.has("<4>psostest: hd[0]: os: task ???? deleted task:wait, pid ")) << log.text();
  EXPECT_TRUE(log.has(logLine('4', "deleted task:wait"))) << log.text();
  EXPECT_TRUE(log.has(logLine('4', "deleted task:slep"))) << log.text();
  UInt32 x;
  EXPECT_EQ(t_ident("wait", 0, &x), 9u);
  EXPECT_EQ(t_ident("slep", 0, &x), 9u);
  // Its id is gone for good.
  EXPECT_EQ(ev_send(waiter, 0x1), -1);
}

TEST(Tasks, DeleteRejectsUnknownIdsAndNonTaskCallers) {
  EXPECT_EQ(t_delete(0x1234), 9u);
  EXPECT_EQ(t_delete(0), 6u);
}

TEST(Tasks, ReferenceValueAndNameOfTasksAndOfTheCaller) {
  UInt32 id = 0;
  ASSERT_EQ(t_create("refc", 0, 0, 0, 0, &id), 0u);
  EXPECT_EQ(t_getRefCon(id), 0u);
  EXPECT_EQ(t_setRefCon(id, 0xCAFEF00D), 0u);
  EXPECT_EQ(t_getRefCon(id), 0xCAFEF00Du);
  EXPECT_STREQ(t_name(id), "refc");
  EXPECT_EQ(t_setRefCon(0x1234, 1), 9u);
  EXPECT_EQ(t_name(0x1234), nullptr);

  char self[32];
  snprintf(self, sizeof self, "%08lx", static_cast<unsigned long>(pthread_self()));
  std::string warn = logLine('4', std::string("pthread_entry FindTcbThread NULL ") + self);
  LogMark log;
  EXPECT_EQ(t_name(0), nullptr);
  EXPECT_EQ(log.text(), warn);
  LogMark log2;
  EXPECT_EQ(t_getRefCon(0), 0u);
  EXPECT_EQ(t_setRefCon(0, 5), 6u);
  EXPECT_EQ(log2.text(), warn + warn);

  static UInt32 inside = 0;
  AttachedThread th("rcon", [] {
    t_setRefCon(0, 42);
    inside = t_getRefCon(0);
  });
  th.join();
  EXPECT_EQ(inside, 42u);
  EXPECT_EQ(t_delete(id), 0u);
}

TEST(Tasks, DumpListsEveryTaskWithIdNamePriorityAndThread) {
  UInt32 a = 0, b = 0;
  ASSERT_EQ(t_create("dmpa", 12, 0, 0, 0, &a), 0u);
  ASSERT_EQ(t_create("db", 0, 0, 0, 0, &b), 0u);
  StdoutCapture out;
  osTaskDump();
  std::string text = out.stop();
  char la[64], lb[64];
  snprintf(la, sizeof la, "T[0]    %08x  dmpa     12      0\n", a);
  snprintf(lb, sizeof lb, "T[0]    %08x    db      0      0\n", b);
  EXPECT_EQ(text.rfind("T[0] Task:  ID    Name  Priority PID\n", 0), 0u) << text;
  EXPECT_NE(text.find(la), std::string::npos) << text;
  EXPECT_NE(text.find(lb), std::string::npos) << text;
  EXPECT_LT(text.find(la), text.find(lb));  // creation order
  EXPECT_EQ(t_delete(a), 0u);
  EXPECT_EQ(t_delete(b), 0u);
}
