// Every call that allocates, run once for each allocation it makes with that
// allocation failing (and once more with it and all later ones failing),
// until the call runs without meeting a failure. Each run must:
//   - end in 0 or the call's documented answer to a failed allocation,
//   - leave a model whose indexes all point at records that exist, and whose
//     documents can all be read (texts or the getters' failure values),
//   - recover: the next call of the same kind (for the calls that replace
//     their input) and a clean load of all inputs give exactly the documents
//     of a run without failures,
//   - leak nothing: after kavo_shutdown the live block count is back where it
//     was.
// A plain program (no test framework) so that nothing else allocates around
// the calls under test.
#include <yyjson.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frame/model.h"
#include "interpose.h"
#include "kavo.h"

namespace {

int g_failures = 0;

#define EXPECT(cond, ...)                                                   \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "%s:%d: failed: %s: ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                    \
      std::fprintf(stderr, "\n");                                           \
      if (++g_failures > 20) std::exit(1);                                  \
    }                                                                       \
  } while (0)

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string generated_inputs(int n);

// The inputs: the bundled example, whole and in parts, and a larger model.
struct Inputs {
  std::string full, items, watch, library, store, home, resume, autoplay;
  std::string big, big_items, big_home;
  std::string an_id, an_imdb, a_source_key;
};

std::string part_text(yyjson_val* root, const char* key) {
  char* text = yyjson_val_write_opts(yyjson_obj_get(root, key), 0, nullptr, nullptr, nullptr);
  std::string s = text ? text : "";
  std::free(text);
  return s;
}

Inputs load_inputs() {
  Inputs in;
  const std::string dir = KAVO_EXAMPLES_DIR;
  in.full = read_file(dir + "/inputs.json");
  in.resume = read_file(dir + "/resume_settings.json");
  in.autoplay = read_file(dir + "/autoplay_settings.json");
  yyjson_doc* doc = yyjson_read(in.full.c_str(), in.full.size(), 0);
  yyjson_val* root = yyjson_doc_get_root(doc);
  in.items = part_text(root, "items");
  in.watch = part_text(root, "watch");
  in.library = part_text(root, "library");
  in.store = part_text(root, "store");
  in.home = part_text(root, "server_home");
  yyjson_doc_free(doc);
  in.big = generated_inputs(70);
  doc = yyjson_read(in.big.c_str(), in.big.size(), 0);
  root = yyjson_doc_get_root(doc);
  in.big_items = part_text(root, "items");
  in.big_home = part_text(root, "server_home");
  yyjson_doc_free(doc);
  return in;
}

