// Time texts the media server sends: running times as time spans
// ("[d.]hh:mm:ss[.fff]", or plain seconds) and time stamps as ISO-like
// date-times ("2024-01-15T10:20:30.5+02:00").
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "ingest/ingest.h"

namespace kavo {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// strtoll in base 10; `*ok` tells whether any character was consumed.
long long read_ll(const char* p, const char** end, bool* ok) {
  char* e = nullptr;
  int saved = errno;
  long long v = std::strtoll(p, &e, 10);
  errno = saved;
  *ok = e != p;
  *end = e;
  return v;
}

// strtol with a 32-bit result, saturating at the 32-bit limits.
int32_t read_i32(const char* p, const char** end, bool* ok) {
  long long v = read_ll(p, end, ok);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Days from 1970-01-01 to the first day of `month` in `year` (Gregorian).
int64_t days_to_month(int64_t year, int64_t month) {
  // Count years from March so the leap day falls at the end of a year.
  if (month <= 2) year -= 1;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yoe = year - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

double parse_timespan_s(const char* text) noexcept {
  if (text == nullptr || text[0] == '\0') return -1.0;
  bool ok = false;
  const char* p = nullptr;
  long long n = read_ll(text, &p, &ok);
  if (!ok) {
    n = 0;
    p = text;
  }
  if (*p != '.' && *p != ':') return static_cast<double>(n);

  long long days = 0;
  long long hours = n;
  if (*p == '.') {
    days = n;
    hours = read_ll(p + 1, &p, &ok);
    if (!ok) return -1.0;
  }
  // Sums in double: huge fields saturate in strtoll and must not overflow.
  double whole = static_cast<double>(days) * 86400.0 + static_cast<double>(hours) * 3600.0;
  if (*p != ':') return whole;

  long long minutes = read_ll(p + 1, &p, &ok);
  if (!ok) return -1.0;
  whole += static_cast<double>(minutes) * 60.0;
  if (*p != ':') return whole;

  long long seconds = read_ll(p + 1, &p, &ok);
  if (!ok) return -1.0;
  whole += static_cast<double>(seconds);

  double fraction = 0.0;
  if (p[0] == '.' && is_digit(p[1])) {
    // Digits beyond the fifteenth change nothing a double can hold.
    uint64_t num = 0;
    uint64_t den = 1;
    for (const char* q = p + 1; is_digit(*q); ++q) {
      if (den < 1000000000000000ULL) {
        num = num * 10 + static_cast<uint64_t>(*q - '0');
        den *= 10;
      }
    }
    fraction = static_cast<double>(num) / static_cast<double>(den);
  }
  return whole + fraction;
}

int64_t parse_datetime_ms(const char* text) noexcept {
  if (text == nullptr || text[0] == '\0') return -1;
  bool ok = false;
  const char* p = nullptr;

  int32_t year = read_i32(text, &p, &ok);
  if (!ok) return -1;
  if (*p == '-' || *p == 'T') ++p;
  int32_t month = read_i32(p, &p, &ok);
  if (!ok) return -1;
  if (*p == '-' || *p == 'T') ++p;
  int32_t day = read_i32(p, &p, &ok);
  if (!ok) return -1;

  int32_t hour = 0, minute = 0, second = 0;
  if (*p == 'T' || *p == 't') {
    hour = read_i32(p + 1, &p, &ok);
    if (!ok) hour = 0;
    if (*p == ':') {
      minute = read_i32(p + 1, &p, &ok);
      if (!ok) minute = 0;
      if (*p == ':') {
        second = read_i32(p + 1, &p, &ok);
        if (!ok) second = 0;
      }
    }
    // Fractional seconds are not counted, but the zone after them is read.
    if (p[0] == '.' && is_digit(p[1])) {
      ++p;
      while (is_digit(*p)) ++p;
    }
  }

  int64_t sign = 0;
  int32_t off_h = 0, off_m = 0;
  if (*p == '+' || *p == '-') {
    sign = *p == '+' ? 1 : -1;
    off_h = read_i32(p + 1, &p, &ok);
    if (!ok) off_h = 0;
    if (*p == ':') {
      off_m = read_i32(p + 1, &p, &ok);
      if (!ok) off_m = 0;
    }
  }

  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return -1;

  // Every field is within 32 bits, so these 64-bit sums cannot overflow.
  int64_t days = days_to_month(year, month) + (day - 1);
  int64_t ms = days * 86400000LL + static_cast<int64_t>(hour) * 3600000LL +
               static_cast<int64_t>(minute) * 60000LL + static_cast<int64_t>(second) * 1000LL;
  ms -= sign * (static_cast<int64_t>(off_h) * 3600000LL + static_cast<int64_t>(off_m) * 60000LL);
  return ms;
}

}  // namespace kavo
