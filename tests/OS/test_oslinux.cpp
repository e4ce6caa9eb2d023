// Bounded copies, trimming, case conversion, integer formatting, process
// lookup by command name and the interrupts-off emulation.
#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <thread>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "tests/OS/os_test_util.h"

namespace {

using std::string;

TEST(OsStrings, BoundedCopiesCutTerminateAndReturnTheIntendedLength) {
  // op: 'c' strlcpy, 'a' strlcat onto dst, 's' strlcpy_substr of sub bytes.
  struct { char op; const char *dst, *src; size_t size, sub, ret; const char* result; } cases[] = {
      {'c', "", "abcdefghij", 8, 0, 10, "abcdefg"}, {'c', "", "abc", 4, 0, 3, "abc"}, {'c', "xyz", "hello", 0, 0, 5, "xyz"},
      {'c', "xyz", "hello", 1, 0, 5, ""},         {'a', "abc", "def", 16, 0, 6, "abcdef"},
      {'a', "abcd", "efghij", 8, 0, 10, "abcdefg"}, {'a', "abc", "de", 4, 0, 5, "abc"}, {'a', "abcdef", "xy", 4, 0, 6, "abcdef"},
      {'s', "", "abcdef", 4, 5, 5, "abc"},        {'s', "", "abcdef", 16, 2, 2, "ab"}, {'s', "", "abc", 16, 10, 3, "abc"},
      {'s', "xyz", "abc", 4, 0, 0, ""},           {'s', "xyz", "abc", 0, 2, 2, "xyz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(string(1, c.op) + " " + c.dst + "+" + c.src + " size " + std::to_string(c.size));
    char buf[32];
    strcpy(buf, c.dst);
    size_t r = c.op == 'c' ? strlcpy(buf, c.src, c.size)
               : c.op == 'a' ? strlcat(buf, c.src, c.size)
                             : strlcpy_substr(buf, c.src, c.size, c.sub);
    EXPECT_EQ(r, c.ret);
    EXPECT_STREQ(buf, c.result);
  }
  // strlcpy_substr looks at no more than srcSubLen bytes of its source.
  const char unterminated[3] = {'a', 'b', 'c'};
  char buf[8];
  EXPECT_EQ(strlcpy_substr(buf, unterminated, sizeof buf, 3), 3u);
  EXPECT_STREQ(buf, "abc");
}

TEST(OsStrings, TrimCaseAndItoa) {
  struct { char* (*fn)(char*); const char *in, *out; } cases[] = {
      {trim_str, "  x  ", "x"},          {trim_str, "   ", ""},         {trim_str, "", ""},
      {trim_leading, " \t\r\n", ""},     {trim_trailing, "\n\n", ""},   {trim_str, "\t\x01 a b \r\n\x1f", "a b"},
      {trim_leading, "  a b  ", "a b  "}, {trim_trailing, "  a b  ", "  a b"},
      {trim_str, " \xc3\xa9 ", "\xc3\xa9"}, {strupr, "Mixed 1-z", "MIXED 1-Z"}, {strlwr, "Mixed 1-Z", "mixed 1-z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    char buf[32];
    strcpy(buf, c.in);
    EXPECT_EQ(c.fn(buf), buf);
    EXPECT_STREQ(buf, c.out);
  }
  char buf[16] = "keep";
  EXPECT_EQ(itoa(255, buf, 8), nullptr);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(itoa(255, buf, 16), buf);
  EXPECT_STREQ(buf, "ff");
  EXPECT_STREQ(itoa(-1, buf, 16), "ffffffff");
  EXPECT_STREQ(itoa(-2147483647 - 1, buf, 10), "-2147483648");
}

struct OsLinuxTest : ::testing::Test, OsSeamFixtureBase {
  void SetUp() override { logmsg_init(0, "syssrv"); }
  void put_stat(const string& pid, const string& stat) { rec().put_file("/proc/" + pid + "/stat", stat); }
};

TEST_F(OsLinuxTest, FindPidMatchesTheCommandNameExactly) {
  EXPECT_EQ(withStdout([] { return find_pid("x"); }), std::make_pair(-1, string("could not open /proc\n")));
  const std::pair<const char*, string> stats[] = {
      {"1", "1 (init) S 0 1 1 0 -1 4194560"}, {"42", "42 (ptp4l-extra) S 1 42 42 0"}, {"57", "57 (ptp4l) S 1 57"},
      {"self", "99 (target) S"},              {"12", "12 no parentheses here"},         {"13", ""},
      {"15", "15 target) S ("},               {"300", "300 (a) b) S 1 300"},
      {"500", "500 (" + string(130, 'n') + ") S"},  // its ')' lies past 127 bytes
      {"501", "501 (" + string(15, 'm') + ") S " + string(200, '1')},
  };
  for (const auto& st : stats) put_stat(st.first, st.second);
  rec().make_dirs("/proc/14");  // ended while we looked: no stat file
  const std::pair<string, int> cases[] = {{"ptp4l", 57}, {"init", 1},    {"ptp", -1},          {"PTP4L", -1},
                                          {"", -1},      {"target", -1}, {"a) b", 300},        {string(130, 'n'), -1},
                                          {string(15, 'm'), 501}};
  for (const auto& c : cases) EXPECT_EQ(find_pid(c.first.c_str()), c.second) << c.first;
  EXPECT_EQ(find_pid(nullptr), -1);
}

TEST_F(OsLinuxTest, InterruptsRestoreWarnsAboutMisuseWithoutUnbalancingTheOwner) {
  EXPECT_EQ(interruptsOff(), 1);
  EXPECT_EQ(interruptsOff(), 2);
  interruptsRestore(2), interruptsRestore(1);
  EXPECT_EQ(device(), "") << "balanced nested pairs are quiet";
  const string self = hexWord((unsigned long)pthread_self());
  interruptsRestore(1);
  int a = interruptsOff();
  interruptsOff();
  interruptsRestore(a);  // should have been 2
  unsigned long other = 0;
  std::thread([&] {
    other = (unsigned long)pthread_self();
    interruptsRestore(1);
  }).join();
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: os: interruptsRestore called without interruptsOff curthread: " + self +
                          "\n<4>syssrv: hd[0]: os: interruptsRestore call inconsistent intsoffcount: 2 oldie: 1\n"
                          "<4>syssrv: hd[0]: os: interruptsRestore call re-entered intsoffthread: " + self +
                          " curthread: " + hexWord(other) + "\n");
  EXPECT_EQ(interruptsOff(), 2) << "the misuses must not have changed the count";
  interruptsRestore(2), interruptsRestore(1);
}

TEST_F(OsLinuxTest, InterruptsOffExcludesOtherThreads) {
  long counter = 0;  // deliberately not atomic: the lock must protect it
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      int n = interruptsOff();
      counter = counter + interruptsOff() - n;  // nested: adds 1
      interruptsRestore(n + 1);
      interruptsRestore(n);
    }
  };
  std::thread t1(work), t2(work);
  t1.join(), t2.join();
  EXPECT_EQ(counter, 40000L);
  EXPECT_EQ(device(), "");
}

}  // namespace
