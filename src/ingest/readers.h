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
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "frame/json_lookup.h"
#include "frame/text.h"

namespace kavo {

// A NULL-terminated list of accepted key spellings, tried in order.
using KeyList = const char* const*;

// Results: 0 found (out written), 1 not found (out untouched).
int js_dbl_first(yyjson_val* object, KeyList keys, double* out) noexcept;
int js_int_first(yyjson_val* object, KeyList keys, int32_t* out) noexcept;
int js_ll_first(yyjson_val* object, KeyList keys, int64_t* out) noexcept;
int js_bool(yyjson_val* object, const char* key, int* out) noexcept;

// Loops over a key list the way the input Parts do for texts and flags: the
// first key that gives a (non-NULL) text, or a boolean, wins.
int js_str_first(yyjson_val* object, KeyList keys, Text* out) noexcept;
int js_bool_first(yyjson_val* object, KeyList keys, int* out) noexcept;

// "%.17g" text of a JSON number value (unsigned integers as unsigned).
Text number_text(yyjson_val* number) noexcept;

// The coercion of one found value (NULL for a missing member), as the readers
// above apply it: 0 found (out written), 1 not usable (out untouched). val_str
// answers 2 with out set to none when the copy cannot be allocated.
// val_bool of a value that is no boolean.
int val_bool_other(yyjson_val* value, int* out) noexcept;
// Inline for booleans, the values most flags hold.
inline int val_bool(yyjson_val* value, int* out) noexcept {
  if (!yyjson_is_bool(value)) return val_bool_other(value, out);
  *out = unsafe_yyjson_get_bool(value) ? 1 : 0;
  return 0;
}
// val_dbl, val_int and val_ll of a value that is no number.
int val_dbl_other(yyjson_val* value, double* out) noexcept;
int val_int_other(yyjson_val* value, int32_t* out) noexcept;
int val_ll_other(yyjson_val* value, int64_t* out) noexcept;
// A number value (which must be a number) as a double; unsigned integers
// converted as unsigned.
inline double number_as_double(yyjson_val* number) noexcept {
  if (yyjson_is_uint(number)) return static_cast<double>(unsafe_yyjson_get_uint(number));
  if (yyjson_is_sint(number)) return static_cast<double>(unsafe_yyjson_get_sint(number));
  return unsafe_yyjson_get_real(number);
}
// A number value (which must be a number) read as js_int_first reads numbers:
// truncated toward zero inside the 32-bit range, 0 outside it.
inline int32_t int_of_number(yyjson_val* number) noexcept {
  const double d = number_as_double(number);
  if (d >= -2147483648.0 && d <= 2147483647.0) return static_cast<int32_t>(d);
  return 0;
}
// Inline for numbers, the values most numeric fields hold.
inline int val_dbl(yyjson_val* value, double* out) noexcept {
  if (!yyjson_is_num(value)) return val_dbl_other(value, out);
  *out = number_as_double(value);
  return 0;
}
inline int val_int(yyjson_val* value, int32_t* out) noexcept {
  if (!yyjson_is_num(value)) return val_int_other(value, out);
  *out = int_of_number(value);
  return 0;
}
inline int val_ll(yyjson_val* value, int64_t* out) noexcept {
  if (!yyjson_is_num(value)) return val_ll_other(value, out);
  const double d = number_as_double(value);
  if (d < -9223372036854775808.0) {
    *out = INT64_MIN;
  } else if (d >= 9223372036854775808.0) {
    *out = INT64_MAX;
  } else {
    *out = static_cast<int64_t>(d);
  }
  return 0;
}
// val_str of a value that is no string.
int val_str_other(yyjson_val* value, Text* out) noexcept;

// Copies `len` bytes (up to kShortText of them) from `from` to `to` by a few
// overlapping loads and stores instead of a call: most texts of a record are
// that short.
inline constexpr std::size_t kShortText = 64;
[[gnu::always_inline]] inline void copy_short(char* to, const char* from, std::size_t len) noexcept {
  if (len >= 16) {
    for (std::size_t i = 0; i + 16 < len; i += 16) std::memcpy(to + i, from + i, 16);
    std::memcpy(to + len - 16, from + len - 16, 16);
  } else if (len >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + len - 8, from + len - 8, 8);
  } else if (len >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + len - 4, from + len - 4, 4);
  } else if (len > 0) {
    to[0] = from[0];
    to[len / 2] = from[len / 2];
    to[len - 1] = from[len - 1];
  }
}
// xstrndup of a string value's bytes: a short text going to the block the
// active arena is filling is copied inline.
[[gnu::always_inline]] inline Text copy_str(const char* text, std::size_t len) noexcept {
  if (TextArena* arena = text_detail::active_arena; arena != nullptr && text != nullptr && len <= kShortText) {
    if (char* copy = arena->bump(len + 1)) {
      copy_short(copy, text, len);
      copy[len] = '\0';
      return Text::in_arena(copy);
    }
  }
  return xstrndup(text, len);
}
// Inline for strings, the texts nearly every value is.
inline int val_str(yyjson_val* value, Text* out) noexcept {
  if (!yyjson_is_str(value)) return val_str_other(value, out);
  // The string's own length spares a strlen; a NUL inside it ends the
  // copy's text just as it ends the string's.
  Text t = copy_str(unsafe_yyjson_get_str(value), unsafe_yyjson_get_len(value));
  const bool ok = static_cast<bool>(t);
  *out = static_cast<Text&&>(t);
  return ok ? 0 : 2;
}
// What find_str takes of one value: its text when it gives one (a failed
// copy gives none), `out` untouched otherwise. 0 taken, 1 not.
[[gnu::always_inline]] inline int take_str(yyjson_val* value, Text* out) noexcept {
  Text t;
  if (yyjson_is_str(value)) [[likely]] {
    t = copy_str(unsafe_yyjson_get_str(value), unsafe_yyjson_get_len(value));
    if (!t) return 1;
  } else if (val_str_other(value, &t) != 0) {
    return 1;
  }
  *out = static_cast<Text&&>(t);
  return 0;
}
// A text-array value: its texts and numbers (as number_text) in order, other
// elements skipped. 0 done, 1 not an array (out untouched), 3 allocation
// failed (out holds the copies made so far).
int val_str_array(yyjson_val* value, std::vector<Text>* out) noexcept;

