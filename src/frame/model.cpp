#include "frame/model.h"

#include <algorithm>

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

namespace {

// The kept lists, taken from the back: kept in reverse record order, they
// come back in record order.
struct ItemListPool {
  std::vector<std::vector<Source>> sources;
  std::vector<std::vector<Text>> genres;
};
ItemListPool s_item_lists;

// At most this many lists of each kind are kept: those of two full tables.
constexpr std::size_t kMaxKeptLists = 4 * static_cast<std::size_t>(kMaxRecords);

// A list is kept with its elements: they are destroyed when the list is
// taken, just before the taker fills its memory, so that the records going
// need not reach into every list's memory, which lies all over the heap.
template <class List>
void keep_list(std::vector<List>& pool, List& list) noexcept {
  if (list.capacity() == 0) return;
  if (pool.size() < pool.capacity()) pool.push_back(std::move(list));  // no reallocation
}

// Room for `more` lists, growing by at least half so that many small
// keeps stay linear; as far as memory and the limit allow.
template <class List>
void make_room(std::vector<List>& pool, std::size_t more) noexcept {
  const std::size_t want = pool.size() + more;
  if (more == 0 || want <= pool.capacity() || want > kMaxKeptLists) return;
  try {
    pool.reserve(std::min(std::max(want, pool.capacity() + pool.capacity() / 2), kMaxKeptLists));
  } catch (...) {
    // Kept as far as there is room.
  }
}

template <class List>
List take_list(std::vector<List>& pool) noexcept {
  if (pool.empty()) return List();
  List list = std::move(pool.back());
  pool.pop_back();
  list.clear();
  return list;
}

}  // namespace

void empty_records(std::vector<Item>& records) noexcept {
  if (records.empty()) return;
  ItemListPool& pool = s_item_lists;
  // Room for a list of each kind per record: at most a few records have
  // none, and counting them first would walk the records twice.
  make_room(pool.sources, records.size());
  make_room(pool.genres, records.size());
  // From the last record down, each giving its lists and going in one step.
  while (!records.empty()) {
    Item& it = records.back();
    keep_list(pool.sources, it.sources);
    keep_list(pool.genres, it.genres);
    records.pop_back();
  }
}

std::vector<Source> take_source_list() noexcept { return take_list(s_item_lists.sources); }
std::vector<Text> take_genre_list() noexcept { return take_list(s_item_lists.genres); }

void empty_model(Model& m) noexcept {
  m.home.doc.reset();
  // The catalogue's lists last, so that they come back first: a load reads
  // the items before the library, each taking a list of about its size.
  empty_records(m.library.entries);
  empty_records(m.catalogue.items);
  m.catalogue.unmatched.clear();
  m.catalogue.with_path.clear();
  m.catalogue.genre_texts.clear();
  m.catalogue.genre_runs.clear();
  // The large record arrays and maps keep their memory for the next filling
  // (release_model_memory frees it); the rest goes.
  m.watch.entries.clear();
  m.store = Store();
  release_array(m.rows.rows);
  release_array(m.home.basics);
  m.catalogue.by_id.empty();
  m.catalogue.by_imdb.empty();
  m.home.basic_imdb.release();
  m.catalogue.seen_id.empty();
  for (Text* doc : {&m.result_json, &m.rows.stats_json, &m.home.flags_json, &m.home.watchlist_json,
                    &m.home.bh_json, &m.selection.detail_json}) {
    doc->reset();
  }
  m.selection.index = -1;
  m.rejected = 0;
  m.result_stale = false;
  m.watch.host_index.ready = false;
  m.watch.host_index.by_key.empty();
  m.watch.host_index.by_item.empty();
  m.watch.host_index.by_episode.empty();
  m.watch.host_text = Watch::HostText();
  m.home.have = 0;
  m.changes = Changes();
  m.derived.valid = false;
  m.derived.sorted_ready = false;
  m.derived.continue_ready = false;
  m.derived.groups_ready = false;
  m.derived.unmatched = 0;
  m.derived.rows_refused = false;
  m.changed_items.all = true;
  m.changed_items.list.clear();
  m.changed_items.marked.clear();
  // Last: the records referring to these texts are gone.
  m.catalogue.texts.reset();
  m.library.texts.reset();
  m.watch.texts.reset();
  m.home.basic_texts.reset();
}

namespace {
uint64_t s_allocation_failures = 0;
}  // namespace

void note_allocation_failure() noexcept {
  s_model.derived.valid = false;
  ++s_allocation_failures;
}

uint64_t allocation_failures() noexcept { return s_allocation_failures; }

void mark_item_changed(int32_t index) noexcept {
  ChangedItems& c = s_model.changed_items;
  if (c.all || !valid_item_index(index)) return;
  // Past an eighth of the catalogue, checking every cell costs more than
  // writing them all.
  if (c.list.size() >= s_items.size() / 8 + 16) {
    c.all = true;
    return;
  }
  try {
    if (c.marked.size() < s_items.size()) c.marked.resize(s_items.size(), 0);
    if (c.marked[static_cast<std::size_t>(index)] != 0) return;
    c.list.push_back(index);
  } catch (...) {
    c.all = true;
    return;
  }
  c.marked[static_cast<std::size_t>(index)] = 1;
}

void forget_item_changes() noexcept {
  ChangedItems& c = s_model.changed_items;
  for (int32_t index : c.list) c.marked[static_cast<std::size_t>(index)] = 0;
  c.list.clear();
  c.all = false;
}

bool same_settings(const Settings& a, const Settings& b) noexcept { return a == b; }

void clear_model() noexcept { empty_model(s_model); }

void refile_item_lists() {
  s_unmatched_items.clear();
  s_path_items.clear();
  for (std::size_t i = 0; i < s_items.size(); ++i) {
    if (s_items[i].unmatched != 0) s_unmatched_items.push_back(static_cast<int32_t>(i));
    if (s_items[i].path) s_path_items.push_back(static_cast<int32_t>(i));
  }
}

namespace {

// An empty model whose arrays, maps and text blocks kept their memory: what a
// whole load fills instead of growing a new model from nothing.
Model s_spare_model;

}  // namespace

ModelAside::ModelAside() noexcept : saved_(std::move(s_model)) {
  s_model = std::move(s_spare_model);
}

ModelAside::~ModelAside() {
  if (!kept_) std::swap(s_model, saved_);
  // What is set aside now is the model that lost; emptied, it serves the next
  // load.
  empty_model(saved_);
  s_spare_model = std::move(saved_);
}

void release_model_memory() noexcept {
  s_spare_model = Model();
  s_item_lists = ItemListPool();
  s_model.derived = Derived();
  s_model.changed_items = ChangedItems();
  release_array(s_items);
  release_array(s_unmatched_items);
  release_array(s_path_items);
  release_array(s_model.catalogue.genre_texts);
  release_array(s_model.catalogue.genre_runs);
  release_array(s_watch);
  release_array(s_lib);
  s_by_id.release();
  s_by_imdb.release();
  s_seen_id.release();
  s_model.watch.host_index.by_key.release();
  s_model.watch.host_index.by_item.release();
  s_model.watch.host_index.by_episode.release();
  s_model.watch.host_text = Watch::HostText();
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
