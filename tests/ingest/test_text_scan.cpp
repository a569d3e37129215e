// The scan that finds where a value of the inputs text ends, against a plain
// byte-by-byte walk, on random texts: strings long and short, escapes, every
// bracket, values cut short, and texts that run past the stretches the
// length is measured in.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "ingest/text_scan.h"

namespace {

using kavo::TextLength;

// The reference: one byte at a time, asking for the length at each.
std::size_t bytewise_end(const char* text, TextLength& len, std::size_t pos) {
  std::size_t depth = 0;
  bool in_string = false;
  for (std::size_t i = pos; len.beyond(i); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
        if (depth == 0) return i + 1;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth == 0) return i;
      if (--depth == 0) return i + 1;
    } else if (depth == 0 && (c == ',' || kavo::json_space(c))) {
      return i;
    }
  }
  return len.whole();
}

struct Random {
  uint32_t seed;
  uint32_t next() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; }
};

// Mostly JSON-like text with runs of string bytes of every length.
std::string random_text(Random& r, std::size_t size) {
  static const char kBytes[] = "\"\\{}[],: \n\tax1.-\x80";
  std::string text;
  while (text.size() < size) {
    if (r.next() % 4 == 0) {
      text.append(r.next() % 40, static_cast<char>('a' + r.next() % 26));
    } else {
      text += kBytes[r.next() % (sizeof kBytes - 1)];
    }
  }
  text.resize(size);
  return text;
}

TEST(TextScan, ValueEndsAsTheByteWalkFindsThem) {
  Random r{2024};
  for (int round = 0; round < 4000; ++round) {
    const std::string text = random_text(r, 1 + r.next() % 300);
    for (int k = 0; k < 4; ++k) {
      const std::size_t pos = r.next() % text.size();
      TextLength a(text.c_str()), b(text.c_str());
      ASSERT_EQ(kavo::value_end(text.c_str(), a, pos), bytewise_end(text.c_str(), b, pos))
          << "round " << round << " at " << pos << ": " << text;
    }
  }
}

TEST(TextScan, ValueEndsPastTheMeasuredStretches) {
  // Values of several hundred kilobytes: strings and escapes fall on every
  // side of the stretch boundaries, where the scan asks for more text.
  Random r{77};
  for (int round = 0; round < 6; ++round) {
    std::string text = "[";
    while (text.size() < (700u << 10)) {
      text += "{\"k\":\"" + std::string(r.next() % 3000, 'v');
      if (r.next() % 2) text += "\\\"";
      text += "\"},";
    }
    text.back() = ']';
    if (round % 2) text.resize(text.size() - 1 - r.next() % 5000);  // cut short
    for (std::size_t pos : {std::size_t{0}, std::size_t{1}, static_cast<std::size_t>(r.next()) % text.size()}) {
      TextLength a(text.c_str()), b(text.c_str());
      EXPECT_EQ(kavo::value_end(text.c_str(), a, pos), bytewise_end(text.c_str(), b, pos)) << round << " " << pos;
    }
  }
}

TEST(TextScan, QuoteOrBackslashIsTheFirstOfEither) {
  Random r{5};
  for (int round = 0; round < 2000; ++round) {
    const std::string text = random_text(r, 1 + r.next() % 100);
    const std::size_t from = r.next() % text.size();
    const std::size_t end = from + r.next() % (text.size() - from + 1);
    std::size_t want = from;
    while (want < end && text[want] != '"' && text[want] != '\\') ++want;
    ASSERT_EQ(kavo::quote_or_backslash(text.c_str(), from, end), want) << text;
  }
}

}  // namespace
