// Rows from the user's own material: Recently Added, Movies, TV Shows, one
// row per show, Folders, Favourites, Unmatched and Audio. Each is built from a
// fresh candidate list and appended; a row without candidates is not made
// (Favourites excepted, see below).
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "frame/json_lookup.h"
#include "rows/orders.h"
#include "rows/rows.h"

namespace kavo {

namespace {

void push_item(int32_t index) { cand_push_item(index, s_items[static_cast<std::size_t>(index)].added_ms); }

void push_library(const Item& entry) { cand_push_entry(entry); }

// Sorts the candidates by `order` and appends them as a row;
// no row when there are none.
void make_row(int32_t kind, const char* key, const char* title, CandOrder order) {
  if (s_cand.empty()) return;
  if (row_table_full()) {  // the row would be refused: drop the candidates unsorted
    flush_cands(-1);
    return;
  }
  // A fresh row stores at most the row cap of cells: only those need their
  // exact places.
  sort_cands_first(order, static_cast<std::size_t>(s_row_cap));
  flush_cands(row_push(kind, key, title));
}

const char* str_of(yyjson_val* value) { return yyjson_is_str(value) ? yyjson_get_str(value) : nullptr; }

bool is_episode_item(const Item& it) {
  return it.kind == kEpisode || (it.kind == kFile && it.episode > 0);
}

// How many of Folders, Favourites, Unmatched and Audio will be made: those
// that will have candidates.
int32_t store_rows_to_come() {
  bool folders = false, unmatched = false, audio = false;
  for (const Item& e : s_lib) {
    folders = folders || e.kind == kFolder;
    unmatched = unmatched || (e.catalogue_index < 0 && e.kind != kFolder);
    audio = audio || (e.kind == kFile && e.catalogue_index < 0 && e.is_audio_only != 0);
  }
  unmatched = unmatched || !s_unmatched_items.empty();
  return (folders ? 1 : 0) + (n_favs() > 0 ? 1 : 0) + (unmatched ? 1 : 0) + (audio ? 1 : 0);
}

bool is_show_item(const Item& it) { return it.kind == kShow && !(it.episode > 0); }

// The catalogue's part of Recently Added: every dated item, in index order;
// finished ones left out when the settings say so. Grouped by show, a show's
// dated episodes and show items give one candidate, where the first of them
// stands: the show's first show item in the catalogue (else its newest
// episode), dated by the newest of them.
// Whether an item is one of the catalogue's candidates for Recently Added.
bool pushed(const Item& it) {
  return it.added_ms >= 0 && !(s_settings.resume.recent_skip_finished != 0 && it.resume_action == kFinished);
}

void push_recent_items() {
  const int32_t ni = n_items();
  if (s_settings.resume.recent_group_shows == 0) {
    for (int32_t i = 0; i < ni; ++i) {
      if (pushed(s_items[static_cast<std::size_t>(i)])) push_item(i);
    }
    return;
  }
  struct Group {
    int32_t first;      // the member that places the group
    int32_t show;       // the first show item of the catalogue, -1 for none
    int32_t newest;     // the newest member episode
    int64_t added_ms;   // the newest member's time
  };
  std::vector<Group> groups;
  std::vector<int32_t> group_of(static_cast<std::size_t>(ni), -1);
  std::vector<int32_t> group_of_show(static_cast<std::size_t>(ni), -1);  // by imdb_group
  const auto group_for = [&](const Item& it) -> int32_t {
    int32_t& g = group_of_show[static_cast<std::size_t>(imdb_group(it))];
    if (g < 0) {
      g = static_cast<int32_t>(groups.size());
      groups.push_back(Group{-1, -1, -1, -1});
    }
    return g;
  };
  for (int32_t i = 0; i < ni; ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    const bool show = is_show_item(it);
    if (!it.imdb_id || !(show || is_episode_item(it))) continue;
    // Every show item stands for its show, dated or not.
    if (show) {
      Group& g = groups[static_cast<std::size_t>(group_for(it))];
      if (g.show < 0) g.show = i;
    }
    if (!pushed(it)) continue;
    const int32_t gi = group_for(it);
    Group& g = groups[static_cast<std::size_t>(gi)];
    group_of[static_cast<std::size_t>(i)] = gi;
    if (g.first < 0) g.first = i;
    if (it.added_ms > g.added_ms) g.added_ms = it.added_ms;
    if (!show && (g.newest < 0 || it.added_ms > s_items[static_cast<std::size_t>(g.newest)].added_ms)) g.newest = i;
  }
  for (int32_t i = 0; i < ni; ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    const int32_t gi = group_of[static_cast<std::size_t>(i)];
    if (gi < 0) {
      if (pushed(it)) push_item(i);
      continue;
    }
    const Group& g = groups[static_cast<std::size_t>(gi)];
    if (g.first != i) continue;
    const int32_t shown = g.show >= 0 ? g.show : g.newest;
    cand_push_item(shown, g.added_ms);
  }
}

// Recently Added without grouping by show. After the server home's
// candidates (already listed) come every dated item and every dated library
// entry left unlinked: far more than the row stores. They are ranked by
// their keys alone, as make_row would rank their candidates, and only those
// the row stores become cells; the rest are counted. Throws when memory
// runs out, before anything is made.
void make_recent_row_ungrouped() {
  const std::size_t n_home = s_cand.size();
  const std::size_t ni = s_items.size();
  std::vector<AddedKey> keys;
  keys.reserve(n_home + ni + s_lib.size());
  // A key's place says which candidate it stands for: those of the server
  // home, then the items, then the library entries, each in push order.
  for (std::size_t j = 0; j < n_home; ++j) keys.push_back(AddedKey{s_cand[j].added_ms, static_cast<int32_t>(j)});
  for (std::size_t i = 0; i < ni; ++i) {
    if (pushed(s_items[i])) keys.push_back(AddedKey{s_items[i].added_ms, static_cast<int32_t>(n_home + i)});
  }
  for (std::size_t k = 0; k < s_lib.size(); ++k) {
    const Item& e = s_lib[k];
    if (e.added_ms >= 0 && e.catalogue_index < 0) {
      keys.push_back(AddedKey{e.added_ms, static_cast<int32_t>(n_home + ni + k)});
    }
  }
  if (keys.empty()) return;
  if (row_table_full()) {  // the row would be refused
    flush_cands(-1);
    return;
  }
  // Ties go by place, which makes the order total: the first keys are the
  // same however they are found.
  const auto before = [](const AddedKey& a, const AddedKey& b) {
    const int c = AddedKey::order(a, b);
    return c < 0 || (c == 0 && a.pos < b.pos);
  };
  const std::size_t stored = std::min(keys.size(), static_cast<std::size_t>(std::max(s_row_cap, 0)));
  if (stored < keys.size()) {
    std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(stored), keys.end(), before);
  }
  std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(stored), before);
  const int32_t row = row_push(kRecentlyAdded, "RecentlyAdded", "Recently Added");
  std::size_t k = 0;
  if (row >= 0) {
    for (; k < keys.size() && s_rows[static_cast<std::size_t>(row)].emitted < s_row_cap; ++k) {
      const std::size_t pos = static_cast<std::size_t>(keys[k].pos);
      if (pos < n_home) {
        cell_of_cand(row, s_cand[pos]);
      } else if (pos < n_home + ni) {
        const int32_t index = static_cast<int32_t>(pos - n_home);
        cell_from_item(row, index, s_items[pos - n_home].added_ms);
      } else {
        const Item& e = s_lib[pos - n_home - ni];
        cell_raw(row, e.title.get(), e.added_ms, e.id.get());
      }
    }
    count_rest(row, static_cast<int32_t>(keys.size() - k));
  }
  cand_free_mem();
  s_cand.clear();
}

}  // namespace

