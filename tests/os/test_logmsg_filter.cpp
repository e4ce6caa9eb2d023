// Show and cull filters of the log facility: effect on lines, the table
// limits and every text they print.
#include <gtest/gtest.h>

#include <string>

#include "OS/logmsg.h"
#include "tests/os/os_test_util.h"

namespace {

using std::string;

class LogmsgFilterTest : public ::testing::Test, public OsSeamFixtureBase {
 protected:
  void SetUp() override { logmsg_init(0, "syssrv"); }
};

TEST_F(LogmsgFilterTest, ShowFilterKeepsOnlyMatchingLinesThenCullDropsThem) {
  ASSERT_EQ(logmsg_showfilter_add("keep"), 0);
  loginfo(nullptr, "drop this\n");
  loginfo(nullptr, "keep this\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: keep this\n");
  ASSERT_EQ(logmsg_cullfilter_add("keep"), 0);
  loginfo(nullptr, "keep that\n");
  loginfo(nullptr, "drop that\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: keep this\n");
}

TEST_F(LogmsgFilterTest, CullFilterAloneDropsMatchingLines) {
  logmsg_cullfilter_add("noisy");
  loginfo("noisy", "a\n");
  loginfo(nullptr, "quiet\n");
  loginfo(nullptr, "very noisy\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: quiet\n");
}

TEST_F(LogmsgFilterTest, FiltersSeeThePrefixAndAreCaseSensitive) {
  logmsg_showfilter_add("<3>");
  logmsg_showfilter_add("LAN");
  logerr(nullptr, "error\n");
  loginfo(nullptr, "info\n");
  loginfo("lan", "lower case\n");
  loginfo("LAN", "upper case\n");
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: error\n<6>syssrv: hd[0]: LAN: upper case\n");
}

TEST_F(LogmsgFilterTest, DroppedPartialLineDoesNotLeakIntoNextLine) {
  logmsg_showfilter_add("zzz");
  loginfo(nullptr, "a ");
  loginfo(nullptr, "b\n");
  logmsg_showfilter_delete("*");
  loginfo(nullptr, "c\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: c\n");
}

TEST_F(LogmsgFilterTest, RemoteLinesAreFilteredToo) {
  logmsg_cullfilter_add("secret");
  logmsg_remote("a secret\n");
  logmsg_remote("public\n");
  EXPECT_EQ(device(), "public\n");
}

TEST_F(LogmsgFilterTest, EleventhFilterIsRefusedAndStarFreesAll) {
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(logmsg_showfilter_add(("s" + std::to_string(i)).c_str()), 0);
    ASSERT_EQ(logmsg_cullfilter_add(("c" + std::to_string(i)).c_str()), 0);
  }
  auto out = capture_stdout();
  int show = logmsg_showfilter_add("s10");
  int cull = logmsg_cullfilter_add("c10");
  string text = out->stop();
  EXPECT_EQ(show, -1);
  EXPECT_EQ(cull, -1);
  EXPECT_EQ(text, "\"s10\" show filter not added, table full\n\"c10\" cull filter not added, table full\n");
  EXPECT_STREQ(logmsg_showfilter_get(9), "s9");

  EXPECT_EQ(logmsg_showfilter_delete("*"), 0);
  EXPECT_EQ(logmsg_cullfilter_delete("*"), 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_STREQ(logmsg_showfilter_get(i), "");
    EXPECT_STREQ(logmsg_cullfilter_get(i), "");
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(logmsg_showfilter_add(("n" + std::to_string(i)).c_str()), 0);
  // With the tables emptied, every line is printed again.
  logmsg_showfilter_delete("*");
  loginfo(nullptr, "free\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: free\n");
}

TEST_F(LogmsgFilterTest, DeleteIgnoresCaseAndFreesFirstMatchOnly) {
  logmsg_showfilter_add("alpha");
  logmsg_showfilter_add("Beta");
  logmsg_showfilter_add("beta");
  EXPECT_EQ(logmsg_showfilter_delete("BETA"), 0);
  EXPECT_STREQ(logmsg_showfilter_get(0), "alpha");
  EXPECT_STREQ(logmsg_showfilter_get(1), "");
  EXPECT_STREQ(logmsg_showfilter_get(2), "beta");
  // The freed entry is the first free one and is reused.
  logmsg_showfilter_add("gamma");
  EXPECT_STREQ(logmsg_showfilter_get(1), "gamma");
  // Counting stays right: after deleting all three, no show filter is active.
  logmsg_showfilter_delete("alpha");
  logmsg_showfilter_delete("gamma");
  logmsg_showfilter_delete("beta");
  loginfo(nullptr, "unfiltered\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: unfiltered\n");
}

TEST_F(LogmsgFilterTest, DeleteOfUnknownTextSaysSoAndReturnsZero) {
  logmsg_cullfilter_add("x");
  auto out = capture_stdout();
  int a = logmsg_showfilter_delete("nope");
  int b = logmsg_cullfilter_delete("y");
  string text = out->stop();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(text, "\"nope\" show filter not found\n\"y\" cull filter not found\n");
  EXPECT_STREQ(logmsg_cullfilter_get(0), "x");
}

TEST_F(LogmsgFilterTest, LongTextIsCutTo369AndCanBeDeletedAsGiven) {
  string longtext(500, 'L');
  ASSERT_EQ(logmsg_cullfilter_add(longtext.c_str()), 0);
  EXPECT_EQ(string(logmsg_cullfilter_get(0)), string(369, 'L'));
  auto out = capture_stdout();
  logmsg_cullfilter_delete(longtext.c_str());
  EXPECT_EQ(out->stop(), "");
  EXPECT_STREQ(logmsg_cullfilter_get(0), "");
}

TEST_F(LogmsgFilterTest, GetOutsideTableGivesEmptyText) {
  logmsg_showfilter_add("a");
  EXPECT_STREQ(logmsg_showfilter_get(0), "a");
  EXPECT_STREQ(logmsg_showfilter_get(10), "");
  EXPECT_STREQ(logmsg_showfilter_get(-1), "");
  EXPECT_STREQ(logmsg_cullfilter_get(1000), "");
}

TEST_F(LogmsgFilterTest, DumpListsNonEmptyEntries) {
  logmsg_showfilter_add("one");
  logmsg_showfilter_add("two");
  logmsg_showfilter_delete("one");
  logmsg_cullfilter_add("with \"quote\"");
  auto out = capture_stdout();
  EXPECT_EQ(logmsg_showfilter_dump(), 0);
  EXPECT_EQ(logmsg_cullfilter_dump(), 0);
  string text = out->stop();
  EXPECT_EQ(text, "show filters:\n  \"two\"\ncull filters:\n  \"with \"quote\"\"\n");
}

TEST_F(LogmsgFilterTest, EmptyOrNullTextIsRefused) {
  EXPECT_EQ(logmsg_showfilter_add(""), -1);
  EXPECT_EQ(logmsg_cullfilter_add(nullptr), -1);
  EXPECT_EQ(logmsg_showfilter_delete(nullptr), 0);
  loginfo(nullptr, "passes\n");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: passes\n");
}

TEST_F(LogmsgFilterTest, HostileTextsAreStoredVerbatim) {
  const char* texts[] = {"a\nb", "it's", "x;y", "`cmd`", "%s%n"};
  for (const char* t : texts) ASSERT_EQ(logmsg_cullfilter_add(t), 0);
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(logmsg_cullfilter_get(i), texts[i]);
  loginfo(nullptr, "%s\n", "run `cmd` now");
  loginfo(nullptr, "%s\n", "fine");
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: fine\n");
}

}  // namespace
