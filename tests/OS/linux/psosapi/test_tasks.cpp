// Task control blocks on real threads: create, start, attach, delete,
// lookup, priorities, names and reference values.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "OS/linux/psosapi/ptimer.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

static TCB* tcbOf(UInt32 id) { return reinterpret_cast<TCB*>(static_cast<uintptr_t>(id)); }
static void noop(UInt32, UInt32, UInt32, UInt32) {}

TEST(Tasks, StartedTaskRunsWithItsArgumentsNameAndBindingAndEndsWithItsEntry) {
  static std::atomic<int> done{0};
  static UInt32 seen[5];
  static char name[16];
  static int tid;
  LogMark log;
  UInt32 id = 0;
  ASSERT_EQ(t_create("abcd", 0, 4096, 4096, 0, &id), 0u);
  EXPECT_EQ(memcmp(tcbOf(id)->taskname, "abcd", 4), 0) << "the id is the address of the block";
  UInt32 args[4] = {11, 22, 33, 0xFFFFFFFF};
  auto entry = [](UInt32 a, UInt32 b, UInt32 c, UInt32 d) {
    seen[0] = a, seen[1] = b, seen[2] = c, seen[3] = d;
    pthread_getname_np(pthread_self(), name, sizeof name);
    tid = callerTid();
    t_ident(nullptr, 0, &seen[4]);
    done = 1;
    while (done != 2) usleep(1000);
  };
  ASSERT_EQ(t_start(id, 0, entry, args), 0u);
  ASSERT_TRUE(waitFor([] { return done.load() == 1; }, 5000));
  EXPECT_EQ(std::vector<UInt32>(seen, seen + 5), (std::vector<UInt32>{11, 22, 33, 0xFFFFFFFF, id}));
  EXPECT_STREQ(name, "abcd");
  const std::string thread = hexWord((unsigned long)tcbOf(id)->thread);
  EXPECT_TRUE(log.has(osLine('7', "task:abcd pid:" + std::to_string(getpid()) + " thread " + thread + " " +
                                      std::to_string(tid) + " " + pointerText(tcbOf(id))))) << log.text();
  EXPECT_EQ(t_start(id, 0, noop, args), 1u) << "a task starts once";
  done = 2;  // returning from the entry deletes the task
  ASSERT_TRUE(waitFor([] { UInt32 x; return t_ident("abcd", 0, &x) == 9u; }, 5000));
  const std::string deleted = osLine('4', "task abcd deleted task:abcd, pid " + std::to_string(tid));
  EXPECT_TRUE(waitFor([&] { return log.has(deleted); }, 2000)) << log.text();
}

TEST(Tasks, IdentFindsTheFirstOfANameAndUnknownIdsAreRefused) {
  UInt32 a = 0, b = 0, c = 0;
  ASSERT_EQ(t_create("dupe", 1, 0, 0, 0, &a) + t_create("dupe", 2, 0, 0, 0, &b) + t_create("ab", 3, 0, 0, 0, &c), 0u);
  // The id found, or the error (ids are addresses, never 9).
  auto ident = [](const char* name) { UInt32 got = 0, rc = t_ident(name, 0, &got); return rc ? rc : got; };
  // A thread that is not a task has no own task (nullptr).
  EXPECT_EQ((std::vector<UInt32>{ident("dupe"), ident("ab"), ident("nope"), ident(nullptr)}),
            (std::vector<UInt32>{a, c, 9u, 9u}));
  EXPECT_EQ((std::vector<UInt32>{t_start(0x1234, 0, noop, nullptr), t_delete(0x1234), t_delete(0)}),
            (std::vector<UInt32>{9u, 9u, 6u}));
  EXPECT_EQ(t_delete(a), 0u);  // never started: just freed
  EXPECT_EQ(ident("dupe"), b);
  EXPECT_EQ(t_delete(b) + t_delete(c), 0u);
  // This thread is no task: warned about where it asks about itself.
  const std::string warn = osLine('4', "pthread_entry FindTcbThread NULL " + hexWord((unsigned long)pthread_self()));
  LogMark log;
  EXPECT_EQ(t_name(0), nullptr);
  EXPECT_EQ(t_getRefCon(0), 0u);
  EXPECT_EQ(t_setRefCon(0, 5), 6u);
  EXPECT_EQ(log.text(), warn + warn + warn);
  EXPECT_EQ(t_setRefCon(0x1234, 1), 9u);
  EXPECT_EQ(t_name(0x1234), nullptr);
}

