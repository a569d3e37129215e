// Field writers, the deep copy of parsed values, the document writer and the
// two sinks the document layouts write through.
#include "documents/writers.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace kavo {

namespace {

// Appends `value` under the literal `key` (referenced, not copied). Nothing
// happens when the target is not an object or an allocation failed.
void add_member(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, yyjson_mut_val* value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object) || value == nullptr) return;
  yyjson_mut_val* k = yyjson_mut_str(doc, key);
  if (k == nullptr) return;
  yyjson_mut_obj_add(object, k, value);
}

bool is_container(yyjson_val* value) { return yyjson_is_arr(value) || yyjson_is_obj(value); }

// A copy of a leaf value, or an empty container of the same kind; none for
// raw values, values of no type and failed allocations.
yyjson_mut_val* shallow_copy(yyjson_mut_doc* doc, yyjson_val* value) {
  switch (yyjson_get_type(value)) {
    case YYJSON_TYPE_NULL:
      return yyjson_mut_null(doc);
    case YYJSON_TYPE_BOOL:
      return yyjson_mut_bool(doc, yyjson_get_bool(value));
    case YYJSON_TYPE_NUM:
      switch (yyjson_get_subtype(value)) {
        case YYJSON_SUBTYPE_UINT:
          return yyjson_mut_uint(doc, yyjson_get_uint(value));
        case YYJSON_SUBTYPE_SINT:
          return yyjson_mut_sint(doc, yyjson_get_sint(value));
        default:
          return yyjson_mut_real(doc, yyjson_get_real(value));
      }
    case YYJSON_TYPE_STR:
      return yyjson_mut_strncpy(doc, yyjson_get_str(value), yyjson_get_len(value));
    case YYJSON_TYPE_ARR:
      return yyjson_mut_arr(doc);
    case YYJSON_TYPE_OBJ:
      return yyjson_mut_obj(doc);
    default:
      return nullptr;
  }
}

// One container being copied: where the source iteration stands, the copy
// being filled, and (for an object) the key of the member being copied.
struct Frame {
  yyjson_val* src;
  yyjson_mut_val* dst;
  yyjson_arr_iter arr_it;
  yyjson_obj_iter obj_it;
  yyjson_val* key;
};

Frame open_frame(yyjson_val* src, yyjson_mut_val* dst) {
  Frame f{};
  f.src = src;
  f.dst = dst;
  if (yyjson_is_arr(src)) {
    yyjson_arr_iter_init(src, &f.arr_it);
  } else {
    yyjson_obj_iter_init(src, &f.obj_it);
  }
  return f;
}

// Adds a finished copy `value` (may be none) to the container of `f`.
// Returns false when the container itself has failed (a key could not be
// copied): the whole container then gives none.
bool attach(yyjson_mut_doc* doc, Frame& f, yyjson_mut_val* value) {
  if (value == nullptr) return true;  // left out, the copy goes on
  if (yyjson_mut_is_arr(f.dst)) {
    yyjson_mut_arr_append(f.dst, value);
    return true;
  }
  yyjson_mut_val* k = yyjson_mut_strncpy(doc, yyjson_get_str(f.key), yyjson_get_len(f.key));
  if (k == nullptr) return false;
  yyjson_mut_obj_add(f.dst, k, value);
  return true;
}

}  // namespace

void add_json_str(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, const char* value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object)) return;
  add_member(doc, object, key, value == nullptr ? yyjson_mut_null(doc) : yyjson_mut_str(doc, value));
}

void add_json_int_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int32_t value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object)) return;
  add_member(doc, object, key, value < 0 ? yyjson_mut_null(doc) : yyjson_mut_sint(doc, value));
}

void add_json_ll_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int64_t value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object)) return;
  add_member(doc, object, key, value < 0 ? yyjson_mut_null(doc) : yyjson_mut_sint(doc, value));
}