void build_recently_added() {
  s_cand.clear();
  std::vector<uint64_t>* misses = &s_model.derived.recent_misses;
  misses->clear();
  if (yyjson_val* root = rows_home_root()) {
    yyjson_val* list = obj_get(root, "List");
    if (yyjson_is_arr(list)) {
      size_t idx, max;
      yyjson_val* entry;
      yyjson_arr_foreach(list, idx, max, entry) {
        if (!yyjson_is_obj(entry)) continue;
        const char* id = str_of(obj_get(entry, "Id"));
        yyjson_val* value = obj_get(entry, "Value");
        if (id == nullptr || ci_cmp(id, "NewToVELORA") != 0 || !yyjson_is_str(value)) continue;
        feed_ids_from_value(value, "NewToVELORA", misses);
      }
    }
    yyjson_val* level = obj_get(root, "Level30s");
    if (yyjson_is_arr(level)) {
      size_t idx, max;
      yyjson_val* entry;
      yyjson_arr_foreach(level, idx, max, entry) {
        if (!yyjson_is_obj(entry)) continue;
        yyjson_val* idv = obj_get(entry, "IMDbID");
        if (idv == nullptr) idv = obj_get(entry, "IMDbId");
        const char* id = str_of(idv);
        if (id == nullptr) continue;
        const int32_t index = home_item(id, misses);
        if (valid_item_index(index)) {
          cand_push(index, nullptr, s_items[static_cast<std::size_t>(index)].added_ms, id);
        } else {
          const char* file = str_of(obj_get(entry, "FileName"));
          cand_push(-1, file ? file : id, -1, id);
        }
      }
    }
  }
  settle_misses(misses);
  if (s_settings.resume.recent_group_shows == 0) {
    try {
      make_recent_row_ungrouped();
      return;
    } catch (const std::bad_alloc&) {
      note_allocation_failure();  // the candidates one by one, as far as memory allows
    }
  }
  push_recent_items();
  for (const Item& e : s_lib) {
    if (e.added_ms >= 0 && e.catalogue_index < 0) push_library(e);
  }
  make_row(kRecentlyAdded, "RecentlyAdded", "Recently Added", CandOrder::kAddedDesc);
}

