// The hash and the two resume keys with any texts and any buffer sizes,
// checked against a plain restatement of their rules: the hash of the text's
// UTF-16 units, base64 of the joined texts. Buffers are allocated at exactly
// the stated size so that a write past the end is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "fuzz_support.h"

namespace {

// UTF-8 to UTF-16 units by the library's decoding rules; false for a text
// that hashes as 0.
bool decode(const std::string& s, std::vector<uint16_t>* units) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.c_str());
  while (*p != 0) {
    const unsigned b = *p;
    int extra = 0;
    uint32_t v = 0;
    if (b < 0x80) {
      units->push_back(static_cast<uint16_t>(b));
      ++p;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, v = b - 0xC0;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, v = b - 0xE0;
    } else if (b >= 0xF0 && b <= 0xF7) {
      extra = 3, v = b - 0xF0;
    } else {
      return false;
    }
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;  // also catches the NUL at the end
      v = (v << 6) | (p[i] - 0x80u);
    }
    if (extra >= 2 && v == 0) return true;  // a zero value ends the text
    if (v <= 0xFFFF) {
      units->push_back(static_cast<uint16_t>(v));
    } else {
      units->push_back(static_cast<uint16_t>(0xD800 + ((v - 0x10000) >> 10)));
      units->push_back(static_cast<uint16_t>(0xDC00 + (v & 0x3FF)));
    }
    p += extra + 1;
  }
  return true;
}

int32_t hash_units(const std::vector<uint16_t>& u) {
  if (u.empty()) return 371857150;
  uint32_t h1 = 5381, h2 = 5381;
  for (size_t i = 0; i < u.size(); i += 2) {
    h1 = (h1 * 33u) ^ u[i];
    if (i + 1 == u.size()) break;
    h2 = (h2 * 33u) ^ u[i + 1];
  }
  const int32_t r = static_cast<int32_t>(h1 + h2 * 1566083941u);
  if (r == INT32_MIN) return 0;
  return r < 0 ? -r : r;
}

std::string base64(const std::string& bytes) {
  static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += abc[v >> 18], out += abc[(v >> 12) & 63], out += abc[(v >> 6) & 63], out += abc[v & 63];
  }
  if (bytes.size() - i == 1) {
    const uint32_t v = uint8_t(bytes[i]) << 16;
    out += abc[v >> 18], out += abc[(v >> 12) & 63], out += "==";
  } else if (bytes.size() - i == 2) {
    const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += abc[v >> 18], out += abc[(v >> 12) & 63], out += abc[(v >> 6) & 63], out += '=';
  }
  return out;
}

// A text argument that may be NULL.
struct Arg {
  bool null;
  std::string text;
  const char* get() const { return null ? nullptr : text.c_str(); }
};

Arg take_arg(FuzzedDataProvider& fdp) {
  Arg a;
  a.null = fdp.ConsumeIntegralInRange<int>(0, 15) == 0;
  const std::string raw = fdp.ConsumeRandomLengthString(256);
  a.text = raw.substr(0, raw.find('\0'));
  return a;
}

// An output buffer of exactly `size` bytes (none for a NULL buffer).
struct Out {
  std::unique_ptr<char[]> buf;
  size_t size;
  Out(bool null, size_t n) : buf(null || n == 0 ? nullptr : new char[n]), size(n) {
    if (buf) std::memset(buf.get(), '#', n);
  }
  char* get() { return buf.get(); }
  bool untouched() const {
    for (size_t i = 0; buf && i < size; ++i) {
      if (buf[i] != '#') return false;
    }
    return true;
  }
};

void check_failure(int32_t rc, int32_t code, const char* message, const Out& out) {
  fz::check_status(rc);
  FZ_CHECK(rc == code);
  FZ_CHECK_MSG(std::strcmp(kavo_last_error(), message) == 0, kavo_last_error());
  FZ_CHECK(out.untouched());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  while (fdp.remaining_bytes() > 0) {
    const int which = fdp.ConsumeIntegralInRange<int>(0, 2);
    const bool null_out = fdp.ConsumeIntegralInRange<int>(0, 31) == 0;
    const size_t out_size = fdp.ConsumeIntegralInRange<size_t>(0, 48);
    Out out(null_out, out_size);
    if (which == 0) {
      const Arg a = take_arg(fdp);
      const int32_t rc = kavo_stable_hash(a.get(), out.get(), out_size);
      if (a.null || null_out || out_size == 0) {
        check_failure(rc, 2, "null argument", out);
        continue;
      }
      std::vector<uint16_t> units;
      const int32_t h = decode(a.text, &units) ? hash_units(units) : 0;
      const std::string want = std::to_string(h);
      if (out_size < want.size() + 1) {
        // The digits are never cut: a short buffer is refused untouched.
        check_failure(rc, 4, "buffer too small", out);
        continue;
      }
      fz::check_status(rc);
      FZ_CHECK(rc == 0);
      FZ_CHECK_MSG(want == out.get(), a.text.c_str());
    } else if (which == 1) {
      const Arg a = take_arg(fdp), b = take_arg(fdp), c = take_arg(fdp);
      const int32_t rc = kavo_resume_key(a.get(), b.get(), c.get(), out.get(), out_size);
      if (a.null || b.null || c.null || null_out || out_size == 0) {
        check_failure(rc, 2, "null argument", out);
        continue;
      }
      const std::string want = base64(a.text + '\x01' + b.text + '\x01' + c.text);
      if (out_size < want.size() + 1) {
        check_failure(rc, 4, "buffer too small", out);
        continue;
      }
      fz::check_status(rc);
      FZ_CHECK(rc == 0);
      FZ_CHECK(want == out.get());
    } else {
      const Arg a = take_arg(fdp);
      const int32_t rc = kavo_legacy_resume_key(a.get(), out.get(), out_size);
      if (a.null || null_out || out_size == 0) {
        check_failure(rc, 2, "null argument", out);
        continue;
      }
      const std::string want = base64(a.text);
      if (out_size < want.size() + 1) {
        check_failure(rc, 4, "buffer too small", out);
        continue;
      }
      fz::check_status(rc);
      FZ_CHECK(rc == 0);
      FZ_CHECK(want == out.get());
    }
  }
  return 0;
}
