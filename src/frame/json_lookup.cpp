#include "frame/json_lookup.h"

#include <cstring>

namespace kavo {

namespace {

inline signed char fold(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return static_cast<signed char>(c);
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

}  // namespace kavo
