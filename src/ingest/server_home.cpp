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

const KeySchema& basic_schema() {
  static const KeySchema schema({k_basic_imdb, k_basic_title, k_basic_poster, k_basic_backdrop, k_basic_plot,
                                 k_basic_year, k_basic_runtime, k_basic_is_tv, k_basic_members});
  return schema;
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

void index_basics() {
  yyjson_val* basics = obj_get(home_root(), "Basics");
  if (!yyjson_is_arr(basics)) return;
  try {
    s_basics.reserve(std::max<std::size_t>(1, yyjson_arr_size(basics)));
  } catch (...) {
    return;  // no basics
  }
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(basics, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    // One index of the members serves every field; the texts go to the
    // basics' arena, and a skipped element gives them back.
    const SchemaIndex get(basic_schema(), element);
    const TextArena::Mark mark = s_basic_texts.mark();
    ArenaScope scope(&s_basic_texts);
    BasicRec rec;
    if (find_str(get, k_basic_imdb, &rec.imdb_id) != 0 || !rec.imdb_id) {
      rec = BasicRec();
      s_basic_texts.rollback(mark);
      continue;
    }
    find_str(get, k_basic_title, &rec.title);
    find_str(get, k_basic_poster, &rec.poster_url);
    find_str(get, k_basic_backdrop, &rec.backdrop_url);
    find_str(get, k_basic_plot, &rec.plot);
    find_int(get, k_basic_year, &rec.year);
    find_int(get, k_basic_runtime, &rec.runtime_min);
    int is_tv = 0;
    if (find_bool(get, k_basic_is_tv, &is_tv) == 0) rec.is_tv = is_tv ? 1 : 0;
    rec.rating = read_rating(get(k_basic_members[0]));
    // A list cut short by a failed copy is dropped: the items completed from
    // this record would keep it as their own and never take the whole list.
    if (val_str_array(get(k_basic_members[1]), &rec.genres) == 3) rec.genres.clear();
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

void ingest_continues() {
  // The previous home's entries give way to this one's.
  drop_server_progress();
  yyjson_val* continues = obj_get(home_root(), "Continues");
  if (!yyjson_is_arr(continues)) return;
  size_t idx = 0, max = 0;
  yyjson_val* element = nullptr;
  yyjson_arr_foreach(continues, idx, max, element) {
    if (!yyjson_is_obj(element)) continue;
    double value = -1.0;
    js_dbl_first(element, k_cont_value, &value);
    if (value < 0 || std::isnan(value)) continue;

    WatchRec rec;
    js_str_first(element, k_cont_imdb, &rec.imdb_id);
    js_int_first(element, k_cont_season, &rec.season);
    js_int_first(element, k_cont_episode, &rec.episode);
    const double duration = continue_duration(element);
    Text text;
    js_str_first(element, k_cont_updated, &text);
    rec.updated_ms = parse_datetime_ms(text.get());
    js_ll_first(element, k_cont_size, &rec.size);

    double fraction = value > 1 ? 1.0 : value;
    rec.fraction = fraction;
    rec.duration_s = duration;
    rec.position_s = duration > 0 ? duration * fraction : -1.0;
    rec.source = xstrdup("server_continue");
    rec.from_server_home = true;
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
