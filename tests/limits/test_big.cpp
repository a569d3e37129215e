// Big inputs: texts of tens of megabytes and arrays of a million elements get
// their documented answers within bounded time.
#include "limits_support.h"

using namespace limits_test;
using kavo_test::str;

namespace {

class BigInputs : public kavo_test::KavoTest {};

constexpr std::size_t k50MB = 50u << 20;
constexpr std::size_t kMillion = 1000000;

TEST_F(BigInputs, FiftyMegabyteTexts) {
  // One title of 50 MB: kept as its first 8192 bytes.
  std::string text = "[{\"id\":\"big\",\"title\":\"" + std::string(k50MB, 'x') + "\"}]";
  ASSERT_EQ(TIMED(kavo_add_items(text.c_str())), 0);
  EXPECT_EQ(std::strlen(kavo_item_title(0)), 8192u);
  Json item(kavo_item_json(0));
  ASSERT_NE(item.root(), nullptr);

  // Two-byte characters: the cut falls on a character boundary, so the texts
  // stay valid UTF-8 and every document is still written.
  text.clear();
  text = "[{\"id\":\"wide\",\"title\":\"x";
  for (std::size_t i = 0; i < k50MB / 2; ++i) text += "\xC3\xA9";
  text += "\"}]";
  ASSERT_EQ(TIMED(kavo_add_items(text.c_str())), 0);
  EXPECT_EQ(std::strlen(kavo_item_title(1)), 8191u);
  Json result(kavo_result_json());
  ASSERT_NE(result.root(), nullptr);
  EXPECT_EQ(stat("items"), 2);

  // 50 MB of blanks around an empty array; 50 MB that is no JSON at all.
  text.assign(k50MB, ' ');
  text.replace(k50MB / 2, 2, "[]");
  EXPECT_EQ(TIMED(kavo_add_items(text.c_str())), 0);
  EXPECT_EQ(TIMED(kavo_set_watch(text.c_str())), 0);
  text.assign(k50MB, '7');
  text[0] = '[';
  EXPECT_EQ(TIMED(kavo_set_library(text.c_str())), 1);
  EXPECT_EQ(str(kavo_last_error()), "not valid JSON");
  EXPECT_EQ(TIMED(kavo_load_inputs(text.c_str())), 1);
  EXPECT_EQ(str(kavo_last_error()), "inputs: not valid JSON");
  EXPECT_EQ(TIMED(lint_status(text)), 1);
  // A member name of 50 MB that no reader knows: no nearest spelling sought.
  text = "{\"items\":[{\"id\":\"a\",\"" + std::string(k50MB, 'x') + "\":1}]}";
  EXPECT_EQ(TIMED(lint_status(text)), 0);
  text.clear();
  text.shrink_to_fit();

  // A server list of 5 MB of ids: a row capped at the row cap that counts
  // them all, and a watchlist document holding every id.
  std::string ids;
  const std::size_t n_ids = 5000;
  for (std::size_t i = 0; i < n_ids; ++i) ids += (i ? "," : "") + std::string(1000, 'a' + i % 26);
  const std::string home = "{\"List\":[{\"Id\":\"MyWatchlist\",\"Value\":\"" + ids + "\"}]}";
  ASSERT_EQ(TIMED(kavo_set_server_home(home.c_str())), 0);
  ASSERT_EQ(kavo_row_count(), 1);
  EXPECT_EQ(kavo_row_cell_count(0), static_cast<int32_t>(n_ids));
  EXPECT_EQ(kavo_row_truncated(0), 1);
  Json watchlist(kavo_watchlist_json());
  EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(watchlist.root(), "ids")), n_ids);
  EXPECT_EQ(yyjson_get_len(yyjson_obj_get(watchlist.root(), "key")), ids.size());
  Json with_list(kavo_result_json());
  EXPECT_NE(yyjson_obj_get(with_list.root(), "watchlist"), nullptr);
}

