// The rebuild pipeline: everything derived from the inputs, in a fixed order
// where each step sees what the earlier ones wrote. The documents are written
// afterwards, from its rows.
//
// After a change of the watch table, the store or a grown catalogue alone,
// the pipeline runs in part: the join runs again over the episode tables
// kept from the last one (or takes in only the entries that changed or the
// items that came), Continue Watching moves its changed items within the
// order kept from the last build, Movies and TV Shows come from their
// candidates sorted once (or grow from the rows made last time), Recently
// Added takes in the new items, and every other row whose inputs did not
// change is the one made last time. Those rows are exactly what their steps
// would make again: the steps read nothing that changed, and far enough
// below the row limit the rows made before them do not matter. Everything
// else (a clear or load, the library, the server home, other settings) runs
// the whole pipeline.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "rows/rows.h"

namespace kavo {

namespace {

// s_by_id from the catalogue (s_by_imdb is made with the IMDb groups).
void rebuild_id_map();

// Runs one step; memory that cannot be had only leaves the step's remaining
// work undone, never the whole rebuild. What the rebuild keeps for the next
// one may then be incomplete: the next one starts from scratch.
template <class F>
void step(F&& body) noexcept {
  try {
    body();
  } catch (...) {
    cand_free_mem();
    s_cand.clear();
    s_model.derived.valid = false;
  }
}

bool same_cell(const Cell& a, const Cell& b) {
  return a.item_index == b.item_index && a.added_ms == b.added_ms && a.resolved == b.resolved &&
         same_text(a.title.get(), b.title.get()) && same_text(a.server_key.get(), b.server_key.get());
}

bool same_row(const Row& a, const Row& b) {
  if (a.kind != b.kind || a.emitted != b.emitted || a.cell_count != b.cell_count || a.truncated != b.truncated ||
      a.cells.size() != b.cells.size() || !same_text(a.key.get(), b.key.get()) ||
      !same_text(a.title.get(), b.title.get())) {
    return false;
  }
  for (std::size_t i = 0; i < a.cells.size(); ++i) {
    if (!same_cell(a.cells[i], b.cells[i])) return false;
  }
  return true;
}

bool server_row_kind(int32_t kind) {
  return kind == kSpotlight || kind == kGenre || kind == kNowPlaying || kind == kServerList || kind == kCollections;
}

bool store_row_kind(int32_t kind) {
  return kind == kFolders || kind == kFavourites || kind == kUnmatchedItems || kind == kAudio;
}

// The rows of the last rebuild, out of the table while a rebuild in part
// fills it again; a step that need not run takes its rows back, in their
// order. What nobody takes back is freed.
class PreviousRows {
 public:
  PreviousRows() noexcept { rows_.swap(s_rows); }
  ~PreviousRows() {
    for (Row& r : rows_) free_row(&r);
    for (Row& r : taken_out_) free_row(&r);
  }
  PreviousRows(const PreviousRows&) = delete;
  PreviousRows& operator=(const PreviousRows&) = delete;

  // Takes back the rows of the kinds `of_step` answers true for, at most
  // `most` of them.
  template <class Kind>
  void take_back(Kind of_step, int32_t most = kMaxRows) {
    for (Row& r : rows_) {
      if (most == 0) return;
      if (r.kind < 0 || !of_step(r.kind)) continue;
      row_adopt(std::move(r));
      r.kind = -1;  // taken
      --most;
    }
  }