TEST(Tasks, PrioritiesOutOfRangeBecomeZeroAndSetPriorityPrintsWhatItDid) {
  static std::atomic<int> tid{0};
  LogMark log;
  UInt32 id = spawnTask("hipr", 120, [] { tid = callerTid(), idleUntilDeleted(); });
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(waitFor([] { return tid.load() != 0; }, 5000));
  EXPECT_EQ(tcbOf(id)->priority, 0);
  const std::string t = std::to_string(tid.load());
  UInt32 old = 9;
  // The default policy has no static priorities: the kernel refuses.
  EXPECT_EQ(withStdout([&] { return t_setpri(id, 50, &old); }), std::make_pair(22u, "t_setpri error 22 " + t + " 0 50\n"));
  EXPECT_EQ(old, 0u);
  EXPECT_EQ(withStdout([&] { return t_setpri(id, 150, &old); }), std::make_pair(0u, "t_setpri " + t + " 0 0\n"));
  tcbOf(id)->priority = 5;
  EXPECT_EQ(withStdout([&] { return t_setpri(id, 0, &old); }), std::make_pair(0u, "t_setpri " + t + " 5 0\n"));
  EXPECT_TRUE(log.has(osLine('4', "t_start priority 120 out of range, setting to 0")) &&
              log.has(osLine('4', "t_setpri priority 150 out of range, setting to 0"))) << log.text();
  EXPECT_EQ((std::vector<UInt32>{t_setpri(0x4321, 1, &old), t_setpri(0, 1, &old)}), (std::vector<UInt32>{9u, 6u}));
  EXPECT_EQ(t_delete(id), 0u);
}

TEST(Tasks, AttachMakesTheCallingThreadATaskOnce) {
  inTask("atch", [](UInt32 self) {
    UInt32 again = 0, found = 0;
    t_attach("zzzz", -1, &again);  // already a task: the same block
    t_ident("atch", 0, &found);
    EXPECT_EQ(std::vector<UInt32>({again, found}), std::vector<UInt32>(2, self));
    EXPECT_EQ(strncmp(t_name(0), "atch", 4), 0);
  });
  UInt32 x;
  EXPECT_EQ(t_ident("atch", 0, &x), 9u) << "it deleted itself on the way out";
}

TEST(Tasks, DeletingAWaitingOrSleepingTaskEndsItPromptly) {
  static std::atomic<int> stage{0};
  UInt32 waiter = spawnTask("wait", 0, [] {
    stage = 1;
    UInt32 got;
    ev_receive(0x1, kEvWaitAll, 0, &got);  // forever
    stage = 99;
  });
  UInt32 sleeper = spawnTask("slep", 0, [] { tm_wkafter(100000); });  // 1000 s
  ASSERT_TRUE(waiter && sleeper);
  ASSERT_TRUE(waitFor([] { return stage.load() == 1; }, 5000));
  sleepMs(20);  // into its wait, most likely
  LogMark log;
  EXPECT_EQ(t_delete(waiter) + t_delete(sleeper), 0u);  // returns (a hang fails by the test's time limit)
  EXPECT_NE(stage.load(), 99);
  for (const std::string& l : {std::string("<4>psostest: hd[0]: os: task ???? deleted task:wait, pid "),
                               osLine('4', "deleted task:wait"), osLine('4', "deleted task:slep")}) {
    EXPECT_TRUE(log.has(l)) << l << log.text();
  }
  EXPECT_EQ(ev_send(waiter, 0x1), -1) << "its id is gone for good";
}

