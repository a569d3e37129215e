// Scanning the host's inputs text ahead of the parser: its length, measured
// as the reading goes, and where a JSON value ends.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ingest/readers.h"

namespace kavo {

// The length of the host's NUL-terminated text, found a stretch at a time as
// the reading goes: each stretch is measured just before the window copies
// it, so that the text comes from memory once rather than twice, as a
// strlen of the whole text first would have it.
class TextLength {
 public:
  explicit TextLength(const char* text) noexcept : text_(text) {}

  // Whether the text goes on past position `i`: a byte there is no NUL.
  bool beyond(std::size_t i) noexcept {
    if (i < known_) return true;
    measure_past(i);
    return i < known_;
  }
  // How far the text is known to go on: no byte before this is its NUL.
  std::size_t known() const noexcept { return known_; }
  // The length when the text ends at or before `i`, else some length past
  // `i`.
  std::size_t past(std::size_t i) noexcept {
    measure_past(i);
    return known_;
  }
  std::size_t whole() noexcept { return past(SIZE_MAX - 1); }
  // Whether past() and whole() answer the length itself.
  bool ended() const noexcept { return ended_; }

 private:
  void measure_past(std::size_t i) noexcept {
    while (!ended_ && known_ <= i) {
      const std::size_t n = strnlen(text_ + known_, kStretch);
      known_ += n;
      ended_ = n < kStretch;
    }
  }
  static constexpr std::size_t kStretch = 256u << 10;
  const char* text_;
  std::size_t known_ = 0;
  bool ended_ = false;
};

// The first position from `i` on, before `end`, of a quote or a backslash;
// `end` when there is none. Eight bytes at a time: the text of a string is
// mostly neither.
inline std::size_t quote_or_backslash(const char* text, std::size_t i, std::size_t end) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    for (; i + 8 <= end; i += 8) {
      uint64_t x;
      std::memcpy(&x, text + i, 8);
      const uint64_t q = x ^ (kOnes * '"');
      const uint64_t b = x ^ (kOnes * '\\');
      // The lowest flagged byte is the first zero byte of q or b.
      const uint64_t hit = (((q - kOnes) & ~q) | ((b - kOnes) & ~b)) & kHighs;
      if (hit != 0) return i + static_cast<std::size_t>(std::countr_zero(hit) >> 3);
    }
  }
  while (i < end && text[i] != '"' && text[i] != '\\') ++i;
  return i;
}

// Where the JSON value starting at text[pos] ends, as far as brackets and
// strings tell; nothing else is checked. For valid JSON this is the exact
// end; for anything else some end that the strict parse of the span rejects.
// An escape skips the byte after the backslash unread.
inline std::size_t value_end(const char* text, TextLength& len, std::size_t pos) {
  std::size_t depth = 0;
  bool in_string = false;
  std::size_t i = pos;
  while (len.beyond(i)) {
    const std::size_t known = len.known();
    while (i < known) {
      if (in_string) {
        i = quote_or_backslash(text, i, known);
        if (i == known) break;
        if (text[i] == '\\') {
          i += 2;  // past the end of what is known: the text is asked again
          continue;
        }
        in_string = false;
        if (depth == 0) return i + 1;
        ++i;
        continue;
      }
      const char c = text[i];
      if (c == '"') {
        in_string = true;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (depth == 0) return i;  // a scalar ended by its container
        if (--depth == 0) return i + 1;
      } else if (depth == 0 && (c == ',' || json_space(c))) {
        return i;
      }
      ++i;
    }
  }
  return len.whole();
}

}  // namespace kavo
