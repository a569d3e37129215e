// A series of calls to any exported function, read from the fuzz input: input
// calls with small generated JSON texts (or raw bytes, or NULL), selections,
// row cap changes, clears, getters with any indexes and the keys. After every
// call the documented outcome and the consistency of everything readable are
// checked.
//
// The same series then runs twice more from a clean state: once with every
// input call rebuilding everything from scratch, and once more incrementally
// but reading the result document only after some calls (it is written when
// first read, so changes pile up before it is). After every call both must
// give the host what the first run gave, byte for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "api/sequence.h"
#include "fuzz_support.h"

namespace {

// ---- Generated JSON ----------------------------------------------------------

// What an object or array element stands for; it picks the likely keys.
enum Ctx {
  kAny, kItem, kSource, kWatch, kHome, kBasic, kCont, kListEntry, kRatings, kStore, kFav,
  kPlaylist, kResume, kAutoplay, kInputs, kDismissed, kCtxCount
};

#define KEYS(...) std::vector<const char*>{__VA_ARGS__}
const std::vector<const char*> kKeys[kCtxCount] = {
    /* kAny */ KEYS("id", "key", "title", "Id", "Value", "value", "name", "theFile", "sources",
                    "Items", "imdb_id", "IMDbID", "season", "episode"),
    /* kItem */
    KEYS("id", "key", "title", "Title", "name", "Name", "FileName", "imdb_id", "imdbId", "IMDbID",
         "imdb", "poster_url", "poster", "backdrop_url", "PictureUrl", "plot", "path", "Path",
         "folder", "Folder", "parent", "backend_id", "air_date", "server_key", "kind", "year",
         "Year", "runtime_min", "runtime", "Duration", "season", "Season", "episode", "Episode",
         "size", "mtime_ms", "mtime", "added_ms", "added", "duration_s", "duration", "rating",
         "matched", "isMatched", "unmatched", "isUnmatched", "is_audio_only", "isAudioOnly",
         "is_cue_track", "library", "genres", "sources", "entries", "credits_start_s", "outro_start_s"),
    /* kSource */
    KEYS("key", "uri", "url", "quality", "codec", "extension", "active", "isActive", "hdr",
         "isHDR", "hevc", "dolby", "isDolbyAtmos", "audio_channels", "width", "height",
         "videoWidth", "videoHeight", "size", "content_source", "contentSource", "subtitle_count",
         "subtitle_languages", "theFile"),
    /* kWatch */
    KEYS("item_id", "ItemId", "id", "imdb_id", "imdbId", "source", "src", "key", "season",
         "Season", "p5", "episode", "p6", "position_s", "position", "duration_s", "duration",
         "fraction", "value", "Value", "finished", "isFinished", "updated_ms", "UpdatedAt",
         "updatedAt", "recordUpdated", "size", "p7"),
    /* kHome */
    KEYS("Basics", "Continues", "List", "ExtentList", "Spotlights", "CollectionPlaylists",
         "Level30s", "basics"),
    /* kBasic */
    KEYS("IMDbId", "imdbId", "imdb_id", "imdb", "Title", "title", "PosterUrl", "Poster",
         "PictureUrl", "Plot", "Year", "Duration", "IsTVShow", "is_tv", "Ratings", "Genres"),
    /* kCont */
    KEYS("IMDbId", "imdb_id", "Season", "Episode", "Value", "value", "Duration", "UpdatedAt",
         "RecordUpdated", "Size"),
    /* kListEntry */ KEYS("Id", "Value", "Items", "Name", "name", "IMDbID", "IMDbId"),
    /* kRatings */ KEYS("Internet Movie Database", "InternetMovieDatabase"),
    /* kStore */ KEYS("favourites", "favorites", "playlists", "dismissed"),
    /* kFav */ KEYS("token", "Token", "metadata", "Metadata", "display_name", "DisplayName", "display"),
    /* kPlaylist */ KEYS("key", "Key", "name", "Name", "imdbids", "ids", "Ids", "value"),
    /* kResume */
    KEYS("remember_last_position", "remember_audio", "finished_fraction", "resume_min_s",
         "resume_min_fraction", "short_item_s", "finished_at_proposal", "keep_finished_on_replay",
         "continue_skip_finished", "continue_next_up", "next_episode_following", "title_sort",
         "title_articles", "catalogue_by_year", "recent_group_shows", "recent_skip_finished",
         "show_rows_max"),
    /* kAutoplay */
    KEYS("enabled", "Enabled", "use_fixed_present_before", "useFixedPresentBefore",
         "use_percentage_present_before", "enable_counting_down", "automatic_play_next",
         "present_before_duration_s", "PresentBeforeEndingDuration", "present_before_percentage",
         "PresentBeforeEndingPercentage", "countdown_duration_s", "CountdownDuration",
         "present_before_steps", "present_at_credits", "proposal_only_with_next"),
    /* kInputs */ KEYS("server_home", "items", "watch", "library", "store"),
    /* kDismissed: item ids */ KEYS("i0", "i1", "i2", "I1", "e1", "e2", "s1"),
};
#undef KEYS

const char* const kIds[] = {"i0", "i1", "i2", "i3", "I1", " i2", "", "e1", "e2", "s1"};
const char* const kImdb[] = {"tt1", "tt2", "tt3", "TT1", "tt1,tt2", " tt3 , tt1 ,,", "tt2, x9"};
const char* const kWords[] = {
    "movie", "show", "episode", "file", "folder", "tv", "series", "velora_plus", "harbor",
    "debrid", "local", "true", "yes", "On", "1", "0", "false", "2024-01-15T10:20:30.5+02:00",
    "1970-01-01", "2024-02-30T25:61:61Z", "01:02:03", "1.02:03:04.5", "5400", "48 min", "-1",
    "1e308", "1e999", "nan", "inf", "-inf", "0x10", " 12abc", "FeatureFlags_x", "Genre_Drama",
    "MovieNowPlaying", "MyWatchlist", "BrowseHistory", "HighSpeedServer", "NewToVELORA",
    "MyWatched", "/media/a.mkv", "/media", "/media/b", "\xc3\xa9", "\xf0\x9f\x98\x80", "99:99:99",
    "-5:00", "P1D", "4294967297", "9999999999999999999999"};
const char* const kNumbers[] = {
    "0", "1", "-1", "2", "3", "7.9", "-0.0", "0.5", "1.5", "100", "2147483647", "2147483648",
    "-2147483649", "3000000000", "9223372036854775807", "9223372036854775808",
    "18446744073709551615", "-9223372036854775808", "1e308", "-1e308", "1e-320", "4.9e-324",
    "1e20", "86400", "1700000000000", "45", "2700", "0.95", "-0.5", "1.0000000000000002"};

Ctx child_ctx(const char* key, bool* array, bool* strings) {
  *array = true;
  *strings = false;
  const std::string k = key;
  if (k == "sources" || k == "entries") return kSource;
  if (k == "Basics" || k == "basics") return kBasic;
  if (k == "Continues") return kCont;
  if (k == "List" || k == "ExtentList" || k == "Spotlights" || k == "CollectionPlaylists" ||
      k == "Level30s") return kListEntry;
  if (k == "favourites" || k == "favorites") return kFav;
  if (k == "playlists") return kPlaylist;
  if (k == "items" || k == "library") return kItem;
  if (k == "watch") return kWatch;
  if (k == "present_before_steps") return kAny;  // arrays of anything, pairs among them
  if (k == "genres" || k == "Genres" || k == "title_articles") {
    *strings = true;
    return kAny;
  }
  *array = false;
  if (k == "theFile") return kSource;
  if (k == "Ratings") return kRatings;
  if (k == "server_home") return kHome;
  if (k == "store") return kStore;
  if (k == "dismissed") return kDismissed;
  return kCtxCount;  // a scalar, or anything
}

class Gen {
 public:
  explicit Gen(FuzzedDataProvider& fdp) : f_(fdp) {}

