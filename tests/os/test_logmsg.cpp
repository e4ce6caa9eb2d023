// Log facility: the exact bytes on the log device and on standard output,
// start-up behaviour, partial lines, levels and the line cap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "OS/logmsg.h"
#include "tests/os/os_test_util.h"

namespace {

using std::string;

class LogmsgTest : public ::testing::Test, public OsSeamFixtureBase {};

// ---- the bytes of one line ----

TEST_F(LogmsgTest, ErrorWithoutComponentReachesDeviceByteForByte) {
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  int n = logerr(nullptr, "x\n");
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: x\n");
  EXPECT_EQ(n, 20);
}

TEST_F(LogmsgTest, ComponentAndArgumentsAreFormatted) {
  logmsg_init(0, "syssrv");
  loginfo("lan", "carrier %s on %d\n", "up", 2);
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: lan: carrier up on 2\n");
}

TEST_F(LogmsgTest, EmptyComponentAddsNoSeparator) {
  logmsg_init(0, "syssrv");
  loginfo("", "plain\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: plain\n");
}

TEST_F(LogmsgTest, ProcessorNumberIsLowerCaseHex) {
  logmsg_init(0x1a, "syssrv");
  logdebug(nullptr, "p\n");
  EXPECT_EQ(device(), "<7>syssrv: hd[1a]: p\n");
}

TEST_F(LogmsgTest, EveryEntryPointUsesItsLevel) {
  logmsg_init(0, "syssrv");
  logcrit("c", "1\n");
  logerr("c", "2\n");
  logwarn("c", "3\n");
  loginfo("c", "4\n");
  logdebug("c", "5\n");
  os_printf("%s\n", "6");
  logmsg(5, "c", "7\n");
  logmsg(0, nullptr, "8\n");
  EXPECT_EQ(device(),
            "<2>syssrv: hd[0]: c: 1\n"
            "<3>syssrv: hd[0]: c: 2\n"
            "<4>syssrv: hd[0]: c: 3\n"
            "<6>syssrv: hd[0]: c: 4\n"
            "<7>syssrv: hd[0]: c: 5\n"
            "<7>syssrv: hd[0]: 6\n"
            "<5>syssrv: hd[0]: c: 7\n"
            "<0>syssrv: hd[0]: 8\n");
}

TEST_F(LogmsgTest, LevelsOutsideRangeBecomeDebug) {
  logmsg_init(0, "syssrv");
  logmsg(9, nullptr, "nine\n");
  logmsg(8, nullptr, "eight\n");
  logmsg(-1, nullptr, "minus\n");
  logmsg(100, nullptr, "hundred\n");
  logmsg(102, nullptr, "hundred-two\n");
  EXPECT_EQ(device(),
            "<7>syssrv: hd[0]: nine\n"
            "<7>syssrv: hd[0]: eight\n"
            "<7>syssrv: hd[0]: minus\n"
            "<7>syssrv: hd[0]: hundred\n"
            "<7>syssrv: hd[0]: hundred-two\n");
}

TEST_F(LogmsgTest, RemoteLevelPassesLineUnchanged) {
  logmsg_init(0, "syssrv");
  int n = logmsg_remote("<4>peer: hd[1]: %s\n", "remote text");
  logmsg(LOG_LEVEL_REMOTE, "ignored", "second\n");
  EXPECT_EQ(device(), "<4>peer: hd[1]: remote text\nsecond\n");
  EXPECT_EQ(n, 28);
}

TEST_F(LogmsgTest, ReturnsLengthOfWholeLineWithPrefix) {
  logmsg_init(0, "syssrv");
  EXPECT_EQ(loginfo("os", "%d\n", 12345), static_cast<int>(strlen("<6>syssrv: hd[0]: os: 12345\n")));
}

// ---- line ends ----

TEST_F(LogmsgTest, NewlineAloneWithNothingPendingPrintsNothing) {
  logmsg_init(0, "syssrv");
  EXPECT_EQ(loginfo(nullptr, "\n"), 0);
  EXPECT_EQ(logmsg_remote("\n"), 0);
  EXPECT_EQ(device(), "");
}

TEST_F(LogmsgTest, PartialThenCompleteGiveOneLineWithOnePrefix) {
  logmsg_init(0, "syssrv");
  int first = loginfo(nullptr, "a=%d, ", 1);
  EXPECT_EQ(device(), "") << "a partial line must wait for its end";
  EXPECT_EQ(first, static_cast<int>(strlen("<6>syssrv: hd[0]: a=1, ")));
  loginfo(nullptr, "b=%d\n", 2);
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: a=1, b=2\n");
}

TEST_F(LogmsgTest, PendingLineKeepsLevelAndComponentOfItsStart) {
  logmsg_init(0, "syssrv");
  logerr("dns", "first ");
  logdebug("lan", "second ");
  loginfo(nullptr, "end\n");
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: dns: first second end\n");
}

TEST_F(LogmsgTest, NewlineAloneCompletesPendingLine) {
  logmsg_init(0, "syssrv");
  logdebug(nullptr, "abc");
  logdebug(nullptr, "\n");
  logdebug(nullptr, "next\n");
  EXPECT_EQ(device(), "<7>syssrv: hd[0]: abc\n<7>syssrv: hd[0]: next\n");
}

TEST_F(LogmsgTest, CarriageReturnBeforeNewlineIsCutFromLength) {
  logmsg_init(0, "syssrv");
  loginfo(nullptr, "dos\r\n");
  // The text loses "\r\n" from its length and the device gets one byte
  // past it, which is then the carriage return.
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: dos\r");
}

TEST_F(LogmsgTest, NewlineInsideFormatEndsLineWithoutStripping) {
  logmsg_init(0, "syssrv");
  loginfo(nullptr, "a\nb");
  // Nothing to strip: the byte after the text is the terminator.
  EXPECT_EQ(device(), string("<6>syssrv: hd[0]: a\nb\0", 22));
}

TEST_F(LogmsgTest, NewlineFromArgumentDoesNotEndLine) {
  logmsg_init(0, "syssrv");
  loginfo(nullptr, "%s", "arg\n");
  EXPECT_EQ(device(), "");
  loginfo(nullptr, "end\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: arg\nend\n");
}

TEST_F(LogmsgTest, NullFormatReturnsZero) {
  logmsg_init(0, "syssrv");
  EXPECT_EQ(logmsg(6, nullptr, nullptr), 0);
  EXPECT_EQ(device(), "");
}

// ---- the 2048-byte cap ----

TEST_F(LogmsgTest, LongLineIsCutAt2048Bytes) {
  logmsg_init(0, "syssrv");
  string big(3000, 'x');
  int n = loginfo(nullptr, "%s\n", big.c_str());
  EXPECT_EQ(n, 2048);
  string prefix = "<6>syssrv: hd[0]: ";
  string expect = prefix + string(2047 - prefix.size(), 'x') + string(1, '\0');
  EXPECT_EQ(device(), expect);
}

TEST_F(LogmsgTest, LineOfExactly2047BytesKeepsItsNewline) {
  logmsg_init(0, "syssrv");
  string prefix = "<6>syssrv: hd[0]: ";
  string text(2047 - prefix.size() - 1, 'y');
  int n = loginfo(nullptr, "%s\n", text.c_str());
  EXPECT_EQ(n, 2047);
  EXPECT_EQ(device(), prefix + text + "\n");
}

TEST_F(LogmsgTest, PendingLineIsCutAt2048Bytes) {
  logmsg_init(0, "syssrv");
  string part(1500, 'p');
  loginfo(nullptr, "%s", part.c_str());
  EXPECT_EQ(loginfo(nullptr, "%s", part.c_str()), 2048);
  loginfo(nullptr, "tail\n");
  string prefix = "<6>syssrv: hd[0]: ";
  EXPECT_EQ(device(), prefix + string(2047 - prefix.size(), 'p') + string(1, '\0'));
  // The pending buffer is empty again afterwards.
  loginfo(nullptr, "fresh\n");
  EXPECT_EQ(device().substr(2048), "<6>syssrv: hd[0]: fresh\n");
}

// ---- several threads ----

TEST_F(LogmsgTest, PartialLinesOfThreadsDoNotMix) {
  logmsg_init(0, "syssrv");
  const int kThreads = 4;
  const int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        loginfo(nullptr, "T%d", t);
        loginfo(nullptr, "-%d", i);
        std::this_thread::yield();
        loginfo(nullptr, "-end\n");
      }
    });
  }
  for (auto& th : threads) th.join();
  string all = device();
  std::vector<int> next(kThreads, 0);
  size_t pos = 0;
  int lines = 0;
  const string prefix = "<6>syssrv: hd[0]: T";
  while (pos < all.size()) {
    size_t nl = all.find('\n', pos);
    ASSERT_NE(nl, string::npos);
    string line = all.substr(pos, nl - pos);
    pos = nl + 1;
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    int t = -1, i = -1;
    char tail[8] = {};
    ASSERT_EQ(sscanf(line.c_str() + prefix.size(), "%d-%d-%7s", &t, &i, tail), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    // Lines of one thread keep their order.
    EXPECT_EQ(i, next[t]) << line;
    next[t] = i + 1;
    EXPECT_STREQ(tail, "end") << line;
    EXPECT_EQ(line, prefix + std::to_string(t) + "-" + std::to_string(i) + "-end");
    ++lines;
  }
  EXPECT_EQ(lines, kThreads * kLines);
}

