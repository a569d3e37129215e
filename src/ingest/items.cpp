// Media items: the item loader for the catalogue and the local library, the
// two input calls built on it, and the lookup of an item by id.
#include <cstring>
#include <string>
#include <utility>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

// Key spellings of the item fields, in lookup order.
const char* const k_title[] = {"title", "Title", "name", "Name", "FileName", "fileName", nullptr};
const char* const k_imdb[] = {"imdb_id", "imdbId", "imDbID", "IMDbId", "IMDbID", "imdb", nullptr};
const char* const k_poster[] = {"poster_url", "posterUrl", "PosterUrl", "poster", nullptr};
const char* const k_back[] = {"backdrop_url", "backdropUrl", "BackdropUrl", "PictureUrl", nullptr};
const char* const k_plot[] = {"plot", "Plot", "description", nullptr};
const char* const k_path[] = {"path", "Path", nullptr};
const char* const k_fol[] = {"folder", "Folder", "parent", nullptr};
const char* const k_be[] = {"backend_id", "backend", "BackendId", nullptr};
const char* const k_air[] = {"air_date", "airDate", "AirDate", nullptr};
const char* const k_key[] = {"server_key", "key", "ServerKey", nullptr};
const char* const k_year[] = {"year", "Year", nullptr};
const char* const k_run[] = {"runtime_min", "runtime", "duration_min", "Duration", nullptr};
const char* const k_sea[] = {"season", "Season", nullptr};
const char* const k_epi[] = {"episode", "Episode", nullptr};
const char* const k_size[] = {"size", "Size", nullptr};
const char* const k_mt[] = {"mtime_ms", "mtime", "modified_ms", nullptr};
const char* const k_add[] = {"added_ms", "added", "date_added_ms", nullptr};
const char* const k_dur[] = {"duration_s", "durationSeconds", "duration", nullptr};
const char* const k_rat[] = {"rating", "Rating", nullptr};
const char* const k_credits[] = {"credits_start_s", "creditsStartS", "outro_start_s", nullptr};

// The members read by name alone.
const char* const k_item_members[] = {"id",          "key",          "kind",         "matched",
                                      "isMatched",   "unmatched",    "isUnmatched",  "is_audio_only",
                                      "isAudioOnly", "is_cue_track", "isCueTrack",   "library",
                                      "genres",      "sources",      "entries",      nullptr};

const KeyList k_item_key_lists[] = {k_title, k_imdb, k_poster, k_back, k_plot, k_path, k_fol,
                                    k_be,    k_air,  k_key,    k_year, k_run,  k_sea,  k_epi,
                                    k_size,  k_mt,   k_add,    k_dur,  k_rat,  k_credits, k_item_members};

struct TextField {
  Text Item::*field;
  KeyList keys;
};
// The descriptive texts in record order.
const TextField k_text_fields[] = {
    {&Item::title, k_title},       {&Item::imdb_id, k_imdb}, {&Item::poster_url, k_poster},
    {&Item::backdrop_url, k_back}, {&Item::plot, k_plot},    {&Item::path, k_path},
    {&Item::folder, k_fol},        {&Item::backend_id, k_be}, {&Item::air_date, k_air},
    {&Item::server_key, k_key},
};
constexpr std::size_t kTextFields = sizeof k_text_fields / sizeof k_text_fields[0];

struct Word {
  constexpr Word(const char* t, int32_t c) : text(t), len(std::char_traits<char>::length(t)), code(c) {}
  const char* text;
  std::size_t len;
  int32_t code;
};
const Word k_kind_words[] = {
    {"movie", kMovie},   {"film", kMovie},      {"tv", kShow},        {"tvshow", kShow},
    {"tv_series", kShow}, {"series", kShow},    {"show", kShow},      {"episode", kEpisode},
    {"file", kFile},     {"folder", kFolder},   {"dir", kFolder},     {"directory", kFolder},
};
const Word k_library_words[] = {
    {"velora_plus", kVeloraPlus}, {"veloraplus", kVeloraPlus}, {"velora+", kVeloraPlus},
    {"media_harbor", kHarbor},    {"harbor", kHarbor},         {"tkfs", kHarbor},
    {"debrid", kDebrid},          {"rd", kDebrid},             {"realdebrid", kDebrid},
    {"local", kLocal},
};

