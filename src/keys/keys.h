// The stable text hash and the resume keys: pure functions, no model.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavo {

// Two-lane multiply-and-XOR hash over UTF-16 code units, made non-negative.
int32_t stable_hash_units(const uint16_t* units, std::size_t count) noexcept;
// Standard base64 with padding; writes whole groups only, never past `size`.
void b64_encode(const unsigned char* bytes, std::size_t len, char* out, std::size_t size) noexcept;

// Bodies of the exported calls (status codes and messages as kavo.h says).
int32_t stable_hash(const char* text, char* out, std::size_t out_size) noexcept;
int32_t resume_key(const char* a, const char* b, const char* c, char* out,
                   std::size_t out_size) noexcept;
int32_t legacy_resume_key(const char* text, char* out, std::size_t out_size) noexcept;

}  // namespace kavo