  std::string array_of(Ctx ctx) {
    out_.clear();
    budget_ = 160;
    array(ctx, 0);
    return out_;
  }
  std::string object_of(Ctx ctx) {
    out_.clear();
    budget_ = 160;
    object(ctx, 0);
    return out_;
  }

 private:
  uint8_t byte() { return f_.ConsumeIntegral<uint8_t>(); }

  void str(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c < 0x20) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\u%04x", c);
        out_ += esc;
      } else {
        out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
  }

  template <size_t N>
  const char* pick(const char* const (&list)[N]) {
    return list[byte() % N];
  }

  void key(Ctx ctx) {
    const uint8_t b = byte();
    const std::vector<const char*>& list = kKeys[(b & 7) == 0 ? kAny : ctx];
    std::string k = list[(b >> 3) % list.size()];
    switch (byte() % 16) {  // now and then another spelling of the key
      case 0:
        for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        break;
      case 1:
        for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        break;
      case 2:
        k = f_.ConsumeRandomLengthString(8);
        break;
      default:
        break;
    }
    str(k);
  }

  void scalar(int depth) {
    switch (byte() % 12) {
      case 0: str(pick(kIds)); break;
      case 1: str(pick(kImdb)); break;
      case 2:
      case 3: str(pick(kWords)); break;
      case 4:
      case 5: out_ += pick(kNumbers); break;
      case 6: out_ += (byte() & 1) ? "true" : "false"; break;
      case 7: out_ += "null"; break;
      case 8: str(f_.ConsumeRandomLengthString(16)); break;
      case 9: out_ += std::to_string(static_cast<int32_t>(f_.ConsumeIntegral<int16_t>())); break;
      default:
        if (depth < 4 && budget_ > 0) {
          if (byte() & 1) array(kAny, depth + 1); else object(kAny, depth + 1);
        } else {
          out_ += "0";
        }
        break;
    }
  }

