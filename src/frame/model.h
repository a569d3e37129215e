// The one model of the library: plain records in global arrays, the string
// maps that find them, the held server home and the documents built for the
// host. Every Part of the library reads and writes these globals; nothing
// else keeps state.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frame/ht.h"
#include "frame/json_doc.h"
#include "frame/text.h"

namespace kavo {

// Fixed limits of the model.
inline constexpr int32_t kMaxRecords = 200000;  // items, library entries, watch entries
inline constexpr int32_t kMaxRows = 2000;
inline constexpr int32_t kMaxRowCap = 2000;
inline constexpr int32_t kDefaultRowCap = 200;

// Item kind codes.
enum ItemKind : int32_t { kMovie = 0, kShow = 1, kEpisode = 2, kFile = 3, kFolder = 4, kUnknownKind = 5 };
// Content-source codes (item `library`, source `content_source`).
enum ContentSource : int32_t {
  kVeloraPlus = 0, kHarbor = 1, kDebrid = 2, kLocal = 3, kOtherSource = 4, kUnstated = 5
};
// Resume actions.
enum ResumeAction : int32_t { kStart = 0, kResume = 1, kFinished = 2 };

// One playback source of an item.
struct Source {
  Text key, uri, url, quality, codec, extension;
  int32_t active = -1, hdr = -1, hevc = -1, dolby = -1;
  int32_t audio_channels = -1, width = -1, height = -1;
  int64_t size = -1;
  int32_t content_source = -1, subtitle_count = -1;
  Text subtitle_languages;
  int32_t rank = 0;
};

// One catalogue item or local-library entry.
struct Item {
  Text id, title, imdb_id, poster_url, backdrop_url, plot, path, folder, backend_id, air_date,
      server_key;
  int32_t kind = kUnknownKind;
  int32_t year = -1, runtime_min = -1, season = -1, episode = -1;
  int64_t size = -1, mtime_ms = -1, added_ms = -1;
  double duration_s = -1.0, rating = -1.0;
  // Where the closing credits start, in seconds; -1 when not known. Read by
  // the autoplay timeline only, never written to a document.
  double credits_start_s = -1.0;
  // Its own genres. An item with none may share a list made from the
  // server home's basics instead: see shared_genres and genres_of().
  std::vector<Text> genres;
  std::vector<Source> sources;  // best first
  int32_t matched = -1;
  int32_t library = kUnstated;
  int32_t is_audio_only = 0, is_cue_track = 0, unmatched = 0;
  // Computed by the rebuild.
  int32_t resume_action = kStart;
  double resume_position_s = 0.0;
  double progress_fraction = -1.0;
  int32_t resume_clamped = 0;
  int32_t next_index = -1;
  int32_t playable = 0;
  int32_t watch_index = -1;
  int32_t catalogue_index = -1;
  // For a catalogue item without genres of its own: the catalogue's shared
  // genre list it has (Catalogue::genre_runs), -1 for none.
  int32_t shared_genres = -1;