TEST_F(LogmsgTest, PendingLineOfOneThreadIsInvisibleToAnother) {
  logmsg_init(0, "syssrv");
  loginfo(nullptr, "main-part ");
  std::thread other([] { loginfo(nullptr, "other\n"); });
  other.join();
  loginfo(nullptr, "main-end\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: other\n<6>syssrv: hd[0]: main-part main-end\n");
}

// ---- start-up ----

TEST_F(LogmsgTest, LoggingBeforeInitWarnsOnStderrAndWritesNothing) {
  rec().put_file(own_cmdline_path(), string("/usr/bin/syssrv\0--coredump\0", 27));
  auto err = capture_stderr();
  int n = logerr(nullptr, "x\n");
  int m = logmsg_remote("remote\n");
  string text = err->stop();
  EXPECT_EQ(n, 0);
  EXPECT_EQ(m, 0);
  const string warning =
      "syssrv: va_logmsg: You should call logmsg_init() before any logging functions (including printf())\n";
  EXPECT_EQ(text, warning + warning);
  EXPECT_EQ(device(), "");
}

TEST_F(LogmsgTest, LoggingBeforeInitWithoutCmdlineHasEmptyName) {
  auto err = capture_stderr();
  logerr(nullptr, "x\n");
  EXPECT_EQ(err->stop(), ": va_logmsg: You should call logmsg_init() before any logging functions (including printf())\n");
}

