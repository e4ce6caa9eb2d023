// Both builds use a 64-bit time_t (see cmake/toolchain-armhf.cmake), so the
// time the daemon sets and the RTC record it writes must carry dates after
// January 2038 unchanged.
#include <linux/rtc.h>

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

static_assert(sizeof(time_t) == 8, "both builds use a 64-bit time_t");

struct UtcCase {
  std::int64_t secs;
  int year, mon, mday, hour, min, sec, wday, yday;
  const char* text;
};

// 2^31 - 1 and 2^31 sit either side of the 32-bit limit; 2^32 is past the
// limit of an unsigned 32-bit count as well.
const UtcCase kCases[] = {
    {2147483647LL, 2038, 1, 19, 3, 14, 7, 2, 18, "2038-01-19 03:14:07"},
    {2147483648LL, 2038, 1, 19, 3, 14, 8, 2, 18, "2038-01-19 03:14:08"},
    {2214131696LL, 2040, 2, 29, 12, 34, 56, 3, 59, "2040-02-29 12:34:56"},
    {4102444800LL, 2100, 1, 1, 0, 0, 0, 5, 0, "2100-01-01 00:00:00"},
    {4294967296LL, 2106, 2, 7, 6, 28, 16, 0, 37, "2106-02-07 06:28:16"},
};

TEST(ArchTime, TimeTHoldsSecondsPast2038) {
  EXPECT_GE(static_cast<std::int64_t>(std::numeric_limits<time_t>::max()), 4294967296LL);
  const time_t t = static_cast<time_t>(2147483648LL);
  EXPECT_GT(t, static_cast<time_t>(2147483647LL));
}

TEST(ArchTime, GmtimeAndTimegmRoundTripPast2038) {
  for (const UtcCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const time_t t = static_cast<time_t>(c.secs);
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year + 1900, c.year);
    EXPECT_EQ(tm.tm_mon + 1, c.mon);
    EXPECT_EQ(tm.tm_mday, c.mday);
    EXPECT_EQ(tm.tm_hour, c.hour);
    EXPECT_EQ(tm.tm_min, c.min);
    EXPECT_EQ(tm.tm_sec, c.sec);
    EXPECT_EQ(tm.tm_wday, c.wday);
    EXPECT_EQ(tm.tm_yday, c.yday);
    char buf[32];
    ASSERT_GT(std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm), 0u);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(static_cast<std::int64_t>(timegm(&tm)), c.secs);
  }
}

TEST(ArchTime, RtcRecordCarriesDatesPast2038) {
  // The way a set time reaches the hardware clock: UTC breakdown, copied
  // field by field into the driver's record, and read back the same way.
  for (const UtcCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const time_t t = static_cast<time_t>(c.secs);
    struct tm tm;
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    struct rtc_time rtc;
    std::memset(&rtc, 0, sizeof rtc);
    rtc.tm_sec = tm.tm_sec;
    rtc.tm_min = tm.tm_min;
    rtc.tm_hour = tm.tm_hour;
    rtc.tm_mday = tm.tm_mday;
    rtc.tm_mon = tm.tm_mon;
    rtc.tm_year = tm.tm_year;
    EXPECT_EQ(rtc.tm_year, c.year - 1900);
    struct tm back;
    std::memset(&back, 0, sizeof back);
    back.tm_sec = rtc.tm_sec;
    back.tm_min = rtc.tm_min;
    back.tm_hour = rtc.tm_hour;
    back.tm_mday = rtc.tm_mday;
    back.tm_mon = rtc.tm_mon;
    back.tm_year = rtc.tm_year;
    EXPECT_EQ(static_cast<std::int64_t>(timegm(&back)), c.secs);
  }
}

TEST(ArchTime, PrintsPast2038WithoutTruncation) {
  // "%ld" would not compile for time_t on the 32-bit build; intmax_t is the
  // portable way to print it.
  char buf[32];
  const time_t t = static_cast<time_t>(2214131696LL);
  std::snprintf(buf, sizeof buf, "%jd", static_cast<intmax_t>(t));
  EXPECT_STREQ(buf, "2214131696");
}

}  // namespace
