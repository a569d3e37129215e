// All inputs in one call, read member by member and element by element: the
// model must be the one the step-by-step reading of the whole object gives.
// Keys in other letter case send an object the step-by-step way, so each
// case is loaded once with its keys as written and once with them in capitals,
// and everything the host can read must agree.
#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/model.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

// The inputs object of `members` with `space` around every token; capital
// keys when `capitals` is set.
std::string object_of(const Members& members, bool capitals, const std::string& space = "") {
  std::string out = space + "{" + space;
  bool first = true;
  for (const auto& [key, value] : members) {
    if (!first) out += space + "," + space;
    first = false;
    std::string k = key;
    if (capitals) {
      for (char& c : k) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    out += "\"" + k + "\"" + space + ":" + space + value;
  }
  return out + space + "}" + space;
}

// Everything the host can read after a load.
std::string snapshot() {
  std::string s = std::to_string(kavo_last_code()) + "|" + str(kavo_last_error()) + "|" +
                  str(kavo_result_json()) + "|" + str(kavo_stats_json()) + "|" +
                  str(kavo_server_flags_json()) + "|" + str(kavo_watchlist_json()) + "|" +
                  str(kavo_browse_history_json()) + "|";
  for (int32_t i = 0; i < kavo_item_count(); ++i) s += str(kavo_item_json(i)) + "\n";
  s += "rejected " + std::to_string(kavo::s_rejected) + " library " + std::to_string(kavo::n_lib()) +
       " playlists " + std::to_string(kavo::n_pls());
  for (const kavo::Item& e : kavo::s_lib) s += " " + std::to_string(e.catalogue_index);
  return s;
}

const char kHome[] =
    R"({"Basics":[{"IMDbId":"tt1","Title":"Basic One","PosterUrl":"b1.jpg","Year":2001,"IsTVShow":false},)"
    R"({"IMDbId":"tt2","Title":"Basic Two","Plot":"p","IsTVShow":true,"Genres":["Drama"]}],)"
    R"("Continues":[{"IMDbId":"tt2","Season":1,"Episode":2,"Value":0.5,"Duration":"00:40:00",)"
    R"("UpdatedAt":"2024-05-01T21:10:00Z"}],)"
    R"("List":[{"Id":"TrendingNow","Value":"tt1,tt2,tt9"},{"Id":"NewToVELORA","Value":"tt1"},)"
    R"({"Id":"MyWatchlist","Value":"tt2"},{"Id":"BrowseHistory","Value":"tt1"}],)"
    R"("ExtentList":[{"Id":"Genre_Drama","Value":"tt2"},{"Id":"FeatureFlags_X","Value":"on"}],)"
    R"("Spotlights":[{"Items":"tt1"}],"CollectionPlaylists":[{"Name":"C"}],)"
    R"("Level30s":[{"IMDbID":"tt8","FileName":"f.mkv"}]})";

// Items without titles that both a library entry and the basics could fill:
// the library's rebuild comes first and wins.
const char kItems[] =
    R"([{"id":"m1","imdb_id":"tt1","kind":"movie","sources":[{"key":"k","url":"u","width":1920,"height":1080}]},)"
    R"({"id":"m2","imdb_id":"tt1","path":"/p/m2.mkv"},)"
    R"({"id":"s2","imdb_id":"tt2","kind":"tv"},)"
    R"({"id":"e1","imdb_id":"tt2","kind":"episode","season":1,"episode":1,"duration_s":2400,)"
    R"("sources":[{"key":"e1","theFile":{"url":"x","videoWidth":3840},"hdr":true}]},)"
    R"({"id":"e2","imdb_id":"tt2","kind":"episode","season":1,"episode":2,"runtime_min":40,)"
    R"("sources":[{"key":"e2","uri":"file:///e2"}]},)"
    R"({"key":"o1","Title":"Other","imdbId":"tt3","Year":"1999","PosterUrl":"o.jpg"},)"
    R"(7,"x",null,{"id":""},{"id":"m1"}])";

const char kWatch[] =
    R"([{"item_id":"m1","position_s":600,"duration_s":6000,"updated_ms":5,"source":"player"},)"
    R"({"imdb_id":"tt2","season":1,"episode":1,"fraction":1.2,"UpdatedAt":"2024-01-02T03:04:05+02:00"},)"
    R"({"id":"e2","Position":100,"src":"local_store"},{"id":"m2","duration_s":10},3])";

const char kLibrary[] =
    R"([{"id":"m1","kind":"file","title":"Lib Title.mkv","poster_url":"lib.jpg","added_ms":77},)"
    R"({"id":"lib-2","title":"By Path.mkv","path":"/p/m2.mkv","added_ms":88},)"
    R"({"id":"lib-3","kind":"file","title":"song.flac","path":"/music/song.flac","is_audio_only":true},)"
    R"({"id":"dir-1","kind":"folder","title":"Season 10"},{"id":"dir-2","kind":"folder","title":"season 9"}])";

const char kStore[] =
    R"({"favourites":[{"token":"m1","display_name":"Fav"},{"Token":"gone","DisplayName":"Old"}],)"
    R"("playlists":[{"key":"p1","imdbids":"tt1"}]})";

class InputsStreamedTest : public KavoTest {
 protected:
  // Loads `members` as written and in capitals and compares what the host sees.
  void expect_same_model(const Members& members, const std::string& space = "") {
    const std::string as_written = object_of(members, false, space);
    const std::string capitals = object_of(members, true, space);
    kavo_test::reset_library();
    const int32_t rc = kavo_load_inputs(as_written.c_str());
    const std::string streamed = snapshot();
    kavo_test::reset_library();
    EXPECT_EQ(kavo_load_inputs(capitals.c_str()), rc);
    EXPECT_EQ(snapshot(), streamed) << as_written;
  }
};

TEST_F(InputsStreamedTest, EveryPartReadsAsTheWholeObjectDoes) {
  const Members all = {{"server_home", kHome}, {"items", kItems}, {"watch", kWatch},
                       {"library", kLibrary}, {"store", kStore}};
  expect_same_model(all);
  expect_same_model(all, " \n\t\r ");

  // Parts in another order, with members nobody reads around them (brackets
  // and quotes inside their strings must not end them early).
  expect_same_model({{"note", R"("a ] } [ { \" , \\")"},
                     {"store", kStore},
                     {"extra", R"([1,{"items":[2]},"]",-0.5e-3,true,null])"},
                     {"library", kLibrary},
                     {"items", kItems},
                     {"n", "12345678901234567890"},
                     {"watch", kWatch},
                     {"server_home", kHome},
                     {"last", "false"}});

  // Parts left out, and empty ones.
  expect_same_model({{"items", kItems}});
  expect_same_model({{"library", kLibrary}, {"store", kStore}});
  expect_same_model({{"items", "[]"}, {"watch", "[ ]"}, {"library", "[\n]"}, {"store", "{}"},
                     {"server_home", "{}"}});
  expect_same_model({});
}