// The key spellings one kind of record is read with, prepared once (a
// function-local static of the reader). Spellings that fold to the same text
// form one class.
class KeySchema {
 public:
  static constexpr int kMaxSpellings = 120;
  static constexpr int kMaxClasses = 120;

  // The spellings of the NULL-terminated `lists`; spellings beyond the limits
  // are left out (a SchemaIndex then answers them by a walk).
  KeySchema(std::initializer_list<KeyList> lists) noexcept
      : KeySchema(std::span<const KeyList>(lists.begin(), lists.size())) {}
  explicit KeySchema(std::span<const KeyList> lists) noexcept;
  KeySchema(const KeySchema&) = delete;
  KeySchema& operator=(const KeySchema&) = delete;

  int spelling_count() const noexcept { return n_spell_; }
  int class_count() const noexcept { return n_class_; }
  int class_of_spelling(int spelling) const noexcept { return spell_[spelling].cls; }
  // The spelling whose listed text is `key` itself (the same address); -1
  // when `key` is not one of the listed texts.
  int listed(const char* key) const noexcept {
    for (std::size_t ps = pointer_slot(key); pointer_slots_[ps].key != nullptr;
         ps = (ps + 1) & (kPointerSlots - 1)) {
      if (pointer_slots_[ps].key == key) return pointer_slots_[ps].spelling;
    }
    return -1;
  }
  // Sorts a member key of `len` bytes: *cls the class it matches ignoring
  // case (-1 for none), *spelling the spelling it equals exactly (-1 for
  // none). A key with a NUL inside matches ignoring case up to the NUL only,
  // and never exactly.
  struct Sorted {
    int cls, spelling;
  };
  void classify(const char* text, std::size_t len, int* cls, int* spelling) const noexcept {
    const Sorted sorted = sort_key(text, len);
    *cls = sorted.cls;
    *spelling = sorted.spelling;
  }
  // classify() as one result, the common case inline: a key spelled exactly
  // as listed.
  Sorted sort_key(const char* text, std::size_t len) const noexcept {
    if (const ExactSlot* e = exact_spelling(text, len)) return Sorted{e->cls, e->spelling};
    return sort_unspelled(text, len);
  }
  // Up to 8 bytes of `p` (n of them) packed into one number, the bytes past
  // n zero; two overlapping loads instead of a loop.
  static uint64_t load_upto8(const char* p, std::size_t n) noexcept {
    if (n >= 8) {
      uint64_t x;
      std::memcpy(&x, p, 8);
      return x;
    }
    if (n >= 4) {
      uint32_t a, b;
      std::memcpy(&a, p, 4);
      std::memcpy(&b, p + n - 4, 4);
      return a | (static_cast<uint64_t>(b) << (8 * (n - 4)));
    }
    if (n >= 2) {
      uint16_t a, b;
      std::memcpy(&a, p, 2);
      std::memcpy(&b, p + n - 2, 2);
      return a | (static_cast<uint64_t>(b) << (8 * (n - 2)));
    }
    return n == 1 ? static_cast<unsigned char>(p[0]) : 0;
  }
  // The ASCII lower case of eight packed bytes: the capitals A to Z get the
  // 0x20 bit, every other byte stays.
  static uint64_t fold8(uint64_t x) noexcept {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t low7 = x & (0x7F * kOnes);
    const uint64_t at_least_a = low7 + (0x80 - 'A') * kOnes;  // high bit: low7 >= 'A'
    const uint64_t beyond_z = low7 + (0x80 - 'Z' - 1) * kOnes;  // high bit: low7 > 'Z'
    const uint64_t capitals = at_least_a & ~beyond_z & ~x & (0x80 * kOnes);
    return x | (capitals >> 2);
  }

