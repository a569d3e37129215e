// Watch progress: the host's array of watch entries, read into s_watch.
#include <cstring>
#include <utility>

#include "documents/documents.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"
#include "rows/rows.h"

namespace kavo {

namespace {

const char* const k_watch_item_id[] = {"item_id", "ItemId", "id", nullptr};
const char* const k_watch_imdb[] = {"imdb_id", "imdbId", "IMDbId", "imDbID", "IMDbID", nullptr};
const char* const k_watch_source[] = {"source", "Source", "src", nullptr};
const char* const k_watch_key[] = {"key", "Key", nullptr};
const char* const k_watch_season[] = {"season", "Season", "p5", nullptr};
const char* const k_watch_episode[] = {"episode", "Episode", "p6", nullptr};
const char* const k_watch_position[] = {"position_s", "position", "Position", "positionSeconds",
                                        nullptr};
const char* const k_watch_duration[] = {"duration_s", "duration", "Duration", "durationSeconds",
                                        nullptr};
const char* const k_watch_fraction[] = {"fraction", "Fraction", "value", "Value", nullptr};
const char* const k_watch_finished[] = {"finished", "Finished", "isFinished", nullptr};
const char* const k_watch_updated[] = {"updated_ms", "UpdatedAt", "updatedAt", "recordUpdated",
                                       nullptr};
const char* const k_watch_size[] = {"size", "Size", "p7", nullptr};

const KeySchema& watch_schema() {
  static const KeySchema schema({k_watch_item_id, k_watch_imdb, k_watch_source, k_watch_key, k_watch_season,
                                 k_watch_episode, k_watch_position, k_watch_duration, k_watch_fraction,
                                 k_watch_finished, k_watch_updated, k_watch_size});
  return schema;
}

// The update time under `keys` through any member lookup: a date-time text
// reads by the date-time rule, anything else as js_ll_first reads it.
template <class Lookup>
int find_update_ms(const Lookup& get, KeyList keys, int64_t* out) noexcept {
  for (KeyList k = keys; *k != nullptr; ++k) {
    yyjson_val* value = get(*k);
    if (yyjson_is_str(value) && looks_like_datetime(yyjson_get_str(value))) {
      *out = parse_datetime_ms(yyjson_get_str(value));
      return 0;
    }
    if (val_ll(value, out) == 0) return 0;
  }
  return 1;
}

// Reads one watch element into `rec`; false when it tells nothing about
// progress (no position, no fraction, no finished flag).
bool read_watch_entry(yyjson_val* element, WatchRec* rec) {
  // One index of the members serves the dozens of key lookups below.
  const SchemaIndex get(watch_schema(), element);
  find_str(get, k_watch_item_id, &rec->item_id);
  find_str(get, k_watch_imdb, &rec->imdb_id);
  find_str(get, k_watch_source, &rec->source);
  find_str(get, k_watch_key, &rec->key);
  find_int(get, k_watch_season, &rec->season);
  find_int(get, k_watch_episode, &rec->episode);
  find_dbl(get, k_watch_position, &rec->position_s);
  find_dbl(get, k_watch_duration, &rec->duration_s);
  find_dbl(get, k_watch_fraction, &rec->fraction);
  int finished = 0;
  if (find_bool(get, k_watch_finished, &finished) == 0) rec->finished = finished ? 1 : 0;
  find_update_ms(get, k_watch_updated, &rec->updated_ms);
  find_ll(get, k_watch_size, &rec->size);
  return !(rec->position_s < 0 && rec->fraction < 0 && rec->finished == -1);
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool looks_like_datetime(const char* text) noexcept {
  if (text == nullptr) return false;
  const char* p = text;
  while (is_space(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  return p != digits && *p == '-';
}

int read_update_ms(yyjson_val* object, KeyList keys, int64_t* out) noexcept {
  return find_update_ms([object](const char* key) { return obj_get(object, key); }, keys, out);
}

int watch_ensure_room() noexcept { return ensure_room(s_watch); }

int32_t load_watch_element(yyjson_val* element) {
  if (!yyjson_is_obj(element)) {
    ++s_rejected;
    return kOk;
  }
  // The entry's texts go to the watch table's arena; an entry turned away
  // gives them back at once.
  const TextArena::Mark mark = s_watch_texts.mark();
  bool taken = false;
  {
    WatchRec rec;
    {
      ArenaScope scope(&s_watch_texts);
      taken = read_watch_entry(element, &rec);
    }
    if (taken) {
      if (watch_ensure_room() != 0) return fail(kNoMemory, "out of memory");
      s_watch.push_back(std::move(rec));
    }
  }
  if (!taken) {
    s_watch_texts.rollback(mark);
    ++s_rejected;
  }
  return kOk;
}

namespace {

// Appends the entries of a parsed watch array.
int32_t set_watch_value(yyjson_val* root) {
  if (!yyjson_is_arr(root)) return fail(kBadJson, "watch: expected an array");
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(root, idx, max, element) {
    const int32_t rc = load_watch_element(element);
    if (rc != kOk) return rc;
  }
  return kOk;
}

}  // namespace

int32_t set_watch(const char* json) {
  // Replace, never merge: the host's entries and the server progress alike.
  s_watch.clear();
  s_watch_texts.reset();
  if (json != nullptr) {
    yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(json), std::strlen(json), 0, nullptr,
                                       nullptr);
    if (doc == nullptr) return fail(kBadJson, "watch: not valid JSON");
    int32_t rc = set_watch_value(yyjson_doc_get_root(doc));
    yyjson_doc_free(doc);
    if (rc != kOk) return rc;
  }
  rebuild_rows();
  rebuild_result();
  return succeed();
}

}  // namespace kavo
