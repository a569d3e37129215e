// Incremental rebuilds against full ones. Random call sequences run twice from
// a clean state, once as the library runs them and once with every input call
// rebuilding everything from scratch; after every call the host must see the
// same thing: the same code and message, and the same documents and getters
// byte for byte. The result document is written when first read, so the
// capture after a call reads it only now and then (the same calls in both
// runs), and several changes pile up before it is written.
//
// KAVO_TEST_SEEDS replaces the fixed seeds of every test here: a list of
// seeds and ranges, e.g. KAVO_TEST_SEEDS=1-500 or KAVO_TEST_SEEDS=17,90-99.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "api/sequence.h"
#include "frame/model.h"
#include "support/fixture.h"

using kavo_test::str;

namespace {

// ---- Random choices ---------------------------------------------------------

class Pick {
 public:
  explicit Pick(uint64_t seed) : rng_(seed) {}
  int below(std::size_t n) { return n <= 1 ? 0 : static_cast<int>(rng_() % n); }
  int range(int lo, int hi) { return lo + below(static_cast<std::size_t>(hi - lo + 1)); }
  bool chance(int percent) { return below(100) < percent; }
  template <class T>
  const T& one(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(below(v.size()))];
  }

 private:
  std::mt19937_64 rng_;
};

// A JSON string of a text (the texts here need no other escapes).
std::string q(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A JSON object written member by member.
class Obj {
 public:
  Obj& raw(const std::string& key, const std::string& value) {
    s_ += s_.empty() ? "{" : ",";
    s_ += q(key) + ":" + value;
    return *this;
  }
  Obj& text(const std::string& key, const std::string& value) { return raw(key, q(value)); }
  Obj& num(const std::string& key, int64_t value) { return raw(key, std::to_string(value)); }
  Obj& flag(const std::string& key, bool value) { return raw(key, value ? "true" : "false"); }
  std::string done() const { return s_.empty() ? "{}" : s_ + "}"; }

 private:
  std::string s_;
};

std::string list(const std::vector<std::string>& elements) {
  std::string s = "[";
  for (std::size_t i = 0; i < elements.size(); ++i) s += (i ? "," : "") + elements[i];
  return s + "]";
}

std::string deep_array(int depth) {
  return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

std::string deep_object(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "{\"a\":";
  return s + "{}" + std::string(static_cast<std::size_t>(depth), '}');
}

// ---- Calls ------------------------------------------------------------------

enum class Op {
  kAddItems,
  kSetLibrary,
  kSetWatch,
  kUpdateWatch,
  kSetServerHome,
  kSetStore,
  kLoadInputs,
  kResumeSettings,
  kAutoplaySettings,
  kRowCap,
  kSelectItem,
  kSelectImdb,
  kSelectSource,
  kClear,
  kShutdown
};

const char* op_name(Op op) {
  switch (op) {
    case Op::kAddItems:
      return "kavo_add_items";
    case Op::kSetLibrary:
      return "kavo_set_library";
    case Op::kSetWatch:
      return "kavo_set_watch";
    case Op::kUpdateWatch:
      return "kavo_update_watch";
    case Op::kSetServerHome:
      return "kavo_set_server_home";
    case Op::kSetStore:
      return "kavo_set_store";
    case Op::kLoadInputs:
      return "kavo_load_inputs";
    case Op::kResumeSettings:
      return "kavo_set_resume_settings";
    case Op::kAutoplaySettings:
      return "kavo_set_autoplay_settings";
    case Op::kRowCap:
      return "kavo_set_row_cap";
    case Op::kSelectItem:
      return "kavo_select_item";
    case Op::kSelectImdb:
      return "kavo_select_imdb";
    case Op::kSelectSource:
      return "kavo_select_source";
    case Op::kClear:
      return "kavo_clear";
    case Op::kShutdown:
      return "kavo_shutdown";
  }
  return "?";
}

struct Call {
  Op op;
  std::optional<std::string> text;  // none: NULL
  int32_t number = 0;               // the row cap
  bool read_result = false;         // whether the capture after it reads the result document
};

int32_t run_call(const Call& c) {
  const char* t = c.text ? c.text->c_str() : nullptr;
  switch (c.op) {
    case Op::kAddItems:
      return kavo_add_items(t);
    case Op::kSetLibrary:
      return kavo_set_library(t);
    case Op::kSetWatch:
      return kavo_set_watch(t);
    case Op::kUpdateWatch:
      return kavo_update_watch(t);
    case Op::kSetServerHome:
      return kavo_set_server_home(t);
    case Op::kSetStore:
      return kavo_set_store(t);
    case Op::kLoadInputs:
      return kavo_load_inputs(t);
    case Op::kResumeSettings:
      return kavo_set_resume_settings(t);
    case Op::kAutoplaySettings:
      return kavo_set_autoplay_settings(t);
    case Op::kRowCap:
      return kavo_set_row_cap(c.number);
    case Op::kSelectItem:
      return kavo_select_item(t);
    case Op::kSelectImdb:
      return kavo_select_imdb(t);
    case Op::kSelectSource:
      return kavo_select_source(t);
    case Op::kClear:
      return kavo_clear();
    case Op::kShutdown:
      kavo_shutdown();
      return 0;
  }
  return -1;
}

std::string describe(const Call& c) {
  std::string s = std::string(op_name(c.op)) + "(";
  if (c.op == Op::kRowCap) {
    s += std::to_string(c.number);
  } else if (c.op != Op::kClear && c.op != Op::kShutdown) {
    if (!c.text) {
      s += "NULL";
    } else if (c.text->size() > 600) {
      s += c.text->substr(0, 600) + "... (" + std::to_string(c.text->size()) + " bytes)";
    } else {
      s += *c.text;
    }
  }
  return s + (c.read_result ? "), result read" : ")");
}

// ---- What the host sees -----------------------------------------------------

// Takes what the host sees piece by piece: a hash of all of it and, when a
// text is given, the text too (to show where two runs differ). Hashing the
// pieces where they lie keeps the multi-megabyte captures near the row limit
// cheap.
class Sink {
 public:
  explicit Sink(std::string* text) : text_(text) {}
  void operator()(const char* name, const char* value) {
    const std::string_view v = value ? std::string_view(value) : std::string_view("<null>");
    hash_ = (hash_ ^ std::hash<std::string_view>{}(name)) * 0x100000001b3ULL;
    hash_ = (hash_ ^ std::hash<std::string_view>{}(v)) * 0x100000001b3ULL;
    if (text_ != nullptr) {
      *text_ += name;
      *text_ += ": ";
      *text_ += v;
      *text_ += '\n';
    }
  }
  uint64_t hash() const { return hash_; }

 private:
  std::string* text_;
  uint64_t hash_ = 1469598103934665603ULL;
};

// The getters visit_host_view leaves out: the rows' and cells' scalars and
// cell documents, the items' resume answers, the selection's sources and
// scalars.
void visit_getters(Sink& add) {
  char n[160];
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    std::snprintf(n, sizeof n, "%d %d %d %d", kavo_row_kind(r), kavo_row_cell_count(r), kavo_row_emitted(r),
                  kavo_row_truncated(r));
    add("row scalars", n);
    add("row key", kavo_row_key(r));
    add("row title", kavo_row_title(r));
    for (int32_t c = 0; c < kavo_row_emitted(r); ++c) {
      std::snprintf(n, sizeof n, "%d %d %d", kavo_row_cell_item_index(r, c), kavo_row_cell_resume_action(r, c),
                    kavo_row_cell_playable(r, c));
      add("cell scalars", n);
      add("cell title", kavo_row_cell_title(r, c));
      add("cell poster", kavo_row_cell_poster_url(r, c));
      add("cell", kavo_row_cell_json(r, c));
    }
  }
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    std::snprintf(n, sizeof n, "%d %d %.17g %.17g %lld %d %d", kavo_item_kind(i), kavo_item_resume_action(i),
                  kavo_item_resume_position_s(i), kavo_item_progress_fraction(i),
                  static_cast<long long>(kavo_item_added_ms(i)), kavo_item_playable(i), kavo_item_unmatched(i));
    add("item scalars", n);
  }
  for (int32_t i = 0; i < kavo_detail_source_count(); ++i) add("source", kavo_detail_source_json(i));
  add("best url", kavo_detail_best_source_url());
  std::snprintf(n, sizeof n, "%d %.17g %.17g %d %d", kavo_detail_resume_action(), kavo_detail_resume_position_s(),
                kavo_detail_progress_fraction(), kavo_detail_resume_clamped(), kavo_detail_autoplay_configured());
  add("detail scalars", n);
}

