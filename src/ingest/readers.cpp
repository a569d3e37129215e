// Tolerant JSON field access: key lookup and value coercion.
#include "ingest/readers.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavo {

namespace {

Text format_double(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return xstrdup(buf);
}

}  // namespace

// ---- Value coercions ---------------------------------------------------------

int val_dbl_other(yyjson_val* v, double* out) noexcept {
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

// A string value read as strtoll reads it in base 10 (leading white space,
// sign, digits; saturating); false when it is no string or no character is
// consumed.
static bool text_integer(yyjson_val* v, long long* out) noexcept {
  if (!yyjson_is_str(v)) return false;
  const char* s = yyjson_get_str(v);
  char* end = nullptr;
  const long long n = std::strtoll(s, &end, 10);
  if (end == s) return false;
  *out = n;
  return true;
}

int val_int_other(yyjson_val* v, int32_t* out) noexcept {
  if (yyjson_is_bool(v)) {
    *out = yyjson_get_bool(v) ? 1 : 0;
    return 0;
  }
  long long n = 0;
  if (text_integer(v, &n)) {
    *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(n)));
    return 0;
  }
  return 1;
}

int val_ll_other(yyjson_val* v, int64_t* out) noexcept {
  long long n = 0;
  if (text_integer(v, &n)) {
    *out = static_cast<int64_t>(n);
    return 0;
  }
  return 1;
}

