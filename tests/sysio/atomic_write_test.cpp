// Whole-file helpers of the seam: exact bytes, atomic replacement, no
// temporary left behind, failures that keep the old file.
#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_recorder.h"

namespace {

class AtomicWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sysio_install(&rec);
    rec.make_dirs("/data/etc");
  }
  void TearDown() override { sysio_install(nullptr); }
  std::vector<std::string> entries(const std::string& abs) {
    std::vector<std::string> names;
    EXPECT_TRUE(sysio().list_dir(abs, &names));
    return names;
  }
  RecorderSysIo rec;
};

TEST_F(AtomicWriteTest, WritesExactBytesAndLeavesNoTemporary) {
  const std::string bytes("nameserver 1.2.3.4\n\0tail without newline", 41);
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/resolv.conf", bytes));
  EXPECT_EQ(rec.file_bytes("/data/etc/resolv.conf"), bytes);
  EXPECT_EQ(entries("/data/etc"), (std::vector<std::string>{"resolv.conf"}));

  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/resolv.conf", ""));
  EXPECT_TRUE(rec.file_exists("/data/etc/resolv.conf"));
  EXPECT_EQ(rec.file_bytes("/data/etc/resolv.conf"), "");

  // The temporary sits beside the target and is renamed over it.
  auto ren = rec.records(SysIoCall::kRename);
  ASSERT_EQ(ren.size(), 2u);
  EXPECT_EQ(ren[0].to, "/data/etc/resolv.conf");
  EXPECT_EQ(ren[0].path.rfind("/data/etc/resolv.conf.tmp.", 0), 0u);
}

TEST_F(AtomicWriteTest, ModeIsExactlyTheOneAsked) {
  mode_t old = ::umask(077);
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/banner.txt", "hi\n", 0644));
  ::umask(old);
  struct stat st;
  ASSERT_EQ(sysio().stat("/data/etc/banner.txt", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/key", "k", 0600));
  ASSERT_EQ(sysio().stat("/data/etc/key", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(AtomicWriteTest, FailuresKeepTheOldFileAndRemoveTheTemporary) {
  // Missing directory: nothing is created.
  EXPECT_FALSE(sysio_write_file_atomic("/data/none/file", "x"));
  EXPECT_FALSE(rec.file_exists("/data/none"));

  // The rename cannot replace a directory: the directory stays, the
  // temporary goes.
  rec.make_dirs("/data/etc/isdir");
  EXPECT_FALSE(sysio_write_file_atomic("/data/etc/isdir", "x"));
  struct stat st;
  ASSERT_EQ(sysio().stat("/data/etc/isdir", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(entries("/data/etc"), (std::vector<std::string>{"isdir"}));
}

TEST_F(AtomicWriteTest, ReadersSeeOldOrNewNeverAMix) {
  const std::string a(64 * 1024, 'a'), b(48 * 1024, 'b');
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/big", a));
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    std::string got;
    while (!stop.load()) {
      if (!sysio_read_file("/data/etc/big", &got) || (got != a && got != b)) ++bad;
      ++reads;
    }
  });
  for (int i = 0; i < 200; ++i)
    ASSERT_TRUE(sysio_write_file_atomic("/data/etc/big", (i % 2) ? a : b));
  stop = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(entries("/data/etc"), (std::vector<std::string>{"big"}));
}

TEST_F(AtomicWriteTest, ReadFileHonoursTheLimit) {
  rec.put_file("/proc/uptime", "123.45 6.7\n");
  std::string out = "stale";
  ASSERT_TRUE(sysio_read_file("/proc/uptime", &out));
  EXPECT_EQ(out, "123.45 6.7\n");
  ASSERT_TRUE(sysio_read_file("/proc/uptime", &out, 6));
  EXPECT_EQ(out, "123.45");
  EXPECT_FALSE(sysio_read_file("/proc/none", &out));
  EXPECT_EQ(out, "");
}

}  // namespace