struct Capture {
  int32_t rc = 0;
  std::string status;  // code and message right after the call
  bool has_result = false;
  uint64_t result = 0;  // the result document's hash
  uint64_t view = 0;    // the hash of everything else
};

// What the host sees after a call that returned `rc`; the status is taken
// first, as reading the detail stores one. With `text` the capture is also
// written out there.
Capture capture(int32_t rc, bool with_result, std::string* text = nullptr) {
  Capture c;
  c.rc = rc;
  c.status = "rc " + std::to_string(rc) + ", code " + std::to_string(kavo_last_code()) + ", message \"" +
             kavo_last_error() + "\"";
  if (text != nullptr) *text += "status: " + c.status + "\n";
  if (with_result) {
    Sink result(text);
    result("result", kavo_result_json());
    c.has_result = true;
    c.result = result.hash();
  }
  Sink view(text);
  kavo_test::visit_host_view(view, false);
  visit_getters(view);
  c.view = view.hash();
  return c;
}

// Where two texts first differ: the line's number and both lines, cut around
// the difference.
std::string first_difference(const std::string& a, const std::string& b, const char* a_name, const char* b_name) {
  if (a == b) return "no difference in the texts (hash collision?)";
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  const std::size_t newline = at == 0 ? std::string::npos : a.rfind('\n', at - 1);
  const std::size_t line_start = newline == std::string::npos ? 0 : newline + 1;
  std::size_t line = 1;
  for (std::size_t i = 0; i < line_start; ++i) line += a[i] == '\n';
  const std::size_t from = std::max(line_start, at > 200 ? at - 200 : 0);
  auto cut = [from](const std::string& s) {
    if (from >= s.size()) return std::string("<end>");
    const std::size_t end = std::min(s.find('\n', from), from + 400);
    return s.substr(from, end == std::string::npos ? std::string::npos : end - from);
  };
  const std::string piece = a.substr(line_start, std::min(a.find(':', line_start), at) - line_start);
  return "line " + std::to_string(line) + " (" + piece + "), byte " + std::to_string(at - line_start) + ":\n  " +
         a_name + ": " + cut(a) + "\n  " + b_name + ": " + cut(b);
}

// ---- The world a sequence plays in -------------------------------------------

const std::vector<std::string> kTitles = {"The Abyss",
                                          "alien",
                                          "Aliens",
                                          "10 Cloverfield Lane",
                                          "2 Fast 2 Furious",
                                          "Zed",
                                          "zed",
                                          "\xc3\x89mile",
                                          "A",
                                          "The",
                                          "Season 9",
                                          "Season 10",
                                          "An Orchard",
                                          "Quote \" and \\ slash"};
const std::vector<std::string> kGenres = {"Drama", "Sci-Fi", "Thriller", "Comedy"};
const std::vector<std::string> kListIds = {"TrendingNow",   "NewToVELORA",     "MovieNowPlaying", "MyWatchlist",
                                           "BrowseHistory", "HighSpeedServer", "MyWatched",       "Top10",
                                           "mywatchlist",   "TrendingNow"};

// One host watch entry as the test writes it.
struct Watch {
  std::optional<std::string> key, item, imdb;
  int season = -1, episode = -1;
  int position = -1;     // seconds; -1 absent
  int fraction = -1;     // hundredths; -1 absent
  int finished = -1;     // -1 absent
  int64_t updated = -1;  // -1 absent
  bool updated_as_date = false;
  int duration = -1;
  bool local = false;
  // How it is spelled: 0 as above, 1 with other accepted key spellings, 2
  // with spaces after the colons (both read as 0 does).
  int style = 0;

  std::string json() const {
    Obj o;
    if (key) o.text(style == 1 ? "Key" : "key", *key);
    if (item) o.text(style == 1 ? "ItemId" : "item_id", *item);
    if (imdb) o.text("imdb_id", *imdb);
    if (season >= 0) o.num("season", season);
    if (episode >= 0) o.num("episode", episode);
    if (position >= 0) o.num("position_s", position);
    if (fraction >= 0)
      o.raw("fraction",
            std::to_string(fraction / 100) + "." + std::to_string(fraction % 100 / 10) + std::to_string(fraction % 10));
    if (finished >= 0) o.flag("finished", finished != 0);
    if (updated >= 0) {
      if (updated_as_date) {
        char date[40];
        std::snprintf(date, sizeof date, "2024-05-01T%02d:%02d:%02dZ", static_cast<int>(updated / 3600000 % 24),
                      static_cast<int>(updated / 60000 % 60), static_cast<int>(updated / 1000 % 60));
        o.text("updated_ms", date);
      } else {
        o.num("updated_ms", updated);
      }
    }
    if (duration >= 0) o.num("duration_s", duration);
    if (local) o.text("source", "local_store");
    std::string text = o.done();
    if (style == 2) {
      for (std::size_t at = text.find("\":"); at != std::string::npos; at = text.find("\":", at + 3)) {
        text.insert(at + 2, " ");
      }
    }
    return text;
  }
};

struct Episode {
  std::string id, imdb;
  int season, episode;
};

// The catalogue and everything that names it, and the calls made so far.
class Generator {
 public:
  explicit Generator(uint64_t seed) : p(seed) {}

  Pick p;
  std::vector<std::string> ids;  // the catalogue's ids, in the order made
  std::vector<std::string> movie_imdbs, show_imdbs, source_keys, paths;
  std::vector<Episode> episodes;
  std::vector<std::string> batches;  // item arrays, added one after another
  std::size_t sent = 0;              // batches the library holds
  std::vector<Watch> host;           // the host's watch entries as the library holds them
  // The elements of the last watch array set (none: junk), and their texts.
  std::vector<std::optional<Watch>> last_set;
  std::vector<std::string> last_set_texts;
  std::vector<Call> calls;
  int serial = 0;
  bool playable_only = false;  // every item gets a source with an address

  // -- Items --

  int64_t added_time() { return 1700000000000LL + 86400000LL * p.range(0, 12); }
  int64_t watch_time() { return 1000LL * p.range(1, 12); }

  std::string sources(const std::string& id) {
    std::vector<std::string> out;
    const int n = playable_only ? p.range(1, 2) : (p.chance(25) ? 0 : p.range(1, 3));
    for (int i = 0; i < n; ++i) {
      Obj s;
      const std::string key = id + "-" + std::to_string(i);
      if (p.chance(80)) {
        s.text("key", key);
        source_keys.push_back(key);
      }
      const int addr = playable_only ? p.below(8) : p.below(10);
      if (addr < 5) {
        s.text("url", "https://cdn.example/" + id + "/" + std::to_string(i % 2));  // shared addresses now and then
      } else if (addr < 7) {
        s.text("uri", "file:///media/" + id + ".mkv");
      } else if (addr < 8) {
        s.raw("theFile", Obj().text("url", "https://dl.example/" + id).num("width", 3840).num("height", 2160).done());
      }
      if (p.chance(50)) {
        const int w[] = {1920, 3840, 1280};
        const int h[] = {1080, 2160, 720};
        const int k = p.below(3);
        s.num("width", w[k]).num("height", h[k]);
      }
      if (p.chance(15)) s.raw("active", p.chance(50) ? "false" : "\"yes\"");
      if (p.chance(30)) s.num("content_source", p.range(0, 3));
      if (p.chance(20)) s.flag("hdr", true);
      if (p.chance(15)) s.num("size", 100000000LL * p.range(1, 90));
      out.push_back(s.done());
    }
    return list(out);
  }

