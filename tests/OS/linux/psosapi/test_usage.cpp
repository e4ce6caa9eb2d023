// CPU-usage reports and name lookups from procfs (fake files under the
// recorder's root).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "OS/linux/psosapi/taskusage.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

namespace {

// A stat line with the given name, times and real-time priority.
std::string statLine(int pid, const std::string& comm, long utime, long stime, int rtprio = 0) {
  std::string s = std::to_string(pid) + " (" + comm + ") S";
  // fields 4..13
  for (int f = 4; f <= 13; ++f) s += " " + std::to_string(f);
  s += " " + std::to_string(utime) + " " + std::to_string(stime);
  for (int f = 16; f <= 39; ++f) s += " " + std::to_string(f == 18 ? 20 : 0);
  s += " " + std::to_string(rtprio) + " 0 0\n";
  return s;
}

std::string pidPath(int pid) { return "/proc/" + std::to_string(pid) + "/stat"; }

}  // namespace

TEST(TaskUsage, StatLineParsingCopesWithOddCommandNames) {
  ProcStat st;
  ASSERT_TRUE(usage_parse_stat(statLine(12, "we (ird) x", 150, 25, 66), &st));
  EXPECT_EQ(st.comm, "we (ird) x");
  EXPECT_EQ(std::vector<long>({st.utime, st.stime, st.rtPriority}), std::vector<long>({150, 25, 66}));
  for (const char* bad : {"", "12 (short) S 1 2 3", "12 no parens"}) EXPECT_FALSE(usage_parse_stat(bad, &st)) << bad;
}

TEST(TaskUsage, ReportArithmeticAndLayout) {
  UsageSample before, after;
  TaskUsage a;
  a.tid = 101;
  memcpy(a.name, "abcd", 4);
  a.priority = 5;
  a.jiffies = 10;
  TaskUsage b;
  b.tid = 2345678;
  memcpy(b.name, "tm", 2);
  b.priority = 66;
  b.jiffies = 0;
  before.tasks = {a, b};
  before.process = 20;
  before.cpuTotal = 1000;
  before.cpuIdle = 400;
  after = before;
  after.tasks[0].jiffies = 60;  // 50 of 100 ticks: 50.0 %
  after.tasks[1].jiffies = 3;   // 3 of 100: 3.0 %
  after.process = 20 + 50 + 3 + 7;
  after.cpuTotal = 1800;
  after.cpuIdle = 1000;  // 600 of 800: 75.0 %
  TaskUsage gone;        // a task that appeared meanwhile counts from 0
  gone.tid = 9;
  memcpy(gone.name, "new", 3);
  after.tasks.push_back(gone);
  StreamCapture out;
  usage_print(before, after, 1000);
  EXPECT_EQ(out.stop(),
            "TaskID     Name  Pri Usage\n"
            "       101 abcd   5  50.0\n"
            "   2345678   tm  66   3.0\n"
            "         9  new   0   0.0\n"
            "           idle      75.0\n"
            "          other       7.0\n");
}

TEST(TaskUsage, OtherProcessTimesAndNamesByKernelId) {
  psosRec().put_file(pidPath(777), statLine(777, "ptp4l", 1200, 34, 40));
  EXPECT_EQ(cpu_usage_other(777), 1234);
  EXPECT_EQ(cpu_usage_other(778), -1);
  char buf[32];
  EXPECT_STREQ(t_name_from_pid(777, buf, sizeof buf), "ptp4l");
  int pri = -1;
  EXPECT_EQ(t_name_and_pri_from_pid(777, buf, sizeof buf, &pri), 0u);
  EXPECT_EQ(pri, 40);
  EXPECT_EQ(t_name_from_pid(778, buf, sizeof buf), nullptr);
  EXPECT_EQ(t_name_and_pri_from_pid(778, buf, sizeof buf, &pri), 9u);
  char small[4];
  EXPECT_STREQ(t_name_from_pid(777, small, sizeof small), "ptp");  // cut to fit
}