// A model of some size made up here: enough items, entries and keys that the
// tables and maps grow past their first capacity, every kind of row is made,
// and items take their missing fields from the server's basics.
std::string generated_inputs(int n) {
  std::string items, watch, library, favs, basics, continues;
  for (int i = 0; i < n; ++i) {
    const std::string id = std::to_string(i);
    const std::string imdb = "tt" + std::to_string(i % 20);
    items += (i ? "," : "") + std::string("{\"id\":\"g") + id + "\",\"imdb_id\":\"" + imdb +
             "\",\"kind\":\"" + (i % 3 == 0 ? "movie" : "episode") + "\",\"season\":" +
             std::to_string(1 + i % 2) + ",\"episode\":" + std::to_string(1 + i % 10) +
             (i % 2 == 0 ? ",\"title\":\"T" + id + "\"" : "") +
             (i % 4 == 0 ? ",\"genres\":[\"a\",\"b\"]" : "") +
             ",\"sources\":[{\"key\":\"k" + id + "\",\"url\":\"u" + id +
             "\",\"width\":1920,\"height\":1080},{\"theFile\":{\"uri\":\"f" + id +
             "\"},\"active\":false}],\"added_ms\":" + std::to_string(1000 + i) + ",\"duration_s\":1000}";
    watch += (i ? "," : "") + (i % 3 == 0 ? "{\"item_id\":\"g" + id + "\",\"position\":" +
                                                 std::to_string(100 + i) + ",\"updated_ms\":" +
                                                 std::to_string(5000 + i) + "}"
                                           : "{\"imdb_id\":\"" + imdb +
                                                 "\",\"season\":1,\"episode\":2,\"fraction\":0.5}");
    library += (i ? "," : "") + std::string("{\"id\":\"") + (i % 5 == 0 ? "g" : "l") + id +
               "\",\"path\":\"/m/" + id + ".mkv\",\"kind\":\"file\",\"folder\":\"/m\",\"added_ms\":" +
               std::to_string(i) + (i % 7 == 0 ? ",\"is_audio_only\":true" : "") + "}";
    favs += (i ? "," : "") + std::string("{\"token\":\"t") + id + "\",\"display_name\":\"F" + id +
            "\",\"metadata\":\"" + imdb + "\"}";
    if (i < 20) {
      basics += (i ? "," : "") + std::string("{\"IMDbId\":\"") + imdb + "\",\"Title\":\"B" + id +
                "\",\"PosterUrl\":\"p" + id + "\",\"Year\":2001,\"IsTVShow\":true,\"Genres\":[\"x\",\"y\",\"z\"]}";
      continues += (i ? "," : "") + std::string("{\"IMDbId\":\"") + imdb +
                   "\",\"Value\":0.4,\"Duration\":\"01:00:00\",\"UpdatedAt\":\"2024-01-01T00:00:0" +
                   std::to_string(i % 10) + "Z\"}";
    }
  }
  const std::string home =
      "{\"Basics\":[" + basics + "],\"Continues\":[" + continues +
      "],\"List\":[{\"Id\":\"MyWatchlist\",\"Value\":\"tt1,tt2,tt3\"},{\"Id\":\"MovieNowPlaying\","
      "\"Value\":\"tt4,tt5\"},{\"Id\":\"Top\",\"Value\":\"tt1, tt9 ,x\"},{\"Id\":\"BrowseHistory\","
      "\"Value\":\"tt7\"}],\"ExtentList\":[{\"Id\":\"Genre_Drama\",\"Value\":\"tt1,tt2\"},{\"Id\":"
      "\"FeatureFlags_a\",\"Value\":\"1\"}],\"Spotlights\":[{\"Items\":\"tt1,tt3,zz\"}],"
      "\"CollectionPlaylists\":[{\"Name\":\"C\"},{}],\"Level30s\":[{\"IMDbID\":\"tt1\"}]}";
  return "{\"server_home\":" + home + ",\"items\":[" + items + "],\"watch\":[" + watch +
         "],\"library\":[" + library + "],\"store\":{\"favourites\":[" + favs +
         "],\"playlists\":[{\"key\":\"p\",\"name\":\"P\",\"imdbids\":\"tt1,tt2\"}]}}";
}

bool parses(const char* text) {
  if (text == nullptr) return false;
  yyjson_doc* doc = yyjson_read(text, std::strlen(text), 0);
  yyjson_doc_free(doc);
  return doc != nullptr;
}

bool same_text(const kavo::Text& a, const kavo::Text& b) {
  return a && b && std::strcmp(a.get(), b.get()) == 0;
}