TEST_F(LogmsgTest, InitOpensLogDeviceWriteOnly) {
  logmsg_init(0, "syssrv");
  auto opens = rec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].path, "/dev/crvllog");
  EXPECT_EQ(opens[0].flags, O_WRONLY);
  EXPECT_GT(opens[0].result, 0);
}

TEST_F(LogmsgTest, InitTakesNameFromCmdlineWhenNull) {
  rec().put_file(own_cmdline_path(), string("/opt/corvale/bin/syssrv\0-x\0", 27));
  logmsg_init(3, nullptr);
  EXPECT_STREQ(logmsg_get_appname(), "syssrv");
  loginfo(nullptr, "hi\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[3]: hi\n");
}

TEST_F(LogmsgTest, InitWithoutAnyNameComplainsOnStderr) {
  auto err = capture_stderr();
  logmsg_init(0, nullptr);
  EXPECT_EQ(err->stop(), "shouldn't happen: could not get app name\n");
  EXPECT_STREQ(logmsg_get_appname(), "");
}

TEST_F(LogmsgTest, AppNameIsCutTo39Characters) {
  string longname(60, 'n');
  logmsg_init(0, longname.c_str());
  EXPECT_EQ(string(logmsg_get_appname()), string(39, 'n'));
}

TEST_F(LogmsgTest, SecondInitKeepsNameWhenNullAndChangesProcessor) {
  logmsg_init(0, "syssrv");
  logmsg_init(2, nullptr);
  loginfo(nullptr, "again\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[2]: again\n");
}