bool grow_recently_added(int32_t first, const Row* old) {
  if (s_settings.resume.recent_group_shows != 0) return false;
  // The new items' candidates, in row order: they all have a time.
  std::vector<int32_t> fresh;
  for (int32_t i = first; i < n_items(); ++i) {
    if (pushed(s_items[static_cast<std::size_t>(i)])) fresh.push_back(i);
  }
  const auto added = [](int32_t index) { return s_items[static_cast<std::size_t>(index)].added_ms; };
  std::sort(fresh.begin(), fresh.end(),
            [&added](int32_t a, int32_t b) { return added(a) > added(b) || (added(a) == added(b) && a < b); });
  const std::size_t count = (old != nullptr ? static_cast<std::size_t>(old->cell_count) : 0) + fresh.size();
  if (count == 0 || row_table_full()) return true;
  const int32_t row = row_push(kRecentlyAdded, "RecentlyAdded", "Recently Added");
  if (row < 0) return true;
  // A new candidate goes before an old cell without a time, one with an
  // earlier time, and a library entry's of the same time (the entries come
  // after the catalogue's items); behind every other.
  const auto before = [&added](int32_t index, const Cell& c) {
    return c.added_ms < 0 || added(index) > c.added_ms || (added(index) == c.added_ms && c.item_index < 0);
  };
  // Past the old cells, only an old row that held all its candidates can
  // still have room: the new ones follow.
  const Row& r = s_rows[static_cast<std::size_t>(row)];
  const std::size_t n_old = old != nullptr ? old->cells.size() : 0;
  std::size_t i = 0, j = 0;
  while (r.emitted < s_row_cap && (i < n_old || j < fresh.size())) {
    if (j < fresh.size() && (i == n_old || before(fresh[j], old->cells[i]))) {
      cell_from_item(row, fresh[j], added(fresh[j]));
      ++j;
      continue;
    }
    const Cell& c = old->cells[i++];
    if (c.item_index >= 0) {
      cell_from_item(row, c.item_index, c.added_ms);
    } else {
      cell_raw(row, c.title.get(), c.added_ms, c.server_key.get());
    }
  }
  count_rest(row, static_cast<int32_t>(count - i - j));
  return true;
}