int val_bool_other(yyjson_val* v, int* out) noexcept {
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

int val_str_other(yyjson_val* v, Text* out) noexcept {
  Text t;
  if (yyjson_is_bool(v)) {
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

// ---- Packed key bytes, member walks------------------------------------------------------------

namespace {


// yyjson's member loop steps from the first member even for a NULL object,
// so the walks below must not be started without an object.
yyjson_val* exact_member(yyjson_val* object, const char* key, std::size_t len) {
  if (object == nullptr) return nullptr;
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    if (yyjson_get_len(k) == len && std::memcmp(yyjson_get_str(k), key, len) == 0) return v;
  }
  return nullptr;
}

yyjson_val* folded_member(yyjson_val* object, const char* key, std::size_t len) {
  if (object == nullptr) return nullptr;
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    if (folded_match(k, key, len)) return v;
  }
  return nullptr;
}

}  // namespace

// ---- Key schemas ---------------------------------------------------------------

KeySchema::KeySchema(std::span<const KeyList> lists) noexcept {
  for (int16_t& slot : class_slots_) slot = -1;
  for (PointerSlot& slot : pointer_slots_) slot = PointerSlot{nullptr, -1};
  for (ExactSlot& slot : exact_slots_) slot = ExactSlot{{0, 0, 0}, kFreeLen, -1, -1};
  for (ListSlot& slot : list_slots_) slot = ListSlot{nullptr, 0, ClassSet{}};
  for (KeyList list : lists) {
    for (KeyList k = list; k != nullptr && *k != nullptr; ++k) add(*k);
  }
  exact_len_ = max_len_ < kExactBytes ? max_len_ : kExactBytes;
  // Each list as its spellings, when every key of it was registered.
  for (KeyList list : lists) {
    if (list == nullptr || list_slot(list) != nullptr || n_lists_ >= kListSlots / 2) continue;
    int count = 0;
    bool whole = true;
    for (KeyList k = list; *k != nullptr; ++k, ++count) whole = whole && listed(*k) >= 0;
    if (!whole || n_list_entries_ + count + 1 > kMaxListEntries) continue;
    const int first = n_list_entries_;
    for (KeyList k = list; *k != nullptr; ++k) {
      const int spelling = listed(*k);
      list_entries_[n_list_entries_++] = Entry{static_cast<int16_t>(spelling), static_cast<int16_t>(spell_[spelling].cls)};
    }
    list_entries_[n_list_entries_++] = Entry{-1, -1};
    std::size_t ls = pointer_slot(list) & (kListSlots - 1);
    while (list_slots_[ls].list != nullptr) ls = (ls + 1) & (kListSlots - 1);
    ClassSet classes;
    for (KeyList k = list; *k != nullptr; ++k) classes.add(spell_[listed(*k)].cls);
    list_slots_[ls] = ListSlot{list, first, classes};
    ++n_lists_;
  }
}

void KeySchema::load_words(const char* text, std::size_t len, Words* raw) noexcept {
  for (std::size_t w = 0; w < kWords; ++w) {
    const std::size_t at = 8 * w;
    raw->w[w] = at < len ? load_upto8(text + at, len - at < 8 ? len - at : 8) : 0;
  }
}

void KeySchema::add(const char* key) noexcept {
  // Registered by address, so that lookups of the listed texts skip hashing.
  std::size_t ps = pointer_slot(key);
  while (pointer_slots_[ps].key != nullptr) {
    if (pointer_slots_[ps].key == key) return;
    ps = (ps + 1) & (kPointerSlots - 1);
  }
  if (n_pointers_ >= kPointerSlots / 2) return;
  const std::size_t len = std::strlen(key);
  Words raw;
  load_words(key, len, &raw);
  int cls = class_of(key, len, raw);
  if (cls < 0) {
    if (n_class_ >= kMaxClasses) return;
    cls = n_class_++;
    Class& c = class_[cls];
    c.text = key;
    c.len = len;
    c.first = -1;
    for (std::size_t w = 0; w < kWords; ++w) c.folded.w[w] = KeySchema::fold8(raw.w[w]);
    std::size_t cs = class_slot(len, c.folded.w[0]);
    while (class_slots_[cs] >= 0) cs = (cs + 1) % kClassSlots;
    class_slots_[cs] = static_cast<int16_t>(cls);
    if (len > max_len_) max_len_ = len;
  }
  int spelling = exact_in_class(cls, key, len, raw);
  if (spelling < 0) {
    if (n_spell_ >= kMaxSpellings) return;
    spelling = n_spell_++;
    spell_[spelling] = Spelling{key, len, raw, cls, -1};
    if (len <= kExactBytes) {
      std::size_t es = exact_slot(len, raw.w[0]);
      while (exact_slots_[es].spelling >= 0) es = (es + 1) & (kExactSlots - 1);
      ExactSlot& e = exact_slots_[es];
      exact_words(key, len, e.w);
      e.len = static_cast<uint32_t>(len);
      e.spelling = static_cast<int16_t>(spelling);
      e.cls = static_cast<int16_t>(cls);
    }
    // Appended at the end of its class's list.
    int* link = &class_[cls].first;
    while (*link >= 0) link = &spell_[*link].next;
    *link = spelling;
  }
  pointer_slots_[ps] = PointerSlot{key, spelling};
  ++n_pointers_;
}

int KeySchema::class_of(const char* text, std::size_t len, const Words& raw) const noexcept {
  if (len > max_len_ || n_class_ == 0) return -1;
  const uint64_t head = KeySchema::fold8(raw.w[0]);
  for (std::size_t cs = class_slot(len, head); class_slots_[cs] >= 0; cs = (cs + 1) % kClassSlots) {
    const Class& c = class_[class_slots_[cs]];
    if (c.len != len || c.folded.w[0] != head) continue;
    bool same = true;
    if (len > 8 * kWords) {
      same = ci_cmp(text + 8, c.text + 8) == 0;
    } else {
      for (std::size_t w = 1; same && 8 * w < len; ++w) same = KeySchema::fold8(raw.w[w]) == c.folded.w[w];
    }
    if (same) return class_slots_[cs];
  }
  return -1;
}

int KeySchema::exact_in_class(int cls, const char* text, std::size_t len, const Words& raw) const noexcept {
  for (int s = class_[cls].first; s >= 0; s = spell_[s].next) {
    const Spelling& sp = spell_[s];
    if (sp.len != len || sp.raw.w[0] != raw.w[0]) continue;
    bool same = true;
    if (len > 8 * kWords) {
      same = std::memcmp(sp.text + 8, text + 8, len - 8) == 0;
    } else {
      for (std::size_t w = 1; same && 8 * w < len; ++w) same = sp.raw.w[w] == raw.w[w];
    }
    if (same) return s;
  }
  return -1;
}

KeySchema::Sorted KeySchema::sort_unspelled(const char* text, std::size_t len) const noexcept {
  Sorted out{-1, -1};
  if (len <= exact_len_) {
    // Keys of up to 24 bytes, nearly all of them, that are no spelling (the
    // exact probe of sort_key found none): packed into three words, folded,
    // looked up as a class. Equal to a class ignoring case means no NUL
    // among the bytes (a NUL folds to itself and spellings hold none), so
    // this case needs no search for one.
    const uint64_t f0 = KeySchema::fold8(load_upto8(text, len < 8 ? len : 8));
    const uint64_t f1 = KeySchema::fold8(len > 8 ? load_upto8(text + 8, len < 16 ? len - 8 : 8) : 0);
    const uint64_t f2 = KeySchema::fold8(len > 16 ? load_upto8(text + 16, len - 16) : 0);
    for (std::size_t cs = class_slot(len, f0); class_slots_[cs] >= 0; cs = (cs + 1) % kClassSlots) {
      const Class& c = class_[class_slots_[cs]];
      if (c.len == len && c.folded.w[0] == f0 && c.folded.w[1] == f1 && c.folded.w[2] == f2) {
        out.cls = class_slots_[cs];
        return out;
      }
    }
  } else if (len <= max_len_) {
    Words raw;
    load_words(text, len, &raw);
    out.cls = class_of(text, len, raw);
    if (out.cls >= 0) {
      out.spelling = exact_in_class(out.cls, text, len, raw);
      return out;
    }
  }
  const std::size_t clen = std::strlen(text);
  if (clen < len && clen <= max_len_) {
    Words raw;
    load_words(text, clen, &raw);
    out.cls = class_of(text, clen, raw);
  }
  return out;
}

SchemaIndex::SchemaIndex(const KeySchema& schema, yyjson_val* first, yyjson_val* second) noexcept
    : schema_(schema),
      first_(yyjson_is_obj(first) ? first : nullptr),
      second_(yyjson_is_obj(second) ? second : nullptr) {
  clear();
  add(first_);
  add(second_);
}

SchemaIndex::SchemaIndex(yyjson_val* first, const SchemaIndex& then) noexcept
    : schema_(then.schema_), first_(yyjson_is_obj(first) ? first : nullptr), second_(then.first_) {
  clear();
  add(first_);
  // The first member of each spelling and class among those of `then`'s
  // object, where `first` has none: what adding them one by one would keep.
  for (int k = 0; k < then.n_found_; ++k) {
    const int spelling = then.entry_spelling_[k];
    const int cls = then.entry_class_[k];
    const bool spelled_here = spelling >= 0 && exact(spelling) == 0;
    const bool class_here = cls >= 0 && folded(cls) == 0;
    if (!spelled_here && !class_here) continue;
    found_[n_found_] = then.found_[k];
    entry_spelling_[n_found_] = static_cast<int8_t>(spelled_here ? spelling : -1);
    entry_class_[n_found_] = static_cast<int8_t>(class_here ? cls : -1);
    const uint8_t number = static_cast<uint8_t>(++n_found_);
    if (spelled_here) exact(spelling) = number;
    if (class_here) folded(cls) = number;
  }
  present_.bits |= then.present_.bits;
}

void SchemaIndex::clear() noexcept {
  // Copied from zeros: a memset of this fixed size would become a string
  // instruction, slow to start for a few hundred bytes.
  const uint8_t zeros[sizeof numbers_] = {};
  std::memcpy(numbers_, zeros, sizeof numbers_);
}

void SchemaIndex::add(yyjson_val* object) noexcept {
  if (object == nullptr) return;
  // The count and the class set kept in locals: the stores into the byte
  // arrays below could otherwise be taken to change them, and they would be
  // read again for every member.
  const KeySchema& schema = schema_;
  int n_found = n_found_;
  KeySchema::ClassSet present = present_;
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    // Member keys are strings.
    const char* const text = unsafe_yyjson_get_str(k);
    const std::size_t len = unsafe_yyjson_get_len(k);
    int cls, spelling;
    if (const KeySchema::ExactSlot* e = schema.exact_spelling(text, len)) {
      // Most keys: spelled as listed.
      cls = e->cls;
      spelling = e->spelling;
    } else {
      const KeySchema::Sorted sorted = schema.sort_unspelled(text, len);
      if (sorted.cls < 0) continue;
      cls = sorted.cls;
      spelling = sorted.spelling;
    }
    uint8_t& of_class = folded(cls);
    const bool first_of_class = of_class == 0;
    // At most one entry per class and per spelling: the numbers fit.
    if (spelling >= 0) {
      // A spelling met before had its class met then too.
      uint8_t& of_spelling = exact(spelling);
      if (of_spelling != 0) continue;
      found_[n_found] = v;
      entry_spelling_[n_found] = static_cast<int8_t>(spelling);
      entry_class_[n_found] = static_cast<int8_t>(first_of_class ? cls : -1);
      of_spelling = static_cast<uint8_t>(++n_found);
    } else {
      if (!first_of_class) continue;
      found_[n_found] = v;
      entry_spelling_[n_found] = -1;
      entry_class_[n_found] = static_cast<int8_t>(cls);
      ++n_found;
    }
    if (first_of_class) {
      of_class = static_cast<uint8_t>(n_found);
      present.add(cls);
    }
  }
  n_found_ = n_found;
  present_ = present;
}