  void object(Ctx ctx, int depth) {
    out_ += '{';
    const int n = budget_ > 0 ? byte() % 9 : 0;
    for (int i = 0; i < n && budget_ > 0 && f_.remaining_bytes() > 0; ++i) {
      --budget_;
      if (i) out_ += ',';
      const size_t key_at = out_.size();
      key(ctx);
      out_ += ':';
      // The key just written decides the kind of its value.
      std::string k = out_.substr(key_at + 1, out_.size() - key_at - 3);
      bool is_array = false, strings = false;
      const Ctx child = child_ctx(k.c_str(), &is_array, &strings);
      if (child != kCtxCount && depth < 5 && (byte() % 8) != 0) {
        if (strings) {
          string_array();
        } else if (is_array) {
          array(child, depth + 1);
        } else {
          object(child, depth + 1);
        }
      } else {
        scalar(depth);
      }
    }
    out_ += '}';
  }

  void string_array() {
    out_ += '[';
    const int n = byte() % 5;
    for (int i = 0; i < n; ++i) {
      if (i) out_ += ',';
      if (byte() % 4 == 0) scalar(9); else str(pick(kWords));
    }
    out_ += ']';
  }

  void array(Ctx ctx, int depth) {
    out_ += '[';
    const int n = budget_ > 0 ? byte() % 7 : 0;
    for (int i = 0; i < n && budget_ > 0 && f_.remaining_bytes() > 0; ++i) {
      --budget_;
      if (i) out_ += ',';
      if (ctx == kAny || byte() % 16 == 0) {
        scalar(depth);
      } else {
        object(ctx, depth + 1);
      }
    }
    out_ += ']';
  }

  FuzzedDataProvider& f_;
  std::string out_;
  int budget_ = 0;
};

// ---- The sequence --------------------------------------------------------------

struct State {
  int32_t rebuild_cap = 200;  // the row cap in force at the last rows rebuild
  std::string last_watch;     // the last watch array set
};

// An input text: generated, raw bytes, empty or NULL.
struct Input {
  bool null = false;
  std::string text;
  const char* get() const { return null ? nullptr : text.c_str(); }
};

Input input_text(FuzzedDataProvider& fdp, Gen& gen, bool as_array, Ctx ctx) {
  Input in;
  switch (fdp.ConsumeIntegral<uint8_t>() % 16) {
    case 0: in.null = true; break;
    case 1: in.text = fz::c_text(reinterpret_cast<const uint8_t*>(""), 0); break;
    case 2: {
      const std::string raw = fdp.ConsumeRandomLengthString(64);
      in.text = raw.substr(0, raw.find('\0'));
      break;
    }
    case 3: in.text = as_array ? gen.object_of(ctx) : gen.array_of(ctx); break;  // wrong shape
    default: in.text = as_array ? gen.array_of(ctx) : gen.object_of(ctx); break;
  }
  return in;
}

// A text with a few bytes put in, taken out or changed, as a host sends its
// watch array again with an entry moved on (or broken).
std::string edited(FuzzedDataProvider& fdp, std::string text) {
  for (int n = fdp.ConsumeIntegralInRange<int>(0, 3); n > 0; --n) {
    const std::size_t at = fdp.ConsumeIntegralInRange<std::size_t>(0, text.size());
    const uint8_t how = fdp.ConsumeIntegral<uint8_t>();
    const std::string bytes = fdp.ConsumeRandomLengthString(8);
    const std::string put = bytes.substr(0, bytes.find('\0'));
    if (how % 3 == 0 || at == text.size()) {
      text.insert(at, put);
    } else if (how % 3 == 1) {
      text.erase(at, 1 + how / 3 % 16);
    } else {
      text.replace(at, std::min<std::size_t>(put.size(), text.size() - at), put);
    }
  }
  return text;
}

