// Home rows: the rebuild pipeline and the row and cell primitives.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <vector>

#include "frame/ht.h"
#include "frame/model.h"

namespace kavo {

// Recomputes everything derived from the inputs from scratch: basics merge,
// id maps, watch join and resume state, library link and every row.
void rebuild_rows();
// The same for the changes noted in the model since the last rebuild:
// only what they can reach.
void update_rows();
// After a whole load into an empty model, before the rebuild: the library
// fills what catalogue items lack before the basics can (as the library
// call's own rebuild would have during a load part by part).
void link_library_first();
// Frees the row-candidate scratch list (kavo_shutdown).
void release_rows_memory() noexcept;

// ---- Steps of the rebuild, in pipeline order ---------------------------------
// Each may be run alone (the tests do); rebuild_rows runs them all.
void free_rows() noexcept;
// The IMDb ids of the catalogue items from `first` on: their hashes
// (id_hash) and IMDb groups into the derived state, each id into s_by_imdb
// (made anew from the first item on). The steps after it look items up by
// those, and compare groups instead of ids.
void index_imdb_ids(int32_t first);
// A hash of a text (text_hash64), with a value of its own for none.
inline uint64_t id_hash(const char* text) { return text == nullptr ? 0x51ED270B27A2C9E1ull : text_hash64(text); }
// How many records ahead a scan asks for the texts it will read: far enough
// for a fetch from memory to arrive, near enough to stay in the cache.
inline constexpr std::size_t kTextAhead = 12;
inline void prefetch_text(const Text& text) {
  if (const char* p = text.get()) __builtin_prefetch(p);
}
// Catalogue item `index`'s IMDb id hash, from those kept when made.
uint64_t imdb_hash(int32_t index);
// Catalogue item `index`'s IMDb group (imdb_group), from those kept when made.
int32_t imdb_group_at(int32_t index);
// Fills missing item fields from the server home's basics.
void merge_basics();
// The same for the items from `first` on, after they were appended.
void merge_basics_from(int32_t first);
// s_by_id and s_by_imdb with the items from `first` on added (s_by_imdb
// already, after index_imdb_ids(first)).
void extend_id_maps(int32_t first);
// Links the library again after the items from `first` on were appended to
// a catalogue it was linked to; returns how many entries it linked anew.
int32_t link_library_to_new(int32_t first);
// After the items from `first` on were appended to a catalogue the last
// join covered: joins them, and the entries whose item that changes,
// listing the items decided again in `decided`; false when only the whole
// join can tell (which must then run).
bool join_new_items(int32_t first, std::vector<int32_t>* decided);
// s_by_id and s_by_imdb from the catalogue (first item per key).
void rebuild_id_maps();
// The show of a catalogue item by its IMDb id, its IMDb group: the index of
// the first catalogue item with the same id (byte for byte), shared by all
// items of that id; -1 for an item without an IMDb id.
int32_t imdb_group(const Item& item);
// Joins watch entries to items, decides every item's resume state and links
// every episode to the next one.
void join_watch();
// The same for a changed watch table over an unchanged catalogue: the
// episode tables and next-episode links of the last join stay.
void rejoin_watch();
// The same after progress updates replaced the host entries `replaced` in
// their places and appended the entries `appended` (moving the entries
// after them up by as many), for
// those entries alone, listing in `decided` the items decided again (perhaps
// more than once); false, having changed nothing the whole rejoin would not,
// when only that can tell the outcome.
bool rejoin_entries(const std::vector<ReplacedEntry>& replaced, const Appended& appended,
                    std::vector<int32_t>* decided);
// Links library entries to catalogue items (by id, then by path).
void link_library();
// The same, finding catalogue ids in `by_id` (which must map each catalogue
// id to its first item, as s_by_id does after rebuild_id_maps).
void link_library_with(const Ht& by_id);
// Counts the stats and result documents report: the cell count of the last
// Continue Watching row (0 without one); the library entries linked to no
// catalogue item together with the catalogue items marked unmatched.
int32_t continue_candidates();
int32_t unmatched_count();  // as the last rebuild counted it
int32_t count_unmatched();  // counted now
// Spotlight, Genre, the server lists with Now Playing, Collections.
void build_server_rows();
void build_continue_watching();
// The same after the items `decided` were decided again (and nothing else
// that the row reads changed since the last rebuild), from the row's whole
// order kept since the last such build, or made now with `make_order`.
void build_continue_watching_after(const std::vector<int32_t>& decided, bool make_order);
void build_recently_added();
// Recently Added after the items from `first` on were appended, from `old`,
// the row the last rebuild made (NULL for none), while the rest of its
// candidates are those of the last rebuild; false when only building it
// whole can tell (shows grouped).
bool grow_recently_added(int32_t first, const Row* old);
// Movies, TV Shows and one row per show.
void build_catalogue_rows();
// Its parts: Movies and TV Shows; the same from their candidates sorted once
// and kept while the catalogue and the settings stay; the show rows.
void build_movie_and_show_lists();
void build_movie_and_show_lists_sorted();
// After the items from `first` on were appended, with `movies` and `shows`
// the rows the last rebuild made (NULL for none) and `cw_before` the items
// its Continue Watching cells showed (cell_items).
void build_movie_and_show_lists_after_growth(int32_t first, const Row* movies, const Row* shows,
                                             const std::vector<int32_t>& cw_before);
// The items the cells of `row` show (none for NULL), in ascending order.
std::vector<int32_t> cell_items(const Row* row);
void build_show_rows();
// The same after the items from `first` on were appended, with `previous`
// the show rows the last rebuild made (in their order): the rows of the
// shows that gained no items are taken from there.
void build_show_rows_keeping(int32_t first, std::vector<Row>& previous);
// How many show rows the table takes now, for the show groups and the rows
// after them that the last build_show_rows found (or note_store_rows_coming
// counted since).
int32_t show_rows_wanted();
void note_store_rows_coming();
// Folders, Favourites, Unmatched, Audio; counts the unmatched library
// entries and catalogue items (the derived count) on the way.
void build_store_rows();

// The held server home's root value, or NULL when no home is held.
yyjson_val* rows_home_root();

// The resume decision for an item and its chosen watch entry (none: start).
struct ResumeState {
  int32_t action = kStart;
  double position_s = 0.0;
  double fraction = 0.0;
  int32_t clamped = 0;
};
ResumeState decide_resume(const Item& item, const WatchRec* entry);

// Recency of a candidate item: its chosen entry's updated_ms, -1 when the
// index is no catalogue index, the item has no entry in use or no time.
int64_t cand_updated(int32_t index);

// ---- Row and cell primitives -------------------------------------------------
// Whether the row table holds kMaxRows rows, noting that a row was refused.
bool row_table_full() noexcept;
// Appends a row; returns its index, or -1 when the table is full (2000 rows)
// or cannot grow.
int32_t row_push(int32_t kind, const char* key, const char* title);
// Appends a row made by an earlier rebuild (freed when the table is full).
int32_t row_adopt(Row&& row);
// Inserts a row at `position` (lowered to the row count); -1 when full.
int32_t row_insert(int32_t position, int32_t kind, const char* key, const char* title);
void cell_raw(int32_t row, const char* title, int64_t added_ms, const char* server_key);
void cell_from_item(int32_t row, int32_t item_index, int64_t added_ms);
// Counts `rest` more cells in `row` that the row cap keeps out of it.
void count_rest(int32_t row, int32_t rest);
void cand_push(int32_t item_index, const char* title, int64_t added_ms, const char* server_key);
// cand_push of catalogue item `item_index` with its own title and server
// key, which it never copies: without reading them.
void cand_push_item(int32_t item_index, int64_t added_ms);
// cand_push of library entry `entry` as a raw candidate (its title, time and
// id), borrowing the texts its table's arena keeps: candidates are gone
// before the library can change.
void cand_push_entry(const Item& entry);
// Appends candidate `c` to row `row` as a cell: its item's, or a raw one.
void cell_of_cand(int32_t row, const Cand& c);
void cand_free_mem() noexcept;
void flush_cands(int32_t row);

// Pushes one candidate per id of a string value (item candidate when the id
// is a known IMDb id, else a raw one), with `name` (or the id) as server key.
void feed_ids_from_value(yyjson_val* value, const char* name, std::vector<uint64_t>* misses);
// The first catalogue item with IMDb id `token`, -1 for none; a token no
// item has goes into `misses` by its hash.
int32_t home_item(const char* token, std::vector<uint64_t>* misses);
// Sorts `misses` and drops repeats.
void settle_misses(std::vector<uint64_t>* misses);
// Whether an item from `first` on is the first with an IMDb id whose hash is
// in `misses`.
bool new_items_named(int32_t first, const std::vector<uint64_t>& misses);

// ---- Row orders (rows/orders.h holds their keys) ------------------------------
enum class CandOrder : int32_t {
  kContinueRank,          // Continue Watching
  kAddedDesc,             // Recently Added, Now Playing
  kYearDescTitle,         // Movies, TV Shows
  kTitle,                 // the same without the years
  kYearDescNaturalTitle,  // the same two with titles in natural order
  kNaturalTitle,
  kSeasonEpisode,         // a show's row
  kSeasonEpisodeNatural,  // the same with titles in natural order
  kFolderNatural,         // Folders
  kPushOrder,             // unsorted
};
// The orders of Movies and TV Shows, and of a show's row, under the current
// resume and home settings.
CandOrder catalogue_order();
CandOrder episode_order();
// Sorts the candidate list; stable, so candidates the order does not tell
// apart keep push order.
void sort_cands(CandOrder order);
// The same; false when memory to sort with ran out (push order then stays).
bool sorted_cands(CandOrder order);
// Merges the items `fresh` (each with a higher index than any in `sorted`)
// into `sorted`, items in the order their candidates take (ties by index).
// Throws when memory runs out, leaving `sorted` as it was.
void merge_sorted_items(std::vector<int32_t>& sorted, std::vector<int32_t> fresh, CandOrder order);
// For a fresh row that will store at most `first` cells: the first `first`
// candidates exactly as sort_cands orders them, the rest (which the row cap
// only counts) in no particular order.
void sort_cands_first(CandOrder order, std::size_t first);

}  // namespace kavo
