// JSON output conventions shared by every document the library hands out.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
  yyjson_mut_doc* doc = yyjson_mut_doc_new(nullptr);
  if (doc == nullptr) return false;
  yyjson_mut_val* root = yyjson_mut_obj(doc);
  if (root == nullptr) {
    yyjson_mut_doc_free(doc);
    return false;
  }
  yyjson_mut_doc_set_root(doc, root);
  fill(doc, root);
  Text text = write_doc(doc);
  yyjson_mut_doc_free(doc);
  if (!text && if_unwritten != nullptr) text = xstrdup(if_unwritten);
  out = static_cast<Text&&>(text);
  return true;
}

// Memory kept from one rebuild to the next for the documents that every input
// call rebuilds: building and writing them again touches no fresh pages.
// A new output document whose values live in the kept memory.
yyjson_mut_doc* kept_doc_new() noexcept;
// write_doc into the one kept text buffer: the text stays valid until the
// next kept_write (which reuses the buffer) or release_document_memory.
Text kept_write(const yyjson_mut_doc* doc) noexcept;
// Frees the kept memory; no document made by kept_doc_new may be alive and
// no kept_write text in use.
void release_document_memory() noexcept;

// JSON text written straight from values into the kept text buffer, exactly
// as the document writer (flags 0) would write the same values: for the
// largest document, without building it first. It fails as that writer
// fails: a number that is not finite or a text that is not valid UTF-8
// leaves no text at all (as does memory that runs out).
class KeptJson {
 public:
  KeptJson() noexcept;
  KeptJson(const KeptJson&) = delete;
  KeptJson& operator=(const KeptJson&) = delete;

  // Text that is JSON already (punctuation, keys known to need no escaping,
  // a value written by yyjson).
  void raw(const char* text, std::size_t len) noexcept {
    char* at = room(len);
    if (at == nullptr) return;
    std::memcpy(at, text, len);
    len_ += len;
  }
  void raw(const char* text) noexcept { raw(text, std::strlen(text)); }
  // A literal: its length known where it is written.
  template <std::size_t N>
  void lit(const char (&text)[N]) noexcept {
    raw(text, N - 1);
  }
  // A member key: "key": (the key must need no escaping).
  void key(const char* key) noexcept;
  // A string value, escaped as the writer escapes it; NULL gives null.
  void str(const char* text) noexcept;
  void sint(int64_t value) noexcept;
  void real(double value) noexcept;
  // A model number where a negative value stands for none: null.
  void sint_or_null(int64_t value) noexcept { value < 0 ? lit("null") : sint(value); }
  void real_or_null(double value) noexcept { value < 0.0 ? lit("null") : real(value); }
  // A value of a document, written by yyjson and copied in; NULL fails.
  void value(const yyjson_mut_val* value) noexcept;
  // The text (valid until the next kept_write or KeptJson), or none.
  Text finish() noexcept;

 private:
  // Room for n more bytes and the final NUL; NULL once anything failed.
  char* room(std::size_t n) noexcept {
    if (failed_) return nullptr;
    if (cap_ - len_ < n + 1) return grow(n);
    return buf_ + len_;
  }
  char* grow(std::size_t n) noexcept;
  char* buf_ = nullptr;  // the kept buffer while this writes into it
  std::size_t cap_ = 0;
  std::size_t len_ = 0;
  bool failed_ = false;
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
// `build(doc)` make the root, writes the document and copies the text into
// `buffer`. Any failure sets the message "oom" and gives `failure`; the
// status code is never touched.
template <class Build>
const char* getter_text(GetterBuffer& buffer, const char* failure, Build&& build) {
  struct DocGuard {
    yyjson_mut_doc* doc;
    ~DocGuard() { yyjson_mut_doc_free(doc); }
  } guard{yyjson_mut_doc_new(nullptr)};
  Text text;
  if (guard.doc != nullptr) {
    yyjson_mut_val* root = build(guard.doc);
    if (root != nullptr) {
      yyjson_mut_doc_set_root(guard.doc, root);
      text = write_doc(guard.doc);
    }
  }
  const char* out = text ? buffer.hold(static_cast<Text&&>(text)) : nullptr;
  if (out == nullptr) {
    set_message("oom");
    return failure;
  }
  return out;
}

}  // namespace kavo