// ---- standard output ----

TEST_F(LogmsgTest, MissingDeviceFallsBackToStdoutWithLevelNames) {
  rec().unlink("/dev/crvllog");
  logmsg_init(0, "syssrv");
  auto out = capture_stdout();
  logcrit(nullptr, "c\n");
  logerr(nullptr, "e\n");
  logwarn("os", "w\n");
  loginfo(nullptr, "i\n");
  logdebug(nullptr, "d\n");
  logmsg(5, nullptr, "five\n");
  logmsg(0, nullptr, "zero\n");
  logmsg(1, nullptr, "one\n");
  logmsg_remote("<3>raw line\n");
  logmsg_remote("no tag\n");
  EXPECT_EQ(out->stop(),
            "CRIT   syssrv: hd[0]: c\n"
            "ERROR  syssrv: hd[0]: e\n"
            "WARN   syssrv: hd[0]: os: w\n"
            "INFO   syssrv: hd[0]: i\n"
            "DEBUG  syssrv: hd[0]: d\n"
            "DEBUG  syssrv: hd[0]: five\n"
            "DEBUG  syssrv: hd[0]: zero\n"
            "DEBUG  syssrv: hd[0]: one\n"
            "ERROR  raw line\n"
            "no tag\n");
  EXPECT_FALSE(rec().file_exists("/dev/crvllog"));
}

TEST_F(LogmsgTest, DeviceIsReopenedWhenItAppears) {
  rec().unlink("/dev/crvllog");
  logmsg_init(0, "syssrv");
  auto out = capture_stdout();
  loginfo(nullptr, "before\n");
  rec().put_file("/dev/crvllog", "");
  loginfo(nullptr, "after\n");
  loginfo(nullptr, "later\n");
  EXPECT_EQ(out->stop(), "INFO   syssrv: hd[0]: before\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: after\n<6>syssrv: hd[0]: later\n");
  auto opens = rec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 3u);  // init, "before" (fails), "after"
  for (const auto& o : opens) {
    EXPECT_EQ(o.path, "/dev/crvllog");
    EXPECT_EQ(o.flags, O_WRONLY);
  }
  EXPECT_LT(opens[0].result, 0);
  EXPECT_LT(opens[1].result, 0);
  EXPECT_GT(opens[2].result, 0);
}

TEST_F(LogmsgTest, NonZeroUnitIndexLogsToDeviceAndStdout) {
  rec().put_file("/tmp/velar-idx.txt", "1\n");
  logmsg_init(0, "syssrv");
  auto out = capture_stdout();
  logwarn(nullptr, "both\n");
  EXPECT_EQ(out->stop(), "WARN   syssrv: hd[0]: both\n");
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: both\n");
}

TEST_F(LogmsgTest, UnitZeroLogsToDeviceOnly) {
  rec().put_file("/tmp/velar-idx.txt", "0\n");
  logmsg_init(0, "syssrv");
  auto out = capture_stdout();
  logwarn(nullptr, "device only\n");
  EXPECT_EQ(out->stop(), "");
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: device only\n");
}

TEST_F(LogmsgTest, SyslogEchoOffWritesNothingToDevice) {
  logmsg_init(0, "syssrv");
  EXPECT_EQ(logmsg_set_syslog_echo(0), 0);
  EXPECT_EQ(logmsg_get_syslog_echo(), 0);
  auto out = capture_stdout();
  EXPECT_EQ(loginfo(nullptr, "quiet\n"), static_cast<int>(strlen("<6>syssrv: hd[0]: quiet\n")));
  EXPECT_EQ(out->stop(), "");
  EXPECT_EQ(device(), "");
  logmsg_set_syslog_echo(1);
  loginfo(nullptr, "loud\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: loud\n");
}

