// Tolerant JSON field access.
//
// Inputs come from several producers that spell the same field differently and
// give numbers as text or text as numbers. These readers find a member under a
// list of accepted spellings (exact match first, then ignoring ASCII case) and
// coerce its value by fixed rules. They never fail loudly: found or not found.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/text.h"

namespace kavo {

// A NULL-terminated list of accepted key spellings, tried in order.
using KeyList = const char* const*;

// Case-insensitive comparison (ASCII capitals folded, bytes compared as signed
// 8-bit values). NULL sorts after everything; two NULLs are equal.
int ci_cmp(const char* a, const char* b) noexcept;
// The member `key` of `object`: the first exact match in document order, else
// the first match ignoring case; NULL when none or `object` is no object.
yyjson_val* obj_get(yyjson_val* object, const char* key) noexcept;
// Whether the member key `member_key` (a string value) equals `key`, of
// length `key_len`, under ci_cmp.
bool folded_match(yyjson_val* member_key, const char* key, std::size_t key_len) noexcept;

// Results: 0 found (out written), 1 not found (out untouched).
int js_dbl_first(yyjson_val* object, KeyList keys, double* out) noexcept;
int js_int_first(yyjson_val* object, KeyList keys, int32_t* out) noexcept;
int js_ll_first(yyjson_val* object, KeyList keys, int64_t* out) noexcept;
int js_bool(yyjson_val* object, const char* key, int* out) noexcept;
// 0 found, 1 not found (out untouched), 2 allocation failed (out set to none).
int js_opt_str(yyjson_val* object, const char* key, Text* out) noexcept;
// 0 done, 1 not found or not an array (out untouched), 3 allocation failed
// (out holds the copies made so far).
int js_str_array(yyjson_val* object, const char* key, std::vector<Text>* out) noexcept;

// Loops over a key list the way the input Parts do for texts and flags: the
// first key that gives a (non-NULL) text, or a boolean, wins.
int js_str_first(yyjson_val* object, KeyList keys, Text* out) noexcept;
int js_bool_first(yyjson_val* object, KeyList keys, int* out) noexcept;

// "%.17g" text of a JSON number value (unsigned integers as unsigned).
Text number_text(yyjson_val* number) noexcept;

// The coercion of one found value (NULL for a missing member), as the readers
// above apply it: 0 found (out written), 1 not usable (out untouched). val_str
// answers 2 with out set to none when the copy cannot be allocated.
int val_dbl(yyjson_val* value, double* out) noexcept;
int val_int(yyjson_val* value, int32_t* out) noexcept;
int val_ll(yyjson_val* value, int64_t* out) noexcept;
int val_bool(yyjson_val* value, int* out) noexcept;
int val_str(yyjson_val* value, Text* out) noexcept;
// A number value (which must be a number) read as js_int_first reads numbers:
// truncated toward zero inside the 32-bit range, 0 outside it.
int32_t int_of_number(yyjson_val* number) noexcept;

}  // namespace kavo
