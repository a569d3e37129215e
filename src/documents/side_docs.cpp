// The three small documents the host reads straight from the server home:
// server flags, watchlist and browse history.
#include <cstring>
#include <string>

#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/ids.h"
#include "frame/json_lookup.h"

namespace kavo {

namespace {

constexpr char kFlagPrefix[] = "FeatureFlags_";
constexpr std::size_t kFlagPrefixLen = sizeof(kFlagPrefix) - 1;

// The string values of the server's "List" that the side documents use; the
// last element carrying a name decides.
struct ListValues {
  yyjson_val* high_speed = nullptr;
  yyjson_val* velora_plus = nullptr;
  yyjson_val* watchlist = nullptr;
  yyjson_val* browse_history = nullptr;
};

ListValues scan_list(yyjson_val* list) {
  ListValues out;
  if (!yyjson_is_arr(list)) return out;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(list, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    yyjson_val* id = obj_get(element, "Id");
    yyjson_val* value = obj_get(element, "Value");
    if (!yyjson_is_str(id) || !yyjson_is_str(value)) continue;
    const char* name = yyjson_get_str(id);
    if (ci_cmp(name, "HighSpeedServer") == 0) {
      out.high_speed = value;
    } else if (ci_cmp(name, "NewToVELORA") == 0) {
      out.velora_plus = value;
    } else if (ci_cmp(name, "MyWatchlist") == 0) {
      out.watchlist = value;
    } else if (ci_cmp(name, "BrowseHistory") == 0) {
      out.browse_history = value;
    }
  }
  return out;
}

// An array of the split ids of a string value (empty without one).
yyjson_mut_val* ids_array(yyjson_mut_doc* doc, yyjson_val* value) {
  yyjson_mut_val* array = yyjson_mut_arr(doc);
  if (array == nullptr || value == nullptr) return array;
  try {
    for (const std::string& id : split_ids(yyjson_get_str(value))) {
      yyjson_mut_arr_add_strncpy(doc, array, id.data(), id.size());
    }
  } catch (...) {
    // Out of memory while splitting: the list stays short, the document is
    // still written and freed.
  }
  return array;
}

yyjson_mut_val* level30_ids(yyjson_mut_doc* doc, yyjson_val* level30s) {
  yyjson_mut_val* array = yyjson_mut_arr(doc);
  if (array == nullptr || !yyjson_is_arr(level30s)) return array;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(level30s, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    yyjson_val* id = obj_get(element, "IMDbID");
    if (id == nullptr) id = obj_get(element, "IMDbId");
    if (yyjson_is_str(id)) {
      yyjson_mut_arr_add_strncpy(doc, array, yyjson_get_str(id), yyjson_get_len(id));
    }
  }
  return array;
}

yyjson_mut_val* feature_flags(yyjson_mut_doc* doc, yyjson_val* extents) {
  yyjson_mut_val* object = yyjson_mut_obj(doc);
  if (object == nullptr || !yyjson_is_arr(extents)) return object;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(extents, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    yyjson_val* id = obj_get(element, "Id");
    if (!yyjson_is_str(id)) continue;
    const char* name = yyjson_get_str(id);
    std::size_t len = yyjson_get_len(id);
    if (len < kFlagPrefixLen || std::memcmp(name, kFlagPrefix, kFlagPrefixLen) != 0) continue;
    yyjson_val* value = obj_get(element, "Value");
    const char* text = yyjson_is_str(value) ? yyjson_get_str(value) : "";
    std::size_t text_len = yyjson_is_str(value) ? yyjson_get_len(value) : 0;
    // Added, never replaced: a name that comes twice is written twice.
    yyjson_mut_obj_add(object, yyjson_mut_strncpy(doc, name + kFlagPrefixLen, len - kFlagPrefixLen),
                       yyjson_mut_strncpy(doc, text, text_len));
  }
  return object;
}

// The watchlist and browse history documents: the value text and its ids.
Text key_ids_doc(yyjson_val* value) {
  Text text;
  write_object_doc(
      text,
      [value](yyjson_mut_doc* doc, yyjson_mut_val* root) {
        const char* key = value ? yyjson_get_str(value) : "";
        std::size_t key_len = value ? yyjson_get_len(value) : 0;
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "key"), yyjson_mut_strncpy(doc, key, key_len));
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "ids"), ids_array(doc, value));
      },
      "{}");
  return text;
}

}  // namespace

void build_side_jsons() {
  s_flags_json.reset();
  s_watchlist_json.reset();
  s_bh_json.reset();
  if (!s_have_home || s_home_doc == nullptr) return;
  yyjson_val* home = yyjson_doc_get_root(s_home_doc.get());
  ListValues list = scan_list(obj_get(home, "List"));
  yyjson_val* level30s = obj_get(home, "Level30s");
  yyjson_val* extents = obj_get(home, "ExtentList");

  // Without even a flags document, the other two stay none as well.
  const bool created = write_object_doc(
      s_flags_json,
      [&](yyjson_mut_doc* doc, yyjson_mut_val* root) {
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "high_speed_ids"), ids_array(doc, list.high_speed));
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "velora_plus_ids"),
                           ids_array(doc, list.velora_plus));
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "chromecast_ids"), yyjson_mut_arr(doc));
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "level30_ids"), level30_ids(doc, level30s));
        yyjson_mut_obj_add(root, yyjson_mut_str(doc, "feature_flags"), feature_flags(doc, extents));
      },
      "{}");
  if (!created) return;

  s_watchlist_json = key_ids_doc(list.watchlist);
  s_bh_json = key_ids_doc(list.browse_history);
}

}  // namespace kavo
