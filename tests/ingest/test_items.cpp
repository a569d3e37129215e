// The item loader, the catalogue and library calls, and the item queries.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "frame/model.h"
#include "ingest/ingest.h"
#include "kavo.h"
#include "support/fixture.h"

using namespace kavo;
using kavo_test::KavoTest;
using kavo_test::str;

namespace {

using ItemsTest = KavoTest;

// The first catalogue item of a one-element array.
const Item& load_one(const std::string& element) {
  const int32_t before = n_items();
  EXPECT_EQ(kavo_add_items(("[" + element + "]").c_str()), 0) << element;
  EXPECT_EQ(n_items(), before + 1) << element;
  return s_items.back();
}

std::string t(const Text& text) { return text ? std::string(text.get()) : std::string("<none>"); }

}  // namespace

TEST_F(ItemsTest, IdsAndRejections) {
  EXPECT_EQ(kavo_add_items("[]"), 0);
  EXPECT_EQ(kavo_item_count(), 0);

  EXPECT_EQ(t(load_one(R"({"id":42})").id), "42");
  const Item& keyed = load_one(R"({"key":"k1"})");
  EXPECT_EQ(t(keyed.id), "k1");
  EXPECT_EQ(t(keyed.server_key), "k1");
  EXPECT_EQ(t(load_one(R"({"id":null,"key":"k2"})").id), "k2");
  EXPECT_EQ(t(load_one(R"({"ID":"folded"})").id), "folded");
  EXPECT_EQ(s_rejected, 0);

  // An empty id is no id, even when a "key" follows; so are non-objects and
  // ids of no usable type.
  EXPECT_EQ(kavo_add_items(R"([{"id":""},{"id":"","key":"x"},1,"a",null,[],{"id":[1]},{"id":{}},{}])"), 0);
  EXPECT_EQ(kavo_item_count(), 4);
  EXPECT_EQ(s_rejected, 9);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo_last_code(), 0);
}

TEST_F(ItemsTest, CatalogueDuplicatesAndLibraryKeepsThem) {
  const char* two = R"([{"id":"a","title":"first"},{"id":"b"},{"id":"a","title":"second"},{"id":"A"}])";
  ASSERT_EQ(kavo_add_items(two), 0);
  EXPECT_EQ(kavo_item_count(), 3);
  EXPECT_EQ(s_rejected, 1);
  EXPECT_EQ(t(s_items[0].title), "first");
  EXPECT_EQ(t(s_items[2].id), "A");  // ids are matched exactly

  ASSERT_EQ(kavo_add_items(two), 0);
  EXPECT_EQ(kavo_item_count(), 3);
  EXPECT_EQ(s_rejected, 5);

  int32_t index = -1;
  ASSERT_EQ(s_seen_id.get("b", &index), 0);
  EXPECT_EQ(index, 1);

  ASSERT_EQ(kavo_set_library(two), 0);
  EXPECT_EQ(n_lib(), 4);
  EXPECT_EQ(s_rejected, 5);
  EXPECT_EQ(kavo_item_count(), 3);  // the library never touches the catalogue

  // Clearing forgets the ids seen.
  kavo_clear();
  ASSERT_EQ(kavo_add_items(two), 0);
  EXPECT_EQ(kavo_item_count(), 3);
}

TEST_F(ItemsTest, KindAndLibraryCodes) {
  struct Case {
    const char* value;
    int32_t kind, library;
  };
  const Case cases[] = {
      {R"("TV")", 1, 4},         {R"("Directory")", 4, 4},    {R"("anime")", 5, 4},
      {R"("Film")", 0, 4},       {R"("tv_series")", 1, 4},    {R"("EPISODE")", 2, 4},
      {R"("file")", 3, 4},       {R"("")", 5, 4},             {"2.7", 2, 2},
      {"9", 5, 5},               {"-1", 5, 5},                {"-0.5", 0, 0},
      {"3000000000", 0, 0},      {"true", 5, 5},              {"null", 5, 5},
      {"[1]", 5, 5},             {R"("RealDebrid")", 5, 2},   {R"("local")", 5, 3},
      {R"("ftp")", 5, 4},        {R"("Velora+")", 5, 0},      {R"("TKFS")", 5, 1},
      {R"("media_harbor")", 5, 1}, {"3", 3, 3},               {"7", 5, 5},
      {R"("3")", 5, 4},          {R"("MoViE\u0000x")", 0, 4}, {R"("Velora_Plus_Extended")", 5, 4},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string id = "\"i" + std::to_string(n++) + "\"";
    const Item& item = load_one(std::string("{\"id\":") + id + ",\"kind\":" + c.value +
                                ",\"library\":" + c.value + "}");
    EXPECT_EQ(item.kind, c.kind) << c.value;
    EXPECT_EQ(item.library, c.library) << c.value;
  }
  const Item& plain = load_one(R"({"id":"plain"})");
  EXPECT_EQ(plain.kind, 5);
  EXPECT_EQ(plain.library, 5);
}