// An index for a getter: mostly near the valid range, sometimes anything.
int32_t index_near(FuzzedDataProvider& fdp, int32_t count) {
  switch (fdp.ConsumeIntegral<uint8_t>() % 8) {
    case 0: return fdp.ConsumeIntegral<int32_t>();
    case 1: return -1;
    case 2: return count;
    default: return count > 0 ? fdp.ConsumeIntegralInRange<int32_t>(0, count - 1) : 0;
  }
}

// A text naming an item: an id of the catalogue, a generated one, or NULL.
Input name_text(FuzzedDataProvider& fdp, int which) {
  Input in;
  const int32_t n = kavo_item_count();
  const uint8_t b = fdp.ConsumeIntegral<uint8_t>();
  if (b % 16 == 0) {
    in.null = true;
  } else if (b % 2 == 0 && n > 0) {
    const int32_t i = fdp.ConsumeIntegralInRange<int32_t>(0, n - 1);
    const char* t = which == 0 ? kavo_item_id(i) : kavo_item_imdb(i);
    in.text = t ? t : "";
  } else {
    in.text = b % 4 == 1 ? kIds[b / 4 % 10] : kImdb[b / 4 % 7];
  }
  return in;
}

void check_rows_within_cap(const State& st) {
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    const std::string doc = kavo_row_json(r);
    fz::Json row(doc.c_str());
    FZ_CHECK(fz::int_member(row.root(), "emitted") <= st.rebuild_cap);
  }
}

// The result document and the detail document agree on the selected item.
void check_detail(int32_t code_before) {
  const char* detail = kavo_detail_json();
  if (kavo_selected_index() < 0) {
    FZ_CHECK(detail == nullptr);
    FZ_CHECK(kavo_last_code() == 5);
    FZ_CHECK(std::strcmp(kavo_last_error(), "no item selected") == 0);
    return;
  }
  FZ_CHECK(detail != nullptr);
  FZ_CHECK(kavo_last_code() == code_before);
  fz::Json d(detail);
  FZ_CHECK_MSG(d.ok(), detail);
  fz::Json result(kavo_result_json());
  yyjson_val* item = yyjson_obj_get(result.root(), "item");
  if (yyjson_is_obj(item) && yyjson_obj_size(d.root()) > 0) {
    FZ_CHECK_MSG(fz::write_val(item) == detail, detail);
  }
}

// ---- Incremental against full rebuilds -------------------------------------------

enum class Pass {
  kChecked,  // as the library runs, with every check above; records what the host sees
  kFull,     // every input call rebuilds from scratch; compared with the record
  kLazy,     // as the library runs, the result read only now and then; compared too
};

// What the host sees after one step.
struct Seen {
  uint8_t op = 0;
  std::string status;  // code and message right after a fallible call
  bool has_result = false;
  std::string result;
  std::string view;  // every other document and getter
};

void add_text(std::string& s, const char* text) {
  s += text ? text : "<null>";
  s += '\n';
}