void add_json_real_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, double value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object)) return;
  // A plain comparison: NaN and -0.0 are not below 0.0 and are written as numbers.
  add_member(doc, object, key, value < 0.0 ? yyjson_mut_null(doc) : yyjson_mut_real(doc, value));
}

void add_json_int(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int64_t value) {
  if (doc == nullptr || !yyjson_mut_is_obj(object)) return;
  add_member(doc, object, key, yyjson_mut_sint(doc, value));
}

namespace {

// The deep copy proper; throws std::bad_alloc when its stack cannot grow.
yyjson_mut_val* deep_copy(yyjson_mut_doc* doc, yyjson_val* value) {
  yyjson_mut_val* root = shallow_copy(doc, value);
  if (root == nullptr || !is_container(value)) return root;

  // Depth-first copy with an explicit stack, in document order: each member's
  // value is copied completely before its key, as a recursive copy would.
  std::vector<Frame> stack;
  stack.push_back(open_frame(value, root));
  yyjson_mut_val* done = nullptr;  // the copy of the last closed container
  while (true) {
    Frame& f = stack.back();
    yyjson_val* child = nullptr;
    if (yyjson_is_arr(f.src)) {
      child = yyjson_arr_iter_next(&f.arr_it);
    } else {
      f.key = yyjson_obj_iter_next(&f.obj_it);
      if (f.key != nullptr) child = yyjson_obj_iter_get_val(f.key);
    }
    bool failed = false;
    if (child == nullptr) {
      done = f.dst;  // all members copied
    } else {
      yyjson_mut_val* copy = shallow_copy(doc, child);
      if (copy != nullptr && is_container(child)) {
        stack.push_back(open_frame(child, copy));
        continue;
      }
      if (attach(doc, f, copy)) continue;
      failed = true;
    }
    // The container on top is closed, whole or failed: hand it to its parent.
    if (failed) done = nullptr;
    stack.pop_back();
    while (!stack.empty()) {
      if (attach(doc, stack.back(), done)) break;
      done = nullptr;  // the parent fails too
      stack.pop_back();
    }
    if (stack.empty()) return done;
  }
}

}  // namespace

yyjson_mut_val* mut_from_val(yyjson_mut_doc* doc, yyjson_val* value) noexcept {
  if (doc == nullptr || value == nullptr) return nullptr;
  try {
    return deep_copy(doc, value);
  } catch (...) {
    // No memory for the copy's own stack: the copy gives none, like any
    // other value that cannot be allocated, and the caller goes on.
    return nullptr;
  }
}

void add_json_val(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, yyjson_mut_val* value) {
  add_member(doc, object, key, value);
}

namespace {

// A getter block starts with the address of the block it replaced.
constexpr std::size_t kBlockLink = sizeof(char*);

char* block_text(char* block) { return block + kBlockLink; }

char* block_prev(char* block) {
  char* prev;
  std::memcpy(&prev, block, sizeof prev);
  return prev;
}

}  // namespace

GetterBuffer::~GetterBuffer() {
  while (block_ != nullptr) {
    char* prev = block_prev(block_);
    std::free(block_);
    block_ = prev;
  }
}

const char* GetterBuffer::hold(Text text) noexcept {
  const std::size_t need = std::strlen(text.get()) + 1;
  if (need > cap_) {
    std::size_t cap = cap_ == 0 ? initial_ : cap_;
    if (cap == 0) cap = 64;
    while (cap < need) cap *= 2;
    char* grown = static_cast<char*>(std::malloc(kBlockLink + cap));
    if (grown == nullptr) return nullptr;
    std::memcpy(grown, &block_, sizeof block_);
    block_ = grown;
    cap_ = cap;
  }
  char* out = block_text(block_);
  std::memcpy(out, text.get(), need);
  return out;
}

Text write_doc(const yyjson_mut_doc* doc) noexcept {
  if (doc == nullptr) return Text();
  return Text::adopt(yyjson_mut_write_opts(doc, 0, nullptr, nullptr, nullptr));
}

