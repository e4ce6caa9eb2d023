// The recording seam the daemon's tests stand on: exact command text,
// scripted results, paths that never leave the root, device
// rules for properties, fake clocks that move only when told or slept.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_recorder.h"

namespace {

using Strings = std::vector<std::string>;

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { sysio_install(&rec); }
  void TearDown() override { sysio_install(nullptr); }
  RecorderSysIo rec;
};

TEST_F(RecorderTest, CommandsAreRecordedVerbatimAndServeTheirScripts) {
  const std::string hostile = "echo 'a\"b' ; rm -rf / `id` $(x)\n";
  rec.on("ntpd -q").exit_code(3);
  rec.on_prefix("ntpd").exit_code(1);
  rec.on_prefix("ntpd -x").status(0x0009);  // killed by SIGKILL: the longest prefix wins
  rec.on("broken").fail(ENOMEM);
  rec.on("cat /proc/uptime").output("123.45 67.89\n").exit_code(2);
  EXPECT_EQ(sysio().system("ntpd -q"), 3 << 8);
  EXPECT_EQ(sysio().system("ntpd -q "), 1 << 8);
  EXPECT_EQ(sysio().system("ntpd -x 1"), 0x0009);
  errno = 0;
  EXPECT_EQ(sysio().system("broken"), -1);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(sysio().system(hostile), 0);
  FILE* f = sysio().popen("cat /proc/uptime", "r");
  ASSERT_NE(f, nullptr);
  char buf[32] = {0};
  EXPECT_EQ(std::string(buf, std::fread(buf, 1, sizeof buf, f)), "123.45 67.89\n");
  EXPECT_EQ(sysio().pclose(f), 2 << 8);
  f = sysio().popen("/system/bin/crontab -", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "line 1\n%s;`x`\n", "line '2'");
  EXPECT_EQ(sysio().pclose(f), 0);
  EXPECT_EQ(sysio().pclose(stdin), -1);  // a stream the recorder did not hand out
  sysio().fork_exec({"/opt/corvale/bin/amxbeacond", "Model_X", "", ""});
  EXPECT_EQ(rec.commands(), (Strings{"ntpd -q", "ntpd -q ", "ntpd -x 1", "broken", hostile, "cat /proc/uptime",
                                     "/system/bin/crontab -", "/opt/corvale/bin/amxbeacond Model_X  "}));
  EXPECT_EQ(rec.records(SysIoCall::kPopen)[1].input, "line 1\nline '2';`x`\n");
  EXPECT_EQ(rec.records(SysIoCall::kForkExec)[0].argv, (Strings{"/opt/corvale/bin/amxbeacond", "Model_X", "", ""}));
}

TEST_F(RecorderTest, PathsStayUnderTheRootAndOpensAndIoctlsAreRecorded) {
  EXPECT_EQ(rec.path("/../../etc/passwd"), rec.root() + "/etc/passwd");
  rec.make_dirs("/dev");
  int fd = sysio().open("/dev/uinput", O_WRONLY | O_CREAT | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int arg[2] = {0x11223344, 5};
  rec.ioctl_arg_size(0x4024700AUL, sizeof arg);
  EXPECT_EQ(sysio().ioctl(fd, 0x4024700AUL, arg), 0);
  ::close(fd);
  auto io = rec.records(SysIoCall::kIoctl);
  ASSERT_EQ(io.size(), 1u);
  EXPECT_EQ(io[0].path, "/dev/uinput");
  EXPECT_EQ(io[0].bytes, std::string(reinterpret_cast<const char*>(arg), sizeof arg));
  EXPECT_EQ(rec.records(SysIoCall::kOpen)[0].flags, O_WRONLY | O_CREAT | O_NONBLOCK);  // as the caller asked
}

// The limits on names and values are the property store's tests.
TEST_F(RecorderTest, PropertiesFollowTheDeviceRules) {
  char v[PROP_VALUE_MAX];
  EXPECT_EQ(sysio().property_set("ro.serialno", "A1"), 0);
  EXPECT_EQ(sysio().property_set("ro.serialno", "B2"), -1);
  EXPECT_EQ(sysio().property_set("x", std::string(92, 'v').c_str()), -1);
  EXPECT_EQ(sysio().property_get("ro.serialno", v), 2);
  EXPECT_STREQ(v, "A1");
  EXPECT_FALSE(rec.has_property("x"));
  EXPECT_EQ(rec.records(SysIoCall::kPropertySet)[1].text, "ro.serialno=B2");
}

TEST_F(RecorderTest, FakeClocksMoveOnlyWhenToldOrSlept) {
  struct timespec t0, t1, want = {86400, 0}, bad = {5, 1000000000L};
  ASSERT_EQ(sysio().clock_gettime(CLOCK_MONOTONIC, &t0), 0);
  const time_t wall = sysio().time(nullptr);
  rec.advance_ms(1500);
  sysio().sleep_us(2500000);
  sysio().clock_gettime(CLOCK_MONOTONIC, &t1);
  EXPECT_EQ((t1.tv_sec - t0.tv_sec) * 1000000000L + (t1.tv_nsec - t0.tv_nsec), 4000000000L);
  EXPECT_EQ(sysio().time(nullptr), wall + 4);
  EXPECT_EQ(rec.records(SysIoCall::kSleep).at(0).us, 2500000u);
  // Only the wall clock can be set, and only to a valid time.
  EXPECT_EQ(sysio().clock_settime(CLOCK_REALTIME, &want), 0);
  EXPECT_EQ(sysio().clock_settime(CLOCK_MONOTONIC, &want), -1);
  EXPECT_EQ(sysio().clock_settime(CLOCK_REALTIME, &bad), -1);
  EXPECT_EQ(sysio().time(nullptr), 86400);
  sysio().clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_EQ(t0.tv_sec, t1.tv_sec);
}

}  // namespace
