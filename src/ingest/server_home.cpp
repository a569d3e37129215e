// The server home document: held whole for the server rows and side
// documents; its "Basics" become basics records by IMDb id and its
// "Continues" become server progress entries in the watch table.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "frame/status.h"
#include "ingest/ingest.h"
#include "ingest/readers.h"

namespace kavo {

namespace {

const char* const k_basic_imdb[] = {"IMDbId", "imdbId", "imDbID", "IMDbID", "imdb_id", "imdb",
                                    nullptr};
const char* const k_basic_title[] = {"Title", "title", nullptr};
const char* const k_basic_poster[] = {"PosterUrl", "posterUrl", "Poster", nullptr};
const char* const k_basic_backdrop[] = {"PictureUrl", "pictureUrl", nullptr};
const char* const k_basic_plot[] = {"Plot", "plot", nullptr};
const char* const k_basic_year[] = {"Year", "year", nullptr};
const char* const k_basic_runtime[] = {"Duration", "duration", nullptr};
const char* const k_basic_is_tv[] = {"IsTVShow", "isTVShow", "is_tv", nullptr};

const char* const k_cont_imdb[] = {"IMDbId", "imdbId", "imDbID", "IMDbID", "imdb_id", nullptr};
const char* const k_cont_season[] = {"Season", "season", nullptr};
const char* const k_cont_episode[] = {"Episode", "episode", nullptr};
const char* const k_cont_value[] = {"Value", "value", nullptr};
const char* const k_cont_duration[] = {"Duration", "duration", nullptr};
const char* const k_cont_updated[] = {"UpdatedAt", "updatedAt", "RecordUpdated", nullptr};
const char* const k_cont_size[] = {"Size", "size", nullptr};

yyjson_val* home_root() { return s_have_home && s_home_doc ? yyjson_doc_get_root(s_home_doc.get()) : nullptr; }

// The members read by name alone.
const char* const k_basic_members[] = {"Ratings", "Genres", nullptr};

const KeyList k_basic_key_lists[] = {k_basic_imdb, k_basic_title,   k_basic_poster, k_basic_backdrop, k_basic_plot,
                                     k_basic_year, k_basic_runtime, k_basic_is_tv,  k_basic_members};
const KeyList k_continue_key_lists[] = {k_cont_imdb,     k_cont_season,  k_cont_episode, k_cont_value,
                                        k_cont_duration, k_cont_updated, k_cont_size};

// The members of the document itself: "Basics" and "Continues" are read
// here, the lists by the server rows and the side documents.
const char* const k_home_members[] = {"Basics",     "Continues",           "List",     "ExtentList",
                                      "Spotlights", "CollectionPlaylists", "Level30s", nullptr};
// The members of the elements of those lists: of "List" and "ExtentList",
// of "Spotlights", of "CollectionPlaylists" and of "Level30s".
const char* const k_home_list_members[] = {"Id", "Value", nullptr};
const char* const k_spotlight_members[] = {"Items", nullptr};
const char* const k_collection_members[] = {"Name", "name", nullptr};
const char* const k_level30_members[] = {"IMDbID", "IMDbId", "FileName", nullptr};

const KeyList k_home_key_lists[] = {k_home_members};
const KeyList k_home_list_key_lists[] = {k_home_list_members};
const KeyList k_spotlight_key_lists[] = {k_spotlight_members};
const KeyList k_collection_key_lists[] = {k_collection_members};
const KeyList k_level30_key_lists[] = {k_level30_members};
const HomeList k_home_lists[] = {
    {k_home_members[2], k_home_list_key_lists}, {k_home_members[3], k_home_list_key_lists},
    {k_home_members[4], k_spotlight_key_lists},  {k_home_members[5], k_collection_key_lists},
    {k_home_members[6], k_level30_key_lists},
};

// The fields of a basics record, "Ratings" and "Genres" each read by its one
// name, and the schema with every list resolved once: a record is read by
// one walk of its members.
const char* const k_basic_ratings[] = {"Ratings", nullptr};
const char* const k_basic_genres[] = {"Genres", nullptr};
enum BasicField : int {
  kBImdb, kBTitle, kBPoster, kBBackdrop, kBPlot, kBYear, kBRuntime, kBIsTv, kBRatings, kBGenres, kBasicFields
};
const KeyList k_basic_fields[] = {k_basic_imdb, k_basic_title,   k_basic_poster, k_basic_backdrop, k_basic_plot,
                                  k_basic_year, k_basic_runtime, k_basic_is_tv,  k_basic_ratings,  k_basic_genres};
static_assert(std::size(k_basic_fields) == kBasicFields && kBasicFields <= FieldSchema::kMaxFields);
struct BasicKeys {
  KeySchema schema{k_basic_key_lists};
  FieldSchema fields{schema, k_basic_fields};
};
const BasicKeys& basic_keys() {
  static const BasicKeys keys;
  return keys;
}

// The IMDb rating from the "Ratings" member: "Internet Movie Database", or
// "InternetMovieDatabase" only when the first is absent; it counts only as a
// JSON number.
double read_rating(yyjson_val* ratings) {
  if (!yyjson_is_obj(ratings)) return -1.0;
  yyjson_val* value = obj_get(ratings, "Internet Movie Database");
  if (value == nullptr) value = obj_get(ratings, "InternetMovieDatabase");
  return yyjson_is_num(value) ? yyjson_get_num(value) : -1.0;
}

// The running time of a "Continues" entry in seconds: a time-span text, or a
// JSON number of seconds. An integer reads through its text as a time span
// (the same number), a fraction by its value: its text's "." would read as the
// days separator. -1 when absent.
double continue_duration(yyjson_val* element) {
  for (KeyList key = k_cont_duration; *key != nullptr; ++key) {
    yyjson_val* value = obj_get(element, *key);
    if (yyjson_is_real(value)) return yyjson_get_real(value);
    Text text;
    if (val_str(value, &text) == 0) return parse_timespan_s(text.get());
  }
  return -1.0;
}

}  // namespace

std::span<const KeyList> home_key_lists() noexcept { return k_home_key_lists; }
std::span<const KeyList> basic_key_lists() noexcept { return k_basic_key_lists; }
std::span<const KeyList> continue_key_lists() noexcept { return k_continue_key_lists; }
std::span<const HomeList> home_lists() noexcept { return k_home_lists; }

yyjson_val* home_basics(yyjson_val* home) noexcept {
  yyjson_val* basics = obj_get(home, k_home_members[0]);
  return yyjson_is_arr(basics) ? basics : nullptr;
}

yyjson_val* home_continues(yyjson_val* home) noexcept {
  yyjson_val* continues = obj_get(home, k_home_members[1]);
  return yyjson_is_arr(continues) ? continues : nullptr;
}

int32_t parse_home(const char* json, JsonDoc* out) {
  if (json == nullptr) return fail(kBadArgument, "null json");
  JsonDoc doc = read_json(json, std::strlen(json));
  if (!doc) return fail(kBadJson, "server home: not valid JSON");
  if (!yyjson_is_obj(yyjson_doc_get_root(doc.get()))) return fail(kBadJson, "server home: root not object");
  *out = std::move(doc);
  return kOk;
}

int32_t load_home_json(const char* json) {
  JsonDoc doc;
  const int32_t rc = parse_home(json, &doc);
  if (rc != kOk) return rc;
  s_home_doc = std::move(doc);
  s_have_home = 1;
  return succeed();
}

void reset_basics() noexcept {
  std::vector<BasicRec>().swap(s_basics);
  s_basic_imdb.release();
  s_basic_texts.reset();  // last: no record refers to its texts any more
}

Refusal read_basic(yyjson_val* element, BasicRec* out) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  // One walk of the members serves every field.
  const FieldMembers get(basic_keys().fields, element);
  if (find_str(get, kBImdb, &out->imdb_id) != 0 || !out->imdb_id) return Refusal::kNoImdbId;
  find_str(get, kBTitle, &out->title);
  find_str(get, kBPoster, &out->poster_url);
  find_str(get, kBBackdrop, &out->backdrop_url);
  find_str(get, kBPlot, &out->plot);
  find_int(get, kBYear, &out->year);
  find_int(get, kBRuntime, &out->runtime_min);
  int is_tv = 0;
  if (find_bool(get, kBIsTv, &is_tv) == 0) out->is_tv = is_tv ? 1 : 0;
  out->rating = read_rating(get.get(kBRatings));
  // A list cut short by a failed copy is dropped: the items completed from
  // this record would keep it as their own and never take the whole list.
  if (val_str_array(get.get(kBGenres), &out->genres) == 3) out->genres.clear();
  return Refusal::kTaken;
}

