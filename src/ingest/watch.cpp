// Watch progress: the host's array of watch entries. A call replaces the
// host's entries whole and keeps the ones made from the held server home.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "frame/json_lookup.h"
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

// The host's entries are the front of the table: the server's come after.
std::size_t host_count() {
  std::size_t n = s_watch.size();
  while (n > 0 && s_watch[n - 1].from_server_home) --n;
  return n;
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
    if (staged.entries.size() >= room || ensure_room(staged.entries) != 0) {
      return fail(kNoMemory, "out of memory");
    }
    staged.entries.push_back(std::move(rec));
  }
  return kOk;
}

}  // namespace

int32_t read_host_watch(const char* json) {
  StagedWatch& staged = s_staged_watch;
  staged.empty();
  const std::size_t hosts = host_count();
  const int32_t kept = static_cast<int32_t>(s_watch.size() - hosts);
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
  for (std::size_t i = hosts; i < s_watch.size(); ++i) staged.entries.push_back(std::move(s_watch[i]));
  s_watch.swap(staged.entries);
  s_watch_texts.swap(staged.texts);
  s_model.watch.host_index.ready = false;
  s_rejected += staged.rejected;
  staged.empty();
  return kOk;
}

namespace {

using HostIndex = Watch::HostIndex;

// The IMDb id with season and episode of an entry as one text, or none when
// it lacks one of them.
std::string episode_key(const WatchRec& w) {
  if (!w.imdb_id || w.season == -1 || w.episode == -1) return std::string();
  char numbers[32];
  std::snprintf(numbers, sizeof numbers, "\x1f%d\x1f%d", w.season, w.episode);
  return std::string(w.imdb_id.get()) + numbers;
}

// Stores `key` in a map of the index; an index that misses a key would send
// an update to the wrong entry, so a key that cannot be stored fails the
// call.
void index_key(Ht& map, const char* key, int32_t pos, bool borrow) {
  if (borrow) {
    map.put_borrowed(key, pos, false);
  } else {
    map.put(key, pos, false);
  }
  int32_t found = -1;
  if (map.get(key, &found) != 0) throw std::bad_alloc();
}

// Files entry `pos` under its identifiers, unless an earlier entry holds one
// already (entries are filed in table order).
void file_entry(HostIndex& index, int32_t pos) {
  const WatchRec& w = s_watch[static_cast<std::size_t>(pos)];
  if (w.key) index_key(index.by_key, w.key.get(), pos, true);
  if (w.item_id) index_key(index.by_item, w.item_id.get(), pos, true);
  const std::string episode = episode_key(w);
  if (!episode.empty()) index_key(index.by_episode, episode.c_str(), pos, false);
}

void make_index(HostIndex& index, std::size_t hosts) {
  index.ready = false;
  const std::size_t cap = 2 * hosts + 16;
  if (!(index.by_key.reset(cap) && index.by_item.reset(cap) && index.by_episode.reset(cap))) {
    throw std::bad_alloc();
  }
  for (std::size_t i = 0; i < hosts; ++i) file_entry(index, static_cast<int32_t>(i));
  index.ready = true;
}

// The host entry an update replaces: the first with its key when it has one,
// else the first with its item id, else the first with its IMDb id, season
// and episode; -1 for none.
int32_t matching_entry(const HostIndex& index, const WatchRec& update) {
  int32_t pos = -1;
  if (update.key) return index.by_key.get(update.key.get(), &pos) == 0 ? pos : -1;
  if (update.item_id) return index.by_item.get(update.item_id.get(), &pos) == 0 ? pos : -1;
  const std::string episode = episode_key(update);
  if (!episode.empty() && index.by_episode.get(episode.c_str(), &pos) == 0) return pos;
  return -1;
}

bool same_identifiers(const WatchRec& a, const WatchRec& b) {
  return same_text(a.key.get(), b.key.get()) && same_text(a.item_id.get(), b.item_id.get()) &&
         episode_key(a) == episode_key(b);
}

// What an update changed, to be undone when it fails part-way.
class UpdateUndo {
 public:
  UpdateUndo(std::size_t hosts) : hosts_(hosts), mark_(s_watch_texts.mark()), rejected_(s_rejected) {}
  ~UpdateUndo() {
    if (kept_) return;
    // Latest first, so that an entry appended and then replaced comes back
    // before the appended ones go.
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) {
      s_watch[static_cast<std::size_t>(it->first)] = std::move(it->second);
    }
    s_watch.erase(s_watch.begin() + static_cast<std::ptrdiff_t>(hosts_),
                  s_watch.begin() + static_cast<std::ptrdiff_t>(hosts_ + appended_));
    s_model.watch.host_index.ready = false;  // made again when next needed
    s_watch_texts.rollback(mark_);
    s_rejected = rejected_;
  }
  UpdateUndo(const UpdateUndo&) = delete;
  UpdateUndo& operator=(const UpdateUndo&) = delete;

