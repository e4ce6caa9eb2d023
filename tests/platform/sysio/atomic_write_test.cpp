// Whole-file helpers of the seam: exact bytes and mode, atomic replacement,
// no temporary left behind, failures that keep the old file.
#include <gtest/gtest.h>

#include <algorithm>
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
  std::vector<std::string> entries() {
    std::vector<std::string> names;
    EXPECT_TRUE(sysio().list_dir("/data/etc", &names));
    std::sort(names.begin(), names.end());
    return names;
  }
  RecorderSysIo rec;
};

TEST_F(AtomicWriteTest, WritesExactBytesAndModeThroughATemporaryBeside) {
  const std::string bytes("nameserver 1.2.3.4\n\0tail without newline", 41);
  mode_t old = ::umask(077);
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/resolv.conf", bytes, 0644));
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/key", "", 0600));
  ::umask(old);
  EXPECT_EQ(rec.file_bytes("/data/etc/resolv.conf"), bytes);
  auto mode = [](const char* path) { struct stat st = {}; return sysio().stat(path, &st) == 0 ? st.st_mode & 07777 : 1u; };
  EXPECT_EQ(std::make_pair(mode("/data/etc/resolv.conf"), mode("/data/etc/key")), std::make_pair(0644u, 0600u));
  EXPECT_EQ(entries(), (std::vector<std::string>{"key", "resolv.conf"}));
  auto ren = rec.records(SysIoCall::kRename);
  ASSERT_EQ(ren.size(), 2u);
  EXPECT_EQ(ren[0].to, "/data/etc/resolv.conf");
  EXPECT_EQ(ren[0].path.rfind("/data/etc/resolv.conf.tmp.", 0), 0u);
}

TEST_F(AtomicWriteTest, FailuresKeepTheOldFileAndRemoveTheTemporary) {
  EXPECT_FALSE(sysio_write_file_atomic("/data/none/file", "x"));
  EXPECT_FALSE(rec.file_exists("/data/none"));
  // The rename cannot replace a directory: it stays, the temporary goes.
  rec.make_dirs("/data/etc/isdir");
  EXPECT_FALSE(sysio_write_file_atomic("/data/etc/isdir", "x"));
  struct stat st;
  ASSERT_EQ(sysio().stat("/data/etc/isdir", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(entries(), (std::vector<std::string>{"isdir"}));
}

TEST_F(AtomicWriteTest, ReadersSeeOldOrNewNeverAMix) {
  const std::string a(64 * 1024, 'a'), b(48 * 1024, 'b');
  ASSERT_TRUE(sysio_write_file_atomic("/data/etc/big", a));
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    std::string got;
    for (; !stop.load(); ++reads) bad += !sysio_read_file("/data/etc/big", &got) || (got != a && got != b);
  });
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(sysio_write_file_atomic("/data/etc/big", (i % 2) ? a : b));
  stop = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
  EXPECT_EQ(entries(), (std::vector<std::string>{"big"}));
  std::string out = "stale";
  ASSERT_TRUE(sysio_read_file("/data/etc/big", &out, 6));  // the limit holds
  EXPECT_EQ(out, "aaaaaa");
  EXPECT_FALSE(sysio_read_file("/proc/none", &out));
  EXPECT_EQ(out, "");
}

}  // namespace
