// The recording seam: exact command text, scripted results, path mapping.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_paths.h"
#include "platform/sysio/sysio_recorder.h"

namespace {

using Strings = std::vector<std::string>;

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { sysio_install(&rec); }
  void TearDown() override { sysio_install(nullptr); }
  RecorderSysIo rec;
};

std::string read_all(FILE* f) {
  std::string out;
  char buf[64];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

TEST_F(RecorderTest, CommandsAreRecordedVerbatimInOrder) {
  const std::string hostile = "echo 'a\"b' ; rm -rf / `id` $(x)\n";
  EXPECT_EQ(sysio().system("/system/bin/startnetwork --restart"), 0);
  EXPECT_EQ(sysio().system(hostile), 0);
  FILE* f = sysio().popen("fw_printenv -n serial", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(sysio().pclose(f), 0);
  pid_t pid = sysio().fork_exec({"/opt/corvale/bin/amxbeacond", "Model_X", "1.0", "", ""});
  EXPECT_GT(pid, 0);

  EXPECT_EQ(rec.commands(), (Strings{"/system/bin/startnetwork --restart", hostile,
                                     "fw_printenv -n serial",
                                     "/opt/corvale/bin/amxbeacond Model_X 1.0  "}));
  auto fe = rec.records(SysIoCall::kForkExec);
  ASSERT_EQ(fe.size(), 1u);
  EXPECT_EQ(fe[0].argv, (Strings{"/opt/corvale/bin/amxbeacond", "Model_X", "1.0", "", ""}));
  EXPECT_EQ(fe[0].pid, pid);
  auto all = rec.records();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].kind, SysIoCall::kSystem);
  EXPECT_EQ(all[2].kind, SysIoCall::kPopen);
  EXPECT_EQ(all[2].mode, "r");
  EXPECT_STREQ(sysio_call_name(all[3].kind), "fork_exec");

  rec.clear();
  EXPECT_TRUE(rec.commands().empty());
  EXPECT_TRUE(rec.records().empty());
}

TEST_F(RecorderTest, SystemStatusesAreScriptedExactOrByLongestPrefix) {
  rec.on("ntpd -q").exit_code(3);
  rec.on_prefix("ntpd").exit_code(1);
  rec.on_prefix("ntpd -x").status(0x0009);  // killed by SIGKILL
  rec.on("broken").fail(ENOMEM);

  EXPECT_EQ(sysio().system("ntpd -q"), 3 << 8);
  EXPECT_EQ(sysio().system("ntpd -q "), 1 << 8);  // not exact: prefix
  int st = sysio().system("ntpd -x 1");
  EXPECT_TRUE(WIFSIGNALED(st));
  EXPECT_EQ(WTERMSIG(st), SIGKILL);
  errno = 0;
  EXPECT_EQ(sysio().system("broken"), -1);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(sysio().system("other"), 0);
  auto sys = rec.records(SysIoCall::kSystem);
  ASSERT_EQ(sys.size(), 5u);
  EXPECT_EQ(sys[0].result, 3 << 8);
  EXPECT_EQ(sys[3].result, -1);
}

TEST_F(RecorderTest, PopenServesScriptedOutputAndCapturesWrites) {
  rec.on("cat /proc/uptime").output("123.45 67.89\n").exit_code(0);
  rec.on_prefix("openssl").output("").exit_code(2);
  rec.on("missing").fail();

  FILE* f = sysio().popen("cat /proc/uptime", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "123.45 67.89\n");
  EXPECT_EQ(sysio().pclose(f), 0);

  f = sysio().popen("openssl x509 -noout", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "");
  EXPECT_TRUE(std::feof(f));
  EXPECT_EQ(sysio().pclose(f), 2 << 8);

  f = sysio().popen("unscripted", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), EOF);
  EXPECT_EQ(sysio().pclose(f), 0);

  EXPECT_EQ(sysio().popen("missing", "r"), nullptr);

  f = sysio().popen("/system/bin/crontab -", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("line 1\n", f);
  std::fprintf(f, "%s;`x`\n", "line '2'");
  EXPECT_EQ(sysio().pclose(f), 0);

  auto po = rec.records(SysIoCall::kPopen);
  ASSERT_EQ(po.size(), 5u);
  EXPECT_EQ(po[3].text, "missing");
  EXPECT_EQ(po[3].result, 0);
  EXPECT_EQ(po[4].mode, "w");
  EXPECT_EQ(po[4].input, "line 1\nline '2';`x`\n");
  // A stream the recorder did not hand out is refused.
  EXPECT_EQ(sysio().pclose(stdin), -1);
}

