// The host's store: favourites (which feed the Favourites row) and playlists.
#include <algorithm>
#include <cstring>
#include <utility>

#include "documents/documents.h"
#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"
#include "rows/rows.h"

namespace kavo {

namespace {

const char* const k_fav_token[] = {"token", "Token", nullptr};
const char* const k_fav_metadata[] = {"metadata", "Metadata", nullptr};
const char* const k_fav_display[] = {"display_name", "DisplayName", "display", nullptr};
const char* const k_pl_key[] = {"key", "Key", nullptr};
const char* const k_pl_name[] = {"name", "Name", nullptr};
const char* const k_pl_ids[] = {"imdbids", "ids", "Ids", "value", "Value", nullptr};

template <class T>
bool reserve_for(std::vector<T>& table, yyjson_val* array) {
  try {
    table.reserve(std::max<std::size_t>(1, yyjson_arr_size(array)));
  } catch (...) {
    return false;
  }
  return true;
}

// Reads the favourites; false when their table cannot be allocated.
bool read_favourites(yyjson_val* root) {
  // "favorites" is looked at only when "favourites" is absent altogether.
  yyjson_val* array = obj_get(root, "favourites");
  if (array == nullptr) array = obj_get(root, "favorites");
  if (!yyjson_is_arr(array)) return true;
  if (!reserve_for(s_favs, array)) return false;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(array, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    FavRec rec;
    if (js_str_first(element, k_fav_token, &rec.token) != 0 || !rec.token) continue;
    js_str_first(element, k_fav_metadata, &rec.metadata);
    js_str_first(element, k_fav_display, &rec.display_name);
    s_favs.push_back(std::move(rec));
  }
  return true;
}

bool read_playlists(yyjson_val* root) {
  yyjson_val* array = obj_get(root, "playlists");
  if (!yyjson_is_arr(array)) return true;
  if (!reserve_for(s_pls, array)) return false;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(array, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    PlaylistRec rec;
    if (js_str_first(element, k_pl_key, &rec.key) != 0 || !rec.key) continue;
    js_str_first(element, k_pl_name, &rec.name);
    js_str_first(element, k_pl_ids, &rec.imdbids);
    s_pls.push_back(std::move(rec));
  }
  return true;
}

}  // namespace

int32_t load_store_value(yyjson_val* root) {
  if (!(read_favourites(root) && read_playlists(root))) return fail(kNoMemory, "oom");
  return kOk;
}

int32_t set_store(const char* json) {
  std::vector<FavRec>().swap(s_favs);
  std::vector<PlaylistRec>().swap(s_pls);
  if (json != nullptr) {
    yyjson_doc* doc =
        yyjson_read_opts(const_cast<char*>(json), std::strlen(json), 0, nullptr, nullptr);
    if (doc == nullptr) return fail(kBadJson, "store: not valid JSON");
    yyjson_val* root = yyjson_doc_get_root(doc);
    if (!yyjson_is_obj(root)) {
      yyjson_doc_free(doc);
      return fail(kBadJson, "store: root not object");
    }
    const int32_t rc = load_store_value(root);
    yyjson_doc_free(doc);
    if (rc != kOk) return rc;
  }
  rebuild_rows();
  rebuild_result();
  return succeed();
}

}  // namespace kavo
