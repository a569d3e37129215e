// Documents through the C interface, over inputs loaded by the real loaders.
#include <cstring>
#include <string>

#include "support/fixture.h"

using kavo_test::KavoTest;
using kavo_test::str;

namespace {

const char* kItems =
    "[{\"id\":\"m1\",\"title\":\"Film\",\"kind\":\"movie\",\"year\":2001,\"imdb_id\":\"tt0000001\","
    "\"runtime\":90,\"genres\":[\"Drama\"]},"
    "{\"id\":\"m2\",\"title\":\"Other\",\"kind\":\"movie\",\"imdb_id\":\"TT0000002\"}]";

const char* kFilmDoc =
    "{\"id\":\"m1\",\"kind\":0,\"title\":\"Film\",\"year\":2001,\"imdb_id\":\"tt0000001\","
    "\"poster_url\":null,\"backdrop_url\":null,\"plot\":null,\"runtime_min\":90,\"rating\":null,"
    "\"season\":null,\"episode\":null,\"air_date\":null,\"size\":null,\"duration_s\":null,"
    "\"mtime_ms\":null,\"added_ms\":null,\"path\":null,\"folder\":null,\"backend_id\":null,"
    "\"server_key\":null,\"library\":5,\"matched\":null,\"unmatched\":0,\"playable\":0,"
    "\"source_count\":0,\"resume_action\":0,\"resume_position_s\":0.0,\"progress_fraction\":0.0,"
    "\"finished\":0,\"resume_clamped\":0,\"is_audio_only\":0,\"is_cue_track\":0,"
    "\"next_item_id\":null,\"genres\":[\"Drama\"],\"sources\":[]}";

}  // namespace

class CapiDocs : public KavoTest {};

TEST_F(CapiDocs, EmptyInputLeavesTheEmptyResult) {
  EXPECT_STREQ(kavo_result_json(), "{}");
  ASSERT_EQ(kavo_add_items("[]"), 0);
  EXPECT_STREQ(kavo_result_json(),
               "{\"version\":1,\"status\":0,\"row_count\":0,\"rows\":[],\"item\":null,"
               "\"server_flags\":{},\"watchlist\":{},\"browse_history\":{},\"stats\":{\"items\":0,"
               "\"watch\":0,\"library\":0,\"rows\":0,\"cells\":0,\"rejected\":0,"
               "\"continue_candidates\":0,\"unmatched\":0}}");
  kavo_clear();
  EXPECT_STREQ(kavo_result_json(), "{}");
}

TEST_F(CapiDocs, LoadedItemDocumentAndSelection) {
  ASSERT_EQ(kavo_add_items(kItems), 0);
  EXPECT_STREQ(kavo_item_json(0), kFilmDoc);

  EXPECT_EQ(kavo_select_item("nope"), 5);
  EXPECT_STREQ(kavo_last_error(), "no such item");
  ASSERT_EQ(kavo_select_item("m1"), 0);
  EXPECT_EQ(kavo_selected_index(), 0);
  const std::string detail = str(kavo_detail_json());
  const std::string item_doc(kFilmDoc, std::strlen(kFilmDoc) - 1);
  EXPECT_EQ(detail, item_doc +
                        ",\"resume\":{\"action\":0,\"action_name\":\"start\",\"position_s\":0.0,"
                        "\"fraction\":0.0,\"clamped\":0,\"remember_last_position\":1,"
                        "\"remember_audio\":0,\"base_duration_s\":5400.0},"
                        "\"next\":{\"item_id\":null},"
                        "\"autoplay\":{\"configured\":0,\"events\":[]}}");
  EXPECT_NE(str(kavo_result_json()).find(",\"item\":" + detail + ","), std::string::npos);

  // The stored detail follows settings only at the next rebuild; the
  // autoplay getter follows them at once.
  ASSERT_EQ(kavo_set_autoplay_settings("{\"use_fixed_present_before\":true,"
                                       "\"present_before_duration_s\":60}"),
            0);
  EXPECT_EQ(kavo_detail_autoplay_configured(), 1);
  EXPECT_STREQ(kavo_detail_autoplay_json(),
               "[{\"name\":\"PrepareProposal\",\"at_s\":5325.0,\"auto_dismiss\":0,\"auto_play\":0,"
               "\"is_prepare\":1},{\"name\":\"Proposal\",\"at_s\":5340.0,\"auto_dismiss\":1,"
               "\"auto_play\":0,\"is_prepare\":0}]");
  EXPECT_EQ(str(kavo_detail_json()), detail);
  ASSERT_EQ(kavo_select_imdb("tt0000002"), 0);  // case ignored
  EXPECT_EQ(kavo_selected_index(), 1);
  ASSERT_EQ(kavo_select_item("m1"), 0);
  EXPECT_NE(str(kavo_detail_json()).find("\"autoplay\":{\"configured\":1,\"events\":[{"),
            std::string::npos);

  // Loading everything again drops the selection.
  ASSERT_EQ(kavo_load_inputs("{}"), 0);
  EXPECT_EQ(kavo_selected_index(), -1);
  EXPECT_EQ(kavo_detail_json(), nullptr);
  EXPECT_EQ(kavo_last_code(), 5);
}

TEST_F(CapiDocs, WatchEntryInTheDetail) {
  ASSERT_EQ(kavo_add_items(kItems), 0);
  ASSERT_EQ(kavo_set_watch("[{\"item_id\":\"m1\",\"position_s\":600,\"updated_ms\":1234,"
                           "\"source\":\"local_store\"}]"),
            0);
  ASSERT_EQ(kavo_select_item("m1"), 0);
  EXPECT_NE(str(kavo_detail_json())
                .find("\"watch\":{\"source\":\"local_store\",\"key\":null,\"updated_ms\":1234,"
                      "\"position_s\":600.0,\"fraction\":null}}"),
            std::string::npos);
  EXPECT_NE(str(kavo_result_json()).find("\"stats\":{\"items\":2,\"watch\":1,"),
            std::string::npos);
}