// Every record index the model holds points at a record that exists and is
// the one it was computed from, and the id maps find what they claim to: an
// item's watch entry was joined to that item, its next episode is the next
// episode of its show, a library entry's item has its id or its path. This
// holds after every call, failed or not.
void check_indexes(const char* where) {
  using namespace kavo;
  for (const Row& row : s_rows) {
    EXPECT(row.emitted >= 0 && static_cast<std::size_t>(row.emitted) <= row.cells.size(),
           "%s: row emitted %d of %zu cells", where, row.emitted, row.cells.size());
    for (int32_t c = 0; c < row.emitted && static_cast<std::size_t>(c) < row.cells.size(); ++c) {
      const int32_t i = row.cells[static_cast<std::size_t>(c)].item_index;
      EXPECT(i == -1 || valid_item_index(i), "%s: cell item %d", where, i);
    }
  }
  EXPECT(s_sel == -1 || valid_item_index(s_sel), "%s: selection %d", where, s_sel);
  for (const Item& it : s_items) {
    const int32_t self = static_cast<int32_t>(&it - s_items.data());
    EXPECT(it.next_index == -1 || valid_item_index(it.next_index), "%s: next %d", where, it.next_index);
    if (valid_item_index(it.next_index)) {
      const Item& next = s_items[static_cast<std::size_t>(it.next_index)];
      EXPECT(same_text(next.imdb_id, it.imdb_id) && next.season == it.season && next.episode == it.episode + 1,
             "%s: next of %d is %d, no next episode", where, self, it.next_index);
    }
    EXPECT(it.watch_index == -1 || (it.watch_index >= 0 && it.watch_index < n_watch()), "%s: watch index %d",
           where, it.watch_index);
    if (it.watch_index >= 0 && it.watch_index < n_watch()) {
      EXPECT(s_watch[static_cast<std::size_t>(it.watch_index)].item_index == self,
             "%s: item %d links entry %d, joined to another item", where, self, it.watch_index);
    }
    EXPECT(it.id && it.id.get()[0] != '\0', "%s: item without id", where);
    int32_t found = -1;
    if (s_by_id.get(it.id.get(), &found) == 0) {
      EXPECT(valid_item_index(found) &&
                 std::strcmp(s_items[static_cast<std::size_t>(found)].id.get(), it.id.get()) == 0,
             "%s: id map", where);
    }
  }
  for (const Item& e : s_lib) {
    EXPECT(e.catalogue_index == -1 || valid_item_index(e.catalogue_index), "%s: library link %d",
           where, e.catalogue_index);
    if (valid_item_index(e.catalogue_index)) {
      const Item& it = s_items[static_cast<std::size_t>(e.catalogue_index)];
      EXPECT(same_text(it.id, e.id) || same_text(it.path, e.path), "%s: library link %d to another item",
             where, e.catalogue_index);
    }
  }
  for (const WatchRec& w : s_watch) {
    EXPECT(w.item_index == -1 || valid_item_index(w.item_index), "%s: watch item %d", where,
           w.item_index);
  }
}

// Reads everything the host can read; each text parses or is the getter's
// documented failure value.
void walk(const char* where) {
  const int32_t code = kavo_last_code();
  for (const char* doc : {kavo_result_json(), kavo_stats_json(), kavo_server_flags_json(),
                          kavo_watchlist_json(), kavo_browse_history_json()}) {
    EXPECT(parses(doc), "%s: held document", where);
  }
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    EXPECT(parses(kavo_row_json(r)), "%s: row %d", where, r);
    for (int32_t c = 0; c < kavo_row_cell_count(r); ++c) {
      const char* cell = kavo_row_cell_json(r, c);
      EXPECT(cell == nullptr ? std::strcmp(kavo_last_error(), "cell index out of range") == 0
                             : parses(cell),
             "%s: cell %d/%d", where, r, c);
      (void)kavo_row_cell_title(r, c);
    }
  }
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    EXPECT(parses(kavo_item_json(i)), "%s: item %d", where, i);
  }
  if (kavo_selected_index() >= 0) {
    EXPECT(parses(kavo_detail_json()), "%s: detail", where);
    for (int32_t s = 0; s < kavo_detail_source_count(); ++s) {
      EXPECT(parses(kavo_detail_source_json(s)), "%s: source %d", where, s);
    }
    EXPECT(parses(kavo_detail_next_json()), "%s: next", where);
    EXPECT(parses(kavo_detail_autoplay_json()), "%s: autoplay", where);
  }
  EXPECT(kavo_last_code() == code, "%s: a query changed the status code", where);
}