void index_basics() {
  yyjson_val* basics = home_basics(home_root());
  if (basics == nullptr) return;
  try {
    s_basics.reserve(std::max<std::size_t>(1, yyjson_arr_size(basics)));
  } catch (...) {
    return;  // no basics
  }
  // The map is sized once for all of them (when memory allows), rather than
  // grown again and again while they are filed.
  s_basic_imdb.reserve(yyjson_arr_size(basics));
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(basics, idx, max, element) {
    // The texts go to the basics' arena, and a skipped element gives them
    // back.
    const TextArena::Mark mark = s_basic_texts.mark();
    ArenaScope scope(&s_basic_texts);
    BasicRec rec;
    if (read_basic(element, &rec) != Refusal::kTaken) {
      rec = BasicRec();
      s_basic_texts.rollback(mark);
      continue;
    }
    // Within the reserved room: no reallocation, so no throw.
    s_basics.push_back(std::move(rec));
    // The id lives as long as the map: both go with reset_basics.
    s_basic_imdb.put_borrowed(s_basics.back().imdb_id.get(), n_basics() - 1, false);
  }
}

void drop_server_progress() noexcept {
  auto from_home = [](const WatchRec& rec) { return rec.from_server_home; };
  s_watch.erase(std::remove_if(s_watch.begin(), s_watch.end(), from_home), s_watch.end());
}

