// JSON output conventions shared by every document the library hands out.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame/json_doc.h"
#include "frame/status.h"
#include "frame/text.h"

namespace kavo {

// The four field writers; each appends one member at the end of `object`.
// Texts and model strings are referenced, not copied. NULL text, negative
// number: JSON null.
void add_json_str(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, const char* value);
void add_json_int_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int32_t value);
void add_json_ll_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int64_t value);
void add_json_real_or_null(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, double value);
// A member that is never null.
void add_json_int(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, int64_t value);

// Deep copy of a parsed value into an output document (strings copied).
// Works without recursion, so any nesting depth is safe. Gives none when
// memory runs out; never throws.
yyjson_mut_val* mut_from_val(yyjson_mut_doc* doc, yyjson_val* value) noexcept;

// Writes a document compactly (flags 0); none when the writer refuses it
// (non-finite number, invalid UTF-8) or memory runs out.
Text write_doc(const yyjson_mut_doc* doc) noexcept;

// Builds a document whose root is an object: `fill(doc, root)` adds the
// members, then the written text replaces `out` (with `if_unwritten` copied
// when the writer gives nothing and it is not NULL, else none). When the
// document or its root cannot be allocated, `out` keeps its text and the
// answer is false.
template <class Fill>
bool write_object_doc(Text& out, Fill&& fill, const char* if_unwritten = nullptr) {
  const MutJsonDoc doc = new_mut_doc();
  if (!doc) return false;
  yyjson_mut_val* root = yyjson_mut_obj(doc.get());
  if (root == nullptr) return false;
  yyjson_mut_doc_set_root(doc.get(), root);
  fill(doc.get(), root);
  Text text = write_doc(doc.get());
  if (!text && if_unwritten != nullptr) text = xstrdup(if_unwritten);
  out = static_cast<Text&&>(text);
  return true;
}

// Memory kept from one rebuild to the next for the documents that every input
// call rebuilds: building and writing them again touches no fresh pages.
// A new output document whose values live in the kept memory.
MutJsonDoc kept_doc_new() noexcept;
// Frees the kept memory; no document made by kept_doc_new may be alive and
// no KeptJson text in use.
void release_document_memory() noexcept;

// ---- Sinks ---------------------------------------------------------------
// The documents describe their members once (documents/layouts.h), as calls
// on a sink; two sinks turn those calls into JSON:
//   MutJson   builds yyjson values in an output document;
//   KeptJson  writes the text straight into the kept text buffer.
// Both take the same calls and give the same text. The calls:
//   begin_object() / begin_array(): opens a container as the next value;
//     false when it cannot be made (then neither its members nor its end
//     may follow);
//   end_object() / end_array(): closes the innermost container;
//   key("name"): the key of the next member (a literal that needs no
//     escaping); answers the sink, so a member reads key("name").str(text);
//   str(text): a string, NULL gives null;
//   sint(n), real(x): numbers that are never null;
//   sint_or_null(n), real_or_null(x): a model number where a negative value
//     stands for none: null;
//   null().
// A number that is not finite or a text that is not valid UTF-8 makes the
// whole document give no text, through either sink. A value MutJson cannot
// allocate is left out; KeptJson gives no text once memory runs out.

// Values built in a yyjson output document. Keys and texts are referenced,
// not copied: the document must be written before the model changes.
class MutJson {
 public:
  explicit MutJson(yyjson_mut_doc* doc) noexcept : doc_(doc) {}
  MutJson(const MutJson&) = delete;
  MutJson& operator=(const MutJson&) = delete;

  // The first value made outside any container (the document's root to be),
  // or NULL.
  yyjson_mut_val* root() const noexcept { return root_; }