// Up to 16 bytes packed as two words, zero past the end.
struct Packed16 {
  std::size_t len;
  uint64_t w0, w1;
};
inline Packed16 pack16(const char* text, std::size_t len) {
  return Packed16{len, KeySchema::load_upto8(text, len < 8 ? len : 8),
                  len > 8 ? KeySchema::load_upto8(text + 8, len - 8) : 0};
}

// The words of a code list packed once, in list order, and listed by length
// (at most 16 bytes), so that a text is compared with the words of its own
// length only.
template <std::size_t N>
struct PackedWords {
  explicit PackedWords(const Word (&words)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
      packed[i] = pack16(words[i].text, words[i].len);
      if (words[i].len <= 16) of_len[words[i].len][count[words[i].len]++] = static_cast<uint8_t>(i);
    }
  }
  Packed16 packed[N];
  uint8_t count[17] = {};
  uint8_t of_len[17][N] = {};
};

// The fields an item is read by: the lists above, and the members read by
// name alone as lists of one key.
enum ItemField : int {
  kId, kIdKey, kFirstText, kKind = kFirstText + static_cast<int>(kTextFields), kYear, kRun, kSea, kEpi, kSize, kMt,
  kAdd, kDur, kRat, kCredits, kMatched, kIsMatched, kUnmatched, kIsUnmatched, kAudioOnly, kIsAudioOnly, kCueTrack,
  kIsCueTrack, kLibrary, kGenres, kSources, kEntries, kItemFields
};
struct ItemFieldLists {
  KeyList lists[kItemFields];
  // The members read by name, each as a list of one key: its text in
  // k_item_members.
  const char* names[kItemFields][2] = {};

  ItemFieldLists() noexcept : lists{} {
    name(kId, "id");
    name(kIdKey, "key");
    for (std::size_t i = 0; i < kTextFields; ++i) lists[kFirstText + static_cast<int>(i)] = k_text_fields[i].keys;
    name(kKind, "kind");
    const KeyList numbers[] = {k_year, k_run, k_sea, k_epi, k_size, k_mt, k_add, k_dur, k_rat, k_credits};
    static_assert(std::size(numbers) == kMatched - kYear);
    for (std::size_t i = 0; i < std::size(numbers); ++i) lists[kYear + static_cast<int>(i)] = numbers[i];
    const char* const flags[] = {"matched",      "isMatched",   "unmatched",  "isUnmatched",
                                 "is_audio_only", "isAudioOnly", "is_cue_track", "isCueTrack"};
    static_assert(std::size(flags) == kLibrary - kMatched);
    for (std::size_t i = 0; i < std::size(flags); ++i) name(kMatched + static_cast<int>(i), flags[i]);
    name(kLibrary, "library");
    name(kGenres, "genres");
    name(kSources, "sources");
    name(kEntries, "entries");
  }
  void name(int field, const char* key) noexcept {
    names[field][0] = key;
    for (KeyList k = k_item_members; *k != nullptr; ++k) {
      if (std::strcmp(*k, key) == 0) names[field][0] = *k;
    }
    lists[field] = names[field];
  }
};
static_assert(kItemFields <= FieldSchema::kMaxFields);

// The item schema with every field the reader looks up resolved once.
struct ItemKeys {
  KeySchema schema{k_item_key_lists};
  ItemFieldLists lists;
  FieldSchema fields{schema, lists.lists};
  PackedWords<std::size(k_kind_words)> kind_words{k_kind_words};
  PackedWords<std::size(k_library_words)> library_words{k_library_words};
};

const ItemKeys& item_keys() {
  static const ItemKeys keys;
  return keys;
}