  // The classes of a set of member keys as a bit set, class c on bit c mod
  // 64: two sets that share no bit share no class (beyond 64 classes, ones
  // that share a bit may still share none).
  struct ClassSet {
    uint64_t bits = 0;
    void add(int cls) noexcept { bits |= uint64_t{1} << (cls & 63); }
    bool may_meet(const ClassSet& other) const noexcept { return (bits & other.bits) != 0; }
  };
  // One of the lists the schema was made from, resolved once (field()): its
  // spellings in the list's order, each with its class, ending with spelling
  // -1, and their classes as a set. A lookup of the list then walks them
  // without finding the list first.
  struct Entry {
    int16_t spelling;
    int16_t cls;
  };
  struct Field {
    KeyList keys;
    // NULL for a list the schema was not made from, or one with a key left
    // out: a lookup then looks up each key of `keys`.
    const Entry* entries;
    ClassSet classes;
  };
  Field field(KeyList list) const noexcept {
    const ListSlot* slot = list != nullptr ? list_slot(list) : nullptr;
    if (slot == nullptr) return Field{list, nullptr, ClassSet{}};
    return Field{list, &list_entries_[slot->first], slot->classes};
  }
  // One key resolved once (name()): the spelling and class a lookup of `key`
  // answers by; spelling -1 when the key is no spelling of the schema (a
  // lookup then looks up the key's text).
  struct Name {
    const char* key;
    int16_t spelling;
    int16_t cls;
  };
  Name name(const char* key) const noexcept {
    int spelling = key != nullptr ? listed(key) : -1;
    int cls = -1;
    if (spelling >= 0) {
      cls = spell_[spelling].cls;
    } else if (key != nullptr) {
      classify(key, std::strlen(key), &cls, &spelling);
    }
    if (spelling < 0) return Name{key, -1, -1};
    return Name{key, static_cast<int16_t>(spelling), static_cast<int16_t>(cls)};
  }