namespace {

// Items shown by Continue Watching (its stored cells only), which stay out
// of Movies and TV Shows.
std::vector<char> continue_cells() {
  std::vector<char> in_cw(static_cast<std::size_t>(n_items()), 0);
  for (const Row& r : s_rows) {
    if (r.kind != kContinueWatching) continue;
    for (const Cell& c : r.cells) {
      if (valid_item_index(c.item_index)) in_cw[static_cast<std::size_t>(c.item_index)] = 1;
    }
    break;  // the first such row only
  }
  return in_cw;
}

bool is_movie_item(const Item& it) { return it.kind == kMovie; }
bool is_show_row_item(const Item& it) { return it.kind == kShow && !(it.episode > 0); }

// Every item of the catalogue that `take` takes, in the order `order` gives
// their candidates.
// Throws when memory runs out, leaving no list.
template <class Take>
std::vector<int32_t> sorted_items(Take take, CandOrder order) {
  s_cand.clear();
  std::size_t taken = 0;
  for (int32_t i = 0; i < n_items(); ++i) {
    if (!take(s_items[static_cast<std::size_t>(i)])) continue;
    push_item(i);
    ++taken;
  }
  const bool complete = s_cand.size() == taken && sorted_cands(order);
  std::vector<int32_t> items;
  if (complete) {
    items.reserve(s_cand.size());
    for (const Cand& c : s_cand) items.push_back(c.item_index);
  }
  cand_free_mem();
  s_cand.clear();
  if (!complete) throw std::bad_alloc();
  return items;
}

// The row made of `sorted` (all its candidates in row order) less the items
// Continue Watching shows, as make_row makes it from those candidates.
// `left_out`: how many of `sorted` Continue Watching shows.
void row_of_sorted(const std::vector<int32_t>& sorted, const std::vector<char>& in_cw, std::size_t left_out,
                   int32_t kind, const char* key, const char* title) {
  int32_t row = -1;
  std::size_t k = 0;
  for (; k < sorted.size(); ++k) {
    const int32_t index = sorted[k];
    if (in_cw[static_cast<std::size_t>(index)] != 0) {
      --left_out;
      continue;
    }
    if (row < 0) {
      row = row_push(kind, key, title);
      if (row < 0) return;
    }
    const Row& r = s_rows[static_cast<std::size_t>(row)];
    if (r.emitted >= s_row_cap) break;
    cell_from_item(row, index, s_items[static_cast<std::size_t>(index)].added_ms);
  }
  if (row < 0) return;
  // The rest only counts, as the row cap refuses it.
  count_rest(row, static_cast<int32_t>(sorted.size() - k - left_out));
}

}  // namespace

void build_movie_and_show_lists() {
  const int32_t ni = n_items();
  const std::vector<char> in_cw = continue_cells();
  // One walk of the catalogue finds the candidates of both rows.
  std::vector<int32_t> shows;
  s_cand.clear();
  for (int32_t i = 0; i < ni; ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (in_cw[static_cast<std::size_t>(i)]) continue;
    if (is_movie_item(it)) push_item(i);
    if (is_show_row_item(it)) shows.push_back(i);
  }
  make_row(kMovies, "Movies", "Movies", catalogue_order());

  s_cand.clear();
  for (int32_t i : shows) push_item(i);
  make_row(kTvShows, "TVShows", "TV Shows", catalogue_order());
}

void build_movie_and_show_lists_sorted() {
  Derived& d = s_model.derived;
  if (!d.sorted_ready) {
    d.movies = sorted_items(is_movie_item, catalogue_order());
    d.shows = sorted_items(is_show_row_item, catalogue_order());
    d.sorted_ready = true;
  }
  const std::vector<char> in_cw = continue_cells();
  std::size_t movies_out = 0, shows_out = 0;
  for (std::size_t i = 0; i < in_cw.size(); ++i) {
    if (in_cw[i] == 0) continue;
    movies_out += is_movie_item(s_items[i]) ? 1 : 0;
    shows_out += is_show_row_item(s_items[i]) ? 1 : 0;
  }
  row_of_sorted(d.movies, in_cw, movies_out, kMovies, "Movies", "Movies");
  row_of_sorted(d.shows, in_cw, shows_out, kTvShows, "TVShows", "TV Shows");
}

