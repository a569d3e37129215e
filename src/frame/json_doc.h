// Owning handles of yyjson documents: a document lives exactly as long as
// its handle, so no path out of a function can forget to free it.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <memory>

namespace kavo {

struct JsonDocFree {
  void operator()(yyjson_doc* doc) const noexcept { yyjson_doc_free(doc); }
  void operator()(yyjson_mut_doc* doc) const noexcept { yyjson_mut_doc_free(doc); }
};

// A parsed, read-only document. Move-only; get(), release(), reset().
using JsonDoc = std::unique_ptr<yyjson_doc, JsonDocFree>;
// An output document that values are built in. Move-only; get(), release(),
// reset().
using MutJsonDoc = std::unique_ptr<yyjson_mut_doc, JsonDocFree>;

// `len` bytes of strict JSON (no flags) parsed with the default allocator;
// none when the text is not JSON or memory runs out. The text is only read.
inline JsonDoc read_json(const char* text, std::size_t len) noexcept {
  return JsonDoc(yyjson_read_opts(const_cast<char*>(text), len, 0, nullptr, nullptr));
}

// A new output document over `alc` (NULL: the default allocator); none when
// memory runs out.
inline MutJsonDoc new_mut_doc(const yyjson_alc* alc = nullptr) noexcept {
  return MutJsonDoc(yyjson_mut_doc_new(alc));
}

}  // namespace kavo
