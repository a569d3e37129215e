// The exported calls that change the model: the input calls, the selection
// calls, clear and shutdown. Each is a thin wrapper that catches everything.
#include "api/sequence.h"
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/guard.h"
#include "frame/model.h"
#include "ingest/ingest.h"
#include "kavo.h"
#include "rows/rows.h"

using namespace kavo;

namespace {

template <class Select>
int32_t selection_call(Select&& select) {
  const int32_t rc = select();
  if (rc != kOk) return rc;
  rebuild_after_selection();
  return succeed();
}

}  // namespace

extern "C" {

KAVO_API int32_t kavo_add_items(const char* json) {
  return guard_status("out of memory", [&] { return call_add_items(json); });
}

KAVO_API int32_t kavo_set_library(const char* json) {
  return guard_status("out of memory", [&] { return call_set_library(json); });
}

KAVO_API int32_t kavo_set_watch(const char* json) {
  return guard_status("out of memory", [&] { return call_set_watch(json); });
}

KAVO_API int32_t kavo_update_watch(const char* json) {
  return guard_status("out of memory", [&] { return call_update_watch(json); });
}

KAVO_API int32_t kavo_set_server_home(const char* json) {
  return guard_status("out of memory", [&] { return call_set_server_home(json); });
}

KAVO_API int32_t kavo_set_store(const char* json) {
  return guard_status("oom", [&] { return call_set_store(json); });
}

KAVO_API int32_t kavo_load_inputs(const char* json) {
  return guard_status("oom", [&] { return call_load_inputs(json); });
}

// The settings take effect at the next rebuild: nothing to sequence.
KAVO_API int32_t kavo_set_resume_settings(const char* json) {
  return guard_status("out of memory", [&] { return set_resume_settings(json); });
}

KAVO_API int32_t kavo_set_autoplay_settings(const char* json) {
  return guard_status("out of memory", [&] { return set_autoplay_settings(json); });
}

KAVO_API int32_t kavo_select_item(const char* item_id) {
  return guard_status("out of memory", [&] { return selection_call([&] { return select_item(item_id); }); });
}

KAVO_API int32_t kavo_select_imdb(const char* imdb_id) {
  return guard_status("out of memory", [&] { return selection_call([&] { return select_imdb(imdb_id); }); });
}

KAVO_API int32_t kavo_select_source(const char* source_key) {
  return guard_status("out of memory",
                      [&] { return selection_call([&] { return select_source(source_key); }); });
}

KAVO_API int32_t kavo_clear(void) {
  clear_model();
  return succeed();
}

KAVO_API void kavo_shutdown(void) {
  clear_model();
  // What the model, the loaders and the documents keep for the next
  // rebuild goes too.
  release_model_memory();
  release_input_memory();
  release_lint_document();
  release_document_memory();
  release_rows_memory();
  succeed();
}

}  // extern "C"