 private:
  // An index sorts its members with the exact table directly.
  friend class SchemaIndex;
  // Keys of up to kWords * 8 bytes are compared as packed words, raw for the
  // exact match and folded for the class; longer ones byte by byte.
  static constexpr std::size_t kWords = 4;
  struct Words {
    uint64_t w[kWords];
  };
  struct Spelling {
    const char* text;
    std::size_t len;
    Words raw;  // its bytes, as they are, 8 at a time (zero past the end)
    int cls;
    int next;  // the next spelling of the same class, -1 at the end
  };
  struct Class {
    const char* text;  // its first spelling
    std::size_t len;
    Words folded;  // its bytes, folded, 8 at a time (zero past the end)
    int first;     // its first spelling
  };
  static constexpr int kClassSlots = 256;
  static constexpr int kPointerSlots = 512;
  // The exact spellings of up to kExactBytes bytes, hashed by their packed
  // words: most member keys are spelled as listed, and are sorted by one
  // probe without folding.
  static constexpr std::size_t kExactBytes = 24;
  static constexpr int kExactSlots = 256;
  static std::size_t exact_slot(std::size_t len, uint64_t w0) noexcept {
    return static_cast<std::size_t>(((w0 ^ len) * 0x9E3779B97F4A7C15ull) >> 56);
  }
  static constexpr int kListSlots = 64;
  static constexpr int kMaxListEntries = 256;
  static std::size_t class_slot(std::size_t len, uint64_t head) noexcept {
    return static_cast<std::size_t>(((head ^ len) * 0x9E3779B97F4A7C15ull) >> 56);
  }
  static std::size_t pointer_slot(const void* p) noexcept {
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(p) * 0x9E3779B97F4A7C15ull) >> 55);
  }
  static void load_words(const char* text, std::size_t len, Words* raw) noexcept;
  void add(const char* key) noexcept;
  // The class of `len` bytes of `text` (no NUL among them), -1 for none;
  // `raw` holds their packed words when len is at most kWords * 8.
  int class_of(const char* text, std::size_t len, const Words& raw) const noexcept;
  int exact_in_class(int cls, const char* text, std::size_t len, const Words& raw) const noexcept;
  // sort_key() for a key that is no spelling of up to kExactBytes bytes.
  Sorted sort_unspelled(const char* text, std::size_t len) const noexcept;

  Spelling spell_[kMaxSpellings];
  Class class_[kMaxClasses];
  int n_spell_ = 0;
  int n_class_ = 0;
  std::size_t max_len_ = 0;
  std::size_t exact_len_ = 0;  // the smaller of max_len_ and kExactBytes
  int16_t class_slots_[kClassSlots];
  struct PointerSlot {
    const char* key;
    int spelling;
  };
  PointerSlot pointer_slots_[kPointerSlots];
  int n_pointers_ = 0;
  // A spelling's packed words kept in its slot, so that a probe reads one
  // place.
  struct ExactSlot {
    uint64_t w[3];
    uint32_t len;      // kFreeLen: a free slot
    int16_t spelling;  // -1: a free slot
    int16_t cls;
  };
  static constexpr uint32_t kFreeLen = ~uint32_t{0};
  ExactSlot exact_slots_[kExactSlots];
  // The words a slot keeps of `len` bytes of `text` (at most kExactBytes):
  // the first eight or fewer (load_upto8), and for longer keys the last
  // eight, and then bytes 8 to 16. Every load lies inside the key: a key
  // longer than eight bytes is compared by whole words, without a loop.
  static void exact_words(const char* text, std::size_t len, uint64_t w[3]) noexcept {
    w[0] = load_upto8(text, len < 8 ? len : 8);
    w[1] = len > 8 ? load8(text + len - 8) : 0;
    w[2] = len > 16 ? load8(text + 8) : 0;
  }
  static uint64_t load8(const char* p) noexcept {
    uint64_t x;
    std::memcpy(&x, p, 8);
    return x;
  }
  // Whether bytes 8 to len of `text` (len from 9 to kExactBytes) are those
  // of the slot's spelling.
  static bool same_tail(const ExactSlot& e, const char* text, std::size_t len) noexcept {
    if (e.w[1] != load8(text + len - 8)) return false;
    return len <= 16 || e.w[2] == load8(text + 8);
  }
  // The slot of the spelling `len` bytes of `text` are exactly, NULL for
  // none: probed by the length and the first eight bytes; the bytes past
  // them are compared only for a slot that matches so far.
  [[gnu::always_inline]] const ExactSlot* exact_spelling(const char* text, std::size_t len) const noexcept {
    if (len > exact_len_) return nullptr;
    const uint64_t r0 = load_upto8(text, len < 8 ? len : 8);
    for (std::size_t es = exact_slot(len, r0);; es = (es + 1) & (kExactSlots - 1)) {
      const ExactSlot& e = exact_slots_[es];
      if (e.len == len && e.w[0] == r0 && (len <= 8 || same_tail(e, text, len))) return &e;
      if (e.spelling < 0) return nullptr;
    }
  }
  struct ListSlot {
    KeyList list;
    int first;  // into list_entries_
    ClassSet classes;  // of its spellings
  };
  const ListSlot* list_slot(KeyList list) const noexcept {
    for (std::size_t ls = pointer_slot(list) & (kListSlots - 1); list_slots_[ls].list != nullptr;
         ls = (ls + 1) & (kListSlots - 1)) {
      if (list_slots_[ls].list == list) return &list_slots_[ls];
    }
    return nullptr;
  }
  ListSlot list_slots_[kListSlots];
  Entry list_entries_[kMaxListEntries];
  int n_list_entries_ = 0;
  int n_lists_ = 0;
};

