// Rows named by the server home: its id lists, genre lists, spotlights and
// collection playlists. These are the first rows of a rebuild, so the rows
// inserted here (Spotlight, Genre, Now Playing) and Continue Watching land in
// front of everything appended later.
#include <cstring>
#include <string>

#include "frame/ids.h"
#include "frame/json_lookup.h"
#include "rows/rows.h"

namespace kavo {

namespace {

// The string of a value, or NULL when it is none or no string.
const char* str_of(yyjson_val* value) { return yyjson_is_str(value) ? yyjson_get_str(value) : nullptr; }

// Iterates the object elements of an array value (others are skipped).
template <class F>
void each_object(yyjson_val* array, F&& body) {
  if (!yyjson_is_arr(array)) return;
  size_t idx, max;
  yyjson_val* el;
  yyjson_arr_foreach(array, idx, max, el) {
    if (yyjson_is_obj(el)) body(el);
  }
}

void server_lists(yyjson_val* list, std::vector<uint64_t>* misses) {
  each_object(list, [misses](yyjson_val* entry) {
    const char* id = str_of(obj_get(entry, "Id"));
    yyjson_val* value = obj_get(entry, "Value");
    const char* text = str_of(value);
    if (id == nullptr || text == nullptr || text[0] == '\0') return;
    if (ci_cmp(id, "MyWatched") == 0 || ci_cmp(id, "HighSpeedServer") == 0) return;
    s_cand.clear();
    if (ci_cmp(id, "MovieNowPlaying") == 0) {
      const int32_t row = row_insert(2, kNowPlaying, "MovieNowPlaying", "MovieNowPlaying");
      feed_ids_from_value(value, id, misses);
      sort_cands(CandOrder::kAddedDesc);
      flush_cands(row);
      return;
    }
    const int32_t row = row_push(kServerList, id, id);
    feed_ids_from_value(value, id, misses);
    flush_cands(row);
  });
}

void genre_row(yyjson_val* extent, std::vector<uint64_t>* misses) {
  int32_t row = -1;
  bool made = false;
  each_object(extent, [&](yyjson_val* entry) {
    const char* id = str_of(obj_get(entry, "Id"));
    yyjson_val* value = obj_get(entry, "Value");
    const char* text = str_of(value);
    if (id == nullptr || std::strncmp(id, "Genre_", 6) != 0 || text == nullptr || text[0] == '\0') return;
    if (!made) {
      made = true;
      row = row_insert(0, kGenre, "Genre", "Genre");
    }
    s_cand.clear();
    feed_ids_from_value(value, id + 6, misses);
    flush_cands(row);
  });
}

void spotlight_row(yyjson_val* spotlights, std::vector<uint64_t>* misses) {
  if (!yyjson_is_arr(spotlights) || yyjson_arr_size(spotlights) == 0) return;
  // The row made here is the only Spotlight row, and nothing moves it while
  // its entries are read; when the table refused it there is none and the
  // step ends.
  const int32_t row = row_insert(0, kSpotlight, "Spotlight", "Spotlight");
  if (row < 0) return;
  size_t idx, max;
  yyjson_val* entry;
  yyjson_arr_foreach(spotlights, idx, max, entry) {
    if (!yyjson_is_obj(entry)) continue;
    const char* items = str_of(obj_get(entry, "Items"));
    if (items == nullptr) continue;
    for (const std::string& token : split_ids(items)) {
      const int32_t index = home_item(token.c_str(), misses);
      if (index >= 0) {
        cell_from_item(row, index, -1);
      } else {
        cell_raw(row, token.c_str(), -1, token.c_str());
      }
    }
  }
}

void collections_row(yyjson_val* playlists) {
  if (!yyjson_is_arr(playlists) || yyjson_arr_size(playlists) == 0) return;
  const int32_t row = row_push(kCollections, "Collections", "Collections");
  each_object(playlists, [row](yyjson_val* entry) {
    yyjson_val* name = obj_get(entry, "Name");
    if (name == nullptr) name = obj_get(entry, "name");
    const char* text = str_of(name);
    cell_raw(row, text ? text : "Collection", -1, nullptr);
  });
}

}  // namespace

// The held server home's root, or NULL when there is none.
yyjson_val* rows_home_root() { return s_home_doc ? yyjson_doc_get_root(s_home_doc.get()) : nullptr; }

void build_server_rows() {
  std::vector<uint64_t>* misses = &s_model.derived.server_misses;
  misses->clear();
  yyjson_val* root = rows_home_root();
  if (root == nullptr) return;
  // All four members are looked up before any row is made.
  yyjson_val* list = obj_get(root, "List");
  yyjson_val* extent = obj_get(root, "ExtentList");
  yyjson_val* spotlights = obj_get(root, "Spotlights");
  yyjson_val* playlists = obj_get(root, "CollectionPlaylists");
  server_lists(list, misses);
  genre_row(extent, misses);
  spotlight_row(spotlights, misses);
  collections_row(playlists);
  settle_misses(misses);
}

}  // namespace kavo