  // Room for one more replaced entry, made before the entry is moved out.
  void make_room() { replaced_.reserve(replaced_.size() + 1); }
  void replaced(int32_t pos, WatchRec& old) noexcept { replaced_.emplace_back(pos, std::move(old)); }
  void appended() { ++appended_; }
  void keep() { kept_ = true; }

 private:
  std::size_t hosts_;
  std::size_t appended_ = 0;
  TextArena::Mark mark_;
  int32_t rejected_;
  std::vector<std::pair<int32_t, WatchRec>> replaced_;
  bool kept_ = false;
};

}  // namespace

int32_t read_watch_update(const char* json) {
  std::vector<ReplacedEntry> replaced;
  bool appended = false;
  return read_watch_update(json, &replaced, &appended);
}

int32_t read_watch_update(const char* json, std::vector<ReplacedEntry>* replaced, bool* appended) {
  replaced->clear();
  *appended = false;
  if (json == nullptr) return kOk;
  const JsonDoc doc = read_json(json, std::strlen(json));
  if (!doc) return fail(kBadJson, "watch: not valid JSON");
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  if (!yyjson_is_arr(root)) return fail(kBadJson, "watch: expected an array");

  std::size_t hosts = host_count();
  HostIndex& index = s_model.watch.host_index;
  if (!index.ready) make_index(index, hosts);
  UpdateUndo undo(hosts);
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(root, idx, max, element) {
    WatchRec rec;
    if (read_watch_element(element, s_watch_texts, &rec) != Refusal::kTaken) {
      ++s_rejected;
      continue;
    }
    const int32_t pos = matching_entry(index, rec);
    if (pos >= 0) {
      // Replaced in its place; when its identifiers change, where the others
      // first stand may change too.
      WatchRec& entry = s_watch[static_cast<std::size_t>(pos)];
      const bool refile = !same_identifiers(entry, rec);
      if (std::none_of(replaced->begin(), replaced->end(), [pos](const ReplacedEntry& r) { return r.pos == pos; })) {
        const bool local = entry.source && ci_cmp(entry.source.get(), "local_store") == 0;
        replaced->push_back(ReplacedEntry{pos, entry.item_index, entry.updated_ms, local});
      }
      undo.make_room();
      undo.replaced(pos, entry);
      entry = std::move(rec);
      if (refile) make_index(index, hosts);
      continue;
    }
    if (s_watch.size() >= static_cast<std::size_t>(kMaxRecords)) return fail(kNoMemory, "out of memory");
    s_watch.insert(s_watch.begin() + static_cast<std::ptrdiff_t>(hosts), std::move(rec));
    *appended = true;
    undo.appended();
    file_entry(index, static_cast<int32_t>(hosts));
    ++hosts;
  }
  undo.keep();
  return kOk;
}

void release_staged_watch() noexcept { s_staged_watch = StagedWatch(); }

}  // namespace kavo