  // The fields any item may have.
  void common(Obj& o, const std::string& id, bool titled) {
    if (titled && p.chance(85)) o.text(p.chance(90) ? "title" : "Title", p.one(kTitles));
    if (p.chance(55)) {
      if (p.chance(90)) {
        o.num("year", p.range(2015, 2024));
      } else {
        o.text("year", std::to_string(p.range(2015, 2024)));
      }
    }
    if (p.chance(25)) o.text("poster_url", "https://img.example/" + id + ".jpg");
    if (p.chance(55)) {
      switch (p.below(4)) {
        case 0:
          o.num("mtime_ms", added_time());
          break;
        case 1:
          o.text("added", "2024-04-0" + std::to_string(p.range(1, 9)) + "T10:00:00Z");
          break;
        default:
          o.num("added_ms", added_time());
          break;
      }
    }
    if (p.chance(25)) o.raw("genres", list({q(p.one(kGenres))}));
    if (p.chance(15)) o.num("rating", p.range(1, 9));
    if (p.chance(playable_only ? 100 : 75)) o.raw("sources", sources(id));
    if (p.chance(4)) o.raw(p.chance(50) ? "plot" : "backdrop_url", p.chance(50) ? "[]" : "{}");  // read as absent
    if (p.chance(2)) o.raw("backend_id", deep_array(600));
  }

  std::string fresh_id(const char* prefix) {
    std::string id = prefix + std::to_string(serial++);
    ids.push_back(id);
    return id;
  }

  std::string movie() {
    const std::string id = fresh_id("m");
    Obj o;
    o.text("id", id);
    o.raw("kind", p.chance(80) ? "\"movie\"" : (p.chance(50) ? "\"film\"" : "0"));
    const int k = p.below(20);
    if (k < 14 || movie_imdbs.empty()) {
      movie_imdbs.push_back("tt5" + std::to_string(movie_imdbs.size()));
      o.text("imdb_id", movie_imdbs.back());
    } else if (k < 16) {
      o.text("imdb_id", p.one(movie_imdbs));  // two movies of one IMDb id
    } else if (k < 17 && !show_imdbs.empty()) {
      o.text("imdbId", p.one(show_imdbs));
    }
    common(o, id, true);
    if (p.chance(60)) {
      o.num("duration_s", p.range(80, 140) * 60);
    } else if (p.chance(50)) {
      o.num("runtime_min", p.range(80, 140));
    }
    if (p.chance(10)) o.num("credits_start_s", p.range(70, 80) * 60);
    return o.done();
  }

  std::string show_imdb(int new_percent) {
    if (show_imdbs.empty() || p.chance(new_percent)) show_imdbs.push_back("tt1" + std::to_string(show_imdbs.size()));
    return p.one(show_imdbs);
  }

  std::string show_item() {
    const std::string id = fresh_id("s");
    const std::vector<std::string> kinds = {"\"tv\"", "\"series\"", "\"show\"", "\"TV\"", "1"};
    Obj o;
    o.text("id", id).raw("kind", p.one(kinds)).text("imdb_id", show_imdb(30));
    if (p.chance(10)) o.num("episode", 0);
    common(o, id, true);
    return o.done();
  }

  std::string episode(const std::string& imdb, int season, int number) {
    const std::string id = fresh_id("e");
    episodes.push_back({id, imdb, season, number});
    Obj o;
    o.text("id", id);
    const int k = p.below(20);
    o.raw("kind", k < 17 ? "\"episode\"" : (k < 19 ? "\"file\"" : "2"));
    o.text(p.chance(90) ? "imdb_id" : "IMDbId", imdb);
    o.num(p.chance(90) ? "season" : "Season", season).num("episode", number);
    if (p.chance(50)) o.text("air_date", "2021-09-" + std::to_string(10 + p.below(20)));
    common(o, id, p.chance(70));
    const int duration = 60 * p.range(20, 50);
    if (p.chance(70)) o.num("duration_s", duration);
    if (p.chance(15)) o.num("credits_start_s", duration - 200);
    return o.done();
  }

  std::string next_episode() {
    const std::string imdb = show_imdb(15);
    int season = 1, number = 1;
    for (const Episode& e : episodes) {
      if (e.imdb == imdb) season = e.season, number = e.episode + 1;
    }
    if (p.chance(15)) season += 1, number = 1;
    if (p.chance(10)) number = p.range(1, 8);  // gaps and episodes catalogued twice
    if (p.chance(5)) season = 0;
    return episode(imdb, season, number);
  }

  std::string file() {
    const std::string id = fresh_id("f");
    paths.push_back("/media/" + id + ".mkv");
    Obj o;
    o.text("id", id).text("kind", p.chance(80) ? "file" : "folder").text("path", paths.back());
    if (p.chance(30)) o.flag("unmatched", true);
    if (p.chance(20)) o.flag("is_audio_only", true);
    if (p.chance(10)) o.flag("is_cue_track", true);
    if (p.chance(15) && !show_imdbs.empty())
      o.text("imdb_id", p.one(show_imdbs)).num("season", 1).num("episode", p.range(1, 4));
    common(o, id, true);
    return o.done();
  }

  std::string unknown() {
    const std::string id = fresh_id("u");
    Obj o;
    o.text("id", id);
    const std::vector<std::string>& from = p.chance(50) || show_imdbs.empty() ? movie_imdbs : show_imdbs;
    if (!from.empty()) o.text("imdb_id", p.one(from));
    if (p.chance(50)) common(o, id, false);
    return o.done();
  }

  // An item whose id was given before (rejected), or differs from one only in letter case.
  std::string again() {
    std::string id = p.one(ids);
    if (p.chance(50)) {
      for (char& c : id) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      ids.push_back(id);
    }
    Obj o;
    o.text("id", id).text("kind", p.chance(50) ? "movie" : "episode");
    common(o, id, true);
    return o.done();
  }

  std::string any_item() {
    if (ids.empty()) return movie();
    const int k = p.below(20);
    if (k < 9) return next_episode();
    if (k < 13) return movie();
    if (k < 15) return show_item();
    if (k < 17) return file();
    if (k < 18) return unknown();
    return again();
  }

  // A catalogue of about n items in batches: the first holds most of it.
  void catalogue(int n) {
    std::vector<std::string> items;
    while (static_cast<int>(items.size()) < n) items.push_back(any_item());
    std::size_t at = 0;
    while (at < items.size()) {
      const std::size_t take = at == 0 ? items.size() * static_cast<std::size_t>(p.range(30, 90)) / 100 + 1
                                       : static_cast<std::size_t>(p.range(1, 12));
      const std::size_t end = std::min(items.size(), at + take);
      batches.push_back(list(
          std::vector<std::string>(items.begin() + static_cast<long>(at), items.begin() + static_cast<long>(end))));
      at = end;
    }
  }

  // -- What names items --

  std::string item_name() {
    if (ids.empty() || p.chance(8)) return p.chance(50) ? "nothing" + std::to_string(p.below(3)) : "";
    std::string id = p.one(ids);
    if (p.chance(5) && !id.empty()) id[0] = static_cast<char>(id[0] ^ 0x20);  // the other letter case
    return id;
  }

  std::string any_imdb() {
    const int k = p.below(10);
    if (k < 4 && !show_imdbs.empty()) return p.one(show_imdbs);
    if (k < 8 && !movie_imdbs.empty()) return p.one(movie_imdbs);
    return "tt9" + std::to_string(p.below(4));
  }

