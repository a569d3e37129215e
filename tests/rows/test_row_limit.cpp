// The row table's limit: the rows after the per-show rows keep their place.
#include <string>

#include "rows_support.h"

namespace {

class RowLimitTest : public kavo_test::KavoTest {};

std::string shows(int count) {
  std::string items = "[";
  for (int i = 0; i < count; ++i) {
    if (i) items += ',';
    items += R"({"id":"e)" + std::to_string(i) + R"(","kind":"episode","season":1,"episode":1,"imdb_id":"tt)" +
             std::to_string(i) + "\"}";
  }
  return items + "]";
}

std::string kinds() {
  std::string out;
  for (int32_t r = 0; r < kavo_row_count(); ++r) out += std::to_string(kavo_row_kind(r)) + ",";
  return out;
}

TEST_F(RowLimitTest, ShowRowsGiveWayToTheRowsAfterThem) {
  ASSERT_EQ(kavo_set_library(R"([{"id":"f","kind":"folder","title":"F"},)"
                             R"({"id":"s","kind":"file","is_audio_only":true,"title":"S"}])"),
            0);
  ASSERT_EQ(kavo_set_store(R"({"favourites":[{"token":"e0"}]})"), 0);
  // Below the limit nothing changes: every show has its row.
  ASSERT_EQ(kavo_add_items(shows(100).c_str()), 0);
  EXPECT_EQ(kavo_row_count(), 100 + 4);
  // At the limit the last shows go, and Folders, Favourites, Unmatched and
  // Audio close the screen.
  kavo_clear();
  ASSERT_EQ(kavo_set_library(R"([{"id":"f","kind":"folder","title":"F"},)"
                             R"({"id":"s","kind":"file","is_audio_only":true,"title":"S"}])"),
            0);
  ASSERT_EQ(kavo_set_store(R"({"favourites":[{"token":"e0"}]})"), 0);
  ASSERT_EQ(kavo_add_items(shows(2100).c_str()), 0);
  ASSERT_EQ(kavo_row_count(), 2000);
  EXPECT_EQ(kinds().substr(kinds().size() - 12), "12,4,5,8,14,");
  EXPECT_STREQ(kavo_row_key(1995), "tt1995");
  // Rows without cells take no room: without a library only Favourites stays.
  ASSERT_EQ(kavo_set_library(nullptr), 0);
  ASSERT_EQ(kavo_row_count(), 2000);
  EXPECT_EQ(kavo_row_kind(1999), 5);
  EXPECT_STREQ(kavo_row_key(1998), "tt1998");
}

}  // namespace