// The documents that describe the whole model, for comparing two models.
std::string snapshot() {
  std::string s = kavo_result_json();
  s += '\n';
  s += kavo_stats_json();
  s += '\n';
  s += kavo_server_flags_json();
  s += kavo_watchlist_json();
  s += kavo_browse_history_json();
  for (int32_t i = 0; i < kavo_item_count(); ++i) {
    const char* doc = kavo_item_json(i);
    s += '\n';
    s += doc ? doc : "<none>";
  }
  if (kavo_selected_index() >= 0) {
    const char* detail = kavo_detail_json();
    s += '\n';
    s += detail ? detail : "<none>";
    s += kavo_detail_next_json();
    s += kavo_detail_autoplay_json();
  }
  return s;
}

// The count of rejected elements adds up over calls, also over a call that
// failed half-way; models are compared without it.
std::string without_rejected(const std::string& s) {
  static const std::regex rejected("\"rejected\":[0-9]+");
  return std::regex_replace(s, rejected, "\"rejected\":_");
}

// Where two snapshots part, for the failure message.
std::string difference(const std::string& got, const std::string& want) {
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const std::size_t from = at > 60 ? at - 60 : 0;
  return "\n  got:  ..." + got.substr(from, 140) + "\n  want: ..." + want.substr(from, 140);
}

void reset() {
  kavo_shutdown();
  kavo_set_row_cap(200);
  kavo_set_resume_settings(nullptr);
  kavo_set_autoplay_settings(nullptr);
  kavo_clear();
}

// One call under test.
struct Case {
  const char* name;
  std::function<void()> setup;         // brings the model to the state the call meets
  std::function<int32_t()> call;       // the call; returns its status code
  std::vector<int32_t> codes;          // codes besides 0 that a failed allocation may give
  std::vector<const char*> messages;   // and their messages
  bool replaces = false;               // a repeat of the call rebuilds the same model
  std::function<bool()> verify = [] { return true; };  // checks the answer, unarmed
  bool unchanged_on_failure = false;   // a failed call leaves the documents as they were
};

struct Totals {
  int64_t runs = 0;
  int64_t failed_runs = 0;
};

void run_case(const Case& c, const Inputs& in, Totals* totals) {
  // The model after the call, after the call twice, and after a clean load,
  // all without failures.
  c.setup();
  EXPECT(c.call() == 0, "%s: reference call", c.name);
  const std::string ref = snapshot();
  const int32_t ref_rows = kavo_row_count();
  int32_t rc = c.call();
  const std::string ref_twice = without_rejected(snapshot());
  kavo_load_inputs(in.full.c_str());
  const std::string ref_load = snapshot();
  (void)ref_rows;
  kavo_shutdown();
  const int64_t baseline = inject::live_blocks();

  int64_t allocations = 0;
  for (int persistent = 0; persistent <= 1; ++persistent) {
    const char* from = std::getenv("KAVO_ALLOC_FROM");
    for (int64_t k = from ? std::atoll(from) : 0;; ++k) {
      c.setup();
      std::string before = c.unchanged_on_failure ? snapshot() : std::string();
      inject::arm(k, persistent != 0);
      rc = c.call();
      const int64_t asked = inject::disarm();
      const bool hit = inject::hit();
      ++totals->runs;
      EXPECT(c.verify(), "%s: k=%lld%s answer", c.name, static_cast<long long>(k), persistent ? "+" : "");
      if (!hit) {
        // The call made fewer than k + 1 allocations: it ran as without
        // failures, and this is the end of the series.
        EXPECT(rc == 0, "%s: %d without a failure", c.name, rc);
        EXPECT(snapshot() == ref, "%s: model differs without a failure", c.name);
        if (persistent == 0) allocations = asked;
        break;
      }
      ++totals->failed_runs;
      bool documented = rc == 0;
      for (std::size_t i = 0; i < c.codes.size(); ++i) documented = documented || rc == c.codes[i];
      EXPECT(documented, "%s: k=%lld%s gave %d \"%s\"", c.name, static_cast<long long>(k),
             persistent ? "+" : "", rc, kavo_last_error());
      if (rc != 0) {
        bool known = false;
        for (const char* m : c.messages) known = known || std::strcmp(m, kavo_last_error()) == 0;
        EXPECT(known, "%s: k=%lld message \"%s\"", c.name, static_cast<long long>(k), kavo_last_error());
      }
      EXPECT(kavo_last_code() == rc, "%s: stored code", c.name);
      check_indexes(c.name);
      walk(c.name);
      if (rc != 0 && c.unchanged_on_failure) {
        const std::string after = snapshot();
        EXPECT(after == before, "%s: k=%lld%s failed and changed the model%s", c.name, static_cast<long long>(k),
               persistent ? "+" : "", difference(after, before).c_str());
      }
      std::string().swap(before);  // counted by the leak check below otherwise

      if (c.replaces) {
        // The next call of the same kind rebuilds the model in full.
        EXPECT(c.call() == 0, "%s: repeat after k=%lld", c.name, static_cast<long long>(k));
        check_indexes(c.name);
        const std::string again = without_rejected(snapshot());
        EXPECT(again == ref_twice, "%s: repeat after k=%lld%s differs%s", c.name,
               static_cast<long long>(k), persistent ? "+" : "", difference(again, ref_twice).c_str());
      }
      EXPECT(kavo_load_inputs(in.full.c_str()) == 0, "%s: clean load", c.name);
      {
        const std::string loaded_again = snapshot();
        EXPECT(loaded_again == ref_load, "%s: clean load after k=%lld%s differs%s", c.name,
               static_cast<long long>(k), persistent ? "+" : "", difference(loaded_again, ref_load).c_str());
      }
      check_indexes(c.name);
      kavo_shutdown();
      const int64_t live = inject::live_blocks();
      EXPECT(live == baseline, "%s: k=%lld%s leaves %lld blocks", c.name, static_cast<long long>(k),
             persistent ? "+" : "", static_cast<long long>(live - baseline));
    }
  }
  std::printf("alloc: %-28s %6lld allocations, each failed once and from there on\n", c.name,
              static_cast<long long>(allocations));
}

}  // namespace