  // Rows made again just as they were keep where the last result text holds
  // them: the n-th new row of a kind and key is compared with the n-th old
  // one.
  void pass_on_texts() {
    // Per key, the next old row not yet compared; each old row links to the
    // next with its key.
    Ht next_of_key;
    if (!next_of_key.reset(2 * rows_.size() + 16)) return;
    std::vector<int32_t> later(rows_.size(), -1);
    for (std::size_t k = rows_.size(); k-- > 0;) {
      const Row& r = rows_[k];
      if (r.kind < 0 || !r.key || r.written.generation == 0) continue;
      int32_t first = -1;
      if (next_of_key.get(r.key.get(), &first) == 0) later[k] = first;
      next_of_key.put_borrowed(r.key.get(), static_cast<int32_t>(k), true);
    }
    for (Row& r : s_rows) {
      if (r.written.generation != 0 || !r.key) continue;
      int32_t k = -1;
      if (next_of_key.get(r.key.get(), &k) != 0 || k < 0) continue;
      const Row& old = rows_[static_cast<std::size_t>(k)];
      next_of_key.put_borrowed(old.key.get(), later[static_cast<std::size_t>(k)], true);
      if (same_row(old, r)) r.written = old.written;
    }
  }

  // Takes out the rows of `kind`, in their order, for a step that decides
  // row by row; what it leaves in them is freed with the rest.
  std::vector<Row>& take_out(int32_t kind) {
    for (Row& r : rows_) {
      if (r.kind != kind) continue;
      taken_out_.push_back(std::move(r));
      r.kind = -1;
    }
    return taken_out_;
  }

  // The first row of `kind` not taken, NULL for none.
  const Row* find(int32_t kind) const {
    for (const Row& r : rows_) {
      if (r.kind == kind) return &r;
    }
    return nullptr;
  }

  int32_t count(int32_t kind) const {
    int32_t n = 0;
    for (const Row& r : rows_) n += r.kind == kind ? 1 : 0;
    return n;
  }