TEST_F(BigInputs, MillionElementArrays) {
  // A million unusable elements: all rejected, the calls succeed.
  const std::string numbers = array_of("0", kMillion);
  ASSERT_EQ(TIMED(kavo_add_items(numbers.c_str())), 0);
  EXPECT_EQ(stat("rejected"), static_cast<int64_t>(kMillion));
  ASSERT_EQ(TIMED(kavo_set_library(numbers.c_str())), 0);
  EXPECT_EQ(stat("library"), 0);
  const std::string silent = array_of("{\"id\":\"a\",\"title\":\"t\"}", kMillion);
  ASSERT_EQ(TIMED(kavo_set_watch(silent.c_str())), 0);  // entries without progress
  EXPECT_EQ(stat("watch"), 0);
  EXPECT_EQ(stat("rejected"), static_cast<int64_t>(3 * kMillion));

  // The linter counts them all.
  int64_t rejected = 0;
  EXPECT_EQ(TIMED(lint_status("{\"items\":" + numbers + ",\"watch\":" + silent + "}", "rejected", &rejected)), 0);
  EXPECT_EQ(rejected, static_cast<int64_t>(2 * kMillion));

  // Copies of one item: the first is taken, the rest are duplicates.
  ASSERT_EQ(TIMED(kavo_add_items(array_of("{\"id\":\"a\"}", 100000).c_str())), 0);
  EXPECT_EQ(kavo_item_count(), 1);
  EXPECT_EQ(stat("rejected"), static_cast<int64_t>(3 * kMillion + 99999));

  // One item with a million genres and a million sources that are no
  // objects: the genres are kept, the sources skipped.
  const std::string genres = array_of("\"g\"", kMillion);
  const std::string item = "[{\"id\":\"many\",\"genres\":" + genres + ",\"sources\":" + numbers + "}]";
  ASSERT_EQ(TIMED(kavo_add_items(item.c_str())), 0);
  EXPECT_EQ(kavo_item_source_count(1), 0);
  Json doc(kavo_item_json(1));
  EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(doc.root(), "genres")), kMillion);

  // The server home: a million basics, progress entries and list entries.
  // Progress stops quietly at the watch table's 200000 entries.
  const std::string home = "{\"Basics\":" + array_of("{\"IMDbId\":\"tt1\"}", kMillion) +
                           ",\"Continues\":" + array_of("{\"IMDbId\":\"tt1\",\"Value\":0.5}", kMillion) +
                           ",\"List\":" + array_of("{}", kMillion) +
                           ",\"Spotlights\":" + array_of("{\"Items\":\"tt9\"}", kMillion) + "}";
  ASSERT_EQ(TIMED(kavo_set_server_home(home.c_str())), 0);
  EXPECT_EQ(stat("watch"), 200000);
  ASSERT_GE(kavo_row_count(), 1);
  EXPECT_EQ(str(kavo_row_key(0)), "Spotlight");
  EXPECT_EQ(kavo_row_cell_count(0), static_cast<int32_t>(kMillion));
  Json row(kavo_row_json(0));
  EXPECT_EQ(Json::num_in(row.root(), "emitted"), 200);

  // A million favourites: the Favourites row keeps the row cap.
  const std::string store = "{\"favourites\":" + array_of("{\"token\":\"t\"}", kMillion) + "}";
  ASSERT_EQ(TIMED(kavo_set_store(store.c_str())), 0);
  bool favourites = false;
  for (int32_t r = 0; r < kavo_row_count(); ++r) {
    if (str(kavo_row_key(r)) != "Favourites") continue;
    favourites = true;
    EXPECT_EQ(kavo_row_cell_count(r), static_cast<int32_t>(kMillion));
    EXPECT_EQ(kavo_row_truncated(r), 1);
  }
  EXPECT_TRUE(favourites);
  Json result(kavo_result_json());
  ASSERT_NE(result.root(), nullptr);
}

}  // namespace
