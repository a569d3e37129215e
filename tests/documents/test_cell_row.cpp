// The cell and row documents and their getters.
#include <cstring>

#include "doc_support.h"

using namespace doc_test;

namespace {

const std::string kRawCell =
    "{\"item_id\":null,\"imdb_id\":null,\"title\":\"Boxed Sets\",\"year\":null,\"kind\":5,"
    "\"poster_url\":null,\"backdrop_url\":null,\"season\":null,\"episode\":null,\"playable\":0,"
    "\"source_count\":0,\"resume_action\":0,\"resume_position_s\":null,\"progress_fraction\":null,"
    "\"finished\":0,\"next_item_id\":null,\"library\":5,\"added_ms\":null,\"resolved\":0,"
    "\"server_key\":\"col-7\"}";

}  // namespace

class CellRowDoc : public DocTest {};

TEST_F(CellRowDoc, ItemCellDocument) {
  Item& a = push_item("a");
  a.progress_fraction = 0.0;  // as the rebuild leaves an item without a watch entry
  Item& b = push_item("b");
  b.title = xstrdup("Bee");
  b.imdb_id = xstrdup("tt2");
  b.year = 1999;
  b.kind = kEpisode;
  b.poster_url = xstrdup("p");
  b.backdrop_url = xstrdup("d");
  b.season = 2;
  b.episode = 3;
  b.playable = 1;
  b.resume_action = kFinished;
  b.resume_position_s = 12.5;
  b.progress_fraction = 0.25;
  b.next_index = 0;
  b.library = kDebrid;
  push_source(b, "s");
  Row& row = push_row(kMovies, "movies", "Movies");
  push_item_cell(row, 0, -1);
  push_item_cell(row, 1, 42);

  EXPECT_EQ(str(kavo_row_cell_json(0, 0)),
            "{\"item_id\":\"a\",\"imdb_id\":null,\"title\":null,\"year\":null,\"kind\":5,"
            "\"poster_url\":null,\"backdrop_url\":null,\"season\":null,\"episode\":null,"
            "\"playable\":0,\"source_count\":0,\"resume_action\":0,\"resume_position_s\":0.0,"
            "\"progress_fraction\":0.0,\"finished\":0,\"next_item_id\":null,\"library\":5,"
            "\"added_ms\":null,\"resolved\":1,\"server_key\":null}");
  EXPECT_EQ(str(kavo_row_cell_json(0, 1)),
            "{\"item_id\":\"b\",\"imdb_id\":\"tt2\",\"title\":\"Bee\",\"year\":1999,\"kind\":2,"
            "\"poster_url\":\"p\",\"backdrop_url\":\"d\",\"season\":2,\"episode\":3,"
            "\"playable\":1,\"source_count\":1,\"resume_action\":2,\"resume_position_s\":12.5,"
            "\"progress_fraction\":0.25,\"finished\":1,\"next_item_id\":\"a\",\"library\":2,"
            "\"added_ms\":42,\"resolved\":1,\"server_key\":null}");
}

TEST_F(CellRowDoc, RawCellReadsAsUnknownItem) {
  Row& row = push_row(kCollections, "collections", "Collections");
  push_raw_cell(row, "Boxed Sets", -1, "col-7");
  EXPECT_EQ(str(kavo_row_cell_json(0, 0)), kRawCell);
  // A cell pointing outside the catalogue reads as raw too.
  push_item_cell(row, 3, -1).title = xstrdup("Boxed Sets");
  s_rows[0].cells[1].server_key = xstrdup("col-7");
  s_rows[0].cells[1].resolved = 0;
  EXPECT_EQ(str(kavo_row_cell_json(0, 1)), kRawCell);
}

