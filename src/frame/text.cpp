#include "frame/text.h"

#include <cstring>

namespace kavo {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the longest prefix of `len` bytes that fits kMaxTextBytes without
// splitting a UTF-8 sequence.
std::size_t cut_length(const char* text, std::size_t len) {
  if (len <= kMaxTextBytes) return len;
  std::size_t cut = kMaxTextBytes;
  // Step back over continuation bytes of the character that crosses the cut;
  // a well-formed sequence has at most three of them.
  std::size_t back = 0;
  while (cut > 0 && back < 3 && is_continuation(static_cast<unsigned char>(text[cut]))) {
    --cut;
    ++back;
  }
  if (back > 0 && is_continuation(static_cast<unsigned char>(text[cut]))) {
    // Not a real sequence (stray continuation bytes): keep the byte count.
    return kMaxTextBytes;
  }
  return back > 0 ? cut : kMaxTextBytes;
}

}  // namespace

Text xstrndup(const char* text, std::size_t len) noexcept {
  if (text == nullptr) return Text();
  std::size_t n = cut_length(text, len);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy == nullptr) return Text();
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  return Text::adopt(copy);
}

Text xstrdup(const char* text) noexcept {
  if (text == nullptr) return Text();
  return xstrndup(text, std::strlen(text));
}

}  // namespace kavo
