// Row table, cells under the cap, candidates and id lists.
#include "frame/ids.h"
#include "frame/json_doc.h"
#include "rows_support.h"

using namespace rows_test;

namespace {

Strings tokens(const char* text) {
  Strings out;
  for (const std::string& t : split_ids(text)) out.push_back(t);
  return out;
}

}  // namespace

TEST(SplitIds, TrimsSkipsEmptyRunsAndKeepsDuplicates) {
  EXPECT_EQ(tokens(" tt1 ,, tt2\t,,tt1"), (Strings{"tt1", "tt2", "tt1"}));
  EXPECT_TRUE(tokens(",,,").empty());
  EXPECT_TRUE(tokens("").empty());
  EXPECT_TRUE(tokens(nullptr).empty());
  // Only spaces go at the front; tabs, line ends and spaces go at the back.
  EXPECT_EQ(tokens("\ttt1"), (Strings{"\ttt1"}));
  EXPECT_EQ(tokens("  tt1 \r\n\t ,tt2"), (Strings{"tt1", "tt2"}));
  EXPECT_EQ(tokens("a b,c"), (Strings{"a b", "c"}));
  EXPECT_TRUE(tokens(" \t , \r\n").empty());
  // More tokens than the first allocation holds.
  std::string many;
  for (int i = 0; i < 100; ++i) {
    many += numbered("t", i);
    many += ",";
  }
  const Strings t = tokens(many.c_str());
  ASSERT_EQ(t.size(), 100u);
  EXPECT_EQ(t[99], "t99");
}

TEST_F(RowsTest, RowInsertPlacesAndShifts) {
  EXPECT_EQ(row_insert(2, kGenre, "G", "G"), 0);  // no rows: position 0
  EXPECT_EQ(row_push(kMovies, "M", "Movies"), 1);
  EXPECT_EQ(row_insert(5, kSpotlight, "S", "S"), 2);  // lowered to the count
  EXPECT_EQ(row_insert(1, kNowPlaying, "N", "N"), 1);
  EXPECT_EQ(row_keys(), (Strings{"G", "N", "M", "S"}));
  EXPECT_EQ(s_rows[1].kind, kNowPlaying);
  EXPECT_STREQ(s_rows[2].title.get(), "Movies");
  free_rows();
  EXPECT_EQ(row_push(kMovies, "A", "A"), 0);
  EXPECT_EQ(row_insert(2, kContinueWatching, "CW", "CW"), 1);  // one row: lands last
}

TEST_F(RowsTest, RowTableStopsAtTwoThousand) {
  add_item("m");
  for (int i = 0; i < kMaxRows; ++i) ASSERT_EQ(row_push(kServerList, "k", "k"), i);
  EXPECT_EQ(row_push(kServerList, "x", "x"), -1);
  EXPECT_EQ(row_insert(0, kGenre, "G", "G"), -1);
  EXPECT_EQ(n_rows(), kMaxRows);
  EXPECT_STREQ(s_rows[0].key.get(), "k");
  // The refused row's candidates go nowhere.
  cand_push(0, nullptr, 1, nullptr);
  cand_push(-1, "raw", -1, "raw");
  flush_cands(row_insert(0, kGenre, "G", "G"));
  EXPECT_TRUE(s_cand.empty());
  for (const Row& r : s_rows) EXPECT_EQ(r.cell_count, 0);
}

TEST_F(RowsTest, CapKeepsFirstCellsInSortedOrderAndCountsTheRest) {
  for (int i = 0; i < 250; ++i) {
    const int32_t idx = add_item(numbered("i", i).c_str());
    item(idx).added_ms = 1000 + i;
  }
  for (int32_t i = 0; i < 250; ++i) cand_push(i, nullptr, item(i).added_ms, nullptr);
  sort_cands(CandOrder::kAddedDesc);
  const int32_t row = row_push(kRecentlyAdded, "RecentlyAdded", "Recently Added");
  flush_cands(row);
  const Row& r = s_rows[static_cast<std::size_t>(row)];
  EXPECT_EQ(r.emitted, 200);
  EXPECT_EQ(r.cell_count, 250);
  EXPECT_EQ(r.truncated, 1);
  ASSERT_EQ(r.cells.size(), 200u);
  for (int k = 0; k < 200; ++k) EXPECT_EQ(r.cells[static_cast<std::size_t>(k)].item_index, 249 - k);
  EXPECT_TRUE(s_cand.empty());

  // A row at exactly the cap is not truncated; raw cells obey the cap too.
  s_row_cap = 2;
  const int32_t small = row_push(kCollections, "C", "C");
  cell_raw(small, "a", -1, nullptr);
  cell_raw(small, "b", -1, nullptr);
  EXPECT_EQ(s_rows[static_cast<std::size_t>(small)].truncated, 0);
  cell_raw(small, "c", -1, nullptr);
  cell_from_item(small, 0, -1);
  EXPECT_EQ(s_rows[static_cast<std::size_t>(small)].emitted, 2);
  EXPECT_EQ(s_rows[static_cast<std::size_t>(small)].cell_count, 4);
  EXPECT_EQ(s_rows[static_cast<std::size_t>(small)].truncated, 1);
  s_row_cap = kDefaultRowCap;
}