  bool begin_object() noexcept { return open(yyjson_mut_obj(doc_)); }
  void end_object() noexcept { --depth_; }
  bool begin_array() noexcept { return open(yyjson_mut_arr(doc_)); }
  void end_array() noexcept { --depth_; }
  template <std::size_t N>
  MutJson& key(const char (&name)[N]) noexcept {
    key_ = name;
    key_len_ = N - 1;
    return *this;
  }
  void str(const char* text) noexcept {
    add(text != nullptr ? yyjson_mut_str(doc_, text) : yyjson_mut_null(doc_));
  }
  void sint(int64_t value) noexcept { add(yyjson_mut_sint(doc_, value)); }
  void real(double value) noexcept { add(yyjson_mut_real(doc_, value)); }
  void sint_or_null(int64_t value) noexcept { value < 0 ? null() : sint(value); }
  // A plain comparison: NaN and -0.0 are not below 0.0 and are numbers.
  void real_or_null(double value) noexcept { value < 0.0 ? null() : real(value); }
  void null() noexcept { add(yyjson_mut_null(doc_)); }

 private:
  static constexpr int kMaxDepth = 8;
  bool open(yyjson_mut_val* container) noexcept {
    if (container == nullptr || depth_ == kMaxDepth) return false;
    add(container);
    open_[depth_++] = container;
    return true;
  }
  // Appends `value` (none: nothing) to the innermost open container, under
  // the last key in an object.
  void add(yyjson_mut_val* value) noexcept;

  yyjson_mut_doc* doc_;
  yyjson_mut_val* root_ = nullptr;
  yyjson_mut_val* open_[kMaxDepth] = {};
  int depth_ = 0;
  const char* key_ = "";
  std::size_t key_len_ = 0;
};

// JSON text written straight from values into the kept text buffer, exactly
// as the document writer (flags 0) writes the same values: for the largest
// document, without building it first. It fails as that writer fails: a
// number that is not finite or a text that is not valid UTF-8 leaves no text
// at all (as does memory that runs out).
inline constexpr int kKeptSlots = 2;
// The text a KeptJson last finished in kept buffer `slot` (0 or 1), and its
// generation, which no other text written since shares; 0 when the buffer
// holds no finished text.
const char* kept_text(int slot) noexcept;
uint64_t kept_generation(int slot) noexcept;

class KeptJson {
 public:
  // Writes into kept buffer `slot`, whose text is overwritten.
  explicit KeptJson(int slot = 0) noexcept;
  // The generation the text will have once finished.
  uint64_t generation() const noexcept { return generation_; }
  // Bytes written so far.
  std::size_t size() const noexcept { return len_; }
  KeptJson(const KeptJson&) = delete;
  KeptJson& operator=(const KeptJson&) = delete;

  bool begin_object() noexcept {
    open('{');
    return true;
  }
  void end_object() noexcept { close('}'); }
  bool begin_array() noexcept {
    open('[');
    return true;
  }
  void end_array() noexcept { close(']'); }
  template <std::size_t N>
  KeptJson& key(const char (&name)[N]) noexcept {
    // ,"name":
    char* const at = room(N + 3);
    if (at == nullptr) return *this;
    char* p = at;
    if (state_ == kAfterValue) *p++ = ',';
    *p++ = '"';
    std::memcpy(p, name, N - 1);
    p += N - 1;
    *p++ = '"';
    *p++ = ':';
    len_ += static_cast<std::size_t>(p - at);
    state_ = kAfterKey;
    return *this;
  }
  void str(const char* text) noexcept {
    separate();
    put_str(text);
  }
  void sint(int64_t value) noexcept {
    separate();
    put_sint(value);
  }
  void real(double value) noexcept {
    separate();
    put_real(value);
  }
  void sint_or_null(int64_t value) noexcept { value < 0 ? null() : sint(value); }
  void real_or_null(double value) noexcept { value < 0.0 ? null() : real(value); }
  void null() noexcept {
    separate();
    raw("null", 4);
  }
  // A value of a document, written by yyjson and copied in; NULL fails.
  void value(const yyjson_mut_val* value) noexcept;
  // A value that is JSON text already (`len` bytes).
  void json(const char* text, std::size_t len) noexcept {
    separate();
    raw(text, len);
  }
  // The members and end of an object that was opened and given its first
  // member here, as text written before (`len` bytes, up to and with the
  // closing brace).
  void object_rest(const char* text, std::size_t len) noexcept {
    raw(text, len);
    state_ = kAfterValue;
  }
  // The text (valid until the next KeptJson or release_document_memory), or
  // none.
  Text finish() noexcept;

