// The watch array: field spellings, rejections, the table and its limit.
#include <string>

#include "frame/model.h"
#include "ingest/ingest.h"
#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class WatchTest : public KavoTest {
 protected:
  static const kavo::WatchRec& at(int i) { return kavo::s_watch.at(static_cast<std::size_t>(i)); }
};

TEST_F(WatchTest, NullAndEmptyArrayEmptyTheTableFailuresKeepIt) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1},{"id":"b","position":2}])"), 0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(kavo_set_watch(nullptr), 0);
  EXPECT_EQ(kavo::n_watch(), 0);

  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch(""), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: not valid JSON");
  EXPECT_EQ(kavo_last_code(), 1);
  EXPECT_EQ(kavo::n_watch(), 1);

  EXPECT_EQ(kavo_set_watch(R"({"id":"a"})"), 1);
  EXPECT_STREQ(kavo_last_error(), "watch: expected an array");
  EXPECT_EQ(kavo::n_watch(), 1);

  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch("[]"), 0);
  EXPECT_STREQ(kavo_last_error(), "");
  EXPECT_EQ(kavo::n_watch(), 0);
}

TEST_F(WatchTest, AnEntryIsStoredAsRead) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":7,"position":30},)"
                           R"({"item_id":"x","ItemId":"y","id":"z","imdbId":"tt1","Source":"host",)"
                           R"("Key":"k1","Season":"2","episode":3,"durationSeconds":"1200",)"
                           R"("Value":1.7,"isFinished":"yes","size":"77","updated_ms":123},)"
                           R"({"p5":4,"p6":9,"p7":12345,"positionSeconds":-5,"fraction":0.5}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 3);
  EXPECT_EQ(str(at(0).item_id.get()), "7");
  EXPECT_DOUBLE_EQ(at(0).position_s, 30);
  EXPECT_EQ(at(0).imdb_id.get(), nullptr);
  EXPECT_EQ(at(0).season, -1);
  EXPECT_EQ(at(0).episode, -1);
  EXPECT_DOUBLE_EQ(at(0).fraction, -1);
  EXPECT_DOUBLE_EQ(at(0).duration_s, -1);
  EXPECT_EQ(at(0).finished, -1);
  EXPECT_EQ(at(0).size, -1);
  EXPECT_EQ(at(0).updated_ms, -1);
  EXPECT_EQ(at(0).source.get(), nullptr);
  EXPECT_EQ(at(0).key.get(), nullptr);
  EXPECT_EQ(at(0).item_index, -1);
  EXPECT_FALSE(at(0).from_server_home);

  EXPECT_EQ(str(at(1).item_id.get()), "x");
  EXPECT_EQ(str(at(1).imdb_id.get()), "tt1");
  EXPECT_EQ(str(at(1).source.get()), "host");
  EXPECT_EQ(str(at(1).key.get()), "k1");
  EXPECT_EQ(at(1).season, 2);
  EXPECT_EQ(at(1).episode, 3);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 1200);
  EXPECT_DOUBLE_EQ(at(1).fraction, 1.7);
  EXPECT_EQ(at(1).finished, 1);
  EXPECT_EQ(at(1).size, 77);
  EXPECT_EQ(at(1).updated_ms, 123);

  EXPECT_EQ(at(2).season, 4);
  EXPECT_EQ(at(2).episode, 9);
  EXPECT_EQ(at(2).size, 12345);
  EXPECT_DOUBLE_EQ(at(2).position_s, -5);  // stored unchanged
  EXPECT_DOUBLE_EQ(at(2).fraction, 0.5);
}