 private:
  std::vector<Row> rows_;
  std::vector<Row> taken_out_;
};

// The join again after a change of the watch table; when memory runs out
// the items read as without progress, as after a failed whole join.
void rejoin() {
  try {
    rejoin_watch();
  } catch (...) {
    for (Item& it : s_items) {
      const ResumeState none;
      it.watch_index = -1;
      it.resume_action = none.action;
      it.resume_position_s = none.position_s;
      it.progress_fraction = none.fraction;
      it.resume_clamped = none.clamped;
    }
    mark_all_items_changed();
    throw;
  }
}

// The store rows, which count the unmatched entries and items on their
// way; counted apart when the step fails.
void step_store_rows() {
  bool counted = false;
  step([&counted] {
    build_store_rows();
    counted = true;
  });
  if (!counted) s_model.derived.unmatched = count_unmatched();
}

void rebuild_whole() {
  mark_all_items_changed();
  s_model.derived.sorted_ready = false;
  s_model.derived.continue_ready = false;
  free_rows();
  cand_free_mem();
  s_cand.clear();
  step([] { index_imdb_ids(0); });
  step(merge_basics);
  step([] { rebuild_id_map(); });
  step(join_watch);
  if (!s_model.changes.library_linked) step(link_library);
  step(build_server_rows);
  // Continue Watching keeps its whole order for the calls that follow.
  step([] { build_continue_watching_after({}, true); });
  step(build_recently_added);
  step(build_catalogue_rows);
  step_store_rows();
}

// Joins the entries that progress updates replaced in their places or
// appended, listing the items decided again; false when the whole join must
// run.
bool rejoined_in_place(const Changes& changes, std::vector<int32_t>* decided) noexcept {
  if (changes.watch || (changes.updated_entries.empty() && changes.appended.count == 0)) return false;
  try {
    return rejoin_entries(changes.updated_entries, changes.appended, decided);
  } catch (...) {
    return false;  // nothing changed yet: the whole join runs
  }
}

// The new items of a grown catalogue into what the last rebuild made:
// basics, id maps, library links (counting in `linked` the entries linked
// anew, all of them when that fails), and the join, listing the items
// decided again; false when the whole join ran instead.
bool take_in_new_items(int32_t first, std::vector<int32_t>* decided, int32_t* linked) {
  step([first] { index_imdb_ids(first); });
  step([first] { merge_basics_from(first); });
  step([first] { extend_id_maps(first); });
  *linked = n_lib();
  step([first, linked] { *linked = link_library_to_new(first); });
  bool joined = false;
  try {
    joined = s_model.derived.valid && join_new_items(first, decided);
  } catch (...) {
    joined = false;
  }
  if (!joined) {
    mark_all_items_changed();
    step(join_watch);
  }
  return joined;
}

// Whether Folders, Favourites, Unmatched or Audio change when the items
// from `first` on join the catalogue and `linked` library entries were
// linked anew: through those entries, a new unmatched item, or a favourite
// that names a new item.
bool store_rows_grow(int32_t first, int32_t linked) {
  if (linked > 0) return true;
  if (!s_unmatched_items.empty() && s_unmatched_items.back() >= first) return true;
  for (const FavRec& f : s_favs) {
    int32_t index = -1;
    if (f.token && s_by_id.get(f.token.get(), &index) == 0 && index >= first) return true;
  }
  return false;
}

void rebuild_in_part(const Changes& changes) {
  const int32_t first = changes.items_before;
  const bool grew = first < n_items();
  const bool watch = changes.watch || !changes.updated_entries.empty() || changes.appended.count > 0;
  PreviousRows previous;
  cand_free_mem();
  s_cand.clear();
  std::vector<int32_t> decided;
  std::vector<int32_t> cw_before;
  if (grew) cw_before = cell_items(previous.find(kContinueWatching));
  int32_t linked = 0;
  const bool in_place = grew ? take_in_new_items(first, &decided, &linked) : rejoined_in_place(changes, &decided);
  if (watch && !in_place) step(rejoin);
  // The server's rows read the catalogue only through the ids the server
  // home names: they change when a new item is the first with one of those.
  const Derived& d = s_model.derived;
  if (grew && new_items_named(first, d.server_misses)) {
    step(build_server_rows);
  } else {
    previous.take_back(server_row_kind);
  }
  if (grew && in_place && decided.empty() && !changes.store) {
    // No entry found a new item: nothing the row reads changed. It goes
    // where the row would be inserted.
    const int32_t at = n_rows();
    previous.take_back([](int32_t kind) { return kind == kContinueWatching; });
    if (n_rows() > at) {
      for (int32_t i = at; i > std::min(at, 2); --i) {
        std::swap(s_rows[static_cast<std::size_t>(i)], s_rows[static_cast<std::size_t>(i - 1)]);
      }
    }
  } else if (in_place && !changes.store) {
    step([&decided, grew] { build_continue_watching_after(decided, !grew); });
  } else {
    step(build_continue_watching);
  }
  if (grew) {
    // The old candidates stay as they were unless the server home names a
    // new item, an entry left for a new item, or a decision that hides
    // finished items changed.
    const bool old_kept = in_place && linked == 0 && !new_items_named(first, d.recent_misses) &&
                          !(s_settings.resume.recent_skip_finished != 0 && !decided.empty());
    bool grown = false;
    if (old_kept) step([&] { grown = grow_recently_added(first, previous.find(kRecentlyAdded)); });
    if (!grown) step(build_recently_added);
  } else if (watch && s_settings.resume.recent_skip_finished != 0) {
    step(build_recently_added);
  } else {
    previous.take_back([](int32_t kind) { return kind == kRecentlyAdded; });
  }
  if (grew) {
    step([&] {
      build_movie_and_show_lists_after_growth(first, previous.find(kMovies), previous.find(kTvShows), cw_before);
    });
  } else {
    step(build_movie_and_show_lists_sorted);
  }
  // Where Continue Watching or the lists came or went at the row limit, the
  // last shows give way, or come back.
  if (changes.store) step(note_store_rows_coming);
  const int32_t shows = show_rows_wanted();
  if (grew) {
    step([&previous, first] { build_show_rows_keeping(first, previous.take_out(kShowRow)); });
  } else if (shows <= previous.count(kShowRow)) {
    previous.take_back([](int32_t kind) { return kind == kShowRow; }, shows);
  } else {
    step(build_show_rows);
  }
  const bool store_grew = grew && store_rows_grow(first, linked);
  if (changes.store || store_grew) {
    step_store_rows();
  } else {
    previous.take_back(store_row_kind);
  }
  try {
    previous.pass_on_texts();
  } catch (...) {
    // the rows are then written again
  }
}

// Whether the changes since the last rebuild leave it to be done in part.
bool in_part(const Changes& changes) {
  const Derived& d = s_model.derived;
  // A row refused last time might fit now: only the whole pipeline knows.
  return !changes.everything && d.valid && same_settings(d.settings, s_settings) && !changes.home &&
         !changes.library && changes.items_before <= n_items() && !d.rows_refused;
}

void fill_text(Text& field, const Text& from) {
  if (!field && from) field = xstrdup(from.get());
}

// Links library entry `e` to catalogue item `index`, which takes from the
// entry what it lacks.
void link_entry(Item& e, int32_t index) {
  e.catalogue_index = index;
  e.unmatched = 0;
  Item& it = s_items[static_cast<std::size_t>(index)];
  if (it.added_ms < 0 && e.added_ms >= 0) it.added_ms = e.added_ms;
  fill_text(it.title, e.title);
  fill_text(it.poster_url, e.poster_url);
}

}  // namespace

void free_rows() noexcept {
  for (Row& r : s_rows) free_row(&r);
  s_rows.clear();  // the table keeps its memory for the next rebuild
}

void index_imdb_ids(int32_t first) {
  Derived& d = s_model.derived;
  std::vector<uint64_t>& hashes = d.imdb_h;
  std::vector<int32_t>& groups = d.imdb_groups;
  const std::size_t n = s_items.size();
  std::size_t from = std::min({static_cast<std::size_t>(first), hashes.size(), groups.size()});
  if (from == 0) {
    // Room for every item at half load, so the map never grows while filled.
    if (!s_by_imdb.reset(2 * n + 16)) {
      hashes.clear();
      groups.clear();
      throw std::bad_alloc();
    }
  }
  hashes.resize(from);
  groups.resize(from);
  hashes.reserve(n);
  groups.reserve(n);
  // The hash of an id is made a few items ahead of its filing, so that the
  // map slot it reads can be asked for early; its text a few items before
  // that. A key met again is compared with the one filed: both texts are
  // read, the filed one where it lies.
  //
  // The episodes of a show mostly follow one another: an id equal to the
  // one before it has that item's hash and group, without a search.
  // Whether each item's id is the one before it, found where it is hashed.
  std::vector<char> repeated(n - from, 0);
  const auto hash_ahead = [&] {
    const std::size_t j = hashes.size();
    if (j + kTextAhead < n) prefetch_text(s_items[j + kTextAhead].imdb_id);
    const char* id = s_items[j].imdb_id.get();
    const char* before = j > from ? s_items[j - 1].imdb_id.get() : nullptr;
    if (id != nullptr && before != nullptr && std::strcmp(before, id) == 0) {
      repeated[j - from] = 1;
      hashes.push_back(hashes[j - 1]);
      return;
    }
    const uint64_t h = id_hash(id);
    hashes.push_back(h);
    if (id != nullptr) s_by_imdb.prefetch(static_cast<uint32_t>(h));
  };
  for (std::size_t j = from; j < n && j < from + kTextAhead; ++j) prefetch_text(s_items[j].imdb_id);
  while (hashes.size() < n && hashes.size() < from + kTextAhead) hash_ahead();
  for (std::size_t i = from; i < n; ++i) {
    if (hashes.size() < n) hash_ahead();
    if (const std::size_t ahead = i + kTextAhead / 2; ahead < n && s_items[ahead].imdb_id) {
      s_by_imdb.prefetch_key(static_cast<uint32_t>(hashes[ahead]));
    }
    if (repeated[i - from] != 0) {
      groups.push_back(groups[i - 1]);
      continue;
    }
    const char* id = s_items[i].imdb_id.get();
    int32_t group = -1;
    if (id != nullptr) {
      const uint32_t h = static_cast<uint32_t>(hashes[i]);
      if (s_by_imdb.get_hashed(id, h, &group) != 0) {
        group = static_cast<int32_t>(i);
        s_by_imdb.put_borrowed_hashed(id, h, group, false);
      }
    }
    groups.push_back(group);
  }
}

uint64_t imdb_hash(int32_t index) {
  const std::vector<uint64_t>& hashes = s_model.derived.imdb_h;
  const std::size_t i = static_cast<std::size_t>(index);
  return i < hashes.size() ? hashes[i] : id_hash(s_items[i].imdb_id.get());
}

int32_t imdb_group_at(int32_t index) {
  const std::vector<int32_t>& groups = s_model.derived.imdb_groups;
  const std::size_t i = static_cast<std::size_t>(index);
  if (i < groups.size()) return groups[i];
  const Item& item = s_items[i];
  if (!item.imdb_id) return -1;
  int32_t first = -1;
  // Every catalogue id is in the map unless memory ran out while it was
  // made; then the item counts as a show of its own (no item of another id
  // can have its index as its show).
  if (s_by_imdb.get_hashed(item.imdb_id.get(), static_cast<uint32_t>(imdb_hash(index)), &first) != 0 ||
      !valid_item_index(first)) {
    first = index;
  }
  return first;
}

int32_t imdb_group(const Item& item) { return imdb_group_at(static_cast<int32_t>(&item - s_items.data())); }

void merge_basics() { merge_basics_from(0); }

namespace {

// The copies of a basic's texts made in the item arena for the first item
// that lacked them, shared by the items that lack them after it: texts in
// the arena are never freed one by one and never written to, so one copy
// serves every item of a show.
struct BasicCopies {
  char* title = nullptr;
  char* poster_url = nullptr;
  char* backdrop_url = nullptr;
  char* plot = nullptr;
  int32_t genres = -1;  // the shared genre list made of the basic's genres
};

// `field`, when none, takes basic text `from`: the copy in `made`, else a
// new one, kept in `made` when it lies in the arena.
void fill_from_basic(Text& field, const Text& from, char*& made) {
  if (field || !from) return;
  if (made != nullptr) {
    field = Text::in_arena(made);
    return;
  }
  field = xstrdup(from.get());
  if (field.arena_kept()) made = field.data();
}

// A shared genre list of copies of `genres`, -1 when memory runs out: all or
// nothing, since a list cut short would stand for the whole one at every
// later rebuild and never be completed.
int32_t share_genres(const std::vector<Text>& genres) {
  Catalogue& c = s_model.catalogue;
  const std::size_t first = c.genre_texts.size();
  if (first + genres.size() > UINT32_MAX || c.genre_runs.size() >= static_cast<std::size_t>(INT32_MAX)) return -1;
  try {
    // Grown by doubling: a list is made for each of many basics.
    if (c.genre_texts.capacity() - first < genres.size()) {
      c.genre_texts.reserve(std::max(first + genres.size(), 2 * c.genre_texts.capacity()));
    }
    if (c.genre_runs.size() == c.genre_runs.capacity()) c.genre_runs.reserve(2 * c.genre_runs.size() + 16);
  } catch (...) {
    return -1;
  }
  for (const Text& genre : genres) {
    Text copy = xstrdup(genre.get());
    if (!copy) {
      c.genre_texts.resize(first);
      return -1;
    }
    c.genre_texts.push_back(std::move(copy));  // room made above
  }
  c.genre_runs.push_back(Catalogue::GenreRun{static_cast<uint32_t>(first), static_cast<uint32_t>(genres.size())});
  return static_cast<int32_t>(c.genre_runs.size() - 1);
}

// Item `index` takes what it lacks from basic `b`, sharing the copies made
// for the items before it.
void take_basic(std::size_t index, const BasicRec& b, BasicCopies& made) {
  Item& it = s_items[index];
  fill_from_basic(it.title, b.title, made.title);
  fill_from_basic(it.poster_url, b.poster_url, made.poster_url);
  fill_from_basic(it.backdrop_url, b.backdrop_url, made.backdrop_url);
  fill_from_basic(it.plot, b.plot, made.plot);
  if (it.year < 0 && b.year >= 0) it.year = b.year;
  if (it.runtime_min < 0 && b.runtime_min >= 0) it.runtime_min = b.runtime_min;
  if (it.rating < 0.0 && b.rating >= 0.0) it.rating = b.rating;
  if (it.genres.empty() && it.shared_genres < 0 && !b.genres.empty()) {
    // One list of copies serves every item that takes these genres.
    if (made.genres < 0) made.genres = share_genres(b.genres);
    it.shared_genres = made.genres;
  }
  if (it.kind == kUnknownKind) {
    if (b.is_tv == 1) it.kind = kShow;
    else if (b.is_tv == 0) it.kind = kMovie;
  }
}

// The basic of item `i`'s IMDb id, -1 for none.
int32_t basic_of_item(std::size_t i) {
  const Item& it = s_items[i];
  int32_t bi = -1;
  const uint32_t h = static_cast<uint32_t>(imdb_hash(static_cast<int32_t>(i)));
  if (!it.imdb_id || s_basic_imdb.get_hashed(it.imdb_id.get(), h, &bi) != 0 || bi < 0 || bi >= n_basics()) return -1;
  return bi;
}

}  // namespace

void merge_basics_from(int32_t first) {
  if (n_items() <= first || s_basics.empty()) return;
  // What the catalogue items get here lives as long as they do: in their arena.
  ArenaScope scope(&s_item_texts);
  const std::size_t n = s_items.size();
  const std::size_t from = static_cast<std::size_t>(first);
  const std::vector<int32_t>& groups = s_model.derived.imdb_groups;
  // The items of an IMDb group share its basic: looked up once, at the
  // group's first item, when the groups are known.
  const bool grouped = groups.size() == n;
  std::vector<int32_t> basic_at;
  if (grouped) basic_at.resize(n - from);
  std::vector<BasicCopies> made(s_basics.size());
  for (std::size_t i = from; i < n; ++i) {
    // A found key is compared with the item's own text: fetched ahead.
    if (const std::size_t ahead = i + kTextAhead;
        ahead < n && (!grouped || groups[ahead] == static_cast<int32_t>(ahead))) {
      prefetch_text(s_items[ahead].imdb_id);
      s_basic_imdb.prefetch(static_cast<uint32_t>(imdb_hash(static_cast<int32_t>(ahead))));
    }
    int32_t bi = -1;
    if (!grouped) {
      bi = basic_of_item(i);
    } else if (const int32_t g = groups[i]; g < 0) {
      continue;
    } else if (static_cast<std::size_t>(g) == i) {
      bi = basic_of_item(i);
      basic_at[i - from] = bi;
    } else if (static_cast<std::size_t>(g) >= from) {
      bi = basic_at[static_cast<std::size_t>(g) - from];
    } else {
      bi = basic_of_item(i);
    }
    if (bi >= 0) take_basic(i, s_basics[static_cast<std::size_t>(bi)], made[static_cast<std::size_t>(bi)]);
  }
}

namespace {

// The ids of the items from `first` on into the id map: it borrows the
// items' own texts, which live as long as the items and are released before
// the map's next rebuild could read them.
void file_ids(int32_t first) {
  const std::size_t n = s_items.size();
  for (std::size_t i = static_cast<std::size_t>(first); i < n; ++i) {
    if (i + kTextAhead < n) prefetch_text(s_items[i + kTextAhead].id);
    const Item& it = s_items[i];
    if (it.id) s_by_id.put_borrowed(it.id.get(), static_cast<int32_t>(i), false);
  }
}

void rebuild_id_map() {
  if (s_model.changes.ids_seen && s_by_id.copy_borrowed(s_seen_id)) return;
  // Room for every item at half load, so the map never grows while filled.
  s_by_id.reset(2 * static_cast<std::size_t>(n_items()) + 16);
  file_ids(0);
}

}  // namespace

void rebuild_id_maps() {
  index_imdb_ids(0);
  rebuild_id_map();
}

void link_library() { link_library_with(s_by_id); }

void extend_id_maps(int32_t first) {
  file_ids(first);
  if (s_model.derived.imdb_groups.size() != s_items.size()) index_imdb_ids(first);
}

int32_t link_library_to_new(int32_t first) {
  // An entry found by its id keeps or finds its first item by id; one linked
  // by its path stays with the first item of that path, which was there
  // before; one that matched nothing can only match a new item's path.
  // Only an entry bearing a new item's id can find it by id.
  ArenaScope scope(&s_item_texts);
  Ht new_ids;
  if (!new_ids.reset(static_cast<std::size_t>(n_items() - first) * 2 + 16)) throw std::bad_alloc();
  for (int32_t i = first; i < n_items(); ++i) {
    const Item& it = s_items[static_cast<std::size_t>(i)];
    if (it.id) new_ids.put_borrowed(it.id.get(), i, false);
  }
  Ht new_paths;
  bool paths_ready = false;
  int32_t linked = 0;
  for (Item& e : s_lib) {
    int32_t index = -1;
    const bool new_id = e.id && new_ids.get(e.id.get(), &index) == 0;
    if (e.catalogue_index >= 0 && !new_id) continue;  // as it was
    if (new_id && s_by_id.get(e.id.get(), &index) == 0 && valid_item_index(index)) {
      // found by id
    } else if (e.catalogue_index >= 0) {
      continue;  // linked by path, as before
    } else {
      index = -1;
      if (!e.path) continue;
      if (!paths_ready) {
        paths_ready = true;
        if (!new_paths.reset(static_cast<std::size_t>(n_items() - first) * 2 + 16)) throw std::bad_alloc();
        for (int32_t i = first; i < n_items(); ++i) {
          const Item& it = s_items[static_cast<std::size_t>(i)];
          if (it.path) new_paths.put_borrowed(it.path.get(), i, false);
        }
      }
      if (new_paths.get(e.path.get(), &index) != 0 || !valid_item_index(index)) continue;
    }
    if (index == e.catalogue_index) continue;
    link_entry(e, index);
    ++linked;
  }
  return linked;
}

void link_library_with(const Ht& by_id) {
  // What the catalogue items get here lives as long as they do: in their arena.
  ArenaScope scope(&s_item_texts);
  const std::size_t nl = s_lib.size();
  // Per entry, the item it links to: by id, else the first catalogue item
  // with its path (-1: none).
  std::vector<int32_t> linked_to(nl, -1);
  std::vector<std::size_t> by_path;  // the entries looked up by path
  // The ids' slots are asked for a few entries ahead, and the keys in them
  // (compared with the entries' ids) when the slots have come.
  std::vector<uint32_t> id_h(nl);
  const auto ask_slot = [&](std::size_t k) {
    if (const char* id = s_lib[k].id.get()) by_id.prefetch(id_h[k] = Ht::hash(id));
  };
  for (std::size_t k = 0; k < nl && k < kTextAhead; ++k) ask_slot(k);
  for (std::size_t k = 0; k < nl; ++k) {
    if (k + kTextAhead < nl) ask_slot(k + kTextAhead);
    if (const std::size_t ahead = k + kTextAhead / 2; ahead < nl && s_lib[ahead].id) by_id.prefetch_key(id_h[ahead]);
    const Item& e = s_lib[k];
    int32_t index = -1;
    if (e.id && by_id.get_hashed(e.id.get(), id_h[k], &index) == 0 && index >= 0) {
      linked_to[k] = index;
    } else if (e.path) {
      by_path.push_back(k);
    }
  }
  if (!by_path.empty()) {
    // The paths those entries name, numbered, each with its first item: a
    // map as small as the library, which the walk over the catalogue's
    // paths finds in the cache.
    Ht path_no;
    if (!path_no.reset(2 * by_path.size() + 16)) throw std::bad_alloc();
    std::vector<int32_t> first_at;
    std::vector<int32_t> number_of(by_path.size());  // per entry looked up by path
    for (std::size_t p = 0; p < by_path.size(); ++p) {
      const char* path = s_lib[by_path[p]].path.get();
      const uint32_t h = Ht::hash(path);
      int32_t& no = number_of[p];
      if (path_no.get_hashed(path, h, &no) == 0) continue;
      path_no.put_borrowed_hashed(path, h, static_cast<int32_t>(first_at.size()), false);
      if (path_no.get_hashed(path, h, &no) != 0) throw std::bad_alloc();  // could not be stored
      first_at.push_back(-1);
    }
    // Only the items read with a path can have one: the catalogue keeps
    // them listed, in index order.
    const std::vector<int32_t>& with_path = s_path_items;
    const std::size_t n = with_path.size();
    for (std::size_t k = 0; k < n; ++k) {
      if (k + kTextAhead < n) prefetch_text(s_items[static_cast<std::size_t>(with_path[k + kTextAhead])].path);
      const int32_t i = with_path[k];
      const Item& it = s_items[static_cast<std::size_t>(i)];
      int32_t no = -1;
      if (it.path && path_no.get(it.path.get(), &no) == 0 && first_at[static_cast<std::size_t>(no)] < 0) {
        first_at[static_cast<std::size_t>(no)] = i;
      }
    }
    for (std::size_t p = 0; p < by_path.size(); ++p) {
      linked_to[by_path[p]] = first_at[static_cast<std::size_t>(number_of[p])];
    }
  }
  for (std::size_t k = 0; k < nl; ++k) {
    Item& e = s_lib[k];
    const int32_t index = linked_to[k];
    if (!valid_item_index(index)) {
      e.catalogue_index = -1;
      e.unmatched = 1;
      continue;
    }
    link_entry(e, index);
  }
}

int32_t continue_candidates() {
  int32_t count = 0;
  for (const Row& r : s_rows) {
    if (r.kind == kContinueWatching) count = r.cell_count;
  }
  return count;
}

int32_t unmatched_count() { return s_model.derived.unmatched; }

int32_t count_unmatched() {
  int32_t count = 0;
  for (const Item& e : s_lib) {
    if (e.catalogue_index < 0) ++count;
  }
  return count + static_cast<int32_t>(s_unmatched_items.size());
}

void rebuild_rows() {
  refile_item_lists();
  s_model.changes.everything = true;
  update_rows();
}

void update_rows() {
  Changes& changes = s_model.changes;
  Derived& d = s_model.derived;
  const bool part = in_part(changes);
  d.valid = true;  // unless a step fails
  d.rows_refused = false;
  if (part) {
    rebuild_in_part(changes);
  } else {
    rebuild_whole();
  }
  d.settings = s_settings;
  changes.everything = changes.home = changes.library = changes.store = changes.watch = changes.ids_seen =
      changes.library_linked = false;
  changes.items_before = n_items();
  changes.updated_entries.clear();
  changes.appended = Appended();
}

void link_library_first() {
  s_model.changes.ids_seen = true;
  // The catalogue was empty before the load, so the seen-id map holds
  // exactly its ids, each with its one item: what the id map would hold.
  // The basics fill only what is still missing, and neither ids nor paths,
  // so the rebuild's own link would find the same items and fill nothing.
  if (!s_lib.empty()) link_library_with(s_seen_id);
  s_model.changes.library_linked = true;
}

void release_rows_memory() noexcept { std::vector<Cand>().swap(s_cand); }

}  // namespace kavo
