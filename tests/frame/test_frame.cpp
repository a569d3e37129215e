// The status frame, row cap, clear and shutdown through the C interface.
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

class FrameTest : public KavoTest {};

TEST_F(FrameTest, VersionAndInitialState) {
  EXPECT_STREQ(kavo_version(), "1.0.0");
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo_last_code(), 0);
  EXPECT_EQ(kavo_get_row_cap(), 200);
}

TEST_F(FrameTest, RowCapRangeAndStatusFrame) {
  EXPECT_EQ(kavo_set_row_cap(2000), 0);
  EXPECT_EQ(kavo_get_row_cap(), 2000);
  for (int32_t bad : {2001, 0, -5}) {
    EXPECT_EQ(kavo_set_row_cap(bad), 2);
    EXPECT_STREQ(kavo_last_error(), "row cap out of range");
    EXPECT_EQ(kavo_last_code(), 2);
    EXPECT_EQ(kavo_get_row_cap(), 2000);
  }
  EXPECT_EQ(kavo_set_row_cap(1), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo_last_code(), 0);
}

TEST_F(FrameTest, RowCapSurvivesClearAndShutdown) {
  ASSERT_EQ(kavo_set_row_cap(10), 0);
  EXPECT_EQ(kavo_clear(), 0);
  EXPECT_EQ(kavo_get_row_cap(), 10);
  kavo_shutdown();
  EXPECT_EQ(kavo_get_row_cap(), 10);
}

TEST_F(FrameTest, MessagesOverwriteOnlyTheStartOfTheErrorText) {
  const char* version = kavo_version();
  EXPECT_EQ(kavo_version(), version);  // one constant text

  const char* err = kavo_last_error();
  ASSERT_EQ(kavo_set_row_cap(0), 2);
  EXPECT_STREQ(err, "row cap out of range");
  // A shorter message is copied with its NUL over the start; the rest of the
  // longer one stays behind it.
  ASSERT_EQ(kavo_add_items(nullptr), 2);
  EXPECT_EQ(kavo_last_error(), err);
  EXPECT_STREQ(err, "null json");
  EXPECT_STREQ(err + 10, "t of range");
  // Success only empties the text: its first byte becomes the NUL.
  ASSERT_EQ(kavo_clear(), 0);
  EXPECT_STREQ(err, "");
  EXPECT_STREQ(err + 1, "ull json");
  EXPECT_EQ(kavo_last_code(), 0);

  ASSERT_EQ(kavo_set_row_cap(-1), 2);
  kavo_shutdown();
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo_last_code(), 0);
}

TEST_F(FrameTest, FailuresRebuildNothingAndClearEmptiesTheModel) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"m1","title":"One","kind":"movie","added_ms":5},
                               {"id":"m2","title":"Two","kind":"movie","added_ms":6}])"),
            0);
  ASSERT_EQ(kavo_set_library(R"([{"id":"f1","kind":"folder","path":"/a","title":"A"}])"), 0);
  ASSERT_EQ(kavo_select_item("m2"), 0);
  const std::string result = str(kavo_result_json());
  const int32_t rows = kavo_row_count();
  ASSERT_GT(rows, 0);

  // Failing input calls leave rows and documents as the last rebuild made them.
  EXPECT_EQ(kavo_add_items("[{\"id\":\"m3\"}"), 1);
  EXPECT_EQ(kavo_add_items("{}"), 1);
  EXPECT_EQ(kavo_set_library("[1,"), 1);  // the library itself is gone already
  EXPECT_EQ(str(kavo_result_json()), result);
  EXPECT_EQ(kavo_row_count(), rows);
  EXPECT_EQ(kavo_item_count(), 2);
  EXPECT_EQ(kavo_selected_index(), 1);
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_STREQ(kavo_last_error(), "not valid JSON");

  ASSERT_EQ(kavo_clear(), 0);
  EXPECT_EQ(kavo_item_count(), 0);
  EXPECT_EQ(kavo_row_count(), 0);
  EXPECT_EQ(kavo_selected_index(), -1);
  EXPECT_EQ(kavo_item_index_of("m1"), -1);
  EXPECT_EQ(kavo_item_id(0), nullptr);
  // Ids seen before the clear are new again.
  ASSERT_EQ(kavo_add_items(R"([{"id":"m1"}])"), 0);
  EXPECT_EQ(kavo_item_count(), 1);
  EXPECT_EQ(kavo_item_index_of("m1"), 0);
}
