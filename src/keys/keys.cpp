// The stable text hash and the two base64 resume keys. These read no model
// state; they only write the caller's buffer and the status frame.
#include "keys/keys.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/status.h"

namespace kavo {

namespace {

constexpr uint32_t kLaneSeed = 5381;
constexpr uint32_t kLaneMul = 33;
constexpr uint32_t kMix = 1566083941u;

// Outcome of decoding a UTF-8 text into UTF-16 units.
enum class Decode { kOk, kMalformed };

inline bool is_cont(unsigned char b) noexcept { return b >= 0x80 && b <= 0xBF; }

// Decodes `text` up to its NUL into `units` (room for at least strlen(text)
// units: no sequence yields more units than it has bytes). Overlong forms and
// surrogate values pass through as they come out; a three- or four-byte
// sequence of value 0 ends the text. Anything else that is not well formed
// makes the whole text malformed.
Decode decode_utf8(const unsigned char* s, uint16_t* units, std::size_t* count) noexcept {
  std::size_t n = 0;
  std::size_t i = 0;
  for (;;) {
    unsigned char lead = s[i];
    if (lead == 0) break;
    if (lead < 0x80) {
      units[n++] = lead;
      i += 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      unsigned char c1 = s[i + 1];
      if (!is_cont(c1)) return Decode::kMalformed;
      units[n++] = static_cast<uint16_t>(((lead - 0xC0u) << 6) | (c1 - 0x80u));
      i += 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      // Each continuation byte is checked before the next is read, so a NUL
      // (the text ending inside the sequence) stops the reading in time.
      unsigned char c1 = s[i + 1];
      if (!is_cont(c1)) return Decode::kMalformed;
      unsigned char c2 = s[i + 2];
      if (!is_cont(c2)) return Decode::kMalformed;
      uint32_t v = ((lead - 0xE0u) << 12) | ((c1 - 0x80u) << 6) | (c2 - 0x80u);
      if (v == 0) break;
      units[n++] = static_cast<uint16_t>(v);
      i += 3;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
      unsigned char c1 = s[i + 1];
      if (!is_cont(c1)) return Decode::kMalformed;
      unsigned char c2 = s[i + 2];
      if (!is_cont(c2)) return Decode::kMalformed;
      unsigned char c3 = s[i + 3];
      if (!is_cont(c3)) return Decode::kMalformed;
      uint32_t v = ((lead - 0xF0u) << 18) | ((c1 - 0x80u) << 12) | ((c2 - 0x80u) << 6) |
                   (c3 - 0x80u);
      if (v == 0) break;
      if (v <= 0xFFFF) {
        units[n++] = static_cast<uint16_t>(v);
      } else {
        // Values above U+10FFFF are split by the same rule, unchecked.
        units[n++] = static_cast<uint16_t>(0xD800u + ((v - 0x10000u) >> 10));
        units[n++] = static_cast<uint16_t>(0xDC00u + (v & 0x3FFu));
      }
      i += 4;
    } else {
      // A stray continuation byte, the never-valid C0/C1, or F8..FF.
      return Decode::kMalformed;
    }
  }
  *count = n;
  return Decode::kOk;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Bytes needed for the base64 of `len` bytes plus the NUL.
inline std::size_t b64_size(std::size_t len) noexcept { return 4 * ((len + 2) / 3) + 1; }

}  // namespace

int32_t stable_hash_units(const uint16_t* units, std::size_t count) noexcept {
  if (count == 0) return 371857150;
  uint32_t h1 = kLaneSeed;
  uint32_t h2 = kLaneSeed;
  for (std::size_t i = 0; i < count; i += 2) {
    h1 = (h1 * kLaneMul) ^ units[i];
    if (i + 1 == count) break;
    h2 = (h2 * kLaneMul) ^ units[i + 1];
  }
  uint32_t r = h1 + h2 * kMix;
  // |r| as a signed 32-bit value; -2^31 has no positive counterpart and gives 0.
  if (r == 0x80000000u) return 0;
  if (r & 0x80000000u) return static_cast<int32_t>(0u - r);
  return static_cast<int32_t>(r);
}

void b64_encode(const unsigned char* bytes, std::size_t len, char* out, std::size_t size) noexcept {
  if (out == nullptr || size == 0) return;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < len; i += 3) {
    if (size - pos < 4) break;  // the next group would not fit
    std::size_t left = len - i;
    uint32_t b0 = bytes[i];
    uint32_t b1 = left > 1 ? bytes[i + 1] : 0;
    uint32_t b2 = left > 2 ? bytes[i + 2] : 0;
    uint32_t group = (b0 << 16) | (b1 << 8) | b2;
    out[pos] = kAlphabet[(group >> 18) & 0x3F];
    out[pos + 1] = kAlphabet[(group >> 12) & 0x3F];
    out[pos + 2] = left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out[pos + 3] = left > 2 ? kAlphabet[group & 0x3F] : '=';
    pos += 4;
  }
  out[pos < size ? pos : size - 1] = '\0';
}

int32_t stable_hash(const char* text, char* out, std::size_t out_size) noexcept {
  if (text == nullptr || out == nullptr || out_size == 0) return fail(kBadArgument, "null argument");

  int32_t hash = 0;
  std::size_t len = std::strlen(text);
  // Room for 2 * (len + 1) units; every decoded sequence yields at most as
  // many units as it has bytes, so this never overflows.
  uint16_t* units = nullptr;
  if (len < (SIZE_MAX / sizeof(uint16_t)) / 2 - 1) {
    units = static_cast<uint16_t*>(std::malloc(2 * (len + 1) * sizeof(uint16_t)));
  }
  if (units != nullptr) {
    std::size_t count = 0;
    if (decode_utf8(reinterpret_cast<const unsigned char*>(text), units, &count) == Decode::kOk) {
      hash = stable_hash_units(units, count);
    }
    std::free(units);
  }
  // Without a working buffer the hash stays 0, as for undecodable text.

  char digits[16];
  int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(hash));
  if (n < 0 || static_cast<std::size_t>(n) + 1 > out_size) {
    return fail(kBufferSmall, "buffer too small");
  }
  std::memcpy(out, digits, static_cast<std::size_t>(n) + 1);
  return succeed();
}