// The members of one object, or of two objects taken as one, sorted by the
// spellings of a schema as the index is made: a lookup of a listed spelling
// is an array access; any other key is answered by its bytes or by a walk of
// the members. Every lookup answers exactly what obj_get answers on an
// object holding those members in that order.
class SchemaIndex {
 public:
  SchemaIndex(const KeySchema& schema, yyjson_val* first, yyjson_val* second = nullptr) noexcept;
  // The index of `first` followed by the object `then` was made of (over the
  // same schema): what SchemaIndex(schema, first, that object) would be,
  // without sorting that object's members again.
  SchemaIndex(yyjson_val* first, const SchemaIndex& then) noexcept;
  SchemaIndex(const SchemaIndex&) = delete;
  SchemaIndex& operator=(const SchemaIndex&) = delete;

  yyjson_val* get(const char* key) const noexcept {
    const int spelling = key != nullptr ? schema_.listed(key) : -1;
    return spelling >= 0 ? of_spelling(spelling) : get_other(key);
  }
  yyjson_val* operator()(const char* key) const noexcept { return get(key); }

  // get() of a key resolved by this index's schema.
  yyjson_val* get(const KeySchema::Name& name) const noexcept {
    return name.spelling >= 0 ? of_entry(name.spelling, name.cls) : get(name.key);
  }
  yyjson_val* operator()(const KeySchema::Name& name) const noexcept { return get(name); }

  // Offers the value of each key of `keys` in order to `take`, skipping the
  // keys no member answers, until it accepts one (returns 0): 0 then, else
  // 1. What a loop of get() over the keys would offer, without a lookup of
  // each key's text.
  template <class Take>
  int first_taken(KeyList keys, const Take& take) const noexcept {
    return first_taken(schema_.field(keys), take);
  }
  // The same for a list resolved by this index's schema: inline, since most
  // lists find no member of their classes and end at once.
  template <class Take>
  [[gnu::always_inline]] int first_taken(const KeySchema::Field& field, const Take& take) const noexcept {
    if (field.entries == nullptr) return first_taken_by_text(field.keys, take);
    // A member spelled as listed is of the spelling's class: no member of
    // any of the list's classes, nothing to offer.
    if (!field.classes.may_meet(present_)) return 1;
    for (const KeySchema::Entry* e = field.entries; e->spelling >= 0; ++e) {
      yyjson_val* v = of_entry(e->spelling, e->cls);
      if (v != nullptr && take(v) == 0) return 0;
    }
    return 1;
  }

