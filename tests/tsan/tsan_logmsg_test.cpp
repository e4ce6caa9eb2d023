// The log facility under concurrent use: every line must reach its output
// whole, with its own prefix, and each thread's lines in the order it wrote
// them; the device being missing, and then appearing, while threads log
// must not race on the device descriptor.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "tests/OS/os_test_util.h"

namespace {

const int kThreads = 6;
const int kLinesPerThread = 300;

// Even lines in three pieces (two without a newline), odd lines whole.
void writer(int t) {
  for (int i = 0; i < kLinesPerThread; ++i) {
    if (i % 2 == 0) {
      loginfo("tsan", "T%d ", t);
      logmsg(LOG_LEVEL_WARN, "ignored", "L%d ", i);
      loginfo(nullptr, "%s\n", "pieces");
    } else {
      loginfo("tsan", "T%d L%d whole\n", t, i);
    }
  }
}

class ConcurrentLog : public ::testing::Test, public OsSeamFixtureBase {};

TEST_F(ConcurrentLog, MissingDeviceIsReopenedByWhicheverThreadFindsItWithoutARace) {
  rec().unlink("/dev/crvllog");
  ASSERT_EQ(logmsg_init(0, "tsanlog"), 0);
  testing::internal::CaptureStdout();
  std::thread appear([this] {
    sleepMs(20);
    rec().put_file("/dev/crvllog", "");
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, t);
  for (auto& th : threads) th.join();
  appear.join();
  // Merged per thread, the two outputs hold every line once, whole and in order.
  std::istringstream in(testing::internal::GetCapturedStdout() + device());
  const std::regex line(R"((INFO   |<6>)tsanlog: hd\[0\]: tsan: T(\d+) L(\d+) (pieces|whole))");
  std::vector<int> next(kThreads, 0);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << "mixed or cut line: " << l;
    int t = std::stoi(m[2]), i = std::stoi(m[3]);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(i, next[t]) << l;
    EXPECT_EQ(m[4] == "pieces", i % 2 == 0) << l;
    next[t] = i + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLinesPerThread) << "thread " << t;
}

}  // namespace