TEST_F(InputsStreamedTest, ElementsOfAnySizeAndShape) {
  // A long element after short ones, scalars at the end of an array, and an
  // array of numbers only.
  const std::string plot(20000, 'p');
  const std::string items = R"([{"id":"a"},{"id":"b","plot":")" + plot + R"("},{"id":"c"},1,)" +
                            R"(12345678901234567890123,"tail"])";
  expect_same_model({{"items", items}, {"watch", "[1,2,3]"}});
  expect_same_model({{"items", items}}, "\n");
  ASSERT_EQ(kavo_load_inputs(object_of({{"items", items}}, false).c_str()), 0);
  EXPECT_EQ(kavo_item_count(), 3);
  EXPECT_EQ(kavo::s_rejected, 3);

  // Keys written with escapes are the same keys.
  ASSERT_EQ(kavo_load_inputs(R"({"\u0069tems":[{"id":"a"}],"w\u0061tch":[{"id":"a","position":9}]})"), 0);
  EXPECT_EQ(kavo_item_count(), 1);
  EXPECT_EQ(kavo::n_watch(), 1);
}

TEST_F(InputsStreamedTest, LongArraysReadAsTheWholeObjectDoes) {
  // Arrays of several megabytes, read a stretch at a time: elements of every
  // size from a number to one longer than any stretch, numbers and texts
  // that a stretch may end inside, escapes, duplicates and rejected elements.
  std::mt19937 rng(424242);
  auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  auto element = [&](std::size_t i) -> std::string {
    switch (pick(8)) {
      case 0:
        return std::to_string(rng()) + std::to_string(rng());  // a rejected number
      case 1:
        return "\"" + std::string(pick(3000), 'x') + "\\n\"";  // a rejected text
      case 2:
        return R"({"id":"dup","title":"again"})";
      default: {
        std::string e = R"({"id":"i)" + std::to_string(i) + R"(","title":"T\u00e9 )" + std::to_string(i) +
                        R"(","year":)" + std::to_string(1900 + pick(200)) + R"(,"plot":")" +
                        std::string(pick(2500), 'p') + R"(","sources":[{"key":"k)" + std::to_string(i) +
                        R"(","url":"u","width":)" + std::to_string(pick(4000)) + "}]}";
        return e;
      }
    }
  };
  std::string items = "[";
  for (std::size_t i = 0; i < 4000; ++i) {
    items += (i ? "," : "") + element(i);
    if (i == 1500) items += R"(,{"id":"huge","plot":")" + std::string(300000, 'h') + R"("})";
  }
  items += ",12345678901234567890123]";
  std::string watch = "[";
  for (std::size_t i = 0; i < 3000; ++i) {
    watch += (i ? "," : "") + (pick(5) ? R"({"id":"i)" + std::to_string(pick(4000)) + R"(","position":)" +
                                             std::to_string(pick(100000)) + "." + std::to_string(pick(1000)) + "}"
                                       : std::to_string(rng()));
  }
  watch += "]";
  expect_same_model({{"items", items}, {"watch", watch}, {"library", items}});
  EXPECT_GT(kavo_item_count(), 2000);
}

