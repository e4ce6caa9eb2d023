// Log facility: the exact bytes on the log device and on standard output,
// partial lines, levels, the line cap, start-up, the device fallback and the
// show and cull filters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "tests/OS/os_test_util.h"

namespace {

using std::string;

const string kP = "<6>syssrv: hd[0]: ";  // prefix of an info line without component
const string kWarnInit =
    "syssrv: va_logmsg: You should call logmsg_init() before any logging functions (including printf())\n";

string cmdlinePath() { return "/proc/" + std::to_string(getpid()) + "/cmdline"; }

class LogmsgTest : public ::testing::Test, public OsSeamFixtureBase {};

// `log` returns the result of its last call; `out` is standard output, `idx` the unit index file if any.
struct LineCase {
  const char* what; std::function<int()> log; string device; int result;
  string out = ""; const char* idx = nullptr;
};

// A warning with the syslog echo set as given.
int warnWithEcho(int echo) {
  EXPECT_EQ(logmsg_set_syslog_echo(echo), 0);
  return logwarn(nullptr, "w\n");
}

TEST_F(LogmsgTest, LinesReachTheDeviceByteForByte) {
  const string big(3000, 'x'), half(1500, 'p'), warnOut = "WARN   syssrv: hd[0]: w\n", warnDev = "<4>syssrv: hd[0]: w\n";
  const LineCase cases[] = {
      {"error, no component", [] { return logerr(nullptr, "x\n"); }, "<3>syssrv: hd[0]: x\n", 20},
      {"component and arguments", [] { return loginfo("lan", "carrier %s on %d\n", "up", 2); },
       "<6>syssrv: hd[0]: lan: carrier up on 2\n", 39},
      {"empty component is still a component", [] { return loginfo("", "plain\n"); }, kP + ": plain\n", 26},
      {"every entry point has its level; levels outside 0..7 become 7",
       [] {
         logcrit("c", "1\n"), logwarn("c", "3\n"), logdebug("c", "5\n"), os_printf("%s\n", "6");
         logmsg(5, "c", "7\n"), logmsg(0, nullptr, "8\n"), logmsg(9, nullptr, "a\n"), logmsg(-1, nullptr, "b\n");
         return logmsg(102, nullptr, "c\n");
       },
       "<2>syssrv: hd[0]: c: 1\n<4>syssrv: hd[0]: c: 3\n<7>syssrv: hd[0]: c: 5\n<7>syssrv: hd[0]: 6\n"
       "<5>syssrv: hd[0]: c: 7\n<0>syssrv: hd[0]: 8\n<7>syssrv: hd[0]: a\n<7>syssrv: hd[0]: b\n<7>syssrv: hd[0]: c\n",
       20},
      {"remote level passes the line unchanged",
       [] { return logmsg_remote("<4>peer: hd[1]: %s\n", "remote") + logmsg(LOG_LEVEL_REMOTE, "c", "2nd\n"); },
       "<4>peer: hd[1]: remote\n2nd\n", 27},
      {"a lone newline with nothing pending; a null format",
       [] { return loginfo(nullptr, "\n") + logmsg_remote("\n") + logmsg(6, nullptr, nullptr); }, "", 0},
      {"partial then complete: one line, one prefix",
       [] { return loginfo(nullptr, "a=%d, ", 1) * 1000 + loginfo(nullptr, "b=%d\n", 2); },
       kP + "a=1, b=2\n", 23 * 1000 + 27},
      {"pending line keeps level and component of its start",
       [] { return logerr("dns", "first ") * 0 + logdebug("lan", "second ") * 0 + loginfo(nullptr, "end\n"); },
       "<3>syssrv: hd[0]: dns: first second end\n", 40},
      {"a lone newline completes a pending line",
       [] { return logdebug(nullptr, "abc") * 0 + logdebug(nullptr, "\n"); }, "<7>syssrv: hd[0]: abc\n", 22},
      {"carriage return is cut from the length", [] { return loginfo(nullptr, "dos\r\n"); }, kP + "dos\r", 23},
      {"newline inside the format ends the line", [] { return loginfo(nullptr, "a\nb"); }, kP + "a\nb" + '\0', 21},
      {"newline from an argument does not",
       [] { return loginfo(nullptr, "%s", "arg\n") * 0 + loginfo(nullptr, "end\n"); }, kP + "arg\nend\n", 26},
      {"long line is cut at 2048 bytes", [&] { return loginfo(nullptr, "%s\n", big.c_str()); },
       kP + string(2047 - kP.size(), 'x') + '\0', 2048},
      {"pending line is cut at 2048 bytes, then empty again",
       [&] {
         int n = (loginfo(nullptr, "%s", half.c_str()), loginfo(nullptr, "%s", half.c_str()));
         return loginfo(nullptr, "tail\n"), loginfo(nullptr, "fresh\n"), n;
       },
       kP + string(2047 - kP.size(), 'p') + '\0' + kP + "fresh\n", 2048},
      {"processor number in lower-case hex, name from the command line",
       [this] {
         rec().put_file(cmdlinePath(), string("/opt/corvale/bin/syssrv\0-x/y\0", 29));
         return logmsg_init(0x1a, nullptr), logdebug(nullptr, "p\n");
       },
       "<7>syssrv: hd[1a]: p\n", 21},
      // The unit index and the echo decide where lines go.
      {"unit 1 echoes to standard output", [] { return warnWithEcho(1); }, warnDev, 20, warnOut, "1\n"},
      {"unit 0, echo", [] { return warnWithEcho(1); }, warnDev, 20, "", "0\n"},
      {"unit 0, no echo", [] { return warnWithEcho(0); }, "", 20, "", "0\n"},
      {"unit 2, no echo", [] { return warnWithEcho(0); }, "", 20, warnOut, "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    logmsg_testing_reset();
    velar_idx_testing_reset();
    rec().put_file("/dev/crvllog", "");
    if (c.idx) rec().put_file("/tmp/velar-idx.txt", c.idx);
    else rec().unlink("/tmp/velar-idx.txt");
    logmsg_init(0, "syssrv");
    EXPECT_EQ(withStdout(c.log), std::make_pair(c.result, c.out));
    EXPECT_EQ(device(), c.device);
  }
  logmsg_init(0, string(60, 'n').c_str());
  EXPECT_EQ(string(logmsg_get_appname()), string(39, 'n'));
}

TEST_F(LogmsgTest, LoggingBeforeInitWarnsOnStderrAndWritesNothing) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(logerr(nullptr, "x\n"), 0);
  rec().put_file(cmdlinePath(), string("/usr/bin/syssrv\0--coredump\0", 27));
  EXPECT_EQ(logmsg_remote("remote\n"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kWarnInit.substr(6) + kWarnInit);
  EXPECT_EQ(device(), "");
  testing::internal::CaptureStderr();
  rec().unlink(cmdlinePath());
  logmsg_init(0, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "shouldn't happen: could not get app name\n");
}

TEST_F(LogmsgTest, MissingDeviceFallsBackToStdoutAndIsReopenedWhenItAppears) {
  rec().unlink("/dev/crvllog");
  logmsg_init(0, "syssrv");
  testing::internal::CaptureStdout();
  logcrit(nullptr, "c\n"), logerr(nullptr, "e\n"), logwarn("os", "w\n"), loginfo(nullptr, "i\n");
  logmsg(5, nullptr, "five\n"), logmsg_remote("<3>raw line\n"), logmsg_remote("no tag\n");
  rec().put_file("/dev/crvllog", "");
  loginfo(nullptr, "after\n"), loginfo(nullptr, "later\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "CRIT   syssrv: hd[0]: c\nERROR  syssrv: hd[0]: e\nWARN   syssrv: hd[0]: os: w\n"
            "INFO   syssrv: hd[0]: i\nDEBUG  syssrv: hd[0]: five\n"
            "ERROR  raw line\nno tag\n");
  EXPECT_EQ(device(), kP + "after\n" + kP + "later\n");
  auto opens = rec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 9u);  // init, one per line while missing, the one that worked
  for (const auto& o : opens) EXPECT_EQ(o.path + std::to_string(o.flags), "/dev/crvllog" + std::to_string(O_WRONLY | O_CLOEXEC));
  ASSERT_GT(opens.back().result, 0);
  EXPECT_TRUE(fcntl(opens.back().result, F_GETFD) & FD_CLOEXEC) << "a child of system() would inherit the device";
}

TEST_F(LogmsgTest, GetAppNameKeepsWhatFollowsTheLastSlashOfWhatItRead) {
  struct { string cmdline, expected; size_t size; } cases[] = {  // cmdline "-": no file
      {string("/usr/bin/syssrv\0", 16), "bi", 8},     // at most size - 1 bytes read
      {"/" + string(100, 'q'), string(79, 'q'), 200},  // through an 80-byte buffer
      {"-", "", 40}, {"/usr/bin/", "", 40},
  };
  logmsg_init(0, "syssrv");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cmdline);
    if (c.cmdline == "-") rec().unlink(cmdlinePath());
    else rec().put_file(cmdlinePath(), c.cmdline);
    char buf[200];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(getAppName(buf, c.size), buf);
    EXPECT_EQ(string(buf), c.expected);
  }
  char keep[4] = "abc";
  EXPECT_STREQ(getAppName(keep, 0), "abc");
}