TEST_F(RecorderTest, ForkExecChildrenFollowTheirScripts) {
  rec.on("/bin/a").pid(4242).exits(7, 2);
  rec.on("/bin/b x").fail();
  rec.on("/bin/c").ignores_signals();

  pid_t a = sysio().fork_exec({"/bin/a"});
  EXPECT_EQ(a, 4242);
  int st = -1;
  EXPECT_EQ(sysio().waitpid(a, &st, WNOHANG), 0);
  EXPECT_EQ(sysio().waitpid(a, &st, WNOHANG), 0);
  EXPECT_EQ(sysio().waitpid(a, &st, WNOHANG), a);
  EXPECT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 7);
  errno = 0;
  EXPECT_EQ(sysio().waitpid(a, &st, WNOHANG), -1);  // already reaped
  EXPECT_EQ(errno, ECHILD);

  EXPECT_EQ(sysio().fork_exec({"/bin/b", "x"}), -1);
  EXPECT_EQ(sysio().fork_exec({}), -1);

  // An unscripted child runs until a signal ends it.
  pid_t d = sysio().fork_exec({"/bin/d"});
  EXPECT_EQ(sysio().waitpid(d, &st, WNOHANG), 0);
  EXPECT_EQ(sysio().kill(d, 0), 0);
  EXPECT_EQ(sysio().waitpid(d, &st, WNOHANG), 0);
  EXPECT_EQ(sysio().kill(d, SIGTERM), 0);
  EXPECT_EQ(sysio().waitpid(d, &st, WNOHANG), d);
  EXPECT_TRUE(WIFSIGNALED(st));
  EXPECT_EQ(WTERMSIG(st), SIGTERM);

  pid_t c = sysio().fork_exec({"/bin/c"});
  EXPECT_NE(c, d);
  EXPECT_EQ(sysio().kill(c, SIGTERM), 0);
  EXPECT_EQ(sysio().waitpid(c, &st, WNOHANG), 0);
  rec.child_end(c, 1 << 8);
  EXPECT_EQ(sysio().waitpid(-1, &st, WNOHANG), c);
  EXPECT_EQ(WEXITSTATUS(st), 1);

  // A blocking wait on a running child returns at once with exit 0.
  pid_t e = sysio().fork_exec({"/bin/e"});
  st = -1;
  EXPECT_EQ(sysio().waitpid(e, &st, 0), e);
  EXPECT_EQ(st, 0);

  rec.kill_fails(999, EPERM);
  errno = 0;
  EXPECT_EQ(sysio().kill(999, SIGTERM), -1);
  EXPECT_EQ(errno, EPERM);

  auto kills = rec.records(SysIoCall::kKill);
  ASSERT_EQ(kills.size(), 4u);
  EXPECT_EQ(kills[1].pid, d);
  EXPECT_EQ(kills[1].sig, SIGTERM);
  EXPECT_EQ(kills[3].result, -1);
  EXPECT_EQ(rec.commands(), (Strings{"/bin/a", "/bin/b x", "", "/bin/d", "/bin/c", "/bin/e"}));
}