// A code member ("kind", "library"): a word from `words` (lower case, at
// most 16 bytes) matched ignoring ASCII case (any other word
// gives `other_word`), or a number from 0 to 5; anything else gives 5.
template <std::size_t N>
int32_t read_code(yyjson_val* value, const Word (&words)[N], const PackedWords<N>& packed, int32_t other_word) {
  if (yyjson_is_str(value)) {
    const char* text = unsafe_yyjson_get_str(value);
    // Equal under ci_cmp means equal up to the first NUL: same length first,
    // the string's own unless a NUL inside ends the text sooner.
    std::size_t len = unsafe_yyjson_get_len(value);
    if (std::memchr(text, '\0', len) != nullptr) len = std::strlen(text);
    if (len > 16) return other_word;
    const Packed16 t = pack16(text, len);
    // The words are lower case and distinct: the text in lower case equals
    // at most one of them.
    const uint64_t w0 = KeySchema::fold8(t.w0), w1 = KeySchema::fold8(t.w1);
    for (std::size_t j = 0; j < packed.count[len]; ++j) {
      const std::size_t i = packed.of_len[len][j];
      const Packed16& p = packed.packed[i];
      if (p.w0 == w0 && p.w1 == w1) return words[i].code;
    }
    return other_word;
  }
  if (yyjson_is_num(value)) {
    const int32_t n = int_of_number(value);
    return n >= 0 && n <= 5 ? n : 5;
  }
  return 5;
}

// A flag under two names: the second is asked only when the first is absent.
[[gnu::always_inline]] inline void read_flag2(const FieldMembers& get, int first, int second, int32_t* out) {
  // An absent member is no boolean: val_bool is asked of present ones only.
  int b = 0;
  yyjson_val* v = get.get(first);
  if (v == nullptr || val_bool(v, &b) != 0) {
    v = get.get(second);
    if (v == nullptr || val_bool(v, &b) != 0) return;
  }
  *out = b != 0 ? 1 : 0;
}

}  // namespace

std::span<const KeyList> item_key_lists() noexcept { return k_item_key_lists; }

namespace {

// The id hash of a record being read, and the maps its id is checked
// against once it is read: they are asked for the id's slot as soon as the
// id is known, so that the slot has reached the cache when the check comes.
struct IdCheck {
  const Ht* seen;
  const Ht* batch;
  uint32_t hash;
};

Refusal read_item_checked(yyjson_val* element, Item* item, IdCheck* check) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  const ItemKeys& keys = item_keys();
  const FieldMembers get(keys.fields, element);

  // The record is fresh: its id is none until a text is taken.
  if (take_str(get.get(kId), &item->id) != 0) take_str(get.get(kIdKey), &item->id);
  if (!item->id || item->id.get()[0] == '\0') return Refusal::kNoId;
  if (check != nullptr) {
    check->hash = Ht::hash(item->id.get());
    if (check->seen != nullptr) check->seen->prefetch(check->hash);
    if (check->batch != nullptr) check->batch->prefetch(check->hash);
  }

  for (std::size_t i = 0; i < kTextFields; ++i) {
    find_str(get, kFirstText + static_cast<int>(i), &(item->*k_text_fields[i].field));
  }

  item->kind = read_code(get.get(kKind), k_kind_words, keys.kind_words, kUnknownKind);

  find_int(get, kYear, &item->year);
  find_int(get, kRun, &item->runtime_min);
  find_int(get, kSea, &item->season);
  find_int(get, kEpi, &item->episode);
  find_ll(get, kSize, &item->size);
  find_ll(get, kMt, &item->mtime_ms);
  item->added_ms = item->mtime_ms;
  find_ll(get, kAdd, &item->added_ms);
  find_dbl(get, kDur, &item->duration_s);
  find_dbl(get, kRat, &item->rating);
  find_dbl(get, kCredits, &item->credits_start_s);

  read_flag2(get, kMatched, kIsMatched, &item->matched);
  read_flag2(get, kUnmatched, kIsUnmatched, &item->unmatched);
  read_flag2(get, kAudioOnly, kIsAudioOnly, &item->is_audio_only);
  read_flag2(get, kCueTrack, kIsCueTrack, &item->is_cue_track);
  item->library = read_code(get.get(kLibrary), k_library_words, keys.library_words, kOtherSource);

