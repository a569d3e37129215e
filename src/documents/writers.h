// JSON output conventions shared by every document the library hands out.
#pragma once

#include <yyjson.h>

#include <cstdint>

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
// Works without recursion, so any nesting depth is safe.
yyjson_mut_val* mut_from_val(yyjson_mut_doc* doc, yyjson_val* value);

// Writes a document compactly (flags 0); none when the writer refuses it
// (non-finite number, invalid UTF-8) or memory runs out.
Text write_doc(const yyjson_mut_doc* doc) noexcept;

// The library-owned buffer of one getter: holds the last text handed out by
// that getter, whole, until its next call.
class GetterBuffer {
 public:
  // Keeps `text` (which must not be none) and returns it.
  const char* hold(Text text) noexcept {
    text_ = static_cast<Text&&>(text);
    return text_.get();
  }

 private:
  Text text_;
};

}  // namespace kavo