namespace {

// yyjson's dynamic allocator keeps the blocks a freed document gave back and
// serves the next document from them.
yyjson_alc* s_doc_alc = nullptr;

// The kept text buffers that KeptJson writes into, each with the generation
// of the text it holds (0: none that can be read).
struct KeptText {
  char* buf = nullptr;
  std::size_t cap = 0;
  uint64_t generation = 0;
};
KeptText s_kept_text[kKeptSlots];
uint64_t s_last_generation = 0;

}  // namespace

MutJsonDoc kept_doc_new() noexcept {
  if (s_doc_alc == nullptr) s_doc_alc = yyjson_alc_dyn_new();
  return new_mut_doc(s_doc_alc);  // the heap when the allocator cannot be made
}

void MutJson::add(yyjson_mut_val* value) noexcept {
  if (value == nullptr) return;  // left out
  if (depth_ == 0) {
    if (root_ == nullptr) root_ = value;
    return;
  }
  yyjson_mut_val* container = open_[depth_ - 1];
  if (yyjson_mut_is_arr(container)) {
    yyjson_mut_arr_append(container, value);
    return;
  }
  yyjson_mut_val* k = yyjson_mut_strn(doc_, key_, key_len_);
  if (k != nullptr) yyjson_mut_obj_add(container, k, value);
}

KeptJson::KeptJson(int slot) noexcept
    : slot_(slot), buf_(s_kept_text[slot].buf), cap_(s_kept_text[slot].cap), generation_(++s_last_generation) {
  s_kept_text[slot].generation = 0;  // overwritten from here on
}

const char* kept_text(int slot) noexcept { return s_kept_text[slot].buf; }
uint64_t kept_generation(int slot) noexcept { return s_kept_text[slot].generation; }

char* KeptJson::grow(std::size_t n) noexcept {
  KeptText& k = s_kept_text[slot_];
  std::size_t cap = cap_ < 4096 ? 4096 : cap_;
  while (cap - len_ < n + 1) cap *= 2;
  auto* grown = static_cast<char*>(std::realloc(k.buf, cap));
  if (grown == nullptr) {
    failed_ = true;
    return nullptr;
  }
  k.buf = buf_ = grown;
  k.cap = cap_ = cap;
  return buf_ + len_;
}

namespace {

// Length of the valid UTF-8 sequence starting at p (which holds a byte of
// 0x80 or more), or 0 when the bytes there are no valid sequence.
std::size_t utf8_sequence(const unsigned char* p) {
  const unsigned char c = p[0];
  auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return cont(p[1]) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
    return p[1] >= lo && p[1] <= hi && cont(p[2]) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
    return p[1] >= lo && p[1] <= hi && cont(p[2]) && cont(p[3]) ? 4 : 0;
  }
  return 0;
}

}  // namespace