  int32_t source_count() const { return static_cast<int32_t>(sources.size()); }
};

// One watch-progress entry, from the host or made from the server home.
struct WatchRec {
  Text item_id, imdb_id;
  int32_t season = -1, episode = -1;
  double position_s = -1.0, fraction = -1.0, duration_s = -1.0;
  int32_t finished = -1;
  int64_t size = -1, updated_ms = -1;
  Text source, key;
  int32_t item_index = -1;
  // Set on the entries appended from the held server home's "Continues", so
  // that the next server home replaces them instead of piling up.
  bool from_server_home = false;
};

// Metadata of one title from the server home's "Basics".
struct BasicRec {
  Text imdb_id, title, poster_url, backdrop_url, plot;
  int32_t year = -1, runtime_min = -1, is_tv = -1;
  double rating = -1.0;
  std::vector<Text> genres;
};

struct FavRec {
  Text token, metadata, display_name;
};

struct PlaylistRec {
  Text key, name, imdbids;
};

// Row kinds.
enum RowKind : int32_t {
  kContinueWatching = 0, kRecentlyAdded = 1, kMovies = 2, kTvShows = 3, kFolders = 4,
  kFavourites = 5, kGenre = 6, kCollections = 7, kUnmatchedItems = 8, kServerList = 9,
  kSpotlight = 10, kNowPlaying = 11, kShowRow = 12, kAudio = 14
};

struct Cell {
  int32_t item_index = -1;  // -1 for a raw cell
  Text title;               // raw cells only
  int64_t added_ms = -1;
  Text server_key;          // raw cells only
  int32_t resolved = 0;
};

struct Row {
  int32_t kind = 0;
  Text key, title;
  std::vector<Cell> cells;
  int32_t emitted = 0, cell_count = 0, truncated = 0;
  // Where the last result document holds this row's text after its index
  // (generation 0: nowhere), so that a row that did not change is copied
  // from there instead of being written again.
  struct Written {
    std::size_t at = 0, len = 0;
    uint64_t generation = 0;
    int32_t cells = 0;  // cell documents in that text
  } written;
};

// A candidate cell while a row is built.
struct Cand {
  int32_t item_index = -1;
  // The item whose progress places the candidate in Continue Watching when it
  // is not the item shown (a show's next episode stands in for the episode
  // watched last); -1: the candidate's own item. Beside the item index, so
  // that a candidate takes 32 bytes.
  int32_t rank_index = -1;
  Text title;
  int64_t added_ms = -1;
  Text server_key;
};

// One autoplay event.
struct ApEvent {
  const char* name = nullptr;  // a library literal
  double at_s = 0.0;
  int32_t auto_dismiss = 0, auto_play = 0, is_prepare = 0;
};
// The autoplay events of one item: at most four, in time order of their kind.
struct ApEvents {
  ApEvent list[4];
  int32_t count = 0;
};


// The settings: not part of the model, they survive clears. A member at its
// default leaves the rule it adjusts as it is without it.

// Leading words that title order skips ("The Abyss" sorts as "Abyss").
inline constexpr int kMaxTitleArticles = 16;
struct TitleArticles {
  std::string words[kMaxTitleArticles] = {"the", "a", "an"};
  int32_t count = 3;
  bool operator==(const TitleArticles&) const = default;
};

// The resume and home settings: resume decisions, Continue Watching, next
// episodes and the library rows. They take effect at the next rebuild.
struct ResumeSettings {
  int32_t remember_last_position = 1, remember_audio = 0;
  // Position thresholds of the resume decision; a fraction of 0 is off.
  double finished_fraction = 0.0;    // past this share of the duration: finished
  double resume_min_s = 5.0;         // at or before this position: start
  double resume_min_fraction = 0.0;  // at or before this share: start
  double short_item_s = 0.0;         // 0: off; shorter items never resume
  int32_t finished_at_proposal = 0;  // at or past the next-episode proposal: finished
  int32_t keep_finished_on_replay = 0;
  // Continue Watching.
  int32_t continue_skip_finished = 0;
  int32_t continue_next_up = 0;
  // The next episode may be the first of a later season, or after a gap.
  int32_t next_episode_following = 0;
  // Title order of Movies, TV Shows and the episodes of a show.
  int32_t title_sort_natural = 0;
  TitleArticles title_articles;
  int32_t catalogue_by_year = 1;
  // Recently Added.
  int32_t recent_group_shows = 0, recent_skip_finished = 0;
  // At most this many per-show rows; -1: as many as the row table takes.
  int32_t show_rows_max = -1;
  bool operator==(const ResumeSettings&) const = default;
};

// One step of the proposal distance by running time: items at least
// `min_duration_s` long get the proposal `before_s` before their end.
struct PresentStep {
  double min_duration_s = 0.0, before_s = 0.0;
  bool operator==(const PresentStep&) const = default;
};
inline constexpr int kMaxPresentSteps = 16;

struct AutoplaySettings {
  int32_t configured = 0, fixed = 0, pct = 0, countdown = 0, autoplay = 0;
  double fixed_dur_s = 0.0, pct_val = 0.0, countdown_s = 0.0;
  PresentStep steps[kMaxPresentSteps];
  int32_t n_steps = 0;
  int32_t present_at_credits = 0;       // the proposal where the credits start
  int32_t proposal_only_with_next = 0;  // no proposal without a next episode
  bool operator==(const AutoplaySettings&) const = default;
};
struct Settings {
  int32_t row_cap = kDefaultRowCap;
  ResumeSettings resume;
  AutoplaySettings autoplay;
  bool operator==(const Settings&) const = default;
};
// Whether two sets of settings give the same rows and documents (a NaN
// anywhere counts as a difference).
bool same_settings(const Settings& a, const Settings& b) noexcept;


// ---- The model -------------------------------------------------------------
// Everything the inputs put in and the rebuild derives, one part per input.
// Moving a model moves its texts' storage along, so pointers into it stay
// valid: an input call that must change nothing when it fails can set the
// whole model aside and put it back.

// The catalogue: only ever appended to, emptied by a clear.
struct Catalogue {
  std::vector<Item> items;
  // Texts of the records the item loader reads, and of what the rebuild
  // fills in from the basics and the library.
  TextArena texts;
  Ht by_id;    // item id -> index (first wins), rebuilt per rebuild
  Ht by_imdb;  // item IMDb id -> index (first wins), rebuilt per rebuild
  Ht seen_id;  // every id accepted since the last clear
  // The indexes of the items read as unmatched, ascending: a record keeps
  // what it was read with, so the list changes only as records come and go.
  std::vector<int32_t> unmatched;
  // The indexes of the items read with a path, ascending, kept the same way:
  // the library's entries are linked by path to these alone.
  std::vector<int32_t> with_path;
  // Genre lists that many items share: each a run of `genre_texts` (copies
  // in the arena), made once for all the items that take one basic's
  // genres. Only ever appended to, emptied with the items.
  struct GenreRun {
    uint32_t first, count;
  };
  std::vector<Text> genre_texts;
  std::vector<GenreRun> genre_runs;
};

// The local library, replaced whole by each library call.
struct Library {
  std::vector<Item> entries;
  TextArena texts;
};

// Watch progress: the host's entries, then those made from the held server
// home's "Continues" (their texts are heap copies of their own).
struct Watch {
  std::vector<WatchRec> entries;
  TextArena texts;  // texts of the host's entries
  // Where each identifier first stands among the host's entries, for the
  // progress updates; made when an update first needs it after the host's
  // entries were replaced, kept up to date by the updates.
  struct HostIndex {
    Ht by_key, by_item, by_episode;
    bool ready = false;
  } host_index;
  // The text of the watch array the host's entries were read from, with
  // where each element lies in it and the entry it gave, so that the next
  // array can be compared with it byte by byte; not `valid` once the host's
  // entries changed in any other way.
  struct HostText {
    bool valid = false;
    std::vector<char> text;
    struct Element {
      uint32_t begin, end;
      int32_t pos;  // the host entry it gave; -1: turned away
    };
    std::vector<Element> elements;
    uint32_t close = 0;     // where the array's closing bracket stands
    int32_t rejected = 0;   // elements turned away
    int32_t entries = 0;    // host entries it gave
    int32_t replaced = 0;   // entries replaced in their places since it was read whole
  } host_text;
};

// The held server home and what is derived from it alone.
struct ServerHome {
  JsonDoc doc;  // read in place
  int32_t have = 0;
  std::vector<BasicRec> basics;
  TextArena basic_texts;
  Ht basic_imdb;  // basics IMDb id -> index in basics (first wins)
  Text flags_json, watchlist_json, bh_json;
};

// The items the user took out of Continue Watching, each with the time of
// its dismissal: an item stays out until progress newer than that arrives.
struct Dismissals {
  // Item id -> index into `at`, or -1 for a name given without a time (which
  // dismisses nothing). The ids are borrowed from `texts`.
  Ht by_id;
  std::vector<int64_t> at;
  TextArena texts;
};

struct Store {
  std::vector<FavRec> favs;
  std::vector<PlaylistRec> pls;
  Dismissals dismissed;
};

struct Rows {
  std::vector<Row> rows;
  Text stats_json;
};

// A host watch entry that a progress update replaced in its place, as it
// was before.
struct ReplacedEntry {
  int32_t pos;
  int32_t item_index;  // as the last join left it
  int64_t updated_ms;
  bool local;  // from the local store
};

// Host watch entries appended by a call: `count` of them from position
// `from` on (after the host's entries before the call; the entries made
// from the server home moved up by as many).
struct Appended {
  int32_t from = -1;
  int32_t count = 0;
};

// What the input calls changed since the rows were last rebuilt: the rebuild
// recomputes only what these can reach.
struct Changes {
  bool everything = true;  // a clear, a load, or nothing built yet
  bool home = false, library = false, store = false, watch = false;
  int32_t items_before = 0;  // catalogue items at the last rebuild
  // The seen-id map holds exactly the catalogue's ids, each with its item
  // (a load into an empty model): the id map can be a copy of it.
  bool ids_seen = false;
  // The library was linked to the whole catalogue as it is (a load, before
  // the basics): linking it again after the basics would change nothing.
  bool library_linked = false;
  // Host watch entries replaced in their places by progress updates (the
  // watch table otherwise as it was); meaningless once `watch` is set.
  std::vector<ReplacedEntry> updated_entries;
  // Host watch entries appended by progress updates (the table otherwise as
  // it was, as above).
  Appended appended;
};

// One slot of a table from an episode position to the first catalogue item
// at it (see the watch join).
struct EpisodeSlot {
  int32_t index;
  uint32_t hash;
};

// What places an item in Continue Watching: the time of its entry, its
// progress and position, and its index (see the row's order).
struct ContinueRank {
  int64_t updated;
  double fraction, position;
  int32_t pos;
};

// The season and episode of a catalogue item that is a numbered episode
// (both above 0); zeros for any other item.
struct EpisodeNumber {
  int32_t season, episode;
};

// What the rebuild keeps from one call to the next so that a call computes
// only what its change can reach. All of it is derived from the inputs and
// the settings of the last rebuild, and all of it can be made again.
struct Derived {
  bool valid = false;
  Settings settings;  // those of the last rebuild
  // Per item, the hash of its IMDb id, made once per rebuild for every step
  // that looks items up by it, and its IMDb group: the index of the first
  // item with the same IMDb id (-1 without one). Two items have the same id
  // exactly when their groups are equal, so the steps compare groups instead
  // of texts. An item's id never changes, and items are only appended, so a
  // group keeps its first item until the catalogue is read again.
  std::vector<uint64_t> imdb_h;
  std::vector<int32_t> imdb_groups;
  // Episode positions of the catalogue: per item its season and episode,
  // the table of the first item at each position and, for the positions
  // where more than one item stands, that of the first item at each with a
  // given first source's address.
  std::vector<EpisodeNumber> episode_numbers;
  std::vector<EpisodeSlot> by_episode, by_episode_addr;
  // Per item, whether it stands alone at its position, as the whole join
  // found it (read only within that join).
  std::vector<char> episode_alone;
  std::size_t episodes_filed = 0, addressed_filed = 0;
  // Per item, the entry of each group chosen by the last join (-1: none).
  std::vector<int32_t> best_server, best_local;
  // Items that an entry is joined to, in index order.
  std::vector<int32_t> watched;
  // Continue Watching: all its candidate items in row order, made when a
  // progress update first needs them, kept up to date by the updates.
  bool continue_ready = false;
  std::vector<int32_t> continue_order;
  // The keys the order is sorted by, and room to sort them in: kept with
  // their memory, which the next order takes again.
  std::vector<ContinueRank> continue_keys, continue_scratch;
  // Library entries and catalogue items left unmatched by the last link.
  int32_t unmatched = 0;
  // Movies and TV Shows: all their candidate items in row order, made when
  // a rebuild that keeps the catalogue's rows first needs them.
  bool sorted_ready = false;
  std::vector<int32_t> movies, shows;
  // Whether the last rebuild had a row refused for the row limit, the show
  // groups it found and how many of Folders, Favourites, Unmatched and
  // Audio the show rows made room for.
  bool rows_refused = false;
  int32_t show_groups = 0, store_rows_coming = 0;
  // The shows: episode items grouped by IMDb id, numbered in the order of
  // their first item, each listing its items in index order; `show_of`
  // gives the number of each IMDb group (-1: no show).
  bool groups_ready = false;
  std::vector<int32_t> show_of;
  std::vector<int32_t> group_first;
  std::vector<std::vector<int32_t>> group_members;
  // The hashes of the IMDb ids that the server home names and no catalogue
  // item had, ascending: those read by the server's rows and by Recently
  // Added. Only an item with one of them can change those rows.
  std::vector<uint64_t> server_misses, recent_misses;
};

// Items whose cells read differently since the result document was last
// written (all of them after anything but a watch change).
struct ChangedItems {
  bool all = true;
  std::vector<uint8_t> marked;
  std::vector<int32_t> list;
};

struct Selection {
  int32_t index = -1;  // selected catalogue index, -1 for none
  Text detail_json;
};

struct Model {
  Catalogue catalogue;
  Library library;
  Watch watch;
  ServerHome home;
  Store store;
  Rows rows;
  Selection selection;
  Changes changes;
  Derived derived;
  ChangedItems changed_items;
  // The result document is written when it is first read after a change,
  // as it would have been written at the change: with the settings of then.
  Text result_json;
  bool result_stale = false;
  Settings result_settings;
  int32_t rejected = 0;  // input elements turned away since the last clear
};

inline Model s_model;
inline Settings s_settings;

// The model's parts under their short names.
inline std::vector<Item>& s_items = s_model.catalogue.items;
inline std::vector<int32_t>& s_unmatched_items = s_model.catalogue.unmatched;
inline std::vector<int32_t>& s_path_items = s_model.catalogue.with_path;
// Lists the unmatched items and those with a path again from the records
// themselves (the item loader lists them as it reads): for a catalogue
// filled some other way. Throws when memory runs out.
void refile_item_lists();
inline std::vector<Item>& s_lib = s_model.library.entries;
inline std::vector<WatchRec>& s_watch = s_model.watch.entries;
inline std::vector<Row>& s_rows = s_model.rows.rows;
inline std::vector<BasicRec>& s_basics = s_model.home.basics;
inline std::vector<FavRec>& s_favs = s_model.store.favs;
inline std::vector<PlaylistRec>& s_pls = s_model.store.pls;
inline TextArena& s_item_texts = s_model.catalogue.texts;
inline TextArena& s_lib_texts = s_model.library.texts;
inline TextArena& s_watch_texts = s_model.watch.texts;
inline TextArena& s_basic_texts = s_model.home.basic_texts;
inline Ht& s_by_id = s_model.catalogue.by_id;
inline Ht& s_by_imdb = s_model.catalogue.by_imdb;
inline Ht& s_basic_imdb = s_model.home.basic_imdb;
inline Ht& s_seen_id = s_model.catalogue.seen_id;
inline JsonDoc& s_home_doc = s_model.home.doc;

// An item's genres: its own, else the shared list it has.
inline std::span<const Text> genres_of(const Item& item) {
  const Catalogue& c = s_model.catalogue;
  const std::size_t run = static_cast<std::size_t>(item.shared_genres);
  if (item.shared_genres < 0 || run >= c.genre_runs.size()) return item.genres;
  return std::span<const Text>(c.genre_texts).subspan(c.genre_runs[run].first, c.genre_runs[run].count);
}
inline int32_t& s_have_home = s_model.home.have;
inline int32_t& s_rejected = s_model.rejected;
inline int32_t& s_sel = s_model.selection.index;
// Library-held documents (none reads as "{}").
inline Text& s_result_json = s_model.result_json;
inline Text& s_stats_json = s_model.rows.stats_json;
inline Text& s_detail_json = s_model.selection.detail_json;
inline Text& s_flags_json = s_model.home.flags_json;
inline Text& s_watchlist_json = s_model.home.watchlist_json;
inline Text& s_bh_json = s_model.home.bh_json;

inline int32_t& s_row_cap = s_settings.row_cap;
inline int32_t& s_remember_last_position = s_settings.resume.remember_last_position;
inline int32_t& s_remember_audio = s_settings.resume.remember_audio;
inline int32_t& s_ap_configured = s_settings.autoplay.configured;
inline int32_t& s_ap_fixed = s_settings.autoplay.fixed;
inline int32_t& s_ap_pct = s_settings.autoplay.pct;
inline int32_t& s_ap_countdown = s_settings.autoplay.countdown;
inline int32_t& s_ap_autoplay = s_settings.autoplay.autoplay;
inline double& s_ap_fixed_dur_s = s_settings.autoplay.fixed_dur_s;
inline double& s_ap_pct_val = s_settings.autoplay.pct_val;
inline double& s_ap_countdown_s = s_settings.autoplay.countdown_s;

// ---- Scratch of the rebuild (not part of the model) -------------------------
extern std::vector<Cand> s_cand;  // row-candidate scratch list


inline int32_t n_items() { return static_cast<int32_t>(s_items.size()); }
inline int32_t n_lib() { return static_cast<int32_t>(s_lib.size()); }
inline int32_t n_watch() { return static_cast<int32_t>(s_watch.size()); }
inline int32_t n_rows() { return static_cast<int32_t>(s_rows.size()); }
inline int32_t n_basics() { return static_cast<int32_t>(s_basics.size()); }
inline int32_t n_favs() { return static_cast<int32_t>(s_favs.size()); }
inline int32_t n_pls() { return static_cast<int32_t>(s_pls.size()); }

// ---- Release functions -----------------------------------------------------
void free_item(Item* item) noexcept;
void free_row(Row* row) noexcept;
// Empties a model, keeping the memory of its large arrays, maps and text
// blocks.
void empty_model(Model& m) noexcept;
// Empties the whole model; settings, the row cap, the status frame and the
// candidate scratch list are left alone. The item, library and watch arrays,
// the id maps and the text arenas keep their memory for the next filling.
void clear_model() noexcept;
// Frees what the model keeps for reuse once it is empty; for kavo_shutdown,
// after clear_model.
void release_model_memory() noexcept;

// The model as it was before a call that replaces it whole, set aside while
// the call fills an empty one, and put back in place of whatever the call
// made unless the call keeps the new one. Moving a model keeps its texts
// where they are, so every pointer handed out before stays valid when it
// comes back. The model that loses is emptied and its memory kept for the
// next such call.
class ModelAside {
 public:
  ModelAside() noexcept;
  ~ModelAside();
  ModelAside(const ModelAside&) = delete;
  ModelAside& operator=(const ModelAside&) = delete;
  void keep_new() noexcept { kept_ = true; }