  yyjson_val* genres = get.get(kGenres);
  if (item->genres.capacity() == 0 && yyjson_arr_size(genres) != 0) item->genres = take_genre_list();
  if (val_str_array(genres, &item->genres) == 3) return Refusal::kNoMemory;
  // The sources, or the entries when there is no "sources" at all.
  yyjson_val* list = get.get(kSources);
  if (read_source_list(list != nullptr ? list : get.get(kEntries), item) != 0) return Refusal::kNoMemory;
  return Refusal::kTaken;
}

}  // namespace

Refusal read_item(yyjson_val* element, Item* item) { return read_item_checked(element, item, nullptr); }

ItemTarget ItemTarget::catalogue() {
  return ItemTarget{&s_items, &s_item_texts, true, nullptr, &s_unmatched_items, &s_path_items};
}
ItemTarget ItemTarget::library() { return ItemTarget{&s_lib, &s_lib_texts, false, nullptr}; }

namespace {

// Whether a catalogue record read for `target` has an id no catalogue item
// and no record of the same load has.
bool id_is_new(const ItemTarget& target, const char* id, uint32_t hash) {
  int32_t seen = 0;
  if (s_seen_id.get_hashed(id, hash, &seen) == 0) return false;
  return target.batch_ids == nullptr || target.batch_ids->get_hashed(id, hash, &seen) != 0;
}

}  // namespace

int32_t load_item_element(yyjson_val* element, const ItemTarget& target) {
  std::vector<Item>& dest = *target.dest;
  // The record's texts go to its table's arena; a record turned away gives
  // them back at once.
  TextArena& texts = *target.texts;
  const TextArena::Mark mark = texts.mark();
  bool taken = false;
  IdCheck check{target.unique_ids ? &s_seen_id : nullptr, target.unique_ids ? target.batch_ids : nullptr, 0};
  IdCheck* const checked = target.unique_ids ? &check : nullptr;
  if (ensure_room(dest) == 0) {
    // Room for one more: the record is read in its place at the end of the
    // table, and taken away again when it is turned away.
    dest.emplace_back();  // room made above: no reallocation
    {
      ArenaScope scope(&texts);
      taken = read_item_checked(element, &dest.back(), checked) == Refusal::kTaken;
    }
    if (taken && target.unique_ids) taken = id_is_new(target, dest.back().id.get(), check.hash);
    if (!taken) dest.pop_back();
  } else {
    // A full table (or no memory to grow it): a record turned away is only
    // counted; one that would be taken fails the load.
    Item item;
    {
      ArenaScope scope(&texts);
      taken = read_item_checked(element, &item, checked) == Refusal::kTaken;
    }
    if (taken && target.unique_ids) taken = id_is_new(target, item.id.get(), check.hash);
    if (taken) {
      texts.rollback(mark);  // the record is released: its texts go too
      return fail(kNoMemory, "out of memory");
    }
  }
  if (!taken) {
    texts.rollback(mark);
    ++s_rejected;
    return kOk;
  }
  // The lists the record belongs on, all or none of them.
  const int32_t at = static_cast<int32_t>(dest.size() - 1);
  std::vector<int32_t>* const unmatched =
      target.unmatched != nullptr && dest.back().unmatched != 0 ? target.unmatched : nullptr;
  std::vector<int32_t>* const with_path = target.with_path != nullptr && dest.back().path ? target.with_path : nullptr;
  try {
    if (unmatched != nullptr) unmatched->push_back(at);
    if (with_path != nullptr) with_path->push_back(at);
  } catch (...) {
    if (unmatched != nullptr && !unmatched->empty() && unmatched->back() == at) unmatched->pop_back();
    dest.pop_back();
    texts.rollback(mark);
    return fail(kNoMemory, "out of memory");
  }
  if (target.unique_ids) {
    // The ids live as long as the records: in their arena.
    Ht& ids = target.batch_ids != nullptr ? *target.batch_ids : s_seen_id;
    ids.put_borrowed_hashed(dest.back().id.get(), check.hash, static_cast<int32_t>(dest.size() - 1), true);
  }
  return kOk;
}

