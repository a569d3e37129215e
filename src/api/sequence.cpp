#include "api/sequence.h"

#include <vector>

#include "documents/documents.h"
#include "frame/model.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "rows/rows.h"

namespace kavo {

namespace {
bool s_full_rebuilds = false;
}  // namespace

void set_full_rebuilds(bool on) noexcept { s_full_rebuilds = on; }

void rebuild_after_input() {
  s_model.changes.everything = true;
  rebuild_after_noted_changes();
}

void rebuild_after_noted_changes() {
  if (s_full_rebuilds) {
    // Everything from scratch, the library's link after the basics included.
    s_model.changes.everything = true;
    s_model.changes.library_linked = false;
  }
  update_rows();
  write_stats();
  rebuild_detail();
  result_changed();
}

void rebuild_after_selection() {
  rebuild_detail();
  result_changed();
}

namespace {

// The end of a successful input call.
int32_t rebuilt() {
  rebuild_after_noted_changes();
  return succeed();
}

}  // namespace

int32_t call_add_items(const char* json) {
  const int32_t rc = read_new_items(json);
  return rc != kOk ? rc : rebuilt();
}

int32_t call_set_library(const char* json) {
  const int32_t rc = read_library(json);
  if (rc != kOk) return rc;
  s_model.changes.library = true;
  return rebuilt();
}

namespace {

// Notes the host entries a call replaced in their places and appended, for
// the rebuild to join them alone; a table read whole, or entries noted
// before and not yet rebuilt, mean a whole join.
void note_entries(bool whole, std::vector<ReplacedEntry>& replaced, const Appended& appended) {
  Changes& changes = s_model.changes;
  if (whole || !changes.updated_entries.empty() || changes.appended.count > 0) {
    changes.watch = true;
  } else {
    changes.updated_entries.swap(replaced);
    changes.appended = appended;
  }
}

}  // namespace

int32_t call_set_watch(const char* json) {
  std::vector<ReplacedEntry> replaced;
  Appended appended;
  bool whole = true;
  const int32_t rc = read_host_watch(json, true, &replaced, &appended, &whole);
  if (rc != kOk) return rc;
  // An array that changed a few entries in their places, or added a few
  // after them, is noted as the progress updates of those entries would be.
  note_entries(whole, replaced, appended);
  return rebuilt();
}

int32_t call_update_watch(const char* json) {
  if (json == nullptr) return succeed();  // nothing to update, nothing to rebuild
  std::vector<ReplacedEntry> replaced;
  Appended appended;
  const int32_t rc = read_watch_update(json, &replaced, &appended);
  if (rc != kOk) return rc;
  note_entries(false, replaced, appended);
  return rebuilt();
}

int32_t call_set_server_home(const char* json) {
  const int32_t rc = read_server_home(json);
  if (rc != kOk) return rc;
  s_model.changes.home = true;
  build_side_jsons();
  return rebuilt();
}

int32_t call_set_store(const char* json) {
  const int32_t rc = read_store(json);
  if (rc != kOk) return rc;
  s_model.changes.store = true;
  return rebuilt();
}

int32_t call_load_inputs(const char* json) {
  if (json == nullptr) return fail(kBadArgument, "null inputs");
  // The load fills an empty model; the one from before comes back unless
  // the whole load succeeds.
  ModelAside before;
  const int32_t rc = read_inputs(json);
  if (rc != kOk) return rc;
  // The library fills what catalogue items lack before the basics do.
  link_library_first();
  build_side_jsons();
  rebuild_after_noted_changes();
  before.keep_new();
  return succeed();
}

}  // namespace kavo