TEST_F(LogmsgTest, SyslogEchoOffWithStdoutFallbackPrintsOnlyThere) {
  rec().put_file("/tmp/velar-idx.txt", "2");
  logmsg_init(0, "syssrv");
  logmsg_set_syslog_echo(0);
  auto out = capture_stdout();
  loginfo(nullptr, "stdout\n");
  EXPECT_EQ(out->stop(), "INFO   syssrv: hd[0]: stdout\n");
  EXPECT_EQ(device(), "");
}

TEST_F(LogmsgTest, FinalPrintWritesTextAndOneByteMore) {
  logmsg_init(0, "syssrv");
  const char msg[] = "<6>abc|def";
  android_final_print(msg, 5);
  EXPECT_EQ(device(), "<6>abc");
}

// ---- settings ----

TEST_F(LogmsgTest, SettingsStartValuesAndSetters) {
  EXPECT_EQ(logmsg_get_syslog_echo(), 1);
  EXPECT_EQ(logmsg_get_spewfilter(), 0);
  EXPECT_EQ(logmsg_get_format(), 8);
  EXPECT_EQ(logmsg_max_filters(), 10);
  EXPECT_EQ(logmsg_set_spewfilter(5), 0);
  EXPECT_EQ(logmsg_get_spewfilter(), 5);
  EXPECT_EQ(logmsg_set_format(3), 0);
  EXPECT_EQ(logmsg_get_format(), 3);
  logmsg_init(0, "syssrv");
  logmsg_shutdown();
  loginfo(nullptr, "still here\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: still here\n");
}

// ---- getAppName ----

class GetAppNameTest : public LogmsgTest {};

TEST_F(GetAppNameTest, KeepsWhatFollowsLastSlashOfProgramPath) {
  rec().put_file(own_cmdline_path(), string("/usr/bin/syssrv\0--coredump\0", 27));
  char buf[40];
  EXPECT_EQ(getAppName(buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "syssrv");
}

TEST_F(GetAppNameTest, ArgumentsWithSlashesAreNotSearched) {
  rec().put_file(own_cmdline_path(), string("syssrv\0/data/x/y\0", 17));
  char buf[40];
  EXPECT_STREQ(getAppName(buf, sizeof buf), "syssrv");
}

TEST_F(GetAppNameTest, ReadsAtMostSizeMinusOneBytes) {
  rec().put_file(own_cmdline_path(), string("/usr/bin/syssrv\0", 16));
  char buf[8];
  memset(buf, 'Z', sizeof buf);
  EXPECT_STREQ(getAppName(buf, sizeof buf), "bi");  // "/usr/bi" was read
}

TEST_F(GetAppNameTest, NameIsCutAt79Characters) {
  string name(100, 'q');
  rec().put_file(own_cmdline_path(), "/" + name + string(1, '\0'));
  char buf[200];
  EXPECT_EQ(string(getAppName(buf, sizeof buf)), string(79, 'q'));
}

TEST_F(GetAppNameTest, MissingOrEmptyFileGivesEmptyText) {
  char buf[40];
  memset(buf, 'Z', sizeof buf);
  EXPECT_STREQ(getAppName(buf, sizeof buf), "");
  rec().put_file(own_cmdline_path(), "");
  memset(buf, 'Z', sizeof buf);
  EXPECT_STREQ(getAppName(buf, sizeof buf), "");
}

TEST_F(GetAppNameTest, TrailingSlashLeavesEmptyName) {
  rec().put_file(own_cmdline_path(), "/usr/bin/");
  char buf[40];
  EXPECT_STREQ(getAppName(buf, sizeof buf), "");
}

TEST_F(GetAppNameTest, ZeroSizeTouchesNothing) {
  char buf[4] = {'a', 'b', 'c', '\0'};
  EXPECT_EQ(getAppName(buf, 0), buf);
  EXPECT_STREQ(buf, "abc");
}

}  // namespace