int main() {
  std::printf("alloc: failing every allocation of every call in turn\n");
  std::fflush(stdout);
  // The replaced allocator must be the one in use (a checker such as
  // valgrind may put its own in place): an armed failure must be seen.
  inject::arm(0, false);
  void* volatile probe = std::malloc(16);
  inject::disarm();
  if (probe != nullptr || !inject::hit()) {
    std::free(probe);
    std::fprintf(stderr, "alloc: the replaced malloc is not in use; nothing can be tested\n");
    return 1;
  }
  // KAVO_ALLOC_TRACE=1 prints where each failing allocation was asked for.
  inject::trace_failures(std::getenv("KAVO_ALLOC_TRACE") != nullptr);
  const Inputs in = load_inputs();
  auto empty = [] { reset(); };
  auto loaded = [&in] {
    reset();
    kavo_set_autoplay_settings(in.autoplay.c_str());
    kavo_load_inputs(in.full.c_str());
  };
  auto loaded_selected = [&in, loaded] {
    loaded();
    for (int32_t i = 0; i < kavo_item_count(); ++i) {
      if (kavo_item_kind(i) == 2 && kavo_item_source_count(i) > 0) {
        kavo_select_item(kavo_item_id(i));
        break;
      }
    }
  };
  auto parts_but_items = [&in] {
    reset();
    kavo_set_server_home(in.home.c_str());
    kavo_set_watch(in.watch.c_str());
    kavo_set_library(in.library.c_str());
    kavo_set_store(in.store.c_str());
  };
  // The first item with a source, for the selection calls.
  loaded_selected();
  const std::string sel_id = kavo_item_id(kavo_selected_index());
  const std::string sel_imdb = kavo_item_imdb(kavo_selected_index()) ? kavo_item_imdb(kavo_selected_index()) : "";
  std::string sel_key;
  {
    yyjson_doc* doc = yyjson_read(kavo_detail_source_json(0), std::strlen(kavo_detail_source_json(0)), 0);
    yyjson_val* key = yyjson_obj_get(yyjson_doc_get_root(doc), "key");
    sel_key = yyjson_is_str(key) ? yyjson_get_str(key) : "";
    yyjson_doc_free(doc);
  }
  const int32_t sel_index = kavo_selected_index();

  const std::vector<const char*> oom = {"out of memory", "oom"};
  auto with = [](std::vector<const char*> a, std::initializer_list<const char*> b) {
    a.insert(a.end(), b);
    return a;
  };
  // A parser that cannot get memory reads as a text it cannot parse.
  std::vector<Case> cases = {
      {"add_items on empty", empty, [&in] { return kavo_add_items(in.items.c_str()); }, {1, 3},
       with(oom, {"not valid JSON"})},
      {"add_items over parts", parts_but_items, [&in] { return kavo_add_items(in.items.c_str()); },
       {1, 3}, with(oom, {"not valid JSON"})},
      {"set_library", loaded_selected, [&in] { return kavo_set_library(in.library.c_str()); }, {1, 3},
       with(oom, {"not valid JSON"}), true},
      {"set_watch", loaded_selected, [&in] { return kavo_set_watch(in.watch.c_str()); }, {1, 3},
       with(oom, {"watch: not valid JSON"}), true},
      {"update_watch", loaded_selected, [&in] { return kavo_update_watch(in.watch.c_str()); }, {1, 3},
       with(oom, {"watch: not valid JSON"}), true},
      {"set_server_home", loaded_selected, [&in] { return kavo_set_server_home(in.home.c_str()); },
       {1, 3}, with(oom, {"server home: not valid JSON"}), true},
      {"set_store", loaded_selected, [&in] { return kavo_set_store(in.store.c_str()); }, {1, 3},
       with(oom, {"store: not valid JSON"}), true},
      {"set_resume_settings", loaded_selected,
       [&in] { return kavo_set_resume_settings(in.resume.c_str()); }, {1, 3},
       with(oom, {"resume settings: not valid JSON"}), true},
      {"set_autoplay_settings", loaded_selected,
       [&in] { return kavo_set_autoplay_settings(in.autoplay.c_str()); }, {1, 3},
       with(oom, {"autoplay settings: not valid JSON"}), true},
      {"load_inputs on empty", empty, [&in] { return kavo_load_inputs(in.full.c_str()); }, {1, 3},
       with(oom, {"inputs: not valid JSON", "server home: not valid JSON", "not valid JSON",
                  "watch: not valid JSON", "store: not valid JSON"}),
       true},
      {"load_inputs over loaded", loaded_selected, [&in] { return kavo_load_inputs(in.full.c_str()); },
       {1, 3},
       with(oom, {"inputs: not valid JSON", "server home: not valid JSON", "not valid JSON",
                  "watch: not valid JSON", "store: not valid JSON"}),
       true},
      {"load_inputs of a larger model", empty, [&in] { return kavo_load_inputs(in.big.c_str()); },
       {1, 3},
       with(oom, {"inputs: not valid JSON", "server home: not valid JSON", "not valid JSON",
                  "watch: not valid JSON", "store: not valid JSON"}),
       true},
      {"server home completing items",
       [&in] {
         reset();
         kavo_add_items(in.big_items.c_str());
       },
       [&in] { return kavo_set_server_home(in.big_home.c_str()); }, {1, 3},
       with(oom, {"server home: not valid JSON"}), true},
      {"select_item", loaded, [&sel_id] { return kavo_select_item(sel_id.c_str()); }, {3}, oom, true},
      {"select_imdb", loaded, [&sel_imdb] { return kavo_select_imdb(sel_imdb.c_str()); }, {3}, oom,
       true},
      {"select_source", loaded, [&sel_key] { return kavo_select_source(sel_key.c_str()); }, {3}, oom,
       true},
      {"resume_key", empty,
       [] {
         char out[64];
         return kavo_resume_key("item", "source", "file", out, sizeof out);
       },
       {3}, {"out of memory"}},
      {"stable_hash", empty,
       [] {
         static char out[16];
         const int32_t rc = kavo_stable_hash("abc", out, sizeof out);
         // Without its working buffer the hash reads 0.
         return rc == 0 && (std::strcmp(out, "1099313834") == 0 || std::strcmp(out, "0") == 0) ? 0 : 9;
       },
       {}, {}},
  };

  // The calls that read their whole input aside before they change anything.
  for (Case& c : cases) {
    for (const char* name : {"add_items on empty", "add_items over parts", "set_library", "set_watch",
                             "update_watch", "set_store",
                             "set_resume_settings", "set_autoplay_settings", "load_inputs on empty",
                             "load_inputs over loaded", "load_inputs of a larger model"}) {
      if (std::strcmp(c.name, name) == 0) c.unchanged_on_failure = true;
    }
  }

  // Buffer getters: the document, or the failure value with "oom" and the
  // status code untouched.
  struct Getter {
    const char* name;
    std::function<const char*()> get;
    const char* failure;
  };
  const std::vector<Getter> getters = {
      {"kavo_item_json", [sel_index] { return kavo_item_json(sel_index); }, nullptr},
      {"kavo_row_json", [] { return kavo_row_json(0); }, nullptr},
      {"kavo_row_cell_json", [] { return kavo_row_cell_json(0, 0); }, nullptr},
      {"kavo_detail_source_json", [] { return kavo_detail_source_json(0); }, nullptr},
      {"kavo_detail_next_json", [] { return kavo_detail_next_json(); }, "{}"},
      {"kavo_detail_autoplay_json", [] { return kavo_detail_autoplay_json(); }, "[]"},
  };
  static const char* got = nullptr;
  static int32_t code_before = 0;
  for (const Getter& g : getters) {
    Case c{g.name, loaded_selected,
           [g] {
             code_before = kavo_last_code();
             got = g.get();
             return 0;
           },
           {}, {}};
    c.verify = [g] {
      const bool is_failure =
          g.failure == nullptr ? got == nullptr : got != nullptr && std::strcmp(got, g.failure) == 0;
      const bool ok = !is_failure && parses(got);
      const bool failed = is_failure && std::strcmp(kavo_last_error(), "oom") == 0;
      return (ok || failed) && kavo_last_code() == code_before;
    };
    cases.push_back(c);
  }

  // The linter: its document, or NULL with "oom"; the status code and the
  // model untouched either way.
  static std::string model_before;
  Case lint{"kavo_lint_json",
            [loaded_selected] {
              loaded_selected();
              model_before = snapshot();
            },
            [] {
              // Something of everything the document tells.
              static const char* const inputs =
                  R"({"items":[{"id":"a","AddedMs":1},{"id":"a"},3,{"name":"x","sources":[1]}],)"
                  R"("watch":[{"itemId":"a","PositionTicks":5},{"id":"a","position":1}],"store":[],)"
                  R"("server_home":{"Basics":[{}],"Continues":[{"Valeu":1}],"List":[{"Idd":1}]},"x":1})";
              code_before = kavo_last_code();
              got = kavo_lint_json(inputs);
              return 0;
            },
            {}, {}};
  lint.verify = [] {
    const bool answered = got != nullptr ? parses(got) : std::strcmp(kavo_last_error(), "oom") == 0;
    return answered && kavo_last_code() == code_before && snapshot() == model_before;
  };
  cases.push_back(lint);

  // Warm up: every getter has its buffer, every lazily made block exists.
  for (const Case& c : cases) {
    c.setup();
    c.call();
    walk("warm-up");
    (void)snapshot();
  }
  kavo_shutdown();

  Totals totals;
  // KAVO_ALLOC_CASE=<part of a name> runs only the matching calls.
  const char* only = std::getenv("KAVO_ALLOC_CASE");
  for (const Case& c : cases) {
    if (only == nullptr || std::strstr(c.name, only) != nullptr) run_case(c, in, &totals);
  }
  std::printf("alloc: %lld runs, %lld with a failed allocation; %d problems\n",
              static_cast<long long>(totals.runs), static_cast<long long>(totals.failed_runs),
              g_failures);
  return g_failures == 0 ? 0 : 1;
}
