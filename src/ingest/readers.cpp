// Tolerant JSON field access: key lookup and value coercion.
#include "ingest/readers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavo {

namespace {

inline signed char fold(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return static_cast<signed char>(c);
}

// A number value as a double; unsigned integers converted as unsigned.
inline double number_as_double(yyjson_val* v) {
  if (yyjson_is_uint(v)) return static_cast<double>(yyjson_get_uint(v));
  if (yyjson_is_sint(v)) return static_cast<double>(yyjson_get_sint(v));
  return yyjson_get_real(v);
}

Text format_double(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return xstrdup(buf);
}

}  // namespace

int ci_cmp(const char* a, const char* b) noexcept {
  if (a == nullptr) return b == nullptr ? 0 : 1;
  if (b == nullptr) return -1;
  for (;; ++a, ++b) {
    if (*a == '\0') return *b == '\0' ? 0 : -1;
    if (*b == '\0') return 1;
    signed char x = fold(*a), y = fold(*b);
    if (x < y) return -1;
    if (x > y) return 1;
  }
}

bool folded_match(yyjson_val* member_key, const char* key, std::size_t key_len) noexcept {
  // Equal under ci_cmp means equal up to the first NUL, so the member's text
  // must end (or hold a NUL) exactly where `key` ends.
  const char* text = yyjson_get_str(member_key);
  if (yyjson_get_len(member_key) < key_len || text[key_len] != '\0') return false;
  return ci_cmp(text, key) == 0;
}

yyjson_val* obj_get(yyjson_val* object, const char* key) noexcept {
  if (key == nullptr || !yyjson_is_obj(object) || yyjson_obj_size(object) == 0) return nullptr;
  const std::size_t len = std::strlen(key);
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    if (yyjson_get_len(k) == len && std::memcmp(yyjson_get_str(k), key, len) == 0) return v;
  }
  yyjson_obj_foreach(object, idx, max, k, v) {
    if (folded_match(k, key, len)) return v;
  }
  return nullptr;
}

// ---- Value coercions ---------------------------------------------------------

int val_dbl(yyjson_val* v, double* out) noexcept {
  if (yyjson_is_num(v)) {
    *out = number_as_double(v);
    return 0;
  }
  if (yyjson_is_str(v)) {
    const char* s = yyjson_get_str(v);
    char* end = nullptr;
    double d = std::strtod(s, &end);
    // A text that only reads as NaN or infinity (including an overflow such
    // as "1e999") is no usable number: the caller goes on with its next key.
    if (end == s || !std::isfinite(d)) return 1;
    *out = d;
    return 0;
  }
  return 1;
}

int32_t int_of_number(yyjson_val* v) noexcept {
  double d = number_as_double(v);
  if (d >= -2147483648.0 && d <= 2147483647.0) return static_cast<int32_t>(d);
  return 0;
}

int val_int(yyjson_val* v, int32_t* out) noexcept {
  if (yyjson_is_bool(v)) {
    *out = yyjson_get_bool(v) ? 1 : 0;
    return 0;
  }
  if (yyjson_is_num(v)) {
    *out = int_of_number(v);
    return 0;
  }
  if (yyjson_is_str(v)) {
    const char* s = yyjson_get_str(v);
    char* end = nullptr;
    long long n = std::strtoll(s, &end, 10);
    if (end == s) return 1;
    *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(n)));
    return 0;
  }
  return 1;
}

int val_ll(yyjson_val* v, int64_t* out) noexcept {
  if (yyjson_is_num(v)) {
    double d = number_as_double(v);
    if (d < -9223372036854775808.0) {
      *out = INT64_MIN;
    } else if (d >= 9223372036854775808.0) {
      *out = INT64_MAX;
    } else {
      *out = static_cast<int64_t>(d);
    }
    return 0;
  }
  if (yyjson_is_str(v)) {
    const char* s = yyjson_get_str(v);
    char* end = nullptr;
    long long n = std::strtoll(s, &end, 10);
    if (end == s) return 1;
    *out = static_cast<int64_t>(n);
    return 0;
  }
  return 1;
}

