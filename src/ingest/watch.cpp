// Watch progress: the host's array of watch entries. A call replaces the
// host's entries whole and keeps the ones made from the held server home.
#include <algorithm>
#include <cstring>
#include <utility>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

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

const KeyList k_watch_key_lists[] = {k_watch_item_id,  k_watch_imdb,     k_watch_source,   k_watch_key,
                                     k_watch_season,   k_watch_episode,  k_watch_position, k_watch_duration,
                                     k_watch_fraction, k_watch_finished, k_watch_updated,  k_watch_size};

const KeySchema& watch_schema() {
  static const KeySchema schema(k_watch_key_lists);
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

std::span<const KeyList> watch_key_lists() noexcept { return k_watch_key_lists; }

Text watch_item_id(yyjson_val* element) {
  Text id;
  js_str_first(element, k_watch_item_id, &id);
  return id;
}

bool looks_like_datetime(const char* text) noexcept {
  if (text == nullptr) return false;
  const char* p = text;
  while (is_space(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  return p != digits && *p == '-';
}

int watch_ensure_room() noexcept { return ensure_room(s_watch); }

Refusal read_watch_element(yyjson_val* element, TextArena& texts, WatchRec* rec) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  // The entry's texts go to `texts`; an entry turned away gives them back at
  // once.
  const TextArena::Mark mark = texts.mark();
  bool taken = false;
  {
    ArenaScope scope(&texts);
    taken = read_watch_entry(element, rec);
  }
  if (!taken) {
    *rec = WatchRec();
    texts.rollback(mark);
    return Refusal::kNoProgress;
  }
  return Refusal::kTaken;
}

int32_t load_watch_element(yyjson_val* element) {
  WatchRec rec;
  if (read_watch_element(element, s_watch_texts, &rec) != Refusal::kTaken) {
    ++s_rejected;
    return kOk;
  }
  if (watch_ensure_room() != 0) return fail(kNoMemory, "out of memory");
  s_watch.push_back(std::move(rec));
  return kOk;
}

namespace {

int32_t count_server_progress() {
  int32_t count = 0;
  for (const WatchRec& w : s_watch) count += w.from_server_home ? 1 : 0;
  return count;
}

// The host's entries of the next watch table, read aside so that a call that
// fails leaves the table as it was. Kept from call to call: its array and
// text blocks serve the next call, and it holds the entries the last commit
// replaced until then.
struct StagedWatch {
  std::vector<WatchRec> entries;
  TextArena texts;
  int32_t rejected = 0;

  void empty() noexcept {
    entries.clear();
    texts.reset();
    rejected = 0;
  }
};

StagedWatch s_staged_watch;

// Reads a watch array into `staged` with room left for `kept` entries after
// the host's; the failure's status and message when the array is no array or
// holds more usable entries than fit.
int32_t stage_watch_array(yyjson_val* root, int32_t kept, StagedWatch& staged) {
  if (!yyjson_is_arr(root)) return fail(kBadJson, "watch: expected an array");
  const std::size_t room = static_cast<std::size_t>(kMaxRecords - kept);
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(root, idx, max, element) {
    WatchRec rec;
    if (read_watch_element(element, staged.texts, &rec) != Refusal::kTaken) {
      ++staged.rejected;
      continue;
    }
    if (staged.entries.size() >= room) return fail(kNoMemory, "out of memory");
    if (staged.entries.size() == staged.entries.capacity()) {
      staged.entries.reserve(std::min(room, std::max<std::size_t>(64, 2 * staged.entries.size())));
    }
    staged.entries.push_back(std::move(rec));
  }
  return kOk;
}

}  // namespace

int32_t read_host_watch(const char* json) {
  StagedWatch& staged = s_staged_watch;
  staged.empty();
  const int32_t kept = count_server_progress();
  if (json != nullptr) {
    const JsonDoc doc = read_json(json, std::strlen(json));
    if (!doc) return fail(kBadJson, "watch: not valid JSON");
    const int32_t rc = stage_watch_array(yyjson_doc_get_root(doc.get()), kept, staged);
    if (rc != kOk) {
      staged.empty();
      return rc;
    }
  }
  // The server progress entries stay, after the host's, in their order.
  staged.entries.reserve(staged.entries.size() + static_cast<std::size_t>(kept));
  // Nothing below allocates: the table changes whole or not at all.
  for (WatchRec& w : s_watch) {
    if (w.from_server_home) staged.entries.push_back(std::move(w));
  }
  s_watch.swap(staged.entries);
  s_watch_texts.swap(staged.texts);
  s_rejected += staged.rejected;
  staged.empty();
  return kOk;
}

void release_staged_watch() noexcept { s_staged_watch = StagedWatch(); }

}  // namespace kavo