TEST_F(RecorderTest, PathsMapUnderTheRootAndNeverLeaveIt) {
  const std::string& root = rec.root();
  EXPECT_EQ(rec.path("/data/etc/resolv.conf"), root + "/data/etc/resolv.conf");
  EXPECT_EQ(rec.path("/../../etc/passwd"), root + "/etc/passwd");
  EXPECT_EQ(rec.path("/a/./b/../c"), root + "/a/c");
  EXPECT_EQ(rec.path("relative/x"), root + "/relative/x");
  EXPECT_EQ(rec.path("/"), root);
  EXPECT_EQ(sysio_map_under_root("/r/", "/x/y/"), "/r/x/y/");

  rec.put_file("/data/etc/resolv.conf", "nameserver 1.2.3.4\n");
  EXPECT_EQ(rec.file_bytes("/data/etc/resolv.conf"), "nameserver 1.2.3.4\n");
  struct stat st;
  EXPECT_EQ(sysio().stat("/data/etc/resolv.conf", &st), 0);
  EXPECT_EQ(st.st_size, 19);
  EXPECT_EQ(sysio().access("/data/etc/resolv.conf", R_OK), 0);
  EXPECT_EQ(sysio().access("/data/etc/none", F_OK), -1);

  // An escaping path writes inside the root.
  rec.make_dirs("/tmp");
  int fd = sysio().open("/../../../tmp/escape", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "x", 1), 1);
  ::close(fd);
  EXPECT_TRUE(rec.file_exists("/tmp/escape"));
  EXPECT_EQ(rec.file_bytes("/tmp/escape"), "x");

  EXPECT_EQ(sysio().mkdir("/data/dir", 0755), 0);
  EXPECT_EQ(sysio().rename("/data/etc/resolv.conf", "/data/dir/r"), 0);
  EXPECT_FALSE(rec.file_exists("/data/etc/resolv.conf"));
  std::vector<std::string> names;
  EXPECT_TRUE(sysio().list_dir("/data/dir", &names));
  EXPECT_EQ(names, (Strings{"r"}));
  EXPECT_FALSE(sysio().list_dir("/nowhere", &names));
  EXPECT_EQ(sysio().unlink("/data/dir/r"), 0);
  EXPECT_EQ(sysio().unlink("/data/dir/r"), -1);
  FILE* f = sysio().fopen("/data/dir/new", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("abc", f);
  std::fclose(f);
  EXPECT_EQ(rec.file_bytes("/data/dir/new"), "abc");
  EXPECT_EQ(rec.file_bytes("/data/dir/missing"), "");
  EXPECT_FALSE(rec.file_exists("/data/dir/missing"));

  auto ren = rec.records(SysIoCall::kRename);
  ASSERT_EQ(ren.size(), 1u);
  EXPECT_EQ(ren[0].path, "/data/etc/resolv.conf");
  EXPECT_EQ(ren[0].to, "/data/dir/r");
  auto un = rec.records(SysIoCall::kUnlink);
  ASSERT_EQ(un.size(), 2u);
  EXPECT_EQ(un[1].result, -1);
}

TEST_F(RecorderTest, IoctlRecordsPathRequestAndArgumentBytes) {
  rec.make_dirs("/dev");
  int fd = sysio().open("/dev/uinput", O_WRONLY | O_CREAT | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  struct Rtc {
    int a, b;
  } arg = {0x11223344, 5};
  rec.ioctl_arg_size(0x4024700AUL, sizeof arg);
  EXPECT_EQ(sysio().ioctl(fd, 0x4024700AUL, &arg), 0);
  EXPECT_EQ(sysio().ioctl(fd, 0x40045564UL, reinterpret_cast<void*>(uintptr_t{1})), 0);
  rec.ioctl_result(0x5501UL, -1, ENODEV);
  errno = 0;
  EXPECT_EQ(sysio().ioctl(fd, 0x5501UL, nullptr), -1);
  EXPECT_EQ(errno, ENODEV);
  rec.ioctl_reply(0x80247009UL, std::string("\x01\x02\x03", 3));
  unsigned char out[3] = {0, 0, 0};
  EXPECT_EQ(sysio().ioctl(99, 0x80247009UL, out), 0);
  EXPECT_EQ(out[2], 3);
  ::close(fd);

  auto io = rec.records(SysIoCall::kIoctl);
  ASSERT_EQ(io.size(), 4u);
  EXPECT_EQ(io[0].path, "/dev/uinput");
  EXPECT_EQ(io[0].request, 0x4024700AUL);
  EXPECT_EQ(io[0].bytes, std::string(reinterpret_cast<const char*>(&arg), sizeof arg));
  EXPECT_EQ(io[1].arg, 1u);
  EXPECT_EQ(io[1].bytes, "");
  EXPECT_EQ(io[2].result, -1);
  EXPECT_EQ(io[3].path, "");  // descriptor the recorder did not open
  auto opens = rec.records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].flags, O_WRONLY | O_CREAT | O_NONBLOCK);
}

