// The result document.
#include "doc_support.h"

using namespace doc_test;

namespace {

const char* kEmptyResult =
    "{\"version\":1,\"status\":0,\"row_count\":0,\"rows\":[],\"item\":null,\"server_flags\":{},"
    "\"watchlist\":{},\"browse_history\":{},\"stats\":{\"items\":0,\"watch\":0,\"library\":0,"
    "\"rows\":0,\"cells\":0,\"rejected\":0,\"continue_candidates\":0,\"unmatched\":0}}";

}  // namespace

class Result : public DocTest {};

TEST_F(Result, EmptyModel) {
  EXPECT_STREQ(kavo_result_json(), "{}");
  rebuild_result();
  EXPECT_STREQ(kavo_result_json(), kEmptyResult);
  kavo_clear();
  EXPECT_STREQ(kavo_result_json(), "{}");
}

TEST_F(Result, RowsCountsAndSideDocuments) {
  push_item("a");
  push_item("b").unmatched = 1;
  s_lib.emplace_back();
  s_lib.emplace_back();
  s_lib[1].catalogue_index = 0;
  s_lib.emplace_back();
  s_watch.emplace_back();
  s_rejected = 4;
  Row& cw = push_row(kContinueWatching, "continue", "Continue Watching");
  push_item_cell(cw, 0, -1);
  cw.cell_count = 9;
  cw.truncated = 1;
  Row& col = push_row(kCollections, "collections", nullptr);
  push_raw_cell(col, "Sets", 3, "c");
  push_item_cell(col, 1, -1);
  push_row(kContinueWatching, "continue2", "Later").cell_count = 0;
  s_flags_json = xstrdup("{\"HighSpeedServer\":true,\"n\":[1,2.5,\"x\"]}");
  s_watchlist_json = xstrdup("{\"broken\":");
  s_bh_json = xstrdup("[{\"id\":18446744073709551615}]");
  rebuild_result();

  const std::string text = str(kavo_result_json());
  EXPECT_EQ(text.rfind("{\"version\":1,\"status\":0,\"row_count\":3,\"rows\":[{\"index\":0,"
                       "\"kind\":0,\"key\":\"continue\",\"title\":\"Continue Watching\","
                       "\"cell_count\":9,\"emitted\":1,\"truncated\":1,\"cells\":[{\"item_id\":\"a\"",
                       0),
            0u);
  EXPECT_NE(text.find("{\"index\":1,\"kind\":7,\"key\":\"collections\",\"title\":null,"
                      "\"cell_count\":2,\"emitted\":2,\"truncated\":0,\"cells\":[{\"item_id\":null,"),
            std::string::npos);
  const std::size_t item = text.find("],\"item\":null,");
  ASSERT_NE(item, std::string::npos);
  // The last Continue Watching row sets the candidate count; the broken
  // watchlist is left out.
  EXPECT_EQ(text.substr(item),
            "],\"item\":null,\"server_flags\":{\"HighSpeedServer\":true,\"n\":[1,2.5,\"x\"]},"
            "\"browse_history\":[{\"id\":18446744073709551615}],\"stats\":{\"items\":2,"
            "\"watch\":1,\"library\":3,\"rows\":3,\"cells\":3,\"rejected\":4,"
            "\"continue_candidates\":0,\"unmatched\":3}}");
}

TEST_F(Result, SelectedItemAndRefusedDocuments) {
  push_item("a").imdb_id = xstrdup("tt1");
  ASSERT_EQ(kavo_select_imdb("tt1"), 0);
  const std::string text = str(kavo_result_json());
  const std::string detail = str(kavo_detail_json());
  EXPECT_NE(text.find(",\"item\":" + detail + ",\"server_flags\":{}"), std::string::npos);

  // A refused document drops the held text; a new build brings it back.
  s_items[0].title = xstrdup("\xff");
  rebuild_result();
  EXPECT_STREQ(kavo_result_json(), "{}");
  s_items[0].title = xstrdup("ok");
  s_sel = -1;
  rebuild_result();
  EXPECT_NE(str(kavo_result_json()).find("\"item\":null"), std::string::npos);
}