yyjson_val* SchemaIndex::get_other(const char* key) const noexcept {
  if (key == nullptr) return nullptr;
  // Not one of the listed texts (get looked for that): found by its bytes.
  const std::size_t len = std::strlen(key);
  int cls = -1, spelling = -1;
  schema_.classify(key, len, &cls, &spelling);
  if (spelling >= 0) return of_spelling(spelling);
  // Not a schema spelling: as obj_get answers on the two objects as one.
  if (yyjson_val* v = exact_member(first_, key, len)) return v;
  if (yyjson_val* v = exact_member(second_, key, len)) return v;
  if (yyjson_val* v = folded_member(first_, key, len)) return v;
  return folded_member(second_, key, len);
}

// ---- Field schemas -----------------------------------------------------------

FieldSchema::FieldSchema(const KeySchema& schema, std::span<const KeyList> fields) noexcept : schema_(schema) {
  int n_entries = 0;
  for (KeyList list : fields) {
    if (n_fields_ >= kMaxFields) break;
    const int f = n_fields_++;
    const uint64_t bit = uint64_t{1} << f;
    fields_[f] = KeySchema::Field{list, nullptr, KeySchema::ClassSet{}};
    int count = 0;
    bool whole = list != nullptr;
    for (KeyList k = list; whole && *k != nullptr; ++k, ++count) whole = schema.name(*k).spelling >= 0;
    if (!whole || n_entries + count + 1 > kMaxEntries) {
      unresolved_ |= bit;
      continue;
    }
    KeySchema::Field& field = fields_[f];
    field.entries = &entries_[n_entries];
    for (KeyList k = list; *k != nullptr; ++k) {
      const KeySchema::Name name = schema.name(*k);
      entries_[n_entries++] = KeySchema::Entry{name.spelling, name.cls};
      field.classes.add(name.cls);
      ClassFields& of_class = of_class_[name.cls];
      if ((of_class.fields & bit) == 0) {
        if (of_class.first == kMaxFields) {
          of_class.first = static_cast<uint8_t>(f);
        } else if (of_class.second == kMaxFields) {
          of_class.second = static_cast<uint8_t>(f);
        } else {
          of_class.many = true;
        }
      }
      of_class.fields |= bit;
    }
    entries_[n_entries++] = KeySchema::Entry{-1, -1};
  }
}

