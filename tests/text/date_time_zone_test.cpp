// UTC and local time in a zone with daylight-saving time; CTest runs it
// with TZ=Europe/Berlin.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pal/date_time.h"
#include "support/make_tm.h"

namespace {

using namespace Halvex::Tessaran::PAL;

using kvpal::test::makeTm;

struct Instant {
  tm utc;
  long long seconds;
  int localHour;
  int localMinute;
  int localDay;
  int isdst;
};

// Both halves of the year and both sides of each change (2026-03-29 01:00
// and 2026-10-25 01:00 UTC), whatever half of the year the test runs in.
const Instant kInstants[] = {
    {makeTm(2026, 1, 15, 12, 0, 0), 1768478400, 13, 0, 15, 0},
    {makeTm(2026, 7, 15, 12, 0, 0), 1784116800, 14, 0, 15, 1},
    {makeTm(2026, 3, 29, 0, 59, 59), 1774745999, 1, 59, 29, 0},
    {makeTm(2026, 3, 29, 1, 0, 0), 1774746000, 3, 0, 29, 1},
    {makeTm(2026, 10, 25, 0, 59, 59), 1792889999, 2, 59, 25, 1},
    {makeTm(2026, 10, 25, 1, 0, 0), 1792890000, 2, 0, 25, 0},
    {makeTm(2026, 12, 31, 23, 30, 0, 1), 1798759800, 0, 30, 1, 0},  // a stray DST flag changes nothing
};

TEST(TimeZones, UtcToSecondsAndLocalAcrossDaylightSaving) {
  ASSERT_STREQ(std::getenv("TZ"), "Europe/Berlin");
  for (const Instant& i : kInstants) {
    EXPECT_EQ(DateTime::convertUTCtmTotime_t(i.utc), i.seconds) << i.seconds;
    tm local = DateTime::convertUTCToLocal(i.utc);
    EXPECT_EQ(local.tm_hour, i.localHour) << i.seconds;
    EXPECT_EQ(local.tm_min, i.localMinute) << i.seconds;
    EXPECT_EQ(local.tm_mday, i.localDay) << i.seconds;
    EXPECT_EQ(local.tm_isdst, i.isdst) << i.seconds;
  }
}

TEST(TimeZones, LocalToUtc) {
  struct Case {
    tm local;
    int utcHour;
    int utcDay;
  };
  const Case kCases[] = {
      {makeTm(2026, 1, 15, 13, 0, 0), 12, 15},
      {makeTm(2026, 7, 15, 14, 0, 0), 12, 15},
      {makeTm(2026, 1, 1, 0, 30, 0), 23, 31},
  };
  for (const Case& c : kCases) {
    tm utc = DateTime::convertLocalToUTC(c.local);
    EXPECT_EQ(utc.tm_hour, c.utcHour);
    EXPECT_EQ(utc.tm_mday, c.utcDay);
    EXPECT_EQ(utc.tm_isdst, 0);
  }
}

TEST(TimeZones, LocalTimeNow) {
  SYSTEMTIME now = DateTime::getLocalTime();
  EXPECT_GE(now.wYear, 2024);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  EXPECT_EQ(now.wMilliseconds, 0);
}

}  // namespace
