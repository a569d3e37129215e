// Time-span and date-time texts of the media server.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "ingest/ingest.h"

using kavo::parse_datetime_ms;
using kavo::parse_timespan_s;

TEST(TimeSpan, DaysHoursMinutesSecondsAndFraction) {
  EXPECT_DOUBLE_EQ(parse_timespan_s("1.02:03:04.5"), 93784.5);
  EXPECT_DOUBLE_EQ(parse_timespan_s("1.02"), 93600.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("02:03"), 7380.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("01:30:00"), 5400.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("00:00:01.25"), 1.25);
  EXPECT_DOUBLE_EQ(parse_timespan_s("00:00:07.x"), 7.0);  // a "." without digits adds nothing
}

TEST(TimeSpan, PlainSecondsAndTextWithoutDigits) {
  EXPECT_DOUBLE_EQ(parse_timespan_s("5400"), 5400.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s(" 5400 min"), 5400.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("abc"), 0.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("-30"), -30.0);
}

TEST(TimeSpan, MissingDigitsAfterASeparatorAndAbsentText) {
  EXPECT_DOUBLE_EQ(parse_timespan_s("1.02:x"), -1.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("1."), -1.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("01:02:"), -1.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s(""), -1.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s(nullptr), -1.0);
}

TEST(TimeSpan, HugeNumbersStayFinite) {
  double v = parse_timespan_s("99999999999999999999999.99999999999999999999:99999999999999999999:"
                              "99999999999999999999.999999999999999999999999");
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_GT(v, 0.0);
}

TEST(DateTime, UtcOffsetsAndDates) {
  EXPECT_EQ(parse_datetime_ms("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30Z"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T12:20:30+02:00"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T05:20:30-05:00"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15t10:20:30z"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15"), 1705276800000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10"), 1705276800000LL + 36000000LL);
  EXPECT_EQ(parse_datetime_ms("2000-03-01"), 951868800000LL);  // after a 400-year leap day
}

TEST(DateTime, FractionalSecondsAreSkippedButTheZoneIsRead) {
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30.5+02:00"), 1705306830000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T12:20:30.5+02:00"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30.123456Z"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30.999"), 1705314030000LL);
}

TEST(DateTime, OutOfRangeDatesAndMissingParts) {
  EXPECT_EQ(parse_datetime_ms("1969-12-31"), -1);
  EXPECT_EQ(parse_datetime_ms("10000-01-01"), -1);
  EXPECT_EQ(parse_datetime_ms("2024-13-01"), -1);
  EXPECT_EQ(parse_datetime_ms("2024-00-01"), -1);
  EXPECT_EQ(parse_datetime_ms("2024-01-32"), -1);
  EXPECT_EQ(parse_datetime_ms("2024-01"), -1);
  EXPECT_EQ(parse_datetime_ms("abc"), -1);
  EXPECT_EQ(parse_datetime_ms(""), -1);
  EXPECT_EQ(parse_datetime_ms(nullptr), -1);
}

TEST(DateTime, DayOverflowRunsIntoTheNextMonth) {
  EXPECT_EQ(parse_datetime_ms("2023-02-31"), parse_datetime_ms("2023-03-03"));
  EXPECT_EQ(parse_datetime_ms("2024-02-30"), parse_datetime_ms("2024-03-01"));
}

TEST(DateTime, AbsurdFieldsDoNotOverflow) {
  int64_t huge = parse_datetime_ms("9999-12-31T99999999999999:99999999999:9999999999999-99999999999:9999999999");
  int64_t expect = parse_datetime_ms("9999-12-31") + int64_t{INT32_MAX} * 3600000LL +
                   int64_t{INT32_MAX} * 60000LL + int64_t{INT32_MAX} * 1000LL +
                   int64_t{INT32_MAX} * 3600000LL + int64_t{INT32_MAX} * 60000LL;
  EXPECT_EQ(huge, expect);
  EXPECT_LT(parse_datetime_ms("1970-01-01T-99999999999999"), 0);
}

TEST(TimeSpan, SignsSeparatorsAndWhatFollowsTheLastField) {
  EXPECT_DOUBLE_EQ(parse_timespan_s(".5"), 18000.0);      // no days written: 0 days, 5 hours
  EXPECT_DOUBLE_EQ(parse_timespan_s("+7:30"), 27000.0);   // the sign strtoll accepts
  EXPECT_DOUBLE_EQ(parse_timespan_s(" 1:00"), 3600.0);    // leading white space
  EXPECT_DOUBLE_EQ(parse_timespan_s("-1.02"), -79200.0);  // negative days, positive hours
  EXPECT_DOUBLE_EQ(parse_timespan_s("1.2:3:4:5"), 93784.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("1:2:3.05"), 3723.05);
  EXPECT_DOUBLE_EQ(parse_timespan_s("1.02:03:04.5abc"), 93784.5);
  EXPECT_DOUBLE_EQ(parse_timespan_s("00:00:02.500000000000000000001"), 2.5);
  EXPECT_DOUBLE_EQ(parse_timespan_s("12:"), -1.0);
  // Without leading digits the first character decides: a separator starts
  // the fields with 0, anything else gives 0 seconds.
  EXPECT_DOUBLE_EQ(parse_timespan_s(":05"), 300.0);
  EXPECT_DOUBLE_EQ(parse_timespan_s("x:05"), 0.0);
}

TEST(DateTime, SeparatorsZonesAndFieldsThatRunOn) {
  const int64_t day = 1705276800000LL;  // 2024-01-15T00:00:00Z
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20"), 1705314000000LL);
  EXPECT_EQ(parse_datetime_ms("2024-1-5"), 1704412800000LL);
  EXPECT_EQ(parse_datetime_ms("2024T01T15"), day);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T"), day);
  // Without a "T" the time is not read, but what follows the day is the zone.
  EXPECT_EQ(parse_datetime_ms("2024-01-15 10:20:30"), day);
  EXPECT_EQ(parse_datetime_ms("2024-01-15+02:00"), day - 7200000LL);
  // Offsets: hours as written (no "hhmm" form), minutes only after ":".
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30+0530"), 1705314030000LL - 530LL * 3600000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30-05"), 1705314030000LL + 5LL * 3600000LL);
  EXPECT_EQ(parse_datetime_ms("2024-01-15T10:20:30 +02:00"), 1705314030000LL);
  EXPECT_EQ(parse_datetime_ms("1970-01-01T00:00:00+01:00"), -3600000LL);
  // Time fields have no range limits; the date has.
  EXPECT_EQ(parse_datetime_ms("2024-01-15T25:61:61Z"), day + 90000000LL + 3660000LL + 61000LL);
  EXPECT_EQ(parse_datetime_ms("9999-12-31"), 253402214400000LL);
  EXPECT_EQ(parse_datetime_ms("2024-02-29"), 1709164800000LL);
  EXPECT_EQ(parse_datetime_ms("-2024-01-15"), -1);
  EXPECT_EQ(parse_datetime_ms("2024--01-15"), -1);
  EXPECT_EQ(parse_datetime_ms("1705314030000"), -1);  // a bare number has no month
}