int32_t resume_key(const char* a, const char* b, const char* c, char* out,
                   std::size_t out_size) noexcept {
  if (a == nullptr || b == nullptr || c == nullptr || out == nullptr || out_size == 0) {
    return fail(kBadArgument, "null argument");
  }
  std::size_t la = std::strlen(a);
  std::size_t lb = std::strlen(b);
  std::size_t lc = std::strlen(c);
  std::size_t joined_len = la + lb + lc + 2;  // two 0x01 separators
  if (out_size < b64_size(joined_len)) return fail(kBufferSmall, "buffer too small");

  auto* joined = static_cast<unsigned char*>(std::malloc(joined_len));
  if (joined == nullptr) return fail(kNoMemory, "out of memory");
  unsigned char* p = joined;
  std::memcpy(p, a, la);
  p += la;
  *p++ = 0x01;
  std::memcpy(p, b, lb);
  p += lb;
  *p++ = 0x01;
  std::memcpy(p, c, lc);

  b64_encode(joined, joined_len, out, out_size);
  std::free(joined);
  return succeed();
}

int32_t legacy_resume_key(const char* text, char* out, std::size_t out_size) noexcept {
  if (text == nullptr || out == nullptr || out_size == 0) return fail(kBadArgument, "null argument");
  std::size_t len = std::strlen(text);
  if (out_size < b64_size(len)) return fail(kBufferSmall, "buffer too small");
  b64_encode(reinterpret_cast<const unsigned char*>(text), len, out, out_size);
  return succeed();
}

}  // namespace kavo
