// The host's store: favourites (which feed the Favourites row) and playlists.
#include <algorithm>
#include <cstring>
#include <utility>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

const char* const k_fav_token[] = {"token", "Token", nullptr};
const char* const k_fav_metadata[] = {"metadata", "Metadata", nullptr};
const char* const k_fav_display[] = {"display_name", "DisplayName", "display", nullptr};
const char* const k_pl_key[] = {"key", "Key", nullptr};
const char* const k_pl_name[] = {"name", "Name", nullptr};
const char* const k_pl_ids[] = {"imdbids", "ids", "Ids", "value", "Value", nullptr};

// The members of the store itself, read by name alone.
const char* const k_store_members[] = {"favourites", "favorites", "playlists", "dismissed", nullptr};

const KeyList k_store_key_lists[] = {k_store_members};
const KeyList k_favourite_key_lists[] = {k_fav_token, k_fav_metadata, k_fav_display};
const KeyList k_playlist_key_lists[] = {k_pl_key, k_pl_name, k_pl_ids};

// Reads the records of a list (none when `array` is NULL) into `table`, each
// element with `read`; false when the table cannot be allocated.
template <class Record, class Read>
bool read_records(yyjson_val* array, std::vector<Record>& table, Read read) {
  if (array == nullptr) return true;
  try {
    table.reserve(std::max<std::size_t>(1, yyjson_arr_size(array)));
  } catch (...) {
    return false;
  }
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(array, idx, max, element) {
    Record rec;
    // Within the reserved room: no reallocation, so no throw.
    if (read(element, &rec) == Refusal::kTaken) table.push_back(std::move(rec));
  }
  return true;
}

// Reads the dismissals: item id -> time of the dismissal, the first member of
// a name deciding (one without a usable time dismisses nothing). False when
// their tables cannot be allocated.
bool read_dismissals(yyjson_val* root, Dismissals& out) {
  yyjson_val* object = obj_get(root, k_store_members[3]);
  if (!yyjson_is_obj(object) || yyjson_obj_size(object) == 0) return true;
  const std::size_t names = std::min<std::size_t>(yyjson_obj_size(object), kMaxRecords);
  // Room for every name at half load: the map never grows while filled.
  if (!out.by_id.reset(2 * names + 16)) return false;
  try {
    out.at.reserve(names);
  } catch (...) {
    return false;
  }
  ArenaScope scope(&out.texts);
  std::size_t idx = 0, max = 0, kept = 0;
  yyjson_val *key = nullptr, *value = nullptr;
  yyjson_obj_foreach(object, idx, max, key, value) {
    if (kept == names) break;
    // Names are compared as the model keeps item ids: cut to its text length.
    const TextArena::Mark mark = out.texts.mark();
    const Text copy = xstrndup(yyjson_get_str(key), yyjson_get_len(key));
    if (!copy) return false;
    int32_t seen = 0;
    if (out.by_id.get(copy.get(), &seen) == 0) {
      out.texts.rollback(mark);
      continue;
    }
    int64_t at = 0;
    int32_t slot = -1;
    if (val_ll(value, &at) == 0) {
      slot = static_cast<int32_t>(out.at.size());
      out.at.push_back(at);
    }
    out.by_id.put_borrowed(copy.get(), slot, false);
    ++kept;
  }
  return true;
}

}  // namespace

std::span<const KeyList> store_key_lists() noexcept { return k_store_key_lists; }
std::span<const KeyList> favourite_key_lists() noexcept { return k_favourite_key_lists; }
std::span<const KeyList> playlist_key_lists() noexcept { return k_playlist_key_lists; }

yyjson_val* store_favourites(yyjson_val* store) noexcept {
  // "favorites" is looked at only when "favourites" is absent altogether.
  yyjson_val* array = obj_get(store, k_store_members[0]);
  if (array == nullptr) array = obj_get(store, k_store_members[1]);
  return yyjson_is_arr(array) ? array : nullptr;
}

yyjson_val* store_playlists(yyjson_val* store) noexcept {
  yyjson_val* array = obj_get(store, k_store_members[2]);
  return yyjson_is_arr(array) ? array : nullptr;
}

Refusal read_favourite(yyjson_val* element, FavRec* out) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  if (js_str_first(element, k_fav_token, &out->token) != 0 || !out->token) return Refusal::kNoToken;
  js_str_first(element, k_fav_metadata, &out->metadata);
  js_str_first(element, k_fav_display, &out->display_name);
  return Refusal::kTaken;
}

Refusal read_playlist(yyjson_val* element, PlaylistRec* out) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  if (js_str_first(element, k_pl_key, &out->key) != 0 || !out->key) return Refusal::kNoKey;
  js_str_first(element, k_pl_name, &out->name);
  js_str_first(element, k_pl_ids, &out->imdbids);
  return Refusal::kTaken;
}

int32_t load_store_value(yyjson_val* root, Store* out) {
  if (!(read_records(store_favourites(root), out->favs, read_favourite) &&
        read_records(store_playlists(root), out->pls, read_playlist) && read_dismissals(root, out->dismissed))) {
    return fail(kNoMemory, "oom");
  }
  return kOk;
}

int32_t read_store(const char* json) {
  Store staged;
  if (json != nullptr) {
    const JsonDoc doc = read_json(json, std::strlen(json));
    if (!doc) return fail(kBadJson, "store: not valid JSON");
    yyjson_val* root = yyjson_doc_get_root(doc.get());
    if (!yyjson_is_obj(root)) return fail(kBadJson, "store: root not object");
    const int32_t rc = load_store_value(root, &staged);
    if (rc != kOk) return rc;
  }
  std::swap(s_model.store, staged);
  return kOk;
}

}  // namespace kavo