  void progress(Watch& w) {
    const int k = p.below(20);
    if (k < 9) {
      w.position = p.chance(10) ? p.range(0, 6) : p.range(10, 6000);
    } else if (k < 13) {
      w.fraction = p.range(0, 115);
    } else if (k < 16) {
      w.finished = p.chance(85) ? 1 : 0;
      if (p.chance(30)) w.position = p.range(10, 3000);
    } else if (k < 19) {
      w.position = p.range(10, 3000);
      w.fraction = p.range(0, 100);
    }  // else says nothing: turned away
    if (p.chance(15)) w.duration = 60 * p.range(1, 60);
  }

  Watch random_watch() {
    Watch w;
    const int k = p.below(20);
    if (k < 10 || episodes.empty()) {
      w.item = item_name();
    } else if (k < 15) {
      const Episode& e = p.one(episodes);
      w.imdb = p.chance(90) ? e.imdb : "TT" + e.imdb.substr(2);
      w.season = e.season;
      w.episode = p.chance(90) ? e.episode : e.episode + 1;
    } else if (k < 17) {
      w.imdb = any_imdb();
    } else if (k < 19) {
      w.item = item_name();
      w.imdb = any_imdb();
    }  // else names nothing
    if (p.chance(50)) w.key = "k" + std::to_string(p.below(8));
    progress(w);
    if (!p.chance(12)) w.updated = watch_time();
    w.updated_as_date = p.chance(10);
    w.local = p.chance(15);
    return w;
  }

  // A progress report on an entry the host holds: newer, as new or older,
  // sometimes naming another item.
  Watch tick(Watch w) {
    const int k = p.below(10);
    const int64_t before = w.updated < 0 ? 0 : w.updated;
    if (k < 6) {
      w.updated = before + 1000LL * p.range(1, 3);
    } else if (k < 8) {
      w.updated = before;
    } else {
      w.updated = std::max<int64_t>(0, before - 1000LL * p.range(1, 3));
    }
    if (w.position >= 0 || w.fraction < 0) w.position = std::max(0, w.position) + p.range(-30, 900);
    if (w.fraction >= 0) w.fraction = std::min(120, w.fraction + p.range(0, 30));
    if (p.chance(8)) w.finished = 1;
    if (p.chance(10) && w.key) w.item = item_name();  // the key moves to another item
    return w;
  }

  static bool matches(const Watch& held, const Watch& update) {
    if (update.key) return held.key == update.key;
    if (update.item) return held.item == update.item;
    if (update.imdb && update.season >= 0 && update.episode >= 0) {
      return held.imdb == update.imdb && held.season == update.season && held.episode == update.episode;
    }
    return false;
  }

  static bool says_something(const Watch& w) { return w.position >= 0 || w.fraction >= 0 || w.finished >= 0; }

  void apply(const Watch& update) {
    if (!says_something(update)) return;
    for (Watch& held : host) {
      if (matches(held, update)) {
        held = update;
        return;
      }
    }
    host.push_back(update);
  }

  std::string watch_array(const std::vector<Watch>& entries, bool with_junk) {
    std::vector<std::string> texts;
    for (const Watch& w : entries) texts.push_back(w.json());
    if (with_junk && p.chance(15))
      texts.insert(texts.begin() + p.below(texts.size() + 1), p.chance(50) ? "7" : "{\"id\":\"x\"}");
    if (with_junk && p.chance(3)) texts.push_back("{\"item_id\":" + deep_array(600) + ",\"position\":3}");
    return list(texts);
  }

  std::vector<Watch> random_watches(int most) {
    std::vector<Watch> out(static_cast<std::size_t>(p.range(0, most)));
    for (Watch& w : out) w = random_watch();
    return out;
  }

  // -- The other inputs --

  std::string library() {
    std::vector<std::string> out;
    const int n = p.range(0, 14);
    for (int i = 0; i < n; ++i) {
      Obj o;
      const int k = p.below(10);
      if (k < 2 && !ids.empty()) {
        o.text("id", p.one(ids));  // linked by id
      } else {
        o.text("id", "lib" + std::to_string(p.below(12)));  // ids may repeat
      }
      o.text("kind", p.chance(75) ? "file" : "folder");
      if (k >= 2 && k < 5 && !paths.empty()) {
        o.text("path", p.one(paths));  // linked by path
      } else {
        o.text("path", "/media/lib/" + std::to_string(i) + ".mkv");
      }
      if (p.chance(70)) o.text("title", p.one(kTitles));
      if (p.chance(50)) o.num("added_ms", added_time());
      if (p.chance(25)) o.flag("is_audio_only", true);
      if (p.chance(15)) o.flag("unmatched", true);
      if (p.chance(30)) o.text("poster_url", "https://img.example/lib" + std::to_string(i));
      out.push_back(o.done());
    }
    return list(out);
  }

  std::string id_list(int most) {
    std::string s;
    const int n = p.range(0, most);
    for (int i = 0; i < n; ++i) s += (i ? (p.chance(20) ? " , " : ",") : "") + any_imdb();
    if (p.chance(10)) s += ",,";
    return s;
  }

  std::string server_home() {
    Obj home;
    if (p.chance(60)) {
      std::vector<std::string> basics;
      for (int i = p.range(0, 6); i > 0; --i) {
        Obj b;
        b.text("IMDbId", any_imdb());
        if (p.chance(70)) b.text("Title", p.one(kTitles));
        if (p.chance(40)) b.text("PosterUrl", "https://img.example/b" + std::to_string(i));
        if (p.chance(40)) b.num("Year", p.range(2000, 2024));
        if (p.chance(40)) b.text("Duration", std::to_string(p.range(20, 130)) + " min");
        if (p.chance(50)) b.flag("IsTVShow", p.chance(50));
        if (p.chance(30)) b.raw("Ratings", Obj().num("Internet Movie Database", p.range(1, 9)).done());
        if (p.chance(30)) b.raw("Genres", list({q(p.one(kGenres))}));
        basics.push_back(b.done());
      }
      home.raw("Basics", list(basics));
    }
    if (p.chance(50)) {
      std::vector<std::string> continues;
      for (int i = p.range(0, 4); i > 0; --i) {
        Obj c;
        if (!episodes.empty() && p.chance(60)) {
          const Episode& e = p.one(episodes);
          c.text("IMDbId", e.imdb).num("Season", e.season).num("Episode", e.episode);
        } else {
          c.text("IMDbId", any_imdb());
        }
        if (p.chance(90)) c.raw("Value", "0." + std::to_string(p.range(0, 99)));
        if (p.chance(70))
          c.text("Duration", "0" + std::to_string(p.range(0, 2)) + ":" + std::to_string(10 + p.below(49)) + ":00");
        if (p.chance(80)) c.text("UpdatedAt", "2024-05-0" + std::to_string(p.range(1, 4)) + "T21:10:00Z");
        continues.push_back(c.done());
      }
      home.raw("Continues", list(continues));
    }
    if (p.chance(70)) {
      std::vector<std::string> lists;
      for (int i = p.range(0, 5); i > 0; --i)
        lists.push_back(Obj().text("Id", p.one(kListIds)).text("Value", id_list(5)).done());
      home.raw("List", list(lists));
    }
    if (p.chance(40)) {
      std::vector<std::string> extents;
      for (int i = p.range(0, 3); i > 0; --i) {
        extents.push_back(p.chance(70)
                              ? Obj().text("Id", "Genre_" + p.one(kGenres)).text("Value", id_list(4)).done()
                              : Obj().text("Id", "FeatureFlags_X" + std::to_string(i)).text("Value", "on").done());
      }
      home.raw("ExtentList", list(extents));
    }
    if (p.chance(30)) home.raw("Spotlights", list({Obj().text("Items", id_list(3)).done()}));
    if (p.chance(25))
      home.raw("CollectionPlaylists", list({Obj().text("Name", "Award Winners").done(), R"({"name":"Rainy"})"}));
    if (p.chance(30)) {
      std::vector<std::string> level;
      for (int i = p.range(0, 3); i > 0; --i) {
        Obj l;
        l.text("IMDbID", any_imdb());
        if (p.chance(50)) l.text("FileName", "Coastline." + std::to_string(i) + ".mkv");
        level.push_back(l.done());
      }
      home.raw("Level30s", list(level));
    }
    return home.done();
  }