TEST_F(RowsTest, CellsTakeTheirFieldsFromItemsOrCandidates) {
  const int32_t a = add_item("a");
  item(a).added_ms = 77;
  const int32_t row = row_push(kFavourites, "F", "F");
  cell_from_item(row, a, -1);  // negative: the item's own time
  cell_from_item(row, a, 5);
  cell_from_item(row, 1, 5);    // no such item: nothing, not even counted
  cell_from_item(row + 1, a, 5);  // no such row
  cell_raw(row, "t", 9, "sk");
  cell_raw(row, nullptr, -1, nullptr);
  const Row& r = s_rows[static_cast<std::size_t>(row)];
  ASSERT_EQ(r.emitted, 4);
  EXPECT_EQ(r.cell_count, 4);
  EXPECT_EQ(r.cells[0].added_ms, 77);
  EXPECT_EQ(r.cells[0].resolved, 1);
  EXPECT_FALSE(r.cells[0].title);
  EXPECT_EQ(r.cells[1].added_ms, 5);
  EXPECT_EQ(r.cells[2].item_index, -1);
  EXPECT_EQ(r.cells[2].resolved, 0);
  EXPECT_STREQ(r.cells[2].title.get(), "t");
  EXPECT_STREQ(r.cells[2].server_key.get(), "sk");
  EXPECT_EQ(r.cells[2].added_ms, 9);
  EXPECT_FALSE(r.cells[3].title);
  EXPECT_FALSE(r.cells[3].server_key);
}

TEST_F(RowsTest, FeedIdsResolveKnownIds) {
  const int32_t a = add_item("a", kMovie, "Alpha");
  set_text(item(a).imdb_id, "tt1");
  item(a).added_ms = 42;
  rebuild_id_maps();
  const char* json = "{\"v\":\"tt1, tt9,tt1\",\"n\":5}";
  const JsonDoc doc = read_json(json, std::strlen(json));
  yyjson_val* root = yyjson_doc_get_root(doc.get());
  std::vector<uint64_t> misses;
  feed_ids_from_value(yyjson_obj_get(root, "v"), "L", &misses);
  feed_ids_from_value(yyjson_obj_get(root, "v"), nullptr, &misses);
  feed_ids_from_value(yyjson_obj_get(root, "n"), "L", &misses);  // not a string: no tokens
  feed_ids_from_value(nullptr, "L", &misses);
  settle_misses(&misses);
  EXPECT_EQ(misses, std::vector<uint64_t>{text_hash64("tt9")});  // the unknown id, once
  ASSERT_EQ(s_cand.size(), 6u);
  EXPECT_EQ(s_cand[0].item_index, a);
  EXPECT_EQ(s_cand[0].added_ms, 42);
  EXPECT_EQ(s_cand[1].item_index, -1);
  EXPECT_STREQ(s_cand[1].title.get(), "tt9");
  EXPECT_EQ(s_cand[1].added_ms, -1);
  EXPECT_STREQ(s_cand[1].server_key.get(), "L");
  EXPECT_STREQ(s_cand[4].server_key.get(), "tt9");  // no name: the token itself
  const int32_t row = row_push(kServerList, "L", "L");
  flush_cands(row);
  EXPECT_EQ(cell_labels(row), (Strings{"a", "raw:tt9", "a", "a", "raw:tt9", "a"}));
  EXPECT_STREQ(s_rows[0].cells[1].server_key.get(), "L");
  EXPECT_FALSE(s_rows[0].cells[0].server_key);  // item cells keep no server key
}
