// The server flags, watchlist and browse history documents.
#include <string>

#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

class SideDocsTest : public KavoTest {
 protected:
  static std::string list(const std::string& elements) {
    return R"({"List":[)" + elements + "]}";
  }
};

const char kEmptyFlags[] =
    R"({"high_speed_ids":[],"velora_plus_ids":[],"chromecast_ids":[],"level30_ids":[],)"
    R"("feature_flags":{}})";

TEST_F(SideDocsTest, WithoutAHomeAllThreeAreEmptyObjects) {
  EXPECT_EQ(str(kavo_server_flags_json()), "{}");
  EXPECT_EQ(str(kavo_watchlist_json()), "{}");
  EXPECT_EQ(str(kavo_browse_history_json()), "{}");
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  kavo_clear();
  EXPECT_EQ(str(kavo_server_flags_json()), "{}");
  EXPECT_EQ(str(kavo_watchlist_json()), "{}");
}

TEST_F(SideDocsTest, AnEmptyHomeGivesEmptyDocuments) {
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  EXPECT_EQ(str(kavo_server_flags_json()), kEmptyFlags);
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"","ids":[]})");
  EXPECT_EQ(str(kavo_browse_history_json()), R"({"key":"","ids":[]})");
  kavo_clear();
  EXPECT_EQ(str(kavo_server_flags_json()), "{}");
}

TEST_F(SideDocsTest, ListValuesAreSplitIntoIds) {
  ASSERT_EQ(kavo_set_server_home(list(
                R"({"Id":"HighSpeedServer","Value":"tt1, tt2,,tt1 "},)"
                R"({"Id":"newtovelora","Value":"tt9"},)"
                R"({"Id":"MyWatchlist","Value":"tt3"},{"Id":"MYWATCHLIST","Value":"tt4,tt5"},)"
                R"({"Id":"BrowseHistory","Value":"tt6"},{"Id":"BrowseHistory","Value":7},)"
                R"({"Id":"Other","Value":"x"},{"Value":"tt0"},"HighSpeedServer")")
                                     .c_str()),
            0);
  EXPECT_EQ(str(kavo_server_flags_json()),
            R"({"high_speed_ids":["tt1","tt2","tt1"],"velora_plus_ids":["tt9"],"chromecast_ids":[],)"
            R"("level30_ids":[],"feature_flags":{}})");
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"tt4,tt5","ids":["tt4","tt5"]})");
  EXPECT_EQ(str(kavo_browse_history_json()), R"({"key":"tt6","ids":["tt6"]})");
}

TEST_F(SideDocsTest, LevelThirtyIds) {
  ASSERT_EQ(kavo_set_server_home(
                R"({"Level30s":[{"IMDbID":"tt1"},{"imdbid":"tt2"},"tt3",{"IMDbId":"tt4"},)"
                R"({"IMDbID":5},{"Other":"tt6"}]})"),
            0);
  EXPECT_EQ(str(kavo_server_flags_json()),
            R"({"high_speed_ids":[],"velora_plus_ids":[],"chromecast_ids":[],)"
            R"("level30_ids":["tt1","tt2","tt4"],"feature_flags":{}})");
}

TEST_F(SideDocsTest, FeatureFlagsFromTheExtentList) {
  ASSERT_EQ(kavo_set_server_home(
                R"({"ExtentList":[{"Id":"FeatureFlags_A","Value":"on"},)"
                R"({"Id":"featureflags_C","Value":"x"},{"Id":"FeatureFlags_","Value":"e"},)"
                R"({"Id":"FeatureFlags_B"},{"Id":"FeatureFlags_N","Value":3},)"
                R"({"Id":"FeatureFlags_A","Value":"off"},{"Id":7,"Value":"y"},"FeatureFlags_Z"]})"),
            0);
  EXPECT_EQ(str(kavo_server_flags_json()),
            R"({"high_speed_ids":[],"velora_plus_ids":[],"chromecast_ids":[],"level30_ids":[],)"
            R"("feature_flags":{"A":"on","":"e","B":"","N":"","A":"off"}})");
}

TEST_F(SideDocsTest, AFailedHomeKeepsTheEarlierDocuments) {
  const std::string home = list(R"({"Id":"MyWatchlist","Value":"tt1,tt2"})");
  ASSERT_EQ(kavo_set_server_home(home.c_str()), 0);
  EXPECT_EQ(kavo_set_server_home("[]"), 1);
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"tt1,tt2","ids":["tt1","tt2"]})");
  EXPECT_EQ(kavo_set_server_home(nullptr), 2);
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"tt1,tt2","ids":["tt1","tt2"]})");
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":"","ids":[]})");
}

TEST_F(SideDocsTest, MemberNamesMatchIgnoringCaseAndIdsLoseTheirPadding) {
  ASSERT_EQ(kavo_set_server_home(
                R"({"list":[{"id":"MyWatchlist","value":" \ttt1\t ,tt2\r\n, ,"}],)"
                R"("extentlist":[{"ID":"FeatureFlags_Q","VALUE":"v"},{"Id":"FeatureFlags_a\"b","Value":"x\ny"}],)"
                R"("level30S":[{"imdbID":"tt7"}]})"),
            0);
  // Only spaces are cut at the front of an id; spaces, tabs and line ends at its back.
  EXPECT_EQ(str(kavo_watchlist_json()), R"({"key":" \ttt1\t ,tt2\r\n, ,","ids":["\ttt1","tt2"]})");
  EXPECT_EQ(str(kavo_server_flags_json()),
            R"({"high_speed_ids":[],"velora_plus_ids":[],"chromecast_ids":[],"level30_ids":["tt7"],)"
            R"("feature_flags":{"Q":"v","a\"b":"x\ny"}})");
  EXPECT_EQ(str(kavo_browse_history_json()), R"({"key":"","ids":[]})");
}

TEST_F(SideDocsTest, TextsAreCopiedWithTheirEscapes) {
  ASSERT_EQ(kavo_set_server_home(list(R"({"Id":"BrowseHistory","Value":"a\"b,\u00e9"})").c_str()),
            0);
  EXPECT_EQ(str(kavo_browse_history_json()), "{\"key\":\"a\\\"b,\xC3\xA9\",\"ids\":[\"a\\\"b\",\"\xC3\xA9\"]}");
}

}  // namespace
