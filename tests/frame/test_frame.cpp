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