// Random texts near the code words (case flips, one byte off, a NUL inside,
// longer than 16 bytes before or after a NUL) read as the word lists say: the
// text up to its first NUL, in ASCII lower case, equal to a word.
TEST_F(ItemsTest, CodeWordsReadAsTheWordLists) {
  const std::vector<std::pair<std::string, int32_t>> kinds = {
      {"movie", 0},  {"film", 0}, {"tv", 1},   {"tvshow", 1}, {"tv_series", 1}, {"series", 1},
      {"show", 1},   {"episode", 2}, {"file", 3}, {"folder", 4}, {"dir", 4},   {"directory", 4}};
  const std::vector<std::pair<std::string, int32_t>> libraries = {
      {"velora_plus", 0}, {"veloraplus", 0}, {"velora+", 0}, {"media_harbor", 1}, {"harbor", 1},
      {"tkfs", 1},        {"debrid", 2},     {"rd", 2},      {"realdebrid", 2},   {"local", 3}};
  auto expected = [](const std::vector<std::pair<std::string, int32_t>>& words, const std::string& value,
                     int32_t other) {
    std::string text = value.substr(0, value.find('\0'));
    if (text.size() > 16) return other;
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const auto& [word, code] : words) {
      if (word == text) return code;
    }
    return other;
  };
  std::vector<std::string> pool;
  for (const auto* words : {&kinds, &libraries}) {
    for (const auto& [word, code] : *words) pool.push_back(word);
  }
  uint32_t seed = 31337;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  std::string batch = "[";
  std::vector<std::string> values;
  for (int n = 0; n < 3000; ++n) {
    std::string v = pool[next() % pool.size()];
    for (char& c : v) {
      if (next() % 2 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    switch (next() % 6) {
      case 0:
        v[next() % v.size()] ^= static_cast<char>(1 + next() % 0x3F);
        if (v.find('"') != std::string::npos || v.find('\\') != std::string::npos) v = "x";
        break;
      case 1:
        v.insert(next() % (v.size() + 1), std::string(1, '\0') + "zz");
        break;
      case 2:
        v += std::string(1 + next() % 12, 'q');
        break;
      case 3:
        v += std::string(1, '\0') + std::string(next() % 20, 'Q');
        break;
      case 4:
        v += "\xC3\xA9";
        break;
      default:
        break;
    }
    std::string json = "\"";
    for (unsigned char c : v) {
      if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        json += buf;
      } else {
        json += static_cast<char>(c);
      }
    }
    json += "\"";
    batch += (n > 0 ? "," : "") + std::string("{\"id\":\"c") + std::to_string(n) + "\",\"kind\":" + json +
             ",\"library\":" + json + "}";
    values.push_back(v);
  }
  batch += "]";
  ASSERT_EQ(kavo_add_items(batch.c_str()), 0);
  ASSERT_EQ(n_items(), static_cast<int32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(s_items[i].kind, expected(kinds, values[i], 5)) << i;
    EXPECT_EQ(s_items[i].library, expected(libraries, values[i], 4)) << i;
  }
}