using LogmsgFilterTest = LogmsgTest;  // show and cull filters

TEST_F(LogmsgFilterTest, ShowKeepsMatchingLinesThenCullDropsThemCaseSensitively) {
  logmsg_init(0, "syssrv");
  ASSERT_EQ(logmsg_showfilter_add("keep"), 0);
  ASSERT_EQ(logmsg_showfilter_add("<3>"), 0);  // filters see the prefix
  loginfo(nullptr, "drop this\n"), loginfo(nullptr, "keep this\n"), loginfo(nullptr, "KEEP upper\n");
  logerr(nullptr, "error\n");
  loginfo(nullptr, "a "), loginfo(nullptr, "b\n");  // a dropped partial line leaves nothing pending
  ASSERT_EQ(logmsg_cullfilter_add("keep"), 0);
  loginfo(nullptr, "keep that\n");
  logmsg_showfilter_delete("*");
  logmsg_remote("keep remote\n");  // remote lines are filtered too
  ASSERT_EQ(logmsg_showfilter_add(""), 0);  // counts, matches nothing: hides all
  loginfo(nullptr, "hidden\n");
  EXPECT_EQ(logmsg_showfilter_delete("") + logmsg_showfilter_delete(""), 0);  // no count below 0
  logmsg_cullfilter_delete("KEEP");
  EXPECT_EQ(logmsg_cullfilter_add(nullptr), -1);
  loginfo(nullptr, "keep free\n");
  EXPECT_EQ(device(), kP + "keep this\n<3>syssrv: hd[0]: error\n" + kP + "keep free\n");
}