 private:
  // Where the text stands: just inside a container (or at the start), after
  // a key, after a value (the next member or element needs a comma).
  enum State : uint8_t { kOpened, kAfterKey, kAfterValue };
  void separate() noexcept {
    if (state_ == kAfterValue) raw(",", 1);
    state_ = kAfterValue;
  }
  void open(char bracket) noexcept {
    separate();
    raw(&bracket, 1);
    state_ = kOpened;
  }
  void close(char bracket) noexcept {
    raw(&bracket, 1);
    state_ = kAfterValue;
  }
  void raw(const char* text, std::size_t len) noexcept {
    char* at = room(len);
    if (at == nullptr) return;
    std::memcpy(at, text, len);
    len_ += len;
  }
  void put_str(const char* text) noexcept;
  void put_sint(int64_t value) noexcept;
  void put_real(double value) noexcept;
  // Room for n more bytes and the final NUL; NULL once anything failed.
  char* room(std::size_t n) noexcept {
    if (failed_) return nullptr;
    if (cap_ - len_ < n + 1) return grow(n);
    return buf_ + len_;
  }
  char* grow(std::size_t n) noexcept;
  int slot_;
  char* buf_ = nullptr;  // the kept buffer while this writes into it
  std::size_t cap_ = 0;
  std::size_t len_ = 0;
  bool failed_ = false;
  State state_ = kOpened;
  uint64_t generation_;
};

// Appends `value` (may be none: nothing happens) under the literal `key`.
void add_json_val(yyjson_mut_doc* doc, yyjson_mut_val* object, const char* key, yyjson_mut_val* value);

// The library-owned buffer of one getter: holds the last text handed out by
// that getter, whole, until its next call. The storage is reused from call to
// call, so while texts fit in it the getter keeps returning the same pointer.
// A longer text moves to a larger block; the blocks it outgrew are kept (with
// the text they last held) until the buffer itself goes, so no pointer the
// getter ever returned dangles. Doubling keeps them below the size of the
// current block together.
class GetterBuffer {
 public:
  explicit GetterBuffer(std::size_t initial_bytes) noexcept : initial_(initial_bytes) {}
  ~GetterBuffer();
  GetterBuffer(const GetterBuffer&) = delete;
  GetterBuffer& operator=(const GetterBuffer&) = delete;

  // Copies `text` (which must not be none) into the buffer and returns the
  // buffer; NULL when no larger block can be had (the old content then stays).
  const char* hold(Text text) noexcept;

 private:
  std::size_t initial_;
  std::size_t cap_ = 0;     // bytes of text room in the current block
  char* block_ = nullptr;   // the outgrown block's address, then the text room
};

// Runs one buffer getter after its checks: creates an output document, lets
// `put(MutJson&)` write the document's value, writes the document and copies
// the text into `buffer`. Any failure sets the message "oom" and gives
// `failure`; the status code is never touched.
template <class Put>
const char* getter_text(GetterBuffer& buffer, const char* failure, Put&& put) {
  Text text;
  if (const MutJsonDoc doc = new_mut_doc()) {
    MutJson out(doc.get());
    put(out);
    if (out.root() != nullptr) {
      yyjson_mut_doc_set_root(doc.get(), out.root());
      text = write_doc(doc.get());
    }
  }
  const char* held = text ? buffer.hold(static_cast<Text&&>(text)) : nullptr;
  if (held == nullptr) {
    set_message("oom");
    return failure;
  }
  return held;
}

}  // namespace kavo