TEST_F(InputsStreamedTest, BrokenOrAmbiguousObjectsGetTheWholeObjectAnswer) {
  struct Case {
    const char* text;
    int32_t code;
    const char* message;
    int32_t items;
  };
  // A failure leaves the model as it was: the one item and the watch entry.
  const Case cases[] = {
      {R"({"items":[{"id":"a"}]} x)", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}]}})", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"},{"id":}]})", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"},]})", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}],})", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}] "watch":[]})", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}])", 1, "inputs: not valid JSON", 0},
      // Texts that end inside a part read whole, after an escape or a bracket.
      {R"({"items":[{"id":"a"}],"store":{"x":"\)", 1, "inputs: not valid JSON", 0},
      {R"({"server_home":{"a":[{"b":)", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"},{"id":"b\)", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}],"x":[1 2]})", 1, "inputs: not valid JSON", 0},
      {"{\"items\":[{\"id\":\"a\"}],\"x\":\"\xff\"}", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}],"x":01})", 1, "inputs: not valid JSON", 0},
      {"\xEF\xBB\xBF{\"items\":[{\"id\":\"a\"}]}", 1, "inputs: not valid JSON", 0},
      {R"({"items":[{"id":"a"}],"store":[]})", 1, "store must be an object", 0},
      {R"({"items":[{"id":"a"}],"server_home":null})", 1, "server_home must be an object", 0},
      {R"([{"items":[]}])", 1, "inputs: root not object", 0},
      // The first exact key wins; a key in other case counts only without one.
      {R"({"items":[{"id":"a"}],"items":[{"id":"b"},{"id":"c"}]})", 0, "", 1},
      {R"({"ITEMS":[{"id":"b"},{"id":"c"}],"items":[{"id":"a"}]})", 0, "", 1},
      {R"({"ITEMS":[{"id":"b"},{"id":"c"}],"Items":{}})", 0, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    kavo_clear();
    ASSERT_EQ(kavo_add_items(R"([{"id":"before"}])"), 0);
    ASSERT_EQ(kavo_set_watch(R"([{"id":"w","position":1}])"), 0);
    EXPECT_EQ(kavo_load_inputs(c.text), c.code);
    EXPECT_STREQ(kavo_last_error(), c.message);
    const bool failed = c.code != 0;
    EXPECT_EQ(kavo_item_count(), failed ? 1 : c.items);
    EXPECT_EQ(kavo::n_watch(), failed ? 1 : 0);
    EXPECT_EQ(kavo::s_rejected, 0);
  }
}