namespace {

// The row of `kind` grown by the `fresh` items (new candidates, ascending)
// where `old` was the row of the candidates before them: the first cells
// of all candidates are the first of the old cells and the fresh ones
// merged, which go behind equal old ones as their indexes are higher.
void row_grown(const Row* old, std::vector<int32_t> fresh, int32_t kind, const char* key, const char* title) {
  const std::size_t count = (old != nullptr ? static_cast<std::size_t>(old->cell_count) : 0) + fresh.size();
  if (count == 0) return;
  std::vector<int32_t> firsts;
  if (old != nullptr) {
    firsts.reserve(old->cells.size() + fresh.size());
    for (const Cell& c : old->cells) firsts.push_back(c.item_index);
  }
  merge_sorted_items(firsts, std::move(fresh), catalogue_order());
  const int32_t row = row_push(kind, key, title);
  if (row < 0) return;
  std::size_t k = 0;
  for (; k < firsts.size() && s_rows[static_cast<std::size_t>(row)].emitted < s_row_cap; ++k) {
    cell_from_item(row, firsts[k], s_items[static_cast<std::size_t>(firsts[k])].added_ms);
  }
  count_rest(row, static_cast<int32_t>(count - k));
}

}  // namespace

std::vector<int32_t> cell_items(const Row* row) {
  std::vector<int32_t> items;
  if (row == nullptr) return items;
  for (const Cell& c : row->cells) {
    if (valid_item_index(c.item_index)) items.push_back(c.item_index);
  }
  std::sort(items.begin(), items.end());
  return items;
}

void build_movie_and_show_lists_after_growth(int32_t first, const Row* movies, const Row* shows,
                                             const std::vector<int32_t>& cw_before) {
  Derived& d = s_model.derived;
  std::vector<int32_t> new_movies, new_shows;
  for (int32_t i = first; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (is_movie_item(it)) new_movies.push_back(i);
    if (is_show_row_item(it)) new_shows.push_back(i);
  }
  if (!d.sorted_ready) {
    // Without the sorted lists: when Continue Watching shows the same items
    // (none of them new), the old items give the same candidates as before,
    // and the rows made then hold their first cells.
    const auto cw = std::find_if(s_rows.begin(), s_rows.end(),
                                 [](const Row& r) { return r.kind == kContinueWatching; });
    if (cell_items(cw != s_rows.end() ? &*cw : nullptr) != cw_before) return build_movie_and_show_lists();
    row_grown(movies, std::move(new_movies), kMovies, "Movies", "Movies");
    row_grown(shows, std::move(new_shows), kTvShows, "TVShows", "TV Shows");
    return;
  }
  d.sorted_ready = false;  // until both lists take the new items
  merge_sorted_items(d.movies, std::move(new_movies), catalogue_order());
  merge_sorted_items(d.shows, std::move(new_shows), catalogue_order());
  d.sorted_ready = true;
  build_movie_and_show_lists_sorted();
}

void build_catalogue_rows() {
  build_movie_and_show_lists();
  build_show_rows();
}

int32_t show_rows_wanted() {
  const Derived& d = s_model.derived;
  // The rows that follow keep their place at the row limit: the shows at the
  // end of the order give way to them.
  int32_t room = std::max(0, kMaxRows - n_rows() - d.store_rows_coming);
  if (s_settings.resume.show_rows_max >= 0) room = std::min(room, s_settings.resume.show_rows_max);
  return std::min(room, d.show_groups);
}

void note_store_rows_coming() { s_model.derived.store_rows_coming = store_rows_to_come(); }