  std::string store() {
    Obj s;
    if (p.chance(70)) {
      std::vector<std::string> favourites;
      for (int i = p.range(0, 4); i > 0; --i) {
        Obj f;
        if (p.chance(70)) {
          f.text("token", item_name());
        } else {
          f.text("token", "tok" + std::to_string(p.below(3))).text("display_name", "Old favourite");
        }
        favourites.push_back(f.done());
      }
      s.raw(p.chance(85) ? "favourites" : "favorites", list(favourites));
    }
    if (p.chance(30))
      s.raw("playlists", list({Obj().text("key", "pl-1").text("name", "Weekend").text("ids", id_list(3)).done()}));
    if (p.chance(60)) {
      Obj d;
      for (int i = p.range(0, 4); i > 0; --i) {
        std::string id = item_name();
        if (!host.empty() && p.chance(60)) {
          const Watch& w = p.one(host);  // what the host watched
          if (w.item) id = *w.item;
        }
        if (p.chance(85)) {
          d.num(id, watch_time());
        } else {
          d.text(id, p.chance(50) ? "soon" : std::to_string(watch_time()));
        }
      }
      s.raw("dismissed", d.done());
    }
    return s.done();
  }

  std::string resume_settings() {
    Obj o;
    auto maybe = [this](int percent) { return p.chance(percent); };
    if (maybe(10)) o.flag("remember_last_position", p.chance(30));
    if (maybe(10)) o.flag("remember_audio", p.chance(50));
    if (maybe(20)) o.raw("finished_fraction", p.chance(80) ? "0.9" : "1.5");
    if (maybe(20)) o.num("resume_min_s", p.chance(80) ? 180 : -1);
    if (maybe(15)) o.raw("resume_min_fraction", "0.05");
    if (maybe(15)) o.num("short_item_s", p.chance(50) ? 300 : 3000);
    if (maybe(20)) o.flag("finished_at_proposal", true);
    if (maybe(20)) o.flag("keep_finished_on_replay", true);
    if (maybe(30)) o.flag("continue_skip_finished", true);
    if (maybe(30)) o.flag("continue_next_up", true);
    if (maybe(30)) o.flag("next_episode_following", true);
    if (maybe(25)) o.text("title_sort", p.chance(80) ? "natural" : "NATURAL");
    if (maybe(10)) o.raw("title_articles", p.chance(50) ? R"(["the","la"])" : "[]");
    if (maybe(25)) o.flag("catalogue_by_year", false);
    if (maybe(25)) o.flag("recent_group_shows", true);
    if (maybe(20)) o.flag("recent_skip_finished", true);
    if (maybe(20)) o.num("show_rows_max", p.range(-1, 3));
    return o.done();
  }

  std::string autoplay_settings() {
    Obj o;
    if (p.chance(10)) o.flag("enabled", false);
    if (p.chance(60)) o.flag("use_fixed_present_before", true).num("present_before_duration_s", 15 * p.range(1, 4));
    if (p.chance(25)) o.flag("use_percentage_present_before", true).raw("present_before_percentage", "0.95");
    if (p.chance(40)) o.flag("enable_counting_down", true).num("countdown_duration_s", 20);
    if (p.chance(30)) o.flag("automatic_play_next", true);
    if (p.chance(30)) o.raw("present_before_steps", "[[0,15],[600,30],[2400,50]]");
    if (p.chance(30)) o.flag("present_at_credits", true);
    if (p.chance(30)) o.flag("proposal_only_with_next", true);
    return o.done();
  }

  // -- Calls --

  void push(Op op, std::optional<std::string> text) { calls.push_back({op, std::move(text), 0, false}); }

  void add_items() {
    if (sent < batches.size()) {
      push(Op::kAddItems, batches[sent++]);
    } else if (!batches.empty() && p.chance(30)) {
      push(Op::kAddItems, p.one(batches));  // all of it given before
    } else {
      std::vector<std::string> more;
      for (int i = p.range(1, 4); i > 0; --i) more.push_back(any_item());
      batches.push_back(list(more));
      sent = batches.size();
      push(Op::kAddItems, batches.back());
    }
  }

  // Something about one entry changed: its progress, time, item, group,
  // finished flag, key, spelling, or whether it tells anything at all.
  Watch changed(Watch w) {
    switch (p.below(10)) {
      case 0:
      case 1:
        return tick(w);
      case 2:
        w.item = item_name();
        break;
      case 3:
        w.updated = p.chance(20) ? -1 : watch_time();
        break;
      case 4:
        w.local = !w.local;
        break;
      case 5:
        w.finished = w.finished == 1 ? (p.chance(50) ? 0 : -1) : 1;
        break;
      case 6:
        if (p.chance(30)) {
          w.key.reset();
        } else {
          w.key = "k" + std::to_string(p.below(8));
        }
        break;
      case 7:
        w.style = (w.style + 1 + p.below(2)) % 3;
        break;
      case 8:
        w.position = w.fraction = w.finished = -1;  // turned away now
        break;
      default:
        progress(w);
        w.duration = p.chance(50) ? -1 : 60 * p.range(1, 60);
        break;
    }
    return w;
  }

  // The last array set again with nothing, one or a few of its elements
  // changed, now and then with one added or taken out.
  void set_watch_again() {
    std::vector<std::optional<Watch>> elements = last_set;
    std::vector<std::string> texts = last_set_texts;
    const int k = p.below(20);
    const int changes = k < 3 ? 0 : (k < 12 ? 1 : p.range(2, 5));
    for (int c = 0; c < changes && !elements.empty(); ++c) {
      const std::size_t at = static_cast<std::size_t>(p.below(elements.size()));
      if (elements[at]) {
        elements[at] = changed(*elements[at]);
      } else {
        elements[at] = p.chance(50) ? std::optional<Watch>(random_watch()) : std::nullopt;
      }
      texts[at] = elements[at] ? elements[at]->json() : (p.chance(50) ? "[]" : "{\"key\":\"k1\"}");
    }
    const int shape = p.below(20);
    if (shape == 0) {
      const std::size_t at = static_cast<std::size_t>(p.below(elements.size() + 1));
      elements.insert(elements.begin() + static_cast<long>(at), std::nullopt);
      texts.insert(texts.begin() + static_cast<long>(at), p.chance(50) ? "7" : "{\"id\":\"x\"}");
    } else if (shape == 1 && !elements.empty()) {
      const std::size_t at = static_cast<std::size_t>(p.below(elements.size()));
      elements.erase(elements.begin() + static_cast<long>(at));
      texts.erase(texts.begin() + static_cast<long>(at));
    } else if (shape == 2) {
      elements.push_back(random_watch());
      texts.push_back(elements.back()->json());
    }
    std::string array = list(texts);
    if (p.chance(3)) array = " " + array;
    if (p.chance(3)) array += "\n";
    if (p.chance(3) && array.size() > 2) array.insert(array.size() - 1, p.chance(50) ? "," : "  ");  // "," is no JSON
    push(Op::kSetWatch, array);
    if (array.size() > 2 && array[array.size() - 2] == ',') return;  // refused: nothing changes
    last_set = std::move(elements);
    last_set_texts = std::move(texts);
    host.clear();
    for (const std::optional<Watch>& w : last_set) {
      if (w && says_something(*w)) host.push_back(*w);
    }
  }