 private:
  template <class Take>
  int first_taken_by_text(KeyList keys, const Take& take) const noexcept {
    for (; *keys != nullptr; ++keys) {
      yyjson_val* v = get(*keys);
      if (v != nullptr && take(v) == 0) return 0;
    }
    return 1;
  }
  void add(yyjson_val* object) noexcept;
  void clear() noexcept;
  // The first member spelled exactly so, else the first of its class.
  yyjson_val* of_spelling(int spelling) const noexcept {
    return of_entry(spelling, schema_.class_of_spelling(spelling));
  }
  // The same with the spelling's class known.
  yyjson_val* of_entry(int spelling, int cls) const noexcept {
    uint8_t number = exact(spelling);
    if (number == 0) number = folded(cls);
    return number != 0 ? found_[number - 1] : nullptr;
  }
  yyjson_val* get_other(const char* key) const noexcept;

  const KeySchema& schema_;
  yyjson_val* first_;
  yyjson_val* second_;
  // Small numbers into found_, 0 for none, so that making an index clears a
  // few hundred bytes only: the first member spelled exactly so, and the
  // first member of each class ignoring case.
  // exact_ and folded_ in one array, cleared in one go.
  uint8_t numbers_[KeySchema::kMaxSpellings + KeySchema::kMaxClasses];
  uint8_t& exact(int spelling) noexcept { return numbers_[spelling]; }
  uint8_t& folded(int cls) noexcept { return numbers_[KeySchema::kMaxSpellings + cls]; }
  uint8_t exact(int spelling) const noexcept { return numbers_[spelling]; }
  uint8_t folded(int cls) const noexcept { return numbers_[KeySchema::kMaxSpellings + cls]; }
  // For each entry of found_, the spelling and the class it is the first of
  // (-1 for none), so that another index can take them over without a walk
  // of every spelling and class.
  int8_t entry_spelling_[KeySchema::kMaxSpellings + KeySchema::kMaxClasses];
  int8_t entry_class_[KeySchema::kMaxSpellings + KeySchema::kMaxClasses];
  yyjson_val* found_[KeySchema::kMaxSpellings + KeySchema::kMaxClasses];
  int n_found_ = 0;
  // The classes that some member falls in.
  KeySchema::ClassSet present_;
};

// The key lists one kind of record is read by (its fields), each resolved
// once over a schema, with the fields whose lists hold a spelling of each
// class as a bit set: a walk over a record's members then sends each member
// straight to the fields it may answer.
class FieldSchema {
 public:
  static constexpr int kMaxFields = 64;

  // Field f is fields[f] (at most kMaxFields of them); `schema` must hold
  // their spellings and outlive this. A list with a key the schema does not
  // hold is answered by a SchemaIndex of the record.
  FieldSchema(const KeySchema& schema, std::span<const KeyList> fields) noexcept;
  FieldSchema(const FieldSchema&) = delete;
  FieldSchema& operator=(const FieldSchema&) = delete;

  const KeySchema& schema() const noexcept { return schema_; }
  int field_count() const noexcept { return n_fields_; }
  const KeySchema::Field& field(int f) const noexcept { return fields_[f]; }
  // The fields with a key of class `cls`: as a bit set, and the first two
  // by number (kMaxFields standing for none), or `many` when there are more.
  struct ClassFields {
    uint64_t fields = 0;
    uint8_t first = kMaxFields, second = kMaxFields;
    bool many = false;
  };
  const ClassFields& fields_of_class(int cls) const noexcept { return of_class_[cls]; }
  // The fields always answered by an index.
  uint64_t unresolved() const noexcept { return unresolved_; }

 private:
  static constexpr int kMaxEntries = 256;
  const KeySchema& schema_;
  int n_fields_ = 0;
  KeySchema::Field fields_[kMaxFields];
  KeySchema::Entry entries_[kMaxEntries];
  ClassFields of_class_[KeySchema::kMaxClasses];
  uint64_t unresolved_ = 0;
};