TEST_F(LogmsgFilterTest, TableOperationsAndTheirTexts) {
  logmsg_init(0, "syssrv");
  const char* hostile[] = {"a\nb", "it's", "x;y", "`cmd`", "%s%n", "with \"quote\""};
  for (int i = 0; i < 10; ++i) ASSERT_EQ(logmsg_showfilter_add(("s" + std::to_string(i)).c_str()), 0);
  for (const char* t : hostile) ASSERT_EQ(logmsg_cullfilter_add(t), 0);
  for (int i = 0; i < 6; ++i) EXPECT_STREQ(logmsg_cullfilter_get(i), hostile[i]);
  EXPECT_EQ(std::string(logmsg_showfilter_get(10)) + logmsg_cullfilter_get(-1), "");
  auto full = withStdout([] { return logmsg_showfilter_add("s10"); });
  EXPECT_EQ(full, std::make_pair(-1, string("\"s10\" show filter not added, table full\n")));
  logmsg_showfilter_delete("S3");  // ignoring case; the first free entry is reused
  logmsg_showfilter_add(string(500, 'L').c_str());
  EXPECT_EQ(string(logmsg_showfilter_get(3)), string(369, 'L'));
  auto out = withStdout([] {
    return logmsg_showfilter_delete(string(500, 'L').c_str()) + logmsg_showfilter_delete("nope") +
           logmsg_cullfilter_delete("*") + logmsg_cullfilter_add("c") + logmsg_cullfilter_dump() +
           logmsg_cullfilter_delete("y");
  });
  EXPECT_EQ(out, std::make_pair(0, string("\"nope\" show filter not found\ncull filters:\n  \"c\"\n\"y\" cull filter not found\n")));
  EXPECT_EQ(logmsg_showfilter_delete("*"), 0);
  for (int i = 0; i < 10; ++i) EXPECT_STREQ(logmsg_showfilter_get(i), "");
  logmsg_showfilter_add("two");
  EXPECT_EQ(withStdout([] { return logmsg_showfilter_dump(); }), std::make_pair(0, string("show filters:\n  \"two\"\n")));
}

}  // namespace