TEST_F(InputsStreamedTest, RandomInputsReadAsTheWholeObjectDoes) {
  // Pools of elements that interact across the parts: ids and IMDb ids the
  // basics, watch entries, library entries and favourites refer to, repeated
  // ids, rejected elements and fields that only some parts fill.
  const std::vector<std::string> items = {
      R"({"id":"m1","imdb_id":"tt1","kind":"movie","duration_s":6000})",
      R"({"id":"m2","imdb_id":"tt1","path":"/p/m2.mkv","added_ms":5})",
      R"({"id":"s1","imdb_id":"tt2","kind":"show"})",
      R"({"id":"e1","imdb_id":"tt2","kind":"episode","season":1,"episode":1,"runtime_min":40})",
      R"({"id":"e2","imdb_id":"tt2","kind":"episode","season":1,"episode":2,"title":"Two"})",
      R"({"id":"x1","path":"/p/x1.mkv","sources":[{"key":"a","url":"u","width":1280}]})",
      R"({"id":"m1","title":"again"})", R"({"title":"no id"})", "5", "null"};
  const std::vector<std::string> watch = {
      R"({"item_id":"m1","position_s":600,"updated_ms":10})",
      R"({"imdb_id":"tt2","season":1,"episode":1,"fraction":0.95,"UpdatedAt":"2024-01-02T03:04:05Z"})",
      R"({"id":"e2","Position":100,"src":"local_store","updated_ms":20})",
      R"({"id":"x1","finished":true})", R"({"id":"m2","duration_s":10})", "[]"};
  const std::vector<std::string> library = {
      R"({"id":"m1","title":"Lib.mkv","poster_url":"l.jpg","added_ms":77})",
      R"({"id":"lib-2","title":"Path.mkv","path":"/p/m2.mkv","added_ms":88})",
      R"({"id":"lib-3","kind":"file","title":"song.flac","is_audio_only":true})",
      R"({"id":"dir","kind":"folder","title":"Season 2"})", R"({"kind":"file"})"};
  const std::vector<std::string> stores = {
      "{}", R"({"favourites":[{"token":"m1"},{"token":"e1","display_name":"E"}]})",
      R"({"favorites":[{"token":"lib-3"}],"playlists":[{"key":"p","imdbids":"tt1"}]})"};
  const std::vector<std::string> homes = {
      "{}",
      R"({"Basics":[{"IMDbId":"tt1","Title":"Basic","PosterUrl":"b.jpg","Year":2001},)"
      R"({"IMDbId":"tt2","Title":"Show","IsTVShow":true,"Genres":["Drama"]}],)"
      R"("Continues":[{"IMDbId":"tt2","Season":1,"Episode":2,"Value":0.5,"Duration":"00:40:00"}]})",
      R"({"List":[{"Id":"TrendingNow","Value":"tt1,tt2"},{"Id":"MyWatchlist","Value":"tt1"}],)"
      R"("Continues":[{"IMDbId":"tt1","Value":0.99,"Duration":"01:40:00","UpdatedAt":"2024-05-01"}]})"};

  std::mt19937 rng(20240115);
  auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  auto array_of = [&](const std::vector<std::string>& pool) {
    std::string out = "[";
    const std::size_t n = pick(6);
    for (std::size_t i = 0; i < n; ++i) out += (i ? "," : "") + pool[pick(pool.size())];
    return out + "]";
  };
  const char* const spaces[] = {"", " ", "\n\t"};
  for (int round = 0; round < 150; ++round) {
    Members members;
    if (pick(3)) members.emplace_back("server_home", homes[pick(homes.size())]);
    if (pick(4)) members.emplace_back("items", array_of(items));
    if (pick(3)) members.emplace_back("watch", array_of(watch));
    if (pick(3)) members.emplace_back("library", array_of(library));
    if (pick(3)) members.emplace_back("store", stores[pick(stores.size())]);
    if (pick(4) == 0) members.emplace_back("other", R"({"items":[1],"s":"]}"})");
    std::shuffle(members.begin(), members.end(), rng);
    SCOPED_TRACE(round);
    expect_same_model(members, spaces[pick(3)]);
  }
}

}  // namespace
