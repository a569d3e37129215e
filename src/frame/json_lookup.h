// Member lookup in parsed JSON, shared by every layer that reads the inputs
// or the held server home.
#pragma once

#include <yyjson.h>

#include <cstddef>

namespace kavo {

// Case-insensitive comparison (ASCII capitals folded, bytes compared as signed
// 8-bit values). NULL sorts after everything; two NULLs are equal.
int ci_cmp(const char* a, const char* b) noexcept;
// The member `key` of `object`: the first exact match in document order, else
// the first match ignoring case; NULL when none or `object` is no object.
yyjson_val* obj_get(yyjson_val* object, const char* key) noexcept;
// Whether the member key `member_key` (a string value) equals `key`, of
// length `key_len`, under ci_cmp.
bool folded_match(yyjson_val* member_key, const char* key, std::size_t key_len) noexcept;

}  // namespace kavo