 private:
  Model saved_;
  bool kept_ = false;
};

// The source and genre lists of records that went, with their memory: the
// records of the next filling take them instead of allocating lists of their
// own, and the records going give theirs back here instead of freeing them.
// Empties `records`, giving their lists to the pool (a list the pool has no
// room for is freed with its record).
void empty_records(std::vector<Item>& records) noexcept;
// An empty list from the pool (one without memory when the pool has none).
std::vector<Source> take_source_list() noexcept;
std::vector<Text> take_genre_list() noexcept;

// Makes room for one more record in one of the 200000-record arrays: an empty
// array gets 64 slots, a full one doubles, never beyond kMaxRecords. Returns 0
// when there is room, 4 when the array already holds kMaxRecords records, 3
// when the larger array cannot be allocated (the array is then unchanged).
template <class T>
int ensure_room(std::vector<T>& array) noexcept {
  if (array.size() >= static_cast<std::size_t>(kMaxRecords)) return 4;
  if (array.size() < array.capacity()) return 0;
  std::size_t cap = array.capacity() == 0 ? 64 : array.capacity() * 2;
  if (cap > static_cast<std::size_t>(kMaxRecords)) cap = kMaxRecords;
  try {
    array.reserve(cap);
  } catch (...) {
    return 3;
  }
  return 0;
}

inline bool valid_item_index(int32_t index) { return index >= 0 && index < n_items(); }

// Notes that the cells of item `index` will read differently in the next
// result document (when memory for the note runs out: all of them).
void mark_item_changed(int32_t index) noexcept;
// Notes that every cell may read differently.
inline void mark_all_items_changed() noexcept { s_model.changed_items.all = true; }
// Forgets the notes, once the result document was written from the model.
void forget_item_changes() noexcept;

// Whether the store's dismissals keep the item with this id out of Continue
// Watching while its progress dates from `updated_ms` (negative: unknown,
// which no dismissal lets through).
bool dismissed_since(const char* id, int64_t updated_ms) noexcept;

// The catalogue index of the item with this id: exact match first (the id
// map), then the first item whose id matches ignoring ASCII case; -1 when
// none or `id` is NULL.
int32_t item_index_of(const char* id);

}  // namespace kavo