void FieldMembers::add(yyjson_val* object) noexcept {
  if (object == nullptr) return;
  const KeySchema& schema = fields_.schema();
  uint64_t present = present_, contested = contested_;
  std::size_t idx, max;
  yyjson_val *k, *v;
  yyjson_obj_foreach(object, idx, max, k, v) {
    // Member keys are strings.
    const int cls = schema.sort_key(unsafe_yyjson_get_str(k), unsafe_yyjson_get_len(k)).cls;
    if (cls < 0) continue;
    const FieldSchema::ClassFields& of_class = fields_.fields_of_class(cls);
    contested |= present & of_class.fields;
    present |= of_class.fields;
    // Most classes belong to one or two fields: stored without a loop.
    key_[of_class.first] = k;
    key_[of_class.second] = k;
    if (of_class.many) [[unlikely]] {
      for (uint64_t more = of_class.fields; more != 0; more &= more - 1) key_[std::countr_zero(more)] = k;
    }
  }
  present_ = present;
  contested_ = contested;
}

yyjson_val* FieldMembers::get_contested(int f) const noexcept {
  yyjson_val* found = nullptr;
  index().first_taken(fields_.field(f), [&found](yyjson_val* v) {
    found = v;
    return 0;
  });
  return found;
}

const SchemaIndex& FieldMembers::index() const noexcept {
  if (!index_) index_.emplace(fields_.schema(), first_, second_);
  return *index_;
}

// ---- Readers -------------------------------------------------------------------

namespace {

struct OneObject {
  yyjson_val* object;
  yyjson_val* operator()(const char* key) const noexcept { return obj_get(object, key); }
};

}  // namespace

int js_dbl_first(yyjson_val* object, KeyList keys, double* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  return find_dbl(OneObject{object}, keys, out);
}

int js_int_first(yyjson_val* object, KeyList keys, int32_t* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  return find_int(OneObject{object}, keys, out);
}

int js_ll_first(yyjson_val* object, KeyList keys, int64_t* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  return find_ll(OneObject{object}, keys, out);
}

int js_bool(yyjson_val* object, const char* key, int* out) noexcept {
  return val_bool(obj_get(object, key), out);
}

int val_str_array(yyjson_val* array, std::vector<Text>* out) noexcept {
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
      t = xstrndup(yyjson_get_str(v), yyjson_get_len(v));
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
  return find_str(OneObject{object}, keys, out);
}

int js_bool_first(yyjson_val* object, KeyList keys, int* out) noexcept {
  if (!yyjson_is_obj(object) || keys == nullptr) return 1;
  return find_bool(OneObject{object}, keys, out);
}

}  // namespace kavo