TEST_F(ItemsTest, FieldsAndDefaults) {
  const Item& none = load_one(R"({"id":"n"})");
  EXPECT_EQ(t(none.title), "<none>");
  EXPECT_EQ(none.year, -1);
  EXPECT_EQ(none.size, -1);
  EXPECT_EQ(none.mtime_ms, -1);
  EXPECT_EQ(none.added_ms, -1);
  EXPECT_EQ(none.duration_s, -1.0);
  EXPECT_EQ(none.rating, -1.0);
  EXPECT_EQ(none.matched, -1);
  EXPECT_EQ(none.unmatched, 0);
  EXPECT_EQ(none.is_audio_only, 0);
  EXPECT_EQ(none.is_cue_track, 0);
  EXPECT_EQ(std::ssize(none.genres), 0);
  EXPECT_EQ(none.source_count(), 0);
  EXPECT_EQ(none.playable, 0);
  EXPECT_EQ(none.next_index, -1);

  const Item& full = load_one(
      R"({"id":"f","title":null,"Name":"Named","IMDbID":"tt1","poster":"p","PictureUrl":"b",)"
      R"("description":"d","Path":"/x","parent":"/","backend":7,"AirDate":"2020","ServerKey":"sk",)"
      R"("Year":"1999","duration":5400,"Season":2.9,"episode":"3","SIZE":"12345678901",)"
      R"("mtime":1700000000000,"Rating":"7.5","isMatched":"yes","matched":null,"unmatched":2,)"
      R"("isAudioOnly":true,"is_cue_track":"on","genres":["Drama",1,null],)"
      R"("entries":[{"uri":"u"}]})");
  EXPECT_EQ(t(full.title), "Named");
  EXPECT_EQ(t(full.imdb_id), "tt1");
  EXPECT_EQ(t(full.poster_url), "p");
  EXPECT_EQ(t(full.backdrop_url), "b");
  EXPECT_EQ(t(full.plot), "d");
  EXPECT_EQ(t(full.path), "/x");
  EXPECT_EQ(t(full.folder), "/");
  EXPECT_EQ(t(full.backend_id), "7");
  EXPECT_EQ(t(full.air_date), "2020");
  EXPECT_EQ(t(full.server_key), "sk");
  EXPECT_EQ(full.year, 1999);
  EXPECT_EQ(full.runtime_min, 5400);  // "duration" also answers the folded "Duration"
  EXPECT_EQ(full.duration_s, 5400.0);
  EXPECT_EQ(full.season, 2);
  EXPECT_EQ(full.episode, 3);
  EXPECT_EQ(full.size, 12345678901LL);
  EXPECT_EQ(full.mtime_ms, 1700000000000LL);
  EXPECT_EQ(full.added_ms, 1700000000000LL);
  EXPECT_EQ(full.rating, 7.5);
  EXPECT_EQ(full.matched, 1);
  EXPECT_EQ(full.unmatched, 1);
  EXPECT_EQ(full.is_audio_only, 1);
  EXPECT_EQ(full.is_cue_track, 1);
  ASSERT_EQ(std::ssize(full.genres), 2);
  EXPECT_EQ(t(full.genres[1]), "1");
  EXPECT_EQ(full.source_count(), 1);
  EXPECT_EQ(full.playable, 1);

  EXPECT_EQ(load_one(R"({"id":"m0","matched":false,"isMatched":true})").matched, 0);
  EXPECT_EQ(load_one(R"({"id":"a1","mtime_ms":5,"added":"7"})").added_ms, 7);
  EXPECT_EQ(load_one(R"({"id":"a2","added_ms":"x","date_added_ms":9})").added_ms, 9);

  // A text that only reads as NaN or infinity is skipped for the next key.
  const Item& odd = load_one(R"({"id":"nf","duration_s":"inf","duration":"90s","rating":"NaN"})");
  EXPECT_EQ(odd.duration_s, 90.0);
  EXPECT_EQ(odd.rating, -1.0);
  EXPECT_EQ(load_one(R"({"id":"nf2","durationSeconds":"-1e999"})").duration_s, -1.0);
}