// The members of one object, or of two taken as one, sorted into the fields
// of a FieldSchema by one walk. A field that one member alone may answer is
// answered by it: every key of the field's list finds that member or none,
// whatever the spellings. A field that two or more members may answer
// (rare) is answered by a SchemaIndex of the objects, made when first asked.
// Every answer is what the key-list loops over obj_get give on an object
// holding those members in that order.
class FieldMembers {
 public:
  FieldMembers(const FieldSchema& fields, yyjson_val* object) noexcept
      : fields_(fields), first_(yyjson_is_obj(object) ? object : nullptr) {
    present_ = contested_ = fields.unresolved();
    add(first_);
  }
  FieldMembers(const FieldMembers&) = delete;
  FieldMembers& operator=(const FieldMembers&) = delete;

  // Puts the members of `object` (an object) before those read so far.
  void add_first(yyjson_val* object) noexcept {
    if (!yyjson_is_obj(object)) return;
    // Alone in its fields, a member answers them whichever object it came
    // from: the walk order matters only to fields answered by the index.
    second_ = first_;
    first_ = object;
    index_.reset();
    add(object);
  }

  // The value of a field of one key (what obj_get answers), NULL for none.
  [[gnu::always_inline]] yyjson_val* get(int f) const noexcept {
    const uint64_t bit = uint64_t{1} << f;
    if ((present_ & bit) == 0) return nullptr;
    if ((contested_ & bit) == 0) return value_of(f);
    return get_contested(f);
  }

  // Offers the value of each key of field f's list in order to `take` until
  // it accepts one (returns 0): 0 then, else 1. As SchemaIndex::first_taken.
  template <class Take>
  [[gnu::always_inline]] int first_taken(int f, const Take& take) const noexcept {
    const uint64_t bit = uint64_t{1} << f;
    if ((present_ & bit) == 0) return 1;
    if ((contested_ & bit) == 0 && take(value_of(f)) == 0) return 0;
    return first_taken_again(f, take);
  }

 private:
  void add(yyjson_val* object) noexcept;
  const SchemaIndex& index() const noexcept;
  yyjson_val* get_contested(int f) const noexcept;
  // first_taken() past the common case: a field answered by the index, or a
  // member refused once.
  template <class Take>
  [[gnu::noinline, gnu::cold]] int first_taken_again(int f, const Take& take) const noexcept {
    if ((contested_ & (uint64_t{1} << f)) != 0) return index().first_taken(fields_.field(f), take);
    // Every key of the member's class finds the member: it is offered again
    // for each later one (a text copy that failed may succeed).
    const int cls = fields_.schema().sort_key(unsafe_yyjson_get_str(key_[f]), unsafe_yyjson_get_len(key_[f])).cls;
    int more = -1;
    for (const KeySchema::Entry* e = fields_.field(f).entries; e->spelling >= 0; ++e) more += e->cls == cls;
    for (; more > 0; --more) {
      if (take(value_of(f)) == 0) return 0;
    }
    return 1;
  }

  const FieldSchema& fields_;
  yyjson_val* first_;
  yyjson_val* second_ = nullptr;
  // The fields some member may answer, and those two or more may.
  uint64_t present_, contested_;
  // For a field some member may answer: the last such member's key (the
  // only one, when it counts), its value next to it; one more place takes
  // the stores for no field.
  yyjson_val* key_[FieldSchema::kMaxFields + 1];
  yyjson_val* value_of(int f) const noexcept { return yyjson_obj_iter_get_val(key_[f]); }
  mutable std::optional<SchemaIndex> index_;
};

