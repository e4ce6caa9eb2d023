// Bounded copies, trimming, case conversion and integer formatting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OS/oslinux.h"

namespace {

TEST(StrlcpyTest, CutsToBufferAndReturnsSourceLength) {
  char buf[8];
  EXPECT_EQ(strlcpy(buf, "abcdefghij", sizeof buf), 10u);
  EXPECT_STREQ(buf, "abcdefg");
}

TEST(StrlcpyTest, ExactFitAndShortSource) {
  char buf[4];
  EXPECT_EQ(strlcpy(buf, "abc", sizeof buf), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(strlcpy(buf, "", sizeof buf), 0u);
  EXPECT_STREQ(buf, "");
}

TEST(StrlcpyTest, SizeZeroWritesNothing) {
  char buf[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(strlcpy(buf, "hello", 0), 5u);
  EXPECT_STREQ(buf, "xyz");
}

TEST(StrlcpyTest, SizeOneStoresEmptyText) {
  char buf[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(strlcpy(buf, "hello", 1), 5u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(buf[1], 'y');
}

TEST(StrlcatTest, AppendsAndReturnsIntendedLength) {
  char buf[16] = "abc";
  EXPECT_EQ(strlcat(buf, "def", sizeof buf), 6u);
  EXPECT_STREQ(buf, "abcdef");
}

TEST(StrlcatTest, CutsToBuffer) {
  char buf[8] = "abcd";
  EXPECT_EQ(strlcat(buf, "efghij", sizeof buf), 10u);
  EXPECT_STREQ(buf, "abcdefg");
}

TEST(StrlcatTest, FullBufferAppendsNothing) {
  char buf[4] = "abc";
  EXPECT_EQ(strlcat(buf, "de", sizeof buf), 5u);
  EXPECT_STREQ(buf, "abc");
}

TEST(StrlcatTest, UnterminatedDestinationCountsAsSize) {
  char buf[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  EXPECT_EQ(strlcat(buf, "xy", 4), 6u);  // 4 (no terminator within size) + 2
  EXPECT_EQ(std::string(buf, 6), "abcdef");
  EXPECT_EQ(strlcat(buf, "xy", 0), 2u);
  EXPECT_EQ(std::string(buf, 6), "abcdef");
}

TEST(StrlcpySubstrTest, SixLettersBufferFourSubFive) {
  char buf[4];
  EXPECT_EQ(strlcpy_substr(buf, "abcdef", sizeof buf, 5), 5u);
  EXPECT_STREQ(buf, "abc");
}

TEST(StrlcpySubstrTest, SubLengthShorterThanBuffer) {
  char buf[16];
  EXPECT_EQ(strlcpy_substr(buf, "abcdef", sizeof buf, 2), 2u);
  EXPECT_STREQ(buf, "ab");
}

TEST(StrlcpySubstrTest, StopsAtEndOfSource) {
  char buf[16];
  EXPECT_EQ(strlcpy_substr(buf, "abc", sizeof buf, 10), 3u);
  EXPECT_STREQ(buf, "abc");
}

TEST(StrlcpySubstrTest, ZeroSubLengthAndZeroBuffer) {
  char buf[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(strlcpy_substr(buf, "abc", sizeof buf, 0), 0u);
  EXPECT_STREQ(buf, "");
  char keep[4] = {'x', 'y', 'z', '\0'};
  EXPECT_EQ(strlcpy_substr(keep, "abc", 0, 2), 2u);
  EXPECT_STREQ(keep, "xyz");
}

TEST(StrlcpySubstrTest, SourceWithoutTerminatorBeyondSubLength) {
  // Only srcSubLen bytes of the source may be looked at.
  const char src[3] = {'a', 'b', 'c'};
  char buf[8];
  EXPECT_EQ(strlcpy_substr(buf, src, sizeof buf, 3), 3u);
  EXPECT_STREQ(buf, "abc");
}

TEST(TrimTest, TrimStrBothEnds) {
  char s[] = "  x  ";
  EXPECT_EQ(trim_str(s), s);
  EXPECT_STREQ(s, "x");
}

TEST(TrimTest, OnlyBlanksBecomeEmpty) {
  char s[] = "   ";
  EXPECT_STREQ(trim_str(s), "");
  char t[] = " \t\r\n";
  EXPECT_STREQ(trim_leading(t), "");
  char u[] = "\n\n";
  EXPECT_STREQ(trim_trailing(u), "");
}

TEST(TrimTest, ControlCharactersCountAsBlanks) {
  char s[] = "\t\x01 a b \r\n\x1f";
  EXPECT_STREQ(trim_str(s), "a b");
}

TEST(TrimTest, LeadingAndTrailingSeparately) {
  char a[] = "  a b  ";
  EXPECT_STREQ(trim_leading(a), "a b  ");
  char b[] = "  a b  ";
  EXPECT_STREQ(trim_trailing(b), "  a b");
  char e[] = "";
  EXPECT_STREQ(trim_str(e), "");
}

TEST(TrimTest, CharactersAbove127AreKept) {
  char s[] = " \xc3\xa9 ";
  EXPECT_STREQ(trim_str(s), "\xc3\xa9");
}

TEST(CaseTest, UpperLowerInPlace) {
  char s[] = "Mixed Case 1-z";
  EXPECT_EQ(strupr(s), s);
  EXPECT_STREQ(s, "MIXED CASE 1-Z");
  EXPECT_EQ(strlwr(s), s);
  EXPECT_STREQ(s, "mixed case 1-z");
}

TEST(CaseTest, StricmpIgnoresCase) {
  EXPECT_EQ(stricmp("Hello", "hELLO"), 0);
  EXPECT_LT(stricmp("abc", "ABD"), 0);
  EXPECT_GT(stricmp("b", "A"), 0);
}

TEST(ItoaTest, DecimalAndHex) {
  char buf[16];
  EXPECT_EQ(itoa(255, buf, 16), buf);
  EXPECT_STREQ(buf, "ff");
  EXPECT_STREQ(itoa(-42, buf, 10), "-42");
  EXPECT_STREQ(itoa(0, buf, 10), "0");
  EXPECT_STREQ(itoa(-1, buf, 16), "ffffffff");
  EXPECT_STREQ(itoa(-2147483647 - 1, buf, 10), "-2147483648");
}

TEST(ItoaTest, OtherRadixReturnsNullAndLeavesBuffer) {
  char buf[16] = "keep";
  EXPECT_EQ(itoa(255, buf, 8), nullptr);
  EXPECT_EQ(itoa(255, buf, 2), nullptr);
  EXPECT_EQ(itoa(255, buf, 0), nullptr);
  EXPECT_STREQ(buf, "keep");
}

}  // namespace