TEST_F(ItemsTest, CallFailures) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"keep"}])"), 0);

  EXPECT_EQ(kavo_add_items(nullptr), 2);
  EXPECT_STREQ(kavo_last_error(), "null json");
  EXPECT_EQ(kavo_last_code(), 2);
  EXPECT_EQ(kavo_add_items("[{\"id\":\"x\"},]"), 1);
  EXPECT_STREQ(kavo_last_error(), "not valid JSON");
  EXPECT_EQ(kavo_add_items(""), 1);
  EXPECT_STREQ(kavo_last_error(), "not valid JSON");
  EXPECT_EQ(kavo_add_items(R"({"id":"x"})"), 1);
  EXPECT_STREQ(kavo_last_error(), "expected an array");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo_item_count(), 1);

  ASSERT_EQ(kavo_set_library(R"([{"id":"l1"},{"id":"l2"}])"), 0);
  EXPECT_EQ(n_lib(), 2);
  // A failing library call keeps the library it would have replaced.
  EXPECT_EQ(kavo_set_library("nope"), 1);
  EXPECT_STREQ(kavo_last_error(), "not valid JSON");
  EXPECT_EQ(n_lib(), 2);
  ASSERT_EQ(kavo_set_library(R"([{"id":"l1"}])"), 0);
  EXPECT_EQ(kavo_set_library("{}"), 1);
  EXPECT_STREQ(kavo_last_error(), "expected an array");
  EXPECT_EQ(n_lib(), 1);
  ASSERT_EQ(kavo_set_library(R"([{"id":"l1"}])"), 0);
  EXPECT_EQ(kavo_set_library(nullptr), 0);
  EXPECT_EQ(n_lib(), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo_item_count(), 1);

  // The parsed-array entry point answers as the text one.
  EXPECT_EQ(load_array_value(nullptr, kavo::ItemTarget::catalogue()), 1);
  EXPECT_STREQ(kavo_last_error(), "expected an array");
}

TEST_F(ItemsTest, CatalogueStopsAtItsLimit) {
  std::string json;
  json.reserve(static_cast<std::size_t>(kMaxRecords + 1) * 16 + 2);
  json += '[';
  for (int32_t i = 0; i <= kMaxRecords; ++i) {
    if (i > 0) json += ',';
    json += "{\"id\":\"i";
    json += std::to_string(i);
    json += i == 5 || i == kMaxRecords - 1 ? "\",\"unmatched\":true}" : (i == 7 ? "\",\"path\":\"/p\"}" : "\"}");
  }
  json += ']';

  // One item too many: the call fails and adds none of them, nor lists
  // those read as unmatched.
  EXPECT_EQ(kavo_add_items(json.c_str()), 3);
  EXPECT_STREQ(kavo_last_error(), "out of memory");
  EXPECT_EQ(kavo_last_code(), 3);
  EXPECT_EQ(kavo_item_count(), 0);
  EXPECT_FALSE(s_model.result_stale);  // no rebuild after the failure
  EXPECT_EQ(s_rejected, 0);
  EXPECT_TRUE(s_unmatched_items.empty());
  EXPECT_TRUE(s_path_items.empty());
  // Exactly the limit fits.
  json.resize(json.rfind(','));
  json += ']';
  EXPECT_EQ(kavo_add_items(json.c_str()), 0);
  EXPECT_EQ(kavo_item_count(), kMaxRecords);
  EXPECT_EQ(s_unmatched_items, (std::vector<int32_t>{5, kMaxRecords - 1}));
  EXPECT_EQ(s_path_items, (std::vector<int32_t>{7}));
  EXPECT_STREQ(kavo_item_id(kMaxRecords - 1), "i199999");

  // A full catalogue still rejects a known id quietly; a new one fails.
  EXPECT_EQ(kavo_add_items(R"([{"id":"i5"}])"), 0);
  EXPECT_EQ(s_rejected, 1);
  EXPECT_EQ(kavo_add_items(R"([{"id":"new"}])"), 3);
  EXPECT_EQ(kavo_item_count(), kMaxRecords);
}