Refusal read_continue(yyjson_val* element, WatchRec* out) {
  if (!yyjson_is_obj(element)) return Refusal::kNotObject;
  double value = -1.0;
  js_dbl_first(element, k_cont_value, &value);
  if (value < 0 || std::isnan(value)) return Refusal::kNoShare;

  js_str_first(element, k_cont_imdb, &out->imdb_id);
  js_int_first(element, k_cont_season, &out->season);
  js_int_first(element, k_cont_episode, &out->episode);
  const double duration = continue_duration(element);
  Text text;
  js_str_first(element, k_cont_updated, &text);
  out->updated_ms = parse_datetime_ms(text.get());
  js_ll_first(element, k_cont_size, &out->size);

  const double fraction = value > 1 ? 1.0 : value;
  out->fraction = fraction;
  out->duration_s = duration;
  out->position_s = duration > 0 ? duration * fraction : -1.0;
  out->source = xstrdup("server_continue");
  out->from_server_home = true;
  return Refusal::kTaken;
}

void ingest_continues() {
  // The previous home's entries give way to this one's.
  drop_server_progress();
  yyjson_val* continues = home_continues(home_root());
  if (continues == nullptr) return;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(continues, idx, max, element) {
    WatchRec rec;
    if (read_continue(element, &rec) != Refusal::kTaken) continue;
    if (watch_ensure_room() != 0) return;
    s_watch.push_back(std::move(rec));
  }
}

int32_t read_server_home(const char* json) {
  JsonDoc doc;
  const int32_t rc = parse_home(json, &doc);
  if (rc != kOk) return rc;  // the home held before stays, with all it gave
  s_home_doc = std::move(doc);
  s_have_home = 1;
  reset_basics();
  index_basics();
  ingest_continues();
  return kOk;
}

}  // namespace kavo