TEST_F(RecorderTest, PropertiesFollowDeviceRules) {
  char v[PROP_VALUE_MAX];
  EXPECT_EQ(sysio().property_get("net.dns1", v), 0);
  EXPECT_STREQ(v, "");
  EXPECT_EQ(sysio().property_set("net.dns1", "10.0.0.1"), 0);
  EXPECT_EQ(sysio().property_get("net.dns1", v), 8);
  EXPECT_STREQ(v, "10.0.0.1");
  EXPECT_EQ(sysio().property_set("net.dns1", ""), 0);
  EXPECT_TRUE(rec.has_property("net.dns1"));
  EXPECT_EQ(sysio().property_set("ro.serialno", "A1"), 0);
  EXPECT_EQ(sysio().property_set("ro.serialno", "B2"), -1);
  EXPECT_EQ(rec.property("ro.serialno"), "A1");
  EXPECT_EQ(sysio().property_set("x", std::string(91, 'v').c_str()), 0);
  EXPECT_EQ(sysio().property_set("x", std::string(92, 'v').c_str()), -1);
  EXPECT_EQ(rec.property("x"), std::string(91, 'v'));
  EXPECT_EQ(sysio().property_set(std::string(32, 'n').c_str(), "1"), -1);
  rec.property_set_fails("persist.sys.timezone");
  EXPECT_EQ(sysio().property_set("persist.sys.timezone", "UTC"), -1);
  rec.put_property("ro.build", "given");
  EXPECT_EQ(sysio().property_get("ro.build", v), 5);

  auto sets = rec.records(SysIoCall::kPropertySet);
  ASSERT_EQ(sets.size(), 8u);
  EXPECT_EQ(sets[0].text, "net.dns1=10.0.0.1");
  EXPECT_EQ(sets[3].name, "ro.serialno");
  EXPECT_EQ(sets[3].value, "B2");
  EXPECT_EQ(sets[3].result, -1);
  auto gets = rec.records(SysIoCall::kPropertyGet);
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[1].value, "10.0.0.1");
}

TEST_F(RecorderTest, FakeClocksMoveOnlyWhenTold) {
  struct timespec ts;
  ASSERT_EQ(sysio().clock_gettime(CLOCK_MONOTONIC, &ts), 0);
  EXPECT_EQ(ts.tv_sec, 1000);
  ASSERT_EQ(sysio().clock_gettime(CLOCK_REALTIME, &ts), 0);
  EXPECT_EQ(ts.tv_sec, 1700000000);
  rec.advance_ms(1500);
  sysio().clock_gettime(CLOCK_MONOTONIC, &ts);
  EXPECT_EQ(ts.tv_sec, 1001);
  EXPECT_EQ(ts.tv_nsec, 500000000);
  EXPECT_EQ(sysio().time(nullptr), 1700000001);

  sysio().sleep_us(2500000);
  sysio().clock_gettime(CLOCK_MONOTONIC, &ts);
  EXPECT_EQ(ts.tv_sec, 1004);
  EXPECT_EQ(ts.tv_nsec, 0);

  struct timespec want = {86400, 0};
  EXPECT_EQ(sysio().clock_settime(CLOCK_REALTIME, &want), 0);
  time_t t = 0;
  EXPECT_EQ(sysio().time(&t), 86400);
  EXPECT_EQ(t, 86400);
  sysio().clock_gettime(CLOCK_MONOTONIC, &ts);
  EXPECT_EQ(ts.tv_sec, 1004);  // setting the wall clock leaves monotonic alone
  EXPECT_EQ(sysio().clock_settime(CLOCK_MONOTONIC, &want), -1);
  struct timespec bad = {5, 1000000000L};
  EXPECT_EQ(sysio().clock_settime(CLOCK_REALTIME, &bad), -1);
  EXPECT_EQ(sysio().time(nullptr), 86400);

  rec.set_realtime(0);
  EXPECT_EQ(sysio().time(nullptr), 0);

  auto sets = rec.records(SysIoCall::kClockSettime);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].clk, CLOCK_REALTIME);
  EXPECT_EQ(sets[0].ts.tv_sec, 86400);
  EXPECT_EQ(sets[1].result, -1);
  auto sl = rec.records(SysIoCall::kSleep);
  ASSERT_EQ(sl.size(), 1u);
  EXPECT_EQ(sl[0].us, 2500000u);
}

TEST_F(RecorderTest, OwnedRootIsRemovedWithTheRecorder) {
  std::string root;
  {
    RecorderSysIo other;
    root = other.root();
    other.put_file("/a/b/c", "x");
    ASSERT_EQ(::access((root + "/a/b/c").c_str(), F_OK), 0);
  }
  EXPECT_NE(::access(root.c_str(), F_OK), 0);
  // A root given by the caller stays.
  SysIoTempDir dir("sysio-keep");
  { RecorderSysIo given(dir.path()); given.put_file("/f", "1"); }
  EXPECT_EQ(::access((dir.path() + "/f").c_str(), F_OK), 0);
}

}  // namespace