TEST_F(ItemsTest, QueriesOnInvalidIndexes) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","title":"T","kind":"movie","year":2001,"season":1,)"
                           R"("episode":2,"added_ms":5,"sources":[{"url":"u"}]}])"),
            0);
  EXPECT_STREQ(kavo_item_id(0), "a");
  EXPECT_STREQ(kavo_item_title(0), "T");
  EXPECT_EQ(kavo_item_kind(0), 0);
  EXPECT_EQ(kavo_item_year(0), 2001);
  EXPECT_EQ(kavo_item_playable(0), 1);
  EXPECT_EQ(kavo_item_source_count(0), 1);
  EXPECT_EQ(kavo_item_added_ms(0), 5);
  EXPECT_EQ(kavo_item_next_id(0), nullptr);

  // Queries leave the status frame alone, also when they find nothing.
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  for (int32_t bad : {-1, kavo_item_count(), INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(kavo_item_id(bad), nullptr);
    EXPECT_EQ(kavo_item_title(bad), nullptr);
    EXPECT_EQ(kavo_item_imdb(bad), nullptr);
    EXPECT_EQ(kavo_item_poster_url(bad), nullptr);
    EXPECT_EQ(kavo_item_kind(bad), -1);
    EXPECT_EQ(kavo_item_year(bad), -1);
    EXPECT_EQ(kavo_item_season(bad), -1);
    EXPECT_EQ(kavo_item_episode(bad), -1);
    EXPECT_EQ(kavo_item_playable(bad), 0);
    EXPECT_EQ(kavo_item_source_count(bad), 0);
    EXPECT_EQ(kavo_item_resume_action(bad), 0);
    EXPECT_EQ(kavo_item_added_ms(bad), -1);
    EXPECT_EQ(kavo_item_unmatched(bad), 0);
    EXPECT_EQ(kavo_item_next_id(bad), nullptr);
  }
  EXPECT_EQ(kavo_item_index_of("a"), 0);
  EXPECT_EQ(kavo_item_index_of("zz"), -1);
  EXPECT_EQ(kavo_item_count(), 1);
  EXPECT_STREQ(kavo_last_error(), "row cap out of range");
  EXPECT_EQ(kavo_last_code(), 2);
}

TEST_F(ItemsTest, IndexOfById) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"Alpha"},{"id":"beta"},{"id":"BETA"},{"id":"gamma"}])"), 0);
  EXPECT_EQ(kavo_item_index_of(nullptr), -1);
  EXPECT_EQ(kavo_item_index_of("missing"), -1);
  EXPECT_EQ(kavo_item_index_of("alpha"), 0);
  EXPECT_EQ(kavo_item_index_of("GAMMA"), 3);
  EXPECT_EQ(kavo_item_index_of("Beta"), 1);  // first folded match in order

  // An exact id is answered by the id map before any scan.
  s_by_id.release();
  s_by_id.put("BETA", 2, true);
  s_by_id.put("gamma", 0, true);
  EXPECT_EQ(kavo_item_index_of("BETA"), 2);
  EXPECT_EQ(kavo_item_index_of("gamma"), 0);
  EXPECT_EQ(kavo_item_index_of("Gamma"), 3);
  EXPECT_EQ(item_index_of("beta"), 1);
}

TEST_F(ItemsTest, LibraryStopsAtItsLimitKeepingTheOldOne) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"c"}])"), 0);
  const std::string result = str(kavo_result_json());

  // Entries are not de-duplicated, so one id serves them all; a non-object
  // among them is still only counted.
  std::string json;
  json.reserve(static_cast<std::size_t>(kMaxRecords + 2) * 11 + 2);
  json += "[1";
  for (int32_t i = 0; i <= kMaxRecords; ++i) json += ",{\"id\":\"e\"}";
  json += ']';
  ASSERT_EQ(kavo_set_library(R"([{"id":"old"}])"), 0);
  const std::string with_old = str(kavo_result_json());
  EXPECT_EQ(kavo_set_library(json.c_str()), 3);
  EXPECT_STREQ(kavo_last_error(), "out of memory");
  EXPECT_EQ(kavo_last_code(), 3);
  EXPECT_EQ(n_lib(), 1);
  EXPECT_EQ(s_rejected, 0);
  EXPECT_EQ(str(kavo_result_json()), with_old);  // no rebuild
  (void)result;

  // The next library replaces the full one.
  EXPECT_EQ(kavo_set_library(R"([{"id":"e"},{"id":"e"}])"), 0);
  EXPECT_EQ(n_lib(), 2);
  EXPECT_STREQ(kavo_last_error(), "");
}