namespace {

// Files the episode items from `first` on in the show groups, marking in
// `touched` (when not NULL) the groups that gain items. An item's show is
// found by its IMDb group, without reading its IMDb id.
void file_in_groups(int32_t first, std::vector<char>* touched) {
  Derived& d = s_model.derived;
  d.show_of.resize(s_items.size(), -1);
  for (int32_t i = first; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (!is_episode_item(it) || !it.imdb_id) continue;
    int32_t& g = d.show_of[static_cast<std::size_t>(imdb_group_at(i))];
    if (g < 0) {
      // Lists past the shows' count are spares, emptied, from an earlier
      // rebuild: one of them takes the new show, with the room it had.
      const std::size_t shows = d.group_first.size();
      if (d.group_members.size() == shows) d.group_members.emplace_back();
      d.group_members[shows].clear();
      d.group_first.push_back(i);
      g = static_cast<int32_t>(shows);
    }
    d.group_members[static_cast<std::size_t>(g)].push_back(i);
    if (touched != nullptr) {
      if (touched->size() <= static_cast<std::size_t>(g)) touched->resize(static_cast<std::size_t>(g) + 1, 0);
      (*touched)[static_cast<std::size_t>(g)] = 1;
    }
  }
}

constexpr std::size_t kAhead = 6;
void prefetch_item(int32_t index) {
  const Item& it = s_items[static_cast<std::size_t>(index)];
  __builtin_prefetch(&it.title);
  __builtin_prefetch(&it.season);
}

void make_show_row(std::size_t g) {
  const Derived& d = s_model.derived;
  const Item& first = s_items[static_cast<std::size_t>(d.group_first[g])];
  s_cand.clear();
  const std::vector<int32_t>& members = d.group_members[g];
  // The episodes lie all over the catalogue: asked for a few ahead.
  for (std::size_t k = 0; k < members.size() && k < kAhead; ++k) prefetch_item(members[k]);
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (k + kAhead < members.size()) prefetch_item(members[k + kAhead]);
    push_item(members[k]);
  }
  const char* key = first.imdb_id.get();
  make_row(kShowRow, key, first.title ? first.title.get() : key, episode_order());
}

}  // namespace

void build_show_rows() {
  // One row per show, in the order of each show's lowest-indexed episode
  // item.
  Derived& d = s_model.derived;
  d.groups_ready = false;
  d.group_first.clear();  // the member lists stay, as spares
  d.show_of.assign(s_items.size(), -1);
  file_in_groups(0, nullptr);
  d.groups_ready = true;
  d.show_groups = static_cast<int32_t>(d.group_first.size());
  d.store_rows_coming = store_rows_to_come();
  const std::size_t room = static_cast<std::size_t>(show_rows_wanted());
  for (std::size_t g = 0; g < d.group_first.size() && g < room; ++g) make_show_row(g);
}

void build_show_rows_keeping(int32_t first, std::vector<Row>& previous) {
  Derived& d = s_model.derived;
  if (!d.groups_ready) return build_show_rows();
  d.groups_ready = false;  // until the new items are filed
  std::vector<char> touched;
  file_in_groups(first, &touched);
  d.groups_ready = true;
  d.show_groups = static_cast<int32_t>(d.group_first.size());
  d.store_rows_coming = store_rows_to_come();
  const std::size_t room = static_cast<std::size_t>(show_rows_wanted());
  for (std::size_t g = 0; g < d.group_first.size() && g < room; ++g) {
    // The rows of the shows that gained nothing are as they were.
    if (g < previous.size() && !(g < touched.size() && touched[g] != 0)) {
      row_adopt(std::move(previous[g]));
    } else {
      make_show_row(g);
    }
  }
}

void build_store_rows() {
  s_cand.clear();
  for (const Item& e : s_lib) {
    if (e.kind == kFolder) push_library(e);
  }
  make_row(kFolders, "Folders", "Folders", CandOrder::kFolderNatural);

  // Favourites: pushed even when no token names a known item.
  s_cand.clear();
  for (const FavRec& f : s_favs) {
    int32_t index = -1;
    if (!f.token || s_by_id.get(f.token.get(), &index) != 0) index = -1;
    cand_push(index, f.display_name.get(), -1, f.token.get());
  }
  if (n_favs() > 0) {
    flush_cands(row_push(kFavourites, "Favourites", "Favourites"));
  }

  // The walks for the row count the unmatched entries and items as well.
  int32_t unmatched = 0;
  s_cand.clear();
  for (const Item& e : s_lib) {
    if (e.catalogue_index >= 0) continue;
    ++unmatched;
    if (e.kind != kFolder) push_library(e);
  }
  for (int32_t i : s_unmatched_items) {
    ++unmatched;
    push_item(i);
  }
  s_model.derived.unmatched = unmatched;
  make_row(kUnmatchedItems, "Unmatched", "Unmatched", CandOrder::kPushOrder);

  s_cand.clear();
  for (const Item& e : s_lib) {
    if (e.kind == kFile && e.catalogue_index < 0 && e.is_audio_only != 0) push_library(e);
  }
  make_row(kAudio, "Audio", "Audio", CandOrder::kPushOrder);
}

}  // namespace kavo