int32_t load_array_value(yyjson_val* array, const ItemTarget& target) {
  if (!yyjson_is_arr(array)) return fail(kBadJson, "expected an array");
  std::size_t idx, max;
  yyjson_val* element;
  yyjson_arr_foreach(array, idx, max, element) {
    const int32_t rc = load_item_element(element, target);
    if (rc != kOk) return rc;
  }
  return succeed();
}

namespace {

// Reads an item array text into `target`; the status of the first failure.
int32_t load_array_text(const char* text, const ItemTarget& target) {
  if (text == nullptr) return fail(kBadArgument, "null json");
  const JsonDoc doc = read_json(text, std::strlen(text));
  if (!doc) return fail(kBadJson, "not valid JSON");
  return load_array_value(yyjson_doc_get_root(doc.get()), target);
}

// Items appended to the catalogue by one call, taken back unless the call
// keeps them: the records, their texts, what they added to the rejected
// count. Their ids join the catalogue's seen ids only when kept.
class CatalogueAppend {
 public:
  CatalogueAppend()
      : count_(s_items.size()), mark_(s_item_texts.mark()), rejected_(s_rejected) {
    batch_ids_.reset(64);
  }
  ~CatalogueAppend() {
    if (kept_) return;
    s_items.erase(s_items.begin() + static_cast<std::ptrdiff_t>(count_), s_items.end());
    for (std::vector<int32_t>* list : {&s_unmatched_items, &s_path_items}) {
      while (!list->empty() && static_cast<std::size_t>(list->back()) >= count_) list->pop_back();
    }
    batch_ids_.release();  // borrows the texts rolled back below
    s_item_texts.rollback(mark_);
    s_rejected = rejected_;
  }
  CatalogueAppend(const CatalogueAppend&) = delete;
  CatalogueAppend& operator=(const CatalogueAppend&) = delete;

  ItemTarget target() {
    ItemTarget t = ItemTarget::catalogue();
    t.batch_ids = &batch_ids_;
    return t;
  }
  void keep() noexcept {
    kept_ = true;
    for (std::size_t i = count_; i < s_items.size(); ++i) {
      s_seen_id.put_borrowed(s_items[i].id.get(), static_cast<int32_t>(i), true);
    }
  }

 private:
  std::size_t count_;
  TextArena::Mark mark_;
  int32_t rejected_;
  Ht batch_ids_;
  bool kept_ = false;
};

}  // namespace

int32_t load_array_json(const char* text, bool library_mode) {
  return load_array_text(text, library_mode ? ItemTarget::library() : ItemTarget::catalogue());
}

int32_t read_new_items(const char* json) {
  if (json == nullptr) return fail(kBadArgument, "null json");
  CatalogueAppend append;
  const int32_t rc = load_array_text(json, append.target());
  if (rc != kOk) return rc;
  append.keep();
  return kOk;
}

namespace {

// The next library, read aside so that a call that fails leaves the library
// as it was. Kept from call to call: its array and text blocks serve the next
// call.
Library s_staged_library;

void empty_library(Library& library) noexcept {
  empty_records(library.entries);
  library.texts.reset();
}

}  // namespace

int32_t read_library(const char* json) {
  Library& staged = s_staged_library;
  empty_library(staged);
  if (json != nullptr) {
    const int32_t rejected = s_rejected;
    const int32_t rc = load_array_text(json, ItemTarget{&staged.entries, &staged.texts, false, nullptr});
    if (rc != kOk) {
      s_rejected = rejected;
      empty_library(staged);
      return rc;
    }
  }
  std::swap(s_model.library, staged);
  empty_library(staged);
  return kOk;
}

void release_staged_library() noexcept { s_staged_library = Library(); }

}  // namespace kavo
