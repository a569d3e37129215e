// All inputs in one object: clears the model, checks the shape, hands each
// part to the loader of its single-input call, then derives what comes from
// the server home and rebuilds once more.
#include <cstdlib>
#include <cstring>

#include "documents/documents.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// A part written back as compact JSON text of its own, so that each loader
// reads exactly what its single-input call would read.
class PartText {
 public:
  explicit PartText(yyjson_val* value) noexcept
      : text_(value ? yyjson_val_write_opts(value, 0, nullptr, nullptr, nullptr) : nullptr) {}
  ~PartText() { std::free(text_); }
  PartText(const PartText&) = delete;
  PartText& operator=(const PartText&) = delete;
  const char* get() const noexcept { return text_; }

 private:
  char* text_;
};

struct DocGuard {
  yyjson_doc* doc;
  ~DocGuard() { yyjson_doc_free(doc); }
};

}  // namespace

int32_t load_inputs(const char* json) {
  clear_model();
  if (json == nullptr) return fail(kBadArgument, "null inputs");
  yyjson_doc* doc =
      yyjson_read_opts(const_cast<char*>(json), std::strlen(json), 0, nullptr, nullptr);
  if (doc == nullptr) return fail(kBadJson, "inputs: not valid JSON");
  DocGuard guard{doc};
  yyjson_val* root = yyjson_doc_get_root(doc);
  if (!yyjson_is_obj(root)) return fail(kBadJson, "inputs: root not object");

  yyjson_val* home = obj_get(root, "server_home");
  yyjson_val* items = obj_get(root, "items");
  yyjson_val* watch = obj_get(root, "watch");
  yyjson_val* library = obj_get(root, "library");
  yyjson_val* store = obj_get(root, "store");
  // A present null is the wrong type too.
  if (home && !yyjson_is_obj(home)) return fail(kBadJson, "server_home must be an object");
  if (items && !yyjson_is_arr(items)) return fail(kBadJson, "items must be an array");
  if (watch && !yyjson_is_arr(watch)) return fail(kBadJson, "watch must be an array");
  if (library && !yyjson_is_arr(library)) return fail(kBadJson, "library must be an array");
  if (store && !yyjson_is_obj(store)) return fail(kBadJson, "store must be an object");

  int32_t rc = kOk;
  if (home) {
    PartText text(home);
    if (text.get() && (rc = load_home_json(text.get())) != kOk) return rc;
  }
  if (items) {
    PartText text(items);
    if (!text.get()) return fail(kNoMemory, "oom");
    if ((rc = load_array_json(text.get(), false)) != kOk) return rc;
  }
  if (watch) {
    PartText text(watch);
    if (text.get() && (rc = set_watch(text.get())) != kOk) return rc;
  }
  if (library) {
    PartText text(library);
    if (text.get() && (rc = set_library(text.get())) != kOk) return rc;
  }
  if (store) {
    PartText text(store);
    if (text.get() && (rc = set_store(text.get())) != kOk) return rc;
  }

  yyjson_doc_free(guard.doc);
  guard.doc = nullptr;
  reset_basics();
  if (s_have_home) {
    index_basics();
    ingest_continues();
  }
  build_side_jsons();
  rebuild_rows();
  rebuild_result();
  return succeed();
}

}  // namespace kavo