  void set_watch() {
    if (!last_set.empty() && p.chance(60)) {
      set_watch_again();
      return;
    }
    last_set.clear();
    last_set_texts.clear();
    if (p.chance(8)) {
      push(Op::kSetWatch, std::nullopt);
      host.clear();
      return;
    }
    std::vector<Watch> entries;
    if (!host.empty() && p.chance(50)) {
      entries = host;  // the host's array again, with some progress
      for (Watch& w : entries) {
        if (p.chance(30)) w = tick(w);
      }
      if (p.chance(30)) entries.push_back(random_watch());
    } else {
      entries = random_watches(8);
    }
    set_new_watch(entries);
  }

  // An array of these entries, now and then with junk among them.
  void set_new_watch(const std::vector<Watch>& entries) {
    last_set.clear();
    last_set_texts.clear();
    for (const Watch& w : entries) {
      last_set.push_back(w);
      last_set_texts.push_back(w.json());
    }
    if (p.chance(15)) {
      const std::size_t at = static_cast<std::size_t>(p.below(last_set.size() + 1));
      last_set.insert(last_set.begin() + static_cast<long>(at), std::nullopt);
      last_set_texts.insert(last_set_texts.begin() + static_cast<long>(at), p.chance(50) ? "7" : "{\"id\":\"x\"}");
    }
    if (p.chance(3)) {
      last_set.push_back(std::nullopt);
      last_set_texts.push_back("{\"item_id\":" + deep_array(600) + ",\"position\":3}");
    }
    push(Op::kSetWatch, list(last_set_texts));
    host.clear();
    for (const Watch& w : entries) {
      if (says_something(w)) host.push_back(w);
    }
  }

  void update_watch() {
    if (p.chance(4)) {
      push(Op::kUpdateWatch, std::nullopt);
      return;
    }
    std::vector<Watch> updates;
    for (int i = p.range(1, 3); i > 0; --i) {
      if (!host.empty() && p.chance(75)) {
        Watch w = tick(p.one(host));
        if (p.chance(15)) w.key.reset();  // matched by item id
        updates.push_back(w);
      } else {
        updates.push_back(random_watch());
      }
    }
    push(Op::kUpdateWatch, watch_array(updates, true));
    for (const Watch& w : updates) apply(w);
  }

  void load_inputs() {
    Obj o;
    if (p.chance(50)) o.raw("server_home", server_home());
    std::size_t upto = 0;
    if (p.chance(90) && !batches.empty()) {
      upto = static_cast<std::size_t>(p.range(1, static_cast<int>(batches.size())));
      std::string items = "[";
      for (std::size_t b = 0; b < upto; ++b) {
        const std::string& batch = batches[b];
        if (batch.size() > 2) items += (items.size() > 1 ? "," : "") + batch.substr(1, batch.size() - 2);
      }
      o.raw("items", items + "]");
    }
    host.clear();
    if (p.chance(60)) {
      const std::vector<Watch> entries = random_watches(6);
      o.raw("watch", watch_array(entries, false));
      for (const Watch& w : entries) {
        if (says_something(w)) host.push_back(w);
      }
    }
    if (p.chance(40)) o.raw("library", library());
    if (p.chance(40)) o.raw("store", store());
    push(Op::kLoadInputs, o.done());
    sent = upto;
  }

  void select() {
    const int k = p.below(10);
    if (k < 6) {
      push(Op::kSelectItem, item_name());
    } else if (k < 8) {
      std::string imdb = any_imdb();
      if (p.chance(20)) imdb[0] = 'T', imdb[1] = 'T';
      push(Op::kSelectImdb, imdb);
    } else {
      push(Op::kSelectSource, source_keys.empty() || p.chance(10) ? std::string("no-such-key") : p.one(source_keys));
    }
  }

  void row_cap() {
    const int k = p.below(20);
    int32_t cap = p.range(1, 5);
    if (k == 0) cap = 200;
    if (k == 1) cap = 2000;
    if (k == 2) cap = p.range(6, 40);
    if (k == 3) cap = p.chance(50) ? 0 : 2001;  // refused
    calls.push_back({Op::kRowCap, std::nullopt, cap, false});
  }

  // A call that fails and must change nothing.
  void failure() {
    switch (p.below(24)) {
      case 0:
        push(Op::kAddItems, std::nullopt);
        break;
      case 1:
        push(Op::kAddItems, R"([{"id":"z"})");
        break;
      case 2:
        push(Op::kAddItems, deep_object(800));
        break;
      case 3:
        push(Op::kSetLibrary, "");
        break;
      case 4:
        push(Op::kSetLibrary, R"({"id":"lib1"})");
        break;
      case 5:
        push(Op::kSetWatch, "[{");
        break;
      case 6:
        push(Op::kSetWatch, "{}");
        break;
      case 7:
        push(Op::kUpdateWatch, R"([{"key":"k1","position":)");
        break;
      case 8:
        push(Op::kUpdateWatch, R"({"key":"k1","position":5})");
        break;
      case 9:
        push(Op::kSetServerHome, std::nullopt);
        break;
      case 10:
        push(Op::kSetServerHome, "");
        break;
      case 11:
        push(Op::kSetServerHome, deep_array(800));
        break;
      case 12:
        push(Op::kSetStore, "{");
        break;
      case 13:
        push(Op::kSetStore, "[]");
        break;
      case 14:
        push(Op::kLoadInputs, std::nullopt);
        break;
      case 15:
        push(Op::kLoadInputs, R"({"items":[)");
        break;
      case 16:
        push(Op::kLoadInputs, "[1]");
        break;
      case 17:
        push(Op::kLoadInputs, R"({"items":[{"id":"q"}],"watch":{}})");
        break;
      case 18:
        push(Op::kLoadInputs, R"({"server_home":{},"library":{},"store":[]})");
        break;
      case 19:
        push(Op::kResumeSettings, p.chance(50) ? "{" : "[]");
        break;
      case 20:
        push(Op::kAutoplaySettings, p.chance(50) ? "nope" : "7");
        break;
      case 21:
        push(Op::kSelectItem, std::nullopt);
        break;
      case 22:
        push(Op::kSelectImdb, "tt-none");
        break;
      default:
        calls.push_back({Op::kRowCap, std::nullopt, p.chance(50) ? -3 : 2001, false});
        break;
    }
  }

  // One call of any kind, by the weights given (in the order of the cases).
  void random_call(const std::vector<int>& weights) {
    int total = 0;
    for (int w : weights) total += w;
    int k = p.below(static_cast<std::size_t>(total));
    std::size_t which = 0;
    while (k >= weights[which]) k -= weights[which++];
    switch (which) {
      case 0:
        add_items();
        break;
      case 1:
        push(Op::kSetLibrary, p.chance(8) ? std::nullopt : std::optional<std::string>(library()));
        break;
      case 2:
        set_watch();
        break;
      case 3:
        update_watch();
        break;
      case 4:
        push(Op::kSetServerHome, p.chance(8) ? "{}" : server_home());
        break;
      case 5:
        push(Op::kSetStore, p.chance(8) ? std::nullopt : std::optional<std::string>(store()));
        break;
      case 6:
        load_inputs();
        break;
      case 7:
        push(Op::kResumeSettings, p.chance(10) ? std::nullopt : std::optional<std::string>(resume_settings()));
        break;
      case 8:
        push(Op::kAutoplaySettings, p.chance(10) ? std::nullopt : std::optional<std::string>(autoplay_settings()));
        break;
      case 9:
        row_cap();
        break;
      case 10:
        select();
        break;
      case 11:
        push(p.chance(80) ? Op::kClear : Op::kShutdown, std::nullopt);
        sent = 0;
        host.clear();
        break;
      default:
        failure();
        break;
    }
  }

  // Which captures read the result document: about a third, and the last.
  void choose_result_reads() {
    for (Call& c : calls) c.read_result = p.chance(35);
    if (!calls.empty()) calls.back().read_result = true;
  }
};

// ---- The families of sequences ---------------------------------------------