// Everything a host can read back but the result document: the held
// documents, every item and row with its scalars, the cells' scalars (their
// documents are the row's, as check_model holds), the selection's documents,
// sources and scalars, and the row cap. Reading the detail stores a status,
// so the status is taken before this.
std::string view(size_t size_hint) {
  std::string s;
  s.reserve(size_hint);
  add_text(s, kavo_stats_json());
  add_text(s, kavo_server_flags_json());
  add_text(s, kavo_watchlist_json());
  add_text(s, kavo_browse_history_json());
  char line[160];
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    add_text(s, kavo_item_json(i));
    add_text(s, kavo_item_next_id(i));
    std::snprintf(line, sizeof line, "%d %d %.17g %.17g %lld %d %d\n", kavo_item_kind(i), kavo_item_resume_action(i),
                  kavo_item_resume_position_s(i), kavo_item_progress_fraction(i),
                  static_cast<long long>(kavo_item_added_ms(i)), kavo_item_playable(i), kavo_item_unmatched(i));
    s += line;
  }
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    add_text(s, kavo_row_json(r));
    std::snprintf(line, sizeof line, "%d %d %d %d\n", kavo_row_kind(r), kavo_row_cell_count(r), kavo_row_emitted(r),
                  kavo_row_truncated(r));
    s += line;
    add_text(s, kavo_row_key(r));
    add_text(s, kavo_row_title(r));
    for (int32_t c = 0; c < kavo_row_emitted(r); ++c) {
      std::snprintf(line, sizeof line, "%d %d %d\n", kavo_row_cell_item_index(r, c),
                    kavo_row_cell_resume_action(r, c), kavo_row_cell_playable(r, c));
      s += line;
      add_text(s, kavo_row_cell_title(r, c));
      add_text(s, kavo_row_cell_poster_url(r, c));
    }
  }
  s += std::to_string(kavo_selected_index()) + "\n";
  add_text(s, kavo_detail_json());
  add_text(s, kavo_detail_next_json());
  add_text(s, kavo_detail_autoplay_json());
  for (int32_t i = 0; i < kavo_detail_source_count(); ++i) add_text(s, kavo_detail_source_json(i));
  add_text(s, kavo_detail_best_source_url());
  std::snprintf(line, sizeof line, "%d %.17g %.17g %d %d %d\n", kavo_detail_resume_action(),
                kavo_detail_resume_position_s(), kavo_detail_progress_fraction(), kavo_detail_resume_clamped(),
                kavo_detail_autoplay_configured(), kavo_get_row_cap());
  s += line;
  return s;
}

