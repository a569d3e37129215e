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
