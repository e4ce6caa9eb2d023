// Both builds use a 64-bit time_t (see cmake/toolchain-armhf.cmake), so the
// C library must turn seconds after January 2038 into dates and back
// unchanged, also on the 32-bit board.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

TEST(ArchTime, GmtimeAndTimegmRoundTripPast2038) {
  // Either side of the signed 32-bit limit, and past the unsigned one.
  const std::pair<std::int64_t, const char*> cases[] = {
      {2147483647LL, "2038-01-19 03:14:07 Tue"},
      {2147483648LL, "2038-01-19 03:14:08 Tue"},
      {2214131696LL, "2040-02-29 12:34:56 Wed"},
      {4294967296LL, "2106-02-07 06:28:16 Sun"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    const time_t t = static_cast<time_t>(c.first);
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    char buf[32];
    ASSERT_GT(std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %a", &tm), 0u);
    EXPECT_STREQ(buf, c.second);
    EXPECT_EQ(static_cast<std::int64_t>(timegm(&tm)), c.first);
  }
}

}  // namespace
