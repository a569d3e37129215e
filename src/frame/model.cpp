#include "frame/model.h"

#include "frame/json_lookup.h"

namespace kavo {

std::vector<Cand> s_cand;


void free_item(Item* item) noexcept {
  if (item == nullptr) return;
  for (Text* t : {&item->id, &item->title, &item->imdb_id, &item->poster_url, &item->backdrop_url,
                  &item->plot, &item->path, &item->folder, &item->backend_id, &item->air_date,
                  &item->server_key}) {
    t->reset();
  }
  std::vector<Text>().swap(item->genres);
  std::vector<Source>().swap(item->sources);
}

void free_row(Row* row) noexcept {
  if (row == nullptr) return;
  row->key.reset();
  row->title.reset();
  std::vector<Cell>().swap(row->cells);
}

template <class T>
static void release_array(std::vector<T>& array) noexcept {
  std::vector<T>().swap(array);
}

void clear_model() noexcept {
  s_home_doc.reset();
  // The large record arrays and maps keep their memory for the next filling
  // (release_model_memory frees it); the rest goes.
  s_items.clear();
  s_watch.clear();
  s_lib.clear();
  s_model.store = Store();
  release_array(s_rows);
  release_array(s_basics);
  s_by_id.empty();
  s_by_imdb.empty();
  s_basic_imdb.release();
  s_seen_id.empty();
  for (Text* doc : {&s_result_json, &s_stats_json, &s_flags_json, &s_watchlist_json, &s_bh_json,
                    &s_detail_json}) {
    doc->reset();
  }
  s_sel = -1;
  s_rejected = 0;
  s_have_home = 0;
  // Last: the records referring to these texts are gone.
  s_item_texts.reset();
  s_lib_texts.reset();
  s_watch_texts.reset();
  s_basic_texts.reset();
}

void release_model_memory() noexcept {
  release_array(s_items);
  release_array(s_watch);
  release_array(s_lib);
  s_by_id.release();
  s_by_imdb.release();
  s_seen_id.release();
  s_item_texts.release();
  s_lib_texts.release();
  s_watch_texts.release();
  s_basic_texts.release();
}

bool dismissed_since(const char* id, int64_t updated_ms) noexcept {
  const Dismissals& d = s_model.store.dismissed;
  int32_t at = -1;
  if (id == nullptr || d.by_id.get(id, &at) != 0 || at < 0) return false;
  return updated_ms < 0 || updated_ms <= d.at[static_cast<std::size_t>(at)];
}

int32_t item_index_of(const char* id) {
  if (id == nullptr) return -1;
  int32_t index = -1;
  if (s_by_id.get(id, &index) == 0) return index;
  for (int32_t i = 0; i < n_items(); ++i) {
    const Text& item_id = s_items[static_cast<std::size_t>(i)].id;
    if (item_id && ci_cmp(item_id.get(), id) == 0) return i;
  }
  return -1;
}

}  // namespace kavo
