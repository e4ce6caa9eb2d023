// The log facility under concurrent use: several threads write complete
// lines and lines assembled from partial messages at the same time. Every
// line must reach the log device whole, with its own prefix, and each
// thread's lines must arrive in the order it wrote them.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_recorder.h"

namespace {

const int kThreads = 6;
const int kLinesPerThread = 300;

class ConcurrentLog : public ::testing::Test {
 protected:
  void SetUp() override {
    m_rec.put_file("/dev/crvllog", "");
    sysio_install(&m_rec);
    logmsg_testing_reset();
    ASSERT_EQ(logmsg_init(0, "tsanlog"), 0);
  }
  void TearDown() override {
    logmsg_testing_reset();
    sysio_install(nullptr);
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(m_rec.file_bytes("/dev/crvllog"));
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
  }
  RecorderSysIo m_rec;
};

// Even lines in three pieces (two without a newline), odd lines whole.
void writer(int t) {
  for (int i = 0; i < kLinesPerThread; ++i) {
    if (i % 2 == 0) {
      loginfo("tsan", "T%d ", t);
      logmsg(LOG_LEVEL_INFO, "ignored", "L%d ", i);
      loginfo(nullptr, "%s\n", "pieces");
    } else {
      logwarn("tsan", "T%d L%d whole\n", t, i);
    }
  }
}

}  // namespace

TEST_F(ConcurrentLog, EveryLineArrivesWholeAndInOrderPerThread) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, t);
  for (auto& th : threads) th.join();

  std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  const std::regex pieces(R"(<6>tsanlog: hd\[0\]: tsan: T(\d+) L(\d+) pieces)");
  const std::regex whole(R"(<4>tsanlog: hd\[0\]: tsan: T(\d+) L(\d+) whole)");
  std::vector<int> next(kThreads, 0);
  for (const std::string& l : got) {
    std::smatch m;
    bool isPieces = std::regex_match(l, m, pieces);
    ASSERT_TRUE(isPieces || std::regex_match(l, m, whole)) << "mixed or cut line: " << l;
    int t = std::stoi(m[1]);
    int i = std::stoi(m[2]);
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(i, next[t]) << l;
    EXPECT_EQ(isPieces, i % 2 == 0) << l;
    next[t] = i + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLinesPerThread) << "thread " << t;
}

TEST_F(ConcurrentLog, PendingPieceOfOneThreadNeverLeaksIntoAnother) {
  // One thread leaves a piece pending while others write whole lines; its
  // line, completed later, still carries only its own text.
  std::thread holder([] {
    loginfo("hold", "held-");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    loginfo(nullptr, "done\n");
  });
  std::vector<std::thread> others;
  for (int t = 0; t < 3; ++t)
    others.emplace_back([t] {
      for (int i = 0; i < 50; ++i) logerr("oth", "other %d %d\n", t, i);
    });
  for (auto& th : others) th.join();
  holder.join();
  std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), 151u);
  int held = 0;
  for (const std::string& l : got) {
    if (l.find("held-") != std::string::npos) {
      EXPECT_EQ(l, "<6>tsanlog: hd[0]: hold: held-done");
      ++held;
    } else {
      EXPECT_TRUE(std::regex_match(l, std::regex(R"(<3>tsanlog: hd\[0\]: oth: other \d \d+)"))) << l;
    }
  }
  EXPECT_EQ(held, 1);
}