// Key-list loops over any member lookup (a callable from key to value): the
// first key whose value the coercion accepts wins; 0 found, 1 not found.
template <class Lookup>
int find_dbl(const Lookup& get, KeyList keys, double* out) noexcept {
  for (; *keys != nullptr; ++keys) {
    if (val_dbl(get(*keys), out) == 0) return 0;
  }
  return 1;
}
template <class Lookup>
int find_int(const Lookup& get, KeyList keys, int32_t* out) noexcept {
  for (; *keys != nullptr; ++keys) {
    if (val_int(get(*keys), out) == 0) return 0;
  }
  return 1;
}
template <class Lookup>
int find_ll(const Lookup& get, KeyList keys, int64_t* out) noexcept {
  for (; *keys != nullptr; ++keys) {
    if (val_ll(get(*keys), out) == 0) return 0;
  }
  return 1;
}
template <class Lookup>
int find_bool(const Lookup& get, KeyList keys, int* out) noexcept {
  for (; *keys != nullptr; ++keys) {
    if (val_bool(get(*keys), out) == 0) return 0;
  }
  return 1;
}
// The first key that gives a text (a failed copy counts as not found).
template <class Lookup>
int find_str(const Lookup& get, KeyList keys, Text* out) noexcept {
  for (; *keys != nullptr; ++keys) {
    Text t;
    if (val_str(get(*keys), &t) == 0) {
      *out = static_cast<Text&&>(t);
      return 0;
    }
  }
  return 1;
}

// The same loops over a schema index (NULL values are never taken by the
// coercions, so skipping absent members changes nothing).
inline int find_dbl(const SchemaIndex& get, KeyList keys, double* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_dbl(v, out); });
}
inline int find_int(const SchemaIndex& get, KeyList keys, int32_t* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_int(v, out); });
}
inline int find_ll(const SchemaIndex& get, KeyList keys, int64_t* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_ll(v, out); });
}
inline int find_bool(const SchemaIndex& get, KeyList keys, int* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_bool(v, out); });
}
inline int find_str(const SchemaIndex& get, KeyList keys, Text* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) {
    Text t;
    if (val_str(v, &t) != 0) return 1;
    *out = static_cast<Text&&>(t);
    return 0;
  });
}

// The same loops over lists resolved by the index's schema, inline: most
// lists have no member and end at the class test.
[[gnu::always_inline]] inline int find_dbl(const SchemaIndex& get, const KeySchema::Field& keys, double* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_dbl(v, out); });
}
[[gnu::always_inline]] inline int find_int(const SchemaIndex& get, const KeySchema::Field& keys, int32_t* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_int(v, out); });
}
[[gnu::always_inline]] inline int find_ll(const SchemaIndex& get, const KeySchema::Field& keys, int64_t* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_ll(v, out); });
}
[[gnu::always_inline]] inline int find_bool(const SchemaIndex& get, const KeySchema::Field& keys, int* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) { return val_bool(v, out); });
}
[[gnu::always_inline]] inline int find_str(const SchemaIndex& get, const KeySchema::Field& keys, Text* out) noexcept {
  return get.first_taken(keys, [out](yyjson_val* v) {
    Text t;
    if (val_str(v, &t) != 0) return 1;
    *out = static_cast<Text&&>(t);
    return 0;
  });
}

// The same loops over the fields of a FieldMembers.
[[gnu::always_inline]] inline int find_dbl(const FieldMembers& get, int field, double* out) noexcept {
  return get.first_taken(field, [out](yyjson_val* v) { return val_dbl(v, out); });
}
[[gnu::always_inline]] inline int find_int(const FieldMembers& get, int field, int32_t* out) noexcept {
  return get.first_taken(field, [out](yyjson_val* v) { return val_int(v, out); });
}
[[gnu::always_inline]] inline int find_ll(const FieldMembers& get, int field, int64_t* out) noexcept {
  return get.first_taken(field, [out](yyjson_val* v) { return val_ll(v, out); });
}
[[gnu::always_inline]] inline int find_bool(const FieldMembers& get, int field, int* out) noexcept {
  return get.first_taken(field, [out](yyjson_val* v) { return val_bool(v, out); });
}
[[gnu::always_inline]] inline int find_str(const FieldMembers& get, int field, Text* out) noexcept {
  return get.first_taken(field, [out](yyjson_val* v) __attribute__((always_inline)) { return take_str(v, out); });
}

// JSON's own white space (no other control characters).
inline bool json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The first position from `pos` on in text[0, len) that is not JSON white
// space (len when there is none).
inline std::size_t skip_space(const char* text, std::size_t len, std::size_t pos) {
  while (pos < len && json_space(text[pos])) ++pos;
  return pos;
}

}  // namespace kavo
