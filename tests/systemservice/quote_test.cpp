// Values on their way into a shell command line, a file line or a log line.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "systemservice/syssrvQuote.h"
#include "tests/OS/os_test_util.h"

using std::string;

// The recorder seam with the log facility started on it.
struct QuoteTest : ::testing::Test, OsSeamFixtureBase {
  void SetUp() override { ASSERT_EQ(logmsg_init(0, "syssrv"), 0); }
};

// /bin/sh must see each value as one word with exactly its bytes, alone or
// between double quotes; an ordinary value keeps the daemon's usual text.
TEST_F(QuoteTest, TheShellSeesOneWordWithTheSameBytes) {
  EXPECT_EQ(shell_word("u@h:/a_b-c.d,e+f=g%") + shell_word("-rf") + shell_word("") + shell_word("it's") +
                shell_word(string("a\0;b", 4)),
            "u@h:/a_b-c.d,e+f=g%-rf'''it'\\''s'a");
  std::vector<string> values = {"", "it's", "`id`$(id)", "\"\\", "*.c ?[a]", "a\r\nb", "${IFS}", "\\\n", "--"};
  for (int c = 1; c < 256; ++c) values.insert(values.end(), {string(1, char(c)), "a" + string(1, char(c)) + "b"});
  std::mt19937 gen(20240611);  // fixed seed: the same values on every run
  for (int i = 0; i < 300; ++i) {
    values.emplace_back(gen() % 13, ' ');
    for (char& c : values.back()) c = static_cast<char>(1 + gen() % 255);
  }
  for (bool dq : {false, true}) {
    string cmd = "printf '%s\\000'", out, want;
    for (const string& v : values) cmd += dq ? " \"" + shell_dquoted(v) + "\"" : " " + shell_word(v);
    for (const string& v : values) want += v + '\0';
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    for (int c; (c = fgetc(p)) != EOF;) out += static_cast<char>(c);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, want) << (dq ? "between double quotes" : "as a word");
  }
}

TEST_F(QuoteTest, FileLogAndNumberValues) {
  struct Row { string value, fileText, logText; };
  const Row rows[] = {
      {"a;`x` 'y'", "a;`x` 'y'", "a;`x` 'y'"}, {"a\r\nb\n", "ab", "a\\r\\nb\\n"}, {string("a\0b", 3), "ab", "a"}};
  for (const auto& r : rows) {
    EXPECT_EQ(file_value_ok("banner", r.value), r.fileText == r.value) << log_text(r.value);
    EXPECT_EQ(file_text("banner", r.value), r.fileText);
    EXPECT_EQ(log_text(r.value).c_str(), r.logText);
  }
  const string acted = "<4>syssrv: hd[0]: banner: value refused, it holds a line break\n"
                       "<4>syssrv: hd[0]: banner: line breaks removed from the value\n";
  EXPECT_EQ(device(), acted + acted) << "one line each time, never the value";
  logmsg_testing_reset();
  sysio_install(nullptr);
  EXPECT_EQ(log_value("a.dot1x.password", "s") + log_value("b.sipPassword", "s") + log_value("c.challenge", "s") +
                log_value("system.network.hostname", "a\nb"),
            "************************a\\nb");
  string out = "untouched";
  for (const char* t : {"16", "-1", "", "-", "1;reboot", " 1", "+1", "0x1", "1e1", "99999999999999999999"}) {
    EXPECT_FALSE(decimal_text(t, 0, 15, &out)) << t;
  }
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(decimal_text("007", 0, 15, &out));
  EXPECT_EQ(out, "7");
}