struct Sequence {
  uint64_t seed;
  std::vector<Call> calls;
};

// Any call on a small random catalogue.
Sequence any_calls(uint64_t seed) {
  Generator g(seed);
  g.catalogue(g.p.range(20, 300));
  if (g.p.chance(60)) {
    g.add_items();
  } else {
    g.load_inputs();
  }
  //                               add lib watch upd home store load res auto cap sel clear fail
  const std::vector<int> weights = {12, 5, 10, 16, 7, 6, 3, 5, 3, 6, 7, 2, 8};
  for (int n = g.p.range(28, 40); n > 0; --n) g.random_call(weights);
  g.choose_result_reads();
  return {seed, std::move(g.calls)};
}

// Watch arrays sent again and again, as hosts do, each with nothing, one or
// a few of its elements changed, between calls of every other kind.
Sequence watch_arrays_again(uint64_t seed) {
  Generator g(seed);
  g.catalogue(g.p.range(20, 200));
  g.add_items();
  g.set_new_watch(g.random_watches(40));
  //                               add lib watch upd home store load res auto cap sel clear fail
  const std::vector<int> weights = {4, 2, 40, 3, 3, 3, 1, 4, 2, 3, 4, 1, 4};
  for (int n = g.p.range(28, 40); n > 0; --n) g.random_call(weights);
  g.choose_result_reads();
  return {seed, std::move(g.calls)};
}

// Near the row limit: about 2000 shows of one episode each and the server's
// lists, so that Continue Watching coming and going moves the last show rows
// out of the table and back.
Sequence near_the_row_limit(uint64_t seed) {
  Generator g(seed);
  g.playable_only = true;
  const int shows = g.p.range(1992, 2005);
  std::vector<std::string> items;
  for (int i = 0; i < shows; ++i) {
    const std::string imdb = "tt" + std::to_string(100000 + i);
    const std::string id = "e" + std::to_string(i);
    g.ids.push_back(id);
    g.show_imdbs.push_back(imdb);
    g.episodes.push_back({id, imdb, 1, 1});
    items.push_back(Obj()
                        .text("id", id)
                        .text("kind", "episode")
                        .text("imdb_id", imdb)
                        .num("season", 1)
                        .num("episode", 1)
                        .num("duration_s", 3000)
                        .raw("sources", list({Obj().text("url", "u" + id).done()}))
                        .done());
  }
  for (int i = 0; i < 6; ++i) items.push_back(g.movie());
  const std::size_t first = items.size() - static_cast<std::size_t>(g.p.range(0, 8));
  g.batches.push_back(list(std::vector<std::string>(items.begin(), items.begin() + static_cast<long>(first))));
  g.batches.push_back(list(std::vector<std::string>(items.begin() + static_cast<long>(first), items.end())));

  auto home = [&g] {
    std::vector<std::string> lists;
    for (int i = g.p.range(1, 6); i > 0; --i) {
      lists.push_back(Obj()
                          .text("Id", i == 1 ? std::string("MovieNowPlaying") : "List" + std::to_string(i))
                          .text("Value", g.id_list(4))
                          .done());
    }
    Obj o;
    o.raw("List", list(lists));
    if (g.p.chance(50)) o.raw("Spotlights", list({Obj().text("Items", g.id_list(3)).done()}));
    if (g.p.chance(50)) o.raw("ExtentList", list({Obj().text("Id", "Genre_Drama").text("Value", g.id_list(3)).done()}));
    return o.done();
  };
  const std::string library =
      R"([{"id":"f","kind":"folder","title":"F"},{"id":"s","kind":"file","is_audio_only":true,"title":"S"}])";
  // Watch entries that put episodes into Continue Watching, or none.
  auto watch = [&g] {
    std::vector<Watch> entries;
    for (int i = g.p.chance(40) ? 0 : g.p.range(1, 3); i > 0; --i) {
      Watch w;
      w.key = "k" + std::to_string(i);
      w.item = g.p.one(g.episodes).id;
      w.position = g.p.chance(80) ? g.p.range(600, 2000) : 2999;
      w.updated = g.watch_time();
      entries.push_back(w);
    }
    return entries;
  };

  g.push(Op::kSetLibrary, library);
  g.push(Op::kSetServerHome, home());
  g.add_items();
  for (int n = g.p.range(12, 14); n > 0; --n) {
    switch (g.p.below(13)) {
      case 0:
      case 1:
      case 11:
      case 12: {
        g.host = watch();
        g.push(Op::kSetWatch, g.watch_array(g.host, false));
        break;
      }
      case 3:
        g.update_watch();
        break;
      case 4:
        g.push(Op::kSetStore, g.store());
        break;
      case 5:
        g.push(Op::kSetServerHome, g.p.chance(15) ? "{}" : home());
        break;
      case 6: {
        const std::vector<std::string> settings = {R"({"continue_skip_finished":true})", R"({"show_rows_max":1990})",
                                                   R"({"continue_next_up":true})",
                                                   R"({"recent_group_shows":true,"title_sort":"natural"})", "{}"};
        g.push(Op::kResumeSettings, g.p.one(settings));
        break;
      }
      case 7:
        g.row_cap();
        break;
      case 8:
        g.add_items();
        break;
      case 9:
        g.push(Op::kSetLibrary, g.p.chance(50) ? std::nullopt : std::optional<std::string>(library));
        break;
      case 10:
        g.select();
        break;
      default:
        g.failure();
        break;
    }
  }
  g.choose_result_reads();
  return {seed, std::move(g.calls)};
}

// Continue Watching against Movies and TV Shows under small row caps: the
// movies and shows Continue Watching keeps cells of are left out of their
// rows, and every progress report can change which those are.
Sequence continue_against_catalogue(uint64_t seed) {
  Generator g(seed);
  g.playable_only = g.p.chance(70);
  std::vector<std::string> items;
  for (int i = g.p.range(4, 12); i > 0; --i) items.push_back(g.movie());
  for (int i = g.p.range(2, 6); i > 0; --i) items.push_back(g.show_item());
  for (int i = g.p.range(0, 6); i > 0; --i) items.push_back(g.next_episode());
  g.batches.push_back(list(items));
  g.calls.push_back({Op::kRowCap, std::nullopt, g.p.range(1, 4), false});
  g.add_items();
  // Watch entries naming the movies and shows by id.
  std::vector<Watch> entries;
  for (int i = g.p.range(2, 8); i > 0; --i) {
    Watch w = g.random_watch();
    w.key = "k" + std::to_string(i);
    w.item = g.p.one(g.ids);
    w.imdb.reset();
    if (w.position < 0 && w.fraction < 0 && w.finished < 0) w.position = 700;
    entries.push_back(w);
  }
  g.host = entries;
  g.push(Op::kSetWatch, g.watch_array(entries, false));
  //                               add lib watch upd home store load res auto cap sel clear fail
  const std::vector<int> weights = {2, 1, 4, 30, 2, 4, 1, 4, 1, 6, 2, 0, 2};
  for (int n = g.p.range(30, 40); n > 0; --n) g.random_call(weights);
  g.choose_result_reads();
  return {seed, std::move(g.calls)};
}

// ---- Running and comparing --------------------------------------------------

// What the runs went through, to tell that the sequences reach what they are
// meant to.
struct Tally {
  int sequences = 0, calls = 0, failures = 0, unread_results = 0;
  int continue_rows = 0, truncated_rows = 0, full_tables = 0;
  int continue_shifts = 0;  // Continue Watching came or went, and the table is full
  int continue_cut = 0;     // Continue Watching cut by the row cap beside Movies or TV Shows
};

void clean_state(bool full) {
  kavo::set_full_rebuilds(full);
  kavo_clear();
  kavo_set_row_cap(200);
  kavo_set_resume_settings(nullptr);
  kavo_set_autoplay_settings(nullptr);
}