// Whether the lazy pass reads the result document after a step: about a third
// of the steps, chosen by the input's bytes (the steps' own decoding is left
// as it is).
bool lazy_read(uint64_t input_hash, int step) {
  uint64_t z = input_hash + 0x9e3779b97f4a7c15ULL * static_cast<uint64_t>(step + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return (z ^ (z >> 31)) % 3 == 0;
}

uint64_t hash_of(const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ULL;
  return h;
}

[[noreturn]] void report_difference(Pass pass, int step, const char* what, const std::string& want,
                                    const std::string& got) {
  size_t at = 0;
  while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
  const size_t from = at > 150 ? at - 150 : 0;
  const bool full = pass == Pass::kFull;
  std::fprintf(stderr,
               "\n*** broken promise: the %s run differs from the incremental one after step %d, in the %s at "
               "byte %zu:\n  incremental: %.300s\n  %s: %.300s\n",
               full ? "full-rebuild" : "lazy-read", step, what, at, want.c_str() + std::min(from, want.size()),
               full ? "full       " : "lazy       ", got.c_str() + std::min(from, got.size()));
  std::abort();
}

// Records (kChecked) or compares with the record (the other passes) what the
// host sees after a step.
void see(Pass pass, std::vector<Seen>& record, size_t index, uint8_t op, const std::string& status, bool with_result) {
  Seen now;
  now.op = op;
  now.status = status;
  if (with_result) {
    now.has_result = true;
    now.result = kavo_result_json();
  }
  now.view = view(index < record.size() ? record[index].view.size() + 64 : 4096);
  if (pass == Pass::kChecked) {
    record.push_back(std::move(now));
    return;
  }
  const int step = static_cast<int>(index);
  if (index >= record.size() || record[index].op != now.op) {
    std::fprintf(stderr, "\n*** broken promise: step %d decodes to another call than in the incremental run\n", step);
    std::abort();
  }
  const Seen& want = record[index];
  if (want.status != now.status) report_difference(pass, step, "status", want.status, now.status);
  if (now.has_result && want.result != now.result) report_difference(pass, step, "result", want.result, now.result);
  if (want.view != now.view) report_difference(pass, step, "documents", want.view, now.view);
}

void run_pass(const uint8_t* data, size_t size, Pass pass, std::vector<Seen>& record) {
  FuzzedDataProvider fdp(data, size);
  Gen gen(fdp);
  State st;
  fz::reset_library();
  kavo::set_full_rebuilds(pass == Pass::kFull);
  const bool checked = pass == Pass::kChecked;
  const uint64_t input_hash = hash_of(data, size);
  const fz::Limits quick{6, 4, 4};

  int step = 0;
  for (; step < 48 && fdp.remaining_bytes() > 0; ++step) {
    const std::string result_before = checked ? kavo_result_json() : "";
    const int32_t sel_before = kavo_selected_index();
    const int32_t cap = kavo_get_row_cap();
    const uint8_t op = fdp.ConsumeIntegral<uint8_t>() % 23;
    int32_t rc = -1;
    bool rebuilt = false;  // whether a success rebuilds rows and result
    bool fallible = true;
    switch (op) {
      case 0:
      case 1: {
        const Input in = input_text(fdp, gen, true, kItem);
        rc = kavo_add_items(in.get());
        fz::check_outcome(rc, {"null json", "not valid JSON", "expected an array"}, {0, 1, 2});
        rebuilt = true;
        break;
      }
      case 2: {
        const Input in = input_text(fdp, gen, true, kItem);
        rc = kavo_set_library(in.get());
        fz::check_outcome(rc, {"not valid JSON", "expected an array"}, {0, 1});
        rebuilt = true;
        break;
      }
      case 3:
      case 4: {
        // Now and then the last array again, edited.
        Input in;
        if (!st.last_watch.empty() && fdp.ConsumeIntegral<uint8_t>() % 2 == 0) {
          in.text = edited(fdp, st.last_watch);
        } else {
          in = input_text(fdp, gen, true, kWatch);
        }
        rc = kavo_set_watch(in.get());
        fz::check_outcome(rc, {"watch: not valid JSON", "watch: expected an array"}, {0, 1});
        if (rc == 0 && !in.null) st.last_watch = in.text;
        rebuilt = true;
        break;
      }
      case 5: {
        const Input in = input_text(fdp, gen, false, kHome);
        rc = kavo_set_server_home(in.get());
        fz::check_outcome(rc, {"null json", "server home: not valid JSON", "server home: root not object"},
                          {0, 1, 2});
        rebuilt = true;
        break;
      }
      case 6: {
        const Input in = input_text(fdp, gen, false, kStore);
        rc = kavo_set_store(in.get());
        fz::check_outcome(rc, {"store: not valid JSON", "store: root not object"}, {0, 1});
        rebuilt = true;
        break;
      }
      case 7: {
        const Input in = input_text(fdp, gen, false, kResume);
        rc = kavo_set_resume_settings(in.get());
        fz::check_outcome(rc, {"resume settings: not valid JSON", "resume settings: root not object"},
                          {0, 1});
        break;
      }
      case 8: {
        const Input in = input_text(fdp, gen, false, kAutoplay);
        rc = kavo_set_autoplay_settings(in.get());
        fz::check_outcome(rc, {"autoplay settings: not valid JSON", "autoplay settings: root not object"},
                          {0, 1});
        break;
      }
      case 9: {
        const Input in = input_text(fdp, gen, false, kInputs);
        rc = kavo_load_inputs(in.get());
        fz::check_outcome(rc, {"null inputs", "inputs: not valid JSON", "inputs: root not object",
                               "server_home must be an object", "items must be an array",
                               "watch must be an array", "library must be an array",
                               "store must be an object", "server home: not valid JSON",
                               "server home: root not object", "not valid JSON", "expected an array",
                               "watch: not valid JSON", "watch: expected an array",
                               "store: not valid JSON", "store: root not object"},
                          {0, 1, 2});
        rebuilt = true;
        // A load that fails keeps the model from before it (checked below).
        if (rc != 0) FZ_CHECK(kavo_selected_index() == sel_before);
        break;
      }
      case 10:
      case 11:
      case 12: {
        const Input in = name_text(fdp, op == 11 ? 1 : 0);
        if (op == 10) {
          rc = kavo_select_item(in.get());
          fz::check_outcome(rc, {"null item id", "no such item"}, {0, 2, 5});
          if (rc == 0) FZ_CHECK(kavo_selected_index() == kavo_item_index_of(in.get()));
        } else if (op == 11) {
          rc = kavo_select_imdb(in.get());
          fz::check_outcome(rc, {"null imdb id", "no such item"}, {0, 2, 5});
        } else {
          // A source key of the selected item, or a name.
          Input key = in;
          if (sel_before >= 0 && kavo_detail_source_count() > 0 && fdp.ConsumeBool()) {
            const int32_t s = fdp.ConsumeIntegralInRange<int32_t>(0, kavo_detail_source_count() - 1);
            fz::Json src(kavo_detail_source_json(s));
            yyjson_val* k = yyjson_obj_get(src.root(), "key");
            if (yyjson_is_str(k)) key.text = yyjson_get_str(k), key.null = false;
          }
          rc = kavo_select_source(key.get());
          fz::check_outcome(rc, {"null source key", "no such item"}, {0, 2, 5});
        }
        if (rc == 0) {
          FZ_CHECK(kavo_selected_index() >= 0);
        } else {
          FZ_CHECK(kavo_selected_index() == sel_before);
          if (checked) FZ_CHECK(result_before == kavo_result_json());
        }
        break;
      }
      case 13: {
        int32_t want;
        switch (fdp.ConsumeIntegral<uint8_t>() % 6) {
          case 0: want = fdp.ConsumeIntegral<int32_t>(); break;
          case 1: want = 0; break;
          case 2: want = 2001; break;
          case 3: want = 2000; break;
          default: want = fdp.ConsumeIntegralInRange<int32_t>(1, 6); break;
        }
        rc = kavo_set_row_cap(want);
        if (want >= 1 && want <= 2000) {
          fz::check_outcome(rc, {}, {0});
          FZ_CHECK(kavo_get_row_cap() == want);
        } else {
          fz::check_outcome(rc, {"row cap out of range"}, {2});
          FZ_CHECK(kavo_get_row_cap() == cap);
        }
        if (checked) FZ_CHECK(result_before == kavo_result_json());
        break;
      }
      case 14:
        rc = kavo_clear();
        fz::check_outcome(rc, {}, {0});
        FZ_CHECK(kavo_row_count() == 0 && kavo_item_count() == 0 && kavo_selected_index() == -1);
        if (checked) FZ_CHECK(std::strcmp(kavo_result_json(), "{}") == 0);
        FZ_CHECK(kavo_get_row_cap() == cap);
        break;
      case 15:
        kavo_shutdown();
        fallible = false;
        FZ_CHECK(kavo_last_code() == 0 && kavo_last_error()[0] == '\0');
        FZ_CHECK(kavo_row_count() == 0 && kavo_item_count() == 0 && kavo_selected_index() == -1);
        FZ_CHECK(kavo_get_row_cap() == cap);
        break;
      case 16: {
        // Scalar getters and documents with any indexes.
        fallible = false;
        const int32_t code = kavo_last_code();
        const int32_t r = index_near(fdp, kavo_row_count());
        const int32_t c = index_near(fdp, kavo_row_cell_count(r));
        const int32_t i = index_near(fdp, kavo_item_count());
        (void)kavo_row_kind(r), (void)kavo_row_key(r), (void)kavo_row_title(r);
        (void)kavo_row_cell_title(r, c), (void)kavo_row_cell_poster_url(r, c);
        FZ_CHECK(kavo_row_cell_resume_action(r, c) >= 0 && kavo_row_cell_resume_action(r, c) <= 2);
        FZ_CHECK(kavo_row_cell_playable(r, c) == 0 || kavo_row_cell_playable(r, c) == 1);
        FZ_CHECK(kavo_row_emitted(r) >= 0 && kavo_row_emitted(r) <= kavo_row_cell_count(r));
        const int32_t cell_item = kavo_row_cell_item_index(r, c);
        FZ_CHECK(cell_item >= -1 && cell_item < kavo_item_count());
        if (cell_item >= 0) FZ_CHECK(c < kavo_row_emitted(r) && kavo_item_id(cell_item) != nullptr);
        const double fraction = kavo_item_progress_fraction(i);
        FZ_CHECK(i >= 0 && i < kavo_item_count() ? fraction >= 0.0 && fraction <= 1.0 : fraction == -1.0);
        FZ_CHECK(i >= 0 && i < kavo_item_count() ? kavo_item_resume_position_s(i) >= 0.0
                                                  : kavo_item_resume_position_s(i) == -1.0);
        const char* rj = kavo_row_json(r);
        if (rj) fz::check_parses(rj, "row");
        const char* cj = kavo_row_cell_json(r, c);
        if (cj) fz::check_parses(cj, "cell");
        const char* ij = kavo_item_json(i);
        if (ij) fz::check_parses(ij, "item");
        (void)kavo_item_title(i), (void)kavo_item_imdb(i), (void)kavo_item_poster_url(i);
        (void)kavo_item_year(i), (void)kavo_item_season(i), (void)kavo_item_episode(i);
        (void)kavo_item_playable(i), (void)kavo_item_source_count(i), (void)kavo_item_unmatched(i);
        const char* next = kavo_item_next_id(i);
        if (next) FZ_CHECK(kavo_item_index_of(next) >= 0);
        const char* sj = kavo_detail_source_json(index_near(fdp, kavo_detail_source_count()));
        if (sj) fz::check_parses(sj, "source");
        FZ_CHECK(kavo_last_code() == code);
        fz::check_error_text();
        break;
      }
      case 17: {
        fallible = false;
        const int32_t code = kavo_last_code();
        if (checked) check_detail(code);
        (void)kavo_detail_best_source_url();
        (void)kavo_detail_resume_position_s(), (void)kavo_detail_progress_fraction();
        FZ_CHECK(kavo_detail_resume_clamped() == 0 || kavo_detail_resume_clamped() == 1);
        fz::check_parses(kavo_detail_next_json(), "next");
        fz::check_parses(kavo_detail_autoplay_json(), "autoplay");
        break;
      }
      case 18: {
        // The keys with small buffers; they touch only the status frame.
        char out[24];
        const std::string a = fdp.ConsumeRandomLengthString(12);
        const size_t n = fdp.ConsumeIntegralInRange<size_t>(0, sizeof out);
        rc = kavo_stable_hash(a.c_str(), out, n);
        fz::check_outcome(rc, {"null argument", "buffer too small"}, {0, 2, 4});
        rc = kavo_resume_key(a.c_str(), "", a.c_str(), out, n);
        fz::check_outcome(rc, {"null argument", "buffer too small"}, {0, 2, 4});
        rc = kavo_legacy_resume_key(a.c_str(), out, n);
        fz::check_outcome(rc, {"null argument", "buffer too small"}, {0, 2, 4});
        if (checked) FZ_CHECK(result_before == kavo_result_json());
        break;
      }
      case 19: {
        // The example inputs, as a host loads them.
        static const std::string inputs = fz::example("inputs.json");
        rc = kavo_load_inputs(inputs.c_str());
        fz::check_outcome(rc, {}, {0});
        rebuilt = true;
        break;
      }
      case 20:
        fallible = false;
        if (checked) {
          fz::check_model();
          check_rows_within_cap(st);
        }
        break;
      case 21: {
        // A progress update, as a player sends it.
        const Input in = input_text(fdp, gen, true, kWatch);
        auto watch_count = [] {
          fz::Json stats(kavo_stats_json());
          return yyjson_get_int(yyjson_obj_get(stats.root(), "watch"));
        };
        const int watch_before = watch_count();
        rc = kavo_update_watch(in.get());
        fz::check_outcome(rc, {"watch: not valid JSON", "watch: expected an array"}, {0, 1});
        rebuilt = !in.null;
        if (rc == 0) FZ_CHECK(watch_count() >= watch_before);  // entries are replaced or added
        break;
      }
      default: {
        // An item lookup by any text.
        fallible = false;
        const Input in = name_text(fdp, 0);
        const int32_t i = kavo_item_index_of(in.get());
        FZ_CHECK(i >= -1 && i < kavo_item_count());
        if (in.null) FZ_CHECK(i == -1);
        break;
      }
    }
    // The status right after the call (the checks' getters write messages).
    const std::string status =
        fallible ? std::to_string(rc) + " " + std::to_string(kavo_last_code()) + " " + kavo_last_error() : "-";
    if (checked) {
      if (fallible && rc != 0 && op != 14) {
        // A failure rebuilds nothing.
        FZ_CHECK(result_before == kavo_result_json());
      }
      if (rebuilt && rc == 0) st.rebuild_cap = kavo_get_row_cap();
      if (!rebuilt && op != 14 && op != 15 && op != 19) {
        FZ_CHECK(op >= 10 && op <= 12 ? true : result_before == kavo_result_json());
      }
      fz::check_model(quick);
    }
    see(pass, record, static_cast<size_t>(step), op, status, pass != Pass::kLazy || lazy_read(input_hash, step));
  }
  if (checked) {
    fz::check_model();
    check_rows_within_cap(st);
    check_detail(kavo_last_code());
  }
  // Whatever piled up, read at the end.
  see(pass, record, static_cast<size_t>(step), 0xff, "end", true);
  if (pass != Pass::kChecked) FZ_CHECK(record.size() == static_cast<size_t>(step) + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<Seen> record;
  run_pass(data, size, Pass::kChecked, record);
  run_pass(data, size, Pass::kFull, record);
  run_pass(data, size, Pass::kLazy, record);
  kavo::set_full_rebuilds(false);
  return 0;
}