TEST_F(WatchTest, EachKeyListGoesOnPastUnusableValues) {
  ASSERT_EQ(kavo_set_watch(R"([{"item_id":null,"ItemId":{"a":1},"id":"z","finished":null,"Finished":"no",)"
                           R"("isFinished":true,"size":true,"Size":"12abc","Season":3000000000,)"
                           R"("p6":"4294967297","imdbId":["tt0"],"IMDBID":"tt9"},)"
                           R"({"id":"q","isFinished":[true],"position":"30s","fraction":"x","Value":"0.25",)"
                           R"("duration_s":false,"Duration":"90","src":false,"KEY":12.5},)"
                           R"({"id":"r","finished":{"v":true},"position_s":null}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(kavo::s_rejected, 1);
  EXPECT_EQ(str(at(0).item_id.get()), "z");
  EXPECT_EQ(at(0).finished, 0);  // the first key with a usable value decides
  EXPECT_EQ(at(0).size, 12);
  EXPECT_EQ(at(0).season, 0);     // outside the 32-bit range
  EXPECT_EQ(at(0).episode, 1);    // low 32 bits of the text's value
  // Every IMDb spelling finds the earlier array first, exactly or ignoring
  // case, so the later text is never reached.
  EXPECT_EQ(at(0).imdb_id.get(), nullptr);

  EXPECT_EQ(at(1).finished, -1);
  EXPECT_DOUBLE_EQ(at(1).position_s, 30);
  EXPECT_DOUBLE_EQ(at(1).fraction, 0.25);
  EXPECT_DOUBLE_EQ(at(1).duration_s, 90);
  EXPECT_EQ(str(at(1).source.get()), "false");
  EXPECT_EQ(str(at(1).key.get()), "12.5");
}

TEST_F(WatchTest, EntriesWithoutProgressAndNonObjectsAreRejected) {
  ASSERT_EQ(kavo_set_watch(R"([{"id":"a","duration_s":100},3,"x",null,)"
                           R"({"id":"b","finished":false},{"id":"c","Position":0},)"
                           R"({"id":"d","position":-1,"fraction":-0.5}])"),
            0);
  EXPECT_EQ(kavo::s_rejected, 5);
  ASSERT_EQ(kavo::n_watch(), 2);
  EXPECT_EQ(str(at(0).item_id.get()), "b");
  EXPECT_EQ(at(0).finished, 0);
  EXPECT_DOUBLE_EQ(at(0).position_s, -1);
  EXPECT_DOUBLE_EQ(at(0).fraction, -1);
  EXPECT_EQ(str(at(1).item_id.get()), "c");
  EXPECT_DOUBLE_EQ(at(1).position_s, 0);
}

TEST_F(WatchTest, RejectionsRunOnAcrossCallsUntilAClear) {
  ASSERT_EQ(kavo_set_watch(R"([1,{"id":"a","position":1}])"), 0);
  ASSERT_EQ(kavo_set_watch(R"([{"id":"b"}])"), 0);
  EXPECT_EQ(kavo::s_rejected, 2);
  kavo_clear();
  EXPECT_EQ(kavo::s_rejected, 0);
}

TEST_F(WatchTest, UpdateTimeFromNumbersNumericTextAndDateTimes) {
  ASSERT_EQ(kavo_set_watch(R"([{"position":1,"updatedAt":"1705314030001"},)"
                           R"({"position":1,"UpdatedAt":"2024-01-15T12:20:30+02:00"},)"
                           R"({"position":1,"recordUpdated":"2024-01-15T10:20:30.5Z"},)"
                           R"({"position":1,"updated_ms":1e30},)"
                           R"({"position":1,"UpdatedAt":"1969-12-31"},)"
                           R"({"position":1,"updated_ms":true,"updatedAt":"x","recordUpdated":" 2024-01-15"},)"
                           R"({"position":1,"updated_ms":5,"UpdatedAt":"2024-01-15"}])"),
            0);
  ASSERT_EQ(kavo::n_watch(), 7);
  EXPECT_EQ(at(0).updated_ms, 1705314030001LL);
  EXPECT_EQ(at(1).updated_ms, 1705314030000LL);
  EXPECT_EQ(at(2).updated_ms, 1705314030000LL);
  EXPECT_EQ(at(3).updated_ms, INT64_MAX);
  EXPECT_EQ(at(4).updated_ms, -1);  // a date before 1970 is no time
  EXPECT_EQ(at(5).updated_ms, 1705276800000LL);  // keys without a value are passed over
  EXPECT_EQ(at(6).updated_ms, 5);                // the first key decides
  EXPECT_TRUE(kavo::looks_like_datetime("2024-01-15"));
  EXPECT_FALSE(kavo::looks_like_datetime("-2024"));
  EXPECT_FALSE(kavo::looks_like_datetime("1705314030001"));
}

TEST_F(WatchTest, TheTableStopsAt200000Entries) {
  std::string text = "[";
  text.reserve(200001 * 16);
  for (int i = 0; i <= 200000; ++i) {
    if (i > 0) text += ',';
    text += R"({"position":1})";
  }
  text += ']';
  // One entry too many: the call fails and the table stays as it was.
  ASSERT_EQ(kavo_set_watch(R"([{"id":"old","position":1}])"), 0);
  EXPECT_EQ(kavo_set_watch(text.c_str()), 3);
  EXPECT_STREQ(kavo_last_error(), "out of memory");
  EXPECT_EQ(kavo_last_code(), 3);
  EXPECT_EQ(kavo::n_watch(), 1);
  // A full table still turns away what tells nothing, without failing.
  text.resize(text.size() - std::string(R"(,{"position":1}])").size());
  text += R"(,{"id":"x","duration_s":5},3])";
  EXPECT_EQ(kavo_set_watch(text.c_str()), 0);
  EXPECT_EQ(kavo::n_watch(), 200000);
  EXPECT_EQ(kavo::s_watch.capacity(), 200000u);
  EXPECT_EQ(kavo::watch_ensure_room(), 4);
  EXPECT_EQ(kavo::s_rejected, 2);
  EXPECT_EQ(kavo_set_watch("[]"), 0);
  EXPECT_EQ(kavo::n_watch(), 0);
  EXPECT_EQ(kavo::watch_ensure_room(), 0);
}

TEST_F(WatchTest, GrowthStartsAt64AndDoubles) {
  EXPECT_EQ(kavo::watch_ensure_room(), 0);
  EXPECT_EQ(kavo::s_watch.capacity(), 64u);
  std::string text = "[";
  for (int i = 0; i < 65; ++i) text += std::string(i ? "," : "") + R"({"fraction":0})";
  text += ']';
  ASSERT_EQ(kavo_set_watch(text.c_str()), 0);
  EXPECT_EQ(kavo::s_watch.capacity(), 128u);
}

}  // namespace