// Whether the catalogue's lists of unmatched items and of items with a path,
// which the item loader keeps as records come and go (failed calls taking
// theirs back), name exactly the records read so.
bool unmatched_list_is_exact() {
  std::vector<int32_t> expected, with_path;
  for (std::size_t i = 0; i < kavo::s_items.size(); ++i) {
    if (kavo::s_items[i].unmatched != 0) expected.push_back(static_cast<int32_t>(i));
    if (kavo::s_items[i].path) with_path.push_back(static_cast<int32_t>(i));
  }
  return expected == kavo::s_unmatched_items && with_path == kavo::s_path_items;
}

bool has_continue_row() {
  for (int32_t r = 0; r < kavo_row_count() && r < 3; ++r) {
    if (kavo_row_kind(r) == KAVO_ROW_CONTINUE_WATCHING) return true;
  }
  return false;
}

// Runs the sequence from a clean state and hands each capture (the first one
// before any call, index -1) to `each`, which may stop the run.
void run(const Sequence& seq, bool full, const std::function<bool(int, const Capture&)>& each) {
  clean_state(full);
  if (!each(-1, capture(0, true))) return;
  for (std::size_t i = 0; i < seq.calls.size(); ++i) {
    const Call& call = seq.calls[i];
    const int32_t rc = run_call(call);
    if (!each(static_cast<int>(i), capture(rc, call.read_result))) return;
  }
}

// The text of the capture after call `index` (-1: before the first), the
// sequence run up to there afresh.
std::string text_at(const Sequence& seq, bool full, int index) {
  std::string text;
  run(seq, full, [&](int i, const Capture& c) {
    if (i < index) return true;
    text.clear();
    capture(c.rc, i < 0 || seq.calls[static_cast<std::size_t>(i)].read_result, &text);
    text = "status: " + c.status + "\n" + text.substr(text.find('\n') + 1);  // the status from right after the call
    return false;
  });
  return text;
}

std::string call_at(const Sequence& seq, int index) {
  return index < 0 ? std::string("the clean state") : describe(seq.calls[static_cast<std::size_t>(index)]);
}

void compare(const Sequence& seq, const char* family, Tally& tally) {
  ++tally.sequences;
  tally.calls += static_cast<int>(seq.calls.size());
  std::vector<Capture> incremental;
  bool had_continue = false;
  int changed_by_failure = -2;
  run(seq, false, [&](int i, const Capture& c) {
    if (i >= 0) {
      EXPECT_TRUE(unmatched_list_is_exact()) << family << " seed " << seq.seed << ", call " << i;
      tally.unread_results += !seq.calls[static_cast<std::size_t>(i)].read_result;
      const bool continues = has_continue_row();
      tally.continue_rows += continues;
      tally.continue_shifts += continues != had_continue && kavo_row_count() == 2000;
      had_continue = continues;
      tally.full_tables += kavo_row_count() == 2000;
      bool cut = false, catalogue = false;
      for (int32_t r = 0; r < kavo_row_count(); ++r) {
        tally.truncated_rows += kavo_row_truncated(r);
        cut = cut || (kavo_row_kind(r) == KAVO_ROW_CONTINUE_WATCHING && kavo_row_truncated(r));
        catalogue = catalogue || kavo_row_kind(r) == KAVO_ROW_MOVIES || kavo_row_kind(r) == KAVO_ROW_TV_SHOWS;
      }
      tally.continue_cut += cut && catalogue;
      if (c.rc != 0) {
        // A call that fails changes nothing.
        ++tally.failures;
        const Capture& before = incremental.back();
        if (c.view != before.view || (c.has_result && before.has_result && c.result != before.result)) {
          changed_by_failure = i;
          return false;
        }
      }
    }
    incremental.push_back(c);
    return true;
  });
  if (changed_by_failure >= 0) {
    const int i = changed_by_failure;
    ADD_FAILURE() << family << " seed " << seq.seed << " (KAVO_TEST_SEEDS=" << seq.seed << "), call " << i << ": "
                  << call_at(seq, i) << "\nfailed but changed what the host sees, at "
                  << first_difference(text_at(seq, false, i - 1), text_at(seq, false, i), "before", "after ");
    return;
  }
  int differs_at = -2;
  std::string full_text;
  run(seq, true, [&](int i, const Capture& c) {
    const Capture& inc = incremental[static_cast<std::size_t>(i + 1)];
    if (c.status == inc.status && c.view == inc.view && c.result == inc.result) return true;
    differs_at = i;
    capture(c.rc, c.has_result, &full_text);
    full_text = "status: " + c.status + "\n" + full_text.substr(full_text.find('\n') + 1);
    return false;
  });
  kavo::set_full_rebuilds(false);
  if (differs_at >= -1) {
    ADD_FAILURE() << family << " seed " << seq.seed << " (KAVO_TEST_SEEDS=" << seq.seed << "), call " << differs_at
                  << " of " << seq.calls.size() << ": " << call_at(seq, differs_at)
                  << "\nincremental and full rebuilds differ at "
                  << first_difference(text_at(seq, false, differs_at), full_text, "incremental", "full       ");
  }
}

// The seeds to run: KAVO_TEST_SEEDS ("1-500", "17,90-99") when set, else `fixed`.
std::vector<uint64_t> seeds(const std::vector<uint64_t>& fixed) {
  const char* env = std::getenv("KAVO_TEST_SEEDS");
  if (env == nullptr || *env == '\0') return fixed;
  std::vector<uint64_t> out;
  const std::string text = env;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(at, end - at);
    const std::size_t dash = part.find('-');
    const uint64_t lo = std::strtoull(part.c_str(), nullptr, 10);
    const uint64_t hi = dash == std::string::npos ? lo : std::strtoull(part.c_str() + dash + 1, nullptr, 10);
    for (uint64_t s = lo; s <= hi; ++s) out.push_back(s);
    at = end + 1;
  }
  return out;
}

class IncrementalTest : public kavo_test::KavoTest {
 protected:
  void TearDown() override {
    kavo::set_full_rebuilds(false);
    KavoTest::TearDown();
  }
};

TEST_F(IncrementalTest, RandomSequencesGiveWhatFullRebuildsGive) {
  Tally tally;
  for (uint64_t seed : seeds({1, 2, 3, 4, 5, 6, 7, 8})) {
    compare(any_calls(seed), "any_calls", tally);
    if (HasFailure()) return;
  }
  if (std::getenv("KAVO_TEST_SEEDS") == nullptr) {
    EXPECT_GT(tally.failures, 10);
    EXPECT_GT(tally.unread_results, tally.calls / 2);
    EXPECT_GT(tally.continue_rows, 20);
    EXPECT_GT(tally.truncated_rows, 50);
  }
}

TEST_F(IncrementalTest, WatchArraysSentAgain) {
  Tally tally;
  for (uint64_t seed : seeds({301, 302, 303, 304, 305, 306})) {
    compare(watch_arrays_again(seed), "watch_arrays_again", tally);
    if (HasFailure()) return;
  }
}

TEST_F(IncrementalTest, NearTheRowLimit) {
  Tally tally;
  for (uint64_t seed : seeds({101})) {
    compare(near_the_row_limit(seed), "near_the_row_limit", tally);
    if (HasFailure()) return;
  }
  if (std::getenv("KAVO_TEST_SEEDS") == nullptr) {
    EXPECT_GE(tally.full_tables, 8);
    EXPECT_GE(tally.continue_shifts, 3);
  }
}

TEST_F(IncrementalTest, ContinueWatchingTakesFromMoviesAndShows) {
  Tally tally;
  for (uint64_t seed : seeds({201, 202, 203, 204, 205, 206, 207, 208})) {
    compare(continue_against_catalogue(seed), "continue_against_catalogue", tally);
    if (HasFailure()) return;
  }
  if (std::getenv("KAVO_TEST_SEEDS") == nullptr) {
    EXPECT_GT(tally.continue_cut, 50);
  }
}

}  // namespace