int val_bool(yyjson_val* v, int* out) noexcept {
  if (yyjson_is_bool(v)) {
    *out = yyjson_get_bool(v) ? 1 : 0;
    return 0;
  }
  if (yyjson_is_num(v)) {
    *out = number_as_double(v) != 0.0 ? 1 : 0;
    return 0;
  }
  if (yyjson_is_str(v)) {
    const char* s = yyjson_get_str(v);
    *out = (ci_cmp(s, "true") == 0 || ci_cmp(s, "yes") == 0 || ci_cmp(s, "on") == 0 ||
            std::strcmp(s, "1") == 0)
               ? 1
               : 0;
    return 0;
  }
  return 1;
}

int val_str(yyjson_val* v, Text* out) noexcept {
  Text t;
  if (yyjson_is_str(v)) {
    t = xstrdup(yyjson_get_str(v));
  } else if (yyjson_is_bool(v)) {
    t = xstrdup(yyjson_get_bool(v) ? "true" : "false");
  } else if (yyjson_is_num(v)) {
    t = number_text(v);
  } else {
    return 1;
  }
  const bool ok = static_cast<bool>(t);
  *out = static_cast<Text&&>(t);
  return ok ? 0 : 2;
}

Text number_text(yyjson_val* number) noexcept {
  if (!yyjson_is_num(number)) return Text();
  return format_double(number_as_double(number));
}

// ---- Readers -------------------------------------------------------------------

int js_dbl_first(yyjson_val* object, KeyList keys, double* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  for (; *keys != nullptr; ++keys) {
    if (val_dbl(obj_get(object, *keys), out) == 0) return 0;
  }
  return 1;
}

int js_int_first(yyjson_val* object, KeyList keys, int32_t* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  for (; *keys != nullptr; ++keys) {
    if (val_int(obj_get(object, *keys), out) == 0) return 0;
  }
  return 1;
}

int js_ll_first(yyjson_val* object, KeyList keys, int64_t* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  for (; *keys != nullptr; ++keys) {
    if (val_ll(obj_get(object, *keys), out) == 0) return 0;
  }
  return 1;
}

int js_bool(yyjson_val* object, const char* key, int* out) noexcept {
  return val_bool(obj_get(object, key), out);
}

int js_opt_str(yyjson_val* object, const char* key, Text* out) noexcept {
  return val_str(obj_get(object, key), out);
}

int js_str_array(yyjson_val* object, const char* key, std::vector<Text>* out) noexcept {
  yyjson_val* array = obj_get(object, key);
  if (!yyjson_is_arr(array)) return 1;
  out->clear();
  const std::size_t n = yyjson_arr_size(array);
  if (n == 0) return 0;
  try {
    out->reserve(n);
  } catch (...) {
    return 3;
  }
  std::size_t idx, max;
  yyjson_val* v;
  yyjson_arr_foreach(array, idx, max, v) {
    Text t;
    if (yyjson_is_str(v)) {
      t = xstrdup(yyjson_get_str(v));
    } else if (yyjson_is_num(v)) {
      t = number_text(v);
    } else {
      continue;
    }
    if (!t) return 3;
    out->push_back(static_cast<Text&&>(t));  // capacity reserved above
  }
  return 0;
}

int js_str_first(yyjson_val* object, KeyList keys, Text* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  for (; *keys != nullptr; ++keys) {
    Text t;
    if (val_str(obj_get(object, *keys), &t) == 0) {
      *out = static_cast<Text&&>(t);
      return 0;
    }
  }
  return 1;
}

int js_bool_first(yyjson_val* object, KeyList keys, int* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  for (; *keys != nullptr; ++keys) {
    if (val_bool(obj_get(object, *keys), out) == 0) return 0;
  }
  return 1;
}

}  // namespace kavo