TEST_F(CellRowDoc, RowDocumentAndIndexChecks) {
  push_item("a");
  push_row(kFolders, "folders", nullptr);
  Row& row = push_row(kCollections, "collections", "Collections");
  push_item_cell(row, 0, 9);
  push_raw_cell(row, "x", 1, nullptr);

  EXPECT_EQ(str(kavo_row_json(0)),
            "{\"index\":0,\"kind\":4,\"key\":\"folders\",\"title\":null,\"cell_count\":0,"
            "\"emitted\":0,\"truncated\":0,\"cells\":[]}");
  const std::string text = str(kavo_row_json(1));
  EXPECT_EQ(text.rfind("{\"index\":1,\"kind\":7,\"key\":\"collections\",\"title\":\"Collections\","
                       "\"cell_count\":2,\"emitted\":2,\"truncated\":0,\"cells\":[{\"item_id\":\"a\"",
                       0),
            0u);
  EXPECT_NE(text.find("{\"item_id\":null,\"imdb_id\":null,\"title\":\"x\""), std::string::npos);

  ASSERT_EQ(kavo_set_row_cap(0), 2);  // status 2 stays through the getter failures
  for (int32_t bad : {-1, 2}) {
    EXPECT_EQ(kavo_row_json(bad), nullptr);
    EXPECT_STREQ(kavo_last_error(), "row index out of range");
    EXPECT_EQ(kavo_row_cell_json(bad, 0), nullptr);
    EXPECT_STREQ(kavo_last_error(), "row index out of range");
    EXPECT_EQ(kavo_last_code(), 2);
  }
  EXPECT_EQ(kavo_row_cell_json(1, 2), nullptr);
  EXPECT_STREQ(kavo_last_error(), "cell index out of range");
  EXPECT_EQ(kavo_row_cell_json(1, -1), nullptr);
  EXPECT_STREQ(kavo_last_error(), "cell index out of range");
  EXPECT_EQ(kavo_row_cell_json(0, 0), nullptr);
  EXPECT_STREQ(kavo_last_error(), "cell index out of range");
  EXPECT_EQ(kavo_last_code(), 2);
}

TEST_F(CellRowDoc, TruncatedRowShowsOfferedAndStoredCounts) {
  for (int i = 0; i < 200; ++i) push_item(("item-" + std::to_string(i)).c_str());
  Row& row = push_row(kRecentlyAdded, "recent", "Recently Added");
  for (int i = 0; i < 200; ++i) push_item_cell(row, i, -1);
  row.cell_count = 250;
  row.truncated = 1;

  EXPECT_EQ(kavo_row_cell_count(0), 250);
  EXPECT_EQ(kavo_row_cell_json(0, 200), nullptr);
  EXPECT_STREQ(kavo_last_error(), "cell index out of range");
  EXPECT_NE(kavo_row_cell_json(0, 199), nullptr);

  // The row document passes 64 KiB here and still comes back whole.
  const char* text = kavo_row_json(0);
  ASSERT_NE(text, nullptr);
  const std::size_t len = std::strlen(text);
  EXPECT_GT(len, 65536u);
  const JsonDoc parsed = read_json(text, len);
  ASSERT_NE(parsed, nullptr);
  yyjson_val* root = yyjson_doc_get_root(parsed.get());
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(root, "cell_count")), 250);
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(root, "emitted")), 200);
  EXPECT_EQ(yyjson_get_int(yyjson_obj_get(root, "truncated")), 1);
  EXPECT_EQ(yyjson_arr_size(yyjson_obj_get(root, "cells")), 200u);

  // A later, smaller document overwrites the grown buffer.
  push_row(kMovies, "movies", "Movies");
  EXPECT_EQ(str(kavo_row_json(1)),
            "{\"index\":1,\"kind\":2,\"key\":\"movies\",\"title\":\"Movies\",\"cell_count\":0,"
            "\"emitted\":0,\"truncated\":0,\"cells\":[]}");
}

TEST_F(CellRowDoc, RowCountsTheCellsItWrites) {
  push_item("a");
  Row& row = push_row(kMovies, "m", "M");
  push_item_cell(row, 0, -1);
  push_raw_cell(row, "r", -1, nullptr);
  push_raw_cell(row, "s", -1, nullptr);
  int32_t written = 0;
  const std::string text = mut_text([&](MutJson& out) { written = put_row(out, 0); });
  EXPECT_NE(text.find("\"emitted\":3"), std::string::npos);
  EXPECT_EQ(written, 3);
  // Without a document nothing is made and no cell counts.
  MutJson none(nullptr);
  EXPECT_EQ(put_row(none, 0), 0);
  EXPECT_EQ(none.root(), nullptr);
}