void KeptJson::put_str(const char* text) noexcept {
  if (text == nullptr) {
    raw("null", 4);
    return;
  }
  const std::size_t n = std::strlen(text);
  // At most six bytes per byte (\u00XX), and the quotes.
  char* out = room(6 * n + 2);
  if (out == nullptr) return;
  char* const start = out;
  *out++ = '"';
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* end = p + n;
  static const char kHex[] = "0123456789ABCDEF";
  while (p < end) {
    // Eight plain bytes at a time: none below 0x20, none of '"', '\\' or
    // 0x80 and above.
    while (end - p >= 8) {
      constexpr uint64_t kOnes = 0x0101010101010101ull;
      uint64_t w;
      std::memcpy(&w, p, 8);
      const uint64_t low = (w - 0x20 * kOnes) & ~w;  // bytes below 0x20 (or high)
      const uint64_t qx = w ^ (0x22 * kOnes);
      const uint64_t quote = (qx - kOnes) & ~qx;
      const uint64_t sx = w ^ (0x5C * kOnes);
      const uint64_t slash = (sx - kOnes) & ~sx;
      if (((low | quote | slash | w) & (0x80 * kOnes)) != 0) break;
      std::memcpy(out, p, 8);
      out += 8;
      p += 8;
    }
    if (p >= end) break;
    const unsigned char c = *p;
    if (c >= 0x80) {
      // The NUL after the text stops a sequence cut short.
      const std::size_t m = utf8_sequence(p);
      if (m == 0) {
        failed_ = true;
        return;
      }
      std::memcpy(out, p, m);
      out += m;
      p += m;
      continue;
    }
    if (c >= 0x20 && c != '"' && c != '\\') {
      *out++ = static_cast<char>(c);
    } else {
      *out++ = '\\';
      switch (c) {
        case '"': *out++ = '"'; break;
        case '\\': *out++ = '\\'; break;
        case '\b': *out++ = 'b'; break;
        case '\f': *out++ = 'f'; break;
        case '\n': *out++ = 'n'; break;
        case '\r': *out++ = 'r'; break;
        case '\t': *out++ = 't'; break;
        default:
          *out++ = 'u';
          *out++ = '0';
          *out++ = '0';
          *out++ = kHex[c >> 4];
          *out++ = kHex[c & 15];
      }
    }
    ++p;
  }
  *out++ = '"';
  len_ += static_cast<std::size_t>(out - start);
}

void KeptJson::put_sint(int64_t value) noexcept {
  char* at = room(24);
  if (at == nullptr) return;
  if (value >= 0 && value < 10) {
    *at = static_cast<char>('0' + value);
    ++len_;
    return;
  }
  // Decimal digits, as any writer gives them (a minus sign, no leading
  // zeros), two at a time from the end.
  static const char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[20];
  char* d = digits + 20;
  while (magnitude >= 100) {
    const std::size_t pair = static_cast<std::size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--d = kPairs[pair + 1];
    *--d = kPairs[pair];
  }
  if (magnitude >= 10) {
    const std::size_t pair = static_cast<std::size_t>(magnitude) * 2;
    *--d = kPairs[pair + 1];
    *--d = kPairs[pair];
  } else {
    *--d = static_cast<char>('0' + magnitude);
  }
  char* out = at;
  if (value < 0) *out++ = '-';
  const std::size_t n = static_cast<std::size_t>(digits + 20 - d);
  std::memcpy(out, d, n);
  out += n;
  len_ += static_cast<std::size_t>(out - at);
}

void KeptJson::put_real(double value) noexcept {
  if (!std::isfinite(value)) {  // the writer refuses these
    failed_ = true;
    return;
  }
  char* at = room(40);
  if (at == nullptr) return;
  yyjson_mut_val v;
  yyjson_mut_set_real(&v, value);
  char* end = yyjson_mut_write_number(&v, at);
  if (end == nullptr) {
    failed_ = true;
    return;
  }
  len_ += static_cast<std::size_t>(end - at);
}

void KeptJson::value(const yyjson_mut_val* value) noexcept {
  if (failed_) return;
  std::size_t len = 0;
  const Text text =
      Text::adopt(value != nullptr ? yyjson_mut_val_write_opts(value, 0, nullptr, &len, nullptr) : nullptr);
  if (!text) {
    failed_ = true;
    return;
  }
  json(text.get(), len);
}

Text KeptJson::finish() noexcept {
  char* at = room(0);
  if (at == nullptr) return Text();
  *at = '\0';
  s_kept_text[slot_].generation = generation_;
  return Text::in_arena(buf_);
}

void release_document_memory() noexcept {
  for (KeptText& k : s_kept_text) {
    std::free(k.buf);
    k = KeptText();
  }
  if (s_doc_alc != nullptr) yyjson_alc_dyn_free(s_doc_alc);
  s_doc_alc = nullptr;
}

}  // namespace kavo
